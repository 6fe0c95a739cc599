// The EIT reader: blocks of PID 0x12 payloads in, programme lines and eitstate out.
//
// Most streams are made with the mkts helpers (tools/pelta-tool/ts.h); the worked packet and
// the cases that need broken lengths are written or patched byte by byte.
#include "guide/eit.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "alloc_counter.h"
#include "eit_helpers.h"
#include "fixture.h"
#include "platform/sim/sim.h"
#include "settings/settings.h"
#include "shared/channel.h"
#include "ts.h"

namespace {

using namespace std::string_literals;

using eit_helpers::Bytes;
using eit_helpers::Deliver;
using eit_helpers::ExpectText;
using eit_helpers::Hex;
using eit_helpers::kSchedule;
using eit_helpers::PayloadsOf;
using eit_helpers::SetChannel;

constexpr uint16_t kSid = 0x1234;

// The present section of service 0x1234: 20:15, short event descriptor "News" / "Weather".
const uint8_t kWorkedPacket[] = {
    0x00,                                                  // pointer_field
    0x4E, 0xF0, 0x2D,                                      // table_id, section_length 45
    0x12, 0x34, 0xC1, 0x00,                                // service_id, version, section 0
    0x01, 0x00, 0x01, 0x00, 0x01, 0x01, 0x4E, 0x00, 0x01,  // not read
    0xEB, 0x96, 0x20, 0x15, 0x00,                          // start_time 20:15:00
    0x00, 0x30, 0x00,                                      // duration
    0x80, 0x12,                                            // running, descriptors 18 bytes
    0x4D, 0x10, 0x65, 0x6E, 0x67,                          // short event, "eng"
    0x04, 0x4E, 0x65, 0x77, 0x73,                          // "News"
    0x07, 0x57, 0x65, 0x61, 0x74, 0x68, 0x65, 0x72,        // "Weather"
    0x5A, 0x5B, 0x5C, 0x5D,                                // CRC (not read)
};

Bytes WorkedBlock() {
  Bytes block(kWorkedPacket, kWorkedPacket + sizeof kWorkedPacket);
  block.resize(ts::kPayloadSize, 0xFF);
  return block;
}

// The payloads (pointer field first) of one event's section.
Bytes EventPayload(const ts::Event& e) {
  Bytes section, stream;
  std::string error;
  EXPECT_TRUE(ts::BuildEitSection(e, &section, &error)) << error;
  uint8_t cc = 0;
  ts::Packetise(ts::kEitPid, section, &cc, &stream);
  return ts::ExtractPayloads(stream, ts::kEitPid);
}

ts::Event MakeEvent(uint16_t sid, int section, uint8_t hour, uint8_t minute, uint8_t tag,
                    const std::string& name, const std::string& text) {
  ts::Event e;
  e.service_id = sid;
  e.section_number = static_cast<uint8_t>(section);
  e.hour_bcd = hour;
  e.minute_bcd = minute;
  e.tag = tag;
  e.name = name;
  e.text = text;
  return e;
}

ts::Event Present(const std::string& name, const std::string& text, uint16_t sid = kSid) {
  return MakeEvent(sid, 0, 0x20, 0x15, 0x4D, name, text);
}
ts::Event Following(const std::string& name, const std::string& text, uint16_t sid = kSid) {
  return MakeEvent(sid, 1, 0x21, 0x00, 0x4D, name, text);
}

// Delivers every payload in blocks of `packets`.
void DeliverStream(const Bytes& payloads, size_t packets) {
  const size_t size = packets * ts::kPayloadSize;
  for (size_t at = 0; at < payloads.size(); at += size) {
    const size_t n = payloads.size() - at < size ? payloads.size() - at : size;
    OnDataArrival(1, static_cast<int>(n), payloads.data() + at);
  }
}

std::string NowDesc() {
  char desc[kGuideTextMax];
  CopyNowDesc(desc, sizeof desc);
  return desc;
}

class EitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Reset();
    ResetSettingsState();
    ResetChannelState();
    ResetGuideState();
    GuideFormat = 1;
    SetChannel(kSid);
    eitstate = 1;
    // The process id too: two runs at once (two checkouts) run the same test.
    dump_ = ::testing::TempDir() + "pelta_eit_dump_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".dbg";
    std::remove(dump_.c_str());
  }
  void TearDown() override {
    std::remove(dump_.c_str());
    ResetGuideState();
    ResetSettingsState();
    ResetChannelState();
    sim::Reset();
  }
  void EnableDump() {
    sim::SetDumpPath(dump_.c_str());
    DebugMode = -1;
  }
  // The dump file's bytes; "<none>" when there is no file.
  std::string Dump() const {
    std::FILE* f = std::fopen(dump_.c_str(), "rb");
    if (f == nullptr) return "<none>";
    std::string s;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    std::fclose(f);
    return s;
  }
  std::string dump_;
};

