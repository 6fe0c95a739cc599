// The EIT section filter the host runs for the reader: its start and stop commands.
//
// The start record carries OnDataArrival as the callback; the host then delivers what the
// filter on PID 0x0012 receives until the stop command. eitstate says whether one runs.
#pragma once

#include <atomic>
#include <cstdint>

#include "shared/commands.h"

// What the plug-in knows of the host's filter. Hosts differ: some write a running id into the
// start record, others never do and simply start delivering (docs/hosts.md). A start counts
// as taken when the host wrote an id other than -1, or when data for filter number 1 arrives
// after it was sent; until then it is only asked for.
enum : int32_t { kFilterClosed = 0, kFilterAsked = 1, kFilterOpen = 2 };
extern std::atomic<int32_t> FilterPhase;

// Fills FilterRequest afresh (identifier, filter 1, PID 18, name, callback, running id -1).
void FillFilterRequest();
// Unless a filter is open (or eitstate says one runs): send CMD_START_FILTER, copy the running
// id into runid. eitstate becomes 1 before the command goes out, so the reader takes what the
// host delivers while it handles it; an id other than -1 makes the filter open.
void SendStartFilter();
// OnDataArrival, for filter number 1: data after the start proves the filter open.
void ConfirmFilterByData();
// True while a start was sent that neither an id nor data confirmed: the next displayed
// channel change asks again.
bool FilterAwaitsProof();
// eitstate 0 (the reader takes nothing from now on), then CMD_STOP_FILTER with runid for an
// open filter, once: the id the host wrote, or -1 for a host that writes none (such hosts
// ignore it). A filter only asked for is not stopped.
void StopFilter();
void ResetFilterState();
