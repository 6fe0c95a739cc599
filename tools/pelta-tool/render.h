// Pictures of the plug-in's panels: a loaded panel of the headless run-time drawn to a PNG file
// with cairo, from the layout file and the state the plug-in left in the panel.
//
// What is drawn: the panel's background colour; each visible control at its current left and
// top (ATTR_LEFT/ATTR_TOP) in layout order, later controls over earlier ones: text controls in
// their text colour, typeface and size (the size taken as pixels), aligned as ATTR_TEXT_JUSTIFY
// says with the anchoring of justify 16 and 32 described in panels/uir.h, their background
// colour behind the text (labels sized to their text); the logo JPEG of a picture control,
// scaled to its rectangle; indicators in their fill colour with their number
// (ATTR_INDICATOR_TEXT); decorations; and, for the dialogs, numeric fields, text boxes and
// buttons drawn plainly. Hidden controls (ATTR_VISIBLE 0) are not drawn. A typeface that this
// machine lacks (the Windows ones, usually) is replaced by DejaVu Sans. Texts are the
// plug-in's 8-bit texts and are shown as Windows shows them on a Western system (code page
// 1252).
//
// The panel sits in a margin of kRenderMargin pixels over a drawn "video" picture (75% colour
// bars, which vary across the picture only) and is blended onto it with the alpha of its
// simulated window when that window is layered, so the translucency of the strip is visible.
// A dialog panel sits on a plain desktop colour, with a caption bar above its client area.
#pragma once

#include <cstddef>

constexpr int kRenderMargin = 16;
constexpr int kRenderCaptionHeight = 22;  // dialogs only

// Draws loaded panel `panel_handle` to `png_path`. False, with the reason in `error`, for an
// unknown handle or a file that cannot be written.
bool RenderPanel(int panel_handle, const char* png_path, char* error, size_t error_size);

// The colour (0xRRGGBB) of the drawn video picture at column x of an image `width` wide.
int RenderBackdropColour(int x, int width);
