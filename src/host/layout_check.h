// What the plug-in needs of a layout file's dialogs before it loads them.
//
// Settings, About and the guide each run an event loop inside the host's menu call (or, for the
// guide, until its button hides it); only a button bound to the dialog's closing callback ends
// that loop. A layout without one would leave the host's menu call waiting for good, so the load
// refuses it, with the message that pelta-tool check-uir prints for the same file.
#pragma once

#include <cstddef>

#include "panels/uir.h"

struct DialogEnd {
  int panel;             // panel number in the layout file
  const char* callback;  // the callback that ends its loop
};
// Settings: SAVE; About: OK; guide: EPGOK.
extern const DialogEnd kDialogEnds[3];

// Whether `panel` has a button bound to `callback`.
bool HasButtonWithCallback(const uir::Panel& panel, const char* callback);
// "FILE:LINE: panel N has no button with callback NAME".
void FormatMissingButton(char* out, size_t size, const char* file, const uir::Panel& panel,
                         const char* callback);
// The message for the first dialog of `layout` that no button ends; false (and `out` untouched)
// when every dialog present can be ended. A missing panel is not this check's business.
bool FindUnendableDialog(const uir::Layout& layout, const char* file, char* out, size_t size);
