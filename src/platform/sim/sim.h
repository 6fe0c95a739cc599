// The simulated desktop: what tests and pelta-tool arrange and observe.
//
// A fixed-size model of what the plug-in sees of Windows: top-level and child windows with
// titles, rectangles, visibility, z-order, extended styles and layered attributes; a screen;
// asynchronous key states; focus, foreground and cursor; a manual multimedia timer; message
// boxes; the module folder; a fixed clock. Every call the plug-in makes that changes something
// is recorded in a bounded log. All storage is static: nothing here allocates after Reset(),
// so tests can prove the plug-in's hot paths allocation-free. Thread-safe (one internal mutex,
// never held while calling back into a window procedure, an enumeration callback or the timer).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/sim/win32.h"

namespace sim {

constexpr int kMaxWindows = 1024;
constexpr int kMaxLog = 256;    // entries kept per log; later ones are counted, not kept
constexpr int kTitleMax = 256;  // bytes of a title, NUL included

// Back to an empty desktop: no windows, one 1920x1080 monitor at 96 DPI, a DPI-unaware
// process, no keys, no timer, empty logs, real clock, module folder ".", dump path
// "C:\Pelta_EIT.dbg" unmapped, lookups succeed (the DPI functions of Windows 10 included).
void Reset();

// ---- windows ----
// Creates a visible window at the top of its siblings' z-order. `parent` null: top-level.
// Child rectangles are in screen coordinates (as GetWindowRect reports them).
HWND CreateWindow(const char* title, RECT rect, HWND parent = nullptr, WNDPROC proc = nullptr);
void DestroyWindow(HWND hwnd);  // and its children; the handle becomes stale (never reused)
bool IsWindow(HWND hwnd);
void ShowWindow(HWND hwnd, bool visible);
void SetTitle(HWND hwnd, const char* title);
void SetRect(HWND hwnd, RECT rect);
void BringToTop(HWND hwnd);  // top of its siblings' z-order
// The process a window belongs to, for GetWindowThreadProcessId. Every window starts in
// kHostProcess, the process the plug-in runs in (the host's); a child always counts as its
// top-level window's. Windows of other programs are given another number.
constexpr DWORD kHostProcess = 1;
void SetProcess(HWND top_level, DWORD process);

struct WindowInfo {
  char title[kTitleMax];
  RECT rect;
  HWND parent;
  bool visible;
  bool topmost;
  LONG exstyle;
  bool layered_attrs_set;  // SetLayeredWindowAttributes was called for it
  COLORREF color_key;
  BYTE alpha;
  DWORD layered_flags;
  DWORD process;  // as SetProcess gave it (top-level windows; kHostProcess by default)
};
bool GetInfo(HWND hwnd, WindowInfo* out);

// ---- text ----
// The ANSI code page AnsiToUtf8 reads: 1252 (the default, and what Reset returns to) or 65001
// (UTF-8); any other number gives 1252.
void SetAnsiCodePage(int code_page);

// ---- monitors, DPI (monitors_sim.cpp) ----
constexpr int kMaxMonitors = 8;
struct Monitor {
  RECT rect;
  int dpi;  // what Windows reports for it to a per-monitor aware process
  bool primary;
};
// Replaces the monitors, listed (EnumDisplayMonitors) in this order. False, and nothing
// changed, for a count outside 1..kMaxMonitors, an empty rectangle, a DPI outside 48..960 or
// not exactly one primary monitor, or a primary whose top-left corner is not 0,0 (Windows puts
// the origin of the screen there).
bool SetMonitors(const Monitor* monitors, int count);
int MonitorCount();
bool MonitorAt(int index, Monitor* out);
// One monitor of width x height at 0,0, 96 DPI: the screen of a one-monitor machine.
void SetScreenSize(int width, int height);
int ScreenWidth();  // the primary monitor's size, as GetSystemMetrics(SM_CXSCREEN) gives it
int ScreenHeight();
// The DPI awareness of the process (the host's, which the plug-in's thread shares): what
// GetThreadDpiAwarenessContext reports and which DPI the DPI functions give. Unaware (the
// default): 96 everywhere; system aware: the primary monitor's DPI everywhere; per monitor:
// each monitor's own.
enum { kDpiUnaware = 0, kDpiSystemAware = 1, kDpiPerMonitorAware = 2 };
void SetDpiAwareness(int awareness);
int DpiAwareness();
// Which of the newer DPI functions this Windows has, for GetProcAddress (and GetModuleHandleA of
// shcore.dll): all of them by default, as on Windows 10 1607 and later.
enum {
  kDpiAwarenessFunctions = 1,  // user32 GetThreadDpiAwarenessContext and
                               // GetAwarenessFromDpiAwarenessContext
  kDpiForWindowFunction = 2,   // user32 GetDpiForWindow
  kDpiForMonitorFunction = 4,  // shcore GetDpiForMonitor, shcore.dll loaded in the process
  kAllDpiFunctions = 7,
};
void SetDpiFunctions(int mask);

// ---- keys, cursor, focus ----
// SetWindowPos of a shown top-level window without SWP_NOACTIVATE activates it (foreground and
// focus), as on Windows.
// A press and release between two polls: the next GetAsyncKeyState of vk returns 1 (pressed
// since the last query, not down now); the one after returns 0.
void PressKey(int vk);
// Held down: GetAsyncKeyState returns a negative value (top bit set), plus 1 once if pressed
// since the last query.
void HoldKey(int vk, bool down);
// keybd_event only logs (KeyEventAt); it changes no key state.
POINT CursorPos();  // as last given to SetCursorPos, not clamped to the screen
HWND FocusWindow();
HWND ForegroundWindow();
// The user (or the window manager) activates a window: it becomes the foreground window and
// takes the focus. Not logged: the plug-in made no call.
void Activate(HWND hwnd);

// ---- logs (bounded; see kMaxLog) ----
struct MessageBoxEntry {
  HWND owner;
  char text[256];
  char caption[64];
  UINT type;
};
struct SetWindowPosEntry {
  HWND hwnd;
  HWND insert_after;
  int x, y, cx, cy;
  UINT flags;
};
struct KeyEventEntry {
  BYTE vk;
  BYTE scan;
  DWORD flags;
  ULONG_PTR extra;
};
struct MessageEntry {  // every SendMessageA, whatever the target
  HWND hwnd;
  UINT msg;
  WPARAM wparam;
  LPARAM lparam;
};
enum class Call {
  SetFocus,
  SetForeground,
  SetCursor,
  SetWindowPos,
  KeyEvent,
  SendMessage,
  MessageBox
};
struct CallEntry {  // the order of the plug-in's side effects, for tests of step order
  Call call;
  HWND hwnd;  // SetFocus/SetForeground/SetWindowPos/SendMessage target, MessageBox owner
  int x, y;   // SetCursor, SetWindowPos: x, y; KeyEvent: vk, flags; SendMessage: msg, 0
};
// What the user does while a message box is up: `fn(data)` runs inside every MessageBoxA, as
// the events its modal loop dispatches (null: nothing). Reset clears it.
void WhileMessageBox(void (*fn)(void*), void* data);
int MessageBoxCount();
const MessageBoxEntry* MessageBoxAt(int i);
int SetWindowPosCount();
const SetWindowPosEntry* SetWindowPosAt(int i);
int KeyEventCount();
const KeyEventEntry* KeyEventAt(int i);
int MessageCount();
const MessageEntry* MessageAt(int i);
int CallCount();
const CallEntry* CallAt(int i);
// Entries not kept because their log was full (all logs together), since Reset or ClearLogs.
// A full log keeps its first kMaxLog entries; its Count stays at kMaxLog.
int DroppedLogEntries();
void ClearLogs();  // empties every log and the dropped count; earlier *At pointers go stale

// ---- lookups ----
// Makes GetProcAddress(user32, "SetLayeredWindowAttributes") fail (an old Windows).
void FailLayeredLookup(bool fail);
// WindowFromPoint calls since Reset (bench, tests).
int PointLookupCount();

// ---- multimedia timer (manual) ----
// timeSetEvent records the timer; nothing runs by itself. A period of 0 is refused (returns 0)
// as by winmm. FireTimer calls the callback `n` times on the calling thread.
bool TimerRunning();
UINT TimerPeriod();  // period and resolution of the last started timer (kept after a kill)
UINT TimerResolution();
int TimerStartCount();    // successful timeSetEvent calls since Reset
int TimerRefusedCount();  // refused ones
void FireTimer(int n = 1);

// ---- module folder, clock, files ----
// The folder that GetModuleDir reports for the plug-in's module (no trailing separator).
// A folder longer than the sim's 511-byte buffer is stored as "" (never a truncated path).
void SetModuleDir(const char* dir);
const char* ModuleDir();
// Fixes the local time of day that CVI_GetSystemTime reports; Reset returns to the real clock.
void SetClock(int hours, int minutes, int seconds);
void GetClock(int* hours, int* minutes, int* seconds);
// Fixes the machine's clock at `utc_seconds` after 1970-01-01 00:00 UTC: GetSystemTimeAsFileTime
// reports it, and the local time of day (GetClock, unless SetClock fixed that) is that instant
// in the simulated time zone (SetTimeZone). Reset returns to the real clock.
void SetNow(long long utc_seconds);
// Where the fixed Windows dump path "C:\Pelta_EIT.dbg" goes on Linux (empty: nowhere, the
// open fails as on a machine without a C: drive). Too long for 511 bytes: stored as empty.
void SetDumpPath(const char* path);
// A Windows-style path of the plug-in as a Linux path: "C:\Pelta_EIT.dbg" to the dump path,
// backslashes to slashes otherwise. Returns false (out = "" when out_size > 0) if it does not
// fit or the dump path is empty.
bool MapPath(const char* windows_path, char* out, size_t out_size);

// The simulated machine's time zone, used by SystemTimeToTzSpecificLocalTime: a POSIX TZ rule
// ("CET-1CEST,M3.5.0,M10.5.0/3", "<+0530>-5:30", "UTC0") or a zone name whose rule is the
// footer of its file under /usr/share/zoneinfo ("Europe/Berlin"). Null or empty: UTC. Returns
// false, leaving the zone as it was, for a rule it cannot read. Reset returns to UTC.
bool SetTimeZone(const char* zone);
void ResetTimeZone();

}  // namespace sim
