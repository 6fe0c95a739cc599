// The simulated desktop behind the Win32 names of win32.h, and the sim:: API of sim.h.
//
// Everything lives in one static State guarded by one mutex. The mutex is never held while
// calling out (window procedure, EnumWindows callback, timer callback): those may call back in.
//
// Window handles encode a creation serial and the slot: value = serial << kSlotBits | slot.
// Serials only grow (across Reset too), so a destroyed window's handle never matches a later
// window, is never null (serial >= 1) and never HWND_TOPMOST (all bits set).
//
// Z-order: each window carries a stamp taken from a growing counter when it is created or
// brought to the top; among siblings the highest stamp is on top, and top-level windows with
// the topmost flag sit above every top-level window without it, as on Windows.
#include "platform/sim/sim.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/sim/sim_parts.h"

namespace {

constexpr int kSlotBits = 10;
static_assert((1 << kSlotBits) >= sim::kMaxWindows, "slot must fit in the handle's low bits");
constexpr UINT kInvalParam = 97;  // MMSYSERR_INVALPARAM
const HMODULE kUser32 = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x7e410000));

struct Window {
  bool used;
  uintptr_t serial;
  uint64_t z;   // z-order stamp among siblings: higher is nearer the top
  HWND parent;  // null for top-level windows
  WNDPROC proc;
  sim::WindowInfo info;
};

template <typename T>
struct Log {
  T entries[sim::kMaxLog];
  int count;
};

struct Key {
  bool down;
  bool pressed;  // pressed since the last GetAsyncKeyState of this key
};

struct Timer {
  bool running;
  bool periodic;
  UINT id;
  UINT last_id;
  UINT period;
  UINT resolution;
  LPTIMECALLBACK callback;
  DWORD_PTR user;
  int starts;
  int refused;
};

struct State {
  Window windows[sim::kMaxWindows];
  uint64_t z_counter;
  Key keys[256];
  POINT cursor;
  HWND focus, foreground;
  Timer timer;
  Log<sim::MessageBoxEntry> boxes;
  Log<sim::SetWindowPosEntry> positions;
  Log<sim::KeyEventEntry> key_events;
  Log<sim::MessageEntry> messages;
  Log<sim::CallEntry> calls;
  int dropped;
  bool fail_layered;
  int point_lookups;
  void (*box_user)(void*);  // what the user does while a message box is up
  void* box_user_data;
};

std::mutex g_mu;
State g_state;
uintptr_t g_next_serial = 1;  // survives Reset, so old handles stay stale
bool g_initialised = false;   // first use resets, so the desktop is sane without a Reset call

void ResetLocked() {
  std::memset(&g_state, 0, sizeof g_state);
  g_state.timer.last_id = 0;
  g_initialised = true;
}

// Locks the state; the first lock of the process also brings the desktop to its Reset state.
std::unique_lock<std::mutex> Lock() {
  std::unique_lock<std::mutex> lock(g_mu);
  if (!g_initialised) ResetLocked();
  return lock;
}

// Copies `src` (null: empty) into dst[size], truncating; always NUL-terminated.
void CopyTrunc(char* dst, size_t size, const char* src) {
  if (size == 0) return;
  size_t n = src ? std::strlen(src) : 0;
  if (n >= size) n = size - 1;
  if (n > 0) std::memcpy(dst, src, n);
  dst[n] = '\0';
}

HWND MakeHandle(int slot, uintptr_t serial) {
  return reinterpret_cast<HWND>((serial << kSlotBits) | static_cast<uintptr_t>(slot));
}

HWND HandleOf(int slot) {
  return MakeHandle(slot, g_state.windows[slot].serial);
}

// The live window behind `hwnd`, or null for a null, stale or made-up handle.
Window* Find(HWND hwnd) {
  uintptr_t v = reinterpret_cast<uintptr_t>(hwnd);
  int slot = static_cast<int>(v & ((uintptr_t{1} << kSlotBits) - 1));
  uintptr_t serial = v >> kSlotBits;
  if (serial == 0 || slot >= sim::kMaxWindows) return nullptr;
  Window& w = g_state.windows[slot];
  return (w.used && w.serial == serial) ? &w : nullptr;
}

