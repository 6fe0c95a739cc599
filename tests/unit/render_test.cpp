// The panel renderer of pelta-tool: pixels of a rendered display panel, read back with cairo,
// after a real channel change of the plug-in.
#include "render.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fixture.h"
#include "panels/model.h"
#include "panels/panels.h"

// clang-format off
#include <jpeglib.h>  // after <cstdio>: it uses FILE without including it
// clang-format on

namespace {

// A solid-colour JPEG of the logo size, made here so that the expected colour is known.
std::string SolidJpeg(int colour, int width = 60, int height = 45) {
  jpeg_compress_struct info;
  jpeg_error_mgr error;
  info.err = jpeg_std_error(&error);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 95, TRUE);
  jpeg_start_compress(&info, TRUE);
  std::vector<unsigned char> row(static_cast<size_t>(width) * 3);
  for (int x = 0; x < width; ++x) {
    row[3 * x] = static_cast<unsigned char>(colour >> 16);
    row[3 * x + 1] = static_cast<unsigned char>(colour >> 8);
    row[3 * x + 2] = static_cast<unsigned char>(colour);
  }
  while (info.next_scanline < info.image_height) {
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::string bytes(reinterpret_cast<char*>(buffer), size);
  std::free(buffer);
  return bytes;
}

struct Png {
  int width = 0, height = 0;
  std::vector<int> pixels;  // 0xRRGGBB
  int At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
  // A pixel of the panel, in panel coordinates.
  int Panel(int x, int y) const { return At(x + kRenderMargin, y + kRenderMargin); }
};

Png ReadPng(const std::string& path) {
  Png png;
  cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
  if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
    png.width = cairo_image_surface_get_width(s);
    png.height = cairo_image_surface_get_height(s);
    const unsigned char* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < png.height; ++y) {
      const uint32_t* row = reinterpret_cast<const uint32_t*>(data + y * stride);
      for (int x = 0; x < png.width; ++x) png.pixels.push_back(static_cast<int>(row[x] & 0xFFFFFF));
    }
  }
  cairo_surface_destroy(s);
  return png;
}

int Channel(int colour, int shift) {
  return (colour >> shift) & 0xFF;
}

// Each of red, green and blue within `tolerance`.
::testing::AssertionResult Near(int actual, int expected, int tolerance) {
  for (int shift : {16, 8, 0}) {
    if (std::abs(Channel(actual, shift) - Channel(expected, shift)) > tolerance) {
      char text[96];
      std::snprintf(text, sizeof text, "0x%06X is not 0x%06X (+-%d)", actual, expected, tolerance);
      return ::testing::AssertionFailure() << text;
    }
  }
  return ::testing::AssertionSuccess();
}

constexpr int kBack = 0x102030;
constexpr int kText = 0xFFFFFF;
constexpr int kPanelWidth = 1860;  // 1920 screen, whole-screen display

class RenderTest : public PluginTest {
 protected:
  // Loads with `opacity` and `align`, then shows channel "Alpha" (with a logo of `logo_colour`).
  void ShowChannel(const char* opacity, const char* align, int logo_colour = 0xC02010) {
    std::vector<std::string> ini = DefaultIni();
    ini[2] = std::to_string(kBack);
    ini[3] = std::to_string(kText);
    ini[12] = opacity;
    ini[13] = align;
    WriteIni(ini);
    WriteFile("pelta_icon/Alpha.jpg", SolidJpeg(logo_colour));
    host_quality = 80;
    LoadStartAndPassGate();
    On_Channel_Change(MakeChannel("Alpha", 11778000, 1, 100, 0));
  }
  Png Render(int panel = pnlDisplay) {
    const std::string path = Path("panel.png");
    char error[256] = "";
    EXPECT_TRUE(RenderPanel(panel, path.c_str(), error, sizeof error)) << error;
    return ReadPng(path);
  }
  // Leftmost and rightmost columns of text-coloured pixels in the rows of the channel name
  // above the tuning texts, left of the indicator block (which starts at W - 105).
  static void NameColumns(const Png& png, int* first, int* last) {
    *first = -1;
    *last = -1;
    for (int y = 2; y < 26; ++y) {
      for (int x = 0; x < kPanelWidth - 105; ++x) {
        if (Channel(png.Panel(x, y), 8) < 0xC0) continue;
        if (*first < 0 || x < *first) *first = x;
        if (x > *last) *last = x;
      }
    }
  }
};

