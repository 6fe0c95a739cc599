// pelta-tool mkts SCHEDULE --out F.ts: a transport stream of EIT present/following sections
// from a small text schedule, for demos, tests and the fuzz corpus.
//
// Schedule format, one item per line ('#' starts a comment line, blank lines are skipped):
//
//   SID SECTION HH:MM KIND ["NAME" ["TEXT"]] [key=value ...]
//   null
//
//   SID      service_id, decimal or 0x-hex (0..65535)
//   SECTION  present (section_number 0) or following (section_number 1), or a section_number
//            0..255, for a schedule section (table=0x50 to 0x5F) of one event
//   HH:MM    start_time in UTC, written as BCD; the digits are read as hex digits so broken
//            values can be made too (2F:7A gives the bytes 0x2F 0x7A)
//   KIND     short     short_event_descriptor 0x4D: NAME is event_name, TEXT is text
//            extended  extended_event_descriptor 0x4E: NAME (if any) becomes one item's
//                      description, TEXT the descriptor's text
//            0x69      tag 0x69 in the layout the plug-in reads: eight bytes, name length + 1,
//                      one byte, NAME, text length, TEXT
//            0xNN      any other tag: that descriptor (two body bytes) first, then a short
//                      event descriptor with NAME and TEXT
//            empty     no event at all (section_length 15)
//   NAME, TEXT  in double quotes; \xHH gives any byte (selector bytes "\x10\x00\x05", the
//            line break "\x8A"), \" and \\ a quote and a backslash
//   options  date=YYYY-MM-DD (start_time date, default 2024-01-01), duration=HH:MM[:SS] (BCD,
//            the digits read as hex as HH:MM is: FF:FF:FF is the all-ones "undefined" value;
//            default 01:00:00), table=0x4F (table_id, default 0x4E), version=N (0..31), event=N
//            (event_id), lang=deu (ISO 639 code, default eng), repeat=N (send the section N times),
//            charset=C: NAME and TEXT are UTF-8 and are written in the character table C
//            with its selector (EN 300 468 annex A): 6937 (no selector), 8859-N (0x10 0x00 N),
//            ucs2 (0x11), big5 (0x14, two-byte ISO/IEC 10646 as broadcast), ksx1001 (0x12,
//            EUC-KR), gb2312 (0x13, EUC-CN), utf8 (0x15); an empty text stays empty
//   null     one null packet (PID 0x1FFF), which a section filter on PID 0x12 never sees
//   + KIND ...  one more descriptor in the loop of the event line above, in the order given:
//            + short "NAME" ["TEXT"]                     another short event descriptor
//            + extended "TEXT" ["DESCRIPTION" "ITEM"]...  one part of an extended description,
//                        with its items; the parts of one language are numbered 0, 1, ... and
//                        their last_descriptor_number is the last of them, unless part=N/L
//                        gives both (0..15)
//            + content 0x14 [0x32 ...]                   a content descriptor, each byte one
//                        pair of nibbles (level 1, level 2), user byte 0
//            + rating CZE 12 [DEU 0x10 ...]              a parental rating descriptor
//            lang=ces (default eng) and charset=C as on event lines (for short and extended)
//
// Each section is sent as its own TS packets on PID 0x12: the first carries
// payload_unit_start_indicator and pointer_field 0, a longer section continues in the next
// packets, the last is padded with 0xFF. Each section carries its CRC_32.
//
// Example:
//   0x1234 present   20:15 short    "News" "Weather"
//   0x1234 following 21:00 short    "\x10\x00\x05Film" "A *long* film"
//   0x0101 present   06:00 extended ""   "Morning show"
//   0x0101 following 07:00 short    "Film" "Drama" lang=deu
//   + extended "Part one. " "Director" "J. Novak" lang=deu
//   + extended "Part two." lang=deu
//   + content 0x11
//   + rating DEU 9 AUT 0x0C
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "ts.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: pelta-tool mkts SCHEDULE --out F.ts\n");
  return 2;
}

bool ReadAll(const char* path, std::string* out) {
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return false;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out->append(buffer, n);
  const bool ok = std::ferror(f) == 0;
  std::fclose(f);
  return ok;
}

}  // namespace

int RunMkts(int argc, char** argv) {
  const char* schedule_path = nullptr;
  const char* out_path = nullptr;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--out") == 0 && i + 1 < argc) {
      out_path = argv[++i];
    } else if (argv[i][0] != '-' && schedule_path == nullptr) {
      schedule_path = argv[i];
    } else {
      return Usage();
    }
  }
  if (schedule_path == nullptr || out_path == nullptr) return Usage();

  std::string schedule;
  if (!ReadAll(schedule_path, &schedule)) {
    std::fprintf(stderr, "pelta-tool mkts: cannot read %s\n", schedule_path);
    return 1;
  }
  ts::Bytes stream;
  std::string error;
  if (!ts::BuildStream(schedule, &stream, &error)) {
    std::fprintf(stderr, "pelta-tool mkts: %s: %s\n", schedule_path, error.c_str());
    return 1;
  }
  std::FILE* out = std::fopen(out_path, "wb");
  if (out == nullptr) {
    std::fprintf(stderr, "pelta-tool mkts: cannot write %s\n", out_path);
    return 1;
  }
  // An empty schedule makes an empty file: no write at all, as data() may then be null.
  const bool written =
      stream.empty() || std::fwrite(stream.data(), 1, stream.size(), out) == stream.size();
  if (std::fclose(out) != 0 || !written) {
    std::fprintf(stderr, "pelta-tool mkts: cannot write %s\n", out_path);
    return 1;
  }
  std::printf("%zu packets\n", stream.size() / ts::kPacketSize);
  return 0;
}
