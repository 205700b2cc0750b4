// Sets the CheckSum field of a Windows program's PE header to 0, which tells
// the loader that no checksum is kept (only drivers need one). The linker
// computes a checksum over each file, but a flash program written by the
// builder is a copy of its template with only the package rewritten, so a
// checksum could never be right in both: with none, the builder's output and
// a program linked directly with the same package are the same bytes.
//   clear_pe_checksum FILE
#include <cstdint>
#include <cstdio>
#include <fstream>

namespace {

constexpr std::streamoff kPeOffsetField = 0x3C;  // e_lfanew of the DOS header
constexpr std::streamoff kCheckSumInPe = 0x58;   // "PE\0\0", file header, then
                                                 // 64 bytes of optional header

std::uint32_t ReadLe32(std::fstream& file, std::streamoff at) {
  unsigned char b[4] = {};
  file.seekg(at);
  file.read(reinterpret_cast<char*>(b), 4);
  return b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: clear_pe_checksum FILE\n");
    return 2;
  }
  std::fstream file(argv[1], std::ios::in | std::ios::out | std::ios::binary);
  if (!file) {
    std::fprintf(stderr, "clear_pe_checksum: cannot open %s\n", argv[1]);
    return 1;
  }
  const std::uint32_t pe = ReadLe32(file, kPeOffsetField);
  if (!file || ReadLe32(file, pe) != 0x00004550) {  // "PE\0\0"
    std::fprintf(stderr, "clear_pe_checksum: %s is not a PE file\n", argv[1]);
    return 1;
  }
  const char zero[4] = {};
  file.seekp(pe + kCheckSumInPe);
  file.write(zero, 4);
  return file ? 0 : 1;
}
