// EIT present/following from a transport stream, as a demultiplexer assembles it.
#include "en300468_decoder.h"

#include <errno.h>
#include <iconv.h>

#include <cstdio>

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
        if (7 + name_length <= 2 + length) {
          const size_t text_length = s[d + 6 + name_length];
          const size_t text_at = d + 7 + name_length;
          if (text_at + text_length <= d + 2 + length) {
            event.text.assign(s.begin() + static_cast<long>(text_at),
                              s.begin() + static_cast<long>(text_at + text_length));
          }
        }
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
  Demux(
      stream, [&](const std::vector<uint8_t>& s) { TakeSection(s, &services, stats); }, stats);
  return services;
}

void Demux(const std::vector<uint8_t>& stream,
           const std::function<void(const std::vector<uint8_t>&)>& deliver, DecodeStats* stats) {
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
        deliver(section);
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
}

}  // namespace en300468

// ---------------------------------------------------------------------------------------------
// Annex A text, the plain way: walk the field character by character and let iconv convert
// each one. Slow and simple on purpose.

namespace en300468 {

namespace {

struct Converter {
  explicit Converter(const char* from) : cd(iconv_open("UTF-32BE", from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return cd != reinterpret_cast<iconv_t>(-1); }

  // The code points of `bytes`; errno-like result: 0 done, EILSEQ invalid, EINVAL incomplete.
  int Convert(const std::string& bytes, std::vector<uint32_t>* cps) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::string in = bytes;
    char out[64];
    char* ip = in.data();
    size_t il = in.size();
    char* op = out;
    size_t ol = sizeof out;
    const size_t r = iconv(cd, &ip, &il, &op, &ol);
    if (r == static_cast<size_t>(-1)) return errno;
    cps->clear();
    for (char* q = out; q + 4 <= op; q += 4) {
      const auto* u = reinterpret_cast<const unsigned char*>(q);
      cps->push_back(static_cast<uint32_t>(u[0]) << 24 | u[1] << 16 | u[2] << 8 | u[3]);
    }
    return 0;
  }
  // One code point for `bytes`, or U+FFFD.
  uint32_t One(const std::string& bytes) {
    std::vector<uint32_t> cps;
    return Convert(bytes, &cps) == 0 && cps.size() == 1 ? cps[0] : 0xFFFD;
  }

  iconv_t cd;
};

void AppendUtf8(uint32_t c, std::string* out) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | c >> 6));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | c >> 12));
    out->push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | c >> 18));
    out->push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// What the CR/LF code becomes (DecodeText's argument).
char g_line_break = ' ';

// Appends one decoded character; false at NUL (the end of the text).
bool Put(uint32_t c, std::string* out) {
  if (c == 0) return false;
  if (c == 0xE08A) c = static_cast<unsigned char>(g_line_break);
  if ((c >= 0xE080 && c <= 0xE09F) || (c >= 0x80 && c <= 0x9F)) return true;
  AppendUtf8(c, out);
  return true;
}