// True when a is above b among the same siblings.
bool Above(const Window& a, const Window& b) {
  bool a_top = a.parent == nullptr && a.info.topmost;
  bool b_top = b.parent == nullptr && b.info.topmost;
  if (a_top != b_top) return a_top;
  return a.z > b.z;
}

bool Contains(const RECT& r, POINT p) {
  return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

// The top visible window among the children of `parent` (null: top-level) containing p.
int TopAt(HWND parent, POINT p) {
  int best = -1;
  for (int i = 0; i < sim::kMaxWindows; ++i) {
    const Window& w = g_state.windows[i];
    if (!w.used || w.parent != parent || !w.info.visible || !Contains(w.info.rect, p)) continue;
    if (best < 0 || Above(w, g_state.windows[best])) best = i;
  }
  return best;
}

template <typename T>
T* Append(Log<T>& log) {
  if (log.count >= sim::kMaxLog) {
    ++g_state.dropped;
    return nullptr;
  }
  T* e = &log.entries[log.count++];
  std::memset(e, 0, sizeof *e);
  return e;
}

void LogCall(sim::Call call, HWND hwnd, int x, int y) {
  if (sim::CallEntry* e = Append(g_state.calls)) {
    e->call = call;
    e->hwnd = hwnd;
    e->x = x;
    e->y = y;
  }
}

template <typename T>
const T* At(const Log<T>& log, int i) {
  return (i >= 0 && i < log.count) ? &log.entries[i] : nullptr;
}

// user32's SetLayeredWindowAttributes, reached only through GetProcAddress. Windows refuses a
// window without WS_EX_LAYERED and leaves it unchanged.
BOOL WINAPI SimSetLayeredWindowAttributes(HWND hwnd, COLORREF key, BYTE alpha, DWORD flags) {
  auto lock = Lock();
  Window* w = Find(hwnd);
  if (!w || !(w->info.exstyle & WS_EX_LAYERED)) return FALSE;
  w->info.layered_attrs_set = true;
  w->info.color_key = key;
  w->info.alpha = alpha;
  w->info.layered_flags = flags;
  return TRUE;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Win32 names

LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  WNDPROC proc = nullptr;
  {
    auto lock = Lock();
    if (sim::MessageEntry* e = Append(g_state.messages)) {
      e->hwnd = hwnd;
      e->msg = msg;
      e->wparam = wparam;
      e->lparam = lparam;
    }
    LogCall(sim::Call::SendMessage, hwnd, static_cast<int>(msg), 0);
    if (Window* w = Find(hwnd)) proc = w->proc;
  }
  return proc ? proc(hwnd, msg, wparam, lparam) : 0;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  void (*user)(void*) = nullptr;
  void* data = nullptr;
  {
    auto lock = Lock();
    if (sim::MessageBoxEntry* e = Append(g_state.boxes)) {
      e->owner = owner;
      CopyTrunc(e->text, sizeof e->text, text);
      CopyTrunc(e->caption, sizeof e->caption, caption);
      e->type = type;
    }
    LogCall(sim::Call::MessageBox, owner, 0, 0);
    user = g_state.box_user;
    data = g_state.box_user_data;
  }
  if (user != nullptr) user(data);  // while the box is up, as its modal loop would run it
  return 1;                         // IDOK
}

HWND FindWindowA(LPCSTR /*class_name*/, LPCSTR window_name) {
  if (!window_name) return nullptr;
  auto lock = Lock();
  int best = -1;
  for (int i = 0; i < sim::kMaxWindows; ++i) {
    const Window& w = g_state.windows[i];
    if (!w.used || w.parent != nullptr || std::strcmp(w.info.title, window_name) != 0) continue;
    if (best < 0 || Above(w, g_state.windows[best])) best = i;
  }
  return best < 0 ? nullptr : HandleOf(best);
}

LONG GetWindowLongA(HWND hwnd, int index) {
  auto lock = Lock();
  Window* w = Find(hwnd);
  return (w && index == GWL_EXSTYLE) ? w->info.exstyle : 0;
}

LONG SetWindowLongA(HWND hwnd, int index, LONG value) {
  auto lock = Lock();
  Window* w = Find(hwnd);
  if (!w || index != GWL_EXSTYLE) return 0;
  LONG previous = w->info.exstyle;
  w->info.exstyle = value;
  return previous;
}

BOOL SetWindowPos(HWND hwnd, HWND insert_after, int x, int y, int cx, int cy, UINT flags) {
  auto lock = Lock();
  if (sim::SetWindowPosEntry* e = Append(g_state.positions)) {
    *e = sim::SetWindowPosEntry{hwnd, insert_after, x, y, cx, cy, flags};
  }
  LogCall(sim::Call::SetWindowPos, hwnd, x, y);
  Window* w = Find(hwnd);
  if (!w) return FALSE;
  if (!(flags & SWP_NOZORDER)) {
    if (insert_after == HWND_TOPMOST) {
      w->info.topmost = true;
      w->info.exstyle |= WS_EX_TOPMOST;
      w->z = ++g_state.z_counter;
    } else if (insert_after == HWND_TOP) {
      w->z = ++g_state.z_counter;
    }
  }
  RECT& r = w->info.rect;
  if (!(flags & SWP_NOMOVE)) {
    LONG width = r.right - r.left, height = r.bottom - r.top;
    r = RECT{x, y, x + width, y + height};
  }
  if (!(flags & SWP_NOSIZE)) {
    r.right = r.left + cx;
    r.bottom = r.top + cy;
  }
  if (flags & SWP_SHOWWINDOW) w->info.visible = true;
  if (flags & SWP_HIDEWINDOW) w->info.visible = false;
  // As on Windows, a top-level window moved without SWP_NOACTIVATE is activated: it takes the
  // foreground and the focus from whatever window had them.
  if (!(flags & SWP_NOACTIVATE) && w->parent == nullptr && w->info.visible) {
    g_state.foreground = hwnd;
    g_state.focus = hwnd;
  }
  return TRUE;
}

BOOL EnumWindows(WNDENUMPROC proc, LPARAM lparam) {
  if (!proc) return FALSE;
  HWND order[sim::kMaxWindows];
  int n = 0;
  {
    auto lock = Lock();
    int slots[sim::kMaxWindows];
    for (int i = 0; i < sim::kMaxWindows; ++i) {
      if (g_state.windows[i].used && g_state.windows[i].parent == nullptr) slots[n++] = i;
    }
    std::sort(slots, slots + n,
              [](int a, int b) { return Above(g_state.windows[a], g_state.windows[b]); });
    for (int i = 0; i < n; ++i) order[i] = HandleOf(slots[i]);
  }
  for (int i = 0; i < n; ++i) {
    if (!proc(order[i], lparam)) return FALSE;
  }
  return TRUE;
}

namespace {

// Appends the descendants of `parent` to order[], depth first, each set of siblings top first.
// Caller holds the lock. A depth-first walk over the slots (at most kMaxWindows in all).
void Descendants(HWND parent, HWND* order, int* n) {
  int slots[sim::kMaxWindows];
  int count = 0;
  for (int i = 0; i < sim::kMaxWindows; ++i) {
    if (g_state.windows[i].used && g_state.windows[i].parent == parent) slots[count++] = i;
  }
  std::sort(slots, slots + count,
            [](int a, int b) { return Above(g_state.windows[a], g_state.windows[b]); });
  for (int i = 0; i < count && *n < sim::kMaxWindows; ++i) {
    order[(*n)++] = HandleOf(slots[i]);
    Descendants(HandleOf(slots[i]), order, n);
  }
}

const Window* RootOf(const Window* w) {
  while (w != nullptr && w->parent != nullptr) {
    const Window* up = Find(w->parent);
    if (up == nullptr) break;
    w = up;
  }
  return w;
}

}  // namespace

BOOL EnumChildWindows(HWND parent, WNDENUMPROC proc, LPARAM lparam) {
  if (!proc) return FALSE;
  HWND order[sim::kMaxWindows];
  int n = 0;
  {
    auto lock = Lock();
    if (!Find(parent)) return FALSE;
    Descendants(parent, order, &n);
  }
  for (int i = 0; i < n; ++i) {
    if (!proc(order[i], lparam)) return FALSE;
  }
  return TRUE;
}

DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* process_id) {
  auto lock = Lock();
  const Window* root = RootOf(Find(hwnd));
  const DWORD process = root != nullptr ? root->info.process : 0;
  if (process_id != nullptr) *process_id = process;
  return process;
}

