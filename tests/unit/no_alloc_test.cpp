// After load, the plug-in's three hot paths take nothing from the heap: a channel change (with
// the host query, the whole video-window search, the logo lookup and the guide reset), a timer
// tick (idle, counting, moving the programme lines and the progress bar, hiding, the P and O
// keys) and an EIT block (rejected, captured, ignored at state 8). The host's callbacks and the
// simulated desktop run inside the counted region too; both keep fixed storage, so any count is the
// plug-in's.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "alloc_counter.h"
#include "display/timer.h"
#include "fixture.h"
#include "guide/eit.h"
#include "panels/panels.h"
#include "settings/settings.h"
#include "shared/controls.h"
#include "ts.h"

namespace {

using NoAlloc = PluginTest;

// A 2000-byte block whose first packet holds the present section of `sid` (short event
// descriptor "News" / "Weather", 2026-07-01 20:15 UTC for 45 minutes) and whose second holds
// the following one (21:15).
std::vector<unsigned char> PresentFollowingBlock(uint16_t sid) {
  std::vector<unsigned char> block(2000, 0xFF);
  for (int section = 0; section < 2; ++section) {
    unsigned char* p = block.data() + 184 * section;
    const unsigned char head[] = {0x00,
                                  0x4E,
                                  0xF0,
                                  0x2D,
                                  static_cast<unsigned char>(sid >> 8),
                                  static_cast<unsigned char>(sid & 0xFF),
                                  0xC1,
                                  static_cast<unsigned char>(section)};
    std::memcpy(p, head, sizeof head);
    p[17] = 0xEF;  // MJD 61222: 2026-07-01
    p[18] = 0x26;
    p[19] = section == 0 ? 0x20 : 0x21;
    p[20] = 0x15;
    p[21] = 0x00;
    p[22] = 0x00;  // duration 00:45:00
    p[23] = 0x45;
    p[24] = 0x00;
    const unsigned char descriptor[] = {0x4D, 0x10, 'e', 'n', 'g', 4,   'N', 'e', 'w',
                                        's',  7,    'W', 'e', 'a', 't', 'h', 'e', 'r'};
    std::memcpy(p + 27, descriptor, sizeof descriptor);
  }
  return block;
}

TEST_F(NoAlloc, ChannelChangeTimerTickAndEitBlock) {
  std::vector<std::string> ini = DefaultIni();
  ini[7] = "1";   // FollowVideo: no video window below, so the search probes the whole grid
  ini[16] = "1";  // programme times: end times on the lines, and the progress bar
  WriteIni(ini);
  constexpr long long kStart = 1782936000 + 15 * 60;  // 2026-07-01 20:15 UTC
  sim::SetNow(kStart + 600);
  WriteFile("pelta_icon/Das Erste.jpg", JpegHeader(40, 30));
  LoadStartAndPassGate();
  char title[32];
  for (int i = 0; i < 300; ++i) {
    std::snprintf(title, sizeof title, "Document %d", i);
    sim::CreateWindow(title, RECT{i * 6, i * 3, i * 6 + 120, i * 3 + 80});
  }
  // Everything made once at first use (the filter, the dump-free reader) is made here.
  On_Channel_Change(MakeChannel("Warm-up", 11836000, 1, 0x1234, 5));
  const std::vector<unsigned char> capture = PresentFollowingBlock(0x1234);
  const std::vector<unsigned char> rejected = PresentFollowingBlock(0x4321);
  // A later version of the present event, CRC-checked, with an extended description in three
  // parts, items, a genre and ratings: read into the guide window's record while it is open.
  ts::Bytes later;
  std::string error;
  ASSERT_TRUE(ts::BuildStream(
      "0x1234 present 20:15 short \"Film\" \"Drama\" version=3 date=2026-07-01\n"
      "+ extended \"one \" \"Director\" \"J. Doe\"\n+ extended \"two \"\n+ extended \"three\"\n"
      "+ content 0x11\n+ rating CZE 9 DEU 12\n",
      &later, &error))
      << error;
  later = ts::ExtractPayloads(later, ts::kEitPid);
  // Schedule sections of another service and of the current one, taken while the guide is open.
  ts::Bytes schedule;
  ASSERT_TRUE(
      ts::BuildStream("0x4321 0 22:00 short \"Other\" table=0x50 date=2026-07-01\n"
                      "0x1234 0 22:00 short \"Late\" table=0x50 date=2026-07-01 event=50\n",
                      &schedule, &error))
      << error;
  schedule = ts::ExtractPayloads(schedule, ts::kEitPid);
  ASSERT_EQ(eitstate.load(), 1);

  char text[mem::kTextMax] = "";
  AllocCounter all;
  {
    AllocCounter guard;
    On_Channel_Change(MakeChannel("Das Erste", 11836000, 1, 0x1234, 0x17));  // logo found
    On_Channel_Change(MakeChannel("Arte", 10744000, 0, 0x1234, 0));          // the fallback
    EXPECT_EQ(guard.count(), 0) << "channel change";
  }
  {
    AllocCounter guard;
    OnDataArrival(1, 2000, rejected.data());
    EXPECT_EQ(eitstate.load(), 1);
    OnDataArrival(1, 2000, capture.data());
    EXPECT_EQ(eitstate.load(), 7);
    EXPECT_EQ(guard.count(), 0) << "EIT block";
  }
  {
    AllocCounter guard;
    TimerProc(0, 0, 0, 0, 0);  // counting, and the lines go onto the display
    EXPECT_EQ(eitstate.load(), 8);
    EXPECT_EQ(guard.count(), 0) << "timer tick";
  }
  {
    AllocCounter guard;
    OnDataArrival(1, 2000, capture.data());  // state 8: ignored
    for (int i = 1; i <= 60; ++i) {          // to the end of the cycle, then idle
      sim::SetNow(kStart + 600 + 20 * i);    // the bar moves on
      sim::FireTimer();
    }
    EXPECT_EQ(DisplayActive.load(), 0);
    sim::PressKey('P');
    sim::PressKey('O');
    sim::FireTimer();
    OnDataArrival(1, static_cast<int>(later.size()), later.data());
    OnDataArrival(1, static_cast<int>(schedule.size()), schedule.data());
    sim::FireTimer();  // the open guide window takes the new record and the schedule
    EXPECT_EQ(guard.count(), 0) << "idle ticks, the P and O keys and the guide's refill";
  }
  EXPECT_TRUE(mem::CtrlText(pnlGuide, kGuideSchedule, text, sizeof text));
  EXPECT_STREQ(text, "22:00  Late");
  EXPECT_TRUE(mem::CtrlText(pnlGuide, 8, text, sizeof text));
  EXPECT_STREQ(text, "one two three\nDirector: J. Doe");
  EXPECT_EQ(all.count(), 0);
  EXPECT_STREQ(nowtxt, "(20:15\u201321:00) News > Weather ");
  int value = -1;
  EXPECT_EQ(GetCtrlVal(pnlDisplay, 16, &value), 0);
  EXPECT_GT(value, 22) << "the bar moved on from 22 %";
}

}  // namespace
