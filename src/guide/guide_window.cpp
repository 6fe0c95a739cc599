// The guide window: the current channel's name and the description of the programme on air.
//
// Opened from the host's menu it runs an event loop of its own panel until its button; opened by
// the O key (from the display timer, OpenGuideByKey) it runs none and is hidden when the display
// cycle ends. Its button ends only the guide's own loop: pressed on a guide the O key opened
// while the Settings or About dialog runs its loop, it hides the guide and ends nothing else.
#include "guide/guide_window.h"

#include "guide/eit.h"
#include "panels/panels.h"
#include "shared/channel.h"
#include "shared/controls.h"
#include "shared/state.h"

void OpenGuide(bool from_menu) {
  const int guide = pnlGuide;
  if (from_menu && PanelLoopRuns(guide)) {  // already open from the menu: to the front
    DisplayPanel(guide);
    SetActivePanel(guide);
    return;
  }
  DisplayPanel(guide);
  char name[kChannelNameField + 1];
  CurrentChannelName(name, sizeof name);
  SetCtrlVal(guide, kGuideChannelName, name);
  ResetTextBox(guide, kGuideTextBox, "");
  char desc[kGuideTextMax];
  CopyNowDesc(desc, sizeof desc);
  SetCtrlVal(guide, kGuideTextBox, desc);
  if (from_menu) SetActivePanel(guide);
  PlacePanelWindow(guide, 50, 50, 420, 420);
  // As a dialog's: a loop the host's WM_QUIT ended hides the window it ran for.
  if (from_menu && RunUserInterface(guide) < 0) HidePanel(guide);
}

int EPGOK(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  HidePanel(pnlGuide);
  QuitUserInterface(pnlGuide);
  return 0;
}
