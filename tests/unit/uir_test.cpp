// Layout-file reader: valid files in their accepted spellings, a table of malformed inputs with
// the line and reason each must report, and the shipped assets/pelta.uir.
#include "panels/uir.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

namespace {

uir::Layout g_layout;  // large: static, as the reader's callers keep it

bool ParseText(const std::string& text, uir::Error* error) {
  return uir::Parse(text.data(), text.size(), "test.uir", &g_layout, error);
}

const char kMinimal[] =
    "[panel 4]\n"
    "caption = Pelta\n"
    "rect = 0, 0, 800, 60\n"
    "[control 8]\n"
    "kind = text\n"
    "rect = 70, 2, 600, 24\n";

TEST(UirParse, ReadsKeysAndDefaults) {
  const std::string text =
      "# comment line\n"
      "\n"
      "[panel 4]\n"
      "caption = Pelta\n"
      "rect = 0, 0, 800, 60          # left, top, width, height\n"
      "style = popup\n"
      "background = 0x102030\n"
      "close_control = 9\n"
      "[control 8]\n"
      "kind = text\n"
      "rect = 70, -2, 600, 24\n"
      "font = Arial\n"
      "size = 22\n"
      "justify = 16\n"
      "text_colour = 16777215\n"
      "label = \"  Channel #1 \"\n"
      "[control 9]\n"
      "kind = float\n"
      "rect = 1, 2, 3, 4\n"
      "value = -2.5\n"
      "min = -10\n"
      "max = 10.75\n"
      "visible = 0\n"
      "callback = SAVE_1\n";
  uir::Error error;
  ASSERT_TRUE(ParseText(text, &error)) << error.reason;
  ASSERT_EQ(g_layout.panel_count, 1);
  const uir::Panel& p = g_layout.panels[0];
  EXPECT_STREQ(p.caption, "Pelta");
  EXPECT_EQ(p.style, uir::Style::Popup);
  EXPECT_EQ(p.background, 0x102030);
  EXPECT_EQ(p.close_control, 9);
  EXPECT_EQ(p.width, 800);
  EXPECT_EQ(p.line, 3);
  ASSERT_EQ(p.control_count, 2);

  const uir::Control* c8 = uir::FindControl(p, 8);
  ASSERT_NE(c8, nullptr);
  EXPECT_EQ(c8->top, -2);
  EXPECT_EQ(c8->point_size, 22);
  EXPECT_EQ(c8->justify, 16);
  EXPECT_EQ(c8->text_colour, 0xFFFFFF);
  EXPECT_EQ(c8->back_colour, 0xFFFFFF);  // default
  EXPECT_STREQ(c8->label, "  Channel #1 ");
  EXPECT_TRUE(c8->visible);
  EXPECT_EQ(c8->line, 9);

  const uir::Control* c9 = uir::FindControl(p, 9);
  ASSERT_NE(c9, nullptr);
  EXPECT_EQ(c9->kind, uir::Kind::Float);
  EXPECT_STREQ(c9->value, "-2.5");
  EXPECT_DOUBLE_EQ(c9->min, -10.0);
  EXPECT_DOUBLE_EQ(c9->max, 10.75);
  EXPECT_FALSE(c9->visible);
  EXPECT_STREQ(c9->callback, "SAVE_1");
  EXPECT_EQ(uir::FindControl(p, 10), nullptr);
  EXPECT_EQ(uir::FindPanel(g_layout, 3), nullptr);
}

TEST(UirParse, AcceptsCrLfAndMissingFinalNewline) {
  std::string crlf;
  for (char c : std::string(kMinimal)) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  uir::Error error;
  ASSERT_TRUE(ParseText(crlf, &error)) << error.reason;
  EXPECT_STREQ(g_layout.panels[0].caption, "Pelta");
  EXPECT_EQ(g_layout.panels[0].controls[0].width, 600);

  std::string no_newline(kMinimal);
  no_newline.pop_back();
  ASSERT_TRUE(ParseText(no_newline, &error)) << error.reason;
  EXPECT_EQ(g_layout.panels[0].controls[0].height, 24);
}

TEST(UirParse, AcceptsLongestValuesAndLines) {
  std::string text = "[panel 1]\ncaption = " + std::string(uir::kNameMax - 1, 'c') +
                     "\nrect = 0,0,1,1\n[control 1]\nkind = text\nrect = 0,0,1,1\nvalue = " +
                     std::string(uir::kValueMax - 1, 'v') + "\n# " +
                     std::string(uir::kLineMax - 2, '-') + "\n";
  uir::Error error;
  ASSERT_TRUE(ParseText(text, &error)) << error.reason;
  EXPECT_EQ(std::string(g_layout.panels[0].controls[0].value).size(), size_t(uir::kValueMax - 1));
}

struct BadCase {
  const char* what;
  std::string text;
  int line;
  const char* reason;  // substring of the reason
};

std::string Panel(const std::string& extra = "") {
  return "[panel 1]\ncaption = A\nrect = 0, 0, 10, 10\n" + extra;
}
std::string Control(int n, const std::string& extra = "") {
  return "[control " + std::to_string(n) + "]\nkind = text\nrect = 0, 0, 5, 5\n" + extra;
}

TEST(UirParse, RejectsMalformedInput) {
  std::string many_panels;
  for (int i = 1; i <= uir::kMaxPanels + 1; ++i) {
    many_panels += "[panel " + std::to_string(i) + "]\ncaption = A\nrect = 0,0,1,1\n";
  }
  std::string many_controls = Panel();
  for (int i = 1; i <= uir::kMaxControls + 1; ++i) many_controls += Control(i);
  std::string nul = Panel("label = a");
  nul.insert(nul.size() - 1, 1, '\0');

  const BadCase cases[] = {
      {"empty file", "", 0, "no panels"},
      {"comments only", "# nothing\n\n", 0, "no panels"},
      {"NUL byte", nul, 4, "NUL"},
      {"stray control character", Panel("label = a\x01z\n"), 4, "control character"},
      {"line too long", Panel("label = " + std::string(uir::kLineMax, 'x') + "\n"), 4,
       "longer than"},
      {"control before panel", Control(1), 1, "before any panel"},
      {"key before any section", "caption = A\n", 1, "outside a section"},
      {"unknown section", "[window 1]\n", 1, "unknown section"},
      {"section without number", "[panel]\n", 1, "kind and a number"},
      {"unterminated section", "[panel 1\n", 1, "end with ']'"},
      {"panel number zero", "[panel 0]\n", 1, "out of range"},
      {"panel number text", "[panel four]\n", 1, "integer"},
      {"duplicate panel", Panel() + Panel(), 4, "duplicate panel number 1"},
      {"duplicate control", Panel() + Control(3) + Control(3), 7, "duplicate control number 3"},
      {"too many panels", many_panels, 3 * uir::kMaxPanels + 1, "more than 8 panels"},
      {"too many controls", many_controls, 4 + 3 * uir::kMaxControls, "more than 32 controls"},
      {"unknown panel key", Panel("colour = 1\n"), 4, "unknown key 'colour'"},
      {"control key in panel", Panel("kind = text\n"), 4, "unknown key 'kind'"},
      {"unknown control key", Panel() + Control(1, "caption = x\n"), 7, "unknown key"},
      {"duplicate key", Panel("caption = B\n"), 4, "duplicate key 'caption'"},
      {"no equals sign", Panel("caption\n"), 4, "key = value"},
      {"missing value", Panel("style =\n"), 4, "missing value"},
      {"missing key", Panel("= 3\n"), 4, "missing key"},
      {"bad style", Panel("style = window\n"), 4, "popup or dialog"},
      {"rect with three numbers", "[panel 1]\ncaption = A\nrect = 1, 2, 3\n", 3, "four numbers"},
      {"rect with five numbers", "[panel 1]\ncaption = A\nrect = 1,2,3,4,5\n", 3, "four numbers"},
      {"rect zero width", "[panel 1]\ncaption = A\nrect = 0, 0, 0, 5\n", 3, "rect width"},
      {"rect not numeric", "[panel 1]\ncaption = A\nrect = 0, x, 5, 5\n", 3, "rect top"},
      {"number overflows", "[panel 1]\ncaption = A\nrect = 0, 99999999999999999999, 5, 5\n", 3,
       "out of range"},
      {"number trailing junk", Panel("background = 12abc\n"), 4, "integer"},
      {"colour too large", Panel("background = 0x1000000\n"), 4, "out of range"},
      {"negative colour", Panel("background = -1\n"), 4, "out of range"},
      {"caption too long", "[panel 1]\ncaption = " + std::string(uir::kNameMax, 'c') + "\n", 2,
       "too long"},
      {"empty caption", "[panel 1]\ncaption = \"\"\n", 2, "empty"},
      {"value too long", Panel() + Control(1, "value = " + std::string(uir::kValueMax, 'v') + "\n"),
       7, "too long"},
      {"unterminated quote", Panel("caption2 = \"abc\n"), 4, "unterminated"},
      {"unknown kind", Panel() + "[control 1]\nkind = spinner\n", 5, "unknown kind"},
      {"item on a text control", Panel() + Control(2, "item = 1: One\n"), 4,
       "'item' is for a dropdown"},
      {"dropdown without items", Panel() + "[control 2]\nkind = dropdown\nrect = 0,0,1,1\n", 4,
       "at least one 'item'"},
      {"item without colon", Panel() + Control(2, "item = 1 One\n"), 7, "VALUE: TEXT"},
      {"item value no integer", Panel() + Control(2, "item = x: One\n"), 7, "integer"},
      {"item without text", Panel() + Control(2, "item = 1:\n"), 7, "no text"},
      {"duplicate item value", Panel() + Control(2, "item = 1: One\nitem = 1: Uno\n"), 8,
       "duplicate item value 1"},
      {"too many items",
       Panel() + Control(2,
                         "item = 1: a\nitem = 2: b\nitem = 3: c\nitem = 4: d\nitem = 5: "
                         "e\nitem = 6: f\nitem = 7: g\n"),
       13, "more than 6 items"},
      {"item text too long",
       Panel() + Control(2, "item = 1: " + std::string(uir::kItemMax, 'i') + "\n"), 7, "too long"},
      {"step on a text control", Panel() + Control(2, "step = 1\n"), 4, "'step' is for"},
      {"step zero", Panel() + Control(2, "step = 0\n"), 7, "above 0"},
      {"beside unknown", Panel() + Control(2, "beside = unit\n"), 7, "key_name"},
      {"beside on a float",
       Panel() + "[control 2]\nkind = float\nrect = 0,0,1,1\nbeside = key_name\n", 4,
       "'beside' is for a numeric"},
      {"slider without range", Panel() + "[control 2]\nkind = slider\nrect = 0,0,1,1\nmin = 0\n", 4,
       "needs 'min' and 'max'"},
      {"slider range too wide",
       Panel() + "[control 2]\nkind = slider\nrect = 0,0,1,1\nmin = 0\nmax = 70000\n", 4,
       "at most 65535 apart"},
      {"progress with a range", Panel() + "[control 2]\nkind = progress\nrect = 0,0,1,1\nmax = 9\n",
       4, "runs from 0 to 100"},
      {"progress value past 100",
       Panel() + "[control 2]\nkind = progress\nrect = 0,0,1,1\nvalue = 101\n", 4,
       "outside min..max"},
      {"checkbox value no integer",
       Panel() + "[control 2]\nkind = checkbox\nrect = 0,0,1,1\nvalue = on\n", 4, "integer"},
      {"bad justify", Panel() + Control(1, "justify = 8\n"), 7, "0, 16 or 32"},
      {"bad visible", Panel() + Control(1, "visible = 2\n"), 7, "out of range"},
      {"bad callback name", Panel() + Control(1, "callback = 9lives\n"), 7, "function name"},
      {"bad min", Panel() + Control(1, "min = 1e5\n"), 7, "must be a number"},
      {"huge max", Panel() + Control(1, "max = 12345678901234567\n"), 7, "out of range"},
      {"panel without caption", "[panel 1]\nrect = 0,0,1,1\n", 1, "no 'caption'"},
      {"panel without rect", "[panel 1]\ncaption = A\n" + Control(1), 1, "no 'rect'"},
      {"control without kind", Panel("[control 2]\nrect = 0,0,1,1\n"), 4, "no 'kind'"},
      {"control without rect", Panel("[control 2]\nkind = text\n") + Control(3), 4, "no 'rect'"},
      {"min above max", Panel() + Control(2, "min = 5\nmax = 1\n"), 4, "'min' is above 'max'"},
      {"numeric value not integer",
       Panel() + "[control 2]\nkind = numeric\nrect = 0,0,1,1\nvalue = 1.5\n", 4, "integer"},
      {"float value not a number",
       Panel() + "[control 2]\nkind = float\nrect = 0,0,1,1\nvalue = abc\n", 4, "number"},
      {"value outside min..max",
       Panel() + "[control 2]\nkind = numeric\nrect = 0,0,1,1\nvalue = 7\nmax = 6\n", 4,
       "outside min..max"},
      {"close control missing", Panel("close_control = 5\n") + Control(1), 4,
       "close_control 5 is not a control"},
  };
  for (const BadCase& c : cases) {
    uir::Error error;
    g_layout.panel_count = 99;
    EXPECT_FALSE(ParseText(c.text, &error)) << c.what;
    EXPECT_EQ(error.line, c.line) << c.what << ": " << error.reason;
    EXPECT_NE(std::string(error.reason).find(c.reason), std::string::npos)
        << c.what << ": got \"" << error.reason << "\"";
    EXPECT_STREQ(error.file, "test.uir") << c.what;
    EXPECT_EQ(g_layout.panel_count, 0) << c.what << ": a failed parse leaves no panels";
  }
}

// The reader must not look beyond `size`: the text below has a valid continuation past the end.
TEST(UirParse, StopsAtSize) {
  const std::string text = std::string(kMinimal) + "[control 9]\nkind = text\nrect = 1,1,1,1\n";
  uir::Error error;
  ASSERT_TRUE(uir::Parse(text.data(), std::strlen(kMinimal), "t", &g_layout, &error));
  EXPECT_EQ(g_layout.panels[0].control_count, 1);
}

TEST(UirParse, FormatsErrors) {
  uir::Error error;
  ASSERT_FALSE(ParseText(Panel("style = x\n"), &error));
  char text[300];
  uir::FormatError(error, text, sizeof text);
  EXPECT_EQ(std::string(text).rfind("test.uir:4: ", 0), 0u) << text;
  ASSERT_FALSE(ParseText("", &error));
  uir::FormatError(error, text, sizeof text);
  EXPECT_EQ(std::string(text), "test.uir: no panels in the file");
  char tiny[5];
  uir::FormatError(error, tiny, sizeof tiny);
  EXPECT_STREQ(tiny, "test");
}

std::string TempPath(const char* name) {
  return testing::TempDir() + "uir_test_" + std::to_string(::getpid()) + "_" + name;
}

TEST(UirReadFile, ReportsMissingAndOversizedFiles) {
  uir::Error error;
  std::string missing = TempPath("missing.uir");
  EXPECT_FALSE(uir::ReadFile(missing.c_str(), &g_layout, &error));
  EXPECT_EQ(error.line, 0);
  EXPECT_STREQ(error.file, missing.c_str());
  EXPECT_NE(std::string(error.reason).find("cannot open"), std::string::npos);

  std::string big = TempPath("big.uir");
  std::FILE* f = std::fopen(big.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::string body(kMinimal);
  std::string filler = "#" + std::string(100, ' ') + "\n";
  while (body.size() <= uir::kFileMax) body += filler;
  std::fwrite(body.data(), 1, body.size(), f);
  std::fclose(f);
  EXPECT_FALSE(uir::ReadFile(big.c_str(), &g_layout, &error));
  EXPECT_NE(std::string(error.reason).find("larger than"), std::string::npos) << error.reason;

  // Exactly at the limit is accepted.
  f = std::fopen(big.c_str(), "wb");
  body.resize(uir::kFileMax);
  body.back() = '\n';
  std::fwrite(body.data(), 1, body.size(), f);
  std::fclose(f);
  EXPECT_TRUE(uir::ReadFile(big.c_str(), &g_layout, &error)) << error.reason;
  std::remove(big.c_str());
}

// Every panel and control number the plug-in addresses, with what it relies on.
TEST(UirShipped, HasEveryPanelAndControlThePluginUses) {
  uir::Error error;
  const std::string path = std::string(PELTA_SOURCE_DIR) + "/assets/pelta.uir";
  ASSERT_TRUE(uir::ReadFile(path.c_str(), &g_layout, &error))
      << error.file << ":" << error.line << ": " << error.reason;
  struct Expect {
    int panel;
    const char* caption;
    std::vector<int> controls;
  };
  const Expect expected[] = {
      {4, "Pelta", {4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
      {3, "Settings", {2, 3, 4, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 19, 22, 23}},
      {1, "About", {3}},
      {2, "EPG", {3, 4}},
  };
  for (const Expect& e : expected) {
    const uir::Panel* p = uir::FindPanel(g_layout, e.panel);
    ASSERT_NE(p, nullptr) << "panel " << e.panel;
    EXPECT_STREQ(p->caption, e.caption);
    for (int n : e.controls) EXPECT_NE(uir::FindControl(*p, n), nullptr) << e.caption << " " << n;
  }

  // Settings: integers except the float display time. Fields with a natural range have it; the
  // others take anything ten characters of pelta.ini hold, so what Save writes reads back.
  using K = uir::Kind;
  struct Range {
    int control;
    K kind;
    double min, max;
  } ranges[] = {
      {4, K::Float, 0.1, 600},
      {10, K::Colour, 0, 16777215},
      {9, K::Colour, 0, 16777215},
      {3, K::Numeric, -23, 23},
      {15, K::Numeric, 0, 255},
      {19, K::Slider, 0, 255},
      {8, K::Dropdown, -999999999, INT_MAX},
      {14, K::Checkbox, -999999999, INT_MAX},
      {13, K::Checkbox, -999999999, INT_MAX},
      {12, K::Checkbox, -999999999, INT_MAX},
      {7, K::Checkbox, -999999999, INT_MAX},
      {11, K::Checkbox, -999999999, INT_MAX},
      {2, K::Dropdown, -999999999, INT_MAX},
      {6, K::Dropdown, -999999999, INT_MAX},
      {22, K::Checkbox, 0, 1},
      {23, K::Checkbox, -999999999, INT_MAX},
  };
  const uir::Panel& settings = *uir::FindPanel(g_layout, 3);
  ASSERT_EQ(std::size(ranges), expected[1].controls.size());
  for (const Range& r : ranges) {
    const uir::Control& c = *uir::FindControl(settings, r.control);
    EXPECT_EQ(c.kind, r.kind) << r.control;
    EXPECT_EQ(c.min, r.min) << r.control;
    EXPECT_EQ(c.max, r.max) << r.control;
  }

  // Each dialog ends through a button bound to its callback. Closing the About box or the
  // guide runs that button; closing the Settings dialog runs none (it closes without saving).
  struct Button {
    int panel;
    const char* callback;
    bool run_by_close;
  };
  for (const Button& b : {Button{3, "SAVE", false}, Button{3, "FONT", false}, Button{1, "OK", true},
                          Button{2, "EPGOK", true}}) {
    const uir::Panel& p = *uir::FindPanel(g_layout, b.panel);
    int found = 0;
    for (int i = 0; i < p.control_count; ++i) {
      if (std::string(p.controls[i].callback) == b.callback) found = p.controls[i].number;
    }
    EXPECT_NE(found, 0) << b.callback;
    EXPECT_EQ(p.close_control, b.run_by_close ? found : 0) << b.callback;
  }

  // The display strip: borderless, 60 high, indicator lefts those of a 1860-wide panel.
  const uir::Panel& display = *uir::FindPanel(g_layout, 4);
  EXPECT_EQ(display.style, uir::Style::Popup);
  EXPECT_EQ(display.height, 60);
  EXPECT_EQ(display.width, 1860);
  const int lefts[][2] = {{12, 1755}, {15, 1763}, {14, 1793}, {13, 1823},
                          {4, 1770},  {5, 1760},  {6, 1805},  {7, 1827}};
  for (const auto& l : lefts) EXPECT_EQ(uir::FindControl(display, l[0])->left, l[1]) << l[0];
  EXPECT_EQ(uir::FindControl(display, 9)->kind, uir::Kind::Picture);
  const uir::Control& bar = *uir::FindControl(display, 16);
  EXPECT_EQ(bar.kind, uir::Kind::Progress);
  EXPECT_FALSE(bar.visible) << "shown by the plug-in only with programme times on";
  EXPECT_EQ(bar.min, 0);
  EXPECT_EQ(bar.max, 100);
  EXPECT_EQ(uir::FindControl(*uir::FindPanel(g_layout, 2), 3)->kind, uir::Kind::TextBox);
  for (int i = 0; i < display.control_count; ++i) {
    const uir::Control& c = display.controls[i];
    EXPECT_LE(c.left + c.width, display.width) << c.number;
    EXPECT_LE(c.top + c.height, display.height) << c.number;
  }
}

}  // namespace
