// Recognising the host by its top-level titles, and the video window among the host's own
// windows or by probing every monitor.
#include "display/discovery.h"

#include <gtest/gtest.h>

#include <vector>

#include "display/osd.h"
#include "fixture.h"
#include "platform/sim/sim.h"
#include "shared/channel.h"
#include "shared/commands.h"

namespace {

class DiscoveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Reset();
    ResetDiscoveryState();
    ResetChannelState();
    Screen(1920, 1080);
  }
  void TearDown() override {
    ResetDiscoveryState();
    ResetChannelState();
  }
  static void Screen(int width, int height) {
    sim::SetScreenSize(width, height);
    ScreenWidth = width;
    ScreenHeight = height;
  }
  static void Channel(const char* name) { StoreCurrentChannel(MakeChannel(name, 0, 0, 0, 0)); }
  // Top-level windows; the last one made is the top of the z-order and is enumerated first.
  static HWND Window(const char* title) { return sim::CreateWindow(title, RECT{0, 0, 10, 10}); }
  static void Enumerate() { EnumWindows(&EPproc, 0); }
};

TEST_F(DiscoveryTest, TopLevelTitlesGiveTheHostKind) {
  struct Case {
    const char* title;
    int32_t kind;
  } cases[] = {
      {"ProgDVB 6.0", kHostProgDvb},  // only seven characters are read
      {"ProgDVB", kHostProgDvb},     {"ALT-DVB 2.2", kHostAltDvb},
      {"SkyView", kHostSkyView},     {"DVB Viewer Pro", kHostSkyView},
      {"progdvb", kHostNone},  // case-sensitive
      {"ProgDV", kHostNone},   // a shorter title does not match a longer prefix
      {"Prog DVB", kHostNone},       {"ALT-DVb", kHostNone},
      {"DVB View", kHostSkyView},
  };
  for (const Case& c : cases) {
    sim::Reset();
    ResetDiscoveryState();
    HWND w = Window(c.title);
    Enumerate();
    EXPECT_EQ(HostKind.load(), c.kind) << c.title;
    EXPECT_EQ(HostTopWnd.load(), c.kind != kHostNone ? w : nullptr) << c.title;
  }
}

TEST_F(DiscoveryTest, ShortTitlesAreSkippedButThreeCharactersResetTheKind) {
  struct Case {
    const char* title;
    int32_t kind_after;
  } cases[] = {{"ALT", kHostNone}, {"AB", kHostAltDvb}, {"", kHostAltDvb}, {"Abc", kHostNone}};
  for (const Case& c : cases) {
    sim::Reset();
    ResetDiscoveryState();
    HWND earlier = Window("ALT-DVB");
    Enumerate();
    ASSERT_EQ(HostKind.load(), kHostAltDvb);
    sim::DestroyWindow(earlier);
    Window(c.title);
    Enumerate();
    EXPECT_EQ(HostKind.load(), c.kind_after) << "'" << c.title << "'";
    EXPECT_EQ(HostTopWnd.load(), earlier) << "the handle is kept from the last match";
  }
}

TEST_F(DiscoveryTest, TheFirstWindowEnumeratedWinsAndStopsTheEnumeration) {
  HWND alt = Window("ALT-DVB");
  HWND sky = Window("SkyView");  // above ALT-DVB: enumerated first
  Enumerate();
  EXPECT_EQ(HostKind.load(), kHostSkyView);
  EXPECT_EQ(HostTopWnd.load(), sky);

  sim::BringToTop(alt);
  Window("Editor");  // on top now, no match: examined first, resets nothing that stays
  Enumerate();
  EXPECT_EQ(HostKind.load(), kHostAltDvb);
  EXPECT_EQ(HostTopWnd.load(), alt);

  // After a match the rest is not looked at: a later 'Abc' would have reset the kind to 0.
  sim::Reset();
  ResetDiscoveryState();
  Window("Abc");
  HWND prog = Window("ProgDVB");
  Enumerate();
  EXPECT_EQ(HostKind.load(), kHostProgDvb);
  EXPECT_EQ(HostTopWnd.load(), prog);
}

