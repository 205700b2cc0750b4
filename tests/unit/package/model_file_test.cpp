// RetriveINI over real files, read by the portable profile reader exactly as
// the program reads them on Windows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/fake_dialogs.h"
#include "fakes/fake_os.h"
#include "fakes/fake_ui.h"
#include "package/model_file.h"
#include "package/profile_file.h"
#include "support/files.h"
#include "support/temp_folder.h"

namespace {

using testsupport::ScratchFolder;

// "@" in an expected message stands for the model description file's path.
struct RetriveCase {
  const char* file;  // in tests/data/ini; nullptr: no file beside the program
  bool loaded;
  std::vector<std::string> comboItems;
  int selected;
  std::vector<std::string> messages;
};

std::ostream& operator<<(std::ostream& out, const RetriveCase& c) {
  return out << (c.file ? c.file : "(no file)");
}

class RetriveIniTest : public testing::TestWithParam<RetriveCase> {
 protected:
  ScratchFolder folder;
  fakes::FakeOs os;
  package::IniProfileReader profiles;
  fakes::FakeDialogs dialogs;
  fakes::FakeComboBox combo;
  package::ModelTable table;

  std::string IniPath() const { return folder / "QRWFLASH.INI"; }

  bool Run(const char* file) {
    os.exePath = folder / "QRWFLASH.EXE";
    if (file) {
      testsupport::fs::copy_file(testsupport::DataFolder() / file, IniPath());
      os.existingFiles.insert(IniPath());
    }
    return package::RetriveINI({os, profiles, dialogs, combo}, table);
  }

  std::vector<std::string> Expanded(const std::vector<std::string>& texts) const {
    std::vector<std::string> out;
    for (std::string text : texts) {
      const std::size_t at = text.find('@');
      if (at != std::string::npos) text.replace(at, 1, IniPath());
      out.push_back(text);
    }
    return out;
  }
};

TEST_P(RetriveIniTest, FillsTheModelListOrEndsTheProgramWithOneMessage) {
  const RetriveCase& c = GetParam();
  EXPECT_EQ(Run(c.file), c.loaded);
  EXPECT_EQ(combo.items, c.comboItems);
  EXPECT_EQ(combo.selected, c.selected);
  EXPECT_EQ(dialogs.Texts(), Expanded(c.messages));
  EXPECT_EQ(os.quitCodes, c.loaded ? std::vector<int>{} : std::vector<int>{0});
}

const std::string k20410C = "1.00-1.09 QUARVEL QRW-20410C";

std::vector<std::string> HundredItems() {
  std::vector<std::string> items;
  for (int n = 0; n < 100; ++n) {
    char item[64];
    std::snprintf(item, sizeof item, "%d.00-%d.99 QUARVEL QRW-%05d", n % 10, n % 10, n);
    items.push_back(item);
  }
  return items;
}

INSTANTIATE_TEST_SUITE_P(
    Files, RetriveIniTest,
    testing::Values(
        RetriveCase{"one_model.ini", true, {k20410C}, 0, {}},
        RetriveCase{"two_models.ini", true, {k20410C, "2.00-2.05 QUARVEL QRW-20412C"}, 0, {}},
        // MODEL01 is missing, so MODEL02 is never read.
        RetriveCase{"gap.ini", true, {k20410C}, 0, {}},
        RetriveCase{"no_note.ini", false, {k20410C}, -1, {"@ > Session MODEL01 error!"}},
        RetriveCase{"no_model00.ini", false, {}, -1, {"@ > Session MODEL00 error!"}},
        RetriveCase{"empty.ini", false, {}, -1, {"@ > Session MODEL00 error!"}},
        // A value of exactly "FAIL" counts as a missing key.
        RetriveCase{"fail_value.ini", false, {}, -1, {"@ > Session MODEL00 error!"}},
        // The combo box shows the values as written, before they are cut.
        RetriveCase{"long_texts.ini",
                    true,
                    {"1.00-1.09 QUARVEL QRW-20410C-LONG-INQUIRY", "---------- QUARVEL QRW"},
                    0,
                    {}},
        RetriveCase{"hundred.ini", true, HundredItems(), 0, {}},
        RetriveCase{"case_blanks.ini", true, {k20410C}, 0, {}},
        RetriveCase{"duplicates.ini", true, {k20410C, "2.00-2.05 QUARVEL QRW-20412C"}, 0, {}},
        RetriveCase{"cr_only.ini", true, {k20410C, k20410C}, 0, {}},
        RetriveCase{"bom.ini", true, {k20410C}, 0, {}},
        RetriveCase{nullptr, false, {}, -1, {"Can't load @"}}));

TEST_F(RetriveIniTest, CutsTextsTo24AndFillsTheInquiryTo24) {
  ASSERT_TRUE(Run("long_texts.ini"));
  // Entry 2 is the section that ended the list, kept as read.
  EXPECT_EQ(table.Model,
            (std::vector<std::string>{"QRW-20410C-EXTENDED-EDIT", "QRW-2", "FAIL"}));
  EXPECT_EQ(table.Inquiry, (std::vector<std::string>{"QUARVEL QRW-20410C-LONG-",
                                                     "QUARVEL QRW             ", "FAIL"}));
  EXPECT_EQ(table.FwRange, (std::vector<std::string>{"1.00-1.09", "----------", "FAIL"}));
  EXPECT_EQ(table.BinMask, (std::vector<std::string>{"*.BIN", "*.BIN", "FAIL"}));
  EXPECT_EQ(table.Vendor, (std::vector<std::string>{"Quarvel-IT", "Q", "FAIL"}));
  EXPECT_EQ(table.Note, (std::vector<std::string>{"None", "FLASH-ALL and more", "FAIL"}));
}

TEST_F(RetriveIniTest, ReadsTheFirstOfDuplicateSectionsAndKeys) {
  ASSERT_TRUE(Run("duplicates.ini"));
  EXPECT_EQ(table.Model[0], "First");
  EXPECT_EQ(table.Model[1], "QRW-20412C");
}

TEST_F(RetriveIniTest, LoadsAllHundredSectionsWithTheirMasks) {
  ASSERT_TRUE(Run("hundred.ini"));
  ASSERT_EQ(table.BinMask.size(), 100u);
  EXPECT_EQ(table.BinMask[0], "M00*.BIN");
  EXPECT_EQ(table.BinMask[99], "M99*.BIN");
  EXPECT_EQ(table.Model[99], "QRW-00099");
}

// Asks the portable reader and notes every question.
class RecordingReader : public platform::ProfileReader {
 public:
  std::vector<std::string> asked;  // "section/key"
  std::string Read(const std::string& section, const std::string& key,
                   const std::string& defaultValue, const std::string& path) override {
    asked.push_back(section + "/" + key);
    return reader_.Read(section, key, defaultValue, path);
  }