TEST_F(EitTest, WorkedPacketGivesPresentLine) {
  HourOffset = 1;
  Deliver(WorkedBlock());
  EXPECT_EQ(eitstate.load(), 3);
  ExpectText(nowname, "News", "nowname");
  ExpectText(nowdesc, "Weather", "nowdesc");
  ExpectText(nowtxt, "(21:15) News > Weather ", "nowtxt");
  ExpectText(nxttxt, "", "nxttxt");
}

TEST_F(EitTest, MktsBuildsTheWorkedSection) {
  // The reader's positions and the CRC of a section made by mkts, against the worked packet.
  const Bytes made = EventPayload(Present("News", "Weather"));
  ASSERT_EQ(made.size(), ts::kPayloadSize);
  const Bytes worked = WorkedBlock();
  for (size_t i : {0, 1, 2, 3, 4, 5, 7, 19, 20}) EXPECT_EQ(made[i], worked[i]) << "offset " << i;
  for (size_t i = 25; i < 45; ++i) EXPECT_EQ(made[i], worked[i]) << "offset " << i;
  EXPECT_EQ(ts::Crc32Mpeg2(made.data() + 1, 48), 0u) << ts::HexDump(made.data(), 49);
  const char check[] = "123456789";
  EXPECT_EQ(ts::Crc32Mpeg2(reinterpret_cast<const uint8_t*>(check), 9), 0x0376E6E7u);
}

struct BlockSizeCase {
  int length;
  size_t following_at;  // offset of the following section in the block
  int state;            // eitstate after the block
  bool dumped;
};

TEST_F(EitTest, BlockSizeLimits) {
  const BlockSizeCase cases[] = {
      {183, 184, 1, false},   // too short: nothing, no dump
      {184, 184, 3, true},    // one packet
      {367, 184, 3, true},    // the rest of 183 bytes is not examined
      {368, 184, 7, true},    // two packets
      {2000, 1656, 7, true},  // ten packets, the tenth at 1656
      {2000, 1840, 3, true},  // the last 160 bytes are not examined
      {2001, 184, 1, false},  // too long: nothing, no dump
  };
  const Bytes present = EventPayload(Present("News", "Weather"));
  const Bytes following = EventPayload(Following("Film", "Drama"));
  for (const BlockSizeCase& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "length " << c.length << ", following at " << c.following_at);
    TearDown();
    SetUp();
    EnableDump();
    Bytes block(2001, 0xFF);
    std::memcpy(block.data(), present.data(), 60);
    std::memcpy(block.data() + c.following_at, following.data(), 60);
    block.resize(static_cast<size_t>(c.length));
    Deliver(block);
    EXPECT_EQ(eitstate.load(), c.state);
    ExpectText(nowtxt, c.state & 2 ? "(20:15) News > Weather " : "", "nowtxt");
    ExpectText(nxttxt, c.state & 4 ? "(21:00) Film > Drama " : "", "nxttxt");
    if (c.dumped) {
      EXPECT_EQ(Dump(), std::string(block.begin(), block.end()) + "\n");
    } else {
      EXPECT_EQ(Dump(), "<none>");
    }
  }
}

