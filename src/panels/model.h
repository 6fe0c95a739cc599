// The panel model: the one place that says what a panel call does.
//
// Every operation of panels.h is implemented once, in panel_calls.cpp and model.cpp, over the
// state declared here: the handle table, each panel's controls with their values and
// attributes, the validation of what a call may set, the formatting of numbers, the anchoring of
// aligned labels, the callback table and the nested event loops with their quit requests. The
// result codes are those of panels.h (PanelResult).
//
// A driver only realises that state (driver.h): panels/win32 makes native windows and paints
// them, panels/memory keeps simulated windows on the simulated desktop and a scripted event
// queue. A driver never decides whether a call succeeds, and never keeps a value of its own.
//
// Locking: one mutex (Mutex()) guards the whole model. Functions marked "caller holds the lock"
// are for drivers that read the state to paint or to answer a window message; every other
// function takes the lock itself. Control callbacks always run without it, because they call
// panel operations.
#pragma once

#include <cstddef>
#include <mutex>

#include "panels/panels.h"
#include "panels/uir.h"

namespace model {

// A control's value as text (NUL included): the guide window's description of a programme,
// an extended description of up to 16 parts and its items, is the longest text the plug-in puts
// on a control.
constexpr int kTextMax = 6144;
constexpr int kMaxAttrs = 16;  // attribute records kept per control (every known code fits)
constexpr int kMaxLoaded = 8;  // panels loaded at once
constexpr int kMaxLoops = 16;  // nested event loops
constexpr int kMinPointSize = 1;
constexpr int kMaxPointSize = 255;
constexpr int kMaxWidth = 32767;
constexpr int kMinDpi = 48;  // ATTR_PANEL_DPI's range
constexpr int kMaxDpi = 960;

// One attribute as the plug-in last set it (for inspection: display.json lists them).
struct AttrValue {
  int code;
  bool is_text;
  int number;
  char text[uir::kNameMax];
};

struct ControlState {
  uir::Control layout;  // as the layout file gives it
  char text[kTextMax];  // the value as the control shows it (numbers formatted, a picture's path)
  int int_value;        // number fields: what GetCtrlVal reads (clamped to min..max)
  double float_value;
  bool has_value;              // set since load, or the layout file gave a value
  bool was_set;                // SetCtrlVal/ResetTextBox since load
  AttrValue attrs[kMaxAttrs];  // attributes set since load, in first-set order
  int attr_count;

  // Effective attributes: what the plug-in set, else the layout's.
  int left, top;
  int width;   // the layout's, or ATTR_WIDTH; a text that does not fit ends in an ellipsis
  int height;  // the layout's, or ATTR_HEIGHT
  bool visible;
  char font[uir::kNameMax];
  int point_size;
  int justify;
  int text_colour, back_colour, fill_colour;
  char indicator_text[uir::kNameMax];

  bool has_other;   // dropdown: the plug-in set a value that is none of its items
  int other_value;  // ... which the extra entry "Other (N)" keeps

  PanelCallback callback;  // bound by name at load, or null
  unsigned serial;         // moves with every change a driver must show
  unsigned value_serial;   // moves when the plug-in (not the user) sets the value
};

struct PanelState {
  int handle;
  uir::Panel layout;  // the controls' layouts are also in `controls`
  bool visible;       // as DisplayPanel/HidePanel last asked
  int background;     // ATTR_BACKCOLOR
  int dpi;            // ATTR_PANEL_DPI: the controls are drawn at DPI / 96 of their layout size
  ControlState controls[uir::kMaxControls];
  int control_count;
};

// A control's box in its panel. Text controls whose justify is right (16) or centred (32) are
// labels that size themselves to their text around an anchor at the left edge set: right-aligned
// text ends 8 pixels right of it, centred text is centred 4 pixels right of it; the box keeps the
// layout's width around that anchor. Every other control starts at its left edge. The Win32
// windows and pelta-tool's pictures both place controls with this one function.
struct Box {
  int left, top, width, height;
};
Box ControlBox(uir::Kind kind, int left, int top, int width, int height, int justify);
Box ControlBox(const ControlState& control);  // from the effective attributes
// A box or a length in layout pixels as drawn at `dpi`: each edge scaled by dpi / 96 and rounded
// half away from zero, so boxes that touch in the layout still touch (identity at 96).
constexpr int kLayoutDpi = 96;
Box DeviceBox(const Box& box, int dpi);
int DevicePixels(int pixels, int dpi);

// Number formats: an integer field shows "%d", a float field "%.1f".
void FormatInt(char* out, size_t size, int value);
void FormatFloat(char* out, size_t size, double value);

std::mutex& Mutex();
// Caller holds the lock. Null for a handle that is not loaded or a control it lacks.
PanelState* FindPanelLocked(int handle);
ControlState* FindControlLocked(int handle, int control);

// Inspection (takes the lock). Snapshot copies a loaded panel; false for a stale handle.
bool Snapshot(int handle, PanelState* out);
int Handles(int* out, int max);  // loaded handles in load order
bool IsLoaded(int handle);
int ActivePanel();
// The effective integer / text attribute of a control; false for unknown panel, control or
// code, or a code of the other type.
bool CtrlAttr(int handle, int control, int code, int* value);
bool CtrlAttrText(int handle, int control, int code, char* out, size_t size);
bool CtrlText(int handle, int control, char* out, size_t size);  // false when it does not fit
bool CtrlWasSet(int handle, int control);
int PanelBackground(int handle);  // -1 for a stale handle
int PanelDpi(int handle);         // -1 for a stale handle
const char* LastLoadError();      // "file:line: reason" of the last failed load, or ""
bool LastLoopEndedByQuit();
int LoopDepth();
// True while an event loop started for this panel (RunUserInterface(panel)) runs.
bool LoopRunsFor(int handle);

// What drivers report from the user. Each takes the lock itself and runs callbacks without it.
// A press runs the control's callback with EVENT_COMMIT. A close request (close box) runs the
// close control's callback; on a panel without one it hides the panel and ends the panel's own
// loop, if one runs, and nothing else. Typing changes a field's value as the user left it.
void Commit(int handle, int control);
void CloseRequest(int handle);
void UserTyped(int handle, int control, const char* text);

// The setting kinds (caller holds the lock for those taking a ControlState). A dropdown lists
// its items and, when the plug-in set a value none of them has, an extra last entry
// "Other (N)" with that value, so that a value the list does not know is kept as it was
// unless the user picks another. ListIndex is the entry of the current value, -1 for none.
int ListCount(const ControlState& control);
bool ListEntry(const ControlState& control, int index, char* text, size_t size, int* value);
int ListIndex(const ControlState& control);
bool Checked(const ControlState& control);  // a check box: a non-zero value
// The name of a Windows virtual-key code ("F11", "A", "Num 5"), into `buffer`.
const char* KeyName(int key, char* buffer, size_t size);
// A label as shown: each '&' that marks an Alt+letter mnemonic dropped, "&&" as one '&'.
void LabelText(const char* label, char* out, size_t size);
// The letter a label marks for Alt+letter, in lower case ('\0' for none).
char Mnemonic(const char* label);
// The user chose a value (a check box, a colour, a slider) or a dropdown's entry.
void UserChose(int handle, int control, int value);
void UserChoseEntry(int handle, int control, int index);

// Back to no panels, no callbacks, no loops (tests and pelta-tool; handles are not reused).
void Reset();

}  // namespace model
