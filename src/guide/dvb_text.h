// DVB text fields (EN 300 468 annex A) to UTF-8, and the display's cleaning of decoded text.
//
// A text field of an SI descriptor (event name, description, ...) opens with an optional
// character-table selector: a first byte of 0x20 or above means there is none and the text is
// ISO/IEC 6937. The decoder reads any field into a caller's fixed buffer, allocates nothing,
// never reads past the field nor writes past the buffer, and is safe on any bytes.
#pragma once

#include <cstddef>
#include <cstdint>

struct DvbTextResult {
  size_t length;  // bytes written in front of the terminating NUL
  bool cut;       // a character did not fit: the text ends at the last one that did
};

// Decodes the field `in`, `in_size` bytes, selector included, into `out` as UTF-8. `out` is
// always NUL-terminated when `out_size` is at least 1 and is cut only between characters (and
// never between a letter and its combining mark); with `out_size` 0 nothing is written.
//
// Beyond the tables: a NUL character (byte 0x00, or 0x0000 in the two-byte tables) ends the
// text, as the reader has always cut there; the control codes 0x86/0x87 (emphasis on/off) are
// dropped and 0x8A (line break) becomes a blank, in the one-byte tables and EUC as bytes, in
// the two-byte tables and UTF-8 as U+E086, U+E087, U+E08A; the other control codes there
// (0x80..0x9F, U+E080..U+E09F) and the C1 controls U+0080..U+009F have no glyph and are
// dropped. A character whose bytes run past the field's end (the field may have been cut) is
// dropped; an invalid sequence inside the field becomes U+FFFD, as does an unpaired UTF-16
// surrogate and a position the table leaves undefined.
// `line_break` is what the CR/LF code 0x8A (U+E08A) becomes: a blank for the display's lines,
// '\n' where a text keeps its lines (the guide window's description).
DvbTextResult DecodeDvbText(const uint8_t* in, size_t in_size, char* out, size_t out_size,
                            char line_break = ' ');

// The display's cleaning of decoded UTF-8 `text` (NUL-terminated within `size` bytes, or
// `size` bytes long), in place: control characters (below 0x20) and '*' become blanks; with
// `drop_leading_blank`, a blank that then opens the text is removed. Works on bytes below 0x80
// only, so a multi-byte character is never touched; on ASCII it gives exactly what the reader
// has always shown. Returns the length of the cleaned text.
size_t CleanDvbText(char* text, size_t size, bool drop_leading_blank);

// For text built from decoded pieces by a byte-wise copy that may stop inside a character
// (snprintf into a line buffer, for one): removes an incomplete UTF-8 sequence at the end of
// the NUL-terminated `text` (looked at within `size` bytes). Returns the text's new length.
size_t DropCutUtf8Tail(char* text, size_t size);
