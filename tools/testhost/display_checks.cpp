// The strip on a channel change as a user sees it: where it lies, its window styles, its texts
// and indicators, the host commands it sent, the programme lines from the EIT feed, the display
// time, a programme change, Unicode texts, and the P and O keys.
#include <windows.h>

#include <climits>
#include <cstdio>
#include <cstring>

#include "programme_times_checks.h"
#include "testhost.h"

namespace testhost {

// The name and programme lines end at least 8 pixels left of the leftmost visible control of the
// strip's right-hand group (frame, indicators, tuning labels, time): window rectangles.
void CheckTextsClearOfIndicators(const char* when) {
  HWND osd = FindWindowA(nullptr, "Pelta");
  LONG leftmost = LONG_MAX;
  int which = 0;
  for (int control : {12, 15, 14, 13, 4, 5, 6, 7}) {
    HWND child = osd != nullptr ? GetDlgItem(osd, control) : nullptr;
    RECT r;
    if (child != nullptr && IsWindowVisible(child) && GetWindowRect(child, &r) &&
        r.left < leftmost) {
      leftmost = r.left;
      which = control;
    }
  }
  for (int control : {8, 10, 11}) {
    HWND child = osd != nullptr ? GetDlgItem(osd, control) : nullptr;
    RECT r{};
    const bool got = child != nullptr && GetWindowRect(child, &r);
    char name[96];
    std::snprintf(name, sizeof name, "%s: control %d ends 8 px left of the indicators", when,
                  control);
    Check(got && which != 0 && r.right <= leftmost - 8, name,
          "right edge %ld, control %d starts at %ld", r.right, which, leftmost);
  }
}

// The channel-change display: placement, window styles, texts, indicators, host commands.
void CheckChannelChange(const Plugin& plugin) {
  const Options& o = g_options;
  g_step = "channel change";
  plugin.on_channel(MakeChannel(o.channel));
  HWND osd = FindWindowA(nullptr, "Pelta");
  Check(osd != nullptr && IsWindowVisible(osd), "channel change shows the \"Pelta\" window");
  RECT video;
  GetWindowRect(g_video, &video);
  RECT got = {};
  if (osd != nullptr) GetWindowRect(osd, &got);
  const RECT want{video.left + 30, video.bottom - (o.height + 40), video.right - 30,
                  video.bottom - 40};
  Check(EqualRect(&got, &want), "display strip placed along the bottom of the video window",
        "got %ld,%ld-%ld,%ld want %ld,%ld-%ld,%ld", got.left, got.top, got.right, got.bottom,
        want.left, want.top, want.right, want.bottom);
  const LONG ex = osd != nullptr ? GetWindowLongA(osd, GWL_EXSTYLE) : 0;
  Check((ex & WS_EX_TOPMOST) != 0, "display window is topmost");
  BYTE alpha = 0;
  DWORD flags = 0;
  COLORREF key = 0;
  const bool layered = (ex & WS_EX_LAYERED) != 0 &&
                       GetLayeredWindowAttributes(osd, &key, &alpha, &flags) && (flags & LWA_ALPHA);
  if (o.alpha < 250) {
    Check(layered && alpha == o.alpha, "display window is layered with the configured alpha",
          "layered %d alpha %d flags %lu", (ex & WS_EX_LAYERED) != 0, alpha, flags);
  } else {
    Check((ex & WS_EX_LAYERED) == 0, "display window is not layered (opaque)");
  }
  Check(ControlText("Pelta", 8) == o.channel, "control 8 shows the channel name", "\"%s\"",
        ControlText("Pelta", 8).c_str());
  const std::string clock = ControlText("Pelta", 4);
  Check(clock == TimeNow(0) || clock == TimeNow(1), "control 4 shows the time of day",
        "\"%s\" at %s", clock.c_str(), TimeNow(0).c_str());
  char freq[32];
  std::snprintf(freq, sizeof freq, "%u", o.frequency / 1000);
  Check(ControlText("Pelta", 5) == freq, "control 5 shows the frequency in MHz", "\"%s\"",
        ControlText("Pelta", 5).c_str());
  Check(ControlText("Pelta", 6) == (o.polarisation == 1 || o.polarisation == 13 ? "V" : "H"),
        "control 6 shows the polarisation", "\"%s\"", ControlText("Pelta", 6).c_str());
  Check(ControlText("Pelta", 7) == "FTA", "control 7 shows the conditional-access label", "\"%s\"",
        ControlText("Pelta", 7).c_str());
  Check(CountCommands(kCmdSignalQuery) >= 1, "signal query sent to the recognised host");
  char quality[16];
  std::snprintf(quality, sizeof quality, "%d", kQuality);
  Check(ControlText("Pelta", 14) == quality, "control 14 shows the host's signal quality", "\"%s\"",
        ControlText("Pelta", 14).c_str());
  Check(ControlText("Pelta", 15) == "100", "control 15 shows the signal level", "\"%s\"",
        ControlText("Pelta", 15).c_str());
  const std::string logo = ControlText("Pelta", 9);
  const std::string channel_logo = "\\pelta_icon\\" + o.channel + ".jpg";
  Check(EndsWith(logo, channel_logo), "control 9 shows the channel's logo", "\"%s\"", logo.c_str());
  // Texts alone do not make a picture: the logo, the name and the two programme lines must be
  // visible child windows of some size within the strip, or nothing of them is ever painted.
  std::string hidden_controls;
  for (int control : {8, 9, 10, 11}) {
    HWND child = osd != nullptr ? GetDlgItem(osd, control) : nullptr;
    RECT r = {};
    if (child != nullptr) GetWindowRect(child, &r);
    RECT inside = {};
    const bool shown = child != nullptr && IsWindowVisible(child) && !IsRectEmpty(&r) &&
                       IntersectRect(&inside, &r, &got);
    if (!shown) {
      char line[96];
      std::snprintf(line, sizeof line, " %d at %ld,%ld-%ld,%ld visible %d", control, r.left, r.top,
                    r.right, r.bottom, child != nullptr && IsWindowVisible(child));
      hidden_controls += line;
    }
  }
  Check(hidden_controls.empty(), "logo, name and programme controls are visible within the strip",
        "%s", hidden_controls.c_str());
  Check(CountCommands(kCmdStartFilter) == 1, "EIT filter start command sent once");
  Check(g_filter_pid == 18 && g_filter_record[0] == kDllId && g_filter_record[1] == 0 &&
            g_filter_record[2] == 1 &&
            std::strcmp(reinterpret_cast<char*>(g_filter_record + 6), "Pelta EIT filter") == 0,
        "start-filter record: plug-in id, filter 1, PID 18, name");
  DataCallbackFn callback = nullptr;
  std::memcpy(&callback, g_filter_record + kFilterCallbackOffset, sizeof callback);
  Check(callback != nullptr, "start-filter record carries the data callback at offset 40");
  CheckTextsClearOfIndicators("first channel");
}

void CheckStripAlong(const RECT& area, const char* what) {
  HWND osd = FindWindowA(nullptr, "Pelta");
  RECT got = {};
  if (osd != nullptr) GetWindowRect(osd, &got);
  const int height = g_options.height;
  const RECT want{area.left + 30, area.bottom - (height + 40), area.right - 30, area.bottom - 40};
  char name[128];
  std::snprintf(name, sizeof name, "the strip lies along the bottom of %s", what);
  Check(osd != nullptr && IsWindowVisible(osd) && EqualRect(&got, &want), name,
        "got %ld,%ld-%ld,%ld want %ld,%ld-%ld,%ld", got.left, got.top, got.right, got.bottom,
        want.left, want.top, want.right, want.bottom);
}

// Waits for the EIT feed to reach the display and checks the two lines.
LinesShown CheckProgrammeLines() {
  const Options& o = g_options;
  g_step = "EIT lines";
  long waited = WaitFor(
      [&] { return !ControlText("Pelta", 10).empty() && !ControlText("Pelta", 11).empty(); },
      static_cast<DWORD>(o.display_ms) + 3000);
  // WaitFor looked after every tick: the current one showed them.
  const LinesShown shown{GetTickCount(), g_ticks};
  Check(waited >= 0, "programme lines reach the display from the EIT feed", "%d data calls",
        g_feed_calls.load());
  if (!o.expect_now.empty()) {
    Check(ControlText("Pelta", 10) == o.expect_now, "control 10 shows the present programme",
          "\"%s\"", ControlText("Pelta", 10).c_str());
  }
  if (!o.expect_next.empty()) {
    Check(ControlText("Pelta", 11) == o.expect_next, "control 11 shows the following programme",
          "\"%s\"", ControlText("Pelta", 11).c_str());
  }
  CheckProgressBar(&Check, o.service_id, "first channel");
  return shown;
}

// With --shot-request: asks the script outside for a screenshot while the display shows, once
// the strip and its controls have painted.
void TakeScreenshot() {
  const Options& o = g_options;
  if (o.shot_request.empty()) return;
  g_step = "screenshot";
  Pump(static_cast<DWORD>(150 * o.slow));  // let the strip paint its new lines
  // Painted means no window of the strip has an update region left.
  auto painted = [] {
    HWND strip = FindWindowA(nullptr, "Pelta");
    if (strip == nullptr || GetUpdateRect(strip, nullptr, FALSE)) return false;
    for (int control : {8, 9, 10, 11}) {
      HWND child = GetDlgItem(strip, control);
      if (child != nullptr && GetUpdateRect(child, nullptr, FALSE)) return false;
    }
    return true;
  };
  Check(WaitFor(painted, 2000) >= 0,
        "display strip and its controls painted before the screenshot");
  std::FILE* f = std::fopen(o.shot_request.c_str(), "wb");
  if (f != nullptr) std::fclose(f);
  long shot = WaitFor([&] { return FileExists(o.shot_done); }, 10000);
  Check(shot >= 0, "screenshot taken while the display is shown");
  Check(Visible("Pelta"), "display still shown after the screenshot");
}

void CheckHideAfterDisplayTime(const LinesShown& lines) {
  const Options& o = g_options;
  g_step = "hide after display time";
  const long waited =
      WaitFor([] { return !Visible("Pelta"); }, static_cast<DWORD>(o.display_ms) * 3 + 3000);
  const DWORD shown_ms = GetTickCount() - lines.at;
  Check(waited >= 0 && g_ticks - lines.tick == kHideTicks,
        "display hides one display time (51 ticks) after the lines were shown",
        "hidden %d ticks, %lu ms after the lines", g_ticks - lines.tick,
        static_cast<unsigned long>(shown_ms));
}

// A programme change while the strip is hidden: the new lines wait for the next display cycle.
void CheckProgrammeChange() {
  const Options& o = g_options;
  if (o.ts_later.empty()) return;
  g_step = "programme change";
  const bool read = ReadTsPayloads(o.ts_later, g_later_payloads);
  Check(read, "transport stream of the programme change read", "%s", o.ts_later.c_str());
  {
    std::lock_guard<std::mutex> lock(g_feed_mutex);
    g_eit_payloads.swap(g_later_payloads);
  }
  const int calls = g_feed_calls.load();
  WaitFor([&] { return g_feed_calls.load() >= calls + 4; }, 3000);
  Pump(300);
  Check(!Visible("Pelta"), "a programme change does not show the hidden strip by itself");
}

// A channel whose name comes in code page 1252 and whose programme lines are Czech (ISO/IEC
// 6937) and Chinese (two-byte table): read back through the wide API, as a Unicode program
// sees them, and photographed.
void CheckUnicodeTexts(const Plugin& plugin) {
  Options& o = g_options;
  if (o.ts_unicode.empty()) return;
  g_step = "Unicode texts";
  std::vector<unsigned char> payloads;
  Check(ReadTsPayloads(o.ts_unicode, payloads), "transport stream of the Unicode channel read",
        "%s", o.ts_unicode.c_str());
  std::string now;
  std::string next;
  Check(ReadExpectedLines(o.expect_unicode, &now, &next), "expected Unicode lines read", "%s",
        o.expect_unicode.c_str());
  {
    std::lock_guard<std::mutex> lock(g_feed_mutex);
    g_eit_payloads.swap(payloads);
  }
  o.service_id = o.unicode_sid;
  const std::string name = "T\xE9l\xE9";  // "Télé" as a host on a Western system sends it
  plugin.on_channel(MakeChannel(name));
  HWND osd = FindWindowA(nullptr, "Pelta");
  Note("ANSI code page %u", GetACP());
  const std::wstring want_name = FromCodePage(CP_ACP, name);
  const std::wstring shown_name = WideText(osd != nullptr ? GetDlgItem(osd, 8) : nullptr);
  Check(shown_name == want_name && (GetACP() != 1252 || shown_name == L"T\u00E9l\u00E9"),
        "control 8 shows the code page 1252 name through CP_ACP", "\"%s\"",
        Utf8(shown_name).c_str());
  const std::wstring want_now = FromCodePage(CP_UTF8, now);
  const std::wstring want_next = FromCodePage(CP_UTF8, next);
  HWND now_window = osd != nullptr ? GetDlgItem(osd, 10) : nullptr;
  HWND next_window = osd != nullptr ? GetDlgItem(osd, 11) : nullptr;
  WaitFor([&] { return WideText(now_window) == want_now && WideText(next_window) == want_next; },
          static_cast<DWORD>(o.display_ms) + 3000);
  Check(WideText(now_window) == want_now,
        "control 10 reads the Chinese line through GetWindowTextW", "\"%s\" want \"%s\"",
        Utf8(WideText(now_window)).c_str(), now.c_str());
  Check(WideText(next_window) == want_next,
        "control 11 reads the Czech line through GetWindowTextW", "\"%s\" want \"%s\"",
        Utf8(WideText(next_window)).c_str(), next.c_str());
  // The logo is looked up with the bytes the host sent: "T\xE9l\xE9.jpg" is the file "Télé.jpg".
  const std::wstring logo = WideText(osd != nullptr ? GetDlgItem(osd, 9) : nullptr);
  const std::wstring want_logo = L"\\pelta_icon\\" + want_name + L".jpg";
  Check(logo.size() >= want_logo.size() &&
            logo.compare(logo.size() - want_logo.size(), want_logo.size(), want_logo) == 0,
        "control 9 shows the logo named with the host's bytes", "\"%s\"", Utf8(logo).c_str());
  CheckTextsClearOfIndicators("Unicode channel");
  CheckProgressBar(&Check, o.unicode_sid, "Unicode channel");
  if (o.unicode_shot_request.empty()) return;
  Pump(150);
  std::FILE* f = std::fopen(o.unicode_shot_request.c_str(), "wb");
  if (f != nullptr) std::fclose(f);
  long shot = WaitFor([&] { return FileExists(o.unicode_shot_done); }, 10000);
  Check(shot >= 0, "screenshot of the Unicode strip taken");
}

namespace {

// Presses P and pumps until the display is up; returns the tick that saw the key, -1 when the
// display did not come.
int PressPAndWait() {
  PressKey('P');
  if (WaitFor([] { return Visible("Pelta"); }, 2000) < 0) return -1;
  return g_ticks;
}

// Pumps until the display hides; returns the ticks from `from_tick`, -1 when it stays.
int TicksUntilHidden(int from_tick) {
  const long waited = WaitFor([] { return !Visible("Pelta"); },
                              static_cast<DWORD>(g_options.display_ms) * 3 + 3000);
  return waited >= 0 ? g_ticks - from_tick : -1;
}

}  // namespace

// P shows the display again for the rest of a cycle (35 ticks). Lines of a new p/f version
// that wait while the strip is hidden reach it in the tick that saw P, and showing lines starts
// the cycle again: that display stays one display time (51 ticks). A second P, with nothing
// new waiting, runs the 35 ticks.
void CheckPKey() {
  const Options& o = g_options;
  g_step = "P key";
  int p_tick = PressPAndWait();
  Check(p_tick >= 0, "P key shows the display again");
  Check(ControlText("Pelta", 8) == o.channel && !ControlText("Pelta", 10).empty(),
        "P key shows the last channel's texts");
  if (!o.expect_later_now.empty()) {
    WaitFor([&] { return ControlText("Pelta", 10) == o.expect_later_now; }, 1000);
    const int lines_tick = g_ticks;
    Check(ControlText("Pelta", 10) == o.expect_later_now &&
              ControlText("Pelta", 11) == o.expect_later_next,
          "P after the programme change shows the new lines", "\"%s\" / \"%s\"",
          ControlText("Pelta", 10).c_str(), ControlText("Pelta", 11).c_str());
    const int ticks = TicksUntilHidden(lines_tick);
    Check(p_tick >= 0 && lines_tick == p_tick && ticks == kHideTicks,
          "new lines shown by P start the cycle again: hidden 51 ticks after the P tick",
          "lines %d ticks after P, hidden %d ticks after them", lines_tick - p_tick, ticks);
    g_step = "P key again";
    p_tick = PressPAndWait();
  }
  const int ticks = p_tick >= 0 ? TicksUntilHidden(p_tick) : -1;
  Check(ticks == kKeyPTicks, "display called by P hides after 35 ticks", "hidden after %d ticks",
        ticks);
}

// O opens the guide without an event loop; it hides with the display, or by its OK button.
void CheckOKey() {
  const Options& o = g_options;
  g_step = "O key";
  PressKey('O');
  long waited = WaitFor([] { return Visible("EPG"); }, 2000);
  Check(waited >= 0, "O key opens the \"EPG\" window");
  HWND guide = FindWindowA(nullptr, "EPG");
  RECT guide_rect = {};
  if (guide != nullptr) GetWindowRect(guide, &guide_rect);
  const RECT guide_want{50, 50, 510, 760};
  Check(EqualRect(&guide_rect, &guide_want) &&
            (GetWindowLongA(guide, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0,
        "guide window placed topmost at 50,50 460x710", "got %ld,%ld-%ld,%ld", guide_rect.left,
        guide_rect.top, guide_rect.right, guide_rect.bottom);
  Check(ControlText("EPG", 4) == o.channel, "guide shows the channel name", "\"%s\"",
        ControlText("EPG", 4).c_str());
  if (!o.expect_desc.empty()) {
    Check(ControlText("EPG", 3) == o.expect_desc, "guide shows the present programme's description",
          "\"%s\"", ControlText("EPG", 3).c_str());
  }
  waited = WaitFor([] { return !Visible("EPG"); }, static_cast<DWORD>(o.display_ms) * 3 + 3000);
  Check(waited >= 0 && !Visible("Pelta"), "guide opened by O hides with the display");

  // O again, then its OK button: the window hides at once; the button's request to end an
  // event loop comes while none runs and must not end the next dialog's loop.
  g_step = "O key and OK";
  PressKey('O');
  WaitFor([] { return Visible("EPG"); }, 2000);
  Check(ClickButton("EPG", "OK") && WaitFor([] { return !Visible("EPG"); }, 500) >= 0,
        "guide's OK button hides the window opened by O");
}
}  // namespace testhost
