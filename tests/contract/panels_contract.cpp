// The panel contract table (see panels_contract.h).
#include "contract/panels_contract.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "panels/model.h"
#include "panels/panels.h"

namespace {

constexpr char kLayout[] = R"(# the panel contract's layout
[panel 1]
caption = Contract Strip
rect = 10, 10, 400, 60
style = popup
background = 0x000000

[control 2]
kind = text
rect = 100, 10, 200, 20
value = "left"

[control 3]
kind = indicator
rect = 320, 10, 30, 20

[control 4]
kind = picture
rect = 5, 5, 60, 45

[control 15]
kind = progress
rect = 100, 35, 120, 15

[panel 2]
caption = Contract Dialog
rect = 100, 100, 300, 300
close_control = 9

[control 5]
kind = numeric
rect = 100, 10, 80, 20
label = "Number"
min = 0
max = 100

[control 6]
kind = float
rect = 100, 40, 80, 20

[control 7]
kind = textbox
rect = 10, 70, 280, 120

[control 8]
kind = button
rect = 10, 200, 60, 26
label = Press
callback = PRESS

[control 9]
kind = button
rect = 80, 200, 60, 26
label = Close
callback = QUIT

[control 10]
kind = button
rect = 150, 200, 60, 26
label = Nest
callback = NEST

[control 11]
kind = checkbox
rect = 200, 10, 90, 20
label = "&Check"

[control 12]
kind = dropdown
rect = 200, 40, 90, 20
item = 0: Zero
item = 5: Five

[control 13]
kind = colour
rect = 200, 230, 40, 20
min = 0
max = 16777215

[control 14]
kind = slider
rect = 10, 250, 200, 24
min = 0
max = 255

[control 15]
kind = string
rect = 220, 250, 70, 20
label = "Codes"

[panel 3]
caption = Contract Other
rect = 450, 100, 200, 100

[control 1]
kind = button
rect = 10, 10, 60, 26
label = Quit
callback = QUIT

[control 2]
kind = button
rect = 80, 10, 60, 26
label = Outer
callback = QUITOUTER

[control 3]
kind = button
rect = 10, 50, 60, 26
label = Any
callback = QUITANY

[panel 4]
caption = Contract Bad Callback
rect = 0, 0, 100, 100

[control 1]
kind = button
rect = 0, 0, 50, 20
callback = NOPE
)";

// Panels of a run, by index in the tables below.
enum PanelIndex { kStrip, kDialog, kOther, kStale, kZero, kPanelCount };
const char* const kCaptions[kPanelCount] = {"Contract Strip", "Contract Dialog", "Contract Other",
                                            "", ""};
int g_handles[kPanelCount];

// What the callbacks did, one letter each: p press, q quit own loop, n nested loop started,
// r/x nested loop returned by a quit / otherwise, o quit of the dialog's loop, z quit of the
// innermost loop.
std::string g_trace;

int PRESS(int, int, int event, void*, int, int) {
  if (event == EVENT_COMMIT) g_trace += 'p';
  return 0;
}
int QUIT(int panel, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  g_trace += 'q';
  QuitUserInterface(panel);
  return 0;
}
int NEST(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  g_trace += 'n';
  g_trace += RunUserInterface(g_handles[kOther]) == 0 ? 'r' : 'x';
  return 0;
}
int QUITOUTER(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  g_trace += 'o';
  QuitUserInterface(g_handles[kDialog]);
  return 0;
}
int QUITANY(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  g_trace += 'z';
  QuitUserInterface(0);
  return 0;
}
const PanelCallbackEntry kCallbacks[] = {{"PRESS", &PRESS},
                                         {"QUIT", &QUIT},
                                         {"NEST", &NEST},
                                         {"QUITOUTER", &QUITOUTER},
                                         {"QUITANY", &QUITANY}};

// ---- values and attributes ----

enum Op {
  kSetText,
  kSetInt,
  kSetDouble,
  kSetAttr,
  kSetAttrText,
  kSetPanelAttr,
  kResetBox,
  kType,
  kChoose,
  kImage,
  kGetInt,
  kGetFloat,
  kGetText,
  kDisplay,
  kHide,
  kActivate,
  kDiscard
};
enum Read {
  kNone,
  kText,
  kInt,
  kFloat,
  kShown,
  kAttrInt,
  kAttrText,
  kBoxLeft,
  kBoxTop,
  kCtrlShown,
  kPanelShown,
  kNative
};

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr char kJpeg[] = "$JPEG";        // replaced by the picture that must load
constexpr char kNotJpeg[] = "$NOTJPEG";  // replaced by a file that is no picture
const std::string kLongFont(uir::kNameMax, 'f');

