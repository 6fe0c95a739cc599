// The EIT reader on one 2000-byte block (ten 184-byte packets), as the host delivers it:
//  - Capture: the present and the following section of the current service, format 1, so both
//    lines are built and eitstate goes 1 -> 7 (reset to 1 before every block);
//  - Rejected: ten sections of another service, walked and passed over.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "display/channel.h"
#include "guide/eit.h"
#include "settings/settings.h"

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
  std::memset(p, 0x5A, 4);  // CRC: the reader does not check it
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

}  // namespace

BENCHMARK_MAIN();
