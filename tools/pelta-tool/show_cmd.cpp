// pelta-tool show: one channel change on a simulated desktop, written down as display.json
// (json_dump.h) and drawn as display.png (render.h).
//
// The plug-in is loaded from a fresh module folder, started by a simulated host whose main
// window covers the screen, and taken through what a host does: the first channel change (held
// back by the plug-in until its start cycle has ended), ticks until the start key has gone,
// then the channel change that is shown. EIT from a transport-stream file is then delivered as
// a host's section filter would (the PID 0x12 payloads, ten 184-byte packets per call, through
// the callback the plug-in gave in its start record), and the timer ticks until the programme
// lines are on the display or the display cycle reaches its last tick before the hide. With
// --ts-later, the timer then runs until the display has hidden and a second stream is
// delivered (a programme change while the strip is away). Keys (P, O) are pressed next, one
// tick each. --monitors gives the desktop several monitors (the first is the primary), each
// with its DPI; --host-rect puts the host's main window elsewhere than over the whole primary
// monitor, --dpi-aware 1 makes the host per-monitor DPI aware. --tz sets the machine's time zone
// (for `local` in line 10 of the settings); --now fixes the machine's clock in UTC for the whole
// run (the programme's progress, and the time of day the strip shows, in the zone of --tz). Last,
// --menu selects an item of the host's plug-in menu (44454 Settings, 44455 About, 44456 EPG) with
// the buttons given by --press queued for its event loop, as a user would press them: a press that
// ends the loop closes the dialog; without one the loop runs out of events and the dialog is
// written down open.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "args.h"
#include "commands.h"
#include "display/discovery.h"
#include "display/timer.h"
#include "guide/eit.h"
#include "harness.h"
#include "host/entry.h"
#include "json_dump.h"
#include "panels/memory/memory_panels.h"
#include "render.h"
#include "shared/channel.h"
#include "ts.h"

