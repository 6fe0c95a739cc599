// The settings file pelta.ini: eighteen positional lines, no keys, no comments.
//
//   1 display time in seconds ("%4.1f")   10 HourOffset, or `local`
//   2 SizeMode                            11 DebugMode
//   3 BackColour (0xRRGGBB as decimal)    12 StartKey
//   4 TextColour                          13 Opacity
//   5 EpgEnabled                          14 TextAlign
//   6 ShowLevel                           15 GuideFormat
//   7 ShowTuning                          16 FontName
//   8 FollowVideo                         17 ProgrammeTimes
//   9 ParkCursor                          18 EpgLanguages ("deu,eng")
//
// Only the first ten characters of the number lines count. Lines missing at the end of a short
// (or missing) file read as empty lines: a file of the sixteen lines older versions wrote reads
// ProgrammeTimes 0 and keeps its look, and one of sixteen or seventeen lines has no EPG
// languages (the system's user-interface language then counts). The file is written with CR LF line
// ends; either line end is read.
#include "settings/settings.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "panels/panels.h"
#include "platform/os.h"
#include "shared/controls.h"
#include "shared/languages.h"
#include "shared/state.h"

std::atomic<int32_t> DisplayTimeMs{0};
std::atomic<int32_t> SizeMode{0};
std::atomic<int32_t> BackColour{0};
std::atomic<int32_t> TextColour{0};
std::atomic<int32_t> EpgEnabled{0};
std::atomic<int32_t> ShowLevel{0};
std::atomic<int32_t> ShowTuning{0};
std::atomic<int32_t> FollowVideo{0};
std::atomic<int32_t> ParkCursor{0};
std::atomic<int32_t> HourOffset{0};
std::atomic<int32_t> LocalTime{0};
std::atomic<int32_t> DebugMode{0};
std::atomic<int32_t> StartKey{0};
std::atomic<int32_t> Opacity{0};
std::atomic<int32_t> TextAlign{0};
std::atomic<int32_t> GuideFormat{0};
char FontName[kFontNameMax];
std::atomic<int32_t> ProgrammeTimes{0};
char EpgLanguages[kEpgLanguagesMax];
std::atomic<uint64_t> EpgLanguagePref{0};
std::atomic<int32_t> DisplayHeight{0};