TEST_F(EitTest, DumpAppendsEveryBlockWithALineEnd) {
  EnableDump();
  Bytes first = WorkedBlock();
  Bytes second = EventPayload(Following("Film", "Drama"));
  second.resize(2 * ts::kPayloadSize, 0x0A);
  Deliver(first);
  Deliver(second, 2);  // another filter number: dumped, not read
  EXPECT_EQ(Dump(), std::string(first.begin(), first.end()) + "\n" +
                        std::string(second.begin(), second.end()) + "\n");
  EXPECT_EQ(eitstate.load(), 3);
  ExpectText(nxttxt, "", "nxttxt");
}

TEST_F(EitTest, DumpThatCannotBeOpenedIsIgnored) {
  DebugMode = -1;  // the dump path is not mapped: the open fails
  Deliver(WorkedBlock());
  EXPECT_EQ(eitstate.load(), 3);
}

TEST_F(EitTest, IgnoredBlocksChangeNothing) {
  struct Case {
    const char* what;
    int32_t state;
    int filter;
    Bytes block;
  };
  Bytes other_table = WorkedBlock();
  other_table[1] = 0x4F;  // p/f of another transport stream
  Bytes short_section = WorkedBlock();
  short_section[3] = 14;
  const Case cases[] = {
      {"state 8 ignores data", 8, 1, WorkedBlock()},
      {"no filter running", 0, 1, WorkedBlock()},
      {"other service", 1, 1, EventPayload(Present("Other", "x", 0x4321))},
      {"filter number 2", 1, 2, WorkedBlock()},
      {"table 0x4F", 1, 1, other_table},
      {"section_length 14", 1, 1, short_section},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    EnableDump();
    eitstate = c.state;
    std::strcpy(nowtxt, "kept");
    Deliver(c.block, c.filter);
    EXPECT_EQ(eitstate.load(), c.state);
    ExpectText(nowtxt, "kept", "nowtxt");
    ExpectText(nowdesc, "", "nowdesc");
    // States 8 and 0 (no filter: a late delivery after the stop) skip the dump as well.
    EXPECT_EQ(Dump() == "<none>", c.state == 8 || c.state == 0);
  }
}

TEST_F(EitTest, PresentIsCapturedOnceUntilTheChannelChanges) {
  Deliver(EventPayload(Present("News", "Weather")));
  Deliver(EventPayload(Present("Sport", "Football")));
  ExpectText(nowtxt, "(20:15) News > Weather ", "first present kept");
  ResetLinesForChannel();
  EXPECT_EQ(eitstate.load(), 1);
  ExpectText(nowtxt, "", "emptied by the channel change");
  EXPECT_EQ(NowDesc(), "Weather");  // survives until the new present event
  Deliver(EventPayload(Present("Sport", "Football")));
  ExpectText(nowtxt, "(20:15) Sport > Football ", "after the change");
}

TEST_F(EitTest, EitherArrivalOrderEndsAtSeven) {
  const Bytes present = EventPayload(Present("News", "Weather"));
  const Bytes following = EventPayload(Following("Film", "Drama"));
  struct Case {
    const Bytes* first;
    const Bytes* second;
    int32_t middle;
  } cases[] = {{&present, &following, 3}, {&following, &present, 5}};
  for (const Case& c : cases) {
    ResetLinesForChannel();
    Deliver(*c.first);
    EXPECT_EQ(eitstate.load(), c.middle);
    Deliver(*c.second);
    EXPECT_EQ(eitstate.load(), 7);
    char now[kGuideTextMax], next[kGuideTextMax];
    ASSERT_TRUE(TakeReadyLines(now, next, sizeof now));
    ExpectText(now, "(20:15) News > Weather ", "now");
    ExpectText(next, "(21:00) Film > Drama ", "next");
    EXPECT_EQ(eitstate.load(), 8);
    EXPECT_FALSE(TakeReadyLines(now, next, sizeof now));
  }
}

TEST_F(EitTest, FirstDescriptorWithoutTextLeavesTheBitClear) {
  Deliver(EventPayload(MakeEvent(kSid, 0, 0x20, 0x15, 0x54, "Hidden", "Text")));
  EXPECT_EQ(eitstate.load(), 1);
  ExpectText(nowtxt, "(20:15)  >  ", "empty name and description");
  Deliver(EventPayload(Present("News", "Weather")));
  EXPECT_EQ(eitstate.load(), 3);
  ExpectText(nowtxt, "(20:15) News > Weather ", "replaced");
}

