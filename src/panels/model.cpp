// The panel model: every panel call of panels.h, once, for every platform (see model.h).
//
// Values. Every control keeps its value as the text it shows. A number field's value is read
// from that text, as the user left it: decimal, clamped to the field's min..max from the layout
// (text that is no number reads as 0 before clamping, and so does a NaN), so a settings field
// never hands the plug-in a value its layout does not allow. Text fields take text and numbers
// (formatted); number fields refuse text.
//
// Attributes. Each known code takes one type: ATTR_TEXT_FONT text (shorter than uir::kNameMax:
// a longer name is refused and the control keeps its typeface), ATTR_INDICATOR_TEXT text or an
// integer (shown in decimal), the rest integers. Point sizes are 1..255, widths and heights
// 0..32767; colours keep their low 24 bits. Unknown codes are refused.
//
// Loops. Each RunUserInterface pushes a frame naming the panel it runs for; a quit request
// marks the frame it names and the loop returns once its own frame is marked. A request that
// finds no frame is dropped, so it cannot end a later loop.
#include "panels/model.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "panels/driver.h"
#include "panels/model_state.h"

namespace model {

std::mutex g_mutex;
State g;
int g_next_handle = 1;  // never reset: a discarded handle stays stale for the process's life

namespace {

// The number a field's text stands for, clamped to the field's range.
double FieldNumber(const ControlState& c) {
  char* end = nullptr;
  double value = std::strtod(c.text, &end);
  // Not a number, or not a finite one ("nan", "inf", "1e999"): 0, so no NaN or infinity
  // reaches a cast.
  if (end == c.text || !std::isfinite(value)) value = 0;
  if (value < c.layout.min) value = c.layout.min;
  if (value > c.layout.max) value = c.layout.max;
  return value;
}

int ToInt(double value) {
  if (value <= INT_MIN) return INT_MIN;
  if (value >= INT_MAX) return INT_MAX;
  return static_cast<int>(value);
}

}  // namespace

void CopyTrunc(char* dst, size_t size, const char* src) {
  if (size == 0) return;
  size_t n = src != nullptr ? std::strlen(src) : 0;
  if (n >= size) n = size - 1;
  if (n > 0) std::memcpy(dst, src, n);
  dst[n] = '\0';
}

bool CopyFits(char* dst, size_t size, const char* src) {
  if (dst == nullptr || size == 0) return false;
  CopyTrunc(dst, size, src);
  return std::strlen(src) < size;
}

bool IsNumberField(uir::Kind kind) {
  return uir::IsNumberKind(kind);
}

// A dropdown's entry for the value the plug-in set: an item, or else the extra "Other (N)"
// entry that keeps the value as it was (a value of a newer plug-in, or edited by hand).
void NoteOther(ControlState* c) {
  if (c->layout.kind != uir::Kind::Dropdown) return;
  c->has_other = true;
  for (int i = 0; i < c->layout.item_count; ++i) {
    if (c->layout.items[i].value == c->int_value) c->has_other = false;
  }
  c->other_value = c->int_value;
}

// A new value of the control as text: for a number field also what it reads as.
void StoreText(ControlState* c, const char* text) {
  CopyTrunc(c->text, sizeof c->text, text);
  if (IsNumberField(c->layout.kind)) {
    c->float_value = FieldNumber(*c);
    c->int_value = ToInt(c->float_value);
  }
  c->has_value = true;
  ++c->serial;
}

void SeedControl(ControlState* c, const uir::Control& layout) {
  std::memset(c, 0, sizeof *c);
  c->layout = layout;
  c->left = layout.left;
  c->top = layout.top;
  c->width = layout.width;
  c->height = layout.height;
  c->visible = layout.visible;
  CopyTrunc(c->font, sizeof c->font, layout.font);
  c->point_size = layout.point_size;
  c->justify = layout.justify;
  c->text_colour = layout.text_colour;
  c->back_colour = layout.back_colour;
  c->fill_colour = layout.fill_colour;
  char text[kTextMax];
  CopyTrunc(text, sizeof text, layout.kind == uir::Kind::Button ? layout.label : layout.value);
  if (uir::IsIntKind(layout.kind) && layout.value[0] != '\0') {
    // The reader accepted the value: decimal, or hex with 0x (never octal).
    const char* v = layout.value;
    bool hex = v[0] == '0' && (v[1] == 'x' || v[1] == 'X');
    FormatInt(text, sizeof text, static_cast<int>(std::strtoll(v, nullptr, hex ? 16 : 10)));
  } else if (layout.kind == uir::Kind::Float && layout.value[0] != '\0') {
    FormatFloat(text, sizeof text, std::strtod(layout.value, nullptr));
  }
  StoreText(c, text);
  NoteOther(c);
  c->has_value = layout.value[0] != '\0';
  c->value_serial = 1;
}

Slot* FindSlot(int handle) {
  if (handle <= 0) return nullptr;
  for (Slot& s : g.slots) {
    if (s.used && s.state.handle == handle) return &s;
  }
  return nullptr;
}

ControlState* FindCtrl(int handle, int control, int* rc) {
  Slot* s = FindSlot(handle);
  if (s == nullptr) {
    *rc = kPanelNotLoaded;
    return nullptr;
  }
  for (int i = 0; i < s->state.control_count; ++i) {
    if (s->state.controls[i].layout.number == control) return &s->state.controls[i];
  }
  *rc = kPanelNoControl;
  return nullptr;
}

// The record of `code` for inspection, new at the end when not yet set.
void Record(ControlState* c, int code, bool is_text, int number, const char* text) {
  AttrValue* a = nullptr;
  for (int i = 0; i < c->attr_count && a == nullptr; ++i) {
    if (c->attrs[i].code == code) a = &c->attrs[i];
  }
  if (a == nullptr) {
    if (c->attr_count >= kMaxAttrs) return;  // cannot happen: fewer known codes than records
    a = &c->attrs[c->attr_count++];
  }
  a->code = code;
  a->is_text = is_text;
  a->number = is_text ? 0 : number;
  CopyTrunc(a->text, sizeof a->text, is_text ? text : "");
}

bool IsIntAttr(int code) {
  switch (code) {
    case ATTR_VISIBLE:
    case ATTR_LEFT:
    case ATTR_TOP:
    case ATTR_WIDTH:
    case ATTR_HEIGHT:
    case ATTR_DECORATION_COLOR:
    case ATTR_FILL_COLOR:
    case ATTR_TEXT_COLOR:
    case ATTR_TEXT_BGCOLOR:
    case ATTR_TEXT_POINT_SIZE:
    case ATTR_TEXT_JUSTIFY:
      return true;
    default:
      return false;
  }
}

// Applies an integer attribute; the result code.
int ApplyInt(ControlState* c, int code, int value) {
  switch (code) {
    case ATTR_VISIBLE:
      c->visible = value != 0;
      break;
    case ATTR_LEFT:
      c->left = value;
      break;
    case ATTR_TOP:
      c->top = value;
      break;
    case ATTR_WIDTH:
      if (value < 0 || value > kMaxWidth) return kPanelBadValue;
      c->width = value;
      break;
    case ATTR_HEIGHT:
      if (value < 0 || value > kMaxWidth) return kPanelBadValue;
      c->height = value;
      break;
    case ATTR_DECORATION_COLOR:  // a decoration is drawn in its fill colour
    case ATTR_FILL_COLOR:
      c->fill_colour = value & 0xFFFFFF;
      break;
    case ATTR_TEXT_COLOR:
      c->text_colour = value & 0xFFFFFF;
      break;
    case ATTR_TEXT_BGCOLOR:
      c->back_colour = value & 0xFFFFFF;
      break;
    case ATTR_TEXT_POINT_SIZE:
      if (value < kMinPointSize || value > kMaxPointSize) return kPanelBadValue;
      c->point_size = value;
      break;
    case ATTR_TEXT_JUSTIFY:
      c->justify = value;
      break;
    case ATTR_INDICATOR_TEXT: {
      char text[32];
      FormatInt(text, sizeof text, value);
      CopyTrunc(c->indicator_text, sizeof c->indicator_text, text);
      Record(c, code, true, 0, text);
      ++c->serial;
      return kPanelOk;
    }
    case ATTR_TEXT_FONT:
      return kPanelBadValue;
    default:
      return kPanelBadAttribute;
  }
  bool colour = code == ATTR_DECORATION_COLOR || code == ATTR_FILL_COLOR ||
                code == ATTR_TEXT_COLOR || code == ATTR_TEXT_BGCOLOR;
  Record(c, code, false, colour ? value & 0xFFFFFF : value, nullptr);
  ++c->serial;
  return kPanelOk;
}

bool LoopFrame(int panel, int* index) {
  for (int i = g.depth - 1; i >= 0; --i) {
    if (panel == 0 || g.loops[i].panel == panel) {
      *index = i;
      return true;
    }
  }
  return false;
}

void DiscardSlot(Slot* s) {
  if (g.active == s->state.handle) g.active = 0;
  s->used = false;
}

Box ControlBox(uir::Kind kind, int left, int top, int width, int height, int justify) {
  int x = left;
  if (kind == uir::Kind::Text && justify == kJustifyRight) x = left + 8 - width;
  if (kind == uir::Kind::Text && justify == kJustifyCentre) x = left + 4 - width / 2;
  return Box{x, top, width, height};
}

Box ControlBox(const ControlState& c) {
  return ControlBox(c.layout.kind, c.left, c.top, c.width, c.height, c.justify);
}

int DevicePixels(int pixels, int dpi) {
  if (dpi == kLayoutDpi) return pixels;
  const long long scaled = static_cast<long long>(pixels) * dpi;
  const long long q = scaled >= 0 ? (scaled + kLayoutDpi / 2) / kLayoutDpi
                                  : -((-scaled + kLayoutDpi / 2) / kLayoutDpi);
  return q > INT_MAX ? INT_MAX : q < INT_MIN ? INT_MIN : static_cast<int>(q);
}

Box DeviceBox(const Box& box, int dpi) {
  const int left = DevicePixels(box.left, dpi);
  const int top = DevicePixels(box.top, dpi);
  return Box{left, top, DevicePixels(box.left + box.width, dpi) - left,
             DevicePixels(box.top + box.height, dpi) - top};
}

void FormatInt(char* out, size_t size, int value) {
  std::snprintf(out, size, "%d", value);
}

void FormatFloat(char* out, size_t size, double value) {
  std::snprintf(out, size, "%.1f", value);
}

std::mutex& Mutex() {
  return g_mutex;
}

PanelState* FindPanelLocked(int handle) {
  Slot* s = FindSlot(handle);
  return s != nullptr ? &s->state : nullptr;
}

ControlState* FindControlLocked(int handle, int control) {
  int rc = 0;
  return FindCtrl(handle, control, &rc);
}

bool Snapshot(int handle, PanelState* out) {
  if (out == nullptr) return false;
  Lock lock(g_mutex);
  const Slot* s = FindSlot(handle);
  if (s == nullptr) return false;
  *out = s->state;
  return true;
}

int Handles(int* out, int max) {
  if (out == nullptr || max <= 0) return 0;
  Lock lock(g_mutex);
  int count = 0;
  for (const Slot& s : g.slots) {
    if (!s.used || count >= max) continue;
    int i = count++;  // insertion by handle: handles grow with each load, so this is load order
    while (i > 0 && out[i - 1] > s.state.handle) {
      out[i] = out[i - 1];
      --i;
    }
    out[i] = s.state.handle;
  }
  return count;
}

bool IsLoaded(int handle) {
  Lock lock(g_mutex);
  return FindSlot(handle) != nullptr;
}

int ActivePanel() {
  Lock lock(g_mutex);
  return g.active;
}

bool CtrlAttr(int handle, int control, int code, int* value) {
  if (value == nullptr) return false;
  Lock lock(g_mutex);
  int rc = 0;
  const ControlState* c = FindCtrl(handle, control, &rc);
  if (c == nullptr) return false;
  switch (code) {
    case ATTR_VISIBLE:
      *value = c->visible ? 1 : 0;
      return true;
    case ATTR_LEFT:
      *value = c->left;
      return true;
    case ATTR_TOP:
      *value = c->top;
      return true;
    case ATTR_WIDTH:
      *value = c->width;
      return true;
    case ATTR_HEIGHT:
      *value = c->height;
      return true;
    case ATTR_DECORATION_COLOR:
    case ATTR_FILL_COLOR:
      *value = c->fill_colour;
      return true;
    case ATTR_TEXT_COLOR:
      *value = c->text_colour;
      return true;
    case ATTR_TEXT_POINT_SIZE:
      *value = c->point_size;
      return true;
    case ATTR_TEXT_BGCOLOR:
      *value = c->back_colour;
      return true;
    case ATTR_TEXT_JUSTIFY:
      *value = c->justify;
      return true;
    default:
      return false;
  }
}

bool CtrlAttrText(int handle, int control, int code, char* out, size_t size) {
  if (out == nullptr || size == 0) return false;
  Lock lock(g_mutex);
  int rc = 0;
  const ControlState* c = FindCtrl(handle, control, &rc);
  if (c == nullptr) return false;
  if (code == ATTR_TEXT_FONT) return CopyFits(out, size, c->font);
  if (code == ATTR_INDICATOR_TEXT) {
    for (int i = 0; i < c->attr_count; ++i) {
      if (c->attrs[i].code == code) return CopyFits(out, size, c->indicator_text);
    }
  }
  return false;
}

bool CtrlText(int handle, int control, char* out, size_t size) {
  if (out == nullptr || size == 0) return false;
  Lock lock(g_mutex);
  int rc = 0;
  const ControlState* c = FindCtrl(handle, control, &rc);
  return c != nullptr && CopyFits(out, size, c->text);
}

bool CtrlWasSet(int handle, int control) {
  Lock lock(g_mutex);
  int rc = 0;
  const ControlState* c = FindCtrl(handle, control, &rc);
  return c != nullptr && c->was_set;
}

int PanelBackground(int handle) {
  Lock lock(g_mutex);
  const Slot* s = FindSlot(handle);
  return s != nullptr ? s->state.background : -1;
}

int PanelDpi(int handle) {
  Lock lock(g_mutex);
  const Slot* s = FindSlot(handle);
  return s != nullptr ? s->state.dpi : -1;
}

const char* LastLoadError() {
  return g.load_error;
}

bool LastLoopEndedByQuit() {
  Lock lock(g_mutex);
  return g.last_loop_quit;
}

int LoopDepth() {
  Lock lock(g_mutex);
  return g.depth;
}

bool LoopRunsFor(int handle) {
  if (handle <= 0) return false;
  Lock lock(g_mutex);
  int index = 0;
  return LoopFrame(handle, &index);
}

void Commit(int handle, int control) {
  PanelCallback fn = nullptr;
  {
    Lock lock(g_mutex);
    int rc = 0;
    const ControlState* c = FindCtrl(handle, control, &rc);
    if (c != nullptr) fn = c->callback;
  }
  if (fn != nullptr) fn(handle, control, EVENT_COMMIT, nullptr, 0, 0);
}

void CloseRequest(int handle) {
  int close_control = 0;
  {
    Lock lock(g_mutex);
    const Slot* s = FindSlot(handle);
    if (s == nullptr) return;
    // A popup (the display strip) has no close box of its own; a close request sent to it
    // leaves it as it is, and the display timer hides it.
    if (s->state.layout.style != uir::Style::Dialog) return;
    close_control = s->state.layout.close_control;
    int rc = 0;
    const ControlState* c = close_control != 0 ? FindCtrl(handle, close_control, &rc) : nullptr;
    if (c == nullptr || c->callback == nullptr) close_control = 0;
  }
  if (close_control != 0) {
    Commit(handle, close_control);
    return;
  }
  // Nothing to press: the window just closes, and the panel's own loop (only) ends.
  HidePanel(handle);
  QuitUserInterface(handle);
}

int ListCount(const ControlState& c) {
  if (c.layout.kind != uir::Kind::Dropdown) return 0;
  return c.layout.item_count + (c.has_other ? 1 : 0);
}

bool ListEntry(const ControlState& c, int index, char* text, size_t size, int* value) {
  if (index < 0 || index >= ListCount(c)) return false;
  if (index < c.layout.item_count) {
    if (text != nullptr) CopyTrunc(text, size, c.layout.items[index].text);
    if (value != nullptr) *value = c.layout.items[index].value;
  } else {
    if (text != nullptr) std::snprintf(text, size, "Other (%d)", c.other_value);
    if (value != nullptr) *value = c.other_value;
  }
  return true;
}

int ListIndex(const ControlState& c) {
  int value = 0;
  for (int i = 0; ListEntry(c, i, nullptr, 0, &value); ++i) {
    if (value == c.int_value) return i;
  }
  return -1;
}

bool Checked(const ControlState& c) {
  return c.int_value != 0;
}

const char* KeyName(int key, char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return "";
  struct Named {
    int key;
    const char* name;
  };
  static const Named kNames[] = {
      {0x08, "Backspace"}, {0x09, "Tab"},          {0x0D, "Enter"},         {0x10, "Shift"},
      {0x11, "Ctrl"},      {0x12, "Alt"},          {0x13, "Pause"},         {0x14, "Caps Lock"},
      {0x1B, "Esc"},       {0x20, "Space"},        {0x21, "Page Up"},       {0x22, "Page Down"},
      {0x23, "End"},       {0x24, "Home"},         {0x25, "Left"},          {0x26, "Up"},
      {0x27, "Right"},     {0x28, "Down"},         {0x2C, "Print Screen"},  {0x2D, "Insert"},
      {0x2E, "Delete"},    {0x5B, "Left Windows"}, {0x5C, "Right Windows"}, {0x5D, "Menu"},
      {0x6A, "Num *"},     {0x6B, "Num +"},        {0x6D, "Num -"},         {0x6E, "Num ."},
      {0x6F, "Num /"},     {0x90, "Num Lock"},     {0x91, "Scroll Lock"},
  };
  buffer[0] = '\0';
  if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) {
    std::snprintf(buffer, size, "%c", key);
  } else if (key >= 0x60 && key <= 0x69) {
    std::snprintf(buffer, size, "Num %d", key - 0x60);
  } else if (key >= 0x70 && key <= 0x87) {
    std::snprintf(buffer, size, "F%d", key - 0x70 + 1);
  } else {
    for (const Named& n : kNames) {
      if (n.key == key) CopyTrunc(buffer, size, n.name);
    }
  }
  if (buffer[0] == '\0') CopyTrunc(buffer, size, "none");
  return buffer;
}