struct Row {
  const char* name;
  PanelIndex panel;
  int control;
  Op op;
  int code;          // attribute code
  double number;     // the value set (kSetInt/kSetAttr take it as an integer)
  const char* text;  // the text set
  int want_rc;       // exact result code
  Read read;         // read back afterwards
  int read_code;     // attribute for kAttrInt/kAttrText
  double want;       // the number read
  const char* want_text;
};

// In order: each row may rely on the ones before it.
const Row kRows[] = {
    // Text control 2: text as given, numbers formatted.
    {"text shown as set", kStrip, 2, kSetText, 0, 0, "Channel One", 0, kShown, 0, 0, "Channel One"},
    // UTF-8 through to the screen (Windows: the wide API): Czech, Greek, Cyrillic, Chinese, and a
    // character outside the basic plane (a surrogate pair in UTF-16).
    {"UTF-8 text shown as set", kStrip, 2, kSetText, 0, 0,
     "\xC4\x8Dty\xC5\x99i \xCE\xB1\xCE\xB2 \xD0\x96 \xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x93\xBA", 0,
     kShown, 0, 0,
     "\xC4\x8Dty\xC5\x99i \xCE\xB1\xCE\xB2 \xD0\x96 \xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x93\xBA"},
    {"integer on a text control in decimal", kStrip, 2, kSetInt, 0, 42, nullptr, 0, kShown, 0, 0,
     "42"},
    {"double on a text control", kStrip, 2, kSetDouble, 0, 2.5, nullptr, 0, kShown, 0, 0, "2.5"},
    {"null text refused, value kept", kStrip, 2, kSetText, 0, 0, nullptr, kPanelBadValue, kText, 0,
     0, "2.5"},
    {"no integer from a text control", kStrip, 2, kGetInt, 0, 0, nullptr, kPanelBadValue, kNone, 0,
     0, nullptr},
    {"unknown control", kStrip, 77, kSetText, 0, 0, "x", kPanelNoControl, kNone, 0, 0, nullptr},
    // Numeric field 5, range 0..100: reads are clamped to the range, whatever it shows.
    {"numeric: set and read", kDialog, 5, kSetInt, 0, 7, nullptr, 0, kInt, 0, 7, nullptr},
    {"numeric: shown in decimal", kDialog, 5, kSetInt, 0, 7, nullptr, 0, kShown, 0, 0, "7"},
    {"numeric: at its maximum", kDialog, 5, kSetInt, 0, 100, nullptr, 0, kInt, 0, 100, nullptr},
    {"numeric: past its maximum reads the maximum", kDialog, 5, kSetInt, 0, 101, nullptr, 0, kInt,
     0, 100, nullptr},
    {"numeric: below its minimum reads the minimum", kDialog, 5, kSetInt, 0, -1, nullptr, 0, kInt,
     0, 0, nullptr},
    {"numeric: a double takes the nearest integer", kDialog, 5, kSetDouble, 0, 41.6, nullptr, 0,
     kInt, 0, 42, nullptr},
    {"numeric: NaN refused", kDialog, 5, kSetDouble, 0, kNaN, nullptr, kPanelBadValue, kInt, 0, 42,
     nullptr},
    {"numeric: text refused", kDialog, 5, kSetText, 0, 0, "12", kPanelBadValue, kInt, 0, 42,
     nullptr},
    {"numeric: typed past the range", kDialog, 5, kType, 0, 0, "123", 0, kInt, 0, 100, nullptr},
    {"numeric: typed in range", kDialog, 5, kType, 0, 0, "55", 0, kInt, 0, 55, nullptr},
    {"numeric: typed below the range", kDialog, 5, kType, 0, 0, "-4", 0, kInt, 0, 0, nullptr},
    {"numeric: typed no number", kDialog, 5, kType, 0, 0, "abc", 0, kInt, 0, 0, nullptr},
    {"numeric: typed nan", kDialog, 5, kType, 0, 0, "nan", 0, kInt, 0, 0, nullptr},
    {"numeric: typed text stays on show", kDialog, 5, kType, 0, 0, "77", 0, kShown, 0, 0, "77"},
    // String field 15: the text as given and as typed.
    {"string: text shown as set", kDialog, 15, kSetText, 0, 0, "deu,eng", 0, kShown, 0, 0,
     "deu,eng"},
    {"string: typed text read back", kDialog, 15, kType, 0, 0, "ces, zho", 0, kText, 0, 0,
     "ces, zho"},
    {"string: no integer from it", kDialog, 15, kGetInt, 0, 0, nullptr, kPanelBadValue, kNone, 0, 0,
     nullptr},
    // Float field 6.
    {"float: set 2.5, read 2.5", kDialog, 6, kSetDouble, 0, 2.5, nullptr, 0, kFloat, 0, 2.5,
     nullptr},
    {"float: shown with one decimal", kDialog, 6, kSetDouble, 0, 2.5, nullptr, 0, kShown, 0, 0,
     "2.5"},
    {"float: an integer shown with one decimal", kDialog, 6, kSetInt, 0, 3, nullptr, 0, kShown, 0,
     0, "3.0"},
    {"float: read as an integer", kDialog, 6, kGetInt, 0, 0, nullptr, 0, kInt, 0, 3, nullptr},
    // The setting kinds: integers the plug-in sets and reads, shown by the native control.
    {"check box: on", kDialog, 11, kSetInt, 0, 1, nullptr, 0, kNative, 0, 1, nullptr},
    {"check box: off", kDialog, 11, kSetInt, 0, 0, nullptr, 0, kNative, 0, 0, nullptr},
    {"check box: the user ticks it", kDialog, 11, kChoose, 0, 1, nullptr, 0, kInt, 0, 1, nullptr},
    {"check box: the user's tick shown", kDialog, 11, kGetInt, 0, 0, nullptr, 0, kNative, 0, 1,
     nullptr},
    {"check box: the user clears it", kDialog, 11, kChoose, 0, 0, nullptr, 0, kInt, 0, 0, nullptr},
    {"check box: another value kept, shown ticked", kDialog, 11, kSetInt, 0, 5, nullptr, 0, kNative,
     0, 1, nullptr},
    {"check box: ... and read back as set", kDialog, 11, kGetInt, 0, 0, nullptr, 0, kInt, 0, 5,
     nullptr},
    {"check box: text refused", kDialog, 11, kSetText, 0, 0, "1", kPanelBadValue, kInt, 0, 5,
     nullptr},
    {"dropdown: a listed value selects its entry", kDialog, 12, kSetInt, 0, 5, nullptr, 0, kNative,
     0, 1, nullptr},
    {"dropdown: an unlisted value selects 'Other'", kDialog, 12, kSetInt, 0, 9, nullptr, 0, kNative,
     0, 2, nullptr},
    {"dropdown: the user picks an entry", kDialog, 12, kChoose, 0, 0, nullptr, 0, kInt, 0, 0,
     nullptr},
    {"dropdown: ... 'Other' gives the value back", kDialog, 12, kChoose, 0, 2, nullptr, 0, kInt, 0,
     9, nullptr},
    {"dropdown: a double takes the nearest integer", kDialog, 12, kSetDouble, 0, 4.6, nullptr, 0,
     kNative, 0, 1, nullptr},
    {"dropdown: text refused", kDialog, 12, kSetText, 0, 0, "Zero", kPanelBadValue, kInt, 0, 5,
     nullptr},
    {"colour: set", kDialog, 13, kSetInt, 0, 0x123456, nullptr, 0, kNative, 0, 0x123456, nullptr},
    {"colour: the user chooses one", kDialog, 13, kChoose, 0, 0xFEDCBA, nullptr, 0, kInt, 0,
     0xFEDCBA, nullptr},
    {"colour: past 0xFFFFFF reads the maximum", kDialog, 13, kSetInt, 0, 0x1000000, nullptr, 0,
     kInt, 0, 0xFFFFFF, nullptr},
    {"slider: set", kDialog, 14, kSetInt, 0, 200, nullptr, 0, kNative, 0, 200, nullptr},
    {"slider: the user moves it", kDialog, 14, kChoose, 0, 17, nullptr, 0, kInt, 0, 17, nullptr},
    {"slider: past its maximum stops there", kDialog, 14, kSetInt, 0, 300, nullptr, 0, kNative, 0,
     255, nullptr},
    {"slider: ... and reads its maximum", kDialog, 14, kGetInt, 0, 0, nullptr, 0, kInt, 0, 255,
     nullptr},
    // Text box 7.
    {"text box: reset empties it", kDialog, 7, kResetBox, 0, 0, "", 0, kText, 0, 0, ""},
    {"text box: then the text, exactly", kDialog, 7, kSetText, 0, 0, "first\nsecond", 0, kText, 0,
     0, "first\nsecond"},
    {"text box: reset replaces", kDialog, 7, kResetBox, 0, 0, "only", 0, kShown, 0, 0, "only"},
    {"text box: no number from it", kDialog, 7, kGetInt, 0, 0, nullptr, kPanelBadValue, kNone, 0, 0,
     nullptr},
    // Placement of text control 2 (200 wide): the anchoring rule.
    {"left edge, left-aligned", kStrip, 2, kSetAttr, ATTR_LEFT, 30, nullptr, 0, kBoxLeft, 0, 30,
     nullptr},
    {"right-aligned ends 8 right of the edge", kStrip, 2, kSetAttr, ATTR_TEXT_JUSTIFY,
     kJustifyRight, nullptr, 0, kBoxLeft, 0, 30 + 8 - 200, nullptr},
    {"centred 4 right of the edge", kStrip, 2, kSetAttr, ATTR_TEXT_JUSTIFY, kJustifyCentre, nullptr,
     0, kBoxLeft, 0, 30 + 4 - 100, nullptr},
    {"centred label follows its edge", kStrip, 2, kSetAttr, ATTR_LEFT, 250, nullptr, 0, kBoxLeft, 0,
     250 + 4 - 100, nullptr},
    {"left-aligned again", kStrip, 2, kSetAttr, ATTR_TEXT_JUSTIFY, kJustifyLeft, nullptr, 0,
     kBoxLeft, 0, 250, nullptr},
    {"narrower box", kStrip, 2, kSetAttr, ATTR_WIDTH, 120, nullptr, 0, kAttrInt, ATTR_WIDTH, 120,
     nullptr},
    {"negative width refused", kStrip, 2, kSetAttr, ATTR_WIDTH, -1, nullptr, kPanelBadValue,
     kAttrInt, ATTR_WIDTH, 120, nullptr},
    {"width past 32767 refused", kStrip, 2, kSetAttr, ATTR_WIDTH, 32768, nullptr, kPanelBadValue,
     kAttrInt, ATTR_WIDTH, 120, nullptr},
    {"right-aligned narrower box keeps its end", kStrip, 2, kSetAttr, ATTR_TEXT_JUSTIFY,
     kJustifyRight, nullptr, 0, kBoxLeft, 0, 250 + 8 - 120, nullptr},
    {"centred narrower box keeps its centre", kStrip, 2, kSetAttr, ATTR_TEXT_JUSTIFY,
     kJustifyCentre, nullptr, 0, kBoxLeft, 0, 250 + 4 - 60, nullptr},
    {"layout width back", kStrip, 2, kSetAttr, ATTR_WIDTH, 200, nullptr, 0, kAttrInt, ATTR_WIDTH,
     200, nullptr},
    {"left-aligned once more", kStrip, 2, kSetAttr, ATTR_TEXT_JUSTIFY, kJustifyLeft, nullptr, 0,
     kBoxLeft, 0, 250, nullptr},
    {"top edge", kStrip, 2, kSetAttr, ATTR_TOP, 33, nullptr, 0, kBoxTop, 0, 33, nullptr},
    {"hidden control", kStrip, 2, kSetAttr, ATTR_VISIBLE, 0, nullptr, 0, kCtrlShown, 0, 0, nullptr},
    {"shown again", kStrip, 2, kSetAttr, ATTR_VISIBLE, 1, nullptr, 0, kCtrlShown, 0, 1, nullptr},
    // Attribute values at and past their ranges, and of the wrong type.
    {"point size 1", kStrip, 2, kSetAttr, ATTR_TEXT_POINT_SIZE, 1, nullptr, 0, kAttrInt,
     ATTR_TEXT_POINT_SIZE, 1, nullptr},
    {"point size 255", kStrip, 2, kSetAttr, ATTR_TEXT_POINT_SIZE, 255, nullptr, 0, kAttrInt,
     ATTR_TEXT_POINT_SIZE, 255, nullptr},
    {"point size 0 refused", kStrip, 2, kSetAttr, ATTR_TEXT_POINT_SIZE, 0, nullptr, kPanelBadValue,
     kAttrInt, ATTR_TEXT_POINT_SIZE, 255, nullptr},
    {"point size 256 refused", kStrip, 2, kSetAttr, ATTR_TEXT_POINT_SIZE, 256, nullptr,
     kPanelBadValue, kAttrInt, ATTR_TEXT_POINT_SIZE, 255, nullptr},
    {"typeface", kStrip, 2, kSetAttrText, ATTR_TEXT_FONT, 0, "Verdana", 0, kAttrText,
     ATTR_TEXT_FONT, 0, "Verdana"},
    {"over-long typeface refused, typeface kept", kStrip, 2, kSetAttrText, ATTR_TEXT_FONT, 0,
     nullptr, kPanelBadValue, kAttrText, ATTR_TEXT_FONT, 0, "Verdana"},
    {"typeface as an integer refused", kStrip, 2, kSetAttr, ATTR_TEXT_FONT, 3, nullptr,
     kPanelBadValue, kNone, 0, 0, nullptr},
    {"position as text refused", kStrip, 2, kSetAttrText, ATTR_LEFT, 0, "3", kPanelBadValue,
     kAttrInt, ATTR_LEFT, 250, nullptr},
    {"unknown integer attribute refused", kStrip, 2, kSetAttr, 12345, 1, nullptr,
     kPanelBadAttribute, kNone, 0, 0, nullptr},
    {"unknown text attribute refused", kStrip, 2, kSetAttrText, 12345, 0, "x", kPanelBadAttribute,
     kNone, 0, 0, nullptr},
    {"text colour keeps 24 bits", kStrip, 2, kSetAttr, ATTR_TEXT_COLOR, 0x1FFFFFF, nullptr, 0,
     kAttrInt, ATTR_TEXT_COLOR, 0xFFFFFF, nullptr},
    {"background colour behind the text", kStrip, 2, kSetAttr, ATTR_TEXT_BGCOLOR, 0x102030, nullptr,
     0, kAttrInt, ATTR_TEXT_BGCOLOR, 0x102030, nullptr},
    // Indicator 3.
    {"indicator number as text", kStrip, 3, kSetAttrText, ATTR_INDICATOR_TEXT, 0, "57", 0, kShown,
     0, 0, "57"},
    {"indicator number as an integer", kStrip, 3, kSetAttr, ATTR_INDICATOR_TEXT, 49, nullptr, 0,
     kShown, 0, 0, "49"},
    {"indicator fill colour", kStrip, 3, kSetAttr, ATTR_FILL_COLOR, 0x00FF00, nullptr, 0, kAttrInt,
     ATTR_FILL_COLOR, 0x00FF00, nullptr},
    // Progress bar 15: an integer 0..100 and the text on it.
    {"progress: value", kStrip, 15, kSetInt, 0, 40, nullptr, 0, kNative, 0, 40, nullptr},
    {"progress: past 100 reads 100", kStrip, 15, kSetInt, 0, 150, nullptr, 0, kInt, 0, 100,
     nullptr},
    {"progress: below 0 shows 0", kStrip, 15, kSetInt, 0, -5, nullptr, 0, kNative, 0, 0, nullptr},
    {"progress: text refused", kStrip, 15, kSetText, 0, 0, "7", kPanelBadValue, kInt, 0, 0,
     nullptr},
    {"progress: its text", kStrip, 15, kSetAttrText, ATTR_INDICATOR_TEXT, 0, "+25 min", 0, kShown,
     0, 0, "+25 min"},
    {"progress: height", kStrip, 15, kSetAttr, ATTR_HEIGHT, 22, nullptr, 0, kAttrInt, ATTR_HEIGHT,
     22, nullptr},
    {"progress: negative height refused", kStrip, 15, kSetAttr, ATTR_HEIGHT, -1, nullptr,
     kPanelBadValue, kAttrInt, ATTR_HEIGHT, 22, nullptr},
    {"progress: wider", kStrip, 15, kSetAttr, ATTR_WIDTH, 140, nullptr, 0, kBoxLeft, 0, 100,
     nullptr},
    // Picture 4.
    {"missing picture", kStrip, 4, kImage, 0, 0, "no-such-logo.jpg", kPanelFileError, kNone, 0, 0,
     nullptr},
    {"file that is no picture", kStrip, 4, kImage, 0, 0, kNotJpeg, kPanelFileError, kNone, 0, 0,
     nullptr},
    {"picture into a text control", kStrip, 2, kImage, 0, 0, kJpeg, kPanelBadValue, kNone, 0, 0,
     nullptr},
    {"JPEG shown", kStrip, 4, kImage, 0, 0, kJpeg, 0, kShown, 0, 0, kJpeg},
    {"failed picture keeps the one shown", kStrip, 4, kImage, 0, 0, "no-such-logo.jpg",
     kPanelFileError, kShown, 0, 0, kJpeg},
    // Panels.
    {"panel background", kStrip, 0, kSetPanelAttr, ATTR_BACKCOLOR, 0x123456, nullptr, 0, kNone, 0,
     0, nullptr},
    {"unknown panel attribute", kStrip, 0, kSetPanelAttr, 999, 1, nullptr, kPanelBadAttribute,
     kNone, 0, 0, nullptr},
    {"DisplayPanel shows", kStrip, 0, kDisplay, 0, 0, nullptr, 0, kPanelShown, 0, 1, nullptr},
    {"HidePanel hides, values kept", kStrip, 0, kHide, 0, 0, nullptr, 0, kPanelShown, 0, 0,
     nullptr},
    {"values kept while hidden", kDialog, 6, kGetFloat, 0, 0, nullptr, 0, kFloat, 0, 3, nullptr},
    {"SetActivePanel", kDialog, 0, kActivate, 0, 0, nullptr, 0, kNone, 0, 0, nullptr},
    // Stale handles: a discarded panel, and handles never given out.
    {"stale: SetCtrlVal", kStale, 2, kSetText, 0, 0, "x", kPanelNotLoaded, kNone, 0, 0, nullptr},
    {"stale: SetCtrlAttribute", kStale, 2, kSetAttr, ATTR_LEFT, 5, nullptr, kPanelNotLoaded, kNone,
     0, 0, nullptr},
    {"stale: GetCtrlVal", kStale, 2, kGetText, 0, 0, nullptr, kPanelNotLoaded, kNone, 0, 0,
     nullptr},
    {"stale: ResetTextBox", kStale, 2, kResetBox, 0, 0, "", kPanelNotLoaded, kNone, 0, 0, nullptr},
    {"stale: DisplayImageFile", kStale, 4, kImage, 0, 0, kJpeg, kPanelNotLoaded, kNone, 0, 0,
     nullptr},
    {"stale: SetPanelAttribute", kStale, 0, kSetPanelAttr, ATTR_BACKCOLOR, 1, nullptr,
     kPanelNotLoaded, kNone, 0, 0, nullptr},
    {"stale: DisplayPanel", kStale, 0, kDisplay, 0, 0, nullptr, kPanelNotLoaded, kNone, 0, 0,
     nullptr},
    {"stale: HidePanel", kStale, 0, kHide, 0, 0, nullptr, kPanelNotLoaded, kNone, 0, 0, nullptr},
    {"stale: SetActivePanel", kStale, 0, kActivate, 0, 0, nullptr, kPanelNotLoaded, kNone, 0, 0,
     nullptr},
    {"stale: discarded twice", kStale, 0, kDiscard, 0, 0, nullptr, kPanelNotLoaded, kNone, 0, 0,
     nullptr},
    {"handle 0", kZero, 2, kSetText, 0, 0, "x", kPanelNotLoaded, kNone, 0, 0, nullptr},
};

