// Panels and controls as native Win32 windows, built from the layout file pelta.uir.
//
// A panel is a top-level window owned by a hidden window of the library (so it never shows in
// the taskbar): a borderless WS_POPUP tool window for `style = popup` (the on-screen display
// strip; the plug-in makes it layered and topmost itself) or a captioned dialog window. Each
// control is a child window whose id is its control number, so GetDlgItem(panel, n) finds it:
//   text, picture, indicator, decoration  our own "PeltaControl" class, painted from the state
//   numeric, float                        EDIT (the user types the value)
//   textbox                               multiline read-only EDIT
//   button                                BUTTON; a click runs its callback with EVENT_COMMIT
// Every control answers WM_GETTEXT with its current text (a picture with the image path, an
// indicator with its number), so a host or a test can read what the plug-in shows.
//
// Threads. Values and attributes live in the module-level table below under one mutex, which
// is never held while a message goes to another thread. The native windows are only changed
// by the thread that made them (the host's UI thread, which loads the library): a call from
// that thread updates its window at once; a call from any other thread updates the state and
// posts a message to the panel window, whose owning thread then brings the window in line. So
// no call waits for another thread, and none touches a window after its panel was discarded.
//
// Handles come from a counter and are never reused: a discarded or never-loaded handle is
// rejected (negative result, no effect), which the plug-in relies on at shutdown.
#include "panels/win32/panels_win32.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "panels/uir.h"

