// The EIT filter and section reader: present/following programme lines from the broadcast.
//
// Threads: OnDataArrival runs on a thread of the host's choosing; the display timer and the
// channel-change display run on the host's UI thread. eitstate is atomic; the texts and the
// service id are handed over under GuideLock, which is never held across a host message, a
// panel call or file I/O.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "guide/event_reader.h"
#include "guide/event_times.h"
#include "platform/os.h"
#include "shared/state.h"  // GuideLock

constexpr size_t kGuideTextMax = 1024;

extern std::atomic<int32_t> eitstate;  // 0, 1, +2 present, +4 following, 7 ready, 8 shown
extern char nowtxt[kGuideTextMax];
extern char nxttxt[kGuideTextMax];
extern char nowname[kGuideTextMax];
extern char nowdesc[kGuideTextMax];
extern char nxtname[kGuideTextMax];
extern char nxtdesc[kGuideTextMax];
extern char evtime[256];

void GetEIT();
extern "C" void PELTA_CDECL OnDataArrival(int filter, int length, const unsigned char* data);
// An event's start time into evtime as HH:MM. With LocalTime, the broadcast's UTC date (MJD)
// and time in the computer's local time; otherwise, and when the date is undefined (0xFFFF) or
// the digits are not BCD, the hour plus HourOffset modulo 24 (0 with LocalTime).
void BcdT(signed char hour, signed char minute, uint16_t mjd = 0xFFFF);

// Channel change: while a filter runs (eitstate above 0), eitstate = 1 and both lines emptied,
// under the lock; whatever the reader is capturing for the previous channel is dropped.
void ResetLinesForChannel();
// Display timer: when eitstate is exactly 7, copies both lines out (and, with `present`, the
// start and duration of the present event they show), sets 8 and returns true. The copy and
// the state change happen under the lock, so a channel change cannot slip between.
bool TakeReadyLines(char* now, char* next, size_t size, EventTimes* present = nullptr);
// Guide window: the present event's description.
void CopyNowDesc(char* out, size_t size);

// What the guide window shows, as one consistent copy: the present event's description
// (nowdesc) and the records of the present and following events of the current channel, read
// from whole CRC-checked sections (have: read for this channel since its last change).
struct GuideContent {
  uint32_t serial;  // GuideSerial when copied
  char desc[kGuideTextMax];
  bool have[2];  // present, following
  EventRecord events[2];
};
void CopyGuideContent(GuideContent* out);
// Moves on whenever something the guide window shows changes: a record, nowdesc, the channel.
extern std::atomic<uint32_t> GuideSerial;
// Every value of this module back to its load-time value (texts, eitstate, working fields).
void ResetGuideState();
