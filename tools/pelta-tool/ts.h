// Transport-stream helpers for pelta-tool and the tests: MPEG-2 CRC_32, EIT present/following
// sections (EN 300 468, 5.2.4), 188-byte packets on a PID, payload extraction, and the text
// schedule that `pelta-tool mkts` turns into a stream (format: see mkts.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ts {

constexpr size_t kPacketSize = 188;
constexpr size_t kPayloadSize = 184;  // a packet less its 4-byte header
constexpr uint16_t kEitPid = 0x12;
constexpr uint16_t kNullPid = 0x1FFF;
constexpr uint8_t kSyncByte = 0x47;

using Bytes = std::vector<uint8_t>;

// CRC_32 of ISO/IEC 13818-1 annex A: the reader's own (guide/eit_sections.h), so the sections
// pelta-tool writes are checked by the code that reads them. A whole section gives 0.
uint32_t Crc32Mpeg2(const uint8_t* data, size_t size);

// One present or following event, as one EIT section of its own.
struct Event {
  uint16_t service_id = 0;
  uint8_t section_number = 0;  // 0 present, 1 following
  uint8_t table_id = 0x4E;     // 0x4E p/f actual; 0x4F p/f other
  uint8_t version = 0;
  uint8_t hour_bcd = 0x20;  // start_time, UTC, BCD as written
  uint8_t minute_bcd = 0x00;
  uint16_t mjd = 60310;  // start_time date (Modified Julian Date): 2024-01-01
  uint8_t duration_bcd[3] = {0x01, 0x00, 0x00};
  uint16_t event_id = 1;
  // First descriptor: 0x4D short event (name, text), 0x4E extended event (name becomes one
  // item's description, text the text), 0x69 (name/text in the layout the reader takes), any
  // other tag: that descriptor with `name` as its body, followed by a short event descriptor.
  uint8_t tag = 0x4D;
  std::string name;
  std::string text;
  std::string language = "eng";
  bool empty = false;       // no event at all: section_length 15
  std::vector<Bytes> more;  // whole descriptors appended to the event's loop, in order
};

// Descriptors for Event::more (EN 300 468, 6.2.37, 6.2.15, 6.2.9, 6.2.28). Texts are the field
// bytes as broadcast (selector included). False, with a message, when one exceeds 255 bytes.
bool ShortEventDescriptor(const std::string& language, const std::string& name,
                          const std::string& text, Bytes* out, std::string* error);
struct ExtendedItem {
  std::string description;
  std::string item;
};
bool ExtendedEventDescriptor(int number, int last, const std::string& language,
                             const std::vector<ExtendedItem>& items, const std::string& text,
                             Bytes* out, std::string* error);
// Pairs of nibbles as one byte each (0x14: level 1 is 1, level 2 is 4), user byte 0.
Bytes ContentDescriptor(const std::vector<uint8_t>& nibbles);
struct Rating {
  std::string country;
  uint8_t rating;
};
Bytes ParentalRatingDescriptor(const std::vector<Rating>& ratings);

// The whole section, CRC_32 included. Fails (false, message) when a descriptor would exceed
// 255 bytes.
bool BuildEitSection(const Event& event, Bytes* section, std::string* error);

// A schedule section (table_id 0x50..0x5F) of `service_id` holding `events` (each Event's
// times, event_id and descriptors; its table_id, section_number and version are not used),
// last_section_number and segment_last_section_number equal to `section_number`.
bool BuildScheduleSection(uint16_t service_id, uint8_t table_id, uint8_t section_number,
                          uint8_t version, const std::vector<Event>& events, Bytes* section,
                          std::string* error);

// Appends the section as TS packets on `pid`: the first with payload_unit_start_indicator and
// pointer_field 0, continuations without; the last padded with 0xFF. `continuity` counts on.
void Packetise(uint16_t pid, const Bytes& section, uint8_t* continuity, Bytes* out);
void AppendNullPacket(Bytes* out);

// Appends `sections` packed as MPEG-2 systems packs them: back to back, a packet in which a
// section begins gets payload_unit_start_indicator and a pointer_field to it, the last packet
// is padded with 0xFF. The first packet's pointer_field is `first_pointer` (that many 0xFF
// bytes stand for the end of an earlier section).
void PacketiseSections(uint16_t pid, const std::vector<Bytes>& sections, uint8_t first_pointer,
                       uint8_t* continuity, Bytes* out);

// The 184 bytes behind the header of every packet on `pid` that carries a payload, back to
// back, as a host's section filter hands raw packets on. Lost sync is searched for again.
Bytes ExtractPayloads(const Bytes& stream, uint16_t pid);

// Service ids with p/f sections of the actual stream (table 0x4E, CRC_32 checked) on PID 0x12,
// in order of first appearance, with masks (1 present, 2 following) of the sections seen and
// of those that carry an event. Sections are assembled as a demultiplexer does: behind the
// pointer_field, several per packet, across packets, 0xFF stuffing.
struct ServiceSeen {
  uint16_t service_id;
  int sections;
  int events;
};
std::vector<ServiceSeen> ListServices(const Bytes& stream);

// The whole file at `path`; false when it cannot be read.
bool ReadFile(const char* path, Bytes* out);

// The schedule text (see mkts.cpp) to a transport stream.
bool BuildStream(const std::string& schedule, Bytes* stream, std::string* error);

// "00 4E F0 ..." with 16 bytes per line and the offset in front, for test failure messages.
std::string HexDump(const uint8_t* data, size_t size);

}  // namespace ts
