// Values the plug-in's modules share: the library's paths, the panel handles, the display
// window, the guide lock and the version label.
//
// Load (host/entry.cpp) sets the paths and the handles; the display, the guide and the
// settings read them. The handles are atomic because the display timer and the EIT data
// thread read them while the host's thread loads, saves or unloads.
#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>

#include "platform/os.h"

constexpr size_t kPathMax = 256;

extern char ModuleDir[kPathMax];
extern char IniPath[kPathMax];
extern char IconDir[kPathMax];
extern char UirPath[kPathMax];
extern std::atomic<int> pnlDisplay;
extern std::atomic<int> pnlSettings;
extern std::atomic<int> pnlAbout;
extern std::atomic<int> pnlGuide;
extern HWND OsdWnd;  // the display panel's window (caption "Pelta"), as the panel run-time has it

// Hands the guide texts, eitstate's transitions, the service id and the kept channel record
// over between the EIT data thread and the host's thread. Never held across a host message, a
// panel call or file I/O.
extern std::mutex GuideLock;

extern const char kVersionLabel[];  // "Pelta 2_0"

// Places a panel's own window, always on top and shown, on the monitor that shows most of the
// host's main window (the primary before On_Start): x and y from that monitor's top-left corner;
// position and size in layout pixels, scaled with the panel's controls to the monitor's DPI for a
// DPI-aware host. Its caption alone would not do to find it: any other program's window may
// carry the same one ("Pelta", "Settings", "EPG").
void PlacePanelWindow(int panel, int x, int y, int width, int height);
