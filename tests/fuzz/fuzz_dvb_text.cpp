// libFuzzer target for the DVB text decoder, DecodeDvbText, and the display's cleaning.
//
// The input is one text field, selector included (a descriptor's field is at most 255 bytes;
// longer inputs are cut there). It is decoded
//  1. into a buffer large enough for any field (3 bytes of UTF-8 per byte at most): nothing is
//     cut, the text is valid UTF-8 and has no NUL inside;
//  2. into a buffer of exactly every size from 0 to the whole text's length and one more, each
//     its own heap block so that AddressSanitizer sees a write past it: the text is NUL-
//     terminated within the size, valid UTF-8, the whole text's beginning, and cut exactly when
//     it is shorter than the whole; the whole text cut there byte-wise and mended with
//     DropCutUtf8Tail is valid UTF-8 and keeps at least as much;
//  3. cleaned (with and without the leading blank dropped): still valid UTF-8, no byte below
//     0x20 and no '*' left, no longer than before.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>

#include "guide/dvb_text.h"

namespace {

constexpr size_t kMaxField = 255;
constexpr size_t kWhole = 3 * kMaxField + 1;

void Check(bool ok) {
  if (!ok) std::abort();
}

// Well-formed UTF-8 (Unicode table 3-7): no overlong forms, surrogates or values past U+10FFFF.
bool ValidUtf8(const unsigned char* s, size_t n) {
  for (size_t i = 0; i < n;) {
    const unsigned char b = s[i];
    size_t need = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (b < 0x80) {
      need = 0;
    } else if (b >= 0xC2 && b <= 0xDF) {
      need = 1;
    } else if (b >= 0xE0 && b <= 0xEF) {
      need = 2;
      if (b == 0xE0) low = 0xA0;
      if (b == 0xED) high = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      need = 3;
      if (b == 0xF0) low = 0x90;
      if (b == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (need > n - i - 1) return false;
    for (size_t k = 1; k <= need; ++k) {
      const unsigned char c = s[i + k];
      if (c < (k == 1 ? low : 0x80) || c > (k == 1 ? high : 0xBF)) return false;
    }
    i += need + 1;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxField) size = kMaxField;
  // The field in a heap block of its own size, so a read past it is caught.
  std::unique_ptr<uint8_t[]> field(new uint8_t[size > 0 ? size : 1]);
  if (size > 0) std::memcpy(field.get(), data, size);

  static char whole[kWhole];
  const DvbTextResult all = DecodeDvbText(field.get(), size, whole, sizeof whole);
  Check(!all.cut);
  Check(all.length < sizeof whole && whole[all.length] == '\0');
  Check(std::strlen(whole) == all.length);
  Check(ValidUtf8(reinterpret_cast<const unsigned char*>(whole), all.length));

  for (size_t out_size = 0; out_size <= all.length + 1; ++out_size) {
    std::unique_ptr<char[]> out(new char[out_size > 0 ? out_size : 1]);
    out[0] = 'x';
    const DvbTextResult r = DecodeDvbText(field.get(), size, out.get(), out_size);
    if (out_size == 0) {
      Check(r.length == 0 && out[0] == 'x');
      Check(r.cut == (all.length > 0));
      continue;
    }
    Check(r.length < out_size && out[r.length] == '\0');
    Check(std::strlen(out.get()) == r.length);
    Check(ValidUtf8(reinterpret_cast<const unsigned char*>(out.get()), r.length));
    Check(std::memcmp(out.get(), whole, r.length) == 0);
    Check(r.cut == (r.length < all.length));

    // The same size cut byte-wise, as snprintf would, and mended: whole characters only.
    std::memcpy(out.get(), whole, out_size - 1);
    out[out_size - 1] = '\0';
    const size_t mended = DropCutUtf8Tail(out.get(), out_size);
    Check(mended >= r.length && mended <= out_size - 1 && out[mended] == '\0');
    Check(ValidUtf8(reinterpret_cast<const unsigned char*>(out.get()), mended));
  }

  for (bool drop : {false, true}) {
    char cleaned[kWhole];
    std::memcpy(cleaned, whole, all.length + 1);
    const size_t n = CleanDvbText(cleaned, sizeof cleaned, drop);
    Check(n <= all.length && cleaned[n] == '\0');
    Check(ValidUtf8(reinterpret_cast<const unsigned char*>(cleaned), n));
    for (size_t i = 0; i < n; ++i) {
      Check(static_cast<unsigned char>(cleaned[i]) >= 0x20 && cleaned[i] != '*');
    }
  }
  return 0;
}