namespace {

constexpr int kLineKeep = 10;  // characters of the number lines that count
constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";
constexpr int kUtf8BomLength = 3;
constexpr int kFontNameKeep = 128;  // characters of line 16
constexpr int32_t kDefaultDisplayTimeMs = 3000;

// Settings-panel controls, in the order of the file's lines 2..15 where a control exists.
// TextAlign (line 14) has none: the font dialog chooses it.
struct IntSetting {
  std::atomic<int32_t>* value;
  int control;       // on the settings panel; 0: none
  const char* name;  // as the dialog labels it, for the message that refuses a value
};
// The panel order (used for reading and filling the panel).
const IntSetting kPanelOrder[] = {
    {&SizeMode, 8, "Size"},
    {&BackColour, 10, "Background colour"},
    {&TextColour, 9, "Text colour"},
    {&EpgEnabled, 14, "Programme guide"},
    {&ShowLevel, 13, "Show signal level"},
    {&ShowTuning, 12, "Show tuning data"},
    {&FollowVideo, 7, "Follow video window"},
    {&ParkCursor, 11, "Park mouse pointer"},
    {&HourOffset, 3, "Hour offset"},
    {&DebugMode, 2, "Debug mode"},
    {&StartKey, 15, "Start key code"},
    {&Opacity, 19, "Opacity"},
    {&GuideFormat, 6, "Guide format"},
    {&LocalTime, 22, "Local time"},
    {&ProgrammeTimes, 23, "Programme times"},
};
// The file order of lines 2..15.
std::atomic<int32_t>* const kFileOrder[] = {
    &SizeMode,   &BackColour, &TextColour, &EpgEnabled, &ShowLevel, &ShowTuning, &FollowVideo,
    &ParkCursor, &HourOffset, &DebugMode,  &StartKey,   &Opacity,   &TextAlign,  &GuideFormat,
};
// The number lines after the font's line 16, in file order.
std::atomic<int32_t>* const kLinesAfterFont[] = {&ProgrammeTimes};
constexpr int kLanguagesKeep = 63;  // characters of line 18
constexpr int kLanguagesControl = 24;
constexpr char kLanguagesName[] = "EPG languages";
constexpr int kSecondsControl = 4;
constexpr char kSecondsName[] = "Display time (s)";
constexpr float kDefaultSeconds = 3.0f;
// The display time the settings panel shows, as the plug-in uses it (host thread only).
float DialogSeconds = 0;
constexpr char kSettingsCaption[] = "Pelta settings";

// Display controls whose text takes the colours (the first three also take the font); the
// progress bar is drawn in the text colour on the background colour.
const int kColouredControls[] = {kNameControl, kNowControl, kNextControl,    kTimeControl,
                                 kFreqControl, kPolControl, kCaLabelControl, kProgressControl};

// The progress bar sits on the channel name's row, above the programme lines: its top and
// height keep it clear of the first line's top (26, 48, 70, 40), and its text size goes with
// the lines'.
struct SizeLayout {
  int mode, height, name_size, logo_top, now_size, now_top, next_size, next_top;
  int bar_top, bar_height, bar_width, bar_text_size;
};
const SizeLayout kSizeLayouts[] = {
    {0, 60, 22, 5, 11, 26, 11, 42, 6, 15, 120, 9},
    {1, 90, 40, 20, 14, 48, 14, 68, 12, 22, 160, 12},
    {2, 120, 60, 35, 18, 70, 18, 93, 18, 30, 200, 16},
    {3, 90, 22, 20, 18, 40, 18, 64, 8, 18, 140, 11},
};

// The C library's decimal conversion (leading blanks, optional sign, digits up to the first
// other character, none gives 0), clamped to 32 bits instead of overflowing.
int32_t ToInt(const char* text) {
  long long v = std::strtoll(text, nullptr, 10);
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
}

// The display time: seconds as a single-precision float, times 1000.0 (in double, as the
// product is formed), truncated toward zero. 2.3 gives 2299. Below 10 ms the default applies;
// a value past the 32-bit range is clamped rather than converted blindly; one that is not a
// finite number ("nan", "inf", "1e999") is the default.
int32_t ToDisplayTimeMs(float seconds) {
  double ms = static_cast<double>(seconds) * 1000.0;
  if (!std::isfinite(ms)) return kDefaultDisplayTimeMs;
  if (ms >= 2147483647.0) return INT32_MAX;
  if (ms < 10.0) return kDefaultDisplayTimeMs;
  return static_cast<int32_t>(ms);
}

// The next line of the file into `buffer`, or an empty line when there is none.
void NextLine(int file, char* buffer, int keep) {
  buffer[0] = '\0';
  if (file < 0) return;
  if (ReadLine(file, buffer, keep) < 0) buffer[0] = '\0';
}

// Text drawn in its own background colour is invisible: equal colours (as drawn, 24 bits)
// get a white background, or a black one when the text itself is white.
int32_t ReadableBackground(int32_t back, int32_t text) {
  constexpr int32_t kRgb = 0xFFFFFF;
  constexpr int32_t kWhite = 0xFFFFFF;
  constexpr int32_t kBlack = 0x000000;
  if ((back & kRgb) != (text & kRgb)) return back;
  return (text & kRgb) == kWhite ? kBlack : kWhite;
}

}  // namespace

// The colours onto the display panel, always as a readable pair: also after Save, whose
// equal colours are still written to the file as they were chosen.
void ApplyColours() {
  const int display = pnlDisplay;
  const int text = TextColour;
  const int back = ReadableBackground(BackColour, text);
  SetPanelAttribute(display, ATTR_BACKCOLOR, back);
  SetCtrlAttribute(display, kDecorationControl, ATTR_DECORATION_COLOR, back);
  for (int control : kColouredControls) SetCtrlAttribute(display, control, ATTR_TEXT_BGCOLOR, back);
  for (int control : kColouredControls) SetCtrlAttribute(display, control, ATTR_TEXT_COLOR, text);
}

void ApplyFont(bool typeface) {
  const int display = pnlDisplay;
  const int justify = TextAlign;
  // pelta.ini and the font dialog give the name in the ANSI code page; the panels take UTF-8.
  // A name too long for a control is refused there as before (never cut to another face).
  char face[kFontNameMax];
  if (typeface) AnsiToUtf8(FontName, face, sizeof face);
  for (int control : kFontControls) {
    if (typeface) SetCtrlAttribute(display, control, ATTR_TEXT_FONT, face);
    SetCtrlAttribute(display, control, ATTR_TEXT_JUSTIFY, justify);
  }
}

