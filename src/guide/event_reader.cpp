// The event reader: one EIT event of a CRC-checked section into an EventRecord (see
// event_reader.h). Descriptor layouts, EN 300 468:
//
//   short_event_descriptor 0x4D (6.2.37): ISO_639_language_code(3) event_name_length(1)
//     event_name_char(N) text_length(1) text_char(T)
//   extended_event_descriptor 0x4E (6.2.15): descriptor_number(4 bits)
//     last_descriptor_number(4 bits) ISO_639_language_code(3) length_of_items(1)
//     { item_description_length(1) item_description_char item_length(1) item_char }
//     text_length(1) text_char
//   content_descriptor 0x54 (6.2.9): { content_nibble_level_1(4) content_nibble_level_2(4)
//     user_byte(8) }
//   parental_rating_descriptor 0x55 (6.2.28): { country_code(3) rating(1) }
//
// A series of extended event descriptors carries one text cut into parts that are read in
// descriptor_number order, each part decoded on its own (each opens with its own selector). A
// part missing from the sequence is skipped; a part whose number passes its
// last_descriptor_number, or a second part of the same number, is not taken.
#include "guide/event_reader.h"

#include <cstring>

#include "guide/dvb_text.h"
#include "shared/languages.h"

namespace {

constexpr uint8_t kShortEvent = 0x4D;
constexpr uint8_t kExtendedEvent = 0x4E;
constexpr uint8_t kContent = 0x54;
constexpr uint8_t kParentalRating = 0x55;
constexpr size_t kEventFixed = 12;    // event_id .. descriptors_loop_length
constexpr size_t kShortEventMin = 5;  // language, name length, text length
constexpr size_t kExtendedMin = 6;    // numbers, language, length_of_items, text_length
constexpr char kLineBreak = '\n';

bool SameLanguage(const uint8_t* a, const uint8_t* b) {
  char ca[4];
  char cb[4];
  const bool la = CanonicalLanguage(reinterpret_cast<const char*>(a), ca);
  const bool lb = CanonicalLanguage(reinterpret_cast<const char*>(b), cb);
  if (la && lb) return std::memcmp(ca, cb, 3) == 0;
  return !la && !lb && std::memcmp(a, b, 3) == 0;  // both not codes: the same bytes
}

// The descriptor with `tag` and at least `min_length` bytes of body whose language is the most
// preferred, else the first such; 0 when the loop has none. `several` tells whether their
// languages differ.
size_t Choose(const uint8_t* s, const EventHeader& e, uint8_t tag, size_t min_length,
              uint64_t prefs, bool* several) {
  size_t first = 0;
  size_t best = 0;
  int best_rank = kNotPreferred;
  bool differ = false;
  for (size_t d = e.loop; d + 2 <= e.loop_end;) {
    const size_t length = s[d + 1];
    if (d + 2 + length > e.loop_end) break;  // a descriptor past its loop ends the loop
    if (s[d] == tag && length >= min_length) {
      const uint8_t* code = s + d + (tag == kExtendedEvent ? 3 : 2);
      if (first == 0) {
        first = d;
      } else if (!SameLanguage(s + first + (tag == kExtendedEvent ? 3 : 2), code)) {
        differ = true;
      }
      const int rank = LanguageRank(prefs, code);
      if (rank < best_rank) {
        best_rank = rank;
        best = d;
      }
    }
    d += 2 + length;
  }
  if (several != nullptr) *several = differ;
  return best != 0 ? best : first;
}

// Decodes a field into `out` (`size` bytes), keeping its line breaks.
void Decode(const uint8_t* field, size_t length, char* out, size_t size) {
  DecodeDvbText(field, length, out, size, kLineBreak);
}

// Appends the decoded `field` to the pool as a NUL-terminated string; its offset, or -1 when the
// pool is full (the string is then not kept).
int PoolAdd(EventRecord* r, size_t* used, const uint8_t* field, size_t length) {
  if (*used + 1 >= kItemPoolMax) return -1;
  char* at = r->item_pool + *used;
  const DvbTextResult d = DecodeDvbText(field, length, at, kItemPoolMax - *used, kLineBreak);
  if (d.cut) {
    at[0] = '\0';
    return -1;
  }
  const int offset = static_cast<int>(*used);
  *used += d.length + 1;
  return offset;
}

// The items of the extended event descriptor at `d` (its item list from `from` to `to`, checked
// against the descriptor by the caller). An item whose lengths pass the list ends it.
void ReadItems(const uint8_t* s, size_t from, size_t to, EventRecord* r, size_t* pool) {
  size_t i = from;
  while (i < to && r->item_count < kMaxEventItems) {
    const size_t description_length = s[i];
    const size_t description = i + 1;
    if (description + description_length >= to) return;  // the item_length byte must follow
    const size_t item_length = s[description + description_length];
    const size_t item = description + description_length + 1;
    if (item + item_length > to) return;
    const size_t saved = *pool;
    const int a = PoolAdd(r, pool, s + description, description_length);
    const int b = a < 0 ? -1 : PoolAdd(r, pool, s + item, item_length);
    if (a < 0 || b < 0) {
      *pool = saved;
      return;
    }
    r->item_description[r->item_count] = static_cast<uint16_t>(a);
    r->item_text[r->item_count] = static_cast<uint16_t>(b);
    ++r->item_count;
    i = item + item_length;
  }
}

// Appends a decoded part to the extended text, cut at a character boundary where it does not
// fit.
void AppendExtended(EventRecord* r, size_t* length, const uint8_t* field, size_t size) {
  if (*length + 1 >= kExtendedTextMax) return;
  const DvbTextResult d =
      DecodeDvbText(field, size, r->extended + *length, kExtendedTextMax - *length, kLineBreak);
  *length += d.length;
}

void ReadExtended(const uint8_t* s, const EventHeader& e, const uint8_t* language, EventRecord* r) {
  size_t parts[kMaxExtendedParts] = {};
  for (size_t d = e.loop; d + 2 <= e.loop_end;) {
    const size_t length = s[d + 1];
    if (d + 2 + length > e.loop_end) break;
    if (s[d] == kExtendedEvent && length >= kExtendedMin &&
        (language == nullptr || SameLanguage(s + d + 3, language))) {
      const unsigned number = s[d + 2] >> 4;
      const unsigned last = s[d + 2] & 0x0F;
      if (number <= last && parts[number] == 0) parts[number] = d;
    }
    d += 2 + length;
  }
  size_t text_length = 0;
  size_t pool = 0;
  for (size_t d : parts) {
    if (d == 0) continue;  // missing from the sequence
    const size_t end = d + 2 + s[d + 1];
    const size_t items = d + 7;
    const size_t items_end = items + s[d + 6];
    if (items_end + 1 > end) continue;  // the item list passes the descriptor: nothing of it
    ReadItems(s, items, items_end, r, &pool);
    const size_t text = items_end + 1;
    const size_t count = s[items_end];
    if (text + count > end) continue;  // the text passes the descriptor
    AppendExtended(r, &text_length, s + text, count);
  }
}

void ReadContent(const uint8_t* s, size_t d, EventRecord* r) {
  const size_t end = d + 2 + s[d + 1];
  for (size_t i = d + 2; i + 2 <= end && r->content_count < kMaxContentPairs; i += 2) {
    r->content[r->content_count++] =
        ContentPair{static_cast<uint8_t>(s[i] >> 4), static_cast<uint8_t>(s[i] & 0x0F)};
  }
}

void ReadRatings(const uint8_t* s, size_t d, EventRecord* r) {
  const size_t end = d + 2 + s[d + 1];
  for (size_t i = d + 2; i + 4 <= end && r->rating_count < kMaxRatings; i += 4) {
    ParentalRating& p = r->ratings[r->rating_count++];
    for (int k = 0; k < 3; ++k) {
      const uint8_t c = s[i + k];
      p.country[k] = c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    }
    p.country[3] = '\0';
    p.rating = s[i + 3];
  }
}

}  // namespace

