#include "platform/win32/win32_controls.h"

#include <algorithm>
#include <vector>

namespace platform::win32 {

namespace {

std::string TextOf(HWND hwnd) {
  const int length = GetWindowTextLengthA(hwnd);
  std::vector<char> text(static_cast<std::size_t>(length) + 1, '\0');
  const int copied = GetWindowTextA(hwnd, text.data(), length + 1);
  return std::string(text.data(), static_cast<std::size_t>(copied));
}

}  // namespace

// ---- ChildWindow -----------------------------------------------------------

bool ChildWindow::IsShown() const {
  return (GetWindowLongA(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0;
}

void ChildWindow::Show(bool visible) {
  ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE);
  onLayout_();
}

void ChildWindow::MoveTop(int top) {
  rect_.top = top;
  Place();
  onLayout_();
}

void ChildWindow::Resize(int width, int height) {
  rect_.width = width;
  rect_.height = height;
  Place();
  onLayout_();
}

void ChildWindow::Place() {
  SetWindowPos(hwnd_, nullptr, scale_(rect_.left), scale_(rect_.top), scale_(rect_.width),
               scale_(rect_.height), SWP_NOZORDER | SWP_NOACTIVATE);
}

void ChildWindow::RepaintNow() {
  RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_FRAME);
}

void ChildWindow::SetCaption(const std::string& text) { SetWindowTextA(hwnd_, text.c_str()); }

std::string ChildWindow::Caption() const { return TextOf(hwnd_); }

// ---- Label -----------------------------------------------------------------

void Win32Label::SetText(const std::string& text) {
  window_.SetCaption(text);
  HDC dc = GetDC(window_.Hwnd());
  HGDIOBJ old = SelectObject(dc, font_);
  SIZE size{};
  GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(window_.Hwnd(), dc);
  // Sizes itself to its text, as the design's auto-sized label does.
  window_.Resize(window_.Scaling().ToDesign(size.cx) + 1, window_.Rect().height);
}

// ---- Caption ---------------------------------------------------------------

void Win32Caption::SetVisible(bool visible) { ShowWindow(form_, visible ? SW_SHOW : SW_HIDE); }

bool Win32Caption::Visible() const { return IsWindowVisible(form_) != FALSE; }

void Win32Caption::Repaint() {
  RedrawWindow(form_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_FRAME);
}

void Win32Caption::SetText(const std::string& text) { SetWindowTextA(form_, text.c_str()); }

std::string Win32Caption::Text() const { return TextOf(form_); }

// ---- Button ----------------------------------------------------------------

void Win32Button::SetEnabled(bool enabled) { EnableWindow(window_.Hwnd(), enabled ? TRUE : FALSE); }

bool Win32Button::Enabled() const { return IsWindowEnabled(window_.Hwnd()) != FALSE; }

// ---- ComboBox --------------------------------------------------------------

int Win32ComboBox::AddItem(const std::string& text) {
  const int index = static_cast<int>(
      SendMessageA(window_.Hwnd(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
  FitWidestItem();
  return index;
}

void Win32ComboBox::InsertItem(int index, const std::string& text) {
  SendMessageA(window_.Hwnd(), CB_INSERTSTRING, static_cast<WPARAM>(index),
               reinterpret_cast<LPARAM>(text.c_str()));
  FitWidestItem();
}

// Never narrower than the design; wider by what the widest item needs, with
// room for the drop-down arrow and the box's margins.
void Win32ComboBox::FitWidestItem() {
  HDC dc = GetDC(window_.Hwnd());
  HGDIOBJ old = SelectObject(dc, font_);
  int widest = 0;
  for (int i = 0; i < Count(); ++i) {
    const std::string text = ItemText(i);
    SIZE size{};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    widest = std::max(widest, static_cast<int>(size.cx));
  }
  SelectObject(dc, old);
  ReleaseDC(window_.Hwnd(), dc);
  const int needed = widest + GetSystemMetrics(SM_CXVSCROLL) + 4 * GetSystemMetrics(SM_CXEDGE);
  const int width = std::max(designWidth_, window_.Scaling().ToDesign(needed) + 1);
  if (width != window_.Rect().width) window_.Resize(width, window_.Rect().height);
}

void Win32ComboBox::DeleteItem(int index) {
  SendMessageA(window_.Hwnd(), CB_DELETESTRING, static_cast<WPARAM>(index), 0);
}

int Win32ComboBox::Count() const {
  return static_cast<int>(SendMessageA(window_.Hwnd(), CB_GETCOUNT, 0, 0));
}

std::string Win32ComboBox::ItemText(int index) const {
  const LRESULT length =
      SendMessageA(window_.Hwnd(), CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length == CB_ERR) return std::string();
  std::vector<char> text(static_cast<std::size_t>(length) + 1, '\0');
  SendMessageA(window_.Hwnd(), CB_GETLBTEXT, static_cast<WPARAM>(index),
               reinterpret_cast<LPARAM>(text.data()));
  return std::string(text.data());
}

void Win32ComboBox::SetItemIndex(int index) {
  SendMessageA(window_.Hwnd(), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int Win32ComboBox::ItemIndex() const {
  return static_cast<int>(SendMessageA(window_.Hwnd(), CB_GETCURSEL, 0, 0));
}

// ---- FileList --------------------------------------------------------------

void Win32FileList::SetFolder(const std::string& folder) {
  folder_ = folder;
  ReadFolder();
}

void Win32FileList::SetMask(const std::string& mask) {
  mask_ = mask;
  ReadFolder();
}

// The names of the plain files in the folder that match the mask; folders,
// hidden and system files are not listed.
void Win32FileList::ReadFolder() {
  HWND list = window_.Hwnd();
  SendMessageA(list, LB_RESETCONTENT, 0, 0);
  if (folder_.empty()) return;
  std::string pattern = folder_;
  if (pattern.back() != '\\') pattern += '\\';
  pattern += mask_;
  WIN32_FIND_DATAA found{};
  HANDLE search = FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  constexpr DWORD kNotListed =
      FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  do {
    if ((found.dwFileAttributes & kNotListed) == 0)
      SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(found.cFileName));
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

std::string Win32FileList::SelectedName() const {
  const LRESULT index = SendMessageA(window_.Hwnd(), LB_GETCURSEL, 0, 0);
  if (index == LB_ERR) return std::string();
  const LRESULT length =
      SendMessageA(window_.Hwnd(), LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
  std::vector<char> text(static_cast<std::size_t>(length) + 1, '\0');
  SendMessageA(window_.Hwnd(), LB_GETTEXT, static_cast<WPARAM>(index),
               reinterpret_cast<LPARAM>(text.data()));
  return std::string(text.data());
}

// ---- ProgressBar -----------------------------------------------------------

Win32ProgressBar::Win32ProgressBar(ChildWindow window) : Win32Control(window) {
  ShowRange();
  ShowPosition();
}

void Win32ProgressBar::SetMin(std::int32_t value) {
  min_ = value;
  ShowRange();
}

void Win32ProgressBar::SetMax(std::int32_t value) {
  max_ = value;
  ShowRange();
}

void Win32ProgressBar::SetPosition(std::int32_t value) {
  position_ = value;
  ShowPosition();
}

void Win32ProgressBar::SetStep(std::int32_t value) { step_ = value; }

void Win32ProgressBar::StepIt() {
  position_ += step_;
  ShowPosition();
}

void Win32ProgressBar::ShowRange() {
  SendMessageA(window_.Hwnd(), PBM_SETRANGE32, static_cast<WPARAM>(min_),
               static_cast<LPARAM>(max_));
  ShowPosition();
}

void Win32ProgressBar::ShowPosition() {
  SendMessageA(window_.Hwnd(), PBM_SETPOS, static_cast<WPARAM>(position_), 0);
}

}  // namespace platform::win32
