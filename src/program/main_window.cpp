#include "program/main_window.h"

#include <algorithm>

#include "program/control_ids.h"
#include "program/runtime/end_with_error.h"

namespace program {

namespace {

// The design, in pixels at 120 ppi.
constexpr DesignRect kFormRect{56, 77, 433, 206};
constexpr DesignRect kLabelRect{0, 0, 4, 20};
constexpr DesignRect kComboRect{0, 24, 425, 28};
constexpr DesignRect kFileListRect{0, 64, 425, 41};
constexpr DesignRect kGroupRect{0, 113, 425, 56};
constexpr DesignRect kProgressRect{8, 136, 321, 23};
constexpr DesignRect kButtonRect{344, 136, 74, 25};
constexpr int kItemHeight = 20;
constexpr int kFontHeight = 20;
constexpr int kComboDropItems = 6;

constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kChildStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;

int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

// Bold, 20 pixels high at 120 ppi. "System" is the design's face; Wine and
// Windows both map it to their bitmap system font.
HFONT CreateFormFont(const Scale& scale) {
  return CreateFontA(scale(kFontHeight), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE,
                     DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                     DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "System");
}

void RegisterFormClass(HINSTANCE instance, WNDPROC procedure) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = procedure;
  wc.hInstance = instance;
  wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
  wc.hIconSm = wc.hIcon;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kFlashFormClass;
  RegisterClassExA(&wc);
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, Win32Cursor& cursor)
    : scale_(ScreenDpi()), cursor_(cursor) {
  RegisterFormClass(instance, &MainWindow::Procedure);
  onLayout_ = [this] { FitToControls(); };
  hwnd_ = CreateWindowExA(0, kFlashFormClass, "", kFormStyle, scale_(kFormRect.left),
                          scale_(kFormRect.top), scale_(kFormRect.width),
                          scale_(kFormRect.height), nullptr, nullptr, instance, this);
  if (hwnd_ == nullptr) EndWithError("The main window could not be created");
  font_ = CreateFormFont(scale_);
  CreateControls(instance);
  FitToControls();
}

MainWindow::~MainWindow() {
  Destroy();
  if (font_ != nullptr) DeleteObject(font_);
}

ChildWindow MainWindow::MakeChild(HINSTANCE instance, const char* windowClass,
                                   const char* text, DWORD style, int id, DesignRect rect) {
  HWND child = CreateWindowExA(0, windowClass, text, kChildStyle | style, scale_(rect.left),
                               scale_(rect.top), scale_(rect.width), scale_(rect.height), hwnd_,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance,
                               nullptr);
  if (child == nullptr) EndWithError("A control of the main window could not be created");
  SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  return ChildWindow(child, rect, scale_, onLayout_);
}

void MainWindow::CreateControls(HINSTANCE instance) {
  // Created in tab order, so the dialog manager walks them in that order.
  label_ = std::make_unique<Win32Label>(
      MakeChild(instance, "STATIC", "", SS_LEFT | SS_NOPREFIX, kIdSelectDriveLabel, kLabelRect),
      font_);
  // A drop-down list's window height includes its dropped list.
  DesignRect comboWindow = kComboRect;
  comboWindow.height += kComboDropItems * kItemHeight;
  combo_ = std::make_unique<Win32ComboBox>(MakeChild(
      instance, "COMBOBOX", "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, kIdComboBox1, comboWindow),
      font_);
  SendMessageA(combo_->Window().Hwnd(), CB_SETITEMHEIGHT, 0, scale_(kItemHeight));
  SendMessageA(combo_->Window().Hwnd(), CB_SETITEMHEIGHT, static_cast<WPARAM>(-1),
               scale_(kComboRect.height) - 6);
  group_ = std::make_unique<Win32Text>(
      MakeChild(instance, "BUTTON", "", BS_GROUPBOX, kIdGroupBox2, kGroupRect));
  button_ = std::make_unique<Win32Button>(MakeChild(
      instance, "BUTTON", "FLASH", BS_PUSHBUTTON | WS_TABSTOP, kIdFlashButton, kButtonRect));
  bar_ = std::make_unique<Win32ProgressBar>(
      MakeChild(instance, PROGRESS_CLASSA, "", PBS_SMOOTH, kIdProgressBar, kProgressRect));
  files_ = std::make_unique<Win32FileList>(MakeChild(
      instance, "LISTBOX", "",
      LBS_NOTIFY | LBS_SORT | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_BORDER |
          WS_TABSTOP,
      kIdFileListBox1, kFileListRect));
  SendMessageA(files_->Window().Hwnd(), LB_SETITEMHEIGHT, 0, scale_(kItemHeight));
  // The progress bar and the button lie over the group box: keep the box
  // beneath them so it never paints over them.
  SetWindowPos(group_->Window().Hwnd(), HWND_BOTTOM, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  caption_ = std::make_unique<Win32Caption>(hwnd_);
  children_ = {&label_->Window(), &combo_->Window(), &files_->Window(),
               &group_->Window(), &bar_->Window(),   &button_->Window()};
}

app::Controls MainWindow::Controls() {
  return app::Controls{*caption_, *label_, *combo_, *files_, *group_, *bar_, *button_, cursor_};
}

void MainWindow::FitToControls() {
  if (hwnd_ == nullptr || children_.empty()) return;
  int right = 0;
  int bottom = 0;
  for (const ChildWindow* child : children_) {
    if (!child->IsShown()) continue;
    // The combo box's window includes its dropped list; the design's
    // height is that of the closed box.
    DesignRect rect = child->Rect();
    if (child->Hwnd() == combo_->Window().Hwnd()) rect.height = kComboRect.height;
    right = std::max(right, rect.Right());
    bottom = std::max(bottom, rect.Bottom());
  }
  RECT frame{0, 0, scale_(right), scale_(bottom)};
  AdjustWindowRectEx(&frame, kFormStyle, FALSE, 0);
  SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::Show(int showCommand) {
  ShowWindow(hwnd_, showCommand);
  UpdateWindow(hwnd_);
}

void MainWindow::Destroy() {
  if (hwnd_ != nullptr && IsWindow(hwnd_)) DestroyWindow(hwnd_);
  hwnd_ = nullptr;
}

LRESULT CALLBACK MainWindow::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (self == nullptr || self->hwnd_ == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);
  return self->Handle(message, wParam, lParam);
}

LRESULT MainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      Command(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_SETCURSOR:
      if (LOWORD(lParam) == HTCLIENT) {
        SetCursor(cursor_.Current());
        return TRUE;
      }
      break;
    // While a flash runs nothing may end the program or the system under
    // it: the close button, a shutdown or log-off, a suspend (Windows 98,
    // ME, 2000 and XP ask first) are all refused.
    case WM_CLOSE:
      if (FlashRunning()) return 0;
      break;
    case WM_QUERYENDSESSION:
      if (FlashRunning()) return FALSE;
      break;
    case WM_POWERBROADCAST:
      if (wParam == PBT_APMQUERYSUSPEND && FlashRunning()) return BROADCAST_QUERY_DENY;
      break;
    case WM_DESTROY:
      Run(handlers_.FormDestroy);
      SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
      hwnd_ = nullptr;
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcA(hwnd_, message, wParam, lParam);
}

void MainWindow::Command(int id, int notification) {
  if (id == kIdFlashButton && notification == BN_CLICKED)
    Run(handlers_.FlashButtonClick);
  if (id == kIdComboBox1 && notification == CBN_SELCHANGE)
    Run(handlers_.ComboBox1Change);
  if (id == kIdFileListBox1 && notification == LBN_SELCHANGE)
    Run(handlers_.FileListBox1Click);
}

bool MainWindow::FlashRunning() const {
  return handlers_.CanClose && !handlers_.CanClose();
}

void MainWindow::Run(const std::function<void()>& handler) {
  if (handler) handler();
}

}  // namespace program
