// pelta-tool eit FILE.ts --sid N [--guide-format F] [--hour-offset H|local] [--tz ZONE]
//                                [--programme-times 0|1] [--block-packets K] [--follow]
// pelta-tool eit FILE.ts --list [--block-packets K]
// pelta-tool eit FILE.ts --all [--guide-format F] [--hour-offset H] [--block-packets K]
// pelta-tool eit FILE.ts --sid N --json [--languages deu,eng] [--block-packets K]
// pelta-tool eit FILE.ts --sid N --schedule [--json] [--languages deu,eng] [--block-packets K]
//
// Runs the plug-in's own EIT reader over a transport-stream file as a host would feed it: the
// 184-byte payloads of the PID 0x12 packets, K of them back to back per call (default 10, the
// most a 2000-byte block holds), with filter number 1, for a current channel whose service id
// is N. Then prints the two programme lines, the present description and eitstate as they
// stand at the end of the stream; the texts are written byte for byte, exactly as the display
// would get them: UTF-8, decoded from the broadcast's character tables. --follow first prints the
// lines at every change on the way ("packet N:", the PID 0x12 packet, counted from 1, that ended
// the block the change came with): the first capture, and each new version of the present/following
// table.
//
// --hour-offset local shows start times in the local time of the zone --tz names (a POSIX TZ
// rule or a tz database name; UTC without it), as line 10 of pelta.ini saying `local` does.
// --programme-times 1 gives each line its end time too, "(20:00\u201320:45) Title > Text", as
// line 17 of pelta.ini saying 1 does (default 0: the lines as they always were).
//
// --list runs the reader once for every service that has present/following sections in the
// file and prints, per service, the events the stream carries: "present" or "following" when
// the reader captured it, with ":missed" when it did not, and ":empty" for a section without
// an event. --all prints every such service's lines as --sid does, each under a "sid" line.
//
// --schedule prints the reader's schedule table of the service as it stands at the end of the
// stream, a JSON array in start order, one event a line:
//   [{"event_id": 4661, "start": "2023-12-22T21:30:00Z", "duration": 3600, "name": "..."},
//    ...]
// ("start" and "duration" null when undefined). With --json the p/f object comes first.
#include <strings.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "args.h"
#include "commands.h"
#include "guide/eit.h"
#include "guide/event_reader.h"
#include "guide/genres.h"
#include "guide/schedule.h"
#include "json_dump.h"
#include "platform/sim/sim.h"
#include "settings/settings.h"
#include "shared/channel.h"
#include "shared/languages.h"
#include "ts.h"

