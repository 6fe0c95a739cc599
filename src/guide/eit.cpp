// The EIT filter and the present/following section reader.
//
// GetEIT asks the host, once, for a section filter on PID 0x0012, where DVB carries the Event
// Information Table. The host then calls OnDataArrival with what the filter receives: the
// payloads of consecutive 188-byte transport packets, 184 bytes each, back to back. The reader
// looks for EIT present/following sections of the actual transport stream (EN 300 468, 5.2.4,
// table_id 0x4E), takes section 0 (present) and section 1 (following) of the current channel's
// service, and turns a text descriptor of the first event of each into a name, a description
// and a display line.
//
// Every block is read twice.
//
// The positional pass comes first and is what this reader has always done: it expects a
// section to start right behind the pointer field of every packet and reads fixed offsets from
// the packet start P (section byte n lies at P+n+1), straight on into the next packet where a
// section is longer than one, and it takes the first descriptor of the first event.
//
// The section pass (eit_sections.cpp) then walks the same packets as a demultiplexer does,
// section by section, and checks each section's CRC_32.
// The section pass feeds only events that the positional pass did not capture, through the same
// descriptor reading, cleaning and line building, so both passes give byte-identical lines; and
// an event whose text the positional pass cut at the end of a block, which it completes from the
// whole section (CRC-checked) of the same version.
// Where the first descriptor carries no text the reader knows (0x4D, 0x4E, 0x69), the section
// pass takes the event's first short event descriptor: many networks send a component
// descriptor (0x50) or a content descriptor (0x54) first.
//
// Once both events are captured (eitstate 7, and 8 once they are on the display) only the
// section pass runs, and only to follow the broadcast: the network gives the p/f sub-table a
// new version_number when the present event ends. A section of the current service whose
// version differs from the one its event was captured from is read again; both events of the
// new version are staged and published together, and eitstate goes back to 7 so the display
// timer shows them at its next display cycle. Sections of the version shown cost a header
// check.
//
// Texts. Each name and text field opens with its own character-table selector (EN 300 468
// annex A); the reader decodes the field's bytes to UTF-8 (guide/dvb_text.h) and then applies the
// display's cleaning to the decoded characters, so everything behind the reader carries UTF-8.
// The debug dump still writes the blocks as broadcast.
//
// Broadcast bytes decide where lengths and texts lie, so every read goes through BlockView,
// which cannot leave the data it was given: a length or tag the reader needs that lies past the
// end passes the packet over; a name or text that runs past the end is cut there.
//
// Threads: the host calls OnDataArrival on a thread of its choosing, while channel changes and
// the display timer run elsewhere. The reader keeps its working fields and its capture buffers
// to itself (ReaderLock, in case a host delivers on more than one thread), builds a whole event
// there, and publishes it under GuideLock: names, description, line, and only then the event's
// bit in eitstate. A channel change bumps a generation count under the same lock, so an event
// read for the previous channel is never published for the new one, and each captured event
// keeps its service id, so the two lines that reach the display are always of one service.
// GuideLock is never held across a host message, a panel call or file I/O.
#include "guide/eit.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "guide/dvb_text.h"
#include "guide/eit_sections.h"
#include "guide/event_reader.h"
#include "guide/event_times.h"
#include "guide/filter.h"
#include "guide/schedule.h"
#include "panels/panels.h"
#include "settings/settings.h"
#include "shared/channel.h"
#include "shared/languages.h"

std::atomic<int32_t> eitstate{0};
char nowtxt[kGuideTextMax];
char nxttxt[kGuideTextMax];
char nowname[kGuideTextMax];
char nowdesc[kGuideTextMax];
char nxtname[kGuideTextMax];
char nxtdesc[kGuideTextMax];
char evtime[256];
std::atomic<uint32_t> GuideSerial{0};

