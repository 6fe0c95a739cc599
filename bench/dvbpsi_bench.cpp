// The EIT reader side by side with libdvbpsi's EIT decoder (Debian libdvbpsi-dev, here in the
// benchmark only: the plug-in never links it), both over every PID 0x12 packet of the Czech
// capture tests/data/captures/dvbt2-cz-pid18.ts, 14 services.
//  - Libdvbpsi: the 188-byte packets pushed into a demultiplexer that attaches an EIT decoder to
//    each p/f table of the actual stream it meets (0x4E and a service id), as a receiver does;
//    every complete table is delivered, and for the current service the first event's short
//    event descriptor is decoded (name and text as raw bytes: libdvbpsi converts no characters).
//    A new handle per run, so every section is decoded again.
//  - Pelta: the packets' 184-byte payloads in blocks of ten, as a host delivers them, through
//    OnDataArrival for the same current service, from a channel change (eitstate 1) to the end
//    of the capture: both passes, CRC_32 checks, the text decoding into UTF-8, cleaning and the
//    lines, then the watching of the shown version; and the service's schedule sections
//    (tables 0x50 to 0x5F) read into the schedule table.
//  - Libdvbpsi, the current service's p/f and schedule only: the demultiplexer attaches EIT
//    decoders to table 0x4E and the schedule tables 0x50 to 0x5F of the current service, and
//    every event of every table it delivers is decoded with its descriptors: short event,
//    extended event, content and parental rating. This is the work the reader does for the
//    guide window and its schedule list on the same packets (BM_CapturePelta).
// bench/run prints the ratio of each libdvbpsi row to the reader's.
#include <benchmark/benchmark.h>

// libdvbpsi's headers need one another in this order.
// clang-format off
#include <dvbpsi/dvbpsi.h>
#include <dvbpsi/psi.h>
#include <dvbpsi/descriptor.h>
#include <dvbpsi/demux.h>
#include <dvbpsi/eit.h>
#include <dvbpsi/dr_4d.h>
#include <dvbpsi/dr_4e.h>
#include <dvbpsi/dr_54.h>
#include <dvbpsi/dr_55.h>
// clang-format on

#include <cstdint>
#include <cstring>
#include <string>

#include "guide/eit.h"
#include "guide/schedule.h"
#include "settings/settings.h"
#include "shared/channel.h"
#include "ts.h"

