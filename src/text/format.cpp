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

}  // namespace

std::string Format(const char* format, ...) {
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
      case '%':
        out += '%';
        break;
      case '\0':
        --p;  // a lone '%' at the end stands for itself
        out += '%';
        break;
      default:
        // A conversion the program's texts never use: shown as written.
        out += '%';
        out += *p;
        break;
    }
  }
  va_end(args);
  return out;
}

}  // namespace text
