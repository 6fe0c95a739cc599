// Observation and scripting of the memory panel driver (Linux).
//
// The panels' values and attributes are the model's (panels/model.h); this driver gives each
// panel a simulated top-level window (platform/sim) with the panel's caption and rectangle,
// created at load and destroyed at discard: the panel is shown exactly when that window is
// visible, so the plug-in's SetWindowPos on its PanelWindow and the panel calls agree.
//
// Tests and pelta-tool read the state through these functions and script the user: button
// presses and close requests queued for RunUserInterface, and the answer of the font dialog.
#pragma once

#include <cstddef>

#include "panels/model.h"
#include "panels/uir.h"
#include "platform/sim/win32.h"

namespace mem {

constexpr int kTextMax = model::kTextMax;    // a control's text value (NUL included)
constexpr int kMaxAttrs = model::kMaxAttrs;  // attributes recorded per control

// Back to no panels, no callbacks table, no queued events, default font answer.
void Reset();

using AttrValue = model::AttrValue;
using ControlState = model::ControlState;

// The model's panel, its simulated window, and `visible` read from that window (the plug-in's
// own SetWindowPos(..., SWP_SHOWWINDOW) shows a panel as it does a native window).
struct PanelState : model::PanelState {
  HWND window;
};

// Why the last LoadPanelEx failed ("file:line: reason", or "" after a successful load).
const char* LastLoadError();

// Loaded panel handles, in load order; returns the count (at most `max`).
int Handles(int* out, int max);
// Copies the state of a loaded panel; false for a stale handle.
bool Snapshot(int panel, PanelState* out);
bool IsLoaded(int panel);
bool IsVisible(int panel);
int ActivePanel();
// Effective attribute of a control: what the plug-in set, else the layout's value. False when
// the panel, control or attribute is unknown.
bool CtrlAttr(int panel, int control, int attribute, int* value);
bool CtrlAttrText(int panel, int control, int attribute, char* out, size_t size);
bool CtrlText(int panel, int control, char* out, size_t size);  // current value as text
bool CtrlWasSet(int panel, int control);  // SetCtrlVal/ResetTextBox since load
int PanelAttr(int panel, int attribute);  // -1 for an unknown panel

// The user, for RunUserInterface: a button press runs the control's callback with
// EVENT_COMMIT; a close request runs the callback of the panel's close control. Events are
// dispatched in order by the running loop. A loop that runs out of events returns at once
// (RunUserInterface returns kPanelLoopLost then) instead of waiting: no test can hang.
void QueueCommit(int panel, int control);
// The user types `text` into a numeric or float field: the field shows it as typed; its value
// is what the Windows field reads from it. False for other controls.
bool TypeText(int panel, int control, const char* text);
// The user chooses with a setting control: a check box's state (0/1), a colour (0xRRGGBB), a
// slider's position, or (ChooseEntry) a dropdown's entry by its index in the list. False for
// a control of another kind or an entry the list does not have.
bool ChooseValue(int panel, int control, int value);
bool ChooseEntry(int panel, int control, int index);
void QueueClose(int panel);
// The user types `text` into a field (dispatched in order with the other events).
void QueueTyping(int panel, int control, const char* text);
// Any other event of the host while a loop runs (a menu command, say): `fn(data)` is called.
void QueueCall(void (*fn)(void*), void* data);
int QueuedEvents();
bool LastLoopEndedByQuit();
int LoopDepth();

// The font dialog's scripted answer (default: cancelled, nothing changed).
void ScriptFontDialog(bool choose, const char* typeface, int justify);
struct FontDialogCall {
  char title[64];
  char sample[64];
  int fixed_pitch_only;
  char typeface_in[1024];
  int justify_in;
  int min_size, max_size, show_default, allow_system;
};
int FontDialogCount();
const FontDialogCall* LastFontDialog();

// Every DisplayImageFile path since Reset (bounded log) and the path shown per control.
int ImageLoadCount();
const char* ImageLoadAt(int i);

}  // namespace mem
