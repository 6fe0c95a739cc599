// Programme times: each event's start and duration as the reader keeps them, the end times on
// the programme lines, and the progress bar of the programme on air (display control 16), from
// the EIT through the display timer to pelta-tool show.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "display/timer.h"
#include "fixture.h"
#include "guide/eit.h"
#include "guide/event_times.h"
#include "panels/model.h"
#include "panels/panels.h"
#include "settings/settings.h"
#include "shared/channel.h"
#include "ts.h"

namespace {

constexpr uint16_t kJuly1 = 61222;              // 2026-07-01 as a Modified Julian Date
constexpr uint16_t kJanuary15 = 61055;          // 2026-01-15
constexpr uint16_t kOctober25 = 61338;          // 2026-10-25, the night Europe leaves summer time
constexpr long long kJuly1At2000 = 1782936000;  // 2026-07-01 20:00:00 UTC, seconds since 1970
constexpr char kCet[] = "CET-1CEST,M3.5.0,M10.5.0/3";

TEST(EventDuration, SixBcdDigitsOrUnknown) {
  const struct {
    uint8_t h, m, s;
    int32_t seconds;
  } cases[] = {
      {0x00, 0x45, 0x00, 2700},
      {0x01, 0x30, 0x15, 5415},
      {0x00, 0x00, 0x00, 0},
      {0x99, 0x59, 0x59, 359999},
      {0xFF, 0xFF, 0xFF, kUnknownDuration},  // all ones: not defined
      {0x0A, 0x00, 0x00, kUnknownDuration},  // not a decimal digit
      {0x00, 0x5A, 0x00, kUnknownDuration},
      {0x00, 0x00, 0xF0, kUnknownDuration},
      {0x00, 0x60, 0x00, kUnknownDuration},  // 60 minutes is no minute
      {0x00, 0x00, 0x60, kUnknownDuration},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DurationSeconds(c.h, c.m, c.s), c.seconds)
        << std::hex << int{c.h} << ":" << int{c.m} << ":" << int{c.s};
  }
}

