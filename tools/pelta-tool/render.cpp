// Panels to PNG with cairo (see render.h). Text is laid out by pango (faces, and the fallback
// for characters a face lacks, chosen by fontconfig); logos are decoded with libjpeg.
#include "render.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

// clang-format off
#include <jpeglib.h>  // after <cstdio>: it uses FILE without including it
// clang-format on

#include "panels/memory/memory_panels.h"
#include "panels/model.h"
#include "panels/panels.h"
#include "panels/picture_bounds.h"
#include "platform/sim/sim.h"

// After the simulated desktop's header: glib defines TRUE and FALSE only where they are not yet.
#include <pango/pangocairo.h>

namespace {

constexpr const char* kFallbackFamily = "DejaVu Sans";
constexpr int kDesktopColour = 0x3A6EA5;
constexpr int kButtonFace = 0xD4D0C8;

void SetColour(cairo_t* cr, int colour) {
  cairo_set_source_rgb(cr, ((colour >> 16) & 0xFF) / 255.0, ((colour >> 8) & 0xFF) / 255.0,
                       (colour & 0xFF) / 255.0);
}

void FillRect(cairo_t* cr, double x, double y, double w, double h, int colour) {
  SetColour(cr, colour);
  cairo_rectangle(cr, x, y, w, h);
  cairo_fill(cr);
}

// A one-pixel frame inside the rectangle: `light` on the top and left, `dark` below and right.
void Frame(cairo_t* cr, double x, double y, double w, double h, int light, int dark) {
  FillRect(cr, x, y, w, 1, light);
  FillRect(cr, x, y, 1, h, light);
  FillRect(cr, x, y + h - 1, w, 1, dark);
  FillRect(cr, x + w - 1, y, 1, h, dark);
}

int Darker(int colour) {
  int r = ((colour >> 16) & 0xFF) * 3 / 5;
  int g = ((colour >> 8) & 0xFF) * 3 / 5;
  int b = (colour & 0xFF) * 3 / 5;
  return (r << 16) | (g << 8) | b;
}

// ---- text ----

// The panel model holds UTF-8. A byte that does not begin a valid sequence (a text that came
// in some 8-bit code page) becomes U+FFFD, and control characters become '?', so pango never
// sees text it would refuse. The result is cut on a character boundary to fit `size`.
void CleanUtf8(const char* in, char* out, size_t size, bool keep_line_breaks = false) {
  if (size == 0) return;
  size_t n = 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(in);
  while (*p != 0) {
    const unsigned char lead = *p;
    size_t len = 1;
    unsigned code = lead;
    if (lead >= 0xC2 && lead <= 0xDF) {
      len = 2;
      code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      len = 3;
      code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      len = 4;
      code = lead & 0x07;
    } else if (lead >= 0x80) {
      len = 0;  // a continuation byte or a lead that no valid sequence has
    }
    for (size_t i = 1; i < len; ++i) {
      if ((p[i] & 0xC0) != 0x80) {
        len = 0;
        break;
      }
      code = (code << 6) | (p[i] & 0x3F);
    }
    // Overlong forms, surrogates and code points past U+10FFFF are not characters either.
    if ((len == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
        (len == 4 && (code < 0x10000 || code > 0x10FFFF))) {
      len = 0;
    }
    const char* bytes = reinterpret_cast<const char*>(p);
    size_t out_len = len;
    if (len == 0) {
      bytes = "\xEF\xBF\xBD";
      out_len = 3;
    } else if (len == 1 && (lead < 0x20 || lead == 0x7F) && !(keep_line_breaks && lead == '\n')) {
      bytes = "?";
    }
    if (n + out_len + 1 > size) break;
    std::memcpy(out + n, bytes, out_len);
    n += out_len;
    p += len == 0 ? 1 : len;
  }
  out[n] = '\0';
}

// The family to ask pango for: the typeface itself when fontconfig has it, DejaVu Sans
// otherwise (fontconfig would otherwise pick some look-alike that differs between machines).
const char* ResolveFamily(const char* wanted) {
  struct Entry {
    char name[uir::kNameMax];
    bool present;
  };
  static Entry cache[16];
  static int cached = 0;
  if (wanted == nullptr || wanted[0] == '\0') return kFallbackFamily;
  for (int i = 0; i < cached; ++i) {
    if (std::strcmp(cache[i].name, wanted) == 0) return cache[i].present ? wanted : kFallbackFamily;
  }
  bool present = false;
  if (FcInit()) {
    FcPattern* pattern = FcPatternCreate();
    FcObjectSet* objects = FcObjectSetCreate();
    if (pattern != nullptr && objects != nullptr) {
      FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(wanted));
      FcObjectSetAdd(objects, FC_FAMILY);
      FcFontSet* fonts = FcFontList(nullptr, pattern, objects);
      present = fonts != nullptr && fonts->nfont > 0;
      if (fonts != nullptr) FcFontSetDestroy(fonts);
    }
    if (objects != nullptr) FcObjectSetDestroy(objects);
    if (pattern != nullptr) FcPatternDestroy(pattern);
  }
  if (cached < 16 && std::strlen(wanted) < sizeof cache[0].name) {
    std::snprintf(cache[cached].name, sizeof cache[cached].name, "%s", wanted);
    cache[cached].present = present;
    ++cached;
  }
  return present ? wanted : kFallbackFamily;
}

struct TextStyle {
  char family[uir::kNameMax];
  double size;
  int colour;
};

// A pango layout of the text in the style's face; fontconfig falls back glyph by glyph to a face
// that has the character (Chinese from a CJK face, Czech from the requested one).
PangoLayout* MakeLayout(cairo_t* cr, const TextStyle& style, const char* utf8) {
  PangoLayout* layout = pango_cairo_create_layout(cr);
  PangoFontDescription* face = pango_font_description_new();
  pango_font_description_set_family(face, ResolveFamily(style.family));
  // The layout's sizes are character heights in pixels, as on Windows.
  pango_font_description_set_absolute_size(face, style.size * PANGO_SCALE);
  pango_layout_set_font_description(layout, face);
  pango_font_description_free(face);
  pango_layout_set_text(layout, utf8, -1);
  return layout;
}

enum class Align { Left, Right, Centre };

// One line of (UTF-8) text in the box, vertically centred when the face fits the box's height
// and hanging from its top when it does not. A text wider than the box ends in an ellipsis at a
// character boundary (as DT_END_ELLIPSIS on Windows). With `background` >= 0 the text's own
// extent (its width by the face's height, within the box) is filled first, as a label sized to
// its text is.
void DrawLine(cairo_t* cr, const TextStyle& style, const char* utf8, double x, double y, double w,
              double h, Align align, int background = -1) {
  if (utf8[0] == '\0' || w < 1) return;
  cairo_save(cr);
  PangoLayout* layout = MakeLayout(cr, style, utf8);
  pango_layout_set_single_paragraph_mode(layout, TRUE);
  pango_layout_set_width(layout, static_cast<int>(w) * PANGO_SCALE);
  pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
  PangoRectangle ink;
  PangoRectangle logical;
  pango_layout_get_pixel_extents(layout, &ink, &logical);
  double tx = x;
  if (align == Align::Right) tx = x + w - logical.width;
  if (align == Align::Centre) tx = x + (w - logical.width) / 2;
  const double height = logical.height;
  const double top = y + (height < h ? (h - height) / 2 : 0);
  cairo_rectangle(cr, x, y - 1000, w, h + 2000);  // horizontal clip only
  cairo_clip(cr);
  if (background >= 0) FillRect(cr, tx, top, logical.width, height, background);
  SetColour(cr, style.colour);
  cairo_move_to(cr, tx - logical.x, top);
  pango_cairo_show_layout(cr, layout);
  g_object_unref(layout);
  cairo_restore(cr);
}

// Word-wrapped text for a text box (a word wider than the box is broken between characters);
// line ends (LF or CR LF) break lines.
void DrawWrapped(cairo_t* cr, const TextStyle& style, const char* utf8, double x, double y,
                 double w, double h) {
  if (w < 1) return;
  cairo_save(cr);
  cairo_rectangle(cr, x, y, w, h);
  cairo_clip(cr);
  PangoLayout* layout = MakeLayout(cr, style, utf8);
  pango_layout_set_width(layout, static_cast<int>(w) * PANGO_SCALE);
  pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
  SetColour(cr, style.colour);
  cairo_move_to(cr, x, y);
  pango_cairo_show_layout(cr, layout);
  g_object_unref(layout);
  cairo_restore(cr);
}

// ---- logos ----

struct JpegError {
  jpeg_error_mgr mgr;
  jmp_buf jump;
};

void OnJpegError(j_common_ptr info) {
  JpegError* error = reinterpret_cast<JpegError*>(info->err);
  std::longjmp(error->jump, 1);
}
void OnJpegMessage(j_common_ptr) {}  // warnings are not printed

// Decodes a JPEG file into a new RGB24 cairo surface; null when the file is missing, not a
// JPEG, damaged, CMYK or too large. No C++ object lives across the setjmp.
cairo_surface_t* LoadJpeg(const char* path) {
  int header_width = 0;
  int header_height = 0;
  // The plug-in's bounds (file length, frame size), before libjpeg allocates anything.
  if (CheckPictureFile(path, &header_width, &header_height) != PictureCheck::kOk) return nullptr;
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return nullptr;
  jpeg_decompress_struct info;
  JpegError error;
  cairo_surface_t* volatile surface = nullptr;
  unsigned char* volatile row = nullptr;
  info.err = jpeg_std_error(&error.mgr);
  error.mgr.error_exit = &OnJpegError;
  error.mgr.output_message = &OnJpegMessage;
  if (setjmp(error.jump) != 0) {
    jpeg_destroy_decompress(&info);
    std::fclose(file);
    std::free(row);
    if (surface != nullptr) cairo_surface_destroy(surface);
    return nullptr;
  }
  jpeg_create_decompress(&info);
  jpeg_stdio_src(&info, file);
  jpeg_read_header(&info, TRUE);
  // libjpeg's own reading of the frame size: the decoder is started only within the bounds.
  if (info.image_width > static_cast<JDIMENSION>(kPictureMaxSide) ||
      info.image_height > static_cast<JDIMENSION>(kPictureMaxSide)) {
    std::longjmp(error.jump, 1);
  }
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  const int width = static_cast<int>(info.output_width);
  const int height = static_cast<int>(info.output_height);
  if (info.output_components != 3 || width > kPictureMaxSide || height > kPictureMaxSide) {
    std::longjmp(error.jump, 1);
  }
  surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  row = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(width) * 3));
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS || row == nullptr) {
    std::longjmp(error.jump, 1);
  }
  cairo_surface_flush(surface);
  unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  while (info.output_scanline < info.output_height) {
    const int y = static_cast<int>(info.output_scanline);
    JSAMPROW rows[1] = {row};
    jpeg_read_scanlines(&info, rows, 1);
    uint32_t* out = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * stride);
    for (int x = 0; x < width; ++x) {
      out[x] = 0xFF000000u | (static_cast<uint32_t>(row[3 * x]) << 16) |
               (static_cast<uint32_t>(row[3 * x + 1]) << 8) | row[3 * x + 2];
    }
  }
  cairo_surface_mark_dirty(surface);
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  std::fclose(file);
  std::free(row);
  return surface;
}

