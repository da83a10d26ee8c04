// The overlay's bitmap fonts: sheets of fixed cells, one glyph set after another, drawn from the stroke
// font. The overlay draws a whole cell at every advance, so only the advance x height corner of a cell
// holds ink, and never the cell's last column or row (point sampling at a cell edge must not pick up
// the neighbour).
#include <algorithm>

#include "tools/dataset/DataSet.h"
#include "tools/dataset/ImageWrite.h"
#include "tools/dataset/StrokeFont.h"

namespace trivale {
namespace dataset {

namespace {

struct FontSheet {
    const char* name;
    int textureWidth;
    int textureHeight;
    int cell;     // square cells
    int columns;  // of the source rectangle the overlay reads
    int first;    // codes first..last form one set
    int last;
    int advance;
    int height;
    int sets;
    StrokeSize size;
};

// Sets of the large fonts: plain, bold, drop shadow, outline. The debug font has plain and bold.
const GlyphStyle kStyles[] = {GlyphStyle::Plain, GlyphStyle::Bold, GlyphStyle::Shadow, GlyphStyle::Outline};

StrokeSize Size(double unitX, double unitY, double pen, double boldPen, double outlinePen, int shadowOffset,
                double round, double roundBig, bool pixel, double ring = 0.0, double halo = 0.0,
                double shadowSoft = 0.0) {
    StrokeSize s;
    s.unitX = unitX;
    s.unitY = unitY;
    s.pen = pen;
    s.boldPen = boldPen;
    s.outlinePen = outlinePen;
    s.shadowOffset = shadowOffset;
    s.round = round;
    s.roundBig = roundBig;
    s.pixel = pixel;
    s.ring = ring;
    s.halo = halo;
    s.shadowSoft = shadowSoft;
    return s;
}

// The large sizes' caption styles fade their dark out over about a pixel and a half beyond a solid
// ring, as far as the glyph box leaves room (the halo's faint edge may touch it).
const FontSheet kSheets[] = {
    {"fonts\\FONT08T2.png", 256, 256, 16, 16, 0x00, 0x7F, 8, 8, 2, Size(1, 1, 1, 1, 1, 1, 1, 1, true)},
    {"fonts\\FONT12T2.png", 256, 256, 16, 16, 0x20, 0x5F, 11, 14, 4,
     Size(1.5, 1.45, 1.5, 2.3, 3.5, 1, 1.2, 1.5, false, 1.75, 2.4, 1.4)},
    {"fonts\\FONT16T2.png", 256, 256, 16, 16, 0x20, 0x5F, 16, 16, 4,
     Size(2.25, 1.55, 2.0, 3.0, 3.6, 1, 1.4, 2.0, false, 2.0, 2.9, 1.9)},
    {"fonts\\FONT20T2.png", 512, 512, 32, 16, 0x20, 0x5F, 20, 20, 4,
     Size(2.9, 2.05, 2.4, 3.6, 4.2, 2, 1.5, 2.0, false, 2.5, 3.8, 2.2)},
    {"fonts\\FONT24T2.png", 512, 512, 24, 16, 0x20, 0x5F, 23, 24, 4,
     Size(3.3, 2.4, 2.8, 4.2, 4.8, 2, 1.5, 2.0, false, 2.8, 4.2, 2.4)},
    {"fonts\\FONT32T2.png", 512, 512, 32, 16, 0x20, 0x5F, 32, 32, 4,
     Size(4.4, 3.35, 3.6, 5.4, 6.4, 2, 1.6, 2.0, false, 3.6, 5.2, 3.2)},
};

Image DrawSheet(const FontSheet& sheet) {
    Image image(sheet.textureWidth, sheet.textureHeight);
    const int inkWidth = std::min(sheet.advance, sheet.cell - 1);
    // The pixel sizes' outline takes one row below the character height (the rows below are free).
    const int inkHeight = std::min(sheet.height + (sheet.size.pixel ? 1 : 0), sheet.cell - 1);
    const int setSize = sheet.last - sheet.first + 1;
    for (int set = 0; set < sheet.sets; ++set) {
        for (int code = sheet.first; code <= sheet.last; ++code) {
            if (!HasStrokeGlyph(code)) continue;  // control codes stay blank
            const int index = set * setSize + (code - sheet.first);
            const int x = (index % sheet.columns) * sheet.cell;
            const int y = (index / sheet.columns) * sheet.cell;
            DrawStrokeGlyph(image, x, y, inkWidth, inkHeight, code, kStyles[set], sheet.size);
        }
    }
    return image;
}

}  // namespace

void AddFonts(DataSet& set) {
    for (const FontSheet& sheet : kSheets) set.Add(sheet.name, EncodePng(DrawSheet(sheet)));
}

}  // namespace dataset
}  // namespace trivale
