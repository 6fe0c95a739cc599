// The host shapes: the windows by which the plug-in recognises each host it knows, and one it
// does not. Each runs with FollowVideo 1 and ParkCursor 1 (the plugin-hosts folder of the
// end-to-end run) and checks what the host kind decides: where the strip lies (along the
// bottom of the video window, or of the whole screen when there is none), how the frequency of
// the record is shown (kHz hosts divided by 1000, the SkyView family's MHz as they are),
// whether the signal query is sent, and, for ALT-DVB, that the pointer is parked when the
// strip hides. "shapes" runs them one after another in one process, the library loaded
// afresh for each: a Wine process start is the dearest part of a run in the emulated machine.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "testhost.h"

namespace testhost {
namespace {

struct HostShape {
  const char* profile;
  const char* title;        // the main window's title
  const char* video_title;  // the video window's; nullptr: the channel's name (ProgDVB)
  int kind;                 // what the plug-in must take the host for (0: none)
  uint32_t frequency;       // as this host fills the record: kHz, or MHz for kind 100
};

const HostShape kHostShapes[] = {
    {"progdvb", "ProgDVB 7", nullptr, 102, 11953000},
    {"altdvb", "ALT-DVB 2.2", "DvbVideoGraph", 101, 11953000},
    {"dvbviewer", "DVB Viewer Pro", "ActiveMovie Window", 100, 11953},
    {"skyview", "SkyView", "ActiveMovie Window", 100, 11953},
    // A main title the plug-in does not know; the DirectShow renderer's window gives it away.
    {"varidvb", "VariDVB", "ActiveMovie Window", 100, 11953},
    {"unknown", "TV Viewer", "Video", 0, 11953000},
};

constexpr POINT kCursorAt{100, 100};  // where the host leaves the pointer before the change

// The frequency text the host kind asks for: kinds 101 and 102 give kHz, kind 100 MHz; with no
// host recognised, values from 100000 on are taken as kHz.
std::string FrequencyText(int kind, uint32_t frequency) {
  const bool khz = kind > 100 || (kind < 100 && frequency >= 100000);
  char text[16];
  std::snprintf(text, sizeof text, "%u", khz ? frequency / 1000 : frequency);
  return text;
}

}  // namespace

bool IsHostShapeProfile(const std::string& profile) {
  if (profile == "shapes") return true;
  for (const HostShape& shape : kHostShapes) {
    if (profile == shape.profile) return true;
  }
  return false;
}

std::string HostShapeNames() {
  std::string names;
  for (const HostShape& shape : kHostShapes) {
    names += (names.empty() ? "" : ", ") + std::string(shape.profile);
  }
  return names;
}

namespace {

// One host: its windows, the plug-in loaded, started and taken past the start cycle, one
// channel change, the strip hiding, On_Exit and FreeLibrary. The library is loaded afresh for
// each host, so nothing of the one before is left in it.
void RunHostShape(const HostShape& shape, bool first) {
  Options& o = g_options;
  o.title = shape.title;
  o.video_title = shape.video_title != nullptr ? shape.video_title : "";
  o.frequency = shape.frequency;
  g_behaviour.prefix = std::string(shape.profile) + ": ";
  if (first) {
    SetUpHost();
  } else {
    ReplaceHostWindows();
  }
  g_commands.clear();
  Plugin plugin;
  if (!LoadPlugin(&plugin)) return;
  CheckOnStart(plugin, kDllId, "On_Start leaves the host's buffers alone");
  CheckStartCycle(plugin);

  g_step = "channel change";
  SetCursorPos(kCursorAt.x, kCursorAt.y);
  plugin.on_channel(MakeChannel(o.channel));
  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);
  RECT area{0, 0, width, height};
  if (shape.kind > 0) GetWindowRect(g_video, &area);
  CheckStripAlong(area, shape.kind > 0 ? "the video window" : "the whole screen (no video window)");
  const std::string freq = FrequencyText(shape.kind, shape.frequency);
  char name[96];
  std::snprintf(name, sizeof name, "control 5 shows the frequency as host kind %d gives it",
                shape.kind);
  Check(ControlText("Pelta", 5) == freq, name, "\"%s\", want \"%s\"",
        ControlText("Pelta", 5).c_str(), freq.c_str());
  const int queries = CountCommands(kCmdSignalQuery);
  if (shape.kind > 0) {
    char quality[16];
    std::snprintf(quality, sizeof quality, "%d", kQuality);
    Check(queries == 1 && ControlText("Pelta", 14) == quality,
          "the signal query is sent and control 14 shows its quality", "%d queries, \"%s\"",
          queries, ControlText("Pelta", 14).c_str());
  } else {
    Check(queries == 0, "no signal query to a host the plug-in does not know", "%d queries",
          queries);
  }

  // ALT-DVB's pointer is parked as the strip hides; the other hosts need not wait for that
  // (the unit tests see their pointer stay).
  if (shape.kind == 101) {
    g_step = "strip hides";
    const long hidden =
        WaitFor([] { return !Visible("Pelta"); }, static_cast<DWORD>(o.display_ms) * 3 + 3000);
    POINT cursor{};
    GetCursorPos(&cursor);
    Check(hidden >= 0 && cursor.x == width / 2 && cursor.y >= height - 1,
          "ParkCursor 1: the pointer is parked at the bottom centre as the strip hides",
          "hidden %d, pointer at %ld,%ld", hidden >= 0, cursor.x, cursor.y);
  }

  g_step = "On_Exit";
  plugin.on_exit(GetModuleHandleA(nullptr), g_main, FALSE);
  Check(FreeLibrary(plugin.dll) != 0, "plug-in DLL unloads");
}

}  // namespace

int RunHostShapes(const std::string& profile) {
  bool first = true;
  for (const HostShape& shape : kHostShapes) {
    if (profile != "shapes" && profile != shape.profile) continue;
    RunHostShape(shape, first);
    first = false;
  }
  return Finish();
}

}  // namespace testhost
