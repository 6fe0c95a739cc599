// Recognising the host program and its video window by window titles.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/os.h"

enum { kHostNone = 0, kHostSkyView = 100, kHostAltDvb = 101, kHostProgDvb = 102 };

extern std::atomic<int32_t> HostKind;  // 0 none, 100, 101, 102
extern std::atomic<HWND> HostTopWnd;   // the host's top-level window, kept from the last match
extern HWND VideoWnd;                  // the video window, kept from the last successful probe
extern HWND ProbeWnd;                  // the window under the current probe point
extern char TitleBuf[256];             // window titles read by the search (host thread)

BOOL CALLBACK EPproc(HWND hwnd, LPARAM lparam);  // EnumWindows callback
// The video window among the host's own windows (HostTopWnd, else the On_Start window, its
// children, the other top-level windows of its process and theirs): 1 found, -1 not.
int EPtree();
// The video window under a point of a monitor (centres first, then each monitor's grid):
// 1 found, -1 not.
int EPtry();
void ResetDiscoveryState();
