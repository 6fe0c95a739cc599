// Transport-stream helpers: the EIT section writers (EN 300 468, 5.2.4 and the descriptors of
// 6.2) for pelta-tool and the tests. The packetiser, the payload extraction and the mkts
// schedule are in ts.cpp.
#include <string>

#include "guide/eit_sections.h"
#include "ts.h"

namespace ts {

namespace {
// start_time's date: MJD 60310 (2024-01-01); the reader never reads it.
constexpr uint16_t kTransportStreamId = 1;
constexpr uint16_t kOriginalNetworkId = 1;
constexpr size_t kMaxDescriptor = 255;
constexpr size_t kMaxSectionLength = 4093;  // EN 300 468: EIT section_length at most 4093

void Put16(Bytes* out, uint16_t v) {
  out->push_back(static_cast<uint8_t>(v >> 8));
  out->push_back(static_cast<uint8_t>(v & 0xFF));
}

void PutText(Bytes* out, const std::string& s) {
  out->insert(out->end(), s.begin(), s.end());
}

void PutLanguage(Bytes* out, const std::string& language) {
  for (size_t i = 0; i < 3; ++i) {
    out->push_back(static_cast<uint8_t>(i < language.size() ? language[i] : ' '));
  }
}

bool CloseDescriptor(Bytes* descriptor, std::string* error) {
  const size_t length = descriptor->size() - 2;
  if (length > kMaxDescriptor) {
    *error = "descriptor of " + std::to_string(length) + " bytes (at most 255)";
    return false;
  }
  (*descriptor)[1] = static_cast<uint8_t>(length);
  return true;
}

// short_event_descriptor, EN 300 468, 6.2.37.
bool ShortEvent(const Event& e, Bytes* out, std::string* error) {
  Bytes d = {0x4D, 0};
  PutLanguage(&d, e.language);
  if (e.name.size() > 255 || e.text.size() > 255) {
    *error = "short event name or text longer than 255 bytes";
    return false;
  }
  d.push_back(static_cast<uint8_t>(e.name.size()));
  PutText(&d, e.name);
  d.push_back(static_cast<uint8_t>(e.text.size()));
  PutText(&d, e.text);
  if (!CloseDescriptor(&d, error)) return false;
  out->insert(out->end(), d.begin(), d.end());
  return true;
}

// extended_event_descriptor, EN 300 468, 6.2.15: one item whose description is the name.
bool ExtendedEvent(const Event& e, Bytes* out, std::string* error) {
  Bytes d = {0x4E, 0, 0x00};  // descriptor_number 0, last_descriptor_number 0
  PutLanguage(&d, e.language);
  Bytes items;
  if (!e.name.empty()) {
    items.push_back(static_cast<uint8_t>(e.name.size() & 0xFF));
    PutText(&items, e.name);
    items.push_back(0);  // item_length
  }
  if (items.size() > 255 || e.text.size() > 255) {
    *error = "extended event item or text longer than 255 bytes";
    return false;
  }
  d.push_back(static_cast<uint8_t>(items.size()));
  d.insert(d.end(), items.begin(), items.end());
  d.push_back(static_cast<uint8_t>(e.text.size()));
  PutText(&d, e.text);
  if (!CloseDescriptor(&d, error)) return false;
  out->insert(out->end(), d.begin(), d.end());
  return true;
}

// Tag 0x69 as the reader takes it: 8 bytes, name length + 1, one byte, name, text length, text.
bool Tag69(const Event& e, Bytes* out, std::string* error) {
  Bytes d = {0x69, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  if (e.name.size() > 254 || e.text.size() > 255) {
    *error = "0x69 name or text too long";
    return false;
  }
  d.push_back(static_cast<uint8_t>(e.name.size() + 1));
  d.push_back(0);
  PutText(&d, e.name);
  d.push_back(static_cast<uint8_t>(e.text.size()));
  PutText(&d, e.text);
  if (!CloseDescriptor(&d, error)) return false;
  out->insert(out->end(), d.begin(), d.end());
  return true;
}

}  // namespace

uint32_t Crc32Mpeg2(const uint8_t* data, size_t size) {
  return ::Crc32(data, size);
}

bool ShortEventDescriptor(const std::string& language, const std::string& name,
                          const std::string& text, Bytes* out, std::string* error) {
  Event e;
  e.language = language;
  e.name = name;
  e.text = text;
  out->clear();
  return ShortEvent(e, out, error);
}

bool ExtendedEventDescriptor(int number, int last, const std::string& language,
                             const std::vector<ExtendedItem>& items, const std::string& text,
                             Bytes* out, std::string* error) {
  Bytes d = {0x4E, 0, static_cast<uint8_t>((number & 0x0F) << 4 | (last & 0x0F))};
  PutLanguage(&d, language);
  Bytes list;
  for (const ExtendedItem& item : items) {
    if (item.description.size() > 255 || item.item.size() > 255) {
      *error = "extended event item longer than 255 bytes";
      return false;
    }
    list.push_back(static_cast<uint8_t>(item.description.size()));
    PutText(&list, item.description);
    list.push_back(static_cast<uint8_t>(item.item.size()));
    PutText(&list, item.item);
  }
  if (list.size() > 255 || text.size() > 255) {
    *error = "extended event items or text longer than 255 bytes";
    return false;
  }
  d.push_back(static_cast<uint8_t>(list.size()));
  d.insert(d.end(), list.begin(), list.end());
  d.push_back(static_cast<uint8_t>(text.size()));
  PutText(&d, text);
  if (!CloseDescriptor(&d, error)) return false;
  *out = d;
  return true;
}

Bytes ContentDescriptor(const std::vector<uint8_t>& nibbles) {
  Bytes d = {0x54, static_cast<uint8_t>(2 * nibbles.size())};
  for (uint8_t n : nibbles) {
    d.push_back(n);
    d.push_back(0);  // user_byte
  }
  return d;
}

Bytes ParentalRatingDescriptor(const std::vector<Rating>& ratings) {
  Bytes d = {0x55, static_cast<uint8_t>(4 * ratings.size())};
  for (const Rating& r : ratings) {
    PutLanguage(&d, r.country);
    d.push_back(r.rating);
  }
  return d;
}

namespace {

// The event's 12 fixed bytes and its descriptor loop.
bool AppendEvent(const Event& e, Bytes* body, std::string* error) {
  {
    Put16(body, e.event_id);
    Put16(body, e.mjd);
    body->push_back(e.hour_bcd);
    body->push_back(e.minute_bcd);
    body->push_back(0x00);  // seconds
    body->insert(body->end(), e.duration_bcd, e.duration_bcd + 3);
    Bytes descriptors;
    bool ok = true;
    if (e.tag == 0x4D) {
      ok = ShortEvent(e, &descriptors, error);
    } else if (e.tag == 0x4E) {
      ok = ExtendedEvent(e, &descriptors, error);
    } else if (e.tag == 0x69) {
      ok = Tag69(e, &descriptors, error);
    } else {
      // Another descriptor first (two body bytes, as a content descriptor's nibbles), then
      // the short event descriptor a broadcaster would also send.
      descriptors = {e.tag, 2, 0x10, 0x00};
      ok = ShortEvent(e, &descriptors, error);
    }
    if (!ok) return false;
    for (const Bytes& d : e.more) descriptors.insert(descriptors.end(), d.begin(), d.end());
    if (descriptors.size() > 0x0FFF) {
      *error = "descriptor loop longer than 4095 bytes";
      return false;
    }
    // running_status 4 (running) for the present event, 1 (not yet running) for the next.
    const uint16_t running = e.section_number == 0 ? 4 : 1;
    Put16(body, static_cast<uint16_t>(running << 13 | (descriptors.size() & 0x0FFF)));
    body->insert(body->end(), descriptors.begin(), descriptors.end());
  }
  return true;
}

// Header fields behind section_length, up to last_table_id.
Bytes SectionHeader(uint16_t service_id, uint8_t version, uint8_t section_number,
                    uint8_t last_section, uint8_t table_id) {
  Bytes body;
  Put16(&body, service_id);
  body.push_back(static_cast<uint8_t>(0xC1 | (version & 0x1F) << 1));  // current_next 1
  body.push_back(section_number);
  body.push_back(last_section);  // last_section_number
  Put16(&body, kTransportStreamId);
  Put16(&body, kOriginalNetworkId);
  body.push_back(last_section);  // segment_last_section_number
  body.push_back(table_id);      // last_table_id
  return body;
}

// table_id, section_length and CRC_32 around `body`.
bool CloseSection(uint8_t table_id, const Bytes& body, Bytes* section, std::string* error) {
  const size_t length = body.size() + 4;
  if (length > kMaxSectionLength) {
    *error = "section too long";
    return false;
  }
  section->clear();
  section->push_back(table_id);
  // section_syntax_indicator 1, reserved_future_use 1, reserved 11, section_length.
  section->push_back(static_cast<uint8_t>(0xF0 | (length >> 8)));
  section->push_back(static_cast<uint8_t>(length & 0xFF));
  section->insert(section->end(), body.begin(), body.end());
  const uint32_t crc = Crc32Mpeg2(section->data(), section->size());
  for (int shift = 24; shift >= 0; shift -= 8) {
    section->push_back(static_cast<uint8_t>(crc >> shift));
  }
  return true;
}

}  // namespace

bool BuildEitSection(const Event& e, Bytes* section, std::string* error) {
  Bytes body = SectionHeader(e.service_id, e.version, e.section_number, 1, e.table_id);
  if (!e.empty && !AppendEvent(e, &body, error)) return false;
  return CloseSection(e.table_id, body, section, error);
}

bool BuildScheduleSection(uint16_t service_id, uint8_t table_id, uint8_t section_number,
                          uint8_t version, const std::vector<Event>& events, Bytes* section,
                          std::string* error) {
  Bytes body = SectionHeader(service_id, version, section_number, section_number, table_id);
  for (const Event& e : events) {
    if (!AppendEvent(e, &body, error)) return false;
  }
  return CloseSection(table_id, body, section, error);
}

}  // namespace ts
