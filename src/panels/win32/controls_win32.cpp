// The Win32 panel driver's own control class, "PeltaControl": text, picture, indicator,
// decoration and progress controls painted from the model. Each answers WM_GETTEXT with what the
// model says it shows, a progress bar PBM_GETPOS and PBM_GETRANGE as the common control does.
// Also the EDIT fields' side: what the user typed goes to the model, their colours, and the
// labels the panel paints beside them.
#include "panels/win32/native_win32.h"

// After <windows.h>: the common controls (trackbar, up-down, progress bar messages).
#include <commctrl.h>

#include <cstring>
#include <cwchar>

#include "panels/model.h"

namespace win32panels {

namespace {

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

}  // namespace

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

}  // namespace win32panels