namespace {

using win32panels::Module;

constexpr int kErrNotLoaded = -1;
constexpr int kErrFile = -2;
constexpr int kErrNoPanel = -3;
constexpr int kErrNoControl = -4;
constexpr int kErrAttribute = -5;
constexpr int kErrTooMany = -6;
constexpr int kErrWindow = -7;
constexpr int kErrImage = -8;
constexpr int kErrCallback = -9;
constexpr int kErrValue = -10;

constexpr int kTextMax = 2048;  // a control's text (NUL included): the guide box holds 1023+
constexpr int kPathMax = 512;
constexpr char kPanelClass[] = "PeltaPanel";
constexpr char kControlClass[] = "PeltaControl";
constexpr char kOwnerClass[] = "PeltaOwner";

// Posted to a panel window by calls from threads that do not own it.
constexpr UINT kMsgSyncPanel = WM_APP + 0x40;    // show/hide as the state says
constexpr UINT kMsgSyncControl = WM_APP + 0x41;  // wParam: control number
constexpr UINT kMsgActivate = WM_APP + 0x42;
constexpr UINT kMsgDestroy = WM_APP + 0x43;

struct ControlState {
  uir::Control layout;
  HWND window;
  PanelCallback callback;
  char text[kTextMax];
  unsigned text_serial;     // bumped by every value change; an EDIT is rewritten when it moves
  unsigned applied_serial;  // the serial the EDIT shows
  int left, top;            // ATTR_LEFT, ATTR_TOP
  bool visible;
  char font[uir::kNameMax];
  int point_size;
  int justify;
  int text_colour, back_colour, fill_colour;
  char indicator_text[uir::kNameMax];
  HFONT hfont;  // made from font/point_size by the owning thread
  bool font_dirty;
  HBRUSH back_brush;  // for the EDIT controls' WM_CTLCOLOR*
  int brush_colour;
  HBITMAP picture;
  int picture_width, picture_height;
  char picture_path[kPathMax];
};

struct PanelState {
  int handle;  // 0: slot free
  int number;
  char caption[uir::kNameMax];
  uir::Style style;
  int left, top, width, height;
  int background;
  int close_control;
  HWND window;
  DWORD thread;  // the thread that made the window
  bool visible;
  ControlState controls[uir::kMaxControls];
  int control_count;
};

std::mutex g_mutex;  // guards g_panels and g_next_handle
PanelState g_panels[uir::kMaxPanels];
int g_next_handle = 1;
uir::Layout g_layout;  // LoadPanelEx's scratch, guarded by g_load_mutex
std::mutex g_load_mutex;
HWND g_owner = nullptr;

COLORREF Rgb(int colour) {
  return RGB((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF);
}

void CopyText(char* out, size_t size, const char* text) {
  if (size == 0) return;
  std::snprintf(out, size, "%s", text != nullptr ? text : "");
}

// Caller holds g_mutex.
PanelState* FindPanel(int handle) {
  if (handle <= 0) return nullptr;
  for (PanelState& panel : g_panels) {
    if (panel.handle == handle) return &panel;
  }
  return nullptr;
}

ControlState* FindControl(PanelState* panel, int number) {
  if (panel == nullptr) return nullptr;
  for (int i = 0; i < panel->control_count; ++i) {
    if (panel->controls[i].layout.number == number) return &panel->controls[i];
  }
  return nullptr;
}

bool OnOwnerThread(const PanelState& panel) {
  return panel.thread == GetCurrentThreadId();
}

bool IsEdit(uir::Kind kind) {
  return kind == uir::Kind::Numeric || kind == uir::Kind::Float || kind == uir::Kind::TextBox;
}

// The control's rectangle in the panel. Text labels with right or centred alignment size
// themselves to their text around an anchor at the left edge set: right-aligned text ends 8
// pixels right of it, centred text is centred 4 pixels right of it.
RECT ControlRect(const ControlState& control) {
  int x = control.left;
  const int width = control.layout.width;
  if (control.layout.kind == uir::Kind::Text) {
    if (control.justify == kJustifyRight) x = control.left + 8 - width;
    if (control.justify == kJustifyCentre) x = control.left + 4 - width / 2;
  }
  return RECT{x, control.top, x + width, control.top + control.layout.height};
}

// Numbers as the fields show them (the headless model formats them the same way).
void FormatInt(char* out, size_t size, int value) {
  std::snprintf(out, size, "%d", value);
}
void FormatFloat(char* out, size_t size, double value) {
  std::snprintf(out, size, "%.1f", value);
}

bool IsNumberField(uir::Kind kind) {
  return kind == uir::Kind::Numeric || kind == uir::Kind::Float;
}

// Caller holds g_mutex. A value change: the text and, for EDIT controls, a new serial.
void StoreText(ControlState* control, const char* text) {
  CopyText(control->text, sizeof control->text, text);
  ++control->text_serial;
}

void InitControl(ControlState* control, const uir::Control& layout) {
  std::memset(control, 0, sizeof *control);
  control->layout = layout;
  control->left = layout.left;
  control->top = layout.top;
  control->visible = layout.visible;
  CopyText(control->font, sizeof control->font, layout.font);
  control->point_size = layout.point_size;
  control->justify = layout.justify;
  control->text_colour = layout.text_colour;
  control->back_colour = layout.back_colour;
  control->fill_colour = layout.fill_colour;
  control->font_dirty = true;
  control->brush_colour = -1;
  CopyText(control->text, sizeof control->text, layout.value);
  if (layout.kind == uir::Kind::Button) CopyText(control->text, sizeof control->text, layout.label);
  control->text_serial = 1;
}

// Caller holds g_mutex; runs on the owning thread. Returns the font to delete once it is no
// longer selected anywhere (the old one), or null.
HFONT RefreshFont(ControlState* control) {
  if (!control->font_dirty) return nullptr;
  control->font_dirty = false;
  const char* face = control->font[0] != '\0' ? control->font : "Arial";
  // The layout's sizes are character heights in pixels, as the display strip was designed.
  HFONT font = CreateFontA(-control->point_size, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                           DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                           ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
  HFONT old = control->hfont;
  control->hfont = font;
  return old;
}

// Everything the owning thread needs to make a control's window match its state.
struct ControlSync {
  HWND window;
  RECT rect;
  bool visible;
  bool is_edit;
  bool set_font;
  HFONT font;
  HFONT old_font;
  bool set_text;
  char text[kTextMax * 2];  // LF becomes CR LF in an EDIT
};

void PrepareEditText(const char* text, char* out, size_t size) {
  size_t o = 0;
  for (size_t i = 0; text[i] != '\0' && o + 3 < size; ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out[o++] = '\r';
    out[o++] = text[i];
  }
  out[o] = '\0';
}

// Owning thread only. Brings one control's window in line with its state.
void SyncControl(int panel_handle, int number) {
  ControlSync sync;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    ControlState* control = FindControl(FindPanel(panel_handle), number);
    if (control == nullptr || control->window == nullptr) return;
    sync.window = control->window;
    sync.rect = ControlRect(*control);
    sync.visible = control->visible;
    sync.is_edit = IsEdit(control->layout.kind) || control->layout.kind == uir::Kind::Button;
    sync.set_font = control->font_dirty && sync.is_edit;
    sync.old_font = RefreshFont(control);
    sync.font = control->hfont;
    sync.set_text = IsEdit(control->layout.kind) && control->applied_serial != control->text_serial;
    if (sync.set_text) {
      PrepareEditText(control->text, sync.text, sizeof sync.text);
      control->applied_serial = control->text_serial;
    }
  }
  const RECT& r = sync.rect;
  SetWindowPos(sync.window, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
  if (sync.set_font) SendMessageA(sync.window, WM_SETFONT, reinterpret_cast<WPARAM>(sync.font), 0);
  if (sync.old_font != nullptr) DeleteObject(sync.old_font);
  if (sync.set_text) SetWindowTextA(sync.window, sync.text);
  ShowWindow(sync.window, sync.visible ? SW_SHOWNA : SW_HIDE);
  InvalidateRect(sync.window, nullptr, TRUE);
}

// Any thread. Applies a control's state change to its window, now or through the owner.
void ControlChanged(int panel_handle, int number) {
  HWND panel_window = nullptr;
  bool own = false;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    PanelState* panel = FindPanel(panel_handle);
    if (panel == nullptr) return;
    panel_window = panel->window;
    own = OnOwnerThread(*panel);
  }
  if (own) {
    SyncControl(panel_handle, number);
  } else if (panel_window != nullptr) {
    PostMessageA(panel_window, kMsgSyncControl, static_cast<WPARAM>(number), 0);
  }
}

// Owning thread only. Shows or hides the panel window as its state says.
void SyncPanel(int panel_handle) {
  HWND window = nullptr;
  bool visible = false;
  bool popup = false;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    PanelState* panel = FindPanel(panel_handle);
    if (panel == nullptr) return;
    window = panel->window;
    visible = panel->visible;
    popup = panel->style == uir::Style::Popup;
  }
  if (window == nullptr) return;
  // The display strip never takes the activation from the host when it appears.
  ShowWindow(window, visible ? (popup ? SW_SHOWNOACTIVATE : SW_SHOW) : SW_HIDE);
  if (visible) UpdateWindow(window);
}

// Caller holds g_mutex. The GDI objects of a panel that is going away.
struct PanelLeftovers {
  HWND window;
  bool own;
  HGDIOBJ objects[uir::kMaxControls * 3];
  int count;
};

void TakeLeftovers(PanelState* panel, PanelLeftovers* out) {
  out->window = panel->window;
  out->own = OnOwnerThread(*panel);
  out->count = 0;
  for (int i = 0; i < panel->control_count; ++i) {
    ControlState& control = panel->controls[i];
    if (control.hfont != nullptr) out->objects[out->count++] = control.hfont;
    if (control.back_brush != nullptr) out->objects[out->count++] = control.back_brush;
    if (control.picture != nullptr) out->objects[out->count++] = control.picture;
  }
  panel->handle = 0;
  panel->window = nullptr;
}

void DisposeLeftovers(const PanelLeftovers& left) {
  if (left.window != nullptr) {
    if (left.own) {
      DestroyWindow(left.window);
    } else {
      win32panels::AbandonWindow(left.window);
    }
  }
  for (int i = 0; i < left.count; ++i) DeleteObject(left.objects[i]);
}

// --- painting -------------------------------------------------------------------------------

// Caller holds g_mutex (the state cannot change or go away while it is drawn).
void PaintControl(HDC dc, const RECT& client, const ControlState& control) {
  HBRUSH back = CreateSolidBrush(Rgb(control.back_colour));
  HBRUSH fill = CreateSolidBrush(Rgb(control.fill_colour));
  switch (control.layout.kind) {
    case uir::Kind::Decoration:
      FillRect(dc, &client, fill);
      break;
    case uir::Kind::Picture:
      FillRect(dc, &client, back);
      if (control.picture != nullptr) {
        HDC source = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(source, control.picture);
        SetStretchBltMode(dc, HALFTONE);
        SetBrushOrgEx(dc, 0, 0, nullptr);
        StretchBlt(dc, 0, 0, client.right, client.bottom, source, 0, 0, control.picture_width,
                   control.picture_height, SRCCOPY);
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
      HGDIOBJ old = SelectObject(dc, control.hfont != nullptr ? static_cast<HGDIOBJ>(control.hfont)
                                                              : GetStockObject(DEFAULT_GUI_FONT));
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, Rgb(control.text_colour));
      RECT r = client;
      DrawTextA(dc, control.indicator_text, -1, &r,
                DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
      SelectObject(dc, old);
      break;
    }
    default: {  // text
      FillRect(dc, &client, back);
      HGDIOBJ old = SelectObject(dc, control.hfont != nullptr ? static_cast<HGDIOBJ>(control.hfont)
                                                              : GetStockObject(DEFAULT_GUI_FONT));
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, Rgb(control.text_colour));
      UINT align = DT_LEFT;
      if (control.justify == kJustifyRight) align = DT_RIGHT;
      if (control.justify == kJustifyCentre) align = DT_CENTER;
      RECT r = client;
      DrawTextA(dc, control.text, -1, &r, align | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
      SelectObject(dc, old);
      break;
    }
  }
  DeleteObject(back);
  DeleteObject(fill);
}

// The text a control answers to WM_GETTEXT with. Caller holds g_mutex.
const char* ControlText(const ControlState& control) {
  switch (control.layout.kind) {
    case uir::Kind::Picture:
      return control.picture_path;
    case uir::Kind::Indicator:
      return control.indicator_text;
    case uir::Kind::Decoration:
      return "";
    default:
      return control.text;
  }
}

int PanelHandleOf(HWND panel_window) {
  return panel_window != nullptr ? static_cast<int>(GetWindowLongPtrA(panel_window, GWLP_USERDATA))
                                 : 0;
}

LRESULT CALLBACK ControlProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // WM_PAINT covers every pixel
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(window, &ps);
      RECT client;
      GetClientRect(window, &client);
      {
        std::lock_guard<std::mutex> lock(g_mutex);
        ControlState* control =
            FindControl(FindPanel(PanelHandleOf(GetParent(window))), GetDlgCtrlID(window));
        if (control != nullptr) {
          HFONT old_font = RefreshFont(control);
          if (old_font != nullptr) DeleteObject(old_font);
          PaintControl(dc, client, *control);
        }
      }
      EndPaint(window, &ps);
      return 0;
    }
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH: {
      std::lock_guard<std::mutex> lock(g_mutex);
      ControlState* control =
          FindControl(FindPanel(PanelHandleOf(GetParent(window))), GetDlgCtrlID(window));
      const char* text = control != nullptr ? ControlText(*control) : "";
      size_t length = std::strlen(text);
      if (message == WM_GETTEXTLENGTH) return static_cast<LRESULT>(length);
      size_t room = static_cast<size_t>(wparam);
      char* out = reinterpret_cast<char*>(lparam);
      if (room == 0 || out == nullptr) return 0;
      size_t n = length < room - 1 ? length : room - 1;
      std::memcpy(out, text, n);
      out[n] = '\0';
      return static_cast<LRESULT>(n);
    }
    case WM_SETTEXT:
      return TRUE;  // the state is the only source of a control's text
    case WM_NCHITTEST:
      return HTTRANSPARENT;  // labels and lamps do not take the mouse from their panel
    default:
      return DefWindowProcA(window, message, wparam, lparam);
  }
}

