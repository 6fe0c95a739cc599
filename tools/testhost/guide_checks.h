// The test host's checks of the guide window through Win32 calls: the programme on air and the
// next one (times, titles, texts, description with items, genre, age rating) read back with
// GetWindowTextW, Czech and Chinese among them, and the window following a programme change
// while it is open; a screenshot of it.
#pragma once

#include <string>

namespace testhost {

struct Plugin;

// --guide-ts FILE, --guide-ts-later FILE, --guide-sid N, --expect-guide FILE,
// --expect-guide-later FILE, --guide-shot-request F, --guide-shot-done F. An expectation file
// has one line per control: its number, a tab, its text in UTF-8 with "\n" for a line break.
// True when `key` is one of them (taken).
bool GuideWindowOption(const std::string& key, const char* value);

// Tunes the guide's service, feeds its stream, opens the guide from the menu and compares every
// control; then feeds the later stream while the window is open and compares again. Nothing
// when --guide-ts was not given.
void CheckGuideWindow(const Plugin& plugin);

}  // namespace testhost
