#include "text/format.h"

#include <cstdarg>
#include <cstddef>

namespace text {

namespace {

struct Spec {
  bool left = false;      // '-': blanks after the text
  bool zeros = false;     // '0': zeros before a number
  int width = 0;
  int precision = -1;     // none given
};

std::string Digits(unsigned long value, unsigned base) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string digits;
  do {
    digits.insert(digits.begin(), kDigits[value % base]);
    value /= base;
  } while (value != 0);
  return digits;
}

void Pad(std::string& out, const Spec& spec, const std::string& body, bool number) {
  const std::size_t width = spec.width > 0 ? static_cast<std::size_t>(spec.width) : 0;
  const std::size_t fill = body.size() < width ? width - body.size() : 0;
  if (spec.left) {
    out += body;
    out.append(fill, ' ');
  } else if (number && spec.zeros && spec.precision < 0) {
    // Zeros go after the sign.
    const bool sign = !body.empty() && body[0] == '-';
    if (sign) out += '-';
    out.append(fill, '0');
    out += body.substr(sign ? 1 : 0);
  } else {
    out.append(fill, ' ');
    out += body;
  }
}

std::string Number(const std::string& digits, const Spec& spec, bool negative) {
  std::string body = digits;
  if (spec.precision >= 0 && body.size() < static_cast<std::size_t>(spec.precision))
    body.insert(0, static_cast<std::size_t>(spec.precision) - body.size(), '0');
  if (spec.precision == 0 && digits == "0") body.clear();
  return negative ? "-" + body : body;
}

std::string Refusal(const char* format, FormatProblem problem) {
  const char* why = "";
  switch (problem) {
    case FormatProblem::None: break;
    case FormatProblem::Conversion: why = "a conversion other than %d %i %u %X %c %s %%"; break;
    case FormatProblem::Size: why = "a size (h, l, ll, j, z, t, L): pass an int or unsigned"; break;
    case FormatProblem::Flag: why = "a flag other than '-' and '0'"; break;
    case FormatProblem::FlagNotTaken:
      why = "'0' or a precision with %c, '0' with %s, or anything between % and %";
      break;
    case FormatProblem::LonePercent: why = "a '%' at the end (%% is a percent sign)"; break;
  }
  return std::string("text::Format refused \"") + format + "\": " + why;
}

}  // namespace

std::string Format(const char* format, ...) {
  if (const FormatProblem problem = FormatProblemOf(format); problem != FormatProblem::None)
    return Refusal(format, problem);
  std::va_list args;
  va_start(args, format);
  std::string out;
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') {
      out += *p;
      continue;
    }
    ++p;
    Spec spec;
    for (;; ++p) {
      if (*p == '-') spec.left = true;
      else if (*p == '0') spec.zeros = true;
      else break;
    }
    if (*p == '*') {
      spec.width = va_arg(args, int);
      if (spec.width < 0) spec.left = true, spec.width = -spec.width;
      ++p;
    }
    for (; *p >= '0' && *p <= '9'; ++p) spec.width = spec.width * 10 + (*p - '0');
    if (*p == '.') {
      ++p;
      spec.precision = 0;
      if (*p == '*') {
        spec.precision = va_arg(args, int);
        ++p;
      }
      for (; *p >= '0' && *p <= '9'; ++p) spec.precision = spec.precision * 10 + (*p - '0');
    }
    switch (*p) {
      case 'd':
      case 'i': {
        const int value = va_arg(args, int);
        const unsigned long magnitude =
            value < 0 ? 0ul - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
        Pad(out, spec, Number(Digits(magnitude, 10), spec, value < 0), true);
        break;
      }
      case 'u':
        Pad(out, spec, Number(Digits(va_arg(args, unsigned), 10), spec, false), true);
        break;
      case 'X':
        Pad(out, spec, Number(Digits(va_arg(args, unsigned), 16), spec, false), true);
        break;
      case 'c':
        Pad(out, spec, std::string(1, static_cast<char>(va_arg(args, int))), false);
        break;
      case 's': {
        const char* s = va_arg(args, const char*);
        if (s == nullptr) s = "(null)";
        std::size_t length = 0;
        while ((spec.precision < 0 || length < static_cast<std::size_t>(spec.precision)) &&
               s[length] != '\0')
          ++length;
        Pad(out, spec, std::string(s, length), false);
        break;
      }
      default:  // '%': FormatProblemOf allows nothing else
        out += '%';
        break;
    }
  }
  va_end(args);
  return out;
}

}  // namespace text