struct TextCase {
  const char* what;
  std::string name, text;
  std::string nowname, nowdesc, nowtxt;
};

TEST_F(EitTest, SelectorsCleaningAndLeadingSkip) {
  const TextCase cases[] = {
      {"three-byte selector", std::string("\x10\x00\x05News", 7),
       std::string("\x10\x00\x05Weather", 10), "News", "Weather", "(20:15) News > Weather "},
      {"each field has its own selector", std::string("\x10\x00\x05News", 7), "Weather", "News",
       "Weather", "(20:15) News > Weather "},
      {"one-byte selectors are read, not shown", "\x05News", "\x05Weather", "News", "Weather",
       "(20:15) News > Weather "},
      {"stars and 0x8A", "Star*Trek",
       "Line\x8A"
       "break*x",
       "Star Trek", "Line break x", "(20:15) Star Trek > Line break x "},
      {"only one leading byte is skipped", "  Two", "", "  Two", "", "(20:15)  Two >  "},
      {"Latin bytes without a selector read as ISO/IEC 8859-15", "Caf\xE9", "\xA0\xFF",
       "Caf\xC3\xA9", "\xC2\xA0\xC3\xBF", "(20:15) Caf\xC3\xA9 > \xC2\xA0\xC3\xBF "},
      {"ISO/IEC 6937 diacritic pairs",
       "Maigret a \xCF"
       "cty\xCFri",
       "Z\xC2"
       "achran\xC2"
       "a\xCFri",
       "Maigret a \xC4\x8Dty\xC5\x99i", "Z\xC3\xA1\x63hran\xC3\xA1\xC5\x99i",
       "(20:15) Maigret a \xC4\x8Dty\xC5\x99i > Z\xC3\xA1\x63hran\xC3\xA1\xC5\x99i "},
      {"UTF-8 0x8A inside a character is not a line break", "\x15\xC4\x8A\xE4\xB8\x8A",
       "\x15\xEE\x82\x8A*", "\xC4\x8A\xE4\xB8\x8A", "  ", "(20:15) \xC4\x8A\xE4\xB8\x8A >    "},
      {"two-byte table: line break, emphasis, a 0x0A byte inside a character",
       std::string("\x11\x4E\x0A\xE0\x86\x4E\x2D\xE0\x87", 9),
       std::string("\x14\x00\x41\xE0\x8A\x00\x2A\x00\x42", 9), "\xE4\xB8\x8A\xE4\xB8\xAD", "A  B",
       "(20:15) \xE4\xB8\x8A\xE4\xB8\xAD > A  B "},
      {"emphasis dropped, one-byte line break a blank",
       "\x86"
       "Film\x87",
       "a\x8A\x8A"
       "b",
       "Film", "a  b", "(20:15) Film > a  b "},
      {"a zero byte ends the name", std::string("Ab\0cd", 5), "x", "Ab", "x", "(20:15) Ab > x "},
      {"control codes",
       "A\tB\x1F"
       "C",
       "\r\n", "A B C", " ", "(20:15) A B C >   "},  // 0x0D: a reserved selector
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.what);
    ResetLinesForChannel();
    Deliver(EventPayload(Present(c.name, c.text)));
    EXPECT_EQ(eitstate.load(), 3);
    ExpectText(nowname, c.nowname, "nowname");
    ExpectText(nowdesc, c.nowdesc, "nowdesc");
    ExpectText(nowtxt, c.nowtxt, "nowtxt");
  }
}

TEST_F(EitTest, GuideFormats) {
  struct Case {
    int32_t format;
    const char* now;
    const char* next;
  } cases[] = {
      {0, "(20:15) News ", "(21:00) Film "},
      {1, "(20:15) News > Weather ", "(21:00) Film > Drama "},
      {2, "(20:15) News ", "Weather "},
      {3, "", ""},
      {-1, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "format " << c.format);
    GuideFormat = c.format;
    ResetLinesForChannel();
    Deliver(EventPayload(Present("News", "Weather")));
    Deliver(EventPayload(Following("Film", "Drama")));
    char now[kGuideTextMax], next[kGuideTextMax];
    ASSERT_TRUE(TakeReadyLines(now, next, sizeof now));
    ExpectText(now, c.now, "now");
    ExpectText(next, c.next, "next");
  }
}

