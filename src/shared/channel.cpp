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
  return ReadLe32(chan.bytes + 92);
}
uint8_t PolarisationCode(const TProgram82& chan) {
  return chan.bytes[97];
}
uint16_t ServiceId(const TProgram82& chan) {
  return static_cast<uint16_t>(chan.bytes[122] | chan.bytes[123] << 8);
}
uint8_t CaSystemCode(const TProgram82& chan) {
  return chan.bytes[128];
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
