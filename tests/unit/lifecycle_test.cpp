// Load, unload and the entry points of the library, in-process.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "display/timer.h"
#include "fixture.h"
#include "guide/eit.h"
#include "panels/panels.h"
#include "settings/settings.h"
#include "shared/commands.h"

namespace {

class LifecycleTest : public PluginTest {
 protected:
  bool LoadWithLine(int index, const std::string& text) {
    std::vector<std::string> lines = DefaultIni();
    lines[index] = text;
    WriteIni(lines);
    return Load();
  }
  sim::WindowInfo OsdInfo() {
    sim::WindowInfo info{};
    HWND osd = FindWindowA(nullptr, "Pelta");
    EXPECT_NE(osd, nullptr);
    sim::GetInfo(osd, &info);
    return info;
  }
};

TEST_F(LifecycleTest, LoadsFourPanelsHiddenWithTheirCaptions) {
  ASSERT_TRUE(Load());
  const struct {
    int handle;
    const char* caption;
  } panels[] = {
      {pnlDisplay, "Pelta"}, {pnlSettings, "Settings"}, {pnlAbout, "About"}, {pnlGuide, "EPG"}};
  int handles[8];
  ASSERT_EQ(mem::Handles(handles, 8), 4);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(handles[i], panels[i].handle) << "load order 4, 3, 1, 2";
    EXPECT_FALSE(mem::IsVisible(panels[i].handle)) << panels[i].caption;
    sim::WindowInfo info;
    ASSERT_TRUE(sim::GetInfo(FindWindowA(nullptr, panels[i].caption), &info));
  }
  char label[32];
  ASSERT_TRUE(mem::CtrlText(pnlAbout, 3, label, sizeof label));
  EXPECT_STREQ(label, "Pelta 2_0");
  EXPECT_EQ(sim::MessageBoxCount(), 0);
}

TEST_F(LifecycleTest, OpacityDecidesTranslucency) {
  struct Case {
    const char* opacity;
    bool layered;
    int alpha;
    int held;
  } cases[] = {{"180", true, 180, 180}, {"50", true, 255, 255},  {"99", true, 255, 255},
               {"100", true, 100, 100}, {"249", true, 249, 249}, {"250", false, 0, 250},
               {"255", false, 0, 255},  {"-7", true, 255, 255}};
  for (const Case& c : cases) {
    ASSERT_TRUE(LoadWithLine(12, c.opacity));
    sim::WindowInfo info = OsdInfo();
    EXPECT_EQ((info.exstyle & WS_EX_LAYERED) != 0, c.layered) << c.opacity;
    EXPECT_EQ(info.layered_attrs_set, c.layered) << c.opacity;
    if (c.layered) {
      EXPECT_EQ(info.alpha, c.alpha) << c.opacity;
      EXPECT_EQ(info.layered_flags, static_cast<DWORD>(LWA_ALPHA));
      EXPECT_EQ(info.color_key, 0u);
    }
    EXPECT_EQ(Opacity.load(), c.held) << c.opacity;
    Unload();
  }
}

TEST_F(LifecycleTest, WithoutTheLayeredFunctionTheDisplayStaysOpaqueAndVisible) {
  sim::FailLayeredLookup(true);
  ASSERT_TRUE(Load());
  sim::WindowInfo info = OsdInfo();
  // The layered bit alone would make the window invisible: it is not set.
  EXPECT_EQ(info.exstyle & WS_EX_LAYERED, 0);
  EXPECT_FALSE(info.layered_attrs_set);
}

TEST_F(LifecycleTest, TimerPeriodIsOneFiftiethOfTheDisplayTime) {
  struct Case {
    const char* seconds;
    bool running;
    UINT period;
  } cases[] = {{" 3.0", true, 60}, {" 5.0", true, 100}, {"0.02", true, 1}, {"0.049", true, 1},
               {"0.01", true, 60}, {"0.05", true, 1}};  // below 50 ms: every millisecond
  for (const Case& c : cases) {
    ASSERT_TRUE(LoadWithLine(0, c.seconds));
    EXPECT_EQ(sim::TimerRunning(), c.running) << c.seconds;
    if (c.running) {
      EXPECT_EQ(sim::TimerPeriod(), c.period) << c.seconds;
      EXPECT_EQ(sim::TimerResolution(), 100u);
    }
    Unload();
    EXPECT_FALSE(sim::TimerRunning()) << "unload kills the timer";
  }
}

