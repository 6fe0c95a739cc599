// The setting kinds of the Win32 panel driver: check box, dropdown, colour swatch and slider,
// and the companions of a field (its label, a slider's value, a start key's name, spin
// arrows). The user's choices go to the model as they are made, and once more from every
// native control when a button is pressed (a program may set a control with a message that
// notifies nobody).
#include "panels/win32/native_win32.h"

// After <windows.h>: the common controls (trackbar, up-down, progress bar messages).
#include <commctrl.h>
// After <windows.h>: ChooseColorA, which WIN32_LEAN_AND_MEAN leaves out.
#include <commdlg.h>

#include <cmath>
#include <cstdio>

#include "panels/model.h"

namespace win32panels {

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

namespace {

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

}  // namespace

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

}  // namespace win32panels
