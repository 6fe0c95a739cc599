// The display's hot paths on the simulated desktop, with the plug-in loaded from a temporary
// module folder (assets/pelta.uir, a pelta.ini with FollowVideo 1, the fallback logo):
//  - ChannelChange: a desktop of two monitors (1920x1080 and 2560x1440 right of it) with 300
//    top-level windows of other programs above the host's and no video window, so the
//    enumeration visits all 301, the search of the host's own windows asks each for its process,
//    and the probe runs both centres and both whole grids (9 x 5 and 12 x 7: 131 point lookups);
//  - SimSearchBaseline: the same enumerations, process queries and 131 lookups with title
//    reads, done directly on the simulated desktop, with no plug-in code; ChannelChange minus
//    this is the plug-in's own share (the simulated lookups walk every window slot and are far
//    slower than Windows');
//  - ChannelChangeWholeScreen: FollowVideo 0 and only the host's window: no search to speak of;
//  - ChannelChangeOversizedLogo: the same with a logo whose header claims 20000 x 20000 pixels;
//  - TickIdle: a tick with no display cycle running (two key polls);
//  - TickBusy: a tick in a running cycle that sees the P key and has both programme lines
//    ready: the panel shown, the time written, both lines copied onto the panel;
//  - ChannelChangeWithBar: ChannelChange with programme times on (line 17): the progress
//    bar's room on the name's row is found, the bar of the last channel taken away;
//  - TickMovesBar: a counting tick with the progress bar up, the clock a minute on each time,
//    so value and text both change; TickBarSameSecond: the same tick within one clock second,
//    which leaves the bar alone.
// Ticks call TimerProc directly, as the timer thread does.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "display/progress.h"
#include "display/timer.h"
#include "guide/eit.h"
#include "harness.h"
#include "host/entry.h"
#include "panels/memory/memory_panels.h"
#include "platform/sim/sim.h"
#include "shared/channel.h"
#include "shared/commands.h"

namespace {

constexpr int kOtherWindows = 300;
constexpr DWORD kOtherProgram = 2;
const sim::Monitor kMonitors[] = {{RECT{0, 0, 1920, 1080}, 96, true},
                                  {RECT{1920, 0, 4480, 1440}, 96, false}};
HINSTANCE const kModule = reinterpret_cast<HINSTANCE>(0x10000);

// A loaded and started plug-in past its start cycle; the desktop as described above.
class Desktop {
 public:
  explicit Desktop(bool follow_video = true, int other_windows = kOtherWindows,
                   bool programme_times = false) {
    sim::Reset();
    mem::Reset();
    char tmpl[] = "/tmp/pelta-bench-XXXXXX";
    if (mkdtemp(tmpl) == nullptr) std::abort();
    dir_ = tmpl;
    const std::string src = PELTA_SOURCE_DIR;
    mkdir((dir_ + "/pelta_icon").c_str(), 0755);
    const bool copied =
        harness::CopyFile(src + "/assets/pelta.uir", dir_ + "/pelta.uir") &&
        harness::CopyFile(src + "/assets/pelta_icon/0.jpg", dir_ + "/pelta_icon/0.jpg");
    std::FILE* ini = std::fopen((dir_ + "/pelta.ini").c_str(), "wb");
    if (!copied || ini == nullptr) std::abort();
    // pelta.ini: 3 s, size 0, guide on, indicators on, FollowVideo as asked, opacity 180,
    // programme times as asked.
    std::fprintf(ini,
                 " 3.0\r\n0\r\n0\r\n16777215\r\n1\r\n1\r\n1\r\n%d\r\n0\r\n0\r\n0\r\n0\r\n"
                 "180\r\n0\r\n1\r\nArial\r\n%d\r\n",
                 follow_video ? 1 : 0, programme_times ? 1 : 0);
    std::fclose(ini);
    sim::SetModuleDir(dir_.c_str());
    sim::SetMonitors(kMonitors, 2);
    harness::ResetHost(1, 72);
    host_ = harness::CreateHostWindow("ProgDVB 7", RECT{0, 0, 1920, 1080});
    char title[32];
    for (int i = 0; i < other_windows; ++i) {
      std::snprintf(title, sizeof title, "Document %d - Editor", i);
      const LONG x = (i * 37) % 1800;
      const LONG y = (i * 53) % 1000;
      sim::SetProcess(sim::CreateWindow(title, RECT{x, y, x + 120, y + 80}), kOtherProgram);
    }
    if (!DllMain(kModule, DLL_PROCESS_ATTACH, nullptr)) std::abort();
    char hot_key[16] = "";
    char version[16] = "";
    int res = 0;
    On_Start(nullptr, host_, FALSE, 7, hot_key, version, &res);
    On_Channel_Change(Channel());
    sim::FireTimer(5);
    On_Channel_Change(Channel());  // opens the EIT filter
  }
  ~Desktop() {
    DllMain(kModule, DLL_PROCESS_DETACH, nullptr);
    const std::string cmd = "rm -rf '" + dir_ + "'";
    if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "cannot remove %s\n", dir_.c_str());
  }
  static TProgram82 Channel() {
    TProgram82 chan;
    std::memset(chan.bytes, 0, sizeof chan.bytes);
    std::memcpy(chan.bytes, "Das Erste", 9);
    const uint32_t freq = 11836000;
    std::memcpy(chan.bytes + 92, &freq, 4);
    chan.bytes[97] = 1;
    chan.bytes[122] = 0xCA;
    chan.bytes[123] = 0x6D;
    return chan;
  }

