// What the transport checks of both fronts share: the session's trace file,
// the little-endian fields of the request records, the data they send and
// the commands they send it with. The records are built from the platforms'
// published layouts, on their own.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace transport_checks {

using Block = std::vector<std::uint8_t>;

// ---- the trace file ---------------------------------------------------------

// A Unix path, reached through Wine's drive Z: whatever the current drive.
inline std::string TracePath() {
  const char* path = std::getenv("QRW_VDRIVE_TRACE");
  if (!path || !*path) return "";
  return path[0] == '/' ? std::string("Z:") + path : std::string(path);
}

inline void ClearTrace() {
  std::FILE* file = std::fopen(TracePath().c_str(), "wb");
  if (file) std::fclose(file);
}

inline std::string ReadTrace() {
  std::string text;
  std::FILE* file = std::fopen(TracePath().c_str(), "rb");
  if (!file) return text;
  char chunk[4096];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, got);
  std::fclose(file);
  return text;
}

// The trace's digest of the bytes a command moved: FNV-1a, 32 bits.
inline std::string Digest(const std::uint8_t* data, std::size_t length) {
  std::uint32_t hash = 0x811C9DC5u;
  for (std::size_t i = 0; i < length; ++i) {
    hash ^= data[i];
    hash *= 0x01000193u;
  }
  char text[9];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(hash));
  return text;
}

// ---- little-endian fields ----------------------------------------------------

inline void PutLe16(Block& block, std::size_t at, std::uint16_t value) {
  block[at] = static_cast<std::uint8_t>(value);
  block[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

inline void PutLe32(Block& block, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) block[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline std::uint32_t GetLe32(const Block& block, std::size_t at) {
  return std::uint32_t{block[at]} | std::uint32_t{block[at + 1]} << 8 |
         std::uint32_t{block[at + 2]} << 16 | std::uint32_t{block[at + 3]} << 24;
}

inline std::uint32_t AddressOf(const void* pointer) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

inline std::string Text(const std::uint8_t* data, std::size_t length) {
  return std::string(reinterpret_cast<const char*>(data), length);
}

inline Block Pattern(std::size_t length) {
  Block data(length);
  for (std::size_t i = 0; i < length; ++i) data[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return data;
}

// The identity of the scenario's drives, INQUIRY bytes 8 to 35.
inline const std::string kIdentity = "QUARVEL QRW-20410C      1.00";

inline constexpr std::array<std::uint8_t, 6> kInquiry128 = {0x12, 0x00, 0x00, 0x00, 0x80, 0x00};
inline constexpr std::array<std::uint8_t, 6> kInquiry36 = {0x12, 0x00, 0x00, 0x00, 0x24, 0x00};
// WRITE BUFFER / READ BUFFER of 16384 bytes at buffer offset 0.
inline constexpr std::array<std::uint8_t, 10> kWriteChunk = {0x3B, 0x05, 0x01, 0x00, 0x00,
                                                      0x00, 0x00, 0x40, 0x00, 0x00};
inline constexpr std::array<std::uint8_t, 10> kReadChunk = {0x3C, 0x01, 0x01, 0x00, 0x00,
                                                     0x00, 0x00, 0x40, 0x00, 0x00};
inline constexpr std::size_t kChunk = 16384;

}  // namespace transport_checks
