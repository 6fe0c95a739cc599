// Which host are we in, and where does it draw the video?
//
// The host tells the plug-in nothing but its main window handle, so both questions are
// answered from other programs' windows. EPproc looks at the first seven characters of every
// top-level title ("ALT-DVB ...", "ProgDVB 6.0", "SkyView", "DVB Viewer"). The video window is
// the DirectShow renderer's "ActiveMovie Window", ALT-DVB's "DvbVideoGraph", or a window
// captioned with the channel's name (ProgDVB). EPtree looks for it first among the host's own
// windows: the children of the host window and the top-level windows of its process with
// theirs, so a video window that another window covers, or that lies on a second monitor, is
// found all the same. Only when that finds nothing, EPtry probes the window under each
// monitor's centre and then under a 200-pixel grid of each monitor, for a video window of
// another process (a renderer outside the host). All of it runs on the host's thread during a
// channel change; HostKind and HostTopWnd are atomic because the display timer reads them.
#include "display/discovery.h"

#include <cstring>

#include "display/osd.h"
#include "shared/channel.h"
#include "shared/commands.h"
#include "shared/monitors.h"

std::atomic<int32_t> HostKind{0};
std::atomic<HWND> HostTopWnd{nullptr};
HWND VideoWnd = nullptr;
HWND ProbeWnd = nullptr;
char TitleBuf[256];

namespace {

constexpr int kTopTitleChars = 7;     // characters of a top-level title that are read
constexpr int kProbeTitleChars = 15;  // characters of a probed window's title
constexpr int kMinTitleChars = 3;     // shorter top-level titles are passed over
constexpr int kGridStep = 200;        // pixels between probe points
constexpr int kChannelNameChars = 8;  // characters of the channel name compared

struct TitleRule {
  const char* prefix;
  int32_t kind;
};

// Top-level titles, in the order they are tried.
const TitleRule kHostTitles[] = {
    {"SkyView", kHostSkyView},
    {"DVB Vie", kHostSkyView},
    {"ALT-DVB", kHostAltDvb},
    {"ProgDVB", kHostProgDvb},
};

// Video-window titles with a fixed prefix; the channel-name test comes after them.
struct VideoRule {
  const char* prefix;
  size_t length;
  int32_t kind;
};
const VideoRule kVideoTitles[] = {
    {"ActiveMovie", 11, kHostSkyView},
    {"DvbVideoGr", 10, kHostAltDvb},
};

// Case-sensitive, byte by byte, up to `length` or the first NUL (a NUL takes part: a shorter
// string matches only a title of exactly that string).
bool SameUpTo(const char* title, const char* expected, size_t length) {
  return std::strncmp(title, expected, length) == 0;
}

// The captions of the plug-in's own panels (pelta.uir). The strip lies over the video and its
// name control shows the channel name: either would pass for a video window captioned with
// the channel's name, and the strip would then be laid along itself.
const char* const kOwnCaptions[] = {"Pelta", "Settings", "About", "EPG"};

bool IsOwnWindow(HWND window) {
  HWND root = GetAncestor(window, GA_ROOT);
  if (root == nullptr) root = window;
  char caption[16] = "";
  GetWindowTextA(root, caption, sizeof caption);
  for (const char* own : kOwnCaptions) {
    if (std::strcmp(caption, own) == 0) return true;
  }
  return false;
}

// The host kind a window's title makes it the video window of, 0 when it is none.
int32_t VideoKind(HWND window, const char* channel_name) {
  TitleBuf[0] = '\0';
  GetWindowTextA(window, TitleBuf, kProbeTitleChars + 1);
  for (const VideoRule& rule : kVideoTitles) {
    if (SameUpTo(TitleBuf, rule.prefix, rule.length)) return rule.kind;
  }
  // An empty channel name would match every untitled child window on the screen; a name
  // identifies a video window only when there is one.
  if (channel_name[0] != '\0' && SameUpTo(TitleBuf, channel_name, kChannelNameChars)) {
    return kHostProgDvb;
  }
  return kHostNone;
}

bool TakeVideoWindow(HWND window, int32_t kind) {
  if (kind == kHostNone) return false;
  VideoWnd = window;
  HostKind = kind;
  return true;
}

// Probes one screen point; true (and VideoWnd, HostKind set) when a video window is there.
bool ProbePoint(int x, int y, const char* channel_name) {
  POINT point{x, y};
  ProbeWnd = WindowFromPoint(point);
  // Nothing at that point (off every window): there is no title to compare.
  if (ProbeWnd == nullptr) return false;
  const int32_t kind = VideoKind(ProbeWnd, channel_name);
  // Only a window whose title matches is asked whether it is one of ours (a costlier look).
  return kind != kHostNone && !IsOwnWindow(ProbeWnd) && TakeVideoWindow(ProbeWnd, kind);
}

// The centre of every monitor first, then each monitor's grid, rows top to bottom and points
// left to right, from 200 pixels right of and below its top-left corner up to (not including)
// its right and bottom edges.
bool ProbeMonitors(const RECT* monitors, int count, const char* name) {
  for (int i = 0; i < count; ++i) {
    const RECT& m = monitors[i];
    if (ProbePoint(m.left + (m.right - m.left) / 2, m.top + (m.bottom - m.top) / 2, name)) {
      return true;
    }
  }
  for (int i = 0; i < count; ++i) {
    const RECT& m = monitors[i];
    for (int y = m.top + kGridStep; y < m.bottom; y += kGridStep) {
      for (int x = m.left + kGridStep; x < m.right; x += kGridStep) {
        if (ProbePoint(x, y, name)) return true;
      }
    }
  }
  return false;
}

// The search of the host's own windows: the process they belong to, the window not to
// descend into twice, the channel name to match, and whether a video window was found.
struct TreeSearch {
  DWORD process;
  HWND host;
  const char* name;
  bool found;
};

// A candidate is visible (its ancestors too) and covers at least one pixel; its title decides.
BOOL CALLBACK EPtreeWindow(HWND window, LPARAM data) {
  TreeSearch* search = reinterpret_cast<TreeSearch*>(data);
  RECT rect;
  if (!IsWindowVisible(window) || !GetWindowRect(window, &rect) || rect.right <= rect.left ||
      rect.bottom <= rect.top) {
    return TRUE;
  }
  search->found = TakeVideoWindow(window, VideoKind(window, search->name));
  return search->found ? FALSE : TRUE;
}

// A top-level window of the host's process other than the host window: itself, then its
// children. The plug-in's own panels live in the host's process and are passed over.
BOOL CALLBACK EPtreeTop(HWND window, LPARAM data) {
  TreeSearch* search = reinterpret_cast<TreeSearch*>(data);
  DWORD process = 0;
  if (window == nullptr || window == search->host) return TRUE;
  GetWindowThreadProcessId(window, &process);
  if (process != search->process || IsOwnWindow(window)) return TRUE;
  EPtreeWindow(window, data);
  if (!search->found) EnumChildWindows(window, &EPtreeWindow, data);
  return search->found ? FALSE : TRUE;
}

}  // namespace