BOOL IsWindowVisible(HWND hwnd) {
  auto lock = Lock();
  const Window* w = Find(hwnd);
  if (w == nullptr) return FALSE;
  for (; w != nullptr; w = w->parent != nullptr ? Find(w->parent) : nullptr) {
    if (!w->info.visible) return FALSE;
  }
  return TRUE;
}

int GetWindowTextA(HWND hwnd, LPSTR buffer, int max_count) {
  if (!buffer || max_count <= 0) return 0;
  auto lock = Lock();
  const Window* w = Find(hwnd);
  if (!w) {
    buffer[0] = '\0';
    return 0;
  }
  CopyTrunc(buffer, static_cast<size_t>(max_count), w->info.title);
  return static_cast<int>(std::strlen(buffer));
}

HWND WindowFromPoint(POINT point) {
  auto lock = Lock();
  ++g_state.point_lookups;
  int slot = TopAt(nullptr, point);
  if (slot < 0) return nullptr;
  for (;;) {
    int child = TopAt(HandleOf(slot), point);
    if (child < 0) return HandleOf(slot);
    slot = child;
  }
}

HWND GetAncestor(HWND hwnd, UINT flags) {
  auto lock = Lock();
  const Window* w = Find(hwnd);
  if (!w) return nullptr;
  if (flags != GA_ROOT) return w->parent;
  while (w->parent != nullptr) {
    const Window* up = Find(w->parent);
    if (!up) break;
    hwnd = w->parent;
    w = up;
  }
  return hwnd;
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
  if (!rect) return FALSE;
  auto lock = Lock();
  const Window* w = Find(hwnd);
  if (!w) return FALSE;
  *rect = w->info.rect;
  return TRUE;
}

