// The textures of the valley, ridge and lake scenes, drawn in code. Each is square and tiles (except
// the sprites: smoke, lamp, shadow, and the sphere map).
#pragma once
#include "tools/dataset/ImageWrite.h"

namespace trivale {
namespace dataset {

Image DrawSnowGround();           // 256, opaque: soft drifts with sparkle
Image DrawRock();                 // 256, opaque: blue-grey rock with cracks, lit from the top left
Image DrawBark();                 // 128, opaque: furrowed pine bark
Image DrawNeedles();              // 256, needle twigs; alpha 0 or 255 (alpha-tested)
Image DrawCabin();                // 256, opaque: log wall with a lit window in the middle
Image DrawSmoke();                // 128, soft grey puff in alpha
Image DrawFence();                // 128, pointed boards on two rails; the gaps transparent
Image DrawShadow();               // 128, white outside, grey in the middle (a multiplying pass), alpha alike
Image DrawEnvSphere(bool night);  // 256, opaque: a sphere map of a winter sky over snow, by day or by night
Image DrawLamp();                 // 128, warm glow fading out in alpha
Image DrawIce();                  // 256, opaque: blue-white ice with cracks
Image DrawShore();                // 256, opaque: snow lying over rock
Image DrawMoon();                 // 128, the full moon in a faint halo on black (drawn added)
Image DrawStar();                 // 16, a soft point of light on black (drawn added)

}  // namespace dataset
}  // namespace trivale
