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
  std::string copy(value.substr(0, kProfileBufferSize - 1));
  // The closing quote is dropped by cutting the copied text by one; when the
  // value filled the buffer exactly this cuts its last character instead.
  if (quoted && value.size() <= kProfileBufferSize) copy.pop_back();
  return copy;
}

ProfileFile ProfileFile::Parse(std::string_view text) {
  if (text.substr(0, kUtf8Mark.size()) == kUtf8Mark) text.remove_prefix(kUtf8Mark.size());
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
  auto found = files_.find(path);
  if (found == files_.end()) {
    // A file that cannot be read answers every question with the default.
    found = files_.emplace(path, ProfileFile::Load(path).value_or(ProfileFile{})).first;
  }
  return found->second.Read(section, key, defaultValue);
}

}  // namespace package
