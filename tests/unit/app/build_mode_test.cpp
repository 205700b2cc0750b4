// Builder mode of the window: the model list from the model description
// file beside the program, choosing a model and a file, and the Build button
// writing a flash program from the program's own file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/flash_form.h"
#include "fakes/fake_os.h"
#include "fakes/fake_ui.h"
#include "package/builder_fixture.h"
#include "package/profile_file.h"
#include "vdrive/inprocess.h"
#include "vdrive/vdrive.h"

namespace {

using h6test::Bytes;

const std::string kFirstCaption = "QUARVEL IT Flash V1.039 Qrw1B 1.00-1.09 [Buiding]";
const std::string kSecondCaption = "QUARVEL IT Flash V1.039 Qrw1B 2.00-2.05 [Buiding]";

class BuildModeTest : public testing::Test {
 protected:
  BuildModeTest()
      : template_(h6test::SyntheticTemplate::Make()),
        bus_(vdrive::Scenario{}),
        device_(bus_),
        aspi_(bus_),
        caption_("caption", &journal_),
        label_("label", &journal_, 0),
        combo_("combo", &journal_),
        files_("files", &journal_, 64),
        group_("group", &journal_, 113),
        bar_("bar", &journal_, 136),
        button_("button", &journal_, 136),
        cursor_(&journal_),
        dialogs_(&journal_),
        form_(app::Controls{caption_, label_, combo_, files_, group_, bar_, button_, cursor_},
              app::Services{os_, profiles_, dialogs_, device_, aspi_, restart_},
              package::PackageView(template_.bytes.data() + template_.k -
                                   package::kKeyWordInRegion)) {
    h6test::WriteFile(folder_ / "QRWFLASH.EXE", template_.bytes);
    os_.exePath = folder_ / "QRWFLASH.EXE";
    os_.currentFolder = folder_.Path().string();
  }

  void StartWithSampleModels() {
    h6test::fs::copy_file(h6test::SampleModels(), folder_ / "QRWFLASH.INI");
    os_.existingFiles.insert(folder_ / "QRWFLASH.INI");
    form_.FormCreate();
  }

  void ChooseFile(const std::string& name) {
    files_.selectedName = name;
    form_.FileListBox1Click();
  }

  void ChooseModel(int index) {
    combo_.SetItemIndex(index);
    form_.ComboBox1Change();
  }

