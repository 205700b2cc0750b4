// Reads the import table of 32-bit Windows programs and fails on any import
// that not every supported system exports, or that Windows 9x exports only
// as a stub that fails.
//
//   import_check --lists DIR PROGRAM...   check; one line per fault
//   import_check --print PROGRAM          print "DLL!function" per import
//
// DIR holds one reference list per DLL (<dll>.txt, lower case, e.g.
// kernel32.txt): the functions that Windows 98 first edition and Windows NT
// 4.0 SP6 both export, one per line, '#' starting a comment. later.txt
// names, per function, the first system that exported it, so that a fault
// can say which systems lack it. wide_9x.txt lists the wide-character
// functions that Windows 9x implements or that the programs call only on
// the NT family; every other wide-character function is refused.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

struct Import {
  std::string dll;       // upper case, as the loader compares it
  std::string function;  // empty for an import by ordinal
  std::uint32_t ordinal = 0;
};

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

// ---- The PE file ------------------------------------------------------------

class PeFile {
 public:
  explicit PeFile(Bytes bytes) : bytes_(std::move(bytes)) {}

  // The imports, or an error text for a file that is not a 32-bit PE
  // program or whose import table leaves the file.
  std::optional<std::string> ReadImports(std::vector<Import>& imports) const {
    constexpr std::uint32_t kPeOffsetField = 0x3C;  // e_lfanew
    constexpr std::uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
    constexpr std::uint16_t kPe32Magic = 0x10B;
    constexpr std::uint32_t kImportDirectory = 96 + 1 * 8;  // data directory 1
    const auto pe = Le32(kPeOffsetField);
    if (!pe || Le32(*pe) != kPeSignature) return "not a PE file";
    const std::uint32_t coff = *pe + 4;
    const auto sections = Le16(coff + 2);
    const auto optionalSize = Le16(coff + 16);
    const std::uint32_t optional = coff + 20;
    if (!sections || !optionalSize || Le16(optional) != kPe32Magic)
      return "not a 32-bit PE program";
    sectionTable_ = optional + *optionalSize;
    sectionCount_ = *sections;
    const auto importRva = Le32(optional + kImportDirectory);
    if (!importRva) return "no data directories";
    if (*importRva == 0) return std::nullopt;  // imports nothing
    for (std::uint32_t descriptor = *importRva;; descriptor += 20) {
      const auto lookup = Le32(Offset(descriptor));
      const auto nameRva = Le32(Offset(descriptor + 12));
      const auto thunkRva = Le32(Offset(descriptor + 16));
      if (!lookup || !nameRva || !thunkRva) return "import table leaves the file";
      if (*lookup == 0 && *nameRva == 0 && *thunkRva == 0) return std::nullopt;
      const auto dll = String(Offset(*nameRva));
      if (!dll) return "import name leaves the file";
      for (std::uint32_t entry = *lookup != 0 ? *lookup : *thunkRva;; entry += 4) {
        const auto thunk = Le32(Offset(entry));
        if (!thunk) return "import lookup table leaves the file";
        if (*thunk == 0) break;
        Import import{Upper(*dll), {}, 0};
        if (*thunk & 0x80000000u) {
          import.ordinal = *thunk & 0xFFFF;
        } else {
          const auto name = String(Offset(*thunk + 2));  // past the hint
          if (!name) return "imported name leaves the file";
          import.function = *name;
        }
        imports.push_back(import);
      }
    }
  }

 private:
  std::optional<std::uint32_t> Le16(std::optional<std::uint32_t> at) const {
    if (!at || *at > bytes_.size() || bytes_.size() - *at < 2) return std::nullopt;
    return bytes_[*at] | bytes_[*at + 1] << 8;
  }

  std::optional<std::uint32_t> Le32(std::optional<std::uint32_t> at) const {
    if (!at || *at > bytes_.size() || bytes_.size() - *at < 4) return std::nullopt;
    return bytes_[*at] | bytes_[*at + 1] << 8 | bytes_[*at + 2] << 16 |
           static_cast<std::uint32_t>(bytes_[*at + 3]) << 24;
  }

