// libFuzzer target for the channel-change display, On_Channel_Change, fed arbitrary channel
// records, and the display timer behind it.
//
// Once per process the plug-in is loaded from a temporary module folder with the shipped
// pelta.uir and fallback logo, started (host "ProgDVB 7") and taken past its start cycle; a
// child window of the host stands in for the video window. Each input is:
//
//   [0] settings: bit 0 FollowVideo, bits 1-2 TextAlign (0, 16, 32, 7), bit 3 DebugMode -2,
//       bits 4-5 EpgEnabled (0, 1, 2, -1), bit 6 ShowLevel, bit 7 ShowTuning
//   [1] bits 0-5: ticks after each change (0..63); bit 6 presses P and bit 7 presses O
//       before those ticks
//   [2..5] the quality the host writes at offset 4 of the signal record (little-endian)
//   [6] the host's title: 0 "ProgDVB 7", 1 "ALT-DVB 2", 2 "SkyView", 3 "DVB Viewer", else
//       an unrecognised "Notepad"
//   [7] bits 0-5: characters of the record's name given to the video window's title
//   [8..] channel records, 868 bytes each; the last one is padded with zero bytes
//
// So names run to the end of the 92-byte field without a NUL, frequencies reach 2^32 - 1 and
// every CA code and polarisation byte comes by. After every change: the record is kept byte for
// byte, the name on the panel is the record's up to its NUL (at most 92 bytes, converted from
// the ANSI code page to UTF-8), the logo path and every panel text are terminated, polarisation
// and CA label are from their tables, the display cycle has restarted, and nothing shown
// depends on the bytes past the 804 that hosts fill.
#include <sys/stat.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "display/discovery.h"
#include "display/indicators.h"
#include "display/osd.h"
#include "display/timer.h"
#include "guide/eit.h"
#include "harness.h"
#include "host/entry.h"
#include "panels/memory/memory_panels.h"
#include "platform/sim/sim.h"
#include "settings/settings.h"
#include "shared/channel.h"
#include "shared/commands.h"

namespace {

HINSTANCE const kModule = reinterpret_cast<HINSTANCE>(0x10000);
constexpr size_t kHeader = 8;
std::string g_dir;
HWND g_host = nullptr;
HWND g_video = nullptr;

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "fuzz_channel: invariant broken: %s\n", what);
  std::abort();
}

void Teardown() {
  DllMain(kModule, DLL_PROCESS_DETACH, nullptr);
  const std::string cmd = "rm -rf '" + g_dir + "'";
  if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "cannot remove %s\n", g_dir.c_str());
}

void Setup() {
  char tmpl[] = "/tmp/pelta-fuzz-channel-XXXXXX";
  if (mkdtemp(tmpl) == nullptr) std::abort();
  g_dir = tmpl;
  const std::string src = PELTA_SOURCE_DIR;
  mkdir((g_dir + "/pelta_icon").c_str(), 0755);
  if (!harness::CopyFile(src + "/assets/pelta.uir", g_dir + "/pelta.uir") ||
      !harness::CopyFile(src + "/assets/pelta_icon/0.jpg", g_dir + "/pelta_icon/0.jpg") ||
      !harness::CopyFile(src + "/assets/pelta.ini", g_dir + "/pelta.ini")) {
    std::abort();
  }
  sim::Reset();
  mem::Reset();
  sim::SetModuleDir(g_dir.c_str());
  sim::SetClock(20, 15, 0);
  harness::ResetHost(77, 0);
  g_host = harness::CreateHostWindow("ProgDVB 7", RECT{0, 0, 1920, 1080});
  g_video = sim::CreateWindow("", RECT{100, 50, 900, 650}, g_host);
  for (int i = 0; i < 20; ++i) sim::CreateWindow("Other", RECT{i * 90, 900, i * 90 + 80, 980});
  if (!DllMain(kModule, DLL_PROCESS_ATTACH, nullptr)) std::abort();
  std::atexit(&Teardown);
  char hot_key[16] = "";
  char version[16] = "";
  int res = 0;
  On_Start(nullptr, g_host, FALSE, 7, hot_key, version, &res);
  TProgram82 gate;
  std::memset(gate.bytes, 0, sizeof gate.bytes);
  On_Channel_Change(gate);
  sim::FireTimer(5);
  Check(StartKeySent.load() == 1, "past the start cycle");
}

