// EIT present/following from a transport stream, as a demultiplexer assembles it.
#include "en300468_decoder.h"

namespace en300468 {

namespace {

constexpr size_t kPacket = 188;
constexpr uint16_t kEitPid = 0x12;
constexpr uint8_t kTablePfActual = 0x4E;
constexpr uint8_t kShortEvent = 0x4D;

PfService* ServiceFor(std::vector<PfService>* services, uint16_t sid) {
  for (PfService& s : *services) {
    if (s.service_id == sid) return &s;
  }
  services->push_back(PfService{});
  services->back().service_id = sid;
  return &services->back();
}

// One complete section, CRC included.
void TakeSection(const std::vector<uint8_t>& s, std::vector<PfService>* services,
                 DecodeStats* stats) {
  ++stats->sections;
  if (Crc32(s.data(), s.size()) != 0) {
    ++stats->crc_failures;
    return;
  }
  if (s[0] != kTablePfActual || s.size() < 18) return;
  ++stats->pf_sections;
  const uint16_t sid = static_cast<uint16_t>(s[3] << 8 | s[4]);
  const int kind = s[6] & 1;
  PfService* service = ServiceFor(services, sid);
  service->section_seen[kind] = true;
  const size_t events_end = s.size() - 4;
  if (14 + 12 > events_end) return;  // no event
  const size_t loop_length = static_cast<size_t>((s[24] & 0x0F) << 8 | s[25]);
  const size_t loop = 26;
  if (loop + loop_length > events_end) return;
  PfEvent event;
  event.first_tag = loop_length >= 2 ? s[loop] : 0;
  for (size_t d = loop; d + 2 <= loop + loop_length;) {
    const size_t length = s[d + 1];
    if (d + 2 + length > loop + loop_length) break;
    if (s[d] == kShortEvent && length >= 5) {
      const size_t name_length = s[d + 5];
      if (6 + name_length <= 2 + length) {
        event.name.assign(s.begin() + static_cast<long>(d + 6),
                          s.begin() + static_cast<long>(d + 6 + name_length));
        event.has_short = true;
        break;
      }
    }
    d += 2 + length;
  }
  for (const PfEvent& known : service->events[kind]) {
    if (known.name == event.name && known.first_tag == event.first_tag &&
        known.has_short == event.has_short) {
      return;
    }
  }
  service->events[kind].push_back(event);
}

}  // namespace

uint32_t Crc32(const uint8_t* data, size_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) {
    crc ^= static_cast<uint32_t>(data[i]) << 24;
    for (int b = 0; b < 8; ++b) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
  }
  return crc;
}

std::vector<PfService> DecodePresentFollowing(const std::vector<uint8_t>& stream,
                                              DecodeStats* stats) {
  std::vector<PfService> services;
  std::vector<uint8_t> section;  // the section being assembled
  bool assembling = false;
  int last_cc = -1;

  // Appends payload bytes to the open section and takes every section that completes; at the
  // start of a section, 0xFF is stuffing that ends the packet's sections.
  auto feed = [&](const uint8_t* p, size_t n, bool packet_start) {
    size_t i = 0;
    while (i < n) {
      if (!assembling) {
        if (p[i] == 0xFF) return;
        if (!packet_start) return;  // a section only begins in a packet that says so
        assembling = true;
        section.clear();
      }
      size_t want = 3;
      if (section.size() >= 3)
        want = 3 + static_cast<size_t>((section[1] & 0x0F) << 8 | section[2]);
      const size_t take = want - section.size() < n - i ? want - section.size() : n - i;
      section.insert(section.end(), p + i, p + i + take);
      i += take;
      if (section.size() == 3) continue;  // length known now: go on
      if (section.size() == want) {
        TakeSection(section, &services, stats);
        assembling = false;
        if (i < n && p[i] != 0xFF) ++stats->packed;
      }
    }
  };

  size_t at = 0;
  while (at + kPacket <= stream.size()) {
    if (stream[at] != 0x47) {
      ++at;
      continue;
    }
    const uint8_t* p = stream.data() + at;
    at += kPacket;
    const uint16_t pid = static_cast<uint16_t>((p[1] & 0x1F) << 8 | p[2]);
    if (pid != kEitPid || (p[1] & 0x80) != 0) continue;  // other PID, transport error
    const int afc = p[3] >> 4 & 3;
    if ((afc & 1) == 0) continue;  // no payload
    const int cc = p[3] & 0x0F;
    if (last_cc >= 0 && cc == last_cc) continue;                           // duplicate packet
    if (last_cc >= 0 && cc != ((last_cc + 1) & 0x0F)) assembling = false;  // lost packets
    last_cc = cc;
    size_t start = 4;
    if (afc == 3) start += 1 + static_cast<size_t>(p[4]);
    if (start >= kPacket) continue;
    ++stats->packets;
    const bool pusi = (p[1] & 0x40) != 0;
    if (!pusi) {
      if (assembling) feed(p + start, kPacket - start, false);
      continue;
    }
    const size_t pointer = p[start];
    if (pointer != 0) ++stats->nonzero_pointers;
    const size_t body = start + 1;
    if (body + pointer > kPacket) {
      assembling = false;
      continue;
    }
    if (assembling) {
      feed(p + body, pointer, false);
      assembling = false;  // whatever is unfinished at the pointer is broken
    }
    feed(p + body + pointer, kPacket - body - pointer, true);
  }
  return services;
}

}  // namespace en300468