TEST_F(LifecycleTest, FontNameIsAppliedAtLoadFromFourCharacters) {
  // The alignment is applied whatever the font name: the channel change re-anchors the texts
  // for 16 and 32 in any case.
  struct Case {
    const char* font;
    bool applied;
    int align;
  } cases[] = {{"Ari", false, 32}, {"Aria", true, 32},        {"", false, 32},
               {"", false, 16},    {"Courier New", true, 32}, {"Ari", false, 0}};
  for (const Case& c : cases) {
    std::vector<std::string> lines = DefaultIni();
    lines[13] = std::to_string(c.align);
    lines[15] = c.font;
    WriteIni(lines);
    ASSERT_TRUE(Load());
    for (int control : {8, 10, 11}) {
      char face[64] = "";
      int justify = -1;
      ASSERT_TRUE(mem::CtrlAttrText(pnlDisplay, control, ATTR_TEXT_FONT, face, sizeof face));
      ASSERT_TRUE(mem::CtrlAttr(pnlDisplay, control, ATTR_TEXT_JUSTIFY, &justify));
      EXPECT_EQ(std::strcmp(face, c.font) == 0, c.applied) << c.font << " on " << control;
      EXPECT_EQ(justify, c.align) << c.font << " on " << control;
    }
    Unload();
  }
}