namespace {

// Line 10 as the word `local` in any case, blanks around it allowed (an older plug-in reads it
// as 0).
bool SaysLocal(const char* line) {
  while (*line == ' ' || *line == '\t') ++line;
  static const char kWord[] = "local";
  for (const char* w = kWord; *w != '\0'; ++w, ++line) {
    if ((*line | 0x20) != *w) return false;
  }
  while (*line == ' ' || *line == '\t' || *line == '\r') ++line;
  return *line == '\0';
}

// One line of the file; false when it was not written whole.
bool WriteText(int file, const char* text) {
  const int length = static_cast<int>(std::strlen(text));
  return WriteLine(file, text, length) == length;
}

// One number line; false when it would not read back as written (load keeps ten characters).
bool WriteNumber(int file, const char* format, double number) {
  char text[64];
  const int n = std::snprintf(text, sizeof text, format, number);
  return n > 0 && n <= kLineKeep && WriteText(file, text);
}

// What Save makes of a field.
enum class FieldUse {
  kKeep,    // it shows what the plug-in put there for the setting: the value is kept as it is
  kTake,    // the user left a finite number within the field's range there: it is taken
  kRefuse,  // anything else
};

// The field's text as the user left it, checked: a finite decimal number (blanks around it
// allowed) within the range the layout gives the field; `message` gets the words for the user
// when it is not. A field that still shows `shown`, the text the plug-in put there for the
// setting's value, is kept whatever it holds, so that a dialog saved untouched always saves (a
// file value outside the field's range included). A text that cannot be read whole (too long for
// the check) is refused like any other bad text. A field that is not there (no panel, no such
// control) is kept: its setting keeps its value.
FieldUse CheckField(int panel, int control, const char* shown, const char* name, char* message,
                    size_t size) {
  char text[64];
  const int read = GetCtrlVal(panel, control, text, sizeof text);
  if (read == kPanelNotLoaded || read == kPanelNoControl) return FieldUse::kKeep;
  if (read == kPanelOk && std::strcmp(text, shown) == 0) return FieldUse::kKeep;
  double min = -2147483648.0;
  double max = 2147483647.0;
  GetCtrlRange(panel, control, &min, &max);  // the layout's range when it has one
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  bool ok = read == kPanelOk && end != text && std::isfinite(value) && value >= min && value <= max;
  if (ok) {
    while (*end == ' ' || *end == '\t') ++end;
    ok = *end == '\0';
  }
  if (!ok) {
    std::snprintf(message, size,
                  "The settings were not saved.\n\n%s must be a number from %g to %g.", name, min,
                  max);
  }
  return ok ? FieldUse::kTake : FieldUse::kRefuse;
}

// The languages field: codes of three letters separated by commas, at most three, each once.
// A panel without the field is not checked.
bool LanguagesAcceptable(int panel, char* message, size_t size) {
  char text[kEpgLanguagesMax];
  if (GetCtrlVal(panel, kLanguagesControl, text, sizeof text) < 0) return true;
  int rejected = 0;
  ParseLanguageList(text, &rejected);
  if (rejected == 0) return true;
  std::snprintf(message, size,
                "The settings were not saved.\n\n%s must be up to three ISO 639-2 codes of three "
                "letters, separated by commas (for example deu,eng), or empty for the language "
                "of Windows.",
                kLanguagesName);
  return false;
}

// Every field checked before any is taken; false at the first refused one. `uses[0]` is the
// display time's, then one per kPanelOrder row.
bool DialogInputAcceptable(int panel, FieldUse* uses, char* message, size_t size) {
  char shown[32];
  std::snprintf(shown, sizeof shown, "%.1f", static_cast<double>(DialogSeconds));
  uses[0] = CheckField(panel, kSecondsControl, shown, kSecondsName, message, size);
  if (uses[0] == FieldUse::kRefuse) return false;
  int i = 1;
  for (const IntSetting& s : kPanelOrder) {
    std::snprintf(shown, sizeof shown, "%d", static_cast<int>(s.value->load()));
    uses[i] = CheckField(panel, s.control, shown, s.name, message, size);
    if (uses[i++] == FieldUse::kRefuse) return false;
  }
  return LanguagesAcceptable(panel, message, size);
}

// The line without the blanks around it.
void TrimInto(const char* text, char* out, size_t size) {
  while (*text == ' ' || *text == '\t') ++text;
  std::snprintf(out, size, "%s", text);
  size_t n = std::strlen(out);
  while (n > 0 && (out[n - 1] == ' ' || out[n - 1] == '\t' || out[n - 1] == '\r')) out[--n] = '\0';
}

// The eighteen lines into a new file beside pelta.ini, which then replaces the old one in one
// step: a write that fails half-way (a full disk) leaves the old file as it was. False when the
// file was not replaced.
bool WriteSettingsFile(float seconds) {
  char temp[kPathMax + 8];
  const int n = std::snprintf(temp, sizeof temp, "%s.new", IniPath);
  if (n <= 0 || static_cast<size_t>(n) >= sizeof temp) return false;
  const int file = CVI_OpenFile(temp, 2, 0, 1);
  if (file < 0) return false;
  bool ok = WriteNumber(file, "%4.1f", static_cast<double>(seconds));
  for (std::atomic<int32_t>* value : kFileOrder) {
    if (value == &HourOffset && LocalTime != 0) {
      ok = ok && WriteText(file, "local");
    } else {
      ok = ok && WriteNumber(file, "%.0f", static_cast<double>(value->load()));
    }
  }
  ok = ok && WriteText(file, FontName);
  for (std::atomic<int32_t>* value : kLinesAfterFont) {
    ok = ok && WriteNumber(file, "%.0f", static_cast<double>(value->load()));
  }
  ok = ok && WriteText(file, EpgLanguages);
  // The close flushes what the C library still holds: its result counts as much as a write's.
  ok = CVI_CloseFile(file) == 0 && ok;
  ok = ok && MoveFileExA(temp, IniPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!ok) DeleteFileA(temp);
  return ok;
}

}  // namespace

