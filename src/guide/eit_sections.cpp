// The section pass of the EIT reader: the block walked as a demultiplexer does (ISO/IEC
// 13818-1, 2.4.4). A packet in which a section begins has a pointer_field giving the number of
// bytes that still end the previous section; behind that section further sections may follow
// in the same packet, and 0xFF where a table_id would be is stuffing to the packet's end. The
// host hands over payloads without their headers, so payload_unit_start_indicator is lost: the
// pass tries every packet as one that opens with a pointer_field, and the section that ends in
// a packet both with and without one, and lets the data decide. A section found that way
// counts only when it is plausible: whole inside the block, its CRC_32 must check; running past
// the block, its header must be consistent and the descriptor read must lie in the part at
// hand. Such a section is kept in a fixed buffer and completed from the next block,
// CRC-checked.
//
// Every read of the block and of a section goes through BlockView. The state below is the
// reader's: it is touched only under eit.cpp's ReaderLock.
#include "guide/eit_sections.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "guide/event_reader.h"
#include "guide/schedule.h"

namespace {

constexpr size_t kPacketPayload = 184;  // a 188-byte transport packet less its 4-byte header

// ISO/IEC 13818-1 section syntax, EN 300 468 EIT layout, as section offsets.
constexpr size_t kMaxSection = 4096;  // 3 header bytes + section_length of at most 4093
constexpr uint16_t kMaxSectionLength = 4093;
constexpr uint16_t kMinEventSection = 27;  // header, one event's 12 fixed bytes, CRC_32
constexpr uint16_t kMinSection = 15;       // header and CRC_32: a schedule section may be empty
constexpr size_t kCrcSize = 4;
constexpr size_t kVersion = 5;  // version_number (bits 5..1), current_next_indicator
constexpr size_t kSectionNumber = 6;
constexpr size_t kEventLoopLength = 24;  // descriptors_loop_length of the first event
constexpr size_t kFirstDescriptor = 26;  // first descriptor of the first event
constexpr size_t kStartDate = 16;        // start_time date, MJD
constexpr size_t kStartHour = 18;        // start_time hour, minute and second, BCD
constexpr size_t kDuration = 21;         // duration: hours, minutes, seconds, BCD
constexpr size_t kLastTableId = 13;
constexpr uint8_t kStuffing = 0xFF;

// Four tables, so that the CRC takes four bytes a step ("slicing by four"): table k holds the CRC
// of a byte followed by k zero bytes. Every whole section of the current service is checked
// (the guide window keeps its event), so this runs on the data thread for each of them.
using CrcTables = std::array<std::array<uint32_t, 256>, 4>;
constexpr CrcTables MakeCrcTables() {
  CrcTables t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t crc = i << 24;
    for (int b = 0; b < 8; ++b) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    t[0][i] = crc;
  }
  for (size_t k = 1; k < 4; ++k) {
    for (uint32_t i = 0; i < 256; ++i) t[k][i] = t[k - 1][i] << 8 ^ t[0][t[k - 1][i] >> 24];
  }
  return t;
}
constexpr CrcTables kCrc = MakeCrcTables();

uint8_t secbuf[kMaxSection];    // the section being looked at
uint8_t carrybuf[kMaxSection];  // a section cut by the end of the last block
size_t carryhave = 0;           // its bytes at hand; 0: nothing carried
uint16_t service = 0;           // the service the pass reads for

uint16_t SectionLength(uint8_t high, uint8_t low) {
  return static_cast<uint16_t>((high & 0x0F) << 8 | low);
}

bool IsSchedule(uint8_t table_id) {
  return table_id >= kTableScheduleFirst && table_id <= kTableScheduleLast;
}

