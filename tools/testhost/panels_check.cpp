// panels-check: the Win32 panel driver on its own, under Wine (tests/e2e/run) or Windows.
//
// Links the panel model, src/panels/win32 and the layout reader, and runs the panel contract
// table (tests/contract, the same table the unit suite runs against the memory driver), reading
// what the native windows show: WM_GETTEXT, child window rectangles, visibility; the user is
// simulated with posted button clicks, close requests and typed text. Then the checks that only
// native windows have: window styles and client area, the label placed exactly where the
// model's anchoring puts it, calls from a second thread while the owning thread does not pump
// (no deadlock, applied once it does), and the system queries. One line per check, then
// "N passed, M failed".
//
// Usage: panels-check.exe JPEG [SLOW]
//   JPEG  a picture file that must load
//   SLOW  how many times slower than a real PC this machine runs (an emulated one), default 1:
//         the time bounds are multiplied by it
#include <windows.h>
// After <windows.h>: the trackbar class and messages.
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "contract/panels_contract.h"
#include "panels/model.h"
#include "panels/panels.h"

namespace {

int g_passed = 0;
int g_failed = 0;

void Check(bool ok, const char* name, const char* detail_format = nullptr, ...) {
  char detail[256] = "";
  if (!ok && detail_format != nullptr) {
    va_list args;
    va_start(args, detail_format);
    std::vsnprintf(detail, sizeof detail, detail_format, args);
    va_end(args);
  }
  std::printf("%s: panels: %s%s%s%s\n", ok ? "PASS" : "FAIL", name, detail[0] ? " (" : "", detail,
              detail[0] ? ")" : "");
  std::fflush(stdout);
  (ok ? g_passed : g_failed)++;
}

void ContractLine(bool ok, const char* name, const char* detail, void*) {
  Check(ok, name, detail[0] != '\0' ? "%s" : nullptr, detail);
}

void Pump(DWORD ms) {
  const DWORD start = GetTickCount();
  do {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    Sleep(5);
  } while (GetTickCount() - start < ms);
}

std::string Text(HWND window) {
  char buffer[512] = "";
  LRESULT n = SendMessageA(window, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer));
  return std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

// A control's rectangle in its panel's client coordinates.
RECT ChildRect(HWND panel, int control) {
  RECT r = {};
  HWND child = GetDlgItem(panel, control);
  if (child == nullptr) return r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, panel, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

bool WriteText(const char* path, const char* text) {
  std::FILE* f = std::fopen(path, "wb");
  if (f == nullptr) return false;
  std::fputs(text, f);
  return std::fclose(f) == 0;
}

HWND Child(const char* caption, int control) {
  HWND panel = FindWindowA(nullptr, caption);
  return panel != nullptr ? GetDlgItem(panel, control) : nullptr;
}

// The contract's observer: what the native windows show.
bool ShownText(int, const char* caption, int control, char* out, size_t size) {
  HWND child = Child(caption, control);
  if (child == nullptr || size == 0) return false;
  // As a Unicode program reads it: UTF-16, here back to the model's UTF-8.
  wchar_t wide[2048] = L"";
  const int units = GetWindowTextW(child, wide, 2048);
  const int n = units <= 0 ? 0
                           : WideCharToMultiByte(CP_UTF8, 0, wide, units, out,
                                                 static_cast<int>(size) - 1, nullptr, nullptr);
  out[n > 0 ? n : 0] = '\0';
  return true;
}

bool ShownBox(int, const char* caption, int control, int* left, int* top, int* width) {
  HWND panel = FindWindowA(nullptr, caption);
  if (panel == nullptr || GetDlgItem(panel, control) == nullptr) return false;
  RECT r = ChildRect(panel, control);
  *left = r.left;
  *top = r.top;
  *width = r.right - r.left;
  return true;
}

bool ControlShown(int, const char* caption, int control) {
  HWND child = Child(caption, control);
  return child != nullptr && IsWindowVisible(child);
}

bool PanelShown(int, const char* caption) {
  HWND panel = FindWindowA(nullptr, caption);
  return panel != nullptr && IsWindowVisible(panel);
}

void PostPress(int, const char* caption, int control) {
  HWND panel = FindWindowA(nullptr, caption);
  PostMessageA(panel, WM_COMMAND, MAKEWPARAM(control, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(panel, control)));
}

void PostClose(int, const char* caption) {
  PostMessageA(FindWindowA(nullptr, caption), WM_CLOSE, 0, 0);
}

void Type(int, const char* caption, int control, const char* text) {
  SetWindowTextA(Child(caption, control), text);  // as the user's typing: EN_CHANGE follows
}

// The user's choice with a setting control: its own message, then the notification the
// control sends its panel when the user makes that choice. A colour comes as the colour
// chooser's answer (the chooser itself is modal).
void Choose(int, const char* caption, int control, int value) {
  HWND panel = FindWindowA(nullptr, caption);
  HWND child = GetDlgItem(panel, control);
  char kind[32] = "";
  GetClassNameA(child, kind, sizeof kind);
  const LPARAM from = reinterpret_cast<LPARAM>(child);
  if (lstrcmpiA(kind, "ComboBox") == 0) {
    SendMessageA(child, CB_SETCURSEL, static_cast<WPARAM>(value), 0);
    SendMessageA(panel, WM_COMMAND, MAKEWPARAM(control, CBN_SELCHANGE), from);
  } else if (lstrcmpiA(kind, TRACKBAR_CLASSA) == 0) {
    SendMessageA(child, TBM_SETPOS, TRUE, value);
    SendMessageA(panel, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, value), from);
  } else if ((GetWindowLongA(child, GWL_STYLE) & BS_TYPEMASK) == BS_OWNERDRAW) {
    SendMessageA(panel, WM_APP + 0x43, static_cast<WPARAM>(control), value);
  } else {
    SendMessageA(child, BM_SETCHECK, value != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
    SendMessageA(panel, WM_COMMAND, MAKEWPARAM(control, BN_CLICKED), from);
  }
}

// What the native control holds. A colour swatch keeps no value of its own: the model's.
bool NativeValue(int panel, const char* caption, int control, int* value) {
  HWND child = Child(caption, control);
  if (child == nullptr) return false;
  char kind[32] = "";
  GetClassNameA(child, kind, sizeof kind);
  if (lstrcmpiA(kind, "ComboBox") == 0) {
    *value = static_cast<int>(SendMessageA(child, CB_GETCURSEL, 0, 0));
  } else if (lstrcmpiA(kind, TRACKBAR_CLASSA) == 0) {
    *value = static_cast<int>(SendMessageA(child, TBM_GETPOS, 0, 0));
  } else if ((GetWindowLongA(child, GWL_STYLE) & BS_TYPEMASK) == BS_OWNERDRAW) {
    return GetCtrlVal(panel, control, value) == 0;
  } else if (lstrcmpiA(kind, "PeltaControl") == 0) {
    *value = static_cast<int>(SendMessageA(child, PBM_GETPOS, 0, 0));  // a progress bar
  } else {
    *value = SendMessageA(child, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
  }
  return true;
}

// Milliseconds of one DisplayImageFile call.
double TimedDisplay(int panel, const char* path, int* result) {
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  *result = DisplayImageFile(panel, 4, path);
  QueryPerformanceCounter(&end);
  return 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

std::string ReadBytes(const char* path) {
  std::string bytes;
  FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return bytes;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
  std::fclose(f);
  return bytes;
}

// A logo whose header claims 20000 x 20000 pixels is refused before GDI+ decodes it (that took
// seconds and gigabytes); the picture already shown is not decoded again. Each call well under
// the 5 ms a channel change may take (times `slow` on an emulated machine, still far below a
// decode of that size).
void CheckPictureBounds(int strip, const char* jpeg, int slow) {
  const double bound_ms = 5.0 * slow;
  char folder[MAX_PATH];
  GetTempPathA(sizeof folder, folder);
  const std::string bomb = std::string(folder) + "pelta-bomb.jpg";
  const char header[] = {'\xFF', '\xD8', '\xFF', '\xC0', 0,    17, 8, 0x4E, 0x20, 0x4E,   0x20,  3,
                         1,      0x22,   0,      2,      0x11, 1,  3, 0x11, 1,    '\xFF', '\xD9'};
  Check(WriteBytes(bomb, std::string(header, sizeof header)), "oversized logo written");
  int result = 0;
  double ms = TimedDisplay(strip, bomb.c_str(), &result);
  Check(result != 0 && ms < bound_ms, "logo claiming 20000x20000 refused before decoding",
        "result %d, %.2f ms", result, ms);

  const std::string copy = std::string(folder) + "pelta-logo-copy.jpg";
  Check(WriteBytes(copy, ReadBytes(jpeg)), "logo copied");
  Check(DisplayImageFile(strip, 4, copy.c_str()) == 0, "copied logo shown");
  // The file is no picture any more: only a decode would notice.
  Check(WriteBytes(copy, "no longer a picture"), "logo overwritten");
  ms = TimedDisplay(strip, copy.c_str(), &result);
  Check(result == 0 && ms < bound_ms, "the logo shown again is not decoded again",
        "result %d, %.2f ms", result, ms);
  DeleteFileA(bomb.c_str());
  DeleteFileA(copy.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  const char* jpeg = argc > 1 ? argv[1] : "";
  const int slow = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
  char uir[MAX_PATH];
  GetFullPathNameA("panels-check.uir", sizeof uir, uir, nullptr);
  WriteText(uir, PanelContractLayout());
  HINSTANCE module = GetModuleHandleA(nullptr);

  const ContractDriver driver{module,     &ShownText, &ShownBox, &ControlShown, &PanelShown,
                              &PostPress, &PostClose, &Type,     &Choose,       &NativeValue};
  RunPanelContract(driver, uir, jpeg, uir, &ContractLine, nullptr);

  // Native windows only. The contract left its callback table in place (panel 2 binds it).
  Check(InitCVIRTE(module) > 0, "run-time set up again after CloseCVIRTE");
  const int strip = LoadPanelEx(0, uir, 1, module);
  const int dialog = LoadPanelEx(0, uir, 2, module);
  Check(strip > 0 && dialog > 0, "two panels loaded", "%d %d", strip, dialog);
  HWND strip_window = FindWindowA(nullptr, "Contract Strip");
  HWND dialog_window = FindWindowA(nullptr, "Contract Dialog");
  Check(strip_window != nullptr && !IsWindowVisible(strip_window) && dialog_window != nullptr,
        "panel windows found by caption, hidden after load");
  const LONG style = GetWindowLongA(strip_window, GWL_STYLE);
  const LONG ex = GetWindowLongA(strip_window, GWL_EXSTYLE);
  Check((style & WS_POPUP) && !(style & WS_CAPTION) && (ex & WS_EX_TOOLWINDOW) &&
            GetWindow(strip_window, GW_OWNER) != nullptr,
        "popup panel: borderless, owned tool window");
  RECT client;
  GetClientRect(dialog_window, &client);
  Check(client.right == 300 && client.bottom == 300 &&
            (GetWindowLongA(dialog_window, GWL_STYLE) & WS_CAPTION),
        "dialog panel: captioned, client area as the layout says", "%ldx%ld", client.right,
        client.bottom);

  // The label is placed exactly where the model's anchoring rule puts it: pelta-tool's
  // pictures place it with the same function.
  DisplayPanel(strip);
  struct Anchor {
    int justify, left;
  };
  for (const Anchor& a : {Anchor{kJustifyRight, 1730}, Anchor{kJustifyCentre, 920},
                          Anchor{kJustifyRight, 150}, Anchor{kJustifyLeft, 70}}) {
    SetCtrlAttribute(strip, 2, ATTR_TEXT_JUSTIFY, a.justify);
    SetCtrlAttribute(strip, 2, ATTR_LEFT, a.left);
    const model::Box want = model::ControlBox(uir::Kind::Text, a.left, 10, 200, 20, a.justify);
    const RECT r = ChildRect(strip_window, 2);
    char name[96];
    std::snprintf(name, sizeof name, "justify %d at %d: the window at the model's box", a.justify,
                  a.left);
    Check(r.left == want.left && r.top == want.top && r.right - r.left == want.width &&
              r.bottom - r.top == want.height,
          name, "got %ld,%ld..%ld,%ld, want %d,%d %dx%d", r.left, r.top, r.right, r.bottom,
          want.left, want.top, want.width, want.height);
  }
  SetCtrlAttribute(strip, 2, ATTR_TEXT_JUSTIFY, kJustifyLeft);

  CheckPictureBounds(strip, jpeg, slow);

  // The close box on a dialog with a close control: the callback runs, the panel stays loaded.
  DisplayPanel(dialog);
  PostMessageA(dialog_window, WM_CLOSE, 0, 0);
  const DWORD start = GetTickCount();
  const int loop = RunUserInterface(dialog);
  Check(loop == 0 && IsWindow(dialog_window) != 0 && GetTickCount() - start < 2000,
        "close box ends the dialog's loop and leaves the panel loaded");

  // Calls from another thread while the owner does not pump: no wait, applied afterwards.
  HidePanel(strip);
  std::atomic<bool> thread_done{false};
  std::thread worker([&] {
    SetCtrlVal(strip, 2, "from the timer thread");
    SetCtrlAttribute(strip, 2, ATTR_LEFT, 10);
    DisplayPanel(strip);
    thread_done = true;
  });
  // Not pumping meanwhile: a call that waited for this thread would never come back.
  for (int i = 0; i < 300 && !thread_done.load(); ++i) Sleep(10);
  Check(thread_done.load(), "panel calls from another thread do not wait");
  worker.join();
  Pump(200);
  Check(IsWindowVisible(strip_window) &&
            Text(GetDlgItem(strip_window, 2)) == "from the timer thread" &&
            ChildRect(strip_window, 2).left == 10,
        "calls from another thread applied by the owning thread");
  std::thread discarder([&] { DiscardPanel(strip); });
  discarder.join();
  Check(SetCtrlVal(strip, 2, "late") < 0, "panel discarded on another thread is stale at once");
  Pump(300);
  Check(FindWindowA(nullptr, "Contract Strip") == nullptr, "its window goes once the owner pumps");

  // System queries.
  int height = 0;
  int width = 0;
  GetScreenSize(&height, &width);
  Check(width == GetSystemMetrics(SM_CXSCREEN) && height == GetSystemMetrics(SM_CYSCREEN),
        "GetScreenSize gives height and width");
  char exe[MAX_PATH];
  GetModuleFileNameA(nullptr, exe, sizeof exe);
  std::string folder = exe;
  folder = folder.substr(0, folder.find_last_of('\\'));
  char dir[MAX_PATH] = "";
  Check(GetModuleDir(nullptr, dir, sizeof dir) >= 0 && folder == dir,
        "GetModuleDir: the folder without a trailing backslash", "\"%s\"", dir);
  char small[4];
  Check(GetModuleDir(nullptr, small, sizeof small) < 0, "GetModuleDir refuses a short buffer");
  Check(GetModuleDir(nullptr, dir, folder.size() + 1) >= 0 &&
            GetModuleDir(nullptr, dir, folder.size()) < 0,
        "GetModuleDir: exactly fitting buffer accepted, one byte less refused");

  CloseCVIRTE();
  Check(FindWindowA(nullptr, "Contract Dialog") == nullptr && SetCtrlVal(dialog, 5, 1) < 0,
        "CloseCVIRTE discards what remains");
  DeleteFileA(uir);
  std::printf("%d passed, %d failed\n", g_passed, g_failed);
  std::fflush(stdout);
  return g_failed == 0 ? 0 : 1;
}
