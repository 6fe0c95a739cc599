// The panel run-time: every window of the plug-in is a panel read from the layout file
// pelta.uir, addressed by a handle, with controls addressed by number.
//
// One portable model (model.h) implements every call; a driver realises it: panels/win32 (the
// DLL: native windows) or panels/memory (Linux: simulated windows that tests and pelta-tool
// inspect). Handles are positive; a negative result is an error (PanelResult). A call with a
// handle that is not loaded (never loaded, or discarded) has no effect and returns an error:
// the plug-in relies on that at shutdown and when settings are applied before the panels exist.
// Calls are accepted from any thread.
#pragma once

#include <cstddef>

#include "platform/os.h"

// Attribute codes. The numbers are the plug-in's contract with this layer.
enum PanelAttr {
  ATTR_VISIBLE = 530,           // control: 0 hides it
  ATTR_LEFT = 531,              // control: left edge in pixels, relative to the panel
  ATTR_TOP = 532,               // control: top edge in pixels, relative to the panel
  ATTR_WIDTH = 533,             // control: width in pixels (0 to 32767); text is cut to it
  ATTR_HEIGHT = 534,            // control: height in pixels (0 to 32767)
  ATTR_DECORATION_COLOR = 550,  // control: colour of a decoration element
  ATTR_BACKCOLOR = 570,         // panel: background colour
  ATTR_INDICATOR_TEXT = 641,    // control: text shown with an indicator or a progress bar
  ATTR_TEXT_COLOR = 680,        // control: text colour
  ATTR_TEXT_FONT = 682,         // control: typeface name
  ATTR_TEXT_POINT_SIZE = 686,   // control: point size
  ATTR_TEXT_BGCOLOR = 690,      // control: background colour behind the text
  ATTR_TEXT_JUSTIFY = 700,      // control: alignment code as the font dialog returns it
  ATTR_FILL_COLOR = 880,        // control: fill colour of an indicator
  // panel: the DPI its controls are drawn at, 48 to 960; 96 (the layout's own) at load. Every
  // pixel measure of the panel's controls (layout rectangles and the positions, widths and point
  // sizes the plug-in sets) stays in layout pixels and is scaled by DPI / 96 when drawn; the
  // panel window's own rectangle is the plug-in's, in screen pixels.
  ATTR_PANEL_DPI = 1010,
};

// Alignment codes (ATTR_TEXT_JUSTIFY, FontSelectPopup).
enum { kJustifyLeft = 0, kJustifyRight = 16, kJustifyCentre = 32 };

enum { EVENT_COMMIT = 1 };

// Results of the panel calls: 0 success, a negative code on failure (the same on every platform).
enum PanelResult {
  kPanelOk = 0,
  kPanelNotLoaded = -1,     // the handle is not a loaded panel
  kPanelNoControl = -2,     // the panel has no such control
  kPanelBadValue = -3,      // null, wrong type for the control or attribute, out of range, too long
  kPanelBadAttribute = -4,  // an attribute code the run-time does not know
  kPanelCapacity = -5,      // a fixed table is full (panels loaded, nested loops)
  kPanelFileError = -6,     // layout file missing, unreadable or malformed; picture not shown
  kPanelNoPanel = -7,       // the layout file has no such panel
  kPanelNoCallback = -8,    // a callback the layout names is not in the library's table
  kPanelWindowError = -9,   // the platform could not make a window
  kPanelLoopLost = -10,     // an event loop ended without a quit request (the host is closing)
};

// Control callback: panel, control, event, callback data, two event-data integers.
typedef int (*PanelCallback)(int panel, int control, int event, void* callback_data, int data1,
                             int data2);

// Callbacks are bound by the name the layout file gives, through this table inside the
// library (no DLL exports needed). The table must outlive every loaded panel.
struct PanelCallbackEntry {
  const char* name;
  PanelCallback fn;
};
void SetPanelCallbackTable(const PanelCallbackEntry* table, int count);

// Run-time setup for the module, before any panel is loaded; a second call succeeds at once.
// Returns a negative value on failure. CloseCVIRTE discards whatever panels remain.
int InitCVIRTE(void* module);
void CloseCVIRTE();

