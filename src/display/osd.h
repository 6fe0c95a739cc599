// The channel-change display: the host's On_Channel_Change.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/os.h"
#include "shared/channel.h"

extern "C" void PELTA_CDECL On_Channel_Change(TProgram82 chan);

extern std::atomic<int32_t> ScreenWidth;
extern std::atomic<int32_t> ScreenHeight;

struct TDisplayArea {
  int32_t left, bottom, width, height;
};
extern TDisplayArea DisplayArea;  // persists between channel changes; zero at load
extern char LogoPath[256];
// Set by On_Exit until a later On_Start: channel changes show and start nothing.
extern std::atomic<int32_t> DisplayExited;

void ResetOsdState();