// Runs a control's callback with EVENT_COMMIT, without the lock (the callback calls back into
// the panel operations, and may hide or discard this very panel).
void Commit(int panel_handle, int number) {
  PanelCallback callback = nullptr;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    ControlState* control = FindControl(FindPanel(panel_handle), number);
    if (control != nullptr) callback = control->callback;
  }
  if (callback != nullptr) callback(panel_handle, number, EVENT_COMMIT, nullptr, 0, 0);
}

// An EDIT's text changed (the user typed, or SyncControl wrote it): keep the state in step.
void EditChanged(int panel_handle, int number, HWND edit) {
  char text[kTextMax];
  GetWindowTextA(edit, text, sizeof text);  // our own thread: a direct call
  std::lock_guard<std::mutex> lock(g_mutex);
  ControlState* control = FindControl(FindPanel(panel_handle), number);
  if (control == nullptr || control->layout.kind == uir::Kind::TextBox) return;
  if (std::strcmp(control->text, text) != 0) {
    CopyText(control->text, sizeof control->text, text);
    ++control->text_serial;
    control->applied_serial = control->text_serial;  // the EDIT already shows it
  }
}

// WM_CTLCOLOREDIT / WM_CTLCOLORSTATIC of an EDIT: the control's colours.
LRESULT EditColours(int panel_handle, HWND edit, HDC dc) {
  std::lock_guard<std::mutex> lock(g_mutex);
  ControlState* control = FindControl(FindPanel(panel_handle), GetDlgCtrlID(edit));
  if (control == nullptr || !IsEdit(control->layout.kind)) return 0;
  if (control->back_brush == nullptr || control->brush_colour != control->back_colour) {
    if (control->back_brush != nullptr) DeleteObject(control->back_brush);
    control->back_brush = CreateSolidBrush(Rgb(control->back_colour));
    control->brush_colour = control->back_colour;
  }
  SetTextColor(dc, Rgb(control->text_colour));
  SetBkColor(dc, Rgb(control->back_colour));
  return reinterpret_cast<LRESULT>(control->back_brush);
}