namespace {

constexpr int kBlockPackets = 10;    // payloads per delivery: 1840 bytes, under 2000
constexpr int kStartCycleTicks = 5;  // the start key goes at the fifth tick
constexpr int kLastShownTick = 50;   // the 51st tick of a cycle hides the display
constexpr int kMaxStartTicks = 100;  // give up if the start cycle never ends
constexpr int kDllId = 7;
HINSTANCE const kModule = reinterpret_cast<HINSTANCE>(0x10000);

int Usage() {
  std::fprintf(
      stderr,
      "usage: pelta-tool show [--ini F] [--uir F] [--icons DIR]\n"
      "         [--screen WxH | --monitors WxH+X+Y[@DPI],...] [--dpi-aware 0|1]\n"
      "         [--host-title T] [--host-rect L,T,R,B] [--video L,T,R,B [--video-title T]]\n"
      "         [--name S] [--freq N] [--pol N] [--sid N] [--ca N] [--signal N]\n"
      "         [--time HH:MM | --now YYYY-MM-DDTHH:MM[:SS]Z] [--tz ZONE]\n"
      "         [--ts FILE [--ts-later FILE]] [--keys P|O...]\n"
      "         [--menu 44454|44455|44456 [--press CONTROL]...] --out DIR\n"
      "  Writes DIR/display.json and DIR/display.png (and a picture of each dialog or\n"
      "  guide window left open: settings.png, about.png, guide.png). The host window is titled\n"
      "  'ProgDVB 7' unless --host-title says otherwise and covers the primary monitor unless\n"
      "  --host-rect says otherwise; the video window (a child of the host window) is titled\n"
      "  with the channel name unless --video-title says so. --monitors: the first is the\n"
      "  primary (at +0+0), offsets may be negative (1920x1080-1920+0), DPI 96 by default;\n"
      "  --dpi-aware 1: the host is per-monitor DPI aware (default 0, unaware).\n");
  return 2;
}

struct ShowOptions {
  harness::Options files;
  int width = 1920;
  int height = 1080;
  sim::Monitor monitors[sim::kMaxMonitors] = {};
  int monitor_count = 0;  // 0: one monitor of width x height
  bool screen_given = false;
  long dpi_aware = 0;
  bool host_rect_given = false;
  RECT host_rect{0, 0, 0, 0};
  const char* host_title = "ProgDVB 7";
  bool video = false;
  RECT video_rect{0, 0, 0, 0};
  const char* video_title = nullptr;
  const char* name = "Das Erste";
  long freq = 11836000;
  long pol = 1;
  long sid = 28106;
  long ca = 0;
  long signal = 87;
  int hours = -1;
  int minutes = 0;
  bool now_set = false;
  long long now = 0;  // --now: seconds since 1970-01-01 UTC
  const char* ts_file = nullptr;
  const char* ts_later = nullptr;
  const char* zone = nullptr;
  std::string keys;
  long menu = 0;
  int presses[8] = {};
  int press_count = 0;
  const char* out = nullptr;
};

// "L,T,R,B" of a window that covers at least one pixel.
bool ParseRect(const char* v, RECT* out) {
  int l, t, r, b, n = 0;
  const bool ok =
      std::sscanf(v, "%d,%d,%d,%d%n", &l, &t, &r, &b, &n) == 4 && v[n] == '\0' && r > l && b > t;
  if (ok) *out = RECT{l, t, r, b};
  return ok;
}

// "WxH+X+Y[@DPI],..." (X and Y signed: "+0", "-1920"); the first is the primary monitor.
bool ParseMonitors(const char* v, ShowOptions* o) {
  o->monitor_count = 0;
  for (const char* at = v;; ++at) {
    if (o->monitor_count >= sim::kMaxMonitors) return false;
    int w = 0, h = 0, x = 0, y = 0, n = 0;
    if (*at < '0' || *at > '9' || std::sscanf(at, "%dx%d%d%d%n", &w, &h, &x, &y, &n) != 4) {
      return false;
    }
    int dpi = 96;
    at += n;
    if (*at == '@') {
      if (std::sscanf(at, "@%d%n", &dpi, &n) != 1) return false;
      at += n;
    }
    if (w <= 0 || h <= 0 || w > 32767 || h > 32767 || x < -32768 || x > 32767 || y < -32768 ||
        y > 32767)
      return false;
    sim::Monitor& m = o->monitors[o->monitor_count];
    m = sim::Monitor{RECT{x, y, x + w, y + h}, dpi, o->monitor_count == 0};
    ++o->monitor_count;
    if (*at == '\0') return true;
    if (*at != ',') return false;
  }
}

// "2026-07-01T20:15:00Z" (seconds optional, UTC) as seconds since 1970-01-01 UTC.
bool ParseUtc(const char* text, long long* out) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0, n = 0;
  if (std::sscanf(text, "%4d-%2d-%2dT%2d:%2d%n", &y, &mo, &d, &h, &mi, &n) != 5) return false;
  const char* rest = text + n;
  if (rest[0] == ':') {
    int m = 0;
    if (std::sscanf(rest, ":%2d%n", &sec, &m) != 1) return false;
    rest += m;
  }
  if (std::strcmp(rest, "Z") != 0) return false;
  std::tm t{};
  t.tm_year = y - 1900;
  t.tm_mon = mo - 1;
  t.tm_mday = d;
  t.tm_hour = h;
  t.tm_min = mi;
  t.tm_sec = sec;
  const std::time_t seconds = timegm(&t);
  std::tm back{};
  // A date or time that does not exist (2026-02-30, 24:00) comes back changed.
  if (gmtime_r(&seconds, &back) == nullptr || back.tm_year != y - 1900 || back.tm_mon != mo - 1 ||
      back.tm_mday != d || back.tm_hour != h || back.tm_min != mi || back.tm_sec != sec) {
    return false;
  }
  *out = static_cast<long long>(seconds);
  return true;
}