TEST_F(RenderTest, OpaquePanelShowsBackgroundLogoAndIndicatorColours) {
  ShowChannel("255", "0");
  int quality_fill = 0;
  ASSERT_TRUE(mem::CtrlAttr(pnlDisplay, 14, ATTR_FILL_COLOR, &quality_fill));
  ASSERT_NE(quality_fill, 0x808080) << "the channel change set no quality colour";
  const Png png = Render();
  ASSERT_EQ(png.width, kPanelWidth + 2 * kRenderMargin);
  ASSERT_EQ(png.height, 60 + 2 * kRenderMargin);

  EXPECT_TRUE(Near(png.Panel(1680, 55), kBack, 0));   // between the texts and the indicators
  EXPECT_TRUE(Near(png.Panel(20, 55), kBack, 0));     // below the logo
  EXPECT_TRUE(Near(png.Panel(35, 27), 0xC02010, 6));  // the channel's logo, scaled into 60x45
  // Quality indicator: left edge 1860 - 67, top 3, 26x18; its corner, away from the number.
  EXPECT_TRUE(Near(png.Panel(1793 + 2, 3 + 2), quality_fill, 0));
  // Outside the panel: the drawn video picture.
  EXPECT_TRUE(Near(png.At(3, 3), RenderBackdropColour(3, png.width), 0));
}

TEST_F(RenderTest, HiddenControlIsNotDrawn) {
  ShowChannel("255", "0");
  // The level indicator (15) in a colour nothing else has; then visible or hidden.
  SetCtrlAttribute(pnlDisplay, 15, ATTR_FILL_COLOR, 0xFF00FF);
  int left = 0, top = 0;
  ASSERT_TRUE(mem::CtrlAttr(pnlDisplay, 15, ATTR_LEFT, &left));
  ASSERT_TRUE(mem::CtrlAttr(pnlDisplay, 15, ATTR_TOP, &top));
  const struct {
    int visible;
    int expected;
  } cases[] = {{1, 0xFF00FF}, {0, kBack}};
  for (const auto& c : cases) {
    SetCtrlAttribute(pnlDisplay, 15, ATTR_VISIBLE, c.visible);
    const Png png = Render();
    EXPECT_TRUE(Near(png.Panel(left + 2, top + 2), c.expected, 0)) << "visible " << c.visible;
  }
}

// At the panel's DPI a control is drawn scaled from its layout box: the level indicator's
// right edge moves with the DPI, its inside and outside by the scaled box.
TEST_F(RenderTest, ControlsAreDrawnAtThePanelsDpi) {
  ShowChannel("255", "0");
  SetCtrlAttribute(pnlDisplay, 15, ATTR_FILL_COLOR, 0xFF00FF);
  int top = 0, left = 0, height = 0, width = 0;
  ASSERT_EQ(GetCtrlBoundingRect(pnlDisplay, 15, &top, &left, &height, &width), 0);
  for (int dpi : {96, 144, 192}) {
    ASSERT_EQ(SetPanelAttribute(pnlDisplay, ATTR_PANEL_DPI, dpi), 0);
    // The strip's window is as large as the plug-in makes it at that DPI.
    SetWindowPos(FindWindowA(nullptr, "Pelta"), nullptr, 0, 0,
                 model::DevicePixels(kPanelWidth, dpi), model::DevicePixels(60, dpi),
                 SWP_NOMOVE | SWP_NOZORDER);
    const model::Box box = model::DeviceBox(model::Box{left, top, width, height}, dpi);
    const Png png = Render();
    const int mid = box.top + box.height / 2;
    EXPECT_TRUE(Near(png.Panel(box.left + 3, box.top + 3), 0xFF00FF, 0)) << dpi;
    EXPECT_TRUE(Near(png.Panel(box.left + box.width - 3, mid), 0xFF00FF, 0)) << dpi;
    EXPECT_TRUE(Near(png.Panel(box.left + box.width + 2, box.top + 3), kBack, 0)) << dpi;
    EXPECT_TRUE(Near(png.Panel(box.left - 2, mid), kBack, 0)) << dpi;
  }
}

