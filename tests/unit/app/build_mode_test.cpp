// Builder mode of the window: the model list from the model description
// file beside the program, choosing a model and a file, and the Build button
// writing a flash program from the program's own file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/form_rig.h"
#include "fakes/fake_os.h"
#include "fakes/fake_ui.h"
#include "package/profile_file.h"
#include "package/seal.h"
#include "support/bytes.h"
#include "support/files.h"
#include "support/pattern.h"
#include "support/synthetic_template.h"
#include "support/temp_folder.h"
#include "vdrive/inprocess.h"
#include "vdrive/vdrive.h"

namespace {

using testsupport::Bytes;

const std::string kFirstCaption = "QUARVEL IT Flash V1.039 Qrw1B 1.00-1.09 [Buiding]";
const std::string kSecondCaption = "QUARVEL IT Flash V1.039 Qrw1B 2.00-2.05 [Buiding]";

class BuildModeTest : public testing::Test {
 protected:
  BuildModeTest()
      : template_(testsupport::SyntheticTemplate::Make()),
        rig_(vdrive::Scenario{}, template_.View(), &profiles_) {
    testsupport::WriteFile(folder_ / "QRWFLASH.EXE", template_.bytes);
    rig_.os.exePath = folder_ / "QRWFLASH.EXE";
    rig_.os.currentFolder = folder_.Path().string();
  }

  void StartWithSampleModels() {
    testsupport::fs::copy_file(testsupport::SampleModels(), folder_ / "QRWFLASH.INI");
    rig_.os.existingFiles.insert(folder_ / "QRWFLASH.INI");
    rig_.form.FormCreate();
  }

  void ChooseFile(const std::string& name) {
    rig_.files.selectedName = name;
    rig_.form.FileListBox1Click();
  }

  void ChooseModel(int index) {
    rig_.combo.SetItemIndex(index);
    rig_.form.ComboBox1Change();
  }

