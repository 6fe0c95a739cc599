// pelta-tool check-ini FILE and check-uir FILE: what the plug-in would make of a settings file
// or a layout file.
//
// check-ini loads the plug-in itself against a temporary module folder holding FILE as its
// pelta.ini (and the repository's pelta.uir), so the values printed are the ones the plug-in's
// own reading produced: the eighteen settings as held after load, the display height and timer
// period derived from them, the translucency actually given to the display window, and notes
// on what the file said differently (the equal-colour rule, characters past the tenth, lines
// missing at the end).
//
// check-uir reads FILE with the plug-in's layout reader, prints every panel and control, and
// checks that the four panels, their captions, the controls the plug-in addresses (with the
// kinds it needs) and the callback names are there. Errors are printed as FILE:LINE: reason
// and make the exit status 1.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "harness.h"
#include "host/entry.h"
#include "host/layout_check.h"
#include "panels/memory/memory_panels.h"
#include "panels/panels.h"
#include "panels/uir.h"
#include "settings/settings.h"
#include "shared/languages.h"

namespace {

// ---- check-ini ----

constexpr int kIniLines = 18;
constexpr int kFontLine = 16;       // a line that is not a number
constexpr int kLanguagesLine = 18;  // nor is this one
constexpr int kLineKeep = 10;

// The first eighteen lines as the plug-in reads them, each cut to kStoredChars (enough for every
// note below) with its full length kept, and how many lines the file has in all. The file is
// streamed: a file of millions of lines costs one pass and no memory.
constexpr size_t kStoredChars = 160;

struct IniLines {
  std::vector<std::string> lines;  // lines 1..18 at most, line ends removed, cut as above
  std::vector<size_t> lengths;     // their whole lengths
  long long count = 0;             // every line of the file
  bool bom = false;                // line 1 began with a UTF-8 byte-order mark (removed above)
};

bool ReadIniLines(const char* path, IniLines* out) {
  FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return false;
  std::string line;
  size_t length = 0;
  bool any = false;  // a character of an unfinished line was read
  // A line ends at LF; a CR just before it (or at the end of the file) is part of the line end.
  auto finish = [&](bool cr_end) {
    if (cr_end) {
      --length;
      if (line.size() > length) line.pop_back();
    }
    if (out->count < kIniLines) {
      out->lines.push_back(line);
      out->lengths.push_back(length);
    }
    ++out->count;
    line.clear();
    length = 0;
    any = false;
  };
  int ch;
  int last = -1;
  while ((ch = std::fgetc(f)) != EOF) {
    if (ch == '\n') {
      finish(last == '\r');
    } else {
      any = true;
      if (out->count < kIniLines && line.size() < kStoredChars) {
        line.push_back(static_cast<char>(ch));
      }
      ++length;
    }
    last = ch;
  }
  if (any) finish(last == '\r');
  const bool ok = std::ferror(f) == 0;
  std::fclose(f);
  // The plug-in skips a byte-order mark before line 1, as an editor may write one.
  if (!out->lines.empty() && out->lines[0].compare(0, 3, "\xEF\xBB\xBF") == 0) {
    out->lines[0].erase(0, 3);
    out->lengths[0] -= 3;
    out->bom = true;
  }
  return ok;
}

bool HasDigits(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  return i < text.size() && text[i] >= '0' && text[i] <= '9';
}

// Line `line` (1-based) as the plug-in converts it: its first ten characters, leading blanks,
// a sign and digits (none, or a missing line, gives 0), clamped to 32 bits.
int LineNumber(const IniLines& ini, int line) {
  if (line < 1 || static_cast<size_t>(line) > ini.lines.size()) return 0;
  const long long v = std::strtoll(ini.lines[line - 1].substr(0, kLineKeep).c_str(), nullptr, 10);
  return v > INT32_MAX ? INT32_MAX : (v < INT32_MIN ? INT32_MIN : static_cast<int>(v));
}

// What the plug-in read on line 1, in words: the seconds, or why the default 3 s applies.
void DescribeDisplayTime(const IniLines& ini, char* out, size_t size) {
  const std::string line = ini.lines.empty() ? "" : ini.lines[0].substr(0, kLineKeep);
  char* end = nullptr;
  const float seconds = std::strtof(line.c_str(), &end);
  const double ms = static_cast<double>(seconds) * 1000.0;
  if (end == line.c_str()) {
    std::snprintf(out, size, "no number read: the default 3 s");
  } else if (!std::isfinite(seconds)) {
    std::snprintf(out, size, "%g read, no finite number: the default 3 s",
                  static_cast<double>(seconds));
  } else if (ms < 10.0) {
    std::snprintf(out, size, "%g s read, below 0.01 s: the default 3 s",
                  static_cast<double>(seconds));
  } else if (ms >= 2147483647.0) {
    std::snprintf(out, size, "%g s read, clamped to 32 bits", static_cast<double>(seconds));
  } else {
    std::snprintf(out, size, "%g s as read", static_cast<double>(seconds));
  }
}

// The alignment is applied at load whatever the font line holds.
const char* AlignName(int align) {
  if (align == kJustifyRight) return "right-aligned, texts re-anchored on every channel";
  if (align == kJustifyCentre) return "centred, texts re-anchored on every channel";
  if (align == kJustifyLeft) return "left-aligned, layout file positions";
  return "not 16 or 32: left-aligned, layout file positions";
}

void PrintSetting(int line, const char* name, const char* value) {
  std::printf("%2d  %-14s %s\n", line, name, value);
}

int CheckIni(const char* path) {
  IniLines ini;
  if (!ReadIniLines(path, &ini)) {
    std::fprintf(stderr, "%s: cannot read the file\n", path);
    return 1;
  }
  harness::Options options;
  options.ini = path;
  sim::Reset();
  mem::Reset();
  if (!harness::PrepareModuleDir(options)) return 1;
  const HINSTANCE module = reinterpret_cast<HINSTANCE>(0x10000);
  if (!DllMain(module, DLL_PROCESS_ATTACH, nullptr)) {
    std::fprintf(stderr, "%s: the plug-in refused to load with it\n", path);
    harness::Cleanup();
    return 1;
  }

  // The file's own values (before the equal-colour rule and the opacity rule change the values
  // in use; the settings panel shows the values in use).
  const int file_back = LineNumber(ini, 3);
  const int file_opacity = LineNumber(ini, 13);
  sim::WindowInfo info;
  HWND osd = FindWindowA(nullptr, "Pelta");
  const bool translucent = osd != nullptr && sim::GetInfo(osd, &info) &&
                           (info.exstyle & WS_EX_LAYERED) != 0 && info.layered_attrs_set;
  char font_in_use[uir::kNameMax] = "";
  mem::CtrlAttrText(pnlDisplay, 8, ATTR_TEXT_FONT, font_in_use, sizeof font_in_use);

  std::printf("%s: what the plug-in uses after load\n", path);
  char text[256];
  const bool timer_running = sim::TimerRunning();
  char as_read[96];
  DescribeDisplayTime(ini, as_read, sizeof as_read);
  std::snprintf(text, sizeof text, "%d ms (%s); timer every %u ms%s", DisplayTimeMs.load(), as_read,
                timer_running ? sim::TimerPeriod() : 0u,
                timer_running ? "" : " -- the timer is not started");
  PrintSetting(1, "DisplayTimeMs", text);
  const int size_mode = SizeMode.load();
  if (size_mode >= 0 && size_mode <= 3) {
    std::snprintf(text, sizeof text, "%d (display height %d)", size_mode, DisplayHeight.load());
  } else {
    std::snprintf(text, sizeof text, "%d (no size: the layout of 0, display height %d)", size_mode,
                  DisplayHeight.load());
  }
  PrintSetting(2, "SizeMode", text);
  if (BackColour.load() != file_back) {
    std::snprintf(text, sizeof text, "0x%06X (file: 0x%06X, equal to the text colour)",
                  BackColour.load(), file_back);
  } else {
    std::snprintf(text, sizeof text, "0x%06X", BackColour.load());
  }
  PrintSetting(3, "BackColour", text);
  std::snprintf(text, sizeof text, "0x%06X", TextColour.load());
  PrintSetting(4, "TextColour", text);
  const struct {
    int line;
    const char* name;
    int value;
  } plain[] = {{5, "EpgEnabled", EpgEnabled.load()}, {6, "ShowLevel", ShowLevel.load()},
               {7, "ShowTuning", ShowTuning.load()}, {8, "FollowVideo", FollowVideo.load()},
               {9, "ParkCursor", ParkCursor.load()}, {10, "HourOffset", HourOffset.load()},
               {11, "DebugMode", DebugMode.load()},  {12, "StartKey", StartKey.load()}};
  for (const auto& p : plain) {
    std::snprintf(text, sizeof text, "%d", p.value);
    if (p.line == 10 && LocalTime.load() != 0) {
      std::snprintf(text, sizeof text,
                    "local: start times in this computer's local time, with its time zone and "
                    "summer time for each date");
    } else if (p.line == 10) {
      std::snprintf(text, sizeof text,
                    "%d: start times are the broadcast's UTC %+d h (the offset wraps modulo 24; "
                    "`local` for the computer's local time)",
                    p.value, p.value % 24);
    }
    PrintSetting(p.line, p.name, text);
  }
  if (translucent && Opacity.load() != file_opacity) {
    std::snprintf(text, sizeof text, "%d (file: %d): display window translucent, alpha %u",
                  Opacity.load(), file_opacity, static_cast<unsigned>(info.alpha));
  } else if (translucent) {
    std::snprintf(text, sizeof text, "%d: display window translucent, alpha %u", Opacity.load(),
                  static_cast<unsigned>(info.alpha));
  } else {
    std::snprintf(text, sizeof text, "%d: display window opaque", Opacity.load());
  }
  PrintSetting(13, "Opacity", text);
  std::snprintf(text, sizeof text, "%d (%s%s)", TextAlign.load(), AlignName(TextAlign.load()),
                std::strlen(FontName) > 3 ? "" : ", in the layout's font");
  PrintSetting(14, "TextAlign", text);
  std::snprintf(text, sizeof text, "%d", GuideFormat.load());
  PrintSetting(15, "GuideFormat", text);
  if (std::strlen(FontName) > 3 && std::strcmp(font_in_use, FontName) == 0) {
    std::snprintf(text, sizeof text, "\"%.128s\" (applied to the channel name and programme lines)",
                  FontName);
  } else if (std::strlen(FontName) > 3) {
    // What the display panel holds after load, not what the file asks for: the panel run-time
    // takes typeface names of fewer than 64 characters and keeps its font for a longer one.
    std::snprintf(text, sizeof text,
                  "\"%.128s\" (%d characters: not applied, the layout's \"%.63s\" stays)", FontName,
                  static_cast<int>(std::strlen(FontName)), font_in_use);
  } else {
    // At most 3 characters here; the precision tells the compiler the text fits.
    std::snprintf(text, sizeof text,
                  "\"%.3s\" (fewer than 4 characters: the layout's \"%s\" stays)", FontName,
                  font_in_use);
  }
  PrintSetting(16, "FontName", text);
  const int times = ProgrammeTimes.load();
  if (times == 1) {
    std::snprintf(text, sizeof text,
                  "1: programme lines with start and end, and the progress bar of the programme "
                  "on air");
  } else {
    std::snprintf(text, sizeof text, "%d: programme lines with their start times only%s", times,
                  times == 0 ? "" : " (only 1 shows the end and the progress)");
  }
  PrintSetting(17, "ProgrammeTimes", text);
  int rejected = 0;
  const LanguageList codes = ParseLanguageList(EpgLanguages, &rejected);
  char list[64];
  FormatLanguageList(UnpackLanguages(EpgLanguagePref.load()), list, sizeof list);
  if (codes.count > 0) {
    std::snprintf(text, sizeof text, "\"%s\": %s, then the broadcast's first", EpgLanguages, list);
  } else {
    std::snprintf(text, sizeof text,
                  "\"%.48s\": the language of the user interface (%s), then the broadcast's "
                  "first",
                  EpgLanguages, list[0] != '\0' ? list : "none known");
  }
  PrintSetting(18, "EpgLanguages", text);

  // Notes: where the file and what is used differ, with the line they come from.
  int notes = 0;
  const long long count = ini.count;
  for (int i = 0; i < count && i < kIniLines; ++i) {
    if (i == kFontLine - 1 || i == kLanguagesLine - 1) continue;
    const std::string& line = ini.lines[i];
    if (ini.lengths[i] > static_cast<size_t>(kLineKeep)) {
      std::printf("note: %s:%d: only the first %d characters count (\"%s\")\n", path, i + 1,
                  kLineKeep, line.substr(0, kLineKeep).c_str());
      ++notes;
    }
    // Line 10 may be the word `local` (the computer's local time): no number, and none needed.
    if (!HasDigits(line.substr(0, kLineKeep)) && !(i == 9 && LocalTime.load() != 0)) {
      std::printf("note: %s:%d: no number in \"%s\": read as %s\n", path, i + 1,
                  line.substr(0, kLineKeep).c_str(), i == 0 ? "the default 3 s" : "0");
      ++notes;
    }
  }
  if (ini.bom) {
    std::printf("note: %s:1: a UTF-8 byte-order mark before the first line is skipped\n", path);
    ++notes;
  }
  if (count > kFontLine - 1 && ini.lengths[kFontLine - 1] > 128) {
    std::printf("note: %s:16: the font name is cut to 128 characters\n", path);
    ++notes;
  }
  if (size_mode < 0 || size_mode > 3) {
    std::printf("note: %s:2: size %d is not 0 to 3: the display uses size 0 (60 pixels)\n", path,
                size_mode);
    ++notes;
  }
  if (timer_running && DisplayTimeMs.load() / 50 == 0) {
    std::printf(
        "note: %s:1: a display time below 0.05 s has no whole millisecond per tick: the "
        "timer ticks every 1 ms instead, so the display stays up about 0.05 s\n",
        path);
    ++notes;
  }
  if (BackColour.load() != file_back) {
    std::printf("note: %s:3: background equals the text colour: the display uses %s\n", path,
                BackColour.load() == 0 ? "black (the text is white)" : "white");
    ++notes;
  }
  if (translucent && file_opacity < 100) {
    std::printf("note: %s:13: opacity below 100 is raised to 255\n", path);
    ++notes;
  }
  if (rejected > 0) {
    std::printf(
        "note: %s:18: %d entr%s of the EPG languages left out (not a code of three letters, "
        "repeated, or past the third)\n",
        path, rejected, rejected == 1 ? "y" : "ies");
    ++notes;
  }
  if (count == kIniLines - 2 || count == kIniLines - 1) {
    if (count == kIniLines - 2) {
      std::printf(
          "note: %s: line 17 missing (a file of an older version): read as 0, the programme "
          "lines without end times\n",
          path);
    }
    std::printf(
        "note: %s: line 18 missing (a file of an older version): no EPG languages, the "
        "language of the user interface counts\n",
        path);
    ++notes;
  } else if (count < kIniLines) {
    std::printf("note: %s: line%s %lld", path, count + 1 < kIniLines ? "s" : "", count + 1);
    if (count + 1 < kIniLines) std::printf(" to %d", kIniLines);
    std::printf(" missing: read as empty lines (0, or an empty font name or language list)\n");
    ++notes;
  }
  if (count > kIniLines) {
    std::printf("note: %s: lines after 18 are not read (%lld more)\n", path, count - kIniLines);
    ++notes;
  }
  std::printf("%s: %lld line%s read, %d note%s\n", path,
              count < kIniLines ? count : static_cast<long long>(kIniLines), count == 1 ? "" : "s",
              notes, notes == 1 ? "" : "s");

  DllMain(module, DLL_PROCESS_DETACH, nullptr);
  harness::Cleanup();
  return 0;
}

// ---- check-uir ----

// What the plug-in addresses in the layout file.
struct Need {
  int panel;
  int control;
  uir::Kind kind;
  const char* role;
};
const Need kNeeds[] = {
    {4, 4, uir::Kind::Text, "time of day"},
    {4, 5, uir::Kind::Text, "frequency"},
    {4, 6, uir::Kind::Text, "polarisation"},
    {4, 7, uir::Kind::Text, "conditional-access system"},
    {4, 8, uir::Kind::Text, "channel name"},
    {4, 9, uir::Kind::Picture, "channel logo"},
    {4, 10, uir::Kind::Text, "programme on air"},
    {4, 11, uir::Kind::Text, "next programme"},
    {4, 12, uir::Kind::Decoration, "decoration of the indicator block"},
    {4, 13, uir::Kind::Indicator, "conditional-access indicator"},
    {4, 14, uir::Kind::Indicator, "quality indicator"},
    {4, 15, uir::Kind::Indicator, "level indicator"},
    {4, 16, uir::Kind::Progress, "progress of the programme on air"},
    {3, 2, uir::Kind::Dropdown, "DebugMode"},
    {3, 3, uir::Kind::Numeric, "HourOffset"},
    {3, 4, uir::Kind::Float, "display time in seconds"},
    {3, 6, uir::Kind::Dropdown, "GuideFormat"},
    {3, 7, uir::Kind::Checkbox, "FollowVideo"},
    {3, 8, uir::Kind::Dropdown, "SizeMode"},
    {3, 9, uir::Kind::Colour, "TextColour"},
    {3, 10, uir::Kind::Colour, "BackColour"},
    {3, 11, uir::Kind::Checkbox, "ParkCursor"},
    {3, 12, uir::Kind::Checkbox, "ShowTuning"},
    {3, 13, uir::Kind::Checkbox, "ShowLevel"},
    {3, 14, uir::Kind::Checkbox, "EpgEnabled"},
    {3, 15, uir::Kind::Numeric, "StartKey"},
    {3, 19, uir::Kind::Slider, "Opacity"},
    {3, 22, uir::Kind::Checkbox, "LocalTime"},
    {3, 23, uir::Kind::Checkbox, "ProgrammeTimes"},
    {3, 24, uir::Kind::String, "EpgLanguages"},
    {1, 3, uir::Kind::Text, "version text"},
    {2, 3, uir::Kind::TextBox, "guide text"},
    {2, 4, uir::Kind::Text, "channel name"},
    {2, 6, uir::Kind::Text, "times of the programme on air"},
    {2, 7, uir::Kind::Text, "title of the programme on air"},
    {2, 8, uir::Kind::TextBox, "description of the programme on air"},
    {2, 9, uir::Kind::Text, "genre of the programme on air"},
    {2, 10, uir::Kind::Text, "age rating of the programme on air"},
    {2, 11, uir::Kind::Text, "times of the next programme"},
    {2, 12, uir::Kind::Text, "title of the next programme"},
    {2, 13, uir::Kind::TextBox, "short text of the next programme"},
    {2, 14, uir::Kind::TextBox, "description of the next programme"},
    {2, 15, uir::Kind::Text, "genre of the next programme"},
    {2, 16, uir::Kind::Text, "age rating of the next programme"},
};

struct PanelNeed {
  int number;
  const char* caption;
  const char* role;
  const char* callbacks[2];  // buttons the panel must carry
};
const PanelNeed kPanelNeeds[] = {
    {4, "Pelta", "display panel", {nullptr, nullptr}},
    {3, "Settings", "settings panel", {"SAVE", "FONT"}},
    {1, "About", "About panel", {"OK", nullptr}},
    {2, "EPG", "guide panel", {"EPGOK", nullptr}},
};
const char* const kKnownCallbacks[] = {"OK", "FONT", "SAVE", "EPGOK"};

void PrintControl(const uir::Control& c) {
  std::printf("  control %-3d %-10s %d,%d %dx%d", c.number, uir::KindName(c.kind), c.left, c.top,
              c.width, c.height);
  switch (c.kind) {
    case uir::Kind::Picture:
      std::printf(" back 0x%06X", c.back_colour);
      break;
    case uir::Kind::Indicator:
    case uir::Kind::Decoration:
      std::printf(" fill 0x%06X", c.fill_colour);
      break;
    default:
      std::printf(" font \"%s\" %d, text 0x%06X on 0x%06X", c.font, c.point_size, c.text_colour,
                  c.back_colour);
      if (c.justify != 0) std::printf(", justify %d", c.justify);
      break;
  }
  if (c.label[0] != '\0') std::printf(", label \"%s\"", c.label);
  if (c.value[0] != '\0') std::printf(", value \"%s\"", c.value);
  if (c.callback[0] != '\0') std::printf(", callback %s", c.callback);
  if (uir::IsNumberKind(c.kind)) std::printf(", %.10g..%.10g", c.min, c.max);
  if (c.step > 0) std::printf(", step %g", c.step);
  if (c.beside == uir::Beside::KeyName) std::printf(", key name beside");
  for (int i = 0; i < c.item_count; ++i) {
    std::printf(", item %d \"%s\"", c.items[i].value, c.items[i].text);
  }
  if (!c.visible) std::printf(", hidden");
  std::printf("\n");
}

int CheckUir(const char* path) {
  std::unique_ptr<uir::Layout> layout(new uir::Layout);
  uir::Error error;
  if (!uir::ReadFile(path, layout.get(), &error)) {
    char message[512];
    uir::FormatError(error, message, sizeof message);
    std::fprintf(stderr, "%s\n", message);
    return 1;
  }
  for (int i = 0; i < layout->panel_count; ++i) {
    const uir::Panel& p = layout->panels[i];
    std::printf("panel %d \"%s\" %s %d,%d %dx%d background 0x%06X", p.number, p.caption,
                p.style == uir::Style::Popup ? "popup" : "dialog", p.left, p.top, p.width, p.height,
                p.background);
    if (p.close_control != 0) std::printf(", close runs control %d", p.close_control);
    std::printf("\n");
    for (int j = 0; j < p.control_count; ++j) PrintControl(p.controls[j]);
  }

  int errors = 0;
  for (const PanelNeed& need : kPanelNeeds) {
    const uir::Panel* p = uir::FindPanel(*layout, need.number);
    if (p == nullptr) {
      std::fprintf(stderr, "%s: no panel %d (the %s): the plug-in refuses to load\n", path,
                   need.number, need.role);
      ++errors;
      continue;
    }
    if (std::strcmp(p->caption, need.caption) != 0) {
      std::fprintf(stderr,
                   "%s:%d: panel %d must be captioned \"%s\": the plug-in finds its window by "
                   "that caption\n",
                   path, p->line, need.number, need.caption);
      ++errors;
    }
    for (const char* callback : need.callbacks) {
      if (callback == nullptr || HasButtonWithCallback(*p, callback)) continue;
      char message[512];
      FormatMissingButton(message, sizeof message, path, *p, callback);  // as the load says it
      std::fprintf(stderr, "%s\n", message);
      ++errors;
    }
    for (int j = 0; j < p->control_count; ++j) {
      const uir::Control& c = p->controls[j];
      if (c.callback[0] == '\0') continue;
      bool known = false;
      for (const char* name : kKnownCallbacks) known = known || std::strcmp(name, c.callback) == 0;
      if (!known) {
        std::fprintf(stderr,
                     "%s:%d: callback %s is not one of the plug-in's (OK, FONT, SAVE, "
                     "EPGOK): the panel would not load\n",
                     path, c.line, c.callback);
        ++errors;
      }
    }
  }
  for (const Need& need : kNeeds) {
    const uir::Panel* p = uir::FindPanel(*layout, need.panel);
    if (p == nullptr) continue;  // reported above
    const uir::Control* c = uir::FindControl(*p, need.control);
    if (c == nullptr) {
      std::fprintf(stderr, "%s:%d: panel %d has no control %d (%s)\n", path, p->line, need.panel,
                   need.control, need.role);
      ++errors;
    } else if (c->kind != need.kind) {
      std::fprintf(stderr, "%s:%d: control %d of panel %d (%s) must be a %s, not a %s\n", path,
                   c->line, need.control, need.panel, need.role, uir::KindName(need.kind),
                   uir::KindName(c->kind));
      ++errors;
    }
  }
  if (errors > 0) {
    std::fprintf(stderr, "%s: %d error%s\n", path, errors, errors == 1 ? "" : "s");
    return 1;
  }
  std::printf("%s: %d panels, all that the plug-in uses are there\n", path, layout->panel_count);
  return 0;
}

int OneFileArgument(int argc, char** argv, const char* command) {
  if (argc != 1 || argv[0][0] == '-') {
    std::fprintf(stderr, "usage: pelta-tool %s FILE\n", command);
    return -1;
  }
  return 0;
}

}  // namespace

int RunCheckIni(int argc, char** argv) {
  if (OneFileArgument(argc, argv, "check-ini") < 0) return 2;
  return CheckIni(argv[0]);
}

int RunCheckUir(int argc, char** argv) {
  if (OneFileArgument(argc, argv, "check-uir") < 0) return 2;
  return CheckUir(argv[0]);
}