// ---- event loops and quits ----

struct Event {
  bool close;  // a close request, else a press
  PanelIndex panel;
  int control;
};

struct LoopCase {
  const char* name;
  bool stray_quits;       // QuitUserInterface(0) and (dialog) before the loop, outside any loop
  PanelIndex loop_panel;  // the panel the loop runs for (kZero: none)
  Event events[4];
  int event_count;
  const char* want_trace;
  bool other_shown_after;  // whether the Other panel is shown afterwards
};

const LoopCase kLoops[] = {
    {"a button's quit ends its panel's loop",
     false,
     kDialog,
     {{false, kDialog, 8}, {false, kDialog, 9}},
     2,
     "pq",
     true},
    {"the close box runs the close control", false, kDialog, {{true, kDialog, 0}}, 1, "q", true},
    {"a quit for a panel without a loop ends nothing",
     false,
     kDialog,
     {{false, kOther, 1}, {false, kDialog, 8}, {false, kDialog, 9}},
     3,
     "qpq",
     true},
    {"a nested loop's quit ends only the nested loop",
     false,
     kDialog,
     {{false, kDialog, 10}, {false, kOther, 1}, {false, kDialog, 8}, {false, kDialog, 9}},
     4,
     "nqrpq",
     true},
    {"the outer loop's quit from inside waits for the inner loop",
     false,
     kDialog,
     {{false, kDialog, 10}, {false, kOther, 2}, {false, kOther, 1}},
     3,
     "noqr",
     true},
    {"quit requests outside a loop are forgotten",
     true,
     kDialog,
     {{false, kDialog, 8}, {false, kDialog, 9}},
     2,
     "pq",
     true},
    {"QuitUserInterface(0) ends the innermost loop",
     false,
     kZero,
     {{false, kDialog, 8}, {false, kOther, 3}},
     2,
     "pz",
     true},
    {"a close box without a close control hides and ends its own loop",
     false,
     kOther,
     {{true, kOther, 0}},
     1,
     "",
     false},
};