void DrawPicture(cairo_t* cr, const char* path, double x, double y, double w, double h) {
  cairo_surface_t* image = LoadJpeg(path);
  if (image == nullptr) return;
  const int iw = cairo_image_surface_get_width(image);
  const int ih = cairo_image_surface_get_height(image);
  cairo_save(cr);
  cairo_rectangle(cr, x, y, w, h);
  cairo_clip(cr);
  cairo_translate(cr, x, y);
  cairo_scale(cr, w / iw, h / ih);
  cairo_set_source_surface(cr, image, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
  cairo_paint(cr);
  cairo_restore(cr);
  cairo_surface_destroy(image);
}

// ---- controls ----

TextStyle StyleOf(const mem::ControlState& c) {
  TextStyle style;
  std::snprintf(style.family, sizeof style.family, "%s", c.font);
  style.size = c.point_size < 1 ? 1 : c.point_size;
  style.colour = c.text_colour;
  return style;
}

// How a text control's text sits in its box (the box itself is model::ControlBox, the one
// placement rule the Win32 driver also uses).
Align AlignOf(int justify) {
  if (justify == kJustifyRight) return Align::Right;
  if (justify == kJustifyCentre) return Align::Centre;
  return Align::Left;
}

// ---- the setting kinds, drawn as the Windows common controls look in the classic theme ----

constexpr double kSpinWidth = 15;
constexpr double kCheckSize = 13;

// A field's label, right-aligned against the field's left edge, its mnemonic marker dropped.
void DrawFieldLabel(cairo_t* cr, const TextStyle& style, const uir::Control& l, double x, double y,
                    double h) {
  char plain[uir::kNameMax];
  model::LabelText(l.label, plain, sizeof plain);
  char label[uir::kNameMax * 3];
  CleanUtf8(plain, label, sizeof label);
  DrawLine(cr, style, label, x - 160, y, 154, h, Align::Right);
}

// A small solid triangle pointing up (dir -1) or down (dir 1), centred at cx, cy.
void Arrow(cairo_t* cr, double cx, double cy, int dir) {
  SetColour(cr, 0x000000);
  cairo_move_to(cr, cx - 3.5, cy - 1.5 * dir);
  cairo_line_to(cr, cx + 3.5, cy - 1.5 * dir);
  cairo_line_to(cr, cx, cy + 2 * dir);
  cairo_close_path(cr);
  cairo_fill(cr);
}

void RaisedButton(cairo_t* cr, double x, double y, double w, double h) {
  FillRect(cr, x, y, w, h, kButtonFace);
  Frame(cr, x, y, w, h, 0xFFFFFF, 0x404040);
}

// The up-down buttons of a spin field.
void DrawSpin(cairo_t* cr, double x, double y, double w, double h) {
  const double half = h / 2;
  RaisedButton(cr, x, y, w, half);
  RaisedButton(cr, x, y + half, w, h - half);
  Arrow(cr, x + w / 2, y + half / 2, -1);
  Arrow(cr, x + w / 2, y + half + (h - half) / 2, 1);
}

void DrawSetting(cairo_t* cr, const mem::ControlState& c, const TextStyle& style, double x,
                 double y, double w, double h) {
  const uir::Control& l = c.layout;
  switch (l.kind) {
    case uir::Kind::Checkbox: {
      // The box, sunken, white, with a tick when on; the label on its right.
      const double top = y + (h - kCheckSize) / 2;
      FillRect(cr, x, top, kCheckSize, kCheckSize, 0xFFFFFF);
      Frame(cr, x, top, kCheckSize, kCheckSize, 0x808080, 0xFFFFFF);
      if (model::Checked(c)) {
        SetColour(cr, 0x000000);
        cairo_set_line_width(cr, 2);
        cairo_move_to(cr, x + 3, top + 6.5);
        cairo_line_to(cr, x + 5.5, top + 9);
        cairo_line_to(cr, x + 10, top + 4);
        cairo_stroke(cr);
      }
      char plain[uir::kNameMax];
      model::LabelText(l.label, plain, sizeof plain);
      char label[uir::kNameMax * 3];
      CleanUtf8(plain, label, sizeof label);
      DrawLine(cr, style, label, x + kCheckSize + 5, y, w - kCheckSize - 5, h, Align::Left);
      break;
    }
    case uir::Kind::Dropdown: {
      // The closed list: the chosen entry in a sunken field, the arrow button at the right.
      FillRect(cr, x, y, w, h, c.back_colour);
      Frame(cr, x, y, w, h, 0x808080, 0xFFFFFF);
      DrawFieldLabel(cr, style, l, x, y, h);
      char entry[uir::kItemMax + 16] = "";
      model::ListEntry(c, model::ListIndex(c), entry, sizeof entry, nullptr);
      char text[sizeof entry * 3];
      CleanUtf8(entry, text, sizeof text);
      const double button = h - 4;
      DrawLine(cr, style, text, x + 4, y, w - button - 8, h, Align::Left);
      RaisedButton(cr, x + w - button - 2, y + 2, button, h - 4);
      Arrow(cr, x + w - 2 - button / 2, y + h / 2, 1);
      break;
    }
    case uir::Kind::Colour:
      // A push button filled with the colour.
      RaisedButton(cr, x, y, w, h);
      FillRect(cr, x + 4, y + 4, w - 8, h - 8, c.int_value & 0xFFFFFF);
      Frame(cr, x + 4, y + 4, w - 8, h - 8, 0x000000, 0x000000);
      DrawFieldLabel(cr, style, l, x, y, h);
      break;
    case uir::Kind::Slider: {
      // The channel, the thumb at the value, the value itself at the right end.
      constexpr double kValueWidth = 30;
      const double track = w - kValueWidth;
      const double span = l.max > l.min ? l.max - l.min : 1;
      const double at = (c.int_value - l.min) / span;
      FillRect(cr, x + 4, y + h / 2 - 2, track - 8, 4, 0xFFFFFF);
      Frame(cr, x + 4, y + h / 2 - 2, track - 8, 4, 0x808080, 0xFFFFFF);
      const double thumb = x + 4 + at * (track - 19);
      RaisedButton(cr, thumb, y + 2, 11, h - 4);
      DrawFieldLabel(cr, style, l, x, y, h);
      char value[16];
      model::FormatInt(value, sizeof value, c.int_value);
      DrawLine(cr, style, value, x + track, y, kValueWidth, h, Align::Right);
      break;
    }
    default:
      break;
  }
}

// A progress bar as the Win32 driver paints it: a frame and the elapsed share filled in the
// text colour on the background colour, the text centred, in the background colour where it
// lies on the filled part.
void DrawProgress(cairo_t* cr, int panel, const mem::ControlState& c, const TextStyle& style,
                  double x, double y, double w, double h) {
  const int ink = c.text_colour;
  FillRect(cr, x, y, w, h, c.back_colour);
  Frame(cr, x, y, w, h, ink, ink);
  const int value = c.int_value < 0 ? 0 : (c.int_value > 100 ? 100 : c.int_value);
  const double inner_w = w > 4 ? w - 4 : 0;
  const double inner_h = h > 4 ? h - 4 : 0;
  const double filled = static_cast<double>(static_cast<int>(inner_w) * value / 100);
  if (filled > 0 && inner_h > 0) FillRect(cr, x + 2, y + 2, filled, inner_h, ink);
  char raw[uir::kNameMax];
  if (!mem::CtrlAttrText(panel, c.layout.number, ATTR_INDICATOR_TEXT, raw, sizeof raw)) return;
  char text[uir::kNameMax * 3];
  CleanUtf8(raw, text, sizeof text);
  cairo_save(cr);  // the part outside the filled share: text colour
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
  cairo_rectangle(cr, x, y, w, h);
  cairo_rectangle(cr, x + 2, y + 2, filled, inner_h);
  cairo_clip(cr);
  DrawLine(cr, style, text, x, y, w, h, Align::Centre);
  cairo_restore(cr);
  cairo_save(cr);  // on the filled share: background colour
  cairo_rectangle(cr, x + 2, y + 2, filled, inner_h);
  cairo_clip(cr);
  TextStyle inverse = style;
  inverse.colour = c.back_colour;
  DrawLine(cr, inverse, text, x, y, w, h, Align::Centre);
  cairo_restore(cr);
}

void DrawControl(cairo_t* cr, int panel, const mem::ControlState& c) {
  const uir::Control& l = c.layout;
  const int n = l.number;
  if (!c.visible) return;
  const double x = c.left;
  const double y = c.top;
  const double w = l.kind == uir::Kind::Text || l.kind == uir::Kind::Progress ? c.width : l.width;
  const double h = c.height;
  const int back = c.back_colour;
  char utf8[mem::kTextMax * 3];
  // A text box shows its lines as the Win32 EDIT does.
  CleanUtf8(c.text, utf8, sizeof utf8, l.kind == uir::Kind::TextBox);
  const TextStyle style = StyleOf(c);

  switch (l.kind) {
    case uir::Kind::Text: {
      // A label sized to its text: the background only behind the text, so that boxes that
      // overlap in the layout (the programme lines reach into the channel name's descenders)
      // do not cut each other's glyphs.
      const model::Box box = model::ControlBox(c);
      DrawLine(cr, style, utf8, box.left, y, w, h, AlignOf(c.justify), back);
      break;
    }
    case uir::Kind::Picture:
      FillRect(cr, x, y, w, h, back);
      if (c.has_value && c.text[0] != '\0') DrawPicture(cr, c.text, x, y, w, h);
      break;
    case uir::Kind::Indicator: {
      const int fill = c.fill_colour;
      FillRect(cr, x, y, w, h, fill);
      Frame(cr, x, y, w, h, Darker(fill), Darker(fill));
      char number[uir::kNameMax];
      if (mem::CtrlAttrText(panel, n, ATTR_INDICATOR_TEXT, number, sizeof number)) {
        char text[uir::kNameMax * 3];
        CleanUtf8(number, text, sizeof text);
        DrawLine(cr, style, text, x, y, w, h, Align::Centre);
      }
      break;
    }
    case uir::Kind::Decoration:
      FillRect(cr, x, y, w, h, c.fill_colour);
      break;
    case uir::Kind::Progress:
      DrawProgress(cr, panel, c, style, x, y, w, h);
      break;
    case uir::Kind::String:
      FillRect(cr, x, y, w, h, back);
      Frame(cr, x, y, w, h, 0x808080, 0xFFFFFF);
      DrawFieldLabel(cr, style, l, x, y, h);
      DrawLine(cr, style, utf8, x + 3, y, w - 6, h, Align::Left);
      break;
    case uir::Kind::Numeric:
    case uir::Kind::Float: {
      FillRect(cr, x, y, w, h, back);
      Frame(cr, x, y, w, h, 0x808080, 0xFFFFFF);
      DrawFieldLabel(cr, style, l, x, y, h);
      const double spin = l.step > 0 ? kSpinWidth : 0;
      DrawLine(cr, style, utf8, x + 3, y, w - 6 - spin, h, Align::Right);
      if (spin > 0) DrawSpin(cr, x + w - spin - 1, y + 1, spin, h - 2);
      if (l.beside == uir::Beside::KeyName) {
        char name[32];
        char line[48];
        std::snprintf(line, sizeof line, "= %s", model::KeyName(c.int_value, name, sizeof name));
        DrawLine(cr, style, line, x + w + 6, y, 120, h, Align::Left);
      }
      break;
    }
    case uir::Kind::Checkbox:
    case uir::Kind::Dropdown:
    case uir::Kind::Colour:
    case uir::Kind::Slider:
      DrawSetting(cr, c, style, x, y, w, h);
      break;
    case uir::Kind::TextBox:
      FillRect(cr, x, y, w, h, back);
      Frame(cr, x, y, w, h, 0x808080, 0xFFFFFF);
      DrawWrapped(cr, style, utf8, x + 3, y + 2, w - 6, h - 4);
      break;
    case uir::Kind::Button: {
      FillRect(cr, x, y, w, h, kButtonFace);
      Frame(cr, x, y, w, h, 0xFFFFFF, 0x404040);
      char label[uir::kNameMax * 3];
      CleanUtf8(l.label, label, sizeof label);
      DrawLine(cr, style, label, x, y, w, h, Align::Centre);
      break;
    }
  }
}

void Fail(char* error, size_t size, const char* what, const char* detail) {
  if (error != nullptr && size > 0) std::snprintf(error, size, "%s%s", what, detail);
}

}  // namespace

