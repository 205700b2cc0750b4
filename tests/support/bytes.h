// Bytes as the tests write and compare them: "3B 05 01 ..." both ways, and
// the few fixed-width fields the tests read back.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

// "3B 05 01" -> {0x3B, 0x05, 0x01}.
inline Bytes Hex(std::string_view text) {
  Bytes bytes;
  std::istringstream in{std::string(text)};
  std::string word;
  while (in >> word) bytes.push_back(static_cast<std::uint8_t>(std::stoul(word, nullptr, 16)));
  return bytes;
}

// {0x3B, 0x05, 0x01} -> "3B 05 01".
inline std::string ToHex(const std::uint8_t* bytes, std::size_t count) {
  std::string text;
  char two[4];
  for (std::size_t i = 0; i < count; ++i) {
    std::snprintf(two, sizeof two, i == 0 ? "%02X" : " %02X", bytes[i]);
    text += two;
  }
  return text;
}

inline std::string ToHex(const Bytes& bytes, std::size_t from, std::size_t count) {
  return ToHex(bytes.data() + from, count);
}

// A 32-bit value as eight hex digits, as the seal's messages write it.
inline std::string Hex8(std::uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

inline std::uint32_t Le32(const Bytes& bytes, std::size_t at) {
  return std::uint32_t{bytes[at]} | (std::uint32_t{bytes[at + 1]} << 8) |
         (std::uint32_t{bytes[at + 2]} << 16) | (std::uint32_t{bytes[at + 3]} << 24);
}

// Writes text's characters at at, without a terminator.
inline void PutText(Bytes& bytes, std::size_t at, const std::string& text) {
  std::memcpy(bytes.data() + at, text.data(), text.size());
}

}  // namespace testsupport
