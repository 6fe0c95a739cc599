// testhost: a small DVB viewer stand-in that runs the plug-in DLL end to end (under Wine in CI).
//
// It behaves as a host of the recognised kind 102 does: a main window titled like that host
// ("ProgDVB 7" by default), a video child window captioned with the channel name, and a
// WM_USER handler for the three host commands (start filter: keep the callback from offset 40
// and write a running id behind it; stop filter; signal query: write a quality at offset 4). It
// loads the DLL with LoadLibrary, calls the entry points in a host's order, feeds EIT from a
// transport-stream file through the filter callback on a thread of its own, presses P and O
// with real key events, opens the three menu items, and checks with plain Win32 calls what the
// plug-in did: window rectangles, topmost and layered state, alpha, visibility over time, and
// the controls' texts (WM_GETTEXT). One line per check, then "N passed, M failed".
//
// The script runs on the main thread; every wait pumps messages, because the plug-in's windows
// and its display timer live on this (the loading) thread. A watchdog thread ends the process if
// the script hangs (e.g. a dialog loop that never returns).
#include <windows.h>
// After <windows.h>: the trackbar's messages (constants only; nothing is linked).
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "hostile_checks.h"

namespace {

// --- what crosses the boundary with the plug-in ---------------------------------------------

constexpr UINT kCmdStartFilter = 0x01020020;
constexpr UINT kCmdStopFilter = 0x01020021;
constexpr UINT kCmdSignalQuery = 0x01022001;
constexpr size_t kFilterCallbackOffset = 40;
constexpr size_t kFilterRunIdOffset = kFilterCallbackOffset + sizeof(void*);  // 48 on x86_64
constexpr int32_t kRunningId = 0x1234;
constexpr int32_t kQuality = 73;
constexpr int32_t kDllId = 7;
constexpr UINT kMenuSettings = 44454;
constexpr UINT kMenuAbout = 44455;
constexpr UINT kMenuGuide = 44456;
// The plug-in's display tick arrives as this message to its hidden "PeltaTickWindow" on the
// loading thread; counting them here gives the ticks the plug-in counted, however slow the
// machine (the test host itself posts no WM_APP messages).
constexpr UINT kTickMessage = WM_APP + 0x50;
constexpr int kHideTicks = 51;  // the tick that shows the lines counts from 0 again, and the
                                // display hides in the tick that counts past 50
constexpr int kKeyPTicks = 35;  // after the tick that saw P, the display stays 35 more ticks

struct TProgram82 {
  unsigned char bytes[868];
};

typedef void (*OnStartFn)(HINSTANCE, HWND, BOOL, int, char*, char*, int*);
typedef void (*OnExitFn)(HINSTANCE, HWND, BOOL);
typedef void (*OnChannelChangeFn)(TProgram82);
typedef void (*OnMenuSelectFn)(UINT);
typedef void (*OnHotKeyFn)();
typedef void (*OnFilterCloseFn)(UINT);
typedef void (*OnSendDllIdNameFn)(char*);
typedef void (*DataCallbackFn)(int, int, const unsigned char*);

// --- options --------------------------------------------------------------------------------

struct Options {
  std::string dll = "pelta64.dll";
  std::string title = "ProgDVB 7";
  std::string channel = "Pelta Test";
  std::string channel2 = "Second Channel";  // a channel without a logo file
  uint32_t frequency = 11953000;
  int polarisation = 1;  // vertical
  int service_id = 0x0101;
  int ca_code = 0;
  std::string ts;
  std::string expect_now;  // exact texts of display controls 10 and 11 once shown
  std::string expect_next;
  std::string expect_desc;       // guide text box
  std::string ts_later;          // fed once the strip has hidden: a programme change
  std::string expect_later_now;  // controls 10 and 11 when P shows the strip after the change
  std::string expect_later_next;
  int display_ms = 2000;     // pelta.ini line 1
  int height = 60;           // DisplayHeight of the ini's SizeMode
  int alpha = 180;           // pelta.ini Opacity
  int start_key = 0;         // pelta.ini StartKey (checked when above 32)
  std::string shot_request;  // written when the display shows the programme lines
  std::string shot_done;     // waited for (a screenshot was taken)
  int timeout_s = 150;
  std::string missing_uir_dll;  // a copy of the DLL in a folder without pelta.uir
  // A channel whose name the host sends in code page 1252 and whose EIT is in DVB character
  // tables (Czech ISO/IEC 6937, Chinese two-byte): its stream, service and the lines pelta-tool
  // reads from it (a file of UTF-8 "now: " and "next: " lines), and a screenshot of its strip.
  std::string ts_unicode;
  int unicode_sid = 0x0303;
  std::string expect_unicode;
  std::string unicode_shot_request;
  std::string unicode_shot_done;
  int slow = 1;  // factor for fixed waits on a slow (emulated) machine
};

Options g_options;

// --- results --------------------------------------------------------------------------------

int g_passed = 0;
int g_failed = 0;
std::atomic<const char*> g_step{"start"};
int g_ticks = 0;  // display ticks dispatched by Pump, main thread only

void Check(bool ok, const char* name, const char* detail_format = nullptr, ...) {
  if (ok) {
    std::printf("PASS: %s\n", name);
    ++g_passed;
  } else {
    char detail[512] = "";
    if (detail_format != nullptr) {
      va_list args;
      va_start(args, detail_format);
      std::vsnprintf(detail, sizeof detail, detail_format, args);
      va_end(args);
    }
    std::printf("FAIL: %s%s%s%s\n", name, detail[0] ? " (" : "", detail, detail[0] ? ")" : "");
    ++g_failed;
  }
  std::fflush(stdout);
}

void Note(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::printf("# ");
  std::vprintf(format, args);
  std::printf("\n");
  va_end(args);
  std::fflush(stdout);
}

// --- the host's state -----------------------------------------------------------------------

HWND g_main = nullptr;
HWND g_video = nullptr;

struct Command {
  UINT code;
  LPARAM param;
};
std::vector<Command> g_commands;  // main thread only
unsigned char g_filter_record[64];
size_t g_filter_pid = 0;

// The section filter: the callback and the feeding thread.
std::mutex g_feed_mutex;  // held while the callback runs; the stop command takes it
DataCallbackFn g_callback = nullptr;
bool g_feed_stop = false;
std::atomic<bool> g_feed_quit{false};
std::atomic<int> g_feed_calls{0};
std::atomic<int> g_calls_after_stop{0};
std::thread g_feeder;
std::vector<unsigned char> g_eit_payloads;    // 184-byte payloads of PID 0x12, back to back
std::vector<unsigned char> g_later_payloads;  // the carousel after the programme change
std::atomic<int> g_callback_stack_faults{0};

#if defined(__i386__)
// The data callback is cdecl: the caller removes the three arguments. A callback that removed
// them itself (stdcall) would leave the host's stack pointer 12 bytes off, which a real host
// does not survive for long. This calls the callback with a 16-byte aligned stack and returns
// how far the stack pointer moved (0 for cdecl).
extern "C" int CallDataCallback(DataCallbackFn fn, int filter, int size,
                                const unsigned char* data) __asm__("pelta_call_data_callback");
__asm__(
    ".text\n"
    "pelta_call_data_callback:\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    "  pushl %esi\n"
    "  andl $-16, %esp\n"
    "  subl $4, %esp\n"
    "  movl %esp, %esi\n"
    "  pushl 20(%ebp)\n"
    "  pushl 16(%ebp)\n"
    "  pushl 12(%ebp)\n"
    "  call *8(%ebp)\n"
    "  leal 12(%esp), %eax\n"
    "  subl %esi, %eax\n"
    "  leal -4(%ebp), %esp\n"
    "  popl %esi\n"
    "  popl %ebp\n"
    "  ret\n");
#endif

// Keys seen by a low-level hook: the plug-in's synthetic start key among them.
struct KeySeen {
  DWORD vk;
  bool down;
};
std::vector<KeySeen> g_keys;
HHOOK g_hook = nullptr;

// Scripted actions that run inside the plug-in's dialog loops (WM_TIMER of the main window).
// Several may be pending at once: one runs inside a dialog's loop, the next inside a modal
// dialog that the first one opened.
struct TimerAction {
  UINT_PTR id;
  std::function<void()> action;
};
std::vector<TimerAction> g_timer_actions;
UINT_PTR g_next_timer = 100;

LRESULT CALLBACK KeyboardHook(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HC_ACTION) {
    const auto* info = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lparam);
    g_keys.push_back({info->vkCode, wparam == WM_KEYDOWN || wparam == WM_SYSKEYDOWN});
  }
  return CallNextHookEx(g_hook, code, wparam, lparam);
}

