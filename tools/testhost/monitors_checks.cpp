// testhost --monitors: the plug-in on a desktop of two monitors (tests/e2e/run-monitors).
//
// Xephyr nested in Xvfb gives Wine two monitors side by side, 1024x768 at 0,0 (the primary) and
// 1280x720 at 1024,0. The host's main window ("ProgDVB 7") lies on the second one, its video
// child window captioned with the channel name, and a second window of the host covers the
// video window but for its bottom 10 pixels (the monitor's centre and every grid point the probe
// would try there). One run is one phase:
//   --follow 0   the strip lies along the bottom of the second monitor;
//   --follow 1   it lies along the bottom of the partly covered video window (found among the
//                host's own windows, where the probe would find only the covering window);
//   --dpi N      the DPI Wine reports (its LogPixels setting, made by the script); the host asks
//                to be per-monitor DPI aware, and the strip's insets, height and controls and
//                the About box must be scaled by N / 96. When the plug-in is told 96 whatever
//                LogPixels says, the run says so and checks the unscaled strip.
// One line per check, then "N passed, M failed", as the main script does.
#include <windows.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

int RunMonitorChecks(int argc, char** argv);

namespace {

struct TProgram82 {
  unsigned char bytes[868];
};
typedef void (*OnStartFn)(HINSTANCE, HWND, BOOL, int, char*, char*, int*);
typedef void (*OnExitFn)(HINSTANCE, HWND, BOOL);
typedef void (*OnChannelChangeFn)(TProgram82);
typedef void (*OnMenuSelectFn)(UINT);

constexpr RECT kSecond{1024, 0, 2304, 720};
constexpr UINT kMenuAbout = 44455;

int g_passed = 0;
int g_failed = 0;

void Check(bool ok, const char* name, const char* format = nullptr, ...) {
  char detail[256] = "";
  if (!ok && format != nullptr) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(detail, sizeof detail, format, args);
    va_end(args);
  }
  std::printf("%s: %s%s%s%s\n", ok ? "PASS" : "FAIL", name, detail[0] ? " (" : "", detail,
              detail[0] ? ")" : "");
  std::fflush(stdout);
  ++(ok ? g_passed : g_failed);
}

int Scale(int pixels, int dpi) {
  return (pixels * dpi + 48) / 96;  // half away from zero, as the plug-in rounds (pixels >= 0)
}

void Pump(DWORD ms) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_USER) return 1;  // host commands: accepted, nothing to deliver
  if (message == WM_CLOSE) return 0;
  return DefWindowProcA(window, message, wparam, lparam);
}

BOOL CALLBACK AddMonitor(HMONITOR, HDC, RECT* rect, LPARAM data) {
  std::string* list = reinterpret_cast<std::string*>(data);
  char text[64];
  std::snprintf(text, sizeof text, "%s%ldx%ld+%ld+%ld", list->empty() ? "" : ",",
                rect->right - rect->left, rect->bottom - rect->top, rect->left, rect->top);
  *list += text;
  return TRUE;
}

// Per-monitor aware if this Windows can say so (Windows 10 1703 and Wine), else system aware.
void BecomeDpiAware() {
  HMODULE user32 = GetModuleHandleA("user32.dll");
  typedef BOOL(WINAPI * SetContextFn)(HANDLE);
  FARPROC proc =
      user32 != nullptr ? GetProcAddress(user32, "SetProcessDpiAwarenessContext") : nullptr;
  SetContextFn set_context = reinterpret_cast<SetContextFn>(reinterpret_cast<void*>(proc));
  // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2 is (HANDLE)-4.
  if (set_context == nullptr || !set_context(reinterpret_cast<HANDLE>(static_cast<intptr_t>(-4)))) {
    SetProcessDPIAware();
  }
}

