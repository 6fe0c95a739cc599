// Internals shared by the Win32 panel run-time's files (not part of the panel seam).
//
//   panels_win32.cpp   the driver: native windows for the model's panels and controls, the
//                      native objects beside the model (native_win32.h), with
//                      controls_win32.cpp (painting, our own control class),
//                      settings_win32.cpp (the setting kinds) and panel_window_win32.cpp (the
//                      panel window, its controls' creation, classes, dialog keys)
//   runtime_win32.cpp  set-up and close, one turn of the event loop, font dialog, screen and
//                      module folder
//   image_win32.cpp    JPEG (any GDI+ format) to a bitmap, GDI+ started on first use
#pragma once

#include <windows.h>

#include "panels/panels.h"

namespace win32panels {

// Set by driver::Init: the module whose window classes the panels use.
HINSTANCE Module();
// A hidden top-level window that owns every panel window, so that they stay out of the
// taskbar and go with the library. Made on first use on the calling thread.
HWND OwnerWindow();

bool RegisterClasses(HINSTANCE module);
void UnregisterClasses(HINSTANCE module);

// Decodes an image file into a 32-bit top-down DIB section. False for a missing file, a file
// GDI+ cannot decode, or GDI+ unavailable. Safe from any thread; never call under the loader
// lock (it starts GDI+ on first use).
bool DecodeImageFile(const char* path, HBITMAP* out, int* width, int* height);

// A window whose procedure lives in this library but which belongs to another thread cannot be
// destroyed from here; when the library may be unmapped before that thread runs again, hand the
// window and its children to the system's procedure and let a posted WM_CLOSE destroy it.
void AbandonWindow(HWND window);

// A key for a dialog panel, before it is dispatched: Tab and Shift+Tab move through the controls
// in reading order, Alt+letter goes to the control its label marks, Enter presses the focused
// button or else the panel's first one (after reading every control), Esc closes the panel as
// its close box does. True when the key was handled (the message is then not dispatched).
bool DialogKey(MSG* message);

}  // namespace win32panels
