// UserInterfaceLanguage (platform/os.h) on the simulated desktop: the language of LANG, as a
// Linux desktop names the user's language ("de_AT.UTF-8", "cs", "C"). ISO 639-1 two-letter
// codes are mapped to their ISO 639-2 terminology codes for the languages the plug-in's users
// watch in; others are not known.
#include <cstdlib>
#include <cstring>

#include "platform/os.h"

namespace {

struct Iso639 {
  char two[3];
  char three[4];
};
const Iso639 kLanguages[] = {
    {"ar", "ara"}, {"bg", "bul"}, {"ca", "cat"}, {"cs", "ces"}, {"cy", "cym"}, {"da", "dan"},
    {"de", "deu"}, {"el", "ell"}, {"en", "eng"}, {"es", "spa"}, {"et", "est"}, {"eu", "eus"},
    {"fa", "fas"}, {"fi", "fin"}, {"fr", "fra"}, {"ga", "gle"}, {"he", "heb"}, {"hr", "hrv"},
    {"hu", "hun"}, {"hy", "hye"}, {"is", "isl"}, {"it", "ita"}, {"ja", "jpn"}, {"ka", "kat"},
    {"ko", "kor"}, {"lt", "lit"}, {"lv", "lav"}, {"mk", "mkd"}, {"nl", "nld"}, {"no", "nor"},
    {"nb", "nob"}, {"pl", "pol"}, {"pt", "por"}, {"ro", "ron"}, {"ru", "rus"}, {"sk", "slk"},
    {"sl", "slv"}, {"sq", "sqi"}, {"sr", "srp"}, {"sv", "swe"}, {"tr", "tur"}, {"uk", "ukr"},
    {"zh", "zho"},
};

}  // namespace

bool UserInterfaceLanguage(char* out, size_t size) {
  if (out == nullptr || size < 4) return false;
  out[0] = '\0';
  const char* lang = std::getenv("LANG");
  if (lang == nullptr) return false;
  // Two lower-case letters, then the end, '_', '.' or '@'.
  if (lang[0] < 'a' || lang[0] > 'z' || lang[1] < 'a' || lang[1] > 'z') return false;
  if (lang[2] != '\0' && lang[2] != '_' && lang[2] != '.' && lang[2] != '@') return false;
  for (const Iso639& l : kLanguages) {
    if (lang[0] == l.two[0] && lang[1] == l.two[1]) {
      std::memcpy(out, l.three, 4);
      return true;
    }
  }
  return false;
}