// The labels of numeric and float fields and of the text box, drawn by the panel to the left of
// them, right-aligned against the field.
void PaintLabels(HDC dc, int panel_handle) {
  std::lock_guard<std::mutex> lock(g_mutex);
  PanelState* panel = FindPanel(panel_handle);
  if (panel == nullptr) return;
  HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  SetBkMode(dc, TRANSPARENT);
  for (int i = 0; i < panel->control_count; ++i) {
    const ControlState& control = panel->controls[i];
    if (!IsEdit(control.layout.kind) || control.layout.label[0] == '\0' || !control.visible) {
      continue;
    }
    SetTextColor(dc, Rgb(control.text_colour));
    RECT r = ControlRect(control);
    RECT label{0, r.top, r.left - 6, r.bottom};
    DrawTextA(dc, control.layout.label, -1, &label,
              DT_RIGHT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  }
  SelectObject(dc, old);
}

LRESULT CALLBACK PanelProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  const int handle = PanelHandleOf(window);
  switch (message) {
    case WM_NCCREATE: {
      auto* create = reinterpret_cast<CREATESTRUCTA*>(lparam);
      SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
      return DefWindowProcA(window, message, wparam, lparam);
    }
    case WM_ERASEBKGND: {
      int colour = 0xFFFFFF;
      {
        std::lock_guard<std::mutex> lock(g_mutex);
        PanelState* panel = FindPanel(handle);
        if (panel != nullptr) colour = panel->background;
      }
      RECT client;
      GetClientRect(window, &client);
      HBRUSH brush = CreateSolidBrush(Rgb(colour));
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
      if (code == BN_CLICKED) Commit(handle, number);
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
    case WM_CLOSE: {
      // The close box runs the close control's callback, as its button would; a panel without
      // one stays open. Never destroyed here: the handle lives until DiscardPanel.
      int close_control = 0;
      {
        std::lock_guard<std::mutex> lock(g_mutex);
        PanelState* panel = FindPanel(handle);
        if (panel != nullptr) close_control = panel->close_control;
      }
      if (close_control > 0) Commit(handle, close_control);
      return 0;
    }
    case WM_MOUSEACTIVATE: {
      std::lock_guard<std::mutex> lock(g_mutex);
      PanelState* panel = FindPanel(handle);
      if (panel != nullptr && panel->style == uir::Style::Popup) return MA_NOACTIVATE;
      break;
    }
    case kMsgSyncPanel:
      SyncPanel(handle);
      return 0;
    case kMsgSyncControl:
      SyncControl(handle, static_cast<int>(wparam));
      return 0;
    case kMsgActivate:
      SetActivePanel(handle);
      return 0;
    case kMsgDestroy:
      DestroyWindow(window);
      return 0;
    default:
      break;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return DefWindowProcA(window, message, wparam, lparam);
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
  HWND window = CreateWindowExA(ex_style, kPanelClass, layout.caption, style, frame.left, frame.top,
                                frame.right - frame.left, frame.bottom - frame.top,
                                win32panels::OwnerWindow(), nullptr, module,
                                reinterpret_cast<void*>(static_cast<INT_PTR>(handle)));
  if (window == nullptr) return false;
  *out_window = window;
  for (int i = 0; i < layout.control_count; ++i) {
    const uir::Control& c = layout.controls[i];
    const char* window_class = kControlClass;
    const char* title = "";
    DWORD control_style = WS_CHILD | WS_CLIPSIBLINGS;
    DWORD control_ex = 0;
    switch (c.kind) {
      case uir::Kind::Numeric:
      case uir::Kind::Float:
        window_class = "EDIT";
        control_style |= WS_TABSTOP | ES_AUTOHSCROLL;
        control_ex = WS_EX_CLIENTEDGE;
        break;
      case uir::Kind::TextBox:
        window_class = "EDIT";
        control_style |= WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL;
        control_ex = WS_EX_CLIENTEDGE;
        break;
      case uir::Kind::Button:
        window_class = "BUTTON";
        title = c.label;
        control_style |= WS_TABSTOP | BS_PUSHBUTTON;
        break;
      default:
        break;
    }
    HWND control = CreateWindowExA(
        control_ex, window_class, title, control_style, c.left, c.top, c.width, c.height, window,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.number)), module, nullptr);
    if (control == nullptr) return false;
    // The layout lists controls in drawing order, later ones over earlier ones; a new child
    // window starts at the bottom of its siblings, so each is raised as it is made.
    SetWindowPos(control, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    std::lock_guard<std::mutex> lock(g_mutex);
    ControlState* state = FindControl(FindPanel(handle), c.number);
    if (state != nullptr) state->window = control;
  }
  return true;
}

// Caller holds g_mutex. A control of a loaded panel, or null.
ControlState* Lookup(int panel, int control, int* error) {
  PanelState* state = FindPanel(panel);
  if (state == nullptr) {
    *error = kErrNotLoaded;
    return nullptr;
  }
  ControlState* found = FindControl(state, control);
  if (found == nullptr) *error = kErrNoControl;
  return found;
}

}  // namespace