TEST_F(DiscoveryTest, VideoWindowAtTheCentreIsFoundWithoutTheGrid) {
  struct Case {
    const char* title;
    const char* channel;
    int32_t kind;
  } cases[] = {
      {"ActiveMovie Window", "X", kHostSkyView},
      {"ActiveMovie", "X", kHostSkyView},
      {"DvbVideoGraph", "X", kHostAltDvb},
      {"Kanal", "Kanal", kHostProgDvb},
      {"Sportkanal 2", "Sportkanal 2", kHostProgDvb},
      {"Sportkanal HD", "Sportkanal 2", kHostProgDvb},  // the first eight characters
      {"Sportkan", "Sportkanal 2", kHostProgDvb},
  };
  for (const Case& c : cases) {
    sim::Reset();
    ResetDiscoveryState();
    Channel(c.channel);
    HWND host = sim::CreateWindow("ProgDVB 7", RECT{0, 0, 1920, 1080});
    HWND video = sim::CreateWindow(c.title, RECT{900, 500, 1000, 600}, host);
    const int lookups = sim::PointLookupCount();
    EXPECT_EQ(EPtry(), 1) << c.title;
    EXPECT_EQ(sim::PointLookupCount() - lookups, 1) << c.title;
    EXPECT_EQ(VideoWnd, video) << c.title;
    EXPECT_EQ(HostKind.load(), c.kind) << c.title;
  }
}

TEST_F(DiscoveryTest, TitlesThatAreNoVideoWindow) {
  struct Case {
    const char* title;
    const char* channel;
    const char* own_panel = nullptr;  // the window is a control of this plug-in panel
  } cases[] = {
      {"Kanal 2", "Kanal"},  // a name shorter than eight must match whole, NUL included
      {"kanal", "Kanal"},
      {"ActiveMovi", "X"},
      {"DvbVideoG", "X"},
      {"Sportka", "Sportkanal 2x"},
      {"", ""},  // an empty name identifies nothing, not every untitled window
      // The plug-in's own windows: the strip (caption "Pelta"), its name control showing the
      // channel name, and the guide.
      {"Pelta", "Pelta"},
      {"Sport 1", "Sport 1", "Pelta"},
      {"ActiveMovie Window", "X", "Pelta"},
      {"Kanal", "Kanal", "EPG"},
  };
  for (const Case& c : cases) {
    sim::Reset();
    ResetDiscoveryState();
    HostKind = kHostAltDvb;
    Channel(c.channel);
    HWND parent = nullptr;
    if (c.own_panel != nullptr) parent = sim::CreateWindow(c.own_panel, RECT{0, 0, 1920, 1080});
    sim::CreateWindow(c.title, RECT{0, 0, 1920, 1080}, parent);
    EXPECT_EQ(EPtry(), -1) << c.title;
    EXPECT_EQ(VideoWnd, nullptr) << c.title;
    EXPECT_EQ(HostKind.load(), kHostAltDvb) << "a failed probe leaves the kind: " << c.title;
  }
}

TEST_F(DiscoveryTest, GridRunsRowByRowFrom200AndStopsAtTheFirstMatch) {
  Screen(1024, 768);
  Channel("Kanal");
  // The centre (512, 384) falls on no window. The grid holds 5 x 3 points: x 200..1000,
  // y 200..600. A 1-pixel video window at a grid point is hit after that many lookups.
  struct Case {
    int x, y;
    int lookups;  // the centre, then the grid points up to and including this one
  } cases[] = {{200, 200, 2}, {400, 200, 3}, {1000, 200, 6},
               {200, 400, 7}, {600, 400, 9}, {1000, 600, 16}};
  for (const Case& c : cases) {
    sim::Reset();
    ResetDiscoveryState();
    Screen(1024, 768);  // the probe asks the desktop for its monitors
    HWND video = sim::CreateWindow("Kanal", RECT{c.x, c.y, c.x + 1, c.y + 1});
    const int before = sim::PointLookupCount();
    EXPECT_EQ(EPtry(), 1);
    EXPECT_EQ(sim::PointLookupCount() - before, c.lookups) << c.x << "," << c.y;
    EXPECT_EQ(VideoWnd, video);
  }
}

