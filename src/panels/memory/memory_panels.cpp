// The headless panel run-time (Linux): every panel operation of panels.h over static state that
// tests and pelta-tool observe through memory_panels.h.
//
// Each loaded panel is a slot holding the panel's layout, each control's value and the
// attributes the plug-in has set (in first-set order, updated in place), and a simulated
// top-level window with the panel's caption: whether the panel is shown is read from that
// window, so the plug-in's own SetWindowPos(..., SWP_SHOWWINDOW) on it counts as showing it,
// as it does with native windows. Handles come from a counter that never goes back, so a
// discarded handle stays invalid for the rest of the process.
//
// One mutex guards everything here. Control callbacks are run with it released, because a
// callback calls panel operations (HidePanel, QuitUserInterface). Lock order: this mutex, then
// the simulated desktop's (which never calls back here), then the layout reader's buffer lock.
//
// The event loop does not wait for a user: it dispatches the events the test queued and returns
// as soon as there are none, so a test whose callback forgets to quit fails instead of hanging.
#include "panels/memory/memory_panels.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "panels/panels.h"
#include "panels/picture_bounds.h"
#include "platform/sim/sim.h"

namespace {

constexpr int kMaxLoaded = 8;     // panels loaded at once
constexpr int kMaxQueue = 64;     // queued user events
constexpr int kMaxDepth = 16;     // nested event loops
constexpr int kMaxImageLog = 64;  // DisplayImageFile paths kept
constexpr int kTypefaceMax = 1024;

// Results. Any negative value is an error to the plug-in; the distinct codes help a debugger.
constexpr int kOk = 0;
constexpr int kErrPanel = -1;     // handle not loaded
constexpr int kErrControl = -2;   // no such control on the panel
constexpr int kErrValue = -3;     // wrong type, null or too long
constexpr int kErrCapacity = -4;  // a fixed table is full
constexpr int kErrFile = -5;      // file missing, unreadable or malformed
constexpr int kErrNoPanel = -6;   // the layout file has no such panel
constexpr int kErrCallback = -7;  // a callback name missing from the table

struct Slot {
  bool used;
  mem::PanelState state;
  PanelCallback fns[uir::kMaxControls];
  bool was_set[uir::kMaxControls];
};

struct Event {
  bool close;  // close request on the panel, else a commit on the control
  int panel;
  int control;
};

// Everything that mem::Reset() empties. Plain data, so Reset can clear it in place.
struct State {
  Slot slots[kMaxLoaded];
  int active;
  const PanelCallbackEntry* table;
  int table_count;
  bool initialised;

  Event queue[kMaxQueue];
  int queue_head;
  int queue_count;
  int depth;
  bool quit[kMaxDepth + 1];  // quit[level] ends the loop running at that depth
  bool last_loop_quit;

  bool font_choose;
  char font_typeface[kTypefaceMax];
  int font_justify;
  mem::FontDialogCall font_last;
  int font_count;

  char images[kMaxImageLog][mem::kTextMax];
  int image_count;

