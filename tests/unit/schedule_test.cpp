// The EIT schedule table (guide/schedule.h): on the real captures against the independent
// decoder with the table's rules, and on made schedule sections for each rule.
#include "guide/schedule.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "en300468_decoder.h"
#include "fixture.h"
#include "guide/eit.h"
#include "guide/guide_window.h"
#include "json_dump.h"
#include "panels/memory/memory_panels.h"
#include "platform/sim/sim.h"
#include "settings/settings.h"
#include "shared/channel.h"
#include "shared/controls.h"
#include "shared/state.h"
#include "ts.h"

namespace {

using ts::Bytes;

// ---- the captures ----

int64_t Utc(const std::string& start) {
  struct tm t = {};
  if (start.empty() || std::sscanf(start.c_str(), "%d-%d-%dT%d:%d:%dZ", &t.tm_year, &t.tm_mon,
                                   &t.tm_mday, &t.tm_hour, &t.tm_min, &t.tm_sec) != 6) {
    return INT64_MAX;  // undefined: furthest in the future
  }
  t.tm_year -= 1900;
  t.tm_mon -= 1;
  return static_cast<int64_t>(timegm(&t));
}

// The table's rules over the decoder's sections in stream order: a section of a version not
// taken replaces what it held; an event that ended by the present event's start is not kept;
// a full table keeps the earliest events, and a section that lost one is read again.
struct Held {
  en300468::FullEvent e;
  int64_t key;
  std::pair<int, int> origin;
};
bool Earlier(const Held& a, const Held& b) {
  return a.key != b.key ? a.key < b.key : a.e.event_id < b.e.event_id;
}

std::vector<Held> Expected(const std::vector<en300468::ScheduleSection>& sections) {
  std::vector<Held> held;
  std::map<std::pair<int, int>, int> taken;
  bool present = false;
  int64_t present_start = 0;
  const auto ended = [&](const en300468::FullEvent& e) {
    return present && e.duration >= 0 && Utc(e.start) != INT64_MAX &&
           Utc(e.start) + e.duration <= present_start;
  };
  for (const en300468::ScheduleSection& s : sections) {
    if (s.table_id == 0x4E) {
      present = !s.events.empty() && Utc(s.events[0].start) != INT64_MAX;
      present_start = present ? Utc(s.events[0].start) : 0;
      for (size_t i = held.size(); i-- > 0;) {
        if (ended(held[i].e)) held.erase(held.begin() + static_cast<long>(i));
      }
      continue;
    }
    const std::pair<int, int> origin{s.table_id & 0x0F, s.section_number};
    const auto seen = taken.find(origin);
    if (seen != taken.end() && seen->second == s.version) continue;
    for (size_t i = held.size(); i-- > 0;) {
      if (held[i].origin == origin) held.erase(held.begin() + static_cast<long>(i));
    }
    bool lost = false;
    for (const en300468::FullEvent& e : s.events) {
      if (ended(e)) continue;
      const Held h{e, Utc(e.start), origin};
      bool same = false;
      for (Held& x : held) {
        if (x.e.event_id == e.event_id) x = h, same = true;
      }
      if (same) continue;
      if (held.size() < static_cast<size_t>(kScheduleEvents)) {
        held.push_back(h);
        continue;
      }
      size_t latest = 0;
      for (size_t i = 1; i < held.size(); ++i) {
        if (Earlier(held[latest], held[i])) latest = i;
      }
      if (!Earlier(h, held[latest])) {
        lost = true;
        continue;
      }
      taken.erase(held[latest].origin);
      held[latest] = h;
    }
    if (lost) {
      taken.erase(origin);
    } else {
      taken[origin] = s.version;
    }
  }
  std::sort(held.begin(), held.end(), Earlier);
  return held;
}

std::string Json(const std::vector<Held>& held) {
  std::string out = "[";
  for (size_t i = 0; i < held.size(); ++i) {
    const en300468::FullEvent& e = held[i].e;
    out += (i ? ",\n {" : "{") + std::string("\"event_id\": ") + std::to_string(e.event_id) +
           ", \"start\": " + (e.start.empty() ? "null" : "\"" + e.start + "\"") +
           ", \"duration\": " + (e.duration < 0 ? "null" : std::to_string(e.duration)) +
           ", \"name\": " + jsondump::Quote(e.name.c_str()) + "}";
  }
  return out + "]\n";
}

#ifdef PELTA_TOOL
// For every service of the three captures: `eit --schedule` lists exactly what the table's
// rules make of the schedule sections the independent decoder finds, and `--json` before it
// is what `--json` alone prints.
TEST(ScheduleCaptures, ScheduleEqualsTheIndependentDecoding) {
  const std::string tool = PELTA_TOOL;
  size_t services = 0, events = 0;
  for (const char* file : {"sat-5w-12732v.ts", "dvbt2-cz-pid18.ts", "dvbt-it-rai.ts"}) {
    const std::string path = std::string(PELTA_TEST_DATA) + "/captures/" + file;
    Bytes stream;
    ASSERT_TRUE(ts::ReadFile(path.c_str(), &stream)) << file;
    for (const ts::ServiceSeen& s : ts::ListServices(stream)) {
      const std::string expected =
          Json(Expected(en300468::DecodeScheduleSections(stream, s.service_id, {})));
      const std::string command = tool + " eit " + path + " --sid " + std::to_string(s.service_id);
      EXPECT_EQ(RunCommand(command + " --schedule"), expected) << file << " sid " << s.service_id;
      const std::string json = RunCommand(command + " --json");
      EXPECT_EQ(RunCommand(command + " --json --schedule"), json + expected) << file;
      ++services;
      events += static_cast<size_t>(std::count(expected.begin(), expected.end(), '{'));
    }
  }
  EXPECT_EQ(services, 26u);
  EXPECT_GT(events, 100u) << "the captures' schedules reached the table";
}
#endif

// ---- made sections ----

struct Ev {
  uint16_t id;
  uint8_t hour, minute;  // start on 2024-01-01 (the default date), as decimal
  int minutes;           // duration; -1: undefined (all ones)
  bool undefined_date;
};

ts::Event MakeEvent(const Ev& v) {
  ts::Event e;
  e.event_id = v.id;
  e.hour_bcd = static_cast<uint8_t>((v.hour / 10) << 4 | v.hour % 10);
  e.minute_bcd = static_cast<uint8_t>((v.minute / 10) << 4 | v.minute % 10);
  if (v.undefined_date) e.mjd = 0xFFFF;
  if (v.minutes < 0) {
    e.duration_bcd[0] = e.duration_bcd[1] = e.duration_bcd[2] = 0xFF;
  } else {
    const int h = v.minutes / 60, m = v.minutes % 60;
    e.duration_bcd[0] = static_cast<uint8_t>((h / 10) << 4 | h % 10);
    e.duration_bcd[1] = static_cast<uint8_t>((m / 10) << 4 | m % 10);
    e.duration_bcd[2] = 0;
  }
  e.name = "Event " + std::to_string(v.id);
  e.text = "Text";
  return e;
}

// `n` events of half an hour each from `hour`:00, ids from `first`.
std::vector<Ev> Halves(uint16_t first, int hour, int n) {
  std::vector<Ev> out;
  for (int i = 0; i < n; ++i) {
    const int m = hour * 60 + i * 30;
    out.push_back(Ev{static_cast<uint16_t>(first + i), static_cast<uint8_t>(m / 60),
                     static_cast<uint8_t>(m % 60), 30, false});
  }
  return out;
}

// One step of a row: a schedule section, the present event (table 0x4E), or a channel change.
enum class Kind { kSchedule, kPresent, kChannel, kBadCrc };
struct Step {
  Kind kind;
  uint8_t table;
  uint8_t section;
  uint8_t version;
  std::vector<Ev> events;
  uint16_t sid = 0x1234;
};
Step Section(uint8_t table, uint8_t section, uint8_t version, std::vector<Ev> events,
             uint16_t sid = 0x1234) {
  return Step{Kind::kSchedule, table, section, version, std::move(events), sid};
}
Step Present(uint8_t hour, uint8_t minute) {
  return Step{Kind::kPresent, 0x4E, 0, 0, {Ev{900, hour, minute, 60, false}}};
}

struct ScheduleCase {
  const char* name;
  std::vector<Step> steps;
  std::vector<uint16_t> ids;  // the table in start order at the end
};

class ScheduleTable : public ::testing::TestWithParam<ScheduleCase> {
 protected:
  void SetUp() override {
    sim::Reset();
    ResetSettingsState();
    ResetChannelState();
    ResetGuideState();
    StoreCurrentChannel(MakeChannel("Test", 11778000, 1, 0x1234, 0));
    eitstate = 1;
  }
  void TearDown() override {
    ResetGuideState();
    ResetChannelState();
    ResetSettingsState();
    sim::Reset();
  }
};

void Deliver(const Bytes& section) {
  Bytes stream;
  uint8_t continuity = 0;
  ts::PacketiseSections(ts::kEitPid, {section}, 0, &continuity, &stream);
  const Bytes payloads = ts::ExtractPayloads(stream, ts::kEitPid);
  const size_t block = 10 * ts::kPayloadSize;
  for (size_t at = 0; at < payloads.size(); at += block) {
    const size_t n = payloads.size() - at < block ? payloads.size() - at : block;
    OnDataArrival(1, static_cast<int>(n), payloads.data() + at);
  }
}

TEST_P(ScheduleTable, KeepsWhatTheRulesKeep) {
  const ScheduleCase& c = GetParam();
  for (const Step& s : c.steps) {
    Bytes section;
    std::string error;
    std::vector<ts::Event> events;
    for (const Ev& v : s.events) events.push_back(MakeEvent(v));
    switch (s.kind) {
      case Kind::kChannel:
        StoreCurrentChannel(MakeChannel("Other", 11778000, 1, 0x1234, 0));
        ResetLinesForChannel();
        continue;
      case Kind::kPresent:
        events[0].service_id = s.sid;
        ASSERT_TRUE(ts::BuildEitSection(events[0], &section, &error)) << error;
        break;
      case Kind::kSchedule:
      case Kind::kBadCrc:
        ASSERT_TRUE(ts::BuildScheduleSection(s.sid, s.table, s.section, s.version, events, &section,
                                             &error))
            << error;
        if (s.kind == Kind::kBadCrc) section.back() ^= 1;
        break;
    }
    Deliver(section);
  }
  static ScheduleEntry entries[kScheduleEvents + 1];
  const int n = CopySchedule(entries, kScheduleEvents + 1);
  std::vector<uint16_t> ids;
  for (int i = 0; i < n; ++i) ids.push_back(entries[i].event_id);
  EXPECT_EQ(ids, c.ids);
  if (n > 0) {
    EXPECT_EQ(std::string(entries[0].name), "Event " + std::to_string(ids[0]));
  }
}

std::vector<uint16_t> Range(uint16_t first, int n) {
  std::vector<uint16_t> out;
  for (int i = 0; i < n; ++i) out.push_back(static_cast<uint16_t>(first + i));
  return out;
}
std::vector<uint16_t> Join(std::vector<uint16_t> a, const std::vector<uint16_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ScheduleTable,
    ::testing::Values(
        ScheduleCase{"StartOrder",
                     {Section(0x50, 0, 0, {{3, 21, 0, 60}, {1, 19, 0, 60}, {2, 20, 0, 60}})},
                     {1, 2, 3}},
        ScheduleCase{"UndefinedStartLast",
                     {Section(0x50, 0, 0, {{5, 0, 0, 60, true}, {6, 23, 0, -1}})},
                     {6, 5}},
        ScheduleCase{"NewVersionReplacesTheSection",
                     {Section(0x50, 0, 0, {{1, 19, 0, 60}, {2, 20, 0, 60}}),
                      Section(0x50, 8, 0, {{4, 22, 0, 60}}), Section(0x50, 0, 1, {{3, 21, 0, 60}})},
                     {3, 4}},
        ScheduleCase{"SameVersionNotReadAgain",
                     {Section(0x50, 0, 0, {{1, 19, 0, 60}}), Section(0x50, 0, 0, {{2, 20, 0, 60}})},
                     {1}},
        ScheduleCase{"EmptySectionEmptiesIt",
                     {Section(0x51, 3, 0, {{1, 19, 0, 60}}), Section(0x51, 3, 1, {})},
                     {}},
        ScheduleCase{"SameEventFromAnotherSectionOnce",
                     {Section(0x50, 0, 0, {{1, 19, 0, 60}}), Section(0x51, 0, 0, {{1, 19, 0, 60}})},
                     {1}},
        ScheduleCase{"OtherServiceAndBadCrcPassedOver",
                     {Section(0x50, 0, 0, {{1, 19, 0, 60}}, 0x4321),
                      Step{Kind::kBadCrc, 0x50, 0, 0, {{2, 19, 0, 60}}}},
                     {}},
        ScheduleCase{
            "PresentFirst: what ended by its start is not kept",
            {Present(20, 0),
             Section(0x50, 0, 0, {{1, 18, 0, 60}, {2, 19, 0, 60}, {3, 19, 30, 60}, {4, 6, 0, -1}})},
            {4, 3}},
        ScheduleCase{"PresentLater: what ended is dropped",
                     {Section(0x50, 0, 0, {{1, 18, 0, 60}, {2, 19, 0, 60}, {3, 19, 30, 60}}),
                      Present(20, 0)},
                     {3}},
        ScheduleCase{"ChannelChangeEmpties",
                     {Section(0x50, 0, 0, {{1, 19, 0, 60}}), Step{Kind::kChannel, 0, 0, 0, {}}},
                     {}},
        ScheduleCase{"ChannelChangeReadsAgain",
                     {Section(0x50, 0, 0, {{1, 19, 0, 60}}), Step{Kind::kChannel, 0, 0, 0, {}},
                      Section(0x50, 0, 0, {{1, 19, 0, 60}})},
                     {1}},
        // 20 events in section 0 from 00:00, 16 in section 8 from 12:00: the four latest give way.
        ScheduleCase{
            "FullFurthestGiveWay",
            {Section(0x50, 0, 0, Halves(100, 0, 20)), Section(0x50, 8, 0, Halves(200, 12, 16))},
            Join(Range(100, 20), Range(200, 12))},
        // The earlier section, arriving second, displaces the later events.
        ScheduleCase{
            "FullEarlierDisplaces",
            {Section(0x50, 8, 0, Halves(200, 12, 16)), Section(0x50, 0, 0, Halves(100, 0, 20))},
            Join(Range(100, 20), Range(200, 12))},
        // Room again once section 0 holds less: section 8 is read at its next repetition.
        ScheduleCase{
            "LostEventsReturn",
            {Section(0x50, 0, 0, Halves(100, 0, 20)), Section(0x50, 8, 0, Halves(200, 12, 16)),
             Section(0x50, 0, 1, Halves(100, 0, 2)), Section(0x50, 8, 0, Halves(200, 12, 16))},
            Join(Range(100, 2), Range(200, 16))}),
    [](const ::testing::TestParamInfo<ScheduleCase>& row) {
      std::string name = row.param.name;
      for (char& ch : name) {
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      }
      return name.substr(0, name.find('_'));
    });

// The mkts schedule format writes schedule sections (a section_number for SECTION, table=) and
// an empty schedule is an empty stream.
TEST(ScheduleStreams, MktsSections) {
  struct Row {
    const char* schedule;
    bool ok;
    size_t packets;
  };
  for (const Row& r :
       std::vector<Row>{{"", true, 0},
                        {"0x1234 7 21:30 short \"Film\" table=0x50 version=3\n", true, 1},
                        {"0x1234 256 21:30 short \"Film\" table=0x50\n", false, 0},
                        {"0x1234 later 21:30 short \"Film\"\n", false, 0}}) {
    Bytes stream;
    std::string error;
    EXPECT_EQ(ts::BuildStream(r.schedule, &stream, &error), r.ok) << r.schedule << error;
    EXPECT_EQ(stream.size(), r.packets * ts::kPacketSize) << r.schedule;
  }
}

// ---- the guide window ----

class ScheduleWindow : public PluginTest {
 protected:
  static std::string List() {
    char text[mem::kTextMax] = "";
    EXPECT_TRUE(mem::CtrlText(pnlGuide, kGuideSchedule, text, sizeof text));
    return text;
  }
  static void Feed(const std::string& schedule) {
    Bytes stream;
    std::string error;
    ASSERT_TRUE(ts::BuildStream(schedule, &stream, &error)) << error;
    const Bytes payloads = ts::ExtractPayloads(stream, ts::kEitPid);
    for (size_t at = 0; at < payloads.size(); at += 10 * ts::kPayloadSize) {
      const size_t n = std::min(payloads.size() - at, 10 * ts::kPayloadSize);
      OnDataArrival(1, static_cast<int>(n), payloads.data() + at);
    }
  }
};

// Below now and next, what follows the next programme for twelve hours, by the clock, in the
// programme lines' time base; refilled in place while the window is open, and as the clock
// moves on.
TEST_F(ScheduleWindow, ListsWhatFollowsTheNextProgramme) {
  sim::SetNow(1704139800);  // 2024-01-01 20:10 UTC (mkts's default date)
  LoadStartAndPassGate();
  HourOffset = 1;
  On_Channel_Change(MakeChannel("Nova", 11836000, 13, 0x1234, 0));
  Feed(
      "0x1234 present 20:00 short \"News\" event=10\n"
      "0x1234 following 21:00 short \"Quiz\" duration=00:30 event=11\n"
      // the following event again, ended, before the next, twelve hours on, and no start
      "0x1234 0 21:00 short \"Quiz\" duration=00:30 event=11 table=0x50\n"
      "0x1234 1 19:00 short \"Old\" duration=01:30 event=9 table=0x50\n"
      "0x1234 2 20:30 short \"Overlap\" event=12 table=0x50\n"
      "0x1234 3 21:30 short \"Film\\x8Aof the week\" duration=01:00 event=13 table=0x50\n"
      "0x1234 4 23:00 short \"Late\" event=14 table=0x50\n"
      "0x1234 5 08:10 short \"Morning\" date=2024-01-02 event=15 table=0x51\n"
      "0x1234 6 08:00 short \"Breakfast\" date=2024-01-02 event=16 table=0x51\n");
  sim::PressKey('O');
  sim::FireTimer();
  ASSERT_TRUE(mem::IsVisible(pnlGuide));
  EXPECT_EQ(List(), "22:30  Film of the week\n00:00  Late\n09:00  Breakfast");

  // A new version of a section while the window is open: in place at the next tick.
  Feed("0x1234 4 23:15 short \"Later\" event=17 version=1 table=0x50\n");
  sim::FireTimer();
  EXPECT_EQ(List(), "22:30  Film of the week\n00:15  Later\n09:00  Breakfast");
  // By the clock the film has ended: it leaves the list at the next tick, and the twelve hours
  // reach further.
  sim::SetNow(1704139800 + 9000);  // 22:40
  sim::FireTimer();
  EXPECT_EQ(List(), "00:15  Later\n09:00  Breakfast\n09:10  Morning");
  // Another channel: nothing of this one's schedule.
  On_Channel_Change(MakeChannel("Other", 11836000, 13, 0x9999, 0));
  sim::FireTimer();
  EXPECT_EQ(List(), "");
}

}  // namespace
