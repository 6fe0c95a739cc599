// The one header through which the plug-in reaches the operating system.
//
// In the DLL these are the real Win32 names from user32, kernel32 and winmm. On Linux the
// simulated desktop (platform/sim) declares the same names with the same signatures and
// implements them over a model that tests and pelta-tool arrange and inspect. The core never
// includes <windows.h> itself and has no other #ifdef _WIN32.
#pragma once

#include <cstddef>

#ifdef _WIN32
// clang-format off
#include <windows.h>
#include <mmsystem.h>  // after <windows.h>: it uses its types without including it
// clang-format on
#else
#include "platform/sim/win32.h"
#endif

// SetLayeredWindowAttributes is looked up by name at run time (it is absent from user32 on
// Windows before 2000); this is the type of the pointer the plug-in keeps.
typedef BOOL(WINAPI* PeltaSetLayeredFn)(HWND, COLORREF, BYTE, DWORD);

// The DPI functions of newer Windows, looked up by name at run time as well (Windows before 10
// lacks the first three, before 8.1 the last), so that the DLL imports only what every
// supported Windows has: user32's GetThreadDpiAwarenessContext (a DPI_AWARENESS_CONTEXT, a
// handle), GetAwarenessFromDpiAwarenessContext (a DPI_AWARENESS: -1 invalid, 0 unaware, 1
// system aware, 2 per-monitor aware) and GetDpiForWindow (0 for a bad window); shcore's
// GetDpiForMonitor (an HRESULT; type 0 is MDT_EFFECTIVE_DPI).
typedef void*(WINAPI* PeltaGetThreadDpiAwarenessContextFn)();
typedef int(WINAPI* PeltaGetAwarenessFromDpiAwarenessContextFn)(void*);
typedef UINT(WINAPI* PeltaGetDpiForWindowFn)(HWND);
typedef LONG(WINAPI* PeltaGetDpiForMonitorFn)(HMONITOR, int, UINT*, UINT*);

// The host declares every entry point and the EIT data callback __cdecl (the caller removes
// the arguments). Only meaningful for i686; other ABIs have one convention.
#if defined(_WIN32) && !defined(_WIN64)
#define PELTA_CDECL __cdecl
#else
#define PELTA_CDECL
#endif

// Text that comes from the host (a channel name) or from pelta.ini (the typeface) is in the
// system's ANSI code page; the panels hold UTF-8. Converts `in` to UTF-8 into `out` (`size`
// bytes), cut at a character boundary where it does not fit, always NUL-terminated (size > 0).
// Returns the length written. Windows: MultiByteToWideChar(CP_ACP) and WideCharToMultiByte
// (CP_UTF8); the simulated desktop: code page 1252 unless sim::SetAnsiCodePage chose another.
size_t AnsiToUtf8(const char* in, char* out, size_t size);

// The three-letter ISO 639-2 code of the language of the system's user interface into `out`
// (at least 4 bytes), lower case; false, and `out` empty, when the system names none. Windows:
// GetUserDefaultUILanguage and GetLocaleInfoA(LOCALE_SISO639LANGNAME2); the simulated desktop:
// the language of the LANG environment variable ("cs_CZ.UTF-8" is Czech).
bool UserInterfaceLanguage(char* out, size_t size);

// The user's country as an ISO 3166 alpha-3 code into `out` (at least 4 bytes), upper case, as
// parental ratings name countries; false, and `out` empty, when the system names none. Windows:
// GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SISO3166CTRYNAME2); the simulated desktop: the
// territory of LANG ("de_AT.UTF-8" is Austria).
bool UserCountry(char* out, size_t size);
