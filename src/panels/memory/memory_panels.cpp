// The memory panel driver (Linux): realises the panel model (panels/model.h) on the simulated
// desktop, and lets tests and pelta-tool script the user and observe what is shown.
//
// Each loaded panel owns a simulated top-level window with its caption and rectangle; whether
// the panel is shown is read from that window. The event loop does not wait for a user: it
// dispatches the events the test queued and ends as soon as there are none, so a test whose
// callback forgets to quit fails instead of hanging.
//
// This driver's own state (windows, queue, font answer, picture log) is under its own mutex,
// which is never held while the model's is taken or a callback runs.
#include "panels/memory/memory_panels.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "panels/driver.h"
#include "panels/panels.h"
#include "panels/picture_bounds.h"
#include "platform/sim/sim.h"

namespace {

constexpr int kMaxQueue = 64;     // queued user events
constexpr int kMaxImageLog = 64;  // DisplayImageFile paths kept
constexpr int kTypefaceMax = 1024;

enum class EventKind { Commit, Close, Typing, Call };

struct Event {
  EventKind kind;
  int panel;
  int control;
  char text[model::kTextMax];
  void (*fn)(void*);
  void* data;
};

struct Window {
  int handle;  // 0: free
  HWND window;
};

struct State {
  Window windows[model::kMaxLoaded];
  Event queue[kMaxQueue];
  int queue_head;
  int queue_count;

  bool font_choose;
  char font_typeface[kTypefaceMax];
  int font_justify;
  mem::FontDialogCall font_last;
  int font_count;

  char images[kMaxImageLog][model::kTextMax];
  int image_count;
};

std::mutex g_mutex;
State g;

using Lock = std::lock_guard<std::mutex>;

void CopyTrunc(char* dst, size_t size, const char* src) {
  std::snprintf(dst, size, "%s", src != nullptr ? src : "");
}

// Caller holds g_mutex.
Window* FindWindowOf(int handle) {
  for (Window& w : g.windows) {
    if (handle > 0 && w.handle == handle) return &w;
  }
  return nullptr;
}

HWND WindowOf(int handle) {
  Lock lock(g_mutex);
  const Window* w = FindWindowOf(handle);
  return w != nullptr ? w->window : nullptr;
}

bool WindowVisible(HWND window) {
  sim::WindowInfo info;
  return window != nullptr && sim::GetInfo(window, &info) && info.visible;
}

void Queue(const Event& e) {
  Lock lock(g_mutex);
  if (g.queue_count >= kMaxQueue) return;  // a test that queues more has a bug of its own
  g.queue[(g.queue_head + g.queue_count) % kMaxQueue] = e;
  ++g.queue_count;
}

bool Pop(Event* out) {
  Lock lock(g_mutex);
  if (g.queue_count == 0) return false;
  *out = g.queue[g.queue_head];
  g.queue_head = (g.queue_head + 1) % kMaxQueue;
  --g.queue_count;
  return true;
}

void Dispatch(const Event& e) {
  switch (e.kind) {
    case EventKind::Commit:
      model::Commit(e.panel, e.control);
      break;
    case EventKind::Close:
      model::CloseRequest(e.panel);
      break;
    case EventKind::Typing:
      model::UserTyped(e.panel, e.control, e.text);
      break;
    case EventKind::Call:
      if (e.fn != nullptr) e.fn(e.data);
      break;
  }
}

}  // namespace

// ---- the driver ----

