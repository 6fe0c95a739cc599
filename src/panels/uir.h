// The layout file pelta.uir: our own readable description of the plug-in's panels.
//
// INI-like text. A `[panel N]` section opens a panel (N its number); each `[control N]` section
// that follows adds a control to that panel. Lines are `key = value`; `#` starts a comment
// line; blank lines are ignored. Colours are 0xRRGGBB (hex with 0x, or decimal). Example:
//
//   [panel 4]
//   caption = Pelta
//   rect = 0, 0, 800, 60          # left, top, width, height
//   style = popup                 # popup (borderless strip) or dialog (caption and border)
//   background = 0x000000
//
//   [control 8]
//   kind = text
//   rect = 70, 2, 600, 24
//   font = Arial
//   size = 22
//   text_colour = 0xFFFFFF
//
// Text controls whose justify is 16 (right) or 32 (centred) are anchored at their left edge,
// as labels that size themselves to their text: right-aligned text ends 8 pixels right of the
// left edge set, centred text is centred 4 pixels right of it; the box is `width` wide around
// that anchor. Justify 0 boxes start at the left edge.
//
// Keys of a panel: caption, rect, style, background, close_control (the control whose callback a
// close request runs, 0 for none). Keys of a control: kind (text, picture, indicator, numeric,
// float, textbox, button, decoration, checkbox, dropdown, colour, slider, progress, string), rect,
// label, value, font, size, justify (0, 16, 32), text_colour, back_colour, fill_colour, visible
// (0/1), callback (a name from the library's callback table), min, max, step, beside, item.
//
// The setting kinds all hold an integer, as a numeric field does (min/max apply to them too):
//   checkbox   on (non-zero) or off; the user's click sets 1 or 0. Its label is beside the box.
//   dropdown   a list of words, each with its value: one `item = VALUE: TEXT` line per entry
//              (repeatable, at most kMaxItems, values distinct, in the order shown).
//   colour     0xRRGGBB, a swatch button that opens the system colour chooser.
//   slider     a track from min to max (both needed, at most 65535 apart), its value shown.
// A progress bar holds an integer from 0 to 100 (the share of its width filled; min and max are
// not for it) and shows its ATTR_INDICATOR_TEXT on the bar, in its text colour on its
// background colour.
// A string is a one-line field the user types text into (its label to its left, as a numeric
// field's); its value is the text.
// `step` (numeric and float, > 0) adds spin arrows that move the value by that much;
// `beside = key_name` (numeric) shows the virtual-key name of the value next to the field.
// An `&` in a label marks its Alt+letter mnemonic ("&&" is a plain ampersand).
//
// A value in double quotes is taken as it stands (blanks and '#' included); otherwise `#` after
// a blank starts a trailing comment. Optional keys default to: style dialog, background
// 0xFFFFFF, close_control 0; size 10, justify 0, text_colour 0x000000, back_colour 0xFFFFFF,
// fill_colour 0x808080 (also the colour of a decoration), visible 1, min -2147483648,
// max 2147483647, label/value/font/callback "". Required: caption and rect of a panel, kind
// and rect of a control. Numbers: panels and controls 1..32767; rect left/top -32768..32767,
// width/height 1..32767; size 1..255; min/max decimal (no exponent).
//
// The reader is strict: an unknown section or key, a missing or malformed value, a duplicate
// number, a value out of range or too long, more panels or controls than the fixed capacity, or
// an over-long line is an error with the file, the line number and the reason. It never reads
// outside its input and never allocates.
#pragma once

#include <cstddef>

namespace uir {

constexpr int kMaxPanels = 8;
constexpr int kMaxControls = 32;
constexpr int kNameMax = 64;    // caption, label, font, callback name (NUL included)
constexpr int kValueMax = 256;  // initial text value (NUL included)
constexpr int kLineMax = 512;   // longest line accepted
constexpr size_t kFileMax = size_t{256} * 1024;
constexpr int kMaxItems = 6;  // entries of a dropdown
constexpr int kItemMax = 48;  // an entry's text (NUL included)

enum class Kind {
  Text,
  Picture,
  Indicator,
  Numeric,
  Float,
  TextBox,
  Button,
  Decoration,
  Checkbox,
  Dropdown,
  Colour,
  Slider,
  Progress,
  String
};
enum class Beside { None, KeyName };

struct Item {
  int value;
  char text[kItemMax];
};
enum class Style { Popup, Dialog };

struct Control {
  int number;
  Kind kind;
  int left, top, width, height;
  char label[kNameMax];
  char value[kValueMax];  // initial value as text ("" for none)
  char font[kNameMax];
  int point_size;
  int justify;
  int text_colour;
  int back_colour;
  int fill_colour;
  bool visible;
  char callback[kNameMax];  // "" for none
  double min, max;          // number fields and the setting kinds
  double step;              // spin arrows' increment, 0 for none
  Beside beside;
  Item items[kMaxItems];  // dropdown entries
  int item_count;
  int line;  // line of its section header, for messages
};

struct Panel {
  int number;
  char caption[kNameMax];
  int left, top, width, height;
  Style style;
  int background;
  int close_control;
  Control controls[kMaxControls];
  int control_count;
  int line;
};

struct Layout {
  Panel panels[kMaxPanels];
  int panel_count;
};

struct Error {
  char file[256];
  int line;  // 0 when the error is not about a line (file missing, too big)
  char reason[160];
};

// Parses `size` bytes of layout text; `name` is used in error messages.
bool Parse(const char* text, size_t size, const char* name, Layout* out, Error* error);
// Reads and parses a file (path as given: the caller maps Windows paths first).
bool ReadFile(const char* path, Layout* out, Error* error);
// ReadFile for a path as the plug-in names it: a Windows path, mapped on Linux as the panel
// run-time's files are (files.cpp).
bool ReadPluginFile(const char* path, Layout* out, Error* error);
// "file:line: reason" (or "file: reason") into `out`.
void FormatError(const Error& error, char* out, size_t size);

const Panel* FindPanel(const Layout& layout, int number);
const Control* FindControl(const Panel& panel, int number);
const char* KindName(Kind kind);
// Kinds whose value is an integer (numeric, the setting kinds and a progress bar); with Float:
// number fields.
bool IsIntKind(Kind kind);
bool IsNumberKind(Kind kind);

}  // namespace uir
