// libFuzzer target for the EIT reader, OnDataArrival.
//
// Input: six bytes of settings, then the block the host would deliver.
//   [0] eitstate (mod 10)   [1] GuideFormat (mod 5, 4 meaning -1), local time when (byte / 5)
//   is odd   [2] HourOffset (signed)
//   [3..4] the current channel's service id   [5] the filter number (0..3)   [6..] the block
// The block is copied into a buffer of exactly its size, so AddressSanitizer catches a read
// one byte past it. After the call the guide texts must still be terminated strings and
// eitstate one of the values the reader can leave.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "guide/eit.h"
#include "settings/settings.h"
#include "shared/channel.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

void CheckTerminated(const char* text, size_t size) {
  Check(std::memchr(text, 0, size) != nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 6) return 0;
  ResetGuideState();
  const int32_t state = data[0] % 10;
  const int32_t format = data[1] % 5 == 4 ? -1 : data[1] % 5;
  GuideFormat = format;
  HourOffset = static_cast<int8_t>(data[2]);
  LocalTime = (data[1] / 5) % 2;
  DebugMode = 0;
  TProgram82 channel;
  std::memset(channel.bytes, 0, sizeof channel.bytes);
  channel.bytes[122] = data[4];  // little-endian in the record
  channel.bytes[123] = data[3];
  StoreCurrentChannel(channel);
  eitstate = state;
  const int filter = data[5] % 4;

  std::vector<unsigned char> block(data + 6, data + size);
  OnDataArrival(filter, static_cast<int>(block.size()), block.empty() ? nullptr : block.data());
  // A second delivery of the same block: nothing more may be captured.
  OnDataArrival(filter, static_cast<int>(block.size()), block.empty() ? nullptr : block.data());

  const int32_t after = eitstate.load();
  if (state == 8) {
    Check(after == 8 || after == 7);  // a new version of the p/f table is ready to show
  } else if (state == 0 || state > 8) {
    Check(after == state);
  } else {
    Check(after >= state && after <= 7 && (after & state) == state);
  }
  for (const char* text : {nowtxt, nxttxt, nowname, nowdesc, nxtname, nxtdesc}) {
    CheckTerminated(text, kGuideTextMax);
  }
  CheckTerminated(evtime, sizeof evtime);
  char now[kGuideTextMax], next[kGuideTextMax];
  if (TakeReadyLines(now, next, sizeof now)) Check(eitstate.load() == 8);
  ResetLinesForChannel();
  return 0;
}
