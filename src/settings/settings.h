// The settings, their file pelta.ini, and the size layout of the display panel.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

// Written on the host's thread (load, save, font dialog); read from the timer and the EIT data
// thread, hence atomic.
extern std::atomic<int32_t> DisplayTimeMs;
extern std::atomic<int32_t> SizeMode;
extern std::atomic<int32_t> BackColour;
extern std::atomic<int32_t> TextColour;
extern std::atomic<int32_t> EpgEnabled;
extern std::atomic<int32_t> ShowLevel;
extern std::atomic<int32_t> ShowTuning;
extern std::atomic<int32_t> FollowVideo;
extern std::atomic<int32_t> ParkCursor;
extern std::atomic<int32_t> HourOffset;
// 1 when line 10 says `local` (any case): start times in the computer's local time instead of
// UTC plus HourOffset (then 0). On the settings panel as the "Local time" box, control 22.
extern std::atomic<int32_t> LocalTime;
extern std::atomic<int32_t> DebugMode;
extern std::atomic<int32_t> StartKey;
extern std::atomic<int32_t> Opacity;
extern std::atomic<int32_t> TextAlign;
extern std::atomic<int32_t> GuideFormat;
constexpr size_t kFontNameMax = 1024;
extern char FontName[kFontNameMax];  // host thread only
// Line 17: 1 shows each programme line with its start and end and the progress bar of the
// programme on air; 0 (and a file of 16 lines) the lines as they always were.
extern std::atomic<int32_t> ProgrammeTimes;
// Line 18: the EPG languages, up to three ISO 639-2 codes in order of preference ("deu,eng"),
// as the file has them (host thread only), and the preference the EIT reader uses, packed
// (shared/languages.h): the line's codes, or the system's user-interface language when the
// line names none.
constexpr size_t kEpgLanguagesMax = 64;
extern char EpgLanguages[kEpgLanguagesMax];
extern std::atomic<uint64_t> EpgLanguagePref;
// The preference for a line: its codes, or the user-interface language when it names none.
uint64_t EpgPreferenceFor(const char* line);
extern std::atomic<int32_t> DisplayHeight;  // from SizeMode: 60, 90, 120, 90
// An Opacity below this is raised to 255 at load: a strip that faint could not be read.
constexpr int32_t kOpacityRaisedBelow = 100;

void GetPar();
// Takes the settings dialog's values, applies them and writes pelta.ini. False, with a message
// box naming the field, when a field the user changed holds no finite number within its range:
// nothing is taken then. A field still showing what the plug-in put there keeps its setting's
// value. A file that cannot be written is left as it was, with a message box.
bool SetPar();
// BackColour and TextColour onto the display panel and the texts on it, always as a readable
// pair (equal colours get a white background, or black behind white text).
void ApplyColours();
// TextAlign, and FontName when `typeface`, onto the display's name and programme lines
// (kFontControls), each control typeface first.
void ApplyFont(bool typeface);
// The size layout for `mode` onto the display panel (and DisplayHeight); a mode other than 0 to
// 3 gets the layout of 0.
void ApplySizeLayout(int mode);
void ResetSettingsState();
