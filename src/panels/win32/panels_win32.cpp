// The Win32 panel driver: native windows for the panel model (panels/model.h).
//
// A panel is a top-level window owned by a hidden window of the library (so it never shows in
// the taskbar): a borderless WS_POPUP tool window for `style = popup` (the on-screen display
// strip; the plug-in makes it layered and topmost itself) or a captioned dialog window. Each
// control is a child window whose id is its control number, so GetDlgItem(panel, n) finds it:
//   text, picture, indicator, decoration, progress
//                                         our own "PeltaControl" class, painted from the model;
//                                         a progress bar answers PBM_GETPOS and PBM_GETRANGE as
//                                         the common control does
//   numeric, float                        EDIT (the user types the value)
//   textbox                               multiline read-only EDIT
//   button                                BUTTON; a click is a commit for the model
//   checkbox                              BUTTON BS_AUTOCHECKBOX with its label
//   dropdown                              COMBOBOX CBS_DROPDOWNLIST with the model's entries
//   colour                                owner-drawn BUTTON showing the colour; a click opens
//                                         the system colour chooser
//   slider                                trackbar, its value in a STATIC at its right end
// A field's label is a STATIC just before it (so its Alt+letter moves to the field), a spin
// field has up-down arrows at its right end, a start-key field its key's name beside it. The
// user's choices go to the model as they are made, and once more from every native control
// when a button is pressed (a program may set a control with a message that notifies nobody).
// Every control answers WM_GETTEXT with what the model says it shows (a picture its image path,
// an indicator its number), so a host or a test can read what the plug-in shows. Values,
// attributes, validation and placement are the model's; this file only keeps the native
// objects (windows, fonts, brushes, decoded pictures) beside it, under the model's mutex.
//
// Threads. The native windows are only changed by the thread that made them (the host's UI
// thread, which loads the library): a change made on that thread is applied at once; one made
// on any other thread is posted to the panel window, whose thread then brings the window in
// line. So no call waits for another thread, and none touches a window after its panel went.
#include "panels/win32/panels_win32.h"

#include <commctrl.h>
// After <windows.h>: ChooseColorA, which WIN32_LEAN_AND_MEAN leaves out.
#include <commdlg.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <mutex>

#include "panels/driver.h"
#include "panels/model.h"

