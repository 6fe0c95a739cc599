// The guide window: channel name, and the programme on air and the next one with their times,
// titles, texts, descriptions, genres and age ratings.
#pragma once

#include <cstddef>
#include <cstdint>

#include "guide/event_reader.h"
#include "guide/schedule.h"

// Fills, shows and places the guide; from the menu also runs the event loop until its button.
void OpenGuide(bool from_menu);
int EPGOK(int panel, int control, int event, void* callback_data, int data1, int data2);
// The display timer hid the guide (the display cycle of the O key ended).
void GuideClosed();
// Called on every timer tick: while the guide is open, fills it again in place when what it
// shows has changed (a new version of the present/following table, a description completed, a
// schedule section, a channel change) and when the minute of the clock moves on. Costs an
// atomic load while the guide is closed.
void RefreshGuide();
void ResetGuideWindowState();

// The texts the window shows for one event (exposed for the tests):
// "20:00–20:45 (45 min)" in the time base of the programme lines; the start alone when the
// duration is not known.
void GuideTimesText(const EventRecord& e, char* out, size_t size);
// The list under now and next, from the schedule table in start order (`entries`): one
// "21:30  Title" line (start in the programme lines' time base) per event that starts from the
// next programme's start (`following`, or `present` where there is none; either may be null)
// and within twelve hours of `now` (UTC seconds), has not ended by `now`, and is neither of the
// two shown above. Events without a start are not listed.
void GuideScheduleText(const ScheduleEntry* entries, int count, const EventRecord* present,
                       const EventRecord* following, int64_t now, char* out, size_t size);
// The extended description, then one "description: item" line per item.
void GuideDescriptionText(const EventRecord& e, char* out, size_t size);
// The genres by their names, "; " between them, each once.
void GuideGenreText(const EventRecord& e, char* out, size_t size);
// The age rating of the viewer's country (`country`, ISO 3166 alpha-3, may be "") where the
// event gives several, else the first: "12+", or the broadcaster's own value.
void GuideAgeText(const EventRecord& e, const char* country, char* out, size_t size);