// Loads panel `panel_number` of the layout file as a top-level panel (parent 0). Returns a
// positive handle, or a negative value: file missing, malformed, or no such panel.
int LoadPanelEx(int parent, const char* uir_path, int panel_number, void* module);
int DisplayPanel(int panel);
int HidePanel(int panel);
int DiscardPanel(int panel);
int SetActivePanel(int panel);
// The panel's own top-level window: the one the plug-in places, makes translucent and gives as
// the owner of its message boxes. Null for a handle that is not loaded. Other programs may name
// windows as they like: a window found by its caption need not be the panel's.
HWND PanelWindow(int panel);
// Whether the user is working in the panel: it is shown and its window, or a window that window
// owns (a message box, the font or colour chooser), is the active window.
bool PanelIsActive(int panel);

int SetCtrlVal(int panel, int control, const char* text);
int SetCtrlVal(int panel, int control, int value);
int SetCtrlVal(int panel, int control, double value);
int GetCtrlVal(int panel, int control, int* value);
int GetCtrlVal(int panel, int control, float* value);
int GetCtrlVal(int panel, int control, char* text, size_t size);
// The range the layout file gives a numeric or float field. Negative for other controls.
int GetCtrlRange(int panel, int control, double* min, double* max);
int SetCtrlAttribute(int panel, int control, int attribute, int value);
int SetCtrlAttribute(int panel, int control, int attribute, const char* value);
int GetCtrlAttribute(int panel, int control, int attribute, int* value);
// The control's box in its panel as it is shown (aligned labels anchored, model.h ControlBox).
int GetCtrlBoundingRect(int panel, int control, int* top, int* left, int* height, int* width);
int SetPanelAttribute(int panel, int attribute, int value);
int ResetTextBox(int panel, int control, const char* text);
// 0 when the picture was loaded into the control; non-zero when the file cannot be shown.
int DisplayImageFile(int panel, int control, const char* path);

// Modal font dialog. `typeface` (in/out, at least `typeface_size` bytes) and `justify` (in/out,
// 0/16/32) are read back; the other out-pointers may be null. Returns 1 chosen, 0 cancelled,
// negative on error.
int FontSelectPopup(const char* title, const char* sample_text, int fixed_pitch_only,
                    char* typeface, size_t typeface_size, int* bold, int* underline,
                    int* strike_out, int* italic, int* justify, int* text_color, int* point_size,
                    int min_point_size, int max_point_size, int show_default, int allow_system);

// Runs an event loop on the calling thread, dispatching callbacks, until it is asked to end.
// A loop belongs to the panel it is run for (0: to none). QuitUserInterface(panel) ends the
// loop of that panel (the innermost one, should it run twice), and QuitUserInterface(0) the
// innermost loop; when no such loop runs it does nothing, now or later. So a dialog's button
// ends its own dialog's loop and never that of another dialog open at the same time. Returns 0
// when the loop was asked to end, negative when it ended otherwise (the host is closing).
int RunUserInterface(int panel = 0);
int QuitUserInterface(int panel);
// Whether an event loop run for this panel is running (its dialog is open).
bool PanelLoopRuns(int panel);
// How many event loops are running (nested on the calling thread, or on any thread), 0 for none.
int EventLoopDepth();
int ProcessSystemEvents();

int MakeColor(int red, int green, int blue);
int GetScreenSize(int* height, int* width);
// The module's folder without a trailing separator. Negative when it does not fit `size`.
int GetModuleDir(void* module, char* buffer, size_t size);

// Files (plain C stdio underneath). access 1 read-only, 2 write-only; action 0 truncate,
// 1 append; type 0 binary, 1 text. Negative handle on failure.
int CVI_OpenFile(const char* path, int access, int action, int type);
// Reads the next line (LF or CR LF) into `buffer`, keeping at most `max_count` characters, and
// skips the rest of the line. `buffer` holds at least max_count + 1 bytes (the kept characters
// and a NUL). Returns the count kept, -1 at end of file, -2 on error.
int ReadLine(int file, char* buffer, int max_count);
// Writes `count` bytes and a line end (CR LF in a text file, LF in a binary one). Returns
// `count` (the line end not counted), negative on error.
int WriteLine(int file, const char* buffer, int count);
int CVI_CloseFile(int file);
int CVI_GetSystemTime(int* hours, int* minutes, int* seconds);
