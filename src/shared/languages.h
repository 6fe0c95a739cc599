// The viewer's EPG languages: an ordered list of up to three ISO 639-2 codes (line 18 of
// pelta.ini, "deu,eng"), and how a broadcast's ISO_639_language_code ranks against it.
//
// ISO 639-2 gives twenty languages two codes, a bibliographic (B) one and a terminology (T) one
// (ger and deu for German); broadcasters send either, in any case. Every code is compared in a
// canonical form: lower case, and the T code where a language has two.
//
// The list crosses threads (written on the host's thread, read by the EIT data callback), so it
// travels packed into one 64-bit word: the count in the low two bits, then fifteen bits per code
// (five per letter, a = 1).
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kMaxEpgLanguages = 3;

struct LanguageList {
  int count;
  char codes[kMaxEpgLanguages][4];  // canonical, NUL-terminated
};

// The canonical form of a three-letter code into `out` ("ger" and "GER" give "deu"); false, and
// `out` empty, when the three bytes are not all ASCII letters.
bool CanonicalLanguage(const char* code, char out[4]);

// Reads a line such as "deu,eng" or "CZE, eng": codes separated by commas, blanks around them
// allowed. Codes that are not three letters, repeats and codes past the third are left out;
// `rejected` (may be null) counts them. An empty line gives an empty list.
LanguageList ParseLanguageList(const char* text, int* rejected);

uint64_t PackLanguages(const LanguageList& list);
LanguageList UnpackLanguages(uint64_t packed);

// The rank of the broadcast's three-byte code in the packed list: 0 for the most preferred,
// up to count - 1; kNotPreferred when it is not in the list or not a code at all.
constexpr int kNotPreferred = kMaxEpgLanguages;
int LanguageRank(uint64_t packed, const uint8_t* code);

// The list as a line: "deu,eng" (canonical codes); "" for an empty list.
void FormatLanguageList(const LanguageList& list, char* out, size_t size);
