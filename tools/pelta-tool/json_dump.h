// display.json: what the plug-in has left on the simulated desktop after a channel change,
// for `pelta-tool show`, its tests and demos.
//
// Shape (keys relied on by tests and tools; extra keys may be added, never renamed):
//
//   {"display": {"window": {"x", "y", "width", "height", "visible", "topmost", "layered",
//                           "alpha"},
//                "visible": bool,
//                "controls": {"<number>": {"kind", "value", "visible", "attrs": {"<code>": v}}}},
//    "guide": {"visible", "window": {...}, "controls": {...}},
//    "settings": {...}, "about": {...}          (the two dialogs' panels, same shape)
//    "menu": {"id", "loop_ended_by_button"}     (only when a menu item was selected)
//    "host": {"kind", "top_window": bool, "commands": [{"code", "name", "param"}]},
//    "eitstate", "tick_count", "display_active", "start_key_sent",
//    "keys_sent": [{"vk", "scan", "flags"}], "cursor": [x, y], "focus_host": bool,
//    "message_boxes": [{"caption", "text", "type"}]}
//
// Control numbers and attribute codes are decimal object keys; colours and other numeric
// attributes are integers; texts are strings with every byte above 0x7E and below 0x20 written
// as \u00XX (Latin-1 style), so the plug-in's 8-bit texts survive byte for byte. "value" is
// null for a control that never had one; "window" is null for a panel without a window (not
// loaded, or discarded).
#pragma once

#include <string>

#include "platform/os.h"

namespace jsondump {

// A JSON string literal of the bytes of `text` (NUL-terminated), quotes included.
std::string Quote(const char* text);

// The whole document; `host_window` is the simulated host's main window (focus check);
// `menu_id` the host menu item selected before (0: none).
std::string DisplayJson(HWND host_window, unsigned menu_id = 0);

// Writes DisplayJson to `path`. False with a message in `error` when the file cannot be written.
bool WriteDisplayJson(const char* path, HWND host_window, std::string* error, unsigned menu_id = 0);

}  // namespace jsondump
