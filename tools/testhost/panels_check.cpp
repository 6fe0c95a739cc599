// panels-check: the Win32 panel run-time on its own, under Wine (tests/e2e/run) or Windows.
//
// Links src/panels/win32 with the layout reader and drives the panel operations directly, on
// the cases the plug-in relies on and the ones that broke before: handles rejected once stale
// and never reused, a text label's anchoring for right and centred alignment, text box append
// and reset, numeric fields read back as the user left them (clamped), pictures that cannot be
// shown, a close box running the close control's callback, a quit request outside a loop, and
// calls from a second thread while the owning thread does not pump (no deadlock, applied once it
// does). One line per check, then "N passed, M failed".
//
// Usage: panels-check.exe JPEG   (a picture file that must load)
#include <windows.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

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

constexpr char kLayout[] = R"(# panels-check layout
[panel 1]
caption = Check Strip
rect = 10, 10, 400, 60
style = popup
background = 0x000000

[control 2]
kind = text
rect = 100, 10, 200, 20
value = "left"

[control 3]
kind = indicator
rect = 320, 10, 30, 20

[control 4]
kind = picture
rect = 5, 5, 60, 45

[panel 2]
caption = Check Dialog
rect = 100, 100, 300, 300
style = dialog
close_control = 9

[control 5]
kind = numeric
rect = 100, 10, 80, 20
label = "Number"
min = 0
max = 100

[control 6]
kind = float
rect = 100, 40, 80, 20

[control 7]
kind = textbox
rect = 10, 70, 280, 120

[control 8]
kind = button
rect = 10, 200, 80, 26
label = Press
callback = PRESS

[control 9]
kind = button
rect = 110, 200, 80, 26
label = Close
callback = CLOSE

[panel 3]
caption = Check Bad Callback
rect = 0, 0, 100, 100

[control 1]
kind = button
rect = 0, 0, 50, 20
callback = NOPE
)";

struct CallbackLog {
  int count;
  int panel, control, event;
};
CallbackLog g_press;
CallbackLog g_close;

int PRESS(int panel, int control, int event, void*, int, int) {
  g_press = {g_press.count + 1, panel, control, event};
  return 0;
}

int CLOSE(int panel, int control, int event, void*, int, int) {
  g_close = {g_close.count + 1, panel, control, event};
  QuitUserInterface(0);
  return 0;
}

const PanelCallbackEntry kCallbacks[] = {{"PRESS", &PRESS}, {"CLOSE", &CLOSE}};

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

std::string CtrlString(int panel, int control) {
  char text[512] = "";
  if (GetCtrlVal(panel, control, text, sizeof text) < 0) return "<error>";
  return text;
}

