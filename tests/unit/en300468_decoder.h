// A plain EN 300 468 decoder of EIT present/following, for the tests only: it reads a whole
// transport stream the way a receiver's demultiplexer does (transport packet headers,
// adaptation fields, continuity counters, payload_unit_start_indicator and pointer_field,
// several sections per packet, 0xFF stuffing, sections across packets) and keeps the sections
// of table 0x4E whose CRC_32 checks. It shares no code with the plug-in's reader, so the two
// can be held against each other on real broadcasts.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
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

// Every whole section on PID 0x12 in stream order, as the demultiplexer assembles it (CRC not
// checked), handed to `take`.
void Demux(const std::vector<uint8_t>& stream,
           const std::function<void(const std::vector<uint8_t>&)>& take, DecodeStats* stats);

// The first event of a p/f section, every field the guide window shows: texts decoded with the
// CR/LF code as a line break; the name, text and extended text of one language, the most
// preferred of `prefs` (B and T codes of a language alike), else the first short event
// descriptor's; the extended parts of that language in descriptor_number order (a part whose
// number passes its last_descriptor_number, or repeats one, left out; an item list or text
// passing its descriptor leaves that out); every content pair and parental rating.
struct FullEvent {
  uint16_t event_id = 0;
  std::string start;   // "2023-12-22T20:00:00Z", "" when undefined
  long duration = -1;  // seconds, -1 when not known
  int running_status = 0;
  std::string language, name, text, extended;
  std::vector<std::pair<std::string, std::string>> items;
  std::vector<std::pair<int, int>> content;
  std::vector<std::pair<std::string, int>> ratings;
};
// Of service `sid`, in stream order: (0 present or 1 following, the event), for the p/f
// sections of the actual stream whose CRC_32 checks.
std::vector<std::pair<int, FullEvent>> DecodeFullEvents(const std::vector<uint8_t>& stream,
                                                        uint16_t sid,
                                                        const std::vector<std::string>& prefs);

// The schedule sections (tables 0x50 to 0x5F, actual stream, current_next_indicator 1, CRC_32
// checked) of service `sid` in stream order, with every event each carries, read as
// DecodeFullEvents reads one; the present sections (table 0x4E, section 0) among them.
struct ScheduleSection {
  uint8_t table_id = 0;
  uint8_t section_number = 0;
  uint8_t version = 0;
  std::vector<FullEvent> events;
};
std::vector<ScheduleSection> DecodeScheduleSections(const std::vector<uint8_t>& stream,
                                                    uint16_t sid,
                                                    const std::vector<std::string>& prefs);

// An annex A text field (selector included) as UTF-8, read the plain way: the selector names a
// character set and glibc's iconv converts each character on its own. The rules beyond the
// tables are the plug-in's: a NUL ends the text; control codes 0x80..0x9F (U+E080..U+E09F in
// the two-byte tables and UTF-8) are dropped but the line break 0x8A, which is a blank; C1
// controls are dropped; a character cut by the field's end is dropped; what does not convert
// is U+FFFD; a field without a selector that has bytes of 0xA0 and above but no ISO/IEC 6937
// diacritic followed by a letter it composes with is ISO/IEC 8859-15. Returns false when the
// C library has no converter for the set the field needs.
bool DecodeText(const std::string& field, std::string* utf8, char line_break = ' ');

// MPEG-2 CRC_32 (ISO/IEC 13818-1 annex A), written out here again on purpose.
uint32_t Crc32(const uint8_t* data, size_t size);

}  // namespace en300468
