// The reception indicators at the right-hand end of the display panel.
#pragma once

#include <cstdint>

#include "shared/channel.h"

extern int32_t CaState;        // 0 free to air, 1 unknown system, 2 known system
extern int32_t SignalLevel;    // percent
extern int32_t SignalQuality;  // percent, as the host reports it
extern char FreqText[256];

void OtherData(TProgram82 chan);
void LevQuaCry();
void ResetIndicatorState();