namespace win32panels {

HWND OwnerWindow() {
  if (g_owner == nullptr) {
    g_owner = CreateWindowExA(WS_EX_TOOLWINDOW, kOwnerClass, "", WS_POPUP, 0, 0, 0, 0, nullptr,
                              nullptr, Module(), nullptr);
  }
  return g_owner;
}

bool RegisterClasses(HINSTANCE module) {
  WNDCLASSA panel = {};
  panel.lpfnWndProc = &PanelProc;
  panel.hInstance = module;
  panel.hCursor = LoadCursor(nullptr, IDC_ARROW);
  panel.lpszClassName = kPanelClass;
  WNDCLASSA control = {};
  control.lpfnWndProc = &ControlProc;
  control.hInstance = module;
  control.hCursor = LoadCursor(nullptr, IDC_ARROW);
  control.lpszClassName = kControlClass;
  WNDCLASSA owner = {};
  owner.lpfnWndProc = &OwnerProc;
  owner.hInstance = module;
  owner.lpszClassName = kOwnerClass;
  // Already registered (a second set-up in the same module) counts as success.
  for (const WNDCLASSA* c : {&panel, &control, &owner}) {
    if (RegisterClassA(c) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
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
  UnregisterClassA(kPanelClass, module);
  UnregisterClassA(kControlClass, module);
  UnregisterClassA(kOwnerClass, module);
}

void DiscardAll() {
  for (;;) {
    int handle = 0;
    {
      std::lock_guard<std::mutex> lock(g_mutex);
      for (const PanelState& panel : g_panels) {
        if (panel.handle != 0) handle = panel.handle;
      }
    }
    if (handle == 0) return;
    DiscardPanel(handle);
  }
}

namespace {
BOOL CALLBACK ReleaseChild(HWND child, LPARAM) {
  SetWindowLongPtrA(child, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DefWindowProcA));
  return TRUE;
}
}  // namespace

void AbandonWindow(HWND window) {
  ShowWindowAsync(window, SW_HIDE);
  EnumChildWindows(window, &ReleaseChild, 0);
  SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DefWindowProcA));
  PostMessageA(window, WM_CLOSE, 0, 0);
}

}  // namespace win32panels

