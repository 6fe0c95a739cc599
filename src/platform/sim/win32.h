// Win32 names for the simulated desktop (Linux builds only).
//
// Same names, parameter orders and constant values as <windows.h>, so the core compiles
// unchanged against either. Only what the plug-in calls is here. The behaviour behind each
// function is the simulated desktop's (sim.cpp); see sim.h for how tests arrange it.
#pragma once

#include <cstdint>

#define WINAPI
#define CALLBACK
#define APIENTRY

typedef int BOOL;
typedef unsigned char BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef int16_t SHORT;
typedef unsigned int UINT;
typedef uintptr_t UINT_PTR;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t DWORD_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef DWORD COLORREF;
typedef UINT MMRESULT;
typedef void* LPVOID;
typedef const char* LPCSTR;
typedef char* LPSTR;

struct HWND__;
typedef HWND__* HWND;
struct HINSTANCE__;
typedef HINSTANCE__* HINSTANCE;
struct HMONITOR__;
typedef HMONITOR__* HMONITOR;
struct HDC__;
typedef HDC__* HDC;
typedef HINSTANCE HMODULE;
typedef intptr_t(WINAPI* FARPROC)();

struct RECT {
  LONG left, top, right, bottom;
};
struct POINT {
  LONG x, y;
};

struct MONITORINFO {
  DWORD cbSize;
  RECT rcMonitor;
  RECT rcWork;
  DWORD dwFlags;
};

typedef BOOL(CALLBACK* WNDENUMPROC)(HWND, LPARAM);
typedef BOOL(CALLBACK* MONITORENUMPROC)(HMONITOR, HDC, RECT*, LPARAM);
typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef void(CALLBACK* LPTIMECALLBACK)(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);

#define TRUE 1
#define FALSE 0
#define WM_USER 0x0400
#define WM_GETTEXT 0x000D
#define HWND_TOPMOST (reinterpret_cast<HWND>(static_cast<intptr_t>(-1)))
#define HWND_TOP (static_cast<HWND>(nullptr))
#define SWP_NOSIZE 0x0001
#define SWP_NOMOVE 0x0002
#define SWP_NOZORDER 0x0004
#define SWP_NOACTIVATE 0x0010
#define SWP_SHOWWINDOW 0x0040
#define SWP_HIDEWINDOW 0x0080
#define GWL_STYLE (-16)
#define GWL_EXSTYLE (-20)
#define WS_EX_TOPMOST 0x00000008L
#define WS_EX_LAYERED 0x00080000L
#define LWA_COLORKEY 0x00000001
#define LWA_ALPHA 0x00000002
#define MB_OK 0x00000000L
#define MB_ICONERROR 0x00000010L
#define KEYEVENTF_EXTENDEDKEY 0x0001
#define KEYEVENTF_KEYUP 0x0002
#define TIME_ONESHOT 0x0000
#define TIME_PERIODIC 0x0001
#define TIMERR_NOERROR 0
#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3
#define GA_ROOT 2
#define MONITOR_DEFAULTTONULL 0x00000000
#define MONITOR_DEFAULTTOPRIMARY 0x00000001
#define MONITOR_DEFAULTTONEAREST 0x00000002
#define MONITORINFOF_PRIMARY 0x00000001
#define LOGPIXELSY 90
#define MOVEFILE_REPLACE_EXISTING 0x00000001
#define MOVEFILE_WRITE_THROUGH 0x00000008

LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
HWND FindWindowA(LPCSTR class_name, LPCSTR window_name);
LONG GetWindowLongA(HWND hwnd, int index);
LONG SetWindowLongA(HWND hwnd, int index, LONG value);
BOOL SetWindowPos(HWND hwnd, HWND insert_after, int x, int y, int cx, int cy, UINT flags);
BOOL EnumWindows(WNDENUMPROC proc, LPARAM lparam);
// Every descendant of `parent`, depth first: each child (top of the z-order first), then its own
// descendants. FALSE for a stale parent or when the callback stopped the enumeration.
BOOL EnumChildWindows(HWND parent, WNDENUMPROC proc, LPARAM lparam);
// The process of the window's top-level ancestor (sim::SetProcess; 0 for a stale handle); the
// thread id returned is the process id as well (one UI thread per process).
DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* process_id);
// The window and all its ancestors are visible.
BOOL IsWindowVisible(HWND hwnd);
int GetWindowTextA(HWND hwnd, LPSTR buffer, int max_count);
HWND WindowFromPoint(POINT point);
// GA_ROOT: the top-level window that holds `hwnd` (itself when top-level); null when stale.
HWND GetAncestor(HWND hwnd, UINT flags);
BOOL GetWindowRect(HWND hwnd, RECT* rect);
SHORT GetAsyncKeyState(int vkey);
void keybd_event(BYTE vk, BYTE scan, DWORD flags, ULONG_PTR extra_info);
HWND SetFocus(HWND hwnd);
BOOL SetForegroundWindow(HWND hwnd);
BOOL SetCursorPos(int x, int y);
HMODULE GetModuleHandleA(LPCSTR module_name);
FARPROC GetProcAddress(HMODULE module, LPCSTR proc_name);
MMRESULT timeSetEvent(UINT delay_ms, UINT resolution_ms, LPTIMECALLBACK callback, DWORD_PTR user,
                      UINT event_type);
MMRESULT timeKillEvent(UINT timer_id);

// Monitors (platform/sim/monitors_sim.cpp): as sim::SetMonitors arranged them. Rectangles in
// the coordinates of the process (the simulated desktop does not virtualise them for a
// DPI-unaware process: a test gives what such a process would see).
HMONITOR MonitorFromPoint(POINT point, DWORD flags);
HMONITOR MonitorFromRect(const RECT* rect, DWORD flags);
HMONITOR MonitorFromWindow(HWND hwnd, DWORD flags);
BOOL GetMonitorInfoA(HMONITOR monitor, MONITORINFO* info);
// `dc` and `clip` must be null (the whole virtual screen); monitors in the order given.
BOOL EnumDisplayMonitors(HDC dc, const RECT* clip, MONITORENUMPROC proc, LPARAM lparam);
// The screen's device context (hwnd null) and LOGPIXELSY: 96 for a DPI-unaware process, the
// system DPI (the primary monitor's) for an aware one.
HDC GetDC(HWND hwnd);
int ReleaseDC(HWND hwnd, HDC dc);
int GetDeviceCaps(HDC dc, int index);

struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};
// 100-nanosecond intervals since 1601-01-01 UTC, as two 32-bit halves.
struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};
// The machine's clock in UTC: the simulated desktop's fixed instant (sim::SetNow), else the
// real clock.
void GetSystemTimeAsFileTime(FILETIME* now);
struct TIME_ZONE_INFORMATION;
// A UTC date and time in the local time of the simulated machine's zone (sim::SetTimeZone;
// UTC until a test sets one); `zone` must be null, the current zone. FALSE for a date out of
// range (years 1601 to 30827, as on Windows) or fields out of range.
BOOL SystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION* zone, const SYSTEMTIME* utc,
                                     SYSTEMTIME* local);

// Files by Windows path (mapped as sim::MapPath does). MoveFileExA replaces an existing file
// only with MOVEFILE_REPLACE_EXISTING; both return FALSE on failure.
BOOL MoveFileExA(LPCSTR existing, LPCSTR replacement, DWORD flags);
BOOL DeleteFileA(LPCSTR path);
