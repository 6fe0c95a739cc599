// Monitors and DPI: on which monitor the plug-in's windows go, and how large they are drawn.
//
// A desktop may have several monitors side by side (a television on the second output, say),
// with negative coordinates left of or above the primary one. A DPI-aware host sees real pixels
// and expects windows drawn at its monitor's DPI: the layout's pixel measures are those of a
// 96-DPI screen, so they are multiplied by DPI / 96. A DPI-unaware host gets 96 everywhere:
// Windows stretches its windows (and ours, made on its thread) itself.
//
// The DPI functions of newer Windows are looked up by name on each use (os.h): without them the
// host counts as unaware. Called on the host's thread (channel change, dialogs); no state kept.
#pragma once

#include "platform/os.h"

constexpr int kLayoutDpi = 96;       // the DPI the layout's pixel measures are meant for
constexpr int kMaxMonitorList = 16;  // monitors the video search probes

struct MonitorArea {
  RECT rect;  // the monitor's whole rectangle, in the host's screen coordinates
  int dpi;    // the DPI the plug-in's windows are drawn at there: 96 for an unaware host
};

// The monitor that shows most of `window`, or the one nearest to it; the primary monitor when
// `window` is null or no window. `window` also serves the DPI (GetDpiForWindow) where shcore's
// GetDpiForMonitor is not at hand.
MonitorArea MonitorOfWindow(HWND window);
// The same for a rectangle (most of it, or the nearest monitor); `window` lies on it or is null.
MonitorArea MonitorOfRect(const RECT& rect, HWND window);
// Every monitor's rectangle, in the order Windows lists them, at most `max`; returns the count
// (0 when Windows lists none).
int ListMonitors(RECT* out, int max);

// A measure in layout pixels at `dpi`, rounded half away from zero (exact at 96).
int ScaleToDpi(int pixels, int dpi);
// The other way: device pixels at `dpi` in layout pixels, rounded the same way.
int LayoutPixels(int pixels, int dpi);