TEST_F(EitTest, FormatTwoFollowingFirstNeverShowsThePreviousChannel) {
  GuideFormat = 2;
  Deliver(EventPayload(Present("Old", "OldDesc")));
  SetChannel(0x2222);
  ResetLinesForChannel();
  Deliver(EventPayload(Following("Next", "NextDesc", 0x2222)));
  EXPECT_EQ(eitstate.load(), 5);
  EXPECT_EQ(std::string(nxttxt).find("OldDesc"), std::string::npos) << nxttxt;
  Deliver(EventPayload(Present("New", "NewDesc", 0x2222)));
  char now[kGuideTextMax], next[kGuideTextMax];
  ASSERT_TRUE(TakeReadyLines(now, next, sizeof now));
  ExpectText(now, "(20:15) New ", "now");
  ExpectText(next, "NewDesc ", "next");
}

TEST_F(EitTest, NewChannelRecordBeforeItsResetPairsNothing) {
  // The host's thread stores the new record first and resets the collection later: an event
  // of the new service read in between must not complete the old service's pair.
  Deliver(EventPayload(Present("Old", "OldDesc")));
  SetChannel(0x2222);
  Deliver(EventPayload(Following("Next", "NextDesc", 0x2222)));
  EXPECT_EQ(eitstate.load(), 3);
  ExpectText(nxttxt, "", "nxttxt");
  ResetLinesForChannel();
  Deliver(EventPayload(Following("Next", "NextDesc", 0x2222)));
  Deliver(EventPayload(Present("New", "NewDesc", 0x2222)));
  char now[kGuideTextMax], next[kGuideTextMax];
  ASSERT_TRUE(TakeReadyLines(now, next, sizeof now));
  ExpectText(now, "(20:15) New > NewDesc ", "now");
  ExpectText(next, "(21:00) Next > NextDesc ", "next");
}

// Patches of the worked packet whose lengths point past a 184-byte block.
struct PastEndCase {
  const char* what;
  std::vector<std::pair<size_t, uint8_t>> patch;
  int32_t state;
  size_t name_length, desc_length;
  const char* name_prefix;
  const char* desc_prefix;
};

TEST_F(EitTest, ReadsStayInsideTheBlock) {
  const PastEndCase cases[] = {
      {"short: text_length past the end passes the packet over", {{32, 200}}, 1, 0, 0, "", ""},
      // The block's 0xFF stuffing reads as 'ÿ' (ISO/IEC 8859-15, no selector): two bytes each.
      {"short: text cut at the block end", {{37, 200}}, 3, 4, 11 + 135 * 2, "News", "Weather"},
      {"extended: text_length past the end", {{27, 0x4E}, {33, 200}}, 1, 0, 0, "", ""},
      {"extended: text cut at the block end",
       {{27, 0x4E}, {28, 0x20}, {33, 0}, {34, 220}},
       3,
       14 + 135 * 2,
       0,
       "ws",
       ""},
      {"extended 192+: 48 bytes, cut at the block end",
       {{27, 0x4E}, {28, 200}, {33, 120}},
       3,
       29 * 2,
       0,
       "",
       ""},
      {"0x69: text length past the end", {{27, 0x69}, {37, 250}}, 1, 0, 0, "", ""},
      {"0x69: text cut at the block end",
       {{27, 0x69}, {37, 3}, {41, 250}},
       3,
       2,
       7 + 135 * 2,
       "",
       ""},
  };
  for (const PastEndCase& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    Bytes block = WorkedBlock();
    for (const auto& p : c.patch) block[p.first] = p.second;
    Deliver(block);
    EXPECT_EQ(eitstate.load(), c.state);
    EXPECT_EQ(std::strlen(nowname), c.name_length) << Hex(nowname);
    EXPECT_EQ(std::strlen(nowdesc), c.desc_length) << Hex(nowdesc);
    EXPECT_EQ(std::string(nowname).rfind(c.name_prefix, 0), 0u) << Hex(nowname);
    EXPECT_EQ(std::string(nowdesc).rfind(c.desc_prefix, 0), 0u) << Hex(nowdesc);
  }
}

