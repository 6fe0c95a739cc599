// The host's channel record TProgram82 and the plug-in's kept copy of it, CurrentChannel.
//
// The record is the host's format: 868 bytes, passed by value to On_Channel_Change. Its fields
// are read from the bytes at fixed offsets (little-endian), never through a compiler's struct
// layout, so the same code reads it on i686 and x86_64.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kProgramSize = 868;
constexpr size_t kChannelNameField = 92;  // the name lies before the frequency at offset 92

struct TProgram82 {
  unsigned char bytes[kProgramSize];
};
static_assert(sizeof(TProgram82) == kProgramSize, "TProgram82 is the host's 868-byte record");

// The name at offset 0 up to its NUL, cut at the field's 92 bytes when the host sends no NUL
// there. Always NUL-terminates `out` (size > 0). Returns the length copied.
size_t ChannelName(const TProgram82& chan, char* out, size_t size);
uint32_t Frequency(const TProgram82& chan);        // offset 92, 32-bit
uint8_t PolarisationCode(const TProgram82& chan);  // offset 97: 1 and 13 vertical
uint16_t ServiceId(const TProgram82& chan);        // offset 122, 16-bit
uint8_t CaSystemCode(const TProgram82& chan);      // offset 128: high byte of CA_system_id

// The record of the last displayed channel change (all zero from load until then). The host's
// thread replaces it; the EIT data thread and the timer read single fields of it. Both go
// through these functions, which hold GuideLock, so no reader sees half a record.
extern TProgram82 CurrentChannel;
void StoreCurrentChannel(const TProgram82& chan);  // zero all 868 bytes, then copy
uint16_t CurrentServiceId();
// The name as the host sent it, in the ANSI code page (window titles are compared with it).
void CurrentChannelNameAnsi(char* out, size_t size);
// The name as the panels show it: UTF-8, cut at a character boundary to fit `size`.
void CurrentChannelName(char* out, size_t size);
void ResetChannelState();
