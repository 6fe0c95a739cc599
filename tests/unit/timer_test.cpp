// The display timer: cycles, the P and O keys, the start key and the programme lines.
#include "display/timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "display/discovery.h"
#include "fixture.h"
#include "guide/eit.h"
#include "guide/filter.h"
#include "panels/panels.h"
#include "settings/settings.h"
#include "shared/commands.h"
#include "ts.h"

namespace {

class TimerTest : public PluginTest {
 protected:
  bool LoadWith(int line, const std::string& text) {
    std::vector<std::string> lines = DefaultIni();
    lines[line] = text;
    WriteIni(lines);
    return Load();
  }
  void PassGateAndChange() {
    LoadStartAndPassGate();
    On_Channel_Change(MakeChannel("Das Erste", 11836000, 13, 28106, 0));
    ASSERT_TRUE(mem::IsVisible(pnlDisplay));
  }
  // The reader has both lines (what OnDataArrival leaves once it has captured them).
  static void LinesReady(const char* now, const char* next) {
    std::lock_guard<std::mutex> lock(GuideLock);
    std::strcpy(nowtxt, now);
    std::strcpy(nxttxt, next);
    eitstate = 7;
  }
  static std::string Text(int panel, int control) {
    char text[256] = "";
    EXPECT_TRUE(mem::CtrlText(panel, control, text, sizeof text));
    return text;
  }
  static int CallsOf(sim::Call call) {
    int n = 0;
    for (int i = 0; i < sim::CallCount(); ++i) n += sim::CallAt(i)->call == call;
    return n;
  }
  // Ticks until the display hides; returns the number of ticks (at most `limit`).
  static int TicksUntilHidden(int limit = 200) {
    for (int n = 1; n <= limit; ++n) {
      sim::FireTimer();
      if (!mem::IsVisible(pnlDisplay)) return n;
    }
    return -1;
  }
};

TEST_F(TimerTest, DisplayHidesInThe51stTickAndHandsTheFocusBack) {
  PassGateAndChange();
  EXPECT_EQ(sim::TimerPeriod(), 60u) << "3000 ms / 50";
  sim::ClearLogs();
  EXPECT_EQ(TicksUntilHidden(), 51) << "between 3000 and 3060 ms after the change";
  EXPECT_EQ(DisplayActive.load(), 0);
  EXPECT_EQ(TickCount.load(), 0);
  ASSERT_EQ(sim::CallCount(), 2);
  EXPECT_EQ(sim::CallAt(0)->call, sim::Call::SetFocus);
  EXPECT_EQ(sim::CallAt(0)->hwnd, host_);
  EXPECT_EQ(sim::CallAt(1)->call, sim::Call::SetForeground);
  EXPECT_EQ(sim::ForegroundWindow(), host_);
  sim::FireTimer(100);
  EXPECT_EQ(sim::CallCount(), 2) << "idle ticks do nothing";
}

TEST_F(TimerTest, PKeyShowsTheLastDisplayWithTheCurrentTimeFor35Ticks) {
  PassGateAndChange();
  TicksUntilHidden();
  sim::SetClock(21, 7, 59);
  sim::PressKey('P');
  sim::FireTimer();
  EXPECT_TRUE(mem::IsVisible(pnlDisplay));
  EXPECT_EQ(TickCount.load(), 16);
  EXPECT_EQ(Text(pnlDisplay, 4), "21:07");
  EXPECT_EQ(Text(pnlDisplay, 8), "Das Erste") << "the rest is as last filled";
  EXPECT_EQ(TicksUntilHidden(), 35);
}

TEST_F(TimerTest, HeldKeysDoNotCount) {
  PassGateAndChange();
  TicksUntilHidden();
  sim::HoldKey('P', true);
  sim::HoldKey('O', true);
  sim::FireTimer(3);
  EXPECT_FALSE(mem::IsVisible(pnlDisplay));
  EXPECT_FALSE(mem::IsVisible(pnlGuide));
  EXPECT_EQ(DisplayActive.load(), 0);
}

TEST_F(TimerTest, OKeyOpensTheGuideFor45TicksAndHidesItWithTheDisplay) {
  PassGateAndChange();
  TicksUntilHidden();
  sim::ClearLogs();
  sim::PressKey('O');
  sim::FireTimer();
  EXPECT_TRUE(mem::IsVisible(pnlGuide));
  EXPECT_EQ(Text(pnlGuide, 4), "Das Erste");
  EXPECT_EQ(GuideByKey.load(), 1);
  EXPECT_EQ(TickCount.load(), 6);
  ASSERT_GE(sim::SetWindowPosCount(), 1);
  const sim::SetWindowPosEntry* place = sim::SetWindowPosAt(sim::SetWindowPosCount() - 1);
  EXPECT_EQ(place->hwnd, FindWindowA(nullptr, "EPG"));
  EXPECT_EQ(place->insert_after, HWND_TOPMOST);
  EXPECT_EQ(place->x, 50);
  EXPECT_EQ(place->cx, 460);
  EXPECT_EQ(mem::LoopDepth(), 0) << "no event loop from the timer";
  sim::FireTimer(44);
  EXPECT_TRUE(mem::IsVisible(pnlGuide));
  sim::FireTimer();
  EXPECT_FALSE(mem::IsVisible(pnlGuide));
  EXPECT_EQ(GuideByKey.load(), 0);
  EXPECT_EQ(sim::FocusWindow(), host_);
}

TEST_F(TimerTest, PAndOInOneTickShowBothAndOWins) {
  PassGateAndChange();
  TicksUntilHidden();
  sim::PressKey('P');
  sim::PressKey('O');
  sim::FireTimer();
  EXPECT_TRUE(mem::IsVisible(pnlDisplay));
  EXPECT_TRUE(mem::IsVisible(pnlGuide));
  EXPECT_EQ(TickCount.load(), 6);
  EXPECT_EQ(TicksUntilHidden(), 45);
}

TEST_F(TimerTest, GuideFromTheMenuIsNotHiddenByTheTimer) {
  PassGateAndChange();
  static bool shown_after_cycle;
  shown_after_cycle = false;
  mem::QueueCall(
      [](void*) {
        EXPECT_EQ(GuideByKey.load(), 0);
        EXPECT_GT(TicksUntilHidden(), 0);
        shown_after_cycle = mem::IsVisible(pnlGuide);
        mem::QueueCommit(pnlGuide, 5);  // its OK
      },
      nullptr);
  On_Menu_Select(44456);
  EXPECT_TRUE(shown_after_cycle);
}

// The strip hands the focus back to the host as it appears and as it hides, unless the user is
// working in a dialog of the plug-in: Esc typed there must close the dialog, not reach the host.
// Each row changes channel and runs the cycle out inside the dialog's loop (or with none open).
struct FocusRow {
  const char* what;
  UINT menu;                 // 0: no dialog open
  std::atomic<int>* dialog;  // the dialog that menu item opens
  bool user_in_host;         // the user has gone back to the host's window meanwhile
  bool handed_back;
  int focus_calls;  // SetFocus calls on the host, counted inside the dialog
};

void ChangeAndRunOut(void* data) {
  auto* row = static_cast<FocusRow*>(data);
  if (row->user_in_host) sim::Activate(FindWindowA(nullptr, "ProgDVB 7"));
  sim::ClearLogs();
  On_Channel_Change(MakeChannel("Arte", 10744000, 1, 10302, 0));
  sim::FireTimer(51);
  EXPECT_FALSE(mem::IsVisible(pnlDisplay)) << row->what;
  for (int i = 0; i < sim::CallCount(); ++i) {
    row->focus_calls += sim::CallAt(i)->call == sim::Call::SetFocus;
  }
  if (row->dialog != nullptr) mem::QueueClose(*row->dialog);
}

TEST_F(TimerTest, AnActiveDialogOfThePluginKeepsTheFocus) {
  FocusRow rows[] = {
      {"no dialog open", 0, nullptr, false, true, 0},
      {"Settings", 44454, &pnlSettings, false, false, 0},
      {"About", 44455, &pnlAbout, false, false, 0},
      {"the guide from the menu", 44456, &pnlGuide, false, false, 0},
      {"Settings open, the user back in the host", 44454, &pnlSettings, true, true, 0},
  };
  for (FocusRow& row : rows) {
    SCOPED_TRACE(row.what);
    LoadStartAndPassGate();
    if (row.menu == 0) {
      ChangeAndRunOut(&row);
    } else {
      mem::QueueCall(&ChangeAndRunOut, &row);
      On_Menu_Select(row.menu);
      EXPECT_TRUE(mem::LastLoopEndedByQuit());
    }
    EXPECT_EQ(row.focus_calls, row.handed_back ? 2 : 0) << "on the change and at the hiding";
    Unload();
    mem::Reset();
  }
}

// A tick first processes the pending events. A tick that arrives in that processing is dropped
// (one tick at a time); a dialog that a host command opens there runs its own event loop, in
// which the ticks go on: the strip hides on time while the dialog is up.
TEST_F(TimerTest, TicksGoOnInADialogOpenedInsideATick) {
  PassGateAndChange();
  static int count_in_nested;
  static bool hidden_in_dialog;
  mem::QueueCall(
      [](void*) {
        sim::FireTimer();
        count_in_nested = TickCount;
      },
      nullptr);
  sim::FireTimer();
  EXPECT_EQ(count_in_nested, 0) << "the nested tick did not count";
  EXPECT_EQ(TickCount.load(), 1);
  hidden_in_dialog = false;
  mem::QueueCall(
      [](void*) {
        mem::QueueCall(
            [](void*) {
              sim::FireTimer(50);
              hidden_in_dialog = !mem::IsVisible(pnlDisplay);
              mem::QueueClose(pnlSettings);
            },
            nullptr);
        On_Menu_Select(44454);
      },
      nullptr);
  sim::FireTimer();
  EXPECT_TRUE(hidden_in_dialog);
  EXPECT_EQ(mem::LoopDepth(), 0);
}

TEST_F(TimerTest, StartKeyIsSentOnceAtTheFifthTick) {
  const struct {
    const char* setting;
    int vk;  // -1: nothing sent
  } cases[] = {{"0", -1},  {"13", -1},   {"32", -1},  {"33", 33},
               {"65", 65}, {"160", 160}, {"300", 44}, {"-3", -1}};
  for (const auto& c : cases) {
    sim::ClearLogs();
    ASSERT_TRUE(LoadWith(11, c.setting));
    Start();
    On_Channel_Change(MakeChannel("Gate", 1, 1, 1, 0));
    EXPECT_FALSE(mem::IsVisible(pnlDisplay)) << "the first change shows nothing";
    EXPECT_EQ(CurrentServiceId(), 0) << "and keeps no record";
    sim::FireTimer(4);
    EXPECT_EQ(StartKeySent.load(), 0);
    EXPECT_EQ(sim::KeyEventCount(), 0);
    sim::FireTimer();
    EXPECT_EQ(StartKeySent.load(), 1) << c.setting;
    EXPECT_EQ(DisplayActive.load(), 0);
    if (c.vk < 0) {
      EXPECT_EQ(sim::KeyEventCount(), 0) << c.setting;
    } else {
      // A press: the key-down, then the matching key-up, so the key is not left held.
      ASSERT_EQ(sim::KeyEventCount(), 2) << c.setting;
      for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(sim::KeyEventAt(i)->vk, c.vk);
        EXPECT_EQ(sim::KeyEventAt(i)->flags, i == 0 ? 0x101u : 0x103u);
        EXPECT_EQ(sim::KeyEventAt(i)->scan, 0);
        EXPECT_EQ(sim::KeyEventAt(i)->extra, 0u);
      }
    }
    EXPECT_EQ(CallsOf(sim::Call::SetFocus), 0) << "the start cycle hides nothing";
    On_Channel_Change(MakeChannel("Next", 1, 1, 1, 0));
    EXPECT_TRUE(mem::IsVisible(pnlDisplay));
    TicksUntilHidden();
    sim::FireTimer(10);
    EXPECT_EQ(sim::KeyEventCount(), c.vk < 0 ? 0 : 2) << "never a second time";
    Unload();
  }
}

