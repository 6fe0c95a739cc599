// Where the strip goes on a channel change: the display area and the strip's rectangle in it.
#pragma once

#include "display/osd.h"

// The strip window's rectangle in screen pixels, the DPI it is drawn at, and the width of the
// display area in layout pixels, against which the controls are placed (the strip is that
// width minus 60 wide in layout pixels).
struct StripPlace {
  int x, y, width, height;
  int dpi;
  int layout_area_width;
};

// Chooses DisplayArea for this channel change and returns the DPI of its monitor:
//   FollowVideo 0: the monitor that shows most of the host's main window (the primary before
//     a host window is known);
//   otherwise: the video window, looked for among the host's windows (EPtree) and then under
//     points of every monitor (EPtry); none found, the area of the last change, or the host's
//     monitor when there never was one.
// Sets VideoWnd to HostTopWnd with FollowVideo 0, as the search would have set it otherwise.
int ChooseDisplayArea();

// The strip along the bottom of DisplayArea: 30 pixels in from each side, its bottom 40 above
// the area's, `display_height` high; every measure in layout pixels, scaled to `dpi`.
StripPlace PlaceStrip(int display_height, int dpi);

void ResetAreaState();
