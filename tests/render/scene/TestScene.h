// The renderer's test scene: text in each alignment from a tiny bitmap font made here, and two lit,
// textured, fogged quads at two depths. Read back by the GL test.
#pragma once

#include <filesystem>
#include <fstream>

#include "render/Camera.h"
#include "render/DXSprite.h"
#include "render/DirectionalLight.h"
#include "render/Material.h"
#include "render/RenderDevice.h"
#include "render/SpriteFont.h"
#include "render/TextureCache.h"

namespace rendertest {

using namespace trivale;

// A 32-bit top-down TGA of the texels (0xAARRGGBB, rows top first).
inline std::vector<unsigned char> MakeTga(int width, int height, const std::vector<std::uint32_t>& texels) {
    std::vector<unsigned char> tga{0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    for (int side : {width, height}) tga.insert(tga.end(), {std::uint8_t(side), std::uint8_t(side >> 8)});
    tga.insert(tga.end(), {32, 0x28});  // eight alpha bits, top row first
    for (std::uint32_t t : texels)
        tga.insert(tga.end(), {std::uint8_t(t), std::uint8_t(t >> 8), std::uint8_t(t >> 16), std::uint8_t(t >> 24)});
    return tga;
}

// Codes 32 to 95 in 8 x 8 cells, eight to a row, two glyph sets one above the other (64 x 128).
// Letters are 5 x 7 one column in; '#' fills its cell, in set 1 only the left half.
const int kFontFirst = 32, kFontLast = 95, kCell = 8;

inline std::vector<unsigned char> MakeFontTga() {
    const char* glyphs[] = {"C.###.#...##....#....#....#...#.###.", "E######....#....####.#....#....#####",
                            "F######....#....####.#....#....#....", "G.###.#...##....#.####...##...#.###.",
                            "H#...##...##...#######...##...##...#", "I.###...#....#....#....#....#...###.",
                            "L#....#....#....#....#....#....#####", "N#...###..##.#.##..###...##...##...#",
                            "R####.#...##...#####.#.#..#..#.#...#", "T#####..#....#....#....#....#....#.."};
    std::vector<std::uint32_t> texels(64 * 128, 0);
    auto set = [&](int code, int x, int y) { texels[((code / 8) * kCell + y) * 64 + (code % 8) * kCell + x] = ~0u; };
    for (int base = -kFontFirst; base < 64; base += kFontLast - kFontFirst + 1) {
        for (int i = 0; i < 64; ++i) set(base + '#', i % (base < 0 ? 8 : 4), i / (base < 0 ? 8 : 4) % 8);
        for (const char* g : glyphs) {
            for (int i = 0; i < 35; ++i) {
                if (g[1 + i] == '#') set(base + g[0], 1 + i % 5, i / 5);
            }
        }
    }
    return MakeTga(64, 128, texels);
}

const std::uint32_t kCheckerA = 0xFF4080C0, kCheckerB = 0xFFC08040, kSceneClear = 0xFF203040;
const float kNearDepth = 20.0f, kFarDepth = 40.0f;

inline void WriteSceneFiles(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir / "fonts");
    for (const auto& [name, bytes] :
         {std::pair{"fonts/tiny8.tga", MakeFontTga()},
          std::pair{"checker.tga", MakeTga(2, 2, {kCheckerA, kCheckerB, kCheckerB, kCheckerA})}})
        std::ofstream(dir / name, std::ios::binary) << std::string(bytes.begin(), bytes.end());
}

// Made once the driver's device exists. Text at the top in three alignments (x3), strips along the
// bottom; two quads facing the camera, lit by 0.25 ambient plus 0.5 diffuse straight on and fogged
// linearly towards red from 10 to 50.
class TestScene {
public:
    TestScene() : batch_(new type_a::CDXSprite()) {
        type_a::CTexture* font = cache_.GetTexture("fonts\\tiny8.tga", false, "", plat::Format::Unknown);
        font_.Initialize(batch_.get(), font, kCell, kCell, kFontFirst, kFontLast);
        narrow_.Initialize(batch_.get(), font, kCell, kCell, kFontFirst, kFontLast);
        narrow_.SetCharWidth(7);
        checker_ = cache_.GetTexture("checker.tga", false, "", plat::Format::Unknown);
        width_ = static_cast<int>(type_a::CurrentDevice().GetParameters().backBufferWidth);
        height_ = static_cast<int>(type_a::CurrentDevice().GetParameters().backBufferHeight);
        camera_.SetTarget(0, 0, 1);
        camera_.SetPerspective(3.14159265f / 2, float(width_) / float(height_), 1, 100);
        material_.SetAmbient(1, 1, 1, 1);
        material_.SetSpecular(0, 0, 0, 0, 1);
        light_.SetDirection(plat::MakeVector3(0, 0, 1));
        light_.SetDiffuse(0.5f, 0.5f, 0.5f, 1);
        light_.SetAmbient(0.25f, 0.25f, 0.25f, 1);
        light_.SetSpecular(0, 0, 0, 0);
    }

