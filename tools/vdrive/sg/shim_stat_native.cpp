// fstat as a native (64-bit) program calls it: the native SG front serves
// qrwflash and the other Linux tools directly, without Wine.
#include <dlfcn.h>
#include <sys/stat.h>

#include "vdrive/sg/shim_files.h"

namespace {

using Fstat = int (*)(int, struct stat*);

Fstat RealFstat() {
  static const Fstat real = reinterpret_cast<Fstat>(dlsym(RTLD_NEXT, "fstat"));
  return real;
}

}  // namespace

int vdrive::sg::DriveIndexOfFd(int fd) {
  struct stat status;
  if (RealFstat()(fd, &status) != 0) return kNotServed;
  return DriveIndexOfFile(status.st_dev, status.st_ino);
}

extern "C" __attribute__((visibility("default"))) int fstat(int fd, struct stat* status) noexcept {
  const int result = RealFstat()(fd, status);
  if (result == 0) vdrive::sg::DisguiseIfServed(*status);
  return result;
}
