// The test host's own part: the check lines, its windows and host commands, the EIT feed,
// waiting while the plug-in works and looking at the plug-in's windows (testhost.h).
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "testhost.h"

namespace testhost {

Options g_options;
HostBehaviour g_behaviour;

// --- results --------------------------------------------------------------------------------

int g_passed = 0;
int g_failed = 0;
std::atomic<const char*> g_step{"start"};
int g_ticks = 0;

void Check(bool ok, const char* name, const char* detail_format, ...) {
  const char* prefix = g_behaviour.prefix.c_str();
  if (ok) {
    std::printf("PASS: %s%s\n", prefix, name);
    ++g_passed;
  } else {
    char detail[512] = "";
    if (detail_format != nullptr) {
      va_list args;
      va_start(args, detail_format);
      std::vsnprintf(detail, sizeof detail, detail_format, args);
      va_end(args);
    }
    std::printf("FAIL: %s%s%s%s%s\n", prefix, name, detail[0] ? " (" : "", detail,
                detail[0] ? ")" : "");
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

std::vector<Command> g_commands;
unsigned char g_filter_record[64];
size_t g_filter_pid = 0;
std::mutex g_feed_mutex;  // held while the callback runs; the stop command takes it
std::atomic<int> g_feed_calls{0};
std::vector<unsigned char> g_eit_payloads;    // 184-byte payloads of PID 0x12, back to back
std::vector<unsigned char> g_later_payloads;  // the carousel after the programme change
std::atomic<int> g_callback_stack_faults{0};
std::vector<KeySeen> g_keys;
std::atomic<int> g_calls_after_stop{0};
std::vector<int32_t> g_slots_given;

namespace {

// The section filter: the callback and the feeding thread.
DataCallbackFn g_callback = nullptr;
bool g_feed_stop = false;
DWORD g_stopped_at = 0;  // GetTickCount of the stop, for a host that goes on delivering
std::atomic<bool> g_feed_quit{false};
std::thread g_feeder;

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
  // Blocks of consecutive payloads (ten, or one packet per call), as a host's filter hands raw
  // packets on, again and again like the broadcast carousel, until the filter is stopped, or
  // for a moment longer.
  const size_t kBlock = g_behaviour.packets_per_call * 184;
  size_t offset = 0;
  while (!g_feed_quit.load()) {
    {
      std::lock_guard<std::mutex> lock(g_feed_mutex);
      if (g_feed_stop) break;
      if (g_stopped_at != 0) {
        // The moment is measured in the machine's time (slow factor), and holds one call at
        // least, however late this thread runs after the stop.
        const bool delivering = g_callback != nullptr && !g_eit_payloads.empty();
        const DWORD moment = g_behaviour.after_stop_ms * static_cast<DWORD>(g_options.slow);
        if (GetTickCount() - g_stopped_at >= moment && (g_calls_after_stop > 0 || !delivering)) {
          g_feed_stop = true;
          g_callback = nullptr;
          break;
        }
        if (delivering) ++g_calls_after_stop;
      }
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
    Sleep(g_behaviour.call_gap_ms);
  }
}

// The seed host guarantees that the callback is not running and will not be called again; the
// others let their reader go on for a moment.
void StopDeliveries() {
  std::lock_guard<std::mutex> lock(g_feed_mutex);
  if (g_behaviour.after_stop_ms == 0) {
    g_feed_stop = true;
    g_callback = nullptr;
  } else if (g_stopped_at == 0) {
    g_stopped_at = GetTickCount() | 1;
  }
}

// The running id this host writes into a start record: a fixed one, none (the record keeps
// the plug-in's -1), or the first free slot of its filter table, whose first slots hold the
// host's own filters.
void WriteRunningId(unsigned char* record) {
  int32_t id = kRunningId;
  if (g_behaviour.run_ids == RunIds::kNone) return;
  if (g_behaviour.run_ids == RunIds::kSlots) {
    id = kHostOwnSlots + static_cast<int32_t>(g_slots_given.size());
    g_slots_given.push_back(id);
  }
  std::memcpy(record + kFilterRunIdOffset, &id, sizeof id);
}

// A host that indexes its filter table with the stop's value closes that slot; anything but a
// slot it handed out would be written outside the table or close another filter.
void CheckStopSlot(LPARAM param) {
  bool given = false;
  for (int32_t& slot : g_slots_given) {
    if (param == static_cast<LPARAM>(slot)) {
      given = true;
      slot = -1;  // closed
    }
  }
  Check(given, "the stop carries a slot the host wrote, of an open filter", "stop with %ld",
        static_cast<long>(param));
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
    WriteRunningId(record);
    {
      std::lock_guard<std::mutex> lock(g_feed_mutex);
      g_callback = callback;
      g_feed_stop = false;
      g_stopped_at = 0;
    }
    if (!g_feeder.joinable()) g_feeder = std::thread(FeedLoop);
  } else if (code == kCmdStopFilter) {
    if (g_behaviour.run_ids == RunIds::kSlots) CheckStopSlot(lparam);
    // Sent from On_Exit or from the library's unload (under the loader lock): no join here.
    StopDeliveries();
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

}  // namespace

// --- waiting while the plug-in works --------------------------------------------------------

// Pumps for `ms`; with `until_tick`, returns as soon as a display tick was dispatched, so a
// caller sees the state of every tick.
void Pump(DWORD ms, bool until_tick) {
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

bool ReadTsPayloads(const std::string& path, std::vector<unsigned char>& payloads) {
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
  static bool registered = false;  // once per process: a profile may build several hosts
  if (!registered && (!RegisterClassA(&main_class) || !RegisterClassA(&video_class))) return false;
  registered = true;
  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);
  g_main = CreateWindowExA(0, "TestHostMain", g_options.title.c_str(),
                           WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, width, height, nullptr,
                           nullptr, instance, nullptr);
  if (g_main == nullptr) return false;
  // The video window carries the channel name as its caption, as ProgDVB's does, or the title
  // of the host's video renderer.
  const std::string& caption =
      g_options.video_title.empty() ? g_options.channel : g_options.video_title;
  g_video = CreateWindowExA(0, "TestHostVideo", caption.c_str(), WS_CHILD | WS_VISIBLE, 40, 40, 100,
                            100, g_main, nullptr, instance, nullptr);
  if (g_video == nullptr) return false;
  ShowWindow(g_main, SW_SHOW);
  RECT client;
  GetClientRect(g_main, &client);
  MoveWindow(g_video, 40, 40, client.right - 80, client.bottom - 100, TRUE);
  UpdateWindow(g_main);
  SetForegroundWindow(g_main);
  return true;
}

void ReplaceHostWindows() {
  DestroyWindow(g_main);
  g_main = g_video = nullptr;
  Note("host \"%s\", channel \"%s\"", g_options.title.c_str(), g_options.channel.c_str());
  Check(CreateHostWindows(), "host main window and video window created");
  Pump(200);
}

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

void HostClosesFilter() {
  StopDeliveries();
}

void WaitForReaderEnd() {
  if (g_feeder.joinable()) g_feeder.join();
}

int Finish() {
  g_feed_quit = true;
  WaitForReaderEnd();
  if (g_hook != nullptr) UnhookWindowsHookEx(g_hook);
  DestroyWindow(g_main);
  std::printf("%d passed, %d failed\n", g_passed, g_failed);
  std::fflush(stdout);
  return g_failed == 0 ? 0 : 1;
}
}  // namespace testhost
