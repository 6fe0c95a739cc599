// The EIT schedule of the current channel: "what is on later tonight" for the guide window.
//
// EN 300 468, 5.2.4: besides present/following (table 0x4E) a network sends the schedule of
// each service of the actual transport stream as tables 0x50 to 0x5F on the same PID. Each
// table_id with its service_id is one sub-table with one version_number; its sections (up to
// 4,096 bytes each) carry the events of three-hour segments, the first table beginning at
// midnight of the first day. The section pass (eit_sections.cpp) hands over the whole,
// CRC-checked schedule sections of the current service; the events are read with the event
// reader (guide/event_reader.h) into a fixed table, under GuideLock:
//
// - a section of a version not yet taken replaces what that section held before;
// - an event that ends before the present event of the p/f started (when there is one) is not
//   kept, and is dropped once the present event moves on past it: a schedule begins at
//   midnight, and the morning's events are of no use in the evening;
// - when the table is full, the events furthest in the future give way (an event without a
//   start date counts as furthest); a section that lost an event that way is read again at its
//   next repetition, so that the event returns once there is room;
// - a channel change empties the table.
//
// Nothing here allocates; the reader's side runs on the data thread under ReaderLock.
#pragma once

#include <cstddef>
#include <cstdint>

#include "guide/event_reader.h"
#include "guide/event_times.h"

constexpr int kScheduleEvents = 32;
constexpr uint8_t kTableScheduleFirst = 0x50;  // EIT schedule, actual transport stream
constexpr uint8_t kTableScheduleLast = 0x5F;

// One event of the table: what the guide window lists and `pelta-tool eit --schedule` prints,
// and the short text in the viewer's language.
struct ScheduleEvent {
  uint16_t event_id;
  EventTimes times;
  uint8_t table;    // table_id & 0x0F of the section it came from
  uint8_t section;  // that section's section_number
  char name[kEventTextMax];
  char text[kEventTextMax];
};

// What the window and pelta-tool copy out: the table in start order.
struct ScheduleEntry {
  uint16_t event_id;
  EventTimes times;
  char name[kEventTextMax];
};

// The section pass, under ReaderLock. Whether a schedule section of the current service with
// this table_id, section_number and version_number is to be read: not yet taken in this
// version for the current channel, or read again because it lost an event to a full table.
bool ScheduleSectionWanted(uint8_t table_id, uint8_t section_number, uint8_t version);
// Takes the events of the whole, CRC-checked schedule section `sec` (`size` bytes) of the
// current service into the table.
void TakeScheduleSection(const uint8_t* sec, size_t size);

// Under GuideLock (eit.cpp): the present event's start as the p/f now gives it (`known` false:
// no present event); drops the events that ended before it.
void SetSchedulePresentLocked(bool known, int64_t start_utc);
// Under GuideLock: empties the table (a channel change).
void ClearScheduleLocked();

// The table in start order into `out` (room for `max`), under GuideLock; returns the count.
int CopySchedule(ScheduleEntry* out, int max);
// Load-time state, with ReaderLock and GuideLock held (eit.cpp's ResetGuideState).
void ResetScheduleState();
