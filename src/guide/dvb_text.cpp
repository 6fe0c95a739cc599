// DVB text (EN 300 468 annex A) to UTF-8.
//
// Selectors (the field's first byte, when below 0x20):
//   none         ISO/IEC 6937, the euro sign at 0xA4 (figure A.1), or ISO/IEC 8859-15 (below)
//   0x01..0x0B   ISO/IEC 8859-5 .. -15 (table A.3: 0x01 is -5, 0x02 -6, ... 0x08 would be -12,
//                which was never published, 0x09 -13, 0x0A -14, 0x0B -15)
//   0x10 0x00 N  ISO/IEC 8859-N
//   0x11, 0x14   two-byte ISO/IEC 10646, big-endian (0x14 is the Big5 subset, sent that way)
//   0x12         KS X 1001 in EUC-KR form;  0x13  GB 2312 in EUC-CN form
//   0x15         UTF-8
//   0x1F         encoding_type_id follows: both bytes skipped, the rest read as ISO/IEC 6937
//   others       reserved: the selector is skipped and the rest read as ISO/IEC 6937
//
// ISO/IEC 6937 writes an accented letter as a non-spacing diacritic (0xC1..0xCF) in front of
// the letter; the pair becomes the precomposed letter (NFC). Where Unicode has no precomposed
// form the letter is followed by the combining mark, which is NFC too. A diacritic not
// followed by a letter, and the positions 0xC9 and 0xCC that carry none, are dropped.
//
// Latin text without a selector. Several satellite networks send ISO/IEC 8859-15 (0xE9 for é)
// and no selector, which read as ISO/IEC 6937 would turn "été" into "ẗ" and a stray mark. A
// field without a selector is therefore read as ISO/IEC 8859-15 when it has a byte of 0xA0 or
// above that is no 6937 diacritic (0xC1..0xCF), and no 6937 pair: no diacritic byte followed by
// a letter that it composes with into a precomposed letter. Real 6937 text has accented letters
// only as such pairs, while 8859-15 text carries its lower-case accented letters at 0xE0..0xFF,
// outside the diacritic range. A field whose only high bytes are diacritics is 6937: a title cut
// right after an accent ("Caf\xC2") loses the accent, which has nothing to combine with. The
// price of the rule: an upper-case 8859-15 letter in 0xC1..0xCF followed by a letter it happens
// to compose with ("ÂG", "ÇA"), or standing in a field without any other high byte ("ÉCOLE"),
// makes the field read as 6937.
#include "guide/dvb_text.h"

#include <cstring>

#include "guide/dvb_text_tables.h"

namespace {

constexpr uint32_t kReplacement = 0xFFFD;
constexpr uint32_t kControlBase = 0xE000;  // one-byte control code b is read as U+E000 + b
constexpr uint32_t kControlFirst = 0xE080;
constexpr uint32_t kControlLast = 0xE09F;
constexpr uint32_t kLineBreak = 0xE08A;
constexpr uint8_t kFirstDiacritic = 0xC1;
constexpr uint8_t kLastDiacritic = 0xCF;

// UTF-8 into the caller's buffer, one whole character or group at a time.
class Writer {
 public:
  Writer(char* out, size_t size, char line_break) : out_(out), size_(size), break_(line_break) {}
  char line_break() const { return break_; }

  // Puts `count` code points, all or none; false (and cut) when they do not fit.
  bool Put(const uint32_t* cps, size_t count) {
    char bytes[8];
    size_t n = 0;
    for (size_t i = 0; i < count; ++i) n += Encode(cps[i], bytes + n);
    if (size_ == 0 || n > size_ - 1 - length_) {
      cut_ = true;
      return false;
    }
    std::memcpy(out_ + length_, bytes, n);
    length_ += n;
    return true;
  }
  bool Put(uint32_t cp) {
    if (cp < 0x80 && size_ > 0 && length_ + 1 < size_) {  // ASCII, the common case
      out_[length_++] = static_cast<char>(cp);
      return true;
    }
    return Put(&cp, 1);
  }

