// The EIT reader on recordings of live broadcasts (tests/data/captures/, see the README there),
// held against an independent EN 300 468 decoder (en300468_decoder.h), and on made streams
// that pack sections the way real multiplexers do: behind non-zero pointer fields, several in
// one packet, across the blocks a host delivers.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "alloc_counter.h"
#include "en300468_decoder.h"
#include "fixture.h"
#include "guide/eit.h"
#include "platform/sim/sim.h"
#include "settings/settings.h"
#include "shared/channel.h"
#include "ts.h"

namespace {

using ts::Bytes;

Bytes ReadFile(const std::string& path) {
  Bytes out;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return out;
  unsigned char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
  std::fclose(f);
  return out;
}

// A text field as the display shows it: decoded by the independent annex A decoder, then the
// display's cleaning: control characters and stars blank; for a name, one leading blank
// skipped (an empty name stays empty).
std::string AsShown(const std::string& field, bool name) {
  std::string text;
  EXPECT_TRUE(en300468::DecodeText(field, &text))
      << ts::HexDump(reinterpret_cast<const uint8_t*>(field.data()), field.size());
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == '*') c = ' ';
  }
  if (name && !text.empty() && text[0] == ' ') text.erase(0, 1);
  return text;
}

void SetChannel(uint16_t sid) {
  StoreCurrentChannel(MakeChannel("Test", 11778000, 1, sid, 0));
}

// Delivers `payloads` in blocks of `packets` packets, filter 1, as a host does.
void DeliverStream(const Bytes& payloads, size_t packets) {
  const size_t size = packets * ts::kPayloadSize;
  for (size_t at = 0; at < payloads.size(); at += size) {
    const size_t n = payloads.size() - at < size ? payloads.size() - at : size;
    OnDataArrival(1, static_cast<int>(n), payloads.data() + at);
  }
}

struct Lines {
  std::string now, next, desc;
  int32_t state;
};

Lines Taken() {
  char desc[kGuideTextMax];
  CopyNowDesc(desc, sizeof desc);
  return Lines{nowtxt, nxttxt, desc, eitstate.load()};
}

class GuideTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Reset();
    ResetSettingsState();
    ResetChannelState();
    ResetGuideState();
    GuideFormat = 1;
    DebugMode = 0;
  }
  void TearDown() override {
    ResetGuideState();
    ResetChannelState();
    ResetSettingsState();
    sim::Reset();
  }
  // The reader after a channel change to `sid` and the whole stream.
  void Run(const Bytes& payloads, uint16_t sid, size_t packets) {
    ResetGuideState();
    GuideFormat = 1;
    SetChannel(sid);
    eitstate = 1;
    DeliverStream(payloads, packets);
  }
};

struct CaptureCase {
  const char* file;
  size_t services;  // services with present/following sections
  size_t events;    // present and following events they carry
};

class Captures : public GuideTest, public ::testing::WithParamInterface<CaptureCase> {};