bool ParseOptions(int argc, char** argv, ShowOptions* o) {
  for (int i = 0; i < argc; ++i) {
    const char* opt = argv[i];
    if (i + 1 >= argc) {
      std::fprintf(stderr, "pelta-tool show: %s needs a value\n", opt);
      return false;
    }
    const char* v = argv[++i];
    bool ok = true;
    if (std::strcmp(opt, "--ini") == 0) {
      o->files.ini = v;
    } else if (std::strcmp(opt, "--uir") == 0) {
      o->files.uir = v;
    } else if (std::strcmp(opt, "--icons") == 0) {
      o->files.icons = v;
    } else if (std::strcmp(opt, "--screen") == 0) {
      int n = 0;
      ok = std::sscanf(v, "%dx%d%n", &o->width, &o->height, &n) == 2 && v[n] == '\0' &&
           o->width > 0 && o->height > 0 && o->width <= 32767 && o->height <= 32767;
      o->screen_given = true;
    } else if (std::strcmp(opt, "--monitors") == 0) {
      // The monitors must make a desktop Windows could have (sim::SetMonitors checks the rest).
      ok = ParseMonitors(v, o) && sim::SetMonitors(o->monitors, o->monitor_count);
    } else if (std::strcmp(opt, "--dpi-aware") == 0) {
      ok = ParseLong(v, 0, 1, &o->dpi_aware);
    } else if (std::strcmp(opt, "--host-rect") == 0) {
      ok = ParseRect(v, &o->host_rect);
      o->host_rect_given = true;
    } else if (std::strcmp(opt, "--host-title") == 0) {
      o->host_title = v;
    } else if (std::strcmp(opt, "--video") == 0) {
      ok = ParseRect(v, &o->video_rect);
      o->video = true;
    } else if (std::strcmp(opt, "--video-title") == 0) {
      o->video_title = v;
    } else if (std::strcmp(opt, "--name") == 0) {
      ok = std::strlen(v) < kChannelNameField;
      o->name = v;
    } else if (std::strcmp(opt, "--freq") == 0) {
      ok = ParseLong(v, 0, 4294967295L, &o->freq);
    } else if (std::strcmp(opt, "--pol") == 0) {
      ok = ParseLong(v, 0, 255, &o->pol);
    } else if (std::strcmp(opt, "--sid") == 0) {
      ok = ParseLong(v, 0, 65535, &o->sid);
    } else if (std::strcmp(opt, "--ca") == 0) {
      ok = ParseLong(v, 0, 255, &o->ca);
    } else if (std::strcmp(opt, "--signal") == 0) {
      ok = ParseLong(v, -2147483647L - 1, 2147483647L, &o->signal);
    } else if (std::strcmp(opt, "--time") == 0) {
      int n = 0;
      ok = std::sscanf(v, "%d:%d%n", &o->hours, &o->minutes, &n) == 2 && v[n] == '\0' &&
           o->hours >= 0 && o->hours < 24 && o->minutes >= 0 && o->minutes < 60;
    } else if (std::strcmp(opt, "--now") == 0) {
      ok = ParseUtc(v, &o->now);
      o->now_set = true;
    } else if (std::strcmp(opt, "--ts") == 0) {
      o->ts_file = v;
    } else if (std::strcmp(opt, "--ts-later") == 0) {
      o->ts_later = v;
    } else if (std::strcmp(opt, "--tz") == 0) {
      o->zone = v;
    } else if (std::strcmp(opt, "--keys") == 0) {
      for (const char* k = v; *k != '\0' && ok; ++k) {
        const char key = static_cast<char>(*k & ~0x20);  // either case
        ok = key == 'P' || key == 'O';
        o->keys += key;
      }
    } else if (std::strcmp(opt, "--menu") == 0) {
      ok = ParseLong(v, 44454, 44456, &o->menu);
    } else if (std::strcmp(opt, "--press") == 0) {
      long control = 0;
      ok = o->press_count < 8 && ParseLong(v, 1, 1000, &control);
      if (ok) o->presses[o->press_count++] = static_cast<int>(control);
    } else if (std::strcmp(opt, "--out") == 0) {
      o->out = v;
    } else {
      std::fprintf(stderr, "pelta-tool show: unknown option %s\n", opt);
      return false;
    }
    if (!ok) {
      std::fprintf(stderr, "pelta-tool show: bad value for %s: %s\n", opt, v);
      return false;
    }
  }
  if (o->out == nullptr) {
    std::fprintf(stderr, "pelta-tool show: --out DIR is required\n");
    return false;
  }
  if (o->screen_given && o->monitor_count > 0) {
    std::fprintf(stderr, "pelta-tool show: give --screen or --monitors, not both\n");
    return false;
  }
  if (o->now_set && o->hours >= 0) {
    std::fprintf(stderr,
                 "pelta-tool show: --now sets the time of day too: give one of --now, "
                 "--time\n");
    return false;
  }
  return true;
}

