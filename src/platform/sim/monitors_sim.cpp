// The simulated desktop's monitors and DPI: MonitorFrom*, GetMonitorInfoA, EnumDisplayMonitors,
// the screen DC's LOGPIXELSY, and the DPI functions of newer Windows that the plug-in reaches
// only through GetProcAddress (GetThreadDpiAwarenessContext, GetAwarenessFromDpiAwarenessContext
// and GetDpiForWindow in user32, GetDpiForMonitor in shcore).
//
// What a DPI function reports depends on the process's awareness, as on Windows: an unaware
// process is told 96 everywhere (Windows stretches its windows itself), a system-aware one the
// system DPI (the primary monitor's) everywhere, a per-monitor aware one each monitor's own.
//
// A monitor handle is its index + 1; the screen DC is one fixed value. State of its own under
// its own mutex (never held while calling out), reset by sim::Reset.
#include <cstdint>
#include <cstring>
#include <mutex>

#include "platform/sim/sim.h"
#include "platform/sim/sim_parts.h"

namespace {

constexpr int kDefaultDpi = 96;
constexpr int kMinDpi = 48;
constexpr int kMaxDpi = 960;
const HMODULE kShcore = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x7e420000));
HDC const kScreenDc = reinterpret_cast<HDC>(static_cast<uintptr_t>(0x5c5c));

// DPI_AWARENESS_CONTEXT values as Windows defines them (pseudo handles), and the DPI_AWARENESS
// numbers GetAwarenessFromDpiAwarenessContext turns them into.
constexpr intptr_t kContextUnaware = -1;
constexpr intptr_t kContextSystemAware = -2;
constexpr intptr_t kContextPerMonitorAware = -3;
constexpr intptr_t kContextPerMonitorAwareV2 = -4;
constexpr int kAwarenessInvalid = -1;
constexpr LONG kInvalidArg = static_cast<LONG>(0x80070057);  // E_INVALIDARG

struct Monitors {
  sim::Monitor list[sim::kMaxMonitors];
  int count;
  int awareness;
  int functions;
};

constexpr Monitors kDefault = {
    {{RECT{0, 0, 1920, 1080}, kDefaultDpi, true}}, 1, sim::kDpiUnaware, sim::kAllDpiFunctions};

std::mutex g_mu;
Monitors g = kDefault;

using Lock = std::lock_guard<std::mutex>;

int PrimaryIndex() {
  for (int i = 0; i < g.count; ++i) {
    if (g.list[i].primary) return i;
  }
  return 0;
}

HMONITOR HandleOf(int index) {
  return reinterpret_cast<HMONITOR>(static_cast<uintptr_t>(index + 1));
}

// The index behind a handle, -1 for one that names no monitor. Caller holds the lock.
int IndexOf(HMONITOR monitor) {
  const uintptr_t v = reinterpret_cast<uintptr_t>(monitor);
  return v >= 1 && v <= static_cast<uintptr_t>(g.count) ? static_cast<int>(v - 1) : -1;
}

long long Overlap(const RECT& a, const RECT& b) {
  const long long w = static_cast<long long>(a.right < b.right ? a.right : b.right) -
                      (a.left > b.left ? a.left : b.left);
  const long long h = static_cast<long long>(a.bottom < b.bottom ? a.bottom : b.bottom) -
                      (a.top > b.top ? a.top : b.top);
  return w > 0 && h > 0 ? w * h : 0;
}

// How far a rectangle is from a monitor (0 when they touch or overlap), as a squared distance
// between the nearest edges.
long long Distance(const RECT& r, const RECT& m) {
  long long dx = 0, dy = 0;
  if (r.right <= m.left) dx = static_cast<long long>(m.left) - r.right + 1;
  if (r.left >= m.right) dx = static_cast<long long>(r.left) - m.right + 1;
  if (r.bottom <= m.top) dy = static_cast<long long>(m.top) - r.bottom + 1;
  if (r.top >= m.bottom) dy = static_cast<long long>(r.top) - m.bottom + 1;
  return dx * dx + dy * dy;
}