TEST_F(LifecycleTest, MissingOrUnreadableLayoutFileIsShownAndRefusesTheLoad) {
  // The message names the file looked for and says which of the two happened.
  const struct {
    const char* what;
    bool folder;  // a folder named pelta.uir instead of no file at all
    const char* outcome;
  } cases[] = {{"missing", false, "not found"}, {"a folder of that name", true, "cannot be read"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    sim::ClearLogs();
    ASSERT_EQ(std::remove(Path("pelta.uir").c_str()), 0);
    if (c.folder) {
      ASSERT_EQ(mkdir(Path("pelta.uir").c_str(), 0755), 0);
    }
    EXPECT_FALSE(Load());
    ASSERT_EQ(sim::MessageBoxCount(), 1);
    const sim::MessageBoxEntry* box = sim::MessageBoxAt(0);
    EXPECT_EQ(box->owner, nullptr);
    const std::string path = UirPath;
    EXPECT_EQ(path.substr(path.size() - 10), "\\pelta.uir");
    EXPECT_EQ(std::string(box->text),
              "Attention :\n\n\n\n\n\n\n\n\nFile " + path + " " + c.outcome + " !");
    EXPECT_STREQ(box->caption, "Pelta error");
    EXPECT_EQ(box->type, static_cast<UINT>(MB_OK));
    EXPECT_FALSE(sim::TimerRunning());
    if (c.folder) {
      ASSERT_EQ(rmdir(Path("pelta.uir").c_str()), 0);
    }
    WriteFile("pelta.uir", "");  // for the next row to remove
  }
}

TEST_F(LifecycleTest, AFailedPanelRefusesTheLoadSilentlyAndLeavesNothingBehind) {
  const struct {
    const char* what;
    std::string uir;
  } cases[] = {
      {"no guide panel",
       "[panel 4]\ncaption = Pelta\n[panel 3]\ncaption = Settings\n"
       "[panel 1]\ncaption = About\n"},
      {"malformed", "[panel 4]\ncaption = Pelta\nrect = 1, 2\n"},
      {"unknown callback",
       "[panel 4]\ncaption = Pelta\n[control 3]\nkind = button\n"
       "callback = NOPE\n"},
      {"empty", ""},
  };
  for (const auto& c : cases) {
    WriteFile("pelta.uir", c.uir);
    EXPECT_FALSE(Load()) << c.what;
    int handles[8];
    EXPECT_EQ(mem::Handles(handles, 8), 0) << c.what;
    EXPECT_EQ(FindWindowA(nullptr, "Pelta"), nullptr) << c.what;
    EXPECT_EQ(sim::MessageBoxCount(), 0) << c.what;
    EXPECT_FALSE(sim::TimerRunning()) << c.what;
  }
}

TEST_F(LifecycleTest, ModuleFolderTooLongForThePathsRefusesTheLoad) {
  // 250 characters fit the folder buffer but not the folder plus "\pelta.ini".
  std::string long_dir = "/" + std::string(249, 'd');
  sim::SetModuleDir(long_dir.c_str());
  EXPECT_FALSE(Load());
  EXPECT_EQ(sim::MessageBoxCount(), 0);
  sim::SetModuleDir((std::string(400, 'x')).c_str());
  EXPECT_FALSE(Load());
}

TEST_F(LifecycleTest, EntryPointsThatOnlyNameOrIgnore) {
  ASSERT_TRUE(Load());
  char name[16];
  std::memset(name, 0x5A, sizeof name);
  On_Send_Dll_ID_Name(name);
  EXPECT_EQ(std::string(name, 7), std::string("Pelta\0\x5A", 7));

  char hot_key[8] = "hot", version[8] = "ver";
  int res = 99;
  On_Start(nullptr, host_, TRUE, 70000, hot_key, version, &res);
  EXPECT_STREQ(hot_key, "hot");
  EXPECT_STREQ(version, "ver");
  EXPECT_EQ(res, 99);
  EXPECT_EQ(HostWnd, host_);
  EXPECT_EQ(HostDllId, 70000);

  sim::ClearLogs();
  On_Hot_Key();
  On_Filter_Close(3);
  On_Menu_Select(12345);  // not a menu item of the plug-in: returns at once
  EXPECT_EQ(sim::CallCount(), 0);
  EXPECT_EQ(mem::LoopDepth(), 0);
}

TEST_F(LifecycleTest, ExitStopsTheFilterOnceAndDiscardsOnlyTheDisplay) {
  ASSERT_TRUE(Load());
  Start();
  EpgEnabled = 1;
  GetEIT();
  ASSERT_EQ(CommandsWithCode(CMD_START_FILTER), 1);
  const int display = pnlDisplay;
  On_Exit(nullptr, host_, FALSE);
  On_Exit(nullptr, host_, FALSE);
  EXPECT_FALSE(mem::IsLoaded(display));
  EXPECT_TRUE(mem::IsLoaded(pnlGuide));
  EXPECT_FALSE(sim::TimerRunning()) << "exit stops the timer";
  Unload();
  ASSERT_EQ(CommandsWithCode(CMD_STOP_FILTER), 1);
  EXPECT_EQ(commands[command_count - 1].param, host_runid);
  int handles[8];
  EXPECT_EQ(mem::Handles(handles, 8), 0);
}

// After On_Exit a channel change shows nothing and starts nothing (it used to send a new
// start-filter command while the timer kept running); a later On_Start brings the display back.
TEST_F(LifecycleTest, ExitIsFinalForTheDisplayUntilTheNextStart) {
  LoadStartAndPassGate();
  EpgEnabled = 1;
  On_Channel_Change(MakeChannel("One", 11778000, 1, 1, 0));
  ASSERT_EQ(CommandsWithCode(CMD_START_FILTER), 1);
  On_Exit(nullptr, host_, FALSE);
  ASSERT_EQ(CommandsWithCode(CMD_STOP_FILTER), 1);
  sim::ClearLogs();
  const int before = command_count;
  On_Channel_Change(MakeChannel("Two", 11778000, 1, 2, 0));
  sim::FireTimer(60);
  EXPECT_EQ(command_count, before) << "no start-filter command after exit";
  EXPECT_EQ(sim::SetWindowPosCount(), 0) << "nothing is shown";
  EXPECT_EQ(FindWindowA(nullptr, "Pelta"), nullptr);
  EXPECT_FALSE(sim::TimerRunning());

  Start();
  ASSERT_NE(pnlDisplay.load(), 0);
  EXPECT_TRUE(sim::TimerRunning());
  EXPECT_FALSE(mem::IsVisible(pnlDisplay)) << "hidden until a channel change, as after load";
  On_Channel_Change(MakeChannel("Gate", 11778000, 1, 1, 0));  // the start cycle again
  sim::FireTimer(5);
  On_Channel_Change(MakeChannel("Three", 11778000, 1, 3, 0));
  EXPECT_TRUE(mem::IsVisible(pnlDisplay));
  EXPECT_EQ(CommandsWithCode(CMD_START_FILTER), 2);
  Unload();
  EXPECT_EQ(CommandsWithCode(CMD_STOP_FILTER), 2);
}

// At process exit (DllMain's reserved argument non-null) the unload sends nothing to the host
// and kills no timer synchronously; FreeLibrary keeps the orderly stop.
TEST_F(LifecycleTest, UnloadAtProcessExitWaitsForNothing) {
  struct Case {
    const char* what;
    LPVOID reserved;
    int stop_commands;
    bool timer_running_after;
  } cases[] = {
      {"FreeLibrary", nullptr, 1, false},
      {"process exit", reinterpret_cast<LPVOID>(1), 0, true},
  };
  for (const Case& c : cases) {
    LoadStartAndPassGate();
    EpgEnabled = 1;
    On_Channel_Change(MakeChannel("One", 11778000, 1, 1, 0));
    ASSERT_EQ(CommandsWithCode(CMD_START_FILTER), 1) << c.what;
    sim::ClearLogs();
    command_count = 0;
    DllMain(reinterpret_cast<HINSTANCE>(0x10000), DLL_PROCESS_DETACH, c.reserved);
    loaded_ = false;
    EXPECT_EQ(CommandsWithCode(CMD_STOP_FILTER), c.stop_commands) << c.what;
    EXPECT_EQ(sim::MessageCount(), c.stop_commands) << c.what;
    EXPECT_EQ(sim::TimerRunning(), c.timer_running_after) << c.what;
    int handles[8];
    EXPECT_EQ(mem::Handles(handles, 8), 0) << c.what;
    command_count = 0;
  }
}

TEST_F(LifecycleTest, UnloadStopsTheTimerBeforeThePanelsGo) {
  ASSERT_TRUE(Load());
  const int display = pnlDisplay;
  Unload();
  EXPECT_FALSE(sim::TimerRunning());
  EXPECT_FALSE(mem::IsLoaded(display));
  sim::FireTimer(3);  // a late tick has nothing to run
  EXPECT_EQ(sim::TimerRefusedCount(), 0);
}

TEST_F(LifecycleTest, EveryLoadStartsFromLoadTimeState) {
  ASSERT_TRUE(Load());
  Start();
  On_Channel_Change(MakeChannel("One", 11778000, 1, 77, 5));
  EpgEnabled = 1;
  GetEIT();
  Unload();
  ASSERT_TRUE(Load());
  EXPECT_EQ(HostWnd, nullptr);
  EXPECT_EQ(eitstate.load(), 0);
  EXPECT_EQ(TickCount.load(), 0);
  EXPECT_EQ(DisplayActive.load(), 0);
  EXPECT_EQ(StartKeySent.load(), 0);
  EXPECT_EQ(CurrentServiceId(), 0);
  for (unsigned char b : FilterRequest.bytes) EXPECT_EQ(b, 0);
}

TEST_F(LifecycleTest, MenuOpensEachDialogPlacedOnTopAndReturnsWhenItsButtonEndsIt) {
  ASSERT_TRUE(Load());
  const struct {
    UINT menu;
    int panel;
    const char* caption;
    int x, y, w, h;
    int button;
  } cases[] = {{44454, pnlSettings, "Settings", 50, 50, 440, 481, 20},
               {44455, pnlAbout, "About", 400, 50, 300, 330, 2},
               {44456, pnlGuide, "EPG", 50, 50, 460, 710, 5}};
  for (const auto& c : cases) {
    sim::ClearLogs();
    mem::QueueCommit(c.panel, c.button);
    On_Menu_Select(c.menu);
    EXPECT_TRUE(mem::LastLoopEndedByQuit()) << c.caption;
    EXPECT_FALSE(mem::IsVisible(c.panel)) << c.caption;
    EXPECT_EQ(mem::ActivePanel(), c.panel) << c.caption;
    ASSERT_GE(sim::SetWindowPosCount(), 1) << c.caption;
    const sim::SetWindowPosEntry* pos = sim::SetWindowPosAt(0);
    EXPECT_EQ(pos->hwnd, FindWindowA(nullptr, c.caption));
    EXPECT_EQ(pos->insert_after, HWND_TOPMOST);
    EXPECT_EQ(pos->x, c.x);
    EXPECT_EQ(pos->y, c.y);
    EXPECT_EQ(pos->cx, c.w);
    EXPECT_EQ(pos->cy, c.h);
    EXPECT_EQ(pos->flags, static_cast<UINT>(SWP_SHOWWINDOW));
  }
}

}  // namespace
