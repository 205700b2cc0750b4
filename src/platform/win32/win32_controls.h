// The window's controls as standard Win32 controls behind the seams of
// platform/ui.h. Positions are kept in design units (pixels at 120 ppi) and
// scaled to the screen when applied.
#pragma once

#include <functional>
#include <string>

#include "platform/ui.h"
#include "platform/win32/win32_api.h"

namespace platform::win32 {

// Design units to screen pixels.
class Scale {
 public:
  explicit Scale(int dpi) : dpi_(dpi) {}
  int operator()(int design) const { return MulDiv(design, dpi_, 120); }
  int ToDesign(int pixels) const { return MulDiv(pixels, 120, dpi_); }

 private:
  int dpi_;
};

struct DesignRect {
  int left, top, width, height;
  int Right() const { return left + width; }
  int Bottom() const { return top + height; }
};

// A child window with a design rectangle. onLayout runs after anything that
// changes what the form must fit (it sizes itself to its visible controls).
class ChildWindow {
 public:
  ChildWindow(HWND hwnd, DesignRect rect, const Scale& scale, std::function<void()>& onLayout)
      : hwnd_(hwnd), rect_(rect), scale_(scale), onLayout_(onLayout) {}

  HWND Hwnd() const { return hwnd_; }
  const DesignRect& Rect() const { return rect_; }
  const Scale& Scaling() const { return scale_; }
  bool IsShown() const;
  void Show(bool visible);
  void MoveTop(int top);
  void Resize(int width, int height);
  void RepaintNow();
  void SetCaption(const std::string& text);
  std::string Caption() const;

 private:
  void Place();
  HWND hwnd_;
  DesignRect rect_;
  const Scale& scale_;
  std::function<void()>& onLayout_;
};

// Implements a seam's Control members on a ChildWindow.
template <typename Base>
class Win32Control : public Base {
 public:
  explicit Win32Control(ChildWindow window) : window_(window) {}
  void SetVisible(bool visible) override { window_.Show(visible); }
  bool Visible() const override { return window_.IsShown(); }
  void SetTop(int top) override { window_.MoveTop(top); }
  int Top() const override { return window_.Rect().top; }
  void Repaint() override { window_.RepaintNow(); }
  ChildWindow& Window() { return window_; }

 protected:
  ChildWindow window_;
};

// The group box's caption (status texts).
class Win32Text : public Win32Control<TextControl> {
 public:
  using Win32Control::Win32Control;
  void SetText(const std::string& text) override { window_.SetCaption(text); }
  std::string Text() const override { return window_.Caption(); }
};

// A label that sizes itself to its text.
class Win32Label : public Win32Control<TextControl> {
 public:
  Win32Label(ChildWindow window, HFONT font) : Win32Control(window), font_(font) {}
  void SetText(const std::string& text) override;
  std::string Text() const override { return window_.Caption(); }

 private:
  HFONT font_;
};

// The form's own caption.
class Win32Caption : public TextControl {
 public:
  explicit Win32Caption(HWND form) : form_(form) {}
  void SetVisible(bool visible) override;
  bool Visible() const override;
  void SetTop(int) override {}
  int Top() const override { return 0; }
  void Repaint() override;
  void SetText(const std::string& text) override;
  std::string Text() const override;

 private:
  HWND form_;
};

class Win32Button : public Win32Control<Button> {
 public:
  using Win32Control::Win32Control;
  void SetText(const std::string& text) override { window_.SetCaption(text); }
  std::string Text() const override { return window_.Caption(); }
  void SetEnabled(bool enabled) override;
  bool Enabled() const override;
};

// A drop-down list that widens itself when an item would not fit: a drive's
// line ends in its firmware revision, which the user must see to choose.
class Win32ComboBox : public Win32Control<ComboBox> {
 public:
  Win32ComboBox(ChildWindow window, HFONT font)
      : Win32Control(window), font_(font), designWidth_(window.Rect().width) {}
  int AddItem(const std::string& text) override;
  void InsertItem(int index, const std::string& text) override;
  void DeleteItem(int index) override;
  int Count() const override;
  std::string ItemText(int index) const override;
  void SetItemIndex(int index) override;
  int ItemIndex() const override;

 private:
  void FitWidestItem();
  HFONT font_;
  int designWidth_;
};

// A list box filled with FindFirstFile over folder + mask.
class Win32FileList : public Win32Control<FileList> {
 public:
  using Win32Control::Win32Control;
  void SetFolder(const std::string& folder) override;
  void SetMask(const std::string& mask) override;
  std::string Folder() const override { return folder_; }
  std::string Mask() const override { return mask_; }
  std::string SelectedName() const override;

 private:
  void ReadFolder();
  std::string folder_;
  std::string mask_ = "*.*";
};

// Keeps its own exact values (the flash uses position and step as its
// transfer cursor) and only shows them on the control.
class Win32ProgressBar : public Win32Control<ProgressBar> {
 public:
  explicit Win32ProgressBar(ChildWindow window);
  void SetMin(std::int32_t value) override;
  void SetMax(std::int32_t value) override;
  void SetPosition(std::int32_t value) override;
  void SetStep(std::int32_t value) override;
  void StepIt() override;
  std::int32_t Min() const override { return min_; }
  std::int32_t Max() const override { return max_; }
  std::int32_t Position() const override { return position_; }
  std::int32_t Step() const override { return step_; }

 private:
  void ShowRange();
  void ShowPosition();
  std::int32_t min_ = 0;
  std::int32_t max_ = 100;
  std::int32_t position_ = 0;
  std::int32_t step_ = 10;
};

}  // namespace platform::win32
