// The Win32 panel driver's set-up, event loop turn, font dialog and system queries.
//
// The model's RunUserInterface is a nested message loop on the calling thread (the host's UI
// thread, inside a menu command): the host's own windows keep working while a dialog of the
// plug-in is open, and the display timer's ticks, which arrive as posted messages, keep running.
// A WM_QUIT seen inside a loop ends the loop and is posted again for the host's own loop.
#include <windows.h>
// After <windows.h>: ChooseFontA, which WIN32_LEAN_AND_MEAN leaves out.
#include <commdlg.h>
// After <windows.h>: InitCommonControlsEx.
#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "panels/driver.h"
#include "panels/win32/panels_win32.h"

namespace {

constexpr int kEventsPerPoll = 64;  // ProcessSystemEvents: bounded, so a tick stays short

HINSTANCE g_module = nullptr;
std::atomic<DWORD> g_loop_thread{0};  // the thread of the last loop turn, woken by WakeLoop

}  // namespace

namespace win32panels {

HINSTANCE Module() {
  return g_module;
}

}  // namespace win32panels

namespace driver {

bool Init(void* module) {
  if (g_module != nullptr) return true;
  if (module == nullptr) return false;
  HINSTANCE instance = static_cast<HINSTANCE>(module);
  // The trackbar and up-down classes of the Settings dialog (comctl32, a system DLL).
  INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_BAR_CLASSES | ICC_UPDOWN_CLASS};
  InitCommonControlsEx(&classes);
  if (!win32panels::RegisterClasses(instance)) return false;
  g_module = instance;
  return true;
}

void Close() {
  if (g_module == nullptr) return;
  win32panels::UnregisterClasses(g_module);
  g_module = nullptr;
  // GDI+ stays started: GdiplusShutdown must not run under the loader lock, and the process's
  // exit releases it.
}

bool PumpOne() {
  g_loop_thread = GetCurrentThreadId();
  MSG message;
  BOOL got = GetMessageW(&message, nullptr, 0, 0);
  if (got == 0) {  // the host is closing: leave its WM_QUIT for its own loop
    PostQuitMessage(static_cast<int>(message.wParam));
    return false;
  }
  if (got < 0) return false;
  if (win32panels::DialogKey(&message)) return true;
  TranslateMessage(&message);
  DispatchMessageW(&message);
  return true;
}

void WakeLoop() {
  // Wakes GetMessage when the request comes from another thread (or from a callback that was
  // not itself a message of the loop).
  const DWORD thread = g_loop_thread.load();
  if (thread != 0) PostThreadMessageW(thread, WM_NULL, 0, 0);
}

}  // namespace driver

int ProcessSystemEvents() {
  MSG message;
  for (int i = 0; i < kEventsPerPoll && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    // A dialog's keys pumped here (the display timer's tick) work as in the loop.
    if (win32panels::DialogKey(&message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}

namespace {

// The display texts' alignment, asked after the font: a small menu at the pointer.
int AskAlignment(HWND owner, int current) {
  HMENU menu = CreatePopupMenu();
  if (menu == nullptr) return current;
  struct Choice {
    int justify;
    const char* label;
  };
  const Choice choices[] = {
      {kJustifyLeft, "Align left"}, {kJustifyRight, "Align right"}, {kJustifyCentre, "Centre"}};
  AppendMenuA(menu, MF_STRING | MF_GRAYED, 0, "Text alignment");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  for (const Choice& c : choices) {
    UINT flags = MF_STRING | (c.justify == current ? MF_CHECKED : MF_UNCHECKED);
    AppendMenuA(menu, flags, static_cast<UINT_PTR>(c.justify + 1), c.label);
  }
  POINT at;
  GetCursorPos(&at);
  // A menu of a window that is not in the foreground would not close when clicked away.
  SetForegroundWindow(owner);
  int picked = static_cast<int>(
      TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_LEFTALIGN | TPM_TOPALIGN, at.x, at.y,
                     0, owner, nullptr));
  DestroyMenu(menu);
  return picked > 0 ? picked - 1 : current;
}

}  // namespace

int FontSelectPopup(const char* title, const char*, int fixed_pitch_only, char* typeface,
                    size_t typeface_size, int* bold, int* underline, int* strike_out, int* italic,
                    int* justify, int* text_color, int* point_size, int min_point_size,
                    int max_point_size, int, int) {
  if (typeface == nullptr || typeface_size == 0) return -1;
  LOGFONTA font = {};
  std::snprintf(font.lfFaceName, sizeof font.lfFaceName, "%s", typeface);
  font.lfHeight = point_size != nullptr && *point_size > 0 ? -*point_size : -16;
  font.lfWeight = bold != nullptr && *bold ? FW_BOLD : FW_NORMAL;
  font.lfItalic = italic != nullptr && *italic ? TRUE : FALSE;
  font.lfCharSet = DEFAULT_CHARSET;
  HWND owner = GetActiveWindow();
  if (owner == nullptr) owner = win32panels::OwnerWindow();
  CHOOSEFONTA dialog = {};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpLogFont = &font;
  // No vertical faces (their names start with '@'): they turn the strip's horizontal lines on
  // their side, glyph by glyph.
  dialog.Flags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT | CF_LIMITSIZE | CF_NOVERTFONTS;
  if (fixed_pitch_only) dialog.Flags |= CF_FIXEDPITCHONLY;
  if (underline != nullptr || strike_out != nullptr || text_color != nullptr) {
    dialog.Flags |= CF_EFFECTS;
  }
  dialog.nSizeMin = min_point_size > 0 ? min_point_size : 4;
  dialog.nSizeMax = max_point_size >= dialog.nSizeMin ? max_point_size : 64;
  (void)title;  // the common dialog keeps its own title
  if (!ChooseFontA(&dialog)) return CommDlgExtendedError() == 0 ? 0 : -1;
  std::snprintf(typeface, typeface_size, "%s", font.lfFaceName);
  if (bold != nullptr) *bold = font.lfWeight >= FW_BOLD;
  if (italic != nullptr) *italic = font.lfItalic != 0;
  if (underline != nullptr) *underline = font.lfUnderline != 0;
  if (strike_out != nullptr) *strike_out = font.lfStrikeOut != 0;
  if (point_size != nullptr) *point_size = dialog.iPointSize / 10;
  if (text_color != nullptr) {
    COLORREF c = dialog.rgbColors;
    *text_color = (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
  }
  if (justify != nullptr) *justify = AskAlignment(owner, *justify);
  return 1;
}

int GetScreenSize(int* height, int* width) {
  if (height != nullptr) *height = GetSystemMetrics(SM_CYSCREEN);
  if (width != nullptr) *width = GetSystemMetrics(SM_CXSCREEN);
  return 0;
}

int GetModuleDir(void* module, char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return -1;
  char path[MAX_PATH * 2];
  DWORD length = GetModuleFileNameA(static_cast<HMODULE>(module), path, sizeof path);
  if (length == 0 || length >= sizeof path) return -1;  // failed, or cut short
  size_t end = length;
  while (end > 0 && path[end - 1] != '\\' && path[end - 1] != '/') --end;
  if (end == 0) return -1;  // no folder in the name
  --end;                    // drop the separator itself
  if (end + 1 > size) return -1;
  std::memcpy(buffer, path, end);
  buffer[end] = '\0';
  return 0;
}
