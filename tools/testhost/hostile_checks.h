// Checks of the test host that play a hostile desktop, user and host: another program's windows
// with the plug-in's captions, typing in Settings while the strip comes and goes, a host menu
// command that opens Settings inside a display tick, a Save refused twice, and WM_QUIT reaching a
// dialog's event loop. They run once the test host's own script has loaded and started the
// plug-in and shown its channel (tools/testhost/testhost.cpp), and leave it as they found it:
// strip hidden, no dialog open, pelta.ini unchanged.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

namespace hostile {

struct Host {
  HWND main;            // the host's main window (the plug-in's HostTopWnd)
  HMODULE dll;          // the loaded plug-in
  std::string channel;  // the channel the host shows: its video window carries this caption
  std::string ini;      // the plug-in's pelta.ini
  int display_ms;       // pelta.ini's display time
  int slow;             // factor for the waits on a slow (emulated) machine
  // One result line, as the test host prints it ("PASS: name" or "FAIL: name (detail)").
  void (*check)(bool ok, const char* name, const char* detail_format, ...);
  std::atomic<const char*>* step;  // what the watchdog names if the run hangs
};

void Run(const Host& host);

}  // namespace hostile