bool IsLetter(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// ISO/IEC 6937 as DVB uses it. glibc's table is the 1983 edition: it lacks the euro sign DVB puts
// at 0xA4 and has U+2014 and U+00D0 where the current edition has U+2015 and U+0110.
bool Iso6937(const std::string& t, std::string* out) {
  Converter cv("ISO_6937");
  if (!cv.ok()) return false;
  // Combining marks of 0xC1..0xCF, for a pair with no precomposed letter.
  static const uint32_t kMarks[15] = {0x300, 0x301, 0x302, 0x303, 0x304, 0x306, 0x307, 0x308,
                                      0,     0x30A, 0x327, 0,     0x30B, 0x328, 0x30C};
  for (size_t i = 0; i < t.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(t[i]);
    if (b >= 0xC1 && b <= 0xCF) {
      if (i + 1 >= t.size() || !IsLetter(static_cast<unsigned char>(t[i + 1]))) continue;
      const uint32_t c = cv.One(t.substr(i, 2));
      ++i;
      if (c != 0xFFFD) {
        AppendUtf8(c, out);
      } else {
        out->push_back(t[i]);
        if (kMarks[b - 0xC1] != 0) AppendUtf8(kMarks[b - 0xC1], out);
      }
      continue;
    }
    uint32_t c = b;
    if (b == 0xA4) {
      c = 0x20AC;
    } else if (b == 0xD0) {
      c = 0x2015;
    } else if (b == 0xE2) {
      c = 0x0110;
    } else if (b >= 0xA0) {
      c = cv.One(t.substr(i, 1));
    } else if (b >= 0x80) {
      c = 0xE000 + b;  // a control code
    }
    if (!Put(c, out)) break;
  }
  return true;
}

bool Iso8859(int part, const std::string& t, std::string* out) {
  Converter cv(("ISO-8859-" + std::to_string(part)).c_str());
  if (!cv.ok()) return false;
  for (size_t i = 0; i < t.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(t[i]);
    const uint32_t c = b >= 0xA0 ? cv.One(t.substr(i, 1)) : (b >= 0x80 ? 0xE000 + b : b);
    if (!Put(c, out)) break;
  }
  return true;
}

bool TwoByte(const std::string& t, std::string* out) {
  Converter cv("UTF-16BE");
  if (!cv.ok()) return false;
  for (size_t i = 0; i + 2 <= t.size();) {
    const unsigned hi = static_cast<unsigned char>(t[i]);
    uint32_t c;
    if (hi >= 0xD8 && hi <= 0xDB) {  // a surrogate pair, or half of one
      if (i + 4 > t.size()) break;
      c = cv.One(t.substr(i, 4));
      i += c == 0xFFFD ? 2 : 4;
    } else {
      c = cv.One(t.substr(i, 2));
      i += 2;
    }
    if (!Put(c, out)) break;
  }
  return true;
}

bool Euc(const char* set, const std::string& t, std::string* out) {
  Converter cv(set);
  if (!cv.ok()) return false;
  for (size_t i = 0; i < t.size();) {
    const unsigned char b = static_cast<unsigned char>(t[i]);
    uint32_t c = b;
    if (b >= 0x80 && b <= 0x9F) {
      c = 0xE000 + b;
      ++i;
    } else if (b >= 0xA1 && b <= 0xFE) {
      if (i + 1 >= t.size()) break;
      const unsigned char t2 = static_cast<unsigned char>(t[i + 1]);
      const bool pair = t2 >= 0xA1 && t2 <= 0xFE;
      c = pair ? cv.One(t.substr(i, 2)) : 0xFFFD;
      i += pair ? 2 : 1;
    } else {
      c = b < 0x80 ? b : 0xFFFD;
      ++i;
    }
    if (!Put(c, out)) break;
  }
  return true;
}

// iconv says which prefixes are incomplete (EINVAL) and which are wrong (EILSEQ); an ill-formed
// part is the longest incomplete prefix, at least one byte.
bool Utf8(const std::string& t, std::string* out) {
  Converter cv("UTF-8");
  if (!cv.ok()) return false;
  std::vector<uint32_t> cps;
  for (size_t i = 0; i < t.size();) {
    const unsigned char b = static_cast<unsigned char>(t[i]);
    if ((b >= 0x80 && b <= 0xC1) || b >= 0xF5) {  // never the first byte of a character
      ++i;
      if (!Put(0xFFFD, out)) break;
      continue;
    }
    size_t take = 0;
    size_t incomplete = 0;
    for (size_t k = 1; k <= 4 && i + k <= t.size(); ++k) {
      const int r = cv.Convert(t.substr(i, k), &cps);
      if (r == 0 && cps.size() == 1) {
        take = k;
        break;
      }
      if (r != EINVAL) break;
      // glibc waits for more after a second byte that Unicode's table 3-7 already rules out
      // (surrogates ED A0.., overlong E0 80.. and F0 80.., past U+10FFFF F4 90..).
      if (k == 2) {
        const unsigned char c2 = static_cast<unsigned char>(t[i + 1]);
        if ((b == 0xE0 && c2 < 0xA0) || (b == 0xED && c2 > 0x9F) || (b == 0xF0 && c2 < 0x90) ||
            (b == 0xF4 && c2 > 0x8F)) {
          break;
        }
      }
      incomplete = k;
    }
    if (take == 0 && incomplete > 0 && i + incomplete == t.size()) break;  // cut by the end
    const uint32_t c = take > 0 ? cps[0] : 0xFFFD;
    // glibc lets surrogates and code points past U+10FFFF through; they are ill-formed.
    const bool bad = take > 0 && ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF);
    if (bad) {
      i += 1;
    } else {
      i += take > 0 ? take : (incomplete > 0 ? incomplete : 1);
    }
    if (!Put(bad ? 0xFFFD : c, out)) break;
  }
  return true;
}