TEST_F(EitTest, SectionLengthFifteenHasNoEvent) {
  for (uint8_t length : {15, 16}) {
    SCOPED_TRACE(::testing::Message() << "section_length " << int{length});
    ResetLinesForChannel();
    Bytes block = WorkedBlock();
    block[3] = length;  // the event bytes behind stay as they are
    Deliver(block);
    EXPECT_EQ(eitstate.load(), length == 15 ? 1 : 3);
  }
}

TEST_F(EitTest, ExtendedAnd69Descriptors) {
  const std::string long_text(190, 'L');
  const TextCase cases[] = {
      {"extended with an item", "Director", "Morning show", "Morning show", "",
       "(20:15) Morning show >  "},
      {"extended without items", "", "Morning show", "Morning show", "",
       "(20:15) Morning show >  "},
      {"extended of 192 bytes or more gives 48", "", long_text, std::string(48, 'L'), "",
       "(20:15) " + std::string(48, 'L') + " >  "},
      {"0x69", "Late", "Night talk", "Late", "Night talk", "(20:15) Late > Night talk "},
      {"0x69 without a name", "", "Talk", "", "Talk", "(20:15)  > Talk "},
  };
  const uint8_t tags[] = {0x4E, 0x4E, 0x4E, 0x69, 0x69};
  for (size_t i = 0; i < sizeof tags; ++i) {
    const TextCase& c = cases[i];
    SCOPED_TRACE(c.what);
    ResetLinesForChannel();
    Deliver(EventPayload(MakeEvent(kSid, 0, 0x20, 0x15, tags[i], c.name, c.text)));
    EXPECT_EQ(eitstate.load(), 3);
    ExpectText(nowname, c.nowname, "nowname");
    ExpectText(nowdesc, c.nowdesc, "nowdesc");
    ExpectText(nowtxt, c.nowtxt, "nowtxt");
  }
}

TEST_F(EitTest, StreamsFromASchedule) {
  const Bytes payloads = PayloadsOf(kSchedule);
  ASSERT_EQ(payloads.size(), 6 * ts::kPayloadSize);  // the null packet is not on PID 0x12
  struct Case {
    uint16_t sid;
    const char* now;
    const char* next;
  } cases[] = {
      {0x1234, "(21:15) News > Weather tonight ", "(22:00) Film > A  long  film "},
      {0x0101, "(07:00) Breakfast > Coffee ", "(08:00) Morning show >  "},
  };
  for (const Case& c : cases) {
    for (size_t packets = 1; packets <= 10; ++packets) {
      SCOPED_TRACE(::testing::Message() << "sid " << c.sid << ", " << packets << " per block");
      TearDown();
      SetUp();
      HourOffset = 1;
      SetChannel(c.sid);
      DeliverStream(payloads, packets);
      char now[kGuideTextMax], next[kGuideTextMax];
      ASSERT_TRUE(TakeReadyLines(now, next, sizeof now));
      ExpectText(now, c.now, "now");
      ExpectText(next, c.next, "next");
    }
  }
}

