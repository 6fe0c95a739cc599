// The schedule table of the current channel (see schedule.h).
//
// The table is kept unsorted, at most kScheduleEvents entries of about 1.5 KiB, and put in
// start order only when copied out: an insert or a removal moves one entry. The reader's
// record of which section versions it has taken is its own (ReaderLock); the table is shared
// with the window's thread under GuideLock, and every change to it is made for the channel
// generation the section pass reads for, never for the next one.
#include "guide/schedule.h"

#include <cstdint>
#include <cstring>
#include <mutex>

#include "guide/eit.h"
#include "guide/eit_sections.h"
#include "shared/state.h"

namespace {

constexpr size_t kFirstEvent = 14;  // behind the section header
constexpr size_t kCrcSize = 4;
constexpr size_t kVersion = 5;
constexpr size_t kSectionNumber = 6;
constexpr uint8_t kUnseen = 0xFF;  // not a version_number (five bits)

// Under ReaderLock: the version taken of each section (table_id & 0x0F, section_number) for the
// channel generation seengen; kUnseen where none was, or where the section is to be read again.
uint8_t seenver[16][256];
uint32_t seengen = 0;
ScheduleEvent staging;  // the event being read

// Under GuideLock.
ScheduleEvent table[kScheduleEvents];
int count = 0;
bool presentknown = false;
int64_t presentstart = 0;

void FollowGeneration() {
  const uint32_t generation = SectionGeneration();
  if (generation == seengen) return;
  std::memset(seenver, kUnseen, sizeof seenver);
  seengen = generation;
}

// Start order: by start, an undefined start last, then by event_id.
int64_t StartKey(const EventTimes& times) {
  int64_t start = 0;
  return StartUtc(times, &start) ? start : INT64_MAX;
}
bool Earlier(const ScheduleEvent& a, const ScheduleEvent& b) {
  const int64_t ka = StartKey(a.times), kb = StartKey(b.times);
  return ka != kb ? ka < kb : a.event_id < b.event_id;
}

// Whether the event has ended by the time the present event started.
bool EndedBeforePresent(const EventTimes& times) {
  int64_t start = 0;
  if (!presentknown || times.duration == kUnknownDuration || !StartUtc(times, &start)) {
    return false;
  }
  return start + times.duration <= presentstart;
}

void RemoveAt(int i) {
  --count;
  if (i != count) std::memcpy(&table[i], &table[count], sizeof table[i]);
}

// Puts the event into the table; false when it gave way to earlier events of a full table.
// An event it displaces marks its section to be read again.
bool Insert(const ScheduleEvent& e) {
  if (EndedBeforePresent(e.times)) return true;  // not kept, and not wanted back either
  for (int i = 0; i < count; ++i) {
    if (table[i].event_id == e.event_id) {
      std::memcpy(&table[i], &e, sizeof e);
      return true;
    }
  }
  if (count < kScheduleEvents) {
    std::memcpy(&table[count++], &e, sizeof e);
    return true;
  }
  int latest = 0;
  for (int i = 1; i < count; ++i) {
    if (Earlier(table[latest], table[i])) latest = i;
  }
  if (!Earlier(e, table[latest])) return false;
  seenver[table[latest].table][table[latest].section] = kUnseen;
  std::memcpy(&table[latest], &e, sizeof e);
  return true;
}

}  // namespace

bool ScheduleSectionWanted(uint8_t table_id, uint8_t section_number, uint8_t version) {
  FollowGeneration();
  return seenver[table_id & 0x0F][section_number] != version;
}

void TakeScheduleSection(const uint8_t* sec, size_t size) {
  if (sec == nullptr || size < kFirstEvent + kCrcSize) return;
  FollowGeneration();
  const uint8_t tid = sec[0] & 0x0F;
  const uint8_t number = sec[kSectionNumber];
  const uint8_t version = (sec[kVersion] >> 1) & 0x1F;
  {
    // What this section held before gives way to what it holds now.
    std::lock_guard<std::mutex> lock(GuideLock);
    if (!ReadingCurrentGenerationLocked()) return;
    for (int i = count - 1; i >= 0; --i) {
      if (table[i].table == tid && table[i].section == number) RemoveAt(i);
    }
  }
  bool lost = false;
  EventHeader h{};
  for (size_t at = kFirstEvent; ReadEventHeader(sec, size - kCrcSize, at, &h); at = h.next) {
    staging.event_id = h.event_id;
    staging.times = h.times;
    staging.table = tid;
    staging.section = number;
    ReadShortEvent(sec, h, BlockLanguages(), staging.name, staging.text, sizeof staging.name);
    std::lock_guard<std::mutex> lock(GuideLock);
    if (!ReadingCurrentGenerationLocked()) return;
    if (!Insert(staging)) lost = true;
  }
  {
    std::lock_guard<std::mutex> lock(GuideLock);
    if (!ReadingCurrentGenerationLocked()) return;
    GuideSerial.fetch_add(1);
  }
  seenver[tid][number] = lost ? kUnseen : version;
}

void SetSchedulePresentLocked(bool known, int64_t start_utc) {
  presentknown = known;
  presentstart = start_utc;
  for (int i = count - 1; i >= 0; --i) {
    if (EndedBeforePresent(table[i].times)) RemoveAt(i);
  }
}

void ClearScheduleLocked() {
  count = 0;
  presentknown = false;
  presentstart = 0;
}

int CopySchedule(ScheduleEntry* out, int max) {
  std::lock_guard<std::mutex> lock(GuideLock);
  // Insertion sort of the indices: 32 entries at most.
  int order[kScheduleEvents];
  for (int i = 0; i < count; ++i) {
    int k = i;
    for (; k > 0 && Earlier(table[i], table[order[k - 1]]); --k) order[k] = order[k - 1];
    order[k] = i;
  }
  const int n = count < max ? count : max;
  for (int i = 0; i < n; ++i) {
    const ScheduleEvent& e = table[order[i]];
    out[i].event_id = e.event_id;
    out[i].times = e.times;
    std::memcpy(out[i].name, e.name, sizeof out[i].name);
  }
  return n;
}

void ResetScheduleState() {
  std::memset(seenver, kUnseen, sizeof seenver);
  seengen = 0;
  std::memset(&staging, 0, sizeof staging);
  std::memset(table, 0, sizeof table);
  ClearScheduleLocked();
}