TEST_F(TimerTest, ChangesDuringTheStartCycleRestartItsCount) {
  ASSERT_TRUE(LoadWith(11, "65"));
  Start();
  On_Channel_Change(MakeChannel("A", 1, 1, 1, 0));
  sim::FireTimer(3);
  On_Channel_Change(MakeChannel("B", 1, 1, 1, 0));
  sim::FireTimer(4);
  EXPECT_EQ(StartKeySent.load(), 0);
  sim::FireTimer();
  EXPECT_EQ(StartKeySent.load(), 1);
  EXPECT_EQ(sim::KeyEventCount(), 2) << "down and up";
}

TEST_F(TimerTest, APKeyBeforeTheFifthTickPostponesTheStartKey) {
  ASSERT_TRUE(LoadWith(11, "65"));
  Start();
  On_Channel_Change(MakeChannel("A", 1, 1, 1, 0));
  sim::FireTimer(2);
  sim::PressKey('P');
  sim::FireTimer();  // count 16: never 5 in this cycle
  sim::FireTimer(40);
  EXPECT_EQ(StartKeySent.load(), 0);
  EXPECT_EQ(sim::KeyEventCount(), 0);
  On_Channel_Change(MakeChannel("B", 1, 1, 1, 0));
  EXPECT_FALSE(mem::IsVisible(pnlDisplay)) << "still gated";
  EXPECT_EQ(CurrentServiceId(), 0);
  sim::FireTimer(5);
  EXPECT_EQ(StartKeySent.load(), 1);
  EXPECT_EQ(sim::KeyEventCount(), 2) << "down and up";
}

