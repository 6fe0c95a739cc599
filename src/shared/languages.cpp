// ISO 639-2 codes, canonical form and preference ranking (see languages.h).
#include "shared/languages.h"

#include <cstdio>
#include <cstring>

namespace {

// The twenty languages with a bibliographic code that differs from the terminology code.
struct BtPair {
  char b[4];
  char t[4];
};
const BtPair kBibliographic[] = {
    {"alb", "sqi"}, {"arm", "hye"}, {"baq", "eus"}, {"bur", "mya"}, {"chi", "zho"},
    {"cze", "ces"}, {"dut", "nld"}, {"fre", "fra"}, {"geo", "kat"}, {"ger", "deu"},
    {"gre", "ell"}, {"ice", "isl"}, {"mac", "mkd"}, {"mao", "mri"}, {"may", "msa"},
    {"per", "fas"}, {"rum", "ron"}, {"slo", "slk"}, {"tib", "bod"}, {"wel", "cym"},
};

constexpr int kCodeBits = 15;
constexpr uint64_t kCodeMask = (uint64_t{1} << kCodeBits) - 1;
constexpr uint64_t kCountMask = 3;

bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Five bits per letter of a canonical code.
uint64_t CodeBits(const char* canonical) {
  uint64_t bits = 0;
  for (int i = 0; i < 3; ++i) bits = bits << 5 | static_cast<uint64_t>(canonical[i] - 'a' + 1);
  return bits;
}

}  // namespace

bool CanonicalLanguage(const char* code, char out[4]) {
  out[0] = '\0';
  if (code == nullptr) return false;
  char lower[4];
  for (int i = 0; i < 3; ++i) {
    if (!IsLetter(code[i])) return false;
    lower[i] = static_cast<char>(code[i] | 0x20);
  }
  lower[3] = '\0';
  for (const BtPair& p : kBibliographic) {
    if (std::memcmp(lower, p.b, 3) == 0) {
      std::memcpy(out, p.t, 4);
      return true;
    }
  }
  std::memcpy(out, lower, 4);
  return true;
}

LanguageList ParseLanguageList(const char* text, int* rejected) {
  LanguageList list{};
  int bad = 0;
  const char* p = text != nullptr ? text : "";
  while (*p != '\0') {
    while (*p == ' ' || *p == '\t') ++p;
    const char* start = p;
    while (*p != '\0' && *p != ',') ++p;
    const char* end = p;
    while (end > start && (end[-1] == ' ' || end[-1] == '\t' || end[-1] == '\r')) --end;
    if (*p == ',') ++p;
    if (end == start) {
      if (*p != '\0') ++bad;  // an empty entry before a comma (blanks alone are an empty line)
      continue;
    }
    char code[4];
    if (end - start != 3 || !CanonicalLanguage(start, code) || list.count == kMaxEpgLanguages) {
      ++bad;
      continue;
    }
    bool repeated = false;
    for (int i = 0; i < list.count; ++i)
      repeated = repeated || std::strcmp(list.codes[i], code) == 0;
    if (repeated) {
      ++bad;
      continue;
    }
    std::memcpy(list.codes[list.count++], code, 4);
  }
  if (rejected != nullptr) *rejected = bad;
  return list;
}

uint64_t PackLanguages(const LanguageList& list) {
  uint64_t packed = 0;
  int count = 0;
  for (int i = 0; i < list.count && i < kMaxEpgLanguages; ++i) {
    char code[4];
    if (!CanonicalLanguage(list.codes[i], code)) continue;
    packed |= CodeBits(code) << (2 + kCodeBits * count);
    ++count;
  }
  return packed | static_cast<uint64_t>(count);
}

LanguageList UnpackLanguages(uint64_t packed) {
  LanguageList list{};
  const int count = static_cast<int>(packed & kCountMask);
  for (int i = 0; i < count && i < kMaxEpgLanguages; ++i) {
    const uint64_t bits = packed >> (2 + kCodeBits * i) & kCodeMask;
    for (int k = 0; k < 3; ++k) {
      list.codes[i][k] = static_cast<char>('a' - 1 + (bits >> (5 * (2 - k)) & 31));
    }
    list.codes[i][3] = '\0';
    ++list.count;
  }
  return list;
}

int LanguageRank(uint64_t packed, const uint8_t* code) {
  char canonical[4];
  if (code == nullptr || !CanonicalLanguage(reinterpret_cast<const char*>(code), canonical)) {
    return kNotPreferred;
  }
  const uint64_t bits = CodeBits(canonical);
  const int count = static_cast<int>(packed & kCountMask);
  for (int i = 0; i < count && i < kMaxEpgLanguages; ++i) {
    if ((packed >> (2 + kCodeBits * i) & kCodeMask) == bits) return i;
  }
  return kNotPreferred;
}

void FormatLanguageList(const LanguageList& list, char* out, size_t size) {
  if (size == 0) return;
  out[0] = '\0';
  size_t n = 0;
  for (int i = 0; i < list.count && i < kMaxEpgLanguages; ++i) {
    const int w = std::snprintf(out + n, size - n, "%s%s", i > 0 ? "," : "", list.codes[i]);
    if (w < 0 || static_cast<size_t>(w) >= size - n) return;
    n += static_cast<size_t>(w);
  }
}