bool WriteText(const char* path, const char* text) {
  std::FILE* f = std::fopen(path, "wb");
  if (f == nullptr) return false;
  std::fputs(text, f);
  return std::fclose(f) == 0;
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
// the 5 ms a channel change may take.
void CheckPictureBounds(int strip, const char* jpeg) {
  char folder[MAX_PATH];
  GetTempPathA(sizeof folder, folder);
  const std::string bomb = std::string(folder) + "pelta-bomb.jpg";
  const char header[] = {'\xFF', '\xD8', '\xFF', '\xC0', 0,    17, 8, 0x4E, 0x20, 0x4E,   0x20,  3,
                         1,      0x22,   0,      2,      0x11, 1,  3, 0x11, 1,    '\xFF', '\xD9'};
  Check(WriteBytes(bomb, std::string(header, sizeof header)), "oversized logo written");
  int result = 0;
  double ms = TimedDisplay(strip, bomb.c_str(), &result);
  Check(result != 0 && ms < 5.0, "logo claiming 20000x20000 refused before decoding",
        "result %d, %.2f ms", result, ms);

  const std::string copy = std::string(folder) + "pelta-logo-copy.jpg";
  Check(WriteBytes(copy, ReadBytes(jpeg)), "logo copied");
  Check(DisplayImageFile(strip, 4, copy.c_str()) == 0, "copied logo shown");
  // The file is no picture any more: only a decode would notice.
  Check(WriteBytes(copy, "no longer a picture"), "logo overwritten");
  ms = TimedDisplay(strip, copy.c_str(), &result);
  Check(result == 0 && ms < 5.0, "the logo shown again is not decoded again", "result %d, %.2f ms",
        result, ms);
  DeleteFileA(bomb.c_str());
  DeleteFileA(copy.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  const char* jpeg = argc > 1 ? argv[1] : "";
  char uir[MAX_PATH];
  GetFullPathNameA("panels-check.uir", sizeof uir, uir, nullptr);
  WriteText(uir, kLayout);
  HINSTANCE module = GetModuleHandleA(nullptr);

  Check(InitCVIRTE(module) > 0 && InitCVIRTE(module) > 0, "run-time set up, twice");
  SetPanelCallbackTable(kCallbacks, 2);
  Check(LoadPanelEx(0, "no-such-file.uir", 1, module) < 0, "missing layout file refused");
  Check(LoadPanelEx(0, uir, 42, module) < 0, "unknown panel number refused");
  Check(LoadPanelEx(0, uir, 3, module) < 0, "callback missing from the library refused");

  const int strip = LoadPanelEx(0, uir, 1, module);
  const int dialog = LoadPanelEx(0, uir, 2, module);
  Check(strip > 0 && dialog > 0 && strip != dialog, "two panels loaded", "%d %d", strip, dialog);
  HWND strip_window = FindWindowA(nullptr, "Check Strip");
  HWND dialog_window = FindWindowA(nullptr, "Check Dialog");
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

  DisplayPanel(strip);
  Check(IsWindowVisible(strip_window) != 0, "DisplayPanel shows the window");
  HidePanel(strip);
  Check(!IsWindowVisible(strip_window), "HidePanel hides it");
  DisplayPanel(strip);

  // Text, indicator and anchoring.
  Check(Text(GetDlgItem(strip_window, 2)) == "left", "text control answers WM_GETTEXT");
  SetCtrlVal(strip, 2, "Channel One");
  Check(Text(GetDlgItem(strip_window, 2)) == "Channel One", "SetCtrlVal text reaches WM_GETTEXT");
  SetCtrlVal(strip, 2, 42);
  Check(Text(GetDlgItem(strip_window, 2)) == "42", "SetCtrlVal integer shown in decimal");
  SetCtrlAttribute(strip, 3, ATTR_INDICATOR_TEXT, "57");
  SetCtrlAttribute(strip, 3, ATTR_FILL_COLOR, 0x00FF00);
  Check(Text(GetDlgItem(strip_window, 3)) == "57", "indicator answers with its number");
  struct AnchorCase {
    int justify;
    int left;
    long want_left;
  };
  const AnchorCase anchors[] = {{kJustifyLeft, 100, 100},
                                {kJustifyRight, 100, 100 + 8 - 200},
                                {kJustifyCentre, 100, 100 + 4 - 100},
                                {kJustifyRight, 250, 250 + 8 - 200},
                                {kJustifyLeft, 30, 30}};
  for (const AnchorCase& c : anchors) {
    SetCtrlAttribute(strip, 2, ATTR_TEXT_JUSTIFY, c.justify);
    SetCtrlAttribute(strip, 2, ATTR_LEFT, c.left);
    RECT r = ChildRect(strip_window, 2);
    char name[96];
    std::snprintf(name, sizeof name, "justify %d at left %d: box from %ld, 200 wide", c.justify,
                  c.left, c.want_left);
    Check(r.left == c.want_left && r.right - r.left == 200, name, "got %ld..%ld", r.left, r.right);
  }
  SetCtrlAttribute(strip, 2, ATTR_TOP, 33);
  Check(ChildRect(strip_window, 2).top == 33, "ATTR_TOP moves the control");
  SetCtrlAttribute(strip, 2, ATTR_VISIBLE, 0);
  Check(!IsWindowVisible(GetDlgItem(strip_window, 2)), "ATTR_VISIBLE 0 hides the control");
  SetCtrlAttribute(strip, 2, ATTR_VISIBLE, 1);
  Check(IsWindowVisible(GetDlgItem(strip_window, 2)) != 0, "ATTR_VISIBLE 1 shows it again");
  Check(SetCtrlAttribute(strip, 2, 12345, 1) < 0, "unknown attribute refused");
  Check(SetCtrlVal(strip, 77, "x") < 0, "unknown control refused");

  // Pictures.
  Check(DisplayImageFile(strip, 4, "C:\\no\\such\\logo.jpg") != 0, "missing picture: non-zero");
  Check(DisplayImageFile(strip, 4, uir) != 0, "undecodable picture: non-zero");
  Check(DisplayImageFile(strip, 2, jpeg) != 0, "picture into a text control: non-zero");
  Check(DisplayImageFile(strip, 4, jpeg) == 0 && Text(GetDlgItem(strip_window, 4)) == jpeg,
        "JPEG shown in the picture control", "%s", jpeg);
  CheckPictureBounds(strip, jpeg);

  // Fields and the text box.
  DisplayPanel(dialog);
  SetCtrlVal(dialog, 5, 7);
  int number = -1;
  GetCtrlVal(dialog, 5, &number);
  Check(number == 7 && Text(GetDlgItem(dialog_window, 5)) == "7", "numeric field: set and read");
  struct Typed {
    const char* text;
    int want;
  };
  const Typed typed[] = {{"123", 100}, {"55", 55}, {"-4", 0}, {"abc", 0}};
  for (const Typed& t : typed) {
    SetWindowTextA(GetDlgItem(dialog_window, 5), t.text);  // as if the user typed it
    GetCtrlVal(dialog, 5, &number);
    char name[64];
    std::snprintf(name, sizeof name, "typed \"%s\" reads %d (range 0..100)", t.text, t.want);
    Check(number == t.want, name, "got %d", number);
  }
  SetCtrlVal(dialog, 6, 2.5);
  float seconds = 0;
  GetCtrlVal(dialog, 6, &seconds);
  Check(seconds == 2.5f && Text(GetDlgItem(dialog_window, 6)) == "2.5",
        "float field: set 2.5, shown and read 2.5", "got %g", seconds);
  SetCtrlVal(dialog, 5, 41.6);
  GetCtrlVal(dialog, 5, &number);
  Check(number == 42, "a double into an integer field: the nearest integer", "got %d", number);
  ResetTextBox(dialog, 7, "");
  SetCtrlVal(dialog, 7, "first line\nsecond");
  Check(CtrlString(dialog, 7) == "first line\nsecond", "text box: reset, then the text");
  SetCtrlVal(dialog, 7, "again");
  Check(CtrlString(dialog, 7) == "again",
        "text box: SetCtrlVal replaces, as in the headless model");
  Check(SetCtrlVal(dialog, 5, "12") < 0 && GetCtrlVal(dialog, 7, &number) < 0,
        "text into a number field and a number from a text box refused");
  ResetTextBox(dialog, 7, "only");
  Check(CtrlString(dialog, 7) == "only" && Text(GetDlgItem(dialog_window, 7)) == "only",
        "text box: ResetTextBox replaces");

  // Buttons, the close box and the event loop.
  SendMessageA(GetDlgItem(dialog_window, 8), BM_CLICK, 0, 0);
  Check(g_press.count == 1 && g_press.panel == dialog && g_press.control == 8 &&
            g_press.event == EVENT_COMMIT,
        "button click runs its callback with the commit event");
  QuitUserInterface(0);  // no loop runs: nothing to end, nothing kept for the next loop
  PostMessageA(dialog_window, WM_CLOSE, 0, 0);  // handled inside the loop below
  DWORD start = GetTickCount();
  RunUserInterface();
  DWORD ran = GetTickCount() - start;
  Check(g_close.count == 1 && g_close.control == 9 && g_close.event == EVENT_COMMIT,
        "close box runs the close control's callback");
  Check(IsWindow(dialog_window) != 0, "close box leaves the panel loaded");
  Check(ran < 2000, "the loop ends when the callback quits", "%lu ms",
        static_cast<unsigned long>(ran));
  // The stray quit above must not have ended this loop before the close request arrived.
  Check(g_close.count == 1, "quit outside a loop does not end the next loop");

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
  Check(FindWindowA(nullptr, "Check Strip") == nullptr, "its window goes once the owner pumps");

  // Stale handles.
  Check(DiscardPanel(strip) < 0 && DisplayPanel(strip) < 0 && HidePanel(strip) < 0,
        "second discard and later calls on the handle refused");
  const int again = LoadPanelEx(0, uir, 1, module);
  Check(again > 0 && again != strip && again != dialog, "a new load gets a new handle");
  Check(SetCtrlVal(strip, 2, "x") < 0 && SetCtrlVal(again, 2, "x") == 0,
        "the old handle stays stale next to the new panel");
  Check(SetCtrlVal(0, 2, "x") < 0 && SetCtrlVal(-5, 2, "x") < 0, "handles 0 and negative refused");

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
  Check(FindWindowA(nullptr, "Check Dialog") == nullptr && SetCtrlVal(dialog, 5, 1) < 0,
        "CloseCVIRTE discards what remains");
  DeleteFileA(uir);
  std::printf("%d passed, %d failed\n", g_passed, g_failed);
  std::fflush(stdout);
  return g_failed == 0 ? 0 : 1;
}