  // The file offset of a relative virtual address, through the section
  // that holds it.
  std::optional<std::uint32_t> Offset(std::uint32_t rva) const {
    for (std::uint32_t i = 0; i < sectionCount_; ++i) {
      const std::uint32_t header = sectionTable_ + i * 40;
      const auto virtualSize = Le32(header + 8);
      const auto address = Le32(header + 12);
      const auto rawSize = Le32(header + 16);
      const auto rawOffset = Le32(header + 20);
      if (!virtualSize || !address || !rawSize || !rawOffset) return std::nullopt;
      const std::uint32_t size = *virtualSize != 0 ? *virtualSize : *rawSize;
      if (rva >= *address && rva - *address < size) {
        if (rva - *address >= *rawSize) return std::nullopt;  // not in the file
        return *rawOffset + (rva - *address);
      }
    }
    return std::nullopt;
  }

  std::optional<std::string> String(std::optional<std::uint32_t> at) const {
    if (!at) return std::nullopt;
    std::string text;
    for (std::uint32_t i = *at; i < bytes_.size(); ++i) {
      if (bytes_[i] == 0) return text;
      text += static_cast<char>(bytes_[i]);
    }
    return std::nullopt;
  }

  Bytes bytes_;
  mutable std::uint32_t sectionTable_ = 0;
  mutable std::uint32_t sectionCount_ = 0;
};

// ---- The reference lists ----------------------------------------------------

// The words of a list file, one entry per line, comments removed.
std::optional<std::vector<std::vector<std::string>>> ReadList(const std::string& path) {
  std::ifstream file(path);
  if (!file) return std::nullopt;
  std::vector<std::vector<std::string>> lines;
  std::string line;
  while (std::getline(file, line)) {
    line = line.substr(0, line.find('#'));
    std::istringstream words(line);
    std::vector<std::string> entry{std::istream_iterator<std::string>(words), {}};
    if (!entry.empty()) lines.push_back(entry);
  }
  return lines;
}

struct References {
  std::map<std::string, std::set<std::string>> exports;  // DLL (upper) -> names
  std::map<std::string, std::string> firstSystem;        // function -> system
  std::set<std::string> wideAllowed;
};

// The two families, oldest first, in the words of later.txt.
const std::vector<std::string> kWindows9x = {"98", "98SE", "ME"};
const std::vector<std::string> kWindowsNt = {"NT4", "2000", "XP", "Vista", "7", "8", "10"};

std::string SystemName(const std::string& word) {
  if (word == "98") return "Windows 98";
  if (word == "98SE") return "Windows 98 SE";
  if (word == "ME") return "Windows ME";
  if (word == "NT4") return "Windows NT 4.0";
  return "Windows " + word;
}

// The supported systems that lack a function first exported by `first`:
// the earlier ones of its family, and for a function of the Windows 9x
// family Windows NT 4.0 too (which never had the 9x additions), for one of
// the NT family every Windows 9x.
std::string SystemsLacking(const std::string& first) {
  std::vector<std::string> lacking;
  const bool nt = std::find(kWindowsNt.begin(), kWindowsNt.end(), first) != kWindowsNt.end();
  for (const std::string& system : kWindows9x) {
    if (system == first) break;
    lacking.push_back(system);
  }
  if (nt) {
    for (const std::string& system : kWindowsNt) {
      if (system == first) break;
      lacking.push_back(system);
    }
  } else {
    lacking.push_back("NT4");
  }
  std::string list;
  for (const std::string& system : lacking) list += (list.empty() ? "" : ", ") + SystemName(system);
  return list;
}

// The C library's calls that take a file name, a folder or an environment
// text: their wide forms (_wfopen, _wstat, ...) reach the wide Win32 calls.
const std::set<std::string> kNarrowRuntimeCalls = {
    "access", "chdir", "chmod", "creat", "execl", "execv", "findfirst", "findfirst64",
    "findfirsti64", "findnext", "findnext64", "findnexti64", "fopen", "freopen", "fsopen",
    "fullpath", "getcwd", "getdcwd", "getenv", "mkdir", "mktemp", "open", "popen", "putenv",
    "remove", "rename", "rmdir", "searchenv", "setlocale", "sopen", "spawnl", "spawnv", "stat",
    "stat64", "stati64", "system", "tempnam", "tmpnam", "unlink", "utime", "utime64"};