// mkts writes a schedule's UTF-8 texts in the table charset= names, selector first; the reader
// decodes them back to the same UTF-8.
TEST_F(EitTest, ScheduleCharsetsReadBack) {
  struct Case {
    const char* charset;
    const char* name;  // UTF-8
    const char* text;
    std::string field;  // the name as sent
  } cases[] = {
      {"6937",
       "Ve\xC4\x8D"
       "ern\xC3\xAD",
       "\xC3\xA9t\xC3\xA9",
       "Ve\xCF"
       "cern\xC2i"},
      {"8859-7", "\xCE\x95\xCE\xB9", "\xCE\xB1", "\x10\x00\x07\xC5\xE9"s},
      {"8859-5", "\xD0\x9D\xD0\xBE", "", "\x10\x00\x05\xBD\xDE"s},
      {"ucs2", "\xE4\xB8\xAD", "A", "\x11\x4E\x2D"},
      {"big5", "\xE6\x99\x9A", "\xE9\x96\x93", "\x14\x66\x5A"},
      {"ksx1001", "\xEB\x89\xB4", "", "\x12\xB4\xBA"},
      {"gb2312", "\xE4\xB8\xAD", "", "\x13\xD6\xD0"},
      {"utf8", "\xF0\x9F\x93\xBA", "x", "\x15\xF0\x9F\x93\xBA"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.charset);
    const std::string line = std::string("0x1234 present 20:15 short \"") + c.name + "\" \"" +
                             c.text + "\" charset=" + c.charset + "\n";
    const Bytes payloads = PayloadsOf(line);
    // event_name_length at payload offset 32, the name behind it.
    ASSERT_GT(payloads.size(), 33 + c.field.size());
    EXPECT_EQ(payloads[32], c.field.size());
    EXPECT_EQ(std::string(payloads.begin() + 33, payloads.begin() + 33 + c.field.size()), c.field);
    ResetLinesForChannel();
    Deliver(payloads);
    ExpectText(nowtxt, std::string("(20:15) ") + c.name + " > " + c.text + " ", "nowtxt");
  }
}

TEST_F(EitTest, ScheduleErrorsNameTheLine) {
  const char* bad[] = {
      "0x1234 present 20:15\n",                                      // no kind
      "0x12345 present 20:15 short \"a\" \"b\"\n",                   // service id too large
      "1 now 20:15 short \"a\" \"b\"\n",                             // section
      "1 present 2015 short \"a\" \"b\"\n",                          // time
      "1 present 20:15 short \"a\" \"b\" \"c\"\n",                   // three texts
      "1 present 20:15 short \"unterminated\n",                      // quote
      "1 present 20:15 short \"\\xZZ\"\n",                           // escape
      "1 present 20:15 bogus \"a\"\n",                               // kind
      "1 present 20:15 short \"a\" colour=red\n",                    // option
      "1 present 20:15 short \"a\" charset=latin\n",                 // no such table
      "1 present 20:15 short \"a\" charset=8859-12\n",               // never published
      "1 present 20:15 short \"\xE4\xB8\xAD\" charset=6937\n",       // not in the table
      "1 present 20:15 short \"a\" \"\xE9t\xE9\" charset=8859-1\n",  // not UTF-8
  };
  for (const char* schedule : bad) {
    Bytes stream;
    std::string error;
    EXPECT_FALSE(ts::BuildStream(std::string("# ok\n") + schedule, &stream, &error)) << schedule;
    EXPECT_EQ(error.rfind("line 2: ", 0), 0u) << error;
  }
}

TEST_F(EitTest, ReaderPathAllocatesNothing) {
  const Bytes capture = PayloadsOf(
      "0x1234 present 20:15 short \"News\" \"Weather\"\n"
      "0x1234 following 21:00 short \"Film\" \"Drama\"\n");
  Bytes rejected(2000, 0xFF);
  std::memcpy(rejected.data(), EventPayload(Present("x", "y", 0x4321)).data(), 184);
  char now[kGuideTextMax], next[kGuideTextMax];
  AllocCounter guard;
  Deliver(capture);
  Deliver(rejected);
  const bool taken = TakeReadyLines(now, next, sizeof now);
  ResetLinesForChannel();
  EXPECT_EQ(guard.count(), 0);
  EXPECT_TRUE(taken);
  {
    AllocCounter check;  // the counter itself sees allocations
    int* volatile p = new int(1);
    delete p;
    EXPECT_EQ(check.count(), 1);
  }
}

TEST_F(EitTest, ResetGuideStateRestoresLoadValues) {
  GuideFormat = 2;
  Deliver(WorkedBlock());
  ResetLinesForChannel();
  Deliver(EventPayload(Following("Film", "Drama")));  // waits for the present description
  ResetGuideState();
  EXPECT_EQ(eitstate.load(), 0);
  for (const char* text : {nowtxt, nxttxt, nowname, nowdesc, nxtname, nxtdesc, evtime}) {
    EXPECT_STREQ(text, "");
  }
  // No pending format-2 line survives: a following event captured alone stays alone.
  eitstate = 1;
  Deliver(EventPayload(Present("A", "B")));
  EXPECT_STREQ(nxttxt, "");
}

}  // namespace

