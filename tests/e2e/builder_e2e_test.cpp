// Builder mode of the real template under Wine: the model list of the sample
// QRWFLASH.INI, choosing a model and a file, Build, and the flash program it
// writes, which must equal qrwpack's and start as a flash program.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "harness.h"
#include "program/control_ids.h"

namespace {

using namespace e2e;
using namespace program;

constexpr const char* kTemplate = "QRWFLASH.EXE";
const std::string kFirstCaption = "QUARVEL IT Flash V1.039 Qrw1B 1.00-1.09 [Buiding]";
const std::string kSecondCaption = "QUARVEL IT Flash V1.039 Qrw1B 2.00-2.05 [Buiding]";
const std::string kWarning =
    "\nWARNING:\n"
    "\nThis flash utility only supports QRW-20410C firmware:1.00-1.09. We recommend you close "
    "all applications in order to run this update!Don't turn off the system while the flash "
    "is in progress!\n\nDo you wish to continue?\n";

int IndexOf(const std::vector<std::string>& items, const std::string& item) {
  const auto it = std::find(items.begin(), items.end(), item);
  return it == items.end() ? -1 : static_cast<int>(it - items.begin());
}

// The harness posts clicks and choices: the program handles them a little
// later. Polls until the condition holds or 30 seconds have passed.
template <typename Condition>
bool Eventually(Condition condition) {
  for (int attempt = 0; attempt < 600; ++attempt) {
    if (condition()) return true;
    Sleep(50);
  }
  return condition();
}

bool WaitForText(HWND window, int id, const std::string& expected) {
  return Eventually([&] { return ControlText(window, id) == expected; });
}

bool WaitUntilBuildEnabled(HWND window) {
  return Eventually([&] { return IsEnabled(Control(window, kIdFlashButton)); });
}

class BuilderE2e : public testing::Test {
 protected:
  // The template, the sample model description file and an image for each
  // of its two models, in a folder of their own.
  void SetUpFolder(const std::string& name, bool withModels = true) {
    folder_ = MakeWorkFolder(name);
    ASSERT_TRUE(CopyInto(ProgramPath(kTemplate), folder_));
    if (withModels) {
      ASSERT_TRUE(CopyInto(ProgramPath("QRWFLASH.INI"), folder_));
    }
    ASSERT_TRUE(CopyInto(FirmwarePath("1.10.BIN"), folder_));
    ASSERT_TRUE(CopyInto(FirmwarePath("1.10.BIN"), folder_, "2.01.BIN"));
  }

  HWND StartBuilder() {
    program_.emplace(Process::Start(folder_ + "\\" + kTemplate, folder_));
    return WaitForWindow(*program_, kFlashFormClass);
  }

  void TearDown() override {
    if (window_ != nullptr && program_ && program_->Running()) {
      Close(window_);
      EXPECT_EQ(program_->WaitForExit(), std::optional<DWORD>(0));
    }
    ClearWindows98(kTemplate);
  }

  // The folder names after a build: the earlier output replaced or kept,
  // no file of the build's own left behind.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder_))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  // Build over a running flash program: its file cannot be replaced, the
  // build reports it and the program's file stays as it was.
  void BuildOverARunningFlashProgram(const std::string& folderName) {
    SetUpFolder(folderName);
    ASSERT_TRUE(CopyInto(ProgramPath("..\\shipped\\1.10.EXE"), folder_));
    const auto before = ReadWholeFile(folder_ + "\\1.10.EXE");
    Process flash = Process::Start(folder_ + "\\1.10.EXE", folder_);
    const auto warning = WaitForDialog(flash);
    ASSERT_TRUE(warning.has_value());

    window_ = StartBuilder();
    ASSERT_NE(window_, nullptr);
    ChooseListItem(window_, kIdFileListBox1, 0);
    ASSERT_TRUE(WaitUntilBuildEnabled(window_));
    Click(window_, kIdFlashButton);
    const auto message = WaitForDialog(*program_);
    ASSERT_TRUE(message.has_value());
    EXPECT_EQ(message->text, "Create 1.10.EXE Fail");
    Answer(*message, IDOK);
    EXPECT_EQ(ControlText(window_, kIdGroupBox2), "Building 1.10.BIN  Please wait... ");
    EXPECT_TRUE(ReadWholeFile(folder_ + "\\1.10.EXE") == before);
    EXPECT_EQ(Names(), (std::vector<std::string>{"1.10.BIN", "1.10.EXE", "2.01.BIN",
                                                 "QRWFLASH.EXE", "QRWFLASH.INI"}));

    Answer(*warning, IDNO);
    EXPECT_EQ(flash.WaitForExit(), std::optional<DWORD>(0));
  }

