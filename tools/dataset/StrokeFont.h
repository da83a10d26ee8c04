// The show's own stroke font: every glyph a few polylines on a small design grid (x 0..4, y 0..7 from
// the cap line down, baseline 6, x-height 2), corners marked round are filleted, and the skeleton is
// stroked with a round pen and rasterised with coverage anti-aliasing. Small sizes use pixel-friendly
// forms of a few glyphs so that one-pixel strokes land on whole pixels.
#pragma once

#include "tools/dataset/ImageWrite.h"

namespace trivale {
namespace dataset {

// Every style is white ringed or shadowed in black, so that it reads over snow as well as over shade.
enum class GlyphStyle { Plain, Bold, Shadow, Outline };

// How one size draws the design grid, in pixels.
struct StrokeSize {
    double unitX = 1.0;  // pixels per design unit
    double unitY = 1.0;
    double pen = 1.0;         // pen width of the plain style
    double boldPen = 1.0;     // pen width of the bold style (ignored by pixel sizes: they thicken by one pixel)
    double outlinePen = 1.0;  // outer width of the outline style's black ring, where it has no halo
    // The caption styles (shadow, outline) darken a soft halo: solid out to `ring` from the skeleton,
    // fading to nothing at `halo` (pixels; ignored by pixel sizes). The shadow style's offset shadow
    // fades out at `shadowSoft` from its skeleton.
    double ring = 0.0;
    double halo = 0.0;
    double shadowSoft = 0.0;
    int shadowOffset = 1;   // down and right, pixels
    double round = 1.0;     // radius of corners marked '*', design units
    double roundBig = 1.0;  // radius of corners marked 'o'
    bool pixel = false;     // the pixel-friendly forms, for sizes of one pixel per unit
};

// True for the codes the font draws: printable ASCII (space included).
bool HasStrokeGlyph(int code);

// Draws the glyph of `code` white with alpha coverage into the box (x, y, width, height) of `image`,
// centred in it; writes nothing outside the box. Throws std::invalid_argument for a code the font does not
// hold or a box outside the image.
void DrawStrokeGlyph(Image& image, int x, int y, int width, int height, int code, GlyphStyle style,
                     const StrokeSize& size);

}  // namespace dataset
}  // namespace trivale
