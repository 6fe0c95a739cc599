// What a panel driver provides to the model (model.h). The build links exactly one driver:
// panels/win32 in the DLL and panels-check, panels/memory on Linux.
//
// The model calls these without its lock held, after it has changed its state; a driver reads
// the state it needs under model::Mutex(). A driver realises what the model holds and reports
// the user's actions back through model::Commit, model::CloseRequest and model::UserTyped.
// Besides these hooks a driver implements the panels.h calls that are the platform's alone:
// FontSelectPopup, ProcessSystemEvents, GetScreenSize and GetModuleDir.
#pragma once

#include <cstddef>

#include "panels/uir.h"
#include "platform/os.h"

namespace driver {

// InitCVIRTE / CloseCVIRTE (after every panel was discarded). Init false: set-up failed.
bool Init(void* module);
void Close();

// The layout file's path as this platform opens it. False when it does not fit.
bool NativePath(const char* path, char* out, size_t size);

// A panel was added to the model (hidden): make its windows. False refuses the load (the model
// then forgets the panel).
bool CreatePanel(int handle, const uir::Panel& layout);
// The model has forgotten the panel: its windows go (now, or on their own thread).
void DestroyPanel(int handle);
// The panel's visibility or background changed; a control's value or attributes changed.
void PanelChanged(int handle);
void ControlChanged(int handle, int control);
void ActivatePanel(int handle);
// The panel's top-level window (null when it has none), and whether it is shown and it or a
// window it owns is the active window.
HWND PanelWindow(int handle);
bool PanelActive(int handle);

// Loads the picture file into the control's native picture. False when it cannot be shown.
// `shown` receives the path as the control reports it.
bool LoadPicture(int handle, int control, const char* path, char* shown, size_t shown_size);

// One turn of an event loop: waits for the next event and dispatches it. False when no event
// will come (the host is closing, or the scripted queue is empty): the loop then ends.
bool PumpOne();
// A quit request was made, possibly from another thread: wake the loop that waits.
void WakeLoop();

}  // namespace driver
