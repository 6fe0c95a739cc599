// The native objects of the Win32 panel driver, kept beside the model under model::Mutex(), and
// the functions its files share (internal to panels/win32; each is described where it is
// defined):
//
//   panels_win32.cpp        the native objects, bringing a control or a panel window in line
//                           with the model, the driver calls
//   controls_win32.cpp      our own control class (text, picture, indicator, decoration,
//                           progress): painting, WM_GETTEXT, the progress bar's messages; the
//                           EDITs' text and colours, the fields' painted labels
//   settings_win32.cpp      the setting kinds: companions, values, colour swatch, spin arrows,
//                           the children's commands
//   panel_window_win32.cpp  the panel window's procedure, making a panel's windows, the window
//                           classes, the dialog keys
#pragma once

#include <windows.h>

#include <mutex>

#include "panels/model.h"
#include "panels/win32/panels_win32.h"

namespace win32panels {

using Lock = std::lock_guard<std::mutex>;
using model::ControlState;

// Posted to a panel window by calls from threads that do not own it.
constexpr UINT kMsgSyncPanel = WM_APP + 0x40;    // show/hide as the model says
constexpr UINT kMsgSyncControl = WM_APP + 0x41;  // wParam: control number
constexpr UINT kMsgActivate = WM_APP + 0x42;
// A colour chosen for a colour swatch (wParam: control, lParam: 0xRRGGBB), as the colour
// chooser's answer; tests send it instead of driving the modal chooser.
constexpr UINT kMsgChooseColour = WM_APP + 0x43;

// Companion windows of the setting kinds, in layout pixels (scaled by the panel's DPI, as the
// controls are: model::DeviceBox).
constexpr int kLabelGap = 6;
constexpr int kLabelWidth = 154;  // a field's label ends 6 pixels left of the field
constexpr int kSpinWidth = 16;
constexpr int kSliderValueWidth = 32;
constexpr int kDropListHeight = 160;  // the open list below a dropdown
constexpr int kKeyNameWidth = 120;

struct NativeControl {
  int number;
  HWND window;
  HFONT font;  // made for font_face/font_size by the owning thread
  char font_face[uir::kNameMax];
  int font_size;
  HBRUSH back_brush;  // the EDIT controls' WM_CTLCOLOR* answer
  int brush_colour;
  HBITMAP picture;
  int picture_width, picture_height;
  char picture_path[model::kTextMax];  // the file `picture` was decoded from
  unsigned applied_value;              // the model's value_serial the EDIT shows
  HWND label;                          // a field's STATIC label, or null
  HWND extra;                          // a slider's value or a start key's name, or null
  HWND spin;                           // a spin field's up-down arrows, or null
  unsigned applied_setting;            // the value_serial a setting control shows
  HBRUSH panel_brush;                  // WM_CTLCOLORSTATIC of the label: the panel's colour
  int panel_brush_colour;
};

struct NativePanel {
  int handle;  // 0: free
  HWND window;
  DWORD thread;  // the thread that made the window
  NativeControl controls[uir::kMaxControls];
  int control_count;
};

extern NativePanel g_native[model::kMaxLoaded];  // guarded by model::Mutex()

// panels_win32.cpp
COLORREF Rgb(int colour);
void Widen(const char* text, wchar_t* out, int size);
NativePanel* FindNative(int handle);
NativeControl* FindNativeControl(NativePanel* panel, int number);
bool IsEdit(uir::Kind kind);
bool IsSetting(uir::Kind kind);
bool HasFieldLabel(const uir::Control& c);
int PanelDpi(int handle);
bool RefreshFont(const ControlState& control, NativeControl* native, HFONT* old, int dpi);
void SyncControl(int handle, int number);
void SyncPanel(int handle);
void Activate(HWND window);

// controls_win32.cpp
int PanelHandleOf(HWND panel_window);
LRESULT CALLBACK ControlProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
void EditChanged(int handle, int number, HWND edit);
LRESULT EditColours(int handle, HWND edit, HDC dc);
void PaintLabels(HDC dc, int handle);

// settings_win32.cpp
void SyncSetting(int handle, int number, HFONT font);
void SyncExtra(int handle, int number);
void Harvest(int handle);
void DrawSwatch(int handle, const DRAWITEMSTRUCT& item);
void Spin(int handle, int number, int steps);
LRESULT SettingColours(int handle, HWND child, HDC dc);
uir::Kind KindOf(int handle, int number);
void ChildCommand(HWND window, int handle, int number, int code, HWND child);

// panel_window_win32.cpp
bool CreatePanelWindows(int handle, const uir::Panel& layout, HWND* out_window);

}  // namespace win32panels
