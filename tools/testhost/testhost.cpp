// testhost: a small DVB viewer stand-in that runs the plug-in DLL end to end (under Wine in CI).
//
// It behaves as a host of the recognised kind 102 does: a main window titled like that host
// ("ProgDVB 7" by default), a video child window captioned with the channel name, and a
// WM_USER handler for the three host commands (start filter: keep the callback from offset 40
// and write a running id behind it; stop filter; signal query: write a quality at offset 4). It
// loads the DLL with LoadLibrary, calls the entry points in a host's order, feeds EIT from a
// transport-stream file through the filter callback on a thread of its own, presses P and O
// with real key events, opens the three menu items, and checks with plain Win32 calls what the
// plug-in did: window rectangles, topmost and layered state, alpha, visibility over time, and
// the controls' texts (WM_GETTEXT). One line per check, then "N passed, M failed".
//
// --profile chooses the host it plays: "seed" (the default, above), "published" and "slots"
// (the record, filter and call orders of the published host sources, published.cpp), or one
// of the host shapes the plug-in recognises by their windows (shapes.cpp).
//
// The parts (testhost.h): host.cpp (the host's windows, commands, feed, waits and looks),
// lifecycle.cpp, display_checks.cpp and menu_checks.cpp (the checks), seed.cpp (the script).
// A watchdog thread ends the process if the script hangs (e.g. a dialog loop that never
// returns).
#include "testhost.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "guide_checks.h"
#include "programme_times_checks.h"

namespace testhost {

void ParseArgs(int argc, char** argv) {
  Options& o = g_options;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string key = argv[i];
    const char* value = argv[i + 1];
    if (key == "--dll")
      o.dll = value;
    else if (key == "--title")
      o.title = value;
    else if (key == "--channel")
      o.channel = value;
    else if (key == "--sid")
      o.service_id = static_cast<int>(std::strtol(value, nullptr, 0));
    else if (key == "--ts")
      o.ts = value;
    else if (key == "--expect-now")
      o.expect_now = value;
    else if (key == "--expect-next")
      o.expect_next = value;
    else if (key == "--expect-desc")
      o.expect_desc = value;
    else if (key == "--ts-later")
      o.ts_later = value;
    else if (key == "--expect-later-now")
      o.expect_later_now = value;
    else if (key == "--expect-later-next")
      o.expect_later_next = value;
    else if (key == "--display-ms")
      o.display_ms = std::atoi(value);
    else if (key == "--height")
      o.height = std::atoi(value);
    else if (key == "--alpha")
      o.alpha = std::atoi(value);
    else if (key == "--start-key")
      o.start_key = std::atoi(value);
    else if (key == "--shot-request")
      o.shot_request = value;
    else if (key == "--shot-done")
      o.shot_done = value;
    else if (key == "--timeout")
      o.timeout_s = std::atoi(value);
    else if (key == "--ts-unicode")
      o.ts_unicode = value;
    else if (key == "--unicode-sid")
      o.unicode_sid = static_cast<int>(std::strtol(value, nullptr, 0));
    else if (key == "--expect-unicode")
      o.expect_unicode = value;
    else if (key == "--unicode-shot-request")
      o.unicode_shot_request = value;
    else if (key == "--unicode-shot-done")
      o.unicode_shot_done = value;
    else if (key == "--missing-uir-dll")
      o.missing_uir_dll = value;
    else if (key == "--profile")
      o.profile = value;
    else if (key == "--video-title")
      o.video_title = value;
    else if (key == "--slow")
      o.slow = std::max(1, std::atoi(value));
    else if (ProgrammeTimesOption(key, value))
      continue;
    else if (GuideWindowOption(key, value))
      continue;
    else
      Note("unknown option %s", key.c_str());
  }
}

}  // namespace testhost

// tools/testhost/monitors_checks.cpp: the two-monitor run (tests/e2e/run-monitors).
int RunMonitorChecks(int argc, char** argv);

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--monitors") == 0)
    return RunMonitorChecks(argc - 2, argv + 2);
  using namespace testhost;
  ParseArgs(argc, argv);
  std::thread(Watchdog).detach();
  const std::string& profile = g_options.profile;
  if (profile == "seed") return RunSeed();
  if (profile == "published" || profile == "slots") return RunPublished(profile == "slots");
  if (IsHostShapeProfile(profile)) return RunHostShapes(profile);
  std::printf("FAIL: a known profile (seed, published, slots, shapes, %s), not \"%s\"\n",
              HostShapeNames().c_str(), profile.c_str());
  std::printf("0 passed, 1 failed\n");
  return 2;
}
