// JSON documents for the tools' --json answers: a value built up in order
// (objects keep the order their members were set in) and written as text.
// Texts from a package or a drive are bytes of the system's ANSI code page,
// not UTF-8: a byte above 0x7F is written as the character of that value
// (\u0080 to \u00FF), so that the document is always valid UTF-8 and a
// reader gets every byte back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace text {

class Json {
 public:
  Json() = default;  // null
  Json(const std::string& value) : kind_(Kind::String), text_(value) {}
  Json(const char* value) : kind_(Kind::String), text_(value) {}
  Json(bool value) : kind_(Kind::Bool), flag_(value) {}
  Json(int value) : kind_(Kind::Number), number_(value) {}
  Json(unsigned value) : kind_(Kind::Number), number_(value) {}
  Json(long value) : kind_(Kind::Number), number_(value) {}
  Json(unsigned long value) : kind_(Kind::Number), number_(static_cast<long long>(value)) {}
  Json(long long value) : kind_(Kind::Number), number_(value) {}

  static Json Object();
  static Json Array();

  // A member of an object (set again: replaced in place).
  Json& Set(const std::string& key, Json value);
  // An element of an array.
  Json& Add(Json value);

  // Two-space indentation, one member or element a line; a line feed at
  // the end of the document.
  std::string Document() const;

 private:
  enum class Kind { Null, Bool, Number, String, Object, Array };
  void Write(std::string& out, int depth) const;

  Kind kind_ = Kind::Null;
  bool flag_ = false;
  long long number_ = 0;
  std::string text_;
  std::vector<std::string> keys_;
  std::vector<Json> values_;
};

// A JSON string literal of TEXT, quotes included.
std::string JsonString(const std::string& text);

}  // namespace text