  char load_error[512];
  uir::Layout layout;  // scratch for LoadPanelEx
};

std::mutex g_mutex;
State g;
int g_next_handle = 1;  // not reset: handles are never reused while the process runs

using Lock = std::lock_guard<std::mutex>;

void CopyTrunc(char* dst, size_t size, const char* src) {
  if (size == 0) return;
  size_t n = src != nullptr ? std::strlen(src) : 0;
  if (n >= size) n = size - 1;
  if (n > 0) std::memcpy(dst, src, n);
  dst[n] = '\0';
}

// Copies all of src or reports that it does not fit (dst then holds a truncated copy).
bool CopyFits(char* dst, size_t size, const char* src) {
  if (dst == nullptr || size == 0) return false;
  CopyTrunc(dst, size, src);
  return std::strlen(src) < size;
}

Slot* FindSlot(int handle) {
  if (handle <= 0) return nullptr;
  for (Slot& s : g.slots) {
    if (s.used && s.state.handle == handle) return &s;
  }
  return nullptr;
}

int FindControlIndex(const Slot& s, int control) {
  for (int i = 0; i < s.state.control_count; ++i) {
    if (s.state.controls[i].layout.number == control) return i;
  }
  return -1;
}

// The control, or null with *rc set to the error.
mem::ControlState* FindCtrl(int panel, int control, int* rc, Slot** slot_out = nullptr,
                            int* index_out = nullptr) {
  Slot* s = FindSlot(panel);
  if (s == nullptr) {
    *rc = kErrPanel;
    return nullptr;
  }
  int i = FindControlIndex(*s, control);
  if (i < 0) {
    *rc = kErrControl;
    return nullptr;
  }
  if (slot_out != nullptr) *slot_out = s;
  if (index_out != nullptr) *index_out = i;
  return &s->state.controls[i];
}

bool IsNumericKind(uir::Kind k) {
  return k == uir::Kind::Numeric || k == uir::Kind::Float;
}

bool WindowVisible(HWND window) {
  sim::WindowInfo info;
  return window != nullptr && sim::GetInfo(window, &info) && info.visible;
}

void MarkSet(int panel, int control) {
  Slot* s = FindSlot(panel);
  int i = s != nullptr ? FindControlIndex(*s, control) : -1;
  if (i >= 0) s->was_set[i] = true;
}

void SetNumeric(mem::ControlState* c, int value) {
  c->int_value = value;
  std::snprintf(c->text, sizeof c->text, "%d", value);
  c->has_value = true;
}

void SetFloat(mem::ControlState* c, double value) {
  c->float_value = value;
  std::snprintf(c->text, sizeof c->text, "%.1f", value);
  c->has_value = true;
}

void SeedControl(mem::ControlState* c, const uir::Control& layout) {
  std::memset(c, 0, sizeof *c);
  c->layout = layout;
  switch (layout.kind) {
    case uir::Kind::Numeric: {
      // The reader accepted the value: decimal, or hex with 0x (never octal).
      const char* v = layout.value;
      bool hex = v[0] == '0' && (v[1] == 'x' || v[1] == 'X');
      SetNumeric(c, static_cast<int>(std::strtoll(v, nullptr, hex ? 16 : 10)));
      break;
    }
    case uir::Kind::Float:
      SetFloat(c, std::strtod(layout.value, nullptr));
      break;
    default:
      CopyTrunc(c->text, sizeof c->text, layout.value);
      break;
  }
  c->has_value = layout.value[0] != '\0';
}

// Attribute codes whose value is text; every other known code takes an integer.
bool IsTextAttr(int code) {
  return code == ATTR_TEXT_FONT || code == ATTR_INDICATOR_TEXT;
}
bool IsKnownIntAttr(int code) {
  switch (code) {
    case ATTR_VISIBLE:
    case ATTR_LEFT:
    case ATTR_TOP:
    case ATTR_DECORATION_COLOR:
    case ATTR_TEXT_COLOR:
    case ATTR_TEXT_POINT_SIZE:
    case ATTR_TEXT_BGCOLOR:
    case ATTR_TEXT_JUSTIFY:
    case ATTR_FILL_COLOR:
      return true;
    default:
      return false;
  }
}

// The layout file's value of a known integer attribute.
bool LayoutIntAttr(const uir::Control& c, int code, int* value) {
  switch (code) {
    case ATTR_VISIBLE:
      *value = c.visible ? 1 : 0;
      return true;
    case ATTR_LEFT:
      *value = c.left;
      return true;
    case ATTR_TOP:
      *value = c.top;
      return true;
    case ATTR_DECORATION_COLOR:  // a decoration is drawn in its fill colour
    case ATTR_FILL_COLOR:
      *value = c.fill_colour;
      return true;
    case ATTR_TEXT_COLOR:
      *value = c.text_colour;
      return true;
    case ATTR_TEXT_POINT_SIZE:
      *value = c.point_size;
      return true;
    case ATTR_TEXT_BGCOLOR:
      *value = c.back_colour;
      return true;
    case ATTR_TEXT_JUSTIFY:
      *value = c.justify;
      return true;
    default:
      return false;
  }
}

const mem::AttrValue* FindAttr(const mem::ControlState& c, int code) {
  for (int i = 0; i < c.attr_count; ++i) {
    if (c.attrs[i].code == code) return &c.attrs[i];
  }
  return nullptr;
}

// The record for `code`, new at the end when not yet set; null when the table is full.
mem::AttrValue* AttrRecord(mem::ControlState* c, int code) {
  for (int i = 0; i < c->attr_count; ++i) {
    if (c->attrs[i].code == code) return &c->attrs[i];
  }
  if (c->attr_count >= mem::kMaxAttrs) return nullptr;
  mem::AttrValue* a = &c->attrs[c->attr_count++];
  std::memset(a, 0, sizeof *a);
  a->code = code;
  return a;
}

void DiscardSlot(Slot* s) {
  if (s->state.window != nullptr && sim::IsWindow(s->state.window)) {
    sim::DestroyWindow(s->state.window);
  }
  if (g.active == s->state.handle) g.active = 0;
  s->used = false;
  s->state.handle = 0;
  s->state.window = nullptr;
}

// What one queued event asks for, resolved under the lock, run after it is released.
struct Dispatch {
  PanelCallback fn;
  int panel;
  int control;
  bool end_loop;  // a close request on a panel without a close control
};

// Pops events until one does something. Events for discarded panels, or commits on controls
// without a callback, are dropped. False when the queue is empty.
bool NextEvent(Dispatch* d) {
  while (g.queue_count > 0) {
    Event e = g.queue[g.queue_head];
    g.queue_head = (g.queue_head + 1) % kMaxQueue;
    --g.queue_count;
    Slot* s = FindSlot(e.panel);
    if (s == nullptr) continue;
    int control = e.close ? s->state.layout.close_control : e.control;
    int i = control != 0 ? FindControlIndex(*s, control) : -1;
    if (i >= 0 && s->fns[i] != nullptr) {
      *d = Dispatch{s->fns[i], e.panel, control, false};
      return true;
    }
    if (e.close) {
      // Nothing to press: the window just closes, and a dialog's loop must still end.
      sim::ShowWindow(s->state.window, false);
      *d = Dispatch{nullptr, e.panel, 0, true};
      return true;
    }
  }
  return false;
}

void Queue(bool close, int panel, int control) {
  Lock lock(g_mutex);
  if (g.queue_count >= kMaxQueue) return;  // a test that queues more has a bug of its own
  int tail = (g.queue_head + g.queue_count) % kMaxQueue;
  g.queue[tail] = Event{close, panel, control};
  ++g.queue_count;
}

}  // namespace

