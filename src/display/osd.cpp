// The channel-change display: what the host's On_Channel_Change shows.
//
// A topmost strip (the display panel, window caption "Pelta") is laid along the bottom of the
// host's video picture, or of the host's whole monitor, 30 pixels in from either side and its
// bottom 40 pixels above the area's bottom edge (area.h; scaled for a DPI-aware host). It carries
// the channel name and logo, the reception indicators at the right-hand end, the time of day and
// the present/following programme lines, which the display timer fills in once the EIT reader has
// both. The timer hides the strip after one display time.
//
// Until the first display cycle after load has ended (the start key has gone), a channel
// change only restarts that cycle: hosts switch to their start channel while still building
// their windows, and nothing useful could be found or shown yet.
#include "display/osd.h"

#include <cstdio>
#include <cstring>

#include "display/area.h"
#include "display/discovery.h"
#include "display/indicators.h"
#include "display/progress.h"
#include "display/timer.h"
#include "guide/eit.h"
#include "guide/filter.h"
#include "panels/panels.h"
#include "settings/settings.h"
#include "shared/controls.h"
#include "shared/state.h"

std::atomic<int32_t> ScreenWidth{0};
std::atomic<int32_t> ScreenHeight{0};
TDisplayArea DisplayArea;
char LogoPath[256];
std::atomic<int32_t> DisplayExited{0};