  testsupport::ScratchFolder folder_;
  testsupport::SyntheticTemplate template_;
  package::IniProfileReader profiles_;
  app_test::FormRig rig_;
};

TEST_F(BuildModeTest, StartUpListsTheModelsAndShowsTheFirstOnesRange) {
  StartWithSampleModels();
  EXPECT_EQ(rig_.combo.items, (std::vector<std::string>{"1.00-1.09 QUARVEL QRW-20410C",
                                                    "2.00-2.05 QUARVEL QRW-20412C"}));
  EXPECT_EQ(rig_.combo.selected, 0);
  EXPECT_EQ(rig_.caption.history, std::vector<std::string>{kFirstCaption});
  EXPECT_EQ(rig_.files.Folder(), folder_.Path().string());
  EXPECT_EQ(rig_.files.Mask(), "1.*.BIN");
  EXPECT_EQ(rig_.button.Text(), "Build");
  EXPECT_FALSE(rig_.button.Enabled());
  EXPECT_TRUE(rig_.dialogs.shown.empty());
}

TEST_F(BuildModeTest, ModelChangeDisablesBuildEvenAfterAFileWasChosen) {
  StartWithSampleModels();
  ChooseFile("1.10.BIN");
  EXPECT_TRUE(rig_.button.Enabled());
  const int readsBefore = rig_.files.reads;
  ChooseModel(1);
  EXPECT_FALSE(rig_.button.Enabled());
  EXPECT_EQ(rig_.files.Mask(), "2.*.BIN");
  EXPECT_EQ(rig_.files.reads, readsBefore + 1);
  EXPECT_EQ(rig_.caption.Text(), kSecondCaption);
  // The name stays until the next click on the file list.
  EXPECT_EQ(rig_.form.BinFileName, "1.10.BIN");
}

TEST_F(BuildModeTest, ClickWithoutASelectedFileEnablesBuildWhichCannotOpenTheEmptyName) {
  StartWithSampleModels();
  ChooseFile("");
  EXPECT_TRUE(rig_.button.Enabled());
  rig_.journal.events.clear();
  rig_.form.FlashButtonClick();
  EXPECT_EQ(rig_.dialogs.Texts(), std::vector<std::string>{"Open  fail!"});
  EXPECT_EQ(rig_.journal.Texts("cursor"), (std::vector<std::string>{"hourglass", "default"}));
  EXPECT_EQ(rig_.group.history, std::vector<std::string>{"Building   Please wait... "});
  EXPECT_TRUE(rig_.button.Enabled());
  EXPECT_EQ(folder_.Names(), (std::vector<std::string>{"QRWFLASH.EXE", "QRWFLASH.INI"}));
}

TEST_F(BuildModeTest, BuildWritesAFlashProgramOfTheChosenModelThatStartsInFlashMode) {
  StartWithSampleModels();
  Bytes image = testsupport::Pattern(327680, 21);
  image[0x1100] = 0x05;
  image[0x1101] = 0x80;
  image[0x4000] = 0x00;
  testsupport::WriteFile(folder_ / "2.01.BIN", image);
  ChooseModel(1);
  ChooseFile("2.01.BIN");
  rig_.form.FlashButtonClick();

  EXPECT_TRUE(rig_.dialogs.shown.empty());
  EXPECT_EQ(rig_.group.history, (std::vector<std::string>{"Building 2.01.BIN  Please wait... ",
                                                      "Build 2.01.EXE ok!"}));
  EXPECT_EQ(rig_.group.repaints, 2);
  const auto size = static_cast<int>(template_.bytes.size());
  EXPECT_EQ(rig_.bar.State(), (fakes::BarState{0, size, 0, 1024}));
  EXPECT_EQ(rig_.journal.Texts("cursor"), (std::vector<std::string>{"hourglass", "default"}));
  EXPECT_TRUE(rig_.button.Enabled());

  const Bytes out = testsupport::ReadFile(folder_ / "2.01.EXE");
  ASSERT_EQ(out.size(), template_.bytes.size());
  const package::PackageView built(out.data() + template_.RegionStart(),
                                   out.data() + template_.sealAt);
  EXPECT_FALSE(package::IsTemplate(built));
  // The window's builder seals with the marker of the program's own record.
  EXPECT_EQ(package::CheckSeal(built).state, package::SealState::Intact);
  EXPECT_EQ(built.Model(), "QRW-20412C");
  EXPECT_EQ(built.Inquiry(), "QUARVEL QRW-20412C      ");
  EXPECT_EQ(built.FwRange(), "2.00-2.05");
  EXPECT_EQ(built.Vendor(), "Quarvel-IT");
  EXPECT_EQ(built.Note(), "FLASH-ALL");
  EXPECT_EQ(built.NewRevision(), "2.01.");
  EXPECT_TRUE(package::IsFlashAll(built));
  EXPECT_EQ(package::CheckNewFormatBIN(built.ImageArea()).ImageLength, 327680u);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), built.ImageArea()));
  // Everything outside the rewritten header, the image and the seal's
  // values is the template's.
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + template_.k + 15, template_.bytes.begin()));
  const std::size_t after = template_.ImageArea() + image.size();
  const std::size_t sealValues = template_.sealAt + 8;
  EXPECT_TRUE(std::equal(out.begin() + after, out.begin() + sealValues,
                         template_.bytes.begin() + after));
  EXPECT_TRUE(std::equal(out.begin() + sealValues + 8, out.end(),
                         template_.bytes.begin() + sealValues + 8));
}

TEST_F(BuildModeTest, MissingModelFileEndsStartUpWithItsPath) {
  rig_.form.FormCreate();
  EXPECT_EQ(rig_.dialogs.Texts(), std::vector<std::string>{"Can't load " + (folder_ / "QRWFLASH.INI")});
  EXPECT_EQ(rig_.os.quitCodes, std::vector<int>{0});
  EXPECT_TRUE(rig_.caption.history.empty());
}

TEST_F(BuildModeTest, InFlashModeAModelChangeTouchesNothing) {
  StartWithSampleModels();
  rig_.form.BuilderMode = false;
  rig_.button.SetEnabled(true);
  const int readsBefore = rig_.files.reads;
  ChooseModel(1);
  EXPECT_EQ(rig_.caption.history, std::vector<std::string>{kFirstCaption});
  EXPECT_EQ(rig_.files.reads, readsBefore);
  EXPECT_TRUE(rig_.button.Enabled());
}

}  // namespace