namespace driver {

bool Init(void* /*module*/) {
  return true;
}

void Close() {}

bool NativePath(const char* path, char* out, size_t size) {
  return sim::MapPath(path, out, size);
}

bool CreatePanel(int handle, const uir::Panel& layout) {
  RECT rect{layout.left, layout.top, layout.left + layout.width, layout.top + layout.height};
  Lock lock(g_mutex);
  Window* slot = FindWindowOf(handle);
  for (Window& w : g.windows) {
    if (slot == nullptr && w.handle == 0) slot = &w;
  }
  if (slot == nullptr) return false;
  HWND window = sim::CreateWindow(layout.caption, rect);
  if (window == nullptr) return false;
  sim::ShowWindow(window, false);  // loaded panels start hidden
  *slot = Window{handle, window};
  return true;
}

void DestroyPanel(int handle) {
  Lock lock(g_mutex);
  Window* w = FindWindowOf(handle);
  if (w == nullptr) return;
  if (sim::IsWindow(w->window)) sim::DestroyWindow(w->window);
  *w = Window{0, nullptr};
}

void PanelChanged(int handle) {
  model::PanelState* panel = nullptr;
  bool visible = false;
  {
    std::lock_guard<std::mutex> lock(model::Mutex());
    panel = model::FindPanelLocked(handle);
    if (panel == nullptr) return;
    visible = panel->visible;
  }
  HWND window = WindowOf(handle);
  if (window != nullptr) sim::ShowWindow(window, visible);
}

void ControlChanged(int /*handle*/, int /*control*/) {}  // observed straight from the model

// A shown panel made active is the foreground window, as a Windows dialog is.
void ActivatePanel(int handle) {
  HWND window = WindowOf(handle);
  if (WindowVisible(window)) sim::Activate(window);
}

HWND PanelWindow(int handle) {
  return WindowOf(handle);
}

bool PanelActive(int handle) {
  HWND window = WindowOf(handle);
  return WindowVisible(window) && sim::ForegroundWindow() == window;
}

bool LoadPicture(int /*handle*/, int /*control*/, const char* path, char* shown,
                 size_t shown_size) {
  const bool mapped = sim::MapPath(path, shown, shown_size);  // false also when too long
  {
    Lock lock(g_mutex);
    if (g.image_count < kMaxImageLog)
      CopyTrunc(g.images[g.image_count], model::kTextMax, mapped ? shown : path);
    if (g.image_count < INT_MAX) ++g.image_count;
  }
  int width = 0;
  int height = 0;
  return mapped && CheckPictureFile(shown, &width, &height) == PictureCheck::kOk;
}

bool PumpOne() {
  Event e;
  if (!Pop(&e)) return false;
  Dispatch(e);
  return true;
}

void WakeLoop() {}

}  // namespace driver

// ---- the platform's own panel calls ----

int ProcessSystemEvents() {
  int pending;
  {
    Lock lock(g_mutex);
    pending = g.queue_count;  // events queued by the callbacks wait for the next call
  }
  Event e;
  for (int i = 0; i < pending && Pop(&e); ++i) Dispatch(e);
  return kPanelOk;
}

int FontSelectPopup(const char* title, const char* sample_text, int fixed_pitch_only,
                    char* typeface, size_t typeface_size, int* /*bold*/, int* /*underline*/,
                    int* /*strike_out*/, int* /*italic*/, int* justify, int* /*text_color*/,
                    int* /*point_size*/, int min_point_size, int max_point_size, int show_default,
                    int allow_system) {
  if (typeface == nullptr || typeface_size == 0) return kPanelBadValue;
  Lock lock(g_mutex);
  mem::FontDialogCall& call = g.font_last;
  std::memset(&call, 0, sizeof call);
  CopyTrunc(call.title, sizeof call.title, title);
  CopyTrunc(call.sample, sizeof call.sample, sample_text);
  call.fixed_pitch_only = fixed_pitch_only;
  // The typeface buffer need not be terminated within typeface_size: copy what is inside it.
  size_t n = 0;
  while (n < typeface_size && n < sizeof call.typeface_in - 1 && typeface[n] != '\0') ++n;
  std::memcpy(call.typeface_in, typeface, n);
  call.typeface_in[n] = '\0';
  call.justify_in = justify != nullptr ? *justify : 0;
  call.min_size = min_point_size;
  call.max_size = max_point_size;
  call.show_default = show_default;
  call.allow_system = allow_system;
  ++g.font_count;

  if (!g.font_choose) return 0;
  CopyTrunc(typeface, typeface_size, g.font_typeface);
  if (justify != nullptr) *justify = g.font_justify;
  return 1;
}

int GetScreenSize(int* height, int* width) {
  if (height != nullptr) *height = sim::ScreenHeight();
  if (width != nullptr) *width = sim::ScreenWidth();
  return kPanelOk;
}

int GetModuleDir(void* /*module*/, char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return kPanelBadValue;
  const char* dir = sim::ModuleDir();
  if (dir == nullptr || std::strlen(dir) >= size) {
    buffer[0] = '\0';
    return kPanelBadValue;
  }
  CopyTrunc(buffer, size, dir);
  return kPanelOk;
}

// ---- observation and scripting ----

