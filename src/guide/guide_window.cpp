// The guide window: the current channel's name, and the programme on air and the next one.
//
// Opened from the host's menu it runs an event loop of its own panel until its button; opened by
// the O key (from the display timer, OpenGuideByKey) it runs none and is hidden when the display
// cycle ends. Its button ends only the guide's own loop: pressed on a guide the O key opened
// while the Settings or About dialog runs its loop, it hides the guide and ends nothing else.
//
// Control 3 holds the present event's description as the programme lines have it (nowdesc); the
// other controls show the records the EIT reader keeps of both events (guide/event_reader.h).
// Below them control 19 lists what follows, from the schedule table (guide/schedule.h).
// While the window is open the timer's tick compares GuideSerial with the serial of what the
// window shows and fills it again, in place, when the broadcast has brought something new, and
// each minute, so that a programme that has ended leaves the list.
#include "guide/guide_window.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "guide/dvb_text.h"
#include "guide/eit.h"
#include "guide/genres.h"
#include "guide/schedule.h"
#include "panels/panels.h"
#include "settings/settings.h"
#include "shared/channel.h"
#include "shared/controls.h"
#include "shared/state.h"

namespace {

constexpr int kGuideWidth = 460;  // the window, caption and frame included
constexpr int kGuideHeight = 710;
constexpr int64_t kListAhead = int64_t{12} * 3600;  // the list looks twelve hours ahead

std::atomic<bool> guideopen{false};
std::atomic<uint32_t> shownserial{0};
std::atomic<int64_t> shownminute{0};

// Appends `text` to `out` (`size` bytes, holding `*length`), cut at a character boundary.
void Append(char* out, size_t size, size_t* length, const char* text) {
  if (*length + 1 >= size) return;
  std::snprintf(out + *length, size - *length, "%s", text);
  *length += std::strlen(out + *length);
  if (*length + 1 >= size) *length = DropCutUtf8Tail(out, size);
}

// A text for a one-line control: line breaks and other control characters as blanks.
void OneLine(const char* text, char* out, size_t size) {
  std::snprintf(out, size, "%s", text);
  DropCutUtf8Tail(out, size);
  for (char* c = out; *c != '\0'; ++c) {
    if (static_cast<unsigned char>(*c) < 0x20) *c = ' ';
  }
}

void FillEvent(int panel, const GuideEventControls& c, const EventRecord& e, bool have,
               const char* country) {
  char text[kExtendedTextMax + kItemPoolMax];
  if (have) {
    GuideTimesText(e, text, sizeof text);
  } else {
    text[0] = '\0';  // nothing read for this channel yet
  }
  SetCtrlVal(panel, c.times, text);
  OneLine(e.name, text, sizeof text);
  SetCtrlVal(panel, c.title, text);
  if (c.text != kGuideTextBox) {  // control 3 keeps the strip's description
    ResetTextBox(panel, c.text, e.text);
  }
  GuideDescriptionText(e, text, sizeof text);
  ResetTextBox(panel, c.description, text);
  GuideGenreText(e, text, sizeof text);
  SetCtrlVal(panel, c.genre, text);
  GuideAgeText(e, country, text, sizeof text);
  SetCtrlVal(panel, c.age, text);
}

void FillGuide(int guide) {
  // About 50 KiB: on the caller's stack, so that the menu's and the timer's callers never share
  // it.
  GuideContent content;
  CopyGuideContent(&content);
  shownserial = content.serial;
  const int64_t now = UtcNow();
  shownminute = now / 60;
  char name[kChannelNameField + 1];
  CurrentChannelName(name, sizeof name);
  SetCtrlVal(guide, kGuideChannelName, name);
  ResetTextBox(guide, kGuideTextBox, "");
  SetCtrlVal(guide, kGuideTextBox, content.desc);
  char country[4];
  if (!UserCountry(country, sizeof country)) country[0] = '\0';
  FillEvent(guide, kGuidePresent, content.events[0], content.have[0], country);
  FillEvent(guide, kGuideFollowing, content.events[1], content.have[1], country);
  ScheduleEntry entries[kScheduleEvents];
  const int count = CopySchedule(entries, kScheduleEvents);
  char list[8192];
  GuideScheduleText(entries, count, content.have[0] ? &content.events[0] : nullptr,
                    content.have[1] ? &content.events[1] : nullptr, now, list, sizeof list);
  ResetTextBox(guide, kGuideSchedule, list);
}

}  // namespace

