// testhost: a small DVB viewer stand-in that runs the plug-in DLL end to end (under Wine in CI).
//
// What every part of the test host shares: what crosses the boundary with the plug-in (command
// codes, record offsets, the entry points' types), the options, the check lines, the host's
// windows and its WM_USER handler, the EIT feed, waiting while the plug-in works, and looking at
// the plug-in's windows with plain Win32 calls.
//
// The script runs on the main thread; every wait pumps messages, because the plug-in's windows
// and its display timer live on this (the loading) thread. A new group of checks goes into a
// file of its own (declared at the end of this header) and is called with one line from the
// script of its profile (seed.cpp, or the profile's own file).
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testhost {

// --- what crosses the boundary with the plug-in ---------------------------------------------

constexpr UINT kCmdStartFilter = 0x01020020;
constexpr UINT kCmdStopFilter = 0x01020021;
constexpr UINT kCmdSignalQuery = 0x01022001;
constexpr size_t kFilterCallbackOffset = 40;
constexpr size_t kFilterRunIdOffset = kFilterCallbackOffset + sizeof(void*);  // 48 on x86_64
constexpr int32_t kRunningId = 0x1234;
constexpr int32_t kQuality = 73;
constexpr int32_t kDllId = 7;
constexpr UINT kMenuSettings = 44454;
constexpr UINT kMenuAbout = 44455;
constexpr UINT kMenuGuide = 44456;
// The plug-in's display tick arrives as this message to its hidden "PeltaTickWindow" on the
// loading thread; counting them here gives the ticks the plug-in counted, however slow the
// machine (the test host itself posts no WM_APP messages).
constexpr UINT kTickMessage = WM_APP + 0x50;
constexpr int kHideTicks = 51;  // the tick that shows the lines counts from 0 again, and the
                                // display hides in the tick that counts past 50
constexpr int kKeyPTicks = 35;  // after the tick that saw P, the display stays 35 more ticks

struct TProgram82 {
  unsigned char bytes[868];
};

typedef void (*OnStartFn)(HINSTANCE, HWND, BOOL, int, char*, char*, int*);
typedef void (*OnExitFn)(HINSTANCE, HWND, BOOL);
typedef void (*OnChannelChangeFn)(TProgram82);
typedef void (*OnMenuSelectFn)(UINT);
typedef void (*OnHotKeyFn)();
typedef void (*OnFilterCloseFn)(UINT);
typedef void (*OnSendDllIdNameFn)(char*);
typedef void (*DataCallbackFn)(int, int, const unsigned char*);

// --- options --------------------------------------------------------------------------------

struct Options {
  std::string dll = "pelta64.dll";
  std::string title = "ProgDVB 7";
  std::string channel = "Pelta Test";
  std::string channel2 = "Second Channel";  // a channel without a logo file
  uint32_t frequency = 11953000;
  int polarisation = 1;  // vertical
  int service_id = 0x0101;
  int ca_code = 0;
  std::string ts;
  std::string expect_now;  // exact texts of display controls 10 and 11 once shown
  std::string expect_next;
  std::string expect_desc;       // guide text box
  std::string ts_later;          // fed once the strip has hidden: a programme change
  std::string expect_later_now;  // controls 10 and 11 when P shows the strip after the change
  std::string expect_later_next;
  int display_ms = 2000;     // pelta.ini line 1
  int height = 60;           // DisplayHeight of the ini's SizeMode
  int alpha = 180;           // pelta.ini Opacity
  int start_key = 0;         // pelta.ini StartKey (checked when above 32)
  std::string shot_request;  // written when the display shows the programme lines
  std::string shot_done;     // waited for (a screenshot was taken)
  int timeout_s = 150;
  std::string missing_uir_dll;  // a copy of the DLL in a folder without pelta.uir
  // A channel whose name the host sends in code page 1252 and whose EIT is in DVB character
  // tables (Czech ISO/IEC 6937, Chinese two-byte): its stream, service and the lines pelta-tool
  // reads from it (a file of UTF-8 "now: " and "next: " lines), and a screenshot of its strip.
  std::string ts_unicode;
  int unicode_sid = 0x0303;
  std::string expect_unicode;
  std::string unicode_shot_request;
  std::string unicode_shot_done;
  int slow = 1;                  // factor for fixed waits on a slow (emulated) machine
  std::string profile = "seed";  // which host the test host plays (testhost.cpp)
  std::string video_title;       // the video window's caption; empty: the channel name
};

extern Options g_options;
void ParseArgs(int argc, char** argv);

// How the host treats the plug-in's section filter; the seed host's unless a profile says
// otherwise before SetUpHost.
enum class RunIds {
  kFixed,  // kRunningId into every start record
  kNone,   // nothing: the record keeps the plug-in's -1
  kSlots,  // the first free slot of the host's filter table; a stop must carry one of them
};
constexpr int32_t kHostOwnSlots = 3;  // slots 0..2 hold the host's own filters
struct HostBehaviour {
  RunIds run_ids = RunIds::kFixed;
  size_t packets_per_call = 10;  // 184-byte payloads per data call
  DWORD call_gap_ms = 30;        // between two data calls
  DWORD after_stop_ms = 0;       // the reader goes on this long after the stop (times the
                                 // slow factor, and one call at least)
  std::string prefix;            // before every check name: the profile ("" for the seed)
};
extern HostBehaviour g_behaviour;

// --- results --------------------------------------------------------------------------------

extern int g_passed;
extern int g_failed;
extern std::atomic<const char*> g_step;  // what the script is doing, for the watchdog
extern int g_ticks;                      // display ticks dispatched by Pump, main thread only

// One line "PASS: name" or "FAIL: name (detail)".
void Check(bool ok, const char* name, const char* detail_format = nullptr, ...);
// A line "# ..." for the log, counted neither way.
void Note(const char* format, ...);
// Ends the process with a failed check when the script is not done after --timeout seconds.
void Watchdog();

// --- the host's state -----------------------------------------------------------------------

extern HWND g_main;
extern HWND g_video;

struct Command {
  UINT code;
  LPARAM param;
};
extern std::vector<Command> g_commands;  // main thread only
extern unsigned char g_filter_record[64];
extern size_t g_filter_pid;

// The section filter's feed: payloads, calls made, and the lock the stop command takes.
extern std::mutex g_feed_mutex;  // held while the callback runs
extern std::atomic<int> g_feed_calls;
extern std::vector<unsigned char> g_eit_payloads;    // 184-byte payloads of PID 0x12
extern std::vector<unsigned char> g_later_payloads;  // the carousel after the programme change
extern std::atomic<int> g_callback_stack_faults;     // i686: calls that moved the stack pointer
extern std::atomic<int> g_calls_after_stop;          // data calls the reader made after the stop
extern std::vector<int32_t> g_slots_given;           // RunIds::kSlots: ids written, -1 once stopped

// Keys seen by a low-level hook: the plug-in's synthetic start key among them.
struct KeySeen {
  DWORD vk;
  bool down;
};
extern std::vector<KeySeen> g_keys;

// The main window (titled --title) and its video child (captioned with the channel name).
bool CreateHostWindows();
// The host's windows, the keyboard hook and the EIT feed, before the plug-in is loaded.
void SetUpHost();
// Another host in the same process: the main window and its video child made again from the
// options (title, video title), once the plug-in is unloaded.
void ReplaceHostWindows();
// What the host does with the plug-in's filter when the plug-in stops it, or at unload when
// it did not: the deliveries end (a moment later for the hosts that go on, after_stop_ms).
void HostClosesFilter();
// Waits until the reader thread has ended (it ends at the stop, or after_stop_ms later).
void WaitForReaderEnd();
// Stops the feed, removes the hook and the host window, prints the summary; the exit status.
int Finish();

// --- waiting while the plug-in works --------------------------------------------------------

// Pumps for `ms`; with `until_tick`, returns as soon as a display tick was dispatched, so a
// caller sees the state of every tick.
void Pump(DWORD ms, bool until_tick = false);
// Pumps until `done` holds or `ms` (times the slow factor) have passed; returns the
// milliseconds waited, -1 on timeout. `done` is looked at after every display tick.
long WaitFor(const std::function<bool()>& done, DWORD ms);
// Runs `action` from the main window's timer after `ms`, i.e. inside whatever message loop
// runs then (a dialog's RunUserInterface).
void After(UINT ms, std::function<void()> action);
// Drops every scripted action still pending (the safety nets of checks that are over), so that
// none of them runs in a later check's loop.
void CancelAfter();

// --- looking at the plug-in's windows -------------------------------------------------------

std::string Text(HWND window);
std::string ControlText(const char* caption, int control);
// The text as a Unicode program reads it (the plug-in's windows are Unicode windows).
std::wstring WideText(HWND window);
std::wstring FromCodePage(UINT code_page, const std::string& text);
// For the log: UTF-16 as UTF-8.
std::string Utf8(const std::wstring& text);
bool Visible(const char* caption);
bool EndsWith(const std::string& s, const std::string& tail);
// Clicks a panel's button the way a user's click arrives (BM_CLICK: press and release).
bool ClickButton(const char* caption, const char* label);
void PressKey(WORD vk);
std::string TimeNow(int minus_minutes);

// --- files and records ----------------------------------------------------------------------

TProgram82 MakeChannel(const std::string& name);
bool ReadTsPayloads(const std::string& path, std::vector<unsigned char>& payloads = g_eit_payloads);
bool FileExists(const std::string& path);
std::vector<std::string> ReadLines(const std::string& path);
// The lines pelta-tool read from the stream: UTF-8 after "now: " and "next: ".
bool ReadExpectedLines(const std::string& path, std::string* now, std::string* next);
int CountCommands(UINT code);

// --- the plug-in ----------------------------------------------------------------------------

// An export by name, as the host finds it (through void*: FARPROC has no parameters).
template <typename Fn>
Fn Entry(HMODULE dll, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}

// The loaded plug-in: its module, the folder it was loaded from, and its seven entry points.
struct Plugin {
  HMODULE dll = nullptr;
  std::string dir;
  OnStartFn on_start = nullptr;
  OnExitFn on_exit = nullptr;
  OnChannelChangeFn on_channel = nullptr;
  OnMenuSelectFn on_menu = nullptr;
  OnHotKeyFn on_hot_key = nullptr;
  OnFilterCloseFn on_filter_close = nullptr;
  OnSendDllIdNameFn on_name = nullptr;
};

// --- the checks, by file --------------------------------------------------------------------

// lifecycle.cpp: load (with and without pelta.uir), the start calls, the start cycle, exit and
// unload.
void CheckLoadWithoutLayout(const std::string& path);
bool LoadPlugin(Plugin* plugin);
// On_Start with the host's main window and `dll_id`; checks it wrote nothing into the buffers.
void CheckOnStart(const Plugin& plugin, int dll_id, const char* name);
void CheckStartSequence(const Plugin& plugin);
void CheckStartCycle(const Plugin& plugin);
void CheckExit(const Plugin& plugin);
void CheckUnload(const Plugin& plugin);

// display_checks.cpp: the strip on a channel change, its programme lines, the P and O keys.
struct LinesShown {
  DWORD at;  // GetTickCount
  int tick;  // the display tick that showed them (g_ticks)
};
void CheckChannelChange(const Plugin& plugin);
LinesShown CheckProgrammeLines();
void TakeScreenshot();
void CheckHideAfterDisplayTime(const LinesShown& lines);
void CheckProgrammeChange();
void CheckUnicodeTexts(const Plugin& plugin);
void CheckPKey();
void CheckOKey();
void CheckTextsClearOfIndicators(const char* when);
// The strip is shown, 30 pixels in from either side of `area` and its bottom 40 above the
// area's bottom (screen coordinates); `what` names the area in the check's name.
void CheckStripAlong(const RECT& area, const char* what);

// menu_checks.cpp: the three menu items and the Settings dialog worked with keys.
void CheckAboutMenu(const Plugin& plugin);
void CheckGuideMenu(const Plugin& plugin);
void CheckSettingsMenu(const Plugin& plugin);
void CheckSettingsCloseBox(const Plugin& plugin);
void CheckSettingsControls(const Plugin& plugin);

// The profiles' scripts; each returns the process's exit status.
int RunSeed();                 // seed.cpp
int RunPublished(bool slots);  // published.cpp
// shapes.cpp: "shapes" runs every host shape, one after another in this process; a shape's
// own name runs that one.
bool IsHostShapeProfile(const std::string& profile);
std::string HostShapeNames();
int RunHostShapes(const std::string& profile);

}  // namespace testhost