// ---- panel operations ----

void SetPanelCallbackTable(const PanelCallbackEntry* table, int count) {
  Lock lock(g_mutex);
  g.table = count > 0 ? table : nullptr;
  g.table_count = table != nullptr && count > 0 ? count : 0;
}

int InitCVIRTE(void* /*module*/) {
  Lock lock(g_mutex);
  g.initialised = true;
  return 1;
}

void CloseCVIRTE() {
  Lock lock(g_mutex);
  for (Slot& s : g.slots) {
    if (s.used) DiscardSlot(&s);
  }
  g.initialised = false;
}

int LoadPanelEx(int parent, const char* uir_path, int panel_number, void* /*module*/) {
  if (parent != 0 || uir_path == nullptr) return kErrValue;
  char path[mem::kTextMax];
  bool mapped = sim::MapPath(uir_path, path, sizeof path);

  Lock lock(g_mutex);
  g.load_error[0] = '\0';
  if (!mapped) {
    std::snprintf(g.load_error, sizeof g.load_error, "%.400s: path too long", uir_path);
    return kErrFile;
  }
  uir::Error error;
  if (!uir::ReadFile(path, &g.layout, &error)) {
    uir::FormatError(error, g.load_error, sizeof g.load_error);
    return kErrFile;
  }
  const uir::Panel* panel = uir::FindPanel(g.layout, panel_number);
  if (panel == nullptr) {
    std::snprintf(g.load_error, sizeof g.load_error, "%.400s: no panel %d", path, panel_number);
    return kErrNoPanel;
  }
  PanelCallback fns[uir::kMaxControls] = {};
  for (int i = 0; i < panel->control_count; ++i) {
    const char* name = panel->controls[i].callback;
    if (name[0] == '\0') continue;
    for (int t = 0; t < g.table_count; ++t) {
      if (g.table[t].name != nullptr && std::strcmp(g.table[t].name, name) == 0) {
        fns[i] = g.table[t].fn;
        break;
      }
    }
    if (fns[i] == nullptr) {
      std::snprintf(g.load_error, sizeof g.load_error,
                    "%.400s:%d: callback '%s' is not in the library's table", path,
                    panel->controls[i].line, name);
      return kErrCallback;
    }
  }
  Slot* slot = nullptr;
  for (Slot& s : g.slots) {
    if (!s.used) {
      slot = &s;
      break;
    }
  }
  if (slot == nullptr) {
    std::snprintf(g.load_error, sizeof g.load_error, "more than %d panels loaded", kMaxLoaded);
    return kErrCapacity;
  }

  std::memset(slot, 0, sizeof *slot);
  mem::PanelState& st = slot->state;
  st.handle = g_next_handle++;
  st.layout = *panel;
  st.background = panel->background;
  st.control_count = panel->control_count;
  for (int i = 0; i < panel->control_count; ++i) {
    SeedControl(&st.controls[i], panel->controls[i]);
    slot->fns[i] = fns[i];
  }
  RECT rect{panel->left, panel->top, panel->left + panel->width, panel->top + panel->height};
  st.window = sim::CreateWindow(panel->caption, rect);
  if (st.window == nullptr) {
    std::snprintf(g.load_error, sizeof g.load_error, "no window for panel %d", panel_number);
    return kErrCapacity;
  }
  sim::ShowWindow(st.window, false);  // loaded panels start hidden
  slot->used = true;
  return st.handle;
}

