// A plain EN 300 468 decoder of EIT present/following, for the tests only: it reads a whole
// transport stream the way a receiver's demultiplexer does (transport packet headers,
// adaptation fields, continuity counters, payload_unit_start_indicator and pointer_field,
// several sections per packet, 0xFF stuffing, sections across packets) and keeps the sections
// of table 0x4E whose CRC_32 checks. It shares no code with the plug-in's reader, so the two
// can be held against each other on real broadcasts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace en300468 {

// The first event of one present (section 0) or following (section 1) section.
struct PfEvent {
  std::string name;        // event_name_char of the first short event descriptor, raw bytes
  uint8_t first_tag = 0;   // tag of the event's first descriptor
  bool has_short = false;  // the event's descriptor loop holds a short event descriptor
};

struct PfService {
  uint16_t service_id = 0;
  bool section_seen[2] = {false, false};  // a p/f section of this kind was seen at all
  // Every distinct first event carried (the broadcast may change it during the recording).
  std::vector<PfEvent> events[2];
};

struct DecodeStats {
  size_t packets = 0;           // PID 0x12 packets with a payload
  size_t sections = 0;          // sections assembled (any table)
  size_t crc_failures = 0;      // of those, sections whose CRC_32 failed
  size_t pf_sections = 0;       // table 0x4E sections with a good CRC
  size_t nonzero_pointers = 0;  // packets whose pointer_field was not 0
  size_t packed = 0;            // sections that began behind another section in one packet
};

// Services in order of first appearance.
std::vector<PfService> DecodePresentFollowing(const std::vector<uint8_t>& stream,
                                              DecodeStats* stats);

// MPEG-2 CRC_32 (ISO/IEC 13818-1 annex A), written out here again on purpose.
uint32_t Crc32(const uint8_t* data, size_t size);

}  // namespace en300468
