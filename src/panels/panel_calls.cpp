// The panel calls of panels.h over the panel model (model.h): loading a panel from its layout,
// showing and discarding it, the values and attributes of its controls, pictures, and the
// nested event loops. Each takes the model's lock for what it reads or changes and tells the
// driver what changed; control callbacks run without the lock.
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "panels/driver.h"
#include "panels/model.h"
#include "panels/model_state.h"

// ---- the panel calls ----

using model::ControlState;
using model::g;
using model::g_mutex;
using model::Lock;

void SetPanelCallbackTable(const PanelCallbackEntry* table, int count) {
  Lock lock(g_mutex);
  g.table = table != nullptr && count > 0 ? table : nullptr;
  g.table_count = g.table != nullptr ? count : 0;
}

int InitCVIRTE(void* module) {
  return driver::Init(module) ? 1 : kPanelWindowError;
}

void CloseCVIRTE() {
  int handles[model::kMaxLoaded];
  int count = model::Handles(handles, model::kMaxLoaded);
  for (int i = 0; i < count; ++i) DiscardPanel(handles[i]);
  driver::Close();
}

int LoadPanelEx(int parent, const char* uir_path, int panel_number, void* /*module*/) {
  if (parent != 0 || uir_path == nullptr) return kPanelBadValue;  // only top-level panels
  char path[1024];
  const bool mapped = driver::NativePath(uir_path, path, sizeof path);
  int handle = 0;
  uir::Panel layout;
  {
    Lock lock(g_mutex);
    char* error = g.load_error;
    const size_t error_size = sizeof g.load_error;
    error[0] = '\0';
    if (!mapped) {
      std::snprintf(error, error_size, "%.400s: path too long", uir_path);
      return kPanelFileError;
    }
    uir::Error read_error;
    if (!uir::ReadFile(path, &g.layout, &read_error)) {
      uir::FormatError(read_error, error, error_size);
      return kPanelFileError;
    }
    const uir::Panel* panel = uir::FindPanel(g.layout, panel_number);
    if (panel == nullptr) {
      std::snprintf(error, error_size, "%.400s: no panel %d", path, panel_number);
      return kPanelNoPanel;
    }
    // Every callback the layout names must be in the library: a button without its callback
    // could never end its dialog's loop.
    PanelCallback fns[uir::kMaxControls] = {};
    for (int i = 0; i < panel->control_count; ++i) {
      const char* name = panel->controls[i].callback;
      for (int t = 0; name[0] != '\0' && t < g.table_count && fns[i] == nullptr; ++t) {
        if (g.table[t].name != nullptr && std::strcmp(g.table[t].name, name) == 0) {
          fns[i] = g.table[t].fn;
        }
      }
      if (name[0] != '\0' && fns[i] == nullptr) {
        std::snprintf(error, error_size, "%.400s:%d: callback '%s' is not in the library's table",
                      path, panel->controls[i].line, name);
        return kPanelNoCallback;
      }
    }
    model::Slot* slot = nullptr;
    for (model::Slot& s : g.slots) {
      if (!s.used && slot == nullptr) slot = &s;
    }
    if (slot == nullptr) {
      std::snprintf(error, error_size, "more than %d panels loaded", model::kMaxLoaded);
      return kPanelCapacity;
    }
    std::memset(slot, 0, sizeof *slot);
    model::PanelState& st = slot->state;
    st.handle = handle = model::g_next_handle++;
    st.layout = *panel;
    st.background = panel->background;
    st.dpi = model::kLayoutDpi;
    st.control_count = panel->control_count;
    for (int i = 0; i < panel->control_count; ++i) {
      model::SeedControl(&st.controls[i], panel->controls[i]);
      st.controls[i].callback = fns[i];
    }
    slot->used = true;
    layout = *panel;
  }
  // Windows are made without the lock: their creation sends messages that read the model.
  if (!driver::CreatePanel(handle, layout)) {
    DiscardPanel(handle);
    Lock lock(g_mutex);
    std::snprintf(g.load_error, sizeof g.load_error, "no window for panel %d", panel_number);
    return kPanelWindowError;
  }
  return handle;
}

namespace {

int SetVisible(int panel, bool visible) {
  {
    Lock lock(g_mutex);
    model::Slot* s = model::FindSlot(panel);
    if (s == nullptr) return kPanelNotLoaded;
    s->state.visible = visible;
  }
  driver::PanelChanged(panel);
  return kPanelOk;
}

// Runs `change` on a control under the lock; on success the driver shows the change.
template <typename Change>
int ChangeControl(int panel, int control, Change change) {
  int rc = kPanelOk;
  {
    Lock lock(g_mutex);
    ControlState* c = model::FindCtrl(panel, control, &rc);
    if (c == nullptr) return rc;
    rc = change(c);
  }
  if (rc == kPanelOk) driver::ControlChanged(panel, control);
  return rc;
}

int SetValueText(ControlState* c, const char* text) {
  model::StoreText(c, text);
  model::NoteOther(c);
  c->was_set = true;
  ++c->value_serial;
  return kPanelOk;
}

}  // namespace

