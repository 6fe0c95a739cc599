// AnsiToUtf8 (platform/os.h) on the simulated desktop: code page 1252 (Western European, what
// the desktops the plug-in is tried on use), or UTF-8 (65001) when a test sets it.
#include <atomic>
#include <cstring>

#include "platform/os.h"
#include "platform/sim/sim.h"

namespace {

std::atomic<int> g_code_page{1252};

// Code page 1252 for 0x80..0x9F (0: no character there, Windows maps it to the C1 control of
// the same number); 0xA0..0xFF are Latin-1.
const unsigned short kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

size_t Encode(unsigned code, char* bytes) {
  if (code < 0x80) {
    bytes[0] = static_cast<char>(code);
    return 1;
  }
  if (code < 0x800) {
    bytes[0] = static_cast<char>(0xC0 | (code >> 6));
    bytes[1] = static_cast<char>(0x80 | (code & 0x3F));
    return 2;
  }
  bytes[0] = static_cast<char>(0xE0 | (code >> 12));
  bytes[1] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
  bytes[2] = static_cast<char>(0x80 | (code & 0x3F));
  return 3;
}

// The length of the valid UTF-8 sequence at p, or 0.
size_t Utf8Length(const unsigned char* p) {
  size_t len = 0;
  unsigned code = 0;
  if (p[0] < 0x80) return 1;
  if (p[0] >= 0xC2 && p[0] <= 0xDF) {
    len = 2;
    code = p[0] & 0x1F;
  } else if (p[0] >= 0xE0 && p[0] <= 0xEF) {
    len = 3;
    code = p[0] & 0x0F;
  } else if (p[0] >= 0xF0 && p[0] <= 0xF4) {
    len = 4;
    code = p[0] & 0x07;
  } else {
    return 0;
  }
  for (size_t i = 1; i < len; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
    code = (code << 6) | (p[i] & 0x3F);
  }
  if ((len == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
      (len == 4 && (code < 0x10000 || code > 0x10FFFF))) {
    return 0;
  }
  return len;
}

}  // namespace

namespace sim {
void SetAnsiCodePage(int code_page) {
  g_code_page = code_page == 65001 ? 65001 : 1252;
}
}  // namespace sim

size_t AnsiToUtf8(const char* in, char* out, size_t size) {
  if (out == nullptr || size == 0) return 0;
  size_t n = 0;
  const bool utf8 = g_code_page == 65001;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(in); p != nullptr && *p;) {
    char bytes[4];
    size_t len;
    if (utf8) {
      len = Utf8Length(p);
      if (len == 0) {  // as Windows does: an invalid byte becomes U+FFFD
        len = Encode(0xFFFD, bytes);
        ++p;
      } else {
        std::memcpy(bytes, p, len);
        p += len;
      }
    } else {
      unsigned code = *p++;
      if (code >= 0x80 && code < 0xA0 && kCp1252High[code - 0x80] != 0) {
        code = kCp1252High[code - 0x80];
      }
      len = Encode(code, bytes);
    }
    if (n + len + 1 > size) break;
    std::memcpy(out + n, bytes, len);
    n += len;
  }
  out[n] = '\0';
  return n;
}