// Every present and following event that the decoder finds in the recording is captured, and
// its line carries the event's name; a section without an event captures nothing.
TEST_P(Captures, EveryPresentAndFollowingEvent) {
  const CaptureCase& c = GetParam();
  const Bytes stream = ReadFile(std::string(PELTA_TEST_DATA) + "/captures/" + c.file);
  ASSERT_FALSE(stream.empty()) << c.file;
  en300468::DecodeStats stats;
  const std::vector<en300468::PfService> services =
      en300468::DecodePresentFollowing(stream, &stats);
  EXPECT_EQ(stats.crc_failures, 0u);
  ASSERT_EQ(services.size(), c.services);
  const Bytes payloads = ts::ExtractPayloads(stream, ts::kEitPid);

  size_t carried = 0, captured = 0;
  for (size_t packets : {size_t{10}, size_t{1}, size_t{7}}) {
    for (const en300468::PfService& s : services) {
      Run(payloads, s.service_id, packets);
      const int32_t state = eitstate.load();
      const char* lines[2] = {nowtxt, nxttxt};
      for (int kind = 0; kind < 2; ++kind) {
        SCOPED_TRACE(::testing::Message() << c.file << " sid 0x" << std::hex << s.service_id
                                          << (kind ? " following" : " present") << std::dec
                                          << ", blocks of " << packets);
        const int32_t bit = kind == 0 ? 2 : 4;
        if (s.events[kind].empty()) {
          EXPECT_EQ(state & bit, 0);
          continue;
        }
        // The whole line as the broadcaster wrote it: "(HH:MM) name > text ", and for the
        // present event the description.
        bool found = false;
        for (const en300468::PfEvent& e : s.events[kind]) {
          ASSERT_TRUE(e.has_short);
          const std::string text = AsShown(e.text, false);
          const bool line = std::string(lines[kind]).substr(6) ==
                            ") " + AsShown(e.name, true) + " > " + text + " ";
          found = found || (line && (kind == 1 || Taken().desc == text));
        }
        if (packets == 10) ++carried;
        if (packets == 10 && found && (state & bit) != 0) ++captured;
        EXPECT_NE(state & bit, 0);
        EXPECT_TRUE(found) << "line: " << lines[kind]
                           << "\nname: " << AsShown(s.events[kind][0].name, true)
                           << "\ntext: " << AsShown(s.events[kind][0].text, false);
      }
    }
  }
  EXPECT_EQ(carried, c.events);
  EXPECT_EQ(captured, carried) << c.file << ": " << captured << " of " << carried;
}

INSTANTIATE_TEST_SUITE_P(Broadcasts, Captures,
                         ::testing::Values(CaptureCase{"sat-5w-12732v.ts", 5, 8},
                                           CaptureCase{"dvbt2-cz-pid18.ts", 14, 28},
                                           CaptureCase{"dvbt-it-rai.ts", 7, 12}),
                         [](const ::testing::TestParamInfo<CaptureCase>& param) {
                           std::string name = param.param.file;
                           name = name.substr(0, name.find('.'));
                           for (char& ch : name) {
                             if (ch == '-') ch = '_';
                           }
                           return name;
                         });

// ---- Made streams: sections packed as multiplexers pack them ----

ts::Event MakeEvent(uint16_t sid, int section, uint8_t tag, const std::string& name,
                    const std::string& text) {
  ts::Event e;
  e.service_id = sid;
  e.section_number = static_cast<uint8_t>(section);
  e.hour_bcd = section == 0 ? 0x20 : 0x21;
  e.minute_bcd = section == 0 ? 0x15 : 0x00;
  e.tag = tag;
  e.name = name;
  e.text = text;
  return e;
}

Bytes Section(const ts::Event& e) {
  Bytes section;
  std::string error;
  EXPECT_TRUE(ts::BuildEitSection(e, &section, &error)) << error;
  return section;
}

// A section of another table (an EIT schedule, 0x50) with a good CRC_32.
Bytes ScheduleSection(size_t body) {
  Bytes s = {0x50, static_cast<uint8_t>(0xF0 | (body + 4) >> 8),
             static_cast<uint8_t>((body + 4) & 0xFF)};
  s.resize(3 + body, 0x4E);
  const uint32_t crc = ts::Crc32Mpeg2(s.data(), s.size());
  for (int shift = 24; shift >= 0; shift -= 8) s.push_back(static_cast<uint8_t>(crc >> shift));
  return s;
}

