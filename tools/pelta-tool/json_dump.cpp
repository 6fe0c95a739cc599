// display.json from the simulated desktop and the headless panels (see json_dump.h).
#include "json_dump.h"

#include <cstdio>
#include <memory>

#include "display/discovery.h"
#include "display/timer.h"
#include "guide/eit.h"
#include "harness.h"
#include "host/entry.h"
#include "panels/memory/memory_panels.h"
#include "panels/panels.h"
#include "platform/sim/sim.h"
#include "shared/commands.h"

namespace jsondump {

namespace {

const char* CommandName(UINT code) {
  switch (code) {
    case CMD_START_FILTER:
      return "start_filter";
    case CMD_STOP_FILTER:
      return "stop_filter";
    case CMD_SIGNAL_QUERY:
      return "signal_query";
    default:
      return "other";
  }
}

const char* Bool(bool b) {
  return b ? "true" : "false";
}

std::string Int(long long v) {
  return std::to_string(v);
}

std::string Window(HWND hwnd) {
  sim::WindowInfo info;
  if (hwnd == nullptr || !sim::GetInfo(hwnd, &info)) return "null";
  const bool layered = (info.exstyle & WS_EX_LAYERED) != 0;
  const int alpha = layered && info.layered_attrs_set ? info.alpha : 255;
  return std::string("{\"x\": ") + Int(info.rect.left) + ", \"y\": " + Int(info.rect.top) +
         ", \"width\": " + Int(info.rect.right - info.rect.left) +
         ", \"height\": " + Int(info.rect.bottom - info.rect.top) +
         ", \"visible\": " + Bool(info.visible) + ", \"topmost\": " + Bool(info.topmost) +
         ", \"layered\": " + Bool(layered) + ", \"alpha\": " + Int(alpha) +
         ", \"title\": " + Quote(info.title) + "}";
}

std::string Value(const mem::ControlState& c) {
  if (!c.has_value) return "null";
  if (uir::IsIntKind(c.layout.kind)) return Int(c.int_value);
  switch (c.layout.kind) {
    case uir::Kind::Float: {
      char text[64];
      std::snprintf(text, sizeof text, "%.17g", c.float_value);
      return text;
    }
    default:
      return Quote(c.text);
  }
}

bool Visible(const mem::ControlState& c) {
  for (int i = 0; i < c.attr_count; ++i) {
    if (c.attrs[i].code == ATTR_VISIBLE && !c.attrs[i].is_text) return c.attrs[i].number != 0;
  }
  return c.layout.visible;
}

// A dropdown's entries as it lists them: `, "items": [{"value": V, "text": T}, ...]`.
std::string Items(const mem::ControlState& c) {
  if (c.layout.kind != uir::Kind::Dropdown) return "";
  std::string out = ", \"items\": [";
  char text[uir::kItemMax + 16];
  int value = 0;
  for (int i = 0; model::ListEntry(c, i, text, sizeof text, &value); ++i) {
    out += std::string(i > 0 ? ", " : "") + "{\"value\": " + Int(value) +
           ", \"text\": " + Quote(text) + "}";
  }
  return out + "]";
}

// One line per control: {"kind", "value", "items" (a dropdown's), "visible", "attrs"} with the
// attributes the plug-in set, in the order it first set them.
std::string Controls(const mem::PanelState& panel, const char* indent) {
  std::string out = "{";
  for (int i = 0; i < panel.control_count; ++i) {
    const mem::ControlState& c = panel.controls[i];
    out += i == 0 ? "\n" : ",\n";
    out += indent;
    out += "\"" + Int(c.layout.number) + "\": {\"kind\": \"" + uir::KindName(c.layout.kind) +
           "\", \"value\": " + Value(c) + Items(c) + ", \"visible\": " + Bool(Visible(c)) +
           ", \"attrs\": {";
    for (int a = 0; a < c.attr_count; ++a) {
      const mem::AttrValue& attr = c.attrs[a];
      if (a > 0) out += ", ";
      out += "\"" + Int(attr.code) + "\": " + (attr.is_text ? Quote(attr.text) : Int(attr.number));
    }
    out += "}}";
  }
  return out + "}";
}

// "{"visible": ..., "window": ..., "controls": {...}}" for a panel handle (maybe not loaded).
std::string Panel(int handle, const char* indent) {
  auto state = std::make_unique<mem::PanelState>();
  if (handle <= 0 || !mem::Snapshot(handle, state.get())) {
    return "{\"loaded\": false, \"visible\": false, \"window\": null, \"controls\": {}}";
  }
  return std::string("{\"loaded\": true, \"visible\": ") + Bool(state->visible) +
         ",\n  \"window\": " + Window(state->window) +
         ",\n  \"controls\": " + Controls(*state, indent) + ",\n  \"dpi\": " + Int(state->dpi) +
         "}";
}

// The simulated desktop's monitors as the tool was given them, and the host's DPI awareness
// (DPI_AWARENESS: 0 unaware, 1 system, 2 per monitor).
std::string Monitors() {
  std::string out = "\"monitors\": [";
  sim::Monitor m{};
  for (int i = 0; sim::MonitorAt(i, &m); ++i) {
    out += std::string(i > 0 ? ", " : "") + "{\"x\": " + Int(m.rect.left) +
           ", \"y\": " + Int(m.rect.top) + ", \"width\": " + Int(m.rect.right - m.rect.left) +
           ", \"height\": " + Int(m.rect.bottom - m.rect.top) + ", \"dpi\": " + Int(m.dpi) +
           ", \"primary\": " + Bool(m.primary) + "}";
  }
  return out + "], \"dpi_awareness\": " + Int(sim::DpiAwareness()) + ",\n";
}

}  // namespace

namespace {

// The length of the well-formed UTF-8 sequence at `p` (Unicode 3.9, table 3-7: no overlong
// forms, no surrogates, nothing above U+10FFFF), 0 when the bytes there are not one.
size_t Utf8Sequence(const unsigned char* p) {
  const unsigned char b = p[0];
  size_t need = 0;
  unsigned char low = 0x80, high = 0xBF;
  if (b >= 0xC2 && b <= 0xDF) {
    need = 1;
  } else if (b >= 0xE0 && b <= 0xEF) {
    need = 2;
    if (b == 0xE0) low = 0xA0;
    if (b == 0xED) high = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    need = 3;
    if (b == 0xF0) low = 0x90;
    if (b == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  for (size_t k = 1; k <= need; ++k) {  // a NUL ends the text and fails the range check
    if (p[k] < (k == 1 ? low : 0x80) || p[k] > (k == 1 ? high : 0xBF)) return 0;
  }
  return need + 1;
}

}  // namespace

std::string Quote(const char* text) {
  std::string out = "\"";
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  while (*p != 0) {
    const unsigned char c = *p;
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      ++p;
      continue;
    }
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
      ++p;
      continue;
    }
    const size_t n = c >= 0x80 ? Utf8Sequence(p) : 0;
    if (n > 0) {  // a whole UTF-8 character: as it is
      out.append(reinterpret_cast<const char*>(p), n);
      p += n;
      continue;
    }
    if (c == '\n') {  // the line breaks of a description, as JSON writes them
      out += "\\n";
      ++p;
      continue;
    }
    // A control character, or a byte that is no part of a UTF-8 character: \u00XX.
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
    out += escaped;
    ++p;
  }
  return out + "\"";
}

std::string DisplayJson(HWND host_window, unsigned menu_id) {
  std::string out = "{\"display\": " + Panel(pnlDisplay, "    ") + ",\n";
  out += "\"guide\": " + Panel(pnlGuide, "    ") + ",\n";
  out += "\"settings\": " + Panel(pnlSettings, "    ") + ",\n";
  out += "\"about\": " + Panel(pnlAbout, "    ") + ",\n";
  if (menu_id != 0) {
    out += "\"menu\": {\"id\": " + Int(menu_id) +
           ", \"loop_ended_by_button\": " + Bool(mem::LastLoopEndedByQuit()) + "},\n";
  }

  out += Monitors();
  out += "\"host\": {\"kind\": " + Int(HostKind.load()) +
         ", \"top_window\": " + Bool(HostTopWnd.load() != nullptr) + ", \"commands\": [";
  for (int i = 0; i < harness::command_count && i < harness::kMaxCommands; ++i) {
    const harness::Command& c = harness::commands[i];
    if (i > 0) out += ", ";
    out +=
        "{\"code\": " + Int(c.code) + ", \"name\": \"" + CommandName(c.code) +
        "\", \"param\": " + Int(c.code == CMD_STOP_FILTER ? static_cast<long long>(c.param) : 0) +
        "}";
  }
  out += "]},\n";

  out += "\"eitstate\": " + Int(eitstate.load()) + ", \"tick_count\": " + Int(TickCount.load()) +
         ", \"display_active\": " + Int(DisplayActive.load()) +
         ", \"start_key_sent\": " + Int(StartKeySent.load()) + ",\n";

  out += "\"keys_sent\": [";
  for (int i = 0; i < sim::KeyEventCount(); ++i) {
    const sim::KeyEventEntry* k = sim::KeyEventAt(i);
    if (i > 0) out += ", ";
    out += "{\"vk\": " + Int(k->vk) + ", \"scan\": " + Int(k->scan) +
           ", \"flags\": " + Int(k->flags) + "}";
  }
  out += "],\n";

  const POINT cursor = sim::CursorPos();
  out += "\"cursor\": [" + Int(cursor.x) + ", " + Int(cursor.y) +
         "], \"focus_host\": " + Bool(host_window != nullptr && sim::FocusWindow() == host_window) +
         ",\n";

  out += "\"message_boxes\": [";
  for (int i = 0; i < sim::MessageBoxCount(); ++i) {
    const sim::MessageBoxEntry* box = sim::MessageBoxAt(i);
    if (i > 0) out += ", ";
    out += "{\"caption\": " + Quote(box->caption) + ", \"text\": " + Quote(box->text) +
           ", \"type\": " + Int(box->type) + "}";
  }
  out += "]}\n";
  return out;
}

bool WriteDisplayJson(const char* path, HWND host_window, std::string* error, unsigned menu_id) {
  const std::string json = DisplayJson(host_window, menu_id);
  std::FILE* f = std::fopen(path, "wb");
  if (f == nullptr) {
    *error = std::string("cannot write ") + path;
    return false;
  }
  const bool written = std::fwrite(json.data(), 1, json.size(), f) == json.size();
  if (std::fclose(f) != 0 || !written) {
    *error = std::string("cannot write ") + path;
    return false;
  }
  return true;
}

}  // namespace jsondump