struct Runner {
  const ContractDriver& d;
  ContractReport report;
  void* context;
  const char* jpeg;
  const char* not_jpeg;
  int failed = 0;

  void Check(bool ok, const char* name, const std::string& detail = "") {
    if (!ok) ++failed;
    report(ok, name, ok ? "" : detail.c_str(), context);
  }

  const char* Subst(const char* text) const {
    if (text == nullptr) return nullptr;
    if (std::strcmp(text, kJpeg) == 0) return jpeg;
    if (std::strcmp(text, kNotJpeg) == 0) return not_jpeg;
    return text;
  }

  int Apply(const Row& r, int handle, const char* caption) {
    const char* text = Subst(r.text);
    const int number = static_cast<int>(r.number);
    int i = 0;
    float f = 0;
    char buffer[64];
    switch (r.op) {
      case kSetText:
        return SetCtrlVal(handle, r.control, text);
      case kSetInt:
        return SetCtrlVal(handle, r.control, number);
      case kSetDouble:
        return SetCtrlVal(handle, r.control, r.number);
      case kSetAttr:
        return SetCtrlAttribute(handle, r.control, r.code, number);
      case kSetAttrText:
        return SetCtrlAttribute(handle, r.control, r.code,
                                text != nullptr ? text : kLongFont.c_str());
      case kSetPanelAttr:
        return SetPanelAttribute(handle, r.code, number);
      case kResetBox:
        return ResetTextBox(handle, r.control, text);
      case kType:
        d.type(handle, caption, r.control, text);
        return 0;
      case kChoose:
        d.choose(handle, caption, r.control, number);
        return 0;
      case kImage:
        return DisplayImageFile(handle, r.control, text);
      case kGetInt:
        return GetCtrlVal(handle, r.control, &i);
      case kGetFloat:
        return GetCtrlVal(handle, r.control, &f);
      case kGetText:
        return GetCtrlVal(handle, r.control, buffer, sizeof buffer);
      case kDisplay:
        return DisplayPanel(handle);
      case kHide:
        return HidePanel(handle);
      case kActivate:
        return SetActivePanel(handle);
      case kDiscard:
        return DiscardPanel(handle);
    }
    return 0;
  }

