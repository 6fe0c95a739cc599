// DVB text fields to UTF-8: one row per character table and control code, cuts at every buffer
// size, the display's cleaning, and the broadcast captures held against the independent
// decoder in en300468_decoder.h.
#include "guide/dvb_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "alloc_counter.h"
#include "en300468_decoder.h"

namespace {

std::string Decode(const std::string& field, size_t out_size = 1024, bool* cut = nullptr) {
  std::vector<char> out(out_size + 1, '\x5A');
  const DvbTextResult r = DecodeDvbText(reinterpret_cast<const uint8_t*>(field.data()),
                                        field.size(), out.data(), out_size);
  if (cut != nullptr) *cut = r.cut;
  EXPECT_EQ(out[out_size], '\x5A') << "written past the buffer";
  if (out_size == 0) return "";
  EXPECT_LT(r.length, out_size);
  EXPECT_EQ(out[r.length], '\0');
  EXPECT_EQ(std::strlen(out.data()), r.length);
  return std::string(out.data(), r.length);
}

std::string Hex(const std::string& s) {
  std::string out;
  char b[4];
  for (unsigned char c : s) {
    std::snprintf(b, sizeof b, "%02X ", c);
    out += b;
  }
  return out;
}

struct DecodeCase {
  const char* what;
  std::string field;
  std::string utf8;
};

const std::vector<DecodeCase>& DecodeCases() {
  static const std::vector<DecodeCase> cases = {
      {"ASCII", "News at 6", "News at 6"},
      {"6937 Czech pairs",
       "Maigret a \xCF"
       "cty\xCFri milenci",
       "Maigret a čtyři milenci"},
      {"6937 Czech capture",
       "Z\xC2"
       "achran\xC2"
       "a\xCFri z hor",
       "Záchranáři z hor"},
      {"6937 capital with caron",
       "\xCF"
       "Cesko na tal\xC2i\xCFri",
       "Česko na talíři"},
      {"6937 euro at 0xA4",
       "\xC2"
       "e 5 \xA4",
       "é 5 €"},
      {"6937 spacing symbols",
       "\xC2"
       "e \xD3 \xE8 \xFB",
       "é © Ł ß"},
      {"6937 no precomposed form",
       "\xC2"
       "e \xCFq",
       "é q\u030C"},
      {"6937 diacritic at the end",
       "\xC2"
       "e abc\xC2",
       "é abc"},
      {"a title cut after its accent: 6937, the accent dropped", "Caf\xC2", "Caf"},
      {"diacritics the only high bytes, none before a letter", "\xC8 a\xC1", " a"},
      {"6937 diacritic before a blank",
       "\xC2"
       "e\xC2 1",
       "é 1"},
      {"6937 position without a mark",
       "\xC2"
       "e\xC9"
       "a",
       "éa"},
      {"6937 unassigned",
       "\xC2"
       "e\xC0",
       "é\uFFFD"},
      {"Latin without selector 0xE9", "Caf\xE9 d'\xE9t\xE9", "Café d'été"},
      {"Latin without selector, euro", "5 \xA4", "5 €"},
      {"Latin without selector, 0xC9", "\xC9t\xE9", "Été"},
      {"0x01 ISO 8859-5", "\x01\xBF\xE0\xD8\xD2\xD5\xE2", "Привет"},
      {"0x02 ISO 8859-6", "\x02\xC7\xD5", "اص"},
      {"0x03 ISO 8859-7", "\x03\xC5\xEB\xEB\xDC\xE4\xE1", "Ελλάδα"},
      {"0x04 ISO 8859-8", "\x04\xF9\xEC\xE5\xED", "שלום"},
      {"0x05 ISO 8859-9", "\x05\xDD\xFE", "İş"},
      {"0x06 ISO 8859-10", "\x06\xA1\xBD", "Ą―"},
      {"0x07 ISO 8859-11", "\x07\xA1", "ก"},
      {"0x08 reserved: skipped",
       "\x08"
       "abc",
       "abc"},
      {"0x09 ISO 8859-13", "\x09\xE0", "ą"},
      {"0x0A ISO 8859-14", "\x0A\xA1", "Ḃ"},
      {"0x0B ISO 8859-15", "\x0B\xA4\xBD\xE9", "€œé"},
      {"0x10 ISO 8859-2", std::string("\x10\x00\x02\xE8", 4), "č"},
      {"0x10 ISO 8859-1", std::string("\x10\x00\x01\xE9\xA4", 5), "é¤"},
      {"0x10 undefined position", std::string("\x10\x00\x03\xA5", 4), "\uFFFD"},
      {"0x10 cut in the selector", std::string("\x10\x00", 2), ""},
      {"0x10 unknown table",
       std::string("\x10\x00\x0C"
                   "abc",
                   6),
       "abc"},
      {"0x11 UCS-2 Chinese", std::string("\x11\x4E\x2D\x65\x87", 5), "中文"},
      {"0x11 odd last byte", std::string("\x11\x00\x41\x4E", 4), "A"},
      {"0x11 surrogate pair", std::string("\x11\xD8\x3D\xDE\x00", 5), "\U0001F600"},
      {"0x11 unpaired high", std::string("\x11\xD8\x3D\x00\x41", 5), "\uFFFDA"},
      {"0x11 lone low", std::string("\x11\xDE\x00\x00\x41", 5), "\uFFFDA"},
      {"0x11 high at the end", std::string("\x11\x00\x41\xD8\x3D", 5), "A"},
      {"0x11 NUL ends", std::string("\x11\x00\x41\x00\x00\x00\x42", 7), "A"},
      {"0x11 U+E08A line break", std::string("\x11\x00\x41\xE0\x8A\x00\x42", 7), "A B"},
      {"0x11 U+E086/E087 emphasis", std::string("\x11\xE0\x86\x00\x41\xE0\x87", 7), "A"},
      {"0x12 KS X 1001", "\x12\xC7\xD1\xB1\xB9", "한국"},
      {"0x12 lead byte at the end",
       "\x12"
       "A\xC7",
       "A"},
      {"0x12 bad second byte",
       "\x12\xC7"
       "A",
       "\uFFFDA"},
      {"0x13 GB 2312", "\x13\xD6\xD0\xCE\xC4", "中文"},
      {"0x13 0x8A line break",
       "\x13"
       "a\x8A"
       "b",
       "a b"},
      {"0x14 Big5 subset, two bytes", std::string("\x14\x4E\x2D\x00\x31", 5), "中1"},
      {"0x15 UTF-8",
       "\x15"
       "caf\xC3\xA9",
       "café"},
      {"0x15 invalid byte",
       "\x15"
       "a\xFF"
       "b",
       "a\uFFFDb"},
      {"0x15 overlong",
       "\x15\xC0\xAF"
       "x",
       "\uFFFD\uFFFDx"},
      {"0x15 encoded surrogate", "\x15\xED\xA0\x80", "\uFFFD\uFFFD\uFFFD"},
      {"0x15 cut inside the field",
       "\x15\xE4\xB8"
       "a",
       "\uFFFDa"},
      {"0x15 cut by the end",
       "\x15"
       "a\xE4\xB8",
       "a"},
      {"0x15 U+E08A line break",
       "\x15"
       "a\xEE\x82\x8A"
       "b",
       "a b"},
      {"0x1F encoding type id skipped",
       "\x1F\x01"
       "abc",
       "abc"},
      {"0x16 reserved: skipped",
       "\x16"
       "abc",
       "abc"},
      {"0x86/0x87/0x8A",
       "a\x86"
       "b\x87"
       "c\x8A"
       "d",
       "abc d"},
      {"0x8A in ISO 8859-5",
       "\x01"
       "a\x8A"
       "b",
       "a b"},
      {"other control codes dropped",
       "a\x80"
       "b\x9F",
       "ab"},
      {"NUL ends", std::string("ab\0cd", 5), "ab"},
      {"NUL first", std::string("\0abc", 4), ""},
      {"empty", "", ""},
  };
  return cases;
}

TEST(DvbText, DecodesEveryTable) {
  for (const DecodeCase& c : DecodeCases()) {
    EXPECT_EQ(Decode(c.field), c.utf8) << c.what << ": " << Hex(c.field);
  }
}

// The independent decoder agrees on every row: the tables were generated from python's codecs,
// the oracle converts with glibc's iconv.
TEST(DvbText, OracleAgreesOnEveryTable) {
  for (const DecodeCase& c : DecodeCases()) {
    std::string oracle;
    if (!en300468::DecodeText(c.field, &oracle)) GTEST_SKIP() << "no iconv converter: " << c.what;
    EXPECT_EQ(oracle, c.utf8) << c.what << ": " << Hex(c.field);
  }
}

TEST(DvbText, NullInputAndZeroSizeBuffer) {
  char out[4] = {'x', 'x', 'x', 'x'};
  DvbTextResult r = DecodeDvbText(nullptr, 5, out, sizeof out);
  EXPECT_EQ(r.length, 0u);
  EXPECT_EQ(out[0], '\0');
  const uint8_t a[] = {'a'};
  r = DecodeDvbText(a, 1, out + 1, 0);
  EXPECT_EQ(r.length, 0u);
  EXPECT_TRUE(r.cut);
  EXPECT_EQ(out[1], 'x');  // nothing written
}

// At every buffer size the result is the longest run of whole characters that fits, and
// nothing is written past the buffer.
TEST(DvbText, CutsAtCharacterBoundaries) {
  const struct {
    const char* what;
    std::string field;
  } cases[] = {
      {"6937 Czech",
       "Z\xC2"
       "achran\xC2"
       "a\xCFri z hor"},
      {"UCS-2 Chinese", std::string("\x11\x4E\x2D\x65\x87\x00\x41\xD8\x3D\xDE\x00", 11)},
      {"letter and combining mark",
       "\xC2"
       "e\xCFq\xCFq"},
      {"GB 2312",
       "\x13\xD6\xD0"
       "a\xCE\xC4"},
  };
  for (const auto& c : cases) {
    const std::string whole = Decode(c.field);
    for (size_t size = 0; size <= whole.size() + 2; ++size) {
      bool cut = false;
      const std::string got = Decode(c.field, size, &cut);
      EXPECT_EQ(whole.compare(0, got.size(), got), 0) << c.what << " size " << size;
      EXPECT_EQ(cut, got.size() < whole.size()) << c.what << " size " << size;
      if (size > 0) {
        EXPECT_LE(got.size(), size - 1);
      }
      if (got.size() < whole.size()) {
        const unsigned char next = static_cast<unsigned char>(whole[got.size()]);
        EXPECT_NE(next & 0xC0, 0x80) << c.what << " cut inside a character at " << size;
        // A combining mark (U+0300..U+036F: CC 80..CD AF) never starts the cut-off part.
        EXPECT_FALSE(next == 0xCC || next == 0xCD) << c.what << " mark cut off at " << size;
        // What was cut would not have fitted.
        // The next character, with the combining mark that belongs to it.
        size_t len = 1;
        for (;;) {
          const size_t at = got.size() + len;
          if (at >= whole.size()) break;
          const unsigned char b = static_cast<unsigned char>(whole[at]);
          if ((b & 0xC0) != 0x80 && b != 0xCC && b != 0xCD) break;
          ++len;
        }
        if (size > 0) {
          EXPECT_GT(got.size() + len, size - 1) << c.what << " size " << size;
        }
      }
    }
  }
}

TEST(DvbText, DecodesWithoutAllocating) {
  char out[256];
  const std::vector<DecodeCase>& cases = DecodeCases();  // built before counting
  AllocCounter guard;
  for (const DecodeCase& c : cases) {
    DecodeDvbText(reinterpret_cast<const uint8_t*>(c.field.data()), c.field.size(), out,
                  sizeof out);
  }
  EXPECT_EQ(guard.count(), 0);
}

TEST(DvbText, Cleaning) {
  const struct {
    std::string text;
    bool drop;
    std::string cleaned;
  } cases[] = {
      {"a*b\tc\x1F"
       "d",
       false, "a b c d"},
      {" abc", true, "abc"},
      {" abc", false, " abc"},
      {"\x01"
       "abc",
       true, "abc"},
      {"  two", true, " two"},
      {"*star", true, "star"},
      {"", true, ""},
      {"\xC4\x8A \xC4\x8A", true, "\xC4\x8A \xC4\x8A"},  // Ċ: 0x8A inside UTF-8 stays
      {"中*文", true, "中 文"},
  };
  for (const auto& c : cases) {
    char buf[64] = {};
    std::memcpy(buf, c.text.data(), c.text.size());
    const size_t n = CleanDvbText(buf, sizeof buf, c.drop);
    EXPECT_EQ(std::string(buf), c.cleaned) << Hex(c.text);
    EXPECT_EQ(n, c.cleaned.size()) << Hex(c.text);
  }
  // A text filling its buffer without a NUL is cleaned up to the buffer's end.
  char full[4] = {' ', '*', 'a', 'b'};
  EXPECT_EQ(CleanDvbText(full, sizeof full, true), 3u);
  EXPECT_EQ(std::string(full, 3), " ab");
  EXPECT_EQ(full[3], '\0');
}

TEST(DvbText, DropsACutCharacterAtTheEnd) {
  const struct {
    std::string text;
    std::string kept;
  } cases[] = {
      {"abc", "abc"},
      {"", ""},
      {"a\xC3", "a"},                    // é cut after its first byte
      {"a\xC3\xA9", "a\xC3\xA9"},        // é whole
      {"a\xE4\xB8", "a"},                // 中 cut after two of three
      {"\xE4\xB8\xAD", "\xE4\xB8\xAD"},  // 中 whole
      {"a\xF0\x9F\x98", "a"},            // 😀 cut after three of four
      {"a\xF0\x9F\x98\x80", "a\xF0\x9F\x98\x80"},
  };
  for (const auto& c : cases) {
    char buf[16] = {};
    std::memcpy(buf, c.text.data(), c.text.size());
    EXPECT_EQ(DropCutUtf8Tail(buf, sizeof buf), c.kept.size()) << Hex(c.text);
    EXPECT_EQ(std::string(buf), c.kept) << Hex(c.text);
  }
  // A line that snprintf cut inside "中文" at every buffer size.
  for (size_t size = 1; size <= 9; ++size) {
    char line[9];
    std::snprintf(line, size, "%s", "ab\xE4\xB8\xAD\xE6\x96\x87");
    const size_t n = DropCutUtf8Tail(line, size);
    const size_t whole = size - 1 < 2 ? size - 1 : (size - 1 < 5 ? 2 : (size - 1 < 8 ? 5 : 8));
    EXPECT_EQ(n, whole) << "size " << size;
  }
}

// ASCII names come out exactly as the reader has always shown them: bytes under 0x20 and '*'
// blank, one leading byte under 33 skipped.
TEST(DvbText, AsciiAsBefore) {
  std::mt19937 random(13);
  for (int round = 0; round < 2000; ++round) {
    std::string field(1 + random() % 40, ' ');
    for (char& c : field) c = static_cast<char>(1 + random() % 0x7F);
    if (static_cast<unsigned char>(field[0]) < 0x20) field[0] = ' ';  // no selector
    std::string before = field;
    for (char& c : before) {
      if (static_cast<unsigned char>(c) < 0x20 || c == '*') c = ' ';
    }
    if (static_cast<unsigned char>(before[0]) < 33) before.erase(0, 1);
    char out[64];
    DecodeDvbText(reinterpret_cast<const uint8_t*>(field.data()), field.size(), out, sizeof out);
    CleanDvbText(out, sizeof out, true);
    EXPECT_EQ(std::string(out), before) << Hex(field);
  }
}

std::vector<uint8_t> ReadCapture(const char* name) {
  std::vector<uint8_t> out;
  std::FILE* f = std::fopen((std::string(PELTA_TEST_DATA) + "/captures/" + name).c_str(), "rb");
  if (f == nullptr) return out;
  unsigned char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
  std::fclose(f);
  return out;
}

// The name as the reader showed it before it decoded: selector 0x10 skipped, cut at NUL,
// control bytes, '*' and 0x8A blank, a leading byte under 33 skipped; right only where the
// bytes happen to be ASCII.
std::string ShownBefore(std::string name) {
  if (!name.empty() && name[0] == 0x10) name = name.size() >= 3 ? name.substr(3) : "";
  name = name.substr(0, name.find('\0'));
  for (char& c : name) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x2A || u == 0x8A) c = ' ';
  }
  if (!name.empty() && static_cast<unsigned char>(name[0]) < 33) name.erase(0, 1);
  return name;
}