int RenderBackdropColour(int x, int width) {
  // The seven 75% colour bars of a test picture: white, yellow, cyan, green, magenta, red, blue.
  static const int kBars[7] = {0xBFBFBF, 0xBFBF00, 0x00BFBF, 0x00BF00,
                               0xBF00BF, 0xBF0000, 0x0000BF};
  if (width <= 0) return kBars[0];
  if (x < 0) x = 0;
  if (x >= width) x = width - 1;
  return kBars[static_cast<long long>(x) * 7 / width];
}

bool RenderPanel(int panel_handle, const char* png_path, char* error, size_t error_size) {
  std::unique_ptr<mem::PanelState> state(new mem::PanelState);
  if (!mem::Snapshot(panel_handle, state.get())) {
    Fail(error, error_size, "no loaded panel with that handle", "");
    return false;
  }
  // The panel's size is that of its window (the plug-in sizes the display strip itself), in
  // screen pixels; the controls are drawn at the panel's DPI (ATTR_PANEL_DPI), scaled from
  // their layout pixels as the Win32 driver scales them.
  const int dpi = state->dpi > 0 ? state->dpi : model::kLayoutDpi;
  const double scale = static_cast<double>(dpi) / model::kLayoutDpi;
  int width = model::DevicePixels(state->layout.width, dpi);
  int height = model::DevicePixels(state->layout.height, dpi);
  double alpha = 1.0;
  sim::WindowInfo info;
  if (state->window != nullptr && sim::GetInfo(state->window, &info)) {
    const int ww = static_cast<int>(info.rect.right - info.rect.left);
    const int wh = static_cast<int>(info.rect.bottom - info.rect.top);
    if (ww > 0 && wh > 0) {
      width = ww;
      height = wh;
    }
    if ((info.exstyle & WS_EX_LAYERED) != 0 && info.layered_attrs_set &&
        (info.layered_flags & LWA_ALPHA) != 0) {
      alpha = info.alpha / 255.0;
    }
  }
  if (width > 8192 || height > 8192) {
    Fail(error, error_size, "panel too large to draw", "");
    return false;
  }
  const bool dialog = state->layout.style == uir::Style::Dialog;
  const int caption = dialog ? model::DevicePixels(kRenderCaptionHeight, dpi) : 0;
  const int image_width = width + 2 * kRenderMargin;
  const int image_height = height + caption + 2 * kRenderMargin;

  cairo_surface_t* surface =
      cairo_image_surface_create(CAIRO_FORMAT_RGB24, image_width, image_height);
  cairo_t* cr = cairo_create(surface);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);  // rectangles on whole pixels

  // The picture behind the panel: colour bars for the strip, a desktop for the dialogs.
  for (int x = 0; x < image_width; ++x) {
    FillRect(cr, x, 0, 1, image_height,
             dialog ? kDesktopColour : RenderBackdropColour(x, image_width));
  }

  // The panel on its own layer, blended with the window's alpha.
  cairo_push_group(cr);
  if (dialog) {
    FillRect(cr, kRenderMargin, kRenderMargin, width, caption, 0x0A246A);
    TextStyle title = {"", 12 * scale, 0xFFFFFF};
    char utf8[uir::kNameMax * 3];
    CleanUtf8(state->layout.caption, utf8, sizeof utf8);
    DrawLine(cr, title, utf8, kRenderMargin + 6, kRenderMargin, width - 12, caption, Align::Left);
  }
  cairo_translate(cr, kRenderMargin, kRenderMargin + caption);
  cairo_rectangle(cr, 0, 0, width, height);
  cairo_clip(cr);
  FillRect(cr, 0, 0, width, height, state->background);
  cairo_scale(cr, scale, scale);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  cairo_set_font_options(cr, options);
  cairo_font_options_destroy(options);
  for (int i = 0; i < state->control_count; ++i) {
    DrawControl(cr, panel_handle, state->controls[i]);
  }
  cairo_pop_group_to_source(cr);
  cairo_paint_with_alpha(cr, alpha);

  const cairo_status_t drawn = cairo_status(cr);
  cairo_destroy(cr);
  if (drawn != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    Fail(error, error_size, "cannot draw the panel: ", cairo_status_to_string(drawn));
    return false;
  }
  cairo_surface_flush(surface);
  const cairo_status_t status = cairo_surface_write_to_png(surface, png_path);
  cairo_surface_destroy(surface);
  if (status != CAIRO_STATUS_SUCCESS) {
    Fail(error, error_size, "cannot write the picture: ", cairo_status_to_string(status));
    return false;
  }
  return true;
}