TEST_F(TimerTest, LinesReadyWhileShownAppearAtTheNextTickAndRestartTheCycle) {
  PassGateAndChange();
  sim::FireTimer(30);
  LinesReady("(20:15) Tagesschau > News ", "(20:30) Wetter > Weather ");
  sim::FireTimer();
  EXPECT_EQ(Text(pnlDisplay, 10), "(20:15) Tagesschau > News ");
  EXPECT_EQ(Text(pnlDisplay, 11), "(20:30) Wetter > Weather ");
  EXPECT_EQ(eitstate.load(), 8);
  EXPECT_EQ(TickCount.load(), 0);
  EXPECT_EQ(TicksUntilHidden(), 51);
}

TEST_F(TimerTest, LinesReachControl11UnlessItHoldsTheTitleProbe) {
  const struct {
    int debug_mode;
    const char* next_shown;
  } cases[] = {{0, "next"}, {-1, "next"}, {-2, "Centre window"}};
  sim::CreateWindow("Centre window", RECT{900, 500, 1000, 600}, host_);
  for (const auto& c : cases) {
    PassGateAndChange();
    DebugMode = c.debug_mode;  // as the Settings dialog sets it
    On_Channel_Change(MakeChannel("Das Erste", 11836000, 13, 28106, 0));
    LinesReady("now", "next");  // the filter opened by the first change still runs
    sim::FireTimer();
    EXPECT_EQ(Text(pnlDisplay, 10), "now") << c.debug_mode;
    EXPECT_EQ(Text(pnlDisplay, 11), c.next_shown) << c.debug_mode;
    EXPECT_EQ(eitstate.load(), 8) << c.debug_mode;
    Unload();
  }
}

