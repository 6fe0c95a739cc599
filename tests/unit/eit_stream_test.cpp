// Whole streams through the EIT reader: on three threads against channel changes and the
// display timer, and through pelta-tool (mkts, eit, show) as a user runs it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "eit_helpers.h"
#include "fixture.h"
#include "guide/eit.h"
#include "platform/sim/sim.h"
#include "settings/settings.h"
#include "shared/channel.h"

namespace {

using eit_helpers::Bytes;
using eit_helpers::Deliver;
using eit_helpers::ExpectText;
using eit_helpers::kSchedule;
using eit_helpers::PayloadsOf;
using eit_helpers::SetChannel;

// The reader, channel changes and the display timer on three threads: every pair of lines the
// timer takes belongs to one channel, and ThreadSanitizer sees no race.
TEST(EitThreads, ReaderChannelChangeAndTimer) {
  sim::Reset();
  ResetSettingsState();
  ResetChannelState();
  ResetGuideState();
  GuideFormat = 1;
  const uint16_t sids[] = {0x0A0A, 0x0B0B};
  // Both services at two versions of their p/f table, so lines are also refreshed while the
  // timer takes them and channels change.
  std::vector<Bytes> blocks;
  for (const char* version : {"0", "1"}) {
    for (uint16_t sid : sids) {
      char name[8];
      std::snprintf(name, sizeof name, "%04X", sid);
      const std::string v = std::string(" version=") + version + "\n";
      std::string schedule = std::string("0x") + name + " present 20:15 short \"" + name +
                             "-now\" \"" + name + "\"" + v + "0x" + name +
                             " following 21:00 short \"" + name + "-next\" \"" + name + "\"" + v;
      blocks.push_back(PayloadsOf(schedule));
    }
  }
  SetChannel(sids[0]);
  eitstate = 1;

  constexpr int kRounds = 20000;
  std::atomic<bool> done{false};
  std::atomic<int> mismatches{0};
  std::atomic<int> taken{0};
  std::thread reader([&] {
    for (int i = 0; !done.load(); ++i) Deliver(blocks[static_cast<size_t>(i) % blocks.size()]);
  });
  std::thread timer([&] {
    char now[kGuideTextMax], next[kGuideTextMax];
    while (!done.load()) {
      if (!TakeReadyLines(now, next, sizeof now)) continue;
      ++taken;
      // "(20:15) XXXX-now > XXXX " and "(21:00) XXXX-next > XXXX "
      if (std::strncmp(now + 8, next + 8, 4) != 0 || std::strlen(now) != 24 ||
          std::strlen(next) != 25) {
        ++mismatches;
      }
    }
  });
  for (int i = 0; i < kRounds; ++i) {
    SetChannel(sids[i % 2]);
    ResetLinesForChannel();
    char desc[kGuideTextMax];
    CopyNowDesc(desc, sizeof desc);
    if (i % 64 == 0) std::this_thread::yield();
  }
  // On a loaded machine the resets may have kept every pair from completing; let one channel
  // stand until the timer has taken a pair (bounded), so the check below sees real hand-overs.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (taken.load() == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  done = true;
  reader.join();
  timer.join();
  EXPECT_EQ(mismatches.load(), 0);
  EXPECT_GT(taken.load(), 0);
  ResetGuideState();
  ResetChannelState();
  ResetSettingsState();
}

// pelta-tool mkts and eit, as a user runs them.
#ifdef PELTA_TOOL
TEST(EitTool, MktsThenEitPrintsTheLines) {
  const ScopedTempDir temp("pelta-eit-tool");
  ASSERT_FALSE(temp.dir.empty());
  const std::string dir = temp.path;
  const std::string schedule = dir + "pelta_eit_tool.txt";
  const std::string stream = dir + "pelta_eit_tool.ts";
  std::FILE* f = std::fopen(schedule.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs(kSchedule, f);
  std::fclose(f);
  const std::string tool = PELTA_TOOL;
  EXPECT_EQ(RunCommand(tool + " mkts " + schedule + " --out " + stream), "7 packets\n");
  EXPECT_EQ(RunCommand(tool + " eit " + stream + " --list"),
            "sid 257 (0x0101): present following\nsid 4660 (0x1234): present following\n");
  ExpectText(
      RunCommand(tool + " eit " + stream + " --sid 0x1234 --hour-offset 1 --block-packets 3"),
      "now: (21:15) News > Weather tonight \n"
      "next: (22:00) Film > A  long  film \n"
      "desc: Weather tonight\n"
      "state: 7\n",
      "sid 0x1234");
  ExpectText(RunCommand(tool + " eit " + stream + " --sid 257 --guide-format 2"),
             "now: (06:00) Breakfast \n"
             "next: Coffee \n"
             "desc: Coffee\n"
             "state: 7\n",
             "sid 257");
  ExpectText(RunCommand(tool + " eit " + stream + " --sid 99"), "now: \nnext: \ndesc: \nstate: 1\n",
             "unknown sid");
}

TEST(EitTool, AProgrammeChangePartWayAndTheTimeOptions) {
  const ScopedTempDir temp("pelta-eit-change");
  ASSERT_FALSE(temp.dir.empty());
  const std::string stream = temp.path + "pelta_eit_change.ts";
  const std::string tool = PELTA_TOOL;
  ASSERT_EQ(RunCommand(tool + " mkts " PELTA_TEST_DATA "/change.schedule --out " + stream),
            "9 packets\n");
  const std::string ended = "now: (21:00) Film > Drama \nnext: (22:30) Late show > Talk \n";
  const std::string tail = ended + "desc: Drama\nstate: 7\n";
  const struct {
    const char* options;
    std::string out;
  } rows[] = {
      {"", tail},
      {" --block-packets 1", tail},
      {" --follow --block-packets 1",
       "packet 2:\nnow: (20:15) News > Weather \nnext: (21:00) Film > Drama \npacket 7:\n" + ended +
           tail},
      {" --follow", "packet 9:\n" + ended + tail},  // one block: the change is never seen apart
      {" --hour-offset 30",
       "now: (03:00) Film > Drama \nnext: (04:30) Late show > Talk \n"
       "desc: Drama\nstate: 7\n"},
      {" --hour-offset -30",
       "now: (15:00) Film > Drama \nnext: (16:30) Late show > Talk \n"
       "desc: Drama\nstate: 7\n"},
      {" --hour-offset LOCAL --tz CET-1CEST,M3.5.0,M10.5.0/3",
       "now: (23:00) Film > Drama \nnext: (00:30) Late show > Talk \ndesc: Drama\nstate: 7\n"},
      {" --hour-offset local", tail},  // UTC without a zone
  };
  for (const auto& row : rows) {
    ExpectText(RunCommand(tool + " eit " + stream + " --sid 0x1234" + row.options), row.out,
               row.options);
  }
}

TEST(EitTool, ShowAfterAProgrammeChangeWhileTheStripIsHidden) {
  const ScopedTempDir temp("pelta-eit-show");
  ASSERT_FALSE(temp.dir.empty());
  const std::string dir = temp.path;
  const std::string tool = PELTA_TOOL;
  const struct {
    const char* file;
    const char* text;
  } schedules[] = {
      {"pelta_show_before",
       "28106 present 20:15 short \"News\" \"Weather\" date=2026-07-01\n"
       "28106 following 21:00 short \"Film\" \"Drama\" date=2026-07-01\n"},
      {"pelta_show_after",
       "28106 present 21:00 short \"Film\" \"Drama\" version=1 date=2026-07-01\n"
       "28106 following 22:30 short \"Late show\" \"Talk\" version=1 date=2026-07-01\n"},
  };
  for (const auto& sc : schedules) {
    std::FILE* f = std::fopen((dir + sc.file + ".txt").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs(sc.text, f);
    std::fclose(f);
    RunCommand(tool + " mkts " + dir + sc.file + ".txt --out " + dir + sc.file + ".ts");
  }
  // The shipped pelta.ini says `local` and shows programme times: without --tz the machine is
  // on UTC; each event lasts an hour (mkts's default).
  const struct {
    const char* options;
    const char* strip;
    const char* now;
  } rows[] = {
      {"", "hidden", "(20:15\u201321:15) News > Weather "},
      {" --keys P", "shown", "(21:00\u201322:00) Film > Drama "},
      {" --keys P --tz CET-1CEST,M3.5.0,M10.5.0/3", "shown", "(23:00\u201300:00) Film > Drama "},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.options);
    const std::string out = dir + "pelta_show_change";
    const std::string said =
        RunCommand(tool + " show --ts " + dir + "pelta_show_before.ts --ts-later " + dir +
                   "pelta_show_after.ts --out " + out + row.options);
    EXPECT_NE(said.find(std::string("60 ") + row.strip), std::string::npos) << said;
    std::FILE* f = std::fopen((out + "/display.json").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::string json(1 << 16, '\0');
    json.resize(std::fread(&json[0], 1, json.size(), f));
    std::fclose(f);
    EXPECT_NE(json.find(row.now), std::string::npos) << json;
  }
}
#endif

}  // namespace
