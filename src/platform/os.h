// The one header through which the plug-in reaches the operating system.
//
// In the DLL these are the real Win32 names from user32, kernel32 and winmm. On Linux the
// simulated desktop (platform/sim) declares the same names with the same signatures and
// implements them over a model that tests and pelta-tool arrange and inspect. The core never
// includes <windows.h> itself and has no other #ifdef _WIN32.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <mmsystem.h>
#else
#include "platform/sim/win32.h"
#endif

// SetLayeredWindowAttributes is looked up by name at run time (it is absent from user32 on
// Windows before 2000); this is the type of the pointer the plug-in keeps.
typedef BOOL(WINAPI* PeltaSetLayeredFn)(HWND, COLORREF, BYTE, DWORD);

// The host declares every entry point and the EIT data callback __cdecl (the caller removes
// the arguments). Only meaningful for i686; other ABIs have one convention.
#if defined(_WIN32) && !defined(_WIN64)
#define PELTA_CDECL __cdecl
#else
#define PELTA_CDECL
#endif