TEST_F(TimerTest, LinesReadyAfterTheHideWaitForThePKey) {
  PassGateAndChange();
  TicksUntilHidden();
  LinesReady("now", "next");
  sim::FireTimer(20);
  EXPECT_EQ(eitstate.load(), 7) << "idle ticks leave them";
  sim::PressKey('P');
  sim::FireTimer();
  EXPECT_EQ(Text(pnlDisplay, 10), "now");
  EXPECT_EQ(eitstate.load(), 8);
  EXPECT_EQ(TickCount.load(), 0) << "the count restarts from 0, not 16";
  EXPECT_EQ(TicksUntilHidden(), 51);
}

TEST_F(TimerTest, LinesAreLeftAloneWhenTheGuideIsOff) {
  WriteIni([] {
    std::vector<std::string> lines = DefaultIni();
    lines[4] = "0";
    return lines;
  }());
  PassGateAndChange();
  LinesReady("now", "next");
  sim::FireTimer(5);
  EXPECT_EQ(eitstate.load(), 7);
  EXPECT_EQ(Text(pnlDisplay, 10), " ");
}

TEST_F(TimerTest, CursorIsParkedOnlyForAltDvbWithParkCursor) {
  const struct {
    const char* host_title;
    const char* park;
    bool parked;
  } cases[] = {{"ALT-DVB 2.2", "1", true},
               {"ALT-DVB 2.2", "0", false},
               {"ProgDVB 7", "1", false},
               {"SkyView", "1", false},
               {"DVB Viewer", "1", false}};
  for (const auto& c : cases) {
    sim::ClearLogs();
    sim::SetTitle(host_, c.host_title);
    std::vector<std::string> lines = DefaultIni();
    lines[8] = c.park;
    WriteIni(lines);
    PassGateAndChange();
    TicksUntilHidden();
    EXPECT_EQ(CallsOf(sim::Call::SetCursor), c.parked ? 1 : 0) << c.host_title << c.park;
    if (c.parked) {
      EXPECT_EQ(sim::CursorPos().x, 960);
      EXPECT_EQ(sim::CursorPos().y, 1080);
    }
    Unload();
  }
}