namespace {

constexpr int kPacketPayload = 184;  // a 188-byte transport packet less its 4-byte header
constexpr int kMinBlock = 184;
constexpr int kMaxBlock = 2000;
constexpr int kReaderFilter = 1;  // the filter number the start record carries

constexpr uint16_t kMinSectionLength = 15;  // the fixed header fields plus the CRC_32
constexpr uint8_t kLongExtendedDescriptor = 192;
constexpr size_t kLongExtendedText = 48;

constexpr int32_t kBothReady = 7;
constexpr int32_t kShown = 8;

constexpr int32_t kDebugDump = -1;
constexpr char kDumpPath[] = "C:\\Pelta_EIT.dbg";

// The reader's working fields, as the reader has always named them (see eit.h for the rest).
uint16_t pack;    // whole 184-byte packets in the block
uint16_t w;       // packet being examined
uint16_t ofs;     // its offset in the block
uint16_t tabid;   // table_id
uint16_t tleng;   // section_length
uint16_t eitsid;  // service_id of the section
uint16_t chasid;  // service id of the current channel
uint16_t nownxt;  // section_number & 1: 0 present, 1 following
uint16_t evdesc;  // descriptor_tag of the first descriptor of the first event
uint16_t sho4d;   // short event: event_name_length
uint16_t lon4d;   // short event: text_length
uint16_t sho4e;   // extended event: text length as taken
uint16_t sho69;   // 0x69: name length
uint16_t lon69;   // 0x69: text length
uint8_t orax;     // start_time hour, BCD
uint8_t min;      // start_time minute, BCD
uint8_t evver;    // version_number of the section
uint16_t evmjd;   // start_time date, Modified Julian Date (0xFFFF: undefined)
uint8_t evsec;    // start_time second, BCD
int32_t evdur;    // duration in seconds (kUnknownDuration: not BCD, or all ones)
int leadskip;     // 0, or 1 when the name begins with a blank or is empty

// The text fields of the descriptor being read, as broadcast (selector included), and how many
// of their bytes lie in the data at hand. A field is at most 255 bytes (an 8-bit length).
constexpr size_t kMaxField = 256;
uint8_t rawname[kMaxField];
uint8_t rawdesc[kMaxField];
size_t rawnamelen;
size_t rawdesclen;
bool rawcut;  // a field runs past the end of the data: its text is cut there

// The event being captured, before it is published: decoded to UTF-8 and cleaned. A field of
// 255 bytes decodes to at most 765 bytes, so the buffers never cut a decoded text.
char capname[kGuideTextMax];
char capdesc[kGuideTextMax];
EventTimes captimes;  // its start and duration

// Guarded by GuideLock: bumped by every channel change.
uint32_t guidegen = 0;
// Guarded by GuideLock: the service each captured event belongs to. The host's thread stores
// the new channel record some time before it resets the collection; an event of the new
// service read in between must not be paired with the old service's other event.
uint16_t nowsid = 0;
uint16_t nxtsid = 0;
// Guarded by GuideLock: a format-2 following line was built before the present event of the
// same channel; it is rebuilt from that event's description once it is captured.
bool nxtpending = false;
// Guarded by GuideLock: the version_number of the sections the present and following events
// were captured from.
uint8_t nowver = 0;
uint8_t nxtver = 0;
// Guarded by GuideLock: start and duration of the captured present and following events.
EventTimes nowtimes{kUndefinedDate, 0, 0, 0, kUnknownDuration};
EventTimes nxttimes{kUndefinedDate, 0, 0, 0, kUnknownDuration};

// Watching the broadcast once both events are captured (eitstate 7 and 8), under ReaderLock.
// The p/f sub-table's version_number changes when the network updates it (the present event
// ended): both events are then captured again, staged here, and published together.
bool watching = false;
uint8_t knownver[2];  // per block, from nowver and nxtver: present, following
struct Staged {
  bool have;
  uint8_t version;
  int leadskip;
  char name[kGuideTextMax];
  char desc[kGuideTextMax];
  char time[sizeof evtime];
  EventTimes times;
};
Staged staged[2];
uint32_t stagedgen = 0;

int EventIndex(int32_t bit) {
  return bit == kPresentBit ? 0 : 1;
}

// The channel generation the section pass reads for, under ReaderLock.
uint32_t sectiongen = 0;
// Events (bit values 2 and 4) whose line the positional pass built from a first descriptor
// without text: in this block, and in earlier blocks of the channel generation textlessgen.
int32_t textless = 0;
int32_t textlessbefore = 0;
uint32_t textlessgen = 0;
// Events (bit values) the positional pass published with a text cut at the end of a block, of
// the channel generation cutgen and the versions in cutver (present, following). The section
// pass takes such an event once more when it sees its whole section, and publishes the whole
// text in place of the cut one.
int32_t cutbits = 0;
uint32_t cutgen = 0;
uint8_t cutver[2];

// One reader at a time over the working fields above.
std::mutex ReaderLock;

// The language preference of the block being read, under ReaderLock.
uint64_t blockprefs = 0;
// The guide window's present and following events (index 0 and 1): the whole sections they were
// last read from, CRC-checked, kept under GuideLock. The event reader turns them into records
// when the window (or pelta-tool) asks, on its caller's thread: the data thread only copies a
// section's bytes. The reader keeps, under ReaderLock, which version it kept for which channel
// generation, so that a section of that version costs a header check.
constexpr size_t kGuideSectionMax = 4096;
bool rechave[2];
uint8_t recver[2];
uint32_t recgen[2];
uint8_t guidesec[2][kGuideSectionMax];
size_t guidesecsize[2];
bool guiderechave[2];

void DumpBlock(const unsigned char* data, int length) {
  int file = CVI_OpenFile(kDumpPath, 2, 1, 0);  // write only, append, binary
  if (file < 0) return;
  WriteLine(file, reinterpret_cast<const char*>(data), length);
  CVI_CloseFile(file);
}

// A text field's `count` bytes from `pos` into `field`; the bytes at hand when the field runs
// past the end of the data, and rawcut set.
size_t TakeField(const BlockView& block, size_t pos, size_t count, uint8_t* field) {
  const size_t got = block.Copy(pos, count, field);
  if (got < count) rawcut = true;
  return got;
}

// A raw field as the display shows it: decoded to UTF-8 (EN 300 468 annex A), then control
// characters and the star blanked.
void DecodeField(const uint8_t* field, size_t size, char* out) {
  const DvbTextResult decoded = DecodeDvbText(field, size, out, kGuideTextMax);
  CleanDvbText(out, decoded.length, false);
}

// Copies a published text out for a caller's buffer, cut at a character boundary.
void CopyOut(char* out, size_t size, const char* text) {
  if (size == 0) return;
  std::snprintf(out, size, "%s", text);
  DropCutUtf8Tail(out, size);
}

// Reads the text descriptor whose tag `evdesc` names and that begins at `d` into capname and
// capdesc. For the positional pass d is P+27, the first descriptor of the first event; all
// other positions follow from it (P+32 is d+5, P+33 is d+6, and so on). Returns false when a
// length or position the descriptor needs lies past the data: the packet is then passed over.
// `copied` tells whether the descriptor was one that carries text.
bool ReadDescriptor(BlockView& block, size_t d, bool* copied) {
  std::memset(capname, 0, sizeof capname);  // an empty name is read behind its leading skip
  std::memset(capdesc, 0, sizeof capdesc);
  rawnamelen = rawdesclen = 0;
  rawcut = false;
  *copied = false;
  block.Clear();
  switch (evdesc) {
    case kShortEventTag: {
      // descriptor_tag d, length d+1, ISO_639_language_code d+2..4, event_name_length d+5,
      // event_name_char d+6.., text_length behind the name, then text_char. Each of the two
      // fields opens with its own character-table selector.
      sho4d = block.Byte(d + 5);
      lon4d = block.Byte(d + 6 + sho4d);
      if (block.failed()) return false;
      rawnamelen = TakeField(block, d + 6, sho4d, rawname);
      rawdesclen = TakeField(block, d + 7 + sho4d, lon4d, rawdesc);
      *copied = true;
      return true;
    }
    case kExtendedEventTag: {
      // descriptor_number d+2, ISO_639_language_code d+3..5, length_of_items L at d+6, the
      // items, text_length at d+7+L and text_char from d+8+L. A descriptor of 192 bytes or
      // more gives exactly 48 bytes of its text.
      const uint16_t length = block.Byte(d + 1);
      const uint16_t items = block.Byte(d + 6);
      if (length >= kLongExtendedDescriptor) {
        sho4e = kLongExtendedText;
      } else {
        sho4e = block.Byte(d + 7 + items);
        if (block.failed()) return false;
      }
      rawnamelen = TakeField(block, d + 8 + items, sho4e, rawname);
      *copied = true;
      return true;
    }
    case kTextTag69: {
      // EN 300 468 gives 0x69 to the PDC descriptor, which has no text; the broadcasts the
      // reader was made for put a name of M - 1 bytes at d+12 (M at d+10, one byte between)
      // and a text length and text behind it.
      const uint16_t m = block.Byte(d + 10);
      lon69 = block.Byte(d + 11 + m);
      if (block.failed()) return false;
      sho69 = m > 0 ? static_cast<uint16_t>(m - 1) : 0;
      rawnamelen = TakeField(block, d + 12, sho69, rawname);
      rawdesclen = TakeField(block, d + 12 + m, lon69, rawdesc);
      *copied = true;
      return true;
    }
    default:
      return true;  // no text: the line is built with an empty name, the bit stays clear
  }
}

// Builds an event's display line into `out` (kGuideTextMax). `desc` is the description the
// format shows. Every format closes with one blank.
void BuildLine(char* out, int32_t format, bool following, const char* name, const char* desc,
               const char* present_desc) {
  out[0] = '\0';
  switch (format) {
    case 0:
      std::snprintf(out, kGuideTextMax, "(%s) %s ", evtime, name);
      break;
    case 1:
      std::snprintf(out, kGuideTextMax, "(%s) %s > %s ", evtime, name, desc);
      break;
    case 2:
      if (following) {
        std::snprintf(out, kGuideTextMax, "%s ", present_desc);
      } else {
        std::snprintf(out, kGuideTextMax, "(%s) %s ", evtime, name);
      }
      break;
    default:
      break;  // no line
  }
  // snprintf cuts a line that does not fit byte-wise: not inside a character.
  DropCutUtf8Tail(out, kGuideTextMax);
}

// With programme times on, the start in evtime is followed by the end in the same time base:
// "20:00\u201320:45" (an en dash between). An unknown duration leaves the start alone.
void AppendEndTime() {
  if (ProgrammeTimes.load() != 1) return;
  char end[16];
  if (!FormatEndTime(captimes, LocalTime.load() != 0, HourOffset.load(), end, sizeof end)) return;
  const size_t n = std::strlen(evtime);
  std::snprintf(evtime + n, sizeof evtime - n, "\xE2\x80\x93%s", end);
}

// Publishes the captured event as the present (bit 2) or following (bit 4) one, unless the
// channel changed (generation), the event was taken meanwhile or the state no longer reads.
// True when it added the event's bit to eitstate.
bool Publish(int32_t bit, uint32_t generation, bool copied, uint16_t sid, uint8_t version) {
  const int32_t format = GuideFormat.load();
  const char* name = capname + leadskip;
  std::lock_guard<std::mutex> lock(GuideLock);
  if (generation != guidegen) return false;
  int32_t state = eitstate.load();
  if (state < 1 || state > kBothReady || (state & bit) != 0) return false;
  const int32_t other = bit == kPresentBit ? kFollowingBit : kPresentBit;
  const uint16_t other_sid = bit == kPresentBit ? nxtsid : nowsid;
  // The other event is of another service: the channel changed and its reset is on its way.
  if ((state & other) != 0 && other_sid != sid) return false;

  if (bit == kPresentBit) {
    std::memcpy(nowname, capname, sizeof nowname);
    std::memcpy(nowdesc, capdesc, sizeof nowdesc);
    GuideSerial.fetch_add(1);
    BuildLine(nowtxt, format, false, name, nowdesc, nowdesc);
    if (copied && nxtpending) {
      // The following line of format 2 shows this channel's present description.
      BuildLine(nxttxt, 2, true, nxtname, nxtdesc, nowdesc);
      nxtpending = false;
    }
  } else {
    std::memcpy(nxtname, capname, sizeof nxtname);
    std::memcpy(nxtdesc, capdesc, sizeof nxtdesc);
    // Format 2 before this channel's present event: nowdesc still holds the previous
    // channel's text, which must not show; the line waits for the present event.
    const bool present_known = (state & kPresentBit) != 0;
    BuildLine(nxttxt, format, true, name, nxtdesc, present_known ? nowdesc : "");
    if (copied && format == 2 && !present_known) nxtpending = true;
  }
  if (!copied) return false;
  (bit == kPresentBit ? nowsid : nxtsid) = sid;
  (bit == kPresentBit ? nowver : nxtver) = version;
  (bit == kPresentBit ? nowtimes : nxttimes) = captimes;
  // eitstate is also stored outside the lock (filter start and stop): add the bit only to the
  // state we checked.
  while (!eitstate.compare_exchange_weak(state, state | bit)) {
    if (state < 1 || state > kBothReady || (state & bit) != 0) return false;
  }
  return true;
}

// Both events of a new version, or one of them where the other is already of that version,
// replace the lines, names and descriptions in one step, for the same channel generation and
// service only. eitstate goes back to 7: the display timer puts the lines up at its next tick
// of a display cycle (P, O, a channel change), in place while the strip is up; it never shows
// the strip by itself.
void PublishRefresh(uint8_t version) {
  const int32_t format = GuideFormat.load();
  std::lock_guard<std::mutex> lock(GuideLock);
  if (stagedgen != guidegen) return;
  int32_t state = eitstate.load();
  if (state != kBothReady && state != kShown) return;
  if (nowsid != chasid || nxtsid != chasid) return;
  if (staged[0].have) {
    const Staged& e = staged[0];
    std::memcpy(nowname, e.name, sizeof nowname);
    std::memcpy(nowdesc, e.desc, sizeof nowdesc);
    GuideSerial.fetch_add(1);
    std::memcpy(evtime, e.time, sizeof evtime);
    BuildLine(nowtxt, format, false, e.name + e.leadskip, nowdesc, nowdesc);
    nowver = version;
    nowtimes = e.times;
  }
  if (staged[1].have) {
    const Staged& e = staged[1];
    std::memcpy(nxtname, e.name, sizeof nxtname);
    std::memcpy(nxtdesc, e.desc, sizeof nxtdesc);
    std::memcpy(evtime, e.time, sizeof evtime);
    BuildLine(nxttxt, format, true, e.name + e.leadskip, nxtdesc, nowdesc);
    nxtver = version;
    nxttimes = e.times;
  } else if (format == 2) {
    BuildLine(nxttxt, format, true, "", nxtdesc, nowdesc);  // the new present description
  }
  eitstate.compare_exchange_strong(state, kBothReady);
}

// Whether the event just read completes one published with a cut text.
bool CompletesCut(int32_t bit, uint8_t version) {
  return (cutbits & bit) != 0 && cutgen == sectiongen && cutver[EventIndex(bit)] == version;
}

// The whole text of an event whose line was built from a text cut at a block's end replaces
// name, description and line, for the same channel generation, service and version only. Once
// the lines were on the display (eitstate 8), eitstate goes back to 7 so that the display timer
// shows the whole text at its next display cycle.
void PublishWhole(int32_t bit, uint16_t sid, uint8_t version) {
  const int32_t format = GuideFormat.load();
  std::lock_guard<std::mutex> lock(GuideLock);
  if (cutgen != guidegen) return;
  int32_t state = eitstate.load();
  if (state < 1 || state > kShown || (state != kShown && (state & bit) == 0)) return;
  const bool present = bit == kPresentBit;
  if ((present ? nowsid : nxtsid) != sid || (present ? nowver : nxtver) != version) return;
  const bool following_known = (state & kFollowingBit) != 0 || state == kShown;
  (present ? nowtimes : nxttimes) = captimes;
  if (present) {
    std::memcpy(nowname, capname, sizeof nowname);
    std::memcpy(nowdesc, capdesc, sizeof nowdesc);
    GuideSerial.fetch_add(1);
    BuildLine(nowtxt, format, false, capname + leadskip, nowdesc, nowdesc);
    // The following line of format 2 shows the present description.
    if (format == 2 && following_known && !nxtpending) {
      BuildLine(nxttxt, format, true, nxtname, nxtdesc, nowdesc);
    }
  } else {
    std::memcpy(nxtname, capname, sizeof nxtname);
    std::memcpy(nxtdesc, capdesc, sizeof nxtdesc);
    if (format != 2) BuildLine(nxttxt, format, true, capname + leadskip, nxtdesc, nowdesc);
  }
  if (state == kShown) eitstate.compare_exchange_strong(state, kBothReady);
}

// A captured event of a version other than the one shown, kept until its partner is there.
void Stage(int32_t bit, bool copied) {
  if (!copied) return;
  if (stagedgen != sectiongen) {
    staged[0].have = staged[1].have = false;
    stagedgen = sectiongen;
  }
  for (Staged& e : staged) {
    if (e.have && e.version != evver) e.have = false;  // an even newer version
  }
  Staged& e = staged[EventIndex(bit)];
  e.have = true;
  e.version = evver;
  e.leadskip = leadskip;
  std::memcpy(e.name, capname, sizeof e.name);
  std::memcpy(e.desc, capdesc, sizeof e.desc);
  std::memcpy(e.time, evtime, sizeof e.time);
  e.times = captimes;
  for (int i = 0; i < 2; ++i) {
    if (!(staged[i].have && staged[i].version == evver) && knownver[i] != evver) return;
  }
  PublishRefresh(evver);
  staged[0].have = staged[1].have = false;
  knownver[0] = knownver[1] = evver;
}

// The shared end of both passes: reads the text descriptor at `d` (tag in evdesc, start time in
// orax and min), formats, cleans and publishes the event as the present or following one.
void CaptureEvent(BlockView& block, size_t d, int32_t bit, uint32_t generation) {
  bool copied = false;
  if (!ReadDescriptor(block, d, &copied)) return;
  captimes = EventTimes{evmjd, orax, min, evsec, evdur};
  BcdT(static_cast<signed char>(orax), static_cast<signed char>(min), evmjd);
  AppendEndTime();
  DecodeField(rawname, rawnamelen, capname);
  DecodeField(rawdesc, rawdesclen, capdesc);
  leadskip = static_cast<unsigned char>(capname[0]) < 33 ? 1 : 0;
  if (!copied) textless |= bit;
  if (copied && !rawcut && CompletesCut(bit, evver)) {
    PublishWhole(bit, eitsid, evver);
    cutbits &= ~bit;
    return;
  }
  if (watching) {
    Stage(bit, copied);
    return;
  }
  if (!Publish(bit, generation, copied, eitsid, evver)) return;
  if (cutgen != generation) cutbits = 0;
  cutgen = generation;
  cutver[EventIndex(bit)] = evver;
  cutbits = rawcut ? (cutbits | bit) : (cutbits & ~bit);
}

// Whether the event of the section that begins at packet `p` should be read from another short
// event descriptor than its first descriptor, for the viewer's languages: its short event
// descriptors are of several languages and the chosen one is not the first descriptor, or its
// descriptor loop runs past the block while the first descriptor is a short event descriptor
// of a language other than the most preferred. The section pass then reads the event from its
// whole section. An event of one language is read here as it always was.
bool AnotherLanguageChosen(BlockView& block, size_t p) {
  if (evdesc != kShortEventTag && evdesc != kExtendedEventTag && evdesc != kTextTag69) {
    return false;
  }
  // Section byte n lies at P+1+n; the loop length at section offsets 24 and 25, the loop from
  // 26 (P+27, inside the packet).
  const uint8_t* section = block.At(p + 1);
  const size_t at_hand = block.size() - (p + 1);
  const size_t loop_length = static_cast<size_t>((section[24] & 0x0F) << 8 | section[25]);
  EventHeader event{};
  event.loop = 26;
  event.loop_end = 26 + loop_length;
  const size_t events_end = 3 + size_t{tleng} - 4;  // tleng is 16 or more here
  if (event.loop_end > events_end) event.loop_end = events_end;
  const bool cut = event.loop_end > at_hand;
  if (cut) event.loop_end = at_hand;
  bool multilingual = false;
  const size_t chosen = ChooseShortEvent(section, event, blockprefs, &multilingual);
  if (multilingual && chosen != 0 && chosen != event.loop) return true;
  return cut && evdesc == kShortEventTag && (blockprefs & 3) != 0 && block.size() > p + 31 &&
         LanguageRank(blockprefs, section + 28) != 0;
}

void ExaminePacket(BlockView& block, int filter, bool* have_channel, uint32_t* generation) {
  const size_t p = ofs;
  // Every byte up to P+27 lies inside the packet (pack = length / 184), so inside the block.
  const unsigned char* packet = block.At(p);
  tabid = packet[1];
  tleng = static_cast<uint16_t>((packet[2] & 0x0F) << 8 | packet[3]);
  eitsid = static_cast<uint16_t>(packet[4] << 8 | packet[5]);
  evver = (packet[6] >> 1) & 0x1F;
  evmjd = static_cast<uint16_t>(packet[17] << 8 | packet[18]);
  evsec = packet[21];
  evdur = DurationSeconds(packet[22], packet[23], packet[24]);
  nownxt = packet[7] & 1;
  orax = packet[19];
  min = packet[20];
  evdesc = packet[27];

  if (filter != kReaderFilter || tabid != kTableEitPfActual || tleng < kMinSectionLength) return;
  // Exactly the header and the CRC: the section has no event, and the bytes behind it belong
  // to something else.
  if (tleng == kMinSectionLength) return;

  // The current service once per block: a channel change during the block is caught by the
  // generation check before anything is published.
  if (!*have_channel) {
    std::lock_guard<std::mutex> lock(GuideLock);
    chasid = ServiceId(CurrentChannel);
    *generation = guidegen;
    *have_channel = true;
  }
  if (eitsid != chasid) return;
  const int32_t bit = nownxt == 0 ? kPresentBit : kFollowingBit;
  if ((eitstate.load() & bit) != 0) return;
  if (AnotherLanguageChosen(block, p)) return;  // the section pass takes it
  CaptureEvent(block, p + 27, bit, *generation);
}

}  // namespace

