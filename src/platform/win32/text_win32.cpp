// AnsiToUtf8 (platform/os.h) on Windows: through UTF-16 with the system's own tables.
#include <cstring>

#include "platform/os.h"

namespace {
constexpr int kMaxChars = 1024;  // longer ANSI texts (none the plug-in shows) are cut here
}  // namespace

size_t AnsiToUtf8(const char* in, char* out, size_t size) {
  if (out == nullptr || size == 0) return 0;
  out[0] = '\0';
  if (in == nullptr || in[0] == '\0') return 0;
  int length = static_cast<int>(std::strlen(in));
  if (length > kMaxChars) length = kMaxChars;
  wchar_t wide[kMaxChars];
  const int units = MultiByteToWideChar(CP_ACP, 0, in, length, wide, kMaxChars);
  if (units <= 0) return 0;
  // Each UTF-16 unit needs at most 3 bytes of UTF-8 (a surrogate pair 4 for 2 units).
  char utf8[kMaxChars * 3];
  const int bytes =
      WideCharToMultiByte(CP_UTF8, 0, wide, units, utf8, sizeof utf8, nullptr, nullptr);
  if (bytes <= 0) return 0;
  size_t n = static_cast<size_t>(bytes);
  if (n > size - 1) {
    n = size - 1;
    while (n > 0 && (static_cast<unsigned char>(utf8[n]) & 0xC0) == 0x80) --n;
  }
  std::memcpy(out, utf8, n);
  out[n] = '\0';
  return n;
}