    void Draw() {
        plat::IGraphicsDevice& device = type_a::CurrentDevice();
        device.Clear(0, nullptr, plat::kClearTarget | plat::kClearZBuffer, kSceneClear, 1.0f, 0);
        device.BeginScene();
        using RS = plat::RenderState;
        device.SetRenderState(RS::CullMode, plat::Cull::None);
        device.SetRenderState(RS::Lighting, true);
        device.SetRenderState(RS::FogEnable, true);
        device.SetRenderState(RS::FogVertexMode, plat::FogMode::Linear);
        device.SetRenderState(RS::FogStart, plat::FloatBits(10));
        device.SetRenderState(RS::FogEnd, plat::FloatBits(50));
        device.SetRenderState(RS::FogColour, 0xFFFF0000u);
        camera_.ApplyViewTransform();
        material_.Apply();
        light_.Apply(0);
        checker_->Apply();
        device.SetFVF(plat::kFvfXyz | plat::kFvfNormal | plat::kFvfTex1);
        const float quads[2][4] = {{-16, -4, 6, kNearDepth}, {8, 32, 12, kFarDepth}};  // left, right, half height, z
        for (auto [left, right, half, z] : quads) {
            const float quad[4][8] = {{left, half, z, 0, 0, -1, 0, 0},
                                      {right, half, z, 0, 0, -1, 1, 0},  //
                                      {left, -half, z, 0, 0, -1, 0, 1},
                                      {right, -half, z, 0, 0, -1, 1, 1}};
            device.DrawPrimitiveUP(plat::PrimitiveType::TriangleStrip, 2, quad, sizeof quad[0]);
        }
        const int middle = width_ / 2;
        batch_->Begin(0x10);
        font_.DrawTextScaled("LEFT", 16, 16, 3, 3, 0, 0xFFFFFFFF, 0);
        font_.DrawTextScaled("CENTRE", middle, 16, 3, 3, 0, 0xFFFFFF00, 1);
        font_.DrawTextScaled("RIGHT", width_ - 16, 16, 3, 3, 0, 0xFF00FFFF, 2);
        const int blocks[] = {100, middle, width_ - 100};
        for (int align = 0; align < 3; ++align) font_.DrawText("##", blocks[align], height_ - 80, 0, ~0u, align);
        font_.DrawText("#", 100, height_ - 60, 1, 0xFF00FF00, 0);
        narrow_.DrawText("###", middle, height_ - 60, 0, 0xFFFF00FF, 1);
        font_.DrawText("L\x80\x81L", 100, height_ - 40, 0, 0xFFFFFFFF, 0);
        batch_->End();
        device.EndScene();
    }

private:
    int width_ = 0, height_ = 0;
    type_a::CTextureCache cache_;
    std::unique_ptr<type_a::CDXSprite> batch_;
    type_a::CSpriteFont font_, narrow_;
    type_a::CTexture* checker_ = nullptr;
    type_a::CCamera camera_;
    type_a::CMaterial material_;
    type_a::CDirectionalLight light_;
};

}  // namespace rendertest