void FeedLoop() {
  // Blocks of ten consecutive payloads, as a host's filter hands raw packets on, again and
  // again like the broadcast carousel, until the filter is stopped.
  constexpr size_t kBlock = 10 * 184;
  size_t offset = 0;
  while (!g_feed_quit.load()) {
    {
      std::lock_guard<std::mutex> lock(g_feed_mutex);
      if (g_feed_stop) break;
      if (offset >= g_eit_payloads.size()) offset = 0;  // the carousel was replaced
      if (g_callback != nullptr && !g_eit_payloads.empty()) {
        size_t n = g_eit_payloads.size() - offset;
        if (n > kBlock) n = kBlock;
#if defined(__i386__)
        if (CallDataCallback(g_callback, 1, static_cast<int>(n), g_eit_payloads.data() + offset) !=
            0) {
          ++g_callback_stack_faults;
        }
#else
        g_callback(1, static_cast<int>(n), g_eit_payloads.data() + offset);
#endif
        ++g_feed_calls;
        offset += n;
        if (offset >= g_eit_payloads.size()) offset = 0;
      }
    }
    Sleep(30);
  }
}

LRESULT HandleHostCommand(WPARAM wparam, LPARAM lparam) {
  const UINT code = static_cast<UINT>(wparam);
  g_commands.push_back({code, lparam});
  if (code == kCmdStartFilter && lparam != 0) {
    auto* record = reinterpret_cast<unsigned char*>(lparam);
    std::memcpy(g_filter_record, record, kFilterRunIdOffset + 4);
    g_filter_pid = static_cast<size_t>(record[4] | record[5] << 8);
    DataCallbackFn callback = nullptr;
    std::memcpy(&callback, record + kFilterCallbackOffset, sizeof callback);
    std::memcpy(record + kFilterRunIdOffset, &kRunningId, sizeof kRunningId);
    {
      std::lock_guard<std::mutex> lock(g_feed_mutex);
      g_callback = callback;
      g_feed_stop = false;
    }
    if (!g_feeder.joinable()) g_feeder = std::thread(FeedLoop);
  } else if (code == kCmdStopFilter) {
    // Sent from On_Exit or from the library's unload (under the loader lock): no join here,
    // only the guarantee that the callback is not running and will not be called again.
    std::lock_guard<std::mutex> lock(g_feed_mutex);
    g_feed_stop = true;
    g_callback = nullptr;
  } else if (code == kCmdSignalQuery && lparam != 0) {
    auto* record = reinterpret_cast<int32_t*>(lparam);
    record[1] = kQuality;
  }
  return 0;
}

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_USER:
      return HandleHostCommand(wparam, lparam);
    case WM_TIMER:
      for (size_t i = 0; i < g_timer_actions.size(); ++i) {
        if (g_timer_actions[i].id != wparam) continue;
        KillTimer(window, wparam);
        std::function<void()> action = std::move(g_timer_actions[i].action);
        g_timer_actions.erase(g_timer_actions.begin() + static_cast<std::ptrdiff_t>(i));
        if (action) action();
        return 0;
      }
      break;
    case WM_SIZE:
      if (g_video != nullptr) {
        RECT client;
        GetClientRect(window, &client);
        MoveWindow(g_video, 40, 40, client.right - 80, client.bottom - 100, TRUE);
      }
      return 0;
    case WM_ERASEBKGND: {
      RECT client;
      GetClientRect(window, &client);
      HBRUSH brush = CreateSolidBrush(RGB(48, 48, 56));
      FillRect(reinterpret_cast<HDC>(wparam), &client, brush);
      DeleteObject(brush);
      return 1;
    }
    case WM_CLOSE:
      return 0;  // the script decides when the host ends
    default:
      break;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

// The "picture": colour bars, so the display strip is seen over something.
LRESULT CALLBACK VideoProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT client;
    GetClientRect(window, &client);
    const COLORREF bars[] = {RGB(192, 192, 192), RGB(192, 192, 0), RGB(0, 192, 192), RGB(0, 192, 0),
                             RGB(192, 0, 192),   RGB(192, 0, 0),   RGB(0, 0, 192)};
    const int n = static_cast<int>(sizeof bars / sizeof bars[0]);
    for (int i = 0; i < n; ++i) {
      RECT bar{client.right * i / n, 0, client.right * (i + 1) / n, client.bottom * 3 / 4};
      HBRUSH brush = CreateSolidBrush(bars[i]);
      FillRect(dc, &bar, brush);
      DeleteObject(brush);
    }
    RECT low{0, client.bottom * 3 / 4, client.right, client.bottom};
    HBRUSH dark = CreateSolidBrush(RGB(16, 16, 40));
    FillRect(dc, &low, dark);
    DeleteObject(dark);
    EndPaint(window, &ps);
    return 0;
  }
  if (message == WM_ERASEBKGND) return 1;
  return DefWindowProcA(window, message, wparam, lparam);
}

// --- waiting while the plug-in works --------------------------------------------------------

// Pumps for `ms`; with `until_tick`, returns as soon as a display tick was dispatched, so a
// caller sees the state of every tick.
void Pump(DWORD ms, bool until_tick = false) {
  const DWORD start = GetTickCount();
  for (;;) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      const bool tick = message.message == kTickMessage;
      TranslateMessage(&message);
      DispatchMessageA(&message);
      if (tick) {
        ++g_ticks;
        if (until_tick) return;
      }
    }
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= ms) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - elapsed > 10 ? 10 : ms - elapsed,
                              QS_ALLINPUT);
  }
}

// Pumps until `done` holds or `ms` (times the slow factor) have passed; returns the
// milliseconds waited, -1 on timeout. `done` is looked at after every display tick.
long WaitFor(const std::function<bool()>& done, DWORD ms) {
  ms *= static_cast<DWORD>(g_options.slow);
  const DWORD start = GetTickCount();
  for (;;) {
    if (done()) return static_cast<long>(GetTickCount() - start);
    if (GetTickCount() - start >= ms) return -1;
    Pump(10, true);
  }
}

// Runs `action` from the main window's timer after `ms`, i.e. inside whatever message loop
// runs then (a dialog's RunUserInterface).
void After(UINT ms, std::function<void()> action) {
  const UINT_PTR id = g_next_timer++;
  g_timer_actions.push_back({id, std::move(action)});
  SetTimer(g_main, id, ms, nullptr);
}

// Drops every scripted action still pending (the safety nets of checks that are over), so that
// none of them runs in a later check's loop.
void CancelAfter() {
  for (const TimerAction& pending : g_timer_actions) KillTimer(g_main, pending.id);
  g_timer_actions.clear();
}

// --- looking at the plug-in's windows -------------------------------------------------------

std::string Text(HWND window) {
  if (window == nullptr) return "<no window>";
  char buffer[2048] = "";
  LRESULT n = SendMessageA(window, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer));
  if (n < 0 || n >= static_cast<LRESULT>(sizeof buffer)) return "<bad WM_GETTEXT>";
  return std::string(buffer, static_cast<size_t>(n));
}

std::string ControlText(const char* caption, int control) {
  HWND panel = FindWindowA(nullptr, caption);
  if (panel == nullptr) return "<no panel>";
  return Text(GetDlgItem(panel, control));
}

