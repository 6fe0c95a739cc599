// pelta-tool check-ini and check-uir, run as a user runs them.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#ifdef PELTA_TOOL

#include "fixture.h"

namespace {

struct Result {
  int status;
  std::string output;  // stdout and stderr
};

Result RunTool(const std::string& arguments) {
  Result result{-1, ""};
  result.output =
      RunCommand(std::string("'") + PELTA_TOOL + "' " + arguments + " 2>&1", &result.status);
  return result;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class CheckToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/pelta-check-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    const std::string cmd = "rm -rf '" + dir_ + "'";
    if (std::system(cmd.c_str()) != 0) ADD_FAILURE() << "cannot remove " << dir_;
  }
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  static std::string Replace(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
  }
  static std::string Ini(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
  }
  std::string dir_;
};

const std::string kLayout = Slurp(std::string(PELTA_SOURCE_DIR) + "/assets/pelta.uir");

// The line number of the first line of `text` that contains `needle`; with `header`, of the
// last line before it that contains `header` (the section the needle is in).
int LineOf(const std::string& text, const std::string& needle, const std::string& header = "") {
  size_t at = text.find(needle);
  if (!header.empty() && at != std::string::npos) at = text.rfind(header, at);
  int line = 1;
  for (size_t i = 0; i < at && i < text.size(); ++i) line += text[i] == '\n';
  return line;
}

TEST_F(CheckToolTest, LayoutFileErrorsNameFileAndLine) {
  const struct {
    const char* what;
    std::string from, to;  // one change to the repository's layout file
    std::string marker;    // the line the error is about holds this text (after the change)
    std::string header;    // or: the section header before the marker
    std::string reason;    // part of the message
  } cases[] = {
      {"malformed rect", "rect = 5, 5, 60, 45", "rect = 5, 5, 60", "rect = 5, 5, 60\n", "", "rect"},
      {"unknown key", "size = 22\n", "colour = 22\n", "colour = 22", "", "colour"},
      {"logo not a picture", "kind = picture", "kind = text", "[control 9]", "", "picture"},
      {"callback not the plug-in's", "callback = OK\n", "callback = OKAY\n", "callback = OKAY",
       "[control", "OKAY"},
      {"display caption", "caption = Pelta\n", "caption = Pelta 2\n", "[panel 4]", "", "Pelta"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string text = Replace(kLayout, c.from, c.to);
    const std::string path = Write("pelta.uir", text);
    const Result r = RunTool("check-uir '" + path + "'");
    EXPECT_EQ(r.status, 1) << r.output;
    const std::string where = path + ":" + std::to_string(LineOf(text, c.marker, c.header)) + ": ";
    EXPECT_NE(r.output.find(where), std::string::npos) << "expected " << where << " in\n"
                                                       << r.output;
    EXPECT_NE(r.output.find(c.reason), std::string::npos) << r.output;
  }
}

TEST_F(CheckToolTest, RepositoryLayoutFileIsComplete) {
  const Result r = RunTool("check-uir '" + std::string(PELTA_SOURCE_DIR) + "/assets/pelta.uir'");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("panel 4 \"Pelta\" popup"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("control 9   picture"), std::string::npos) << r.output;
}

TEST_F(CheckToolTest, MissingLayoutFileIsAnError) {
  const Result r = RunTool("check-uir '" + dir_ + "/none.uir'");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find(dir_ + "/none.uir"), std::string::npos) << r.output;
}

TEST_F(CheckToolTest, EqualColoursShowTheWhiteBackground) {
  const std::string path = Write("pelta.ini", Ini({" 3.0", "0", "255", "255", "1", "1", "1", "0",
                                                   "0", "0", "0", "0", "180", "0", "1", "Arial"}));
  const Result r = RunTool("check-ini '" + path + "'");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("BackColour     0xFFFFFF (file: 0x0000FF"), std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("TextColour     0x0000FF"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find(path + ":3: background equals the text colour"), std::string::npos)
      << r.output;
}