bool LooksLatin9(const std::string& t) {
  Converter cv("ISO_6937");
  bool high = false;
  for (size_t i = 0; i < t.size() && t[i] != '\0'; ++i) {
    const unsigned char b = static_cast<unsigned char>(t[i]);
    if (b < 0xA0) continue;
    const bool diacritic = b >= 0xC1 && b <= 0xCF;
    if (!diacritic) high = true;  // a field whose only high bytes are diacritics is 6937
    if (diacritic && i + 1 < t.size() && IsLetter(static_cast<unsigned char>(t[i + 1])) &&
        cv.One(t.substr(i, 2)) != 0xFFFD) {
      return false;
    }
  }
  return high;
}

}  // namespace

bool DecodeText(const std::string& field, std::string* utf8, char line_break) {
  g_line_break = line_break;
  utf8->clear();
  if (field.empty()) return true;
  const unsigned char s = static_cast<unsigned char>(field[0]);
  const std::string rest = field.substr(1);
  if (s >= 0x20) return LooksLatin9(field) ? Iso8859(15, field, utf8) : Iso6937(field, utf8);
  if (s == 0x00) return true;
  if ((s >= 0x01 && s <= 0x07) || (s >= 0x09 && s <= 0x0B)) return Iso8859(s + 4, rest, utf8);
  if (s == 0x10) {
    if (field.size() < 3) return true;
    const int part =
        static_cast<unsigned char>(field[1]) << 8 | static_cast<unsigned char>(field[2]);
    if (part >= 1 && part <= 15 && part != 12) return Iso8859(part, field.substr(3), utf8);
    return Iso6937(field.substr(3), utf8);
  }
  if (s == 0x11 || s == 0x14) return TwoByte(rest, utf8);
  if (s == 0x12) return Euc("EUC-KR", rest, utf8);
  if (s == 0x13) return Euc("GB2312", rest, utf8);
  if (s == 0x15) return Utf8(rest, utf8);
  if (s == 0x1F) return Iso6937(field.size() >= 2 ? field.substr(2) : "", utf8);
  return Iso6937(rest, utf8);
}

}  // namespace en300468

// ---------------------------------------------------------------------------------------------
// Whole events: every field the guide shows, read plainly from a section's bytes.

