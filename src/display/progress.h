// The progress bar of the programme on air (display control 16): how much of it has run, and
// "+25 min" to its end, while the strip is up.
#pragma once

#include "guide/event_times.h"

// The channel change found room for the bar on the name's row (or none: a strip too narrow).
void SetProgressRoom(bool room);
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