  // What the row reads back, as text, for comparison and for the failure message.
  std::string ReadBack(const Row& r, int handle, const char* caption) {
    char text[model::kTextMax] = "";
    int i = -12345;
    float f = -12345;
    int left = -12345;
    int top = -12345;
    int width = 0;
    switch (r.read) {
      case kNone:
        return "";
      case kText:
        return GetCtrlVal(handle, r.control, text, sizeof text) == 0 ? text : "<error>";
      case kShown:
        return d.shown_text(handle, caption, r.control, text, sizeof text) ? text : "<none>";
      case kInt:
        return GetCtrlVal(handle, r.control, &i) == 0 ? std::to_string(i) : "<error>";
      case kFloat:
        if (GetCtrlVal(handle, r.control, &f) != 0) return "<error>";
        std::snprintf(text, sizeof text, "%g", f);
        return text;
      case kAttrInt:
        return model::CtrlAttr(handle, r.control, r.read_code, &i) ? std::to_string(i) : "<none>";
      case kAttrText:
        return model::CtrlAttrText(handle, r.control, r.read_code, text, sizeof text) ? text
                                                                                      : "<none>";
      case kBoxLeft:
      case kBoxTop:
        if (!d.shown_box(handle, caption, r.control, &left, &top, &width)) return "<none>";
        return std::to_string(r.read == kBoxLeft ? left : top) + " (" + std::to_string(width) +
               " wide)";
      case kCtrlShown:
        return d.control_shown(handle, caption, r.control) ? "1" : "0";
      case kPanelShown:
        return d.panel_shown(handle, caption) ? "1" : "0";
      case kNative:
        return d.native_value(handle, caption, r.control, &i) ? std::to_string(i) : "<none>";
    }
    return "";
  }