void ApplySizeLayout(int mode) {
  // A mode that is no size (anything but 0 to 3) would leave the strip 0 pixels high, i.e.
  // invisible: it gets the layout of size 0. SizeMode itself keeps what the file says.
  const SizeLayout* layout = &kSizeLayouts[0];
  for (const SizeLayout& s : kSizeLayouts) {
    if (s.mode == mode) layout = &s;
  }
  const int display = pnlDisplay;
  DisplayHeight = layout->height;
  SetCtrlAttribute(display, kNameControl, ATTR_TEXT_POINT_SIZE, layout->name_size);
  SetCtrlAttribute(display, kLogoControl, ATTR_TOP, layout->logo_top);
  SetCtrlAttribute(display, kNowControl, ATTR_TEXT_POINT_SIZE, layout->now_size);
  SetCtrlAttribute(display, kNowControl, ATTR_TOP, layout->now_top);
  SetCtrlAttribute(display, kNextControl, ATTR_TEXT_POINT_SIZE, layout->next_size);
  SetCtrlAttribute(display, kNextControl, ATTR_TOP, layout->next_top);
  SetCtrlAttribute(display, kProgressControl, ATTR_TOP, layout->bar_top);
  SetCtrlAttribute(display, kProgressControl, ATTR_HEIGHT, layout->bar_height);
  SetCtrlAttribute(display, kProgressControl, ATTR_WIDTH, layout->bar_width);
  SetCtrlAttribute(display, kProgressControl, ATTR_TEXT_POINT_SIZE, layout->bar_text_size);
}