int DisplayPanel(int panel) {
  Lock lock(g_mutex);
  Slot* s = FindSlot(panel);
  if (s == nullptr) return kErrPanel;
  sim::ShowWindow(s->state.window, true);
  return kOk;
}

int HidePanel(int panel) {
  Lock lock(g_mutex);
  Slot* s = FindSlot(panel);
  if (s == nullptr) return kErrPanel;
  sim::ShowWindow(s->state.window, false);
  return kOk;
}

int DiscardPanel(int panel) {
  Lock lock(g_mutex);
  Slot* s = FindSlot(panel);
  if (s == nullptr) return kErrPanel;
  DiscardSlot(s);
  return kOk;
}

int SetActivePanel(int panel) {
  Lock lock(g_mutex);
  if (FindSlot(panel) == nullptr) return kErrPanel;
  g.active = panel;
  return kOk;
}

int SetCtrlVal(int panel, int control, const char* text) {
  if (text == nullptr) return kErrValue;
  Lock lock(g_mutex);
  int rc = kOk;
  mem::ControlState* c = FindCtrl(panel, control, &rc);
  if (c == nullptr) return rc;
  if (IsNumericKind(c->layout.kind)) return kErrValue;
  CopyTrunc(c->text, sizeof c->text, text);
  c->has_value = true;
  MarkSet(panel, control);
  return kOk;
}

int SetCtrlVal(int panel, int control, int value) {
  Lock lock(g_mutex);
  int rc = kOk;
  mem::ControlState* c = FindCtrl(panel, control, &rc);
  if (c == nullptr) return rc;
  if (c->layout.kind == uir::Kind::Numeric) {
    SetNumeric(c, value);
  } else if (c->layout.kind == uir::Kind::Float) {
    SetFloat(c, value);
  } else {
    std::snprintf(c->text, sizeof c->text, "%d", value);
    c->has_value = true;
  }
  MarkSet(panel, control);
  return kOk;
}

int SetCtrlVal(int panel, int control, double value) {
  if (std::isnan(value)) return kErrValue;
  Lock lock(g_mutex);
  int rc = kOk;
  mem::ControlState* c = FindCtrl(panel, control, &rc);
  if (c == nullptr) return rc;
  if (c->layout.kind == uir::Kind::Numeric) {
    // An integer field takes the nearest integer it can hold.
    double v = value < INT_MIN ? INT_MIN : (value > INT_MAX ? INT_MAX : value);
    SetNumeric(c, static_cast<int>(std::lround(v)));
  } else if (c->layout.kind == uir::Kind::Float) {
    SetFloat(c, value);
  } else {
    std::snprintf(c->text, sizeof c->text, "%g", value);
    c->has_value = true;
  }
  MarkSet(panel, control);
  return kOk;
}

