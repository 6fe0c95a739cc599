// UserInterfaceLanguage and UserCountry (platform/os.h) on Windows: the user's UI language and
// country, named by the system's locale tables.
#include "platform/os.h"

#ifndef LOCALE_SISO639LANGNAME2
#define LOCALE_SISO639LANGNAME2 0x67
#endif
#ifndef LOCALE_SISO3166CTRYNAME2
#define LOCALE_SISO3166CTRYNAME2 0x68
#endif

namespace {

// Three letters of a locale name into `out`, in the case `lower` asks for.
bool ThreeLetters(const char* name, int n, bool lower, char* out) {
  if (n != 4) return false;  // three letters and the NUL
  for (int i = 0; i < 3; ++i) {
    const char c = static_cast<char>(name[i] | 0x20);
    if (c < 'a' || c > 'z') return false;
    out[i] = lower ? c : static_cast<char>(c - 'a' + 'A');
  }
  out[3] = '\0';
  return true;
}

}  // namespace

bool UserInterfaceLanguage(char* out, size_t size) {
  if (out == nullptr || size < 4) return false;
  out[0] = '\0';
  const LANGID language = GetUserDefaultUILanguage();
  char name[9] = "";
  const int n = GetLocaleInfoA(MAKELCID(language, SORT_DEFAULT), LOCALE_SISO639LANGNAME2, name,
                               static_cast<int>(sizeof name));
  return ThreeLetters(name, n, true, out);
}

bool UserCountry(char* out, size_t size) {
  if (out == nullptr || size < 4) return false;
  out[0] = '\0';
  char name[9] = "";
  const int n = GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SISO3166CTRYNAME2, name,
                               static_cast<int>(sizeof name));
  return ThreeLetters(name, n, false, out);
}