// The text as a Unicode program reads it (the plug-in's windows are Unicode windows).
std::wstring WideText(HWND window) {
  if (window == nullptr) return L"<no window>";
  wchar_t buffer[2048] = L"";
  const int n = GetWindowTextW(window, buffer, 2048);
  return std::wstring(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

std::wstring FromCodePage(UINT code_page, const std::string& text) {
  wchar_t buffer[2048] = L"";
  const int n = text.empty() ? 0
                             : MultiByteToWideChar(code_page, 0, text.data(),
                                                   static_cast<int>(text.size()), buffer, 2047);
  return std::wstring(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

// For the log: UTF-16 as UTF-8.
std::string Utf8(const std::wstring& text) {
  char buffer[6144] = "";
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), buffer,
                                    sizeof buffer - 1, nullptr, nullptr);
  return std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

// The name and programme lines end at least 8 pixels left of the leftmost visible control of the
// strip's right-hand group (frame, indicators, tuning labels, time): window rectangles.
void CheckTextsClearOfIndicators(const char* when) {
  HWND osd = FindWindowA(nullptr, "Pelta");
  LONG leftmost = LONG_MAX;
  int which = 0;
  for (int control : {12, 15, 14, 13, 4, 5, 6, 7}) {
    HWND child = osd != nullptr ? GetDlgItem(osd, control) : nullptr;
    RECT r;
    if (child != nullptr && IsWindowVisible(child) && GetWindowRect(child, &r) &&
        r.left < leftmost) {
      leftmost = r.left;
      which = control;
    }
  }
  for (int control : {8, 10, 11}) {
    HWND child = osd != nullptr ? GetDlgItem(osd, control) : nullptr;
    RECT r{};
    const bool got = child != nullptr && GetWindowRect(child, &r);
    char name[96];
    std::snprintf(name, sizeof name, "%s: control %d ends 8 px left of the indicators", when,
                  control);
    Check(got && which != 0 && r.right <= leftmost - 8, name,
          "right edge %ld, control %d starts at %ld", r.right, which, leftmost);
  }
}

bool Visible(const char* caption) {
  HWND window = FindWindowA(nullptr, caption);
  return window != nullptr && IsWindowVisible(window);
}

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Clicks a panel's button the way a user's click arrives (BM_CLICK: press and release).
bool ClickButton(const char* caption, const char* label) {
  HWND panel = FindWindowA(nullptr, caption);
  if (panel == nullptr) return false;
  HWND button = FindWindowExA(panel, nullptr, "Button", label);
  if (button == nullptr) return false;
  SendMessageA(button, BM_CLICK, 0, 0);
  return true;
}

void PressKey(WORD vk) {
  INPUT input[2] = {};
  input[0].type = INPUT_KEYBOARD;
  input[0].ki.wVk = vk;
  input[1].type = INPUT_KEYBOARD;
  input[1].ki.wVk = vk;
  input[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, input, sizeof(INPUT));
}

std::string TimeNow(int minus_minutes) {
  SYSTEMTIME t;
  GetLocalTime(&t);
  int minutes = t.wHour * 60 + t.wMinute - minus_minutes;
  if (minutes < 0) minutes += 24 * 60;
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d", minutes / 60, minutes % 60);
  return text;
}

TProgram82 MakeChannel(const std::string& name) {
  TProgram82 chan = {};
  std::snprintf(reinterpret_cast<char*>(chan.bytes), 92, "%s", name.c_str());
  const uint32_t f = g_options.frequency;
  chan.bytes[92] = static_cast<unsigned char>(f & 0xFF);
  chan.bytes[93] = static_cast<unsigned char>(f >> 8 & 0xFF);
  chan.bytes[94] = static_cast<unsigned char>(f >> 16 & 0xFF);
  chan.bytes[95] = static_cast<unsigned char>(f >> 24 & 0xFF);
  chan.bytes[97] = static_cast<unsigned char>(g_options.polarisation);
  chan.bytes[122] = static_cast<unsigned char>(g_options.service_id & 0xFF);
  chan.bytes[123] = static_cast<unsigned char>(g_options.service_id >> 8 & 0xFF);
  chan.bytes[128] = static_cast<unsigned char>(g_options.ca_code);
  return chan;
}

bool ReadTsPayloads(const std::string& path,
                    std::vector<unsigned char>& payloads = g_eit_payloads) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  unsigned char packet[188];
  while (std::fread(packet, 1, sizeof packet, f) == sizeof packet) {
    if (packet[0] != 0x47) continue;
    const int pid = (packet[1] & 0x1F) << 8 | packet[2];
    const bool has_payload = (packet[3] & 0x10) != 0;
    const bool has_adaptation = (packet[3] & 0x20) != 0;
    if (pid != 0x12 || !has_payload || has_adaptation) continue;
    payloads.insert(payloads.end(), packet + 4, packet + 188);
  }
  std::fclose(f);
  return !payloads.empty();
}

// An export by name, as the host finds it (through void*: FARPROC has no parameters).
template <typename Fn>
Fn Entry(HMODULE dll, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return lines;
  std::string line;
  int c;
  while ((c = std::fgetc(f)) != EOF) {
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
      line.clear();
    } else {
      line.push_back(static_cast<char>(c));
    }
  }
  if (!line.empty()) lines.push_back(line);
  std::fclose(f);
  return lines;
}

int CountCommands(UINT code) {
  int n = 0;
  for (const Command& c : g_commands) n += c.code == code ? 1 : 0;
  return n;
}

void ParseArgs(int argc, char** argv) {
  Options& o = g_options;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string key = argv[i];
    const char* value = argv[i + 1];
    if (key == "--dll")
      o.dll = value;
    else if (key == "--title")
      o.title = value;
    else if (key == "--channel")
      o.channel = value;
    else if (key == "--sid")
      o.service_id = static_cast<int>(std::strtol(value, nullptr, 0));
    else if (key == "--ts")
      o.ts = value;
    else if (key == "--expect-now")
      o.expect_now = value;
    else if (key == "--expect-next")
      o.expect_next = value;
    else if (key == "--expect-desc")
      o.expect_desc = value;
    else if (key == "--ts-later")
      o.ts_later = value;
    else if (key == "--expect-later-now")
      o.expect_later_now = value;
    else if (key == "--expect-later-next")
      o.expect_later_next = value;
    else if (key == "--display-ms")
      o.display_ms = std::atoi(value);
    else if (key == "--height")
      o.height = std::atoi(value);
    else if (key == "--alpha")
      o.alpha = std::atoi(value);
    else if (key == "--start-key")
      o.start_key = std::atoi(value);
    else if (key == "--shot-request")
      o.shot_request = value;
    else if (key == "--shot-done")
      o.shot_done = value;
    else if (key == "--timeout")
      o.timeout_s = std::atoi(value);
    else if (key == "--ts-unicode")
      o.ts_unicode = value;
    else if (key == "--unicode-sid")
      o.unicode_sid = static_cast<int>(std::strtol(value, nullptr, 0));
    else if (key == "--expect-unicode")
      o.expect_unicode = value;
    else if (key == "--unicode-shot-request")
      o.unicode_shot_request = value;
    else if (key == "--unicode-shot-done")
      o.unicode_shot_done = value;
    else if (key == "--missing-uir-dll")
      o.missing_uir_dll = value;
    else if (key == "--slow")
      o.slow = std::max(1, std::atoi(value));
    else
      Note("unknown option %s", key.c_str());
  }
}

// Loads the DLL copy of a folder without pelta.uir: the load must be refused after a message
// box that names the file looked for. The box is modal inside LoadLibrary on this thread, so a
// helper thread reads its text and presses OK. It is running before LoadLibrary takes the
// loader lock, which a starting thread would wait for.
void CheckLoadWithoutLayout(const std::string& path) {
  g_step = "load without pelta.uir";
  char full[MAX_PATH];
  GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  std::string dir = full;
  dir = dir.substr(0, dir.find_last_of('\\'));
  const std::string expected =
      "Attention :\n\n\n\n\n\n\n\n\nFile " + dir + "\\pelta.uir not found !";
  std::atomic<bool> running{false};
  std::atomic<bool> done{false};
  std::string text;
  bool seen = false;
  std::thread answer([&] {
    running = true;
    for (int i = 0; i < 1000 * g_options.slow && !done.load(); ++i) {
      HWND box = FindWindowA(nullptr, "Pelta error");
      if (box != nullptr) {
        char buffer[1024] = "";
        GetDlgItemTextA(box, 0xFFFF, buffer, sizeof buffer);  // the message box's text control
        text = buffer;
        seen = true;
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return;
      }
      Sleep(20);
    }
  });
  while (!running.load()) Sleep(1);
  HMODULE refused = LoadLibraryA(full);
  done = true;
  answer.join();
  Check(refused == nullptr, "without pelta.uir the plug-in refuses to load");
  if (refused != nullptr) FreeLibrary(refused);
  Check(seen && text == expected, "its message box names the layout file it looked for",
        "seen %d, \"%s\"", seen, text.c_str());
}

void Watchdog() {
  Sleep(static_cast<DWORD>(g_options.timeout_s) * 1000);
  std::printf("FAIL: the run finished in time (stuck in step: %s)\n", g_step.load());
  std::printf("%d passed, %d failed\n", g_passed, g_failed + 1);
  std::fflush(stdout);
  ExitProcess(3);
}

