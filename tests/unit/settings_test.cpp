// The settings file: reading rules, the size layout, the equal-colour rule, writing back.
#include "settings/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "fixture.h"
#include "panels/panels.h"
#include "settings/dialogs.h"

namespace {

class SettingsTest : public PluginTest {
 protected:
  // Loads with the default file where line `index` (0-based) is replaced by `text`.
  bool LoadWithLine(int index, const std::string& text) {
    std::vector<std::string> lines = DefaultIni();
    lines[index] = text;
    WriteIni(lines);
    return Load();
  }
  int DisplayAttr(int control, int attribute) {
    int v = -1;
    EXPECT_TRUE(mem::CtrlAttr(pnlDisplay, control, attribute, &v)) << control << "/" << attribute;
    return v;
  }
};

TEST_F(SettingsTest, DisplayTimeLineRules) {
  struct Case {
    const char* line;
    int32_t ms;
  } cases[] = {
      {" 3.0", 3000},
      {"2.3", 2299},
      {"0.01", 3000},
      {"0.02", 19},
      {"0", 3000},
      {"-5", 3000},
      {"", 3000},
      {"12.5", 12500},
      {"1e30", INT32_MAX},
      {"abc", 3000},
      {"5.0 seconds and more", 5000},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(LoadWithLine(0, c.line)) << c.line;
    EXPECT_EQ(DisplayTimeMs.load(), c.ms) << "line 1: \"" << c.line << "\"";
    Unload();
  }
}

TEST_F(SettingsTest, OnlyTenCharactersOfANumberLineCount) {
  struct Case {
    int line;
    const char* text;
    std::atomic<int32_t>* setting;
    int32_t expected;
  } cases[] = {
      {3, "   16777215", &TextColour, 1677721},
      {9, "-3", &HourOffset, -3},
      {9, "  +2x", &HourOffset, 2},
      {11, "99999999999999", &StartKey, INT32_MAX},  // clamped, as strtol does on Windows
      {11, "junk", &StartKey, 0},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(LoadWithLine(c.line, c.text));
    EXPECT_EQ(c.setting->load(), c.expected) << "line " << c.line + 1 << ": " << c.text;
    Unload();
  }
}

TEST_F(SettingsTest, LineTenIsLocalOrAnHourOffset) {
  const struct {
    const char* text;
    int32_t local, offset;
    const char* saved;  // line 10 as Save writes it back
  } rows[] = {
      {"local", 1, 0, "local"}, {"LOCAL", 1, 0, "local"}, {"  Local \t", 1, 0, "local"},
      {"locale", 0, 0, "0"},    {"local1", 0, 0, "0"},    {"loc", 0, 0, "0"},
      {"-3", 0, -3, "-3"},      {"30", 0, 30, "30"},      {"", 0, 0, "0"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    ASSERT_TRUE(LoadWithLine(9, row.text));
    EXPECT_EQ(LocalTime.load(), row.local);
    EXPECT_EQ(HourOffset.load(), row.offset);
    int box = -1;
    EXPECT_GE(GetCtrlVal(pnlSettings, 22, &box), 0) << "the Local time box";
    EXPECT_EQ(box, row.local);
    SetPar();
    const std::string text = ReadFile("pelta.ini");
    size_t at = 0;
    for (int i = 0; i < 9; ++i) at = text.find("\r\n", at) + 2;
    EXPECT_EQ(text.substr(at, text.find("\r\n", at) - at), row.saved);
    Unload();
  }
  // Save with the box ticked writes `local`; cleared, the number in the hour offset field.
  ASSERT_TRUE(LoadWithLine(9, "2"));
  SetCtrlVal(pnlSettings, 22, 1);
  SetPar();
  EXPECT_NE(ReadFile("pelta.ini").find("\r\nlocal\r\n"), std::string::npos);
  EXPECT_EQ(LocalTime.load(), 1);
  SetCtrlVal(pnlSettings, 22, 0);
  SetPar();
  EXPECT_NE(ReadFile("pelta.ini").find("\r\n2\r\n"), std::string::npos);
}

TEST_F(SettingsTest, SizeModeSetsHeightAndLayout) {
  struct Case {
    int mode, height, name_size, logo_top, now_size, now_top, next_size, next_top;
    int bar_top, bar_height, bar_width, bar_text;  // the progress bar, on the name's row
  } cases[] = {
      {0, 60, 22, 5, 11, 26, 11, 42, 6, 15, 120, 9},
      {1, 90, 40, 20, 14, 48, 14, 68, 12, 22, 160, 12},
      {2, 120, 60, 35, 18, 70, 18, 93, 18, 30, 200, 16},
      {3, 90, 22, 20, 18, 40, 18, 64, 8, 18, 140, 11},
      // No size: the layout of 0, not a strip 0 pixels high.
      {4, 60, 22, 5, 11, 26, 11, 42, 6, 15, 120, 9},
      {-1, 60, 22, 5, 11, 26, 11, 42, 6, 15, 120, 9},
      {INT32_MAX, 60, 22, 5, 11, 26, 11, 42, 6, 15, 120, 9},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(LoadWithLine(1, std::to_string(c.mode)));
    EXPECT_EQ(SizeMode.load(), c.mode) << "kept as read";
    EXPECT_EQ(DisplayHeight.load(), c.height) << "mode " << c.mode;
    EXPECT_EQ(DisplayAttr(8, ATTR_TEXT_POINT_SIZE), c.name_size);
    EXPECT_EQ(DisplayAttr(9, ATTR_TOP), c.logo_top);
    EXPECT_EQ(DisplayAttr(10, ATTR_TEXT_POINT_SIZE), c.now_size);
    EXPECT_EQ(DisplayAttr(10, ATTR_TOP), c.now_top);
    EXPECT_EQ(DisplayAttr(11, ATTR_TEXT_POINT_SIZE), c.next_size);
    EXPECT_EQ(DisplayAttr(11, ATTR_TOP), c.next_top);
    EXPECT_EQ(DisplayAttr(16, ATTR_TOP), c.bar_top);
    EXPECT_EQ(DisplayAttr(16, ATTR_HEIGHT), c.bar_height);
    EXPECT_EQ(DisplayAttr(16, ATTR_WIDTH), c.bar_width);
    EXPECT_EQ(DisplayAttr(16, ATTR_TEXT_POINT_SIZE), c.bar_text);
    EXPECT_LE(c.bar_top + c.bar_height, c.now_top) << "the bar ends above the present line";
    Unload();
  }
}

// Line 17, behind the font: a file of the sixteen lines older versions wrote keeps its look.
TEST_F(SettingsTest, LineSeventeenIsProgrammeTimes) {
  const struct {
    const char* font;  // line 16
    const char* line;  // line 17, null: the file ends after line 16
    int32_t value;
  } cases[] = {
      {"Arial", nullptr, 0},
      {"Arial", "1", 1},
      {"Arial", "0", 0},
      {"Arial", " 1 on", 1},
      {"Arial", "", 0},
      {"Arial", "2", 2},  // kept as read; only 1 shows the times
      {"", "1", 1},
      {"a face name longer than the 128 characters the font line keeps, padded on and on and on "
       "and on and on and on until it is well past them",
       "1", 1},
  };
  for (const auto& c : cases) {
    std::vector<std::string> lines = DefaultIni();
    lines.resize(15);
    lines.push_back(c.font);
    if (c.line != nullptr) lines.push_back(c.line);
    WriteIni(lines);
    ASSERT_TRUE(Load());
    EXPECT_EQ(ProgrammeTimes.load(), c.value) << (c.line != nullptr ? c.line : "(none)");
    int shown = -1;
    EXPECT_EQ(GetCtrlVal(pnlSettings, 23, &shown), 0);
    EXPECT_EQ(shown, c.value) << "the check box shows the line";
    ASSERT_TRUE(SetPar());
    const std::string saved = ReadFile("pelta.ini");
    const std::string tail = "\r\n" + std::to_string(c.value) + "\r\n\r\n";
    EXPECT_EQ(saved.substr(saved.size() - tail.size()), tail) << "Save writes lines 17 and 18";
    Unload();
  }
}

TEST_F(SettingsTest, UnknownSizeModeShowsSizeZeroAndIsSavedAsItIs) {
  ASSERT_TRUE(LoadWithLine(1, "2"));
  SetCtrlVal(pnlSettings, 8, 7);  // typed into the dialog
  SetPar();
  EXPECT_EQ(DisplayHeight.load(), 60);
  EXPECT_EQ(DisplayAttr(8, ATTR_TEXT_POINT_SIZE), 22);
  EXPECT_EQ(DisplayAttr(11, ATTR_TOP), 42);
  std::string text = ReadFile("pelta.ini");
  EXPECT_EQ(text.substr(text.find("\r\n") + 2, 3), "7\r\n") << "the file keeps the value";
}

TEST_F(SettingsTest, ColoursReachTheDisplayAndEqualColoursGiveAReadablePair) {
  struct Case {
    const char* back;
    const char* text;
    int shown_back;
  } cases[] = {
      {"255", "16777215", 255},      // as stored
      {"65280", "65280", 0xFFFFFF},  // equal: white background, green text
      {"16777215", "16777215", 0},   // white text: black background
      {"16777216", "0", 0xFFFFFF},   // equal as drawn (24 bits): black on black
  };
  for (const Case& c : cases) {
    std::vector<std::string> lines = DefaultIni();
    lines[2] = c.back;
    lines[3] = c.text;
    WriteIni(lines);
    ASSERT_TRUE(Load());
    EXPECT_EQ(BackColour.load(), c.shown_back);
    EXPECT_EQ(mem::PanelAttr(pnlDisplay, ATTR_BACKCOLOR), c.shown_back);
    EXPECT_EQ(DisplayAttr(12, ATTR_DECORATION_COLOR), c.shown_back);
    for (int control : {8, 10, 11, 4, 5, 6, 7}) {
      EXPECT_EQ(DisplayAttr(control, ATTR_TEXT_BGCOLOR), c.shown_back) << control;
      EXPECT_EQ(DisplayAttr(control, ATTR_TEXT_COLOR), std::stoi(c.text)) << control;
    }
    // The settings panel shows what the file says (Save refuses a value past the field's range
    // until the user mends it).
    char panel_back[32] = "";
    ASSERT_TRUE(mem::CtrlText(pnlSettings, 10, panel_back, sizeof panel_back));
    EXPECT_STREQ(panel_back, c.back);
    Unload();
  }
}

TEST_F(SettingsTest, MissingOrShortFileReadsAsEmptyLines) {
  WriteFile("pelta.ini", "2.0\n1\n");  // LF line ends, two lines
  ASSERT_TRUE(Load());
  EXPECT_EQ(DisplayTimeMs.load(), 2000);
  EXPECT_EQ(SizeMode.load(), 1);
  EXPECT_EQ(EpgEnabled.load(), 0);
  EXPECT_EQ(Opacity.load(), 255);  // 0 is below 100: raised to 255 at load
  EXPECT_STREQ(FontName, "");
  Unload();

  ASSERT_EQ(std::remove(Path("pelta.ini").c_str()), 0);
  ASSERT_TRUE(Load());
  EXPECT_EQ(DisplayTimeMs.load(), 3000);
  EXPECT_EQ(BackColour.load(), 0xFFFFFF);  // 0 and 0 are equal colours
  EXPECT_EQ(TextColour.load(), 0);
}

TEST_F(SettingsTest, FontNameKeepsAtMost128Characters) {
  std::vector<std::string> lines = DefaultIni();
  lines[15] = std::string(300, 'F');
  WriteIni(lines);
  ASSERT_TRUE(Load());
  EXPECT_EQ(std::string(FontName), std::string(128, 'F'));
}

// pelta.ini is in the ANSI code page: the typeface reaches the display's texts as UTF-8, and the
// file keeps the bytes it had. A name whose UTF-8 does not fit a control is refused there (the
// control keeps its face) rather than cut to the name of another face.
TEST_F(SettingsTest, TypefaceFromTheAnsiCodePageReachesTheTextsAsUtf8) {
  const struct {
    std::string line;  // pelta.ini line 16
    std::string face;  // what control 8 uses
  } rows[] = {
      {"Courier New", "Courier New"},
      {"Fran\xE7"
       "ais",
       "Fran\xC3\xA7"
       "ais"},
      {std::string(40, '\xE9'), "Arial"},  // 80 bytes of UTF-8: refused, the layout's face stays
  };
  for (const auto& r : rows) {
    std::vector<std::string> lines = DefaultIni();
    lines[15] = r.line;
    WriteIni(lines);
    ASSERT_TRUE(Load());
    char face[128] = "";
    EXPECT_TRUE(mem::CtrlAttrText(pnlDisplay, 8, ATTR_TEXT_FONT, face, sizeof face));
    EXPECT_EQ(std::string(face), r.face) << r.line;
    EXPECT_EQ(std::string(FontName), r.line) << "the setting keeps the file's bytes";
    Unload();
  }
}

TEST_F(SettingsTest, SaveWritesCrLfLinesInTheReadOrderAndReadsBackUnchanged) {
  const std::vector<std::string> stored = {"12.5", "2",  "255", "65280",       "1",  "0",
                                           "1",    "1",  "1",   "-2",          "-1", "200",
                                           "180",  "16", "2",   "Courier New", "1",  "cze, deu"};
  WriteIni(stored);
  ASSERT_TRUE(Load());
  ASSERT_TRUE(SetPar());
  std::string expected;
  for (const std::string& line : stored) expected += line + "\r\n";
  EXPECT_EQ(ReadFile("pelta.ini"), expected);

  // The same eighteen values after a fresh load of what was written.
  Unload();
  ASSERT_TRUE(Load());
  EXPECT_EQ(ProgrammeTimes.load(), 1);
  EXPECT_EQ(DisplayTimeMs.load(), 12500);
  EXPECT_EQ(HourOffset.load(), -2);
  EXPECT_EQ(DebugMode.load(), -1);
  EXPECT_EQ(TextAlign.load(), 16);
  EXPECT_STREQ(FontName, "Courier New");
  EXPECT_STREQ(EpgLanguages, "cze, deu");
}

TEST_F(SettingsTest, SaveFormatsSecondsWithOneDecimalInFourColumns) {
  struct Case {
    double seconds;
    const char* line;
  } cases[] = {{3.0, " 3.0"}, {12.5, "12.5"}, {0.5, " 0.5"}, {100.0, "100.0"}};
  ASSERT_TRUE(Load());
  for (const Case& c : cases) {
    SetCtrlVal(pnlSettings, 4, c.seconds);
    SetPar();
    std::string text = ReadFile("pelta.ini");
    EXPECT_EQ(text.substr(0, text.find("\r\n")), c.line) << c.seconds;
  }
}

TEST_F(SettingsTest, SaveTakesPanelValuesAndShowsEqualColoursAsAReadablePair) {
  const struct {
    int back, text;
    int shown;  // background on the display after the save
  } cases[] = {{65280, 65280, 0xFFFFFF}, {0xFFFFFF, 0xFFFFFF, 0}, {255, 65280, 255}};
  ASSERT_TRUE(Load());
  for (const auto& c : cases) {
    SetCtrlVal(pnlSettings, 10, c.back);
    SetCtrlVal(pnlSettings, 9, c.text);
    SetPar();
    EXPECT_EQ(mem::PanelAttr(pnlDisplay, ATTR_BACKCOLOR), c.shown) << c.back << "/" << c.text;
    EXPECT_EQ(DisplayAttr(10, ATTR_TEXT_BGCOLOR), c.shown) << c.back << "/" << c.text;
    EXPECT_EQ(DisplayAttr(10, ATTR_TEXT_COLOR), c.text);
    // The file keeps the colours as chosen.
    const std::string file = ReadFile("pelta.ini");
    EXPECT_NE(file.find("\r\n" + std::to_string(c.back) + "\r\n" + std::to_string(c.text) + "\r\n"),
              std::string::npos)
        << file;
  }
  Unload();
  std::vector<std::string> lines = DefaultIni();
  lines[2] = lines[3] = "65280";
  WriteIni(lines);
  ASSERT_TRUE(Load());
  EXPECT_EQ(mem::PanelAttr(pnlDisplay, ATTR_BACKCOLOR), 0xFFFFFF);
  SetCtrlVal(pnlSettings, 8, 2);  // size mode 2
  SetPar();
  EXPECT_EQ(mem::PanelAttr(pnlDisplay, ATTR_BACKCOLOR), 0xFFFFFF);
  EXPECT_EQ(SizeMode.load(), 2);
  EXPECT_EQ(DisplayHeight.load(), 120);
  EXPECT_EQ(DisplayTimeMs.load(), 3000);  // the display time takes effect at the next load
}

TEST_F(SettingsTest, UnwritableFileIsLeftAloneAndValuesStillApply) {
  ASSERT_TRUE(Load());
  // A folder in place of the file: the open for writing fails.
  ASSERT_EQ(std::remove(Path("pelta.ini").c_str()), 0);
  ASSERT_EQ(mkdir(Path("pelta.ini").c_str(), 0755), 0);
  SetCtrlVal(pnlSettings, 10, 0x123456);
  EXPECT_TRUE(SetPar());
  EXPECT_EQ(mem::PanelAttr(pnlDisplay, ATTR_BACKCOLOR), 0x123456);
  EXPECT_EQ(BackColour.load(), 0x123456);
  EXPECT_EQ(rmdir(Path("pelta.ini").c_str()), 0);  // still the folder: nothing was written
  ASSERT_EQ(sim::MessageBoxCount(), 1) << "the user is told";
  EXPECT_NE(std::string(sim::MessageBoxAt(0)->text).find("not saved"), std::string::npos);
  EXPECT_NE(access(Path("pelta.ini.new").c_str(), F_OK), 0) << "no new file left behind";
}

// A save that fails part-way leaves the old file whole (before, a full disk left it empty and
// the next start read every default) and says so.
TEST_F(SettingsTest, FailedSaveKeepsTheOldFileAndSaysSo) {
  struct Case {
    const char* what;
    std::function<void(const std::string& new_file)> arrange;
    bool new_file_removed;
  } cases[] = {
      {"every write fails (disk full)",
       [](const std::string& f) { ASSERT_EQ(symlink("/dev/full", f.c_str()), 0); }, true},
      {"the new file cannot be made",
       [](const std::string& f) { ASSERT_EQ(mkdir(f.c_str(), 0755), 0); }, false},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(Load()) << c.what;
    const std::string before = ReadFile("pelta.ini");
    c.arrange(Path("pelta.ini.new"));
    sim::ClearLogs();
    SetCtrlVal(pnlSettings, 10, 0x123456);
    EXPECT_TRUE(SetPar()) << c.what;
    EXPECT_EQ(ReadFile("pelta.ini"), before) << c.what;
    EXPECT_EQ(BackColour.load(), 0x123456) << c.what << ": the values apply all the same";
    ASSERT_EQ(sim::MessageBoxCount(), 1) << c.what;
    EXPECT_NE(std::string(sim::MessageBoxAt(0)->text).find("not saved"), std::string::npos);
    struct stat info;
    EXPECT_EQ(lstat(Path("pelta.ini.new").c_str(), &info) != 0, c.new_file_removed) << c.what;
    std::system(("rm -rf '" + Path("pelta.ini.new") + "'").c_str());
    Unload();
    mem::Reset();
  }
}

}  // namespace
