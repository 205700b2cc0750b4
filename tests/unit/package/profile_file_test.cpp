// The portable profile reader answers as GetPrivateProfileStringA does (the
// same files are compared with Wine's reader in the cross build's checks).
#include <gtest/gtest.h>

#include <string>

#include "package/profile_file.h"

namespace {

struct ReadCase {
  const char* name;
  std::string text;
  std::string section;
  std::string key;
  std::string expected;
};

std::ostream& operator<<(std::ostream& out, const ReadCase& c) { return out << c.name; }

class ProfileReadTest : public testing::TestWithParam<ReadCase> {};

TEST_P(ProfileReadTest, AnswersAsTheWindowsReader) {
  const ReadCase& c = GetParam();
  EXPECT_EQ(package::ProfileFile::Parse(c.text).Read(c.section, c.key, "FAIL"), c.expected);
}

const std::string k2047(2047, 'A');

// Latin-1 text as UTF-16 with its byte-order mark.
std::string Utf16(const std::string& latin1, bool bigEndian) {
  std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char c : latin1) {
    const char units[2] = {c, '\0'};
    out += bigEndian ? std::string{units[1], units[0]} : std::string{units[0], units[1]};
  }
  return out;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ProfileReadTest,
    testing::Values(
        ReadCase{"plain", "[S]\nKey=value\n", "S", "Key", "value"},
        ReadCase{"names ignore case and blanks", "[Model00]\nmODEL=x\n", " MODEL00 ", " Model ", "x"},
        ReadCase{"blanks around value and name", "[S]\n \tKey \t= \t a  b \t\r\n", "S", "Key", "a  b"},
        ReadCase{"blanks inside brackets", "[ S ]\nKey=v\n", "S", "Key", "v"},
        ReadCase{"last bracket closes", "[A]B] tail\nKey=v\n", "A]B", "Key", "v"},
        ReadCase{"double quotes", "[S]\nKey=\" q \"\n", "S", "Key", " q "},
        ReadCase{"single quotes", "[S]\nKey='q'\n", "S", "Key", "q"},
        ReadCase{"mismatched quotes stay", "[S]\nKey=\"q'\n", "S", "Key", "\"q'"},
        ReadCase{"lone quote stays", "[S]\nKey=\"\n", "S", "Key", "\""},
        ReadCase{"empty value is not missing", "[S]\nKey=\n", "S", "Key", ""},
        ReadCase{"key without equals answers the default", "[S]\nKey\nKey=v\n", "S", "Key", "FAIL"},
        ReadCase{"first of duplicate keys", "[S]\nKey=1\nKey=2\n", "S", "Key", "1"},
        ReadCase{"only the first section of a name", "[S]\nA=1\n[s]\nKey=2\n", "S", "Key", "FAIL"},
        ReadCase{"comment line", "[S]\n;Key=hidden\n", "S", "Key", "FAIL"},
        ReadCase{"no inline comment", "[S]\nKey=v ; c\n", "S", "Key", "v ; c"},
        ReadCase{"value holds equals signs", "[S]\nKey=a=b\n", "S", "Key", "a=b"},
        ReadCase{"missing section", "[S]\nKey=v\n", "T", "Key", "FAIL"},
        ReadCase{"keys before any section", "Key=v\n[S]\n", "", "Key", "v"},
        ReadCase{"carriage returns only", "[S]\rA=1\rKey=v\r", "S", "Key", "v"},
        ReadCase{"carriage return inside a line", "[S]\nKey=a\rb\n", "S", "Key", "a\rb"},
        ReadCase{"byte-order mark", "\xEF\xBB\xBF[S]\nKey=v\n", "S", "Key", "v"},
        // Unicode files are handed out in code page 1252.
        ReadCase{"utf-8 in code page 1252", "\xEF\xBB\xBF[S]\nKey=\xC3\xA9\xE2\x82\xAC\n", "S",
                 "Key", "\xE9\x80"},
        ReadCase{"utf-16 little-endian", Utf16("[S]\nKey=\xE9\n", false), "S", "Key", "\xE9"},
        ReadCase{"utf-16 big-endian", Utf16("[S]\nKey=\xE9\n", true), "S", "Key", "\xE9"},
        ReadCase{"without a mark byte for byte", "[S]\nKey=\xC3\xA9\n", "S", "Key", "\xC3\xA9"},
        ReadCase{"zero byte ends value", std::string("[S]\nKey=a\0b\n", 12), "S", "Key", "a"},
        ReadCase{"2047 characters fit", "[S]\nKey=" + k2047 + "\n", "S", "Key", k2047},
        ReadCase{"longer values are cut", "[S]\nKey=" + k2047 + "XY\n", "S", "Key", k2047},
        // The closing quote is dropped by cutting the copy by one character:
        // a quoted value that fills the buffer loses a letter instead.
        ReadCase{"quoted value filling the buffer", "[S]\nKey=\"" + std::string(2046, 'A') + "B\"\n", "S", "Key",
                 std::string(2046, 'A')}));

TEST(ProfileDefault, LosesTrailingBlanksAndQuotes) {
  const auto file = package::ProfileFile::Parse("[S]\n");
  EXPECT_EQ(file.Read("S", "Key", "FAIL  "), "FAIL");
  EXPECT_EQ(file.Read("S", "Key", "'FAIL'"), "FAIL");
  EXPECT_EQ(file.Read("S", "Key", "   "), " ");
}

TEST(IniProfileReader, AnswersTheDefaultForAMissingFile) {
  package::IniProfileReader reader;
  EXPECT_EQ(reader.Read("MODEL00", "Model", "FAIL", "/nonexistent/QRWFLASH.INI"), "FAIL");
}

}  // namespace
