// Recognising the host by its top-level titles and the video window by probing the screen.
#include "display/discovery.h"

#include <gtest/gtest.h>

#include <vector>

#include "display/osd.h"
#include "fixture.h"
#include "platform/sim/sim.h"
#include "shared/channel.h"

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

}  // namespace
