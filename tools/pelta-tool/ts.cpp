// Transport-stream helpers: packets, payloads, the services a stream carries, the mkts schedule.
// The section writers are in ts_sections.cpp.
#include "ts.h"

#include <iconv.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "guide/eit_sections.h"
#include "shared/languages.h"

namespace ts {

namespace {

bool ParseNumber(const std::string& s, long min_value, long max_value, long* out) {
  if (s.empty()) return false;
  char* end = nullptr;
  long v = std::strtol(s.c_str(), &end, 0);
  if (*end != '\0' || v < min_value || v > max_value) return false;
  *out = v;
  return true;
}

// YYYY-MM-DD as a Modified Julian Date (EN 300 468 annex C), within the 16 bits of the field.
bool ParseDate(const std::string& s, uint16_t* mjd) {
  int y = 0, m = 0, d = 0, used = 0;
  if (std::sscanf(s.c_str(), "%4d-%2d-%2d%n", &y, &m, &d, &used) != 3) return false;
  if (used != static_cast<int>(s.size()) || m < 1 || m > 12 || d < 1 || d > 31) return false;
  const int a = (14 - m) / 12, yy = y + 4800 - a, mm = m + 12 * a - 3;
  const long jdn = d + (153 * mm + 2) / 5 + 365L * yy + yy / 4 - yy / 100 + yy / 400 - 32045;
  const long value = jdn - 2400001;
  if (value < 15079 || value > 0xFFFE) return false;  // 1900-03-01 .. before the undefined value
  *mjd = static_cast<uint16_t>(value);
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// "HH:MM" as two BCD bytes, the digits taken as hexadecimal so broken values can be written.
bool ParseTime(const std::string& s, uint8_t* hour, uint8_t* minute) {
  if (s.size() != 5 || s[2] != ':') return false;
  int d[4] = {HexDigit(s[0]), HexDigit(s[1]), HexDigit(s[3]), HexDigit(s[4])};
  for (int v : d) {
    if (v < 0) return false;
  }
  *hour = static_cast<uint8_t>(d[0] << 4 | d[1]);
  *minute = static_cast<uint8_t>(d[2] << 4 | d[3]);
  return true;
}

// "HH:MM" or "HH:MM:SS" as three BCD bytes (seconds 00 when not given), the digits taken as
// hexadecimal as in ParseTime: "FF:FF:FF" is the all-ones duration, "1A:00" one that is no BCD.
bool ParseDuration(const std::string& s, uint8_t bcd[3]) {
  uint8_t seconds = 0;
  if (s.size() == 8) {
    uint8_t unused = 0;
    if (s[5] != ':' || !ParseTime(s.substr(3), &unused, &seconds)) return false;
  } else if (s.size() != 5) {
    return false;
  }
  if (!ParseTime(s.substr(0, 5), &bcd[0], &bcd[1])) return false;
  bcd[2] = seconds;
  return true;
}

struct Token {
  std::string text;
  bool quoted;
};

// Splits a line at blanks; "..." is one token with \xHH, \" and \\ escapes.
bool Tokenise(const std::string& line, std::vector<Token>* tokens, std::string* error) {
  size_t i = 0;
  while (i < line.size()) {
    if (std::isspace(static_cast<unsigned char>(line[i]))) {
      ++i;
      continue;
    }
    Token t{"", line[i] == '"'};
    if (!t.quoted) {
      while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) {
        t.text += line[i++];
      }
      tokens->push_back(t);
      continue;
    }
    ++i;
    bool closed = false;
    while (i < line.size()) {
      char c = line[i++];
      if (c == '"') {
        closed = true;
        break;
      }
      if (c != '\\') {
        t.text += c;
        continue;
      }
      if (i >= line.size()) break;
      char e = line[i++];
      if (e == 'x') {
        int hi = i < line.size() ? HexDigit(line[i]) : -1;
        int lo = i + 1 < line.size() ? HexDigit(line[i + 1]) : -1;
        if (hi < 0 || lo < 0) {
          *error = "\\x needs two hex digits";
          return false;
        }
        t.text += static_cast<char>(hi << 4 | lo);
        i += 2;
      } else if (e == '"' || e == '\\') {
        t.text += e;
      } else {
        *error = std::string("unknown escape \\") + e;
        return false;
      }
    }
    if (!closed) {
      *error = "unterminated quoted text";
      return false;
    }
    tokens->push_back(t);
  }
  return true;
}

// `utf8` in the character set `to` (an iconv name), whole: false when a character has no place
// in it or the text is not UTF-8.
bool Convert(const std::string& utf8, const char* to, std::string* out) {
  iconv_t cd = iconv_open(to, "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string result(utf8.size() * 4 + 8, '\0');
  char* in = const_cast<char*>(utf8.data());
  size_t in_left = utf8.size();
  char* at = &result[0];
  size_t out_left = result.size();
  const bool ok = iconv(cd, &in, &in_left, &at, &out_left) != static_cast<size_t>(-1) &&
                  iconv(cd, nullptr, nullptr, &at, &out_left) != static_cast<size_t>(-1);
  iconv_close(cd);
  if (!ok) return false;
  result.resize(result.size() - out_left);
  *out = result;
  return true;
}

// A schedule's UTF-8 text as a DVB text field in `charset` (see mkts.cpp), selector first.
bool EncodeField(const std::string& charset, const std::string& utf8, std::string* field,
                 std::string* error) {
  std::string selector;
  std::string body;
  bool ok = true;
  if (charset == "6937") {
    ok = Convert(utf8, "ISO_6937", &body);  // no selector: ISO/IEC 6937 is the default
  } else if (charset.rfind("8859-", 0) == 0) {
    long part = 0;
    if (!ParseNumber(charset.substr(5), 1, 15, &part) || part == 12) {
      *error = "bad charset '" + charset + "'";
      return false;
    }
    selector = std::string("\x10\x00", 2) + static_cast<char>(part);
    ok = Convert(utf8, ("ISO-8859-" + std::to_string(part)).c_str(), &body);
  } else if (charset == "ucs2" || charset == "big5") {
    selector = charset == "ucs2" ? "\x11" : "\x14";  // both sent as two-byte ISO/IEC 10646
    ok = Convert(utf8, "UCS-2BE", &body);
  } else if (charset == "ksx1001" || charset == "gb2312") {
    selector = charset == "ksx1001" ? "\x12" : "\x13";
    ok = Convert(utf8, charset == "ksx1001" ? "EUC-KR" : "GB2312", &body);
  } else if (charset == "utf8") {
    selector = "\x15";
    ok = Convert(utf8, "UTF-8", &body);
  } else {
    *error = "bad charset '" + charset + "' (6937, 8859-N, ucs2, big5, ksx1001, gb2312, utf8)";
    return false;
  }
  if (!ok) {
    *error = "'" + utf8 + "' is not UTF-8 or has a character charset " + charset + " lacks";
    return false;
  }
  *field = utf8.empty() ? std::string() : selector + body;
  return true;
}

bool ParseEventLine(const std::vector<Token>& tokens, Event* e, int* repeat, std::string* error) {
  if (tokens.size() < 4) {
    *error = "expected: SID SECTION HH:MM KIND [\"NAME\" [\"TEXT\"]] [key=value ...]";
    return false;
  }
  long v = 0;
  if (!ParseNumber(tokens[0].text, 0, 0xFFFF, &v)) {
    *error = "bad service id '" + tokens[0].text + "'";
    return false;
  }
  e->service_id = static_cast<uint16_t>(v);
  if (tokens[1].text == "present") {
    e->section_number = 0;
  } else if (tokens[1].text == "following") {
    e->section_number = 1;
  } else if (ParseNumber(tokens[1].text, 0, 255, &v)) {
    e->section_number = static_cast<uint8_t>(v);  // a schedule section (table=0x50 ...)
  } else {
    *error = "section must be present, following or 0..255, not '" + tokens[1].text + "'";
    return false;
  }
  if (!ParseTime(tokens[2].text, &e->hour_bcd, &e->minute_bcd)) {
    *error = "bad start time '" + tokens[2].text + "' (HH:MM)";
    return false;
  }
  const std::string& kind = tokens[3].text;
  if (kind == "short") {
    e->tag = 0x4D;
  } else if (kind == "extended") {
    e->tag = 0x4E;
  } else if (kind == "empty") {
    e->empty = true;
  } else if (ParseNumber(kind, 0, 0xFF, &v)) {
    e->tag = static_cast<uint8_t>(v);
  } else {
    *error = "bad descriptor kind '" + kind + "'";
    return false;
  }
  int strings = 0;
  std::string charset;
  for (size_t i = 4; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    if (t.quoted) {
      if (strings == 2) {
        *error = "more than two quoted texts";
        return false;
      }
      (strings++ == 0 ? e->name : e->text) = t.text;
      continue;
    }
    size_t eq = t.text.find('=');
    if (eq == std::string::npos) {
      *error = "expected key=value or quoted text, not '" + t.text + "'";
      return false;
    }
    const std::string key = t.text.substr(0, eq);
    const std::string value = t.text.substr(eq + 1);
    if (key == "lang") {
      e->language = value;
      continue;
    }
    if (key == "charset") {
      charset = value;
      continue;
    }
    if (key == "duration") {
      if (!ParseDuration(value, e->duration_bcd)) {
        *error = "bad duration '" + value + "' (HH:MM or HH:MM:SS)";
        return false;
      }
      continue;
    }
    if (key == "date") {
      if (!ParseDate(value, &e->mjd)) {
        *error = "bad date '" + value + "' (YYYY-MM-DD, 1900-03-01 to 2038-04-22)";
        return false;
      }
      continue;
    }
    long limit = key == "table" || key == "version" ? (key == "table" ? 0xFF : 31)
                 : key == "event"                   ? 0xFFFF
                 : key == "repeat"                  ? 1000
                                                    : -1;
    if (limit < 0 || !ParseNumber(value, 0, limit, &v)) {
      *error = "bad option '" + t.text + "'";
      return false;
    }
    if (key == "table") e->table_id = static_cast<uint8_t>(v);
    if (key == "version") e->version = static_cast<uint8_t>(v);
    if (key == "event") e->event_id = static_cast<uint16_t>(v);
    if (key == "repeat") *repeat = static_cast<int>(v);
  }
  if (!charset.empty()) {
    return EncodeField(charset, e->name, &e->name, error) &&
           EncodeField(charset, e->text, &e->text, error);
  }
  return true;
}

}  // namespace

void Packetise(uint16_t pid, const Bytes& section, uint8_t* continuity, Bytes* out) {
  size_t done = 0;
  bool first = true;
  while (first || done < section.size()) {
    const size_t start = out->size();
    out->push_back(kSyncByte);
    out->push_back(static_cast<uint8_t>((first ? 0x40 : 0x00) | (pid >> 8 & 0x1F)));
    out->push_back(static_cast<uint8_t>(pid & 0xFF));
    out->push_back(static_cast<uint8_t>(0x10 | (*continuity & 0x0F)));  // payload only
    *continuity = static_cast<uint8_t>((*continuity + 1) & 0x0F);
    if (first) out->push_back(0);  // pointer_field: the section starts right behind it
    const size_t room = kPacketSize - (out->size() - start);
    const size_t n = section.size() - done < room ? section.size() - done : room;
    out->insert(out->end(), section.begin() + static_cast<long>(done),
                section.begin() + static_cast<long>(done + n));
    done += n;
    out->resize(start + kPacketSize, 0xFF);  // stuffing
    first = false;
  }
}

void AppendNullPacket(Bytes* out) {
  const size_t start = out->size();
  out->push_back(kSyncByte);
  out->push_back(static_cast<uint8_t>(kNullPid >> 8));
  out->push_back(static_cast<uint8_t>(kNullPid & 0xFF));
  out->push_back(0x10);
  out->resize(start + kPacketSize, 0xFF);
}

Bytes ExtractPayloads(const Bytes& stream, uint16_t pid) {
  Bytes out;
  size_t i = 0;
  while (i + kPacketSize <= stream.size()) {
    if (stream[i] != kSyncByte) {
      ++i;  // lost sync: look for the next sync byte
      continue;
    }
    const uint8_t* p = stream.data() + i;
    const uint16_t packet_pid = static_cast<uint16_t>((p[1] & 0x1F) << 8 | p[2]);
    const bool has_payload = (p[3] & 0x10) != 0;  // adaptation_field_control 01 or 11
    if (packet_pid == pid && has_payload) out.insert(out.end(), p + 4, p + kPacketSize);
    i += kPacketSize;
  }
  return out;
}

std::vector<ServiceSeen> ListServices(const Bytes& stream) {
  std::vector<ServiceSeen> seen;
  // A whole section: a p/f section of the actual stream with a good CRC_32 counts.
  auto take = [&seen](const Bytes& section) {
    if (section.size() < 18 || section[0] != 0x4E) return;
    if (Crc32Mpeg2(section.data(), section.size()) != 0) return;
    const uint16_t sid = static_cast<uint16_t>(section[3] << 8 | section[4]);
    const int mask = (section[6] & 1) ? 2 : 1;
    const bool has_event = section.size() >= 14 + 12 + 4;
    for (ServiceSeen& s : seen) {
      if (s.service_id == sid) {
        s.sections |= mask;
        if (has_event) s.events |= mask;
        return;
      }
    }
    seen.push_back(ServiceSeen{sid, mask, has_event ? mask : 0});
  };
  Bytes section;
  bool open = false;  // a section is being assembled
  // Payload bytes from `p`; a section begins only where `may_begin` (behind a pointer_field),
  // and 0xFF where a section would begin is stuffing to the end of the packet.
  auto feed = [&](const uint8_t* p, size_t n, bool may_begin) {
    size_t i = 0;
    while (i < n) {
      if (!open) {
        if (!may_begin || p[i] == 0xFF) return;
        open = true;
        section.clear();
      }
      size_t want = 3;
      if (section.size() >= 3) want += static_cast<size_t>((section[1] & 0x0F) << 8 | section[2]);
      const size_t count = want - section.size() < n - i ? want - section.size() : n - i;
      section.insert(section.end(), p + i, p + i + count);
      i += count;
      if (section.size() >= 3 &&
          section.size() == 3 + static_cast<size_t>((section[1] & 0x0F) << 8 | section[2])) {
        take(section);
        open = false;
      }
    }
  };
  size_t i = 0;
  while (i + kPacketSize <= stream.size()) {
    if (stream[i] != kSyncByte) {
      ++i;
      continue;
    }
    const uint8_t* p = stream.data() + i;
    i += kPacketSize;
    const uint16_t packet_pid = static_cast<uint16_t>((p[1] & 0x1F) << 8 | p[2]);
    if (packet_pid != kEitPid || (p[3] & 0x10) == 0) continue;
    size_t start = 4;
    if ((p[3] & 0x20) != 0) start += 1 + static_cast<size_t>(p[4]);  // adaptation field
    if (start >= kPacketSize) continue;
    if ((p[1] & 0x40) == 0) {
      if (open) feed(p + start, kPacketSize - start, false);
      continue;
    }
    const size_t pointer = p[start];
    if (start + 1 + pointer > kPacketSize) {
      open = false;
      continue;
    }
    if (open) feed(p + start + 1, pointer, false);
    open = false;
    feed(p + start + 1 + pointer, kPacketSize - start - 1 - pointer, true);
  }
  return seen;
}

void PacketiseSections(uint16_t pid, const std::vector<Bytes>& sections, uint8_t first_pointer,
                       uint8_t* continuity, Bytes* out) {
  // The stream of bytes the packets carry: `first_pointer` bytes that end an earlier section
  // (0xFF here), then the sections back to back.
  Bytes data(first_pointer, 0xFF);
  std::vector<size_t> starts;
  for (const Bytes& s : sections) {
    starts.push_back(data.size());
    data.insert(data.end(), s.begin(), s.end());
  }
  size_t at = 0;
  size_t next_start = 0;  // index into starts of the first section not yet begun
  while (at < data.size()) {
    const size_t packet = out->size();
    out->push_back(kSyncByte);
    out->push_back(static_cast<uint8_t>(pid >> 8 & 0x1F));
    out->push_back(static_cast<uint8_t>(pid & 0xFF));
    out->push_back(static_cast<uint8_t>(0x10 | (*continuity & 0x0F)));
    *continuity = static_cast<uint8_t>((*continuity + 1) & 0x0F);
    // With the pointer field a packet holds 183 bytes; a section beginning among them needs it.
    const bool begins = next_start < starts.size() && starts[next_start] < at + kPayloadSize - 1;
    size_t room = kPayloadSize;
    // A section that would begin in the last byte cannot have its pointer_field there: that
    // byte is stuffing, and the section begins in the next packet.
    if (!begins && next_start < starts.size() && starts[next_start] < at + kPayloadSize) {
      room = starts[next_start] - at;
    }
    if (begins) {
      (*out)[packet + 1] |= 0x40;  // payload_unit_start_indicator
      out->push_back(static_cast<uint8_t>(starts[next_start] - at));
      room = kPayloadSize - 1;
    }
    const size_t n = data.size() - at < room ? data.size() - at : room;
    out->insert(out->end(), data.begin() + static_cast<long>(at),
                data.begin() + static_cast<long>(at + n));
    at += n;
    while (next_start < starts.size() && starts[next_start] < at) ++next_start;
    out->resize(packet + kPacketSize, 0xFF);  // stuffing
  }
}

// One part of an extended description from a `+ extended` line; numbered when the event is
// built, unless the line gave part=N/L.
struct ExtendedPart {
  std::string language;
  int number = -1;
  int last = -1;
  std::vector<ExtendedItem> items;
  std::string text;
};

// A `+ KIND ...` line: one more descriptor of the event above it (see mkts.cpp).
bool ParseMoreLine(const std::vector<Token>& tokens, Event* e, std::vector<ExtendedPart>* parts,
                   std::string* error) {
  if (tokens.size() < 2) {
    *error = "expected: + short|extended|content|rating ...";
    return false;
  }
  const std::string kind = tokens[1].text;
  std::vector<std::string> quoted;
  std::vector<std::string> words;
  std::string language = "eng";
  std::string charset;
  std::string part;
  for (size_t i = 2; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    const size_t eq = t.quoted ? std::string::npos : t.text.find('=');
    if (t.quoted) {
      quoted.push_back(t.text);
    } else if (eq != std::string::npos && t.text.substr(0, eq) == "lang") {
      language = t.text.substr(eq + 1);
    } else if (eq != std::string::npos && t.text.substr(0, eq) == "charset") {
      charset = t.text.substr(eq + 1);
    } else if (eq != std::string::npos && t.text.substr(0, eq) == "part") {
      part = t.text.substr(eq + 1);
    } else {
      words.push_back(t.text);
    }
  }
  if (!charset.empty()) {
    for (std::string& q : quoted) {
      if (!EncodeField(charset, q, &q, error)) return false;
    }
  }
  if (kind == "short") {
    if (quoted.size() > 2 || !words.empty()) {
      *error = "+ short takes \"NAME\" [\"TEXT\"]";
      return false;
    }
    Bytes d;
    if (!ShortEventDescriptor(language, quoted.empty() ? "" : quoted[0],
                              quoted.size() > 1 ? quoted[1] : "", &d, error)) {
      return false;
    }
    e->more.push_back(d);
    return true;
  }
  if (kind == "extended") {
    if (quoted.empty() || quoted.size() % 2 != 1 || !words.empty()) {
      *error = "+ extended takes \"TEXT\" and pairs \"DESCRIPTION\" \"ITEM\"";
      return false;
    }
    ExtendedPart p;
    p.language = language;
    p.text = quoted[0];
    for (size_t i = 1; i + 1 < quoted.size(); i += 2) p.items.push_back({quoted[i], quoted[i + 1]});
    if (!part.empty()) {
      long n = 0;
      long l = 0;
      const size_t slash = part.find('/');
      if (slash == std::string::npos || !ParseNumber(part.substr(0, slash), 0, 15, &n) ||
          !ParseNumber(part.substr(slash + 1), 0, 15, &l)) {
        *error = "bad part '" + part + "' (N/L, 0 to 15)";
        return false;
      }
      p.number = static_cast<int>(n);
      p.last = static_cast<int>(l);
    }
    parts->push_back(p);
    e->more.push_back(Bytes());  // its place in the loop, filled when the event is built
    return true;
  }
  if (kind == "content" || kind == "rating") {
    if (!quoted.empty() || words.empty() || (kind == "rating" && words.size() % 2 != 0)) {
      *error = kind == "content" ? "+ content takes nibble pairs as bytes (0x14 ...)"
                                 : "+ rating takes COUNTRY VALUE pairs";
      return false;
    }
    std::vector<uint8_t> nibbles;
    std::vector<Rating> ratings;
    for (size_t i = 0; i < words.size(); ++i) {
      long v = 0;
      if (kind == "rating" && i % 2 == 0) {
        ratings.push_back({words[i], 0});
        continue;
      }
      if (!ParseNumber(words[i], 0, 0xFF, &v)) {
        *error = "bad byte '" + words[i] + "'";
        return false;
      }
      if (kind == "content") {
        nibbles.push_back(static_cast<uint8_t>(v));
      } else {
        ratings.back().rating = static_cast<uint8_t>(v);
      }
    }
    e->more.push_back(kind == "content" ? ContentDescriptor(nibbles)
                                        : ParentalRatingDescriptor(ratings));
    return true;
  }
  *error = "unknown descriptor kind '" + kind + "' (short, extended, content, rating)";
  return false;
}

// ISO 639-2 codes of one language ("ger" and "DEU"), as the reader matches them.
bool SameLanguageCode(const std::string& a, const std::string& b) {
  char ca[4];
  char cb[4];
  if (a.size() != 3 || b.size() != 3 || !CanonicalLanguage(a.c_str(), ca) ||
      !CanonicalLanguage(b.c_str(), cb)) {
    return a == b;
  }
  return std::strcmp(ca, cb) == 0;
}

// The extended parts into their places in e->more, numbered per language in order.
bool PlaceParts(const std::vector<ExtendedPart>& parts, Event* e, std::string* error) {
  size_t next = 0;
  for (Bytes& d : e->more) {
    if (!d.empty()) continue;
    const ExtendedPart& p = parts[next++];
    int number = 0;
    int count = 0;
    for (size_t i = 0; i < parts.size(); ++i) {
      if (!SameLanguageCode(parts[i].language, p.language)) continue;
      if (i < next - 1) ++number;
      ++count;
    }
    if (!ExtendedEventDescriptor(p.number >= 0 ? p.number : number,
                                 p.last >= 0 ? p.last : count - 1, p.language, p.items, p.text, &d,
                                 error)) {
      return false;
    }
  }
  return true;
}

bool BuildStream(const std::string& schedule, Bytes* stream, std::string* error) {
  stream->clear();
  uint8_t continuity = 0;
  size_t line_start = 0;
  int line_number = 0;
  // The event line being read, with the `+` lines below it; sent when the next line is not one.
  bool pending = false;
  int pending_line = 0;
  int repeat = 1;
  Event e;
  std::vector<ExtendedPart> parts;
  auto flush = [&]() {
    if (!pending) return true;
    pending = false;
    Bytes section;
    std::string why;
    if (!PlaceParts(parts, &e, &why) || !BuildEitSection(e, &section, &why)) {
      *error = "line " + std::to_string(pending_line) + ": " + why;
      return false;
    }
    for (int r = 0; r < repeat; ++r) Packetise(kEitPid, section, &continuity, stream);
    return true;
  };
  while (line_start < schedule.size()) {
    size_t line_end = schedule.find('\n', line_start);
    if (line_end == std::string::npos) line_end = schedule.size();
    std::string line = schedule.substr(line_start, line_end - line_start);
    line_start = line_end + 1;
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<Token> tokens;
    std::string why;
    if (!Tokenise(line, &tokens, &why)) {
      *error = "line " + std::to_string(line_number) + ": " + why;
      return false;
    }
    if (tokens.empty() || (!tokens[0].quoted && tokens[0].text[0] == '#')) continue;
    if (!tokens[0].quoted && tokens[0].text == "+") {
      if (!pending || !ParseMoreLine(tokens, &e, &parts, &why)) {
        *error = "line " + std::to_string(line_number) + ": " +
                 (pending ? why : "a '+' line follows an event line");
        return false;
      }
      continue;
    }
    if (!flush()) return false;
    if (tokens.size() == 1 && tokens[0].text == "null") {
      AppendNullPacket(stream);
      continue;
    }
    e = Event();
    parts.clear();
    repeat = 1;
    if (!ParseEventLine(tokens, &e, &repeat, &why)) {
      *error = "line " + std::to_string(line_number) + ": " + why;
      return false;
    }
    pending = true;
    pending_line = line_number;
  }
  return flush();
}

std::string HexDump(const uint8_t* data, size_t size) {
  std::string out;
  char buf[32];
  for (size_t i = 0; i < size; ++i) {
    if (i % 16 == 0) {
      std::snprintf(buf, sizeof buf, "%s%04zx:", i ? "\n" : "", i);
      out += buf;
    }
    std::snprintf(buf, sizeof buf, " %02X", data[i]);
    out += buf;
  }
  return out;
}

bool ReadFile(const char* path, Bytes* out) {
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return false;
  unsigned char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
    out->insert(out->end(), buffer, buffer + n);
  const bool ok = std::ferror(f) == 0;
  std::fclose(f);
  return ok;
}

}  // namespace ts
