// The seed profile: the host the plug-in was first built against. It behaves exactly as the
// plug-in interface was first described: a 868-byte record by value, a running id written into
// the start record, blocks of ten packets every 30 ms from a thread of its own, a stop that ends
// the deliveries at once. Main window "ProgDVB 7" (kind 102) with a video child captioned with
// the channel name.
#include <windows.h>

#include <cstdio>

#include "guide_checks.h"
#include "hostile_checks.h"
#include "testhost.h"

namespace testhost {

int RunSeed() {
  SetUpHost();
  if (!g_options.missing_uir_dll.empty()) CheckLoadWithoutLayout(g_options.missing_uir_dll);
  Plugin plugin;
  if (!LoadPlugin(&plugin)) {
    std::printf("%d passed, %d failed\n", g_passed, g_failed);
    return 1;
  }
  CheckStartSequence(plugin);
  CheckStartCycle(plugin);
  CheckChannelChange(plugin);
  const LinesShown lines = CheckProgrammeLines();
  TakeScreenshot();
  CheckHideAfterDisplayTime(lines);
  CheckProgrammeChange();
  CheckPKey();
  CheckOKey();
  CheckAboutMenu(plugin);
  CheckGuideMenu(plugin);
  CheckSettingsMenu(plugin);
  CheckSettingsCloseBox(plugin);
  // Before the controls' check: that one saves a Settings with the programme guide off.
  CheckUnicodeTexts(plugin);
  CheckGuideWindow(plugin);
  // The strip may still be up: should it hide while the next check works the dialog with keys,
  // the focus stays in the dialog.
  CheckSettingsControls(plugin);
  CancelAfter();
  hostile::Run({g_main, plugin.dll, g_options.channel, plugin.dir + "\\pelta.ini",
                g_options.display_ms, g_options.slow, &Check, &g_step});
  CheckExit(plugin);
  CheckUnload(plugin);
  return Finish();
}

}  // namespace testhost
