// The progress bar of the programme on air (display control 16): how much of it has run, and
// "+25 min" to its end, while the strip is up.
#pragma once

#include "guide/event_times.h"

// The channel change placed the bar on the name's row at this width (0: no room, a strip too
// narrow). A bar whose width has changed since (Save with another size) is not shown until the
// next channel change places it again, so it never reaches into the name or the indicators.
void SetProgressRoom(int width);
// The bar goes: a channel change, whose present event is not known yet.
void HideProgress();
// The programme lines reached the display: the bar for the present event they show, shown when
// programme times are on, the channel change gave it room and the event's start and duration
// are known; hidden otherwise.
void ShowProgress(const EventTimes& present);
// A display tick: value and text again once the clock's second has moved on, set only where
// they changed.
void TickProgress();
// The P key shows the strip again: value and text for the clock as it is now.
void RefreshProgress();
void ResetProgressState();
