// printf-style formatting of the program's own texts, for the conversions
// they use: %d, %i, %u, %X, %c and %s, with the flags '-' and '0', a width
// and a precision (either may be '*'), and %%. A precision limits how many
// characters %s reads, so it may point at a field that is not NUL-terminated.
//
// The compiler checks each call's arguments against its format as it would
// printf's. A format the formatter would get wrong (%x, %p, %f, a size such
// as %ld, another flag) is refused: the result is one line naming the
// format and what is wrong with it instead of a text with wrong numbers in
// it, and no argument is read. FormatProblemOf tells the same beforehand.
//
// The C library's snprintf is not used in the program: mingw-w64's, which
// the C++ library selects, brings its floating-point formatter, whose code
// needs a Pentium Pro.
#pragma once

#include <string>

namespace text {

enum class FormatProblem {
  None,
  Conversion,    // not one of %d %i %u %X %c %s %% (%x, %p, %f, %e, %n...)
  Size,          // a size: %ld, %lld, %hd, %zu...
  Flag,          // a flag other than '-' and '0' (' ', '+', '#')
  FlagNotTaken,  // '0' or a precision with %c, '0' with %s, anything with %%
  LonePercent,   // a '%' that ends the format
};

// The first thing in FORMAT that Format does not format as printf would.
constexpr FormatProblem FormatProblemOf(const char* format) {
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') continue;
    ++p;
    bool zeros = false, sized = false, precise = false;
    for (; *p == '-' || *p == '0'; ++p) zeros = zeros || *p == '0';
    if (*p == ' ' || *p == '+' || *p == '#') return FormatProblem::Flag;
    if (*p == '*') {
      ++p;
      sized = true;
    }
    for (; *p >= '0' && *p <= '9'; ++p) sized = true;
    if (*p == '.') {
      ++p;
      precise = true;
      if (*p == '*') ++p;
      for (; *p >= '0' && *p <= '9'; ++p) {
      }
    }
    switch (*p) {
      case 'd':
      case 'i':
      case 'u':
      case 'X': break;
      case 'c':
        if (zeros || precise) return FormatProblem::FlagNotTaken;
        break;
      case 's':
        if (zeros) return FormatProblem::FlagNotTaken;
        break;
      case '%':
        if (zeros || sized || precise) return FormatProblem::FlagNotTaken;
        break;
      case '\0': return FormatProblem::LonePercent;
      case 'h':
      case 'l':
      case 'j':
      case 'z':
      case 't':
      case 'L':
      case 'q': return FormatProblem::Size;
      default: return FormatProblem::Conversion;
    }
  }
  return FormatProblem::None;
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace text
