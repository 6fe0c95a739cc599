// The EIT reader on one 2000-byte block (ten 184-byte packets), as the host delivers it:
//  - Capture: the present and the following section of the current service, format 1, so both
//    lines are built and eitstate goes 1 -> 7 (reset to 1 before every block);
//  - Rejected: ten sections of another service, walked and passed over;
//  - Packed: sections back to back as multiplexers send them, behind non-zero pointer fields,
//    the current service's two last: the positional pass finds nothing, the section pass walks
//    every section, checks the CRC_32 of the two and captures both.
//  - Shown: eitstate 8, ten p/f sections of the current service at the version on display:
//    the reader watches for a new version by the section headers alone.
//  - ScheduleRejected: ten EIT schedule sections (table 0x50) of another service, one a packet;
//  - ScheduleCaptured: the same block with the first section the current service's, holding
//    two events, taken into the schedule table (from a channel change before every block).
// And the event reader alone on one whole section: a short event, an extended description in
// five parts of Czech ISO/IEC 6937 text (950 bytes once decoded) with two items, a genre and two
// ratings, read into the guide window's record.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "guide/eit.h"
#include "guide/eit_sections.h"
#include "guide/event_reader.h"
#include "guide/schedule.h"
#include "settings/settings.h"
#include "shared/channel.h"
#include "shared/languages.h"
#include "ts.h"