int GetCtrlVal(int panel, int control, int* value) {
  if (value == nullptr) return kErrValue;
  Lock lock(g_mutex);
  int rc = kOk;
  mem::ControlState* c = FindCtrl(panel, control, &rc);
  if (c == nullptr) return rc;
  if (c->layout.kind == uir::Kind::Numeric) {
    *value = c->int_value;
  } else if (c->layout.kind == uir::Kind::Float) {
    double v = c->float_value;
    *value = static_cast<int>(v < INT_MIN ? INT_MIN : (v > INT_MAX ? INT_MAX : v));
  } else {
    return kErrValue;
  }
  return kOk;
}

int GetCtrlVal(int panel, int control, float* value) {
  if (value == nullptr) return kErrValue;
  Lock lock(g_mutex);
  int rc = kOk;
  mem::ControlState* c = FindCtrl(panel, control, &rc);
  if (c == nullptr) return rc;
  if (c->layout.kind == uir::Kind::Float) {
    *value = static_cast<float>(c->float_value);
  } else if (c->layout.kind == uir::Kind::Numeric) {
    *value = static_cast<float>(c->int_value);
  } else {
    return kErrValue;
  }
  return kOk;
}

int GetCtrlRange(int panel, int control, double* min, double* max) {
  if (min == nullptr || max == nullptr) return kErrValue;
  Lock lock(g_mutex);
  int rc = kOk;
  mem::ControlState* c = FindCtrl(panel, control, &rc);
  if (c == nullptr) return rc;
  if (!IsNumericKind(c->layout.kind)) return kErrValue;
  *min = c->layout.min;
  *max = c->layout.max;
  return kOk;
}

int GetCtrlVal(int panel, int control, char* text, size_t size) {
  if (text == nullptr || size == 0) return kErrValue;
  text[0] = '\0';
  Lock lock(g_mutex);
  int rc = kOk;
  mem::ControlState* c = FindCtrl(panel, control, &rc);
  if (c == nullptr) return rc;
  return CopyFits(text, size, c->text) ? kOk : kErrValue;
}

int SetCtrlAttribute(int panel, int control, int attribute, int value) {
  Lock lock(g_mutex);
  int rc = kOk;
  mem::ControlState* c = FindCtrl(panel, control, &rc);
  if (c == nullptr) return rc;
  if (IsTextAttr(attribute)) return kErrValue;
  mem::AttrValue* a = AttrRecord(c, attribute);
  if (a == nullptr) return kErrCapacity;
  a->is_text = false;
  a->number = value;
  a->text[0] = '\0';
  return kOk;
}

int SetCtrlAttribute(int panel, int control, int attribute, const char* value) {
  if (value == nullptr || std::strlen(value) >= static_cast<size_t>(uir::kNameMax)) {
    return kErrValue;
  }
  Lock lock(g_mutex);
  int rc = kOk;
  mem::ControlState* c = FindCtrl(panel, control, &rc);
  if (c == nullptr) return rc;
  if (IsKnownIntAttr(attribute)) return kErrValue;
  mem::AttrValue* a = AttrRecord(c, attribute);
  if (a == nullptr) return kErrCapacity;
  a->is_text = true;
  a->number = 0;
  CopyTrunc(a->text, sizeof a->text, value);
  return kOk;
}

int SetPanelAttribute(int panel, int attribute, int value) {
  Lock lock(g_mutex);
  Slot* s = FindSlot(panel);
  if (s == nullptr) return kErrPanel;
  if (attribute != ATTR_BACKCOLOR) return kErrValue;
  s->state.background = value;
  return kOk;
}

// A text box holds exactly the text given, as a text control does after SetCtrlVal.
int ResetTextBox(int panel, int control, const char* text) {
  return SetCtrlVal(panel, control, text);
}