TEST(EventEndTime, InTheTimeBaseOfTheStart) {
  const struct {
    const char* what;
    const char* zone;  // null: UTC
    bool local;
    int32_t offset;
    EventTimes times;
    const char* end;  // null: no end shown
  } cases[] = {
      {"UTC", nullptr, false, 0, {kJuly1, 0x20, 0x00, 0x00, 2700}, "20:45"},
      {"offset past midnight", nullptr, false, 1, {kJuly1, 0x23, 0x30, 0x00, 2700}, "01:15"},
      {"start before, end after midnight",
       nullptr,
       false,
       3,
       {kJuly1, 0x20, 0x30, 0, 3600},
       "00:30"},
      {"negative offset back over midnight",
       nullptr,
       false,
       -5,
       {kJuly1, 0x02, 0x00, 0, 1800},
       "21:30"},
      {"offset past a day", nullptr, false, 30, {kJuly1, 0x20, 0x00, 0x00, 3600}, "03:00"},
      {"negative offset past a day", nullptr, false, -30, {kJuly1, 0x20, 0x00, 0, 3600}, "15:00"},
      {"start seconds carry", nullptr, false, 0, {kJuly1, 0x20, 0x14, 0x30, 45}, "20:15"},
      {"longest duration", nullptr, false, 0, {kJuly1, 0x20, 0x00, 0x00, 359999}, "23:59"},
      {"no date: the offset still counts",
       nullptr,
       false,
       2,
       {kUndefinedDate, 0x20, 0, 0, 600},
       "22:10"},
      {"unknown duration",
       nullptr,
       false,
       0,
       {kJuly1, 0x20, 0x00, 0x00, kUnknownDuration},
       nullptr},
      {"start not BCD", nullptr, false, 0, {kJuly1, 0x2F, 0x7A, 0x00, 2700}, nullptr},
      {"start past 23:59", nullptr, false, 0, {kJuly1, 0x24, 0x00, 0x00, 2700}, nullptr},
      {"local, winter", kCet, true, 0, {kJanuary15, 0x20, 0x00, 0x00, 2700}, "21:45"},
      {"local, summer", kCet, true, 0, {kJuly1, 0x20, 0x00, 0x00, 2700}, "22:45"},
      {"local, past midnight", kCet, true, 0, {kJuly1, 0x23, 0x30, 0x00, 3600}, "02:30"},
      // 02:30 summer time, an hour later it is 02:30 winter time: the end by its own date.
      {"local, across the end of summer time",
       kCet,
       true,
       0,
       {kOctober25, 0x00, 0x30, 0, 3600},
       "02:30"},
      {"local ignores the offset", kCet, true, 7, {kJuly1, 0x20, 0x00, 0x00, 2700}, "22:45"},
      {"local without a date shows UTC",
       kCet,
       true,
       0,
       {kUndefinedDate, 0x20, 0, 0, 2700},
       "20:45"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(sim::SetTimeZone(c.zone)) << c.what;
    char end[16] = "unchanged";
    const bool shown = FormatEndTime(c.times, c.local, c.offset, end, sizeof end);
    EXPECT_EQ(shown, c.end != nullptr) << c.what;
    EXPECT_STREQ(shown ? end : nullptr, c.end) << c.what;
  }
  sim::ResetTimeZone();
}

TEST(ProgrammeProgress, ByTheClockAgainstStartAndDuration) {
  const EventTimes news{kJuly1, 0x20, 0x00, 0x00, 2700};  // 20:00 for 45 minutes
  const struct {
    const char* what;
    EventTimes times;
    long long now;
    bool known;
    int percent, minutes;
  } cases[] = {
      {"ten minutes ahead", news, kJuly1At2000 - 600, true, 0, 45},
      {"at its start", news, kJuly1At2000, true, 0, 45},
      {"a second in: 44:59 left, rounded up", news, kJuly1At2000 + 1, true, 0, 45},
      {"a third run", news, kJuly1At2000 + 900, true, 33, 30},
      {"59 seconds left", news, kJuly1At2000 + 2641, true, 97, 1},
      {"one second left", news, kJuly1At2000 + 2699, true, 99, 1},
      {"at its end", news, kJuly1At2000 + 2700, true, 100, -1},
      {"an hour over", news, kJuly1At2000 + 6300, true, 100, -1},
      {"start seconds count", {kJuly1, 0x20, 0x00, 0x30, 60}, kJuly1At2000 + 60, true, 50, 1},
      {"no duration, not yet", {kJuly1, 0x20, 0, 0, 0}, kJuly1At2000 - 1, true, 0, 0},
      {"no duration, now", {kJuly1, 0x20, 0, 0, 0}, kJuly1At2000, true, 100, -1},
      {"unknown duration", {kJuly1, 0x20, 0, 0, kUnknownDuration}, kJuly1At2000, false, 0, 0},
      {"undefined date", {kUndefinedDate, 0x20, 0, 0, 2700}, kJuly1At2000, false, 0, 0},
      {"start not BCD", {kJuly1, 0x2A, 0, 0, 2700}, kJuly1At2000, false, 0, 0},
  };
  for (const auto& c : cases) {
    int percent = -7;
    int minutes = -7;
    EXPECT_EQ(ProgrammeProgress(c.times, c.now, &percent, &minutes), c.known) << c.what;
    if (!c.known) continue;
    EXPECT_EQ(percent, c.percent) << c.what;
    EXPECT_EQ(minutes, c.minutes) << c.what;
  }
  sim::SetNow(kJuly1At2000 + 42);
  EXPECT_EQ(UtcNow(), kJuly1At2000 + 42) << "the machine's clock, through GetSystemTimeAsFileTime";
  sim::Reset();
}

// The reader's lines where pelta-tool show below does not reach: the section pass (a content
// descriptor first, so the short event descriptor comes from the whole section), one duration
// unknown beside a known one, and a line 17 that is neither 0 nor 1. Formats, time bases and
// both durations unknown are in ShowProgrammeTimes.
TEST(ProgrammeLines, EndTimesThroughBothPasses) {
  const struct {
    const char* what;
    int32_t times;
    const char* first;      // the first descriptor: short, or 0x54 then short
    const char* following;  // mkts duration= of the following event (the present's: 00:45)
    const char* now;
    const char* next;
  } cases[] = {
      {"section pass", 1, "0x54", "01:30", "(20:15\u201321:00) News > Weather ",
       "(21:00\u201322:30) Film > Drama "},
      {"one unknown", 1, "short", "FF:FF:FF", "(20:15\u201321:00) News > Weather ",
       "(21:00) Film > Drama "},
      {"line 17 of 2 counts as 0", 2, "short", "01:30", "(20:15) News > Weather ",
       "(21:00) Film > Drama "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    char schedule[512];
    std::snprintf(schedule, sizeof schedule,
                  "0x1234 present 20:15 %s \"News\" \"Weather\" date=2026-07-01 duration=00:45\n"
                  "0x1234 following 21:00 %s \"Film\" \"Drama\" date=2026-07-01 duration=%s\n",
                  c.first, c.first, c.following);
    ts::Bytes stream;
    std::string error;
    ASSERT_TRUE(ts::BuildStream(schedule, &stream, &error)) << error;
    const ts::Bytes payloads = ts::ExtractPayloads(stream, ts::kEitPid);
    ResetGuideState();
    GuideFormat = 1;
    ProgrammeTimes = c.times;
    TProgram82 channel;
    std::memset(channel.bytes, 0, sizeof channel.bytes);
    channel.bytes[122] = 0x34;
    channel.bytes[123] = 0x12;
    StoreCurrentChannel(channel);
    eitstate = 1;
    // Twice, as the carousel repeats: the section pass takes the short event descriptor behind
    // a first descriptor without text at its next sighting.
    for (int i = 0; i < 2; ++i)
      OnDataArrival(1, static_cast<int>(payloads.size()), payloads.data());
    char now[kGuideTextMax];
    char next[kGuideTextMax];
    EventTimes present{};
    ASSERT_TRUE(TakeReadyLines(now, next, sizeof now, &present));
    EXPECT_STREQ(now, c.now);
    EXPECT_STREQ(next, c.next);
    // The present event's start and duration, as broadcast, for the progress bar.
    EXPECT_EQ(present.mjd, kJuly1);
    EXPECT_EQ(present.hour, 0x20);
    EXPECT_EQ(present.minute, 0x15);
    EXPECT_EQ(present.duration, 2700);
  }
  ResetGuideState();
  ProgrammeTimes = 0;
  GuideFormat = 0;
}

// The bar on the strip: shown with the lines, moved on by the ticks while the strip is up,
// recomputed by P, hidden where it has nothing to show.
class ProgressBarTest : public PluginTest {
 protected:
  // Loads with programme times on (and the lines in UTC), the clock at `now`, changes to
  // service 0x1234 and delivers `schedule`; one tick puts the lines up.
  void ShowWith(const std::string& schedule, long long now, const char* line17 = "1") {
    std::vector<std::string> lines = DefaultIni();
    lines[16] = line17;
    WriteIni(lines);
    sim::SetNow(now);
    LoadStartAndPassGate();
    On_Channel_Change(MakeChannel("Das Erste", 11836000, 1, 0x1234, 0));
    Deliver(schedule);
    sim::FireTimer();
    ASSERT_EQ(eitstate.load(), 8);
  }
  static void Deliver(const std::string& schedule) {
    ts::Bytes stream;
    std::string error;
    ASSERT_TRUE(ts::BuildStream(schedule, &stream, &error)) << error;
    const ts::Bytes payloads = ts::ExtractPayloads(stream, ts::kEitPid);
    OnDataArrival(1, static_cast<int>(payloads.size()), payloads.data());
  }
  struct Bar {
    bool visible;
    int value;
    std::string text;
    unsigned serial;  // moves with every change the driver must show
  };
  static Bar ReadBar() {
    mem::PanelState state;
    EXPECT_TRUE(mem::Snapshot(pnlDisplay, &state));
    for (int i = 0; i < state.control_count; ++i) {
      const model::ControlState& c = state.controls[i];
      if (c.layout.number != 16) continue;
      return Bar{c.visible, c.int_value, c.indicator_text, c.serial};
    }
    ADD_FAILURE() << "no control 16";
    return Bar{};
  }
  static std::string News(const char* duration = "00:45") {
    return std::string(
               "0x1234 present 20:00 short \"News\" \"Weather\" date=2026-07-01 duration=") +
           duration +
           "\n0x1234 following 20:45 short \"Film\" \"Drama\" date=2026-07-01 duration=01:30\n";
  }
};

TEST_F(ProgressBarTest, FollowsTheClockWhileTheStripIsUp) {
  ShowWith(News(), kJuly1At2000 - 300);
  const struct {
    long long now;
    int value;
    const char* text;
  } steps[] = {
      {kJuly1At2000 - 300, 0, "+45 min"},  // shown with the lines: still ahead
      {kJuly1At2000 + 900, 33, "+30 min"}, {kJuly1At2000 + 930, 34, "+30 min"},
      {kJuly1At2000 + 2670, 98, "+1 min"}, {kJuly1At2000 + 2700, 100, ""},
      {kJuly1At2000 + 9000, 100, ""},  // overrun: full, no text, until the next version
  };
  for (const auto& s : steps) {
    sim::SetNow(s.now);
    sim::FireTimer();
    const Bar bar = ReadBar();
    EXPECT_TRUE(bar.visible) << s.now;
    EXPECT_EQ(bar.value, s.value) << s.now;
    EXPECT_EQ(bar.text, s.text) << s.now;
    // Within the same second of the clock a tick does no work on the bar.
    sim::FireTimer();
    EXPECT_EQ(ReadBar().serial, bar.serial) << s.now;
  }
  // The network's next version: the film is on air; the bar follows it at the next cycle.
  Deliver(
      "0x1234 present 20:45 short \"Film\" \"Drama\" date=2026-07-01 duration=01:30 version=1\n"
      "0x1234 following 22:15 short \"Late\" \"Talk\" date=2026-07-01 duration=00:30 version=1\n");
  sim::SetNow(kJuly1At2000 + 2700 + 2700);  // half-way through the film
  sim::FireTimer();
  EXPECT_EQ(ReadBar().value, 50);
  EXPECT_EQ(ReadBar().text, "+45 min");
}

TEST_F(ProgressBarTest, PKeyRecomputesAfterTheStripHid) {
  ShowWith(News(), kJuly1At2000 + 900);
  EXPECT_EQ(ReadBar().value, 33);
  sim::FireTimer(60);
  ASSERT_FALSE(mem::IsVisible(pnlDisplay));
  sim::SetNow(kJuly1At2000 + 1800);
  sim::FireTimer(3);  // hidden: the bar is not worked
  EXPECT_EQ(ReadBar().value, 33);
  sim::PressKey('P');
  sim::FireTimer();
  EXPECT_TRUE(mem::IsVisible(pnlDisplay));
  EXPECT_EQ(ReadBar().value, 66);
  EXPECT_EQ(ReadBar().text, "+15 min");
}

TEST_F(ProgressBarTest, HiddenWithNothingToShow) {
  const struct {
    const char* what;
    const char* line17;
    const char* duration;
  } cases[] = {
      {"programme times off", "0", "00:45"},
      {"a file of sixteen lines", nullptr, "00:45"},
      {"unknown duration", "1", "FF:FF:FF"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> lines = DefaultIni();
    if (c.line17 != nullptr) {
      lines[16] = c.line17;
    } else {
      lines.resize(16);
    }
    WriteIni(lines);
    sim::SetNow(kJuly1At2000 + 900);
    LoadStartAndPassGate();
    On_Channel_Change(MakeChannel("Das Erste", 11836000, 1, 0x1234, 0));
    Deliver(News(c.duration));
    sim::FireTimer(3);
    EXPECT_EQ(eitstate.load(), 8);
    EXPECT_FALSE(ReadBar().visible);
    Unload();
  }
  // A channel change takes the bar away until the new service's lines are up.
  ShowWith(News(), kJuly1At2000 + 900);
  ASSERT_TRUE(ReadBar().visible);
  On_Channel_Change(MakeChannel("Arte", 10744000, 0, 0x4321, 0));
  sim::FireTimer(3);
  EXPECT_FALSE(ReadBar().visible);
  // Saved with another size, the bar is wider than the room its channel change found: it goes
  // until the next change places it again (it would reach into the indicators).
  On_Channel_Change(MakeChannel("Das Erste", 11836000, 1, 0x1234, 0));
  Deliver(News());
  sim::FireTimer();
  ASSERT_TRUE(ReadBar().visible);
  SetCtrlVal(pnlSettings, 8, 2);
  ASSERT_TRUE(SetPar());
  sim::SetNow(kJuly1At2000 + 960);
  sim::FireTimer();
  EXPECT_FALSE(ReadBar().visible);
}

#ifdef PELTA_TOOL
// The present event at hh:mm of `date` for `duration`, "News" / "Headlines", and the following
// one from its end for an hour and a half, "Film" / "Drama".
std::string Pf(int hour, int minute, const char* date, const char* duration) {
  int end = hour * 60 + minute;
  int h = 0, m = 0;
  if (std::sscanf(duration, "%d:%d", &h, &m) == 2) end += h * 60 + m;
  char text[512];
  std::snprintf(text, sizeof text,
                "0x1234 present %02d:%02d short \"News\" \"Headlines\" date=%s duration=%s\n"
                "0x1234 following %02d:%02d short \"Film\" \"Drama\" date=%s duration=01:30\n",
                hour, minute, date, duration, end / 60 % 24, end % 60, date);
  return text;
}

// pelta-tool show with a fixed clock: the strip's lines, bar and time of day, as display.json
// gives them, across formats, time bases, the clock against the programme, and durations.
class ShowProgrammeTimes : public PluginTest {
 protected:
  // `ini`: "index=value" changes of the default file (0-based lines); "16=" ends the file after
  // its sixteen lines, as older versions wrote it.
  std::string Json(const std::string& ini, const std::string& schedule, const std::string& args) {
    std::vector<std::string> lines = DefaultIni();
    std::istringstream changes(ini);
    std::string change;
    while (changes >> change) {
      const size_t eq = change.find('=');
      lines[static_cast<size_t>(std::stoi(change.substr(0, eq)))] = change.substr(eq + 1);
    }
    if (lines[16].empty()) lines.resize(16);
    WriteIni(lines);
    WriteFile("s.txt", schedule);
    RunCommand(std::string("'") + PELTA_TOOL + "' mkts '" + Path("s.txt") + "' --out '" +
               Path("s.ts") + "'");
    int status = -1;
    RunCommand(std::string("'") + PELTA_TOOL + "' show --ini '" + Path("pelta.ini") +
                   "' --sid 0x1234 --ts '" + Path("s.ts") + "' --out '" + Path("out") + "' " + args,
               &status);
    EXPECT_EQ(status, 0);
    std::ifstream in(Path("out/display.json"));
    std::stringstream text;
    text << in.rdbuf();
    return text.str().substr(0, text.str().find("\"guide\": "));
  }
  static std::string Control(const std::string& json, int number) {
    const size_t at = json.find("\"" + std::to_string(number) + "\": {\"kind\"");
    return at == std::string::npos ? "" : json.substr(at, json.find('\n', at) - at);
  }
};

TEST_F(ShowProgrammeTimes, EndTimesPercentAndMinutesLeftOnTheStrip) {
  const std::string july = Pf(20, 0, "2026-07-01", "00:45");
  const struct {
    const char* what;
    const char* ini;
    std::string schedule;
    const char* args;
    const char* now_line;
    const char* next_line;
    const char* bar;      // control 16 behind "kind": "progress", (null: hidden)
    const char* minutes;  // its text (null: not looked at)
    const char* clock;
  } cases[] = {
      {"format 1, UTC", "16=1", july, "--now 2026-07-01T20:15:00Z",
       "(20:00\u201320:45) News > Headlines ", "(20:45\u201322:15) Film > Drama ",
       "\"value\": 33, \"visible\": true", "+30 min", "20:15"},
      {"format 0, local in summer", "9=local 14=0 16=1", july,
       "--now 2026-07-01T20:15:00Z --tz Europe/Berlin", "(22:00\u201322:45) News ",
       "(22:45\u201300:15) Film ", "\"value\": 33, \"visible\": true", nullptr, "22:15"},
      {"format 2, local in winter", "9=local 14=2 16=1", Pf(20, 0, "2026-01-15", "00:45"),
       "--now 2026-01-15T20:15:00Z --tz Europe/Berlin", "(21:00\u201321:45) News ", "Headlines ",
       "\"value\": 33, \"visible\": true", nullptr, "21:15"},
      {"offset wraps past midnight", "9=3 16=1", Pf(20, 30, "2026-07-01", "01:00"),
       "--now 2026-07-01T21:00:00Z", "(23:30\u201300:30) News > Headlines ",
       "(00:30\u201302:00) Film > Drama ", "\"value\": 50, \"visible\": true", "+30 min", "21:00"},
      {"ahead of the clock", "16=1", july, "--now 2026-07-01T19:00:00Z",
       "(20:00\u201320:45) News > Headlines ", nullptr, "\"value\": 0, \"visible\": true",
       "+45 min", "19:00"},
      {"overrun", "16=1", july, "--now 2026-07-01T21:00:00Z",
       "(20:00\u201320:45) News > Headlines ", nullptr, "\"value\": 100, \"visible\": true", "",
       "21:00"},
      {"unknown duration", "16=1", Pf(20, 0, "2026-07-01", "FF:FF:FF"),
       "--now 2026-07-01T20:15:00Z", "(20:00) News > Headlines ", nullptr, nullptr, nullptr,
       "20:15"},
      {"programme times off", "16=0", july, "--now 2026-07-01T20:15:00Z",
       "(20:00) News > Headlines ", "(20:45) Film > Drama ", nullptr, nullptr, "20:15"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string json = Json(c.ini, c.schedule, c.args);
    EXPECT_NE(Control(json, 10).find(std::string("\"value\": \"") + c.now_line + "\""),
              std::string::npos)
        << Control(json, 10);
    if (c.next_line != nullptr) {
      EXPECT_NE(Control(json, 11).find(std::string("\"value\": \"") + c.next_line + "\""),
                std::string::npos)
          << Control(json, 11);
    }
    const std::string bar = Control(json, 16);
    const std::string want =
        c.bar != nullptr ? std::string("\"kind\": \"progress\", ") + c.bar : "\"visible\": false";
    EXPECT_NE(bar.find(want), std::string::npos) << bar;
    if (c.minutes != nullptr) {
      EXPECT_NE(bar.find(std::string("\"641\": \"") + c.minutes + "\""), std::string::npos) << bar;
    }
    EXPECT_NE(Control(json, 4).find(std::string("\"value\": \"") + c.clock + "\""),
              std::string::npos)
        << Control(json, 4);
  }
  // Programme times off: byte for byte what a file of sixteen lines shows, and the bar is never
  // touched.
  const std::string off = Json("16=0", july, "--now 2026-07-01T20:15:00Z");
  const std::string old = Json("16=", july, "--now 2026-07-01T20:15:00Z");
  EXPECT_EQ(Control(off, 16).find("\"530\""), std::string::npos) << Control(off, 16);
  for (int control : {4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 15, 16}) {  // 9: a temporary folder
    EXPECT_EQ(Control(off, control), Control(old, control)) << control;
  }
}
#endif

}  // namespace
