// The one periodic timer that drives the display.
//
// Linux: straight onto the simulated multimedia timer (tests fire ticks by hand). Windows: the
// multimedia timer's callback runs on a winmm thread, so it only posts a message to a hidden
// message-only window made here on the loading (host UI) thread, and `proc` runs there: every
// panel operation stays on the host's UI thread, and StopDisplayTimer (kill the timer, then
// destroy the window) guarantees that no tick runs afterwards.
#pragma once

#include "platform/os.h"

// Returns the timer id, 0 when the timer cannot be started (a period of 0 is refused).
UINT StartDisplayTimer(UINT period_ms, UINT resolution_ms, LPTIMECALLBACK proc);
void StopDisplayTimer(UINT id);
// At process exit (the other threads are gone, the loader lock is held): no tick runs any more,
// and nothing waits for the timer's thread or destroys a window.
void AbandonDisplayTimer();