bool CreateHostWindows() {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA main_class = {};
  main_class.lpfnWndProc = &MainProc;
  main_class.hInstance = instance;
  main_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
  main_class.lpszClassName = "TestHostMain";
  WNDCLASSA video_class = {};
  video_class.lpfnWndProc = &VideoProc;
  video_class.hInstance = instance;
  video_class.lpszClassName = "TestHostVideo";
  if (!RegisterClassA(&main_class) || !RegisterClassA(&video_class)) return false;
  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);
  g_main = CreateWindowExA(0, "TestHostMain", g_options.title.c_str(),
                           WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, width, height, nullptr,
                           nullptr, instance, nullptr);
  if (g_main == nullptr) return false;
  // The video window carries the channel name as its caption, as this host kind does.
  g_video = CreateWindowExA(0, "TestHostVideo", g_options.channel.c_str(), WS_CHILD | WS_VISIBLE,
                            40, 40, 100, 100, g_main, nullptr, instance, nullptr);
  if (g_video == nullptr) return false;
  ShowWindow(g_main, SW_SHOW);
  RECT client;
  GetClientRect(g_main, &client);
  MoveWindow(g_video, 40, 40, client.right - 80, client.bottom - 100, TRUE);
  UpdateWindow(g_main);
  SetForegroundWindow(g_main);
  return true;
}

// --- the script, phase by phase -------------------------------------------------------------

// The loaded plug-in: its module, the folder it was loaded from, and its seven entry points.
struct Plugin {
  HMODULE dll = nullptr;
  std::string dir;
  OnStartFn on_start = nullptr;
  OnExitFn on_exit = nullptr;
  OnChannelChangeFn on_channel = nullptr;
  OnMenuSelectFn on_menu = nullptr;
  OnHotKeyFn on_hot_key = nullptr;
  OnFilterCloseFn on_filter_close = nullptr;
  OnSendDllIdNameFn on_name = nullptr;
};

// The host's windows, the keyboard hook and the EIT feed, before the plug-in is loaded.
void SetUpHost() {
  const Options& o = g_options;
  Note("screen %dx%d, host \"%s\", channel \"%s\"", GetSystemMetrics(SM_CXSCREEN),
       GetSystemMetrics(SM_CYSCREEN), o.title.c_str(), o.channel.c_str());

  g_step = "host windows";
  Check(CreateHostWindows(), "host main window and video window created");
  g_hook = SetWindowsHookExA(WH_KEYBOARD_LL, &KeyboardHook, GetModuleHandleA(nullptr), 0);
  if (!o.ts.empty()) {
    Check(ReadTsPayloads(o.ts), "EIT transport stream read", "%s", o.ts.c_str());
  }
  Pump(200);
}

// LoadLibrary, the seven exports, the menu resource, and the four panel windows that load
// makes (hidden). False when the library or an export is missing: the script cannot go on.
bool LoadPlugin(Plugin* plugin) {
  const Options& o = g_options;
  g_step = "LoadLibrary";
  char dll_path[MAX_PATH];
  GetFullPathNameA(o.dll.c_str(), sizeof dll_path, dll_path, nullptr);
  plugin->dir = dll_path;
  plugin->dir = plugin->dir.substr(0, plugin->dir.find_last_of('\\'));
  HMODULE dll = LoadLibraryA(dll_path);
  plugin->dll = dll;
  Check(dll != nullptr, "plug-in DLL loads", "LoadLibrary(%s) error %lu", dll_path, GetLastError());
  if (dll == nullptr) return false;
  plugin->on_start = Entry<OnStartFn>(dll, "On_Start");
  plugin->on_exit = Entry<OnExitFn>(dll, "On_Exit");
  plugin->on_channel = Entry<OnChannelChangeFn>(dll, "On_Channel_Change");
  plugin->on_menu = Entry<OnMenuSelectFn>(dll, "On_Menu_Select");
  plugin->on_hot_key = Entry<OnHotKeyFn>(dll, "On_Hot_Key");
  plugin->on_filter_close = Entry<OnFilterCloseFn>(dll, "On_Filter_Close");
  plugin->on_name = Entry<OnSendDllIdNameFn>(dll, "On_Send_Dll_ID_Name");
  const bool all_entries = plugin->on_start && plugin->on_exit && plugin->on_channel &&
                           plugin->on_menu && plugin->on_hot_key && plugin->on_filter_close &&
                           plugin->on_name;
  Check(all_entries, "seven entry points found by name");
  if (!all_entries) return false;
  HMENU menu = LoadMenuA(dll, "EXTERN");
  Check(menu != nullptr && GetMenuItemCount(menu) == 3 && GetMenuItemID(menu, 0) == kMenuSettings &&
            GetMenuItemID(menu, 2) == kMenuGuide,
        "EXTERN menu resource: Settings, About, EPG");
  if (menu != nullptr) DestroyMenu(menu);

  bool panels_hidden = true;
  std::string missing;
  for (const char* caption : {"Pelta", "Settings", "About", "EPG"}) {
    HWND w = FindWindowA(nullptr, caption);
    if (w == nullptr) missing += std::string(" ") + caption;
    if (w != nullptr && IsWindowVisible(w)) panels_hidden = false;
  }
  Check(missing.empty() && panels_hidden, "after load the four panel windows exist and are hidden",
        "missing:%s", missing.c_str());
  HWND osd = FindWindowA(nullptr, "Pelta");
  if (osd != nullptr) {
    const LONG style = GetWindowLongA(osd, GWL_STYLE);
    const LONG ex = GetWindowLongA(osd, GWL_EXSTYLE);
    Check((style & WS_POPUP) && !(style & WS_CAPTION) && GetWindow(osd, GW_OWNER) != nullptr &&
              !(ex & WS_EX_APPWINDOW),
          "display window is an owned borderless popup, kept out of the taskbar",
          "style %08lx ex %08lx", static_cast<unsigned long>(style),
          static_cast<unsigned long>(ex));
  }
  return true;
}

// The calls a host makes right after loading: its name query, On_Start and two no-ops.
void CheckStartSequence(const Plugin& plugin) {
  g_step = "start";
  char name[32];
  std::memset(name, 'x', sizeof name);
  plugin.on_name(name);
  Check(std::memcmp(name, "Pelta", 6) == 0 && name[6] == 'x',
        "On_Send_Dll_ID_Name writes \"Pelta\" and its NUL, nothing more");
  char hot_key[64] = "hotkey";
  char api[64] = "api";
  int res = 55;
  plugin.on_start(GetModuleHandleA(nullptr), g_main, FALSE, kDllId, hot_key, api, &res);
  Check(res == 55 && std::strcmp(hot_key, "hotkey") == 0 && std::strcmp(api, "api") == 0,
        "On_Start leaves the host's buffers alone");
  plugin.on_hot_key();
  plugin.on_filter_close(0);
}

// The first channel change after load only starts the start cycle; the start key goes at its
// end.
void CheckStartCycle(const Plugin& plugin) {
  const Options& o = g_options;
  g_step = "first channel change";
  g_keys.clear();
  g_ticks = 0;
  plugin.on_channel(MakeChannel(o.channel));
  Pump(100);
  Check(!Visible("Pelta"), "first channel change after load shows nothing");
  // The start key goes at the fifth tick; three more let the keyboard hook see it.
  WaitFor([] { return g_ticks >= 8; }, static_cast<DWORD>(o.display_ms / 50 * 8 + 400));
  Check(!Visible("Pelta"), "display stays hidden through the start cycle");
  if (o.start_key > 32) {
    int downs = 0;
    for (const KeySeen& k : g_keys) {
      if (k.vk == static_cast<DWORD>(o.start_key & 0xFF) && k.down) ++downs;
    }
    Check(downs == 1, "start key sent once after the start cycle", "vk %d seen %d times",
          o.start_key & 0xFF, downs);
    // A press is a down and an up: the key must not be left held in the key state.
    int ups = 0;
    for (const KeySeen& k : g_keys) {
      if (k.vk == static_cast<DWORD>(o.start_key & 0xFF) && !k.down) ++ups;
    }
    const SHORT async_state = GetAsyncKeyState(o.start_key & 0xFF);
    const SHORT thread_state = GetKeyState(o.start_key & 0xFF);
    Check(ups == 1 && (async_state & 0x8000) == 0 && (thread_state & 0x8000) == 0,
          "start key released after its press", "ups %d, async state %04x, key state %04x", ups,
          static_cast<unsigned>(async_state & 0xFFFF),
          static_cast<unsigned>(thread_state & 0xFFFF));
  }
}

