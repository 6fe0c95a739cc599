// The test host's hostile checks (hostile_checks.h).
//
// Every wait counts the plug-in's display ticks, not milliseconds, so the checks hold on an
// emulated machine 10 to 20 times slower: a WH_GETMESSAGE hook on this thread counts the tick
// messages that any loop takes from the queue, the plug-in's own dialog loops included. What
// must happen inside a dialog's event loop runs from thread timers (SetTimer with a callback),
// which whatever loop runs then dispatches. The plug-in's windows are found by their window class
// and caption, so another program's window with the same caption is never taken for them.
#include "hostile_checks.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

namespace hostile {
namespace {

// The plug-in's display tick, posted to its hidden "PeltaTickWindow" on the loading thread.
constexpr UINT kTickMessage = WM_APP + 0x50;
constexpr UINT kOpenSettings = WM_APP + 0x60;  // to this file's window: the Settings menu item
constexpr UINT kMenuSettings = 44454;
constexpr UINT kMenuGuide = 44456;
constexpr int kHideTicks = 51;  // the strip hides in the tick that counts past 50
constexpr int kHourOffsetField = 3;
constexpr int kStartKeyField = 15;
constexpr char kBoxCaption[] = "Pelta settings";  // the caption of the Settings dialog's boxes

struct Record {  // the host's channel record (868 bytes): name, frequency, polarisation
  unsigned char bytes[868];
};
typedef void (*OnChannelChangeFn)(Record);
typedef void (*OnMenuSelectFn)(UINT);

const Host* g_host = nullptr;
OnChannelChangeFn g_on_channel = nullptr;
OnMenuSelectFn g_on_menu = nullptr;
HHOOK g_hook = nullptr;
HWND g_window = nullptr;           // receives kOpenSettings
int g_ticks = 0;                   // display ticks taken from the queue by any loop of this thread
bool g_open_by_host_loop = false;  // this file's pump dispatched kOpenSettings itself
bool g_opened_in_tick = false;
bool g_quit_seen = false;  // a WM_QUIT reached this file's pump

std::vector<std::pair<UINT_PTR, std::function<void()>>> g_after;

LRESULT CALLBACK CountTicks(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HC_ACTION && wparam == PM_REMOVE &&
      reinterpret_cast<const MSG*>(lparam)->message == kTickMessage) {
    ++g_ticks;
  }
  return CallNextHookEx(g_hook, code, wparam, lparam);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kOpenSettings) {
    // Not dispatched by this file's pump: by a loop inside the plug-in, the tick's.
    g_opened_in_tick = !g_open_by_host_loop;
    g_on_menu(kMenuSettings);
    return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

void CALLBACK AfterProc(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  for (size_t i = 0; i < g_after.size(); ++i) {
    if (g_after[i].first != id) continue;
    std::function<void()> action = std::move(g_after[i].second);
    g_after.erase(g_after.begin() + static_cast<std::ptrdiff_t>(i));
    action();
    return;
  }
}

// Runs `action` `ms` from now inside whatever message loop of this thread runs then.
void After(UINT ms, std::function<void()> action) {
  const UINT_PTR id = SetTimer(nullptr, 0, ms, &AfterProc);
  if (id != 0) g_after.emplace_back(id, std::move(action));
}

// Every pending action dropped: each check ends with this, so that none of its actions (which
// refer to the check's own state) runs in a later check's loop.
void CancelPending() {
  for (const auto& pending : g_after) KillTimer(nullptr, pending.first);
  g_after.clear();
}

// How long a wait for the strip goes on when no tick comes at all (the fault some checks look
// for): more than three display times, however slow the machine.
DWORD NoTickLimitMs() {
  return static_cast<DWORD>(g_host->display_ms * 3 * g_host->slow + 3000);
}

// Looks at `done` every 20 ms inside whatever loop runs, then calls `then` with the result: true
// when `done` held, false when `limit_ticks` display ticks, or NoTickLimitMs(), went by first.
void PollUntil(std::function<bool()> done, int until_tick, DWORD until_ms,
               std::function<void(bool)> then) {
  After(20, [done, until_tick, until_ms, then] {
    if (done()) {
      then(true);
    } else if (g_ticks >= until_tick || static_cast<LONG>(GetTickCount() - until_ms) >= 0) {
      then(false);
    } else {
      PollUntil(done, until_tick, until_ms, then);
    }
  });
}

void Poll(std::function<bool()> done, int limit_ticks, std::function<void(bool)> then) {
  PollUntil(std::move(done), g_ticks + limit_ticks, GetTickCount() + NoTickLimitMs(),
            std::move(then));
}

void Check(bool ok, const char* name) {
  g_host->check(ok, name, nullptr);
}

void Pump(DWORD ms) {
  const DWORD start = GetTickCount();
  for (;;) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        g_quit_seen = true;
        continue;
      }
      if (message.message == kOpenSettings) g_open_by_host_loop = true;
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= ms) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

// Pumps until `done` or `ticks` display ticks have gone by (or, should no tick come at all, a
// generous time); true when `done` held.
bool WaitTicks(const std::function<bool()>& done, int ticks) {
  const int until = g_ticks + ticks;
  const DWORD start = GetTickCount();
  while (!done()) {
    if (g_ticks >= until || GetTickCount() - start >= NoTickLimitMs()) return false;
    Pump(10);
  }
  return true;
}

// The plug-in's panel window with this caption (not another program's).
HWND Panel(const char* caption) {
  return FindWindowExA(nullptr, nullptr, "PeltaPanel", caption);
}

bool Shown(const char* caption) {
  HWND window = Panel(caption);
  return window != nullptr && IsWindowVisible(window);
}

void ChangeChannel() {
  Record chan = {};
  std::snprintf(reinterpret_cast<char*>(chan.bytes), 92, "%s", g_host->channel.c_str());
  const uint32_t frequency = 11953000;
  for (int i = 0; i < 4; ++i) chan.bytes[92 + i] = static_cast<unsigned char>(frequency >> 8 * i);
  chan.bytes[97] = 1;  // vertical
  g_on_channel(chan);
}

void WaitStripHidden() {
  WaitTicks([] { return !Shown("Pelta"); }, 3 * kHideTicks);
}

std::string Slurp(const std::string& path) {
  std::string text;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return "<none>";
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
  std::fclose(f);
  return text;
}

// Closes the Settings dialog without saving, should a check have left it open; after the polls'
// limit, so that they end inside the dialog.
void CloseSettingsLater(UINT ms = NoTickLimitMs() + 3000 * g_host->slow) {
  After(ms, [] {
    HWND settings = Panel("Settings");
    if (settings != nullptr && IsWindowVisible(settings)) PostMessageA(settings, WM_CLOSE, 0, 0);
  });
}

std::string RectText(const RECT& r) {
  char text[64];
  std::snprintf(text, sizeof text, "%ld,%ld-%ld,%ld", r.left, r.top, r.right, r.bottom);
  return text;
}

// --- the checks -------------------------------------------------------------------------------

// Another program's topmost windows captioned "Pelta", "EPG" and "Settings" at 600,300 300x200:
// the channel change and the menu items place the plug-in's own windows and leave them alone.
void ForeignWindowsWithThePluginsCaptions() {
  *g_host->step = "foreign windows captioned Pelta, EPG, Settings";
  WNDCLASSA foreign_class = {};
  foreign_class.lpfnWndProc = &DefWindowProcA;
  foreign_class.hInstance = GetModuleHandleA(nullptr);
  foreign_class.lpszClassName = "HostileForeign";
  RegisterClassA(&foreign_class);
  const RECT where{600, 300, 900, 500};
  const char* const captions[] = {"Pelta", "EPG", "Settings"};
  HWND foreign[3] = {};
  for (int i = 0; i < 3; ++i) {
    foreign[i] =
        CreateWindowExA(WS_EX_TOPMOST, "HostileForeign", captions[i], WS_POPUP | WS_VISIBLE,
                        where.left, where.top, where.right - where.left, where.bottom - where.top,
                        nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  }
  auto untouched = [&](int i) {
    RECT r{};
    GetWindowRect(foreign[i], &r);
    const LONG ex = GetWindowLongA(foreign[i], GWL_EXSTYLE);
    return EqualRect(&r, &where) && (ex & WS_EX_LAYERED) == 0;
  };
  Pump(100);

  ChangeChannel();
  HWND strip = Panel("Pelta");
  HWND video = FindWindowExA(g_host->main, nullptr, "TestHostVideo", nullptr);
  RECT strip_rect{}, video_rect{};
  GetWindowRect(strip, &strip_rect);
  GetWindowRect(video, &video_rect);
  Check(foreign[0] != nullptr && untouched(0) &&
            (GetWindowLongA(strip, GWL_EXSTYLE) & WS_EX_LAYERED) != 0,
        "another program's window captioned \"Pelta\" is left alone by the channel change");
  g_host->check(IsWindowVisible(strip) && strip_rect.left == video_rect.left + 30 &&
                    strip_rect.bottom == video_rect.bottom - 40,
                "the strip itself is placed along the video window", "strip %s, video %s",
                RectText(strip_rect).c_str(), RectText(video_rect).c_str());

  const RECT dialog_at{50, 50, 0, 0};
  for (const UINT menu : {kMenuGuide, kMenuSettings}) {
    const int i = menu == kMenuGuide ? 1 : 2;
    bool own_placed = false;
    bool left_alone = false;
    RECT other{};
    After(300, [&, i] {
      GetWindowRect(foreign[i], &other);
      HWND own = Panel(captions[i]);
      RECT r{};
      GetWindowRect(own, &r);
      own_placed = IsWindowVisible(own) && r.left == dialog_at.left && r.top == dialog_at.top &&
                   (GetWindowLongA(own, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
      left_alone = untouched(i);
      PostMessageA(own, WM_CLOSE, 0, 0);
    });
    g_on_menu(menu);
    CancelPending();
    char name[128];
    std::snprintf(name, sizeof name,
                  "the %s menu item places its own window and leaves another program's \"%s\" "
                  "alone",
                  captions[i], captions[i]);
    g_host->check(own_placed && left_alone, name, "own placed %d, other left alone %d (%s%s)",
                  own_placed, left_alone, RectText(other).c_str(),
                  IsWindow(foreign[i]) ? "" : ", destroyed");
  }
  for (HWND w : foreign) DestroyWindow(w);
  WaitStripHidden();
}

// Settings opened by a host menu command that a display tick's event processing dispatched (the
// host was busy as the tick fell due, then posted the command): the ticks go on while the dialog
// is up, and the strip hides on time.
void TicksInADialogOpenedInsideATick() {
  *g_host->step = "Settings opened inside a tick";
  ChangeChannel();
  const int from = g_ticks;
  // The host is busy until a tick waits in the queue; the command is posted behind it.
  const DWORD start = GetTickCount();
  MSG peek;
  while (!PeekMessageA(&peek, nullptr, kTickMessage, kTickMessage, PM_NOREMOVE) &&
         GetTickCount() - start < static_cast<DWORD>(5000 * g_host->slow)) {
    Sleep(10);
  }
  g_open_by_host_loop = false;
  g_opened_in_tick = false;
  bool hidden = false;
  int ticks_to_hide = -1;
  After(200, [&] {
    Poll([] { return !Shown("Pelta"); }, 3 * kHideTicks,
         [&](bool done) {
           hidden = done;
           ticks_to_hide = g_ticks - from;
           PostMessageA(Panel("Settings"), WM_CLOSE, 0, 0);
         });
  });
  CloseSettingsLater();
  PostMessageA(g_window, kOpenSettings, 0, 0);
  WaitTicks([] { return g_opened_in_tick || g_open_by_host_loop; }, 2 * kHideTicks);
  Pump(100);
  CancelPending();
  Check(g_opened_in_tick, "a host menu command dispatched inside a display tick opens Settings");
  g_host->check(hidden && ticks_to_hide >= kHideTicks,
                "the ticks go on in that dialog: the strip hides on time while it is up",
                "hidden %d, %d ticks after the channel change", hidden, ticks_to_hide);
  Check(!Shown("Settings"), "that Settings dialog closes");
  WaitStripHidden();
}

// A channel change while the user types in Settings, then the strip hiding: the focus stays in
// the dialog, so Esc closes it.
void FocusStaysInSettings() {
  *g_host->step = "focus in Settings";
  bool after_change = false;
  bool after_hide = false;
  bool hid = false;
  int focus_id = -1;
  After(300, [&] {
    HWND settings = Panel("Settings");
    ChangeChannel();
    after_change = IsChild(settings, GetFocus()) != FALSE;
    SetFocus(GetDlgItem(settings, kStartKeyField));  // the user clicks into a field
    Poll([] { return !Shown("Pelta"); }, 3 * kHideTicks,
         [&, settings](bool done) {
           hid = done;
           focus_id = GetDlgCtrlID(GetFocus());
           after_hide = IsChild(settings, GetFocus()) != FALSE;
           PostMessageA(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 1);  // Esc, to the window with the focus
         });
  });
  const std::string before = Slurp(g_host->ini);
  bool closed_late = false;
  After(NoTickLimitMs() + 3000 * g_host->slow, [&] {
    HWND settings = Panel("Settings");
    if (settings == nullptr || !IsWindowVisible(settings)) return;
    closed_late = true;
    PostMessageA(settings, WM_CLOSE, 0, 0);
  });
  g_on_menu(kMenuSettings);
  CancelPending();
  Check(after_change, "a channel change leaves the focus in the open Settings dialog");
  g_host->check(hid && after_hide, "the strip hiding leaves it in the field the user clicked into",
                "hidden %d, focus on control %d", hid, focus_id);
  Check(!closed_late && !Shown("Settings") && Slurp(g_host->ini) == before,
        "Esc then closes the dialog without saving");
}

HWND g_boxes[8];
int g_box_count = 0;

BOOL CALLBACK CollectBox(HWND window, LPARAM) {
  char class_name[16] = "";
  char caption[64] = "";
  GetClassNameA(window, class_name, sizeof class_name);
  GetWindowTextA(window, caption, sizeof caption);
  if (std::strcmp(class_name, "#32770") == 0 && std::strcmp(caption, kBoxCaption) == 0 &&
      IsWindowVisible(window) && g_box_count < 8) {
    g_boxes[g_box_count++] = window;
  }
  return TRUE;
}

int CountBoxes() {
  g_box_count = 0;
  EnumWindows(&CollectBox, 0);
  return g_box_count;
}

// Whether `window` lies above `other` in the z-order.
bool Above(HWND window, HWND other) {
  for (HWND w = GetWindow(window, GW_HWNDNEXT); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
    if (w == other) return true;
  }
  return false;
}

// An hour offset of 99 and Save, twice: one box, owned by the dialog (above it although the
// dialog is topmost, the dialog disabled meanwhile); the file stays as it was.
void RefusedSaveTwice() {
  *g_host->step = "refused Save twice";
  const std::string before = Slurp(g_host->ini);
  bool owned = false;
  bool above = false;
  bool disabled = false;
  int first_boxes = 0;
  int second_boxes = 0;
  After(300, [&] {
    HWND settings = Panel("Settings");
    HWND save = FindWindowExA(settings, nullptr, "Button", "Save");
    SetWindowTextA(GetDlgItem(settings, kHourOffsetField), "99");
    After(static_cast<UINT>(300 * g_host->slow), [&, settings, save] {
      first_boxes = CountBoxes();
      HWND box = first_boxes > 0 ? g_boxes[0] : nullptr;
      owned = box != nullptr && GetWindow(box, GW_OWNER) == settings;
      above = box != nullptr && Above(box, settings);
      disabled = !IsWindowEnabled(settings);
      After(static_cast<UINT>(300 * g_host->slow), [&] {
        second_boxes = CountBoxes();
        // Answer every box, then close the dialog without saving.
        for (int i = 0; i < second_boxes; ++i) PostMessageA(g_boxes[i], WM_COMMAND, IDOK, 0);
        CloseSettingsLater(static_cast<UINT>(300 * g_host->slow));
      });
      SendMessageA(save, BM_CLICK, 0, 0);  // the second Save, while the box is up
    });
    SendMessageA(save, BM_CLICK, 0, 0);  // returns once the box is answered
  });
  CloseSettingsLater();
  g_on_menu(kMenuSettings);
  CancelPending();
  g_host->check(first_boxes == 1 && owned && above && disabled,
                "the box of a refused Save is owned by the dialog: above it, the dialog disabled",
                "%d boxes, owned %d, above %d, dialog disabled %d", first_boxes, owned, above,
                disabled);
  g_host->check(second_boxes == 1, "a second Save while the box is up opens no second box",
                "%d boxes", second_boxes);
  Check(!Shown("Settings") && CountBoxes() == 0 && Slurp(g_host->ini) == before,
        "the dialog then closes without saving, no box left");
}

// WM_QUIT in the Settings dialog's loop (the host is closing): the menu call returns, the dialog
// is hidden, and the WM_QUIT goes on to the host's own loop.
void QuitInSettings() {
  *g_host->step = "WM_QUIT in Settings";
  bool shown = false;
  After(300, [&] {
    shown = Shown("Settings");
    PostQuitMessage(0);
  });
  CloseSettingsLater();
  g_quit_seen = false;
  g_on_menu(kMenuSettings);
  CancelPending();
  const bool hidden = !Shown("Settings");
  Pump(100);
  g_host->check(shown && hidden, "WM_QUIT ends the Settings dialog's loop and hides the dialog",
                "shown %d, hidden after %d", shown, hidden);
  Check(g_quit_seen, "the WM_QUIT goes on to the host's loop");
}

}  // namespace

void Run(const Host& host) {
  g_host = &host;
  g_on_channel = reinterpret_cast<OnChannelChangeFn>(
      reinterpret_cast<void*>(GetProcAddress(host.dll, "On_Channel_Change")));
  g_on_menu = reinterpret_cast<OnMenuSelectFn>(
      reinterpret_cast<void*>(GetProcAddress(host.dll, "On_Menu_Select")));
  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = &WindowProc;
  window_class.hInstance = GetModuleHandleA(nullptr);
  window_class.lpszClassName = "HostileChecks";
  RegisterClassA(&window_class);
  g_window = CreateWindowExA(0, "HostileChecks", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
  g_hook = SetWindowsHookExA(WH_GETMESSAGE, &CountTicks, nullptr, GetCurrentThreadId());
  Check(g_on_channel != nullptr && g_on_menu != nullptr && g_window != nullptr && g_hook != nullptr,
        "hostile checks set up");
  if (g_on_channel == nullptr || g_on_menu == nullptr || g_window == nullptr || g_hook == nullptr) {
    return;
  }
  WaitStripHidden();
  ForeignWindowsWithThePluginsCaptions();
  TicksInADialogOpenedInsideATick();
  FocusStaysInSettings();
  RefusedSaveTwice();
  QuitInSettings();
  UnhookWindowsHookEx(g_hook);
  DestroyWindow(g_window);
}

}  // namespace hostile