namespace {

constexpr uint16_t kSid = 0x1234;
constexpr size_t kPacket = 184;
constexpr int kBlock = 2000;

// One EIT p/f section behind a pointer field at `at`: short event descriptor, name and text.
void PutSection(std::vector<unsigned char>& block, size_t at, uint16_t sid, int section,
                const char* name, const char* text) {
  const size_t n = std::strlen(name), t = std::strlen(text);
  const size_t descriptors = 2 + 3 + 1 + n + 1 + t;
  const size_t length = 11 + 12 + descriptors + 4;
  unsigned char* p = block.data() + at;
  const unsigned char header[] = {0x00,
                                  0x4E,
                                  static_cast<unsigned char>(0xF0 | length >> 8),
                                  static_cast<unsigned char>(length & 0xFF),
                                  static_cast<unsigned char>(sid >> 8),
                                  static_cast<unsigned char>(sid & 0xFF),
                                  0xC1,
                                  static_cast<unsigned char>(section),
                                  0x01,
                                  0x00,
                                  0x01,
                                  0x00,
                                  0x01,
                                  0x01,
                                  0x4E,
                                  0x00,
                                  0x01,  // to event_id
                                  0xEB,
                                  0x96,
                                  static_cast<unsigned char>(section ? 0x21 : 0x20),
                                  0x15,
                                  0x00,  // start
                                  0x00,
                                  0x30,
                                  0x00,  // duration
                                  static_cast<unsigned char>(0x80 | descriptors >> 8),
                                  static_cast<unsigned char>(descriptors & 0xFF),
                                  0x4D,
                                  static_cast<unsigned char>(descriptors - 2),
                                  'e',
                                  'n',
                                  'g'};
  std::memcpy(p, header, sizeof header);
  p += sizeof header;
  *p++ = static_cast<unsigned char>(n);
  std::memcpy(p, name, n);
  p += n;
  *p++ = static_cast<unsigned char>(t);
  std::memcpy(p, text, t);
  p += t;
  // The CRC_32, as broadcast: the section pass checks it (and the guide window's record is
  // kept from the whole section).
  const unsigned char* start = block.data() + at + 1;
  const uint32_t crc = Crc32(start, static_cast<size_t>(p - start));
  for (int i = 0; i < 4; ++i) *p++ = static_cast<unsigned char>(crc >> (24 - 8 * i));
}

// One section with its CRC_32, without the pointer field.
std::vector<unsigned char> Section(uint16_t sid, int section, const char* name, const char* text) {
  std::vector<unsigned char> buffer(kPacket, 0xFF);
  PutSection(buffer, 0, sid, section, name, text);
  const size_t size = 3 + static_cast<size_t>((buffer[2] & 0x0F) << 8 | buffer[3]);
  return std::vector<unsigned char>(buffer.begin() + 1,
                                    buffer.begin() + 1 + static_cast<long>(size));
}

// Sections packed into ten payloads: a packet in which a section begins opens with a pointer
// field; the first one's points past 57 bytes that end an earlier section.
std::vector<unsigned char> PackedBlock() {
  std::vector<unsigned char> data(57, 0xEE);
  std::vector<size_t> starts;
  const char* text = "Weather, sport and the *headlines* of the day";
  for (int i = 0; i < 8; ++i) {
    starts.push_back(data.size());
    const std::vector<unsigned char> s =
        i < 6 ? Section(static_cast<uint16_t>(0x4321 + i), i & 1, "Evening news of the day", text)
              : Section(kSid, i & 1, "Evening news of the day", text);
    data.insert(data.end(), s.begin(), s.end());
  }
  std::vector<unsigned char> block(kBlock, 0xFF);
  size_t at = 0, next = 0;
  for (size_t w = 0; w < 10 && at < data.size(); ++w) {
    unsigned char* p = block.data() + w * kPacket;
    size_t room = kPacket;
    if (next < starts.size() && starts[next] < at + kPacket - 1) {
      *p++ = static_cast<unsigned char>(starts[next] - at);
      room = kPacket - 1;
    }
    const size_t n = data.size() - at < room ? data.size() - at : room;
    std::memcpy(p, data.data() + at, n);
    at += n;
    while (next < starts.size() && starts[next] < at) ++next;
  }
  return block;
}

std::vector<unsigned char> Block(bool capture) {
  std::vector<unsigned char> block(kBlock, 0xFF);
  for (size_t i = 0; i < 10; ++i) {
    const uint16_t sid = capture && i < 2 ? kSid : 0x4321;
    PutSection(block, i * kPacket, sid, static_cast<int>(i & 1), "Evening news of the day",
               "Weather, sport and the *headlines* of the day, with a \x8A line break");
  }
  return block;
}

// Ten schedule sections, one per packet behind a pointer_field, each of two events; the first
// of the current service when `capture`.
std::vector<unsigned char> ScheduleBlock(bool capture) {
  std::vector<unsigned char> block(kBlock, 0xFF);
  for (size_t i = 0; i < 10; ++i) {
    std::vector<ts::Event> events(2);
    for (size_t k = 0; k < 2; ++k) {
      events[k].event_id = static_cast<uint16_t>(100 + k);
      events[k].hour_bcd = static_cast<uint8_t>(0x21 + k);
      events[k].name = "Evening film";
      events[k].text = "A drama";
    }
    ts::Bytes section;
    std::string error;
    const uint16_t sid = capture && i == 0 ? kSid : 0x4321;
    if (!ts::BuildScheduleSection(sid, 0x50, static_cast<uint8_t>(i * 8), 0, events, &section,
                                  &error) ||
        section.size() + 1 > kPacket) {
      std::abort();
    }
    block[i * kPacket] = 0;  // pointer_field
    std::memcpy(block.data() + i * kPacket + 1, section.data(), section.size());
  }
  return block;
}

void Setup() {
  ResetGuideState();
  GuideFormat = 1;
  HourOffset = 1;
  DebugMode = 0;
  TProgram82 channel;
  std::memset(channel.bytes, 0, sizeof channel.bytes);
  channel.bytes[122] = kSid & 0xFF;
  channel.bytes[123] = kSid >> 8;
  StoreCurrentChannel(channel);
}

void BM_EitBlockCaptures(benchmark::State& state) {
  Setup();
  const std::vector<unsigned char> block = Block(true);
  for (auto _ : state) {
    ResetLinesForChannel();
    eitstate = 1;
    OnDataArrival(1, kBlock, block.data());
    if (eitstate.load() != 7) state.SkipWithError("block did not capture both events");
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EitBlockCaptures);

void BM_EitBlockRejected(benchmark::State& state) {
  Setup();
  const std::vector<unsigned char> block = Block(false);
  eitstate = 1;
  for (auto _ : state) {
    OnDataArrival(1, kBlock, block.data());
    benchmark::ClobberMemory();
  }
  if (eitstate.load() != 1) state.SkipWithError("a rejected block captured something");
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EitBlockRejected);

// Hosts that hand on one 184-byte packet per call from their reading thread: one call for a
// packet of another service (ten such calls carry what one BM_EitBlockRejected block does).
void BM_EitPacketRejected(benchmark::State& state) {
  Setup();
  const std::vector<unsigned char> block = Block(false);
  eitstate = 1;
  for (auto _ : state) {
    OnDataArrival(1, static_cast<int>(kPacket), block.data());
    benchmark::ClobberMemory();
  }
  if (eitstate.load() != 1) state.SkipWithError("a rejected packet captured something");
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EitPacketRejected);

void BM_EitBlockPacked(benchmark::State& state) {
  Setup();
  const std::vector<unsigned char> block = PackedBlock();
  for (auto _ : state) {
    ResetLinesForChannel();
    eitstate = 1;
    OnDataArrival(1, kBlock, block.data());
    if (eitstate.load() != 7) state.SkipWithError("packed block did not capture both events");
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EitBlockPacked);

void BM_EitBlockScheduleRejected(benchmark::State& state) {
  Setup();
  const std::vector<unsigned char> block = ScheduleBlock(false);
  eitstate = 1;
  for (auto _ : state) {
    OnDataArrival(1, kBlock, block.data());
    benchmark::ClobberMemory();
  }
  ScheduleEntry entry[1];
  if (CopySchedule(entry, 1) != 0) state.SkipWithError("another service's schedule was taken");
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EitBlockScheduleRejected);

void BM_EitBlockScheduleCaptured(benchmark::State& state) {
  Setup();
  const std::vector<unsigned char> block = ScheduleBlock(true);
  eitstate = 1;
  static ScheduleEntry entries[kScheduleEvents];
  for (auto _ : state) {
    ResetLinesForChannel();
    OnDataArrival(1, kBlock, block.data());
    benchmark::ClobberMemory();
  }
  if (CopySchedule(entries, kScheduleEvents) != 2) state.SkipWithError("schedule not taken");
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EitBlockScheduleCaptured);

// The lines are on the display (eitstate 8) and the network repeats the current service's p/f
// sections at the version shown, one per packet, with CRC_32: each costs a header check.
void BM_EitBlockShown(benchmark::State& state) {
  Setup();
  std::vector<unsigned char> block(kBlock, 0xFF);
  for (size_t i = 0; i < 10; ++i) {
    const std::vector<unsigned char> s =
        Section(kSid, static_cast<int>(i & 1), "Evening news of the day", "Weather and sport");
    block[i * kPacket] = 0x00;  // pointer_field
    std::memcpy(block.data() + i * kPacket + 1, s.data(), s.size());
  }
  eitstate = 1;
  OnDataArrival(1, kBlock, block.data());
  char now[kGuideTextMax], next[kGuideTextMax];
  if (!TakeReadyLines(now, next, sizeof now)) state.SkipWithError("lines were not captured");
  for (auto _ : state) {
    OnDataArrival(1, kBlock, block.data());
    benchmark::ClobberMemory();
  }
  if (eitstate.load() != 8) state.SkipWithError("the same version changed the state");
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EitBlockShown);

void BM_EventReaderFiveParts(benchmark::State& state) {
  std::string schedule =
      "0x1234 present 20:00 short \"Dobrodružství\" \"Český film\" lang=cze charset=6937\n";
  const std::string part =
      "Příběh o přátelství, odvaze a dobrodružství na horách, kde se čtyři kamarádi vydají "
      "hledat ztracený poklad. Cestou potkají zvláštní lidi a musí překonat řadu nástrah. ";
  for (int i = 0; i < 5; ++i) {
    schedule += "+ extended \"" + part + "\"";
    if (i == 0) schedule += " \"Režie\" \"J. Novák\" \"Hrají\" \"A. Nováková, B. Černý\"";
    schedule += " lang=cze charset=6937\n";
  }
  schedule += "+ content 0x12\n+ rating CZE 9 DEU 0x0C\n";
  ts::Bytes stream;
  std::string error;
  if (!ts::BuildStream(schedule, &stream, &error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  // The section itself, from the first packet's pointer_field on.
  const ts::Bytes payloads = ts::ExtractPayloads(stream, ts::kEitPid);
  const size_t size = 3 + ((payloads[2] & 0x0F) << 8 | payloads[3]);
  const std::vector<uint8_t> section(payloads.begin() + 1, payloads.begin() + 1 + size);
  const uint64_t prefs = PackLanguages(ParseLanguageList("ces,eng", nullptr));
  static EventRecord record;
  for (auto _ : state) {
    ReadEvent(section.data(), section.size() - 4, 14, prefs, &record);
    benchmark::DoNotOptimize(record.extended[0]);
  }
  state.counters["extended_bytes"] = static_cast<double>(std::strlen(record.extended));
  state.counters["section_bytes"] = static_cast<double>(section.size());
  if (record.item_count != 2 || std::strlen(record.extended) < 5 * part.size()) {
    state.SkipWithError("the section did not read as made");
  }
}
BENCHMARK(BM_EventReaderFiveParts);

}  // namespace

BENCHMARK_MAIN();