namespace {

using Lock = std::lock_guard<std::mutex>;
using model::ControlState;
using win32panels::Module;

constexpr wchar_t kPanelClass[] = L"PeltaPanel";
constexpr wchar_t kControlClass[] = L"PeltaControl";
constexpr wchar_t kOwnerClass[] = L"PeltaOwner";

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

NativePanel g_native[model::kMaxLoaded];  // guarded by model::Mutex()
HWND g_owner = nullptr;

COLORREF Rgb(int colour) {
  return RGB((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF);
}

// The model's UTF-8 as UTF-16 for the wide API, so that Windows' font fallback shows every
// script (a sequence that is not UTF-8 becomes U+FFFD). A UTF-8 text never needs more UTF-16
// units than it has bytes, so an `out` of the text's size always holds it; a longer one is cut
// at a character boundary. Always NUL-terminates (size > 0).
void Widen(const char* text, wchar_t* out, int size) {
  int length = static_cast<int>(std::strlen(text));
  if (length > size - 1) {
    length = size - 1;
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  }
  const int n = length == 0 ? 0 : MultiByteToWideChar(CP_UTF8, 0, text, length, out, size - 1);
  out[n > 0 ? n : 0] = L'\0';
}

// Caller holds the model's lock.
NativePanel* FindNative(int handle) {
  for (NativePanel& p : g_native) {
    if (handle > 0 && p.handle == handle) return &p;
  }
  return nullptr;
}

NativeControl* FindNativeControl(NativePanel* panel, int number) {
  if (panel == nullptr) return nullptr;
  for (int i = 0; i < panel->control_count; ++i) {
    if (panel->controls[i].number == number) return &panel->controls[i];
  }
  return nullptr;
}

bool IsEdit(uir::Kind kind) {
  return kind == uir::Kind::Numeric || kind == uir::Kind::Float || kind == uir::Kind::TextBox ||
         kind == uir::Kind::String;
}

bool IsSetting(uir::Kind kind) {
  return kind == uir::Kind::Checkbox || kind == uir::Kind::Dropdown || kind == uir::Kind::Colour ||
         kind == uir::Kind::Slider;
}

// A field whose label is a STATIC to its left.
bool HasFieldLabel(const uir::Control& c) {
  return c.label[0] != '\0' && (c.kind == uir::Kind::Numeric || c.kind == uir::Kind::Float ||
                                c.kind == uir::Kind::String || c.kind == uir::Kind::Dropdown ||
                                c.kind == uir::Kind::Colour || c.kind == uir::Kind::Slider);
}

// The DPI the panel's controls are drawn at (ATTR_PANEL_DPI). Caller holds the lock.
int PanelDpi(int handle) {
  const model::PanelState* panel = model::FindPanelLocked(handle);
  return panel != nullptr ? panel->dpi : model::kLayoutDpi;
}

// The main window's box in device pixels: the layout's, less what its companions take.
model::Box NativeBox(const ControlState& control, int dpi) {
  model::Box box = model::DeviceBox(model::ControlBox(control), dpi);
  const uir::Control& l = control.layout;
  if (l.kind == uir::Kind::Dropdown) box.height += model::DevicePixels(kDropListHeight, dpi);
  if (l.kind == uir::Kind::Slider) box.width -= model::DevicePixels(kSliderValueWidth, dpi);
  if (l.step > 0) box.width -= model::DevicePixels(kSpinWidth, dpi);
  if (box.width < 1) box.width = 1;
  return box;
}

void SyncSetting(int handle, int number, HFONT font);

// Caller holds the lock; owning thread. Makes the control's font when the model's typeface or
// size changed, or the panel's DPI; *old gets the font to delete once it is no longer selected
// anywhere, or null.
bool RefreshFont(const ControlState& control, NativeControl* native, HFONT* old, int dpi) {
  *old = nullptr;
  const char* face = control.font[0] != '\0' ? control.font : "Arial";
  const int size = model::DevicePixels(control.point_size, dpi);
  if (native->font != nullptr && native->font_size == size &&
      std::strcmp(native->font_face, face) == 0) {
    return false;
  }
  std::snprintf(native->font_face, sizeof native->font_face, "%s", face);
  native->font_size = size;
  // The layout's sizes are character heights in pixels, as the display strip was designed.
  // The typeface name is UTF-8 in the model (converted from the ANSI code page where pelta.ini's
  // name entered the display).
  wchar_t wide_face[LF_FACESIZE];
  Widen(face, wide_face, LF_FACESIZE);
  HFONT font = CreateFontW(-size, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                           DEFAULT_PITCH | FF_DONTCARE, wide_face);
  *old = native->font;
  native->font = font;
  return true;
}

void PrepareEditText(const char* text, char* out, size_t size) {
  size_t o = 0;
  for (size_t i = 0; text[i] != '\0' && o + 3 < size; ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out[o++] = '\r';
    out[o++] = text[i];
  }
  out[o] = '\0';
}

// Owning thread only. Brings one control's window in line with the model.
void SyncControl(int handle, int number) {
  HWND window = nullptr;
  model::Box box{};
  bool visible = false;
  bool is_edit = false;
  bool set_font = false;
  HFONT font = nullptr;
  HFONT old_font = nullptr;
  bool set_text = false;
  char text[model::kTextMax * 2];  // LF becomes CR LF in an EDIT
  wchar_t wide[model::kTextMax * 2];
  {
    Lock lock(model::Mutex());
    const ControlState* control = model::FindControlLocked(handle, number);
    NativeControl* native = FindNativeControl(FindNative(handle), number);
    if (control == nullptr || native == nullptr || native->window == nullptr) return;
    window = native->window;
    const int dpi = PanelDpi(handle);
    box = NativeBox(*control, dpi);
    visible = control->visible;
    const uir::Kind kind = control->layout.kind;
    is_edit = IsEdit(kind) || kind == uir::Kind::Button || IsSetting(kind);
    set_font = RefreshFont(*control, native, &old_font, dpi) && is_edit;
    font = native->font;
    set_text = IsEdit(kind) && native->applied_value != control->value_serial;
    if (set_text) {
      PrepareEditText(control->text, text, sizeof text);
      Widen(text, wide, model::kTextMax * 2);
    }
    native->applied_value = control->value_serial;
  }
  SetWindowPos(window, nullptr, box.left, box.top, box.width, box.height,
               SWP_NOZORDER | SWP_NOACTIVATE);
  if (set_font) SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
  if (old_font != nullptr) DeleteObject(old_font);
  if (set_text) SetWindowTextW(window, wide);
  ShowWindow(window, visible ? SW_SHOWNA : SW_HIDE);
  InvalidateRect(window, nullptr, TRUE);
  SyncSetting(handle, number, set_font ? font : nullptr);
}

// Owning thread only. Shows or hides the panel window as the model says.
void SyncPanel(int handle) {
  HWND window = nullptr;
  bool visible = false;
  bool popup = false;
  {
    Lock lock(model::Mutex());
    const model::PanelState* panel = model::FindPanelLocked(handle);
    const NativePanel* native = FindNative(handle);
    if (panel == nullptr || native == nullptr) return;
    window = native->window;
    visible = panel->visible;
    popup = panel->layout.style == uir::Style::Popup;
  }
  if (window == nullptr) return;
  // The display strip never takes the activation from the host when it appears.
  ShowWindow(window, visible ? (popup ? SW_SHOWNOACTIVATE : SW_SHOW) : SW_HIDE);
  InvalidateRect(window, nullptr, TRUE);  // the background may have changed
  if (visible) UpdateWindow(window);
}

// The panel window, whether this thread owns it; false for a panel without native windows.
bool NativeWindow(int handle, HWND* window, bool* own) {
  Lock lock(model::Mutex());
  const NativePanel* native = FindNative(handle);
  if (native == nullptr || native->window == nullptr) return false;
  *window = native->window;
  *own = native->thread == GetCurrentThreadId();
  return true;
}

void Activate(HWND window) {
  SetForegroundWindow(window);
  SetActiveWindow(window);
  HWND first = GetNextDlgTabItem(window, nullptr, FALSE);
  SetFocus(first != nullptr ? first : window);
}

// --- painting -------------------------------------------------------------------------------

// Caller holds the lock (the state cannot change or go away while it is drawn).
void PaintControl(HDC dc, const RECT& client, const ControlState& control,
                  const NativeControl& native) {
  HBRUSH back = CreateSolidBrush(Rgb(control.back_colour));
  HBRUSH fill = CreateSolidBrush(Rgb(control.fill_colour));
  HGDIOBJ font =
      native.font != nullptr ? static_cast<HGDIOBJ>(native.font) : GetStockObject(DEFAULT_GUI_FONT);
  RECT r = client;
  switch (control.layout.kind) {
    case uir::Kind::Decoration:
      FillRect(dc, &client, fill);
      break;
    case uir::Kind::Picture:
      FillRect(dc, &client, back);
      if (native.picture != nullptr) {
        HDC source = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(source, native.picture);
        SetStretchBltMode(dc, HALFTONE);
        SetBrushOrgEx(dc, 0, 0, nullptr);
        StretchBlt(dc, 0, 0, client.right, client.bottom, source, 0, 0, native.picture_width,
                   native.picture_height, SRCCOPY);
        SelectObject(source, old);
        DeleteDC(source);
      }
      break;
    case uir::Kind::Indicator: {
      // A lamp: the fill colour, a dark rim, the number centred on it.
      FillRect(dc, &client, fill);
      HBRUSH rim = CreateSolidBrush(RGB(64, 64, 64));
      FrameRect(dc, &client, rim);
      DeleteObject(rim);
      HGDIOBJ old = SelectObject(dc, font);
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, Rgb(control.text_colour));
      wchar_t number[uir::kNameMax];
      Widen(control.indicator_text, number, uir::kNameMax);
      DrawTextW(dc, number, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
      SelectObject(dc, old);
      break;
    }
    case uir::Kind::Progress: {
      // A frame and the elapsed share filled, in the text colour on the background colour; the
      // text centred on it, in the background colour where it lies on the filled part, so that
      // it reads on both.
      FillRect(dc, &client, back);
      HBRUSH ink = CreateSolidBrush(Rgb(control.text_colour));
      FrameRect(dc, &client, ink);
      RECT filled = client;
      InflateRect(&filled, -2, -2);
      const int value =
          control.int_value < 0 ? 0 : (control.int_value > 100 ? 100 : control.int_value);
      if (filled.right > filled.left) {
        filled.right = filled.left + (filled.right - filled.left) * value / 100;
      }
      if (filled.right > filled.left && filled.bottom > filled.top) FillRect(dc, &filled, ink);
      DeleteObject(ink);
      HGDIOBJ old = SelectObject(dc, font);
      SetBkMode(dc, TRANSPARENT);
      wchar_t text[uir::kNameMax];
      Widen(control.indicator_text, text, uir::kNameMax);
      const UINT format = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;
      int saved = SaveDC(dc);
      ExcludeClipRect(dc, filled.left, filled.top, filled.right, filled.bottom);
      SetTextColor(dc, Rgb(control.text_colour));
      DrawTextW(dc, text, -1, &r, format);
      RestoreDC(dc, saved);
      saved = SaveDC(dc);
      IntersectClipRect(dc, filled.left, filled.top, filled.right, filled.bottom);
      SetTextColor(dc, Rgb(control.back_colour));
      DrawTextW(dc, text, -1, &r, format);
      RestoreDC(dc, saved);
      SelectObject(dc, old);
      break;
    }
    default: {  // text
      FillRect(dc, &client, back);
      HGDIOBJ old = SelectObject(dc, font);
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, Rgb(control.text_colour));
      UINT align = DT_LEFT;
      if (control.justify == kJustifyRight) align = DT_RIGHT;
      if (control.justify == kJustifyCentre) align = DT_CENTER;
      // The box may be narrower than the text (the display keeps its texts clear of the
      // indicators): the text then ends in an ellipsis; the value itself stays whole.
      // DT_WORD_ELLIPSIS would end a programme line at a word, but a title in a script without
      // blanks (Chinese) would then lose all of itself: the cut is at a character.
      wchar_t text[model::kTextMax];
      Widen(control.text, text, model::kTextMax);
      DrawTextW(dc, text, -1, &r, align | DT_TOP | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
      SelectObject(dc, old);
      break;
    }
  }
  DeleteObject(back);
  DeleteObject(fill);
}

// The text a control answers to WM_GETTEXT with. Caller holds the lock.
const char* ControlText(const ControlState& control) {
  switch (control.layout.kind) {
    case uir::Kind::Indicator:
    case uir::Kind::Progress:
      return control.indicator_text;
    case uir::Kind::Decoration:
      return "";
    default:
      return control.text;  // a picture's value is the path of the image it shows
  }
}

int PanelHandleOf(HWND panel_window) {
  return panel_window != nullptr ? static_cast<int>(GetWindowLongPtrW(panel_window, GWLP_USERDATA))
                                 : 0;
}

LRESULT CALLBACK ControlProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  const int handle = PanelHandleOf(GetParent(window));
  const int number = GetDlgCtrlID(window);
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // WM_PAINT covers every pixel
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(window, &ps);
      RECT client;
      GetClientRect(window, &client);
      {
        Lock lock(model::Mutex());
        const ControlState* control = model::FindControlLocked(handle, number);
        NativeControl* native = FindNativeControl(FindNative(handle), number);
        if (control != nullptr && native != nullptr) {
          HFONT old_font = nullptr;
          RefreshFont(*control, native, &old_font, PanelDpi(handle));
          if (old_font != nullptr) DeleteObject(old_font);
          PaintControl(dc, client, *control, *native);
        }
      }
      EndPaint(window, &ps);
      return 0;
    }
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH: {
      // A Unicode window: the text in UTF-16 (Windows converts it for an ANSI caller).
      wchar_t text[model::kTextMax];
      {
        Lock lock(model::Mutex());
        const ControlState* control = model::FindControlLocked(handle, number);
        if (control != nullptr && control->layout.kind == uir::Kind::Picture) {
          // A picture's value is its file's path, in the ANSI code page as the file system
          // was asked for it (a logo named after the host's channel name).
          const int n = MultiByteToWideChar(CP_ACP, 0, control->text, -1, text, model::kTextMax);
          if (n == 0) text[0] = L'\0';
        } else {
          Widen(control != nullptr ? ControlText(*control) : "", text, model::kTextMax);
        }
      }
      const size_t length = std::wcslen(text);
      if (message == WM_GETTEXTLENGTH) return static_cast<LRESULT>(length);
      size_t room = static_cast<size_t>(wparam);
      wchar_t* out = reinterpret_cast<wchar_t*>(lparam);
      if (room == 0 || out == nullptr) return 0;
      size_t n = length < room - 1 ? length : room - 1;
      if (n > 0 && n < length && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF)
        --n;  // no half pair
      std::memcpy(out, text, n * sizeof(wchar_t));
      out[n] = L'\0';
      return static_cast<LRESULT>(n);
    }
    case WM_SETTEXT:
      return TRUE;  // the model is the only source of a control's text
    case PBM_GETPOS:
    case PBM_GETRANGE: {
      // A progress bar's position and its range (0..100), as the common control answers them.
      Lock lock(model::Mutex());
      const ControlState* control = model::FindControlLocked(handle, number);
      if (control == nullptr || control->layout.kind != uir::Kind::Progress) return 0;
      if (message == PBM_GETPOS) return control->int_value;
      auto* range = reinterpret_cast<PBRANGE*>(lparam);
      if (range != nullptr) *range = PBRANGE{0, 100};
      return wparam != 0 ? 0 : 100;
    }
    case WM_NCHITTEST:
      return HTTRANSPARENT;  // labels and lamps do not take the mouse from their panel
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

// An EDIT's text changed (the user typed, or SyncControl wrote it): the model takes what the
// user left. The text box is read-only and shows its text with CR LF: nothing to take.
void EditChanged(int handle, int number, HWND edit) {
  {
    Lock lock(model::Mutex());
    const ControlState* control = model::FindControlLocked(handle, number);
    if (control == nullptr || control->layout.kind == uir::Kind::TextBox) return;
  }
  wchar_t wide[model::kTextMax];
  GetWindowTextW(edit, wide, model::kTextMax);  // our own thread: a direct call
  char text[model::kTextMax];
  int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, text, sizeof text, nullptr, nullptr);
  if (n == 0) text[0] = '\0';  // more than the model keeps: typed text beyond it is not taken
  model::UserTyped(handle, number, text);
}

