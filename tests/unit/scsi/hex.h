// Byte strings written as the tests read them: "3B 05 01 ...".
#pragma once

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace scsitest {

inline std::vector<std::uint8_t> Hex(std::string_view text) {
  std::vector<std::uint8_t> bytes;
  std::istringstream in{std::string(text)};
  std::string word;
  while (in >> word) bytes.push_back(static_cast<std::uint8_t>(std::stoul(word, nullptr, 16)));
  return bytes;
}

inline std::string ToHex(const std::uint8_t* bytes, std::size_t count) {
  std::string text;
  char two[4];
  for (std::size_t i = 0; i < count; ++i) {
    std::snprintf(two, sizeof two, i == 0 ? "%02X" : " %02X", bytes[i]);
    text += two;
  }
  return text;
}

inline std::string ToHex(const std::vector<std::uint8_t>& bytes, std::size_t from,
                         std::size_t count) {
  return ToHex(bytes.data() + from, count);
}

inline std::uint32_t Le32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return std::uint32_t{bytes[at]} | (std::uint32_t{bytes[at + 1]} << 8) |
         (std::uint32_t{bytes[at + 2]} << 16) | (std::uint32_t{bytes[at + 3]} << 24);
}

}  // namespace scsitest
