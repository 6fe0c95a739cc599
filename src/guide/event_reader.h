// One event of an EIT section (EN 300 468, 5.2.4) into a fixed-size record: what the guide
// window shows of a programme and what `pelta-tool eit --json` prints.
//
// The reader is given a whole, CRC-checked section and the offset of one event in its event
// loop. It reads the event's fixed fields and walks its descriptor loop once, each descriptor
// bounded by the loop and each inner length (a text, an item list, an item) by its descriptor:
// a length that runs past its enclosing one ends that descriptor's reading, never the record.
// It allocates nothing and writes only into the record.
//
// Languages. An event may carry one short event descriptor (6.2.37) and one series of extended
// event descriptors (6.2.15) per ISO 639 language. Name, short text and extended text all come
// from one language: the most preferred one present (shared/languages.h), else the first short
// event descriptor's (the first extended one's where there is no short one).
//
// Texts are UTF-8 decoded by EN 300 468 annex A, each field by its own character-table
// selector; the emphasis codes are dropped and the CR/LF code (0x8A, U+E08A) is a line break.
// They are not the display's cleaning: the strip's lines are built elsewhere, as they always
// were.
#pragma once

#include <cstddef>
#include <cstdint>

#include "guide/event_times.h"

constexpr size_t kEventTextMax = 768;      // a 255-byte field decodes to at most 765 bytes
constexpr size_t kExtendedTextMax = 4096;  // the joined parts of the extended description
constexpr int kMaxExtendedParts = 16;      // descriptor_number is four bits
constexpr int kMaxEventItems = 16;
constexpr size_t kItemPoolMax = 2048;  // every item's description and text, NUL-terminated
constexpr int kMaxContentPairs = 16;
constexpr int kMaxRatings = 8;

// content_descriptor (6.2.9): the genre as content_nibble_level_1 and _2.
struct ContentPair {
  uint8_t level1;
  uint8_t level2;
};

// parental_rating_descriptor (6.2.28): a country_code (ISO 3166 alpha-3 as broadcast, or a
// region code) and its rating: 0 undefined, 0x01..0x0F a minimum age of rating + 3, above that
// the broadcaster's own.
struct ParentalRating {
  char country[4];
  uint8_t rating;
};

struct EventRecord {
  uint16_t event_id;
  EventTimes times;        // start_time and duration
  uint8_t running_status;  // 0 undefined, 1 not running, 2 starts in a few seconds, 3 pausing,
                           // 4 running, 5 service off-air
  char language[4];        // of the texts, as broadcast ("" when there is no text descriptor)
  char name[kEventTextMax];
  char text[kEventTextMax];
  char extended[kExtendedTextMax];
  int item_count;
  uint16_t item_description[kMaxEventItems];  // offsets into item_pool
  uint16_t item_text[kMaxEventItems];
  char item_pool[kItemPoolMax];
  int content_count;
  ContentPair content[kMaxContentPairs];
  int rating_count;
  ParentalRating ratings[kMaxRatings];
  // The offset in the section of the short event descriptor the name and text come from
  // (0: none), and whether the event's short event descriptors are of more than one language.
  size_t short_descriptor;
  bool multilingual;
};

// The fixed part of an event (its 12 bytes) and where its descriptors lie.
struct EventHeader {
  uint16_t event_id;
  EventTimes times;
  uint8_t running_status;
  size_t loop;      // offset of the first descriptor
  size_t loop_end;  // one past the last byte of the descriptor loop
  size_t next;      // offset of the next event (== loop_end)
};

// The event at `at` of a section of `size` bytes whose events end at `events_end` (the section
// less its CRC_32). False when its 12 fixed bytes or its descriptor loop pass `events_end`.
bool ReadEventHeader(const uint8_t* section, size_t events_end, size_t at, EventHeader* out);

// The short event descriptor the texts come from, for the packed language preference `prefs`
// (shared/languages.h): its offset in the section, 0 when the loop has none. `multilingual`
// (may be null) tells whether the loop's short event descriptors are of several languages.
size_t ChooseShortEvent(const uint8_t* section, const EventHeader& event, uint64_t prefs,
                        bool* multilingual);

// The name and short text of the chosen short event descriptor (ChooseShortEvent) of `event`,
// decoded into `name` and `text` (`size` bytes each; kEventTextMax holds any), line breaks kept;
// both empty when there is none. Returns the descriptor's offset, 0 for none. For readers that
// keep no more of an event than that.
size_t ReadShortEvent(const uint8_t* section, const EventHeader& event, uint64_t prefs, char* name,
                      char* text, size_t size, bool* multilingual = nullptr);

// The whole record of the event at `at` (see ReadEventHeader). False, with the record emptied,
// when the event's header does not fit.
bool ReadEvent(const uint8_t* section, size_t events_end, size_t at, uint64_t prefs,
               EventRecord* out);

// Empties a record: no texts, no items, unknown start and duration.
void ClearEventRecord(EventRecord* record);

// Item `i` of the record (0 <= i < item_count).
inline const char* ItemDescription(const EventRecord& r, int i) {
  return r.item_pool + r.item_description[i];
}
inline const char* ItemText(const EventRecord& r, int i) {
  return r.item_pool + r.item_text[i];
}
