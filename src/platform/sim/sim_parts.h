// What the parts of the simulated desktop share: sim.cpp (windows, keys, timer, logs) calls
// into monitors_sim.cpp (monitors and DPI) and files_sim.cpp (module folder, clock, files).
// Internal to platform/sim.
#pragma once

#include "platform/sim/win32.h"

namespace simparts {

// Back to one 1920x1080 monitor at 96 DPI, an unaware process, every DPI function there.
void ResetMonitors();
// GetModuleHandleA for the modules of the DPI functions ("shcore.dll"), or null.
HMODULE DpiModule(const char* name);
// GetProcAddress for the DPI functions (user32's when `user32`, shcore's from DpiModule); null
// for any other name, or a function this Windows lacks (sim::SetDpiFunctions).
FARPROC DpiProc(HMODULE module, bool user32, const char* name);

// Back to module folder ".", the real clock, no dump path.
void ResetFiles();

// ASCII case-insensitive comparison, as Windows compares module and file names.
bool EqualNoCase(const char* a, const char* b);

}  // namespace simparts
