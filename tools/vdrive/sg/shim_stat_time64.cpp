// fstat with 64-bit times (__fstat64_time64), the name Debian's 32-bit Wine
// calls. With these two set before any header, struct stat is the layout
// that name fills.
#define _FILE_OFFSET_BITS 64
#define _TIME_BITS 64

#include <dlfcn.h>
#include <sys/stat.h>

#include "vdrive/sg/shim_files.h"

namespace {

using FstatTime64 = int (*)(int, struct stat*);

FstatTime64 RealFstatTime64() {
  static const FstatTime64 real =
      reinterpret_cast<FstatTime64>(dlsym(RTLD_NEXT, "__fstat64_time64"));
  return real;
}

}  // namespace

int vdrive::sg::DriveIndexOfFd(int fd) {
  struct stat status;
  if (RealFstatTime64()(fd, &status) != 0) return kNotServed;
  return DriveIndexOfFile(status.st_dev, status.st_ino);
}

extern "C" __attribute__((visibility("default"))) int __fstat64_time64(int fd, struct stat* status) noexcept {
  const int result = RealFstatTime64()(fd, status);
  if (result == 0) vdrive::sg::DisguiseIfServed(*status);
  return result;
}
