// The panel model's own state and the helpers over it, shared by the model's files (internal to
// panels: drivers and the plug-in use model.h and panels.h):
//
//   model.cpp        the state, the helpers, the queries and user actions of model.h
//   panel_calls.cpp  the panel calls of panels.h
//
// Everything here is used under g_mutex unless it says otherwise.
#pragma once

#include <cstddef>
#include <mutex>

#include "panels/model.h"

namespace model {

struct Slot {
  bool used;
  PanelState state;
};

struct Loop {
  int panel;
  bool quit;
};

struct State {
  Slot slots[kMaxLoaded];
  int active;
  const PanelCallbackEntry* table;
  int table_count;
  Loop loops[kMaxLoops];
  int depth;
  bool last_loop_quit;
  char load_error[512];
  uir::Layout layout;  // LoadPanelEx's scratch
};

extern std::mutex g_mutex;
extern State g;
extern int g_next_handle;

using Lock = std::lock_guard<std::mutex>;

// `src` (null: empty) into `dst`, cut to fit and NUL-terminated; nothing for a size of 0.
void CopyTrunc(char* dst, size_t size, const char* src);
// CopyTrunc, and whether all of `src` fitted (false for no room at all).
bool CopyFits(char* dst, size_t size, const char* src);
bool IsNumberField(uir::Kind kind);
void NoteOther(ControlState* c);
void StoreText(ControlState* c, const char* text);
// A control as its layout makes it: position, font, colours and the layout's value.
void SeedControl(ControlState* c, const uir::Control& layout);
// The loaded panel of `handle`, or null.
Slot* FindSlot(int handle);
// A control of a loaded panel, or null with `*rc` kPanelNotLoaded or kPanelNoControl.
ControlState* FindCtrl(int handle, int control, int* rc);
void Record(ControlState* c, int code, bool is_text, int number, const char* text);
bool IsIntAttr(int code);
int ApplyInt(ControlState* c, int code, int value);
// The innermost loop frame running for `panel` (0: the innermost of all); false for none.
bool LoopFrame(int panel, int* index);
// Frees the slot; the active panel is none if it was this one.
void DiscardSlot(Slot* s);

}  // namespace model