TEST_F(DiscoveryTest, PointsOutsideTheGridAreNeverProbed) {
  Screen(1024, 768);
  Channel("Kanal");
  const RECT misses[] = {
      {1024, 0, 1100, 768},  // x = ScreenWidth
      {0, 768, 1024, 800},   // y = ScreenHeight
      {0, 0, 199, 768},      // left of x 200
      {0, 0, 1024, 199},     // above y 200
      {201, 201, 399, 399},  // between grid points
  };
  for (const RECT& r : misses) {
    sim::Reset();
    ResetDiscoveryState();
    Screen(1024, 768);
    sim::CreateWindow("Kanal", r);
    const int before = sim::PointLookupCount();
    EXPECT_EQ(EPtry(), -1) << r.left << "," << r.top;
    EXPECT_EQ(sim::PointLookupCount() - before, 16) << "centre + 15 grid points";
  }
  // 1920 x 1080: the centre and 9 x 5 grid points.
  Screen(1920, 1080);
  sim::Reset();
  const int before = sim::PointLookupCount();
  EXPECT_EQ(EPtry(), -1);
  EXPECT_EQ(sim::PointLookupCount() - before, 46);
}

TEST_F(DiscoveryTest, ProbeOverridesTheEnumeratedKindAndFindsChildWindows) {
  Channel("Das Erste");
  HWND host = sim::CreateWindow("ProgDVB 7", RECT{0, 0, 1920, 1080});
  Enumerate();
  ASSERT_EQ(HostKind.load(), kHostProgDvb);
  HWND panel = sim::CreateWindow("Panel", RECT{0, 0, 1920, 1080}, host);
  HWND video = sim::CreateWindow("ActiveMovie Window", RECT{100, 100, 300, 300}, panel);
  EXPECT_EQ(EPtry(), 1);
  EXPECT_EQ(VideoWnd, video);
  EXPECT_EQ(ProbeWnd, video);
  EXPECT_EQ(HostKind.load(), kHostSkyView);
  EXPECT_EQ(HostTopWnd.load(), host);
}