 private:
  std::string dir_;
  HWND host_ = nullptr;
};

void ChannelChange(benchmark::State& state) {
  Desktop desktop;
  const TProgram82 chan = Desktop::Channel();
  const int lookups = sim::PointLookupCount();
  for (auto _ : state) On_Channel_Change(chan);
  state.counters["lookups/call"] = static_cast<double>(sim::PointLookupCount() - lookups) /
                                   static_cast<double>(state.iterations());
}
BENCHMARK(ChannelChange);

// The same change with nothing to search: FollowVideo 0 and the host's window alone. What is
// left is the plug-in's own work with the panel run-time (and the logo file lookups).
void ChannelChangeWholeScreen(benchmark::State& state) {
  Desktop desktop(false, 0);
  const TProgram82 chan = Desktop::Channel();
  for (auto _ : state) On_Channel_Change(chan);
}
BENCHMARK(ChannelChangeWholeScreen);

// The whole-screen change to a channel whose logo file claims 20000 x 20000 pixels in 17 bytes:
// refused from its header, the fallback shown instead. Before the bound, a real decoder took
// seconds and gigabytes here.
void ChannelChangeOversizedLogo(benchmark::State& state) {
  Desktop desktop(false, 0);
  const TProgram82 chan = Desktop::Channel();
  const unsigned char header[] = {0xFF, 0xD8, 0xFF, 0xC0, 0,    11, 8,    0x4E, 0x20,
                                  0x4E, 0x20, 1,    1,    0x11, 0,  0xFF, 0xD9};
  std::FILE* logo =
      std::fopen((std::string(sim::ModuleDir()) + "/pelta_icon/Das Erste.jpg").c_str(), "wb");
  if (logo == nullptr || std::fwrite(header, 1, sizeof header, logo) != sizeof header) std::abort();
  std::fclose(logo);
  for (auto _ : state) On_Channel_Change(chan);
}
BENCHMARK(ChannelChangeOversizedLogo);

BOOL CALLBACK CountTitle(HWND hwnd, LPARAM) {
  char title[8];
  GetWindowTextA(hwnd, title, sizeof title);
  benchmark::DoNotOptimize(title[0]);
  return TRUE;
}

BOOL CALLBACK AskProcess(HWND hwnd, LPARAM) {
  DWORD process = 0;
  GetWindowThreadProcessId(hwnd, &process);
  benchmark::DoNotOptimize(process);
  return TRUE;
}

BOOL CALLBACK CountMonitor(HMONITOR, HDC, RECT*, LPARAM count) {
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}