namespace {

constexpr uint8_t kPfActual = 0x4E;
constexpr size_t kBlockPackets = 10;

struct Capture {
  ts::Bytes stream;
  ts::Bytes payloads;  // PID 0x12 payloads, 184 bytes each
  uint16_t sid = 0;    // the current service: the last with both events
  bool ok = false;
};

const Capture& TheCapture() {
  static const Capture capture = [] {
    Capture c;
    const std::string path =
        std::string(PELTA_SOURCE_DIR) + "/tests/data/captures/dvbt2-cz-pid18.ts";
    if (!ts::ReadFile(path.c_str(), &c.stream)) return c;
    c.payloads = ts::ExtractPayloads(c.stream, ts::kEitPid);
    for (const ts::ServiceSeen& s : ts::ListServices(c.stream)) {
      if (s.events == 3) c.sid = s.service_id;
    }
    c.ok = c.sid != 0 && !c.payloads.empty();
    return c;
  }();
  return capture;
}

struct DvbpsiRun {
  uint16_t sid;
  int tables = 0;    // complete p/f tables delivered
  int captured = 0;  // short event descriptors of the current service decoded
  uint8_t name[256];
  uint8_t text[256];
};

void OnEit(void* data, dvbpsi_eit_t* eit) {
  DvbpsiRun* run = static_cast<DvbpsiRun*>(data);
  ++run->tables;
  if (eit->i_extension == run->sid && eit->p_first_event != nullptr) {
    for (dvbpsi_descriptor_t* d = eit->p_first_event->p_first_descriptor; d != nullptr;
         d = d->p_next) {
      if (d->i_tag != 0x4D) continue;
      dvbpsi_short_event_dr_t* e = dvbpsi_DecodeShortEventDr(d);
      if (e != nullptr) {
        std::memcpy(run->name, e->i_event_name, sizeof run->name);
        std::memcpy(run->text, e->i_text, sizeof run->text);
        ++run->captured;
      }
      break;
    }
  }
  dvbpsi_eit_delete(eit);
}

void OnNewTable(dvbpsi_t* handle, uint8_t table_id, uint16_t extension, void* data) {
  if (table_id == kPfActual) dvbpsi_eit_attach(handle, table_id, extension, OnEit, data);
}

// One libdvbpsi demultiplexer, `on_new_table` attaching the decoders, over every PID 0x12 packet
// of the capture; false when libdvbpsi made none.
bool PushCapture(const Capture& c, dvbpsi_demux_new_cb_t on_new_table, void* data) {
  dvbpsi_t* handle = dvbpsi_new(nullptr, DVBPSI_MSG_NONE);
  if (handle == nullptr || !dvbpsi_AttachDemux(handle, on_new_table, data)) {
    if (handle != nullptr) dvbpsi_delete(handle);
    return false;
  }
  for (size_t at = 0; at + ts::kPacketSize <= c.stream.size(); at += ts::kPacketSize) {
    const uint8_t* p = c.stream.data() + at;
    if (p[0] != ts::kSyncByte || ((p[1] & 0x1F) << 8 | p[2]) != ts::kEitPid) continue;
    dvbpsi_packet_push(handle, const_cast<uint8_t*>(p));
  }
  dvbpsi_DetachDemux(handle);
  dvbpsi_delete(handle);
  return true;
}

void BM_CaptureLibdvbpsi(benchmark::State& state) {
  const Capture& c = TheCapture();
  if (!c.ok) {
    state.SkipWithError("tests/data/captures/dvbt2-cz-pid18.ts not readable");
    return;
  }
  int tables = 0;
  for (auto _ : state) {
    DvbpsiRun run{c.sid};
    if (!PushCapture(c, OnNewTable, &run)) {
      state.SkipWithError("libdvbpsi: no demultiplexer");
      return;
    }
    if (run.captured == 0) state.SkipWithError("libdvbpsi captured no event of the service");
    benchmark::DoNotOptimize(run.name);
    tables = run.tables;
  }
  state.counters["tables"] = tables;
  state.counters["packets"] = static_cast<double>(c.payloads.size() / ts::kPayloadSize);
}
BENCHMARK(BM_CaptureLibdvbpsi);

// Only the current service's p/f sub-table, every event with its descriptors decoded.
struct PfRun {
  uint16_t sid;
  int events = 0;
  size_t bytes = 0;  // text bytes decoded, so that nothing is optimised away
};

void OnPf(void* data, dvbpsi_eit_t* eit) {
  PfRun* run = static_cast<PfRun*>(data);
  for (dvbpsi_eit_event_t* e = eit->p_first_event; e != nullptr; e = e->p_next) {
    ++run->events;
    for (dvbpsi_descriptor_t* d = e->p_first_descriptor; d != nullptr; d = d->p_next) {
      if (d->i_tag == 0x4D) {
        dvbpsi_short_event_dr_t* s = dvbpsi_DecodeShortEventDr(d);
        if (s != nullptr) run->bytes += s->i_event_name_length + s->i_text_length;
      } else if (d->i_tag == 0x4E) {
        dvbpsi_extended_event_dr_t* x = dvbpsi_DecodeExtendedEventDr(d);
        if (x != nullptr) run->bytes += x->i_text_length + x->i_entry_count;
      } else if (d->i_tag == 0x54) {
        dvbpsi_content_dr_t* c = dvbpsi_DecodeContentDr(d);
        if (c != nullptr) run->bytes += c->i_contents_number;
      } else if (d->i_tag == 0x55) {
        dvbpsi_parental_rating_dr_t* r = dvbpsi_DecodeParentalRatingDr(d);
        if (r != nullptr) run->bytes += r->i_ratings_number;
      }
    }
  }
  dvbpsi_eit_delete(eit);
}

void OnNewPfTable(dvbpsi_t* handle, uint8_t table_id, uint16_t extension, void* data) {
  PfRun* run = static_cast<PfRun*>(data);
  const bool schedule = table_id >= 0x50 && table_id <= 0x5F;
  if ((table_id == kPfActual || schedule) && extension == run->sid) {
    dvbpsi_eit_attach(handle, table_id, extension, OnPf, data);
  }
}

void BM_PfLibdvbpsi(benchmark::State& state) {
  const Capture& c = TheCapture();
  if (!c.ok) {
    state.SkipWithError("tests/data/captures/dvbt2-cz-pid18.ts not readable");
    return;
  }
  int events = 0;
  for (auto _ : state) {
    PfRun run{c.sid};
    if (!PushCapture(c, OnNewPfTable, &run)) {
      state.SkipWithError("libdvbpsi: no demultiplexer");
      return;
    }
    if (run.events == 0) state.SkipWithError("libdvbpsi decoded no event of the service");
    benchmark::DoNotOptimize(run.bytes);
    events = run.events;
  }
  state.counters["events"] = events;
}
BENCHMARK(BM_PfLibdvbpsi);

void BM_CapturePelta(benchmark::State& state) {
  const Capture& c = TheCapture();
  if (!c.ok) {
    state.SkipWithError("tests/data/captures/dvbt2-cz-pid18.ts not readable");
    return;
  }
  ResetGuideState();
  GuideFormat = 1;
  HourOffset = 0;
  DebugMode = 0;
  TProgram82 channel;
  std::memset(channel.bytes, 0, sizeof channel.bytes);
  channel.bytes[122] = static_cast<unsigned char>(c.sid & 0xFF);
  channel.bytes[123] = static_cast<unsigned char>(c.sid >> 8);
  StoreCurrentChannel(channel);
  const size_t block = kBlockPackets * ts::kPayloadSize;
  for (auto _ : state) {
    ResetLinesForChannel();
    eitstate = 1;
    for (size_t at = 0; at < c.payloads.size(); at += block) {
      const size_t n = c.payloads.size() - at < block ? c.payloads.size() - at : block;
      OnDataArrival(1, static_cast<int>(n), c.payloads.data() + at);
    }
    if (eitstate.load() != 7) state.SkipWithError("the reader did not capture both events");
  }
  static ScheduleEntry entries[kScheduleEvents];
  const int schedule = CopySchedule(entries, kScheduleEvents);
  if (schedule == 0) state.SkipWithError("the reader kept no schedule event");
  state.counters["packets"] = static_cast<double>(c.payloads.size() / ts::kPayloadSize);
  state.counters["schedule"] = schedule;
}
BENCHMARK(BM_CapturePelta);

}  // namespace

BENCHMARK_MAIN();
