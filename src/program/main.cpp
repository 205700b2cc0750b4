// Program entry: the application's title, the main window TFlashForm with
// its start-up in FormCreate, and the event loop.
#include <memory>

#include "app/flash_form.h"
#include "package/package_data.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_guard.h"
#include "program/main_window.h"
#include "platform/win32/win32_services.h"

namespace {

using namespace platform::win32;
using namespace program;

// The application object's window: it carries the application title, the
// text that stands for the program as a whole.
constexpr const char* kApplicationClass = "TApplication";

HWND CreateApplicationWindow(HINSTANCE instance) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = instance;
  wc.lpszClassName = kApplicationClass;
  RegisterClassExA(&wc);
  return CreateWindowExA(0, kApplicationClass, platform::kApplicationTitle, WS_POPUP, 0, 0, 0, 0,
                         nullptr, nullptr, instance, nullptr);
}

// InitCommonControlsEx came with COMCTL32.DLL 4.70 (Internet Explorer 3.0),
// which a Windows NT 4.0 without it lacks: it is looked up, and where it is
// missing InitCommonControls registers the progress bar all the same.
// Importing InitCommonControls also keeps COMCTL32.DLL loaded from the
// start, with the version the manifest asks for.
void InitialiseCommonControls() {
  using InitCommonControlsExFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  HMODULE comctl = GetModuleHandleA("COMCTL32.DLL");
  const auto initialiseEx =
      comctl != nullptr
          ? reinterpret_cast<InitCommonControlsExFn>(
                reinterpret_cast<void*>(GetProcAddress(comctl, "InitCommonControlsEx")))
          : nullptr;
  if (initialiseEx == nullptr) {
    InitCommonControls();
    return;
  }
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES;
  initialiseEx(&controls);
}

int RunEventLoop(HWND form) {
  MSG message{};
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (IsDialogMessageA(form, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}

struct Services {
  Win32Os os;
  Win32ProfileReader profiles;
  Win32Dialogs dialogs;
  Win32DeviceIo device;
  Win32AspiLibrary aspi;
  Win32Restart restart;
  Win32Cursor cursor;
  Win32Files files;
  Win32BurnGuard guard;
  Win32ShutdownNotice notice;
  Win32PowerSource power;
};

// Destroys the window (running FormDestroy) while the form still exists,
// however the program leaves RunProgram.
class WindowCloser {
 public:
  explicit WindowCloser(MainWindow& window) : window_(window) {}
  ~WindowCloser() { window_.Destroy(); }

 private:
  MainWindow& window_;
};

int RunProgram(HINSTANCE instance, int showCommand) {
  InitialiseCommonControls();
  HWND application = CreateApplicationWindow(instance);
  auto services = std::make_unique<Services>();
  MainWindow window(instance, services->cursor);
  services->dialogs.SetOwner(window.Hwnd());
  services->notice.SetWindow(window.Hwnd());
  app::TFlashForm form(window.Controls(),
                       app::Services{services->os, services->profiles, services->dialogs,
                                     services->device, services->aspi, services->restart,
                                     services->files, services->guard, services->notice,
                                     services->power},
                       package::BuiltInPackage());
  WindowCloser closer(window);
  window.SetHandlers({[&form] { form.FlashButtonClick(); },
                      [&form] { form.ComboBox1Change(); },
                      [&form] { form.FileListBox1Click(); },
                      [&form] { form.FormDestroy(); },
                      [&form] { return !form.Flashing(); }});
  form.FormCreate();
  // A start-up that gave up has posted its quit request: the loop ends at
  // once, and the window is never shown.
  if (!services->os.QuitPosted()) window.Show(showCommand);
  RunEventLoop(window.Hwnd());
  window.Destroy();
  DestroyWindow(application);
  return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  return RunProgram(instance, showCommand);
}