  DvbTextResult Finish() {
    if (size_ > 0) out_[length_] = '\0';
    return DvbTextResult{length_, cut_};
  }

 private:
  static size_t Encode(uint32_t cp, char* at) {
    unsigned char* u = reinterpret_cast<unsigned char*>(at);
    if (cp < 0x80) {
      u[0] = static_cast<unsigned char>(cp);
      return 1;
    }
    if (cp < 0x800) {
      u[0] = static_cast<unsigned char>(0xC0 | cp >> 6);
      u[1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
      return 2;
    }
    if (cp < 0x10000) {
      u[0] = static_cast<unsigned char>(0xE0 | cp >> 12);
      u[1] = static_cast<unsigned char>(0x80 | (cp >> 6 & 0x3F));
      u[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
      return 3;
    }
    u[0] = static_cast<unsigned char>(0xF0 | cp >> 18);
    u[1] = static_cast<unsigned char>(0x80 | (cp >> 12 & 0x3F));
    u[2] = static_cast<unsigned char>(0x80 | (cp >> 6 & 0x3F));
    u[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    return 4;
  }

  char* out_;
  size_t size_;
  char break_;  // what the CR/LF control code becomes
  size_t length_ = 0;
  bool cut_ = false;
};

enum class Step { kGoOn, kStop };

// Every decoded character passes here: NUL ends the text, control codes become a blank or
// nothing, the rest is written. kStop also when the buffer is full.
Step Emit(Writer& w, uint32_t cp) {
  if (cp == 0) return Step::kStop;
  if (cp >= kControlFirst && cp <= kControlLast) {
    if (cp != kLineBreak) return Step::kGoOn;
    cp = static_cast<unsigned char>(w.line_break());
  } else if (cp >= 0x80 && cp <= 0x9F) {
    return Step::kGoOn;
  }
  return w.Put(cp) ? Step::kGoOn : Step::kStop;
}

int LetterIndex(uint8_t b) {
  if (b >= 'A' && b <= 'Z') return b - 'A';
  if (b >= 'a' && b <= 'z') return 26 + b - 'a';
  return -1;
}

bool IsDiacritic(uint8_t b) {
  return b >= kFirstDiacritic && b <= kLastDiacritic;
}

// The precomposed letter of diacritic `d` and `letter`, 0 when there is none.
uint32_t Composed(uint8_t d, uint8_t letter) {
  const int l = LetterIndex(letter);
  if (!IsDiacritic(d) || l < 0) return 0;
  return dvbtext::kIso6937Compose[(d - kFirstDiacritic) * 52 + l];
}

// The deviation described at the top: 8859-15 when a byte 0xA0 or above that is no diacritic,
// and no 6937 pair.
bool LooksLikeLatin9(const uint8_t* p, size_t n) {
  bool latin = false;
  for (size_t i = 0; i < n && p[i] != 0; ++i) {
    if (p[i] < 0xA0) continue;
    if (!IsDiacritic(p[i])) latin = true;
    if (i + 1 < n && Composed(p[i], p[i + 1]) != 0) return false;
  }
  return latin;
}

void DecodeIso6937(const uint8_t* p, size_t n, Writer& w) {
  for (size_t i = 0; i < n;) {
    const uint8_t b = p[i];
    if (b != 0 && b < 0x80) {  // ASCII, as most text is: written as it is
      if (!w.Put(b)) return;
      ++i;
      continue;
    }
    if (IsDiacritic(b)) {
      const bool letter = i + 1 < n && LetterIndex(p[i + 1]) >= 0;
      if (!letter) {
        ++i;  // nothing to combine with: dropped
        continue;
      }
      const uint8_t l = p[i + 1];
      i += 2;
      const uint32_t composed = Composed(b, l);
      const uint32_t mark = dvbtext::kIso6937Marks[b - kFirstDiacritic];
      if (composed != 0) {
        if (!w.Put(composed)) return;
      } else if (mark != 0) {
        const uint32_t pair[2] = {l, mark};
        if (!w.Put(pair, 2)) return;
      } else if (!w.Put(l)) {
        return;
      }
      continue;
    }
    uint32_t cp = b;
    if (b >= 0xA0) {
      cp = dvbtext::kIso6937Upper[b - 0xA0];
    } else if (b >= 0x80) {
      cp = kControlBase + b;
    }
    ++i;
    if (Emit(w, cp) == Step::kStop) return;
  }
}

void DecodeIso8859(const uint8_t* p, size_t n, unsigned part, Writer& w) {
  for (size_t i = 0; i < n; ++i) {
    const uint8_t b = p[i];
    uint32_t cp = b;
    if (b >= 0xA0) {
      cp = dvbtext::kIso8859Upper[part * 96 + (b - 0xA0)];
    } else if (b >= 0x80) {
      cp = kControlBase + b;
    }
    if (Emit(w, cp) == Step::kStop) return;
  }
}

// Two-byte ISO/IEC 10646, big-endian. A surrogate pair is taken as the character it encodes.
void DecodeUcs2(const uint8_t* p, size_t n, Writer& w) {
  for (size_t i = 0; i + 1 < n;) {  // an odd last byte is half a character: dropped
    uint32_t cp = static_cast<uint32_t>(p[i] << 8 | p[i + 1]);
    i += 2;
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      if (i + 1 >= n) return;  // the low half lies past the field's end
      const uint32_t low = static_cast<uint32_t>(p[i] << 8 | p[i + 1]);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      } else {
        cp = kReplacement;  // `low` is read again as a character of its own
      }
    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    if (Emit(w, cp) == Step::kStop) return;
  }
}

// EUC form of a 94x94 set: ASCII, and two bytes 0xA1..0xFE for the set's row and cell.
void DecodeEuc(const uint8_t* p, size_t n, const uint16_t* table, Writer& w) {
  for (size_t i = 0; i < n;) {
    const uint8_t b = p[i];
    uint32_t cp = b;
    if (b >= 0x80 && b < 0xA0) {
      cp = kControlBase + b;
    } else if (b >= 0xA1 && b <= 0xFE) {
      if (i + 1 >= n) return;  // the second byte lies past the field's end
      const uint8_t t = p[i + 1];
      if (t >= 0xA1 && t <= 0xFE) {
        cp = table[(b - 0xA1) * 94 + (t - 0xA1)];
        ++i;
      } else {
        cp = kReplacement;  // `t` is read again as a character of its own
      }
    } else if (b >= 0x80) {
      cp = kReplacement;  // 0xA0, 0xFF
    }
    ++i;
    if (Emit(w, cp) == Step::kStop) return;
  }
}

// UTF-8; an ill-formed sequence becomes one U+FFFD per maximal invalid part (Unicode 3.9).
void DecodeUtf8(const uint8_t* p, size_t n, Writer& w) {
  for (size_t i = 0; i < n;) {
    const uint8_t b = p[i];
    uint32_t cp = kReplacement;
    size_t need = 0;
    uint8_t low = 0x80, high = 0xBF;  // range of the second byte
    if (b < 0x80) {
      cp = b;
    } else if (b >= 0xC2 && b <= 0xDF) {
      need = 1;
      cp = b & 0x1Fu;
    } else if (b >= 0xE0 && b <= 0xEF) {
      need = 2;
      cp = b & 0x0Fu;
      if (b == 0xE0) low = 0xA0;
      if (b == 0xED) high = 0x9F;  // no surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
      need = 3;
      cp = b & 0x07u;
      if (b == 0xF0) low = 0x90;
      if (b == 0xF4) high = 0x8F;
    }
    ++i;
    bool valid = true;
    for (size_t k = 0; k < need; ++k) {
      if (i >= n) return;  // the character runs past the field's end: dropped
      const uint8_t c = p[i];
      if (c < (k == 0 ? low : 0x80) || c > (k == 0 ? high : 0xBF)) {
        valid = false;  // `c` is read again as the start of a character
        break;
      }
      cp = cp << 6 | (c & 0x3Fu);
      ++i;
    }
    if (!valid) cp = kReplacement;
    if (Emit(w, cp) == Step::kStop) return;
  }
}

}  // namespace

DvbTextResult DecodeDvbText(const uint8_t* in, size_t in_size, char* out, size_t out_size,
                            char line_break) {
  Writer w(out, out_size, line_break);
  if (in == nullptr || in_size == 0) return w.Finish();
  const uint8_t selector = in[0];
  const uint8_t* rest = in + 1;
  const size_t left = in_size - 1;
  if (selector >= 0x20) {
    if (LooksLikeLatin9(in, in_size)) {
      DecodeIso8859(in, in_size, 15, w);
    } else {
      DecodeIso6937(in, in_size, w);
    }
  } else if (selector == 0x00) {
    // A NUL ends the text: empty.
  } else if (selector <= 0x0B && selector != 0x08) {
    DecodeIso8859(rest, left, selector + 4u, w);
  } else if (selector == 0x10) {
    // 0x10 and a 16-bit table number. A field cut inside the selector has no text.
    if (in_size >= 3) {
      const unsigned part = static_cast<unsigned>(in[1] << 8 | in[2]);
      if (part >= 1 && part <= 15 && part != 12) {
        DecodeIso8859(in + 3, in_size - 3, part, w);
      } else {
        DecodeIso6937(in + 3, in_size - 3, w);
      }
    }
  } else if (selector == 0x11 || selector == 0x14) {
    DecodeUcs2(rest, left, w);
  } else if (selector == 0x12) {
    DecodeEuc(rest, left, dvbtext::kKsx1001, w);
  } else if (selector == 0x13) {
    DecodeEuc(rest, left, dvbtext::kGb2312, w);
  } else if (selector == 0x15) {
    DecodeUtf8(rest, left, w);
  } else if (selector == 0x1F) {
    if (in_size >= 2) DecodeIso6937(in + 2, in_size - 2, w);
  } else {
    DecodeIso6937(rest, left, w);
  }
  return w.Finish();
}

size_t CleanDvbText(char* text, size_t size, bool drop_leading_blank) {
  size_t n = 0;
  for (; n < size && text[n] != '\0'; ++n) {
    const unsigned char c = static_cast<unsigned char>(text[n]);
    if (c < 0x20 || c == '*') text[n] = ' ';
  }
  if (drop_leading_blank && n > 0 && text[0] == ' ') {
    std::memmove(text, text + 1, n - 1);
    text[--n] = '\0';
  }
  return n;
}

size_t DropCutUtf8Tail(char* text, size_t size) {
  const void* nul = std::memchr(text, '\0', size);
  size_t n = nul != nullptr ? static_cast<size_t>(static_cast<const char*>(nul) - text) : size;
  if (n == size) {  // no NUL within the buffer: the last byte becomes the NUL
    if (size == 0) return 0;
    text[--n] = '\0';
  }
  // The last character starts at most three bytes before the end.
  size_t start = n;
  while (start > 0 && n - start < 4 &&
         (static_cast<unsigned char>(text[start - 1]) & 0xC0) == 0x80) {
    --start;
  }
  if (start == 0) return n;  // continuation bytes only: not text this decoder wrote
  const unsigned char lead = static_cast<unsigned char>(text[start - 1]);
  size_t length = 1;
  if (lead >= 0xF0) {
    length = 4;
  } else if (lead >= 0xE0) {
    length = 3;
  } else if (lead >= 0xC0) {
    length = 2;
  }
  if (n - (start - 1) < length) {
    n = start - 1;
    text[n] = '\0';
  }
  return n;
}