void GetPar() {
  const int file = CVI_OpenFile(IniPath, 1, 0, 1);
  char line[kLineKeep + 1];

  // An editor may have saved the file with a UTF-8 byte-order mark: it is no part of line 1,
  // and its ten characters count after it.
  char first[kLineKeep + sizeof kUtf8Bom];
  NextLine(file, first, kLineKeep + kUtf8BomLength);
  const bool bom = std::strncmp(first, kUtf8Bom, kUtf8BomLength) == 0;
  std::snprintf(line, sizeof line, "%.*s", kLineKeep, bom ? first + kUtf8BomLength : first);
  float seconds = std::strtof(line, nullptr);
  if (!std::isfinite(seconds)) seconds = kDefaultSeconds;
  DisplayTimeMs = ToDisplayTimeMs(seconds);
  for (std::atomic<int32_t>* value : kFileOrder) {
    NextLine(file, line, kLineKeep);
    *value = ToInt(line);
    if (value == &HourOffset) LocalTime = SaysLocal(line) ? 1 : 0;
  }
  NextLine(file, FontName, kFontNameKeep);
  for (std::atomic<int32_t>* value : kLinesAfterFont) {
    NextLine(file, line, kLineKeep);
    *value = ToInt(line);
  }
  char languages[kEpgLanguagesMax];
  NextLine(file, languages, kLanguagesKeep);
  TrimInto(languages, EpgLanguages, sizeof EpgLanguages);
  EpgLanguagePref = EpgPreferenceFor(EpgLanguages);
  if (file >= 0) CVI_CloseFile(file);

  // The settings panel shows what the plug-in uses: the default display time where the file
  // gives none or less than 10 ms, an opacity below 100 as the 255 load raises it to. While the
  // Settings dialog is open (a host that stops and starts the plug-in meanwhile) its fields are
  // the user's: they are left as they are.
  const int settings = pnlSettings;
  if (!PanelLoopRuns(settings)) {
    DialogSeconds = static_cast<float>(DisplayTimeMs.load()) / 1000.0f;
    SetCtrlVal(settings, kSecondsControl, static_cast<double>(DialogSeconds));
    for (const IntSetting& s : kPanelOrder) {
      int32_t value = s.value->load();
      if (s.value == &Opacity && value < kOpacityRaisedBelow) value = 255;
      SetCtrlVal(settings, s.control, value);
    }
    SetCtrlVal(settings, kLanguagesControl, EpgLanguages);
  }

  // Equal colours: the background in use is the readable one (the settings panel keeps
  // showing what the file says).
  BackColour = ReadableBackground(BackColour, TextColour);
  ApplyColours();
  ApplySizeLayout(SizeMode);
}

// The message boxes are owned by the Settings dialog: modal to it (the dialog is disabled while
// one is up, so a second Save cannot open a second box) and above it, although the dialog is
// topmost.
bool SetPar() {
  const int settings = pnlSettings;
  char message[256];
  FieldUse uses[1 + sizeof kPanelOrder / sizeof kPanelOrder[0]];
  if (!DialogInputAcceptable(settings, uses, message, sizeof message)) {
    MessageBoxA(PanelWindow(settings), message, kSettingsCaption, MB_OK | MB_ICONERROR);
    return false;
  }
  float seconds = DialogSeconds;
  if (uses[0] == FieldUse::kTake) GetCtrlVal(settings, kSecondsControl, &seconds);
  DialogSeconds = seconds;
  int i = 1;
  for (const IntSetting& s : kPanelOrder) {
    int v = s.value->load();
    if (uses[i++] == FieldUse::kTake && GetCtrlVal(settings, s.control, &v) >= 0) *s.value = v;
  }
  char languages[kEpgLanguagesMax];
  if (GetCtrlVal(settings, kLanguagesControl, languages, sizeof languages) >= 0) {
    TrimInto(languages, EpgLanguages, sizeof EpgLanguages);
    EpgLanguagePref = EpgPreferenceFor(EpgLanguages);
  }
  ApplyColours();
  ApplySizeLayout(SizeMode);

  if (!WriteSettingsFile(seconds)) {
    MessageBoxA(PanelWindow(settings),
                "The settings were not saved: pelta.ini could not be written (is the disk full "
                "or the folder read-only?).\n\nThe file keeps the settings it had.",
                kSettingsCaption, MB_OK | MB_ICONERROR);
  }
  return true;
}

void ResetSettingsState() {
  for (const IntSetting& s : kPanelOrder) *s.value = 0;
  DisplayTimeMs = 0;
  DialogSeconds = 0;
  TextAlign = 0;
  DisplayHeight = 0;
  std::memset(FontName, 0, sizeof FontName);
  std::memset(EpgLanguages, 0, sizeof EpgLanguages);
  EpgLanguagePref = 0;
}

uint64_t EpgPreferenceFor(const char* line) {
  LanguageList list = ParseLanguageList(line, nullptr);
  if (list.count == 0) {
    char ui[4];
    if (UserInterfaceLanguage(ui, sizeof ui)) list = ParseLanguageList(ui, nullptr);
  }
  return PackLanguages(list);
}
