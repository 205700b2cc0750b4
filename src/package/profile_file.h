// A reader of INI-style profile files that answers exactly as the Windows
// profile-string reader (GetPrivateProfileStringA with a 2,048-byte buffer)
// does, so that the native build and qrwpack read a model description file
// the way the program does on Windows:
//   - a line is split at '\n' (or, in a file without any '\n', at '\r');
//     blanks, tabs and 0x1A around it are dropped; empty lines are skipped;
//   - "[name]" opens a section: the name is what lies between '[' and the
//     LAST ']' of the line, trimmed; keys before the first section belong
//     to a section with an empty name;
//   - any other line is a key: the name is the text before the first '='
//     (trimmed), the value the text after it (trimmed); a line without '='
//     is a key without a value, which answers with the default;
//   - lines beginning with ';' are such keys too: no lookup ever matches
//     them, so they act as comments; nothing after a value is a comment;
//   - section and key names are compared without regard to letter case,
//     the names asked for trimmed of blanks first;
//   - of duplicate sections only the first is searched, of duplicate keys
//     in it only the first counts;
//   - a value (or default) enclosed in one pair of the same quotes, single
//     or double, loses them;
//   - at most 2,047 characters come back; a zero byte ends a name or value;
//   - a file beginning with a byte-order mark (UTF-8, UTF-16 of either byte
//     order) is Unicode text, handed out in code page 1252 with '?' for a
//     character it lacks (Windows may pick a similar letter instead); any
//     other file is taken byte for byte.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/os.h"

namespace package {

// The buffer the program hands GetPrivateProfileStringA: a value comes
// back cut to one less than this.
inline constexpr std::size_t kProfileStringBufferSize = 2048;

class ProfileFile {
 public:
  // The parsed contents of a file's text.
  static ProfileFile Parse(std::string_view text);
  // Reads and parses a file; nothing when it cannot be read.
  static std::optional<ProfileFile> Load(const std::string& path);

  // The value of key in section, or defaultValue, as the Windows reader
  // answers it.
  std::string Read(std::string_view section, std::string_view key,
                   std::string_view defaultValue) const;

 private:
  struct Key {
    std::string name;
    std::optional<std::string> value;
  };
  struct Section {
    std::string name;
    std::vector<Key> keys;
  };
  std::vector<Section> sections_;
};

// Same reading rules, as the platform's profile-string reader. A file is
// parsed once and kept for later reads of the same path: the model
// description file does not change while the program runs. A program reads
// one or two files, so they are kept in a list (a std::map would bring
// the C++ library's prebuilt tree code, which needs a Pentium Pro, into
// qrwpack.exe).
class IniProfileReader : public platform::ProfileReader {
 public:
  std::string Read(const std::string& section, const std::string& key,
                   const std::string& defaultValue,
                   const std::string& path) override;

 private:
  std::vector<std::pair<std::string, ProfileFile>> files_;  // path, contents
};

// What the reader copies into its buffer for a found value or the default:
// one pair of enclosing quotes removed, at most 2,047 characters.
std::string CopyProfileEntry(std::string_view value);

}  // namespace package
