// qrwpack.exe's faults that its own logic cannot go on from (the C++
// library reporting memory exhausted or a broken rule): one line on the
// error stream, as qrwpack's other failures, and status 1.
#include <cstdio>
#include <cstdlib>

#include "program/runtime/end_with_error.h"

namespace program {

void EndWithError(const char* what) {
  // fputs, not fprintf: the C++ library sends fprintf to mingw-w64's own,
  // whose code needs a Pentium Pro.
  std::fputs("qrwpack: ", stderr);
  std::fputs(what, stderr);
  std::fputs("\n", stderr);
  std::exit(1);
}

}  // namespace program