  std::string Want(const Row& r) const {
    switch (r.read) {
      case kNone:
        return "";
      case kText:
      case kShown:
      case kAttrText:
        return Subst(r.want_text);
      case kFloat: {
        char text[32];
        std::snprintf(text, sizeof text, "%g", r.want);
        return text;
      }
      case kBoxLeft:
      case kBoxTop: {
        // The window is as wide as the model's box (the layout's 200, or ATTR_WIDTH).
        int width = -1;
        model::CtrlAttr(g_handles[r.panel], r.control, ATTR_WIDTH, &width);
        return std::to_string(static_cast<int>(r.want)) + " (" + std::to_string(width) + " wide)";
      }
      default:
        return std::to_string(static_cast<int>(r.want));
    }
  }

  void RunRows() {
    DisplayPanel(g_handles[kStrip]);  // a control is on show only on a panel on show
    DisplayPanel(g_handles[kDialog]);
    for (const Row& r : kRows) {
      const int handle = g_handles[r.panel];
      const char* caption = kCaptions[r.panel];
      const int rc = Apply(r, handle, caption);
      const std::string got = ReadBack(r, handle, caption);
      const std::string want = Want(r);
      Check(rc == r.want_rc && got == want, r.name,
            "result " + std::to_string(rc) + " (want " + std::to_string(r.want_rc) + "), read \"" +
                got + "\" (want \"" + want + "\")");
    }
  }

