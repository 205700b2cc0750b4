// windows.h for the Win32 layer, without the macros that would rename the
// seams' own operations (AspiLibrary::CreateEvent, Restart::ExitWindows).
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <commctrl.h>

#undef CreateEvent
#undef ExitWindows