SHORT GetAsyncKeyState(int vkey) {
  if (vkey < 0 || vkey > 255) return 0;
  auto lock = Lock();
  Key& k = g_state.keys[vkey];
  uint16_t bits = static_cast<uint16_t>((k.down ? 0x8000u : 0u) | (k.pressed ? 1u : 0u));
  k.pressed = false;
  return static_cast<SHORT>(bits);
}

void keybd_event(BYTE vk, BYTE scan, DWORD flags, ULONG_PTR extra_info) {
  auto lock = Lock();
  if (sim::KeyEventEntry* e = Append(g_state.key_events)) {
    *e = sim::KeyEventEntry{vk, scan, flags, extra_info};
  }
  LogCall(sim::Call::KeyEvent, nullptr, vk, static_cast<int>(flags));
}

HWND SetFocus(HWND hwnd) {
  auto lock = Lock();
  LogCall(sim::Call::SetFocus, hwnd, 0, 0);
  // As on Windows, SetFocus(NULL) takes the focus away and still succeeds.
  if (hwnd != nullptr && !Find(hwnd)) return nullptr;
  HWND previous = g_state.focus;
  g_state.focus = hwnd;
  return previous;
}

BOOL SetForegroundWindow(HWND hwnd) {
  auto lock = Lock();
  LogCall(sim::Call::SetForeground, hwnd, 0, 0);
  if (!Find(hwnd)) return FALSE;
  g_state.foreground = hwnd;
  return TRUE;
}

BOOL SetCursorPos(int x, int y) {
  auto lock = Lock();
  LogCall(sim::Call::SetCursor, nullptr, x, y);
  g_state.cursor = POINT{x, y};
  return TRUE;
}

HMODULE GetModuleHandleA(LPCSTR module_name) {
  if (module_name && simparts::EqualNoCase(module_name, "USER32.DLL")) return kUser32;
  return simparts::DpiModule(module_name);
}