namespace {

constexpr int kPanelInset = 30;       // the panel is 30 layout pixels in from each side
constexpr int kDebugTitleChars = 31;  // DebugMode -2 shows this much of the centre window's title
constexpr int32_t kDebugProbeTitle = -2;

// Left edges of the indicator block, as offsets from the area width W (the panel is W - 60
// wide): 12 is the block's decoration, 15/14/13 the level, quality and CA-state indicators,
// 4 the time, 5/6/7 frequency, polarisation and CA label.
struct ControlEdge {
  int control;
  int from_right;
};
const ControlEdge kIndicatorEdges[] = {
    {kDecorationControl, 165}, {kLevelControl, 157}, {kQualityControl, 127}, {kCaStateControl, 97},
    {kTimeControl, 150},       {kFreqControl, 160},  {kPolControl, 115},     {kCaLabelControl, 93},
};
const int kTextControls[] = {kNameControl, kNowControl, kNextControl};
constexpr int kRightAlignedFromRight = 190;  // right-aligned texts end near the indicators
constexpr int kCentredMargin = 80;           // centred texts: (W - 80) / 2
constexpr int kClearOfIndicators = 8;        // the texts end this far left of the right-hand group
constexpr int kLogoGap = 5;                  // aligned texts start this far right of the logo

void PlaceControls(int panel, int area_width) {
  for (const ControlEdge& edge : kIndicatorEdges) {
    SetCtrlAttribute(panel, edge.control, ATTR_LEFT, area_width - edge.from_right);
  }
  // Right-aligned and centred texts are labels anchored at their left edge (pelta.uir):
  // blank them first so they do not flash at the new position with the old text.
  int left = 0;
  const int32_t align = TextAlign;
  if (align == kJustifyRight) {
    left = area_width - kRightAlignedFromRight;
  } else if (align == kJustifyCentre) {
    left = (area_width - kCentredMargin) / 2;
  } else {
    return;
  }
  for (int control : kTextControls) SetCtrlVal(panel, control, " ");
  for (int control : kTextControls) SetCtrlAttribute(panel, control, ATTR_LEFT, left);
}

struct Span {
  int left, right;  // right is one past the last pixel
};

bool VisibleBox(int panel, int control, Span* out) {
  int visible = 0;
  int top = 0;
  int left = 0;
  int height = 0;
  int width = 0;
  if (GetCtrlAttribute(panel, control, ATTR_VISIBLE, &visible) != 0 || visible == 0 ||
      GetCtrlBoundingRect(panel, control, &top, &left, &height, &width) != 0) {
    return false;
  }
  *out = Span{left, left + width};
  return true;
}

// With programme times on, the progress bar takes the right-hand end of the name's row, its
// right edge kClearOfIndicators left of the right-hand group, and the name must end as far left
// of the bar. The room is kept whether the bar is on show or not, so the name does not move
// when the programme lines arrive. Returns the right-hand limit of the name; a strip too
// narrow for the bar beside the logo gives it no room.
int PlaceProgressBar(int panel, int start, int limit) {
  int width = 0;
  const bool room = ProgrammeTimes == 1 &&
                    GetCtrlAttribute(panel, kProgressControl, ATTR_WIDTH, &width) == 0 &&
                    width > 0 && limit - width >= start;
  SetProgressRoom(room ? width : 0);
  if (!room) return limit;
  SetCtrlAttribute(panel, kProgressControl, ATTR_LEFT, limit - width);
  return limit - width - kClearOfIndicators;
}

// Shortens the name and programme lines so that each ends at least kClearOfIndicators pixels
// left of the leftmost visible control of the right-hand group (decoration, indicators, tuning
// labels, time), or of the panel's right edge; the name also left of the progress bar. A text that
// does not fit its box is drawn with an ellipsis by the panel driver and by pelta-tool's pictures
// alike; the value stays whole.
//   left-aligned: from its left edge (the layout's) to the limit;
//   right-aligned: from the logo to its anchor's end (W - 182), or the limit if that is nearer;
//   centred: around the same centre, as wide as the room on the nearer side allows.
// Runs after the indicators' visibility was set for this channel; the panel is W - 60 wide.
void FitTextControls(int panel, int area_width) {
  int limit = area_width - 2 * kPanelInset;
  for (const ControlEdge& edge : kIndicatorEdges) {
    Span box{};
    if (VisibleBox(panel, edge.control, &box) && box.left < limit) limit = box.left;
  }
  limit -= kClearOfIndicators;
  Span logo{};
  const int start = VisibleBox(panel, kLogoControl, &logo) ? logo.right + kLogoGap : 0;
  const int name_limit = PlaceProgressBar(panel, start, limit);
  for (int control : kTextControls) {
    const int end_limit = control == kNameControl ? name_limit : limit;
    int justify = kJustifyLeft;
    int left = 0;
    if (GetCtrlAttribute(panel, control, ATTR_TEXT_JUSTIFY, &justify) != 0 ||
        GetCtrlAttribute(panel, control, ATTR_LEFT, &left) != 0) {
      continue;
    }
    int width = end_limit - left;
    if (justify == kJustifyRight) {
      // Anchored at its left edge: the text ends 8 pixels right of it (the panel model).
      int end = left + 8;
      if (end > end_limit) {
        end = end_limit;
        left = end - 8;
      }
      width = end - start;
    } else if (justify == kJustifyCentre) {
      const int centre = left + 4;
      const int half = centre - start < end_limit - centre ? centre - start : end_limit - centre;
      width = 2 * half;
    }
    SetCtrlAttribute(panel, control, ATTR_LEFT, left);
    SetCtrlAttribute(panel, control, ATTR_WIDTH, width > 0 ? width : 0);
  }
}

// The strip is placed without activating it: moved with activation it would take the focus from
// whatever the user works in, a dialog of the plug-in included.
void ShowAndPlacePanel(int panel, const StripPlace& strip) {
  DisplayPanel(panel);
  OsdWnd = PanelWindow(panel);
  if (OsdWnd == nullptr) return;
  SetWindowPos(OsdWnd, HWND_TOPMOST, strip.x, strip.y, strip.width, strip.height,
               SWP_SHOWWINDOW | SWP_NOACTIVATE);
}

// DebugMode -2: the title of the window under the screen centre, to find out what a host
// calls its video window.
void ShowCentreTitle(int panel, int width, int height) {
  POINT centre{width / 2, height / 2};
  HWND window = WindowFromPoint(centre);
  TitleBuf[0] = '\0';
  if (window != nullptr) GetWindowTextA(window, TitleBuf, kDebugTitleChars + 1);
  SetCtrlVal(panel, kNextControl, TitleBuf);
}

// The logo's file name for a channel name: each character Windows forbids in a file name
// (\ / : * ? " < > |) becomes '_'. The name comes from the broadcast through the host: a
// separator would reach outside the logo folder ("..\outside"), and the others could never
// name a file ("ORF2 W/N" looks for "ORF2 W_N.jpg"). Other bytes are kept as they are.
void LogoFileName(const char* name, char* out, size_t size) {
  size_t i = 0;
  for (; name[i] != '\0' && i + 1 < size; ++i) {
    const char c = name[i];
    out[i] = std::strchr("\\/:*?\"<>|", c) != nullptr ? '_' : c;
  }
  out[i] = '\0';
}

// "<IconDir><name>.jpg", or the fallback "<IconDir>0.jpg" when that cannot be shown. A path
// that does not fit LogoPath is not cut short (it would name another file): it goes straight
// to the fallback.
void ShowLogo(int panel, const char* name) {
  char file_name[kChannelNameField + 1];
  LogoFileName(name, file_name, sizeof file_name);
  std::memset(LogoPath, 0, sizeof LogoPath - 1);
  int n = std::snprintf(LogoPath, sizeof LogoPath, "%s%s.jpg", IconDir, file_name);
  if (n > 0 && static_cast<size_t>(n) < sizeof LogoPath &&
      DisplayImageFile(panel, kLogoControl, LogoPath) == 0) {
    return;
  }
  n = std::snprintf(LogoPath, sizeof LogoPath, "%s0.jpg", IconDir);
  if (n > 0 && static_cast<size_t>(n) < sizeof LogoPath) {
    DisplayImageFile(panel, kLogoControl, LogoPath);
  }
}

void ResetProgrammeLines(int panel) {
  const int32_t epg = EpgEnabled;
  if (epg == 0) {
    SetCtrlVal(panel, kNowControl, " ");
    SetCtrlVal(panel, kNextControl, " ");
  }
  if (epg == 1 && eitstate == 0) {
    SetCtrlVal(panel, kNowControl, " ");
    SetCtrlVal(panel, kNextControl, " ");
    GetEIT();  // asks the host for the section filter on PID 0x12; eitstate 1
  } else if (epg == 1 && FilterAwaitsProof()) {
    GetEIT();  // the last start brought neither a running id nor data: ask again
  }
  if (epg == 1 && eitstate > 0) {
    // The filter stays open; what was captured for the previous service is dropped and the
    // reader waits for the new service's present and following events. The lines are empty
    // now; they are not read back here, since the reader may already be writing them.
    ResetLinesForChannel();
    SetCtrlVal(panel, kNowControl, "");
    SetCtrlVal(panel, kNextControl, "");
  }
}

}  // namespace

