// The host's channel record TProgram82 and the plug-in's kept copy of it, CurrentChannel.
//
// The record is the host's format, passed by value to On_Channel_Change. Its fields are read
// from the bytes at fixed offsets (little-endian), never through a compiler's struct layout, so
// the same code reads it on i686 and x86_64.
//
// Hosts fill 804 bytes (docs/hosts.md). The plug-in declares the argument 868 bytes long, as it
// always has, and keeps 868 in CurrentChannel: on i686 the 64 bytes past a host's 804 are the
// host's own stack, which the plug-in copies along but never reads for anything it shows or
// decides, and never writes. On x86_64 the ABI passes the address of a copy the host made.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kProgramSize = 868;      // what the plug-in takes and keeps
constexpr size_t kHostRecordSize = 804;   // what hosts fill and push
constexpr size_t kChannelNameField = 92;  // the name lies before the frequency at offset 92

// The record as hosts fill it. Offsets the plug-in reads have accessors below; the others are
// named for the reader of a hex dump.
constexpr size_t kNameOffset = 0;             // char[30], NUL-terminated, the host's ANSI code page
constexpr size_t kProviderOffset = 30;        // char[30]
constexpr size_t kCountryOffset = 60;         // char[30]
constexpr size_t kFrequencyOffset = 92;       // u32: kHz (ALT-DVB, ProgDVB), MHz (SkyView family)
constexpr size_t kTypeOffset = 96;            // u8
constexpr size_t kPolarisationOffset = 97;    // u8: 1 and 13 vertical; several hosts leave 0
constexpr size_t kSymbolRateOffset = 100;     // u32
constexpr size_t kTransponderIdOffset = 108;  // u16, and the PIDs behind it, u16 each:
constexpr size_t kVideoPidOffset = 110;
constexpr size_t kAudioPidOffset = 112;
constexpr size_t kTeletextPidOffset = 114;
constexpr size_t kPmtPidOffset = 116;
constexpr size_t kPcrPidOffset = 118;
constexpr size_t kEcmPidOffset = 120;
constexpr size_t kServiceIdOffset = 122;    // u16: DVB service_id
constexpr size_t kAc3PidOffset = 124;       // u16
constexpr size_t kTvTypeOffset = 126;       // u8
constexpr size_t kServiceTypeOffset = 127;  // u8: 1 TV, 2 radio
// u8 CA_ID: for hosts that fill the CA list, an index into it; for the others the high byte of
// the channel's CA_system_id.
constexpr size_t kCaIdOffset = 128;
constexpr size_t kCaCountOffset = 390;  // u16: entries of the CA list in use
constexpr size_t kCaListOffset = 392;   // the CA list, kCaListEntries entries of kCaEntrySize:
constexpr size_t kCaEntrySize = 12;     // {CA_system_id u16, ECM PID u16, EMM PID u16,
constexpr size_t kCaListEntries = 32;   //  2 bytes padding, provider id u32}
static_assert(kCaListOffset + kCaListEntries * kCaEntrySize <= kHostRecordSize,
              "the CA list lies inside the hosts' 804 bytes");

struct TProgram82 {
  unsigned char bytes[kProgramSize];
};
static_assert(sizeof(TProgram82) == kProgramSize, "TProgram82 is the host's 868-byte record");

// The name at offset 0 up to its NUL, cut at the field's 92 bytes when the host sends no NUL
// there. Always NUL-terminates `out` (size > 0). Returns the length copied.
size_t ChannelName(const TProgram82& chan, char* out, size_t size);
uint32_t Frequency(const TProgram82& chan);                     // offset 92, 32-bit
uint8_t PolarisationCode(const TProgram82& chan);               // offset 97: 1 and 13 vertical
uint16_t ServiceId(const TProgram82& chan);                     // offset 122, 16-bit
uint8_t CaId(const TProgram82& chan);                           // offset 128
uint16_t CaCount(const TProgram82& chan);                       // offset 390
uint16_t CaListSystemId(const TProgram82& chan, size_t entry);  // entry below kCaListEntries
// The high byte of the channel's CA_system_id (ETSI TS 101 162), 0 for free to air: from the
// CA list when its count is 1 to 32 (the entry CA_ID names, when it is in the list and not 0,
// else the first entry that is not 0, else 0); from CA_ID itself for a count of 0 or above 32.
uint8_t CaSystemCode(const TProgram82& chan);

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