// WM_CTLCOLOREDIT / WM_CTLCOLORSTATIC of an EDIT: the control's colours.
LRESULT EditColours(int handle, HWND edit, HDC dc) {
  Lock lock(model::Mutex());
  const int number = GetDlgCtrlID(edit);
  const ControlState* control = model::FindControlLocked(handle, number);
  NativeControl* native = FindNativeControl(FindNative(handle), number);
  if (control == nullptr || native == nullptr || !IsEdit(control->layout.kind)) return 0;
  if (native->back_brush == nullptr || native->brush_colour != control->back_colour) {
    if (native->back_brush != nullptr) DeleteObject(native->back_brush);
    native->back_brush = CreateSolidBrush(Rgb(control->back_colour));
    native->brush_colour = control->back_colour;
  }
  SetTextColor(dc, Rgb(control->text_colour));
  SetBkColor(dc, Rgb(control->back_colour));
  return reinterpret_cast<LRESULT>(native->back_brush);
}

// The labels of numeric and float fields and of the text box, drawn by the panel to the left of
// them, right-aligned against the field.
void PaintLabels(HDC dc, int handle) {
  Lock lock(model::Mutex());
  const model::PanelState* panel = model::FindPanelLocked(handle);
  if (panel == nullptr) return;
  HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  SetBkMode(dc, TRANSPARENT);
  for (int i = 0; i < panel->control_count; ++i) {
    const ControlState& control = panel->controls[i];
    if (!IsEdit(control.layout.kind) || HasFieldLabel(control.layout) ||
        control.layout.label[0] == '\0' || !control.visible) {
      continue;
    }
    SetTextColor(dc, Rgb(control.text_colour));
    const model::Box box = model::DeviceBox(model::ControlBox(control), panel->dpi);
    RECT label{0, box.top, box.left - model::DevicePixels(kLabelGap, panel->dpi),
               box.top + box.height};
    wchar_t text[uir::kNameMax];
    Widen(control.layout.label, text, uir::kNameMax);
    DrawTextW(dc, text, -1, &label, DT_RIGHT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  }
  SelectObject(dc, old);
}

// --- the setting kinds ------------------------------------------------------------------------

// Owning thread only. Brings a control's companions, and a setting control's state when the
// plug-in set its value, in line with the model. `font`: a new font to give them, or null.
void SyncSetting(int handle, int number, HFONT font) {
  HWND window = nullptr, label = nullptr, extra = nullptr, spin = nullptr;
  uir::Kind kind = uir::Kind::Text;
  model::Box box{};
  int dpi = model::kLayoutDpi;
  bool visible = false;
  bool set_value = false;
  int value = 0, index = -1, count = 0;
  // The entries and the extra text are UTF-8 in the model, UTF-16 for the wide API.
  wchar_t entries[uir::kMaxItems + 1][uir::kItemMax + 16] = {};
  wchar_t extra_text[48] = L"";
  {
    Lock lock(model::Mutex());
    const ControlState* control = model::FindControlLocked(handle, number);
    NativeControl* native = FindNativeControl(FindNative(handle), number);
    if (control == nullptr || native == nullptr || native->window == nullptr) return;
    window = native->window;
    label = native->label;
    extra = native->extra;
    spin = native->spin;
    kind = control->layout.kind;
    if (!IsSetting(kind) && label == nullptr && extra == nullptr && spin == nullptr) return;
    dpi = PanelDpi(handle);
    box = model::DeviceBox(model::ControlBox(*control), dpi);
    visible = control->visible;
    value = control->int_value;
    index = model::ListIndex(*control);
    count = model::ListCount(*control);
    for (int i = 0; i < count; ++i) {
      char entry[uir::kItemMax + 16];
      model::ListEntry(*control, i, entry, sizeof entry, nullptr);
      Widen(entry, entries[i], uir::kItemMax + 16);
    }
    set_value = IsSetting(kind) && native->applied_setting != control->value_serial;
    native->applied_setting = control->value_serial;
    char extra_utf8[48] = "";
    if (kind == uir::Kind::Slider) model::FormatInt(extra_utf8, sizeof extra_utf8, value);
    if (control->layout.beside == uir::Beside::KeyName) {
      char name[32];
      std::snprintf(extra_utf8, sizeof extra_utf8, "= %s",
                    model::KeyName(value, name, sizeof name));
    }
    Widen(extra_utf8, extra_text, 48);
  }
  const int show = visible ? SW_SHOWNA : SW_HIDE;
  for (HWND companion : {label, extra, spin}) {
    if (companion == nullptr) continue;
    if (font != nullptr) SendMessageW(companion, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
    ShowWindow(companion, show);
  }
  const int gap = model::DevicePixels(kLabelGap, dpi);
  if (label != nullptr) {
    const int width = model::DevicePixels(kLabelWidth, dpi);
    SetWindowPos(label, nullptr, box.left - width - gap, box.top, width, box.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (spin != nullptr) {
    const int width = model::DevicePixels(kSpinWidth, dpi);
    SetWindowPos(spin, nullptr, box.left + box.width - width, box.top, width, box.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (extra != nullptr) {
    const bool slider = kind == uir::Kind::Slider;
    const int width = model::DevicePixels(slider ? kSliderValueWidth : kKeyNameWidth, dpi);
    SetWindowPos(extra, nullptr, slider ? box.left + box.width - width : box.left + box.width + gap,
                 box.top, width, box.height, SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowTextW(extra, extra_text);
  }
  if (!set_value) return;
  switch (kind) {
    case uir::Kind::Checkbox:
      SendMessageW(window, BM_SETCHECK, value != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
      break;
    case uir::Kind::Dropdown:
      // The entries change with the value: "Other (N)" comes and goes.
      SendMessageW(window, CB_RESETCONTENT, 0, 0);
      for (int i = 0; i < count; ++i) {
        SendMessageW(window, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entries[i]));
      }
      SendMessageW(window, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
      break;
    case uir::Kind::Slider:
      SendMessageW(window, TBM_SETPOS, TRUE, value);
      break;
    default:
      break;
  }
}

// The extra text of a field as the user changes its value (the slider's number, the key's name).
void SyncExtra(int handle, int number) {
  SyncSetting(handle, number, nullptr);
}

// Reads every native setting control of the panel into the model: before a button's callback,
// so what a program set with BM_SETCHECK, CB_SETCURSEL or TBM_SETPOS (which notify nobody)
// counts as the user's choice.
void Harvest(int handle) {
  struct Read {
    int number;
    uir::Kind kind;
    HWND window;
    int shown;  // what the model says the control shows: check state, entry, position
  } reads[uir::kMaxControls];
  int count = 0;
  {
    Lock lock(model::Mutex());
    const model::PanelState* panel = model::FindPanelLocked(handle);
    NativePanel* native = FindNative(handle);
    if (panel == nullptr || native == nullptr) return;
    for (int i = 0; i < panel->control_count; ++i) {
      const ControlState& c = panel->controls[i];
      const NativeControl* n = FindNativeControl(native, c.layout.number);
      if (n == nullptr || n->window == nullptr || !IsSetting(c.layout.kind)) continue;
      int shown = c.int_value;
      if (c.layout.kind == uir::Kind::Checkbox) shown = model::Checked(c) ? 1 : 0;
      if (c.layout.kind == uir::Kind::Dropdown) shown = model::ListIndex(c);
      reads[count++] = Read{c.layout.number, c.layout.kind, n->window, shown};
    }
  }
  // Only a control that shows something else than the model holds was changed: a check box
  // ticked for a value of 5 keeps the 5.
  for (int i = 0; i < count; ++i) {
    const Read& r = reads[i];
    switch (r.kind) {
      case uir::Kind::Checkbox: {
        const int on = SendMessageW(r.window, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
        if (on != r.shown) model::UserChose(handle, r.number, on);
        break;
      }
      case uir::Kind::Dropdown: {
        const int index = static_cast<int>(SendMessageW(r.window, CB_GETCURSEL, 0, 0));
        if (index >= 0 && index != r.shown) model::UserChoseEntry(handle, r.number, index);
        break;
      }
      case uir::Kind::Slider: {
        const int position = static_cast<int>(SendMessageW(r.window, TBM_GETPOS, 0, 0));
        if (position != r.shown) model::UserChose(handle, r.number, position);
        break;
      }
      default:
        break;
    }
  }
}

// The system colour chooser for a colour swatch, the current colour preselected. The model's
// colours are 0xRRGGBB; a COLORREF is 0x00BBGGRR.
void PickColour(HWND panel_window, int handle, int number) {
  int value = 0;
  {
    Lock lock(model::Mutex());
    const ControlState* control = model::FindControlLocked(handle, number);
    if (control == nullptr) return;
    value = control->int_value;
  }
  static COLORREF custom[16];
  CHOOSECOLORA dialog = {};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = panel_window;
  dialog.rgbResult = Rgb(value);
  dialog.lpCustColors = custom;
  dialog.Flags = CC_RGBINIT | CC_FULLOPEN;
  if (!ChooseColorA(&dialog)) return;
  const COLORREF c = dialog.rgbResult;
  model::UserChose(handle, number, (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c));
}

// A colour swatch: a push button with the colour inside a black frame.
void DrawSwatch(int handle, const DRAWITEMSTRUCT& item) {
  int value = 0;
  {
    Lock lock(model::Mutex());
    const ControlState* control = model::FindControlLocked(handle, static_cast<int>(item.CtlID));
    if (control == nullptr) return;
    value = control->int_value;
  }
  RECT r = item.rcItem;
  const bool pushed = (item.itemState & ODS_SELECTED) != 0;
  DrawFrameControl(item.hDC, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));
  RECT swatch{r.left + 4, r.top + 4, r.right - 4, r.bottom - 4};
  HBRUSH fill = CreateSolidBrush(Rgb(value));
  FillRect(item.hDC, &swatch, fill);
  DeleteObject(fill);
  FrameRect(item.hDC, &swatch, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  if ((item.itemState & ODS_FOCUS) != 0) {
    RECT focus{r.left + 2, r.top + 2, r.right - 2, r.bottom - 2};
    DrawFocusRect(item.hDC, &focus);
  }
}

// The spin arrows moved a field by `steps` steps: its new value, kept in its range, typed in.
void Spin(int handle, int number, int steps) {
  HWND edit = nullptr;
  char text[32];
  wchar_t wide[32];
  {
    Lock lock(model::Mutex());
    const ControlState* control = model::FindControlLocked(handle, number);
    const NativeControl* native = FindNativeControl(FindNative(handle), number);
    if (control == nullptr || native == nullptr || control->layout.step <= 0) return;
    const uir::Control& l = control->layout;
    double v = control->float_value + steps * l.step;
    v = std::round(v / l.step) * l.step;  // on the step's grid, without drift
    if (v < l.min) v = l.min;
    if (v > l.max) v = l.max;
    if (l.kind == uir::Kind::Float) {
      model::FormatFloat(text, sizeof text, v);
    } else {
      model::FormatInt(text, sizeof text, static_cast<int>(std::lround(v)));
    }
    edit = native->window;
  }
  Widen(text, wide, 32);
  SetWindowTextW(edit, wide);  // EN_CHANGE gives the model the value
}

// WM_CTLCOLORSTATIC of a label, a check box or a slider: text on the panel's background.
LRESULT SettingColours(int handle, HWND child, HDC dc) {
  Lock lock(model::Mutex());
  const model::PanelState* panel = model::FindPanelLocked(handle);
  NativePanel* native = FindNative(handle);
  if (panel == nullptr || native == nullptr || native->control_count == 0) return 0;
  (void)child;
  NativeControl& keeper = native->controls[0];  // one brush per panel, kept by its first control
  if (keeper.panel_brush == nullptr || keeper.panel_brush_colour != panel->background) {
    if (keeper.panel_brush != nullptr) DeleteObject(keeper.panel_brush);
    keeper.panel_brush = CreateSolidBrush(Rgb(panel->background));
    keeper.panel_brush_colour = panel->background;
  }
  SetBkColor(dc, Rgb(panel->background));
  SetTextColor(dc, RGB(0, 0, 0));
  return reinterpret_cast<LRESULT>(keeper.panel_brush);
}

// The kind of a control of a panel; Text for none.
uir::Kind KindOf(int handle, int number) {
  Lock lock(model::Mutex());
  const ControlState* control = model::FindControlLocked(handle, number);
  return control != nullptr ? control->layout.kind : uir::Kind::Text;
}

// WM_COMMAND from a child: a press, a choice, typing.
void ChildCommand(HWND window, int handle, int number, int code, HWND child) {
  switch (KindOf(handle, number)) {
    case uir::Kind::Button:
      if (code != BN_CLICKED) break;
      Harvest(handle);
      model::Commit(handle, number);
      break;
    case uir::Kind::Checkbox:
      if (code != BN_CLICKED) break;
      model::UserChose(handle, number,
                       SendMessageW(child, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0);
      break;
    case uir::Kind::Colour:
      if (code == BN_CLICKED) PickColour(window, handle, number);
      InvalidateRect(child, nullptr, FALSE);
      break;
    case uir::Kind::Dropdown:
      if (code != CBN_SELCHANGE) break;
      model::UserChoseEntry(handle, number,
                            static_cast<int>(SendMessageW(child, CB_GETCURSEL, 0, 0)));
      break;
    case uir::Kind::Numeric:
    case uir::Kind::Float:
    case uir::Kind::TextBox:
    case uir::Kind::String:
      if (code != EN_CHANGE) break;
      EditChanged(handle, number, child);
      SyncExtra(handle, number);
      break;
    default:
      break;
  }
}

LRESULT CALLBACK PanelProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  const int handle = PanelHandleOf(window);
  switch (message) {
    case WM_NCCREATE: {
      auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
      return DefWindowProcW(window, message, wparam, lparam);
    }
    case WM_ERASEBKGND: {
      int colour = model::PanelBackground(handle);
      RECT client;
      GetClientRect(window, &client);
      HBRUSH brush = CreateSolidBrush(Rgb(colour >= 0 ? colour : 0xFFFFFF));
      FillRect(reinterpret_cast<HDC>(wparam), &client, brush);
      DeleteObject(brush);
      return 1;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(window, &ps);
      PaintLabels(dc, handle);
      EndPaint(window, &ps);
      return 0;
    }
    case WM_COMMAND: {
      const int number = LOWORD(wparam);
      const int code = HIWORD(wparam);
      HWND child = reinterpret_cast<HWND>(lparam);
      if (child == nullptr) break;
      ChildCommand(window, handle, number, code, child);
      return 0;
    }
    case WM_HSCROLL: {  // a slider moved
      HWND child = reinterpret_cast<HWND>(lparam);
      if (child == nullptr) break;
      const int number = GetDlgCtrlID(child);
      model::UserChose(handle, number, static_cast<int>(SendMessageW(child, TBM_GETPOS, 0, 0)));
      SyncExtra(handle, number);
      return 0;
    }
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lparam);
      if (header == nullptr || header->code != UDN_DELTAPOS) break;
      const auto* change = reinterpret_cast<const NMUPDOWN*>(lparam);
      Spin(handle, static_cast<int>(GetWindowLongPtrW(header->hwndFrom, GWLP_USERDATA)),
           change->iDelta);
      return 1;  // the arrows keep their own position: the field holds the value
    }
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
      if (item == nullptr || item->CtlType != ODT_BUTTON) break;
      DrawSwatch(handle, *item);
      return TRUE;
    }
    case kMsgChooseColour:
      if (KindOf(handle, static_cast<int>(wparam)) != uir::Kind::Colour) return 0;
      model::UserChose(handle, static_cast<int>(wparam), static_cast<int>(lparam & 0xFFFFFF));
      InvalidateRect(GetDlgItem(window, static_cast<int>(wparam)), nullptr, FALSE);
      return 0;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
      LRESULT brush =
          EditColours(handle, reinterpret_cast<HWND>(lparam), reinterpret_cast<HDC>(wparam));
      if (brush == 0 && message == WM_CTLCOLORSTATIC) {
        brush =
            SettingColours(handle, reinterpret_cast<HWND>(lparam), reinterpret_cast<HDC>(wparam));
      }
      if (brush != 0) return brush;
      break;
    }
    case WM_CLOSE:
      // Never destroyed here: the handle lives until DiscardPanel.
      model::CloseRequest(handle);
      return 0;
    case WM_MOUSEACTIVATE: {
      Lock lock(model::Mutex());
      const model::PanelState* panel = model::FindPanelLocked(handle);
      if (panel != nullptr && panel->layout.style == uir::Style::Popup) return MA_NOACTIVATE;
      break;
    }
    case kMsgSyncPanel:
      SyncPanel(handle);
      return 0;
    case kMsgSyncControl:
      SyncControl(handle, static_cast<int>(wparam));
      return 0;
    case kMsgActivate:
      Activate(window);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return DefWindowProcW(window, message, wparam, lparam);
}

// Creates the panel window and its controls (no lock held: creation sends messages that come
// back into the window procedures). False when a window cannot be made.
bool CreatePanelWindows(int handle, const uir::Panel& layout, HWND* out_window) {
  HINSTANCE module = Module();
  const bool popup = layout.style == uir::Style::Popup;
  DWORD style = popup ? WS_POPUP : (WS_POPUP | WS_CAPTION | WS_SYSMENU);
  DWORD ex_style = popup ? (WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE) : WS_EX_DLGMODALFRAME;
  style |= WS_CLIPCHILDREN;
  RECT frame{layout.left, layout.top, layout.left + layout.width, layout.top + layout.height};
  AdjustWindowRectEx(&frame, style, FALSE, ex_style);  // the layout's size is the client area
  wchar_t caption[uir::kNameMax];
  Widen(layout.caption, caption, uir::kNameMax);
  HWND window = CreateWindowExW(ex_style, kPanelClass, caption, style, frame.left, frame.top,
                                frame.right - frame.left, frame.bottom - frame.top,
                                win32panels::OwnerWindow(), nullptr, module,
                                reinterpret_cast<void*>(static_cast<INT_PTR>(handle)));
  if (window == nullptr) return false;
  *out_window = window;
  const bool dialog = layout.style == uir::Style::Dialog;
  for (int i = 0; i < layout.control_count; ++i) {
    const uir::Control& c = layout.controls[i];
    wchar_t title[uir::kNameMax] = L"";
    // A field's label comes just before it: Alt+letter on the label moves to the field.
    HWND label = nullptr;
    if (HasFieldLabel(c)) {
      Widen(c.label, title, uir::kNameMax);
      label = CreateWindowExW(0, L"STATIC", title, WS_CHILD | SS_RIGHT | SS_CENTERIMAGE, 0, 0, 1, 1,
                              window, nullptr, module, nullptr);
      if (label == nullptr) return false;
      title[0] = L'\0';
    }
    const wchar_t* window_class = kControlClass;
    DWORD control_style = WS_CHILD | WS_CLIPSIBLINGS;
    DWORD control_ex = 0;
    switch (c.kind) {
      case uir::Kind::Numeric:
      case uir::Kind::Float:
      case uir::Kind::String:
        window_class = L"EDIT";
        control_style |= WS_TABSTOP | ES_AUTOHSCROLL;
        control_ex = WS_EX_CLIENTEDGE;
        break;
      case uir::Kind::TextBox:
        window_class = L"EDIT";
        control_style |= WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL;
        control_ex = WS_EX_CLIENTEDGE;
        break;
      case uir::Kind::Button:
        window_class = L"BUTTON";
        Widen(c.label, title, uir::kNameMax);
        control_style |= WS_TABSTOP | BS_PUSHBUTTON;
        break;
      case uir::Kind::Checkbox:
        window_class = L"BUTTON";
        Widen(c.label, title, uir::kNameMax);
        control_style |= WS_TABSTOP | BS_AUTOCHECKBOX;
        break;
      case uir::Kind::Dropdown:
        window_class = L"COMBOBOX";
        control_style |= WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
        break;
      case uir::Kind::Colour:
        window_class = L"BUTTON";
        control_style |= WS_TABSTOP | BS_OWNERDRAW;
        break;
      case uir::Kind::Slider:
        window_class = TRACKBAR_CLASSW;
        control_style |= WS_TABSTOP | TBS_HORZ | TBS_NOTICKS;
        break;
      default:
        break;
    }
    HWND control = CreateWindowExW(
        control_ex, window_class, title, control_style, c.left, c.top, c.width, c.height, window,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.number)), module, nullptr);
    if (control == nullptr) return false;
    // The layout lists controls in drawing order, later ones over earlier ones; a new child
    // window starts at the bottom of its siblings, so each is raised as it is made. A dialog's
    // controls do not overlap: they keep the order they were made in, which is the order Tab
    // moves through them.
    if (!dialog) {
      SetWindowPos(control, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    HWND extra = nullptr;
    HWND spin = nullptr;
    if (c.kind == uir::Kind::Slider) {
      SendMessageW(control, TBM_SETRANGEMIN, FALSE, static_cast<LPARAM>(c.min));
      SendMessageW(control, TBM_SETRANGEMAX, FALSE, static_cast<LPARAM>(c.max));
      SendMessageW(control, TBM_SETPAGESIZE, 0, 16);
    }
    if (c.kind == uir::Kind::Slider || c.beside == uir::Beside::KeyName) {
      extra = CreateWindowExW(0, L"STATIC", L"",
                              WS_CHILD | SS_CENTERIMAGE | SS_NOPREFIX |
                                  (c.kind == uir::Kind::Slider ? SS_RIGHT : SS_LEFT),
                              0, 0, 1, 1, window, nullptr, module, nullptr);
    }
    if (c.step > 0) {
      spin = CreateWindowExW(0, UPDOWN_CLASSW, L"", WS_CHILD, 0, 0, 1, 1, window, nullptr, module,
                             nullptr);
      if (spin != nullptr) {
        SetWindowLongPtrW(spin, GWLP_USERDATA, c.number);
        // Up is +1 (the default range runs the other way); the position never reaches an end.
        SendMessageW(spin, UDM_SETRANGE32, 0, 1000);
        SendMessageW(spin, UDM_SETPOS32, 0, 500);
      }
    }
    Lock lock(model::Mutex());
    NativeControl* native = FindNativeControl(FindNative(handle), c.number);
    if (native != nullptr) {
      native->window = control;
      native->label = label;
      native->extra = extra;
      native->spin = spin;
    }
  }
  return true;
}

}  // namespace

namespace win32panels {

HWND OwnerWindow() {
  if (g_owner == nullptr) {
    g_owner = CreateWindowExW(WS_EX_TOOLWINDOW, kOwnerClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                              nullptr, Module(), nullptr);
  }
  return g_owner;
}

bool RegisterClasses(HINSTANCE module) {
  WNDCLASSW panel = {};
  panel.lpfnWndProc = &PanelProc;
  panel.hInstance = module;
  panel.hCursor = LoadCursor(nullptr, IDC_ARROW);
  panel.lpszClassName = kPanelClass;
  WNDCLASSW control = {};
  control.lpfnWndProc = &ControlProc;
  control.hInstance = module;
  control.hCursor = LoadCursor(nullptr, IDC_ARROW);
  control.lpszClassName = kControlClass;
  WNDCLASSW owner = {};
  owner.lpfnWndProc = &OwnerProc;
  owner.hInstance = module;
  owner.lpszClassName = kOwnerClass;
  // Already registered (a second set-up in the same module) counts as success.
  for (const WNDCLASSW* c : {&panel, &control, &owner}) {
    if (RegisterClassW(c) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  }
  return true;
}

void UnregisterClasses(HINSTANCE module) {
  if (g_owner != nullptr) {
    if (GetWindowThreadProcessId(g_owner, nullptr) == GetCurrentThreadId()) {
      DestroyWindow(g_owner);
    } else {
      AbandonWindow(g_owner);
    }
    g_owner = nullptr;
  }
  UnregisterClassW(kPanelClass, module);
  UnregisterClassW(kControlClass, module);
  UnregisterClassW(kOwnerClass, module);
}

namespace {
BOOL CALLBACK ReleaseChild(HWND child, LPARAM) {
  SetWindowLongPtrW(child, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DefWindowProcW));
  return TRUE;
}
}  // namespace

bool DialogKey(MSG* message) {
  if (message->message < WM_KEYFIRST || message->message > WM_KEYLAST) return false;
  HWND root = GetAncestor(message->hwnd, GA_ROOT);
  int handle = 0;
  int default_button = 0;
  int focus_button = 0;
  HWND focus = GetFocus();
  {
    Lock lock(model::Mutex());
    const NativePanel* native = nullptr;
    for (const NativePanel& p : g_native) {
      if (p.handle != 0 && p.window != nullptr && p.window == root) native = &p;
    }
    const model::PanelState* panel =
        native != nullptr ? model::FindPanelLocked(native->handle) : nullptr;
    if (panel == nullptr || panel->layout.style != uir::Style::Dialog) return false;
    handle = panel->handle;
    for (int i = 0; i < panel->control_count; ++i) {
      const ControlState& c = panel->controls[i];
      if (c.layout.kind != uir::Kind::Button) continue;
      if (default_button == 0) default_button = c.layout.number;
      const NativeControl* n = FindNativeControl(FindNative(handle), c.layout.number);
      if (n != nullptr && n->window == focus) focus_button = c.layout.number;
    }
  }
  if (message->message == WM_KEYDOWN &&
      (message->wParam == VK_ESCAPE || message->wParam == VK_RETURN)) {
    // An open list takes its own Enter and Esc (they close it).
    HWND list = focus;
    while (list != nullptr && list != root && GetParent(list) != root) list = GetParent(list);
    if (list != nullptr && SendMessageW(list, CB_GETDROPPEDSTATE, 0, 0) != 0) {
      return IsDialogMessageW(root, message) != 0;
    }
    if (message->wParam == VK_ESCAPE) {
      model::CloseRequest(handle);  // as the close box: no close control, no save
      return true;
    }
    const int button = focus_button != 0 ? focus_button : default_button;
    if (button != 0) {
      Harvest(handle);
      model::Commit(handle, button);
    }
    return true;
  }
  if (message->message == WM_KEYDOWN && (message->wParam == VK_UP || message->wParam == VK_DOWN) &&
      focus != nullptr && GetParent(focus) == root) {
    // Up and Down in a spin field move it a step, as its arrows do.
    const int number = GetDlgCtrlID(focus);
    bool spin = false;
    {
      Lock lock(model::Mutex());
      const ControlState* control = model::FindControlLocked(handle, number);
      spin = control != nullptr && control->layout.step > 0 && IsEdit(control->layout.kind);
    }
    if (spin) {
      Spin(handle, number, message->wParam == VK_UP ? 1 : -1);
      return true;
    }
  }
  if (message->message == WM_SYSCHAR && message->wParam < 0x80) {
    // Alt+letter: the control whose label marks the letter takes the focus; a check box or a
    // button is also clicked, as Windows does.
    char letter = static_cast<char>(message->wParam);
    if (letter >= 'A' && letter <= 'Z') letter = static_cast<char>(letter - 'A' + 'a');
    HWND target = nullptr;
    bool click = false;
    {
      Lock lock(model::Mutex());
      const model::PanelState* panel = model::FindPanelLocked(handle);
      for (int i = 0; panel != nullptr && i < panel->control_count && target == nullptr; ++i) {
        const ControlState& c = panel->controls[i];
        if (!c.visible || letter == '\0' || model::Mnemonic(c.layout.label) != letter) continue;
        const NativeControl* n = FindNativeControl(FindNative(handle), c.layout.number);
        if (n == nullptr) continue;
        target = n->window;
        click = c.layout.kind == uir::Kind::Checkbox || c.layout.kind == uir::Kind::Button;
      }
    }
    if (target != nullptr) {
      SetFocus(target);
      if (click) SendMessageW(target, BM_CLICK, 0, 0);
      return true;
    }
  }
  if (message->message == WM_KEYDOWN && message->wParam == VK_TAB) {
    // The next tab stop in the order the controls were made (reading order), or the one
    // before with Shift.
    const bool back = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
    HWND next = GetNextDlgTabItem(root, focus != nullptr && IsChild(root, focus) ? focus : nullptr,
                                  back ? TRUE : FALSE);
    if (next != nullptr) SetFocus(next);
    return true;
  }
  if (message->message == WM_CHAR &&
      (message->wParam == '\r' || message->wParam == 27 || message->wParam == '\t')) {
    return true;  // the key was taken above; no beep
  }
  return IsDialogMessageW(root, message) != 0;
}

void AbandonWindow(HWND window) {
  ShowWindowAsync(window, SW_HIDE);
  EnumChildWindows(window, &ReleaseChild, 0);
  SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DefWindowProcW));
  PostMessageW(window, WM_CLOSE, 0, 0);
}

}  // namespace win32panels

// --- the driver -------------------------------------------------------------------------------

namespace driver {

bool NativePath(const char* path, char* out, size_t size) {
  if (path == nullptr || std::strlen(path) >= size) return false;
  std::memcpy(out, path, std::strlen(path) + 1);
  return true;
}

bool CreatePanel(int handle, const uir::Panel& layout) {
  if (Module() == nullptr) return false;  // InitCVIRTE first
  {
    Lock lock(model::Mutex());
    NativePanel* slot = nullptr;
    for (NativePanel& p : g_native) {
      if (p.handle == 0 && slot == nullptr) slot = &p;
    }
    if (slot == nullptr) return false;
    std::memset(slot, 0, sizeof *slot);
    slot->handle = handle;
    slot->thread = GetCurrentThreadId();
    slot->control_count = layout.control_count;
    for (int i = 0; i < layout.control_count; ++i) {
      slot->controls[i].number = layout.controls[i].number;
      slot->controls[i].brush_colour = -1;
    }
  }
  HWND window = nullptr;
  const bool made = CreatePanelWindows(handle, layout, &window);
  {
    Lock lock(model::Mutex());
    NativePanel* native = FindNative(handle);
    if (native != nullptr) native->window = window;
  }
  if (!made) return false;  // the model discards the panel, and DestroyPanel cleans up
  for (int i = 0; i < layout.control_count; ++i) SyncControl(handle, layout.controls[i].number);
  return true;
}

void DestroyPanel(int handle) {
  HWND window = nullptr;
  bool own = false;
  HGDIOBJ objects[uir::kMaxControls * 4];
  int count = 0;
  {
    Lock lock(model::Mutex());
    NativePanel* native = FindNative(handle);
    if (native == nullptr) return;
    window = native->window;
    own = native->thread == GetCurrentThreadId();
    for (int i = 0; i < native->control_count; ++i) {
      const NativeControl& c = native->controls[i];
      for (HGDIOBJ object :
           {static_cast<HGDIOBJ>(c.font), static_cast<HGDIOBJ>(c.back_brush),
            static_cast<HGDIOBJ>(c.picture), static_cast<HGDIOBJ>(c.panel_brush)}) {
        if (object != nullptr) objects[count++] = object;
      }
    }
    native->handle = 0;
  }
  if (window != nullptr) {
    if (own) {
      DestroyWindow(window);
    } else {
      win32panels::AbandonWindow(window);
    }
  }
  for (int i = 0; i < count; ++i) DeleteObject(objects[i]);
}

void PanelChanged(int handle) {
  HWND window = nullptr;
  bool own = false;
  if (!NativeWindow(handle, &window, &own)) return;
  if (own) {
    SyncPanel(handle);
  } else {
    PostMessageW(window, kMsgSyncPanel, 0, 0);
  }
}

void ControlChanged(int handle, int control) {
  HWND window = nullptr;
  bool own = false;
  if (!NativeWindow(handle, &window, &own)) return;
  if (own) {
    SyncControl(handle, control);
  } else {
    PostMessageW(window, kMsgSyncControl, static_cast<WPARAM>(control), 0);
  }
}

void ActivatePanel(int handle) {
  HWND window = nullptr;
  bool own = false;
  if (!NativeWindow(handle, &window, &own)) return;
  if (own) {
    Activate(window);
  } else {
    PostMessageW(window, kMsgActivate, 0, 0);
  }
}

HWND PanelWindow(int handle) {
  HWND window = nullptr;
  bool own = false;
  return NativeWindow(handle, &window, &own) ? window : nullptr;
}

bool PanelActive(int handle) {
  HWND window = PanelWindow(handle);
  if (window == nullptr || !IsWindowVisible(window)) return false;
  // A message box, the font or the colour chooser of the panel is owned by it (or by a window
  // it owns): the user is still working in the panel.
  for (HWND w = GetForegroundWindow(); w != nullptr; w = GetWindow(w, GW_OWNER)) {
    if (w == window) return true;
  }
  return false;
}

bool LoadPicture(int handle, int control, const char* path, char* shown, size_t shown_size) {
  {
    // The picture already shown: a change back to the same channel decodes nothing.
    Lock lock(model::Mutex());
    const NativeControl* native = FindNativeControl(FindNative(handle), control);
    if (native != nullptr && native->picture != nullptr &&
        std::strcmp(native->picture_path, path) == 0) {
      std::snprintf(shown, shown_size, "%s", path);
      return true;
    }
  }
  HBITMAP bitmap = nullptr;
  int width = 0;
  int height = 0;
  if (!win32panels::DecodeImageFile(path, &bitmap, &width, &height)) return false;
  HBITMAP old = nullptr;
  {
    Lock lock(model::Mutex());
    NativeControl* native = FindNativeControl(FindNative(handle), control);
    if (native == nullptr) {
      DeleteObject(bitmap);  // discarded meanwhile
      return false;
    }
    old = native->picture;
    native->picture = bitmap;
    native->picture_width = width;
    native->picture_height = height;
    std::snprintf(native->picture_path, sizeof native->picture_path, "%s", path);
  }
  // Only the owning thread paints, under the lock, so the old bitmap is no longer in use.
  if (old != nullptr) DeleteObject(old);
  std::snprintf(shown, shown_size, "%s", path);
  return true;
}

}  // namespace driver