// Channel changes (host thread), ticks with keys (timer thread) and EIT data (the host's data
// thread) all at once, for a bounded number of rounds; ThreadSanitizer (the tsan preset) checks
// the shared state. Afterwards the plug-in must still work as on a single thread.
class DisplayThreads : public TimerTest {};

TEST_F(DisplayThreads, ChannelChangesTicksAndEitDataRunTogether) {
  ts::Bytes stream;
  std::string error;
  ASSERT_TRUE(
      ts::BuildStream("0x1001 present 20:15 short \"News\" \"Weather\"\n"
                      "+ extended \"In depth\" \"Editor\" \"A. B.\"\n+ content 0x21\n"
                      "0x1001 following 20:30 short \"Film\" \"Drama\"\n"
                      "0x1002 present 06:00 short \"Morning\" \"Show\"\n"
                      "0x1002 following 09:00 short \"Quiz\" \"Game\"\n",
                      &stream, &error))
      << error;
  const ts::Bytes payloads = ts::ExtractPayloads(stream, ts::kEitPid);
  ASSERT_EQ(payloads.size(), 4 * ts::kPayloadSize);
  std::vector<std::string> ini = DefaultIni();
  ini[16] = "1";  // programme times: the ticks work the progress bar too
  WriteIni(ini);
  // A host that writes the running id, and one that writes none, whose data (on the data
  // thread) proves the filter open while channel changes may ask again.
  const struct {
    const char* what;
    int32_t runid;
  } rows[] = {{"running id written", 4242}, {"no running id: the data proves the filter", -1}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    Unload();
    harness::ResetHost(row.runid, 0);
    LoadStartAndPassGate();

    constexpr int kRounds = 400;
    // The three start together, so their rounds overlap rather than run one after another.
    std::atomic<int> ready{0};
    auto start_together = [&ready] {
      ready.fetch_add(1);
      while (ready.load() < 3) std::this_thread::yield();
    };
    std::thread host([&start_together] {
      start_together();
      for (int i = 0; i < kRounds; ++i) {
        const bool first = i % 2 == 0;
        On_Channel_Change(MakeChannel(first ? "Eins" : "Zwei", 11836000, 1, first ? 0x1001 : 0x1002,
                                      first ? 0 : 5));
      }
    });
    std::thread timer([&start_together] {
      start_together();
      for (int i = 0; i < 2 * kRounds; ++i) {
        if (i % 37 == 0) sim::PressKey('P');
        if (i % 53 == 0) sim::PressKey('O');
        sim::FireTimer();
      }
    });
    std::thread data([&payloads, &start_together] {
      start_together();
      for (int i = 0; i < 2 * kRounds; ++i) {
        OnDataArrival(1, static_cast<int>(payloads.size()), payloads.data());
      }
    });
    host.join();
    timer.join();
    data.join();

    const int32_t state = eitstate.load();
    EXPECT_GE(state, 1);
    EXPECT_LE(state, 8);
    if (row.runid == -1) {
      EXPECT_GE(CommandsWithCode(CMD_START_FILTER), 1);
    } else {
      EXPECT_EQ(CommandsWithCode(CMD_START_FILTER), 1);
    }

    On_Channel_Change(MakeChannel("Zwei", 11836000, 1, 0x1002, 5));
    EXPECT_EQ(Text(pnlDisplay, 10), "");
    OnDataArrival(1, static_cast<int>(payloads.size()), payloads.data());
    EXPECT_EQ(FilterPhase.load(), kFilterOpen);
    EXPECT_EQ(eitstate.load(), 7);
    sim::FireTimer();
    EXPECT_EQ(eitstate.load(), 8);
    EXPECT_NE(Text(pnlDisplay, 10).find("Morning"), std::string::npos) << Text(pnlDisplay, 10);
    EXPECT_NE(Text(pnlDisplay, 11).find("Quiz"), std::string::npos) << Text(pnlDisplay, 11);
    EXPECT_EQ(Text(pnlDisplay, 8), "Zwei");
  }
}

}  // namespace

