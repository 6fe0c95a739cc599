// The channel record: fields read from the bytes, and the kept copy.
#include "shared/channel.h"

#include <cstring>

#include "platform/os.h"
#include "shared/state.h"

TProgram82 CurrentChannel;

namespace {
uint32_t ReadLe32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
uint16_t ReadLe16(const unsigned char* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
}  // namespace

size_t ChannelName(const TProgram82& chan, char* out, size_t size) {
  if (size == 0) return 0;
  size_t n = 0;
  while (n + 1 < size && n < kChannelNameField && chan.bytes[n] != 0) {
    out[n] = static_cast<char>(chan.bytes[n]);
    ++n;
  }
  out[n] = '\0';
  return n;
}

uint32_t Frequency(const TProgram82& chan) {
  return ReadLe32(chan.bytes + kFrequencyOffset);
}
uint8_t PolarisationCode(const TProgram82& chan) {
  return chan.bytes[kPolarisationOffset];
}
uint16_t ServiceId(const TProgram82& chan) {
  return ReadLe16(chan.bytes + kServiceIdOffset);
}
uint8_t CaId(const TProgram82& chan) {
  return chan.bytes[kCaIdOffset];
}
uint16_t CaCount(const TProgram82& chan) {
  return ReadLe16(chan.bytes + kCaCountOffset);
}
uint16_t CaListSystemId(const TProgram82& chan, size_t entry) {
  if (entry >= kCaListEntries) return 0;
  return ReadLe16(chan.bytes + kCaListOffset + entry * kCaEntrySize);
}

uint8_t CaSystemCode(const TProgram82& chan) {
  // Hosts that fill the CA list with the channel's systems write an index into it at 128 (0 for
  // the first); hosts that do not leave the count 0 and write the system's high byte there. A
  // count past the list's 32 entries is not a list.
  const uint16_t count = CaCount(chan);
  if (count == 0 || count > kCaListEntries) return CaId(chan);
  const uint8_t index = CaId(chan);
  uint16_t system = index < count ? CaListSystemId(chan, index) : 0;
  // An index past the count, or one that names an empty entry: the channel is scrambled with
  // whichever system the list names first.
  for (size_t i = 0; i < count && system == 0; ++i) system = CaListSystemId(chan, i);
  return static_cast<uint8_t>(system >> 8);
}

void StoreCurrentChannel(const TProgram82& chan) {
  std::lock_guard<std::mutex> lock(GuideLock);
  std::memset(CurrentChannel.bytes, 0, kProgramSize);
  std::memcpy(CurrentChannel.bytes, chan.bytes, kProgramSize);
}

uint16_t CurrentServiceId() {
  std::lock_guard<std::mutex> lock(GuideLock);
  return ServiceId(CurrentChannel);
}

void CurrentChannelNameAnsi(char* out, size_t size) {
  std::lock_guard<std::mutex> lock(GuideLock);
  ChannelName(CurrentChannel, out, size);
}

void CurrentChannelName(char* out, size_t size) {
  char name[kChannelNameField + 1];
  CurrentChannelNameAnsi(name, sizeof name);
  AnsiToUtf8(name, out, size);
}

void ResetChannelState() {
  std::lock_guard<std::mutex> lock(GuideLock);
  std::memset(CurrentChannel.bytes, 0, kProgramSize);
}
