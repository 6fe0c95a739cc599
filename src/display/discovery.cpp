// Which host are we in, and where does it draw the video?
//
// The host tells the plug-in nothing but its main window handle, so both questions are
// answered from other programs' windows. EPproc looks at the first seven characters of every
// top-level title ("ALT-DVB ...", "ProgDVB 6.0", "SkyView", "DVB Viewer"); EPtry looks at the
// window under the screen centre and then under a 200-pixel grid for a video window: the
// DirectShow renderer's "ActiveMovie Window", ALT-DVB's "DvbVideoGraph", or a window captioned
// with the channel's name (ProgDVB). All of it runs on the host's thread during a channel
// change; HostKind and HostTopWnd are atomic because the display timer reads them.
#include "display/discovery.h"

#include <cstring>

#include "display/osd.h"
#include "shared/channel.h"

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

// Probes one screen point; true (and VideoWnd, HostKind set) when a video window is there.
bool ProbePoint(int x, int y, const char* channel_name) {
  POINT point{x, y};
  ProbeWnd = WindowFromPoint(point);
  // Nothing at that point (off every window): there is no title to compare.
  if (ProbeWnd == nullptr) return false;
  if (IsOwnWindow(ProbeWnd)) return false;
  TitleBuf[0] = '\0';
  GetWindowTextA(ProbeWnd, TitleBuf, kProbeTitleChars + 1);
  for (const VideoRule& rule : kVideoTitles) {
    if (SameUpTo(TitleBuf, rule.prefix, rule.length)) {
      VideoWnd = ProbeWnd;
      HostKind = rule.kind;
      return true;
    }
  }
  // An empty channel name would match every untitled child window on the screen; a name
  // identifies a video window only when there is one.
  if (channel_name[0] != '\0' && SameUpTo(TitleBuf, channel_name, kChannelNameChars)) {
    VideoWnd = ProbeWnd;
    HostKind = kHostProgDvb;
    return true;
  }
  return false;
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

int EPtry() {
  char name[kChannelNameChars + 1];
  CurrentChannelNameAnsi(name, sizeof name);
  const int width = ScreenWidth;
  const int height = ScreenHeight;
  if (ProbePoint(width / 2, height / 2, name)) return 1;
  for (int y = kGridStep; y < height; y += kGridStep) {
    for (int x = kGridStep; x < width; x += kGridStep) {
      if (ProbePoint(x, y, name)) return 1;
    }
  }
  return -1;
}

void ResetDiscoveryState() {
  HostKind = 0;
  HostTopWnd = nullptr;
  VideoWnd = nullptr;
  ProbeWnd = nullptr;
  std::memset(TitleBuf, 0, sizeof TitleBuf);
}