void GuideTimesText(const EventRecord& e, char* out, size_t size) {
  if (size == 0) return;
  out[0] = '\0';
  const bool local = LocalTime.load() != 0;
  const int32_t offset = HourOffset.load();
  char start[16];
  FormatStartTime(e.times, local, offset, start, sizeof start);
  char end[16];
  if (!FormatEndTime(e.times, local, offset, end, sizeof end)) {
    std::snprintf(out, size, "%s", start);
    return;
  }
  std::snprintf(out, size, "%s\xE2\x80\x93%s (%d min)", start, end,
                static_cast<int>((e.times.duration + 30) / 60));
}

void GuideScheduleText(const ScheduleEntry* entries, int count, const EventRecord* present,
                       const EventRecord* following, int64_t now, char* out, size_t size) {
  if (size == 0) return;
  out[0] = '\0';
  size_t length = 0;
  const bool local = LocalTime.load() != 0;
  const int32_t offset = HourOffset.load();
  // The list begins where the next programme does (the one on air where no next is known).
  int64_t from = INT64_MIN;
  const EventRecord* last = following != nullptr ? following : present;
  if (last != nullptr && !StartUtc(last->times, &from)) from = INT64_MIN;
  for (int i = 0; i < count; ++i) {
    const ScheduleEntry& e = entries[i];
    if ((present != nullptr && e.event_id == present->event_id) ||
        (following != nullptr && e.event_id == following->event_id)) {
      continue;
    }
    int64_t start = 0;
    if (!StartUtc(e.times, &start) || start < from || start >= now + kListAhead) continue;
    if (e.times.duration != kUnknownDuration && start + e.times.duration <= now) continue;
    char time[16];
    FormatStartTime(e.times, local, offset, time, sizeof time);
    char title[kEventTextMax];
    OneLine(e.name, title, sizeof title);
    if (length > 0) Append(out, size, &length, "\n");
    Append(out, size, &length, time);
    Append(out, size, &length, "  ");
    Append(out, size, &length, title);
  }
}

void GuideDescriptionText(const EventRecord& e, char* out, size_t size) {
  if (size == 0) return;
  out[0] = '\0';
  size_t length = 0;
  Append(out, size, &length, e.extended);
  for (int i = 0; i < e.item_count; ++i) {
    if (length > 0 && out[length - 1] != '\n') Append(out, size, &length, "\n");
    Append(out, size, &length, ItemDescription(e, i));
    Append(out, size, &length, ": ");
    Append(out, size, &length, ItemText(e, i));
  }
}

void GuideGenreText(const EventRecord& e, char* out, size_t size) {
  if (size == 0) return;
  out[0] = '\0';
  size_t length = 0;
  for (int i = 0; i < e.content_count; ++i) {
    bool repeated = false;
    for (int k = 0; k < i; ++k) {
      repeated = repeated || (e.content[k].level1 == e.content[i].level1 &&
                              e.content[k].level2 == e.content[i].level2);
    }
    char name[96];
    if (repeated || !GenreName(e.content[i].level1, e.content[i].level2, name, sizeof name)) {
      continue;
    }
    if (length > 0) Append(out, size, &length, "; ");
    Append(out, size, &length, name);
  }
}

void GuideAgeText(const EventRecord& e, const char* country, char* out, size_t size) {
  if (size == 0) return;
  out[0] = '\0';
  if (e.rating_count == 0) return;
  int chosen = 0;
  for (int i = 0; i < e.rating_count && country != nullptr && country[0] != '\0'; ++i) {
    bool same = true;
    for (int k = 0; k < 3; ++k) {
      same = same && (e.ratings[i].country[k] | 0x20) == (country[k] | 0x20);
    }
    if (same) {
      chosen = i;
      break;
    }
  }
  AgeRatingText(e.ratings[chosen].rating, out, size);
}

void OpenGuide(bool from_menu) {
  const int guide = pnlGuide;
  if (from_menu && PanelLoopRuns(guide)) {  // already open from the menu: to the front
    DisplayPanel(guide);
    SetActivePanel(guide);
    return;
  }
  DisplayPanel(guide);
  FillGuide(guide);
  guideopen = true;
  if (from_menu) SetActivePanel(guide);
  PlacePanelWindow(guide, 50, 50, kGuideWidth, kGuideHeight);
  // As a dialog's: a loop the host's WM_QUIT ended hides the window it ran for.
  if (from_menu && RunUserInterface(guide) < 0) {
    HidePanel(guide);
    guideopen = false;
  }
}

int EPGOK(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  HidePanel(pnlGuide);
  guideopen = false;
  QuitUserInterface(pnlGuide);
  return 0;
}

void GuideClosed() {
  guideopen = false;
}

void RefreshGuide() {
  if (!guideopen.load()) return;
  if (GuideSerial.load() == shownserial.load() && UtcNow() / 60 == shownminute.load()) return;
  FillGuide(pnlGuide);
}

void ResetGuideWindowState() {
  guideopen = false;
  shownserial = 0;
  shownminute = 0;
}