// The DPI the plug-in's thread (this one) is told for the second monitor, as the plug-in asks.
int ReportedDpi() {
  HMODULE shcore = LoadLibraryA("shcore.dll");
  typedef HRESULT(WINAPI * ForMonitorFn)(HMONITOR, int, UINT*, UINT*);
  FARPROC proc = shcore != nullptr ? GetProcAddress(shcore, "GetDpiForMonitor") : nullptr;
  ForMonitorFn for_monitor = reinterpret_cast<ForMonitorFn>(reinterpret_cast<void*>(proc));
  UINT x = 0, y = 0;
  const POINT centre{1664, 360};
  if (for_monitor == nullptr ||
      for_monitor(MonitorFromPoint(centre, MONITOR_DEFAULTTONEAREST), 0, &x, &y) != S_OK) {
    HDC screen = GetDC(nullptr);
    y = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSY));
    ReleaseDC(nullptr, screen);
  }
  return static_cast<int>(y);
}

RECT WindowRectOf(HWND window) {
  RECT r{};
  if (window != nullptr) GetWindowRect(window, &r);
  return r;
}

// While the About box's loop runs inside On_Menu_Select: where it was placed, then its OK.
RECT g_about{};
void CALLBACK AboutTimer(HWND, UINT, UINT_PTR id, DWORD) {
  HWND about = FindWindowA(nullptr, "About");
  g_about = WindowRectOf(about);
  KillTimer(nullptr, id);
  HWND ok = about != nullptr ? FindWindowExA(about, nullptr, "Button", nullptr) : nullptr;
  if (ok != nullptr) SendMessageA(ok, BM_CLICK, 0, 0);
}

template <typename Fn>
Fn Entry(HMODULE dll, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}

}  // namespace

