// UserInterfaceLanguage and UserCountry (platform/os.h) on the simulated desktop: the language
// and territory of LANG, as a Linux desktop names them ("de_AT.UTF-8", "cs", "C"). ISO 639-1
// language codes are mapped to ISO 639-2 terminology codes, ISO 3166 alpha-2 territories to
// alpha-3, for the languages and countries of the plug-in's users; others are not known.
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

struct Iso3166 {
  char two[3];
  char three[4];
};
const Iso3166 kCountries[] = {
    {"AT", "AUT"}, {"BE", "BEL"}, {"BG", "BGR"}, {"CH", "CHE"}, {"CN", "CHN"}, {"CY", "CYP"},
    {"CZ", "CZE"}, {"DE", "DEU"}, {"DK", "DNK"}, {"EE", "EST"}, {"ES", "ESP"}, {"FI", "FIN"},
    {"FR", "FRA"}, {"GB", "GBR"}, {"GR", "GRC"}, {"HR", "HRV"}, {"HU", "HUN"}, {"IE", "IRL"},
    {"IT", "ITA"}, {"LT", "LTU"}, {"LU", "LUX"}, {"LV", "LVA"}, {"NL", "NLD"}, {"NO", "NOR"},
    {"PL", "POL"}, {"PT", "PRT"}, {"RO", "ROU"}, {"RS", "SRB"}, {"RU", "RUS"}, {"SE", "SWE"},
    {"SI", "SVN"}, {"SK", "SVK"}, {"TR", "TUR"}, {"TW", "TWN"}, {"UA", "UKR"}, {"US", "USA"},
};

}  // namespace

bool UserCountry(char* out, size_t size) {
  if (out == nullptr || size < 4) return false;
  out[0] = '\0';
  const char* lang = std::getenv("LANG");
  if (lang == nullptr || std::strlen(lang) < 5 || lang[2] != '_') return false;
  if (lang[5] != '\0' && lang[5] != '.' && lang[5] != '@') return false;
  for (const Iso3166& c : kCountries) {
    if (lang[3] == c.two[0] && lang[4] == c.two[1]) {
      std::memcpy(out, c.three, 4);
      return true;
    }
  }
  return false;
}

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
