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
  std::string text;        // its text_char, raw bytes
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

// An annex A text field (selector included) as UTF-8, read the plain way: the selector names a
// character set and glibc's iconv converts each character on its own. The rules beyond the
// tables are the plug-in's: a NUL ends the text; control codes 0x80..0x9F (U+E080..U+E09F in
// the two-byte tables and UTF-8) are dropped but the line break 0x8A, which is a blank; C1
// controls are dropped; a character cut by the field's end is dropped; what does not convert
// is U+FFFD; a field without a selector that has bytes of 0xA0 and above but no ISO/IEC 6937
// diacritic followed by a letter it composes with is ISO/IEC 8859-15. Returns false when the
// C library has no converter for the set the field needs.
bool DecodeText(const std::string& field, std::string* utf8);

// MPEG-2 CRC_32 (ISO/IEC 13818-1 annex A), written out here again on purpose.
uint32_t Crc32(const uint8_t* data, size_t size);

}  // namespace en300468
