// The display area of a channel change, and the strip's place in it (see area.h).
//
// Television is often watched on a second monitor: the host's window, or its video window,
// may lie on any monitor, left of or above the primary one (negative coordinates). The area is
// that monitor's whole rectangle, or the video window's, and the strip is laid along its
// bottom. On a DPI-aware host the strip's insets and height are scaled to the monitor's DPI,
// like the controls in it (the panel run-time scales those by the panel's DPI).
#include "display/area.h"

#include "display/discovery.h"
#include "settings/settings.h"
#include "shared/commands.h"
#include "shared/monitors.h"

namespace {

constexpr int kPanelInset = 30;  // the strip is 30 pixels in from each side of the area
constexpr int kBottomGap = 40;   // and its bottom 40 pixels above the area's bottom

// Whether DisplayArea has been set by a channel change since load (a monitor, or a video window
// found). Until then a failed video search falls back to the host's monitor.
bool AreaKnown = false;

// The host's main window as On_Start gave it, else the window recognised by its title.
HWND HostMainWindow() {
  return HostWnd != nullptr ? HostWnd : HostTopWnd.load();
}

int SetArea(const RECT& rect, int dpi) {
  DisplayArea.left = rect.left;
  DisplayArea.bottom = rect.bottom;
  DisplayArea.width = rect.right - rect.left;
  DisplayArea.height = rect.bottom - rect.top;
  AreaKnown = true;
  return dpi;
}

int HostMonitorArea() {
  const MonitorArea monitor = MonitorOfWindow(HostMainWindow());
  return SetArea(monitor.rect, monitor.dpi);
}

}  // namespace

int ChooseDisplayArea() {
  if (FollowVideo == 0) {
    VideoWnd = HostTopWnd;
    return HostMonitorArea();
  }
  RECT rect;
  if ((EPtree() > 0 || EPtry() > 0) && GetWindowRect(VideoWnd, &rect)) {
    return SetArea(rect, MonitorOfRect(rect, VideoWnd).dpi);
  }
  // No video window this time: keep the area of the last change. If there never was one,
  // an all-zero area would put a -60 pixel wide panel above the screen; use the host's monitor.
  if (!AreaKnown) return HostMonitorArea();
  const RECT kept{DisplayArea.left, DisplayArea.bottom - DisplayArea.height,
                  DisplayArea.left + DisplayArea.width, DisplayArea.bottom};
  return MonitorOfRect(kept, VideoWnd).dpi;
}

StripPlace PlaceStrip(int display_height, int dpi) {
  StripPlace place;
  const int inset = ScaleToDpi(kPanelInset, dpi);
  place.dpi = dpi;
  place.height = ScaleToDpi(display_height, dpi);
  place.x = DisplayArea.left + inset;
  place.y = DisplayArea.bottom - (place.height + ScaleToDpi(kBottomGap, dpi));
  place.width = DisplayArea.width - 2 * inset;
  place.layout_area_width = LayoutPixels(place.width, dpi) + 2 * kPanelInset;
  return place;
}

void ResetAreaState() {
  AreaKnown = false;
}