bool ReadEventHeader(const uint8_t* section, size_t events_end, size_t at, EventHeader* out) {
  const uint8_t* s = section;
  if (s == nullptr || at > events_end || events_end - at < kEventFixed) return false;
  const uint8_t* e = s + at;
  const size_t loop = at + kEventFixed;
  const size_t length = static_cast<size_t>((e[10] & 0x0F) << 8 | e[11]);
  if (length > events_end - loop) return false;
  out->event_id = static_cast<uint16_t>(e[0] << 8 | e[1]);
  out->times = EventTimes{static_cast<uint16_t>(e[2] << 8 | e[3]), e[4], e[5], e[6],
                          DurationSeconds(e[7], e[8], e[9])};
  out->running_status = static_cast<uint8_t>(e[10] >> 5);
  out->loop = loop;
  out->loop_end = loop + length;
  out->next = out->loop_end;
  return true;
}

size_t ChooseShortEvent(const uint8_t* section, const EventHeader& event, uint64_t prefs,
                        bool* multilingual) {
  return Choose(section, event, kShortEvent, kShortEventMin, prefs, multilingual);
}

size_t ReadShortEvent(const uint8_t* section, const EventHeader& event, uint64_t prefs, char* name,
                      char* text, size_t size, bool* multilingual) {
  const uint8_t* s = section;
  const EventHeader& e = event;
  if (size > 0) name[0] = text[0] = '\0';
  const size_t d = ChooseShortEvent(s, e, prefs, multilingual);
  if (d == 0) return 0;
  const size_t end = d + 2 + s[d + 1];
  const size_t name_length = s[d + 5];
  // The name must leave room for text_length; the text must end inside the descriptor.
  if (d + 6 + name_length < end) {
    Decode(s + d + 6, name_length, name, size);
    const size_t at = d + 7 + name_length;
    const size_t text_length = s[d + 6 + name_length];
    if (at + text_length <= end) Decode(s + at, text_length, text, size);
  }
  return d;
}

