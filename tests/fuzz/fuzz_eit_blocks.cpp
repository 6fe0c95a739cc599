// libFuzzer target for the EIT reader across deliveries: several blocks of different sizes,
// channel changes between them and no reset, as a host delivers the filter's data for hours.
// A section split over two blocks is carried from one delivery to the next; this target is what
// exercises that carry with arbitrary cut points, and a channel change while it holds half a
// section.
//
// Input: [0] GuideFormat (mod 5, 4 meaning -1)  [1] HourOffset (signed)  [2..3] service id
// Then records until the input ends:
//   control byte C; if C & 0x80 a channel change to the service id in the next two bytes (the
//   calls On_Channel_Change makes: the new current channel, then the lines reset); if C & 0x40
//   the display timer's take of ready lines; then one byte L, and a block of
//   ((C & 0x3F) << 8 | L) bytes (fewer when the input ends) delivered to OnDataArrival.
// Each block is copied into a buffer of exactly its size, so AddressSanitizer catches a read
// one byte past it. After every step the guide texts must be terminated strings and eitstate
// one of the values the reader can leave.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "shared/channel.h"
#include "guide/eit.h"
#include "settings/settings.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

void CheckInvariants() {
  for (const char* text : {nowtxt, nxttxt, nowname, nowdesc, nxtname, nxtdesc}) {
    Check(std::memchr(text, 0, kGuideTextMax) != nullptr);
  }
  Check(std::memchr(evtime, 0, sizeof evtime) != nullptr);
  const int32_t state = eitstate.load();
  Check(state >= 1 && state <= 8);
}

void ChangeChannel(uint8_t high, uint8_t low) {
  TProgram82 channel;
  std::memset(channel.bytes, 0, sizeof channel.bytes);
  channel.bytes[122] = low;  // little-endian in the record
  channel.bytes[123] = high;
  StoreCurrentChannel(channel);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  ResetGuideState();
  GuideFormat = data[0] % 5 == 4 ? -1 : data[0] % 5;
  HourOffset = static_cast<int8_t>(data[1]);
  DebugMode = 0;
  ChangeChannel(data[2], data[3]);
  eitstate = 1;  // the filter runs
  size_t at = 4;
  while (at < size) {
    const uint8_t control = data[at++];
    if ((control & 0x80) != 0) {
      if (size - at < 2) break;
      ChangeChannel(data[at], data[at + 1]);
      ResetLinesForChannel();
      at += 2;
      CheckInvariants();
    }
    if ((control & 0x40) != 0) {
      char now[kGuideTextMax], next[kGuideTextMax];
      if (TakeReadyLines(now, next, sizeof now)) Check(eitstate.load() == 8);
    }
    if (at >= size) break;
    size_t length = static_cast<size_t>(control & 0x3F) << 8 | data[at++];
    if (length > size - at) length = size - at;
    std::vector<unsigned char> block(data + at, data + at + length);
    OnDataArrival(1, static_cast<int>(block.size()), block.empty() ? nullptr : block.data());
    at += length;
    CheckInvariants();
  }
  return 0;
}