// Appends a descriptor to the first event's loop: the lengths and the CRC_32 follow.
Bytes WithDescriptor(Bytes section, const Bytes& descriptor) {
  section.resize(section.size() - 4);
  section.insert(section.end(), descriptor.begin(), descriptor.end());
  const size_t length = section.size() + 4 - 3;
  section[1] = static_cast<uint8_t>(0xF0 | length >> 8);
  section[2] = static_cast<uint8_t>(length & 0xFF);
  const size_t loop =
      static_cast<size_t>((section[24] & 0x0F) << 8 | section[25]) + descriptor.size();
  section[24] = static_cast<uint8_t>((section[24] & 0xF0) | loop >> 8);
  section[25] = static_cast<uint8_t>(loop & 0xFF);
  const uint32_t crc = ts::Crc32Mpeg2(section.data(), section.size());
  for (int shift = 24; shift >= 0; shift -= 8) {
    section.push_back(static_cast<uint8_t>(crc >> shift));
  }
  return section;
}

Bytes Packed(const std::vector<Bytes>& sections, uint8_t first_pointer) {
  Bytes stream;
  uint8_t cc = 0;
  ts::PacketiseSections(ts::kEitPid, sections, first_pointer, &cc, &stream);
  return ts::ExtractPayloads(stream, ts::kEitPid);
}

// Each section alone behind a zero pointer field, as the positional pass has always read it.
Bytes OneByOne(const std::vector<Bytes>& sections) {
  Bytes stream;
  uint8_t cc = 0;
  for (const Bytes& s : sections) ts::Packetise(ts::kEitPid, s, &cc, &stream);
  return ts::ExtractPayloads(stream, ts::kEitPid);
}

class CapturesSections : public GuideTest {
 protected:
  // The lines from `payloads` for `sid`, delivered in blocks of `packets`.
  Lines LinesOf(const Bytes& payloads, uint16_t sid, size_t packets, int32_t format = 1) {
    ResetGuideState();
    GuideFormat = format;
    SetChannel(sid);
    eitstate = 1;
    DeliverStream(payloads, packets);
    return Taken();
  }
};

// Services, other tables and both events packed behind non-zero pointer fields give, in every
// block size and format, byte for byte the lines the same sections give one per packet.
TEST_F(CapturesSections, PackedSectionsGiveTheLinesOfSectionsAlone) {
  const std::string long_text(230, 'T');
  const std::vector<Bytes> sections = {
      Section(MakeEvent(0x0101, 1, 0x4D, "Other", "Service")),
      ScheduleSection(300),
      Section(MakeEvent(0x1234, 1, 0x4D,
                        std::string("\x10\x00\x05"
                                    "Film",
                                    7),
                        "A *long* film")),
      Section(MakeEvent(0x0101, 0, 0x4E, "Item", "Morning show")),
      Section(MakeEvent(0x1234, 0, 0x4D, "News", long_text)),
      ScheduleSection(12),
      Section(MakeEvent(0x0202, 0, 0x69, "Late", "Night talk")),
      Section(MakeEvent(0x0202, 1, 0x4E, "", "Weather")),
      Section(MakeEvent(0x0101, 0, 0x4D, "Replaced", "never shown")),
  };
  const Bytes alone = OneByOne(sections);
  for (uint8_t pointer : {uint8_t{0}, uint8_t{1}, uint8_t{37}, uint8_t{182}}) {
    const Bytes packed = Packed(sections, pointer);
    ASSERT_LT(packed.size(), alone.size());
    for (uint16_t sid : {uint16_t{0x1234}, uint16_t{0x0101}, uint16_t{0x0202}}) {
      for (int32_t format : {0, 1, 2}) {
        const Lines expected = LinesOf(alone, sid, 10, format);
        ASSERT_EQ(expected.state, 7);
        for (size_t packets = 1; packets <= 10; ++packets) {
          SCOPED_TRACE(::testing::Message() << "pointer " << int{pointer} << ", sid " << sid
                                            << ", format " << format << ", blocks of " << packets);
          const Lines got = LinesOf(packed, sid, packets, format);
          EXPECT_EQ(got.state, 7);
          EXPECT_EQ(got.now, expected.now);
          EXPECT_EQ(got.next, expected.next);
          EXPECT_EQ(got.desc, expected.desc);
        }
      }
    }
  }
}

