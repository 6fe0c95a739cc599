// Control numbers of the display panel (panel 4 of pelta.uir, window caption "Pelta").
#pragma once

enum DisplayControl {
  kTimeControl = 4,         // time of day, "%02d:%02d"
  kFreqControl = 5,         // frequency text
  kPolControl = 6,          // polarisation letter, V or H
  kCaLabelControl = 7,      // conditional-access system label
  kNameControl = 8,         // channel name
  kLogoControl = 9,         // channel logo picture
  kNowControl = 10,         // present programme line
  kNextControl = 11,        // following programme line (a window title in the probe mode)
  kDecorationControl = 12,  // drawn in the background colour at the left of the indicators
  kCaStateControl = 13,     // conditional-access state indicator
  kQualityControl = 14,     // signal quality indicator
  kLevelControl = 15,       // signal level indicator
};