// A wide-character function: a Win32 call taking wide texts (name ending in
// W after a lower-case letter or digit) or the C library's wide file and
// process calls, which Windows 9x serves with stubs that fail.
bool IsWide(const Import& import) {
  const std::string& name = import.function;
  if (import.dll == "MSVCRT.DLL") {
    if (name.rfind("_w", 0) != 0) return false;
    const std::string narrow = name.substr(2);
    return kNarrowRuntimeCalls.count(narrow) || kNarrowRuntimeCalls.count("_" + narrow) ||
           kNarrowRuntimeCalls.count(narrow.substr(0, 6));  // _wspawnlp, _wexecvpe, ...
  }
  if (name.size() < 2 || name.back() != 'W') return false;
  const char before = name[name.size() - 2];
  return (before >= 'a' && before <= 'z') || (before >= '0' && before <= '9');
}

}  // namespace

int main(int argc, char** argv) {
  const std::string usage =
      "usage: import_check --lists DIR PROGRAM... | import_check --print PROGRAM\n";
  if (argc < 3) {
    std::fputs(usage.c_str(), stderr);
    return 2;
  }
  const std::string mode = argv[1];
  std::vector<std::string> programs;
  std::string listDir;
  if (mode == "--print" && argc == 3) {
    programs.push_back(argv[2]);
  } else if (mode == "--lists" && argc >= 4) {
    listDir = argv[2];
    for (int i = 3; i < argc; ++i) programs.push_back(argv[i]);
  } else {
    std::fputs(usage.c_str(), stderr);
    return 2;
  }

  References references;
  if (!listDir.empty()) {
    for (const char* dll : {"kernel32", "user32", "gdi32", "advapi32", "comctl32", "msvcrt"}) {
      const auto list = ReadList(listDir + "/" + dll + ".txt");
      if (!list) {
        std::fprintf(stderr, "import_check: no reference list %s/%s.txt\n", listDir.c_str(), dll);
        return 2;
      }
      auto& names = references.exports[Upper(dll) + ".DLL"];
      for (const auto& entry : *list) names.insert(entry[0]);
    }
    const auto later = ReadList(listDir + "/later.txt");
    const auto wide = ReadList(listDir + "/wide_9x.txt");
    if (!later || !wide) {
      std::fprintf(stderr, "import_check: no later.txt or wide_9x.txt in %s\n", listDir.c_str());
      return 2;
    }
    for (const auto& entry : *later)
      if (entry.size() >= 2) references.firstSystem[entry[0]] = entry[1];
    for (const auto& entry : *wide) references.wideAllowed.insert(entry[0]);
  }

  int faults = 0;
  for (const std::string& path : programs) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
      std::fprintf(stderr, "import_check: cannot read %s\n", path.c_str());
      return 2;
    }
    const std::string name = path.substr(path.find_last_of("/\\") + 1);
    std::vector<Import> imports;
    int programFaults = 0;
    if (const auto error =
            PeFile(Bytes(std::istreambuf_iterator<char>(file), {})).ReadImports(imports)) {
      std::fprintf(stderr, "import_check: %s: %s\n", path.c_str(), error->c_str());
      return 2;
    }
    if (imports.empty()) {
      std::fprintf(stderr, "import_check: %s imports nothing\n", path.c_str());
      return 2;
    }
    for (const Import& import : imports) {
      const std::string shown =
          import.dll + "!" +
          (import.function.empty() ? "#" + std::to_string(import.ordinal) : import.function);
      if (listDir.empty()) {
        std::printf("%s\n", shown.c_str());
        continue;
      }
      const auto dll = references.exports.find(import.dll);
      std::string fault;
      if (dll == references.exports.end()) {
        fault = "a DLL outside the reference lists (" + Lower(import.dll) + ")";
      } else if (import.function.empty()) {
        fault = "an import by ordinal, which differs between the systems";
      } else if (const auto first = references.firstSystem.find(import.function);
                 first != references.firstSystem.end()) {
        fault = "missing on " + SystemsLacking(first->second) + " (first exported by " +
                SystemName(first->second) + ")";
      } else if (IsWide(import) && !references.wideAllowed.count(import.function)) {
        // Exported, but on Windows 9x a stub that fails.
        fault = "a wide-character function that Windows 98 and ME only stub";
      } else if (!dll->second.count(import.function)) {
        fault = "not in the reference list: not known to be exported by both Windows 98 "
                "and Windows NT 4.0";
      }
      if (!fault.empty()) {
        std::printf("%s imports %s: %s\n", name.c_str(), shown.c_str(), fault.c_str());
        ++programFaults;
      }
    }
    faults += programFaults;
    if (!listDir.empty() && programFaults == 0)
      std::printf("%s: %zu imports, all exported by every supported system\n", name.c_str(),
                  imports.size());
  }
  return faults == 0 ? 0 : 1;
}