// A section is taken only when it is plausible; each case is one block of one packet.
TEST_F(CapturesSections, OnlyPlausibleSectionsCount) {
  const Bytes present = Section(MakeEvent(0x1234, 0, 0x4D, "News", "Weather"));
  // 200 bytes more behind the short event descriptor: the section runs past one packet.
  Bytes content(202, 'x');  // a content descriptor of 200 bytes
  content[0] = 0x54;
  content[1] = 200;
  const Bytes longer = WithDescriptor(present, content);
  struct Case {
    const char* what;
    Bytes section;
    uint8_t pointer;
    std::vector<std::pair<size_t, uint8_t>> patch;  // section offset, value
    int32_t state;
  };
  const Case cases[] = {
      {"whole, behind a pointer", present, 60, {}, 3},
      {"whole, CRC broken", present, 60, {{40, 'X'}}, 1},
      {"cut, consistent header", longer, 60, {}, 3},
      {"cut, section_syntax_indicator clear", longer, 60, {{1, 0x72}}, 1},
      {"cut, last_table_id 0x4F", longer, 60, {{13, 0x4F}}, 1},
      {"cut, section 2", longer, 60, {{6, 2}}, 1},
      {"cut, not current", longer, 60, {{5, 0xC0}}, 1},
      {"cut, descriptor loop past the section", longer, 60, {{24, 0xF1}}, 1},
      {"cut, section_length above 4093", longer, 60, {{1, 0xFF}, {2, 0xFE}}, 1},
      {"cut before the descriptor ends", longer, 150, {}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes s = c.section;
    for (const auto& p : c.patch) s[p.first] = p.second;
    Bytes block = Packed({s}, c.pointer);
    block.resize(ts::kPayloadSize);
    ResetGuideState();
    SetChannel(0x1234);
    eitstate = 1;
    DeliverStream(block, 1);
    EXPECT_EQ(eitstate.load(), c.state);
    if (c.state == 3) {
      EXPECT_EQ(std::string(nowtxt), "(20:15) News > Weather ");
    }
  }
}

// 0xFF where a section would begin is stuffing: nothing behind it in that packet is a section.
TEST_F(CapturesSections, StuffingEndsThePacketsSections) {
  const Bytes other = Section(MakeEvent(0x0101, 0, 0x4D, "Other", "x"));
  const Bytes ours = Section(MakeEvent(0x1234, 0, 0x4D, "News", "Weather"));
  for (bool stuffed : {false, true}) {
    SCOPED_TRACE(stuffed ? "behind stuffing" : "packed");
    Bytes block = Packed({other}, 10);
    ASSERT_EQ(block.size(), ts::kPayloadSize);
    const size_t at = 11 + other.size() + (stuffed ? 1 : 0);
    std::memcpy(block.data() + at, ours.data(), ours.size());
    ResetGuideState();
    SetChannel(0x1234);
    eitstate = 1;
    DeliverStream(block, 1);
    EXPECT_EQ(eitstate.load(), stuffed ? 1 : 3);
  }
}

// A section cut at the end of a block before its descriptor is complete is finished from the
// next block, and taken only when the whole section's CRC_32 checks.
TEST_F(CapturesSections, CutSectionsContinueInTheNextBlock) {
  const Bytes following = Section(MakeEvent(0x1234, 1, 0x4D, "Film", std::string(150, 'D')));
  // Packet 0: pointer_field 170, the following section's first 13 bytes. Packet 1: pointer_field
  // 178, its other 178 bytes, then the present section, which ends in packet 2.
  const Bytes packed = Packed({following, Section(MakeEvent(0x1234, 0, 0x4D, "News", "W"))}, 170);
  ASSERT_EQ(packed.size(), 3 * ts::kPayloadSize);
  ASSERT_EQ(packed[184], 178);
  struct Case {
    const char* what;
    size_t corrupt;  // a payload byte to change (0: none)
    bool gap;        // a block of another stream position comes in between
    int32_t state;
  } cases[] = {
      {"continued", 0, false, 7},
      {"continuation corrupted", 184 + 20, false, 3},
      {"carried section corrupted", 176, false, 3},
      {"a block in between", 0, true, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes payloads = packed;
    if (c.corrupt != 0) payloads[c.corrupt] ^= 0x01;
    ResetGuideState();
    SetChannel(0x1234);
    eitstate = 1;
    OnDataArrival(1, 184, payloads.data());
    EXPECT_EQ(eitstate.load(), 1);  // the descriptor is not at hand yet
    if (c.gap) {
      const Bytes other(368, 0x00);
      OnDataArrival(1, 368, other.data());
    }
    OnDataArrival(1, 368, payloads.data() + 184);
    EXPECT_EQ(eitstate.load(), c.state);
    if ((c.state & 4) != 0) {
      EXPECT_EQ(std::string(nxttxt), "(21:00) Film > " + std::string(150, 'D') + " ");
    }
  }
}

// Where the first descriptor carries no text (a component descriptor first), the event's short
// event descriptor is taken. Behind a zero pointer field the positional pass has built the
// line without text in that block; the next sighting of the section captures it.
TEST_F(CapturesSections, ShortEventBehindAnotherDescriptor) {
  const Bytes present = Section(MakeEvent(0x1234, 0, 0x50, "News", "Weather"));
  for (uint8_t pointer : {uint8_t{0}, uint8_t{40}}) {
    SCOPED_TRACE(::testing::Message() << "pointer " << int{pointer});
    const Bytes block = Packed({present}, pointer);
    ResetGuideState();
    SetChannel(0x1234);
    eitstate = 1;
    DeliverStream(block, 1);
    if (pointer == 0) {
      EXPECT_EQ(eitstate.load(), 1);
      EXPECT_EQ(std::string(nowtxt), "(20:15)  >  ");
      DeliverStream(block, 1);
    }
    EXPECT_EQ(eitstate.load(), 3);
    EXPECT_EQ(std::string(nowtxt), "(20:15) News > Weather ");
    EXPECT_EQ(std::string(nowname), "News");
  }
  // A descriptor loop without a short event descriptor captures nothing.
  Bytes no_text = Section(MakeEvent(0x1234, 0, 0x4D, "News", "Weather"));
  no_text[26] = 0x50;
  no_text = WithDescriptor(no_text, {0x54, 0x02, 0x10, 0x00});  // CRC_32 made anew
  ResetGuideState();
  SetChannel(0x1234);
  eitstate = 1;
  DeliverStream(Packed({no_text}, 40), 1);
  DeliverStream(Packed({no_text}, 40), 1);
  EXPECT_EQ(eitstate.load(), 1);
}

// A description the positional pass cut at the end of a block is completed once the section
// pass has the whole section: in place, also after the lines were shown (eitstate goes back to
// 7 for the display's next cycle); never from a section that fails its CRC_32, of another
// version, or for a channel that was left.
TEST_F(CapturesSections, CutTextIsCompletedFromTheWholeSection) {
  const std::string text = "Ecco " + std::string(190, 'x') + " la fine \xE8 qui";
  const std::string whole = "Ecco " + std::string(190, 'x') + " la fine \xC3\xA8 qui";
  const Bytes following = Section(MakeEvent(0x1234, 1, 0x4D, "Film", "Drama"));
  Bytes present_v1 = Section(MakeEvent(0x1234, 0, 0x4D, "News", text));
  ts::Event other = MakeEvent(0x1234, 0, 0x4D, "News", text);
  other.version = 1;
  // Packet 0: the following section; packets 1 and 2: the present one.
  struct Case {
    const char* what;
    bool shown;    // the lines were taken by the display before the rest arrives
    bool corrupt;  // the second packet of the present section is damaged
    bool change;   // a channel change comes between the two blocks
    bool version;  // the whole section is of another version
    bool completed;
  } cases[] = {
      {"completed", false, false, false, false, true},
      {"completed after the lines were shown", true, false, false, false, true},
      {"CRC_32 fails", false, true, false, false, false},
      {"channel changed", false, false, true, false, false},
      {"another version is no completion", false, false, false, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes payloads = OneByOne({following, present_v1});
    ASSERT_EQ(payloads.size(), 3 * ts::kPayloadSize);
    if (c.version) {
      const Bytes next = OneByOne({following, Section(other)});
      std::copy(next.begin() + 2 * 184, next.end(), payloads.begin() + 2 * 184);
    }
    if (c.corrupt) payloads[2 * 184 + 5] ^= 0x01;
    ResetGuideState();
    SetChannel(0x1234);
    eitstate = 1;
    OnDataArrival(1, 2 * 184, payloads.data());
    ASSERT_EQ(eitstate.load(), 7);
    const std::string cut = Taken().desc;
    ASSERT_LT(cut.size(), whole.size());
    ASSERT_EQ(whole.rfind(cut, 0), 0u);
    if (c.shown) {
      char now[kGuideTextMax], next[kGuideTextMax];
      ASSERT_TRUE(TakeReadyLines(now, next, sizeof now));
    }
    if (c.change) {
      SetChannel(0x4321);
      ResetLinesForChannel();
    }
    OnDataArrival(1, 184, payloads.data() + 2 * 184);
    const Lines got = Taken();
    if (c.completed) {
      EXPECT_EQ(got.state, 7);
      EXPECT_EQ(got.desc, whole);
      EXPECT_EQ(got.now, "(20:15) News > " + whole + " ");
      EXPECT_EQ(got.next, "(21:00) Film > Drama ");
    } else if (!c.change) {
      EXPECT_EQ(got.state, c.shown ? 8 : 7);
      EXPECT_EQ(got.desc, cut);
    } else {
      EXPECT_EQ(got.state, 1);
    }
  }
}

TEST_F(CapturesSections, SectionPassAllocatesNothing) {
  const Bytes packed =
      Packed({Section(MakeEvent(0x1234, 1, 0x50, "Film", std::string(200, 'D'))),
              ScheduleSection(90), Section(MakeEvent(0x1234, 0, 0x4D, "News", "Weather"))},
             99);
  SetChannel(0x1234);
  eitstate = 1;
  AllocCounter guard;
  DeliverStream(packed, 1);
  EXPECT_EQ(guard.count(), 0);
  EXPECT_EQ(eitstate.load(), 7);
}

#ifdef PELTA_TOOL
// pelta-tool eit --list and --all on the satellite recording, whose sections are packed.
TEST(CapturesTool, ListAndAll) {
  const std::string file = std::string(PELTA_TEST_DATA) + "/captures/sat-5w-12732v.ts";
  const std::string tool = PELTA_TOOL;
  EXPECT_EQ(RunCommand(tool + " eit " + file + " --list"),
            "sid 1544 (0x0608): present:empty following\n"
            "sid 1546 (0x060A): present following\n"
            "sid 1542 (0x0606): present:empty following\n"
            "sid 1537 (0x0601): present following\n"
            "sid 1545 (0x0609): present following\n");
  const std::string all = RunCommand(tool + " eit " + file + " --all --guide-format 0");
  EXPECT_NE(all.find("sid 1546 (0x060A):\nnow: (00:31) 22h \n"
                     "next: (01:15) Emission Sp\xC3\xA9"
                     "ciale Politique \n"),
            std::string::npos)
      << all;
  size_t services = 0;
  for (size_t at = all.find("\nstate: "); at != std::string::npos;
       at = all.find("\nstate: ", at + 1)) {
    ++services;
  }
  EXPECT_EQ(services, 5u);
  EXPECT_NE(RunCommand(tool + " eit " + file + " --list --all 2>&1").find("usage"),
            std::string::npos);
}
#endif

}  // namespace
