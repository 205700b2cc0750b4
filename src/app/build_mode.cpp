// Builder mode: the model list from the model description file, choosing a
// model and an image file, and the Build button.
#include <algorithm>
#include <string>

#include "app/flash_form.h"
#include "package/builder.h"

namespace app {

namespace {

constexpr const char* kCaptionMaker = "QUARVEL IT";
constexpr const char* kCaptionFamily = "Qrw1B ";
constexpr const char* kCaptionMode = " [Buiding]";

// The builder shows its progress in GroupBox2 and ProgressBar and its
// failures in a plain message box; the window processes no messages while
// it runs, so every change is painted at once.
class WindowBuildObserver : public package::BuildObserver {
 public:
  WindowBuildObserver(platform::TextControl& status, platform::ProgressBar& bar,
                      platform::Dialogs& dialogs)
      : status_(status), bar_(bar), dialogs_(dialogs) {}

  void Status(const std::string& caption) override {
    status_.SetText(caption);
    status_.Repaint();
  }
  void ProgressStart(std::int32_t maximum) override {
    bar_.SetMin(0);
    bar_.SetMax(maximum);
    bar_.SetPosition(0);
    bar_.SetStep(static_cast<std::int32_t>(package::kProgressBlock));
  }
  void ProgressStep() override { bar_.StepIt(); }
  void ProgressDone() override { bar_.SetPosition(0); }
  void Failure(const std::string& message) override { dialogs_.Message(message); }

 private:
  platform::TextControl& status_;
  platform::ProgressBar& bar_;
  platform::Dialogs& dialogs_;
};

package::KeyWordBytes KeyWordOf(const package::PackageView& package) {
  package::KeyWordBytes keyWord;
  std::copy_n(package.KeyWord(), keyWord.size(), keyWord.begin());
  return keyWord;
}

}  // namespace

bool TFlashForm::RetriveINI() {
  if (!package::RetriveINI({sys.os, sys.profiles, sys.dialogs, ui.ComboBox1}, ModelTable))
    return false;
  ComboBox1Change();
  return true;
}

void TFlashForm::ComboBox1Change() {
  if (!BuilderMode) return;
  const int selected = ui.ComboBox1.ItemIndex();
  if (selected < 0 || static_cast<std::size_t>(selected) >= ModelTable.BinMask.size()) return;
  const auto n = static_cast<std::size_t>(selected);
  ui.FileListBox1.SetMask(ModelTable.BinMask[n]);
  ui.FlashForm.SetText(kCaptionMaker + std::string(kVersionText) + kCaptionFamily +
                       ModelTable.FwRange[n] + kCaptionMode);
  ui.FlashButton.SetEnabled(false);
}

void TFlashForm::FileListBox1Click() {
  BinFileName = ui.FileListBox1.SelectedName();
  ui.FlashButton.SetEnabled(true);
}

void TFlashForm::BuildButtonClick() {
  ui.Cursor.Hourglass();
  NewBuildFlashProgram();
  ui.Cursor.Default();
}

bool TFlashForm::NewBuildFlashProgram() {
  WindowBuildObserver observer(ui.GroupBox2, ui.ProgressBar, sys.dialogs);
  const int selected = ui.ComboBox1.ItemIndex();
  if (selected < 0 || static_cast<std::size_t>(selected) >= ModelTable.Model.size()) return false;
  const auto n = static_cast<std::size_t>(selected);
  package::BuildRequest request;
  request.imagePath = package::JoinPath(ui.FileListBox1.Folder(), BinFileName);
  request.binFileName = BinFileName;
  request.templatePath = sys.os.ExePath();
  request.outputFolder = sys.os.CurrentFolder();
  request.model = {ModelTable.Model[n], ModelTable.Inquiry[n], ModelTable.FwRange[n],
                   ModelTable.Vendor[n], ModelTable.Note[n]};
  request.keyWord = KeyWordOf(Package);
  // A view without a seal record leaves the marker unset, and the builder
  // then finds no seal to write.
  if (Package.Seal() != nullptr) request.sealMarker = package::MarkerOf(Package.Seal());
  // The window holds no key: every program it makes carries an empty
  // signature record.
  if (Package.Signature() != nullptr)
    request.signatureMarker = package::SignatureMarkerOf(Package.Signature());
  return package::BuildFlashProgram(request, observer, sys.files);
}

}  // namespace app