int RunMonitorChecks(int argc, char** argv) {
  std::string dll_path, channel = "Pelta Test";
  int follow = 0, dpi = 96, display_ms = 2000;
  for (int i = 0; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    if (key == "--dll") dll_path = argv[i + 1];
    if (key == "--channel") channel = argv[i + 1];
    if (key == "--follow") follow = std::atoi(argv[i + 1]);
    if (key == "--dpi") dpi = std::atoi(argv[i + 1]);
    if (key == "--display-ms") display_ms = std::atoi(argv[i + 1]);
  }
  BecomeDpiAware();
  std::string monitors;
  EnumDisplayMonitors(nullptr, nullptr, &AddMonitor, reinterpret_cast<LPARAM>(&monitors));
  Check(monitors == "1024x768+0+0,1280x720+1024+0", "Wine has two monitors side by side", "%s",
        monitors.c_str());
  const int reported = ReportedDpi();
  std::printf("# FollowVideo %d, LogPixels %d, the plug-in's thread is told %d DPI\n", follow, dpi,
              reported);
  if (reported != dpi) {
    std::printf("# Wine does not report LogPixels %d to the plug-in: the strip stays unscaled\n",
                dpi);
  }
  const int want_dpi = reported;

  // The host on the second monitor, its video child, and a window of its own over the middle.
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA host_class = {};
  host_class.lpfnWndProc = &HostProc;
  host_class.hInstance = instance;
  host_class.hbrBackground = reinterpret_cast<HBRUSH>(GetStockObject(DKGRAY_BRUSH));
  host_class.lpszClassName = "MonitorsHost";
  RegisterClassA(&host_class);
  HWND host = CreateWindowExA(0, "MonitorsHost", "ProgDVB 7", WS_POPUP | WS_VISIBLE, 1064, 20, 1200,
                              680, nullptr, nullptr, instance, nullptr);
  // Windows of classes of their own: a STATIC lets WindowFromPoint through (HTTRANSPARENT).
  HWND video = CreateWindowExA(0, "MonitorsHost", channel.c_str(), WS_CHILD | WS_VISIBLE, 40, 40,
                               1120, 600, host, nullptr, instance, nullptr);
  HWND cover =
      CreateWindowExA(WS_EX_TOOLWINDOW, "MonitorsHost", "Channel list", WS_POPUP | WS_VISIBLE, 1080,
                      100, 1180, 550, host, nullptr, instance, nullptr);
  Pump(300);
  const RECT v = WindowRectOf(video);
  // The probe's points on both monitors: the centres, then each grid of 200 pixels.
  bool probe_sees_video = false;
  for (const RECT& m : {RECT{0, 0, 1024, 768}, kSecond}) {
    probe_sees_video |=
        WindowFromPoint(POINT{(m.left + m.right) / 2, (m.top + m.bottom) / 2}) == video;
    for (LONG y = m.top + 200; y < m.bottom; y += 200) {
      for (LONG x = m.left + 200; x < m.right; x += 200) {
        probe_sees_video |= WindowFromPoint(POINT{x, y}) == video;
      }
    }
  }
  Check(host != nullptr && video != nullptr && cover != nullptr && !probe_sees_video &&
            WindowFromPoint(POINT{1664, 655}) == video,
        "the host's window on the second monitor, its video window under no probe point but "
        "seen below the window that covers it");

  HMODULE dll = LoadLibraryA(dll_path.c_str());
  Check(dll != nullptr, "plug-in DLL loads", "%s: error %lu", dll_path.c_str(), GetLastError());
  if (dll == nullptr) {
    std::printf("%d passed, %d failed\n", g_passed, g_failed);
    return 1;
  }
  const auto on_start = Entry<OnStartFn>(dll, "On_Start");
  const auto on_exit = Entry<OnExitFn>(dll, "On_Exit");
  const auto on_channel = Entry<OnChannelChangeFn>(dll, "On_Channel_Change");
  const auto on_menu = Entry<OnMenuSelectFn>(dll, "On_Menu_Select");
  char hot_key[64] = "", api[64] = "";
  int res = 0;
  on_start(instance, host, FALSE, 7, hot_key, api, &res);
  TProgram82 chan = {};
  std::snprintf(reinterpret_cast<char*>(chan.bytes), 92, "%s", channel.c_str());
  on_channel(chan);                                     // held back: the start cycle
  Pump(static_cast<DWORD>(display_ms / 50 * 8 + 500));  // five ticks end it
  on_channel(chan);
  Pump(200);

  HWND osd = FindWindowA(nullptr, "Pelta");
  const RECT got = WindowRectOf(osd);
  const RECT area = follow != 0 ? v : kSecond;
  const int inset = Scale(30, want_dpi), height = Scale(60, want_dpi);
  const RECT want{area.left + inset, area.bottom - height - Scale(40, want_dpi), area.right - inset,
                  area.bottom - Scale(40, want_dpi)};
  Check(osd != nullptr && IsWindowVisible(osd) && EqualRect(&got, &want),
        follow != 0 ? "strip along the bottom of the covered video window on the second monitor"
                    : "strip along the bottom of the host's monitor, the second",
        "got %ld,%ld-%ld,%ld want %ld,%ld-%ld,%ld", got.left, got.top, got.right, got.bottom,
        want.left, want.top, want.right, want.bottom);
  // The level indicator: 26 x 18 layout pixels.
  RECT level{};
  HWND lamp = osd != nullptr ? GetDlgItem(osd, 15) : nullptr;
  if (lamp != nullptr) GetClientRect(lamp, &level);
  // Its width depends on how its scaled edges round: one pixel either way.
  const int width_off = static_cast<int>(level.right) - Scale(26, want_dpi);
  Check(
      width_off >= -1 && width_off <= 1 && level.bottom == Scale(21, want_dpi) - Scale(3, want_dpi),
      "the strip's controls drawn at the monitor's DPI", "level indicator %ldx%ld at %d DPI",
      level.right, level.bottom, want_dpi);

  if (follow == 0) {
    SetTimer(nullptr, 0, 500, &AboutTimer);
    on_menu(kMenuAbout);  // returns when the timer has pressed OK
    const RECT want_about{kSecond.left + Scale(400, want_dpi), kSecond.top + Scale(50, want_dpi),
                          kSecond.left + Scale(400, want_dpi) + Scale(300, want_dpi),
                          kSecond.top + Scale(50, want_dpi) + Scale(330, want_dpi)};
    Check(EqualRect(&g_about, &want_about), "the About box opens on the host's monitor, scaled",
          "got %ld,%ld-%ld,%ld want %ld,%ld-%ld,%ld", g_about.left, g_about.top, g_about.right,
          g_about.bottom, want_about.left, want_about.top, want_about.right, want_about.bottom);
  }

  on_exit(instance, host, FALSE);
  FreeLibrary(dll);
  DestroyWindow(cover);
  DestroyWindow(host);
  std::printf("%d passed, %d failed\n", g_passed, g_failed);
  std::fflush(stdout);
  return g_failed == 0 ? 0 : 1;
}