  std::string folder_;
  std::optional<Process> program_;
  HWND window_ = nullptr;
};

TEST_F(BuilderE2e, StartUpShowsTheFirstModelsRangeAndItsImages) {
  SetUpFolder("startup");
  window_ = StartBuilder();
  ASSERT_NE(window_, nullptr);
  EXPECT_EQ(TextOf(window_), kFirstCaption);
  EXPECT_EQ(ComboItems(Control(window_, kIdComboBox1)),
            (std::vector<std::string>{"1.00-1.09 QUARVEL QRW-20410C", "2.00-2.05 QUARVEL QRW-20412C"}));
  EXPECT_EQ(ComboSelection(Control(window_, kIdComboBox1)), 0);
  EXPECT_EQ(ListItems(Control(window_, kIdFileListBox1)), std::vector<std::string>{"1.10.BIN"});
  EXPECT_FALSE(IsEnabled(Control(window_, kIdFlashButton)));
}

TEST_F(BuilderE2e, SecondModelChangesCaptionAndMaskAndDisablesBuild) {
  SetUpFolder("second");
  window_ = StartBuilder();
  ASSERT_NE(window_, nullptr);
  ChooseListItem(window_, kIdFileListBox1, 0);
  ASSERT_TRUE(WaitUntilBuildEnabled(window_));
  ChooseComboItem(window_, kIdComboBox1, 1);
  // The caption, the mask and the button change in the one handler.
  ASSERT_TRUE(Eventually([&] { return TextOf(window_) == kSecondCaption; })) << TextOf(window_);
  EXPECT_FALSE(IsEnabled(Control(window_, kIdFlashButton)));
  EXPECT_EQ(ListItems(Control(window_, kIdFileListBox1)), std::vector<std::string>{"2.01.BIN"});
  ChooseListItem(window_, kIdFileListBox1, 0);
  EXPECT_TRUE(WaitUntilBuildEnabled(window_));
}

TEST_F(BuilderE2e, ModelWithoutImagesLeavesTheListEmptyAndBuildDisabled) {
  SetUpFolder("noimages");
  ASSERT_TRUE(DeleteFileA((folder_ + "\\2.01.BIN").c_str()));
  window_ = StartBuilder();
  ASSERT_NE(window_, nullptr);
  ChooseComboItem(window_, kIdComboBox1, 1);
  ASSERT_TRUE(Eventually([&] { return TextOf(window_) == kSecondCaption; })) << TextOf(window_);
  EXPECT_EQ(ListItems(Control(window_, kIdFileListBox1)), std::vector<std::string>{});
  EXPECT_FALSE(IsEnabled(Control(window_, kIdFlashButton)));
}

TEST_F(BuilderE2e, ClickWithoutASelectedFileEnablesBuildWhichCannotOpenIt) {
  SetUpFolder("nofile");
  window_ = StartBuilder();
  ASSERT_NE(window_, nullptr);
  ChooseListItem(window_, kIdFileListBox1, -1);
  ASSERT_TRUE(WaitUntilBuildEnabled(window_));
  Click(window_, kIdFlashButton);
  const auto message = WaitForDialog(*program_);
  ASSERT_TRUE(message.has_value());
  EXPECT_EQ(message->text, "Open  fail!");
  Answer(*message, IDOK);
  EXPECT_EQ(ControlText(window_, kIdGroupBox2), "Building   Please wait... ");
}

TEST_F(BuilderE2e, BuildWritesQrwpacksFlashProgramWhichStartsInFlashMode) {
  SetUpFolder("build");
  window_ = StartBuilder();
  ASSERT_NE(window_, nullptr);
  const int index = IndexOf(ListItems(Control(window_, kIdFileListBox1)), "1.10.BIN");
  ASSERT_GE(index, 0);
  ChooseListItem(window_, kIdFileListBox1, index);
  ASSERT_TRUE(WaitUntilBuildEnabled(window_));
  Click(window_, kIdFlashButton);
  ASSERT_TRUE(WaitForText(window_, kIdGroupBox2, "Build 1.10.EXE ok!"))
      << ControlText(window_, kIdGroupBox2);
  Screenshot(window_, "built");
  EXPECT_EQ(ProgressPosition(Control(window_, kIdProgressBar)), 0);
  EXPECT_TRUE(IsEnabled(Control(window_, kIdFlashButton)));

  const auto built = ReadWholeFile(folder_ + "\\1.10.EXE");
  const auto byQrwpack = ReadWholeFile(ProgramPath("..\\shipped\\1.10.EXE"));
  ASSERT_FALSE(byQrwpack.empty());
  EXPECT_TRUE(built == byQrwpack) << "sizes " << built.size() << " and " << byQrwpack.size();

  // Building again replaces the earlier output, through a file of its own
  // that does not stay behind.
  {
    std::ofstream stale(folder_ + "\\1.10.EXE", std::ios::binary | std::ios::trunc);
    stale << "an earlier, different output";
  }
  Click(window_, kIdFlashButton);
  // Watched by its size, which needs no handle: a file this test holds open
  // to read would keep the builder from putting the new one in its place.
  std::error_code ignored;
  EXPECT_TRUE(Eventually([&] {
    return std::filesystem::file_size(folder_ + "\\1.10.EXE", ignored) == byQrwpack.size();
  }));
  EXPECT_TRUE(WaitForText(window_, kIdGroupBox2, "Build 1.10.EXE ok!"));
  EXPECT_TRUE(ReadWholeFile(folder_ + "\\1.10.EXE") == byQrwpack);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder_))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"1.10.BIN", "1.10.EXE", "2.01.BIN", "QRWFLASH.EXE",
                                             "QRWFLASH.INI"}));

  // The new program is a flash program: it warns before anything else.
  Process flash = Process::Start(folder_ + "\\1.10.EXE", folder_);
  const auto warning = WaitForDialog(flash);
  ASSERT_TRUE(warning.has_value());
  EXPECT_EQ(warning->title, "Warning");
  EXPECT_EQ(warning->text, kWarning);
  Answer(*warning, IDNO);
  EXPECT_EQ(flash.WaitForExit(), std::optional<DWORD>(0));
}

