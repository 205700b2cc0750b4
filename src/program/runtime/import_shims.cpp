// Calls of Debian's prebuilt C++ library and mingw-w64 runtime that
// Windows 98 lacks (_fstat64 came with the msvcrt.dll of Windows ME and
// 2000) or exports only as stubs that fail (the wide-character ones),
// served here through the calls every system has. qrwpack.exe links this
// object: its streams (std::cout and friends) bring in the library's file
// buffer, locale set-up and random device, which import them.
//
// Each is the import address the prebuilt code calls through
// (__imp_<name>), defined here so that the import library's entry, and with
// it the import, is never linked. Texts are converted with the system's
// ANSI code page, as the ANSI calls read them.
#include <windows.h>

#include <sys/stat.h>

#include <cstdio>
#include <string>

// The status record of Visual C++ 4.2's _fstati64, with 32-bit times (the
// headers' struct _stati64 follows this compiler's time_t).
struct OldStatus {
  unsigned int st_dev;
  unsigned short st_ino;
  unsigned short st_mode;
  short st_nlink;
  short st_uid;
  short st_gid;
  unsigned int st_rdev;
  long long st_size;
  long st_atime;
  long st_mtime;
  long st_ctime;
};

// msvcrt.dll's _fstati64, declared with its own record.
extern "C" __declspec(dllimport) int __cdecl OldFstati64(int descriptor, OldStatus* status)
    __asm__("_fstati64");

namespace {

// A wide text in the ANSI code page; false when it has no such form.
bool Narrow(const wchar_t* wide, std::string& narrow) {
  const int size = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return false;
  narrow.assign(static_cast<std::size_t>(size), '\0');
  BOOL lossy = FALSE;
  WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow.data(), size, nullptr, &lossy);
  narrow.resize(static_cast<std::size_t>(size) - 1);
  return lossy == FALSE;
}

HMODULE WINAPI GetModuleHandleWShim(LPCWSTR name) {
  if (name == nullptr) return GetModuleHandleA(nullptr);
  std::string narrow;
  if (!Narrow(name, narrow)) return nullptr;
  return GetModuleHandleA(narrow.c_str());
}

HMODULE WINAPI LoadLibraryWShim(LPCWSTR name) {
  std::string narrow;
  if (name == nullptr || !Narrow(name, narrow)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return LoadLibraryA(narrow.c_str());
}

// The library's mutexes make unnamed semaphores.
HANDLE WINAPI CreateSemaphoreWShim(LPSECURITY_ATTRIBUTES security, LONG initial, LONG maximum,
                                   LPCWSTR name) {
  std::string narrow;
  if (name != nullptr && !Narrow(name, narrow)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return CreateSemaphoreA(security, initial, maximum, name != nullptr ? narrow.c_str() : nullptr);
}

std::FILE* __cdecl WfopenShim(const wchar_t* path, const wchar_t* mode) {
  std::string narrowPath, narrowMode;
  if (path == nullptr || mode == nullptr || !Narrow(path, narrowPath) ||
      !Narrow(mode, narrowMode))
    return nullptr;
  return std::fopen(narrowPath.c_str(), narrowMode.c_str());
}

// _fstat64 from _fstati64: the same fields, the times widened.
int __cdecl Fstat64Shim(int descriptor, struct _stat64* status) {
  OldStatus old{};
  const int result = OldFstati64(descriptor, &old);
  if (result != 0) return result;
  *status = {};
  status->st_dev = old.st_dev;
  status->st_ino = old.st_ino;
  status->st_mode = old.st_mode;
  status->st_nlink = old.st_nlink;
  status->st_uid = old.st_uid;
  status->st_gid = old.st_gid;
  status->st_rdev = old.st_rdev;
  status->st_size = old.st_size;
  status->st_atime = old.st_atime;
  status->st_mtime = old.st_mtime;
  status->st_ctime = old.st_ctime;
  return 0;
}

}  // namespace

// The import addresses, by the names the prebuilt objects use.
extern "C" {
extern void* const qrwImpGetModuleHandleW __asm__("__imp__GetModuleHandleW@4");
extern void* const qrwImpLoadLibraryW __asm__("__imp__LoadLibraryW@4");
extern void* const qrwImpCreateSemaphoreW __asm__("__imp__CreateSemaphoreW@16");
extern void* const qrwImpWfopen __asm__("__imp___wfopen");
extern void* const qrwImpFstat64 __asm__("__imp___fstat64");

void* const qrwImpGetModuleHandleW = reinterpret_cast<void*>(&GetModuleHandleWShim);
void* const qrwImpLoadLibraryW = reinterpret_cast<void*>(&LoadLibraryWShim);
void* const qrwImpCreateSemaphoreW = reinterpret_cast<void*>(&CreateSemaphoreWShim);
void* const qrwImpWfopen = reinterpret_cast<void*>(&WfopenShim);
void* const qrwImpFstat64 = reinterpret_cast<void*>(&Fstat64Shim);
}