// The display's cleaning written out again for the oracle's side.
std::string Cleaned(std::string text, bool drop) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == '*') c = ' ';
  }
  if (drop && !text.empty() && text[0] == ' ') text.erase(0, 1);
  return text;
}

std::string Shown(const std::string& field, bool drop) {
  char out[1024];
  DecodeDvbText(reinterpret_cast<const uint8_t*>(field.data()), field.size(), out, sizeof out);
  CleanDvbText(out, sizeof out, drop);
  return out;
}

// Every present/following name and text of the captures decodes as the oracle reads it. On the
// Czech multiplex (ISO/IEC 6937) that is all 28 names, where the bytes shown as they were gave
// 5 (the ASCII ones); the French services (selector 0x05) lose their accented names that way.
TEST(DvbText, CapturesReadAsTheOracleReadsThem) {
  const struct {
    const char* file;
    size_t events;
    size_t right_before;
  } cases[] = {
      {"dvbt2-cz-pid18.ts", 28, 5},
      {"sat-5w-12732v.ts", 8, 6},
      {"dvbt-it-rai.ts", 12, 12},
  };
  for (const auto& c : cases) {
    const std::vector<uint8_t> stream = ReadCapture(c.file);
    ASSERT_FALSE(stream.empty()) << c.file;
    en300468::DecodeStats stats;
    size_t events = 0, right = 0, right_before = 0;
    for (const en300468::PfService& s : en300468::DecodePresentFollowing(stream, &stats)) {
      for (const auto& kind : s.events) {
        for (const en300468::PfEvent& e : kind) {
          if (!e.has_short) continue;
          ++events;
          std::string name, text;
          if (!en300468::DecodeText(e.name, &name) || !en300468::DecodeText(e.text, &text)) {
            GTEST_SKIP() << "no iconv converter";
          }
          name = Cleaned(name, true);
          text = Cleaned(text, false);
          EXPECT_EQ(Shown(e.text, false), text) << c.file << ": " << Hex(e.text);
          const std::string shown = Shown(e.name, true);
          EXPECT_EQ(shown, name) << c.file << ": " << Hex(e.name);
          right += shown == name ? 1 : 0;
          right_before += ShownBefore(e.name) == name ? 1 : 0;
        }
      }
    }
    EXPECT_EQ(events, c.events) << c.file;
    EXPECT_EQ(right, c.events) << c.file;
    EXPECT_EQ(right_before, c.right_before) << c.file;
    std::printf("%s: %zu of %zu names read right (before decoding: %zu)\n", c.file, right, events,
                right_before);
  }
}

}  // namespace
