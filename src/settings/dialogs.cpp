// The settings dialog, the About box and the font button.
//
// Each dialog runs the panel run-time's event loop inside the host's menu call; the menu call
// returns when the dialog's button (or its close box, which the layout file routes to the same
// button) ends the loop.
#include "settings/dialogs.h"

#include <cstring>

#include "host/entry.h"
#include "panels/panels.h"
#include "settings/settings.h"

namespace {
constexpr int kFontMinPoints = 4;
constexpr int kFontMaxPoints = 64;
constexpr size_t kFontNameKeep = 129;  // the settings file keeps 128 characters of the name
constexpr int kFontControls[] = {8, 10, 11};

void RunDialog(int panel, const char* caption, int x, int y, int width, int height) {
  DisplayPanel(panel);
  SetActivePanel(panel);
  PlaceWindowByCaption(caption, x, y, width, height);
  RunUserInterface();
}
}  // namespace

void OpenSettingsDialog() { RunDialog(pnlSettings, "Settings", 50, 50, 300, 400); }

void OpenAboutBox() {
  SetCtrlVal(pnlAbout, 3, kVersionLabel);
  RunDialog(pnlAbout, "About", 400, 50, 300, 330);
}

int OK(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  HidePanel(pnlAbout);
  QuitUserInterface(0);
  return 0;
}

int SAVE(int, int, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  if (!SetPar()) return 0;  // a field was refused and the user told: the dialog stays open
  HidePanel(pnlSettings);
  QuitUserInterface(0);
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
  for (int control : kFontControls) {
    SetCtrlAttribute(pnlDisplay, control, ATTR_TEXT_FONT, FontName);
    SetCtrlAttribute(pnlDisplay, control, ATTR_TEXT_JUSTIFY, TextAlign.load());
  }
  return 0;
}
