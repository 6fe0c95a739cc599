// The panel windows of the Win32 panel driver: the window procedure of a panel, making a
// panel's window and its controls' windows, the window classes and the hidden owner window,
// and the keys of a dialog panel.
#include "panels/win32/native_win32.h"

// After <windows.h>: the common controls (trackbar, up-down, progress bar messages).
#include <commctrl.h>

#include "panels/model.h"

namespace win32panels {

namespace {

constexpr wchar_t kPanelClass[] = L"PeltaPanel";
constexpr wchar_t kControlClass[] = L"PeltaControl";
constexpr wchar_t kOwnerClass[] = L"PeltaOwner";

HWND g_owner = nullptr;

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

}  // namespace

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
