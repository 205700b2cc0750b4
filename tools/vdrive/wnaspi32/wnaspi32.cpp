// WNASPI32.DLL for Wine end-to-end runs: the virtual drive behind the ASPI
// for Win32 entry points. The session (scenario, trace file, state journal)
// comes from the environment (vdrive/session/session.h). A scenario whose
// [aspi] section says "load = fail" makes LoadLibrary fail; "missing = <entry
// point>" takes that name out of the DLL's export table, so GetProcAddress
// finds nothing.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "vdrive/session/session.h"
#include "vdrive/wnaspi32/aspi_library.h"

namespace {

vdrive::aspi::AspiLibrary* library = nullptr;

// Spoils the last character of an exported name in the loaded image. The
// names stay in the sorted order the loader's binary search relies on: they
// differ from each other at their first character.
void HideExport(HINSTANCE self, const char* name) {
  auto* base = reinterpret_cast<std::uint8_t*>(self);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory =
      headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  const auto* exports =
      reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
  const auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
    char* exported = reinterpret_cast<char*>(base + names[i]);
    if (std::strcmp(exported, name) != 0) continue;
    char* last = exported + std::strlen(exported) - 1;
    DWORD protection = 0;
    if (!VirtualProtect(last, 1, PAGE_READWRITE, &protection)) return;
    *last = '!';
    VirtualProtect(last, 1, protection, &protection);
  }
}

// The environment names Unix paths; Wine reaches the Unix root as drive Z:.
// Without the letter, a path starting with '/' would mean the root of the
// program's current drive.
std::string WindowsPath(const std::string& path) {
  return !path.empty() && path.front() == '/' ? "Z:" + path : path;
}

vdrive::SessionPaths WindowsPaths(vdrive::SessionPaths paths) {
  paths.scenario = WindowsPath(paths.scenario);
  paths.trace = WindowsPath(paths.trace);
  paths.journal = WindowsPath(paths.journal);
  paths.release = WindowsPath(paths.release);
  return paths;
}

// Made once, when the DLL is attached, and kept until the process ends: a
// request completing on the library's own thread may still need it.
bool MakeLibrary(HINSTANCE self) {
  const std::optional<vdrive::SessionPaths> paths = vdrive::SessionPathsFromEnvironment();
  std::unique_ptr<vdrive::Session> session;
  if (paths) {
    std::string error;
    session = vdrive::Session::Open(WindowsPaths(*paths), &error);
    if (!session) std::fprintf(stderr, "qrw vdrive wnaspi32: %s\n", error.c_str());
  } else {
    std::fprintf(stderr, "qrw vdrive wnaspi32: %s is not set\n", vdrive::kScenarioEnvironment);
  }
  if (session) {
    const vdrive::AspiSpec& aspi = session->Drives().Aspi();
    if (aspi.loadFails) return false;
    if (aspi.missingSupportInfo) HideExport(self, "GetASPI32SupportInfo");
    if (aspi.missingSendCommand) HideExport(self, "SendASPI32Command");
  }
  library = new vdrive::aspi::AspiLibrary(std::move(session));
  return true;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH && library == nullptr) return MakeLibrary(self);
  return TRUE;
}

extern "C" DWORD GetASPI32SupportInfo() { return library->SupportInfo(); }

extern "C" DWORD SendASPI32Command(void* srb) {
  return library->Send(static_cast<std::uint8_t*>(srb));
}
