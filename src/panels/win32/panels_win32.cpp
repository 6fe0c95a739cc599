// The Win32 panel driver: native windows for the panel model (panels/model.h).
//
// A panel is a top-level window owned by a hidden window of the library (so it never shows in
// the taskbar): a borderless WS_POPUP tool window for `style = popup` (the on-screen display
// strip; the plug-in makes it layered and topmost itself) or a captioned dialog window. Each
// control is a child window whose id is its control number, so GetDlgItem(panel, n) finds it:
//   text, picture, indicator, decoration  our own "PeltaControl" class, painted from the model
//   numeric, float                        EDIT (the user types the value)
//   textbox                               multiline read-only EDIT
//   button                                BUTTON; a click is a commit for the model
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
  return kind == uir::Kind::Numeric || kind == uir::Kind::Float || kind == uir::Kind::TextBox;
}

// Caller holds the lock; owning thread. Makes the control's font when the model's typeface or
// size changed; *old gets the font to delete once it is no longer selected anywhere, or null.
bool RefreshFont(const ControlState& control, NativeControl* native, HFONT* old) {
  *old = nullptr;
  const char* face = control.font[0] != '\0' ? control.font : "Arial";
  if (native->font != nullptr && native->font_size == control.point_size &&
      std::strcmp(native->font_face, face) == 0) {
    return false;
  }
  std::snprintf(native->font_face, sizeof native->font_face, "%s", face);
  native->font_size = control.point_size;
  // The layout's sizes are character heights in pixels, as the display strip was designed.
  // The typeface name is UTF-8 in the model (converted from the ANSI code page where pelta.ini's
  // name entered the display).
  wchar_t wide_face[LF_FACESIZE];
  Widen(face, wide_face, LF_FACESIZE);
  HFONT font = CreateFontW(-control.point_size, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                           DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                           ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_DONTCARE, wide_face);
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
    box = model::ControlBox(*control);
    visible = control->visible;
    const uir::Kind kind = control->layout.kind;
    is_edit = IsEdit(kind) || kind == uir::Kind::Button;
    set_font = RefreshFont(*control, native, &old_font) && is_edit;
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
          RefreshFont(*control, native, &old_font);
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
    if (!IsEdit(control.layout.kind) || control.layout.label[0] == '\0' || !control.visible) {
      continue;
    }
    SetTextColor(dc, Rgb(control.text_colour));
    const model::Box box = model::ControlBox(control);
    RECT label{0, box.top, box.left - 6, box.top + box.height};
    wchar_t text[uir::kNameMax];
    Widen(control.layout.label, text, uir::kNameMax);
    DrawTextW(dc, text, -1, &label, DT_RIGHT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  }
  SelectObject(dc, old);
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
      if (code == BN_CLICKED) model::Commit(handle, number);
      if (code == EN_CHANGE) EditChanged(handle, number, child);
      return 0;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
      LRESULT brush =
          EditColours(handle, reinterpret_cast<HWND>(lparam), reinterpret_cast<HDC>(wparam));
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
  for (int i = 0; i < layout.control_count; ++i) {
    const uir::Control& c = layout.controls[i];
    const wchar_t* window_class = kControlClass;
    wchar_t title[uir::kNameMax] = L"";
    DWORD control_style = WS_CHILD | WS_CLIPSIBLINGS;
    DWORD control_ex = 0;
    switch (c.kind) {
      case uir::Kind::Numeric:
      case uir::Kind::Float:
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
      default:
        break;
    }
    HWND control = CreateWindowExW(
        control_ex, window_class, title, control_style, c.left, c.top, c.width, c.height, window,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.number)), module, nullptr);
    if (control == nullptr) return false;
    // The layout lists controls in drawing order, later ones over earlier ones; a new child
    // window starts at the bottom of its siblings, so each is raised as it is made.
    SetWindowPos(control, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    Lock lock(model::Mutex());
    NativeControl* native = FindNativeControl(FindNative(handle), c.number);
    if (native != nullptr) native->window = control;
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
  HGDIOBJ objects[uir::kMaxControls * 3];
  int count = 0;
  {
    Lock lock(model::Mutex());
    NativePanel* native = FindNative(handle);
    if (native == nullptr) return;
    window = native->window;
    own = native->thread == GetCurrentThreadId();
    for (int i = 0; i < native->control_count; ++i) {
      const NativeControl& c = native->controls[i];
      for (HGDIOBJ object : {static_cast<HGDIOBJ>(c.font), static_cast<HGDIOBJ>(c.back_brush),
                             static_cast<HGDIOBJ>(c.picture)}) {
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