  h6test::ScratchFolder folder_;
  h6test::SyntheticTemplate template_;
  vdrive::Bus bus_;
  vdrive::DeviceIoFront device_;
  vdrive::AspiFront aspi_;
  fakes::Journal journal_;
  fakes::FakeText caption_;
  fakes::FakeText label_;
  fakes::FakeComboBox combo_;
  fakes::FakeFileList files_;
  fakes::FakeText group_;
  fakes::FakeProgressBar bar_;
  fakes::FakeButton button_;
  fakes::FakeCursor cursor_;
  fakes::FakeDialogs dialogs_;
  fakes::FakeOs os_;
  package::IniProfileReader profiles_;
  fakes::FakeRestart restart_;
  app::TFlashForm form_;
};

TEST_F(BuildModeTest, StartUpListsTheModelsAndShowsTheFirstOnesRange) {
  StartWithSampleModels();
  EXPECT_EQ(combo_.items, (std::vector<std::string>{"1.00-1.09 QUARVEL QRW-20410C",
                                                    "2.00-2.05 QUARVEL QRW-20412C"}));
  EXPECT_EQ(combo_.selected, 0);
  EXPECT_EQ(caption_.history, std::vector<std::string>{kFirstCaption});
  EXPECT_EQ(files_.Folder(), folder_.Path().string());
  EXPECT_EQ(files_.Mask(), "1.*.BIN");
  EXPECT_EQ(button_.Text(), "Build");
  EXPECT_FALSE(button_.Enabled());
  EXPECT_TRUE(dialogs_.shown.empty());
}

TEST_F(BuildModeTest, ModelChangeDisablesBuildEvenAfterAFileWasChosen) {
  StartWithSampleModels();
  ChooseFile("1.10.BIN");
  EXPECT_TRUE(button_.Enabled());
  const int readsBefore = files_.reads;
  ChooseModel(1);
  EXPECT_FALSE(button_.Enabled());
  EXPECT_EQ(files_.Mask(), "2.*.BIN");
  EXPECT_EQ(files_.reads, readsBefore + 1);
  EXPECT_EQ(caption_.Text(), kSecondCaption);
  // The name stays until the next click on the file list.
  EXPECT_EQ(form_.BinFileName, "1.10.BIN");
}

TEST_F(BuildModeTest, ClickWithoutASelectedFileEnablesBuildWhichCannotOpenTheEmptyName) {
  StartWithSampleModels();
  ChooseFile("");
  EXPECT_TRUE(button_.Enabled());
  journal_.events.clear();
  form_.FlashButtonClick();
  EXPECT_EQ(dialogs_.Texts(), std::vector<std::string>{"Open  fail!"});
  EXPECT_EQ(journal_.Texts("cursor"), (std::vector<std::string>{"hourglass", "default"}));
  EXPECT_EQ(group_.history, std::vector<std::string>{"Building   Please wait... "});
  EXPECT_TRUE(button_.Enabled());
  EXPECT_EQ(folder_.Names(), (std::vector<std::string>{"QRWFLASH.EXE", "QRWFLASH.INI"}));
}

TEST_F(BuildModeTest, BuildWritesAFlashProgramOfTheChosenModelThatStartsInFlashMode) {
  StartWithSampleModels();
  Bytes image = h6test::Pattern(327680, 21);
  image[0x1100] = 0x05;
  image[0x1101] = 0x80;
  image[0x4000] = 0x00;
  h6test::WriteFile(folder_ / "2.01.BIN", image);
  ChooseModel(1);
  ChooseFile("2.01.BIN");
  form_.FlashButtonClick();

  EXPECT_TRUE(dialogs_.shown.empty());
  EXPECT_EQ(group_.history, (std::vector<std::string>{"Building 2.01.BIN  Please wait... ",
                                                      "Build 2.01.EXE ok!"}));
  EXPECT_EQ(group_.repaints, 2);
  const auto size = static_cast<int>(template_.bytes.size());
  EXPECT_EQ(bar_.State(), (fakes::BarState{0, size, 0, 1024}));
  EXPECT_EQ(journal_.Texts("cursor"), (std::vector<std::string>{"hourglass", "default"}));
  EXPECT_TRUE(button_.Enabled());

  const Bytes out = h6test::ReadFile(folder_ / "2.01.EXE");
  ASSERT_EQ(out.size(), template_.bytes.size());
  const package::PackageView built(out.data() + template_.k - package::kKeyWordInRegion);
  EXPECT_FALSE(package::IsTemplate(built));
  EXPECT_EQ(built.Model(), "QRW-20412C");
  EXPECT_EQ(built.Inquiry(), "QUARVEL QRW-20412C      ");
  EXPECT_EQ(built.FwRange(), "2.00-2.05");
  EXPECT_EQ(built.Vendor(), "Quarvel-IT");
  EXPECT_EQ(built.Note(), "FLASH-ALL");
  EXPECT_EQ(built.NewRevision(), "2.01.");
  EXPECT_TRUE(package::IsFlashAll(built));
  EXPECT_EQ(package::CheckNewFormatBIN(built.ImageArea()).ImageLength, 327680u);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), built.ImageArea()));
  // Everything outside the rewritten header and image is the template's.
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + template_.k + 15, template_.bytes.begin()));
  const std::size_t after = template_.ImageArea() + image.size();
  EXPECT_TRUE(std::equal(out.begin() + after, out.end(), template_.bytes.begin() + after));
}

TEST_F(BuildModeTest, MissingModelFileEndsStartUpWithItsPath) {
  form_.FormCreate();
  EXPECT_EQ(dialogs_.Texts(), std::vector<std::string>{"Can't load " + (folder_ / "QRWFLASH.INI")});
  EXPECT_EQ(os_.quitCodes, std::vector<int>{0});
  EXPECT_TRUE(caption_.history.empty());
}

TEST_F(BuildModeTest, InFlashModeAModelChangeTouchesNothing) {
  StartWithSampleModels();
  form_.BuilderMode = false;
  button_.SetEnabled(true);
  const int readsBefore = files_.reads;
  ChooseModel(1);
  EXPECT_EQ(caption_.history, std::vector<std::string>{kFirstCaption});
  EXPECT_EQ(files_.reads, readsBefore);
  EXPECT_TRUE(button_.Enabled());
}

}  // namespace