  void RunLoops() {
    for (const LoopCase& c : kLoops) {
      g_trace.clear();
      DisplayPanel(g_handles[kDialog]);
      DisplayPanel(g_handles[kOther]);
      if (c.stray_quits) {
        QuitUserInterface(0);
        QuitUserInterface(g_handles[kDialog]);
      }
      for (int i = 0; i < c.event_count; ++i) {
        const Event& e = c.events[i];
        if (e.close) {
          d.post_close(g_handles[e.panel], kCaptions[e.panel]);
        } else {
          d.post_press(g_handles[e.panel], kCaptions[e.panel], e.control);
        }
      }
      const int rc = RunUserInterface(g_handles[c.loop_panel]);
      const bool other_shown = d.panel_shown(g_handles[kOther], kCaptions[kOther]);
      Check(rc == 0 && g_trace == c.want_trace && !PanelLoopRuns(g_handles[kDialog]) &&
                other_shown == c.other_shown_after,
            c.name,
            "result " + std::to_string(rc) + ", callbacks \"" + g_trace + "\" (want \"" +
                c.want_trace + "\"), Other " + (other_shown ? "shown" : "hidden"));
    }
  }
};

}  // namespace

const char* PanelContractLayout() {
  return kLayout;
}

int RunPanelContract(const ContractDriver& driver, const char* uir_path, const char* jpeg,
                     const char* not_a_picture, ContractReport report, void* context) {
  Runner run{driver, report, context, jpeg, not_a_picture};
  run.Check(InitCVIRTE(driver.module) > 0 && InitCVIRTE(driver.module) > 0,
            "run-time set up, twice");
  SetPanelCallbackTable(kCallbacks, static_cast<int>(sizeof kCallbacks / sizeof kCallbacks[0]));

  struct LoadCase {
    const char* name;
    int parent;
    const char* path;
    int number;
    int want_rc;
  };
  const LoadCase loads[] = {
      {"missing layout file", 0, "no-such-file.uir", 1, kPanelFileError},
      {"no such panel", 0, uir_path, 42, kPanelNoPanel},
      {"callback missing from the library", 0, uir_path, 4, kPanelNoCallback},
      {"only top-level panels", 1, uir_path, 1, kPanelBadValue},
  };
  for (const LoadCase& l : loads) {
    const int rc = LoadPanelEx(l.parent, l.path, l.number, driver.module);
    run.Check(rc == l.want_rc, l.name, "result " + std::to_string(rc));
  }

  g_handles[kStrip] = LoadPanelEx(0, uir_path, 1, driver.module);
  g_handles[kDialog] = LoadPanelEx(0, uir_path, 2, driver.module);
  g_handles[kOther] = LoadPanelEx(0, uir_path, 3, driver.module);
  g_handles[kStale] = LoadPanelEx(0, uir_path, 1, driver.module);
  g_handles[kZero] = 0;
  const bool loaded = g_handles[kStrip] > 0 && g_handles[kDialog] > 0 && g_handles[kOther] > 0 &&
                      g_handles[kStale] > 0;
  run.Check(loaded, "four panels loaded");
  run.Check(DiscardPanel(g_handles[kStale]) == 0, "a panel discarded");
  const int again = LoadPanelEx(0, uir_path, 1, driver.module);
  run.Check(again > 0 && again != g_handles[kStale], "a discarded handle is never given again");
  DiscardPanel(again);
  run.Check(!driver.panel_shown(g_handles[kStrip], kCaptions[kStrip]) &&
                !driver.panel_shown(g_handles[kDialog], kCaptions[kDialog]),
            "panels start hidden");
  if (loaded) {
    run.RunRows();
    run.RunLoops();
  }
  CloseCVIRTE();
  run.Check(SetCtrlVal(g_handles[kDialog], 5, 1) == kPanelNotLoaded &&
                !driver.panel_shown(g_handles[kDialog], kCaptions[kDialog]),
            "CloseCVIRTE discards what remains");
  return run.failed;
}