// The progress bar: a frame and the elapsed share in the text colour, the rest in the
// background colour, as the Win32 driver paints it; sized by the size layout (120 x 15).
TEST_F(RenderTest, ProgressBarFillsItsShareInTheTextColour) {
  ShowChannel("255", "0");
  const int left = 1627;  // placed by the plug-in only with programme times on: here by hand
  SetCtrlAttribute(pnlDisplay, 16, ATTR_LEFT, left);
  SetCtrlAttribute(pnlDisplay, 16, ATTR_VISIBLE, 1);
  for (int percent : {0, 25, 50, 100}) {
    SetCtrlVal(pnlDisplay, 16, percent);
    const Png png = Render();
    const int inner = 120 - 4;  // within the frame
    const int filled = inner * percent / 100;
    EXPECT_TRUE(Near(png.Panel(left, 10), kText, 0)) << "the frame, at " << percent;
    if (filled > 0) {
      EXPECT_TRUE(Near(png.Panel(left + 2 + filled - 1, 18), kText, 0)) << percent;
    }
    if (filled < inner) {
      EXPECT_TRUE(Near(png.Panel(left + 2 + filled, 18), kBack, 0)) << percent;
    }
  }
}

TEST_F(RenderTest, TranslucentPanelIsBlendedOverTheVideoWithTheWindowAlpha) {
  ShowChannel("180", "0");
  const Png png = Render();
  // Columns in different colour bars; the panel's row 55 has only the background there.
  for (int x : {300, 700, 1000, 1400}) {
    const int video = RenderBackdropColour(x + kRenderMargin, png.width);
    int expected = 0;
    for (int shift : {16, 8, 0}) {
      const int v = (Channel(kBack, shift) * 180 + Channel(video, shift) * (255 - 180)) / 255;
      expected |= v << shift;
    }
    EXPECT_TRUE(Near(png.Panel(x, 55), expected, 2)) << "column " << x;
  }
}

// The channel name's position for each alignment: left from the layout's left edge (70);
// right-aligned ending 8 pixels right of the left edge the display sets (W - 190 = 1730 for a
// 1920-pixel area W); centred 4 pixels right of it ((W - 80) / 2 = 920).
TEST_F(RenderTest, ChannelNameFollowsTheAlignmentAnchors) {
  const struct {
    const char* align;
    int first_min, first_max, last_min, last_max;  // ranges of the text's outer columns
  } cases[] = {
      {"0", 70, 75, 100, 200},
      {"16", 1640, 1730, 1730, 1738},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.align);
    ShowChannel("255", c.align);
    const Png png = Render();
    int first = 0, last = 0;
    NameColumns(png, &first, &last);
    EXPECT_GE(first, c.first_min);
    EXPECT_LE(first, c.first_max);
    EXPECT_GE(last, c.last_min);
    EXPECT_LE(last, c.last_max);
    Unload();
  }
}

TEST_F(RenderTest, CentredNameIsCentredOnItsAnchor) {
  ShowChannel("255", "32");
  const Png png = Render();
  int first = 0, last = 0;
  NameColumns(png, &first, &last);
  ASSERT_GT(last, first);
  EXPECT_NEAR((first + last) / 2.0, 920 + 4, 4);
}

