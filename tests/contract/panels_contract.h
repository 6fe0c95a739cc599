// The contract of the panel calls: one table of behaviours that every panel driver must show,
// run against the memory driver by the unit suite and against the Win32 driver by
// panels-check.exe under Wine. Only what the driver itself realises differs between the two
// runs, through the observer below (what the native side shows, how the user is simulated).
#pragma once

#include <cstddef>

struct ContractDriver {
  void* module;  // passed to InitCVIRTE and LoadPanelEx
  // What the control shows to the user and to other programs (WM_GETTEXT on Windows).
  bool (*shown_text)(int panel, const char* caption, int control, char* out, size_t size);
  // The control's box in its panel's client area, as placed on screen.
  bool (*shown_box)(int panel, const char* caption, int control, int* left, int* top, int* width);
  bool (*control_shown)(int panel, const char* caption, int control);
  bool (*panel_shown)(int panel, const char* caption);
  // The user, for the next event loop: a button press, a close-box request.
  void (*post_press)(int panel, const char* caption, int control);
  void (*post_close)(int panel, const char* caption);
  // The user types into a field; done when the call returns.
  void (*type)(int panel, const char* caption, int control, const char* text);
  // The user chooses with a setting control: a check box's state (0/1), a colour, a slider's
  // position, or a dropdown's entry by index; done when the call returns.
  void (*choose)(int panel, const char* caption, int control, int value);
  // What the native control holds: a check box's state, the dropdown entry selected (-1 for
  // none), the slider's position, a colour swatch's colour, a progress bar's position.
  bool (*native_value)(int panel, const char* caption, int control, int* value);
};

// One line per check. `detail` says what was seen when a check fails ("" otherwise).
using ContractReport = void (*)(bool ok, const char* name, const char* detail, void* context);

// The layout file the contract loads; the caller writes it to `uir_path` first.
const char* PanelContractLayout();

// Runs the whole table against the linked driver. `jpeg` must name a picture file the driver
// can show, `not_a_picture` an existing file that is no picture. Returns the number of failed
// checks. Leaves the run-time closed (CloseCVIRTE).
int RunPanelContract(const ContractDriver& driver, const char* uir_path, const char* jpeg,
                     const char* not_a_picture, ContractReport report, void* context);
