// UserInterfaceLanguage (platform/os.h) on Windows: the user's UI language and its ISO 639-2
// name as the system's locale tables give it.
#include "platform/os.h"

#ifndef LOCALE_SISO639LANGNAME2
#define LOCALE_SISO639LANGNAME2 0x67
#endif

bool UserInterfaceLanguage(char* out, size_t size) {
  if (out == nullptr || size < 4) return false;
  out[0] = '\0';
  const LANGID language = GetUserDefaultUILanguage();
  char name[9] = "";
  const int n = GetLocaleInfoA(MAKELCID(language, SORT_DEFAULT), LOCALE_SISO639LANGNAME2, name,
                               static_cast<int>(sizeof name));
  if (n != 4) return false;  // three letters and the NUL
  for (int i = 0; i < 3; ++i) {
    const char c = static_cast<char>(name[i] | 0x20);
    if (c < 'a' || c > 'z') return false;
    out[i] = c;
  }
  out[3] = '\0';
  return true;
}