void ClearEventRecord(EventRecord* record) {
  EventRecord* r = record;
  r->event_id = 0;
  r->times = EventTimes{kUndefinedDate, 0, 0, 0, kUnknownDuration};
  r->running_status = 0;
  r->language[0] = r->name[0] = r->text[0] = r->extended[0] = '\0';
  r->item_count = r->content_count = r->rating_count = 0;
  r->item_pool[0] = '\0';
  r->short_descriptor = 0;
  r->multilingual = false;
}

bool ReadEvent(const uint8_t* section, size_t events_end, size_t at, uint64_t prefs,
               EventRecord* out) {
  const uint8_t* s = section;
  EventRecord* r = out;
  ClearEventRecord(r);
  EventHeader e;
  if (!ReadEventHeader(s, events_end, at, &e)) return false;
  r->event_id = e.event_id;
  r->times = e.times;
  r->running_status = e.running_status;

  bool multilingual = false;
  const size_t d = ReadShortEvent(s, e, prefs, r->name, r->text, kEventTextMax, &multilingual);
  const uint8_t* language = nullptr;
  if (d != 0) {
    language = s + d + 2;
    r->short_descriptor = d;
    r->multilingual = multilingual;
  } else {
    const size_t x = Choose(s, e, kExtendedEvent, kExtendedMin, prefs, nullptr);
    if (x != 0) language = s + x + 3;
  }
  if (language != nullptr) {
    for (int k = 0; k < 3; ++k) {
      const uint8_t c = language[k];
      r->language[k] = c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    }
    r->language[3] = '\0';
    ReadExtended(s, e, language, r);
  }
  for (size_t x = e.loop; x + 2 <= e.loop_end;) {
    const size_t length = s[x + 1];
    if (x + 2 + length > e.loop_end) break;
    if (s[x] == kContent) ReadContent(s, x, r);
    if (s[x] == kParentalRating) ReadRatings(s, x, r);
    x += 2 + length;
  }
  return true;
}
