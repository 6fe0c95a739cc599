// The guide window: channel name, and the programme on air and the next one with their times,
// titles, texts, descriptions, genres and age ratings.
#pragma once

#include <cstddef>

#include "guide/event_reader.h"

// Fills, shows and places the guide; from the menu also runs the event loop until its button.
void OpenGuide(bool from_menu);
int EPGOK(int panel, int control, int event, void* callback_data, int data1, int data2);
// The display timer hid the guide (the display cycle of the O key ended).
void GuideClosed();
// Called on every timer tick: while the guide is open, fills it again in place when what it
// shows has changed (a new version of the present/following table, a description completed, a
// channel change). Costs an atomic load otherwise.
void RefreshGuide();
void ResetGuideWindowState();

// The texts the window shows for one event (exposed for the tests):
// "20:00–20:45 (45 min)" in the time base of the programme lines; the start alone when the
// duration is not known.
void GuideTimesText(const EventRecord& e, char* out, size_t size);
// The extended description, then one "description: item" line per item.
void GuideDescriptionText(const EventRecord& e, char* out, size_t size);
// The genres by their names, "; " between them, each once.
void GuideGenreText(const EventRecord& e, char* out, size_t size);
// The age rating of the viewer's country (`country`, ISO 3166 alpha-3, may be "") where the
// event gives several, else the first: "12+", or the broadcaster's own value.
void GuideAgeText(const EventRecord& e, const char* country, char* out, size_t size);
