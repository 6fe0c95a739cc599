// The published and slots profiles: a host as the published host-side sources of this plug-in
// interface behave, where they differ from the seed host (docs/hosts.md).
//
//   the record     804 bytes, not 868: the CA list at 390/392 with CA_ID at 128 an index into
//                  it, polarisation left 0. On i686 the host pushes its 804 bytes and the 64
//                  bytes above them are its own stack; on x86_64 it passes the address of an
//                  804-byte copy. Either way the 64 bytes after the record are canaries here,
//                  checked after every On_Channel_Change together with the record itself.
//   the filter     no running id written ("published"), or the slot of the host's filter table
//                  ("slots", whose stop must carry that slot); one 184-byte packet per call,
//                  from a reader thread that goes on 200 ms after the stop.
//   the calls      DLL_ID 0, On_Start before On_Send_Dll_ID_Name with a 30-byte buffer, a
//                  channel change from a thread that is not the window's while the window's
//                  pumps, and at unload On_Filter_Close, On_Exit without arguments, 100 ms,
//                  FreeLibrary (once the reader has ended: a call into an unloaded library
//                  would end any host).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "testhost.h"

namespace testhost {
namespace {

constexpr size_t kRecordSize = 804;
constexpr size_t kCanaries = 64;
constexpr size_t kBlockSize = kRecordSize + kCanaries;
static_assert(kBlockSize == sizeof(TProgram82), "the plug-in's 868 bytes: record and canaries");
constexpr int kFirstDllId = 0;  // these hosts number their plug-ins from 0
constexpr size_t kNameBuffer = 30;

struct HostRecord {
  unsigned char bytes[kRecordSize];
};

void Put16(unsigned char* p, uint16_t v) {
  p[0] = static_cast<unsigned char>(v & 0xFF);
  p[1] = static_cast<unsigned char>(v >> 8);
}
void Put32(unsigned char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// A channel as these hosts fill it: name, provider and country in fields of 30 bytes, the
// frequency in kHz, polarisation not filled, symbol rate, PIDs, the service id, service type 1
// (TV), and the CA list with CA_ID the index of the system in use.
HostRecord PublishedRecord(const std::string& name, uint8_t ca_index,
                           std::initializer_list<uint16_t> systems) {
  HostRecord r = {};
  std::snprintf(reinterpret_cast<char*>(r.bytes), kNameBuffer, "%s", name.c_str());
  std::snprintf(reinterpret_cast<char*>(r.bytes + 30), kNameBuffer, "Pelta Provider");
  std::snprintf(reinterpret_cast<char*>(r.bytes + 60), kNameBuffer, "Pelta Land");
  Put32(r.bytes + 92, g_options.frequency);
  r.bytes[96] = 1;
  r.bytes[97] = 0;
  Put32(r.bytes + 100, 27500);
  const uint16_t pids[] = {1051, 0x0200, 0x0201, 0x0202, 0x0100, 0x0200, 0x1FFF};
  for (size_t i = 0; i < sizeof pids / sizeof pids[0]; ++i) Put16(r.bytes + 108 + 2 * i, pids[i]);
  Put16(r.bytes + 122, static_cast<uint16_t>(g_options.service_id));
  r.bytes[127] = 1;
  r.bytes[128] = ca_index;
  Put16(r.bytes + 390, static_cast<uint16_t>(systems.size()));
  uint16_t i = 0;
  for (uint16_t system : systems) {
    unsigned char* entry = r.bytes + 392 + 12 * i;
    Put16(entry, system);
    Put16(entry + 2, static_cast<uint16_t>(0x0600 + i));  // ECM PID
    Put16(entry + 4, static_cast<uint16_t>(0x0700 + i));  // EMM PID
    Put32(entry + 8, 0x00010000u + i);                    // provider id
    ++i;
  }
  return r;
}

#if defined(__i386__)
// Calls On_Channel_Change as a 32-bit host does: the record's bytes on the stack as the cdecl
// argument, the caller removing them afterwards. `block` is the record followed by the 64
// canary bytes that stand for the host's stack above its 804 bytes; the argument area as the
// call left it is copied to `after`. Returns how far the stack pointer moved (0 for cdecl).
extern "C" int CallChannelChange(void* fn, const unsigned char* block,
                                 unsigned char* after) __asm__("pelta_call_channel_change");
__asm__(
    ".text\n"
    "pelta_call_channel_change:\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    "  pushl %esi\n"
    "  pushl %edi\n"
    "  subl $868, %esp\n"
    "  andl $-16, %esp\n"
    "  movl %esp, %edi\n"
    "  movl 12(%ebp), %esi\n"
    "  movl $217, %ecx\n"
    "  cld\n"
    "  rep movsl\n"
    "  movl %esp, %esi\n"
    "  call *8(%ebp)\n"
    "  movl %esp, %eax\n"
    "  subl %esi, %eax\n"
    "  movl 16(%ebp), %edi\n"
    "  movl $217, %ecx\n"
    "  cld\n"
    "  rep movsl\n"
    "  leal -8(%ebp), %esp\n"
    "  popl %edi\n"
    "  popl %esi\n"
    "  popl %ebp\n"
    "  ret\n");
#else
// The Win64 ABI passes a record this size by the address of a copy the caller made.
typedef void (*OnChannelChangeByAddressFn)(unsigned char*);
#endif

struct ChangeResult {
  bool record_kept = false;    // the plug-in wrote nothing into the record
  bool canaries_kept = false;  // nor into the 64 bytes behind it
  int stack_moved = 0;         // i686: the stack pointer after the call, less before
  DWORD ms = 0;                // how long the call took
};

// One On_Channel_Change as these hosts make it; safe on any thread (no check lines).
ChangeResult ChangeChannel(const Plugin& plugin, const HostRecord& record) {
  unsigned char block[kBlockSize];
  std::memcpy(block, record.bytes, kRecordSize);
  for (size_t i = 0; i < kCanaries; ++i)
    block[kRecordSize + i] = static_cast<unsigned char>(0xC3 ^ (i * 37));
  unsigned char after[kBlockSize];
  ChangeResult r;
  const DWORD start = GetTickCount();
#if defined(__i386__)
  r.stack_moved = CallChannelChange(reinterpret_cast<void*>(plugin.on_channel), block, after);
#else
  std::memcpy(after, block, kBlockSize);
  Entry<OnChannelChangeByAddressFn>(plugin.dll, "On_Channel_Change")(after);
#endif
  r.ms = GetTickCount() - start;
  r.record_kept = std::memcmp(after, block, kRecordSize) == 0;
  r.canaries_kept = std::memcmp(after + kRecordSize, block + kRecordSize, kCanaries) == 0;
  return r;
}

void CheckChange(const ChangeResult& r, const char* when) {
  char name[160];
  std::snprintf(name, sizeof name, "%s: the 804-byte record and the 64 bytes after it untouched",
                when);
  Check(r.record_kept && r.canaries_kept, name, "record %s, canaries %s",
        r.record_kept ? "kept" : "written", r.canaries_kept ? "kept" : "written");
#if defined(__i386__)
  std::snprintf(name, sizeof name, "%s: the stack pointer as the host left it (cdecl)", when);
  Check(r.stack_moved == 0, name, "moved by %d bytes", r.stack_moved);
#endif
}

// On_Start first (DLL_ID 0), then the name into the host's 30-byte buffer.
void CheckStartOrder(const Plugin& plugin) {
  g_step = "start";
  CheckOnStart(plugin, kFirstDllId, "On_Start (DLL_ID 0) leaves the host's buffers alone");
  char name[kNameBuffer + 16];
  std::memset(name, 'x', sizeof name);
  plugin.on_name(name);
  bool rest_kept = true;
  for (size_t i = 6; i < sizeof name; ++i) rest_kept = rest_kept && name[i] == 'x';
  Check(std::memcmp(name, "Pelta", 6) == 0 && rest_kept,
        "On_Send_Dll_ID_Name after On_Start: \"Pelta\" and its NUL in the 30-byte buffer");
}

// The first change only starts the start cycle, which the start key ends at its fifth tick.
void PassStartCycle(const Plugin& plugin) {
  g_step = "first channel change";
  g_ticks = 0;
  CheckChange(ChangeChannel(plugin, PublishedRecord(g_options.channel, 0, {})),
              "first channel change");
  WaitFor([] { return g_ticks >= 8; }, static_cast<DWORD>(g_options.display_ms / 50 * 8 + 400));
  Check(!Visible("Pelta"), "the first channel change after load shows nothing");
}

void CheckFirstChange(const Plugin& plugin) {
  const Options& o = g_options;
  g_step = "channel change";
  // Scrambled with Nagravision: one CA list entry, CA_ID its index 0.
  CheckChange(ChangeChannel(plugin, PublishedRecord(o.channel, 0, {0x1801})), "channel change");
  RECT video;
  GetWindowRect(g_video, &video);
  CheckStripAlong(video, "the video window");
  Check(ControlText("Pelta", 8) == o.channel, "control 8 shows the record's name", "\"%s\"",
        ControlText("Pelta", 8).c_str());
  char freq[32];
  std::snprintf(freq, sizeof freq, "%u", o.frequency / 1000);
  Check(ControlText("Pelta", 5) == freq, "control 5 shows the frequency in MHz", "\"%s\"",
        ControlText("Pelta", 5).c_str());
  Check(ControlText("Pelta", 6) == "H", "a polarisation the host left 0 shows H", "\"%s\"",
        ControlText("Pelta", 6).c_str());
  Check(ControlText("Pelta", 7) == "NAG", "control 7: the CA system of the CA list (Nagravision)",
        "\"%s\"", ControlText("Pelta", 7).c_str());
  Check(CountCommands(kCmdSignalQuery) >= 1, "signal query sent to the recognised host");
  Check(CountCommands(kCmdStartFilter) == 1 && g_filter_pid == 18 && g_filter_record[0] == 0 &&
            g_filter_record[1] == 0 && g_filter_record[2] == 1,
        "one start: plug-in id 0 (DLL_ID 0), filter 1, PID 18", "%d starts",
        CountCommands(kCmdStartFilter));
}

// A channel change from a host thread of its own while the window thread pumps.
void CheckChangeFromWorker(const Plugin& plugin) {
  const Options& o = g_options;
  g_step = "channel change from a worker thread";
  const std::string name = "Pelta Zwei";
  SetWindowTextA(g_video, name.c_str());  // the video window is captioned with the channel
  // Viaccess, the second of two CA list entries: CA_ID 1.
  const HostRecord record = PublishedRecord(name, 1, {0x0100, 0x0500});
  std::atomic<bool> done{false};
  ChangeResult result;
  std::thread worker([&] {
    result = ChangeChannel(plugin, record);
    done = true;
  });
  const long waited = WaitFor([&] { return done.load(); }, 10000);
  worker.join();
  Check(waited >= 0 && result.ms < 1000u * static_cast<DWORD>(o.slow),
        "a channel change from a thread that is not the window's returns promptly",
        "returned after %lu ms", static_cast<unsigned long>(result.ms));
  CheckChange(result, "channel change from a worker thread");
  WaitFor([&] { return Visible("Pelta") && ControlText("Pelta", 8) == name; }, 2000);
  Check(Visible("Pelta") && ControlText("Pelta", 8) == name, "the strip shows that channel",
        "\"%s\"", ControlText("Pelta", 8).c_str());
  Check(ControlText("Pelta", 7) == "VIA", "control 7: the CA list entry CA_ID names (Viaccess)",
        "\"%s\"", ControlText("Pelta", 7).c_str());
  Check(CountCommands(kCmdStartFilter) == 1,
        "no second start: the host's data proved the filter open", "%d starts",
        CountCommands(kCmdStartFilter));
}

// On_Filter_Close, On_Exit without arguments, 100 ms, FreeLibrary.
void CheckUnloadOrder(const Plugin& plugin, bool slots) {
  g_step = "unload";
  const int starts = CountCommands(kCmdStartFilter);
  plugin.on_filter_close(0);
  Check(CountCommands(kCmdStopFilter) == 0, "On_Filter_Close does nothing");
  Entry<void (*)()>(plugin.dll, "On_Exit")();
  LPARAM stop_param = 0;
  for (const Command& c : g_commands) {
    if (c.code == kCmdStopFilter) stop_param = c.param;
  }
  const LPARAM want = slots ? kHostOwnSlots : -1;
  Check(CountCommands(kCmdStopFilter) == 1 && stop_param == want,
        slots ? "On_Exit without arguments stops the filter once, with the slot the host wrote"
              : "On_Exit without arguments stops the filter once, with -1 (no id was written)",
        "%d stops, the last with %ld", CountCommands(kCmdStopFilter),
        static_cast<long>(stop_param));
  Check(FindWindowA(nullptr, "Pelta") == nullptr, "On_Exit discards the display window");
  Pump(100);
  // The reader goes on 200 ms after the stop; nothing may call the library once it is gone
  // (without a stop the host closes the filter itself before it unloads the plug-in).
  HostClosesFilter();
  WaitForReaderEnd();
  Check(g_calls_after_stop.load() > 0 && CountCommands(kCmdStartFilter) == starts,
        "deliveries after the stop send nothing", "%d calls after the stop, %d starts",
        g_calls_after_stop.load(), CountCommands(kCmdStartFilter));
#if defined(__i386__)
  Check(g_feed_calls.load() > 0 && g_callback_stack_faults.load() == 0,
        "data callback takes cdecl arguments, one packet per call",
        "%d of %d calls moved the stack pointer", g_callback_stack_faults.load(),
        g_feed_calls.load());
#endif
  Check(FreeLibrary(plugin.dll) != 0, "plug-in DLL unloads");
  Check(CountCommands(kCmdStopFilter) == 1, "unload after On_Exit sends no second stop");
  Pump(300);
  Check(true, "host keeps running after the unload");
}

}  // namespace

int RunPublished(bool slots) {
  g_behaviour.run_ids = slots ? RunIds::kSlots : RunIds::kNone;
  g_behaviour.packets_per_call = 1;
  g_behaviour.call_gap_ms = 5;
  g_behaviour.after_stop_ms = 200;
  g_behaviour.prefix = slots ? "slots: " : "published: ";
  SetUpHost();
  Plugin plugin;
  if (!LoadPlugin(&plugin)) return Finish();
  CheckStartOrder(plugin);
  PassStartCycle(plugin);
  CheckFirstChange(plugin);
  CheckProgrammeLines();
  CheckChangeFromWorker(plugin);
  CheckProgrammeLines();
  CheckUnloadOrder(plugin, slots);
  return Finish();
}

}  // namespace testhost