bool EventWanted(int32_t bit, uint8_t version) {
  if (CompletesCut(bit, version)) return true;
  if (!watching) return (eitstate.load() & bit) == 0;
  const Staged& e = staged[EventIndex(bit)];
  return version != knownver[EventIndex(bit)] &&
         !(e.have && e.version == version && stagedgen == sectiongen);
}

// A first descriptor without text is taken by the event's short event descriptor only where
// the positional pass did not build that event's line from it in this same block (a line it
// has always built, and that a later section replaces), or did so in an earlier block too: the
// section repeats, and its next sighting then captures it.
bool MayTakeLaterDescriptor(int32_t bit) {
  if (watching) return true;
  return (textless & bit) == 0 || (textlessgen == sectiongen && (textlessbefore & bit) != 0);
}

bool RecordWanted(int32_t bit, uint8_t version) {
  const int i = EventIndex(bit);
  return !(rechave[i] && recgen[i] == sectiongen && recver[i] == version);
}

void CaptureRecord(const uint8_t* sec, size_t size, int32_t bit, uint8_t version) {
  if (size > kGuideSectionMax) return;
  const int i = EventIndex(bit);
  {
    std::lock_guard<std::mutex> lock(GuideLock);
    if (sectiongen != guidegen) return;
    std::memcpy(guidesec[i], sec, size);
    guidesecsize[i] = size;
    guiderechave[i] = true;
    if (bit == kPresentBit) {
      // The schedule keeps nothing that ended before the programme now on air began.
      constexpr size_t kFirstEvent = 14;
      EventHeader h{};
      int64_t start = 0;
      const bool known = size >= kFirstEvent + 4 &&
                         ReadEventHeader(sec, size - 4, kFirstEvent, &h) &&
                         StartUtc(h.times, &start);
      SetSchedulePresentLocked(known, start);
    }
    GuideSerial.fetch_add(1);
  }
  rechave[i] = true;
  recgen[i] = sectiongen;
  recver[i] = version;
}

