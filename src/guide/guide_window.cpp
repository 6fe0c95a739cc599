// The guide window: the current channel's name and the description of the programme on air.
//
// Opened from the host's menu it runs the event loop until its button; opened by the O key
// (from the display timer, OpenGuideByKey) it runs none and the timer hides it when the display
// cycle ends.
#include "guide/guide_window.h"

#include "guide/eit.h"
#include "panels/panels.h"
#include "shared/channel.h"
#include "shared/controls.h"
#include "shared/state.h"

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
  if (from_menu) RunUserInterface();
}

int EPGOK(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  HidePanel(pnlGuide);
  QuitUserInterface(0);
  return 0;
}
