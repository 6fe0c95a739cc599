// Monitors and DPI: the DPI the plug-in draws at, the strip on the monitor of the host's window
// or along its video window on any monitor, and the dialogs on the host's monitor, scaled.
#include "shared/monitors.h"

#include <gtest/gtest.h>

#include <string>

#include "display/discovery.h"
#include "display/osd.h"
#include "fixture.h"
#include "panels/panels.h"
#include "shared/state.h"

namespace {

constexpr RECT kPrimary{0, 0, 1920, 1080};
constexpr DWORD kOtherProgram = 9;

void Monitors(int primary_dpi, RECT second, int second_dpi) {
  const sim::Monitor list[] = {{kPrimary, primary_dpi, true}, {second, second_dpi, false}};
  ASSERT_TRUE(sim::SetMonitors(list, second.right > second.left ? 2 : 1));
}

TEST(MonitorScale, LayoutPixelsAtADpiRoundHalfAwayFromZero) {
  // clang-format off
  const struct {
    int pixels, dpi, scaled;
  } cases[] = {{30, 96, 30},  {30, 144, 45},  {455, 144, 683}, {1, 144, 2}, {-1, 144, -2},
               {30, 120, 38}, {60, 192, 120}, {0, 192, 0},     {5, 120, 6}, {-45, 120, -56},
               {2147483647, 192, 2147483647}};
  // clang-format on
  for (const auto& c : cases) {
    EXPECT_EQ(ScaleToDpi(c.pixels, c.dpi), c.scaled) << c.pixels << " at " << c.dpi;
  }
  const struct {
    int pixels, dpi, layout;
  } back[] = {{2470, 144, 1647}, {2440, 192, 1220}, {-45, 144, -30}, {1860, 96, 1860}, {7, 0, 7}};
  for (const auto& c : back) {
    EXPECT_EQ(LayoutPixels(c.pixels, c.dpi), c.layout) << c.pixels << " at " << c.dpi;
  }
}

// Which DPI a monitor gets, by the host's awareness and by what this Windows offers.
TEST(MonitorDpi, AwarenessAndTheFunctionsAtHand) {
  constexpr int kAll = sim::kAllDpiFunctions;
  constexpr int kNoShcore = sim::kDpiAwarenessFunctions | sim::kDpiForWindowFunction;
  const struct {
    const char* what;
    int functions, awareness;
    bool window;  // a window on the second monitor for GetDpiForWindow
    int dpi;
  } cases[] = {
      {"per monitor: the monitor's own", kAll, sim::kDpiPerMonitorAware, false, 144},
      {"system aware: the system DPI", kAll, sim::kDpiSystemAware, false, 120},
      {"unaware: Windows scales", kAll, sim::kDpiUnaware, false, 96},
      {"before Windows 10: unaware", 0, sim::kDpiPerMonitorAware, true, 96},
      {"only the DPI functions of user32", kNoShcore, sim::kDpiPerMonitorAware, true, 144},
      {"no window to ask: LOGPIXELSY", kNoShcore, sim::kDpiPerMonitorAware, false, 120},
      {"awareness alone: LOGPIXELSY", sim::kDpiAwarenessFunctions, sim::kDpiSystemAware, true, 120},
  };
  for (const auto& c : cases) {
    sim::Reset();
    Monitors(120, RECT{1920, 0, 4480, 1440}, 144);
    sim::SetDpiFunctions(c.functions);
    sim::SetDpiAwareness(c.awareness);
    HWND on_second = c.window ? sim::CreateWindow("w", RECT{2000, 10, 2100, 110}) : nullptr;
    const MonitorArea area = MonitorOfRect(RECT{3000, 100, 3100, 200}, on_second);
    EXPECT_EQ(area.rect.left, 1920) << c.what;
    EXPECT_EQ(area.dpi, c.dpi) << c.what;
  }
  // No window, or one that is gone: the primary monitor.
  sim::Reset();
  Monitors(96, RECT{-1280, 0, 0, 1024}, 96);
  HWND gone = sim::CreateWindow("w", RECT{-1000, 10, -900, 110});
  EXPECT_EQ(MonitorOfWindow(gone).rect.left, -1280);
  HWND off_screen = sim::CreateWindow("w", RECT{-9000, 100, -8000, 200});
  EXPECT_EQ(MonitorOfWindow(off_screen).rect.left, -1280) << "the nearest monitor";
  sim::DestroyWindow(gone);
  for (HWND window : {static_cast<HWND>(nullptr), gone}) {
    const MonitorArea area = MonitorOfWindow(window);
    EXPECT_EQ(area.rect.left, 0);
    EXPECT_EQ(area.rect.right, 1920);
  }
  sim::Reset();
}

class MonitorsTest : public PluginTest {
 protected:
  static RECT WindowRect(const char* caption) {
    sim::WindowInfo info{};
    EXPECT_TRUE(sim::GetInfo(FindWindowA(nullptr, caption), &info)) << caption;
    return info.rect;
  }
  static int Left(int control) {
    int value = -1;
    EXPECT_TRUE(mem::CtrlAttr(pnlDisplay, control, ATTR_LEFT, &value)) << control;
    return value;
  }
  // A fresh desktop and panel run-time for the next row, the plug-in's folder kept.
  void ResetDesktop() {
    Unload();
    sim::Reset();
    mem::Reset();
    sim::SetModuleDir(dir_.c_str());
  }
  void LoadWithFollowVideo(bool follow) {
    std::vector<std::string> lines = DefaultIni();
    lines[7] = follow ? "1" : "0";
    WriteIni(lines);
    LoadStartAndPassGate();
  }
};

// The strip on the monitor of the host's window (FollowVideo 0) or along the video window on
// whichever monitor (FollowVideo 1), its insets, height and controls scaled for a DPI-aware
// host. Size 0: 60 layout pixels high, 30 in from the sides, its bottom 40 above the area's.
TEST_F(MonitorsTest, TheStripOnTheHostsMonitorAtItsDpi) {
  enum Video { kNone, kChild, kChildCovered, kForeign, kForeignCovered };
  constexpr RECT kRight{1920, 0, 4480, 1440};
  constexpr RECT kLeft{-2560, 0, 0, 1440};
  constexpr RECT kAbove{0, -1440, 2560, 0};
  constexpr RECT kNoSecond{0, 0, 0, 0};
  constexpr RECT kOnRight{2000, 100, 4000, 1300};  // a host window on the right-hand monitor
  constexpr int kAll = sim::kAllDpiFunctions;
  constexpr int kPm = sim::kDpiPerMonitorAware;
  constexpr int kUnaware = sim::kDpiUnaware;
  // clang-format off
  const struct {
    const char* what;
    RECT second;
    int primary_dpi, second_dpi, awareness, functions;
    RECT host;
    Video video;
    RECT video_rect;
    int x, y, width, height, dpi, left12;
  } cases[] = {
      // what, second monitor, its and the primary's DPI, awareness, DPI functions, host window,
      //   video window, then the strip: x, y, width, height, DPI, control 12's left edge
      {"one monitor", kNoSecond, 96, 96, kUnaware, kAll, kPrimary, kNone, {},
       30, 980, 1860, 60, 96, 1755},
      {"host right of the primary", kRight, 96, 96, kUnaware, kAll, kOnRight, kNone, {},
       1950, 1340, 2500, 60, 96, 2395},
      {"host left of it", kLeft, 96, 96, kUnaware, kAll, {-2400, 100, -400, 1300}, kNone, {},
       -2530, 1340, 2500, 60, 96, 2395},
      {"host above it", kAbove, 96, 96, kUnaware, kAll, {100, -1300, 2100, -100}, kNone, {},
       30, -100, 2500, 60, 96, 2395},
      {"host mostly on the primary", kRight, 96, 96, kUnaware, kAll, {1000, 0, 2500, 1000}, kNone,
       {}, 30, 980, 1860, 60, 96, 1755},
      {"per monitor, 144", kRight, 96, 144, kPm, kAll, kOnRight, kNone, {},
       1965, 1290, 2470, 90, 144, 1542},
      {"unaware, 144: as at 96", kRight, 96, 144, kUnaware, kAll, kOnRight, kNone, {},
       1950, 1340, 2500, 60, 96, 2395},
      {"per monitor, 192", kRight, 96, 192, kPm, kAll, kOnRight, kNone, {},
       1980, 1240, 2440, 120, 192, 1115},
      {"system aware: the primary's 144 on the second", kRight, 144, 96, sim::kDpiSystemAware,
       kAll, kOnRight, kNone, {}, 1965, 1290, 2470, 90, 144, 1542},
      {"per monitor, 144, left", kLeft, 96, 144, kPm, kAll, {-2400, 100, -400, 1300}, kNone, {},
       -2515, 1290, 2470, 90, 144, 1542},
      {"Windows before 10: unaware", kRight, 96, 144, kPm, 0, kOnRight, kNone, {},
       1950, 1340, 2500, 60, 96, 2395},
      {"LOGPIXELSY 120", kRight, 120, 144, sim::kDpiSystemAware, sim::kDpiAwarenessFunctions,
       kOnRight, kNone, {}, 1958, 1315, 2484, 75, 120, 1882},
      {"video child on the second, 144", kRight, 96, 144, kPm, kAll, kOnRight, kChild,
       {2100, 200, 3100, 800}, 2145, 650, 910, 90, 144, 502},
      {"video child covered", kRight, 96, 96, kUnaware, kAll, kOnRight, kChildCovered,
       {2100, 200, 3100, 800}, 2130, 700, 940, 60, 96, 835},
      {"another program's video under the centre", kRight, 96, 96, kUnaware, kAll, kOnRight,
       kForeign, {2900, 400, 3500, 1000}, 2930, 900, 540, 60, 96, 435},
      {"another program's video covered: the host's monitor", kRight, 96, 96, kUnaware, kAll,
       kOnRight, kForeignCovered, {2900, 400, 3500, 1000}, 1950, 1340, 2500, 60, 96, 2395},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ResetDesktop();
    Monitors(c.primary_dpi, c.second, c.second_dpi);
    sim::SetDpiAwareness(c.awareness);
    sim::SetDpiFunctions(c.functions);
    host_ = harness::CreateHostWindow("ProgDVB 7", c.host);
    LoadWithFollowVideo(c.video != kNone);
    if (c.video != kNone) {
      const bool foreign = c.video == kForeign || c.video == kForeignCovered;
      HWND video = sim::CreateWindow("Das Erste", c.video_rect, foreign ? nullptr : host_);
      if (foreign) sim::SetProcess(video, kOtherProgram);
      if (c.video == kChildCovered || c.video == kForeignCovered) {
        sim::SetProcess(sim::CreateWindow("Editor", RECT{-9000, -9000, 9000, 9000}), kOtherProgram);
      }
    }
    On_Channel_Change(MakeChannel("Das Erste", 11836000, 1, 1, 0));
    const RECT r = WindowRect("Pelta");
    EXPECT_EQ(r.left, c.x);
    EXPECT_EQ(r.top, c.y);
    EXPECT_EQ(r.right - r.left, c.width);
    EXPECT_EQ(r.bottom - r.top, c.height);
    EXPECT_EQ(mem::PanelAttr(pnlDisplay, ATTR_PANEL_DPI), c.dpi);
    EXPECT_EQ(Left(12), c.left12) << "the decoration, in layout pixels";
  }
}

// The dialogs and the guide window open on the host's monitor, x and y from its corner, and
// scale like the strip.
TEST_F(MonitorsTest, DialogsOpenOnTheHostsMonitorScaled) {
  // clang-format off
  const struct {
    const char* what;
    int awareness;
    RECT host;
    UINT menu;
    const char* caption;
    RECT want;
    int dpi;
  } cases[] = {
      {"Settings, one monitor", sim::kDpiUnaware, kPrimary, 44454, "Settings",
       {50, 50, 490, 531}, 96},
      {"Settings, second, 144", sim::kDpiPerMonitorAware, {2000, 100, 4000, 1300}, 44454,
       "Settings", {1995, 75, 2655, 797}, 144},
      {"About, second, 144", sim::kDpiPerMonitorAware, {2000, 100, 4000, 1300}, 44455, "About",
       {2520, 75, 2970, 570}, 144},
      {"guide, second, unaware", sim::kDpiUnaware, {2000, 100, 4000, 1300}, 44456, "EPG",
       {1970, 50, 2430, 760}, 96},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ResetDesktop();
    Monitors(96, RECT{1920, 0, 4480, 1440}, 144);
    sim::SetDpiAwareness(c.awareness);
    host_ = harness::CreateHostWindow("ProgDVB 7", c.host);
    LoadStartAndPassGate();
    On_Menu_Select(c.menu);  // the scripted loop runs out of events at once
    const RECT r = WindowRect(c.caption);
    EXPECT_EQ(r.left, c.want.left);
    EXPECT_EQ(r.top, c.want.top);
    EXPECT_EQ(r.right, c.want.right);
    EXPECT_EQ(r.bottom, c.want.bottom);
    const int panel = c.menu == 44454 ? pnlSettings : c.menu == 44455 ? pnlAbout : pnlGuide;
    EXPECT_EQ(mem::PanelAttr(panel, ATTR_PANEL_DPI), c.dpi);
  }
}

// pelta-tool show --monitors / --host-rect / --dpi-aware as a user gives them: the strip where
// the plug-in places it, the monitors in display.json as given; a desktop Windows could not have
// is refused with the usage.
TEST_F(MonitorsTest, ShowToolTakesMonitorsHostRectangleAndAwareness) {
#ifndef PELTA_TOOL
  GTEST_SKIP() << "pelta-tool is not built in this configuration";
#else
  const struct {
    const char* args;
    int status;
    const char* window;    // the start of display.json's strip window, or null
    const char* monitors;  // the start of its monitor list
  } cases[] = {
      {"--monitors 1920x1080+0+0,2560x1440+1920+0@144 --host-rect 2000,100,4000,1300 "
       "--dpi-aware 1",
       0, "{\"x\": 1965, \"y\": 1290, \"width\": 2470, \"height\": 90,",
       "{\"x\": 0, \"y\": 0, \"width\": 1920, \"height\": 1080, \"dpi\": 96, \"primary\": "
       "true}, {\"x\": 1920, \"y\": 0, \"width\": 2560, \"height\": 1440, \"dpi\": 144, "
       "\"primary\": false}], \"dpi_awareness\": 2,"},
      {"--monitors 1920x1080+0+0,1280x720-1280+0 --host-rect -1200,10,-100,700", 0,
       "{\"x\": -1250, \"y\": 620, \"width\": 1220, \"height\": 60,",
       "{\"x\": 0, \"y\": 0, \"width\": 1920, \"height\": 1080, \"dpi\": 96, \"primary\": "
       "true}, {\"x\": -1280, \"y\": 0, \"width\": 1280, \"height\": 720, \"dpi\": 96, "
       "\"primary\": false}], \"dpi_awareness\": 0,"},
      {"--monitors 1024x768+0+0@120", 0, "{\"x\": 30, \"y\": 668, \"width\": 964,",
       "{\"x\": 0, \"y\": 0, \"width\": 1024, \"height\": 768, \"dpi\": 120, \"primary\": "
       "true}]"},
      {"--screen 1920x1080", 0, "{\"x\": 30, \"y\": 980, \"width\": 1860, \"height\": 60,",
       "{\"x\": 0, \"y\": 0, \"width\": 1920, \"height\": 1080, \"dpi\": 96, \"primary\": "
       "true}]"},
      {"--monitors 1920x1080+10+0", 2, nullptr, nullptr},  // the primary is at the origin
      {"--monitors 1920x1080+0+0,", 2, nullptr, nullptr},
      {"--monitors 1920x1080+0", 2, nullptr, nullptr},
      {"--monitors 0x1080+0+0", 2, nullptr, nullptr},
      {"--monitors 1920x1080+0+0@40", 2, nullptr, nullptr},
      {"--monitors 1920x1080+0+0@", 2, nullptr, nullptr},
      {"--monitors 1920x1080+0+0x", 2, nullptr, nullptr},
      {"--screen 800x600 --monitors 1920x1080+0+0", 2, nullptr, nullptr},
      {"--dpi-aware 2", 2, nullptr, nullptr},
      {"--host-rect 10,10,5,5", 2, nullptr, nullptr},
  };
  for (const auto& c : cases) {
    const std::string out = dir_ + "/out";
    std::system(("rm -rf '" + out + "'").c_str());
    int status = -1;
    RunCommand(
        std::string("'") + PELTA_TOOL + "' show " + c.args + " --out '" + out + "' >/dev/null 2>&1",
        &status);
    EXPECT_EQ(status, c.status) << c.args;
    if (c.window == nullptr) continue;
    const std::string json = RunCommand("cat '" + out + "/display.json'");
    EXPECT_NE(json.find(std::string("\"window\": ") + c.window), std::string::npos)
        << c.args << "\n"
        << json.substr(0, 200);
    EXPECT_NE(json.find(std::string("\"monitors\": [") + c.monitors), std::string::npos) << json;
  }
#endif
}

}  // namespace
