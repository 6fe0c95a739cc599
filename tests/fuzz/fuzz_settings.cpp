// libFuzzer target for the settings file reader, GetPar, and its writer, SetPar.
//
// The input is the whole of pelta.ini. Once per process a temporary module folder is made
// (pelta.uir and the fallback logo from assets/); every input is written there as pelta.ini and
//  1. read with GetPar alone (no panel loaded, so only the values count): the display time is
//     never below 10 ms, FontName ends within its 128 characters, a size mode of 0..3 sets its
//     height, and equal colours never survive unless both are white;
//  2. written back with SetPar and read again: every number line whose "%d" fits the ten
//     characters that are read comes back unchanged, and so does FontName;
//  3. when the input's first byte is odd, loaded as a whole plug-in (DllMain attach, the
//     panels, the timer from the display time) and unloaded again, so the values also reach
//     the panels, the translucency and the timer.
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "harness.h"
#include "host/entry.h"
#include "panels/memory/memory_panels.h"
#include "platform/sim/sim.h"
#include "settings/settings.h"

namespace {

HINSTANCE const kModule = reinterpret_cast<HINSTANCE>(0x10000);
std::string g_dir;

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "fuzz_settings: invariant broken: %s\n", what);
  std::abort();
}

void RemoveDir() {
  const std::string cmd = "rm -rf '" + g_dir + "'";
  if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "cannot remove %s\n", g_dir.c_str());
}

void MakeModuleFolder() {
  char tmpl[] = "/tmp/pelta-fuzz-settings-XXXXXX";
  if (mkdtemp(tmpl) == nullptr) std::abort();
  g_dir = tmpl;
  const std::string src = PELTA_SOURCE_DIR;
  mkdir((g_dir + "/pelta_icon").c_str(), 0755);
  if (!harness::CopyFile(src + "/assets/pelta.uir", g_dir + "/pelta.uir") ||
      !harness::CopyFile(src + "/assets/pelta_icon/0.jpg", g_dir + "/pelta_icon/0.jpg")) {
    std::abort();
  }
  std::atexit(&RemoveDir);
  sim::Reset();
  mem::Reset();
  sim::SetModuleDir(g_dir.c_str());
}

void WriteIni(const uint8_t* data, size_t size) {
  std::FILE* f = std::fopen((g_dir + "/pelta.ini").c_str(), "wb");
  if (f == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
}

int HeightOf(int mode) {
  static const int kHeights[] = {60, 90, 120, 90};
  return mode >= 0 && mode <= 3 ? kHeights[mode] : -1;
}

void CheckValues(const char* stage) {
  Check(DisplayTimeMs.load() >= 10, stage);
  Check(std::memchr(FontName, 0, 129) != nullptr, "FontName ends within 128 characters");
  const int height = HeightOf(SizeMode.load());
  if (height > 0) Check(DisplayHeight.load() == height, "size mode gives the height");
  const int32_t h = DisplayHeight.load();
  Check(h == 0 || h == 60 || h == 90 || h == 120, "display height is one of the layouts'");
}

// "%d" of v fits the ten characters of a line that GetPar reads.
bool FitsTenCharacters(int32_t v) {
  char text[16];
  return std::snprintf(text, sizeof text, "%d", static_cast<int>(v)) <= 10;
}

struct Snapshot {
  int32_t values[14];
  char font[kFontNameMax];
};

std::atomic<int32_t>* const kNumberLines[] = {
    &SizeMode,   &BackColour, &TextColour, &EpgEnabled, &ShowLevel, &ShowTuning, &FollowVideo,
    &ParkCursor, &HourOffset, &DebugMode,  &StartKey,   &Opacity,   &TextAlign,  &GuideFormat,
};

void Take(Snapshot* s) {
  for (size_t i = 0; i < 14; ++i) s->values[i] = kNumberLines[i]->load();
  std::memcpy(s->font, FontName, sizeof s->font);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (g_dir.empty()) MakeModuleFolder();
  WriteIni(data, size);

  // 1. Read alone, with no panel loaded.
  std::snprintf(IniPath, sizeof IniPath, "%s\\pelta.ini", g_dir.c_str());
  ResetSettingsState();
  GetPar();
  CheckValues("display time at least 10 ms after GetPar");
  if (TextColour.load() != 0xFFFFFF) {
    Check(BackColour.load() != TextColour.load(), "equal colours give a white background");
  }

  // 2. Written back and read again.
  Snapshot before;
  Take(&before);
  const int32_t ms_before = DisplayTimeMs.load();
  SetPar();
  GetPar();
  CheckValues("display time at least 10 ms after a round trip");
  Snapshot after;
  Take(&after);
  for (size_t i = 0; i < 14; ++i) {
    if (FitsTenCharacters(before.values[i])) {
      Check(after.values[i] == before.values[i], "a number line reads back unchanged");
    }
  }
  Check(std::strcmp(after.font, before.font) == 0, "FontName reads back unchanged");
  // Seconds keep one decimal and a float's precision: within 50 ms plus a few float steps.
  if (ms_before >= 1000) {
    const double diff = static_cast<double>(DisplayTimeMs.load()) - ms_before;
    Check(diff <= 51 + ms_before * 3e-7 && diff >= -51 - ms_before * 3e-7,
          "display time reads back within the written decimal");
  }

  // 3. A whole load with this file, every other input (a load reads the layout file too).
  if (size > 0 && (data[0] & 1) != 0) {
    WriteIni(data, size);
    sim::ClearLogs();
    Check(DllMain(kModule, DLL_PROCESS_ATTACH, nullptr) == TRUE, "the load succeeds");
    CheckValues("display time at least 10 ms after load");
    Check(Opacity.load() >= 100, "an Opacity below 100 is raised to 255 at load");
    const int32_t period = DisplayTimeMs.load() / 50;
    if (period > 0) Check(static_cast<int32_t>(sim::TimerPeriod()) == period, "timer period");
    Check(mem::IsLoaded(pnlDisplay) && !mem::IsVisible(pnlDisplay), "display loaded and hidden");
    DllMain(kModule, DLL_PROCESS_DETACH, nullptr);
    Check(!sim::TimerRunning(), "the timer stops at unload");
  }
  return 0;
}
