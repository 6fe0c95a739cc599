// libFuzzer target for the EIT schedule table: schedule sections of the current service built
// from the input, each with a valid CRC_32 so that the fuzzer reaches the event loop and the
// table's rules, delivered as a host delivers the filter's data.
//
// Input: records until the input ends: T (table_id: 0x50 + T % 16, or T itself when T & 0x80,
// so every table id comes), N (section_number), V (bits 0..4 version_number, bits 5..6 the
// mode: 0 as built, 1 cut short by V's low bits times 7 bytes, 2 section_length replaced by
// the next body byte's value times 16, 3 sent as 256 sections of one sub-table numbered 0..255),
// L (the event loop's length, up to 255 * 16 bytes), then the event loop's L bytes (fewer when
// the input ends). After each delivery the table must hold at most its size, in start order,
// with terminated names; the guide's list of it must be a terminated string.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "guide/eit.h"
#include "guide/eit_sections.h"
#include "guide/guide_window.h"
#include "guide/schedule.h"
#include "settings/settings.h"
#include "shared/channel.h"

namespace {

constexpr uint16_t kService = 0x1234;

void Check(bool ok) {
  if (!ok) std::abort();
}

std::vector<uint8_t> Section(uint8_t table, uint8_t number, uint8_t version, const uint8_t* loop,
                             size_t size) {
  std::vector<uint8_t> s = {table, 0, 0, kService >> 8, kService & 0xFF,
                            static_cast<uint8_t>(0xC1 | (version & 0x1F) << 1), number, number,
                            0, 1, 0, 1, number, table};
  s.insert(s.end(), loop, loop + size);
  const size_t length = s.size() + 4 - 3;
  s[1] = static_cast<uint8_t>(0xF0 | (length >> 8 & 0x0F));
  s[2] = static_cast<uint8_t>(length & 0xFF);
  const uint32_t crc = Crc32(s.data(), s.size());
  for (int shift = 24; shift >= 0; shift -= 8) s.push_back(static_cast<uint8_t>(crc >> shift));
  return s;
}

// The section as transport packet payloads: a pointer_field 0 first, 0xFF to the packet's end.
void Deliver(const std::vector<uint8_t>& section, size_t cut) {
  std::vector<uint8_t> payloads(1, 0);
  payloads.insert(payloads.end(), section.begin(), section.end() - static_cast<long>(cut));
  payloads.resize((payloads.size() + 183) / 184 * 184, 0xFF);
  for (size_t at = 0; at < payloads.size(); at += 1840) {
    const size_t n = payloads.size() - at < 1840 ? payloads.size() - at : 1840;
    std::vector<uint8_t> block(payloads.begin() + static_cast<long>(at),
                               payloads.begin() + static_cast<long>(at + n));
    OnDataArrival(1, static_cast<int>(block.size()), block.data());
  }
}

void CheckTable() {
  static ScheduleEntry entries[kScheduleEvents + 1];
  const int n = CopySchedule(entries, kScheduleEvents + 1);
  Check(n >= 0 && n <= kScheduleEvents);
  int64_t last = INT64_MIN;
  for (int i = 0; i < n; ++i) {
    Check(std::memchr(entries[i].name, 0, sizeof entries[i].name) != nullptr);
    int64_t start = INT64_MAX;
    if (!StartUtc(entries[i].times, &start)) start = INT64_MAX;
    Check(start >= last);
    last = start;
  }
  static char list[8192];
  GuideScheduleText(entries, n, nullptr, nullptr, 0, list, sizeof list);
  Check(std::memchr(list, 0, sizeof list) != nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ResetGuideState();
  DebugMode = 0;
  TProgram82 channel;
  std::memset(channel.bytes, 0, sizeof channel.bytes);
  channel.bytes[122] = kService & 0xFF;
  channel.bytes[123] = kService >> 8;
  StoreCurrentChannel(channel);
  eitstate = 1;
  size_t at = 0;
  while (at + 4 <= size) {
    const uint8_t t = data[at], number = data[at + 1], v = data[at + 2];
    const uint8_t table = (t & 0x80) != 0 ? t : static_cast<uint8_t>(0x50 + t % 16);
    size_t length = size_t{data[at + 3]} * 16;
    at += 4;
    if (length > size - at) length = size - at;
    std::vector<uint8_t> section = Section(table, number, v, data + at, length);
    at += length;
    const int mode = v >> 5 & 3;
    if (mode == 1) {
      Deliver(section, (size_t{v} & 0x1F) * 7 < section.size() ? (size_t{v} & 0x1F) * 7 : 0);
    } else if (mode == 2) {
      const size_t declared = length > 0 ? size_t{data[at - length]} * 16 : 0;
      section[1] = static_cast<uint8_t>(0xF0 | (declared >> 8 & 0x0F));
      section[2] = static_cast<uint8_t>(declared & 0xFF);
      Deliver(section, 0);
    } else if (mode == 3) {
      for (int n = 0; n < 256; ++n) {
        Deliver(Section(table, static_cast<uint8_t>(n), v, data + at - length, length), 0);
      }
    } else {
      Deliver(section, 0);
    }
    CheckTable();
  }
  return 0;
}