TProgram82 Channel(const ShowOptions& o) {
  TProgram82 chan;
  std::memset(chan.bytes, 0, sizeof chan.bytes);
  std::memcpy(chan.bytes, o.name, std::strlen(o.name));
  const uint32_t freq = static_cast<uint32_t>(o.freq);
  for (int i = 0; i < 4; ++i) chan.bytes[92 + i] = static_cast<unsigned char>(freq >> (8 * i));
  chan.bytes[97] = static_cast<unsigned char>(o.pol);
  chan.bytes[122] = static_cast<unsigned char>(o.sid & 0xFF);
  chan.bytes[123] = static_cast<unsigned char>(o.sid >> 8);
  chan.bytes[128] = static_cast<unsigned char>(o.ca);
  return chan;
}

// Delivers the EIT payloads as the host's filter does; returns the number of calls.
int FeedEit(const ts::Bytes& stream) {
  if (harness::data_callback == nullptr) return 0;
  const ts::Bytes payloads = ts::ExtractPayloads(stream, ts::kEitPid);
  const size_t block = kBlockPackets * ts::kPayloadSize;
  int calls = 0;
  for (size_t at = 0; at < payloads.size(); at += block) {
    const size_t size = payloads.size() - at < block ? payloads.size() - at : block;
    harness::data_callback(1, static_cast<int>(size), payloads.data() + at);
    ++calls;
  }
  return calls;
}

bool MakeFolder(const char* path) {
  if (mkdir(path, 0755) == 0 || errno == EEXIST) return true;
  std::fprintf(stderr, "pelta-tool show: cannot make %s\n", path);
  return false;
}