int DisplayPanel(int panel) {
  return SetVisible(panel, true);
}

int HidePanel(int panel) {
  return SetVisible(panel, false);
}

int DiscardPanel(int panel) {
  {
    Lock lock(g_mutex);
    model::Slot* s = model::FindSlot(panel);
    if (s == nullptr) return kPanelNotLoaded;
    model::DiscardSlot(s);
  }
  driver::DestroyPanel(panel);
  return kPanelOk;
}

int SetActivePanel(int panel) {
  {
    Lock lock(g_mutex);
    if (model::FindSlot(panel) == nullptr) return kPanelNotLoaded;
    g.active = panel;
  }
  driver::ActivatePanel(panel);
  return kPanelOk;
}

HWND PanelWindow(int panel) {
  if (!model::IsLoaded(panel)) return nullptr;
  return driver::PanelWindow(panel);
}

bool PanelIsActive(int panel) {
  return model::IsLoaded(panel) && driver::PanelActive(panel);
}

int SetCtrlVal(int panel, int control, const char* text) {
  if (text == nullptr) return kPanelBadValue;
  return ChangeControl(panel, control, [text](ControlState* c) {
    if (model::IsNumberField(c->layout.kind)) return static_cast<int>(kPanelBadValue);
    return SetValueText(c, text);  // a text box too: it then holds exactly this text
  });
}

int SetCtrlVal(int panel, int control, int value) {
  return ChangeControl(panel, control, [value](ControlState* c) {
    char text[32];
    if (c->layout.kind == uir::Kind::Float) {
      model::FormatFloat(text, sizeof text, value);
    } else {
      model::FormatInt(text, sizeof text, value);
    }
    return SetValueText(c, text);
  });
}

int SetCtrlVal(int panel, int control, double value) {
  if (std::isnan(value)) return kPanelBadValue;
  return ChangeControl(panel, control, [value](ControlState* c) {
    char text[48];
    if (uir::IsIntKind(c->layout.kind)) {
      // An integer field takes the nearest integer it can hold.
      double v = value < INT_MIN ? INT_MIN : (value > INT_MAX ? INT_MAX : value);
      model::FormatInt(text, sizeof text, static_cast<int>(std::lround(v)));
    } else if (c->layout.kind == uir::Kind::Float) {
      model::FormatFloat(text, sizeof text, value);
    } else {
      std::snprintf(text, sizeof text, "%g", value);
    }
    return SetValueText(c, text);
  });
}

// The number field `control` of `panel`, under the caller's lock; null with `*rc` set for a
// stale handle, an unknown control or one that holds no number.
static const ControlState* FindNumberField(int panel, int control, int* rc) {
  const ControlState* c = model::FindCtrl(panel, control, rc);
  if (c != nullptr && !model::IsNumberField(c->layout.kind)) {
    *rc = kPanelBadValue;
    return nullptr;
  }
  return c;
}

int GetCtrlVal(int panel, int control, int* value) {
  if (value == nullptr) return kPanelBadValue;
  Lock lock(g_mutex);
  int rc = kPanelOk;
  const ControlState* c = FindNumberField(panel, control, &rc);
  if (c == nullptr) return rc;
  *value = c->int_value;
  return kPanelOk;
}

int GetCtrlVal(int panel, int control, float* value) {
  if (value == nullptr) return kPanelBadValue;
  Lock lock(g_mutex);
  int rc = kPanelOk;
  const ControlState* c = FindNumberField(panel, control, &rc);
  if (c == nullptr) return rc;
  *value = static_cast<float>(c->float_value);
  return kPanelOk;
}

int GetCtrlRange(int panel, int control, double* min, double* max) {
  if (min == nullptr || max == nullptr) return kPanelBadValue;
  Lock lock(g_mutex);
  int rc = kPanelOk;
  const ControlState* c = FindNumberField(panel, control, &rc);
  if (c == nullptr) return rc;
  *min = c->layout.min;
  *max = c->layout.max;
  return kPanelOk;
}

int GetCtrlVal(int panel, int control, char* text, size_t size) {
  if (text == nullptr || size == 0) return kPanelBadValue;
  text[0] = '\0';
  Lock lock(g_mutex);
  int rc = kPanelOk;
  const ControlState* c = model::FindCtrl(panel, control, &rc);
  if (c == nullptr) return rc;
  return model::CopyFits(text, size, c->text) ? kPanelOk : kPanelBadValue;
}

int GetCtrlAttribute(int panel, int control, int attribute, int* value) {
  if (value == nullptr) return kPanelBadValue;
  {
    Lock lock(g_mutex);
    int rc = kPanelOk;
    if (model::FindCtrl(panel, control, &rc) == nullptr) return rc;
  }
  if (!model::IsIntAttr(attribute)) return kPanelBadAttribute;
  return model::CtrlAttr(panel, control, attribute, value) ? kPanelOk : kPanelBadAttribute;
}

