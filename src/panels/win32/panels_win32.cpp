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
// attributes, validation and placement are the model's; the driver only keeps the native
// objects (windows, fonts, brushes, decoded pictures) beside it, under the model's mutex: this
// file, with the parts native_win32.h lists.
//
// Threads. The native windows are only changed by the thread that made them (the host's UI
// thread, which loads the library): a change made on that thread is applied at once; one made
// on any other thread is posted to the panel window, whose thread then brings the window in
// line. So no call waits for another thread, and none touches a window after its panel went.
#include <cstdio>
#include <cstring>

#include "panels/driver.h"
#include "panels/model.h"
#include "panels/win32/native_win32.h"

namespace win32panels {

NativePanel g_native[model::kMaxLoaded];

namespace {

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

void PrepareEditText(const char* text, char* out, size_t size) {
  size_t o = 0;
  for (size_t i = 0; text[i] != '\0' && o + 3 < size; ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out[o++] = '\r';
    out[o++] = text[i];
  }
  out[o] = '\0';
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

}  // namespace

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

void Activate(HWND window) {
  SetForegroundWindow(window);
  SetActiveWindow(window);
  HWND first = GetNextDlgTabItem(window, nullptr, FALSE);
  SetFocus(first != nullptr ? first : window);
}

}  // namespace win32panels

using win32panels::Activate;
using win32panels::CreatePanelWindows;
using win32panels::FindNative;
using win32panels::FindNativeControl;
using win32panels::g_native;
using win32panels::kMsgActivate;
using win32panels::kMsgSyncControl;
using win32panels::kMsgSyncPanel;
using win32panels::Lock;
using win32panels::Module;
using win32panels::NativeControl;
using win32panels::NativePanel;
using win32panels::NativeWindow;
using win32panels::SyncControl;
using win32panels::SyncPanel;

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