// A whole schedule section (the caller checked its CRC_32) of the current service, in use now
// (current_next_indicator), to the schedule table.
void TakeSchedule(BlockView& view, const uint8_t* sec, size_t have) {
  const uint16_t tleng = SectionLength(view.Byte(1), view.Byte(2));
  if ((view.Byte(1) & 0x80) == 0 || tleng < kMinSection || have != 3 + size_t{tleng}) return;
  if ((view.Byte(kVersion) & 1) == 0) return;
  const uint16_t sid = static_cast<uint16_t>(view.Byte(3) << 8 | view.Byte(4));
  if (sid != service || view.failed()) return;
  TakeScheduleSection(sec, have);
}

constexpr size_t kNoPointer = SIZE_MAX;

// The block offset of the section byte that comes `i` bytes after block offset `start`, when
// packet `final` opens with a pointer_field (kNoPointer: no packet does).
size_t BlockOffset(size_t start, size_t i, size_t final) {
  const size_t at = start + i;
  return final != kNoPointer && at >= final * kPacketPayload ? at + 1 : at;
}

enum class Found { kNothing, kWhole, kCut };

// Completes in `buf` a section of which *have bytes are already there, from the examined bytes
// [start, limit) of the block (`packets` payloads). A section's bytes run on from packet to
// packet; only the packet in which it ends may open with a pointer_field, when another section
// begins in it, and its value is then the number of bytes that end this section. With the
// packet headers gone, each layout is tried: none, or a pointer_field at the start of one
// later packet that agrees with the section's length. kWhole: the section is whole and its
// CRC_32 checks; *have is its size. kCut: it runs past `limit` (no pointer_field in between);
// *have is the bytes at hand.
Found Assemble(BlockView& block, size_t start, size_t limit, size_t packets, uint8_t* buf,
               size_t* have) {
  const size_t known = *have;
  const size_t first_final = start / kPacketPayload;
  bool cut = false;
  for (size_t layout = 0; layout <= packets; ++layout) {
    size_t final = kNoPointer;
    block.Clear();
    if (layout > 0) {
      final = first_final + layout - 1;
      const size_t pf = final * kPacketPayload;
      if (pf < start || pf >= limit) continue;
      const uint8_t pointer = block.Byte(pf);
      if (pointer == 0 || pointer >= kPacketPayload) continue;
    }
    // section_length, from what is at hand or from the block.
    uint8_t header[3];
    bool readable = true;
    for (size_t i = 0; i < 3; ++i) {
      if (i < known) {
        header[i] = buf[i];
        continue;
      }
      const size_t at = BlockOffset(start, i - known, final);
      if (at >= limit) {
        readable = false;
        break;
      }
      header[i] = block.Byte(at);
    }
    if (!readable) {
      if (layout == 0) cut = true;
      continue;
    }
    const size_t size = 3 + size_t{SectionLength(header[1], header[2])};
    if (size <= known || size > kMaxSection) continue;
    const size_t last = BlockOffset(start, size - known - 1, final);  // the section's last byte
    if (final == kNoPointer) {
      if (last >= limit) {
        cut = true;
        continue;
      }
    } else if (last != final * kPacketPayload + block.Byte(final * kPacketPayload)) {
      continue;  // the pointer_field does not end this section
    }
    // The section's bytes, in one run, or two around the pointer_field of packet `final`.
    const size_t count = size - known;
    size_t first = count;
    if (final != kNoPointer && final * kPacketPayload < start + count) {
      first = final * kPacketPayload > start ? final * kPacketPayload - start : 0;
    }
    if (block.Copy(start, first, buf + known) != first) continue;
    if (first < count &&
        block.Copy(start + first + 1, count - first, buf + known + first) != count - first) {
      continue;
    }
    if (Crc32(buf, size) == 0) {
      *have = size;
      return Found::kWhole;
    }
  }
  block.Clear();
  if (!cut) return Found::kNothing;
  // Everything up to the end of the examined packets.
  const size_t count = limit - start;
  if (known + count > kMaxSection) return Found::kNothing;
  if (block.Copy(start, count, buf + known) != count) return Found::kNothing;
  *have = known + count;
  return Found::kCut;
}