 private:
  package::IniProfileReader reader_;
};

TEST(ReadModelFile, ReadsAllSixKeysInOrderAndNeverPastTheGap) {
  RecordingReader reader;
  const auto contents =
      package::ReadModelFile(reader, (testsupport::DataFolder() / "gap.ini").string());
  EXPECT_EQ(reader.asked,
            (std::vector<std::string>{"MODEL00/Model", "MODEL00/Inquiry", "MODEL00/FW-Range",
                                      "MODEL00/BINMask", "MODEL00/Vendor", "MODEL00/Note",
                                      "MODEL01/Model", "MODEL01/Inquiry", "MODEL01/FW-Range",
                                      "MODEL01/BINMask", "MODEL01/Vendor", "MODEL01/Note"}));
  EXPECT_TRUE(contents.selected);
  EXPECT_EQ(contents.lastSection, "MODEL01");
}

TEST(ModelFilePath, ReplacesTheExtensionOfTheFileNameOnly) {
  EXPECT_EQ(package::ModelFilePath("C:\\FLASH\\QRWFLASH.EXE"), "C:\\FLASH\\QRWFLASH.INI");
  EXPECT_EQ(package::ModelFilePath("C:\\A.B\\QRWFLASH"), "C:\\A.B\\QRWFLASH.INI");
  EXPECT_EQ(package::ModelFilePath("C:\\FLASH\\qrw.v2.exe"), "C:\\FLASH\\qrw.v2.INI");
  EXPECT_EQ(package::ModelFilePath("/opt/a.b/qrwflash"), "/opt/a.b/qrwflash.INI");
}

TEST(SectionName, IsModelAndTwoDigits) {
  EXPECT_EQ(package::SectionName(0), "MODEL00");
  EXPECT_EQ(package::SectionName(7), "MODEL07");
  EXPECT_EQ(package::SectionName(99), "MODEL99");
}

}  // namespace
