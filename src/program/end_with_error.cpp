#include "program/runtime/end_with_error.h"

#include <windows.h>

#include "platform/ui.h"

namespace program {

// The window programs' faults, in the standard error box.
void EndWithError(const char* what) {
  MessageBoxA(nullptr, what, platform::kApplicationTitle, MB_OK | MB_ICONERROR);
  ExitProcess(1);
}

}  // namespace program
