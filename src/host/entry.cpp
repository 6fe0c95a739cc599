// Load, unload and the host's entry points.
//
// Load builds the paths from the library's own folder, reads pelta.ini, refuses to load
// without pelta.uir, loads the four panels, makes the display translucent and starts the one
// periodic timer. Unload stops the timer first, then tears the panels down, so no tick can
// reach a discarded panel.
#include "host/entry.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "display/discovery.h"
#include "display/indicators.h"
#include "display/osd.h"
#include "display/timer.h"
#include "guide/eit.h"
#include "guide/filter.h"
#include "guide/guide_window.h"
#include "host/layout_check.h"
#include "panels/panels.h"
#include "platform/timer.h"
#include "settings/dialogs.h"
#include "settings/settings.h"
#include "shared/commands.h"
#include "shared/controls.h"

HMODULE hUser32 = nullptr;
PeltaSetLayeredFn m_pSetLayeredWindowAttributes = nullptr;
UINT TimerId = 0;

namespace {

constexpr int kTimerResolutionMs = 100;
constexpr int kOpaqueFrom = 250;  // Opacity at or above: the window is left opaque
constexpr int kTimerTicksPerDisplay = 50;

// The layout file's callbacks, bound by name when a panel is loaded.
const PanelCallbackEntry kCallbacks[] = {
    {"OK", &OK}, {"FONT", &FONT}, {"SAVE", &SAVE}, {"EPGOK", &EPGOK}};

std::atomic<int>* const kPanels[] = {&pnlDisplay, &pnlSettings, &pnlAbout, &pnlGuide};

// The library's own module, for loading the display panel again after On_Exit.
HINSTANCE Module = nullptr;

// "<dir>\<name>": false when it does not fit (the load is then refused, never cut short).
bool BuildPath(char* out, const char* format) {
  int n = std::snprintf(out, kPathMax, format, ModuleDir);
  return n > 0 && static_cast<size_t>(n) < kPathMax;
}

void ResetHostState() {
  std::memset(ModuleDir, 0, sizeof ModuleDir);
  std::memset(IniPath, 0, sizeof IniPath);
  std::memset(IconDir, 0, sizeof IconDir);
  std::memset(UirPath, 0, sizeof UirPath);
  for (std::atomic<int>* panel : kPanels) *panel = 0;
  OsdWnd = nullptr;
  hUser32 = nullptr;
  m_pSetLayeredWindowAttributes = nullptr;
  TimerId = 0;
}

// Every module-level value of the plug-in back to its load-time value.
void ResetAllState() {
  ResetHostState();
  ResetCommandState();
  ResetSettingsState();
  ResetChannelState();
  ResetDiscoveryState();
  ResetIndicatorState();
  ResetTimerState();
  ResetOsdState();
  ResetGuideState();
  ResetGuideWindowState();
}

void DiscardAllPanels() {
  for (std::atomic<int>* panel : kPanels) HidePanel(*panel);
  for (std::atomic<int>* panel : kPanels) {
    DiscardPanel(*panel);
    *panel = 0;
  }
}

// The layout file: there and readable, missing, or there but not readable (no permission, in
// use without sharing, a folder of that name). Only the first line is tried: what the file
// holds is the panel loader's business, which refuses a bad one without a message.
enum class LayoutFile { kReadable, kMissing, kUnreadable };

LayoutFile CheckLayoutFile() {
  errno = 0;
  const int file = CVI_OpenFile(UirPath, 1, 0, 1);
  if (file < 0) return errno == ENOENT ? LayoutFile::kMissing : LayoutFile::kUnreadable;
  char first[2];
  const int read = ReadLine(file, first, 1);  // -2: a read error, -1: an empty file
  CVI_CloseFile(file);
  return read == -2 ? LayoutFile::kUnreadable : LayoutFile::kReadable;
}

// The one message the plug-in ever shows: without its layout it cannot run. It names the file
// it looked for and says whether it was missing or could not be read.
void ShowLayoutFileMessage(LayoutFile problem) {
  char text[kPathMax + 64];
  std::snprintf(text, sizeof text, "Attention :\n\n\n\n\n\n\n\n\nFile %s %s !", UirPath,
                problem == LayoutFile::kMissing ? "not found" : "cannot be read");
  MessageBoxA(nullptr, text, "Pelta error", MB_OK);
}

// False, after telling the user, when a dialog of the layout file could never be closed. A
// file the reader refuses is left to the panel loads, which then fail on it.
bool DialogsCanBeClosed() {
  std::unique_ptr<uir::Layout> layout(new (std::nothrow) uir::Layout);
  if (layout == nullptr) return false;
  uir::Error error;
  if (!uir::ReadPluginFile(UirPath, layout.get(), &error)) return true;
  char message[uir::kNameMax + 2 * kPathMax];
  if (!FindUnendableDialog(*layout, UirPath, message, sizeof message)) return true;
  MessageBoxA(nullptr, message, "Pelta error", MB_OK | MB_ICONERROR);
  return false;
}

void MakeDisplayTranslucent() {
  OsdWnd = PanelWindow(pnlDisplay);
  hUser32 = GetModuleHandleA("USER32.DLL");
  m_pSetLayeredWindowAttributes = nullptr;
  if (hUser32 != nullptr) {
    FARPROC proc = GetProcAddress(hUser32, "SetLayeredWindowAttributes");
    static_assert(sizeof proc == sizeof m_pSetLayeredWindowAttributes, "function pointers");
    std::memcpy(&m_pSetLayeredWindowAttributes, &proc, sizeof proc);
  }
  if (Opacity < kOpacityRaisedBelow) Opacity = 255;
  // A window with the layered bit but no layered attributes is never drawn: without the
  // function (Windows before 2000) the window stays as it is, opaque and visible.
  if (m_pSetLayeredWindowAttributes == nullptr || OsdWnd == nullptr) return;
  LONG style = GetWindowLongA(OsdWnd, GWL_EXSTYLE);
  SetWindowLongA(OsdWnd, GWL_EXSTYLE, style | WS_EX_LAYERED);
  m_pSetLayeredWindowAttributes(OsdWnd, 0, static_cast<BYTE>(Opacity & 0xFF), LWA_ALPHA);
}

// The display panel's font, translucency and hidden state as loaded, a new start cycle, and
// the display timer: what load does once the panels are there, and a restart after On_Exit.
void StartDisplay() {
  // The typeface needs a name of four characters or more; the alignment follows TextAlign
  // whatever the font line says, since every channel change re-anchors the texts for 16 and 32
  // (left-aligned texts at the right-aligned anchor would run under the indicators).
  ApplyFont(std::strlen(FontName) > 3);
  DisplayPanel(pnlDisplay);
  if (Opacity < kOpaqueFrom) MakeDisplayTranslucent();
  HidePanel(pnlDisplay);
  ResetTimerState();  // no display cycle, the start key not yet sent
  HostKind = 0;
  eitstate = 0;
  DisplayExited = 0;
  // 50 ticks make one display time. A display time below 50 ms would give a period of 0,
  // which the multimedia timer refuses: no tick would ever run, the start cycle would never
  // end and no channel change would be shown. Such a timer ticks every millisecond instead
  // (DisplayTimeMs itself stays as read).
  const int32_t period = DisplayTimeMs / kTimerTicksPerDisplay;
  TimerId =
      StartDisplayTimer(static_cast<UINT>(period > 0 ? period : 1), kTimerResolutionMs, &TimerProc);
}

BOOL Load(HINSTANCE instance) {
  ResetAllState();
  Module = instance;
  if (GetModuleDir(instance, ModuleDir, sizeof ModuleDir) < 0) return FALSE;
  if (!BuildPath(IniPath, "%s\\pelta.ini") || !BuildPath(IconDir, "%s\\pelta_icon\\")) return FALSE;
  GetPar();  // no panel yet: only the values
  if (!BuildPath(UirPath, "%s\\pelta.uir")) return FALSE;
  ApplySizeLayout(SizeMode);
  const LayoutFile layout = CheckLayoutFile();
  if (layout != LayoutFile::kReadable) {
    ShowLayoutFileMessage(layout);
    return FALSE;
  }
  if (!DialogsCanBeClosed()) return FALSE;
  if (InitCVIRTE(instance) < 0) return FALSE;
  SetPanelCallbackTable(kCallbacks, static_cast<int>(sizeof kCallbacks / sizeof kCallbacks[0]));
  const int numbers[] = {kDisplayPanelNumber, kSettingsPanelNumber, kAboutPanelNumber,
                         kGuidePanelNumber};
  for (int i = 0; i < 4; ++i) {
    int handle = LoadPanelEx(0, UirPath, numbers[i], instance);
    if (handle < 0) {
      DiscardAllPanels();
      CloseCVIRTE();
      return FALSE;
    }
    *kPanels[i] = handle;
  }
  GetPar();  // again, now onto the panels
  SetCtrlVal(pnlAbout, kAboutVersionControl, kVersionLabel);
  for (std::atomic<int>* panel : kPanels) HidePanel(*panel);
  StartDisplay();
  return TRUE;
}

// Process exit (`process_ending`): the host's threads are gone or blocked on the loader lock,
// so nothing is sent to the host and nothing waits for the timer's thread.
void Unload(bool process_ending) {
  if (process_ending) {
    AbandonDisplayTimer();
  } else {
    StopDisplayTimer(TimerId);
  }
  TimerId = 0;
  DiscardAllPanels();
  if (!process_ending) StopFilter();
  CloseCVIRTE();
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  // mingw's DLL start-up code calls both DllEntryPoint and DllMain for the same notification
  // (and DllEntryPoint for detach after a refused attach); DllEntryPoint forwards here, so the
  // library is loaded once per attach and unloaded only when it was loaded.
  static bool attached = false;
  if (reason == DLL_PROCESS_ATTACH) {
    if (attached) return TRUE;
    attached = Load(instance) != FALSE;
    return attached ? TRUE : FALSE;
  }
  if (reason == DLL_PROCESS_DETACH && attached) {
    // A non-null `reserved` at detach: the process is ending (not FreeLibrary).
    Unload(reserved != nullptr);
    attached = false;
  }
  return TRUE;
}

BOOL WINAPI DllEntryPoint(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  return DllMain(instance, reason, reserved);
}

void PELTA_CDECL On_Start(HINSTANCE, HWND MDWnd, BOOL, int DLL_ID, char*, char*, int*) {
  HostWnd = MDWnd;
  HostDllId = DLL_ID;
  // A host that stops and starts the plug-in again without unloading it: the display comes
  // back as load left it.
  if (DisplayExited == 0 || UirPath[0] == '\0') return;
  const int handle = LoadPanelEx(0, UirPath, kDisplayPanelNumber, Module);
  if (handle < 0) return;  // stays stopped
  pnlDisplay = handle;
  GetPar();
  StartDisplay();
}

// Final for the display until a later On_Start: the filter and the timer stop, the display
// panel goes, and channel changes show and start nothing.
void PELTA_CDECL On_Exit(HINSTANCE, HWND, BOOL) {
  DisplayExited = 1;
  StopDisplayTimer(TimerId);
  TimerId = 0;
  StopFilter();
  HidePanel(pnlDisplay);
  DiscardPanel(pnlDisplay);
  pnlDisplay = 0;
}

void PELTA_CDECL On_Menu_Select(UINT MenuID) {
  switch (MenuID) {
    case kMenuSettings:
      OpenSettingsDialog();
      break;
    case kMenuAbout:
      OpenAboutBox();
      break;
    case kMenuGuide:
      OpenGuide(true);
      break;
    default:
      break;
  }
}

void PELTA_CDECL On_Hot_Key() {}

void PELTA_CDECL On_Filter_Close(UINT) {}

void PELTA_CDECL On_Send_Dll_ID_Name(char* Name) {
  static const char kDisplayName[] = "Pelta";
  if (Name != nullptr) std::memcpy(Name, kDisplayName, sizeof kDisplayName);
}

}  // extern "C"
