// The display timer on the simulated desktop: the manual multimedia timer itself.
#include "platform/timer.h"

UINT StartDisplayTimer(UINT period_ms, UINT resolution_ms, LPTIMECALLBACK proc) {
  return timeSetEvent(period_ms, resolution_ms, proc, 0, TIME_PERIODIC);
}

void StopDisplayTimer(UINT id) {
  if (id != 0) timeKillEvent(id);
}

// The simulated timer has no thread to wait for: it is left as it is, as the process ends.
void AbandonDisplayTimer() {}