uint64_t BlockLanguages() {
  return blockprefs;
}

uint32_t SectionGeneration() {
  return sectiongen;
}

bool ReadingCurrentGenerationLocked() {
  return sectiongen == guidegen;
}

void CaptureSectionEvent(BlockView& section, const SectionEvent& event) {
  eitsid = event.service;
  nownxt = event.bit == kPresentBit ? 0 : 1;
  evdesc = event.tag;
  orax = event.hour;
  min = event.minute;
  evver = event.version;
  evmjd = event.mjd;
  evsec = event.second;
  evdur = event.duration;
  CaptureEvent(section, event.descriptor, event.bit, sectiongen);
}

void GetEIT() {
  FillFilterRequest();
  SendStartFilter();
}

extern "C" void PELTA_CDECL OnDataArrival(int filter, int length, const unsigned char* data) {
  if (length < kMinBlock || length > kMaxBlock || data == nullptr) return;
  // A host that writes no running id answers the start with data: this is the proof.
  if (filter == kReaderFilter) ConfirmFilterByData();
  const int32_t state = eitstate.load();
  // With no filter running nothing is read, dumped or captured: hosts go on delivering for a
  // moment after the stop, and a late delivery must not make eitstate look like a running
  // filter (GetEIT would never start one again).
  if (state <= 0 || state > kShown) return;

  std::lock_guard<std::mutex> reader(ReaderLock);
  // Once the lines are on the display, only a new version of the p/f sub-table matters, and
  // blocks are not dumped.
  if (state != kShown && DebugMode.load() == kDebugDump) DumpBlock(data, length);

  BlockView block(data, static_cast<size_t>(length));
  blockprefs = EpgLanguagePref.load();
  pack = static_cast<uint16_t>(length / kPacketPayload);
  textless = 0;
  bool have_channel = false;
  uint32_t generation = 0;
  watching = false;
  // With both events captured the positional pass has nothing left to take.
  for (w = 0; state < kBothReady && w < pack; ++w) {
    ofs = static_cast<uint16_t>(w * kPacketPayload);
    ExaminePacket(block, filter, &have_channel, &generation);
  }

  // What the positional pass left, the section pass may find; with both events captured it
  // watches for a new version of them, checking section headers only until one differs. A
  // section cut at the block's end is continued from the next block only when this one ended
  // on a packet boundary. Blocks that are not walked (sizes out of range) drop nothing:
  // whatever does not continue a carried section fails its CRC_32.
  const int32_t now = eitstate.load();
  if (filter != kReaderFilter || now < 1) {
    DropCarriedSection();
  } else {
    uint16_t service = 0;
    {
      std::lock_guard<std::mutex> lock(GuideLock);
      chasid = ServiceId(CurrentChannel);
      sectiongen = guidegen;
      service = chasid;
      const int32_t locked = eitstate.load();
      watching = locked == kBothReady || locked == kShown;
      knownver[0] = nowver;
      knownver[1] = nxtver;
    }
    SectionPass(data, size_t{pack} * kPacketPayload, pack, service);
    if (length % kPacketPayload != 0) DropCarriedSection();
  }
  if (textlessgen != sectiongen) {
    textlessbefore = 0;
    textlessgen = sectiongen;
  }
  textlessbefore |= textless;
}