void PELTA_CDECL On_Channel_Change(TProgram82 chan) {
  if (DisplayExited != 0) return;  // the host has stopped the plug-in: no panel, no filter
  if (StartKeySent == 0) {
    TickCount = 0;
    DisplayActive = 1;
    return;
  }
  StoreCurrentChannel(chan);

  int height = 0;
  int width = 0;
  GetScreenSize(&height, &width);
  ScreenHeight = height;
  ScreenWidth = width;

  EnumWindows(&EPproc, 0);
  const int dpi = ChooseDisplayArea();

  const int panel = pnlDisplay;
  // The controls are placed in layout pixels; the run-time draws them at the monitor's DPI.
  SetPanelAttribute(panel, ATTR_PANEL_DPI, dpi);
  const StripPlace strip = PlaceStrip(DisplayHeight, dpi);
  const int area_width = strip.layout_area_width;
  PlaceControls(panel, area_width);
  ShowAndPlacePanel(panel, strip);

  if (DebugMode == kDebugProbeTitle) {
    ShowCentreTitle(panel, width, height);
  } else {
    char name[kChannelNameField + 1];
    ChannelName(chan, name, sizeof name);
    // The host's name is in the ANSI code page; the panels show UTF-8. The logo's file name
    // keeps the bytes the host sent.
    char shown[kChannelNameField * 3 + 1];
    AnsiToUtf8(name, shown, sizeof shown);
    SetCtrlVal(panel, kNameControl, shown);
    ShowLogo(panel, name);
    OtherData(chan);
    HideProgress();  // until the new service's present event is on the display
    ResetProgrammeLines(panel);
  }
  FitTextControls(panel, area_width);

  WriteTimeOfDay();
  TickCount = 0;
  DisplayActive = 1;

  HandFocusToHost();
}

void ResetOsdState() {
  ScreenWidth = ScreenHeight = 0;
  DisplayArea = TDisplayArea{};
  ResetAreaState();
  std::memset(LogoPath, 0, sizeof LogoPath);
  DisplayExited = 0;
}
