// The device's standard states for the 3D pass and for screen pictures, and a plain coloured
// rectangle in back-buffer pixels. Each acts on the application driver's device at the moment of use.
#pragma once

#include <array>
#include <cstdint>

#include "platform/Graphics.h"

// Texture stage 0 multiplies the texture by the vertex colour, for colour and alpha.
void SetModulateTextureStage();
// Filtering and addressing of one sampler from the configured anisotropy; multisample antialiasing
// follows the presentation's multisample type.
void SetSamplerFilter(std::uint32_t stage);
// The states every 3D pass starts from. Blending itself is left to the code that draws blended.
void SetDefaultRenderStates();

// One pre-transformed vertex of a screen quad: position, 1/w, diffuse and specular, one texture
// coordinate set (kColorQuadFvf).
struct ScreenVertex {
    float x, y, z, rhw;
    std::uint32_t diffuse, specular;
    float u, v;
};
constexpr std::uint32_t kColorQuadFvf = plat::kFvfXyzRhw | plat::kFvfDiffuse | plat::kFvfSpecular | plat::kFvfTex1;
static_assert(sizeof(ScreenVertex) == 32, "the quad's vertices are 32 bytes apart");

// The four corners of the quad as a triangle strip: top-left, top-right, bottom-left, bottom-right,
// with the texture stretched over it once.
std::array<ScreenVertex, 4> ColorQuadVertices(int left, int top, int right, int bottom, std::uint32_t colour);
// Draws the quad with culling, lighting and multisampling off; texture, blending and depth states are
// the caller's.
void DrawColorQuad(int left, int top, int right, int bottom, std::uint32_t colour);