void BcdT(signed char hour, signed char minute, uint16_t mjd) {
  std::memset(evtime, 0, sizeof evtime);
  const EventTimes start{mjd, static_cast<uint8_t>(hour), static_cast<uint8_t>(minute), 0,
                         kUnknownDuration};
  FormatStartTime(start, LocalTime.load() != 0, HourOffset.load(), evtime, sizeof evtime);
}

void ResetLinesForChannel() {
  std::lock_guard<std::mutex> lock(GuideLock);
  ++guidegen;
  nxtpending = false;
  guiderechave[0] = guiderechave[1] = false;
  ClearScheduleLocked();
  GuideSerial.fetch_add(1);
  if (eitstate.load() <= 0) return;
  eitstate = 1;
  nowtxt[0] = '\0';
  nxttxt[0] = '\0';
}

bool TakeReadyLines(char* now, char* next, size_t size, EventTimes* present) {
  std::lock_guard<std::mutex> lock(GuideLock);
  if (eitstate.load() != kBothReady) return false;
  CopyOut(now, size, nowtxt);
  CopyOut(next, size, nxttxt);
  if (present != nullptr) *present = nowtimes;
  eitstate = kShown;
  return true;
}

void CopyNowDesc(char* out, size_t size) {
  std::lock_guard<std::mutex> lock(GuideLock);
  CopyOut(out, size, nowdesc);
}