namespace {

// The p/f sub-table of one service at one version.
Bytes PfAt(uint8_t version, const std::string& now, const std::string& next, uint16_t sid = kSid,
           uint8_t hour = 0x20) {
  ts::Event p = MakeEvent(sid, 0, hour, 0x15, 0x4D, now, now + " text");
  ts::Event f = MakeEvent(sid, 1, static_cast<uint8_t>(hour + 1), 0x00, 0x4D, next, next + " text");
  p.version = f.version = version;
  Bytes block = EventPayload(p);
  const Bytes following = EventPayload(f);
  block.insert(block.end(), following.begin(), following.end());
  return block;
}

}  // namespace

TEST_F(EitTest, LinesFollowANewVersionOfThePresentFollowingTable) {
  const struct {
    const char* what;
    bool shown;           // the display timer took the first lines (8) before the update
    Bytes update;         // delivered after the first capture of version 0 (News / Film)
    bool change_channel;  // a channel change between the two halves of the update
    const char* now;
    const char* next;
    int32_t state;
  } rows[] = {
      {"new version while shown: both replaced, ready again", true, PfAt(1, "Film", "Late"), false,
       "(20:15) Film > Film text ", "(21:00) Late > Late text ", 7},
      {"new version before it was shown", false, PfAt(1, "Film", "Late"), false,
       "(20:15) Film > Film text ", "(21:00) Late > Late text ", 7},
      {"same version, other content: the first capture stays", true, PfAt(0, "Film", "Late"), false,
       "(20:15) News > News text ", "(21:00) Film > Film text ", 8},
      {"a new version of another service", true, PfAt(1, "Film", "Late", 0x4321), false,
       "(20:15) News > News text ", "(21:00) Film > Film text ", 8},
      {"a channel change between present and following of the update", true,
       PfAt(1, "Film", "Late"), true, "", "(21:00) Late > Late text ", 5},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    ResetGuideState();
    GuideFormat = 1;
    SetChannel(kSid);
    eitstate = 1;
    Deliver(PfAt(0, "News", "Film"));
    ASSERT_EQ(eitstate.load(), 7);
    char now[kGuideTextMax], next[kGuideTextMax];
    if (row.shown) {
      ASSERT_TRUE(TakeReadyLines(now, next, sizeof now));
    }
    if (row.change_channel) {
      const Bytes present(row.update.begin(), row.update.begin() + ts::kPayloadSize);
      const Bytes following(row.update.begin() + ts::kPayloadSize, row.update.end());
      Deliver(present);
      // The same service again: the staged present of the old generation is dropped, the
      // following is the first capture of the new one.
      ResetLinesForChannel();
      Deliver(following);
    } else {
      Deliver(row.update);
    }
    ExpectText(nowtxt, row.now, "nowtxt");
    ExpectText(nxttxt, row.next, "nxttxt");
    EXPECT_EQ(eitstate.load(), row.state);
  }
}

TEST_F(EitTest, ARefreshWaitsForBothEventsOfTheNewVersion) {
  Deliver(PfAt(0, "News", "Film"));
  char now[kGuideTextMax], next[kGuideTextMax];
  ASSERT_TRUE(TakeReadyLines(now, next, sizeof now));
  const Bytes update = PfAt(3, "Film", "Late");
  Deliver(Bytes(update.begin(), update.begin() + ts::kPayloadSize));
  EXPECT_EQ(eitstate.load(), 8) << "the present alone publishes nothing";
  ExpectText(nowtxt, "(20:15) News > News text ", "nowtxt");
  Deliver(Bytes(update.begin() + ts::kPayloadSize, update.end()));
  EXPECT_EQ(eitstate.load(), 7);
  ExpectText(nowtxt, "(20:15) Film > Film text ", "nowtxt");
  EXPECT_EQ(NowDesc(), "Film text");
  ASSERT_TRUE(TakeReadyLines(now, next, sizeof now));
  Deliver(update);  // the same version again
  EXPECT_EQ(eitstate.load(), 8);
}