// The picture places an aligned label with the model's anchoring function, the same one the
// Win32 driver places the label's window with (panels-check compares the window's rectangle to
// it): a right-aligned name ends at the right edge of the model's box, a centred one is centred
// in it, wherever the plug-in moves the label.
TEST_F(RenderTest, AlignedNameSitsInTheModelsBox) {
  const struct {
    int justify, left;
  } cases[] = {{kJustifyRight, 1730},
               {kJustifyRight, 900},
               {kJustifyRight, 400},
               {kJustifyCentre, 920},
               {kJustifyCentre, 600}};
  ShowChannel("255", "0");
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.justify) + " at " + std::to_string(c.left));
    ASSERT_EQ(SetCtrlAttribute(pnlDisplay, 8, ATTR_TEXT_JUSTIFY, c.justify), 0);
    ASSERT_EQ(SetCtrlAttribute(pnlDisplay, 8, ATTR_LEFT, c.left), 0);
    const model::Box box = model::ControlBox(uir::Kind::Text, c.left, 2, 1600, 26, c.justify);
    const Png png = Render();
    int first = 0, last = 0;
    NameColumns(png, &first, &last);
    ASSERT_GT(last, first);
    EXPECT_GE(first, box.left);
    if (c.justify == kJustifyRight) {
      EXPECT_LE(last, box.left + box.width);
      EXPECT_GE(last, box.left + box.width - 3) << "the text ends at the box's right edge";
    } else {
      EXPECT_NEAR((first + last) / 2.0, box.left + box.width / 2.0, 3);
    }
  }
}

// A name longer than its box (the display ends it 8 pixels left of the indicators) is drawn up
// to the box's right edge, ending in an ellipsis, and never past it, in every alignment.
TEST_F(RenderTest, LongNameEndsInsideItsBox) {
  const std::string name(120, 'W');
  for (const char* align : {"0", "16", "32"}) {
    SCOPED_TRACE(align);
    ShowChannel("255", align);
    ASSERT_EQ(SetCtrlVal(pnlDisplay, 8, name.c_str()), 0);
    int top = 0, left = 0, height = 0, width = 0;
    ASSERT_EQ(GetCtrlBoundingRect(pnlDisplay, 8, &top, &left, &height, &width), 0);
    const Png png = Render();
    int first = 0, last = 0;
    NameColumns(png, &first, &last);
    ASSERT_GT(last, first);
    EXPECT_GE(first, left);
    EXPECT_LT(last, left + width) << "nothing drawn past the box";
    // The frame behind the indicators starts at W - 165 of the area W (the panel is W - 60).
    EXPECT_LE(left + width, kPanelWidth + 60 - 165 - 8) << "the box ends before the indicators";
    EXPECT_GE(last, left + width - 30) << "the text fills its box up to the ellipsis";
    Unload();
  }
}

// The guide's text box wraps its text; a line break must never cut a character in two (cairo
// then refuses the text and everything drawn after it).
TEST_F(RenderTest, GuideTextBoxWrapsLongAccentedText) {
  ShowChannel("255", "0");
  std::string text;
  for (int i = 0; i < 12; ++i) text += "M\xE9t\xE9o r\xE9gionale \xE9t\xE9 ";
  SetCtrlVal(pnlGuide, 3, text.c_str());
  const Png png = Render(pnlGuide);
  ASSERT_GT(png.width, 0);
  // Dark text pixels on the second line of the box (left 10, top 80; 10-pixel text).
  int dark = 0;
  for (int y = 94; y < 106; ++y) {
    for (int x = 13; x < 440; ++x) {
      dark +=
          Channel(png.At(x + kRenderMargin, y + kRenderMargin + kRenderCaptionHeight), 16) < 0x60;
    }
  }
  EXPECT_GT(dark, 20);
  // The OK button at the bottom (190, 646, 80x26) in its face colour: drawing went on.
  EXPECT_TRUE(
      Near(png.At(195 + kRenderMargin, 651 + kRenderMargin + kRenderCaptionHeight), 0xD4D0C8, 0));
}

TEST_F(RenderTest, StaleHandleAndUnwritablePathFail) {
  ShowChannel("255", "0");
  char error[256] = "";
  EXPECT_FALSE(RenderPanel(pnlDisplay + 1000, Path("x.png").c_str(), error, sizeof error));
  EXPECT_STRNE(error, "");
  error[0] = '\0';
  EXPECT_FALSE(RenderPanel(pnlDisplay, "/nonexistent-folder/x.png", error, sizeof error));
  EXPECT_STRNE(error, "");
}

}  // namespace
