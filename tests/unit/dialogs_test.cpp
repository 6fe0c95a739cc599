// The settings dialog, the About box, the font button and the guide window's button.
#include "settings/dialogs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "display/timer.h"
#include "fixture.h"
#include "guide/eit.h"
#include "guide/guide_window.h"
#include "panels/memory/memory_panels.h"
#include "panels/model.h"
#include "panels/panels.h"
#include "settings/settings.h"
#include "ts.h"

namespace {

constexpr int kSaveButton = 20;
constexpr int kFontButton = 21;
constexpr int kAboutOk = 2;
constexpr int kGuideOk = 5;

class DialogsTest : public PluginTest {
 protected:
  // Delivers a schedule's EIT payloads to the reader as a host does, ten packets a block.
  void Broadcast(const std::string& schedule) {
    ts::Bytes stream;
    std::string error;
    ASSERT_TRUE(ts::BuildStream(schedule, &stream, &error)) << error;
    ts::Bytes payloads = ts::ExtractPayloads(stream, ts::kEitPid);
    const size_t block = 10 * ts::kPayloadSize;
    for (size_t at = 0; at < payloads.size(); at += block) {
      size_t n = std::min(block, payloads.size() - at);
      OnDataArrival(1, static_cast<int>(n), payloads.data() + at);
    }
  }
  std::string GuideText(int control) {
    char text[1024] = "";
    EXPECT_TRUE(mem::CtrlText(pnlGuide, control, text, sizeof text));
    return text;
  }
  void OpenGuideFromMenu() {
    mem::QueueCommit(pnlGuide, kGuideOk);
    On_Menu_Select(44456);
  }
  void LoadWithFont(const char* font, const char* align) {
    std::vector<std::string> lines = DefaultIni();
    lines[13] = align;
    lines[15] = font;
    WriteIni(lines);
    ASSERT_TRUE(Load());
  }
  void ExpectDisplayFont(const char* face, int justify) {
    for (int control : {8, 10, 11}) {
      char got[64] = "";
      int got_justify = -1;
      ASSERT_TRUE(mem::CtrlAttrText(pnlDisplay, control, ATTR_TEXT_FONT, got, sizeof got));
      ASSERT_TRUE(mem::CtrlAttr(pnlDisplay, control, ATTR_TEXT_JUSTIFY, &got_justify));
      EXPECT_STREQ(got, face) << "control " << control;
      EXPECT_EQ(got_justify, justify) << "control " << control;
    }
  }
};

TEST_F(DialogsTest, FontButtonStartsFromVerdanaForShortNames) {
  struct Case {
    const char* stored;
    bool choose;
    const char* chosen;
    int chosen_align;
    const char* dialog_got;  // the name the dialog starts from
    const char* result;
    int result_align;
  } cases[] = {
      {"", false, "", 0, "Verdana", "Verdana", 0},
      {"Ab", false, "", 0, "Verdana", "Verdana", 0},
      {"Ari", false, "", 0, "Ari", "Ari", 16},  // three characters are left as they are
      {"", true, "Tahoma", 32, "Verdana", "Tahoma", 32},
      {"Arial", true, "Georgia", 16, "Arial", "Georgia", 16},
      {"Arial", false, "", 0, "Arial", "Arial", 16},
  };
  for (const auto& c : cases) {
    LoadWithFont(c.stored, "16");
    mem::ScriptFontDialog(c.choose, c.chosen, c.chosen_align);
    mem::QueueCommit(pnlSettings, kFontButton);
    mem::QueueCommit(pnlSettings, kSaveButton);
    On_Menu_Select(44454);
    ASSERT_EQ(mem::FontDialogCount(), 1) << c.stored;
    const mem::FontDialogCall* call = mem::LastFontDialog();
    EXPECT_STREQ(call->title, "Font select");
    EXPECT_STREQ(call->sample, "Sample Text");
    EXPECT_EQ(call->fixed_pitch_only, 0);
    EXPECT_STREQ(call->typeface_in, c.dialog_got) << c.stored;
    EXPECT_EQ(call->min_size, 4);
    EXPECT_EQ(call->max_size, 64);
    ExpectDisplayFont(c.result, c.result_align);
    // The choice reaches the file with the save that closed the dialog.
    std::string file = ReadFile("pelta.ini");
    EXPECT_NE(file.find(std::string("\r\n") + c.result + "\r\n"), std::string::npos) << file;
    Unload();
    mem::Reset();
  }
}

TEST_F(DialogsTest, SaveWithoutChangesRewritesTheSameFile) {
  WriteIni({" 4.5", "1", "255", "65535", "1", "0", "1", "0", "1", "2", "0", "65", "200", "32", "2",
            "Lucida Console", "1", "ger,ENG"});
  const std::string before = ReadFile("pelta.ini");
  ASSERT_TRUE(Load());
  mem::QueueCommit(pnlSettings, kSaveButton);
  On_Menu_Select(44454);
  EXPECT_EQ(ReadFile("pelta.ini"), before);
  EXPECT_FALSE(mem::IsVisible(pnlSettings));
}

// What the user types into a field is saved only when it is a finite number within the field's
// range; otherwise the dialog stays open and a message names the field. What is saved reads back
// unchanged (at most ten characters a line).
TEST_F(DialogsTest, SaveChecksEveryFieldAgainstItsRange) {
  struct Case {
    int control;
    std::string typed;
    const char* refused_field;  // null: accepted
    int line;                   // accepted: 0-based line of pelta.ini and what it reads back
    const char* written;
  } cases[] = {
      {4, "nan", "Display time (s)", 0, nullptr},
      {4, "inf", "Display time (s)", 0, nullptr},
      {4, "1e999", "Display time (s)", 0, nullptr},
      {4, "0.05", "Display time (s)", 0, nullptr},
      {4, "600.5", "Display time (s)", 0, nullptr},
      {4, "", "Display time (s)", 0, nullptr},
      {4, "5 s", "Display time (s)", 0, nullptr},
      {19, "256", "Opacity", 0, nullptr},
      {3, "24", "Hour offset", 0, nullptr},
      {10, "16777216", "Background colour", 0, nullptr},
      {9, "-1", "Text colour", 0, nullptr},
      {15, "-1", "Start key code", 0, nullptr},
      {8, "-2147483648", "Size", 0, nullptr},
      {8, "nan", "Size", 0, nullptr},
      // Too long to be read whole for the check: refused, not taken as clamped.
      {4, std::string(64, '0') + "700", "Display time (s)", 0, nullptr},
      {15, "nan" + std::string(70, ' '), "Start key code", 0, nullptr},
      {4, " 600 ", nullptr, 0, "600.0"},
      {4, "0.1", nullptr, 0, " 0.1"},
      {3, "-23", nullptr, 9, "-23"},
      {19, "255", nullptr, 12, "255"},
      {10, "16777215", nullptr, 2, "16777215"},
      {8, "2147483647", nullptr, 1, "2147483647"},
      {2, "-999999999", nullptr, 10, "-999999999"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(Load());
    const std::string before = ReadFile("pelta.ini");
    sim::ClearLogs();
    ASSERT_TRUE(mem::TypeText(pnlSettings, c.control, c.typed.c_str()));
    // Save pressed again while the message box is up opens no second box.
    static int presses;
    presses = 0;
    sim::WhileMessageBox(
        [](void*) {
          if (presses++ == 0) model::Commit(pnlSettings, kSaveButton);
        },
        nullptr);
    mem::QueueCommit(pnlSettings, kSaveButton);
    static bool open_after_save;
    open_after_save = false;
    if (c.refused_field != nullptr) {
      mem::QueueCall([](void*) { open_after_save = mem::IsVisible(pnlSettings); }, nullptr);
    }
    On_Menu_Select(44454);  // returns when the queue runs dry: a refused save ends no loop
    const std::string after = ReadFile("pelta.ini");
    if (c.refused_field != nullptr) {
      EXPECT_EQ(after, before) << c.typed;
      EXPECT_TRUE(open_after_save) << c.typed << ": the dialog stays open";
      ASSERT_EQ(sim::MessageBoxCount(), 1) << c.typed;
      EXPECT_EQ(sim::MessageBoxAt(0)->owner, PanelWindow(pnlSettings)) << "modal to the dialog";
      EXPECT_NE(std::string(sim::MessageBoxAt(0)->text).find(c.refused_field), std::string::npos)
          << sim::MessageBoxAt(0)->text;
    } else {
      EXPECT_EQ(sim::MessageBoxCount(), 0) << c.typed;
      EXPECT_FALSE(mem::IsVisible(pnlSettings)) << c.typed;
      std::vector<std::string> lines;
      for (size_t at = 0; at < after.size();) {
        size_t end = after.find("\r\n", at);
        lines.push_back(after.substr(at, end - at));
        at = end + 2;
      }
      ASSERT_EQ(lines.size(), 18u);
      EXPECT_EQ(lines[c.line], c.written) << c.typed;
      for (int i : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 16}) {
        EXPECT_LE(lines[i].size(), 10u) << "line " << i + 1;
      }
    }
    Unload();
    mem::Reset();
  }
}

// The dialog shows the settings as the plug-in uses them, and a Save writes what it shows: an
// untouched dialog always saves (a file value outside a field's range is written back as it
// is), and the user's edits survive a host that stops and starts the plug-in meanwhile.
void EditThenRestart(void*) {
  mem::TypeText(pnlSettings, 15, "200");
  mem::ChooseValue(pnlSettings, 19, 222);
  On_Exit(nullptr, nullptr, FALSE);
  char hot_key[16] = "", version[16] = "";
  int res = 0;
  On_Start(nullptr, FindWindowA(nullptr, "ProgDVB 7"), FALSE, 7, hot_key, version, &res);
}

TEST_F(DialogsTest, SaveWritesWhatTheDialogShows) {
  std::vector<std::string> outside = DefaultIni();
  outside[0] = "1000";  // display time, past the field's 600 s
  outside[9] = "30";    // hour offset, past 23
  outside[11] = "300";  // start key, past 255
  std::vector<std::string> zero_time = DefaultIni();
  zero_time[0] = "0";
  const std::vector<std::string> none;
  const std::vector<std::string> standard = DefaultIni();
  const struct {
    const char* what;
    bool file;                              // false: no pelta.ini
    const std::vector<std::string>& lines;  // none: an empty file
    void (*during)(void*);
    const char* seconds_shown;
    const char* opacity_shown;
    std::vector<std::pair<int, std::string>> saved;  // 0-based line and its text after Save
  } cases[] = {
      {"no pelta.ini", false, none, nullptr, "3.0", "255", {{0, " 3.0"}, {12, "255"}}},
      {"an empty pelta.ini", true, none, nullptr, "3.0", "255", {{0, " 3.0"}, {12, "255"}}},
      {"line 1 is 0, which means 3 s", true, zero_time, nullptr, "3.0", "180", {{0, " 3.0"}}},
      {"values outside the fields' ranges",
       true,
       outside,
       nullptr,
       "1000.0",
       "180",
       {{0, "1000.0"}, {9, "30"}, {11, "300"}}},
      {"edits, then the host stops and starts the plug-in",
       true,
       DefaultIni(),
       &EditThenRestart,
       "3.0",
       "180",
       {{11, "200"}, {12, "222"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::remove(Path("pelta.ini").c_str());
    if (c.file && c.lines.empty()) WriteFile("pelta.ini", "");
    if (c.file && !c.lines.empty()) WriteIni(c.lines);
    LoadStartAndPassGate();
    char seconds[32] = "", opacity[32] = "";
    EXPECT_TRUE(mem::CtrlText(pnlSettings, 4, seconds, sizeof seconds));
    EXPECT_TRUE(mem::CtrlText(pnlSettings, 19, opacity, sizeof opacity));
    EXPECT_STREQ(seconds, c.seconds_shown);
    EXPECT_STREQ(opacity, c.opacity_shown);
    if (c.during != nullptr) mem::QueueCall(c.during, nullptr);
    mem::QueueCommit(pnlSettings, kSaveButton);
    sim::ClearLogs();
    On_Menu_Select(44454);
    EXPECT_EQ(sim::MessageBoxCount(), 0)
        << (sim::MessageBoxCount() ? sim::MessageBoxAt(0)->text : "");
    EXPECT_FALSE(mem::IsVisible(pnlSettings));
    std::vector<std::string> lines;
    const std::string file = ReadFile("pelta.ini");
    for (size_t at = 0, end; at < file.size(); at = end + 2) {
      end = file.find("\r\n", at);
      if (end == std::string::npos) end = file.size();
      lines.push_back(file.substr(at, end - at));
    }
    for (const auto& line : c.saved) {
      const size_t n = static_cast<size_t>(line.first);
      EXPECT_EQ(n < lines.size() ? lines[n] : "<missing>", line.second) << "line " << n + 1;
    }
    Unload();
    mem::Reset();
  }
}

TEST_F(DialogsTest, CloseBoxEndsEachDialogAndTheSettingsCloseBoxDoesNotSave) {
  ASSERT_TRUE(Load());
  const std::string before = ReadFile("pelta.ini");
  const struct {
    UINT menu;
    int panel;
  } cases[] = {{44454, pnlSettings}, {44455, pnlAbout}, {44456, pnlGuide}};
  for (const auto& c : cases) {
    SetCtrlVal(pnlSettings, 19, 99);  // an edit in the Settings dialog, never saved
    mem::QueueClose(c.panel);
    On_Menu_Select(c.menu);
    EXPECT_TRUE(mem::LastLoopEndedByQuit()) << c.menu;
    EXPECT_FALSE(mem::IsVisible(c.panel)) << c.menu;
    EXPECT_EQ(ReadFile("pelta.ini"), before) << c.menu << ": the file is left alone";
    EXPECT_EQ(Opacity.load(), 180) << c.menu;
  }
}

// A loop that ends without the dialog's button (WM_QUIT: the host is closing; here the scripted
// user running out of events) hides its dialog, which would otherwise stay up, topmost.
TEST_F(DialogsTest, ALoopEndedWithoutItsButtonHidesItsDialog) {
  ASSERT_TRUE(Load());
  const struct {
    UINT menu;
    std::atomic<int>* panel;
  } cases[] = {{44454, &pnlSettings}, {44455, &pnlAbout}, {44456, &pnlGuide}};
  for (const auto& c : cases) {
    On_Menu_Select(c.menu);
    EXPECT_FALSE(mem::LastLoopEndedByQuit()) << c.menu;
    EXPECT_FALSE(mem::IsVisible(*c.panel)) << c.menu;
  }
}

TEST_F(DialogsTest, AboutShowsTheVersionOnEveryOpening) {
  ASSERT_TRUE(Load());
  for (int i = 0; i < 2; ++i) {
    SetCtrlVal(pnlAbout, 3, "scribbled");
    mem::QueueCommit(pnlAbout, kAboutOk);
    On_Menu_Select(44455);
    char text[32];
    ASSERT_TRUE(mem::CtrlText(pnlAbout, 3, text, sizeof text));
    EXPECT_STREQ(text, "Pelta 2_0");
  }
}

TEST_F(DialogsTest, ButtonsActOnlyOnCommit) {
  ASSERT_TRUE(Load());
  const std::string before = ReadFile("pelta.ini");
  DisplayPanel(pnlAbout);
  DisplayPanel(pnlGuide);
  for (int event : {0, 2, 3}) {
    EXPECT_EQ(SAVE(pnlSettings, kSaveButton, event, nullptr, 0, 0), 0);
    EXPECT_EQ(OK(pnlAbout, kAboutOk, event, nullptr, 0, 0), 0);
    EXPECT_EQ(EPGOK(pnlGuide, kGuideOk, event, nullptr, 0, 0), 0);
    EXPECT_EQ(FONT(pnlSettings, kFontButton, event, nullptr, 0, 0), 0);
  }
  EXPECT_TRUE(mem::IsVisible(pnlAbout));
  EXPECT_TRUE(mem::IsVisible(pnlGuide));
  EXPECT_EQ(mem::FontDialogCount(), 0);
  EXPECT_EQ(ReadFile("pelta.ini"), before);
}

TEST_F(DialogsTest, GuideByKeyClosedByItsButtonDoesNotEndTheNextLoop) {
  LoadStartAndPassGate();
  OpenGuideByKey();  // as the O key does: no event loop
  EXPECT_TRUE(mem::IsVisible(pnlGuide));
  EXPECT_EQ(GuideByKey.load(), 1);
  // The user presses the guide's button; the timer's event processing runs it outside any loop.
  mem::QueueCommit(pnlGuide, kGuideOk);
  ProcessSystemEvents();
  EXPECT_FALSE(mem::IsVisible(pnlGuide));
  // The quit request it made must not end the next dialog's loop before its own button.
  mem::QueueCommit(pnlAbout, kAboutOk);
  On_Menu_Select(44455);
  EXPECT_TRUE(mem::LastLoopEndedByQuit());
  EXPECT_EQ(mem::QueuedEvents(), 0);
}

// The host's menu and the guide's button while a dialog runs its loop: each button ends only
// its own dialog's loop, and a menu item whose dialog is open only brings it to the front. Each
// row opens a dialog from the menu; while its loop runs the user does `during` (host events and
// button presses, in order), then presses the dialog's own button.
void MenuSettings(void*) {
  On_Menu_Select(44454);
}
void MenuAbout(void*) {
  On_Menu_Select(44455);
}
void MenuGuide(void*) {
  On_Menu_Select(44456);
}
void GuideKey(void*) {
  OpenGuide(false);
}

TEST_F(DialogsTest, ButtonsAndMenuItemsWhileADialogIsOpen) {
  struct Step {
    void (*call)(void*);  // a host event, or null for a press of `panel`'s `control`
    std::atomic<int>* panel;
    int control;
  };
  struct Case {
    const char* what;
    UINT menu;
    std::atomic<int>* dialog;
    int button;
    Step during[2];
    int step_count;
  };
  const Case cases[] = {
      {"Settings chosen again, then Save",
       44454,
       &pnlSettings,
       kSaveButton,
       {{MenuSettings, nullptr, 0}},
       1},
      {"About chosen again, then OK", 44455, &pnlAbout, kAboutOk, {{MenuAbout, nullptr, 0}}, 1},
      {"guide chosen again, then its OK", 44456, &pnlGuide, kGuideOk, {{MenuGuide, nullptr, 0}}, 1},
      {"O-key guide's OK while About is open",
       44455,
       &pnlAbout,
       kAboutOk,
       {{GuideKey, nullptr, 0}, {nullptr, &pnlGuide, kGuideOk}},
       2},
      {"O-key guide's OK while Settings is open",
       44454,
       &pnlSettings,
       kSaveButton,
       {{GuideKey, nullptr, 0}, {nullptr, &pnlGuide, kGuideOk}},
       2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteIni(DefaultIni());
    LoadStartAndPassGate();
    std::remove(Path("pelta.ini").c_str());  // Save writes it again
    for (int i = 0; i < c.step_count; ++i) {
      const Step& step = c.during[i];
      if (step.call != nullptr) {
        mem::QueueCall(step.call, nullptr);
      } else {
        mem::QueueCommit(step.panel->load(), step.control);
      }
    }
    mem::QueueCommit(c.dialog->load(), c.button);
    On_Menu_Select(c.menu);
    EXPECT_TRUE(mem::LastLoopEndedByQuit()) << "the dialog's own button ended its loop";
    EXPECT_EQ(mem::QueuedEvents(), 0) << "no press was left over";
    EXPECT_EQ(mem::LoopDepth(), 0);
    EXPECT_FALSE(mem::IsVisible(c.dialog->load()));
    EXPECT_FALSE(mem::IsVisible(pnlGuide));
    std::FILE* saved = std::fopen(Path("pelta.ini").c_str(), "rb");
    EXPECT_EQ(saved != nullptr, c.dialog == &pnlSettings) << "Save wrote the file";
    if (saved != nullptr) std::fclose(saved);
    Unload();
  }
}

// The O key while the guide the menu opened is on screen: the display cycle that follows must
// not hide it, since its loop still waits for its button.
TEST_F(DialogsTest, OKeyOnTheGuideOpenFromTheMenuLeavesItToItsButton) {
  LoadStartAndPassGate();
  static bool shown_after_cycle;
  shown_after_cycle = false;
  mem::QueueCall(
      [](void*) {
        OpenGuide(false);
        sim::FireTimer(60);
        shown_after_cycle = mem::IsVisible(pnlGuide);
        mem::QueueCommit(pnlGuide, kGuideOk);
      },
      nullptr);
  On_Menu_Select(44456);
  EXPECT_TRUE(shown_after_cycle);
  EXPECT_TRUE(mem::LastLoopEndedByQuit());
  EXPECT_FALSE(mem::IsVisible(pnlGuide));
  EXPECT_EQ(GuideByKey.load(), 0);
}

TEST_F(DialogsTest, GuideOpenedTwiceShowsTheSameContent) {
  LoadStartAndPassGate();
  On_Channel_Change(MakeChannel("Kanal Eins", 12000000, 1, 10, 0));
  std::string first_name, first_text;
  for (int i = 0; i < 2; ++i) {
    mem::QueueCommit(pnlGuide, kGuideOk);
    On_Menu_Select(44456);
    char name[128], text[1024];
    ASSERT_TRUE(mem::CtrlText(pnlGuide, 4, name, sizeof name));
    ASSERT_TRUE(mem::CtrlText(pnlGuide, 3, text, sizeof text));
    if (i == 0) {
      first_name = name;
      first_text = text;
    }
    EXPECT_EQ(first_name, name);
    EXPECT_EQ(first_text, text);
  }
}

TEST_F(DialogsTest, GuideShowsNewNameWithPreviousDescriptionUntilTheNewPresentEvent) {
  LoadStartAndPassGate();
  On_Channel_Change(MakeChannel("Erste", 12000000, 1, 0x100, 0));
  Broadcast("0x100 present 20:15 short \"News\" \"Weather at eight\"\n");
  OpenGuideFromMenu();
  EXPECT_EQ(GuideText(4), "Erste");
  EXPECT_EQ(GuideText(3), "Weather at eight");

  On_Channel_Change(MakeChannel("Zweite", 12100000, 0, 0x200, 0));
  OpenGuideFromMenu();
  EXPECT_EQ(GuideText(4), "Zweite");
  EXPECT_EQ(GuideText(3), "Weather at eight");

  Broadcast("0x200 present 20:30 short \"Film\" \"A *quiet* drama\"\n");
  OpenGuideFromMenu();
  EXPECT_EQ(GuideText(3), "A  quiet  drama");
}

TEST_F(DialogsTest, ExtendedDescriptorOnlyLeavesTheGuideTextEmpty) {
  LoadStartAndPassGate();
  On_Channel_Change(MakeChannel("Dritte", 12200000, 1, 0x300, 0));
  Broadcast("0x300 present 20:00 extended \"\" \"Only an extended text\"\n");
  ASSERT_EQ(eitstate.load() & 2, 2) << "the present event was captured";
  OpenGuideFromMenu();
  EXPECT_EQ(GuideText(4), "Dritte");
  EXPECT_EQ(GuideText(3), "");
}

TEST_F(DialogsTest, GuideByKeyClosedByItsButtonIsFoundHiddenByTheTimer) {
  LoadStartAndPassGate();
  sim::PressKey('O');
  sim::FireTimer(1);
  ASSERT_TRUE(mem::IsVisible(pnlGuide));
  mem::QueueCommit(pnlGuide, kGuideOk);
  sim::FireTimer(1);  // the tick's event processing runs the button
  EXPECT_FALSE(mem::IsVisible(pnlGuide));
  sim::FireTimer(60);  // the cycle ends; hiding a hidden panel changes nothing
  EXPECT_FALSE(mem::IsVisible(pnlGuide));
  EXPECT_EQ(GuideByKey.load(), 0);
  EXPECT_EQ(DisplayActive.load(), 0);
}

}  // namespace

// The Settings controls write what the number fields wrote: for every choice of every control,
// choosing it (a check box, a dropdown's entry, a colour, a slider position) and pressing Save
// writes the same pelta.ini, byte for byte, as typing the number did. `ini_line` (0-based) and
// `file` start from the default file with that line replaced (null: unchanged); `entry` >= 0
// picks a dropdown's entry by index, otherwise `value` is chosen; `typed` is the number the
// field took and `written` the line it saved.
TEST_F(DialogsTest, ChoosingWritesWhatTypingTheNumberWrote) {
  struct Case {
    int control;
    int ini_line;
    const char* file;
    int entry;
    int value;
    const char* typed;
    int saved_line;
    const char* written;
  } cases[] = {
      // Check boxes: off and on.
      {14, 4, nullptr, -1, 0, "0", 4, "0"},
      {14, 4, nullptr, -1, 1, "1", 4, "1"},
      {13, 5, nullptr, -1, 0, "0", 5, "0"},
      {13, 5, nullptr, -1, 1, "1", 5, "1"},
      {12, 6, nullptr, -1, 0, "0", 6, "0"},
      {12, 6, nullptr, -1, 1, "1", 6, "1"},
      {7, 7, nullptr, -1, 0, "0", 7, "0"},
      {7, 7, nullptr, -1, 1, "1", 7, "1"},
      {11, 8, nullptr, -1, 0, "0", 8, "0"},
      {11, 8, nullptr, -1, 1, "1", 8, "1"},
      {22, 9, "local", -1, 0, "0", 9, "0"},
      {22, 9, nullptr, -1, 1, "1", 9, "local"},
      {23, 16, nullptr, -1, 0, "0", 16, "0"},
      {23, 16, nullptr, -1, 1, "1", 16, "1"},
      // Size: every entry, and a value the list does not know kept as "Other (7)".
      {8, 1, nullptr, 0, 0, "0", 1, "0"},
      {8, 1, nullptr, 1, 0, "1", 1, "1"},
      {8, 1, nullptr, 2, 0, "2", 1, "2"},
      {8, 1, nullptr, 3, 0, "3", 1, "3"},
      {8, 1, "7", 4, 0, "7", 1, "7"},
      {8, 1, "7", 3, 0, "3", 1, "3"},
      // Guide format and debug mode: every entry.
      {6, 14, nullptr, 0, 0, "0", 14, "0"},
      {6, 14, nullptr, 1, 0, "1", 14, "1"},
      {6, 14, nullptr, 2, 0, "2", 14, "2"},
      {6, 14, "-5", 3, 0, "-5", 14, "-5"},
      {2, 10, nullptr, 0, 0, "0", 10, "0"},
      {2, 10, nullptr, 1, 0, "-1", 10, "-1"},
      {2, 10, nullptr, 2, 0, "-2", 10, "-2"},
      // Colours, 0xRRGGBB saved in decimal.
      {10, 2, nullptr, -1, 0x000000, "0", 2, "0"},
      {10, 2, nullptr, -1, 0x123456, "1193046", 2, "1193046"},
      {10, 2, nullptr, -1, 0xFFFFFF, "16777215", 2, "16777215"},
      {9, 3, nullptr, -1, 0xFF0000, "16711680", 3, "16711680"},
      {9, 3, nullptr, -1, 0x0000FF, "255", 3, "255"},
      // Opacity: the ends of the slider and between.
      {19, 12, nullptr, -1, 0, "0", 12, "0"},
      {19, 12, nullptr, -1, 1, "1", 12, "1"},
      {19, 12, nullptr, -1, 128, "128", 12, "128"},
      {19, 12, nullptr, -1, 255, "255", 12, "255"},
  };
  auto save = [this](const Case& c, bool choose) {
    std::vector<std::string> lines = DefaultIni();
    if (c.file != nullptr) lines[c.ini_line] = c.file;
    WriteIni(lines);
    EXPECT_TRUE(Load());
    if (!choose) {
      EXPECT_TRUE(mem::TypeText(pnlSettings, c.control, c.typed)) << c.control;
    } else if (c.entry >= 0) {
      EXPECT_TRUE(mem::ChooseEntry(pnlSettings, c.control, c.entry)) << c.control;
    } else {
      EXPECT_TRUE(mem::ChooseValue(pnlSettings, c.control, c.value)) << c.control;
    }
    mem::QueueCommit(pnlSettings, kSaveButton);
    On_Menu_Select(44454);
    std::string saved = ReadFile("pelta.ini");
    Unload();
    mem::Reset();
    return saved;
  };
  for (const Case& c : cases) {
    const std::string typed = save(c, false);
    const std::string chosen = save(c, true);
    EXPECT_EQ(chosen, typed) << "control " << c.control << ", choice " << c.typed;
    std::vector<std::string> want = DefaultIni();
    if (c.file != nullptr) want[c.ini_line] = c.file;
    want[c.saved_line] = c.written;
    std::string text;
    for (const std::string& line : want) text += line + "\r\n";
    EXPECT_EQ(chosen, text) << "control " << c.control << ", choice " << c.typed;
  }
}

// What a control shows and offers: a dropdown lists its words and, for a value from pelta.ini
// it does not know, "Other (N)" as a last entry; untouched, every control saves the file as it
// was read (a check box too keeps a value other than 0 or 1).
TEST_F(DialogsTest, SettingControlsShowTheFileAndSaveItUnchanged) {
  std::vector<std::string> lines = DefaultIni();
  lines[1] = "9";    // SizeMode no size knows
  lines[4] = "5";    // EpgEnabled: on, as any non-zero value
  lines[10] = "-3";  // DebugMode no entry knows
  WriteIni(lines);
  ASSERT_TRUE(Load());
  struct Shown {
    int control;
    int entries;      // dropdown entries, 0 for other kinds
    const char* now;  // the entry shown, or "" for none
    bool checked;
  } shown[] = {
      {8, 5, "Other (9)", true},  {6, 3, "Time, title > text", true},
      {2, 4, "Other (-3)", true}, {14, 0, "", true},
      {7, 0, "", false},
  };
  for (const Shown& s : shown) {
    std::lock_guard<std::mutex> lock(model::Mutex());
    const model::ControlState* c = model::FindControlLocked(pnlSettings, s.control);
    ASSERT_NE(c, nullptr) << s.control;
    EXPECT_EQ(model::ListCount(*c), s.entries) << s.control;
    char text[64] = "";
    model::ListEntry(*c, model::ListIndex(*c), text, sizeof text, nullptr);
    EXPECT_STREQ(text, s.now) << s.control;
    EXPECT_EQ(model::Checked(*c), s.checked) << s.control;
  }
  // Picking a listed entry and then "Other" again gives the value back.
  EXPECT_TRUE(mem::ChooseEntry(pnlSettings, 8, 1));
  EXPECT_TRUE(mem::ChooseEntry(pnlSettings, 8, 4));
  EXPECT_FALSE(mem::ChooseEntry(pnlSettings, 8, 5)) << "no such entry";
  EXPECT_FALSE(mem::ChooseValue(pnlSettings, 14, 2)) << "a check box is on or off";
  EXPECT_FALSE(mem::ChooseValue(pnlSettings, 8, 1)) << "a dropdown takes an entry";
  const std::string before = ReadFile("pelta.ini");
  mem::QueueCommit(pnlSettings, kSaveButton);
  On_Menu_Select(44454);
  EXPECT_EQ(ReadFile("pelta.ini"), before);
}
