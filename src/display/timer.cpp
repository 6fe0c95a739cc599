// The display timer: one periodic tick, DisplayTimeMs / 50 apart, so 50 ticks are one display
// time.
//
// A tick polls the two global keys (P shows the display again, O opens the guide window),
// counts the running display cycle, sends the configured start key once after load, moves the
// programme lines onto the display as soon as the EIT reader has both (and the progress bar of
// the programme on air, which it moves on while the display is up), and hides the display when
// the cycle has run out, handing the focus back to the host.
//
// The keys are read with GetAsyncKeyState: a positive (signed 16-bit) result means "pressed
// since the last poll and not held now"; a key still held at the poll does not count, so a
// long press cannot retrigger every tick.
//
// On Windows the tick runs on the host's UI thread (platform/timer.h); the cycle counters are
// atomic all the same, since channel changes write them and tests tick from other threads.
#include "display/timer.h"

#include <cstdio>

#include "display/discovery.h"
#include "display/osd.h"
#include "display/progress.h"
#include "guide/eit.h"
#include "guide/guide_window.h"
#include "panels/panels.h"
#include "settings/settings.h"
#include "shared/controls.h"
#include "shared/state.h"

std::atomic<int32_t> TickCount{0};
std::atomic<int32_t> DisplayActive{0};
std::atomic<int32_t> StartKeySent{0};
std::atomic<int32_t> GuideByKey{0};

namespace {

constexpr int kVkP = 'P';                 // 80
constexpr int kVkO = 'O';                 // 79
constexpr int32_t kKeyPTicks = 15;        // the cycle then runs 35 more ticks
constexpr int32_t kKeyOTicks = 5;         // the cycle then runs 45 more ticks
constexpr int32_t kStartKeyTick = 5;      // the start key goes at the fifth tick of the first cycle
constexpr int32_t kLastTick = 50;         // the display hides in the tick that counts past this
constexpr int32_t kStartKeyMin = 33;      // StartKey below this sends nothing (space and controls)
constexpr int32_t kDebugProbeTitle = -2;  // DebugMode: control 11 shows a window title
// keybd_event flags for the start key: KEYEVENTF_EXTENDEDKEY plus 0x100 for the key-down, the
// same with KEYEVENTF_KEYUP (0x2) for the key-up. A press is both: a key-down alone leaves the
// key logically held in Windows' key state (a start key of left Shift would keep Shift down
// until the user pressed and released it).
constexpr DWORD kStartKeyDownFlags = 0x101;
constexpr DWORD kStartKeyUpFlags = kStartKeyDownFlags | KEYEVENTF_KEYUP;

bool KeyPressedSinceLastPoll(int vk) {
  return GetAsyncKeyState(vk) > 0;
}

void ShowLines() {
  char now[kGuideTextMax];
  char next[kGuideTextMax];
  EventTimes present{};
  // The copy and the change to 8 are made together under the reader's lock, so a channel
  // change cannot empty the lines between the test for 7 and the copy.
  if (!TakeReadyLines(now, next, sizeof now, &present)) return;
  const int panel = pnlDisplay;
  SetCtrlVal(panel, kNowControl, now);
  // With DebugMode -2 control 11 holds the title probe of the last channel change: the next
  // programme line must not overwrite what the user switched the mode on to read.
  if (DebugMode != kDebugProbeTitle) SetCtrlVal(panel, kNextControl, next);
  ShowProgress(present);
  TickCount = 0;
}

void HideDisplay() {
  HidePanel(pnlDisplay);
  if (GuideByKey == 1) {
    HidePanel(pnlGuide);
    GuideClosed();
    GuideByKey = 0;
  }
  HandFocusToHost();
  // ALT-DVB shows its controls while the pointer rests over the picture: park it at the
  // bottom edge so they go away with the display.
  if (HostKind == kHostAltDvb && ParkCursor == 1) SetCursorPos(ScreenWidth / 2, ScreenHeight);
  DisplayActive = 0;
  TickCount = 0;
}

}  // namespace

void WriteTimeOfDay() {
  int hours = 0;
  int minutes = 0;
  int seconds = 0;
  CVI_GetSystemTime(&hours, &minutes, &seconds);
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d", hours, minutes);
  SetCtrlVal(pnlDisplay, kTimeControl, text);
}

void HandFocusToHost() {
  const HWND host = HostTopWnd;
  if (host == nullptr) return;
  for (const std::atomic<int>* dialog : {&pnlSettings, &pnlAbout, &pnlGuide}) {
    if (PanelIsActive(*dialog)) return;
  }
  SetFocus(host);
  SetForegroundWindow(host);
}

namespace {

// The event-loop depth at which the running tick began; -1 while none runs. A tick first
// processes the pending events, and a tick that arrives during that processing is dropped: ticks
// never nest in each other's event processing, so a slow host delays them instead of piling them
// up. But a host menu command dispatched there opens a dialog whose event loop runs inside the
// tick, one level deeper: the ticks of that loop run, or the strip would stay up and the keys go
// unread for as long as the dialog is open.
std::atomic<int> TickLoopDepth{-1};

void Tick();

}  // namespace

void CALLBACK TimerProc(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
  const int depth = EventLoopDepth();
  const int outer = TickLoopDepth.load();
  if (outer == depth) return;
  TickLoopDepth = depth;
  Tick();
  TickLoopDepth = outer;
}

namespace {

void Tick() {
  ProcessSystemEvents();

  if (KeyPressedSinceLastPoll(kVkP)) {
    DisplayPanel(pnlDisplay);  // as it was last filled
    WriteTimeOfDay();
    RefreshProgress();
    DisplayActive = 1;
    TickCount = kKeyPTicks;
  }
  if (KeyPressedSinceLastPoll(kVkO)) OpenGuideByKey();
  RefreshGuide();  // the open guide window follows the broadcast

  if (DisplayActive == 0) return;
  const int32_t count = ++TickCount;

  if (count == kStartKeyTick && StartKeySent == 0) {
    const int32_t key = StartKey;
    if (key >= kStartKeyMin) {
      const BYTE vk = static_cast<BYTE>(key & 0xFF);
      keybd_event(vk, 0, kStartKeyDownFlags, 0);
      keybd_event(vk, 0, kStartKeyUpFlags, 0);
    }
    StartKeySent = 1;
    TickCount = 0;
    DisplayActive = 0;
    return;
  }

  if (TickCount > 0 && EpgEnabled == 1 && eitstate == 7) ShowLines();
  TickProgress();

  if (TickCount > kLastTick) HideDisplay();
}

}  // namespace

void OpenGuideByKey() {
  OpenGuide(false);
  // The O key on the guide the menu opened: its content is refreshed, but the display cycle
  // must not hide it, or its loop would run on with no window left to end it.
  if (PanelLoopRuns(pnlGuide)) return;
  DisplayActive = 1;
  TickCount = kKeyOTicks;
  GuideByKey = 1;
}

void ResetTimerState() {
  TickCount = DisplayActive = StartKeySent = GuideByKey = 0;
  ResetProgressState();
}
