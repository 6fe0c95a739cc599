// Recognising the host program and its video window by window titles.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/os.h"

enum { kHostNone = 0, kHostSkyView = 100, kHostAltDvb = 101, kHostProgDvb = 102 };

extern std::atomic<int32_t> HostKind;    // 0 none, 100, 101, 102
extern std::atomic<HWND> HostTopWnd;     // the host's top-level window, kept from the last match
extern HWND VideoWnd;                    // the video window, kept from the last successful probe
extern HWND ProbeWnd;                    // the window under the current probe point
extern char TitleBuf[256];               // window titles read by the search (host thread)

BOOL CALLBACK EPproc(HWND hwnd, LPARAM lparam);  // EnumWindows callback
int EPtry();                                     // 1 video window found, -1 not
void ResetDiscoveryState();