FARPROC GetProcAddress(HMODULE module, LPCSTR proc_name) {
  if (!proc_name) return nullptr;
  if (FARPROC dpi = simparts::DpiProc(module, module == kUser32, proc_name)) return dpi;
  if (module != kUser32) return nullptr;
  if (std::strcmp(proc_name, "SetLayeredWindowAttributes") != 0) return nullptr;
  auto lock = Lock();
  if (g_state.fail_layered) return nullptr;
  // Through void(*)(), the generic function pointer type, as GetProcAddress's callers do.
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&SimSetLayeredWindowAttributes));
}

MMRESULT timeSetEvent(UINT delay_ms, UINT resolution_ms, LPTIMECALLBACK callback, DWORD_PTR user,
                      UINT event_type) {
  auto lock = Lock();
  Timer& t = g_state.timer;
  if (delay_ms == 0 || !callback) {  // winmm refuses a zero delay
    ++t.refused;
    return 0;
  }
  if (++t.last_id == 0) t.last_id = 1;
  t.running = true;
  t.periodic = (event_type & TIME_PERIODIC) != 0;
  t.id = t.last_id;
  t.period = delay_ms;
  t.resolution = resolution_ms;
  t.callback = callback;
  t.user = user;
  ++t.starts;
  return t.id;
}

MMRESULT timeKillEvent(UINT timer_id) {
  auto lock = Lock();
  Timer& t = g_state.timer;
  if (!t.running || timer_id != t.id) return kInvalParam;
  t.running = false;
  return TIMERR_NOERROR;
}

// ---------------------------------------------------------------------------------------------
// sim:: API