// The event of a section in `sec`, of which `have` bytes are at hand; whole (its CRC_32
// checked by the caller) when that is the size its header gives. A section cut short counts
// only when its header is consistent and the descriptor read lies in the part at hand.
void TakeSection(const uint8_t* sec, size_t have) {
  BlockView view(sec, have);
  if (have >= kMinSection + 3 && IsSchedule(view.Byte(0))) {
    TakeSchedule(view, sec, have);
    return;
  }
  if (have < kFirstDescriptor + 2) return;
  const uint8_t tabid = view.Byte(0);
  const uint16_t tleng = SectionLength(view.Byte(1), view.Byte(2));
  const size_t size = 3 + size_t{tleng};
  if (tabid != kTableEitPfActual || (view.Byte(1) & 0x80) == 0) return;  // syntax indicator
  if (tleng < kMinEventSection || tleng > kMaxSectionLength || have > size) return;
  // current_next_indicator; sections 0 and 1.
  if ((view.Byte(5) & 1) == 0 || view.Byte(kSectionNumber) > 1) return;
  if (view.Byte(kLastTableId) != kTableEitPfActual) return;
  const uint16_t sid = static_cast<uint16_t>(view.Byte(3) << 8 | view.Byte(4));
  if (sid != service) return;
  const int32_t bit = (view.Byte(kSectionNumber) & 1) == 0 ? kPresentBit : kFollowingBit;
  const uint8_t version = (view.Byte(kVersion) >> 1) & 0x1F;
  // The guide window's record comes from whole sections only (the caller checked the CRC_32).
  if (have == size && RecordWanted(bit, version)) CaptureRecord(sec, size, bit, version);
  if (!EventWanted(bit, version)) return;

  const size_t loop_end = kFirstDescriptor + SectionLength(view.Byte(kEventLoopLength),
                                                           view.Byte(kEventLoopLength + 1));
  if (loop_end > size - kCrcSize || loop_end < kFirstDescriptor + 2) return;
  size_t d = kFirstDescriptor;
  uint8_t tag = view.Byte(d);
  // An event with short event descriptors of several languages: the line is the chosen one's.
  EventHeader loop{};
  loop.loop = kFirstDescriptor;
  loop.loop_end = loop_end < have ? loop_end : have;
  bool multilingual = false;
  const size_t chosen = ChooseShortEvent(sec, loop, BlockLanguages(), &multilingual);
  if (multilingual && chosen != 0 && chosen != d) {
    if (tag != kShortEventTag && tag != kExtendedEventTag && tag != kTextTag69 &&
        !MayTakeLaterDescriptor(bit)) {
      return;
    }
    d = chosen;
    tag = kShortEventTag;
  } else if (tag != kShortEventTag && tag != kExtendedEventTag && tag != kTextTag69) {
    if (!MayTakeLaterDescriptor(bit)) return;
    while (d + 2 <= loop_end && d + 2 <= have && view.Byte(d) != kShortEventTag) {
      d += 2 + size_t{view.Byte(d + 1)};
    }
    if (d + 2 > loop_end || d + 2 > have) return;
    tag = kShortEventTag;
  }
  const size_t d_end = d + 2 + view.Byte(d + 1);
  if (d_end > loop_end || d_end > have) return;
  const SectionEvent event{
      sid,
      bit,
      tag,
      d,
      view.Byte(kStartHour),
      view.Byte(kStartHour + 1),
      version,
      static_cast<uint16_t>(view.Byte(kStartDate) << 8 | view.Byte(kStartDate + 1)),
      view.Byte(kStartHour + 2),
      DurationSeconds(view.Byte(kDuration), view.Byte(kDuration + 1), view.Byte(kDuration + 2))};
  CaptureSectionEvent(view, event);
}