// --- the panel operations ---------------------------------------------------------------------

int LoadPanelEx(int parent, const char* uir_path, int panel_number, void*) {
  if (parent != 0) return kErrNoPanel;         // only top-level panels
  if (Module() == nullptr) return kErrWindow;  // InitCVIRTE first
  std::lock_guard<std::mutex> load_lock(g_load_mutex);
  uir::Error error;
  if (uir_path == nullptr || !uir::ReadFile(uir_path, &g_layout, &error)) return kErrFile;
  const uir::Panel* layout = uir::FindPanel(g_layout, panel_number);
  if (layout == nullptr) return kErrNoPanel;
  // Every callback the layout names must exist in the library: a button without its callback
  // could never end the dialog's event loop.
  PanelCallback callbacks[uir::kMaxControls] = {};
  for (int i = 0; i < layout->control_count; ++i) {
    const char* name = layout->controls[i].callback;
    if (name[0] == '\0') continue;
    callbacks[i] = win32panels::FindCallback(name);
    if (callbacks[i] == nullptr) return kErrCallback;
  }
  int handle = 0;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    PanelState* slot = nullptr;
    for (PanelState& panel : g_panels) {
      if (panel.handle == 0) {
        slot = &panel;
        break;
      }
    }
    if (slot == nullptr) return kErrTooMany;
    std::memset(slot, 0, sizeof *slot);
    handle = g_next_handle++;
    slot->handle = handle;
    slot->number = layout->number;
    CopyText(slot->caption, sizeof slot->caption, layout->caption);
    slot->style = layout->style;
    slot->left = layout->left;
    slot->top = layout->top;
    slot->width = layout->width;
    slot->height = layout->height;
    slot->background = layout->background;
    slot->close_control = layout->close_control;
    slot->thread = GetCurrentThreadId();
    slot->control_count = layout->control_count;
    for (int i = 0; i < layout->control_count; ++i) {
      InitControl(&slot->controls[i], layout->controls[i]);
      slot->controls[i].callback = callbacks[i];
    }
  }
  HWND window = nullptr;
  bool made = CreatePanelWindows(handle, *layout, &window);
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    PanelState* panel = FindPanel(handle);
    if (panel != nullptr) panel->window = window;
  }
  if (!made) {
    DiscardPanel(handle);
    return kErrWindow;
  }
  for (int i = 0; i < layout->control_count; ++i) SyncControl(handle, layout->controls[i].number);
  return handle;
}

namespace {

int SetPanelVisible(int panel, bool visible) {
  HWND window = nullptr;
  bool own = false;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    PanelState* state = FindPanel(panel);
    if (state == nullptr) return kErrNotLoaded;
    state->visible = visible;
    window = state->window;
    own = OnOwnerThread(*state);
  }
  if (own) {
    SyncPanel(panel);
  } else if (window != nullptr) {
    PostMessageA(window, kMsgSyncPanel, 0, 0);
  }
  return 0;
}

}  // namespace

