// Monitors and DPI (see monitors.h).
//
// The DPI of a monitor, for the host's thread:
//   1. The thread's DPI awareness (GetThreadDpiAwarenessContext, then
//      GetAwarenessFromDpiAwarenessContext; Windows 10 1607 and later). The plug-in's windows are
//      made on the host's thread, so they share it. Unaware, or the functions missing (older
//      Windows, where a host cannot be per-monitor aware in a way we could learn): 96.
//   2. Aware: the monitor's effective DPI (shcore's GetDpiForMonitor, if the host has shcore
//      loaded; the plug-in loads no library for it), else the DPI of a window on that monitor
//      (GetDpiForWindow), else the screen's LOGPIXELSY (the system DPI).
// A system-aware host is told the system DPI for every monitor by these functions and a
// per-monitor aware one each monitor's own, which is what each of them draws at.
#include "shared/monitors.h"

#include <cstdint>
#include <cstring>

namespace {

constexpr int kMinDpi = 48;   // what a DPI function says outside this range is taken as 96
constexpr int kMaxDpi = 960;  // (500 % is the largest scale Windows offers: 480)
constexpr int kAwarenessUnaware = 0;
constexpr int kEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI

template <typename Fn>
Fn Lookup(HMODULE module, const char* name) {
  Fn fn = nullptr;
  if (module == nullptr) return fn;
  FARPROC proc = GetProcAddress(module, name);
  static_assert(sizeof proc == sizeof fn, "function pointers");
  std::memcpy(&fn, &proc, sizeof proc);
  return fn;
}

bool ThreadIsDpiAware(HMODULE user32) {
  const auto context =
      Lookup<PeltaGetThreadDpiAwarenessContextFn>(user32, "GetThreadDpiAwarenessContext");
  const auto awareness = Lookup<PeltaGetAwarenessFromDpiAwarenessContextFn>(
      user32, "GetAwarenessFromDpiAwarenessContext");
  if (context == nullptr || awareness == nullptr) return false;
  return awareness(context()) > kAwarenessUnaware;  // -1 (invalid) counts as unaware too
}

int Checked(UINT dpi) {
  return dpi >= static_cast<UINT>(kMinDpi) && dpi <= static_cast<UINT>(kMaxDpi)
             ? static_cast<int>(dpi)
             : 0;
}

int MonitorDpi(HMONITOR monitor, HWND window) {
  HMODULE user32 = GetModuleHandleA("USER32.DLL");
  if (!ThreadIsDpiAware(user32)) return kLayoutDpi;
  const auto for_monitor =
      Lookup<PeltaGetDpiForMonitorFn>(GetModuleHandleA("shcore.dll"), "GetDpiForMonitor");
  UINT x = 0;
  UINT y = 0;
  if (for_monitor != nullptr && monitor != nullptr &&
      for_monitor(monitor, kEffectiveDpi, &x, &y) == 0 && Checked(y) != 0) {
    return Checked(y);
  }
  const auto for_window = Lookup<PeltaGetDpiForWindowFn>(user32, "GetDpiForWindow");
  if (for_window != nullptr && window != nullptr && Checked(for_window(window)) != 0) {
    return Checked(for_window(window));
  }
  HDC screen = GetDC(nullptr);
  const int logical = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  return logical > 0 && Checked(static_cast<UINT>(logical)) != 0 ? logical : kLayoutDpi;
}

// The area of `monitor`, or of the primary monitor when it is null or unknown.
MonitorArea AreaOf(HMONITOR monitor, HWND window) {
  MONITORINFO info;
  std::memset(&info, 0, sizeof info);
  info.cbSize = sizeof info;
  if (monitor == nullptr || !GetMonitorInfoA(monitor, &info)) {
    // On Windows the primary monitor's top-left corner is 0,0.
    monitor = MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    if (monitor == nullptr || !GetMonitorInfoA(monitor, &info)) {
      return MonitorArea{RECT{0, 0, 0, 0}, kLayoutDpi};
    }
  }
  return MonitorArea{info.rcMonitor, MonitorDpi(monitor, window)};
}

struct MonitorList {
  RECT* out;
  int max;
  int count;
};

BOOL CALLBACK AddMonitor(HMONITOR, HDC, RECT* rect, LPARAM data) {
  MonitorList* list = reinterpret_cast<MonitorList*>(data);
  if (rect == nullptr) return TRUE;
  if (list->count >= list->max) return FALSE;
  list->out[list->count++] = *rect;
  return TRUE;
}

int Rounded(int64_t numerator, int64_t denominator) {
  const int64_t half = denominator / 2;
  const int64_t q =
      numerator >= 0 ? (numerator + half) / denominator : -((-numerator + half) / denominator);
  if (q > INT32_MAX) return INT32_MAX;
  if (q < INT32_MIN) return INT32_MIN;
  return static_cast<int>(q);
}

}  // namespace

MonitorArea MonitorOfWindow(HWND window) {
  HMONITOR monitor =
      window != nullptr ? MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST) : nullptr;
  return AreaOf(monitor, window);
}

MonitorArea MonitorOfRect(const RECT& rect, HWND window) {
  return AreaOf(MonitorFromRect(&rect, MONITOR_DEFAULTTONEAREST), window);
}

int ListMonitors(RECT* out, int max) {
  if (out == nullptr || max <= 0) return 0;
  MonitorList list{out, max, 0};
  EnumDisplayMonitors(nullptr, nullptr, &AddMonitor, reinterpret_cast<LPARAM>(&list));
  return list.count;
}

int ScaleToDpi(int pixels, int dpi) {
  return dpi == kLayoutDpi ? pixels : Rounded(static_cast<int64_t>(pixels) * dpi, kLayoutDpi);
}

int LayoutPixels(int pixels, int dpi) {
  if (dpi == kLayoutDpi || dpi <= 0) return pixels;
  return Rounded(static_cast<int64_t>(pixels) * kLayoutDpi, dpi);
}
