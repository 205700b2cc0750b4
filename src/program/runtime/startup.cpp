// The programs' start-up, in place of mingw-w64's crt2.o, whose prebuilt
// code needs a Pentium Pro (CMOV). The link takes this object under crt2.o's
// name (see CMakeLists.txt), so GCC's crtbegin.o and crtend.o stay where the
// compiler puts them: they register the exception tables.
//
// It does what these programs need of crt2.o: tells msvcrt what kind of
// program this is, runs the static constructors, calls the program's own
// entry and ends through exit(), which runs the destructors and atexit
// functions. Built once for each kind: the window programs (WinMain, with
// the command line's arguments and the window's show state) and, with
// QRW_CONSOLE_PROGRAM, qrwpack.exe (ConsoleMain, with msvcrt's argc and
// argv: C++ forbids calling main, so a console program's entry has a name
// of its own, and this file is built with -Wpedantic, which refuses a call
// of main).
#include <windows.h>

#include <cstdlib>

extern "C" {

// mingw-w64's libmingw32: runs the static constructors once (crtend.o's
// among them, which registers the exception tables).
void __main();
_CRTIMP void __cdecl __set_app_type(int);

// The linker's bounds of the runtime pseudo-relocations, which mingw-w64
// makes for data imported from a DLL without dllimport. The programs link
// statically and import functions only, so there are none; crt2.o would
// apply them, this start-up refuses to run with any.
extern char __RUNTIME_PSEUDO_RELOC_LIST__;
extern char __RUNTIME_PSEUDO_RELOC_LIST_END__;

// crt2.o's atexit: functions run by msvcrt's exit().
int __cdecl atexit(void(__cdecl* function)(void)) {
  return _onexit(reinterpret_cast<_onexit_t>(function)) != nullptr ? 0 : -1;
}

}  // extern "C"

namespace {

// What crt2.o does first for either kind of program.
void Begin(int appType) {
  if (&__RUNTIME_PSEUDO_RELOC_LIST__ != &__RUNTIME_PSEUDO_RELOC_LIST_END__) std::abort();
  __set_app_type(appType);
  __main();
}

}  // namespace

#ifdef QRW_CONSOLE_PROGRAM

// msvcrt's split of the command line (every msvcrt.dll has it): the
// arguments as the C library's main receives them, without wildcards
// expanded, as mingw-w64's crt2.o calls it by default.
struct MsvcrtStartupInfo {
  int newMode;
};
extern "C" _CRTIMP int __cdecl __getmainargs(int* argc, char*** argv, char*** environment,
                                             int expandWildcards, MsvcrtStartupInfo* info);

// The console program's own entry, in place of main.
int ConsoleMain(int argc, char** argv);

namespace {
constexpr int kConsoleProgram = 1;  // _CONSOLE_APP: msvcrt reports its errors on stderr
}  // namespace

// The entry point of a console program, by the linker's default name.
extern "C" void mainCRTStartup() {
  Begin(kConsoleProgram);
  int argc = 0;
  char** argv = nullptr;
  char** environment = nullptr;
  MsvcrtStartupInfo info{0};
  if (__getmainargs(&argc, &argv, &environment, 0, &info) < 0) std::abort();
  std::exit(ConsoleMain(argc, argv));
}

#else

namespace {

constexpr int kWindowProgram = 2;  // _GUI_APP: msvcrt reports its errors in boxes

// The command line after the program's name (quoted or not) and the blanks
// that follow it.
LPSTR Arguments() {
  char* p = GetCommandLineA();
  if (*p == '"') {
    for (++p; *p != '\0' && *p != '"'; ++p) {
    }
    if (*p == '"') ++p;
  } else {
    while (*p != '\0' && *p != ' ' && *p != '\t') ++p;
  }
  while (*p == ' ' || *p == '\t') ++p;
  return p;
}

int ShowState() {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  GetStartupInfoA(&startup);
  return (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : SW_SHOWDEFAULT;
}

}  // namespace

extern "C" int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR arguments, int show);

// The entry point of a window program, by the linker's default name.
extern "C" void WinMainCRTStartup() {
  Begin(kWindowProgram);
  std::exit(WinMain(GetModuleHandleA(nullptr), nullptr, Arguments(), ShowState()));
}

#endif
