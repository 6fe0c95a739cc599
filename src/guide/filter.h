// The EIT section filter the host runs for the reader: its start and stop commands.
//
// The start record carries OnDataArrival as the callback; the host then delivers what the
// filter on PID 0x0012 receives until the stop command. eitstate says whether one runs.
#pragma once

#include "shared/commands.h"

// Fills FilterRequest afresh (identifier, filter 1, PID 18, name, callback, running id -1).
void FillFilterRequest();
// If eitstate is 0 and the host window is known: send CMD_START_FILTER, copy the running id
// into runid and set eitstate 1 when the host wrote one (still -1: not started).
void SendStartFilter();
// If eitstate is above 0: send CMD_STOP_FILTER with runid, set eitstate 0.
void StopFilter();
