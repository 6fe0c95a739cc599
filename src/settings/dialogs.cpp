// The settings dialog, the About box and the font button.
//
// Each dialog runs the panel run-time's event loop inside the host's menu call, a loop that
// belongs to the dialog's panel; the menu call returns when the dialog's button ends that loop,
// or its close box: the layout file routes the About box's to its OK button, while the Settings
// dialog's has no control and closes the dialog without saving, as a close box does on Windows.
// The host's menu keeps working while a dialog is open: choosing the same item again only
// brings the open dialog to the front (a second loop for it would outlive the first one's
// button and hang the host).
#include "settings/dialogs.h"

#include <atomic>
#include <cstring>

#include "panels/panels.h"
#include "settings/settings.h"
#include "shared/controls.h"
#include "shared/state.h"

namespace {
constexpr int kFontMinPoints = 4;
constexpr int kFontMaxPoints = 64;
constexpr size_t kFontNameKeep = 129;  // the settings file keeps 128 characters of the name

void RunDialog(int panel, int x, int y, int width, int height) {
  DisplayPanel(panel);
  SetActivePanel(panel);
  if (PanelLoopRuns(panel)) return;  // already open: brought to the front, nothing more
  PlacePanelWindow(panel, x, y, width, height);
  // A loop ended otherwise than by the dialog's button (WM_QUIT: the host is closing) leaves no
  // one to hide the dialog: it would stay on screen, topmost, until the unload.
  if (RunUserInterface(panel) < 0) HidePanel(panel);
}
}  // namespace

void OpenSettingsDialog() {
  RunDialog(pnlSettings, 50, 50, 440, 481);
}

void OpenAboutBox() {
  SetCtrlVal(pnlAbout, kAboutVersionControl, kVersionLabel);
  RunDialog(pnlAbout, 400, 50, 300, 330);
}

int OK(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  HidePanel(pnlAbout);
  QuitUserInterface(pnlAbout);
  return 0;
}

int SAVE(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  // One Save at a time: the message box of a refused Save runs a modal loop, in which another
  // press (Enter reaching the dialog, a tick's event processing) would open a second box.
  static std::atomic<bool> saving{false};
  if (saving.exchange(true)) return 0;
  const bool saved = SetPar();
  saving = false;
  if (!saved) return 0;  // a field was refused and the user told: the dialog stays open
  HidePanel(pnlSettings);
  QuitUserInterface(pnlSettings);
  return 0;
}

int FONT(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  // A name of fewer than three characters is no typeface: the dialog starts from Verdana.
  if (std::strlen(FontName) < 3) {
    std::memset(FontName, 0, sizeof FontName);
    std::strcpy(FontName, "Verdana");
    TextAlign = 0;
  }
  int justify = TextAlign;
  FontSelectPopup("Font select", "Sample Text", 0, FontName, kFontNameKeep, nullptr, nullptr,
                  nullptr, nullptr, &justify, nullptr, nullptr, kFontMinPoints, kFontMaxPoints, 0,
                  1);
  TextAlign = justify;
  ApplyFont(true);
  return 0;
}