namespace mem {

void Reset() {
  model::Reset();
  Lock lock(g_mutex);
  for (Window& w : g.windows) {
    if (w.handle != 0 && sim::IsWindow(w.window)) sim::DestroyWindow(w.window);
  }
  std::memset(&g, 0, sizeof g);
}

const char* LastLoadError() {
  return model::LastLoadError();
}

int Handles(int* out, int max) {
  return model::Handles(out, max);
}

bool Snapshot(int panel, PanelState* out) {
  if (out == nullptr || !model::Snapshot(panel, out)) return false;
  out->window = WindowOf(panel);
  out->visible = WindowVisible(out->window);
  return true;
}

bool IsLoaded(int panel) {
  return model::IsLoaded(panel);
}

bool IsVisible(int panel) {
  return model::IsLoaded(panel) && WindowVisible(WindowOf(panel));
}

int ActivePanel() {
  return model::ActivePanel();
}

bool CtrlAttr(int panel, int control, int attribute, int* value) {
  return model::CtrlAttr(panel, control, attribute, value);
}

bool CtrlAttrText(int panel, int control, int attribute, char* out, size_t size) {
  return model::CtrlAttrText(panel, control, attribute, out, size);
}

bool CtrlText(int panel, int control, char* out, size_t size) {
  return model::CtrlText(panel, control, out, size);
}

bool CtrlWasSet(int panel, int control) {
  return model::CtrlWasSet(panel, control);
}

int PanelAttr(int panel, int attribute) {
  if (!model::IsLoaded(panel)) return -1;
  if (attribute == ATTR_BACKCOLOR) return model::PanelBackground(panel);
  if (attribute == ATTR_PANEL_DPI) return model::PanelDpi(panel);
  if (attribute == ATTR_VISIBLE) return IsVisible(panel) ? 1 : 0;
  return -1;
}

void QueueCommit(int panel, int control) {
  Queue(Event{EventKind::Commit, panel, control, "", nullptr, nullptr});
}

void QueueClose(int panel) {
  Queue(Event{EventKind::Close, panel, 0, "", nullptr, nullptr});
}

void QueueTyping(int panel, int control, const char* text) {
  Event e{EventKind::Typing, panel, control, "", nullptr, nullptr};
  CopyTrunc(e.text, sizeof e.text, text);
  Queue(e);
}

bool TypeText(int panel, int control, const char* text) {
  double min = 0;
  double max = 0;
  if (text == nullptr || GetCtrlRange(panel, control, &min, &max) != kPanelOk) return false;
  model::UserTyped(panel, control, text);
  return true;
}

namespace {
// The kind of a loaded panel's control, false when there is none; the entries of a dropdown.
bool KindOf(int panel, int control, uir::Kind* kind, int* entries) {
  std::lock_guard<std::mutex> lock(model::Mutex());
  const model::ControlState* c = model::FindControlLocked(panel, control);
  if (c == nullptr) return false;
  *kind = c->layout.kind;
  *entries = model::ListCount(*c);
  return true;
}
}  // namespace

bool ChooseValue(int panel, int control, int value) {
  uir::Kind kind = uir::Kind::Text;
  int entries = 0;
  if (!KindOf(panel, control, &kind, &entries)) return false;
  if (kind == uir::Kind::Checkbox && value != 0 && value != 1) return false;
  if (kind != uir::Kind::Checkbox && kind != uir::Kind::Colour && kind != uir::Kind::Slider) {
    return false;
  }
  model::UserChose(panel, control, value);
  return true;
}

bool ChooseEntry(int panel, int control, int index) {
  uir::Kind kind = uir::Kind::Text;
  int entries = 0;
  if (!KindOf(panel, control, &kind, &entries) || kind != uir::Kind::Dropdown) return false;
  if (index < 0 || index >= entries) return false;
  model::UserChoseEntry(panel, control, index);
  return true;
}

void QueueCall(void (*fn)(void*), void* data) {
  Queue(Event{EventKind::Call, 0, 0, "", fn, data});
}

int QueuedEvents() {
  Lock lock(g_mutex);
  return g.queue_count;
}

bool LastLoopEndedByQuit() {
  return model::LastLoopEndedByQuit();
}

int LoopDepth() {
  return model::LoopDepth();
}

void ScriptFontDialog(bool choose, const char* typeface, int justify) {
  Lock lock(g_mutex);
  g.font_choose = choose;
  CopyTrunc(g.font_typeface, sizeof g.font_typeface, typeface);
  g.font_justify = justify;
}

int FontDialogCount() {
  Lock lock(g_mutex);
  return g.font_count;
}

const FontDialogCall* LastFontDialog() {
  Lock lock(g_mutex);
  return g.font_count > 0 ? &g.font_last : nullptr;
}

int ImageLoadCount() {
  Lock lock(g_mutex);
  return g.image_count;
}

const char* ImageLoadAt(int i) {
  Lock lock(g_mutex);
  if (i < 0 || i >= g.image_count || i >= kMaxImageLog) return nullptr;
  return g.images[i];
}

}  // namespace mem