int DisplayImageFile(int panel, int control, const char* path) {
  if (path == nullptr) return kErrValue;
  char native[mem::kTextMax];
  bool mapped = sim::MapPath(path, native, sizeof native);  // false also when too long
  int width = 0;
  int height = 0;
  bool shown = mapped && CheckPictureFile(native, &width, &height) == PictureCheck::kOk;

  Lock lock(g_mutex);
  if (g.image_count < kMaxImageLog)
    CopyTrunc(g.images[g.image_count], mem::kTextMax, mapped ? native : path);
  if (g.image_count < INT_MAX) ++g.image_count;
  int rc = kOk;
  mem::ControlState* c = FindCtrl(panel, control, &rc);
  if (c == nullptr) return rc;
  if (c->layout.kind != uir::Kind::Picture) return kErrValue;
  if (!shown) return kErrFile;
  CopyTrunc(c->text, sizeof c->text, native);
  c->has_value = true;
  return kOk;
}

int FontSelectPopup(const char* title, const char* sample_text, int fixed_pitch_only,
                    char* typeface, size_t typeface_size, int* /*bold*/, int* /*underline*/,
                    int* /*strike_out*/, int* /*italic*/, int* justify, int* /*text_color*/,
                    int* /*point_size*/, int min_point_size, int max_point_size, int show_default,
                    int allow_system) {
  if (typeface == nullptr || typeface_size == 0) return kErrValue;
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

int RunUserInterface() {
  int level;
  {
    Lock lock(g_mutex);
    if (g.depth >= kMaxDepth) return kErrCapacity;
    level = ++g.depth;
    g.quit[level] = false;
  }
  bool by_quit = false;
  for (;;) {
    Dispatch d{};
    {
      Lock lock(g_mutex);
      if (g.quit[level]) {
        by_quit = true;
        break;
      }
      if (!NextEvent(&d)) break;
      if (d.end_loop) {
        by_quit = true;
        break;
      }
    }
    if (d.fn != nullptr) d.fn(d.panel, d.control, EVENT_COMMIT, nullptr, 0, 0);
  }
  Lock lock(g_mutex);
  g.quit[level] = false;
  --g.depth;
  g.last_loop_quit = by_quit;
  return by_quit ? 0 : -1;
}

int QuitUserInterface(int /*code*/) {
  Lock lock(g_mutex);
  if (g.depth > 0) g.quit[g.depth] = true;  // the innermost loop; outside a loop, nothing
  return kOk;
}

int ProcessSystemEvents() {
  int pending;
  {
    Lock lock(g_mutex);
    pending = g.queue_count;  // events queued by the callbacks wait for the next call
  }
  for (int i = 0; i < pending; ++i) {
    Dispatch d{};
    {
      Lock lock(g_mutex);
      if (!NextEvent(&d)) break;
      if (d.end_loop) {
        if (g.depth > 0) g.quit[g.depth] = true;
        continue;
      }
    }
    if (d.fn != nullptr) d.fn(d.panel, d.control, EVENT_COMMIT, nullptr, 0, 0);
  }
  return kOk;
}

int GetScreenSize(int* height, int* width) {
  if (height != nullptr) *height = sim::ScreenHeight();
  if (width != nullptr) *width = sim::ScreenWidth();
  return kOk;
}

int GetModuleDir(void* /*module*/, char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return kErrValue;
  const char* dir = sim::ModuleDir();
  if (dir == nullptr || std::strlen(dir) >= size) {
    buffer[0] = '\0';
    return kErrValue;
  }
  CopyTrunc(buffer, size, dir);
  return kOk;
}

// ---- observation and scripting ----

namespace mem {

void Reset() {
  Lock lock(g_mutex);
  for (Slot& s : g.slots) {
    if (s.used) DiscardSlot(&s);
  }
  std::memset(&g, 0, sizeof g);
}

const char* LastLoadError() {
  return g.load_error;
}

int Handles(int* out, int max) {
  if (out == nullptr || max <= 0) return 0;
  Lock lock(g_mutex);
  int count = 0;
  for (const Slot& s : g.slots) {
    if (!s.used || count >= max) continue;
    // Insertion by handle: handles grow with each load, so this is load order.
    int i = count++;
    while (i > 0 && out[i - 1] > s.state.handle) {
      out[i] = out[i - 1];
      --i;
    }
    out[i] = s.state.handle;
  }
  return count;
}

bool Snapshot(int panel, PanelState* out) {
  if (out == nullptr) return false;
  Lock lock(g_mutex);
  const Slot* s = FindSlot(panel);
  if (s == nullptr) return false;
  *out = s->state;
  out->visible = WindowVisible(s->state.window);
  return true;
}

bool IsLoaded(int panel) {
  Lock lock(g_mutex);
  return FindSlot(panel) != nullptr;
}

bool IsVisible(int panel) {
  Lock lock(g_mutex);
  const Slot* s = FindSlot(panel);
  return s != nullptr && WindowVisible(s->state.window);
}

int ActivePanel() {
  Lock lock(g_mutex);
  return g.active;
}

bool CtrlAttr(int panel, int control, int attribute, int* value) {
  if (value == nullptr) return false;
  Lock lock(g_mutex);
  int rc = kOk;
  const ControlState* c = FindCtrl(panel, control, &rc);
  if (c == nullptr) return false;
  if (const AttrValue* a = FindAttr(*c, attribute)) {
    if (a->is_text) return false;
    *value = a->number;
    return true;
  }
  return LayoutIntAttr(c->layout, attribute, value);
}

bool CtrlAttrText(int panel, int control, int attribute, char* out, size_t size) {
  if (out == nullptr || size == 0) return false;
  Lock lock(g_mutex);
  int rc = kOk;
  const ControlState* c = FindCtrl(panel, control, &rc);
  if (c == nullptr) return false;
  if (const AttrValue* a = FindAttr(*c, attribute)) {
    return a->is_text && CopyFits(out, size, a->text);
  }
  if (attribute == ATTR_TEXT_FONT) return CopyFits(out, size, c->layout.font);
  return false;
}

bool CtrlText(int panel, int control, char* out, size_t size) {
  if (out == nullptr || size == 0) return false;
  Lock lock(g_mutex);
  int rc = kOk;
  const ControlState* c = FindCtrl(panel, control, &rc);
  if (c == nullptr) return false;
  return CopyFits(out, size, c->text);
}

bool CtrlWasSet(int panel, int control) {
  Lock lock(g_mutex);
  const Slot* s = FindSlot(panel);
  int i = s != nullptr ? FindControlIndex(*s, control) : -1;
  return i >= 0 && s->was_set[i];
}

int PanelAttr(int panel, int attribute) {
  Lock lock(g_mutex);
  const Slot* s = FindSlot(panel);
  if (s == nullptr) return -1;
  if (attribute == ATTR_BACKCOLOR) return s->state.background;
  if (attribute == ATTR_VISIBLE) return WindowVisible(s->state.window) ? 1 : 0;
  return -1;
}

bool TypeText(int panel, int control, const char* text) {
  if (text == nullptr) return false;
  Lock lock(g_mutex);
  int rc = kOk;
  mem::ControlState* c = FindCtrl(panel, control, &rc);
  if (c == nullptr || !IsNumericKind(c->layout.kind)) return false;
  CopyTrunc(c->text, sizeof c->text, text);
  // What the Windows fields read from typed text: decimal, clamped to the range, 0 for text
  // that is no number (or not a finite one).
  char* end = nullptr;
  double v = std::strtod(c->text, &end);
  if (end == c->text || !std::isfinite(v)) v = 0;
  v = v < c->layout.min ? c->layout.min : (v > c->layout.max ? c->layout.max : v);
  if (c->layout.kind == uir::Kind::Numeric) {
    c->int_value = static_cast<int>(v < INT_MIN ? INT_MIN : (v > INT_MAX ? INT_MAX : v));
  } else {
    c->float_value = v;
  }
  c->has_value = true;
  return true;
}

void QueueCommit(int panel, int control) {
  Queue(false, panel, control);
}
void QueueClose(int panel) {
  Queue(true, panel, 0);
}

int QueuedEvents() {
  Lock lock(g_mutex);
  return g.queue_count;
}

bool LastLoopEndedByQuit() {
  Lock lock(g_mutex);
  return g.last_loop_quit;
}

int LoopDepth() {
  Lock lock(g_mutex);
  return g.depth;
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
