// pelta-tool load: loads the plug-in into the simulated host and prints what it set up.
#include <cstdio>
#include <cstring>

#include "commands.h"
#include "harness.h"
#include "host/entry.h"
#include "panels/memory/memory_panels.h"
#include "settings/settings.h"

int RunLoad(int argc, char** argv) {
  harness::Options options;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--ini") == 0 && i + 1 < argc) {
      options.ini = argv[++i];
    } else if (std::strcmp(argv[i], "--uir") == 0 && i + 1 < argc) {
      options.uir = argv[++i];
    } else {
      std::fprintf(stderr, "usage: pelta-tool load [--ini F] [--uir F]\n");
      return 2;
    }
  }
  sim::Reset();
  mem::Reset();
  if (!harness::PrepareModuleDir(options)) return 1;
  const BOOL loaded = DllMain(reinterpret_cast<HINSTANCE>(0x10000), DLL_PROCESS_ATTACH, nullptr);
  std::printf("load: %s\n", loaded ? "accepted" : "refused");
  for (int i = 0; i < sim::MessageBoxCount(); ++i) {
    const sim::MessageBoxEntry* box = sim::MessageBoxAt(i);
    std::printf("message box: caption \"%s\", text \"", box->caption);
    for (const char* p = box->text; *p; ++p) {
      if (*p == '\n') {
        std::fputs("\\n", stdout);
      } else {
        std::putchar(*p);
      }
    }
    std::printf("\"\n");
  }
  if (!loaded) {
    harness::Cleanup();
    return 1;
  }
  std::printf("settings: display %d ms, size mode %d (height %d), back 0x%06X, text 0x%06X\n",
              DisplayTimeMs.load(), SizeMode.load(), DisplayHeight.load(), BackColour.load(),
              TextColour.load());
  char offset[16];
  std::snprintf(offset, sizeof offset, "%d", static_cast<int>(HourOffset.load()));
  std::printf(
      "          guide %d (format %d, hour offset %s), level %d, tuning %d, follow video %d\n",
      EpgEnabled.load(), GuideFormat.load(), LocalTime.load() != 0 ? "local" : offset,
      ShowLevel.load(), ShowTuning.load(), FollowVideo.load());
  std::printf(
      "          park cursor %d, debug %d, start key %d, opacity %d, align %d, font \"%s\"\n",
      ParkCursor.load(), DebugMode.load(), StartKey.load(), Opacity.load(), TextAlign.load(),
      FontName);
  std::printf("panels: display %d, settings %d, about %d, guide %d\n", pnlDisplay.load(),
              pnlSettings.load(), pnlAbout.load(), pnlGuide.load());
  if (sim::TimerRunning()) {
    std::printf("timer: every %u ms\n", sim::TimerPeriod());
  } else {
    std::printf("timer: not running (period 0 refused)\n");
  }
  sim::WindowInfo info;
  HWND osd = FindWindowA(nullptr, "Pelta");
  if (osd != nullptr && sim::GetInfo(osd, &info)) {
    const bool layered = (info.exstyle & WS_EX_LAYERED) != 0;
    if (layered && info.layered_attrs_set) {
      std::printf("display window: layered, alpha %u\n", info.alpha);
    } else {
      std::printf("display window: opaque\n");
    }
  }
  DllMain(reinterpret_cast<HINSTANCE>(0x10000), DLL_PROCESS_DETACH, nullptr);
  harness::Cleanup();
  return 0;
}