int DisplayPanel(int panel) {
  return SetPanelVisible(panel, true);
}
int HidePanel(int panel) {
  return SetPanelVisible(panel, false);
}

int DiscardPanel(int panel) {
  PanelLeftovers left;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    PanelState* state = FindPanel(panel);
    if (state == nullptr) return kErrNotLoaded;
    TakeLeftovers(state, &left);
  }
  DisposeLeftovers(left);
  return 0;
}

int SetActivePanel(int panel) {
  HWND window = nullptr;
  bool own = false;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    PanelState* state = FindPanel(panel);
    if (state == nullptr) return kErrNotLoaded;
    window = state->window;
    own = OnOwnerThread(*state);
  }
  if (window == nullptr) return kErrWindow;
  if (!own) {
    PostMessageA(window, kMsgActivate, 0, 0);
    return 0;
  }
  SetForegroundWindow(window);
  SetActiveWindow(window);
  HWND first = GetNextDlgTabItem(window, nullptr, FALSE);
  SetFocus(first != nullptr ? first : window);
  return 0;
}

int SetCtrlVal(int panel, int control, const char* text) {
  if (text == nullptr) return kErrValue;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    int error = 0;
    ControlState* state = Lookup(panel, control, &error);
    if (state == nullptr) return error;
    if (IsNumberField(state->layout.kind)) return kErrValue;  // numbers take numbers
    StoreText(state, text);  // a text box too: it then holds exactly this text
  }
  ControlChanged(panel, control);
  return 0;
}

int SetCtrlVal(int panel, int control, int value) {
  char text[32];
  FormatInt(text, sizeof text, value);
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    int error = 0;
    ControlState* state = Lookup(panel, control, &error);
    if (state == nullptr) return error;
    if (state->layout.kind == uir::Kind::Float) FormatFloat(text, sizeof text, value);
    StoreText(state, text);
  }
  ControlChanged(panel, control);
  return 0;
}

int SetCtrlVal(int panel, int control, double value) {
  if (value != value) return kErrValue;  // NaN
  char text[48];
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    int error = 0;
    ControlState* state = Lookup(panel, control, &error);
    if (state == nullptr) return error;
    if (state->layout.kind == uir::Kind::Numeric) {
      // An integer field takes the nearest integer it can hold.
      double v = value < -2147483648.0 ? -2147483648.0 : value;
      if (v > 2147483647.0) v = 2147483647.0;
      FormatInt(text, sizeof text, static_cast<int>(v < 0 ? v - 0.5 : v + 0.5));
    } else if (state->layout.kind == uir::Kind::Float) {
      FormatFloat(text, sizeof text, value);
    } else {
      std::snprintf(text, sizeof text, "%g", value);
    }
    StoreText(state, text);
  }
  ControlChanged(panel, control);
  return 0;
}

namespace {

// The number a field holds, as the user left it: decimal text, clamped to the field's range.
// Text that is not a number reads as 0 (the EDIT shows what was typed).
double FieldNumber(const ControlState& control) {
  char* end = nullptr;
  double value = std::strtod(control.text, &end);
  // Not a number, or not a finite one ("nan", "inf", "1e999"): 0, so no NaN reaches a cast.
  if (end == control.text || !std::isfinite(value)) value = 0;
  if (value < control.layout.min) value = control.layout.min;
  if (value > control.layout.max) value = control.layout.max;
  return value;
}

}  // namespace

int GetCtrlVal(int panel, int control, int* value) {
  if (value == nullptr) return kErrAttribute;
  std::lock_guard<std::mutex> lock(g_mutex);
  int error = 0;
  ControlState* state = Lookup(panel, control, &error);
  if (state == nullptr) return error;
  if (!IsNumberField(state->layout.kind)) return kErrValue;
  double number = FieldNumber(*state);
  if (number > 2147483647.0) number = 2147483647.0;
  if (number < -2147483648.0) number = -2147483648.0;
  *value = static_cast<int>(number);
  return 0;
}

int GetCtrlVal(int panel, int control, float* value) {
  if (value == nullptr) return kErrAttribute;
  std::lock_guard<std::mutex> lock(g_mutex);
  int error = 0;
  ControlState* state = Lookup(panel, control, &error);
  if (state == nullptr) return error;
  if (!IsNumberField(state->layout.kind)) return kErrValue;
  *value = static_cast<float>(FieldNumber(*state));
  return 0;
}

