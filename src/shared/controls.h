// Panel and control numbers of pelta.uir that the plug-in relies on.
#pragma once

// Panels, in the order load reads them.
enum PanelNumber {
  kDisplayPanelNumber = 4,   // window caption "Pelta"
  kSettingsPanelNumber = 3,  // "Settings"
  kAboutPanelNumber = 1,     // "About"
  kGuidePanelNumber = 2,     // "EPG"
};

// Controls of the display panel.
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
  kProgressControl = 16,    // how far the programme on air has run, and the minutes left
};

// The display's texts that take the chosen typeface and alignment (the font button, load).
constexpr int kFontControls[] = {kNameControl, kNowControl, kNextControl};

constexpr int kAboutVersionControl = 3;  // the About box's version label
constexpr int kGuideTextBox = 3;         // the guide's description of the programme on air
constexpr int kGuideChannelName = 4;     // the guide's channel name

// The guide's controls of one programme, the one on air and the next: "20:00–20:45 (45 min)",
// the title, the short text (for the programme on air that is kGuideTextBox), the extended
// description with its items, the genre and the age rating.
struct GuideEventControls {
  int times, title, text, description, genre, age;
};
constexpr GuideEventControls kGuidePresent{6, 7, kGuideTextBox, 8, 9, 10};
constexpr GuideEventControls kGuideFollowing{11, 12, 13, 14, 15, 16};
// The guide's list of what follows the next programme (the EIT schedule): "21:30  Title" lines.
constexpr int kGuideSchedule = 19;
