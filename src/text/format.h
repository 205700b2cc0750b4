// printf-style formatting of the program's own texts, for the conversions
// they use: %d, %u, %X, %c and %s, with the flags '-' and '0', a width and
// a precision, and %%. A precision limits how many characters %s reads, so
// it may point at a field that is not NUL-terminated.
//
// The C library's snprintf is not used in the program: mingw-w64's, which
// the C++ library selects, brings its floating-point formatter, whose code
// needs a Pentium Pro.
#pragma once

#include <string>

namespace text {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace text