// A template signed with Authenticode (by sign_programs.sh) writes the
// program its unsigned self writes: without the certificate table, so that
// Windows never sees a copy whose signature no longer matches.
TEST_F(BuilderE2e, SignedTemplateWritesTheUnsignedTemplatesProgram) {
  SetUpFolder("signed");
  ASSERT_TRUE(CopyInto(ProgramPath("..\\signed\\QRWFLASH.EXE"), folder_));
  const auto signedTemplate = ReadWholeFile(folder_ + "\\" + kTemplate);
  const auto byQrwpack = ReadWholeFile(ProgramPath("..\\shipped\\1.10.EXE"));
  ASSERT_GT(signedTemplate.size(), ReadWholeFile(ProgramPath(kTemplate)).size());
  window_ = StartBuilder();
  ASSERT_NE(window_, nullptr);
  ChooseListItem(window_, kIdFileListBox1, IndexOf(ListItems(Control(window_, kIdFileListBox1)), "1.10.BIN"));
  ASSERT_TRUE(WaitUntilBuildEnabled(window_));
  Click(window_, kIdFlashButton);
  ASSERT_TRUE(WaitForText(window_, kIdGroupBox2, "Build 1.10.EXE ok!"))
      << ControlText(window_, kIdGroupBox2);
  const auto built = ReadWholeFile(folder_ + "\\1.10.EXE");
  ASSERT_FALSE(byQrwpack.empty());
  EXPECT_TRUE(built == byQrwpack) << "sizes " << built.size() << " and " << byQrwpack.size();
}