namespace {

constexpr long kMaxBlockPackets = 10;  // 10 x 184 = 1840 bytes; the reader takes 2000 at most

int Usage() {
  std::fprintf(stderr,
               "usage: pelta-tool eit FILE.ts --sid N [--guide-format F] "
               "[--hour-offset H|local] [--tz ZONE] [--programme-times 0|1]\n"
               "                          [--block-packets K] [--follow]\n"
               "       pelta-tool eit FILE.ts --sid N --json [--languages deu,eng] ...\n"
               "       pelta-tool eit FILE.ts --sid N --schedule [--json] ...\n"
               "       pelta-tool eit FILE.ts --list|--all [--block-packets K] ...\n");
  return 2;
}

void PrintLine(const char* label, const char* text) {
  std::fputs(label, stdout);
  std::fwrite(text, 1, std::strlen(text), stdout);
  std::fputc('\n', stdout);
}

constexpr long kLocal = LONG_MIN;  // --hour-offset local
long programme_times = 0;          // --programme-times
uint64_t languages = 0;            // --languages, packed (empty without it: LANG does not count)

// The reader's inputs, as a loaded plug-in would hold them after a channel change to `sid`;
// then the whole stream, block by block. Leaves the reader's results in the guide state. With
// `follow`, prints the lines whenever a block changed them.
void RunReader(const ts::Bytes& payloads, long sid, long format, long offset, long packets,
               bool follow = false) {
  ResetGuideState();
  GuideFormat = static_cast<int32_t>(format);
  ProgrammeTimes = static_cast<int32_t>(programme_times);
  LocalTime = offset == kLocal ? 1 : 0;
  HourOffset = offset == kLocal ? 0 : static_cast<int32_t>(offset);
  DebugMode = 0;
  EpgLanguagePref = languages;
  TProgram82 channel;
  std::memset(channel.bytes, 0, sizeof channel.bytes);
  channel.bytes[122] = static_cast<unsigned char>(sid & 0xFF);
  channel.bytes[123] = static_cast<unsigned char>(sid >> 8);
  StoreCurrentChannel(channel);
  eitstate = 1;

  const size_t block = static_cast<size_t>(packets) * ts::kPayloadSize;
  std::string now, next;
  for (size_t at = 0; at < payloads.size(); at += block) {
    const size_t n = payloads.size() - at < block ? payloads.size() - at : block;
    OnDataArrival(1, static_cast<int>(n), payloads.data() + at);
    // A change shows once both lines are ready, as the display takes them.
    if (!follow || eitstate.load() != 7 || (now == nowtxt && next == nxttxt)) continue;
    now = nowtxt;
    next = nxttxt;
    std::printf("packet %zu:\n", (at + n) / ts::kPayloadSize);
    PrintLine("now: ", nowtxt);
    PrintLine("next: ", nxttxt);
  }
}

void PrintLines() {
  PrintLine("now: ", nowtxt);
  PrintLine("next: ", nxttxt);
  char desc[kGuideTextMax];
  CopyNowDesc(desc, sizeof desc);
  PrintLine("desc: ", desc);
  std::printf("state: %d\n", eitstate.load());
}

// " present", " present:missed", " present:empty" or nothing, for one kind of section.
void PrintEvent(const char* kind, int mask, const ts::ServiceSeen& s, int32_t state) {
  if ((s.sections & mask) == 0) return;
  const char* how = (s.events & mask) == 0 ? ":empty" : (state & (mask * 2)) != 0 ? "" : ":missed";
  std::printf(" %s%s", kind, how);
}

// `"event_id": N, "start": "...", "duration": N` of an event, start and duration as null when
// undefined.
std::string TimesJson(uint16_t event_id, const EventTimes& times) {
  std::string out = "\"event_id\": " + std::to_string(event_id) + ", \"start\": ";
  int64_t start = 0;
  if (StartUtc(times, &start)) {
    const time_t t = static_cast<time_t>(start);
    struct tm utc;
    gmtime_r(&t, &utc);
    char text[32];
    std::strftime(text, sizeof text, "\"%Y-%m-%dT%H:%M:%SZ\"", &utc);
    out += text;
  } else {
    out += "null";
  }
  out += ", \"duration\": ";
  out += times.duration == kUnknownDuration ? "null" : std::to_string(times.duration);
  return out;
}

// The record of one event as --json prints it, or null.
std::string EventJson(const EventRecord& e, bool have) {
  if (!have) return "null";
  std::string out = "{" + TimesJson(e.event_id, e.times);
  out += ", \"running_status\": " + std::to_string(e.running_status);
  out += ", \"language\": " + jsondump::Quote(e.language);
  out += ", \"name\": " + jsondump::Quote(e.name);
  out += ", \"text\": " + jsondump::Quote(e.text);
  out += ", \"extended\": " + jsondump::Quote(e.extended);
  out += ", \"items\": [";
  for (int i = 0; i < e.item_count; ++i) {
    out += i > 0 ? ", [" : "[";
    out += jsondump::Quote(ItemDescription(e, i)) + ", " + jsondump::Quote(ItemText(e, i)) + "]";
  }
  out += "], \"content\": [";
  for (int i = 0; i < e.content_count; ++i) {
    out += (i > 0 ? ", [" : "[") + std::to_string(e.content[i].level1) + ", " +
           std::to_string(e.content[i].level2) + "]";
  }
  out += "], \"rating\": [";
  for (int i = 0; i < e.rating_count; ++i) {
    const int age = MinimumAge(e.ratings[i].rating);
    out += (i > 0 ? ", {" : "{") + std::string("\"country\": ") +
           jsondump::Quote(e.ratings[i].country) +
           ", \"value\": " + std::to_string(e.ratings[i].rating) +
           ", \"age\": " + (age < 0 ? std::string("null") : std::to_string(age)) + "}";
  }
  return out + "]}";
}

// The present and following events as the guide window would show them, and eitstate.
void PrintJson() {
  static GuideContent content;
  CopyGuideContent(&content);
  std::printf("{\"present\": %s,\n \"following\": %s,\n \"state\": %d}\n",
              EventJson(content.events[0], content.have[0]).c_str(),
              EventJson(content.events[1], content.have[1]).c_str(), eitstate.load());
}

// The schedule table in start order.
void PrintSchedule() {
  static ScheduleEntry entries[kScheduleEvents];
  const int n = CopySchedule(entries, kScheduleEvents);
  std::string out = "[";
  for (int i = 0; i < n; ++i) {
    out += i > 0 ? ",\n {" : "{";
    out += TimesJson(entries[i].event_id, entries[i].times) +
           ", \"name\": " + jsondump::Quote(entries[i].name) + "}";
  }
  std::printf("%s]\n", out.c_str());
}

int List(const ts::Bytes& stream, bool all, long format, long offset, long packets) {
  const ts::Bytes payloads = ts::ExtractPayloads(stream, ts::kEitPid);
  for (const ts::ServiceSeen& s : ts::ListServices(stream)) {
    RunReader(payloads, s.service_id, format, offset, packets);
    std::printf("sid %u (0x%04X):", s.service_id, s.service_id);
    if (all) {
      std::printf("\n");
      PrintLines();
      continue;
    }
    const int32_t state = eitstate.load();
    PrintEvent("present", 1, s, state);
    PrintEvent("following", 2, s, state);
    std::printf("\n");
  }
  ResetGuideState();
  return 0;
}

}  // namespace