BOOL CALLBACK EPproc(HWND hwnd, LPARAM) {
  if (hwnd == nullptr) return TRUE;
  TitleBuf[0] = '\0';
  GetWindowTextA(hwnd, TitleBuf, kTopTitleChars + 1);
  TitleBuf[kTopTitleChars] = '\0';
  if (std::strlen(TitleBuf) < static_cast<size_t>(kMinTitleChars)) return TRUE;
  HostKind = kHostNone;
  for (const TitleRule& rule : kHostTitles) {
    if (SameUpTo(TitleBuf, rule.prefix, kTopTitleChars)) {
      HostTopWnd = hwnd;
      HostKind = rule.kind;
      return FALSE;
    }
  }
  return TRUE;
}

int EPtree() {
  HWND host = HostTopWnd;
  if (host == nullptr) host = HostWnd;  // no host recognised by title: the one On_Start gave
  if (host == nullptr) return -1;
  char name[kChannelNameChars + 1];
  CurrentChannelNameAnsi(name, sizeof name);
  TreeSearch search{0, host, name, false};
  if (GetWindowThreadProcessId(host, &search.process) == 0 && search.process == 0) return -1;
  const LPARAM data = reinterpret_cast<LPARAM>(&search);
  EPtreeWindow(host, data);
  if (!search.found) EnumChildWindows(host, &EPtreeWindow, data);
  if (!search.found) EnumWindows(&EPtreeTop, data);
  return search.found ? 1 : -1;
}

int EPtry() {
  char name[kChannelNameChars + 1];
  CurrentChannelNameAnsi(name, sizeof name);
  RECT monitors[kMaxMonitorList];
  int count = ListMonitors(monitors, kMaxMonitorList);
  if (count == 0) {  // no monitor list: the screen as the panel run-time reports it
    monitors[0] = RECT{0, 0, ScreenWidth, ScreenHeight};
    count = 1;
  }
  return ProbeMonitors(monitors, count, name) ? 1 : -1;
}

void ResetDiscoveryState() {
  HostKind = 0;
  HostTopWnd = nullptr;
  VideoWnd = nullptr;
  ProbeWnd = nullptr;
  std::memset(TitleBuf, 0, sizeof TitleBuf);
}