TEST_F(BuilderE2e, BuildOverARunningFlashProgramFailsAndKeepsIt) {
  BuildOverARunningFlashProgram("running");
}

// Windows 9x has no replacing move: the earlier output goes aside while the
// new one takes its name.
TEST_F(BuilderE2e, OnWindows9xBuildReplacesAnEarlierOutput) {
  SetWindows98(kTemplate, AspiLibrary::WinesOwn);
  SetUpFolder("build9x");
  {
    std::ofstream stale(folder_ + "\\1.10.EXE", std::ios::binary | std::ios::trunc);
    stale << "an earlier, different output";
  }
  window_ = StartBuilder();
  ASSERT_NE(window_, nullptr);
  ChooseListItem(window_, kIdFileListBox1, 0);
  ASSERT_TRUE(WaitUntilBuildEnabled(window_));
  Click(window_, kIdFlashButton);
  ASSERT_TRUE(WaitForText(window_, kIdGroupBox2, "Build 1.10.EXE ok!"))
      << ControlText(window_, kIdGroupBox2);
  const auto byQrwpack = ReadWholeFile(ProgramPath("..\\shipped\\1.10.EXE"));
  ASSERT_FALSE(byQrwpack.empty());
  EXPECT_TRUE(ReadWholeFile(folder_ + "\\1.10.EXE") == byQrwpack);
  EXPECT_EQ(Names(), (std::vector<std::string>{"1.10.BIN", "1.10.EXE", "2.01.BIN", "QRWFLASH.EXE",
                                               "QRWFLASH.INI"}));
  // And once more, now over its own earlier output.
  Click(window_, kIdFlashButton);
  // Watched by its size, which needs no handle: a file this test holds open
  // to read would keep the builder from putting the new one in its place.
  std::error_code ignored;
  EXPECT_TRUE(Eventually([&] {
    return std::filesystem::file_size(folder_ + "\\1.10.EXE", ignored) == byQrwpack.size();
  }));
  EXPECT_TRUE(WaitForText(window_, kIdGroupBox2, "Build 1.10.EXE ok!"));
  EXPECT_TRUE(ReadWholeFile(folder_ + "\\1.10.EXE") == byQrwpack);
  EXPECT_EQ(ControlText(window_, kIdGroupBox2), "Build 1.10.EXE ok!");
  EXPECT_EQ(Names(), (std::vector<std::string>{"1.10.BIN", "1.10.EXE", "2.01.BIN", "QRWFLASH.EXE",
                                               "QRWFLASH.INI"}));
}

TEST_F(BuilderE2e, OnWindows9xBuildOverARunningFlashProgramFailsAndKeepsIt) {
  SetWindows98(kTemplate, AspiLibrary::WinesOwn);
  BuildOverARunningFlashProgram("running9x");
}

TEST_F(BuilderE2e, WithoutAModelFileTellsItsPathAndEnds) {
  SetUpFolder("nomodels", false);
  Process program = Process::Start(folder_ + "\\" + kTemplate, folder_);
  const auto message = WaitForDialog(program);
  ASSERT_TRUE(message.has_value());
  EXPECT_EQ(message->title, "Quarvel Flash utility for QRW1B / QRW2B");
  EXPECT_EQ(message->text, "Can't load " + folder_ + "\\QRWFLASH.INI");
  EXPECT_TRUE(message->ok);
  Answer(*message, IDOK);
  EXPECT_EQ(program.WaitForExit(), std::optional<DWORD>(0));
}

}  // namespace
