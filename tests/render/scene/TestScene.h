// The renderer's test scene: text in each alignment from a tiny bitmap font made here, and two lit,
// textured, fogged quads at two depths. Shared by the read-back tests and the demo program, which
// shows the same scene in a window.
#pragma once

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "render/Camera.h"
#include "render/DXSprite.h"
#include "render/DirectionalLight.h"
#include "render/Material.h"
#include "render/RenderDevice.h"
#include "render/SpriteFont.h"
#include "render/TextureCache.h"

namespace rendertest {

using namespace trivale;

// A 32-bit top-down TGA with alpha of the given texels (0xAARRGGBB, rows top first).
inline std::vector<unsigned char> MakeTga(int width, int height, const std::vector<std::uint32_t>& texels) {
    std::vector<unsigned char> tga(18, 0);
    tga[2] = 2;
    tga[12] = static_cast<unsigned char>(width);
    tga[13] = static_cast<unsigned char>(width >> 8);
    tga[14] = static_cast<unsigned char>(height);
    tga[15] = static_cast<unsigned char>(height >> 8);
    tga[16] = 32;
    tga[17] = 0x28;  // eight alpha bits, top row first
    for (std::uint32_t texel : texels) {
        for (int i = 0; i < 4; ++i) tga.push_back(static_cast<unsigned char>(texel >> (8 * i)));
    }
    return tga;
}

// Font: codes 32 to 95 in 8 x 8 cells, eight to a row, two glyph sets one above the other (64 x 128).
// Letters are 5 x 7 one column in; '#' fills its cell, in set 1 only the left half.
const int kFontFirst = 32, kFontLast = 95, kCell = 8;

inline std::vector<unsigned char> MakeFontTga() {
    static const struct {
        char code;
        const char* rows;  // seven rows of five
    } kGlyphs[] = {
        {'C', ".###.#...##....#....#....#...#.###."}, {'E', "######....#....####.#....#....#####"},
        {'F', "######....#....####.#....#....#...."}, {'G', ".###.#...##....#.####...##...#.###."},
        {'H', "#...##...##...#######...##...##...#"}, {'I', ".###...#....#....#....#....#...###."},
        {'L', "#....#....#....#....#....#....#####"}, {'N', "#...###..##.#.##..###...##...##...#"},
        {'R', "####.#...##...#####.#.#..#..#.#...#"}, {'T', "#####..#....#....#....#....#....#.."},
    };
    const int width = 8 * kCell, setSize = kFontLast - kFontFirst + 1;
    std::vector<std::uint32_t> texels(static_cast<std::size_t>(width * 16 * kCell), 0);
    auto set = [&](int cell, int x, int y) {
        texels[static_cast<std::size_t>(((cell / 8) * kCell + y) * width + (cell % 8) * kCell + x)] = 0xFFFFFFFFu;
    };
    for (int variant = 0; variant < 2; ++variant) {
        const int base = variant * setSize - kFontFirst;
        for (int y = 0; y < kCell; ++y) {
            for (int x = 0; x < (variant == 0 ? kCell : kCell / 2); ++x) set(base + '#', x, y);
        }
        for (const auto& glyph : kGlyphs) {
            for (int i = 0; i < 35; ++i) {
                if (glyph.rows[i] == '#') set(base + glyph.code, 1 + i % 5, i / 5);
            }
        }
    }
    return MakeTga(width, 16 * kCell, texels);
}

const std::uint32_t kCheckerA = 0xFF4080C0, kCheckerB = 0xFFC08040;  // a 2 x 2 checker for the quads
const std::uint32_t kSceneClear = 0xFF203040, kFogColour = 0xFFFF0000;
const float kFogStart = 10.0f, kFogEnd = 50.0f, kNearDepth = 20.0f, kFarDepth = 40.0f;

inline void WriteSceneFiles(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir / "fonts");
    const std::pair<const char*, std::vector<unsigned char>> files[] = {
        {"fonts/tiny8.tga", MakeFontTga()},
        {"checker.tga", MakeTga(2, 2, {kCheckerA, kCheckerB, kCheckerB, kCheckerA})}};
    for (const auto& file : files) {
        std::ofstream(dir / file.first, std::ios::binary)
            .write(reinterpret_cast<const char*>(file.second.data()), static_cast<std::streamsize>(file.second.size()));
    }
}