// The channel-change display: placement, window styles, texts, indicators, host commands.
void CheckChannelChange(const Plugin& plugin) {
  const Options& o = g_options;
  g_step = "channel change";
  plugin.on_channel(MakeChannel(o.channel));
  HWND osd = FindWindowA(nullptr, "Pelta");
  Check(osd != nullptr && IsWindowVisible(osd), "channel change shows the \"Pelta\" window");
  RECT video;
  GetWindowRect(g_video, &video);
  RECT got = {};
  if (osd != nullptr) GetWindowRect(osd, &got);
  const RECT want{video.left + 30, video.bottom - (o.height + 40), video.right - 30,
                  video.bottom - 40};
  Check(EqualRect(&got, &want), "display strip placed along the bottom of the video window",
        "got %ld,%ld-%ld,%ld want %ld,%ld-%ld,%ld", got.left, got.top, got.right, got.bottom,
        want.left, want.top, want.right, want.bottom);
  const LONG ex = osd != nullptr ? GetWindowLongA(osd, GWL_EXSTYLE) : 0;
  Check((ex & WS_EX_TOPMOST) != 0, "display window is topmost");
  BYTE alpha = 0;
  DWORD flags = 0;
  COLORREF key = 0;
  const bool layered = (ex & WS_EX_LAYERED) != 0 &&
                       GetLayeredWindowAttributes(osd, &key, &alpha, &flags) && (flags & LWA_ALPHA);
  if (o.alpha < 250) {
    Check(layered && alpha == o.alpha, "display window is layered with the configured alpha",
          "layered %d alpha %d flags %lu", (ex & WS_EX_LAYERED) != 0, alpha, flags);
  } else {
    Check((ex & WS_EX_LAYERED) == 0, "display window is not layered (opaque)");
  }
  Check(ControlText("Pelta", 8) == o.channel, "control 8 shows the channel name", "\"%s\"",
        ControlText("Pelta", 8).c_str());
  const std::string clock = ControlText("Pelta", 4);
  Check(clock == TimeNow(0) || clock == TimeNow(1), "control 4 shows the time of day",
        "\"%s\" at %s", clock.c_str(), TimeNow(0).c_str());
  char freq[32];
  std::snprintf(freq, sizeof freq, "%u", o.frequency / 1000);
  Check(ControlText("Pelta", 5) == freq, "control 5 shows the frequency in MHz", "\"%s\"",
        ControlText("Pelta", 5).c_str());
  Check(ControlText("Pelta", 6) == (o.polarisation == 1 || o.polarisation == 13 ? "V" : "H"),
        "control 6 shows the polarisation", "\"%s\"", ControlText("Pelta", 6).c_str());
  Check(ControlText("Pelta", 7) == "FTA", "control 7 shows the conditional-access label", "\"%s\"",
        ControlText("Pelta", 7).c_str());
  Check(CountCommands(kCmdSignalQuery) >= 1, "signal query sent to the recognised host");
  char quality[16];
  std::snprintf(quality, sizeof quality, "%d", kQuality);
  Check(ControlText("Pelta", 14) == quality, "control 14 shows the host's signal quality", "\"%s\"",
        ControlText("Pelta", 14).c_str());
  Check(ControlText("Pelta", 15) == "100", "control 15 shows the signal level", "\"%s\"",
        ControlText("Pelta", 15).c_str());
  const std::string logo = ControlText("Pelta", 9);
  const std::string channel_logo = "\\pelta_icon\\" + o.channel + ".jpg";
  Check(EndsWith(logo, channel_logo), "control 9 shows the channel's logo", "\"%s\"", logo.c_str());
  // Texts alone do not make a picture: the logo, the name and the two programme lines must be
  // visible child windows of some size within the strip, or nothing of them is ever painted.
  std::string hidden_controls;
  for (int control : {8, 9, 10, 11}) {
    HWND child = osd != nullptr ? GetDlgItem(osd, control) : nullptr;
    RECT r = {};
    if (child != nullptr) GetWindowRect(child, &r);
    RECT inside = {};
    const bool shown = child != nullptr && IsWindowVisible(child) && !IsRectEmpty(&r) &&
                       IntersectRect(&inside, &r, &got);
    if (!shown) {
      char line[96];
      std::snprintf(line, sizeof line, " %d at %ld,%ld-%ld,%ld visible %d", control, r.left, r.top,
                    r.right, r.bottom, child != nullptr && IsWindowVisible(child));
      hidden_controls += line;
    }
  }
  Check(hidden_controls.empty(), "logo, name and programme controls are visible within the strip",
        "%s", hidden_controls.c_str());
  Check(CountCommands(kCmdStartFilter) == 1, "EIT filter start command sent once");
  Check(g_filter_pid == 18 && g_filter_record[0] == kDllId && g_filter_record[1] == 0 &&
            g_filter_record[2] == 1 &&
            std::strcmp(reinterpret_cast<char*>(g_filter_record + 6), "Pelta EIT filter") == 0,
        "start-filter record: plug-in id, filter 1, PID 18, name");
  DataCallbackFn callback = nullptr;
  std::memcpy(&callback, g_filter_record + kFilterCallbackOffset, sizeof callback);
  Check(callback != nullptr, "start-filter record carries the data callback at offset 40");
  CheckTextsClearOfIndicators("first channel");
}

// When both programme lines were first on the display: the display time runs from there.
struct LinesShown {
  DWORD at;  // GetTickCount
  int tick;  // the display tick that showed them (g_ticks)
};

// Waits for the EIT feed to reach the display and checks the two lines.
LinesShown CheckProgrammeLines() {
  const Options& o = g_options;
  g_step = "EIT lines";
  long waited = WaitFor(
      [&] { return !ControlText("Pelta", 10).empty() && !ControlText("Pelta", 11).empty(); },
      static_cast<DWORD>(o.display_ms) + 3000);
  // WaitFor looked after every tick: the current one showed them.
  const LinesShown shown{GetTickCount(), g_ticks};
  Check(waited >= 0, "programme lines reach the display from the EIT feed", "%d data calls",
        g_feed_calls.load());
  if (!o.expect_now.empty()) {
    Check(ControlText("Pelta", 10) == o.expect_now, "control 10 shows the present programme",
          "\"%s\"", ControlText("Pelta", 10).c_str());
  }
  if (!o.expect_next.empty()) {
    Check(ControlText("Pelta", 11) == o.expect_next, "control 11 shows the following programme",
          "\"%s\"", ControlText("Pelta", 11).c_str());
  }
  return shown;
}

// With --shot-request: asks the script outside for a screenshot while the display shows, once
// the strip and its controls have painted.
void TakeScreenshot() {
  const Options& o = g_options;
  if (o.shot_request.empty()) return;
  g_step = "screenshot";
  Pump(static_cast<DWORD>(150 * o.slow));  // let the strip paint its new lines
  // Painted means no window of the strip has an update region left.
  auto painted = [] {
    HWND strip = FindWindowA(nullptr, "Pelta");
    if (strip == nullptr || GetUpdateRect(strip, nullptr, FALSE)) return false;
    for (int control : {8, 9, 10, 11}) {
      HWND child = GetDlgItem(strip, control);
      if (child != nullptr && GetUpdateRect(child, nullptr, FALSE)) return false;
    }
    return true;
  };
  Check(WaitFor(painted, 2000) >= 0,
        "display strip and its controls painted before the screenshot");
  std::FILE* f = std::fopen(o.shot_request.c_str(), "wb");
  if (f != nullptr) std::fclose(f);
  long shot = WaitFor([&] { return FileExists(o.shot_done); }, 10000);
  Check(shot >= 0, "screenshot taken while the display is shown");
  Check(Visible("Pelta"), "display still shown after the screenshot");
}

void CheckHideAfterDisplayTime(const LinesShown& lines) {
  const Options& o = g_options;
  g_step = "hide after display time";
  const long waited =
      WaitFor([] { return !Visible("Pelta"); }, static_cast<DWORD>(o.display_ms) * 3 + 3000);
  const DWORD shown_ms = GetTickCount() - lines.at;
  Check(waited >= 0 && g_ticks - lines.tick == kHideTicks,
        "display hides one display time (51 ticks) after the lines were shown",
        "hidden %d ticks, %lu ms after the lines", g_ticks - lines.tick,
        static_cast<unsigned long>(shown_ms));
}

// A programme change while the strip is hidden: the new lines wait for the next display cycle.
void CheckProgrammeChange() {
  const Options& o = g_options;
  if (o.ts_later.empty()) return;
  g_step = "programme change";
  const bool read = ReadTsPayloads(o.ts_later, g_later_payloads);
  Check(read, "transport stream of the programme change read", "%s", o.ts_later.c_str());
  {
    std::lock_guard<std::mutex> lock(g_feed_mutex);
    g_eit_payloads.swap(g_later_payloads);
  }
  const int calls = g_feed_calls.load();
  WaitFor([&] { return g_feed_calls.load() >= calls + 4; }, 3000);
  Pump(300);
  Check(!Visible("Pelta"), "a programme change does not show the hidden strip by itself");
}

