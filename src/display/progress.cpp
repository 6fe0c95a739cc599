// The progress bar of the programme on air (see progress.h).
//
// Its value is the elapsed share of the present event in percent, from the clock in UTC
// against the event's start_time and duration (EN 300 468, 5.2.4); its text (the indicator
// text) the minutes to the end, rounded up: "+25 min". A programme whose start is still ahead
// shows 0 and its whole duration; one past its end shows 100 and no text until the network's
// next version of the present/following table brings the next programme. The bar never shows
// the strip by itself: the display timer works it while a display cycle runs.
//
// Threads: on Windows every caller runs on the host's UI thread (the tick is posted there).
// The tests also drive channel changes and ticks from two threads: the two flags the channel
// change writes are atomic; the rest is the tick's own.
#include "display/progress.h"

#include <atomic>
#include <climits>
#include <cstdio>

#include "panels/panels.h"
#include "settings/settings.h"
#include "shared/controls.h"
#include "shared/state.h"

namespace {

std::atomic<int> BarRoom{0};     // the width the last channel change placed the bar at
std::atomic<bool> BarOn{false};  // shown (ATTR_VISIBLE 1), with BarTimes
EventTimes BarTimes{kUndefinedDate, 0, 0, 0, kUnknownDuration};
int64_t LastSecond = INT64_MIN;  // the clock second value and text were worked out for
int LastPercent = -1;            // what the bar holds
int LastMinutes = INT_MIN;

// Whether the bar still has the width its room was found for.
bool StillPlaced() {
  int width = 0;
  return BarRoom.load() > 0 &&
         GetCtrlAttribute(pnlDisplay, kProgressControl, ATTR_WIDTH, &width) == 0 &&
         width == BarRoom.load();
}

// Value and text for the clock at `now`, each set only when it changed.
void Update(int64_t now) {
  LastSecond = now;
  if (!StillPlaced()) {
    HideProgress();
    return;
  }
  int percent = 0;
  int minutes = 0;
  if (!ProgrammeProgress(BarTimes, now, &percent, &minutes)) return;
  const int panel = pnlDisplay;
  if (percent != LastPercent) {
    SetCtrlVal(panel, kProgressControl, percent);
    LastPercent = percent;
  }
  if (minutes != LastMinutes) {
    char text[24] = "";
    if (minutes >= 0) std::snprintf(text, sizeof text, "+%d min", minutes);
    SetCtrlAttribute(panel, kProgressControl, ATTR_INDICATOR_TEXT, text);
    LastMinutes = minutes;
  }
}

}  // namespace

void SetProgressRoom(int width) {
  BarRoom = width;
}

void HideProgress() {
  if (BarOn.exchange(false)) SetCtrlAttribute(pnlDisplay, kProgressControl, ATTR_VISIBLE, 0);
}

void ShowProgress(const EventTimes& present) {
  int percent = 0;
  int minutes = 0;
  const int64_t now = UtcNow();
  if (ProgrammeTimes.load() != 1 || !StillPlaced() ||
      !ProgrammeProgress(present, now, &percent, &minutes)) {
    HideProgress();
    return;
  }
  BarTimes = present;
  Update(now);
  if (!BarOn.exchange(true)) SetCtrlAttribute(pnlDisplay, kProgressControl, ATTR_VISIBLE, 1);
}

void TickProgress() {
  if (!BarOn.load()) return;
  const int64_t now = UtcNow();
  if (now != LastSecond) Update(now);
}

void RefreshProgress() {
  if (BarOn.load()) Update(UtcNow());
}

void ResetProgressState() {
  BarRoom = 0;
  BarOn = false;
  BarTimes = EventTimes{kUndefinedDate, 0, 0, 0, kUnknownDuration};
  LastSecond = INT64_MIN;
  LastPercent = -1;
  LastMinutes = INT_MIN;
}
