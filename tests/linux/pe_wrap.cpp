// qrw_pe_wrap IN OUT: writes IN as the one section of a small PE32 file
// (tests/support/pe_image.h), so that osslsigncode can sign the package
// files the native build makes.
#include <cstdio>
#include <fstream>
#include <iterator>

#include "support/pe_image.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: qrw_pe_wrap IN OUT\n", stderr);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const testsupport::Bytes body{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const testsupport::Bytes file = testsupport::PeImage::Around(body);
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  return in.bad() || !out ? 1 : 0;
}
