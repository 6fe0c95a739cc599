// The channel-change display: gate, area, placement, contents, order of effects.
#include "display/osd.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "alloc_counter.h"
#include "display/discovery.h"
#include "display/timer.h"
#include "fixture.h"
#include "guide/eit.h"
#include "json_dump.h"
#include "panels/panels.h"
#include "settings/settings.h"
#include "shared/channel.h"
#include "shared/commands.h"
#include "ts.h"

namespace {

const std::string kJpeg = JpegHeader(40, 30);

class OsdTest : public PluginTest {
 protected:
  // Loads with some lines of the default settings replaced (index: value) and passes the gate.
  void LoadWith(const std::vector<std::pair<int, std::string>>& changes) {
    std::vector<std::string> lines = DefaultIni();
    for (const auto& change : changes) lines[change.first] = change.second;
    WriteIni(lines);
    LoadStartAndPassGate();
  }
  static RECT OsdRect() {
    sim::WindowInfo info{};
    EXPECT_TRUE(sim::GetInfo(FindWindowA(nullptr, "Pelta"), &info));
    return info.rect;
  }
  static int Left(int control) {
    int value = -1;
    EXPECT_TRUE(mem::CtrlAttr(pnlDisplay, control, ATTR_LEFT, &value)) << control;
    return value;
  }
  static std::string Text(int control) {
    char text[1024] = "";
    EXPECT_TRUE(mem::CtrlText(pnlDisplay, control, text, sizeof text));
    return text;
  }
  static void ExpectPanelAt(int x, int y, int width, int height) {
    RECT r = OsdRect();
    EXPECT_EQ(r.left, x);
    EXPECT_EQ(r.top, y);
    EXPECT_EQ(r.right - r.left, width);
    EXPECT_EQ(r.bottom - r.top, height);
  }
};

TEST_F(OsdTest, WorkedExampleOnAFullHdScreen) {
  LoadWith({});
  On_Channel_Change(MakeChannel("Das Erste", 11836000, 13, 28106, 0));
  ExpectPanelAt(30, 980, 1860, 60);
  sim::WindowInfo info{};
  ASSERT_TRUE(sim::GetInfo(FindWindowA(nullptr, "Pelta"), &info));
  EXPECT_TRUE(info.visible);
  EXPECT_TRUE(info.topmost);
  EXPECT_TRUE(mem::IsVisible(pnlDisplay));
  const struct {
    int control, left;
  } edges[] = {{12, 1755}, {15, 1763}, {14, 1793}, {13, 1823},
               {4, 1770},  {5, 1760},  {6, 1805},  {7, 1827}};
  for (const auto& e : edges) EXPECT_EQ(Left(e.control), e.left) << e.control;
  for (int control : {8, 10, 11}) EXPECT_EQ(Left(control), 70) << "layout position kept";
  EXPECT_EQ(Text(8), "Das Erste");
  EXPECT_EQ(Text(5), "11836");
  EXPECT_EQ(Text(6), "V");
  EXPECT_EQ(Text(7), "FTA");
}

TEST_F(OsdTest, TextAlignmentPlacesTheTextControls) {
  const struct {
    const char* align;
    int screen_width, screen_height;
    int left;  // -1: the layout's position
  } cases[] = {{"16", 1920, 1080, 1730}, {"32", 1920, 1080, 920}, {"0", 1920, 1080, -1},
               {"16", 1024, 768, 834},   {"32", 1023, 768, 471},  {"8", 1920, 1080, -1}};
  for (const auto& c : cases) {
    sim::SetScreenSize(c.screen_width, c.screen_height);
    LoadWith({{13, c.align}, {10, "-2"}});  // -2: the texts are not refilled afterwards
    On_Channel_Change(MakeChannel("Name", 1, 1, 1, 0));
    for (int control : {8, 10}) {
      if (c.left < 0) {
        EXPECT_EQ(Left(control), 70) << c.align;
        EXPECT_FALSE(mem::CtrlWasSet(pnlDisplay, control)) << "not blanked for " << c.align;
      } else {
        EXPECT_EQ(Left(control), c.left) << c.align << " " << c.screen_width;
        EXPECT_EQ(Text(control), " ");
      }
    }
    Unload();
  }
}

// The name and programme lines end at least 8 pixels left of every visible control of the
// right-hand group, on every screen, size, alignment and choice of indicators; a text that does
// not fit keeps its whole value (the drivers draw it with an ellipsis).
TEST_F(OsdTest, TextsStayClearOfTheIndicators) {
  const std::string long_name(80, 'W');  // the host's name field holds this much
  const std::string long_line(300, 'W');
  const int kRightGroup[] = {12, 15, 14, 13, 4, 5, 6, 7};
  struct Box {
    int left, top, right, bottom;
  };
  const auto box_of = [](int control) {
    int top = 0, left = 0, height = 0, width = 0;
    EXPECT_EQ(GetCtrlBoundingRect(pnlDisplay, control, &top, &left, &height, &width), 0);
    return Box{left, top, left + width, top + height};
  };
  for (int screen : {1024, 1280, 1920, 3840}) {
    for (const char* size : {"0", "1", "2", "3"}) {
      for (const char* align : {"0", "16", "32"}) {
        for (const char* shown : {"0", "1"}) {
          for (const char* times : {"0", "1"}) {
            SCOPED_TRACE(std::to_string(screen) + " size " + size + " align " + align +
                         " indicators " + shown + " programme times " + times);
            sim::SetScreenSize(screen, screen * 9 / 16);
            LoadWith({{1, size}, {5, shown}, {6, shown}, {13, align}, {4, "0"}, {16, times}});
            On_Channel_Change(MakeChannel(long_name.c_str(), 11836000, 13, 1, 0));
            SetCtrlVal(pnlDisplay, 10, long_line.c_str());  // as the guide's lines would come
            int leftmost = screen - 60;
            for (int control : kRightGroup) {
              int visible = 0;
              GetCtrlAttribute(pnlDisplay, control, ATTR_VISIBLE, &visible);
              if (visible != 0) leftmost = std::min(leftmost, box_of(control).left);
            }
            EXPECT_EQ(leftmost, screen - 165) << "the frame behind the indicators is on show";
            for (int text : {8, 10, 11}) {
              const Box t = box_of(text);
              // With programme times the name shares its row with the progress bar.
              const bool beside_bar = text == 8 && std::string(times) == "1";
              EXPECT_LE(t.right, leftmost - 8) << "control " << text;
              EXPECT_GE(t.left, 0) << "control " << text;
              EXPECT_GT(t.right - t.left, screen / (beside_bar ? 4 : 3))
                  << "control " << text << " keeps its room";
              if (std::string(align) == "16") {
                EXPECT_EQ(t.right, beside_bar ? box_of(16).left - 8 : screen - 182)
                    << "right-aligned " << text;
              }
              if (std::string(align) == "32") {
                EXPECT_EQ(t.left + t.right, 2 * ((screen - 80) / 2 + 4)) << "centred " << text;
              }
              for (int control : kRightGroup) {
                int visible = 0;
                GetCtrlAttribute(pnlDisplay, control, ATTR_VISIBLE, &visible);
                const Box i = box_of(control);
                const bool overlap =
                    t.left < i.right && i.left < t.right && t.top < i.bottom && i.top < t.bottom;
                EXPECT_FALSE(visible != 0 && overlap) << text << " reaches into " << control;
              }
            }
            // The progress bar's room: at the right end of the name's row, clear of the
            // indicators and of every text.
            if (std::string(times) == "1") {
              const Box bar = box_of(16);
              EXPECT_EQ(bar.right, leftmost - 8);
              for (int text : {8, 10, 11}) {
                const Box t = box_of(text);
                const bool overlap = t.left < bar.right && bar.left < t.right &&
                                     t.top < bar.bottom && bar.top < t.bottom;
                EXPECT_FALSE(overlap) << "the bar reaches into " << text;
              }
              EXPECT_LE(box_of(8).right, bar.left - 8) << "the name ends clear of the bar";
            }
            EXPECT_EQ(Text(8), long_name) << "the value stays whole";
            EXPECT_EQ(Text(10), long_line);
            Unload();
          }
        }
      }
    }
  }
}

TEST_F(OsdTest, SizeModeAndScreenGiveThePanelRectangle) {
  const struct {
    const char* size_mode;
    int width, height;
    int x, y, cx, cy;
  } cases[] = {{"0", 1920, 1080, 30, 980, 1860, 60},
               {"1", 1920, 1080, 30, 950, 1860, 90},
               {"2", 1024, 768, 30, 608, 964, 120},
               {"3", 800, 600, 30, 470, 740, 90}};
  for (const auto& c : cases) {
    sim::SetScreenSize(c.width, c.height);
    LoadWith({{1, c.size_mode}});
    On_Channel_Change(MakeChannel("Name", 1, 1, 1, 0));
    ExpectPanelAt(c.x, c.y, c.cx, c.cy);
    EXPECT_EQ(DisplayArea.width, c.width);
    EXPECT_EQ(DisplayArea.bottom, c.height);
    Unload();
  }
}

TEST_F(OsdTest, FollowsTheVideoWindow) {
  LoadWith({{1, "1"}, {7, "1"}});
  HWND video = sim::CreateWindow("Das Erste", RECT{100, 50, 900, 650}, host_);
  On_Channel_Change(MakeChannel("Das Erste", 11836000, 13, 28106, 0));
  EXPECT_EQ(VideoWnd, video);
  ExpectPanelAt(130, 520, 740, 90);
  EXPECT_EQ(DisplayArea.height, 600);

  // The video window gone: the area of the last change stays.
  sim::DestroyWindow(video);
  On_Channel_Change(MakeChannel("Das Erste", 11836000, 13, 28106, 0));
  ExpectPanelAt(130, 520, 740, 90);
  EXPECT_EQ(Left(12), 635) << "800 - 165";
}

TEST_F(OsdTest, FollowVideoWithoutAnyVideoWindowUsesTheWholeScreen) {
  LoadWith({{7, "1"}});
  On_Channel_Change(MakeChannel("Nowhere", 1, 1, 1, 0));
  ExpectPanelAt(30, 980, 1860, 60);
  EXPECT_EQ(Left(12), 1755);
}

TEST_F(OsdTest, FirstChangeIsGatedAndKeepsNothing) {
  ASSERT_TRUE(Load());
  Start();
  On_Channel_Change(MakeChannel("Gate", 11778000, 1, 99, 5));
  EXPECT_FALSE(mem::IsVisible(pnlDisplay));
  EXPECT_EQ(TickCount.load(), 0);
  EXPECT_EQ(DisplayActive.load(), 1);
  EXPECT_EQ(command_count, 0) << "no signal query, no filter";
  const TProgram82 zero{};
  EXPECT_EQ(std::memcmp(CurrentChannel.bytes, zero.bytes, kProgramSize), 0);
  EXPECT_EQ(sim::SetWindowPosCount(), 0);
}

TEST_F(OsdTest, KeepsTheWholeRecordByteForByte) {
  LoadStartAndPassGate();
  TProgram82 chan;
  for (size_t i = 0; i < kProgramSize; ++i) chan.bytes[i] = static_cast<unsigned char>(i * 7 + 1);
  chan.bytes[5] = 0;
  On_Channel_Change(chan);
  EXPECT_EQ(std::memcmp(CurrentChannel.bytes, chan.bytes, kProgramSize), 0);
}

TEST_F(OsdTest, EffectsComeInOrderAndTheFocusGoesBackToTheHost) {
  LoadStartAndPassGate();
  sim::ClearLogs();
  On_Channel_Change(MakeChannel("Das Erste", 11836000, 13, 28106, 0));
  std::vector<std::string> order;
  for (int i = 0; i < sim::CallCount(); ++i) {
    const sim::CallEntry* e = sim::CallAt(i);
    switch (e->call) {
      case sim::Call::SetWindowPos:
        order.push_back("place");
        break;
      case sim::Call::SendMessage:
        order.push_back("message");
        break;
      case sim::Call::SetFocus:
        EXPECT_EQ(e->hwnd, host_);
        order.push_back("focus");
        break;
      case sim::Call::SetForeground:
        EXPECT_EQ(e->hwnd, host_);
        order.push_back("foreground");
        break;
      default:
        order.push_back("other");
    }
  }
  const std::vector<std::string> expected = {"place", "message", "message", "focus", "foreground"};
  EXPECT_EQ(order, expected);
  ASSERT_EQ(command_count, 2);
  EXPECT_EQ(commands[0].code, CMD_SIGNAL_QUERY) << "indicators before the programme lines";
  EXPECT_EQ(commands[1].code, CMD_START_FILTER);
  const sim::SetWindowPosEntry* place = sim::SetWindowPosAt(0);
  EXPECT_EQ(place->hwnd, FindWindowA(nullptr, "Pelta"));
  EXPECT_EQ(place->insert_after, HWND_TOPMOST);
  EXPECT_EQ(place->flags, static_cast<UINT>(SWP_SHOWWINDOW | SWP_NOACTIVATE));
  EXPECT_EQ(TickCount.load(), 0);
  EXPECT_EQ(DisplayActive.load(), 1);
}

TEST_F(OsdTest, WithoutARecognisedHostTheFocusStaysWhereItIs) {
  sim::SetTitle(host_, "Viewer");
  LoadStartAndPassGate();
  sim::ClearLogs();
  On_Channel_Change(MakeChannel("Das Erste", 11836000, 13, 28106, 0));
  EXPECT_EQ(HostKind.load(), 0);
  for (int i = 0; i < sim::CallCount(); ++i) {
    EXPECT_NE(sim::CallAt(i)->call, sim::Call::SetFocus);
    EXPECT_NE(sim::CallAt(i)->call, sim::Call::SetForeground);
  }
  EXPECT_EQ(CommandsWithCode(CMD_SIGNAL_QUERY), 0);
}

TEST_F(OsdTest, TimeOfDayIsWrittenAsHoursAndMinutes) {
  LoadStartAndPassGate();
  const struct {
    int h, m;
    const char* text;
  } cases[] = {{7, 5, "07:05"}, {0, 0, "00:00"}, {23, 59, "23:59"}, {20, 15, "20:15"}};
  for (const auto& c : cases) {
    sim::SetClock(c.h, c.m, 42);
    On_Channel_Change(MakeChannel("A", 1, 1, 1, 0));
    EXPECT_EQ(Text(4), c.text);
  }
}

TEST_F(OsdTest, LogoFromTheIconFolderOrTheFallback) {
  WriteFile("pelta_icon/Das Erste.jpg", kJpeg);
  WriteFile("pelta_icon/Broken.jpg", "not a picture");
  WriteFile("pelta_icon/ORF2 W_N.jpg", kJpeg);
  LoadStartAndPassGate();
  const std::string icons = Path("pelta_icon/");
  const struct {
    const char* name;
    std::vector<std::string> loads;
  } cases[] = {
      {"Das Erste", {icons + "Das Erste.jpg"}},
      {"Arte", {icons + "Arte.jpg", icons + "0.jpg"}},
      {"Broken", {icons + "Broken.jpg", icons + "0.jpg"}},
      {"", {icons + ".jpg", icons + "0.jpg"}},
      // Characters Windows forbids in file names become '_'.
      {"ORF2 W/N", {icons + "ORF2 W_N.jpg"}},
      {"a\\b:c*d?e\"f<g>h|i", {icons + "a_b_c_d_e_f_g_h_i.jpg", icons + "0.jpg"}},
      // The logo keeps the host's ANSI bytes (the file system names it so).
      {"T\xE9l\xE9", {icons + "T\xE9l\xE9.jpg", icons + "0.jpg"}},
  };
  for (const auto& c : cases) {
    const int before = mem::ImageLoadCount();
    On_Channel_Change(MakeChannel(c.name, 1, 1, 1, 0));
    ASSERT_EQ(mem::ImageLoadCount() - before, static_cast<int>(c.loads.size())) << c.name;
    for (size_t i = 0; i < c.loads.size(); ++i) {
      EXPECT_EQ(mem::ImageLoadAt(before + static_cast<int>(i)), c.loads[i]);
    }
    EXPECT_EQ(Text(9), c.loads.back());
  }
}

// The host's channel name is in the ANSI code page; control 8 and the guide show it as UTF-8.
TEST_F(OsdTest, ChannelNameIsShownFromTheAnsiCodePage) {
  const struct {
    int code_page;
    const char* name;  // as the host sends it
    const char* shown;
  } cases[] = {
      {1252, "T\xE9l\xE9", "T\xC3\xA9l\xC3\xA9"},
      {1252, "\x80 \x9F \x81", "\xE2\x82\xAC \xC5\xB8 \xC2\x81"},  // a hole stays its C1 control
      {1252, "ASCII only", "ASCII only"},
      {65001,
       "\xC4\x8C"
       "esk\xC3\xA1",
       "\xC4\x8C"
       "esk\xC3\xA1"},  // a UTF-8 system: as sent
      {65001, "bad \xFF", "bad \xEF\xBF\xBD"},
  };
  LoadStartAndPassGate();
  for (const auto& c : cases) {
    sim::SetAnsiCodePage(c.code_page);
    On_Channel_Change(MakeChannel(c.name, 1, 1, 1, 0));
    EXPECT_EQ(Text(8), c.shown) << c.name;
    char guide_name[kChannelNameField + 1];
    CurrentChannelName(guide_name, sizeof guide_name);
    EXPECT_STREQ(guide_name, c.shown);
    CurrentChannelNameAnsi(guide_name, sizeof guide_name);
    EXPECT_STREQ(guide_name, c.name) << "window titles are compared with the bytes sent";
  }
  // 92 bytes of 0xE9 are 184 bytes of UTF-8: the guide's 93-byte buffer gets whole characters.
  TProgram82 full = MakeChannel("", 1, 1, 1, 0);
  std::memset(full.bytes, 0xE9, kChannelNameField);
  sim::SetAnsiCodePage(1252);
  On_Channel_Change(full);
  std::string all;
  for (size_t i = 0; i < kChannelNameField; ++i) all += "\xC3\xA9";
  EXPECT_EQ(Text(8), all);
  char cut[kChannelNameField + 1];
  CurrentChannelName(cut, sizeof cut);
  EXPECT_EQ(std::string(cut), all.substr(0, 92));
}

TEST_F(OsdTest, LogoPathThatDoesNotFitGoesStraightToTheFallback) {
  // A module folder so deep that IconDir plus a 40-character name does not fit 255 bytes,
  // while the fallback still does.
  const std::string sub(200, 'd');
  ASSERT_EQ(mkdir(Path(sub).c_str(), 0755), 0);
  ASSERT_EQ(mkdir(Path(sub + "/pelta_icon").c_str(), 0755), 0);
  for (const char* file : {"pelta.uir", "pelta.ini", "pelta_icon/0.jpg"}) {
    WriteFile(sub + "/" + file, ReadFile(file));
  }
  sim::SetModuleDir(Path(sub).c_str());
  LoadStartAndPassGate();
  const std::string name(40, 'n');
  ASSERT_GT(std::strlen(IconDir) + name.size() + 4, 255u);
  ASSERT_LT(std::strlen(IconDir) + 5, 256u);
  const int before = mem::ImageLoadCount();
  On_Channel_Change(MakeChannel(name.c_str(), 1, 1, 1, 0));
  ASSERT_EQ(mem::ImageLoadCount() - before, 1) << "no cut-short path is tried";
  EXPECT_EQ(mem::ImageLoadAt(before), Path(sub + "/pelta_icon/0.jpg"));
  EXPECT_EQ(Text(9), Path(sub + "/pelta_icon/0.jpg"));
}

TEST_F(OsdTest, ProgrammeLinesByGuideSetting) {
  LoadStartAndPassGate();
  On_Channel_Change(MakeChannel("A", 1, 1, 0x1234, 0));
  EXPECT_EQ(CommandsWithCode(CMD_START_FILTER), 1);
  EXPECT_EQ(eitstate.load(), 1);
  EXPECT_EQ(Text(10), "") << "emptied, not a blank";
  EXPECT_EQ(Text(11), "");

  {
    std::lock_guard<std::mutex> lock(GuideLock);
    std::strcpy(nowtxt, "old now");
    eitstate = 7;
  }
  sim::FireTimer();
  ASSERT_EQ(Text(10), "old now");
  On_Channel_Change(MakeChannel("B", 1, 1, 0x1235, 0));
  EXPECT_EQ(CommandsWithCode(CMD_START_FILTER), 1) << "the filter stays open";
  EXPECT_EQ(eitstate.load(), 1);
  EXPECT_EQ(Text(10), "");
  EXPECT_EQ(nowtxt[0], '\0');

  SetCtrlVal(pnlDisplay, 10, "kept");
  EpgEnabled = 2;
  On_Channel_Change(MakeChannel("C", 1, 1, 1, 0));
  EXPECT_EQ(Text(10), "kept") << "any other value leaves the lines";

  EpgEnabled = 0;
  On_Channel_Change(MakeChannel("D", 1, 1, 1, 0));
  EXPECT_EQ(Text(10), " ");
  EXPECT_EQ(Text(11), " ");
  EXPECT_EQ(CommandsWithCode(CMD_START_FILTER), 1);
}

TEST_F(OsdTest, DiagnosticModeShowsTheCentreTitleAndKeepsTheContents) {
  LoadStartAndPassGate();
  On_Channel_Change(MakeChannel("Das Erste", 11836000, 13, 28106, 5));
  const int queries = CommandsWithCode(CMD_SIGNAL_QUERY);
  const int images = mem::ImageLoadCount();
  sim::CreateWindow("ActiveMovie Window of the host programme", RECT{900, 500, 1000, 600}, host_);
  DebugMode = -2;
  sim::SetClock(9, 30, 0);
  sim::FireTimer(20);
  On_Channel_Change(MakeChannel("ZDF", 11953000, 0, 28006, 0));
  EXPECT_EQ(Text(11), "ActiveMovie Window of the host ") << "31 characters";
  EXPECT_EQ(Text(8), "Das Erste");
  EXPECT_EQ(Text(5), "11836");
  EXPECT_EQ(Text(6), "V");
  EXPECT_EQ(Text(7), "VIA");
  EXPECT_EQ(CommandsWithCode(CMD_SIGNAL_QUERY), queries);
  EXPECT_EQ(mem::ImageLoadCount(), images);
  EXPECT_EQ(Text(4), "09:30");
  EXPECT_EQ(TickCount.load(), 0);
  EXPECT_EQ(eitstate.load(), 1);
  ExpectPanelAt(30, 980, 1860, 60);
  EXPECT_EQ(CurrentServiceId(), 28006) << "the record is kept all the same";
}

TEST_F(OsdTest, ChannelChangesAndTicksAllocateNothing) {
  LoadWith({{7, "1"}});  // FollowVideo: no video window, so the whole grid is probed
  char title[32];
  for (int i = 0; i < 300; ++i) {
    std::snprintf(title, sizeof title, "Window %d", i);
    sim::CreateWindow(title, RECT{i, i, i + 10, i + 10});
  }
  On_Channel_Change(MakeChannel("Warm-up", 1, 1, 1, 0));  // opens the filter
  sim::FireTimer(3);
  const int lookups = sim::PointLookupCount();
  {
    AllocCounter guard;
    On_Channel_Change(MakeChannel("Das Erste", 11836000, 13, 28106, 5));
    On_Channel_Change(MakeChannel("", 11953000, 0, 28006, 255));
    DebugMode = -2;
    On_Channel_Change(MakeChannel("ZDF", 11953000, 0, 28006, 0));
    DebugMode = 0;
    EXPECT_EQ(guard.count(), 0) << "channel change";
  }
  EXPECT_EQ(sim::PointLookupCount() - lookups, 3 * 46 + 1);
  {
    AllocCounter guard;
    sim::FireTimer(10);  // counting
    {
      std::lock_guard<std::mutex> lock(GuideLock);
      std::strcpy(nowtxt, "now");
      std::strcpy(nxttxt, "next");
      eitstate = 7;
    }
    sim::FireTimer();    // lines onto the panel
    sim::FireTimer(60);  // hide, then idle
    sim::PressKey('P');
    sim::PressKey('O');
    sim::FireTimer(60);
    EXPECT_EQ(guard.count(), 0) << "timer ticks";
  }
  EXPECT_EQ(eitstate.load(), 8);
  EXPECT_FALSE(mem::IsVisible(pnlGuide));
}

// pelta-tool show, run as a separate program; its display.json is read back with substring
// checks on the keys that tools and demos rely on.
class ShowToolTest : public PluginTest {
 protected:
  void SetUp() override {
#ifndef PELTA_TOOL
    GTEST_SKIP() << "pelta-tool is not built in this configuration";
#else
    PluginTest::SetUp();
#endif
  }
  static std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  void Write(const std::string& name, const std::string& bytes) {
    WriteFile(name, bytes);
  }
  // An ini with lines replaced: index -> value (as the fixture's default settings).
  std::string Ini(const std::vector<std::pair<int, std::string>>& changes) {
    std::vector<std::string> lines = DefaultIni();
    for (const auto& change : changes) lines[change.first] = change.second;
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    Write("test.ini", text);
    return dir_ + "/test.ini";
  }
  // Runs `pelta-tool show ARGS --out DIR/out`; returns display.json (stdout in summary_).
  std::string Show(const std::string& args) {
#ifdef PELTA_TOOL
    const std::string out = dir_ + "/out";
    const std::string cmd = std::string("'") + PELTA_TOOL + "' show " + args + " --out '" + out +
                            "' > '" + dir_ + "/stdout.txt'";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    summary_ = Slurp(dir_ + "/stdout.txt");
    return Slurp(out + "/display.json");
#else
    (void)args;
    return "";
#endif
  }
  // The text between "key": and the next top-level key (the JSON is written one panel per
  // block, one control per line).
  static std::string Section(const std::string& json, const std::string& key,
                             const std::string& next) {
    size_t from = json.find("\"" + key + "\": ");
    size_t to = json.find("\"" + next + "\": ", from);
    if (from == std::string::npos || to == std::string::npos) return "";
    return json.substr(from, to - from);
  }
  static std::string Line(const std::string& text, const std::string& start) {
    size_t from = text.find(start);
    if (from == std::string::npos) return "";
    return text.substr(from, text.find('\n', from) - from);
  }
  static std::string Control(const std::string& json, int number, const char* panel = "display",
                             const char* next = "guide") {
    return Line(Section(json, panel, next), "\"" + std::to_string(number) + "\": {\"kind\"");
  }
  std::string summary_;
};

TEST_F(ShowToolTest, ReproducesTheWorkedExample) {
  const std::string json = Show("--ini '" + Ini({}) + "' --screen 1920x1080 --time 20:15");
  const std::string display = Section(json, "display", "guide");
  EXPECT_NE(display.find("\"window\": {\"x\": 30, \"y\": 980, \"width\": 1860, \"height\": 60, "
                         "\"visible\": true, \"topmost\": true, \"layered\": true, \"alpha\": 180"),
            std::string::npos)
      << json;
  const struct {
    int control, left;
  } edges[] = {{12, 1755}, {15, 1763}, {14, 1793}, {13, 1823},
               {4, 1770},  {5, 1760},  {6, 1805},  {7, 1827}};
  for (const auto& e : edges) {
    EXPECT_NE(Control(json, e.control).find("\"531\": " + std::to_string(e.left)),
              std::string::npos)
        << Control(json, e.control);
  }
  EXPECT_NE(Control(json, 4).find("\"value\": \"20:15\""), std::string::npos);
  EXPECT_NE(Control(json, 8).find("\"value\": \"Das Erste\""), std::string::npos);
  EXPECT_NE(Control(json, 14).find("\"880\": 4390656, \"641\": \"87\""), std::string::npos)
      << "quality 87: 0x42FF00";
  EXPECT_NE(Control(json, 14).find("\"value\": null"), std::string::npos);
  EXPECT_NE(json.find("\"host\": {\"kind\": 102"), std::string::npos);
  // Record commands show param 0, never the record's address (the output stays reproducible).
  EXPECT_NE(json.find("{\"code\": 16916481, \"name\": \"signal_query\", \"param\": 0}"),
            std::string::npos)
      << "signal query";
  EXPECT_NE(json.find("{\"code\": 16908320, \"name\": \"start_filter\", \"param\": 0}"),
            std::string::npos)
      << "start filter";
  EXPECT_NE(json.find("\"eitstate\": 1"), std::string::npos);
  EXPECT_NE(json.find("\"keys_sent\": []"), std::string::npos);
  EXPECT_NE(json.find("\"message_boxes\": []"), std::string::npos);
  EXPECT_NE(json.find("\"guide\": {\"loaded\": true, \"visible\": false"), std::string::npos);
  EXPECT_NE(summary_.find("display 30,980 1860x60 shown"), std::string::npos) << summary_;

  for (const auto& align : {std::make_pair("16", "1730"), std::make_pair("32", "920")}) {
    const std::string aligned = Show("--ini '" + Ini({{13, align.first}}) + "'");
    for (int control : {8, 10, 11}) {
      EXPECT_NE(Control(aligned, control).find(std::string("\"531\": ") + align.second),
                std::string::npos)
          << align.first << ": " << Control(aligned, control);
    }
  }
}

TEST_F(ShowToolTest, ReproducesTheVideoWindowExample) {
  const std::string json =
      Show("--ini '" + Ini({{1, "1"}, {7, "1"}}) + "' --video 100,50,900,650 --name 'Das Erste'");
  EXPECT_NE(json.find("\"window\": {\"x\": 130, \"y\": 520, \"width\": 740, \"height\": 90"),
            std::string::npos)
      << json;
  EXPECT_NE(Control(json, 12).find("\"531\": 635"), std::string::npos);
}

TEST_F(ShowToolTest, FeedsEitKeysAndKeepsEveryByte) {
  ts::Bytes stream;
  std::string error;
  ASSERT_TRUE(
      ts::BuildStream("28106 present 19:15 short \"Tagesschau\" \"Nachrichten\"\n"
                      "28106 following 19:30 short \"Wetter\" \"\\xfc\\xe9\\x22\\x5c\"\n",
                      &stream, &error))
      << error;
  Write("eit.ts", std::string(stream.begin(), stream.end()));
  const std::string json = Show("--ini '" + Ini({{11, "300"}}) + "' --sid 28106 --ts '" + dir_ +
                                "/eit.ts' --keys O --host-title 'ALT-DVB 2' --signal 49");
  EXPECT_NE(Control(json, 10).find("\"value\": \"(19:15) Tagesschau > Nachrichten \""),
            std::string::npos)
      << Control(json, 10);
  // 0xFC 0xE9 without a selector: ISO/IEC 8859-15, in display.json as UTF-8.
  EXPECT_NE(Control(json, 11).find("\"value\": \"(19:30) Wetter > \xC3\xBC\xC3\xA9\\\"\\\\ \""),
            std::string::npos)
      << Control(json, 11);
  EXPECT_NE(json.find("\"eitstate\": 8"), std::string::npos);
  EXPECT_NE(json.find("\"keys_sent\": [{\"vk\": 44, \"scan\": 0, \"flags\": 257}, "
                      "{\"vk\": 44, \"scan\": 0, \"flags\": 259}]"),
            std::string::npos);
  EXPECT_NE(json.find("\"host\": {\"kind\": 101"), std::string::npos);
  EXPECT_NE(Control(json, 5).find("\"value\": \"11836\""), std::string::npos);
  EXPECT_NE(Control(json, 14).find("\"880\": 16775424, \"641\": \"49\""), std::string::npos);
  const std::string guide = Section(json, "guide", "host");
  EXPECT_NE(guide.find("\"visible\": true"), std::string::npos) << guide;
  EXPECT_NE(Line(guide, "\"3\": {").find("\"value\": \"Nachrichten\""), std::string::npos) << guide;
}

TEST_F(ShowToolTest, MenuItemsRunWithScriptedButtonPresses) {
  const struct {
    const char* args;
    const char* panel;
    const char* next;
    bool ended;
    bool visible;
  } cases[] = {
      {"--menu 44454", "settings", "about", false, true},             // no press: left open
      {"--menu 44454 --press 20", "settings", "about", true, false},  // Save
      {"--menu 44455 --press 2", "about", "host", true, false},       // OK
      {"--menu 44456", "guide", "settings", false, true},
  };
  for (const auto& c : cases) {
    const std::string json = Show(std::string("--ini '") + Ini({}) + "' " + c.args);
    const std::string panel = Section(json, c.panel, c.next);
    EXPECT_NE(panel.find(std::string("\"visible\": ") + (c.visible ? "true" : "false")),
              std::string::npos)
        << c.args << "\n"
        << panel;
    EXPECT_NE(json.find(std::string("\"loop_ended_by_button\": ") + (c.ended ? "true" : "false")),
              std::string::npos)
        << c.args;
  }
  // The About box carries the version label; the settings panel the file's opacity.
  const std::string about = Section(Show("--menu 44455"), "about", "host");
  EXPECT_NE(Line(about, "\"3\": {").find("\"value\": \"Pelta 2_0\""), std::string::npos) << about;
  const std::string settings =
      Section(Show("--ini '" + Ini({}) + "' --menu 44454"), "settings", "about");
  EXPECT_NE(Line(settings, "\"19\": {").find("\"value\": 180"), std::string::npos) << settings;
}

TEST_F(ShowToolTest, RefusedLoadStillWritesTheJson) {
#ifdef PELTA_TOOL
  Write("broken.uir", "[panel 4]\ncaption = Pelta\n");  // no rect: the layout is refused
  const std::string cmd = std::string("'") + PELTA_TOOL + "' show --uir '" + Path("broken.uir") +
                          "' --out '" + Path("out") + "' > /dev/null 2>&1";
  EXPECT_NE(std::system(cmd.c_str()), 0);
  const std::string json = Slurp(Path("out/display.json"));
  EXPECT_NE(json.find("\"display\": {\"loaded\": false"), std::string::npos) << json;
  EXPECT_NE(json.find("\"guide\": {\"loaded\": false"), std::string::npos) << json;
  EXPECT_NE(json.find("\"host\": {\"kind\": 0, \"top_window\": false, \"commands\": []"),
            std::string::npos);
#endif
}

// display.json's strings: UTF-8 as it is, JSON's escapes, and every byte that is no part of a
// well-formed UTF-8 character as \u00XX, so none is lost and the document stays valid.
TEST(DisplayJsonQuote, Utf8PassesOtherBytesAreEscaped) {
  struct Case {
    const char* what;
    const char* text;
    const char* json;
  } cases[] = {
      {"ASCII", "(20:15) News > Weather ", "\"(20:15) News > Weather \""},
      {"quote, backslash, controls, DEL", "a\"b\\c\x01\x1F\x7F",
       "\"a\\\"b\\\\c\\u0001\\u001f\\u007f\""},
      {"two, three and four bytes", "\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x93\xBA",
       "\"\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x93\xBA\""},
      {"a code-page byte", "Caf\xE9", "\"Caf\\u00e9\""},
      {"a lone continuation byte", "\x8A", "\"\\u008a\""},
      {"a character cut by the end", "ab\xE4\xB8", "\"ab\\u00e4\\u00b8\""},
      {"overlong form", "\xC0\xAF", "\"\\u00c0\\u00af\""},
      {"UTF-16 surrogate", "\xED\xA0\x80", "\"\\u00ed\\u00a0\\u0080\""},
      {"above U+10FFFF", "\xF4\x90\x80\x80", "\"\\u00f4\\u0090\\u0080\\u0080\""},
      {"bad second byte, then a good character", "\xC3(\xC3\xA9", "\"\\u00c3(\xC3\xA9\""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(jsondump::Quote(c.text), c.json) << c.what;
  }
}

}  // namespace