// Whether the section whose first bytes lie at `at` (up to `end`) may be of interest: p/f
// actual of the current service, for an event (or a version of it) the reader still wants, or
// a section of its schedule the table has not taken in this version. Undecided when cut at
// `end`.
bool MayMatter(BlockView& block, size_t at, size_t end) {
  const uint8_t tid = block.Byte(at);
  const bool schedule = IsSchedule(tid);
  if (!schedule && tid != kTableEitPfActual) return false;
  if (at + 7 > end) return true;
  const uint16_t sid = static_cast<uint16_t>(block.Byte(at + 3) << 8 | block.Byte(at + 4));
  if (sid != service) return false;
  const uint8_t number = block.Byte(at + kSectionNumber);
  const uint8_t version = (block.Byte(at + kVersion) >> 1) & 0x1F;
  if (schedule) return ScheduleSectionWanted(tid, number, version);
  const int32_t bit = (number & 1) == 0 ? kPresentBit : kFollowingBit;
  return EventWanted(bit, version) || RecordWanted(bit, version);
}

}  // namespace

uint32_t Crc32(const uint8_t* data, size_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  size_t i = 0;
  for (; i + 4 <= size; i += 4) {
    crc ^= static_cast<uint32_t>(data[i]) << 24 | static_cast<uint32_t>(data[i + 1]) << 16 |
           static_cast<uint32_t>(data[i + 2]) << 8 | data[i + 3];
    crc = kCrc[3][crc >> 24] ^ kCrc[2][crc >> 16 & 0xFF] ^ kCrc[1][crc >> 8 & 0xFF] ^
          kCrc[0][crc & 0xFF];
  }
  for (; i < size; ++i) crc = crc << 8 ^ kCrc[0][(crc >> 24 ^ data[i]) & 0xFF];
  return crc;
}

void SectionPass(const unsigned char* data, size_t limit, size_t packets, uint16_t current) {
  service = current;
  BlockView block(data, limit);
  if (carryhave > 0) {
    size_t have = carryhave;
    carryhave = 0;
    const Found found = Assemble(block, 0, limit, packets, carrybuf, &have);
    if (found == Found::kWhole) TakeSection(carrybuf, have);
    if (found == Found::kCut) carryhave = have;  // longer than this block as well
  }
  for (size_t packet = 0; packet < packets; ++packet) {
    const size_t start = packet * kPacketPayload;
    const size_t end = start + kPacketPayload;
    block.Clear();
    // As if the packet opened with a pointer_field: the sections that begin in it.
    size_t at = start + 1 + size_t{block.Byte(start)};
    while (at < end && block.Byte(at) != kStuffing && !block.failed()) {
      if (!MayMatter(block, at, end)) {
        // Passed over by its length; the next one follows when it ends inside the packet.
        if (at + 3 > end) break;
        at += 3 + size_t{SectionLength(block.Byte(at + 1), block.Byte(at + 2))};
        continue;
      }
      size_t have = 0;
      const Found found = Assemble(block, at, limit, packets, secbuf, &have);
      if (found == Found::kNothing) break;
      TakeSection(secbuf, have);
      if (found == Found::kCut) {
        // Kept for the next block when what is at hand of its header holds up.
        const uint16_t least = IsSchedule(secbuf[0]) ? kMinSection : kMinEventSection;
        const bool header =
            have < 3 || ((secbuf[1] & 0x80) != 0 && SectionLength(secbuf[1], secbuf[2]) >= least &&
                         SectionLength(secbuf[1], secbuf[2]) <= kMaxSectionLength);
        if (header) {
          std::memcpy(carrybuf, secbuf, have);
          carryhave = have;
        }
        break;
      }
      at += have;  // beyond the packet when the section ended in a later one
    }
  }
}

void DropCarriedSection() {
  carryhave = 0;
}

void ResetSectionPass() {
  std::memset(secbuf, 0, sizeof secbuf);
  std::memset(carrybuf, 0, sizeof carrybuf);
  carryhave = 0;
  service = 0;
}
