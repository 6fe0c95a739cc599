// The guide window as a host's user sees it (see guide_checks.h).
//
// The window is opened from the host's menu, so the plug-in runs its event loop inside the menu
// call; everything here happens from timers inside that loop (After), and the close box ends it.
// A text box (an EDIT) shows a line break as CR LF: the CR is dropped before comparing.
#include "guide_checks.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "testhost.h"

namespace testhost {

namespace {

struct GuideOptions {
  std::string ts, ts_later, expect, expect_later, shot_request, shot_done;
  int sid = 0x0404;
};
GuideOptions g_guide;

using Expected = std::vector<std::pair<int, std::string>>;

// "8\tline one\nline two" lines into (control, text).
bool ReadExpected(const std::string& path, Expected* out) {
  for (const std::string& line : ReadLines(path)) {
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    std::string text;
    const std::string raw = line.substr(tab + 1);
    for (size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] == '\\' && i + 1 < raw.size() && raw[i + 1] == 'n') {
        text += '\n';
        ++i;
      } else {
        text += raw[i];
      }
    }
    out->push_back({std::atoi(line.substr(0, tab).c_str()), text});
  }
  return !out->empty();
}

std::wstring Shown(int control) {
  HWND guide = FindWindowA(nullptr, "EPG");
  std::wstring text = WideText(guide != nullptr ? GetDlgItem(guide, control) : nullptr);
  std::wstring out;
  for (wchar_t c : text) {
    if (c != L'\r') out += c;
  }
  return out;
}

// The first control that differs from what is expected (0: none), and its text.
int Differs(const Expected& expected, std::wstring* shown) {
  for (const auto& e : expected) {
    *shown = Shown(e.first);
    if (*shown != FromCodePage(CP_UTF8, e.second)) return e.first;
  }
  return 0;
}

void SwapFeed(const std::string& path) {
  std::vector<unsigned char> payloads;
  Check(ReadTsPayloads(path, payloads), "guide's transport stream read", "%s", path.c_str());
  std::lock_guard<std::mutex> lock(g_feed_mutex);
  g_eit_payloads.swap(payloads);
}

}  // namespace

bool GuideWindowOption(const std::string& key, const char* value) {
  if (key == "--guide-ts") {
    g_guide.ts = value;
  } else if (key == "--guide-ts-later") {
    g_guide.ts_later = value;
  } else if (key == "--guide-sid") {
    g_guide.sid = static_cast<int>(std::strtol(value, nullptr, 0));
  } else if (key == "--expect-guide") {
    g_guide.expect = value;
  } else if (key == "--expect-guide-later") {
    g_guide.expect_later = value;
  } else if (key == "--guide-shot-request") {
    g_guide.shot_request = value;
  } else if (key == "--guide-shot-done") {
    g_guide.shot_done = value;
  } else {
    return false;
  }
  return true;
}

void CheckGuideWindow(const Plugin& plugin) {
  if (g_guide.ts.empty()) return;
  g_step = "guide window";
  Expected expected, later;
  Check(ReadExpected(g_guide.expect, &expected) && ReadExpected(g_guide.expect_later, &later),
        "guide window's expected texts read", "%s, %s", g_guide.expect.c_str(),
        g_guide.expect_later.c_str());
  SwapFeed(g_guide.ts);
  g_options.service_id = g_guide.sid;
  plugin.on_channel(MakeChannel("Guide Test"));

  const DWORD wait_ms = static_cast<DWORD>(g_options.display_ms + 4000) * g_options.slow;
  int first_differs = -1, later_differs = -1;
  std::wstring first_shown, later_shown;
  bool shot = false;
  DWORD started = 0;
  std::function<void()> first, second;
  // Until the window shows the first stream's events (or the time is up); then the programme
  // changes while it is open, and the same for the later stream.
  first = [&] {
    first_differs = Differs(expected, &first_shown);
    if (first_differs != 0 && GetTickCount() - started < wait_ms) {
      After(200, first);
      return;
    }
    SwapFeed(g_guide.ts_later);
    started = GetTickCount();
    After(200, second);
  };
  second = [&] {
    later_differs = Differs(later, &later_shown);
    if (later_differs != 0 && GetTickCount() - started < wait_ms) {
      After(200, second);
      return;
    }
    if (!g_guide.shot_request.empty()) {
      std::FILE* f = std::fopen(g_guide.shot_request.c_str(), "wb");
      if (f != nullptr) std::fclose(f);
      const DWORD asked = GetTickCount();
      while (!FileExists(g_guide.shot_done) && GetTickCount() - asked < 10000u * g_options.slow) {
        Sleep(50);
      }
      shot = FileExists(g_guide.shot_done);
    }
    PostMessageA(FindWindowA(nullptr, "EPG"), WM_CLOSE, 0, 0);
  };
  After(300, [&] {
    started = GetTickCount();
    first();
  });
  plugin.on_menu(kMenuGuide);
  Check(first_differs == 0,
        "guide window shows both programmes: times, titles, texts, description with items, "
        "genre and age rating (Czech and Chinese through GetWindowTextW)",
        "control %d shows \"%s\"", first_differs, Utf8(first_shown).c_str());
  Check(later_differs == 0, "guide window follows the programme change while it is open",
        "control %d shows \"%s\"", later_differs, Utf8(later_shown).c_str());
  // The schedule sections came with the later stream: the list below now and next (control
  // 19), compared above with the other controls; named here on its own.
  bool listed = false;
  for (const auto& e : later) listed = listed || (e.first == 19 && !e.second.empty());
  Check(listed && later_differs == 0,
        "guide window lists the schedule's later programmes (\"21:30  Title\" lines)");
  Check(!Visible("EPG"), "guide window closed by its close box");
  if (!g_guide.shot_request.empty()) Check(shot, "screenshot of the guide window taken");
}

}  // namespace testhost