// The lines pelta-tool read from the stream: UTF-8 after "now: " and "next: ".
bool ReadExpectedLines(const std::string& path, std::string* now, std::string* next) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  char line[4096];
  while (std::fgets(line, sizeof line, f) != nullptr) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (text.compare(0, 5, "now: ") == 0) *now = text.substr(5);
    if (text.compare(0, 6, "next: ") == 0) *next = text.substr(6);
  }
  std::fclose(f);
  return !now->empty() && !next->empty();
}

// A channel whose name comes in code page 1252 and whose programme lines are Czech (ISO/IEC
// 6937) and Chinese (two-byte table): read back through the wide API, as a Unicode program
// sees them, and photographed.
void CheckUnicodeTexts(const Plugin& plugin) {
  Options& o = g_options;
  if (o.ts_unicode.empty()) return;
  g_step = "Unicode texts";
  std::vector<unsigned char> payloads;
  Check(ReadTsPayloads(o.ts_unicode, payloads), "transport stream of the Unicode channel read",
        "%s", o.ts_unicode.c_str());
  std::string now;
  std::string next;
  Check(ReadExpectedLines(o.expect_unicode, &now, &next), "expected Unicode lines read", "%s",
        o.expect_unicode.c_str());
  {
    std::lock_guard<std::mutex> lock(g_feed_mutex);
    g_eit_payloads.swap(payloads);
  }
  o.service_id = o.unicode_sid;
  const std::string name = "T\xE9l\xE9";  // "Télé" as a host on a Western system sends it
  plugin.on_channel(MakeChannel(name));
  HWND osd = FindWindowA(nullptr, "Pelta");
  Note("ANSI code page %u", GetACP());
  const std::wstring want_name = FromCodePage(CP_ACP, name);
  const std::wstring shown_name = WideText(osd != nullptr ? GetDlgItem(osd, 8) : nullptr);
  Check(shown_name == want_name && (GetACP() != 1252 || shown_name == L"T\u00E9l\u00E9"),
        "control 8 shows the code page 1252 name through CP_ACP", "\"%s\"",
        Utf8(shown_name).c_str());
  const std::wstring want_now = FromCodePage(CP_UTF8, now);
  const std::wstring want_next = FromCodePage(CP_UTF8, next);
  HWND now_window = osd != nullptr ? GetDlgItem(osd, 10) : nullptr;
  HWND next_window = osd != nullptr ? GetDlgItem(osd, 11) : nullptr;
  WaitFor([&] { return WideText(now_window) == want_now && WideText(next_window) == want_next; },
          static_cast<DWORD>(o.display_ms) + 3000);
  Check(WideText(now_window) == want_now,
        "control 10 reads the Chinese line through GetWindowTextW", "\"%s\" want \"%s\"",
        Utf8(WideText(now_window)).c_str(), now.c_str());
  Check(WideText(next_window) == want_next,
        "control 11 reads the Czech line through GetWindowTextW", "\"%s\" want \"%s\"",
        Utf8(WideText(next_window)).c_str(), next.c_str());
  // The logo is looked up with the bytes the host sent: "T\xE9l\xE9.jpg" is the file "Télé.jpg".
  const std::wstring logo = WideText(osd != nullptr ? GetDlgItem(osd, 9) : nullptr);
  const std::wstring want_logo = L"\\pelta_icon\\" + want_name + L".jpg";
  Check(logo.size() >= want_logo.size() &&
            logo.compare(logo.size() - want_logo.size(), want_logo.size(), want_logo) == 0,
        "control 9 shows the logo named with the host's bytes", "\"%s\"", Utf8(logo).c_str());
  CheckTextsClearOfIndicators("Unicode channel");
  if (o.unicode_shot_request.empty()) return;
  Pump(150);
  std::FILE* f = std::fopen(o.unicode_shot_request.c_str(), "wb");
  if (f != nullptr) std::fclose(f);
  long shot = WaitFor([&] { return FileExists(o.unicode_shot_done); }, 10000);
  Check(shot >= 0, "screenshot of the Unicode strip taken");
}

// Presses P and pumps until the display is up; returns the tick that saw the key, -1 when the
// display did not come.
int PressPAndWait() {
  PressKey('P');
  if (WaitFor([] { return Visible("Pelta"); }, 2000) < 0) return -1;
  return g_ticks;
}

// Pumps until the display hides; returns the ticks from `from_tick`, -1 when it stays.
int TicksUntilHidden(int from_tick) {
  const long waited = WaitFor([] { return !Visible("Pelta"); },
                              static_cast<DWORD>(g_options.display_ms) * 3 + 3000);
  return waited >= 0 ? g_ticks - from_tick : -1;
}

// P shows the display again for the rest of a cycle (35 ticks). Lines of a new p/f version
// that wait while the strip is hidden reach it in the tick that saw P, and showing lines starts
// the cycle again: that display stays one display time (51 ticks). A second P, with nothing
// new waiting, runs the 35 ticks.
void CheckPKey() {
  const Options& o = g_options;
  g_step = "P key";
  int p_tick = PressPAndWait();
  Check(p_tick >= 0, "P key shows the display again");
  Check(ControlText("Pelta", 8) == o.channel && !ControlText("Pelta", 10).empty(),
        "P key shows the last channel's texts");
  if (!o.expect_later_now.empty()) {
    WaitFor([&] { return ControlText("Pelta", 10) == o.expect_later_now; }, 1000);
    const int lines_tick = g_ticks;
    Check(ControlText("Pelta", 10) == o.expect_later_now &&
              ControlText("Pelta", 11) == o.expect_later_next,
          "P after the programme change shows the new lines", "\"%s\" / \"%s\"",
          ControlText("Pelta", 10).c_str(), ControlText("Pelta", 11).c_str());
    const int ticks = TicksUntilHidden(lines_tick);
    Check(p_tick >= 0 && lines_tick == p_tick && ticks == kHideTicks,
          "new lines shown by P start the cycle again: hidden 51 ticks after the P tick",
          "lines %d ticks after P, hidden %d ticks after them", lines_tick - p_tick, ticks);
    g_step = "P key again";
    p_tick = PressPAndWait();
  }
  const int ticks = p_tick >= 0 ? TicksUntilHidden(p_tick) : -1;
  Check(ticks == kKeyPTicks, "display called by P hides after 35 ticks", "hidden after %d ticks",
        ticks);
}

