// The guide window: the current channel's name and the description of the programme on air.
//
// Opened from the host's menu it runs the event loop until its button; opened by the O key
// (from the display timer) it runs none and is hidden when the display cycle ends.
#include "guide/guide_window.h"

#include "display/timer.h"
#include "guide/eit.h"
#include "panels/panels.h"
#include "shared/channel.h"
#include "shared/state.h"

namespace {
constexpr int kGuideTextBox = 3;
constexpr int kGuideChannelName = 4;
constexpr int kGuideKeyTicks = 5;  // the cycle then runs 45 more ticks
}  // namespace

void OpenGuide(bool from_menu) {
  const int guide = pnlGuide;
  DisplayPanel(guide);
  char name[kChannelNameField + 1];
  CurrentChannelName(name, sizeof name);
  SetCtrlVal(guide, kGuideChannelName, name);
  ResetTextBox(guide, kGuideTextBox, "");
  char desc[kGuideTextMax];
  CopyNowDesc(desc, sizeof desc);
  SetCtrlVal(guide, kGuideTextBox, desc);
  if (from_menu) SetActivePanel(guide);
  PlaceWindowByCaption("EPG", 50, 50, 420, 420);
  if (from_menu) {
    RunUserInterface();
    return;
  }
  DisplayActive = 1;
  TickCount = kGuideKeyTicks;
  GuideByKey = 1;
}

int EPGOK(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  HidePanel(pnlGuide);
  QuitUserInterface(0);
  return 0;
}