int Run(const ShowOptions& o) {
  ts::Bytes stream;
  if (o.ts_file != nullptr && !ts::ReadFile(o.ts_file, &stream)) {
    std::fprintf(stderr, "pelta-tool show: cannot read %s\n", o.ts_file);
    return 1;
  }
  ts::Bytes later;
  if (o.ts_later != nullptr && !ts::ReadFile(o.ts_later, &later)) {
    std::fprintf(stderr, "pelta-tool show: cannot read %s\n", o.ts_later);
    return 1;
  }
  if (!MakeFolder(o.out)) return 1;

  sim::Reset();
  mem::Reset();
  harness::command_count = 0;
  harness::data_callback = nullptr;
  harness::quality_to_write = static_cast<int32_t>(o.signal);
  if (o.monitor_count > 0) {
    sim::SetMonitors(o.monitors, o.monitor_count);
  } else {
    sim::SetScreenSize(o.width, o.height);
  }
  sim::SetDpiAwareness(o.dpi_aware != 0 ? sim::kDpiPerMonitorAware : sim::kDpiUnaware);
  if (o.hours >= 0) sim::SetClock(o.hours, o.minutes, 0);
  if (o.now_set) sim::SetNow(o.now);
  if (o.zone != nullptr && !sim::SetTimeZone(o.zone)) {
    std::fprintf(stderr, "pelta-tool show: unknown time zone %s\n", o.zone);
    return 2;
  }
  if (!harness::PrepareModuleDir(o.files)) return 1;
  const RECT primary{0, 0, sim::ScreenWidth(), sim::ScreenHeight()};
  HWND host = harness::CreateHostWindow(o.host_title, o.host_rect_given ? o.host_rect : primary);
  if (o.video) {
    sim::CreateWindow(o.video_title != nullptr ? o.video_title : o.name, o.video_rect, host);
  }

  const bool loaded = DllMain(kModule, DLL_PROCESS_ATTACH, nullptr) != 0;
  int eit_calls = 0;
  if (loaded) {
    char hot_key[64] = "";
    char version[64] = "";
    int res = 0;
    On_Start(nullptr, host, FALSE, kDllId, hot_key, version, &res);
    const TProgram82 chan = Channel(o);
    On_Channel_Change(chan);  // held back: the start cycle
    sim::FireTimer(kStartCycleTicks);
    for (int i = 0; StartKeySent == 0 && DisplayActive == 1 && i < kMaxStartTicks; ++i) {
      sim::FireTimer();
    }
    On_Channel_Change(chan);
    eit_calls = FeedEit(stream);
    while (sim::TimerRunning() && DisplayActive == 1 && TickCount < kLastShownTick &&
           eitstate != 8) {
      sim::FireTimer();
    }
    if (o.ts_later != nullptr) {
      for (int i = 0; sim::TimerRunning() && DisplayActive == 1 && i <= kLastShownTick; ++i) {
        sim::FireTimer();
      }
      eit_calls += FeedEit(later);
      sim::FireTimer();  // the strip stays hidden: new lines wait for a display cycle
    }
    for (char key : o.keys) {
      sim::PressKey(key);
      sim::FireTimer();
    }
    if (o.menu != 0) {
      const int panel = o.menu == kMenuSettings ? pnlSettings.load()
                        : o.menu == kMenuAbout  ? pnlAbout.load()
                                                : pnlGuide.load();
      for (int i = 0; i < o.press_count; ++i) mem::QueueCommit(panel, o.presses[i]);
      On_Menu_Select(static_cast<UINT>(o.menu));
    }
  }

  std::string json_path = std::string(o.out) + "/display.json";
  std::string error;
  const bool written =
      jsondump::WriteDisplayJson(json_path.c_str(), host, &error, static_cast<unsigned>(o.menu));
  if (!written) std::fprintf(stderr, "pelta-tool show: %s\n", error.c_str());
  bool drawn = false;
  if (loaded) {
    std::string png_path = std::string(o.out) + "/display.png";
    char render_error[256] = "";
    drawn = RenderPanel(pnlDisplay, png_path.c_str(), render_error, sizeof render_error);
    if (!drawn) std::fprintf(stderr, "pelta-tool show: no picture: %s\n", render_error);
    // The guide window (O key or menu) and dialogs left open.
    const struct {
      int panel;
      const char* file;
    } open_windows[] = {
        {pnlGuide, "guide.png"}, {pnlSettings, "settings.png"}, {pnlAbout, "about.png"}};
    for (const auto& w : open_windows) {
      if (!mem::IsVisible(w.panel)) continue;
      const std::string path = std::string(o.out) + "/" + w.file;
      if (!RenderPanel(w.panel, path.c_str(), render_error, sizeof render_error)) {
        std::fprintf(stderr, "pelta-tool show: no picture %s: %s\n", w.file, render_error);
      }
    }
  }

  sim::WindowInfo info{};
  const HWND osd = FindWindowA(nullptr, "Pelta");
  if (!loaded) {
    std::printf("show: load refused (%d message box%s) -> %s\n", sim::MessageBoxCount(),
                sim::MessageBoxCount() == 1 ? "" : "es", json_path.c_str());
  } else if (osd != nullptr && sim::GetInfo(osd, &info)) {
    std::printf(
        "show: display %ld,%ld %ldx%ld %s, host kind %d, eitstate %d, %d host commands, "
        "%d EIT blocks, %d keys sent -> %s%s\n",
        static_cast<long>(info.rect.left), static_cast<long>(info.rect.top),
        static_cast<long>(info.rect.right - info.rect.left),
        static_cast<long>(info.rect.bottom - info.rect.top), info.visible ? "shown" : "hidden",
        HostKind.load(), eitstate.load(), harness::command_count, eit_calls, sim::KeyEventCount(),
        json_path.c_str(), drawn ? " (+ display.png)" : "");
  }

  if (loaded) DllMain(kModule, DLL_PROCESS_DETACH, nullptr);
  harness::Cleanup();
  if (!written) return 1;
  return loaded ? 0 : 1;
}

}  // namespace

int RunShow(int argc, char** argv) {
  ShowOptions options;
  if (!ParseOptions(argc, argv, &options)) return Usage();
  return Run(options);
}