namespace {

// The p/f sub-table of the channel PassGateAndChange shows (service 28106), at one version.
std::vector<uint8_t> PfBlock(int version, const char* now, const char* next) {
  char schedule[256];
  std::snprintf(schedule, sizeof schedule,
                "28106 present 20:15 short \"%s\" \"about %s\" version=%d\n"
                "28106 following 21:00 short \"%s\" \"about %s\" version=%d\n",
                now, now, version, next, next, version);
  ts::Bytes stream;
  std::string error;
  EXPECT_TRUE(ts::BuildStream(schedule, &stream, &error)) << error;
  return ts::ExtractPayloads(stream, ts::kEitPid);
}

void Deliver(const std::vector<uint8_t>& block) {
  OnDataArrival(1, static_cast<int>(block.size()), block.data());
}

}  // namespace

TEST_F(TimerTest, ANewVersionIsShownAtTheNextDisplayCycleNeverByItself) {
  enum class When { kHidden, kShown, kGuideByO };
  const struct {
    const char* what;
    When when;
  } rows[] = {
      {"while the strip is hidden: P shows the new lines", When::kHidden},
      {"while the strip is up: replaced in place at the next tick", When::kShown},
      {"while the guide is open by O: the strip's lines follow, the next O the text",
       When::kGuideByO},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    TearDown();
    SetUp();
    PassGateAndChange();
    Deliver(PfBlock(0, "News", "Film"));
    sim::FireTimer();
    ASSERT_EQ(eitstate.load(), 8);
    ASSERT_EQ(Text(pnlDisplay, 10), "(20:15) News > about News ");
    if (row.when != When::kShown) TicksUntilHidden();
    if (row.when == When::kGuideByO) {
      sim::PressKey('O');
      sim::FireTimer();
      ASSERT_TRUE(mem::IsVisible(pnlGuide));
    }
    const bool up = mem::IsVisible(pnlDisplay);
    Deliver(PfBlock(1, "Film", "Late"));
    EXPECT_EQ(eitstate.load(), 7);
    EXPECT_EQ(Text(pnlDisplay, 10), "(20:15) News > about News ") << "not before a tick";
    sim::FireTimer();
    EXPECT_EQ(mem::IsVisible(pnlDisplay), up) << "the update never pops the strip up";
    if (row.when == When::kHidden) {
      EXPECT_EQ(Text(pnlDisplay, 10), "(20:15) News > about News ");
      sim::PressKey('P');
      sim::FireTimer();
      EXPECT_TRUE(mem::IsVisible(pnlDisplay));
    }
    EXPECT_EQ(Text(pnlDisplay, 10), "(20:15) Film > about Film ");
    EXPECT_EQ(Text(pnlDisplay, 11), "(21:00) Late > about Late ");
    EXPECT_EQ(eitstate.load(), 8);
    if (row.when == When::kGuideByO) {
      TicksUntilHidden();
      sim::PressKey('O');
      sim::FireTimer();
      EXPECT_EQ(Text(pnlGuide, 3), "about Film");
    }
  }
}
