// fstat64 with 32-bit times, for callers built before 64-bit times.
#include <dlfcn.h>
#include <sys/stat.h>

#include "vdrive/sg/shim_files.h"

namespace {

using Fstat64 = int (*)(int, struct stat64*);

Fstat64 RealFstat64() {
  static const Fstat64 real = reinterpret_cast<Fstat64>(dlsym(RTLD_NEXT, "fstat64"));
  return real;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int fstat64(int fd, struct stat64* status) noexcept {
  const int result = RealFstat64()(fd, status);
  if (result == 0) vdrive::sg::DisguiseIfServed(*status);
  return result;
}