void ApplySettings(const uint8_t* h) {
  FollowVideo = h[0] & 1;
  static const int32_t kAlign[] = {0, 16, 32, 7};
  TextAlign = kAlign[(h[0] >> 1) & 3];
  DebugMode = (h[0] & 8) != 0 ? -2 : 0;
  static const int32_t kEpg[] = {0, 1, 2, -1};
  EpgEnabled = kEpg[(h[0] >> 4) & 3];
  ShowLevel = (h[0] >> 6) & 1;
  ShowTuning = (h[0] >> 7) & 1;
  std::memcpy(&harness::quality_to_write, h + 2, 4);
  static const char* const kHosts[] = {"ProgDVB 7", "ALT-DVB 2", "SkyView", "DVB Viewer"};
  sim::SetTitle(g_host, h[6] < 4 ? kHosts[h[6]] : "Notepad");
}

bool Terminated(const char* text, size_t size) {
  return std::memchr(text, 0, size) != nullptr;
}

std::string Text(int control) {
  char text[mem::kTextMax];
  Check(mem::CtrlText(pnlDisplay, control, text, sizeof text), "display control readable");
  Check(Terminated(text, sizeof text), "display text terminated");
  return text;
}

void CheckAfterChange(const TProgram82& chan) {
  Check(std::memcmp(CurrentChannel.bytes, chan.bytes, kProgramSize) == 0,
        "the record is kept byte for byte");
  Check(TickCount.load() == 0 && DisplayActive.load() == 1, "a new display cycle");
  Check(mem::IsVisible(pnlDisplay), "the display is shown");
  Check(Terminated(LogoPath, sizeof LogoPath) && Terminated(FreqText, sizeof FreqText) &&
            Terminated(TitleBuf, sizeof TitleBuf),
        "paths and titles terminated");
  const int32_t state = eitstate.load();
  Check(state >= 0 && state <= 8, "eitstate in range");
  if (DebugMode.load() == -2) return;  // the contents are left as they were

  const size_t name_length = std::find(chan.bytes, chan.bytes + kChannelNameField, 0) - chan.bytes;
  const std::string name(reinterpret_cast<const char*>(chan.bytes), name_length);
  // The host sends the name in the ANSI code page; the panel holds it as UTF-8.
  char shown[kChannelNameField * 3 + 1];
  AnsiToUtf8(name.c_str(), shown, sizeof shown);
  Check(Text(8) == shown, "the name is the record's up to its NUL, in UTF-8");
  const std::string pol = Text(6);
  Check(pol == (chan.bytes[97] == 1 || chan.bytes[97] == 13 ? "V" : "H"), "polarisation");
  Check(Text(7).size() == 3, "a three-letter CA label");
  Check(Text(5).size() <= 10, "the frequency fits ten digits");
}

// Hosts fill 804 bytes; on i686 the rest of the 868 is the host's stack. The same record with
// those 64 bytes changed shows the same name, tuning texts and CA label and colour.
void CheckBytesPastTheHostsRecordDoNotCount(const TProgram82& chan) {
  if (DebugMode.load() == -2) return;
  const int controls[] = {5, 6, 7, 8};
  std::string before[4];
  for (int i = 0; i < 4; ++i) before[i] = Text(controls[i]);
  const int32_t ca_state = CaState;
  TProgram82 other = chan;
  for (size_t i = kHostRecordSize; i < kProgramSize; ++i) other.bytes[i] ^= 0xA5;
  On_Channel_Change(other);
  for (int i = 0; i < 4; ++i) {
    Check(Text(controls[i]) == before[i], "bytes past 804 change nothing shown");
  }
  Check(CaState == ca_state, "bytes past 804 leave the CA state");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (g_dir.empty()) Setup();
  if (size < kHeader) return 0;
  ApplySettings(data);
  const int ticks = data[1] & 63;

  for (size_t at = kHeader; at < size; at += kProgramSize) {
    TProgram82 chan;
    std::memset(chan.bytes, 0, sizeof chan.bytes);
    std::memcpy(chan.bytes, data + at, std::min(kProgramSize, size - at));

    // The video window takes the first characters of the record's name as its title.
    char title[64];
    const size_t n = std::min<size_t>(data[7] & 63, kChannelNameField);
    std::memcpy(title, chan.bytes, std::min(n, sizeof title - 1));
    title[std::min(n, sizeof title - 1)] = '\0';
    sim::SetTitle(g_video, title);

    On_Channel_Change(chan);
    CheckAfterChange(chan);
    CheckBytesPastTheHostsRecordDoNotCount(chan);

    if ((data[1] & 0x40) != 0) sim::PressKey('P');
    if ((data[1] & 0x80) != 0) sim::PressKey('O');
    sim::FireTimer(ticks);
    Check(TickCount.load() >= 0 && TickCount.load() <= 51, "the cycle count stays in range");
  }
  // The logs are bounded; keep them from filling over a long run.
  sim::ClearLogs();
  return 0;
}
