// The display timer: display cycles, the P and O keys, the start key, programme lines.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/os.h"

extern std::atomic<int32_t> TickCount;
extern std::atomic<int32_t> DisplayActive;
extern std::atomic<int32_t> StartKeySent;
extern std::atomic<int32_t> GuideByKey;

// The multimedia timer's callback; ignores its arguments.
void CALLBACK TimerProc(UINT id, UINT msg, DWORD_PTR user, DWORD_PTR reserved1,
                        DWORD_PTR reserved2);
void ResetTimerState();
// The O key: opens the guide without an event loop and runs a display cycle of 45 ticks that
// hides it with the display (GuideByKey).
void OpenGuideByKey();
// Hours and minutes of the local time ("%02d:%02d") into display control 4.
void WriteTimeOfDay();
// The keyboard focus back to the host's window (HostTopWnd), as the strip appears and hides,
// unless the user is working in a dialog of the plug-in (Settings, About, the guide) or a box
// it opened: what is typed there must not go to the host.
void HandFocusToHost();
