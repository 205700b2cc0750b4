// Prints what a profile-string reader answers for every query of a list on
// every file given, one line each: file name|section|key|value. Built twice:
// natively over the portable reader of package/, and for Windows over
// GetPrivateProfileStringA, so that the two answers can be compared under
// Wine.
//
// Usage: qrw_profile_dump OUTPUT QUERIES FILE...
//   QUERIES holds one "section|key" per line, blanks kept.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include "package/profile_file.h"
#endif

namespace {

constexpr const char* kDefault = "FAIL";

#ifdef _WIN32
std::string Read(const std::string& section, const std::string& key, const std::string& path) {
  std::vector<char> buffer(2048);
  const DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), kDefault, buffer.data(),
                                           static_cast<DWORD>(buffer.size()), path.c_str());
  return std::string(buffer.data(), n);
}
#else
std::string Read(const std::string& section, const std::string& key, const std::string& path) {
  static package::IniProfileReader reader;
  return reader.Read(section, key, kDefault, path);
}
#endif

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of("\\/:");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

struct Query {
  std::string section;
  std::string key;
};

std::vector<Query> ReadQueries(const std::string& path) {
  std::vector<Query> queries;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t bar = line.find('|');
    if (bar == std::string::npos) continue;
    queries.push_back({line.substr(0, bar), line.substr(bar + 1)});
  }
  return queries;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::cerr << "usage: qrw_profile_dump OUTPUT QUERIES FILE...\n";
    return 2;
  }
  const std::vector<Query> queries = ReadQueries(argv[2]);
  if (queries.empty()) {
    std::cerr << "qrw_profile_dump: no queries in " << argv[2] << '\n';
    return 1;
  }
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  for (int i = 3; i < argc; ++i) {
    const std::string file = argv[i];
    for (const Query& q : queries)
      out << BaseName(file) << '|' << q.section << '|' << q.key << '|'
          << Read(q.section, q.key, file) << '\n';
  }
  out.close();
  return out ? 0 : 1;
}
