// WNASPI32.DLL for Wine end-to-end runs: the virtual drive behind the ASPI
// for Win32 entry points. The session (scenario, trace file, state journal)
// comes from the environment (vdrive/session/session.h). A scenario whose
// [aspi] section says "load = fail" makes LoadLibrary fail.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

#include "vdrive/session/session.h"
#include "vdrive/wnaspi32/aspi_library.h"

namespace {

vdrive::aspi::AspiLibrary* library = nullptr;

// Made once, when the DLL is attached, and kept until the process ends: a
// request completing on the library's own thread may still need it.
bool MakeLibrary() {
  const std::optional<vdrive::SessionPaths> paths = vdrive::SessionPathsFromEnvironment();
  std::unique_ptr<vdrive::Session> session;
  if (paths) {
    std::string error;
    session = vdrive::Session::Open(*paths, &error);
    if (!session) std::fprintf(stderr, "qrw vdrive wnaspi32: %s\n", error.c_str());
  } else {
    std::fprintf(stderr, "qrw vdrive wnaspi32: %s is not set\n", vdrive::kScenarioEnvironment);
  }
  if (session && session->Drives().Aspi().loadFails) return false;
  library = new vdrive::aspi::AspiLibrary(std::move(session));
  return true;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH && library == nullptr) return MakeLibrary();
  return TRUE;
}

extern "C" DWORD GetASPI32SupportInfo() { return library->SupportInfo(); }

extern "C" DWORD SendASPI32Command(void* srb) {
  return library->Send(static_cast<std::uint8_t*>(srb));
}