void LabelText(const char* label, char* out, size_t size) {
  if (out == nullptr || size == 0) return;
  size_t o = 0;
  for (const char* p = label != nullptr ? label : ""; *p != '\0' && o + 1 < size; ++p) {
    if (*p == '&' && *++p == '\0') break;
    out[o++] = *p;
  }
  out[o] = '\0';
}

char Mnemonic(const char* label) {
  for (const char* p = label != nullptr ? label : ""; *p != '\0'; ++p) {
    if (*p != '&') continue;
    if (*++p != '&') return (*p >= 'A' && *p <= 'Z') ? static_cast<char>(*p - 'A' + 'a') : *p;
  }
  return '\0';
}

void UserChose(int handle, int control, int value) {
  char text[32];
  FormatInt(text, sizeof text, value);
  UserTyped(handle, control, text);
}

void UserChoseEntry(int handle, int control, int index) {
  int value = 0;
  {
    Lock lock(g_mutex);
    int rc = 0;
    const ControlState* c = FindCtrl(handle, control, &rc);
    if (c == nullptr || !ListEntry(*c, index, nullptr, 0, &value)) return;
  }
  UserChose(handle, control, value);
}

void UserTyped(int handle, int control, const char* text) {
  if (text == nullptr) return;
  Lock lock(g_mutex);
  int rc = 0;
  ControlState* c = FindCtrl(handle, control, &rc);
  if (c == nullptr || std::strcmp(c->text, text) == 0) return;
  StoreText(c, text);  // the field already shows it: value_serial stays
}

void Reset() {
  int handles[kMaxLoaded];
  int count = Handles(handles, kMaxLoaded);
  for (int i = 0; i < count; ++i) DiscardPanel(handles[i]);
  Lock lock(g_mutex);
  std::memset(&g, 0, sizeof g);
}

}  // namespace model