void SimSearchBaseline(benchmark::State& state) {
  Desktop desktop;
  char title[16];
  for (auto _ : state) {
    EnumWindows(&CountTitle, 0);
    EnumWindows(&AskProcess, 0);
    int monitors = 0;
    EnumDisplayMonitors(nullptr, nullptr, &CountMonitor, reinterpret_cast<LPARAM>(&monitors));
    for (const sim::Monitor& m : kMonitors) {
      HWND hit = WindowFromPoint(
          POINT{(m.rect.left + m.rect.right) / 2, (m.rect.top + m.rect.bottom) / 2});
      GetWindowTextA(hit, title, sizeof title);
    }
    for (const sim::Monitor& m : kMonitors) {
      for (LONG y = m.rect.top + 200; y < m.rect.bottom; y += 200) {
        for (LONG x = m.rect.left + 200; x < m.rect.right; x += 200) {
          HWND hit = WindowFromPoint(POINT{x, y});
          GetWindowTextA(hit, title, sizeof title);
        }
      }
    }
    benchmark::DoNotOptimize(title[0]);
  }
}
BENCHMARK(SimSearchBaseline);

void TickIdle(benchmark::State& state) {
  Desktop desktop;
  for (int i = 0; i < 60 && DisplayActive == 1; ++i) TimerProc(0, 0, 0, 0, 0);
  for (auto _ : state) TimerProc(0, 0, 0, 0, 0);
  if (DisplayActive != 0) state.SkipWithError("a display cycle was running");
}
BENCHMARK(TickIdle);

void TickBusy(benchmark::State& state) {
  Desktop desktop;
  for (auto _ : state) {
    state.PauseTiming();
    sim::PressKey('P');
    {
      std::lock_guard<std::mutex> lock(GuideLock);
      std::strcpy(nowtxt, "(20:15) Tagesschau > Nachrichten des Tages ");
      std::strcpy(nxttxt, "(20:30) Wetter > Das Wetter für morgen ");
      eitstate = 7;
    }
    state.ResumeTiming();
    TimerProc(0, 0, 0, 0, 0);
  }
  if (eitstate != 8) state.SkipWithError("the lines were not taken");
}
BENCHMARK(TickBusy);

void ChannelChangeWithBar(benchmark::State& state) {
  Desktop desktop(true, kOtherWindows, true);
  const TProgram82 chan = Desktop::Channel();
  for (auto _ : state) On_Channel_Change(chan);
}
BENCHMARK(ChannelChangeWithBar);

// The bar up for a programme of 2026-07-01 from 20:00 UTC for 100 minutes (a minute is 1 %).
constexpr long long kBarStart = 1782936000;
constexpr int kBarMinutes = 100;

void StartBar() {
  sim::SetNow(kBarStart);
  ShowProgress(EventTimes{61222, 0x20, 0x00, 0x00, kBarMinutes * 60});
}

void TickMovesBar(benchmark::State& state) {
  Desktop desktop(true, kOtherWindows, true);
  StartBar();
  long long minute = 0;
  // The clock is set and the cycle kept going inside the timed loop (PauseTiming would cost
  // more than the tick): a store and the simulated clock's lock, some 20 ns.
  for (auto _ : state) {
    minute = minute + 1 < kBarMinutes ? minute + 1 : 0;
    sim::SetNow(kBarStart + minute * 60);
    TickCount = 1;
    TimerProc(0, 0, 0, 0, 0);
  }
  int value = -1;
  if (GetCtrlVal(pnlDisplay, 16, &value) != 0 || value != minute) {
    state.SkipWithError("the bar did not move");
  }
}
BENCHMARK(TickMovesBar);

void TickBarSameSecond(benchmark::State& state) {
  Desktop desktop(true, kOtherWindows, true);
  StartBar();
  for (auto _ : state) {
    TickCount = 1;  // the display cycle goes on
    TimerProc(0, 0, 0, 0, 0);
  }
  if (DisplayActive != 1) state.SkipWithError("the display cycle ended");
}
BENCHMARK(TickBarSameSecond);

}  // namespace

BENCHMARK_MAIN();
