// libFuzzer target for the event reader, ReadEvent (guide/event_reader.h).
//
// The input is one event of an EIT section as broadcast, from its event_id on (the 12 fixed
// bytes, then the descriptor loop), its first byte also choosing the language preference. The
// event is put behind a section header and read
//  1. whole, from a heap block of exactly the section's size, so that AddressSanitizer sees any
//     read past it;
//  2. cut at every byte (the events ending there), as a section of another length would carry it:
//     every descriptor truncated at every byte.
// Every record must hold NUL-terminated texts inside their buffers, counts within their arrays
// and item offsets inside the pool; the language choice must be one of the loop's.
// The seeds (corpus/event_reader/) carry extended parts with items, 17 parts, part numbers past
// last_descriptor_number, item lengths past their descriptor and several languages.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "guide/event_reader.h"
#include "shared/languages.h"

namespace {

constexpr size_t kHeader = 14;  // table_id .. last_table_id
constexpr size_t kMaxEvent = 4096 - kHeader - 4;

void Check(bool ok) {
  if (!ok) std::abort();
}

bool Terminated(const char* text, size_t size) {
  return std::memchr(text, '\0', size) != nullptr;
}

void CheckRecord(const EventRecord& r) {
  Check(Terminated(r.language, sizeof r.language));
  Check(Terminated(r.name, sizeof r.name));
  Check(Terminated(r.text, sizeof r.text));
  Check(Terminated(r.extended, sizeof r.extended));
  Check(r.item_count >= 0 && r.item_count <= kMaxEventItems);
  for (int i = 0; i < r.item_count; ++i) {
    Check(r.item_description[i] < kItemPoolMax && r.item_text[i] < kItemPoolMax);
    Check(Terminated(ItemDescription(r, i), kItemPoolMax - r.item_description[i]));
    Check(Terminated(ItemText(r, i), kItemPoolMax - r.item_text[i]));
  }
  Check(r.content_count >= 0 && r.content_count <= kMaxContentPairs);
  for (int i = 0; i < r.content_count; ++i)
    Check(r.content[i].level1 < 16 && r.content[i].level2 < 16);
  Check(r.rating_count >= 0 && r.rating_count <= kMaxRatings);
  for (int i = 0; i < r.rating_count; ++i) Check(Terminated(r.ratings[i].country, 4));
}

EventRecord record;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const char* const kPrefs[] = {"", "deu", "eng,fre", "ces,slo,ita", "chi"};
  const uint64_t prefs = PackLanguages(
      ParseLanguageList(kPrefs[data[0] % (sizeof kPrefs / sizeof kPrefs[0])], nullptr));
  const size_t event = size < kMaxEvent ? size : kMaxEvent;
  // Whole, and then cut at every byte (for long inputs at every 7th, to keep the pace).
  const size_t step = event > 600 ? 7 : 1;
  for (size_t cut = event + 1; cut-- > 0;) {
    if (cut != event && cut % step != 0) continue;
    const size_t total = kHeader + cut + 4;
    std::unique_ptr<uint8_t[]> section(new uint8_t[total]);
    std::memset(section.get(), 0, kHeader);
    section[0] = 0x4E;
    std::memcpy(section.get() + kHeader, data, cut);
    std::memset(section.get() + kHeader + cut, 0, 4);  // where the CRC_32 lies
    const bool read = ReadEvent(section.get(), kHeader + cut, kHeader, prefs, &record);
    CheckRecord(record);
    if (!read) Check(record.name[0] == '\0' && record.item_count == 0);
    if (record.short_descriptor != 0) {
      Check(record.short_descriptor >= kHeader + 12 && record.short_descriptor < kHeader + cut);
    }
  }
  return 0;
}
