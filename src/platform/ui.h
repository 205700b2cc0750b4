// The window's controls and the standard dialogs, as small interfaces. Policy
// (what to show) is computed by the core; these only show it.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The texts of the standard dialogs. On Win32 these are MessageBoxA boxes:
// plain = application title, OK; Warning / Confirm / Error = that title and
// the matching icon.
inline constexpr const char* kApplicationTitle =
    "Quarvel Flash utility for QRW1B / QRW2B";

enum class DialogKind { Warning, Confirm, Error };
enum class DialogButtons { Ok, YesNo };
enum class Answer { Ok, Yes, No };

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // Plain message box: the application title, the text and one OK button.
  virtual void Message(const std::string& text) = 0;
  // Standard dialog titled "Warning", "Confirm" or "Error" with its icon.
  virtual Answer Ask(DialogKind kind, const std::string& text,
                     DialogButtons buttons) = 0;
  // A system message box with no owner window, the given title and style 0
  // (one OK button), as the restart's error boxes use.
  virtual void SystemBox(const std::string& text, const std::string& title) = 0;
};

class Cursor {
 public:
  virtual ~Cursor() = default;
  virtual void Hourglass() = 0;
  virtual void Default() = 0;
};

// Common to every control of the window.
class Control {
 public:
  virtual ~Control() = default;
  virtual void SetVisible(bool visible) = 0;
  virtual bool Visible() const = 0;
  // Top edge in design units (pixels at 120 ppi); the Win32 layer scales.
  virtual void SetTop(int top) = 0;
  virtual int Top() const = 0;
  // Repaint at once: the window processes no messages while a flash or a
  // build runs, so changed controls must be painted explicitly.
  virtual void Repaint() = 0;
};

// The form's caption, a label, the group box's caption, a button's caption.
class TextControl : public Control {
 public:
  virtual void SetText(const std::string& text) = 0;
  virtual std::string Text() const = 0;
};

class Button : public TextControl {
 public:
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool Enabled() const = 0;
};

class ComboBox : public Control {
 public:
  virtual int AddItem(const std::string& text) = 0;  // returns its index
  virtual void InsertItem(int index, const std::string& text) = 0;
  virtual void DeleteItem(int index) = 0;
  virtual int Count() const = 0;
  virtual std::string ItemText(int index) const = 0;
  virtual void SetItemIndex(int index) = 0;  // -1: no selection
  virtual int ItemIndex() const = 0;
};

// A list of the file names in one folder, filtered by a wildcard mask.
class FileList : public Control {
 public:
  virtual void SetFolder(const std::string& folder) = 0;
  // Sets the mask and reads the folder again.
  virtual void SetMask(const std::string& mask) = 0;
  virtual std::string Folder() const = 0;
  virtual std::string Mask() const = 0;
  // Name, without folder, of the selected file; empty when none is selected.
  virtual std::string SelectedName() const = 0;
};

// The progress bar doubles as the transfer cursor of the flash: its position
// is the offset of the next chunk and its step the chunk length, so an
// implementation keeps these values exactly (no clamping, no wrap-around on
// StepIt) and only shows them.
class ProgressBar : public Control {
 public:
  virtual void SetMin(std::int32_t value) = 0;
  virtual void SetMax(std::int32_t value) = 0;
  virtual void SetPosition(std::int32_t value) = 0;
  virtual void SetStep(std::int32_t value) = 0;
  virtual void StepIt() = 0;  // position += step
  virtual std::int32_t Min() const = 0;
  virtual std::int32_t Max() const = 0;
  virtual std::int32_t Position() const = 0;
  virtual std::int32_t Step() const = 0;
};

}  // namespace platform