void CopyGuideContent(GuideContent* out) {
  constexpr size_t kFirstEvent = 14;  // behind the section header
  constexpr size_t kCrcSize = 4;
  // Both sections' bytes under the lock, one consistent moment; the reading outside it, into
  // the caller's records.
  uint8_t section[2][kGuideSectionMax];
  size_t size[2] = {0, 0};
  {
    std::lock_guard<std::mutex> lock(GuideLock);
    out->serial = GuideSerial.load();
    CopyOut(out->desc, sizeof out->desc, nowdesc);
    for (int i = 0; i < 2; ++i) {
      if (!guiderechave[i]) continue;
      size[i] = guidesecsize[i];
      std::memcpy(section[i], guidesec[i], size[i]);
    }
  }
  const uint64_t prefs = EpgLanguagePref.load();
  for (int i = 0; i < 2; ++i) {
    out->have[i] = size[i] >= kFirstEvent + kCrcSize &&
                   ReadEvent(section[i], size[i] - kCrcSize, kFirstEvent, prefs, &out->events[i]);
    if (!out->have[i]) ClearEventRecord(&out->events[i]);
  }
}

void ResetGuideState() {
  ResetFilterState();
  std::lock_guard<std::mutex> reader(ReaderLock);
  std::lock_guard<std::mutex> lock(GuideLock);
  eitstate = 0;
  for (char* text : {nowtxt, nxttxt, nowname, nowdesc, nxtname, nxtdesc, capname, capdesc}) {
    std::memset(text, 0, kGuideTextMax);
  }
  std::memset(rawname, 0, sizeof rawname);
  std::memset(rawdesc, 0, sizeof rawdesc);
  rawnamelen = rawdesclen = 0;
  rawcut = false;
  cutbits = 0;
  cutgen = 0;
  cutver[0] = cutver[1] = 0;
  std::memset(evtime, 0, sizeof evtime);
  pack = w = ofs = tabid = tleng = eitsid = chasid = nownxt = evdesc = 0;
  sho4d = lon4d = sho4e = sho69 = lon69 = 0;
  orax = min = 0;
  leadskip = 0;
  guidegen = 0;
  nowsid = nxtsid = 0;
  nowver = nxtver = evver = 0;
  evmjd = 0;
  evsec = 0;
  evdur = kUnknownDuration;
  captimes = nowtimes = nxttimes = EventTimes{kUndefinedDate, 0, 0, 0, kUnknownDuration};
  nxtpending = false;
  watching = false;
  knownver[0] = knownver[1] = 0;
  std::memset(staged, 0, sizeof staged);
  stagedgen = 0;
  ResetSectionPass();
  ResetScheduleState();
  sectiongen = textlessgen = 0;
  textless = textlessbefore = 0;
  blockprefs = 0;
  for (int i = 0; i < 2; ++i) {
    rechave[i] = guiderechave[i] = false;
    recver[i] = 0;
    recgen[i] = 0;
    guidesecsize[i] = 0;
  }
  GuideSerial.fetch_add(1);
}
