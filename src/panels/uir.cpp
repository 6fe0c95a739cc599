// Reader of the layout file pelta.uir (format described in uir.h).
//
// One pass over the text, line by line, into the caller's Layout; nothing is allocated and no
// byte outside [text, text + size) is read. Each line is copied into a bounded local buffer and
// taken apart there. The reader is deliberately strict: the same file drives the headless
// model, the native windows and the renderer, so a typo must stop the load with a message that
// names the file, the line and the fault, rather than silently produce a different window.
//
// Numbers are parsed here rather than with strtol/strtod: strtod follows the process locale,
// and a host running with a comma as its decimal separator must read the same file.
#include "panels/uir.h"

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace uir {
namespace {

constexpr int kMaxNumber = 32767;  // panel and control numbers: 1..32767
constexpr int kMaxCoord = 32767;

// Defaults of the optional keys.
constexpr int kDefaultBackground = 0xFFFFFF;
constexpr int kDefaultPointSize = 10;
constexpr int kDefaultTextColour = 0x000000;
constexpr int kDefaultBackColour = 0xFFFFFF;
constexpr int kDefaultFillColour = 0x808080;

const char* const kPanelKeys[] = {"caption", "rect", "style", "background", "close_control"};
enum PanelKey { kCaption, kPanelRect, kStyle, kBackground, kCloseControl, kPanelKeyCount };

const char* const kControlKeys[] = {
    "kind",    "rect",        "label",       "value",       "font",    "size",
    "justify", "text_colour", "back_colour", "fill_colour", "visible", "callback",
    "min",     "max",         "step",        "beside",      "item"};
enum ControlKey {
  kKind,
  kRect,
  kLabel,
  kValue,
  kFont,
  kSize,
  kJustify,
  kTextColour,
  kBackColour,
  kFillColour,
  kVisible,
  kCallback,
  kMin,
  kMax,
  kStep,
  kBeside,
  kItem,
  kControlKeyCount
};

const char* const kKindNames[] = {"text",    "picture", "indicator",  "numeric",  "float",
                                  "textbox", "button",  "decoration", "checkbox", "dropdown",
                                  "colour",  "slider",  "progress",   "string"};

// State of one parse: where we are and what the current section is.
struct Parser {
  const char* name;
  Layout* out;
  Error* error;
  int line;
  Panel* panel;      // current panel (null before the first [panel])
  Control* control;  // current control (null while in the panel's own section)
  unsigned seen;     // keys seen in the current section (bit per key index)
  int close_line;    // line of the current panel's close_control key
};

#if defined(__GNUC__)
__attribute__((format(printf, 3, 4)))
#endif
bool Fail(Parser& p, int line, const char* format, ...) {
  Error* e = p.error;
  if (e != nullptr) {
    std::snprintf(e->file, sizeof e->file, "%s", p.name != nullptr ? p.name : "");
    e->line = line;
    va_list args;
    va_start(args, format);
    std::vsnprintf(e->reason, sizeof e->reason, format, args);
    va_end(args);
  }
  return false;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

char* Trim(char* s) {
  while (IsBlank(*s)) ++s;
  size_t n = std::strlen(s);
  while (n > 0 && IsBlank(s[n - 1])) s[--n] = '\0';
  return s;
}

// Integer: optional sign and decimal digits, or 0x/0X and hex digits. At most 18 significant
// digits are accumulated, so the value cannot overflow a long long; more is "out of range".
enum class Num { Ok, Malformed, Overflow };

Num ParseInteger(const char* s, long long* out) {
  bool negative = false;
  if (*s == '+' || *s == '-') negative = *s++ == '-';
  int base = 10;
  if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    if (negative) return Num::Malformed;
    base = 16;
    s += 2;
  }
  if (*s == '\0') return Num::Malformed;
  long long value = 0;
  int digits = 0;
  for (; *s != '\0'; ++s) {
    int d;
    if (*s >= '0' && *s <= '9') {
      d = *s - '0';
    } else if (base == 16 && *s >= 'a' && *s <= 'f') {
      d = *s - 'a' + 10;
    } else if (base == 16 && *s >= 'A' && *s <= 'F') {
      d = *s - 'A' + 10;
    } else {
      return Num::Malformed;
    }
    if (value != 0 || d != 0) ++digits;
    if (digits > 15) {
      // Keep scanning so that "12x" is reported as malformed rather than as overflow.
      for (++s; *s != '\0'; ++s) {
        bool ok = (*s >= '0' && *s <= '9') ||
                  (base == 16 && ((*s >= 'a' && *s <= 'f') || (*s >= 'A' && *s <= 'F')));
        if (!ok) return Num::Malformed;
      }
      return Num::Overflow;
    }
    value = value * base + d;
  }
  *out = negative ? -value : value;
  return Num::Ok;
}

// Decimal number: optional sign, digits, optional '.' and digits (no exponent); at least one
// digit. At most 15 significant integer digits.
Num ParseDecimal(const char* s, double* out) {
  bool negative = false;
  if (*s == '+' || *s == '-') negative = *s++ == '-';
  double value = 0.0;
  int digits = 0, significant = 0;
  for (; *s >= '0' && *s <= '9'; ++s, ++digits) {
    if (value != 0.0 || *s != '0') ++significant;
    value = value * 10.0 + (*s - '0');
  }
  if (*s == '.') {
    double scale = 0.1;
    for (++s; *s >= '0' && *s <= '9'; ++s, ++digits) {
      value += (*s - '0') * scale;
      scale /= 10.0;
    }
  }
  if (*s != '\0' || digits == 0) return Num::Malformed;
  if (significant > 15) return Num::Overflow;
  *out = negative ? -value : value;
  return Num::Ok;
}

bool IntValue(Parser& p, const char* key, const char* v, int lo, int hi, int* out) {
  long long n = 0;
  switch (ParseInteger(v, &n)) {
    case Num::Malformed:
      return Fail(p, p.line, "'%s' must be an integer, not '%.40s'", key, v);
    case Num::Overflow:
      return Fail(p, p.line, "'%s' is out of range (%d..%d)", key, lo, hi);
    case Num::Ok:
      break;
  }
  if (n < lo || n > hi) return Fail(p, p.line, "'%s' is out of range (%d..%d)", key, lo, hi);
  *out = static_cast<int>(n);
  return true;
}

bool DoubleValue(Parser& p, const char* key, const char* v, double* out) {
  switch (ParseDecimal(v, out)) {
    case Num::Malformed:
      return Fail(p, p.line, "'%s' must be a number, not '%.40s'", key, v);
    case Num::Overflow:
      return Fail(p, p.line, "'%s' is out of range", key);
    case Num::Ok:
      break;
  }
  return true;
}

bool ColourValue(Parser& p, const char* key, const char* v, int* out) {
  return IntValue(p, key, v, 0, 0xFFFFFF, out);
}

bool TextValue(Parser& p, const char* key, const char* v, char* out, size_t size) {
  size_t n = std::strlen(v);
  if (n >= size) {
    return Fail(p, p.line, "'%s' is too long (%d characters, at most %d)", key,
                static_cast<int>(n > 99999 ? 99999 : n), static_cast<int>(size - 1));
  }
  std::memcpy(out, v, n + 1);
  return true;
}

// "left, top, width, height"
bool RectValue(Parser& p, char* v, int* left, int* top, int* width, int* height) {
  char* parts[4];
  int count = 0;
  char* s = v;
  for (;;) {
    char* comma = std::strchr(s, ',');
    if (count == 4) return Fail(p, p.line, "'rect' needs four numbers: left, top, width, height");
    parts[count++] = s;
    if (comma == nullptr) break;
    *comma = '\0';
    s = comma + 1;
  }
  if (count != 4) return Fail(p, p.line, "'rect' needs four numbers: left, top, width, height");
  static const char* const kNames[] = {"rect left", "rect top", "rect width", "rect height"};
  int values[4];
  for (int i = 0; i < 4; ++i) {
    int lo = i < 2 ? -kMaxCoord - 1 : 1;
    if (!IntValue(p, kNames[i], Trim(parts[i]), lo, kMaxCoord, &values[i])) return false;
  }
  *left = values[0];
  *top = values[1];
  *width = values[2];
  *height = values[3];
  return true;
}

bool IsIdentifier(const char* s) {
  if (!((*s >= 'A' && *s <= 'Z') || (*s >= 'a' && *s <= 'z') || *s == '_')) return false;
  for (++s; *s != '\0'; ++s) {
    bool ok = (*s >= 'A' && *s <= 'Z') || (*s >= 'a' && *s <= 'z') || (*s >= '0' && *s <= '9') ||
              *s == '_';
    if (!ok) return false;
  }
  return true;
}

void DefaultControl(Control* c, int number, int line) {
  std::memset(c, 0, sizeof *c);
  c->number = number;
  c->kind = Kind::Text;
  c->point_size = kDefaultPointSize;
  c->justify = 0;
  c->text_colour = kDefaultTextColour;
  c->back_colour = kDefaultBackColour;
  c->fill_colour = kDefaultFillColour;
  c->visible = true;
  c->min = static_cast<double>(INT_MIN);
  c->max = static_cast<double>(INT_MAX);
  c->line = line;
}

// The keys of the setting kinds against the control's kind.
bool FinishSettingKeys(Parser& p, Control* c) {
  if ((p.seen & (1u << kItem)) && c->kind != Kind::Dropdown) {
    return Fail(p, c->line, "control %d: 'item' is for a dropdown", c->number);
  }
  if (c->kind == Kind::Dropdown && c->item_count == 0) {
    return Fail(p, c->line, "control %d: a dropdown needs at least one 'item'", c->number);
  }
  if ((p.seen & (1u << kStep)) && c->kind != Kind::Numeric && c->kind != Kind::Float) {
    return Fail(p, c->line, "control %d: 'step' is for a numeric or float field", c->number);
  }
  if ((p.seen & (1u << kBeside)) && c->kind != Kind::Numeric) {
    return Fail(p, c->line, "control %d: 'beside' is for a numeric field", c->number);
  }
  if (c->kind == Kind::Slider &&
      (!(p.seen & (1u << kMin)) || !(p.seen & (1u << kMax)) || c->max - c->min > 65535.0)) {
    return Fail(p, c->line, "control %d: a slider needs 'min' and 'max' at most 65535 apart",
                c->number);
  }
  if (c->kind == Kind::Progress) {
    if ((p.seen & (1u << kMin)) || (p.seen & (1u << kMax))) {
      return Fail(p, c->line, "control %d: a progress bar runs from 0 to 100 (no 'min', 'max')",
                  c->number);
    }
    c->min = 0;
    c->max = 100;
  }
  return true;
}

// `item = VALUE: TEXT`, one more entry of a dropdown.
bool ItemValue(Parser& p, char* v) {
  Control* c = p.control;
  char* colon = std::strchr(v, ':');
  if (colon == nullptr) return Fail(p, p.line, "'item' must be 'VALUE: TEXT'");
  *colon = '\0';
  char* text = Trim(colon + 1);
  if (c->item_count >= kMaxItems) return Fail(p, p.line, "more than %d items", kMaxItems);
  Item* item = &c->items[c->item_count];
  if (!IntValue(p, "item value", Trim(v), INT_MIN, INT_MAX, &item->value)) return false;
  if (*text == '\0') return Fail(p, p.line, "'item' has no text");
  for (int i = 0; i < c->item_count; ++i) {
    if (c->items[i].value == item->value) {
      return Fail(p, p.line, "duplicate item value %d", item->value);
    }
  }
  if (!TextValue(p, "item", text, item->text, sizeof item->text)) return false;
  ++c->item_count;
  return true;
}

// Checks run when a control's section ends: required keys and the value against its kind.
bool FinishControl(Parser& p) {
  Control* c = p.control;
  if (c == nullptr) return true;
  p.control = nullptr;
  if (!(p.seen & (1u << kKind))) return Fail(p, c->line, "control %d has no 'kind'", c->number);
  if (!(p.seen & (1u << kRect))) return Fail(p, c->line, "control %d has no 'rect'", c->number);
  if (c->min > c->max) return Fail(p, c->line, "control %d: 'min' is above 'max'", c->number);
  if (!FinishSettingKeys(p, c)) return false;
  if (c->value[0] != '\0' && IsNumberKind(c->kind)) {
    double v = 0.0;
    if (IsIntKind(c->kind)) {
      long long n = 0;
      if (ParseInteger(c->value, &n) != Num::Ok || n < INT_MIN || n > INT_MAX) {
        return Fail(p, c->line, "control %d: 'value' must be an integer", c->number);
      }
      v = static_cast<double>(n);
    } else if (ParseDecimal(c->value, &v) != Num::Ok) {
      return Fail(p, c->line, "control %d: 'value' must be a number", c->number);
    }
    if (v < c->min || v > c->max) {
      return Fail(p, c->line, "control %d: 'value' is outside min..max", c->number);
    }
  }
  return true;
}

bool FinishPanel(Parser& p) {
  if (!FinishControl(p)) return false;
  Panel* panel = p.panel;
  if (panel == nullptr) return true;
  // The panel's own keys were checked when its first control opened or here.
  if (panel->close_control != 0 && FindControl(*panel, panel->close_control) == nullptr) {
    return Fail(p, p.close_line, "close_control %d is not a control of panel %d",
                panel->close_control, panel->number);
  }
  p.panel = nullptr;
  return true;
}

bool CheckPanelKeys(Parser& p) {
  Panel* panel = p.panel;
  if (!(p.seen & (1u << kCaption))) {
    return Fail(p, panel->line, "panel %d has no 'caption'", panel->number);
  }
  if (!(p.seen & (1u << kPanelRect))) {
    return Fail(p, panel->line, "panel %d has no 'rect'", panel->number);
  }
  return true;
}

bool OpenSection(Parser& p, char* inner) {
  char* s = Trim(inner);
  char* space = s;
  while (*space != '\0' && !IsBlank(*space)) ++space;
  if (*space == '\0') return Fail(p, p.line, "section needs a kind and a number: [panel N]");
  *space = '\0';
  char* word = s;
  char* number_text = Trim(space + 1);
  bool is_panel = std::strcmp(word, "panel") == 0;
  if (!is_panel && std::strcmp(word, "control") != 0) {
    return Fail(p, p.line, "unknown section '%.40s' (panel or control)", word);
  }
  int number = 0;
  if (!IntValue(p, is_panel ? "panel number" : "control number", number_text, 1, kMaxNumber,
                &number)) {
    return false;
  }

  if (is_panel) {
    if (p.panel != nullptr && p.control == nullptr && !CheckPanelKeys(p)) return false;
    if (!FinishPanel(p)) return false;
    Layout* layout = p.out;
    if (FindPanel(*layout, number) != nullptr) {
      return Fail(p, p.line, "duplicate panel number %d", number);
    }
    if (layout->panel_count >= kMaxPanels) {
      return Fail(p, p.line, "more than %d panels", kMaxPanels);
    }
    Panel* panel = &layout->panels[layout->panel_count++];
    std::memset(panel, 0, sizeof *panel);
    panel->number = number;
    panel->style = Style::Dialog;
    panel->background = kDefaultBackground;
    panel->line = p.line;
    p.panel = panel;
    p.control = nullptr;
    p.seen = 0;
    p.close_line = p.line;
    return true;
  }

  if (p.panel == nullptr) return Fail(p, p.line, "control section before any panel");
  if (p.control == nullptr) {
    if (!CheckPanelKeys(p)) return false;
  } else if (!FinishControl(p)) {
    return false;
  }
  Panel* panel = p.panel;
  if (FindControl(*panel, number) != nullptr) {
    return Fail(p, p.line, "duplicate control number %d in panel %d", number, panel->number);
  }
  if (panel->control_count >= kMaxControls) {
    return Fail(p, p.line, "more than %d controls in panel %d", kMaxControls, panel->number);
  }
  Control* c = &panel->controls[panel->control_count++];
  DefaultControl(c, number, p.line);
  p.control = c;
  p.seen = 0;
  return true;
}

int KeyIndex(const char* key, const char* const* keys, int count) {
  for (int i = 0; i < count; ++i) {
    if (std::strcmp(key, keys[i]) == 0) return i;
  }
  return -1;
}

bool PanelKeyValue(Parser& p, int key, char* v) {
  Panel* panel = p.panel;
  switch (key) {
    case kCaption:
      if (*v == '\0') return Fail(p, p.line, "'caption' is empty");
      return TextValue(p, "caption", v, panel->caption, sizeof panel->caption);
    case kPanelRect:
      return RectValue(p, v, &panel->left, &panel->top, &panel->width, &panel->height);
    case kStyle:
      if (std::strcmp(v, "popup") == 0) {
        panel->style = Style::Popup;
      } else if (std::strcmp(v, "dialog") == 0) {
        panel->style = Style::Dialog;
      } else {
        return Fail(p, p.line, "'style' must be popup or dialog, not '%.40s'", v);
      }
      return true;
    case kBackground:
      return ColourValue(p, "background", v, &panel->background);
    case kCloseControl:
      p.close_line = p.line;
      return IntValue(p, "close_control", v, 0, kMaxNumber, &panel->close_control);
  }
  return false;
}

bool ControlKeyValue(Parser& p, int key, char* v) {
  Control* c = p.control;
  int flag = 0;
  switch (key) {
    case kKind: {
      for (int i = 0; i < static_cast<int>(sizeof kKindNames / sizeof kKindNames[0]); ++i) {
        if (std::strcmp(v, kKindNames[i]) == 0) {
          c->kind = static_cast<Kind>(i);
          return true;
        }
      }
      return Fail(p, p.line, "unknown kind '%.40s'", v);
    }
    case kRect:
      return RectValue(p, v, &c->left, &c->top, &c->width, &c->height);
    case kLabel:
      return TextValue(p, "label", v, c->label, sizeof c->label);
    case kValue:
      return TextValue(p, "value", v, c->value, sizeof c->value);
    case kFont:
      return TextValue(p, "font", v, c->font, sizeof c->font);
    case kSize:
      return IntValue(p, "size", v, 1, 255, &c->point_size);
    case kJustify:
      if (!IntValue(p, "justify", v, 0, 32, &c->justify)) return false;
      if (c->justify != 0 && c->justify != 16 && c->justify != 32) {
        return Fail(p, p.line, "'justify' must be 0, 16 or 32");
      }
      return true;
    case kTextColour:
      return ColourValue(p, "text_colour", v, &c->text_colour);
    case kBackColour:
      return ColourValue(p, "back_colour", v, &c->back_colour);
    case kFillColour:
      return ColourValue(p, "fill_colour", v, &c->fill_colour);
    case kVisible:
      if (!IntValue(p, "visible", v, 0, 1, &flag)) return false;
      c->visible = flag != 0;
      return true;
    case kCallback:
      if (!IsIdentifier(v)) return Fail(p, p.line, "'callback' must be a function name");
      return TextValue(p, "callback", v, c->callback, sizeof c->callback);
    case kMin:
      return DoubleValue(p, "min", v, &c->min);
    case kMax:
      return DoubleValue(p, "max", v, &c->max);
    case kStep:
      if (!DoubleValue(p, "step", v, &c->step)) return false;
      if (c->step <= 0.0) return Fail(p, p.line, "'step' must be above 0");
      return true;
    case kBeside:
      if (std::strcmp(v, "key_name") != 0) {
        return Fail(p, p.line, "'beside' must be key_name, not '%.40s'", v);
      }
      c->beside = Beside::KeyName;
      return true;
    case kItem:
      return ItemValue(p, v);
  }
  return false;
}

// Cuts a trailing comment: '#' at the start of the line or after a blank, outside quotes.
void StripComment(char* s) {
  bool quoted = false;
  for (char* c = s; *c != '\0'; ++c) {
    if (*c == '"') {
      quoted = !quoted;
    } else if (*c == '#' && !quoted && (c == s || IsBlank(c[-1]))) {
      *c = '\0';
      return;
    }
  }
}

bool KeyLine(Parser& p, char* s) {
  char* eq = std::strchr(s, '=');
  if (eq == nullptr) return Fail(p, p.line, "expected 'key = value'");
  *eq = '\0';
  char* key = Trim(s);
  char* value = Trim(eq + 1);
  if (*key == '\0') return Fail(p, p.line, "missing key before '='");
  if (p.panel == nullptr) return Fail(p, p.line, "key '%.40s' outside a section", key);
  // A value in double quotes is taken as it stands (blanks and '#' included).
  size_t n = std::strlen(value);
  bool quoted = n > 0 && value[0] == '"';
  if (quoted) {
    if (n < 2 || value[n - 1] != '"') return Fail(p, p.line, "unterminated quoted value");
    value[n - 1] = '\0';
    ++value;
    if (std::strchr(value, '"') != nullptr) return Fail(p, p.line, "stray '\"' in value");
  } else if (n == 0) {
    return Fail(p, p.line, "missing value for '%.40s'", key);
  }

  bool in_control = p.control != nullptr;
  int index = in_control ? KeyIndex(key, kControlKeys, kControlKeyCount)
                         : KeyIndex(key, kPanelKeys, kPanelKeyCount);
  if (index < 0) {
    return Fail(p, p.line, "unknown key '%.40s' in a %s section", key,
                in_control ? "control" : "panel");
  }
  const bool repeatable = in_control && index == kItem;
  if ((p.seen & (1u << index)) && !repeatable) {
    return Fail(p, p.line, "duplicate key '%s'", key);
  }
  p.seen |= 1u << index;
  return in_control ? ControlKeyValue(p, index, value) : PanelKeyValue(p, index, value);
}

}  // namespace

bool Parse(const char* text, size_t size, const char* name, Layout* out, Error* error) {
  if (error != nullptr) std::memset(error, 0, sizeof *error);
  Parser p{name, out, error, 0, nullptr, nullptr, 0, 0};
  if (out == nullptr) return Fail(p, 0, "no layout to fill");
  out->panel_count = 0;
  if (text == nullptr && size > 0) return Fail(p, 0, "no input");

  char buf[kLineMax + 1];
  size_t pos = 0;
  bool ok = true;
  while (ok && pos < size) {
    ++p.line;
    size_t end = pos;
    while (end < size && text[end] != '\n') ++end;
    size_t next = end < size ? end + 1 : end;  // the last line may lack its line end
    size_t len = end - pos;
    if (len > 0 && text[end - 1] == '\r') --len;  // CR LF
    if (len > static_cast<size_t>(kLineMax)) {
      ok = Fail(p, p.line, "line longer than %d characters", kLineMax);
      break;
    }
    for (size_t i = 0; i < len; ++i) {
      unsigned char c = static_cast<unsigned char>(text[pos + i]);
      if (c == 0) {
        ok = Fail(p, p.line, "NUL byte in the file");
        break;
      }
      if (c < 0x20 && c != '\t') {
        ok = Fail(p, p.line, "control character 0x%02X in the line", c);
        break;
      }
    }
    if (!ok) break;
    std::memcpy(buf, text + pos, len);
    buf[len] = '\0';
    pos = next;

    StripComment(buf);
    char* s = Trim(buf);
    if (*s == '\0') continue;
    if (*s == '[') {
      size_t n = std::strlen(s);
      if (s[n - 1] != ']') {
        ok = Fail(p, p.line, "section header must end with ']'");
        break;
      }
      s[n - 1] = '\0';
      ok = OpenSection(p, s + 1);
    } else {
      ok = KeyLine(p, s);
    }
  }
  if (ok) {
    if (p.panel != nullptr && p.control == nullptr) ok = CheckPanelKeys(p);
    ok = ok && FinishPanel(p);
  }
  if (ok && out->panel_count == 0) ok = Fail(p, 0, "no panels in the file");
  if (!ok) out->panel_count = 0;
  return ok;
}

bool ReadFile(const char* path, Layout* out, Error* error) {
  // Two threads may load panels at once; the buffer is large, so it is static and shared.
  static std::mutex mutex;
  static char buffer[kFileMax + 1];
  std::lock_guard<std::mutex> lock(mutex);

  Parser p{path, out, error, 0, nullptr, nullptr, 0, 0};
  if (error != nullptr) std::memset(error, 0, sizeof *error);
  if (out != nullptr) out->panel_count = 0;
  if (path == nullptr || *path == '\0') return Fail(p, 0, "no file name");
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return Fail(p, 0, "cannot open the file");
  size_t size = std::fread(buffer, 1, sizeof buffer, f);
  bool read_error = std::ferror(f) != 0;
  std::fclose(f);
  if (read_error) return Fail(p, 0, "cannot read the file");
  if (size > kFileMax) return Fail(p, 0, "file larger than %d bytes", static_cast<int>(kFileMax));
  return Parse(buffer, size, path, out, error);
}

void FormatError(const Error& error, char* out, size_t size) {
  if (out == nullptr || size == 0) return;
  if (error.line > 0) {
    std::snprintf(out, size, "%s:%d: %s", error.file, error.line, error.reason);
  } else {
    std::snprintf(out, size, "%s: %s", error.file, error.reason);
  }
}

const Panel* FindPanel(const Layout& layout, int number) {
  for (int i = 0; i < layout.panel_count && i < kMaxPanels; ++i) {
    if (layout.panels[i].number == number) return &layout.panels[i];
  }
  return nullptr;
}

const Control* FindControl(const Panel& panel, int number) {
  for (int i = 0; i < panel.control_count && i < kMaxControls; ++i) {
    if (panel.controls[i].number == number) return &panel.controls[i];
  }
  return nullptr;
}

bool IsIntKind(Kind kind) {
  return kind == Kind::Numeric || kind == Kind::Checkbox || kind == Kind::Dropdown ||
         kind == Kind::Colour || kind == Kind::Slider || kind == Kind::Progress;
}

bool IsNumberKind(Kind kind) {
  return IsIntKind(kind) || kind == Kind::Float;
}

const char* KindName(Kind kind) {
  int i = static_cast<int>(kind);
  if (i < 0 || i >= static_cast<int>(sizeof kKindNames / sizeof kKindNames[0])) return "?";
  return kKindNames[i];
}

}  // namespace uir