int GetCtrlBoundingRect(int panel, int control, int* top, int* left, int* height, int* width) {
  if (top == nullptr || left == nullptr || height == nullptr || width == nullptr) {
    return kPanelBadValue;
  }
  Lock lock(g_mutex);
  int rc = kPanelOk;
  const ControlState* c = model::FindCtrl(panel, control, &rc);
  if (c == nullptr) return rc;
  const model::Box box = model::ControlBox(*c);
  *top = box.top;
  *left = box.left;
  *height = box.height;
  *width = box.width;
  return kPanelOk;
}

int SetCtrlAttribute(int panel, int control, int attribute, int value) {
  return ChangeControl(panel, control,
                       [=](ControlState* c) { return model::ApplyInt(c, attribute, value); });
}

int SetCtrlAttribute(int panel, int control, int attribute, const char* value) {
  if (value == nullptr || std::strlen(value) >= static_cast<size_t>(uir::kNameMax)) {
    return kPanelBadValue;
  }
  return ChangeControl(panel, control, [=](ControlState* c) {
    if (attribute == ATTR_TEXT_FONT) {
      model::CopyTrunc(c->font, sizeof c->font, value);
    } else if (attribute == ATTR_INDICATOR_TEXT) {
      model::CopyTrunc(c->indicator_text, sizeof c->indicator_text, value);
    } else {
      return model::IsIntAttr(attribute) ? static_cast<int>(kPanelBadValue)
                                         : static_cast<int>(kPanelBadAttribute);
    }
    model::Record(c, attribute, true, 0, value);
    ++c->serial;
    return static_cast<int>(kPanelOk);
  });
}

// ATTR_PANEL_DPI redraws every control of the panel at the new size (the plug-in sets it on
// each channel change: the same DPI again changes nothing).
int SetPanelAttribute(int panel, int attribute, int value) {
  int redraw[uir::kMaxControls];
  int redraw_count = 0;
  {
    Lock lock(g_mutex);
    model::Slot* s = model::FindSlot(panel);
    if (s == nullptr) return kPanelNotLoaded;
    model::PanelState& state = s->state;
    if (attribute == ATTR_PANEL_DPI) {
      if (value < model::kMinDpi || value > model::kMaxDpi) return kPanelBadValue;
      if (state.dpi == value) return kPanelOk;
      state.dpi = value;
      for (int i = 0; i < state.control_count; ++i) {
        ++state.controls[i].serial;
        redraw[redraw_count++] = state.controls[i].layout.number;
      }
    } else if (attribute == ATTR_BACKCOLOR) {
      state.background = value & 0xFFFFFF;
    } else {
      return kPanelBadAttribute;
    }
  }
  driver::PanelChanged(panel);
  for (int i = 0; i < redraw_count; ++i) driver::ControlChanged(panel, redraw[i]);
  return kPanelOk;
}

// A text box holds exactly the text given, as any text control does after SetCtrlVal.
int ResetTextBox(int panel, int control, const char* text) {
  return SetCtrlVal(panel, control, text);
}

int DisplayImageFile(int panel, int control, const char* path) {
  if (path == nullptr) return kPanelBadValue;
  {
    Lock lock(g_mutex);
    int rc = kPanelOk;
    const ControlState* c = model::FindCtrl(panel, control, &rc);
    if (c == nullptr) return rc;
    if (c->layout.kind != uir::Kind::Picture) return kPanelBadValue;
  }
  if (std::strlen(path) >= static_cast<size_t>(model::kTextMax)) return kPanelBadValue;
  char shown[model::kTextMax];
  // Decoded without the lock: it reads a file.
  if (!driver::LoadPicture(panel, control, path, shown, sizeof shown)) return kPanelFileError;
  return ChangeControl(panel, control, [&shown](ControlState* c) {
    model::StoreText(c, shown);
    return static_cast<int>(kPanelOk);
  });
}

int RunUserInterface(int panel) {
  int level;
  {
    Lock lock(g_mutex);
    if (g.depth >= model::kMaxLoops) return kPanelCapacity;
    g.loops[g.depth] = model::Loop{panel, false};
    level = g.depth++;
  }
  bool by_quit = false;
  for (;;) {
    {
      Lock lock(g_mutex);
      if (g.loops[level].quit) {
        by_quit = true;
        break;
      }
    }
    if (!driver::PumpOne()) break;
  }
  Lock lock(g_mutex);
  g.depth = level;  // loops on one thread end in the reverse order of their start
  g.last_loop_quit = by_quit;
  return by_quit ? kPanelOk : kPanelLoopLost;
}

int QuitUserInterface(int panel) {
  {
    Lock lock(g_mutex);
    int index = 0;
    if (!model::LoopFrame(panel, &index)) return kPanelOk;  // no such loop: nothing to end
    g.loops[index].quit = true;
  }
  driver::WakeLoop();
  return kPanelOk;
}

bool PanelLoopRuns(int panel) {
  return model::LoopRunsFor(panel);
}

int EventLoopDepth() {
  return model::LoopDepth();
}