int GetCtrlRange(int panel, int control, double* min, double* max) {
  if (min == nullptr || max == nullptr) return kErrAttribute;
  std::lock_guard<std::mutex> lock(g_mutex);
  int error = 0;
  ControlState* state = Lookup(panel, control, &error);
  if (state == nullptr) return error;
  if (!IsNumberField(state->layout.kind)) return kErrValue;
  *min = state->layout.min;
  *max = state->layout.max;
  return 0;
}

int GetCtrlVal(int panel, int control, char* text, size_t size) {
  if (text == nullptr || size == 0) return kErrAttribute;
  std::lock_guard<std::mutex> lock(g_mutex);
  int error = 0;
  ControlState* state = Lookup(panel, control, &error);
  if (state == nullptr) return error;
  CopyText(text, size, state->text);
  return 0;
}

int SetCtrlAttribute(int panel, int control, int attribute, int value) {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    int error = 0;
    ControlState* state = Lookup(panel, control, &error);
    if (state == nullptr) return error;
    switch (attribute) {
      case ATTR_VISIBLE:
        state->visible = value != 0;
        break;
      case ATTR_LEFT:
        state->left = value;
        break;
      case ATTR_TOP:
        state->top = value;
        break;
      case ATTR_DECORATION_COLOR:
      case ATTR_FILL_COLOR:
        state->fill_colour = value & 0xFFFFFF;
        break;
      case ATTR_TEXT_COLOR:
        state->text_colour = value & 0xFFFFFF;
        break;
      case ATTR_TEXT_BGCOLOR:
        state->back_colour = value & 0xFFFFFF;
        break;
      case ATTR_TEXT_POINT_SIZE:
        if (value < 1 || value > 255) return kErrAttribute;
        state->point_size = value;
        state->font_dirty = true;
        break;
      case ATTR_TEXT_JUSTIFY:
        state->justify = value;
        break;
      case ATTR_INDICATOR_TEXT:
        FormatInt(state->indicator_text, sizeof state->indicator_text, value);
        break;
      default:
        return kErrAttribute;
    }
  }
  ControlChanged(panel, control);
  return 0;
}

int SetCtrlAttribute(int panel, int control, int attribute, const char* value) {
  if (value == nullptr) return kErrAttribute;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    int error = 0;
    ControlState* state = Lookup(panel, control, &error);
    if (state == nullptr) return error;
    switch (attribute) {
      case ATTR_TEXT_FONT:
        CopyText(state->font, sizeof state->font, value);
        state->font_dirty = true;
        break;
      case ATTR_INDICATOR_TEXT:
        CopyText(state->indicator_text, sizeof state->indicator_text, value);
        break;
      default:
        return kErrAttribute;
    }
  }
  ControlChanged(panel, control);
  return 0;
}

int SetPanelAttribute(int panel, int attribute, int value) {
  HWND window = nullptr;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    PanelState* state = FindPanel(panel);
    if (state == nullptr) return kErrNotLoaded;
    if (attribute != ATTR_BACKCOLOR) return kErrAttribute;
    state->background = value & 0xFFFFFF;
    window = state->window;
  }
  // Invalidation never waits for the window's thread.
  if (window != nullptr) InvalidateRect(window, nullptr, TRUE);
  return 0;
}

int ResetTextBox(int panel, int control, const char* text) {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    int error = 0;
    ControlState* state = Lookup(panel, control, &error);
    if (state == nullptr) return error;
    StoreText(state, text);
  }
  ControlChanged(panel, control);
  return 0;
}

int DisplayImageFile(int panel, int control, const char* path) {
  if (path == nullptr || std::strlen(path) >= static_cast<size_t>(kPathMax)) return kErrImage;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    int error = 0;
    ControlState* state = Lookup(panel, control, &error);
    if (state == nullptr) return error;
    if (state->layout.kind != uir::Kind::Picture) return kErrNoControl;
    // The picture already shown: a change back to the same channel decodes nothing.
    if (state->picture != nullptr && std::strcmp(state->picture_path, path) == 0) return 0;
  }
  HBITMAP bitmap = nullptr;
  int width = 0;
  int height = 0;
  // Decoded without the lock: it reads a file.
  if (!win32panels::DecodeImageFile(path, &bitmap, &width, &height)) return kErrImage;
  HBITMAP old = nullptr;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    int error = 0;
    ControlState* state = Lookup(panel, control, &error);
    if (state == nullptr) {
      DeleteObject(bitmap);  // discarded meanwhile
      return error;
    }
    old = state->picture;
    state->picture = bitmap;
    state->picture_width = width;
    state->picture_height = height;
    CopyText(state->picture_path, sizeof state->picture_path, path);
  }
  // Only the owning thread paints, under the lock, so the old bitmap is no longer in use.
  if (old != nullptr) DeleteObject(old);
  ControlChanged(panel, control);
  return 0;
}
