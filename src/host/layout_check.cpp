#include "host/layout_check.h"

#include <cstdio>
#include <cstring>

const DialogEnd kDialogEnds[3] = {{3, "SAVE"}, {1, "OK"}, {2, "EPGOK"}};

bool HasButtonWithCallback(const uir::Panel& panel, const char* callback) {
  for (int i = 0; i < panel.control_count && i < uir::kMaxControls; ++i) {
    const uir::Control& c = panel.controls[i];
    if (c.kind == uir::Kind::Button && std::strcmp(c.callback, callback) == 0) return true;
  }
  return false;
}

void FormatMissingButton(char* out, size_t size, const char* file, const uir::Panel& panel,
                         const char* callback) {
  std::snprintf(out, size, "%s:%d: panel %d has no button with callback %s", file, panel.line,
                panel.number, callback);
}

bool FindUnendableDialog(const uir::Layout& layout, const char* file, char* out, size_t size) {
  for (const DialogEnd& end : kDialogEnds) {
    const uir::Panel* panel = uir::FindPanel(layout, end.panel);
    if (panel == nullptr || HasButtonWithCallback(*panel, end.callback)) continue;
    FormatMissingButton(out, size, file, *panel, end.callback);
    return true;
  }
  return false;
}