namespace sim {

void Reset() {
  {
    std::lock_guard<std::mutex> lock(g_mu);
    ResetLocked();
  }
  simparts::ResetMonitors();
  simparts::ResetFiles();
  ResetTimeZone();
  SetAnsiCodePage(1252);
}

HWND CreateWindow(const char* title, RECT rect, HWND parent, WNDPROC proc) {
  auto lock = Lock();
  if (parent != nullptr && !Find(parent)) return nullptr;
  for (int i = 0; i < kMaxWindows; ++i) {
    Window& w = g_state.windows[i];
    if (w.used) continue;
    std::memset(&w, 0, sizeof w);
    w.used = true;
    w.serial = g_next_serial++;
    w.z = ++g_state.z_counter;
    w.parent = parent;
    w.proc = proc;
    CopyTrunc(w.info.title, sizeof w.info.title, title);
    w.info.rect = rect;
    w.info.parent = parent;
    w.info.visible = true;
    w.info.process = kHostProcess;
    return HandleOf(i);
  }
  return nullptr;  // desktop full
}

void DestroyWindow(HWND hwnd) {
  auto lock = Lock();
  Window* target = Find(hwnd);
  if (!target) return;
  target->used = false;
  // Descendants: sweep until no window is left whose parent is gone (depth passes at most).
  for (bool changed = true; changed;) {
    changed = false;
    for (Window& w : g_state.windows) {
      if (w.used && w.parent != nullptr && !Find(w.parent)) {
        w.used = false;
        changed = true;
      }
    }
  }
  if (!Find(g_state.focus)) g_state.focus = nullptr;
  if (!Find(g_state.foreground)) g_state.foreground = nullptr;
}

bool IsWindow(HWND hwnd) {
  auto lock = Lock();
  return Find(hwnd) != nullptr;
}

void ShowWindow(HWND hwnd, bool visible) {
  auto lock = Lock();
  if (Window* w = Find(hwnd)) w->info.visible = visible;
}

void SetTitle(HWND hwnd, const char* title) {
  auto lock = Lock();
  if (Window* w = Find(hwnd)) CopyTrunc(w->info.title, sizeof w->info.title, title);
}

void SetRect(HWND hwnd, RECT rect) {
  auto lock = Lock();
  if (Window* w = Find(hwnd)) w->info.rect = rect;
}

void SetProcess(HWND top_level, DWORD process) {
  auto lock = Lock();
  if (Window* w = Find(top_level)) w->info.process = process;
}

void BringToTop(HWND hwnd) {
  auto lock = Lock();
  if (Window* w = Find(hwnd)) w->z = ++g_state.z_counter;
}

bool GetInfo(HWND hwnd, WindowInfo* out) {
  if (!out) return false;
  auto lock = Lock();
  const Window* w = Find(hwnd);
  if (!w) return false;
  *out = w->info;
  return true;
}

void PressKey(int vk) {
  if (vk < 0 || vk > 255) return;
  auto lock = Lock();
  g_state.keys[vk].pressed = true;
}

void HoldKey(int vk, bool down) {
  if (vk < 0 || vk > 255) return;
  auto lock = Lock();
  g_state.keys[vk].down = down;
  if (down) g_state.keys[vk].pressed = true;
}

POINT CursorPos() {
  auto lock = Lock();
  return g_state.cursor;
}

HWND FocusWindow() {
  auto lock = Lock();
  return g_state.focus;
}

HWND ForegroundWindow() {
  auto lock = Lock();
  return g_state.foreground;
}

void WhileMessageBox(void (*fn)(void*), void* data) {
  auto lock = Lock();
  g_state.box_user = fn;
  g_state.box_user_data = data;
}

void Activate(HWND hwnd) {
  auto lock = Lock();
  if (!Find(hwnd)) return;
  g_state.foreground = hwnd;
  g_state.focus = hwnd;
}

int MessageBoxCount() {
  auto lock = Lock();
  return g_state.boxes.count;
}

const MessageBoxEntry* MessageBoxAt(int i) {
  auto lock = Lock();
  return At(g_state.boxes, i);
}

int SetWindowPosCount() {
  auto lock = Lock();
  return g_state.positions.count;
}

const SetWindowPosEntry* SetWindowPosAt(int i) {
  auto lock = Lock();
  return At(g_state.positions, i);
}

int KeyEventCount() {
  auto lock = Lock();
  return g_state.key_events.count;
}

const KeyEventEntry* KeyEventAt(int i) {
  auto lock = Lock();
  return At(g_state.key_events, i);
}

int MessageCount() {
  auto lock = Lock();
  return g_state.messages.count;
}

const MessageEntry* MessageAt(int i) {
  auto lock = Lock();
  return At(g_state.messages, i);
}

int CallCount() {
  auto lock = Lock();
  return g_state.calls.count;
}

const CallEntry* CallAt(int i) {
  auto lock = Lock();
  return At(g_state.calls, i);
}

int DroppedLogEntries() {
  auto lock = Lock();
  return g_state.dropped;
}

void ClearLogs() {
  auto lock = Lock();
  g_state.boxes.count = 0;
  g_state.positions.count = 0;
  g_state.key_events.count = 0;
  g_state.messages.count = 0;
  g_state.calls.count = 0;
  g_state.dropped = 0;
}

void FailLayeredLookup(bool fail) {
  auto lock = Lock();
  g_state.fail_layered = fail;
}

int PointLookupCount() {
  auto lock = Lock();
  return g_state.point_lookups;
}

bool TimerRunning() {
  auto lock = Lock();
  return g_state.timer.running;
}

UINT TimerPeriod() {
  auto lock = Lock();
  return g_state.timer.period;
}

UINT TimerResolution() {
  auto lock = Lock();
  return g_state.timer.resolution;
}

int TimerStartCount() {
  auto lock = Lock();
  return g_state.timer.starts;
}

int TimerRefusedCount() {
  auto lock = Lock();
  return g_state.timer.refused;
}

void FireTimer(int n) {
  for (int i = 0; i < n; ++i) {
    LPTIMECALLBACK callback;
    UINT id;
    DWORD_PTR user;
    {
      auto lock = Lock();
      Timer& t = g_state.timer;
      if (!t.running) return;  // the previous callback may have killed it
      callback = t.callback;
      id = t.id;
      user = t.user;
      if (!t.periodic) t.running = false;  // a one-shot event fires once
    }
    callback(id, 0, user, 0, 0);
  }
}

}  // namespace sim

namespace simparts {

bool EqualNoCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    unsigned char ca = static_cast<unsigned char>(*a), cb = static_cast<unsigned char>(*b);
    if (ca >= 'a' && ca <= 'z') ca = static_cast<unsigned char>(ca - 'a' + 'A');
    if (cb >= 'a' && cb <= 'z') cb = static_cast<unsigned char>(cb - 'a' + 'A');
    if (ca != cb) return false;
    if (ca == 0) return true;
  }
}

}  // namespace simparts
