#include "text/json.h"

#include "text/format.h"

namespace text {

Json Json::Object() {
  Json json;
  json.kind_ = Kind::Object;
  return json;
}

Json Json::Array() {
  Json json;
  json.kind_ = Kind::Array;
  return json;
}

Json& Json::Set(const std::string& key, Json value) {
  for (std::size_t i = 0; i < keys_.size(); ++i) {
    if (keys_[i] != key) continue;
    values_[i] = std::move(value);
    return *this;
  }
  keys_.push_back(key);
  values_.push_back(std::move(value));
  return *this;
}

Json& Json::Add(Json value) {
  values_.push_back(std::move(value));
  return *this;
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const unsigned byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (byte < 0x20 || byte == 0x7F) {
      out += Format("\\u%04X", byte);
    } else if (byte >= 0x80) {
      // The code point of the byte's value, in UTF-8.
      out += static_cast<char>(0xC0 | (byte >> 6));
      out += static_cast<char>(0x80 | (byte & 0x3F));
    } else {
      out += c;
    }
  }
  return out + "\"";
}

void Json::Write(std::string& out, int depth) const {
  const std::string inner(static_cast<std::size_t>(2 * (depth + 1)), ' ');
  const std::string outer(static_cast<std::size_t>(2 * depth), ' ');
  switch (kind_) {
    case Kind::Null: out += "null"; return;
    case Kind::Bool: out += flag_ ? "true" : "false"; return;
    case Kind::Number: out += std::to_string(number_); return;
    case Kind::String: out += JsonString(text_); return;
    case Kind::Object:
    case Kind::Array: break;
  }
  const bool object = kind_ == Kind::Object;
  if (values_.empty()) {
    out += object ? "{}" : "[]";
    return;
  }
  out += object ? "{\n" : "[\n";
  for (std::size_t i = 0; i < values_.size(); ++i) {
    out += inner;
    if (object) out += JsonString(keys_[i]) + ": ";
    values_[i].Write(out, depth + 1);
    out += i + 1 < values_.size() ? ",\n" : "\n";
  }
  out += outer + (object ? "}" : "]");
}

std::string Json::Document() const {
  std::string out;
  Write(out, 0);
  return out + "\n";
}

}  // namespace text