int RunEit(int argc, char** argv) {
  const char* path = nullptr;
  bool list = false, all = false, follow = false, json = false, schedule = false;
  const char* zone = nullptr;
  long sid = -1, format = 1, offset = 0, packets = kMaxBlockPackets;
  for (int i = 0; i < argc; ++i) {
    const char* a = argv[i];
    const bool has_value = i + 1 < argc;
    if (std::strcmp(a, "--list") == 0) {
      list = true;
    } else if (std::strcmp(a, "--all") == 0) {
      all = true;
    } else if (std::strcmp(a, "--sid") == 0 && has_value) {
      if (!ParseLong(argv[++i], 0, 0xFFFF, &sid)) return Usage();
    } else if (std::strcmp(a, "--guide-format") == 0 && has_value) {
      if (!ParseLong(argv[++i], -1000, 1000, &format)) return Usage();
    } else if (std::strcmp(a, "--hour-offset") == 0 && has_value) {
      const char* value = argv[++i];
      if (strcasecmp(value, "local") == 0) {
        offset = kLocal;
      } else if (!ParseLong(value, -1000, 1000, &offset)) {
        return Usage();
      }
    } else if (std::strcmp(a, "--tz") == 0 && has_value) {
      zone = argv[++i];
    } else if (std::strcmp(a, "--programme-times") == 0 && has_value) {
      if (!ParseLong(argv[++i], 0, 1, &programme_times)) return Usage();
    } else if (std::strcmp(a, "--follow") == 0) {
      follow = true;
    } else if (std::strcmp(a, "--json") == 0) {
      json = true;
    } else if (std::strcmp(a, "--schedule") == 0) {
      schedule = true;
    } else if (std::strcmp(a, "--languages") == 0 && has_value) {
      int rejected = 0;
      const LanguageList codes = ParseLanguageList(argv[++i], &rejected);
      if (rejected > 0) return Usage();
      languages = PackLanguages(codes);
    } else if (std::strcmp(a, "--block-packets") == 0 && has_value) {
      if (!ParseLong(argv[++i], 1, kMaxBlockPackets, &packets)) return Usage();
    } else if (a[0] != '-' && path == nullptr) {
      path = a;
    } else {
      return Usage();
    }
  }
  if (path == nullptr || (list && all) || (!list && !all && sid < 0)) return Usage();
  if ((follow || json || schedule) && (list || all)) return Usage();
  if (follow && (json || schedule)) return Usage();
  if (zone != nullptr && !sim::SetTimeZone(zone)) {
    std::fprintf(stderr, "pelta-tool eit: unknown time zone %s\n", zone);
    return 2;
  }

  ts::Bytes stream;
  if (!ts::ReadFile(path, &stream)) {
    std::fprintf(stderr, "pelta-tool eit: cannot read %s\n", path);
    return 1;
  }
  if (list || all) return List(stream, all, format, offset, packets);

  RunReader(ts::ExtractPayloads(stream, ts::kEitPid), sid, format, offset, packets, follow);
  if (json) PrintJson();
  if (schedule) PrintSchedule();
  if (!json && !schedule) PrintLines();
  return 0;
}
