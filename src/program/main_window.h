// The main window: the form TFlashForm as a top-level Win32 window with its
// standard controls, laid out from the design (pixels at 120 ppi) scaled to
// the screen, and its command messages routed to the form's handlers.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/flash_form.h"
#include "platform/win32/win32_controls.h"
#include "platform/win32/win32_services.h"

namespace program {

using platform::win32::ChildWindow;
using platform::win32::DesignRect;
using platform::win32::Scale;
using platform::win32::Win32Button;
using platform::win32::Win32Caption;
using platform::win32::Win32ComboBox;
using platform::win32::Win32Cursor;
using platform::win32::Win32FileList;
using platform::win32::Win32Label;
using platform::win32::Win32ProgressBar;
using platform::win32::Win32Text;

struct FormHandlers {
  std::function<void()> FlashButtonClick;
  std::function<void()> ComboBox1Change;
  std::function<void()> FileListBox1Click;
  std::function<void()> FormDestroy;
  // False while the window must not close (a flash is running).
  std::function<bool()> CanClose;
};


class MainWindow {
 public:
  // Creates the window invisible, with every control.
  MainWindow(HINSTANCE instance, Win32Cursor& cursor);
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  HWND Hwnd() const { return hwnd_; }
  app::Controls Controls();
  void SetHandlers(FormHandlers handlers) { handlers_ = std::move(handlers); }
  void Show(int showCommand);
  // Ends the window (and with it FormDestroy) if it still exists.
  void Destroy();

 private:
  static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void Command(int id, int notification);
  bool FlashRunning() const;
  static void Run(const std::function<void()>& handler);
  void CreateControls(HINSTANCE instance);
  ChildWindow MakeChild(HINSTANCE instance, const char* windowClass, const char* text,
                        DWORD style, int id, DesignRect rect);
  // The form sizes itself to its visible controls.
  void FitToControls();

  Scale scale_;
  Win32Cursor& cursor_;
  HWND hwnd_ = nullptr;
  HFONT font_ = nullptr;
  FormHandlers handlers_;
  std::function<void()> onLayout_;
  std::vector<ChildWindow*> children_;

  std::unique_ptr<Win32Caption> caption_;
  std::unique_ptr<Win32Label> label_;
  std::unique_ptr<Win32ComboBox> combo_;
  std::unique_ptr<Win32FileList> files_;
  std::unique_ptr<Win32Text> group_;
  std::unique_ptr<Win32ProgressBar> bar_;
  std::unique_ptr<Win32Button> button_;
};

}  // namespace program