// MonitorFromRect's rule: the monitor with the largest intersection; with none, the nearest
// (MONITOR_DEFAULTTONEAREST), the primary (MONITOR_DEFAULTTOPRIMARY) or null. Caller holds the
// lock. An empty rectangle (a point) counts by the monitor that contains it.
HMONITOR FromRectLocked(const RECT& r, DWORD flags) {
  int best = -1;
  long long best_area = 0;
  for (int i = 0; i < g.count; ++i) {
    const RECT& m = g.list[i].rect;
    long long area = Overlap(r, m);
    if (area == 0 && r.left == r.right && r.top == r.bottom && r.left >= m.left &&
        r.left < m.right && r.top >= m.top && r.top < m.bottom) {
      area = 1;
    }
    if (area > best_area) {
      best = i;
      best_area = area;
    }
  }
  if (best >= 0) return HandleOf(best);
  if (flags == MONITOR_DEFAULTTOPRIMARY) return HandleOf(PrimaryIndex());
  if (flags != MONITOR_DEFAULTTONEAREST) return nullptr;
  long long nearest = 0;
  for (int i = 0; i < g.count; ++i) {
    const long long d = Distance(r, g.list[i].rect);
    if (best < 0 || d < nearest) {
      best = i;
      nearest = d;
    }
  }
  return HandleOf(best);
}

// The DPI a DPI function reports for monitor `index` to this process. Caller holds the lock.
int ReportedDpi(int index) {
  if (g.awareness == sim::kDpiUnaware) return kDefaultDpi;
  if (g.awareness == sim::kDpiSystemAware) return g.list[PrimaryIndex()].dpi;
  return g.list[index].dpi;
}

// ---- the DPI functions, reached through GetProcAddress ----

void* WINAPI SimGetThreadDpiAwarenessContext() {
  Lock lock(g_mu);
  const intptr_t context = g.awareness == sim::kDpiPerMonitorAware ? kContextPerMonitorAwareV2
                           : g.awareness == sim::kDpiSystemAware   ? kContextSystemAware
                                                                   : kContextUnaware;
  return reinterpret_cast<void*>(context);
}

int WINAPI SimGetAwarenessFromDpiAwarenessContext(void* context) {
  switch (reinterpret_cast<intptr_t>(context)) {
    case kContextUnaware:
      return sim::kDpiUnaware;
    case kContextSystemAware:
      return sim::kDpiSystemAware;
    case kContextPerMonitorAware:
    case kContextPerMonitorAwareV2:
      return sim::kDpiPerMonitorAware;
    default:
      return kAwarenessInvalid;
  }
}

UINT WINAPI SimGetDpiForWindow(HWND hwnd) {
  RECT rect;
  if (!GetWindowRect(hwnd, &rect)) return 0;  // as Windows: 0 for a handle that is no window
  Lock lock(g_mu);
  return static_cast<UINT>(ReportedDpi(IndexOf(FromRectLocked(rect, MONITOR_DEFAULTTONEAREST))));
}

LONG WINAPI SimGetDpiForMonitor(HMONITOR monitor, int type, UINT* dpi_x, UINT* dpi_y) {
  Lock lock(g_mu);
  const int index = IndexOf(monitor);
  if (index < 0 || type < 0 || type > 2 || dpi_x == nullptr || dpi_y == nullptr) {
    return kInvalidArg;
  }
  *dpi_x = *dpi_y = static_cast<UINT>(ReportedDpi(index));
  return 0;  // S_OK
}

template <typename Fn>
FARPROC AsFarProc(Fn fn) {
  // Through void(*)(), the generic function pointer type, as GetProcAddress's callers do.
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(fn));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Win32 names

HMONITOR MonitorFromRect(const RECT* rect, DWORD flags) {
  if (rect == nullptr) return nullptr;
  Lock lock(g_mu);
  return FromRectLocked(*rect, flags);
}

HMONITOR MonitorFromPoint(POINT point, DWORD flags) {
  const RECT dot{point.x, point.y, point.x, point.y};
  return MonitorFromRect(&dot, flags);
}

HMONITOR MonitorFromWindow(HWND hwnd, DWORD flags) {
  RECT rect;
  if (!GetWindowRect(hwnd, &rect)) {  // no such window: only the fallbacks
    if (flags == MONITOR_DEFAULTTONULL) return nullptr;
    Lock lock(g_mu);
    return HandleOf(PrimaryIndex());
  }
  return MonitorFromRect(&rect, flags);
}

BOOL GetMonitorInfoA(HMONITOR monitor, MONITORINFO* info) {
  if (info == nullptr || info->cbSize < sizeof(MONITORINFO)) return FALSE;
  Lock lock(g_mu);
  const int index = IndexOf(monitor);
  if (index < 0) return FALSE;
  info->rcMonitor = g.list[index].rect;
  info->rcWork = g.list[index].rect;  // no task bar on the simulated desktop
  info->dwFlags = g.list[index].primary ? MONITORINFOF_PRIMARY : 0;
  return TRUE;
}

BOOL EnumDisplayMonitors(HDC dc, const RECT* clip, MONITORENUMPROC proc, LPARAM lparam) {
  if (dc != nullptr || clip != nullptr || proc == nullptr) return FALSE;
  Monitors copy;
  {
    Lock lock(g_mu);
    copy = g;
  }
  for (int i = 0; i < copy.count; ++i) {
    RECT rect = copy.list[i].rect;
    if (!proc(HandleOf(i), nullptr, &rect, lparam)) return FALSE;
  }
  return TRUE;
}