// EPtree looks among the host's own windows before any point is probed: a video window there is
// found however it is covered; what lies outside the host's process is left to the probe.
TEST_F(DiscoveryTest, HostsOwnWindowsAreSearchedBeforeAnyProbe) {
  constexpr DWORD kOther = 7;  // another program
  enum Where { kChild, kGrandchild, kOwnTopLevel, kForeign, kOwnPanel };
  struct Case {
    const char* what;
    Where where;
    bool visible;
    RECT rect;
    bool covered;  // a foreign window over the whole desktop, above the video window
    int tree, probe, lookups;
  } cases[] = {
      {"child, uncovered", kChild, true, {900, 500, 1000, 600}, false, 1, 0, 0},
      {"child, covered", kChild, true, {900, 500, 1000, 600}, true, 1, 0, 0},
      {"grandchild off every probe point", kGrandchild, true, {1, 1, 2, 2}, true, 1, 0, 0},
      {"top-level window of the host's process", kOwnTopLevel, true, {5, 5, 50, 50}, true, 1, 0, 0},
      {"hidden child", kChild, false, {900, 500, 1000, 600}, false, -1, -1, 46},
      {"empty child", kChild, true, {900, 500, 900, 600}, false, -1, -1, 46},
      {"another program's, uncovered", kForeign, true, {900, 500, 1000, 600}, false, -1, 1, 1},
      {"another program's, covered", kForeign, true, {900, 500, 1000, 600}, true, -1, -1, 46},
      {"a control of the plug-in's strip",
       kOwnPanel,
       true,
       {900, 500, 1000, 600},
       false,
       -1,
       -1,
       46},
  };
  for (const Case& c : cases) {
    sim::Reset();
    ResetDiscoveryState();
    Channel("Kanal");
    HWND host = sim::CreateWindow("ProgDVB 7", RECT{0, 0, 1920, 1080});
    HostTopWnd = host;
    HWND parent = nullptr;
    if (c.where == kChild) parent = host;
    if (c.where == kGrandchild) parent = sim::CreateWindow("Panel", RECT{0, 0, 3, 3}, host);
    if (c.where == kOwnPanel) parent = sim::CreateWindow("Pelta", RECT{0, 0, 1920, 1080});
    HWND video = sim::CreateWindow("Kanal", c.rect, parent);
    if (c.where == kForeign) sim::SetProcess(video, kOther);
    sim::ShowWindow(video, c.visible);
    if (c.covered)
      sim::SetProcess(sim::CreateWindow("Editor", RECT{-5000, -5000, 9000, 9000}), kOther);
    const int before = sim::PointLookupCount();
    EXPECT_EQ(EPtree(), c.tree) << c.what;
    if (c.tree < 0) {
      EXPECT_EQ(EPtry(), c.probe) << c.what;
    }
    EXPECT_EQ(sim::PointLookupCount() - before, c.lookups) << c.what;
    EXPECT_EQ(VideoWnd, c.tree > 0 || c.probe > 0 ? video : nullptr) << c.what;
    EXPECT_EQ(HostKind.load(), c.tree > 0 || c.probe > 0 ? kHostProgDvb : kHostNone) << c.what;
  }
  // No host recognised: the window On_Start gave stands in for it; none at all, no search.
  sim::Reset();
  ResetDiscoveryState();
  HWND main = sim::CreateWindow("Viewer", RECT{0, 0, 100, 100});
  HWND video = sim::CreateWindow("ActiveMovie Window", RECT{10, 10, 90, 90}, main);
  HostWnd = nullptr;
  EXPECT_EQ(EPtree(), -1);
  HostWnd = main;
  EXPECT_EQ(EPtree(), 1);
  EXPECT_EQ(VideoWnd, video);
  EXPECT_EQ(HostKind.load(), kHostSkyView);
  HostWnd = nullptr;
}

// The probe covers every monitor: the centres first, then each monitor's grid from its own
// top-left corner, whichever side of the primary it lies (negative coordinates included).
TEST_F(DiscoveryTest, ProbeCoversEveryMonitorCentresFirst) {
  const RECT kPrimary{0, 0, 1024, 768};
  const RECT kSeconds[] = {{1024, 0, 2304, 720}, {-1280, 0, 0, 720}, {0, -720, 1280, 0}};
  for (const RECT& second : kSeconds) {
    // The second monitor's grid: 6 x 3 points, x left+200..left+1200, y top+200..top+600.
    struct Case {
      int dx, dy;   // from the second monitor's top-left corner; -1: no video window
      int lookups;  // two centres, the primary's 15 grid points, then the second's
    } cases[] = {{640, 360, 2},   {200, 200, 18}, {1200, 200, 23},
                 {1200, 600, 35}, {199, 200, 35}, {-1, -1, 35}};
    for (const Case& c : cases) {
      SCOPED_TRACE(std::to_string(second.left) + "," + std::to_string(second.top) + " + " +
                   std::to_string(c.dx) + "," + std::to_string(c.dy));
      sim::Reset();
      ResetDiscoveryState();
      const sim::Monitor monitors[] = {{kPrimary, 96, true}, {second, 96, false}};
      ASSERT_TRUE(sim::SetMonitors(monitors, 2));
      Channel("Kanal");
      HWND video = nullptr;
      if (c.dx >= 0) {
        const LONG x = second.left + c.dx, y = second.top + c.dy;
        video = sim::CreateWindow("Kanal", RECT{x, y, x + 1, y + 1});
      }
      const int before = sim::PointLookupCount();
      const bool hit = c.dx >= 0 && c.dx != 199;
      EXPECT_EQ(EPtry(), hit ? 1 : -1);
      EXPECT_EQ(sim::PointLookupCount() - before, c.lookups);
      EXPECT_EQ(VideoWnd, hit ? video : nullptr);
    }
  }
}

}  // namespace