TEST_F(CheckToolTest, SettingsAsThePluginHoldsThemAfterLoad) {
  const struct {
    const char* what;
    std::vector<std::string> lines;
    std::vector<std::string> expected;  // each somewhere in the output
  } cases[] = {
      {"derived values",
       {" 2.3", "1", "0", "16777215", "1", "1", "1", "0", "0", "0", "0", "0", "255", "16", "2",
        "Verdana", "1", "CZE, ger"},
       {"DisplayTimeMs  2299 ms", "timer every 45 ms", "SizeMode       1 (display height 90)",
        "Opacity        255: display window opaque", "TextAlign      16 (right-aligned",
        "FontName       \"Verdana\" (applied",
        "ProgrammeTimes 1: programme lines with start and end, and the progress bar",
        "EpgLanguages   \"CZE, ger\": ces,deu, then the broadcast's first",
        "18 lines read, 0 notes"}},
      {"the seventeen lines of the version before",
       {" 3.0", "0", "0", "16777215", "1", "1", "1", "0", "0", "0", "0", "0", "180", "0", "1",
        "Arial", "1"},
       {"line 18 missing (a file of an older version): no EPG languages",
        "EpgLanguages   \"\": the language of the user interface", "17 lines read, 1 note"}},
      {"EPG languages the plug-in cannot use",
       {" 3.0", "0", "0", "16777215", "1", "1", "1", "0", "0", "0", "0", "0", "180", "0", "1",
        "Arial", "1", "deu,de,,DEU,eng,fra,ita"},
       {"deu,eng,fra, then the broadcast's first", ":18: 4 entries of the EPG languages left out",
        "18 lines read, 1 note"}},
      {"the sixteen lines of an older version",
       {" 3.0", "0", "0", "16777215", "1", "1", "1", "0", "0", "0", "0", "0", "180", "0", "1",
        "Arial"},
       {"ProgrammeTimes 0: programme lines with their start times only",
        "line 17 missing (a file of an older version): read as 0", "16 lines read, 1 note"}},
      {"programme times other than 0 and 1",
       {" 3.0", "0", "0", "16777215", "1", "1", "1", "0", "0", "0", "0", "0", "180", "0", "1",
        "Arial", "2x"},
       {"ProgrammeTimes 2: programme lines with their start times only (only 1 shows"}},
      {"short file and odd lines",
       {"0.02", "4", "   16777215", "7"},
       {"DisplayTimeMs  19 ms", "timer every 1 ms", ":1: a display time below 0.05 s",
        "SizeMode       4 (no size: the layout of 0, display height 60)",
        ":2: size 4 is not 0 to 3: the display uses size 0 (60 pixels)", "BackColour     0x199999",
        ":3: only the first 10 characters count", "lines 5 to 18 missing",
        "fewer than 4 characters"}},
      {"alignment without a font name of four characters",
       {" 3.0", "0", "0", "16777215", "1", "1", "1", "0", "0", "0", "0", "0", "180", "16", "1",
        "Ari"},
       {"TextAlign      16 (right-aligned, texts re-anchored on every channel, in the layout's "
        "font)"}},
      {"white on white",
       {" 3.0", "0", "16777215", "16777215", "1", "1", "1", "0", "0", "0", "0", "0", "180", "0",
        "1", "Arial"},
       {"BackColour     0x000000 (file: 0xFFFFFF, equal to the text colour)",
        ":3: background equals the text colour: the display uses black (the text is white)"}},
      {"low opacity",
       {" 3.0", "0", "0", "16777215", "1", "1", "1", "0", "0", "0", "0", "0", "40", "0", "1",
        "Arial"},
       {"Opacity        255 (file: 40): display window translucent, alpha 255",
        ":13: opacity below 100 is raised to 255"}},
      {"line 10 local, no note",
       {" 3.0", "0", "0", "16777215", "1", "1", "1", "0", "0", "Local", "0", "0", "180", "0", "1",
        "Arial", "0", ""},
       {"HourOffset     local: start times in this computer's local time",
        "18 lines read, 0 notes"}},
      {"a byte-order mark before line 1",
       {"\xEF\xBB\xBF 8.0", "0", "0", "16777215", "1", "1", "1", "0", "0", "0", "0", "0", "180",
        "0", "1", "Arial"},
       {"DisplayTimeMs  8000 ms (8 s as read)",
        ":1: a UTF-8 byte-order mark before the first line"}},
      {"a display time of 0",
       {"0"},
       {"DisplayTimeMs  3000 ms (0 s read, below 0.01 s: the default"}},
      {"no display time", {"x"}, {"DisplayTimeMs  3000 ms (no number read: the default 3 s)"}},
      {"line 10 an offset past a day",
       {" 3.0", "0", "0", "16777215", "1", "1", "1", "0", "0", "-30", "0", "0", "180", "0", "1",
        "Arial"},
       {"HourOffset     -30: start times are the broadcast's UTC -6 h"}},
      // The panel run-time keeps the layout's font for a name of 64 characters or more: the
      // description says what the display shows, not what the file asks for.
      {"a font name too long for the display",
       {" 3.0", "0", "0", "16777215", "1", "1", "1", "0", "0", "0", "0", "0", "180", "0", "1",
        std::string(64, 'F')},
       {"(64 characters: not applied, the layout's \"Arial\" stays)"}},
      {"a font name just short enough",
       {" 3.0", "0", "0", "16777215", "1", "1", "1", "0", "0", "0", "0", "0", "180", "0", "1",
        std::string(63, 'F')},
       {"FontName       \"" + std::string(63, 'F') + "\" (applied"}},
      {"lines after 18 counted",
       {" 3.0", "0",   "0", "16777215", "1",     "1", "1",   "0", "0", "0", "0",
        "0",    "180", "0", "1",        "Arial", "0", "eng", "x", "y", "z"},
       {"lines after 18 are not read (3 more)", "18 lines read, 1 note"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = Write("pelta.ini", Ini(c.lines));
    const Result r = RunTool("check-ini '" + path + "'");
    EXPECT_EQ(r.status, 0) << r.output;
    for (const std::string& e : c.expected) {
      EXPECT_NE(r.output.find(e), std::string::npos) << "expected \"" << e << "\" in\n" << r.output;
    }
  }
}

// check-ini streams the file: 20 million empty lines after the eighteen are counted, not kept
// (kept, they took gigabytes). The address-space limit makes keeping them fail.
TEST_F(CheckToolTest, HugeSettingsFileIsStreamed) {
  const std::string path =
      Write("pelta.ini", Ini({" 3.0", "0", "0", "16777215", "1", "1", "1", "0", "0", "0", "0", "0",
                              "180", "0", "1", "Arial", "1", "deu"}) +
                             std::string(20 * 1000 * 1000, '\n'));
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  const std::string limit;  // the sanitizers reserve more address space than any limit allows
#else
  const std::string limit = "ulimit -v 400000; ";
#endif
  Result r{-1, ""};
  r.output = RunCommand(limit + "'" + PELTA_TOOL + "' check-ini '" + path + "' 2>&1", &r.status);
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("lines after 18 are not read (20000000 more)"), std::string::npos)
      << r.output;
  std::remove(path.c_str());
}

TEST_F(CheckToolTest, UnreadableSettingsFileAndBadUsage) {
  EXPECT_EQ(RunTool("check-ini '" + dir_ + "/none.ini'").status, 1);
  EXPECT_EQ(RunTool("check-ini").status, 2);
  EXPECT_EQ(RunTool("check-uir a b").status, 2);
}

}  // namespace

#endif  // PELTA_TOOL
