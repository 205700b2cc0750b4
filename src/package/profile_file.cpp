#include "package/profile_file.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace package {

namespace {

// The Windows reader counts the end-of-file character 0x1A as a blank too.
bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' ||
         c == '\x1a';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// A name or value ends at a zero byte, as the reader's C strings do.
std::string UpToZero(std::string_view text) {
  return std::string(text.substr(0, text.find('\0')));
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view stored, std::string_view asked) {
  return stored.size() == asked.size() &&
         std::equal(stored.begin(), stored.end(), asked.begin(),
                    [](char a, char b) { return Lower(a) == Lower(b); });
}

// Lines end at '\n'; only a file without any '\n' is split at '\r'.
std::vector<std::string_view> SplitLines(std::string_view text) {
  const char separator = text.find('\n') != std::string_view::npos ? '\n' : '\r';
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(separator, start);
    if (end == std::string_view::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LittleMark = "\xFF\xFE";
constexpr std::string_view kUtf16BigMark = "\xFE\xFF";

// Code page 1252 at 0x80-0x9F; the five unassigned bytes stand for the
// control characters of the same number.
constexpr char32_t kAnsiHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The reader hands out text of the ANSI code page: a character it lacks
// becomes '?'.
char ToAnsi(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
  for (int i = 0; i < 32; ++i)
    if (kAnsiHigh[i] == c) return static_cast<char>(0x80 + i);
  return '?';
}

constexpr char32_t kReplacement = 0xFFFD;

// One UTF-8 sequence from text at i; a malformed one yields the replacement.
char32_t NextUtf8(std::string_view text, std::size_t& i) {
  const auto lead = static_cast<unsigned char>(text[i++]);
  if (lead < 0x80) return lead;
  const int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
  if (extra < 0 || lead > 0xF4) return kReplacement;
  char32_t c = lead & (0x3F >> extra);
  for (int n = 0; n < extra; ++n) {
    if (i >= text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) return kReplacement;
    c = (c << 6) | (static_cast<unsigned char>(text[i++]) & 0x3F);
  }
  return c;
}

std::string AnsiFromUtf8(std::string_view text) {
  std::string ansi;
  for (std::size_t i = 0; i < text.size();) ansi += ToAnsi(NextUtf8(text, i));
  return ansi;
}

std::string AnsiFromUtf16(std::string_view text, bool bigEndian) {
  std::string ansi;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
    const auto first = static_cast<unsigned char>(text[i]);
    const auto second = static_cast<unsigned char>(text[i + 1]);
    ansi += ToAnsi(bigEndian ? (first << 8 | second) : (second << 8 | first));
  }
  return ansi;
}

// A file with a byte-order mark is Unicode text; any other is ANSI text.
std::string AnsiText(std::string_view text) {
  if (text.substr(0, kUtf8Mark.size()) == kUtf8Mark)
    return AnsiFromUtf8(text.substr(kUtf8Mark.size()));
  if (text.substr(0, 2) == kUtf16LittleMark) return AnsiFromUtf16(text.substr(2), false);
  if (text.substr(0, 2) == kUtf16BigMark) return AnsiFromUtf16(text.substr(2), true);
  return std::string(text);
}

// The reader drops the trailing spaces (blanks only) of a default, keeping
// at least its first character.
std::string_view StripDefault(std::string_view value) {
  std::size_t end = value.size();
  while (end > 1 && value[end - 1] == ' ') --end;
  return value.substr(0, end);
}

}  // namespace

std::string CopyProfileEntry(std::string_view value) {
  bool quoted = false;
  if (value.size() > 1 && (value.front() == '\'' || value.front() == '"') &&
      value.back() == value.front()) {
    quoted = true;
    value.remove_prefix(1);
  }
  std::string copy(value.substr(0, kProfileStringBufferSize - 1));
  // The closing quote is dropped by cutting the copied text by one; when the
  // value filled the buffer exactly this cuts its last character instead.
  if (quoted && value.size() <= kProfileStringBufferSize) copy.pop_back();
  return copy;
}

ProfileFile ProfileFile::Parse(std::string_view raw) {
  const std::string text = AnsiText(raw);
  ProfileFile file;
  file.sections_.push_back(Section{});  // keys before the first section
  for (std::string_view line : SplitLines(text)) {
    line = Trim(line);
    if (line.empty()) continue;
    if (line.front() == '[') {
      const std::size_t close = line.rfind(']');
      if (close != std::string_view::npos) {
        file.sections_.push_back(Section{UpToZero(Trim(line.substr(1, close - 1))), {}});
        continue;
      }
    }
    Key key;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      key.name = UpToZero(line);
    } else {
      key.name = UpToZero(Trim(line.substr(0, equals)));
      key.value = UpToZero(Trim(line.substr(equals + 1)));
    }
    // A run of lines that give no name keeps only its first.
    std::vector<Key>& keys = file.sections_.back().keys;
    if (!key.name.empty() || keys.empty() || !keys.back().name.empty())
      keys.push_back(std::move(key));
  }
  return file;
}

std::optional<ProfileFile> ProfileFile::Load(const std::string& path) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(std::fopen(path.c_str(), "rb"),
                                                         &std::fclose);
  if (!stream) return std::nullopt;
  std::string text;
  char block[4096];
  std::size_t got;
  while ((got = std::fread(block, 1, sizeof block, stream.get())) > 0) text.append(block, got);
  if (std::ferror(stream.get())) return std::nullopt;
  return Parse(text);
}

std::string ProfileFile::Read(std::string_view section, std::string_view key,
                              std::string_view defaultValue) const {
  const std::string_view wantedSection = Trim(section);
  const std::string_view wantedKey = Trim(key);
  const std::string_view fallback = StripDefault(defaultValue);
  for (const Section& s : sections_) {
    if (!SameName(s.name, wantedSection)) continue;
    for (const Key& k : s.keys) {
      if (SameName(k.name, wantedKey))
        return CopyProfileEntry(k.value ? std::string_view(*k.value) : fallback);
    }
    break;  // only the first section of a name is searched
  }
  return CopyProfileEntry(fallback);
}

std::string IniProfileReader::Read(const std::string& section, const std::string& key,
                                   const std::string& defaultValue, const std::string& path) {
  auto found = std::find_if(files_.begin(), files_.end(),
                            [&path](const auto& file) { return file.first == path; });
  if (found == files_.end()) {
    // A file that cannot be read answers every question with the default.
    files_.emplace_back(path, ProfileFile::Load(path).value_or(ProfileFile{}));
    found = files_.end() - 1;
  }
  return found->second.Read(section, key, defaultValue);
}

}  // namespace package