HDC GetDC(HWND hwnd) {
  return hwnd == nullptr ? kScreenDc : nullptr;
}

int ReleaseDC(HWND, HDC dc) {
  return dc == kScreenDc ? 1 : 0;
}

int GetDeviceCaps(HDC dc, int index) {
  if (dc != kScreenDc || index != LOGPIXELSY) return 0;
  Lock lock(g_mu);
  return g.awareness == sim::kDpiUnaware ? kDefaultDpi : g.list[PrimaryIndex()].dpi;
}

// ---------------------------------------------------------------------------------------------
// sim:: API and the parts sim.cpp calls

namespace simparts {

void ResetMonitors() {
  Lock lock(g_mu);
  g = kDefault;
}

HMODULE DpiModule(const char* name) {
  if (name == nullptr || !EqualNoCase(name, "SHCORE.DLL")) return nullptr;
  Lock lock(g_mu);
  return (g.functions & sim::kDpiForMonitorFunction) != 0 ? kShcore : nullptr;
}

FARPROC DpiProc(HMODULE module, bool user32, const char* name) {
  int functions;
  {
    Lock lock(g_mu);
    functions = g.functions;
  }
  if (user32 && (functions & sim::kDpiAwarenessFunctions) != 0) {
    if (std::strcmp(name, "GetThreadDpiAwarenessContext") == 0) {
      return AsFarProc(&SimGetThreadDpiAwarenessContext);
    }
    if (std::strcmp(name, "GetAwarenessFromDpiAwarenessContext") == 0) {
      return AsFarProc(&SimGetAwarenessFromDpiAwarenessContext);
    }
  }
  if (user32 && (functions & sim::kDpiForWindowFunction) != 0 &&
      std::strcmp(name, "GetDpiForWindow") == 0) {
    return AsFarProc(&SimGetDpiForWindow);
  }
  if (module == kShcore && (functions & sim::kDpiForMonitorFunction) != 0 &&
      std::strcmp(name, "GetDpiForMonitor") == 0) {
    return AsFarProc(&SimGetDpiForMonitor);
  }
  return nullptr;
}

}  // namespace simparts

namespace sim {

bool SetMonitors(const Monitor* monitors, int count) {
  if (monitors == nullptr || count < 1 || count > kMaxMonitors) return false;
  int primaries = 0;
  for (int i = 0; i < count; ++i) {
    const Monitor& m = monitors[i];
    if (m.rect.right <= m.rect.left || m.rect.bottom <= m.rect.top || m.dpi < kMinDpi ||
        m.dpi > kMaxDpi) {
      return false;
    }
    primaries += m.primary ? 1 : 0;
  }
  if (primaries != 1) return false;
  for (int i = 0; i < count; ++i) {
    // On Windows the primary monitor's top-left corner is the origin of the screen.
    if (monitors[i].primary && (monitors[i].rect.left != 0 || monitors[i].rect.top != 0)) {
      return false;
    }
  }
  Lock lock(g_mu);
  for (int i = 0; i < count; ++i) g.list[i] = monitors[i];
  g.count = count;
  return true;
}

int MonitorCount() {
  Lock lock(g_mu);
  return g.count;
}

bool MonitorAt(int index, Monitor* out) {
  if (out == nullptr) return false;
  Lock lock(g_mu);
  if (index < 0 || index >= g.count) return false;
  *out = g.list[index];
  return true;
}

void SetScreenSize(int width, int height) {
  const Monitor one{RECT{0, 0, width, height}, kDefaultDpi, true};
  if (!SetMonitors(&one, 1)) {
    // A size of 0 or less: the screen as given, which no window can lie on.
    Lock lock(g_mu);
    g.list[0] = one;
    g.count = 1;
  }
}

int ScreenWidth() {
  Lock lock(g_mu);
  const RECT& r = g.list[PrimaryIndex()].rect;
  return r.right - r.left;
}

int ScreenHeight() {
  Lock lock(g_mu);
  const RECT& r = g.list[PrimaryIndex()].rect;
  return r.bottom - r.top;
}

void SetDpiAwareness(int awareness) {
  Lock lock(g_mu);
  g.awareness =
      awareness == kDpiSystemAware || awareness == kDpiPerMonitorAware ? awareness : kDpiUnaware;
}

int DpiAwareness() {
  Lock lock(g_mu);
  return g.awareness;
}

void SetDpiFunctions(int mask) {
  Lock lock(g_mu);
  g.functions = mask & kAllDpiFunctions;
}

}  // namespace sim
