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
// attributes are integers. The document is UTF-8, as JSON wants it, and so are the plug-in's
// texts (the EIT reader decodes the broadcast's character tables): a well-formed UTF-8 character
// is written as it is, '"' and '\\' behind a backslash, control characters and DEL as \u00XX.
// A byte that is no part of a well-formed UTF-8 character (an 8-bit text that did not come
// through the decoder, such as a channel name in the host's code page) is never dropped or
// replaced: it is written as \u00XX, its Latin-1 reading, which keeps the JSON valid and the
// text readable. In the file the two stay apart: a raw "é" was UTF-8, an escaped \u00e9 was
// the single byte 0xE9. "value" is
// null for a control that never had one; "window" is null for a panel without a window (not
// loaded, or discarded).
#pragma once

#include <string>

#include "platform/os.h"

namespace jsondump {

// A JSON string literal of the UTF-8 text `text` (NUL-terminated), quotes included; bytes
// outside well-formed UTF-8 as \u00XX (see above).
std::string Quote(const char* text);

// The whole document; `host_window` is the simulated host's main window (focus check);
// `menu_id` the host menu item selected before (0: none).
std::string DisplayJson(HWND host_window, unsigned menu_id = 0);

// Writes DisplayJson to `path`. False with a message in `error` when the file cannot be written.
bool WriteDisplayJson(const char* path, HWND host_window, std::string* error, unsigned menu_id = 0);

}  // namespace jsondump
