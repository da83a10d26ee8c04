// The snow layer's sheet of four flake pictures, 128 x 128 texels each, and where its flakes lie.
#pragma once
#include <vector>

namespace trivale {
namespace dataset {

struct SnowFlake {
    int picture;  // 0..3: left to right, then top to bottom in the sheet
    float x, y;   // centre, texels within the picture
    float dot;    // radius of the soft dot, texels
    float star;   // arm length of the six-armed star, 0 for a dot alone
};

const int kFlakesPerPicture = 3;
const float kFlakeApart = 6;    // texels between any two flakes of the sheet, across and down
const float kFlakeSpread = 28;  // texels between two flakes of one picture
const float kFlakeLow = 8;      // the band the flakes' centres lie in, inside the picture and clear of
const float kFlakeHigh = 120;   // its neighbours in the mip chain

std::vector<SnowFlake> SnowFlakes();

}  // namespace dataset
}  // namespace trivale