namespace en300468 {

namespace {

// ISO 639-2 bibliographic codes and their terminology twins.
const char* const kBibliographic[][2] = {
    {"alb", "sqi"}, {"arm", "hye"}, {"baq", "eus"}, {"bur", "mya"}, {"chi", "zho"},
    {"cze", "ces"}, {"dut", "nld"}, {"fre", "fra"}, {"geo", "kat"}, {"ger", "deu"},
    {"gre", "ell"}, {"ice", "isl"}, {"mac", "mkd"}, {"mao", "mri"}, {"may", "msa"},
    {"per", "fas"}, {"rum", "ron"}, {"slo", "slk"}, {"tib", "bod"}, {"wel", "cym"}};

std::string Canonical(std::string code) {
  for (char& c : code) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const auto& bt : kBibliographic) {
    if (code == bt[0]) return bt[1];
  }
  return code;
}

std::string Bytes3(const std::vector<uint8_t>& s, size_t at) {
  return std::string(s.begin() + static_cast<long>(at), s.begin() + static_cast<long>(at + 3));
}

std::string Field(const std::vector<uint8_t>& s, size_t at, size_t n) {
  std::string raw(s.begin() + static_cast<long>(at), s.begin() + static_cast<long>(at + n));
  std::string text;
  DecodeText(raw, &text, '\n');
  return text;
}

bool Bcd(uint8_t b, int* v) {
  if ((b >> 4) > 9 || (b & 15) > 9) return false;
  *v = (b >> 4) * 10 + (b & 15);
  return true;
}

struct Descriptor {
  uint8_t tag;
  size_t body;  // offset of its first body byte
  size_t length;
};

// The event at `e` of section `s`, whose events end at `events_end`; false when its fixed
// bytes or its descriptor loop pass that. *next: where the next event begins.
bool ParseEvent(const std::vector<uint8_t>& s, size_t e, size_t events_end,
                const std::vector<std::string>& prefs, FullEvent* out, size_t* next) {
  if (e + 12 > events_end) return false;
  const size_t loop = e + 12;
  const size_t loop_end = loop + static_cast<size_t>((s[e + 10] & 0x0F) << 8 | s[e + 11]);
  if (loop_end > events_end) return false;
  *next = loop_end;
  FullEvent& f = *out;
  f.event_id = static_cast<uint16_t>(s[e] << 8 | s[e + 1]);
  const int mjd = s[e + 2] << 8 | s[e + 3];
  int hh = 0, mm = 0, ss = 0;
  if (mjd != 0xFFFF && Bcd(s[e + 4], &hh) && Bcd(s[e + 5], &mm) && Bcd(s[e + 6], &ss) && hh < 24 &&
      mm < 60 && ss < 60) {
    // EN 300 468 annex C.
    const int yp = static_cast<int>((mjd - 15078.2) / 365.25);
    const int mp = static_cast<int>((mjd - 14956.1 - static_cast<int>(yp * 365.25)) / 30.6001);
    const int day = mjd - 14956 - static_cast<int>(yp * 365.25) - static_cast<int>(mp * 30.6001);
    const int k = mp == 14 || mp == 15 ? 1 : 0;
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", 1900 + yp + k,
                  mp - 1 - k * 12, day, hh, mm, ss);
    f.start = text;
  }
  int dh = 0, dm = 0, ds = 0;
  const bool ones = s[e + 7] == 0xFF && s[e + 8] == 0xFF && s[e + 9] == 0xFF;
  if (!ones && Bcd(s[e + 7], &dh) && Bcd(s[e + 8], &dm) && Bcd(s[e + 9], &ds) && dm < 60 &&
      ds < 60) {
    f.duration = dh * 3600L + dm * 60L + ds;
  }
  f.running_status = s[e + 10] >> 5;