// O opens the guide without an event loop; it hides with the display, or by its OK button.
void CheckOKey() {
  const Options& o = g_options;
  g_step = "O key";
  PressKey('O');
  long waited = WaitFor([] { return Visible("EPG"); }, 2000);
  Check(waited >= 0, "O key opens the \"EPG\" window");
  HWND guide = FindWindowA(nullptr, "EPG");
  RECT guide_rect = {};
  if (guide != nullptr) GetWindowRect(guide, &guide_rect);
  const RECT guide_want{50, 50, 470, 470};
  Check(EqualRect(&guide_rect, &guide_want) &&
            (GetWindowLongA(guide, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0,
        "guide window placed topmost at 50,50 420x420", "got %ld,%ld-%ld,%ld", guide_rect.left,
        guide_rect.top, guide_rect.right, guide_rect.bottom);
  Check(ControlText("EPG", 4) == o.channel, "guide shows the channel name", "\"%s\"",
        ControlText("EPG", 4).c_str());
  if (!o.expect_desc.empty()) {
    Check(ControlText("EPG", 3) == o.expect_desc, "guide shows the present programme's description",
          "\"%s\"", ControlText("EPG", 3).c_str());
  }
  waited = WaitFor([] { return !Visible("EPG"); }, static_cast<DWORD>(o.display_ms) * 3 + 3000);
  Check(waited >= 0 && !Visible("Pelta"), "guide opened by O hides with the display");

  // O again, then its OK button: the window hides at once; the button's request to end an
  // event loop comes while none runs and must not end the next dialog's loop.
  g_step = "O key and OK";
  PressKey('O');
  WaitFor([] { return Visible("EPG"); }, 2000);
  Check(ClickButton("EPG", "OK") && WaitFor([] { return !Visible("EPG"); }, 500) >= 0,
        "guide's OK button hides the window opened by O");
}

// The host menu: each item runs its dialog inside the menu call until the dialog ends.
void CheckAboutMenu(const Plugin& plugin) {
  g_step = "menu About";
  bool about_seen = false;
  std::string about_text;
  After(600, [&] {
    about_seen = Visible("About");
    about_text = ControlText("About", 3);
    ClickButton("About", "OK");
  });
  DWORD menu_at = GetTickCount();
  plugin.on_menu(kMenuAbout);
  DWORD menu_ms = GetTickCount() - menu_at;
  Check(about_seen && menu_ms >= 500, "About menu item runs its dialog until OK",
        "shown %d, returned after %lu ms", about_seen, static_cast<unsigned long>(menu_ms));
  Check(about_text == "Pelta 2_0", "About box shows the version", "\"%s\"", about_text.c_str());
  Check(!Visible("About"), "About box hidden after OK");
}

void CheckGuideMenu(const Plugin& plugin) {
  const Options& o = g_options;
  g_step = "menu EPG";
  bool guide_seen = false;
  std::string guide_channel;
  After(400, [&] {
    guide_seen = Visible("EPG");
    guide_channel = ControlText("EPG", 4);
    PostMessageA(FindWindowA(nullptr, "EPG"), WM_CLOSE, 0, 0);  // the close box
  });
  const DWORD menu_at = GetTickCount();
  plugin.on_menu(kMenuGuide);
  const DWORD menu_ms = GetTickCount() - menu_at;
  Check(guide_seen && guide_channel == o.channel && menu_ms >= 300,
        "EPG menu item shows the guide until its window is closed", "shown %d, \"%s\"", guide_seen,
        guide_channel.c_str());
  Check(!Visible("EPG"), "guide hidden after the close box");
}

void CheckSettingsMenu(const Plugin& plugin) {
  const Options& o = g_options;
  g_step = "menu Settings";
  bool settings_seen = false;
  bool font_dialog_seen = false;
  bool alignment_seen = false;
  bool settings_after_font = false;
  std::string opacity_field;
  // The font dialog (a common dialog) and then the alignment menu open inside the Font
  // button's callback; each is answered from a timer that runs inside its modal loop.
  std::function<void()> answer_font;
  std::function<void()> answer_alignment;
  int font_tries = 0;
  int alignment_tries = 0;
  answer_font = [&] {
    HWND dialog = FindWindowA("#32770", nullptr);
    if (dialog == nullptr || !IsWindowVisible(dialog)) {
      if (++font_tries < 50) After(100, answer_font);
      return;
    }
    font_dialog_seen = true;
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    After(100, answer_alignment);
  };
  answer_alignment = [&] {
    HWND popup = FindWindowA("#32768", nullptr);
    if (popup == nullptr || !IsWindowVisible(popup)) {
      if (++alignment_tries < 50) After(100, answer_alignment);
      return;
    }
    alignment_seen = true;
    EndMenu();  // dismissed: the alignment stays as it was
  };
  After(400, [&] {
    settings_seen = Visible("Settings");
    HWND slider = GetDlgItem(FindWindowA(nullptr, "Settings"), 19);
    opacity_field = std::to_string(SendMessageA(slider, TBM_GETPOS, 0, 0));
    After(300, answer_font);
    ClickButton("Settings", "Font...");  // returns once the font dialog is done
    settings_after_font = Visible("Settings");
    ClickButton("Settings", "Save");
  });
  plugin.on_menu(kMenuSettings);
  char opacity_text[16];
  std::snprintf(opacity_text, sizeof opacity_text, "%d", o.alpha);
  Check(settings_seen && opacity_field == opacity_text,
        "Settings dialog shows the settings file's values", "opacity slider at \"%s\"",
        opacity_field.c_str());
  Check(font_dialog_seen && alignment_seen && settings_after_font,
        "Font button runs the font dialog and the alignment choice, the dialog stays open",
        "font dialog %d, alignment menu %d", font_dialog_seen, alignment_seen);
  const std::vector<std::string> ini = ReadLines(plugin.dir + "\\pelta.ini");
  Check(!Visible("Settings") && ini.size() == 16 && ini[12] == opacity_text && ini[13] == "0" &&
            !ini[15].empty(),
        "Save hides the dialog and writes sixteen lines to pelta.ini (font and alignment too)",
        "%d lines", static_cast<int>(ini.size()));
}

// The close box closes without saving: an edit in the dialog, then the close box.
void CheckSettingsCloseBox(const Plugin& plugin) {
  g_step = "Settings close box";
  const std::vector<std::string> saved = ReadLines(plugin.dir + "\\pelta.ini");
  bool edited = false;
  After(400, [&] {
    HWND settings = FindWindowA(nullptr, "Settings");
    edited = settings != nullptr && GetDlgItem(settings, 19) != nullptr;
    SendMessageA(GetDlgItem(settings, 19), TBM_SETPOS, TRUE, 77);
    PostMessageA(settings, WM_CLOSE, 0, 0);
  });
  plugin.on_menu(kMenuSettings);
  Check(edited && !Visible("Settings") && ReadLines(plugin.dir + "\\pelta.ini") == saved,
        "Settings close box closes the dialog and leaves pelta.ini untouched", "edited %d", edited);
}

// Keys posted one after another to whatever has the focus, each taken by the plug-in's loop
// before the next; `shift` holds Shift down meanwhile (in this thread's key state, which the
// dialog reads). `then` runs after the last one.
void PressKeys(std::vector<WPARAM> keys, bool shift, std::vector<int>* focus_ids,
               std::function<void()> then) {
  if (keys.empty()) {
    then();
    return;
  }
  BYTE state[256];
  GetKeyboardState(state);
  state[VK_SHIFT] = shift ? 0x80 : 0;
  SetKeyboardState(state);
  const WPARAM key = keys.front();
  keys.erase(keys.begin());
  PostMessageA(GetFocus(), WM_KEYDOWN, key, 1);
  After(60, [keys, shift, focus_ids, then] {
    if (focus_ids != nullptr) focus_ids->push_back(GetDlgCtrlID(GetFocus()));
    PressKeys(keys, shift, focus_ids, then);
  });
}

std::string Ids(const std::vector<int>& ids) {
  std::string out;
  for (int id : ids) out += (out.empty() ? "" : " ") + std::to_string(id);
  return out;
}

// The Settings dialog's controls as a user works them: Tab and Shift+Tab in reading order, the
// controls set with their own messages (which notify nobody), Enter saves what they show; Esc
// closes without saving; the start key's name stands beside its number.
void CheckSettingsControls(const Plugin& plugin) {
  g_step = "Settings controls";
  const std::string ini_path = plugin.dir + "\\pelta.ini";
  // Reading order, from the field the dialog opens on; then round to the first again.
  const std::vector<int> forward = {8, 6, 10, 9, 19, 3, 22, 2, 15, 14, 13, 12, 7, 11, 20, 21, 4};
  const std::vector<int> backward = {21, 20, 11};
  std::vector<int> tabbed, shift_tabbed;
  int first = 0;
  int mnemonic_focus = 0;
  std::string spun;
  std::string key_name;
  std::wstring size_label, size_entry;
  After(400, [&] {
    HWND settings = FindWindowA(nullptr, "Settings");
    first = GetDlgCtrlID(GetFocus());
    // The size list's label (the STATIC made just before it) and its last entry, as a Unicode
    // program reads them.
    size_label = WideText(GetWindow(GetDlgItem(settings, 8), GW_HWNDPREV));
    wchar_t entry[64] = L"";
    if (SendMessageW(GetDlgItem(settings, 8), CB_GETLBTEXTLEN, 3, 0) < 64) {
      SendMessageW(GetDlgItem(settings, 8), CB_GETLBTEXT, 3, reinterpret_cast<LPARAM>(entry));
    }
    size_entry = entry;
    // The STATIC beside the start key's field.
    for (HWND w = GetWindow(GetDlgItem(settings, 15), GW_HWNDNEXT);
         w != nullptr && key_name.empty(); w = GetWindow(w, GW_HWNDNEXT)) {
      if (Text(w).rfind("= ", 0) == 0) key_name = Text(w);
    }
    std::vector<WPARAM> tabs(forward.size(), VK_TAB);
    PressKeys(tabs, false, &tabbed, [&] {
      PressKeys({VK_TAB, VK_TAB, VK_TAB}, true, &shift_tabbed, [&] {
        HWND dialog = FindWindowA(nullptr, "Settings");
        auto item = [dialog](int id) { return GetDlgItem(dialog, id); };
        SendMessageA(item(14), BM_SETCHECK, BST_UNCHECKED, 0);
        SendMessageA(item(7), BM_SETCHECK, BST_CHECKED, 0);
        SendMessageA(item(8), CB_SETCURSEL, 2, 0);  // Large, 120 pixels
        SendMessageA(item(6), CB_SETCURSEL, 2, 0);  // Title, then description
        SendMessageA(item(2), CB_SETCURSEL, 1, 0);  // Write EIT data: -1
        SendMessageA(item(19), TBM_SETPOS, TRUE, 99);
        // The colour chooser's answer for the background swatch.
        SendMessageA(dialog, WM_APP + 0x43, 10, 0x102030);
        // Alt+K (the start key's label) goes to its field; Up in the display time's field
        // adds a tenth.
        PostMessageA(GetFocus(), WM_SYSCHAR, 'k', 1 | (1 << 29));
        After(60, [&, item] {
          mnemonic_focus = GetDlgCtrlID(GetFocus());
          SetFocus(item(4));
          PressKeys({VK_UP, VK_UP, VK_DOWN}, false, nullptr, [&, item] {
            spun = Text(item(4));
            SetFocus(item(19));  // Enter on a control that is no button presses Save
            PressKeys({VK_RETURN}, false, nullptr, [] {});
          });
        });
      });
    });
  });
  // Should a key go astray, the dialog is closed so that the menu call returns.
  After(6000, [] {
    HWND d = FindWindowA(nullptr, "Settings");
    if (d != nullptr && IsWindowVisible(d)) PostMessageA(d, WM_CLOSE, 0, 0);
  });
  plugin.on_menu(kMenuSettings);
  Check(first == 4 && tabbed == forward, "Tab moves through the Settings controls in reading order",
        "from %d: %s", first, Ids(tabbed).c_str());
  Check(shift_tabbed == backward, "Shift+Tab moves back", "%s", Ids(shift_tabbed).c_str());
  Check(size_label == L"S&ize" && size_entry == L"Medium with large programme lines",
        "the size list's label and entries read back through the wide API", "\"%s\", \"%s\"",
        Utf8(size_label).c_str(), Utf8(size_entry).c_str());
  char want_key[32];
  std::snprintf(want_key, sizeof want_key, "= F%d", g_options.start_key - 0x6F);
  Check(key_name == want_key, "the start key's name beside its number", "\"%s\" (want \"%s\")",
        key_name.c_str(), want_key);
  Check(mnemonic_focus == 15, "Alt+K goes to the start key's field", "focus on %d", mnemonic_focus);
  char want_time[16];
  std::snprintf(want_time, sizeof want_time, "%.1f", g_options.display_ms / 1000.0 + 0.1);
  std::vector<std::string> ini = ReadLines(ini_path);
  Check(spun == want_time && !ini.empty() && ini[0].find(want_time) != std::string::npos,
        "Up and Down in the display time's field move it a tenth, and Save writes it",
        "field \"%s\", line 1 \"%s\" (want %s)", spun.c_str(), ini.empty() ? "" : ini[0].c_str(),
        want_time);
  Check(!Visible("Settings") && ini.size() == 16 && ini[1] == "2" && ini[2] == "1056816" &&
            ini[4] == "0" && ini[7] == "1" && ini[10] == "-1" && ini[12] == "99" && ini[14] == "2",
        "Enter saves what the check boxes, lists, swatch and slider show",
        "%d lines: size %s, back %s, guide %s, follow %s, debug %s, opacity %s, format %s",
        static_cast<int>(ini.size()), ini.size() > 1 ? ini[1].c_str() : "",
        ini.size() > 2 ? ini[2].c_str() : "", ini.size() > 4 ? ini[4].c_str() : "",
        ini.size() > 7 ? ini[7].c_str() : "", ini.size() > 10 ? ini[10].c_str() : "",
        ini.size() > 12 ? ini[12].c_str() : "", ini.size() > 14 ? ini[14].c_str() : "");

  // Esc: a change, then the key; the dialog closes and the file stays as it is.
  const std::vector<std::string> saved = ReadLines(ini_path);
  bool changed = false;
  After(400, [&] {
    HWND dialog = FindWindowA(nullptr, "Settings");
    changed = dialog != nullptr;
    SendMessageA(GetDlgItem(dialog, 13), BM_SETCHECK, BST_UNCHECKED, 0);
    PressKeys({VK_ESCAPE}, false, nullptr, [] {});
  });
  After(3000, [] {
    HWND d = FindWindowA(nullptr, "Settings");
    if (d != nullptr && IsWindowVisible(d)) PostMessageA(d, WM_CLOSE, 0, 0);
  });
  plugin.on_menu(kMenuSettings);
  Check(changed && !Visible("Settings") && ReadLines(ini_path) == saved,
        "Esc closes the Settings dialog without saving");
}

// On_Exit stops the filter and discards the display; FreeLibrary then removes the rest.
void CheckExit(const Plugin& plugin) {
  g_step = "On_Exit";
  plugin.on_exit(GetModuleHandleA(nullptr), g_main, FALSE);
  const int stops = CountCommands(kCmdStopFilter);
  LPARAM stop_param = 0;
  for (const Command& c : g_commands) {
    if (c.code == kCmdStopFilter) stop_param = c.param;
  }
  // The host wrote the id behind the callback pointer: offset 44 in a 32-bit record, 48 in a
  // 64-bit one. Only a plug-in that reads it from there sends it back.
  char stop_name[96];
  std::snprintf(stop_name, sizeof stop_name,
                "On_Exit stops the EIT filter with the running id the host wrote at offset %u",
                static_cast<unsigned>(kFilterRunIdOffset));
  Check(stops == 1 && stop_param == kRunningId, stop_name, "%d stops, id %ld", stops,
        static_cast<long>(stop_param));
  HWND left = FindWindowA(nullptr, "Pelta");
  char left_class[64] = "";
  if (left != nullptr) GetClassNameA(left, left_class, sizeof left_class);
  Check(left == nullptr, "On_Exit discards the display window", "window of class %s remains",
        left_class);
  const int calls = g_feed_calls.load();
  Pump(300);
  Check(g_feed_calls.load() == calls, "no data callback after the filter stopped");
#if defined(__i386__)
  Check(calls > 0 && g_callback_stack_faults.load() == 0,
        "data callback takes cdecl arguments: the stack is as the host left it",
        "%d of %d calls moved the stack pointer", g_callback_stack_faults.load(), calls);
#endif
}

void CheckUnload(const Plugin& plugin) {
  g_step = "FreeLibrary";
  Check(FreeLibrary(plugin.dll) != 0, "plug-in DLL unloads");
  Check(CountCommands(kCmdStopFilter) == 1, "unload after On_Exit sends no second stop");
  bool any_left = false;
  for (const char* caption : {"Pelta", "Settings", "About", "EPG"}) {
    any_left = any_left || FindWindowA(nullptr, caption) != nullptr;
  }
  Check(!any_left, "unload removes every panel window");
  Pump(500);  // a tick or a paint after unload would crash here
  Check(true, "host keeps running after the unload");
}

// Stops the feed, removes the hook and the host window, prints the summary.
int Finish() {
  g_feed_quit = true;
  if (g_feeder.joinable()) g_feeder.join();
  if (g_hook != nullptr) UnhookWindowsHookEx(g_hook);
  DestroyWindow(g_main);
  std::printf("%d passed, %d failed\n", g_passed, g_failed);
  std::fflush(stdout);
  return g_failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  ParseArgs(argc, argv);
  std::thread(Watchdog).detach();
  SetUpHost();
  if (!g_options.missing_uir_dll.empty()) CheckLoadWithoutLayout(g_options.missing_uir_dll);
  Plugin plugin;
  if (!LoadPlugin(&plugin)) {
    std::printf("%d passed, %d failed\n", g_passed, g_failed);
    return 1;
  }
  CheckStartSequence(plugin);
  CheckStartCycle(plugin);
  CheckChannelChange(plugin);
  const LinesShown lines = CheckProgrammeLines();
  TakeScreenshot();
  CheckHideAfterDisplayTime(lines);
  CheckProgrammeChange();
  CheckPKey();
  CheckOKey();
  CheckAboutMenu(plugin);
  CheckGuideMenu(plugin);
  CheckSettingsMenu(plugin);
  CheckSettingsCloseBox(plugin);
  // Before the controls' check: that one saves a Settings with the programme guide off.
  CheckUnicodeTexts(plugin);
  // The strip may still be up: should it hide while the next check works the dialog with keys,
  // the focus stays in the dialog.
  CheckSettingsControls(plugin);
  CancelAfter();
  hostile::Run({g_main, plugin.dll, g_options.channel, plugin.dir + "\\pelta.ini",
                g_options.display_ms, g_options.slow, &Check, &g_step});
  CheckExit(plugin);
  CheckUnload(plugin);
  return Finish();
}