// Everything the scene draws with; made once the driver's device exists. Text goes at the top in
// three alignments (scaled x3), test strips along the bottom; two quads face the camera, lit by
// 0.25 ambient plus 0.5 diffuse straight on, and fogged towards red from 10 to 50.
class TestScene {
public:
    TestScene() : batch_(new type_a::CDXSprite()) {
        type_a::CTexture* font = cache_.GetTexture("fonts\\tiny8.tga", false, "", plat::Format::Unknown);
        font_.Initialize(batch_.get(), font, kCell, kCell, kFontFirst, kFontLast);
        narrow_.Initialize(batch_.get(), font, kCell, kCell, kFontFirst, kFontLast);
        narrow_.SetCharWidth(7);
        checker_ = cache_.GetTexture("checker.tga", false, "", plat::Format::Unknown);
        const plat::PresentParameters& p = type_a::CurrentDevice().GetParameters();
        width_ = static_cast<int>(p.backBufferWidth);
        height_ = static_cast<int>(p.backBufferHeight);
        camera_.SetTarget(0, 0, 1);
        camera_.SetPerspective(3.14159265f / 2, Aspect(), 1, 100);
        material_.SetAmbient(1, 1, 1, 1);
        material_.SetSpecular(0, 0, 0, 0, 1);
        light_.SetDirection(plat::MakeVector3(0, 0, 1));
        light_.SetDiffuse(0.5f, 0.5f, 0.5f, 1);
        light_.SetAmbient(0.25f, 0.25f, 0.25f, 1);
        light_.SetSpecular(0, 0, 0, 0);
    }
    ~TestScene() { cache_.Clear(); }

    void Draw() {
        plat::IGraphicsDevice& device = type_a::CurrentDevice();
        device.Clear(0, nullptr, plat::kClearTarget | plat::kClearZBuffer, kSceneClear, 1.0f, 0);
        device.BeginScene();
        using plat::RenderState;
        device.SetRenderState(RenderState::ZEnable, false);
        device.SetRenderState(RenderState::CullMode, plat::Cull::None);
        device.SetRenderState(RenderState::Lighting, true);
        device.SetRenderState(RenderState::FogEnable, true);
        device.SetRenderState(RenderState::FogVertexMode, plat::FogMode::Linear);
        device.SetRenderState(RenderState::FogStart, plat::FloatBits(kFogStart));
        device.SetRenderState(RenderState::FogEnd, plat::FloatBits(kFogEnd));
        device.SetRenderState(RenderState::FogColour, kFogColour);
        camera_.ApplyViewTransform();
        material_.Apply();
        light_.Apply(0);
        checker_->Apply();
        device.SetFVF(plat::kFvfXyz | plat::kFvfNormal | plat::kFvfTex1);
        Quad(device, -16, -4, 6, kNearDepth);
        Quad(device, 8, 32, 12, kFarDepth);

        const int middle = width_ / 2;
        batch_->Begin(0x10);
        font_.DrawTextScaled("LEFT", 16, 16, 3, 3, 0, 0xFFFFFFFF, 0);
        font_.DrawTextScaled("CENTRE", middle, 16, 3, 3, 0, 0xFFFFFF00, 1);
        font_.DrawTextScaled("RIGHT", width_ - 16, 16, 3, 3, 0, 0xFF00FFFF, 2);
        font_.DrawText("##", 100, height_ - 80, 0, 0xFFFFFFFF, 0);
        font_.DrawText("##", middle, height_ - 80, 0, 0xFFFFFFFF, 1);
        font_.DrawText("##", width_ - 100, height_ - 80, 0, 0xFFFFFFFF, 2);
        font_.DrawText("#", 100, height_ - 60, 1, 0xFF00FF00, 0);
        narrow_.DrawText("###", middle, height_ - 60, 0, 0xFFFF00FF, 1);
        font_.DrawText("L\x80\x81L", 100, height_ - 40, 0, 0xFFFFFFFF, 0);
        batch_->End();
        device.EndScene();
    }

    int Width() const { return width_; }
    int Height() const { return height_; }
    float Aspect() const { return static_cast<float>(width_) / static_cast<float>(height_); }

private:
    // A quad facing the camera at depth z, from left to right and from -half to half.
    static void Quad(plat::IGraphicsDevice& device, float left, float right, float half, float z) {
        const float quad[4][8] = {{left, half, z, 0, 0, -1, 0, 0},
                                  {right, half, z, 0, 0, -1, 1, 0},
                                  {left, -half, z, 0, 0, -1, 0, 1},
                                  {right, -half, z, 0, 0, -1, 1, 1}};
        device.DrawPrimitiveUP(plat::PrimitiveType::TriangleStrip, 2, quad, sizeof quad[0]);
    }

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
