// DVB text decoding of one captured event, name and description, as the reader will do it for
// every event it captures: DecodeDvbText into the reader's 1024-byte buffers, then the display's
// cleaning of both (the name with its leading blank dropped).
//  - Czech: the longest present/following event of tests/data/captures/dvbt2-cz-pid18.ts,
//    ISO/IEC 6937 without a selector, 20 + 110 bytes with 25 diacritic pairs;
//  - Chinese: a Taiwanese-style event, selector 0x14 and two bytes per character, 4 + 45
//    characters.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "guide/dvb_text.h"

namespace {

struct Field {
  const char* bytes;
  size_t size;
};

template <size_t N>
constexpr Field F(const char (&s)[N]) {
  return Field{s, N - 1};
}

// Service 1028's following event and service 17154's present name, bytes as carried.
constexpr Field kCzechName =
    F("Ve\xCF"
      "cern\xC2i z\xC2iv\xC2"
      "a\xCF"
      "cek");
constexpr Field kCzechText =
    F("Jak se \xC2usp\xCF"
      "e\xCFsn\xCF"
      "e vyhnout vyho\xCFren\xC2i? Cel\xC2y rozhovor v "
      "po\xCFradu Drive v ned\xCF"
      "eli od 22h a v pond\xCF"
      "el\xC2i od 22:30.");
constexpr Field kChineseName = F("\x14\x66\x5A\x95\x93\x65\xB0\x80\x5E");
constexpr Field kChineseText =
    F("\x14\x4E\xCA\x65\xE5\x91\xCD\x89\x81\x65\xB0\x80\x5E\xFF\x1A\x98\xB1\x98\xA8\x63\xA5\x8F"
      "\xD1\x53\xF0\x70\x63\xFF\x0C\x6C\x23\x8C\x61\x5C\x40\x76\x7C\x5E\x03\x6D\x77\x4E\x0A\x8B"
      "\x66\x58\x31\xFF\x1B\x7A\xCB\x6C\xD5\x96\x62\x4E\x09\x8B\x80\x90\x1A\x90\x4E\x98\x10\x7B"
      "\x97\x68\x48\xFF\x1B\x80\xA1\x5E\x02\x65\x36\x76\xE4\x4E\x0A\x6F\x32\x4E\x00\x76\x7E\x9E"
      "\xDE\x30\x02");

char name[1024];
char text[1024];

void DecodeEvent(benchmark::State& state, Field n, Field t) {
  for (auto _ : state) {
    DecodeDvbText(reinterpret_cast<const uint8_t*>(n.bytes), n.size, name, sizeof name);
    DecodeDvbText(reinterpret_cast<const uint8_t*>(t.bytes), t.size, text, sizeof text);
    CleanDvbText(name, sizeof name, true);
    CleanDvbText(text, sizeof text, false);
    benchmark::DoNotOptimize(name);
    benchmark::DoNotOptimize(text);
  }
  if (std::strlen(name) == 0 || std::strlen(text) == 0) state.SkipWithError("nothing decoded");
}

void BM_DvbTextCzech(benchmark::State& state) {
  DecodeEvent(state, kCzechName, kCzechText);
}
void BM_DvbTextChinese(benchmark::State& state) {
  DecodeEvent(state, kChineseName, kChineseText);
}

}  // namespace

BENCHMARK(BM_DvbTextCzech);
BENCHMARK(BM_DvbTextChinese);

BENCHMARK_MAIN();
