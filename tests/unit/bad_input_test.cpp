// Malformed input from outside, one table per input, one row per case with its defined outcome
// (docs/bad-input.md is the same table in prose). Cases already pinned down by the module
// tests (display-time and ten-character rules, layout syntax errors, EIT block limits and
// reads past the block, host and video titles of ordinary length) are not repeated here.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <climits>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "display/discovery.h"
#include "display/indicators.h"
#include "display/osd.h"
#include "display/timer.h"
#include "fixture.h"
#include "guide/eit.h"
#include "guide/filter.h"
#include "panels/panels.h"
#include "settings/settings.h"
#include "shared/channel.h"
#include "shared/commands.h"

namespace {

const std::string kJpeg = JpegHeader(40, 30);

class BadInput : public PluginTest {
 protected:
  std::string Text(int control, int panel = 0) {
    char text[mem::kTextMax];
    if (!mem::CtrlText(panel != 0 ? panel : pnlDisplay.load(), control, text, sizeof text)) {
      return "<unreadable>";
    }
    return text;
  }
  int LoadedPanels() {
    int handles[16];
    return mem::Handles(handles, 16);
  }
  // A fresh module folder for the next row (the fixture's files, restored).
  void Fresh() {
    Unload();
    TearDown();
    SetUp();
  }
};

// ---- settings file (pelta.ini) ----

using BadInputSettings = BadInput;

TEST_F(BadInputSettings, MalformedFilesStillLoadWithDefinedValues) {
  struct Row {
    const char* what;
    std::function<void()> arrange;
    std::function<void()> expect;
  };
  const Row rows[] = {
      {"a folder where the file should be: read as a missing file",
       [this] {
         std::remove(Path("pelta.ini").c_str());
         ASSERT_EQ(mkdir(Path("pelta.ini").c_str(), 0755), 0);
       },
       [] {
         EXPECT_EQ(DisplayTimeMs.load(), 3000);
         EXPECT_EQ(SizeMode.load(), 0);
         EXPECT_EQ(Opacity.load(), 255) << "0 is below 100: raised to 255 at load";
         EXPECT_STREQ(FontName, "");
       }},
      {"binary junk: every line is read as it comes, nothing overruns",
       [this] {
         std::string junk;
         for (int i = 0; i < 600; ++i) junk += static_cast<char>((i * 37 + 11) & 0xFF);
         WriteFile("pelta.ini", junk);
       },
       [] {
         EXPECT_GE(DisplayTimeMs.load(), 10);
         EXPECT_NE(std::memchr(FontName, 0, 129), nullptr);
       }},
      {"NUL bytes inside lines end the number there",
       [this] { WriteFile("pelta.ini", std::string("4\0 9.0\r\n2\0 1\r\n", 14)); },
       [] {
         EXPECT_EQ(DisplayTimeMs.load(), 4000);
         EXPECT_EQ(SizeMode.load(), 2);
         EXPECT_EQ(DisplayHeight.load(), 120);
       }},
      {"one 100 000-byte line without a line end: ten characters of line 1, the rest empty",
       [this] { WriteFile("pelta.ini", "7" + std::string(100000, '5')); },
       [] {
         EXPECT_EQ(DisplayTimeMs.load(), INT32_MAX) << "7555555555 seconds, clamped";
         EXPECT_EQ(BackColour.load(), 0xFFFFFF) << "empty lines: equal colours";
         EXPECT_STREQ(FontName, "");
       }},
      {"a UTF-8 byte-order mark before line 1 is skipped",
       [this] {
         std::vector<std::string> lines = DefaultIni();
         lines[0] = "\xEF\xBB\xBF 8.0";
         WriteIni(lines);
       },
       [] { EXPECT_EQ(DisplayTimeMs.load(), 8000); }},
      {"not a number as the display time: the default",
       [this] {
         std::vector<std::string> lines = DefaultIni();
         lines[0] = "nan";
         WriteIni(lines);
       },
       [] { EXPECT_EQ(DisplayTimeMs.load(), 3000); }},
      {"an infinite display time is the default, and the dialog shows the default",
       [this] {
         std::vector<std::string> lines = DefaultIni();
         lines[0] = "inf";
         WriteIni(lines);
       },
       [] {
         EXPECT_EQ(DisplayTimeMs.load(), 3000);
         char shown[32] = "";
         EXPECT_TRUE(mem::CtrlText(pnlSettings, 4, shown, sizeof shown));
         EXPECT_STREQ(shown, "3.0");
       }},
      {"a display time past float's range (1e999) is the default",
       [this] {
         std::vector<std::string> lines = DefaultIni();
         lines[0] = "-1e999";
         WriteIni(lines);
       },
       [] { EXPECT_EQ(DisplayTimeMs.load(), 3000); }},
      {"a size mode outside 0..3: kept, the strip takes size 0 (60 pixels)",
       [this] {
         std::vector<std::string> lines = DefaultIni();
         lines[1] = "-1";
         WriteIni(lines);
       },
       [] {
         EXPECT_EQ(SizeMode.load(), -1);
         EXPECT_EQ(DisplayHeight.load(), 60);
       }},
      {"a typeface name of 128 bytes: kept, refused by the panel run-time",
       [this] {
         std::vector<std::string> lines = DefaultIni();
         lines[15] = std::string(200, 'F');
         WriteIni(lines);
       },
       [] {
         EXPECT_EQ(std::strlen(FontName), 128u);
         char font[uir::kNameMax];
         ASSERT_TRUE(mem::CtrlAttrText(pnlDisplay, 8, ATTR_TEXT_FONT, font, sizeof font));
         EXPECT_EQ(std::string(font).find("FFFFFFFFFF"), std::string::npos)
             << "the layout's font stays; never a cut-short name";
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Fresh();
    row.arrange();
    ASSERT_TRUE(Load());
    EXPECT_EQ(sim::MessageBoxCount(), 0);
    row.expect();
  }
}

// ---- layout file (pelta.uir) ----

using BadInputLayout = BadInput;

TEST_F(BadInputLayout, UnusableLayoutsRefuseTheLoadSilentlyAndLeaveNothing) {
  const std::string shipped = ReadFile("pelta.uir");
  const size_t panel3 = shipped.find("[panel 3]");
  ASSERT_NE(panel3, std::string::npos);
  std::string junk;
  for (int i = 0; i < 4096; ++i) junk += static_cast<char>(i * 131 & 0xFF);
  std::string unknown_callback = shipped;
  const size_t callback = unknown_callback.find("callback = FONT");
  ASSERT_NE(callback, std::string::npos);
  unknown_callback.replace(callback, 15, "callback = FONTX");
  const struct {
    const char* what;
    std::string text;
  } rows[] = {
      {"empty file", ""},
      {"cut short after the display panel", shipped.substr(0, panel3)},
      {"binary junk", junk},
      {"a callback the library does not have", unknown_callback},
      {"larger than 256 KiB", shipped + std::string(256 * 1024, '#')},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    Fresh();
    WriteFile("pelta.uir", row.text);
    EXPECT_FALSE(Load());
    EXPECT_EQ(sim::MessageBoxCount(), 0) << "only a missing file is shown";
    EXPECT_EQ(LoadedPanels(), 0);
    EXPECT_FALSE(sim::TimerRunning());
  }
}

// A dialog whose loop no button ends would hang the host's menu call: the load refuses such a
// layout and says why, in the words pelta-tool check-uir uses for the same file.
TEST_F(BadInputLayout, DialogsThatCouldNotBeClosedRefuseTheLoadWithTheCheckersMessage) {
  const std::string shipped = ReadFile("pelta.uir");
  const struct {
    const char* callback;  // rebound to FONT, a callback the library has
    const char* message;
  } rows[] = {
      {"SAVE", "panel 3 has no button with callback SAVE"},
      {"OK\n", "panel 1 has no button with callback OK"},
      {"EPGOK", "panel 2 has no button with callback EPGOK"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.callback);
    Fresh();
    std::string text = shipped;
    const std::string from = std::string("callback = ") + row.callback;
    const size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos);
    text.replace(at, from.size(), from.back() == '\n' ? "callback = FONT\n" : "callback = FONT");
    WriteFile("pelta.uir", text);
    EXPECT_FALSE(Load());
    ASSERT_EQ(sim::MessageBoxCount(), 1);
    const std::string shown = sim::MessageBoxAt(0)->text;
    EXPECT_NE(shown.find(row.message), std::string::npos) << shown;
    EXPECT_EQ(LoadedPanels(), 0);
    EXPECT_FALSE(sim::TimerRunning());
    int status = -1;
    const std::string checker = RunCommand(
        std::string(PELTA_TOOL) + " check-uir '" + Path("pelta.uir") + "' 2>&1 >/dev/null",
        &status);
    EXPECT_EQ(status, 1);
    // The same words after the file name (the plug-in names it by its Windows path).
    const std::string after_name = shown.substr(shown.find(":"));
    EXPECT_NE(checker.find(Path("pelta.uir") + after_name), std::string::npos) << checker << "\n"
                                                                               << shown;
  }
}

TEST_F(BadInputLayout, LayoutsMissingWhatThePluginUsesLoadAndDegradeQuietly) {
  const std::string shipped = ReadFile("pelta.uir");
  std::string no_name = shipped;
  const size_t control8 = no_name.find("[control 8]");
  ASSERT_NE(control8, std::string::npos);
  no_name.replace(control8, 11, "[control 98]");
  std::string other_caption = shipped;
  const size_t caption = other_caption.find("caption = Pelta");
  ASSERT_NE(caption, std::string::npos);
  other_caption.replace(caption, 15, "caption = Strip");
  const struct {
    const char* what;
    std::string text;
    bool name_shown;
    bool placed;
  } rows[] = {
      {"display panel without control 8: no channel name", no_name, false, true},
      // The plug-in places its own window, whatever the layout calls it.
      {"display panel captioned otherwise: placed all the same", other_caption, true, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    Fresh();
    WriteFile("pelta.uir", row.text);
    LoadStartAndPassGate();
    const int moves = sim::SetWindowPosCount();
    On_Channel_Change(MakeChannel("Arte", 10744000, 1, 10302, 0));
    EXPECT_TRUE(mem::IsVisible(pnlDisplay));
    EXPECT_EQ(Text(8) == "Arte", row.name_shown);
    EXPECT_EQ(sim::SetWindowPosCount() > moves, row.placed);
    EXPECT_EQ(OsdWnd != nullptr, row.placed);
    EXPECT_EQ(Text(5), "10744");
  }
}

// ---- logo files (pelta_icon) ----

using BadInputLogo = BadInput;

TEST_F(BadInputLogo, UnshowableLogosFallBackOrKeepThePicture) {
  WriteFile("pelta_icon/Good.jpg", kJpeg);
  WriteFile("pelta_icon/Empty.jpg", "");
  WriteFile("pelta_icon/Bomb.jpg", JpegHeader(20000, 20000));
  WriteFile("pelta_icon/Big.jpg", JpegHeader(64, 64) + std::string(1024 * 1024, '\0'));
  ASSERT_EQ(mkdir(Path("pelta_icon/Folder.jpg").c_str(), 0755), 0);
  LoadStartAndPassGate();
  const std::string icons = Path("pelta_icon/");
  const struct {
    const char* what;
    const char* name;
    bool fallback_usable;
    std::vector<std::string> tried;
    std::string shown;
  } rows[] = {
      {"empty file", "Empty", true, {icons + "Empty.jpg", icons + "0.jpg"}, icons + "0.jpg"},
      {"a 17-byte file claiming 20000 x 20000 pixels: refused before decoding",
       "Bomb",
       true,
       {icons + "Bomb.jpg", icons + "0.jpg"},
       icons + "0.jpg"},
      {"over 1 MiB of file", "Big", true, {icons + "Big.jpg", icons + "0.jpg"}, icons + "0.jpg"},
      {"a folder named like the logo",
       "Folder",
       true,
       {icons + "Folder.jpg", icons + "0.jpg"},
       icons + "0.jpg"},
      {"name with path separators stays inside the logo folder",
       "..\\..\\Good",
       true,
       {icons + ".._.._Good.jpg", icons + "0.jpg"},
       icons + "0.jpg"},
      {"logo shown, then neither logo nor fallback: the picture stays",
       "Missing",
       false,
       {icons + "Missing.jpg", icons + "0.jpg"},
       icons + "Good.jpg"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    if (!row.fallback_usable) {
      On_Channel_Change(MakeChannel("Good", 1, 1, 1, 0));
      ASSERT_EQ(Text(9), icons + "Good.jpg");
      WriteFile("pelta_icon/0.jpg", "not a picture");
    }
    const int before = mem::ImageLoadCount();
    On_Channel_Change(MakeChannel(row.name, 1, 1, 1, 0));
    ASSERT_EQ(mem::ImageLoadCount() - before, static_cast<int>(row.tried.size()));
    for (size_t i = 0; i < row.tried.size(); ++i) {
      EXPECT_EQ(mem::ImageLoadAt(before + static_cast<int>(i)), row.tried[i]);
    }
    EXPECT_EQ(Text(9), row.shown);
  }
}

// ---- EIT data (OnDataArrival) ----

using BadInputEit = BadInput;

// A 2000-byte block whose first section is a present event of `sid` with a short event
// descriptor carrying `name` and `text` (lengths up to 255: the section runs on into the next
// packets, as a long section does).
std::vector<unsigned char> ShortEventBlock(uint16_t sid, const std::string& name,
                                           const std::string& text) {
  std::vector<unsigned char> b(2000, 0xFF);
  const size_t descriptor = 5 + 1 + name.size() + 1 + text.size();
  const size_t length = 11 + 12 + 2 + descriptor + 4;
  b[0] = 0;
  b[1] = 0x4E;
  b[2] = static_cast<unsigned char>(0xF0 | length >> 8);
  b[3] = static_cast<unsigned char>(length & 0xFF);
  b[4] = static_cast<unsigned char>(sid >> 8);
  b[5] = static_cast<unsigned char>(sid & 0xFF);
  b[7] = 0;      // section 0: present
  b[19] = 0x20;  // 20:15
  b[20] = 0x15;
  b[27] = 0x4D;  // short_event_descriptor
  b[28] = static_cast<unsigned char>(descriptor & 0xFF);
  std::memcpy(&b[29], "eng", 3);
  b[32] = static_cast<unsigned char>(name.size());
  std::memcpy(&b[33], name.data(), name.size());
  b[33 + name.size()] = static_cast<unsigned char>(text.size());
  std::memcpy(&b[34 + name.size()], text.data(), text.size());
  return b;
}

TEST_F(BadInputEit, MalformedDeliveriesAreIgnoredOrBounded) {
  LoadStartAndPassGate();
  On_Channel_Change(MakeChannel("Eins", 11836000, 1, 0x1234, 0));
  ASSERT_EQ(eitstate.load(), 1);
  GuideFormat = 1;
  const std::vector<unsigned char> worked = ShortEventBlock(0x1234, "News", "Weather");
  const struct {
    const char* what;
    int filter;
    int length;
    const unsigned char* data;
  } ignored[] = {
      {"negative length", 1, -1, worked.data()},
      {"most negative length", 1, INT_MIN, worked.data()},
      {"zero length", 1, 0, worked.data()},
      {"no data behind a valid length", 1, 184, nullptr},
      {"filter number from another plug-in", -1, 2000, worked.data()},
  };
  for (const auto& row : ignored) {
    SCOPED_TRACE(row.what);
    OnDataArrival(row.filter, row.length, row.data);
    EXPECT_EQ(eitstate.load(), 1);
    EXPECT_STREQ(nowtxt, "");
  }

  // Fields of 255 bytes each. ASCII: the longest line fits its buffer. Bytes that decode to
  // three UTF-8 bytes each (0xA4, the euro sign): 765 bytes per field, the line is cut at the
  // last whole character that fits 1023 bytes, and the description keeps its 765 bytes.
  std::string euros;
  for (int i = 0; i < 255; ++i) euros += "\xE2\x82\xAC";
  const struct {
    const char* what;
    std::string name, text, line, desc;
  } longest[] = {
      {"ASCII", std::string(255, 'N'), std::string(255, 'T'),
       "(20:15) " + std::string(255, 'N') + " > " + std::string(255, 'T') + " ",
       std::string(255, 'T')},
      {"three UTF-8 bytes per byte", std::string(255, '\xA4'), std::string(255, '\xA4'),
       "(20:15) " + euros + " > " + euros.substr(0, 82 * 3), euros},
  };
  for (const auto& row : longest) {
    SCOPED_TRACE(row.what);
    ResetLinesForChannel();
    const std::vector<unsigned char> block = ShortEventBlock(0x1234, row.name, row.text);
    OnDataArrival(1, 2000, block.data());
    EXPECT_EQ(eitstate.load(), 3);
    EXPECT_EQ(std::string(nowtxt), row.line);
    char desc[kGuideTextMax];
    CopyNowDesc(desc, sizeof desc);
    EXPECT_EQ(std::string(desc), row.desc);
  }
  // A caller's buffer too small for the description gets it cut between characters.
  char small[6];
  CopyNowDesc(small, sizeof small);
  EXPECT_EQ(std::string(small), "\xE2\x82\xAC");
}

// ---- channel records (TProgram82) ----

using BadInputChannel = BadInput;

TEST_F(BadInputChannel, RecordFieldsAtTheirLimits) {
  LoadStartAndPassGate();
  sim::SetTitle(host_, "Notepad");  // no host: frequencies of 100000 and above read as kHz
  TProgram82 no_nul = MakeChannel("", 0xFFFFFFFF, 0xFF, 0xFFFF, 0xFF);
  std::memset(no_nul.bytes, 'X', kChannelNameField);
  TProgram82 high_bytes = MakeChannel("\xC4rger \xFF\x80\x01\x1B", 0, 13, 0, 0);
  const struct {
    const char* what;
    TProgram82 chan;
    std::string name, freq, pol, ca;
  } rows[] = {
      {"name filling its 92 bytes with no NUL: cut at the field", no_nul, std::string(92, 'X'),
       "4294967", "H", "OTH"},
      {"bytes above 0x7F: code page 1252 as UTF-8; control codes kept", high_bytes,
       "\xC3\x84rger \xC3\xBF\xE2\x82\xAC\x01\x1B", "0", "V", "FTA"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    On_Channel_Change(row.chan);
    EXPECT_EQ(std::memcmp(CurrentChannel.bytes, row.chan.bytes, kProgramSize), 0);
    EXPECT_EQ(Text(8), row.name);
    EXPECT_EQ(Text(5), row.freq);
    EXPECT_EQ(Text(6), row.pol);
    EXPECT_EQ(Text(7), row.ca);
  }

  SCOPED_TRACE("every CA code and every polarisation byte");
  for (int code = 0; code < 256; ++code) {
    On_Channel_Change(
        MakeChannel("C", 12000, static_cast<uint8_t>(code), 1, static_cast<uint8_t>(code)));
    const std::string label = Text(7);
    ASSERT_EQ(label.size(), 3u) << code;
    EXPECT_EQ(label == "OTH", CaState == 1) << code;
    EXPECT_EQ(Text(6), code == 1 || code == 13 ? "V" : "H") << code;
  }
}

// ---- host replies (start-filter and signal-query records) ----

using BadInputHost = BadInput;

LRESULT CALLBACK IgnoringHost(HWND, UINT, WPARAM, LPARAM) {
  return 0;
}

TEST_F(BadInputHost, QualityOutsideItsScaleIsShownAsSentAndColouredClamped) {
  LoadStartAndPassGate();
  const struct {
    int32_t quality;
    const char* text;
    int colour;
  } rows[] = {
      {INT32_MIN, "-2147483648", 0xFF0000},
      {-1, "-1", 0xFF0000},
      {101, "101", 0x00FF00},
      {INT32_MAX, "2147483647", 0x00FF00},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    host_quality = row.quality;
    On_Channel_Change(MakeChannel("Q", 11836000, 1, 1, 0));
    EXPECT_EQ(SignalQuality, row.quality);
    char text[uir::kNameMax];
    ASSERT_TRUE(mem::CtrlAttrText(pnlDisplay, 14, ATTR_INDICATOR_TEXT, text, sizeof text));
    EXPECT_STREQ(text, row.text);
    int fill = -1;
    ASSERT_TRUE(mem::CtrlAttr(pnlDisplay, 14, ATTR_FILL_COLOR, &fill));
    EXPECT_EQ(fill, row.colour);
  }
}

TEST_F(BadInputHost, HostsThatDoNotAnswer) {
  const struct {
    const char* what;
    bool destroy_before_change;
  } rows[] = {
      {"a host that ignores the start command: not started, asked again, nothing stopped", false},
      {"a host window gone before the channel change: nothing reaches it, same outcome", true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    Fresh();
    HWND host = sim::CreateWindow("ProgDVB 7", RECT{0, 0, 1920, 1080}, nullptr, &IgnoringHost);
    ASSERT_TRUE(Load());
    char hot_key[8] = "", version[8] = "";
    int res = 0;
    On_Start(nullptr, host, FALSE, 7, hot_key, version, &res);
    On_Channel_Change(MakeChannel("Gate", 1, 1, 1, 0));
    sim::FireTimer(5);
    if (row.destroy_before_change) sim::DestroyWindow(host);
    sim::ClearLogs();
    On_Channel_Change(MakeChannel("Arte", 10744000, 1, 10302, 0));
    EXPECT_TRUE(FilterAwaitsProof()) << "no id, no data: the next channel change asks again";
    EXPECT_EQ(runid, -1);
    EXPECT_EQ(SignalQuality, 0) << "an unanswered query leaves the record at zero";
    if (!row.destroy_before_change) {
      bool asked = false;
      for (int i = 0; i < sim::MessageCount(); ++i) {
        asked = asked || sim::MessageAt(i)->wparam == CMD_START_FILTER;
      }
      EXPECT_TRUE(asked) << "the second channel change sent the start again";
    }
    sim::ClearLogs();
    On_Exit(nullptr, host, FALSE);
    EXPECT_EQ(eitstate.load(), 0);
    for (int i = 0; i < sim::MessageCount(); ++i) {
      EXPECT_NE(sim::MessageAt(i)->wparam, CMD_STOP_FILTER) << "nothing stopped that never ran";
    }
  }
}

// ---- window titles (host, video window, diagnostic probe) ----

using BadInputTitles = BadInput;

TEST_F(BadInputTitles, LongAndNonAsciiTitlesAreReadWithinTheirLimits) {
  WriteIni([] {
    std::vector<std::string> lines = DefaultIni();
    lines[7] = "1";  // FollowVideo
    return lines;
  }());
  LoadStartAndPassGate();
  const std::string long_tail(240, 'z');
  const std::string high(255, '\xE9');
  const struct {
    const char* what;
    std::string host_title;
    std::string video_title;
    const char* channel;
    int32_t kind;
    bool video_found;
  } rows[] = {
      {"255-character titles: only their prefixes are read", "ALT-DVB" + long_tail,
       "DvbVideoGraph" + long_tail, "Kanal", kHostAltDvb, true},
      {"titles of bytes above 0x7F match nothing", high, high, "Kanal", kHostNone, false},
      {"a 92-byte name without NUL matches a window titled with its first eight bytes", "ProgDVB 7",
       std::string(8, 'X') + long_tail, nullptr, kHostProgDvb, true},
  };
  HWND video = sim::CreateWindow("", RECT{100, 50, 900, 650}, host_);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    sim::SetTitle(host_, row.host_title.c_str());
    sim::SetTitle(video, row.video_title.c_str());
    VideoWnd = nullptr;
    TProgram82 chan = MakeChannel(row.channel != nullptr ? row.channel : "", 1, 1, 1, 0);
    if (row.channel == nullptr) std::memset(chan.bytes, 'X', kChannelNameField);
    On_Channel_Change(chan);
    EXPECT_EQ(HostKind.load(), row.kind);
    EXPECT_EQ(VideoWnd == video, row.video_found);
    EXPECT_NE(std::memchr(TitleBuf, 0, sizeof TitleBuf), nullptr);
  }

  SCOPED_TRACE("diagnostic probe: 31 characters of a 255-character title");
  DebugMode = -2;
  sim::SetTitle(host_, high.c_str());  // the host's window lies under the screen centre
  On_Channel_Change(MakeChannel("Kanal", 1, 1, 1, 0));
  EXPECT_EQ(Text(11), high.substr(0, 31));
}

// Another program's top-level window with the caption of one of the plug-in's windows (an
// Explorer window on a folder named Pelta, another program's dialog), topmost, so that a search
// by caption would find it first: the plug-in places its own panels and leaves it alone.
TEST_F(BadInputTitles, ForeignWindowsWithThePluginsCaptionsAreLeftAlone) {
  const struct {
    const char* what;
    const char* caption;
    void (*act)();
    std::atomic<int>* panel;  // whose own window is placed
  } rows[] = {
      {"\"Pelta\": the load's translucency and the channel change", "Pelta",
       [] { On_Channel_Change(MakeChannel("Arte", 10744000, 1, 10302, 0)); }, &pnlDisplay},
      {"\"Settings\": the menu's dialog", "Settings",
       [] {
         mem::QueueClose(pnlSettings);
         On_Menu_Select(44454);
       },
       &pnlSettings},
      {"\"EPG\": the menu's guide", "EPG",
       [] {
         mem::QueueClose(pnlGuide);
         On_Menu_Select(44456);
       },
       &pnlGuide},
      {"\"EPG\": the guide the O key opens", "EPG",
       [] {
         sim::PressKey('O');
         sim::FireTimer();
       },
       &pnlGuide},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    Fresh();
    const RECT where{600, 300, 900, 500};
    HWND foreign = sim::CreateWindow(row.caption, where);
    SetWindowPos(foreign, HWND_TOPMOST, 600, 300, 300, 200, 0);
    sim::ClearLogs();  // that call was the other program's
    LoadStartAndPassGate();
    row.act();
    sim::WindowInfo info;
    ASSERT_TRUE(sim::GetInfo(foreign, &info));
    EXPECT_TRUE(info.rect.left == where.left && info.rect.top == where.top &&
                info.rect.right == where.right && info.rect.bottom == where.bottom)
        << info.rect.left << "," << info.rect.top << "-" << info.rect.right << ","
        << info.rect.bottom;
    EXPECT_EQ(info.exstyle & WS_EX_LAYERED, 0);
    EXPECT_FALSE(info.layered_attrs_set);
    const HWND own = PanelWindow(*row.panel);
    int own_moves = 0;
    for (int i = 0; i < sim::SetWindowPosCount(); ++i) {
      const sim::SetWindowPosEntry* e = sim::SetWindowPosAt(i);
      EXPECT_NE(e->hwnd, foreign) << "call " << i;
      own_moves += e->hwnd == own && e->insert_after == HWND_TOPMOST;
    }
    EXPECT_GE(own_moves, 1) << "the panel's own window is placed";
    sim::WindowInfo strip;
    ASSERT_TRUE(sim::GetInfo(PanelWindow(pnlDisplay), &strip));
    EXPECT_TRUE(strip.layered_attrs_set && strip.alpha == 180) << "the strip is translucent";
  }
}

// ---- module folder (where the library was loaded from) ----

using BadInputModulePath = BadInput;

TEST_F(BadInputModulePath, FolderAtTheLimitLoadsAndItsLogoPathsNeverOverrun) {
  // 243 characters: IconDir ("\pelta_icon\" behind it) takes exactly 255 bytes, so no logo
  // path fits any more, not even the fallback "0.jpg". One more character refuses the load.
  for (size_t length : {size_t{243}, size_t{244}}) {
    SCOPED_TRACE(length);
    Fresh();
    const std::string sub(length - dir_.size() - 1, 'm');
    const std::string folder = Path(sub);
    ASSERT_EQ(folder.size(), length);
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    ASSERT_EQ(mkdir((folder + "/pelta_icon").c_str(), 0755), 0);
    for (const char* file : {"pelta.uir", "pelta.ini", "pelta_icon/0.jpg"}) {
      WriteFile(sub + "/" + file, ReadFile(file));
    }
    sim::SetModuleDir(folder.c_str());
    if (length == 244) {
      EXPECT_FALSE(Load());
      EXPECT_EQ(sim::MessageBoxCount(), 0);
      continue;
    }
    LoadStartAndPassGate();
    EXPECT_EQ(std::strlen(IconDir), 255u);
    const int before = mem::ImageLoadCount();
    On_Channel_Change(MakeChannel("Arte", 10744000, 1, 10302, 0));
    EXPECT_EQ(mem::ImageLoadCount(), before) << "no cut-short logo path is tried";
    EXPECT_EQ(Text(8), "Arte");
    EXPECT_TRUE(mem::IsVisible(pnlDisplay));
  }
}

}  // namespace