  std::vector<Descriptor> ds_;
  for (size_t d = loop; d + 2 <= loop_end;) {
    const size_t n = s[d + 1];
    if (d + 2 + n > loop_end) break;
    ds_.push_back(Descriptor{s[d], d + 2, n});
    d += 2 + n;
  }
  // The language: the most preferred of the short event descriptors', else the first's;
  // without any, the same among the extended ones.
  std::string language;
  bool found = false;
  for (uint8_t tag : {uint8_t{0x4D}, uint8_t{0x4E}}) {
    const size_t at = tag == 0x4D ? 0 : 1;
    const size_t min = tag == 0x4D ? 5 : 6;
    std::string first;
    size_t best = prefs.size();
    for (const Descriptor& d : ds_) {
      if (d.tag != tag || d.length < min) continue;
      const std::string code = Bytes3(s, d.body + at);
      if (!found) first = code, found = true;
      for (size_t i = 0; i < prefs.size(); ++i) {
        if (Canonical(code) == Canonical(prefs[i]) && i < best) best = i, language = code;
      }
    }
    if (found) {
      if (best == prefs.size()) language = first;
      break;
    }
  }
  for (char c : language) f.language += c >= 0x20 && c < 0x7F ? c : '?';
  const auto same = [&](size_t at) { return Canonical(Bytes3(s, at)) == Canonical(language); };
  for (const Descriptor& d : ds_) {
    if (d.tag != 0x4D || d.length < 5 || !same(d.body)) continue;
    const size_t name = s[d.body + 3];
    if (4 + name < d.length) {
      f.name = Field(s, d.body + 4, name);
      const size_t text = s[d.body + 4 + name];
      if (5 + name + text <= d.length) f.text = Field(s, d.body + 5 + name, text);
    }
    break;
  }
  std::vector<const Descriptor*> parts(16, nullptr);
  for (const Descriptor& d : ds_) {
    if (d.tag != 0x4E || d.length < 6 || !found || !same(d.body + 1)) continue;
    const int number = s[d.body] >> 4;
    if (number <= (s[d.body] & 15) && parts[number] == nullptr) parts[number] = &d;
  }
  for (const Descriptor* d : parts) {
    if (d == nullptr) continue;
    const size_t end = d->body + d->length;
    const size_t items_end = d->body + 5 + s[d->body + 4];
    if (items_end >= end) continue;
    for (size_t i = d->body + 5; i < items_end;) {
      const size_t dl = s[i];
      if (i + 1 + dl >= items_end) break;
      const size_t il = s[i + 1 + dl];
      if (i + 2 + dl + il > items_end) break;
      f.items.push_back({Field(s, i + 1, dl), Field(s, i + 2 + dl, il)});
      i += 2 + dl + il;
    }
    const size_t tl = s[items_end];
    if (items_end + 1 + tl <= end) f.extended += Field(s, items_end + 1, tl);
  }
  for (const Descriptor& d : ds_) {
    for (size_t i = 0; d.tag == 0x54 && i + 2 <= d.length; i += 2) {
      f.content.push_back({s[d.body + i] >> 4, s[d.body + i] & 15});
    }
    for (size_t i = 0; d.tag == 0x55 && i + 4 <= d.length; i += 4) {
      std::string country;
      for (size_t k = 0; k < 3; ++k) {
        const uint8_t c = s[d.body + i + k];
        country += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
      }
      f.ratings.push_back({country, s[d.body + i + 3]});
    }
  }
  return true;
}

}  // namespace

std::vector<std::pair<int, FullEvent>> DecodeFullEvents(const std::vector<uint8_t>& stream,
                                                        uint16_t sid,
                                                        const std::vector<std::string>& prefs) {
  std::vector<std::pair<int, FullEvent>> out;
  DecodeStats stats;
  Demux(
      stream,
      [&](const std::vector<uint8_t>& s) {
        if (s.size() < 3 + 27 || Crc32(s.data(), s.size()) != 0 || s[0] != kTablePfActual) return;
        if ((s[3] << 8 | s[4]) != sid || (s[5] & 1) == 0 || s[6] > 1) return;
        FullEvent f;
        size_t next = 0;
        if (ParseEvent(s, 14, s.size() - 4, prefs, &f, &next)) out.push_back({s[6] & 1, f});
      },
      &stats);
  return out;
}

std::vector<ScheduleSection> DecodeScheduleSections(const std::vector<uint8_t>& stream,
                                                    uint16_t sid,
                                                    const std::vector<std::string>& prefs) {
  std::vector<ScheduleSection> out;
  DecodeStats stats;
  Demux(
      stream,
      [&](const std::vector<uint8_t>& s) {
        if (s.size() < 3 + 15 || Crc32(s.data(), s.size()) != 0) return;
        const bool present = s[0] == kTablePfActual && s.size() > 6 && s[6] == 0;
        if ((!present && (s[0] < 0x50 || s[0] > 0x5F)) || (s[1] & 0x80) == 0) return;
        if ((s[3] << 8 | s[4]) != sid || (s[5] & 1) == 0) return;
        ScheduleSection section;
        section.table_id = s[0];
        section.section_number = s[6];
        section.version = (s[5] >> 1) & 0x1F;
        size_t at = 14;
        for (;;) {
          FullEvent f;
          size_t next = 0;
          if (!ParseEvent(s, at, s.size() - 4, prefs, &f, &next)) break;
          section.events.push_back(f);
          at = next;
        }
        out.push_back(section);
      },
      &stats);
  return out;
}

}  // namespace en300468
