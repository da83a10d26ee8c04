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
// Set 1 differs only in '#': the left half of the cell instead of all of it.
const int kFontFirst = 32, kFontLast = 95, kCell = 8;

inline const char* const* GlyphRows(char c) {
    static const char* const kC[] = {".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."};
    static const char* const kE[] = {"#####", "#....", "#....", "####.", "#....", "#....", "#####"};
    static const char* const kF[] = {"#####", "#....", "#....", "####.", "#....", "#....", "#...."};
    static const char* const kG[] = {".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".###."};
    static const char* const kH[] = {"#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"};
    static const char* const kI[] = {".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."};
    static const char* const kL[] = {"#....", "#....", "#....", "#....", "#....", "#....", "#####"};
    static const char* const kN[] = {"#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"};
    static const char* const kR[] = {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"};
    static const char* const kT[] = {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."};
    switch (c) {
    case 'C':
        return kC;
    case 'E':
        return kE;
    case 'F':
        return kF;
    case 'G':
        return kG;
    case 'H':
        return kH;
    case 'I':
        return kI;
    case 'L':
        return kL;
    case 'N':
        return kN;
    case 'R':
        return kR;
    case 'T':
        return kT;
    default:
        return nullptr;
    }
}

inline std::vector<unsigned char> MakeFontTga() {
    const int width = 8 * kCell, height = 16 * kCell, setSize = kFontLast - kFontFirst + 1;
    std::vector<std::uint32_t> texels(static_cast<std::size_t>(width * height), 0);
    for (int set = 0; set < 2; ++set) {
        for (int code = kFontFirst; code <= kFontLast; ++code) {
            const int cell = set * setSize + code - kFontFirst;
            const int x0 = (cell % 8) * kCell, y0 = (cell / 8) * kCell;
            for (int y = 0; y < kCell; ++y) {
                for (int x = 0; x < kCell; ++x) {
                    bool on = false;
                    if (code == '#') {
                        on = set == 0 || x < kCell / 2;
                    } else if (const char* const* rows = GlyphRows(static_cast<char>(code))) {
                        on = x >= 1 && x <= 5 && y < 7 && rows[y][x - 1] == '#';  // 5 x 7 glyphs, one column in
                    }
                    if (on) texels[static_cast<std::size_t>((y0 + y) * width + x0 + x)] = 0xFFFFFFFFu;
                }
            }
        }
    }
    return MakeTga(width, height, texels);
}

// 2 x 2 checker for the quads.
const std::uint32_t kCheckerA = 0xFF4080C0, kCheckerB = 0xFFC08040;
inline std::vector<unsigned char> MakeCheckerTga() {
    return MakeTga(2, 2, {kCheckerA, kCheckerB, kCheckerB, kCheckerA});
}

inline void WriteSceneFiles(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir / "fonts");
    const std::pair<const char*, std::vector<unsigned char>> files[] = {{"fonts/tiny8.tga", MakeFontTga()},
                                                                        {"checker.tga", MakeCheckerTga()}};
    for (const auto& file : files) {
        std::ofstream out(dir / file.first, std::ios::binary);
        out.write(reinterpret_cast<const char*>(file.second.data()), static_cast<std::streamsize>(file.second.size()));
    }
}

const std::uint32_t kSceneClear = 0xFF203040;
const std::uint32_t kFogColour = 0xFFFF0000;
const float kFogStart = 10.0f, kFogEnd = 50.0f;
const float kNearDepth = 20.0f, kFarDepth = 40.0f;

struct SceneVertex {
    float x, y, z, nx, ny, nz, u, v;
};

// Everything the scene draws with; made once the driver's device exists.
class TestScene {
public:
    TestScene() : batch_(new type_a::CDXSprite()) {
        font_.Initialize(
            batch_.get(),
            cache_.GetTexture(std::string("fonts\\tiny8.tga"), false, std::string(), plat::Format::Unknown), kCell,
            kCell, kFontFirst, kFontLast);
        narrow_.Initialize(
            font_.GetSprite().GetSpriteBatch(),
            cache_.GetTexture(std::string("fonts\\tiny8.tga"), false, std::string(), plat::Format::Unknown), kCell,
            kCell, kFontFirst, kFontLast);
        narrow_.SetCharWidth(7);
        checker_ = cache_.GetTexture(std::string("checker.tga"), false, std::string(), plat::Format::Unknown);
        const plat::PresentParameters& p = type_a::CurrentDevice().GetParameters();
        width_ = static_cast<int>(p.backBufferWidth);
        height_ = static_cast<int>(p.backBufferHeight);
        camera_.SetPosition(0, 0, 0);
        camera_.SetTarget(0, 0, 1);
        camera_.SetPerspective(3.14159265f / 2, Aspect(), 1, 100);
        material_.SetAmbient(1, 1, 1, 1);
        material_.SetSpecular(0, 0, 0, 0, 1);
        light_.SetDirection(plat::MakeVector3(0, 0, 1));  // straight into the quads
        light_.SetDiffuse(0.5f, 0.5f, 0.5f, 1);
        light_.SetAmbient(0.25f, 0.25f, 0.25f, 1);
        light_.SetSpecular(0, 0, 0, 0);
    }
    ~TestScene() { cache_.Clear(); }

    void Draw() {
        plat::IGraphicsDevice& device = type_a::CurrentDevice();
        device.Clear(0, nullptr, plat::kClearTarget | plat::kClearZBuffer, kSceneClear, 1.0f, 0);
        device.BeginScene();
        DrawQuads(device);
        DrawTexts();
        device.EndScene();
    }

    void DrawQuads(plat::IGraphicsDevice& device) {
        device.SetRenderState(plat::RenderState::ZEnable, false);
        device.SetRenderState(plat::RenderState::CullMode, plat::Cull::None);
        device.SetRenderState(plat::RenderState::Lighting, true);
        device.SetRenderState(plat::RenderState::Ambient, 0u);
        device.SetRenderState(plat::RenderState::FogEnable, true);
        device.SetRenderState(plat::RenderState::FogVertexMode, plat::FogMode::Linear);
        device.SetRenderState(plat::RenderState::FogTableMode, plat::FogMode::None);
        device.SetRenderState(plat::RenderState::FogStart, plat::FloatBits(kFogStart));
        device.SetRenderState(plat::RenderState::FogEnd, plat::FloatBits(kFogEnd));
        device.SetRenderState(plat::RenderState::FogColour, kFogColour);
        device.SetTransform(plat::TransformKind::World, plat::MatrixIdentity());
        camera_.ApplyViewTransform();
        material_.Apply();
        light_.Apply(0);
        checker_->Apply();
        device.SetFVF(plat::kFvfXyz | plat::kFvfNormal | plat::kFvfTex1);
        Quad(device, -16, -4, 6, kNearDepth);
        Quad(device, 8, 32, 12, kFarDepth);
        device.SetRenderState(plat::RenderState::FogEnable, false);
        device.SetTexture(0, nullptr);
    }

    void DrawTexts() {
        batch_->Begin(0x10);
        const int middle = width_ / 2, right = width_ - 16;
        font_.DrawTextScaled("LEFT", 16, 16, 3, 3, 0, 0xFFFFFFFF, 0);
        font_.DrawTextScaled("CENTRE", middle, 16, 3, 3, 0, 0xFFFFFF00, 1);
        font_.DrawTextScaled("RIGHT", right, 16, 3, 3, 0, 0xFF00FFFF, 2);
        font_.DrawText("##", 100, height_ - 80, 0, 0xFFFFFFFF, 0);
        font_.DrawText("##", middle, height_ - 80, 0, 0xFFFFFFFF, 1);
        font_.DrawText("##", width_ - 100, height_ - 80, 0, 0xFFFFFFFF, 2);
        font_.DrawText("#", 100, height_ - 60, 1, 0xFF00FF00, 0);
        narrow_.DrawText("###", middle, height_ - 60, 0, 0xFFFF00FF, 1);
        font_.DrawText("L\x80\x81L", 100, height_ - 40, 0, 0xFFFFFFFF, 0);
        batch_->End();
    }

    int Width() const { return width_; }
    int Height() const { return height_; }
    float Aspect() const { return static_cast<float>(width_) / static_cast<float>(height_); }
    type_a::CTextureCache& Cache() { return cache_; }
    type_a::CDXSprite& Batch() { return *batch_; }
    type_a::CSpriteFont& Font() { return font_; }

private:
    // A quad facing the camera at depth z, x from left to right, y from -half to half.
    static void Quad(plat::IGraphicsDevice& device, float left, float right, float half, float z) {
        const SceneVertex quad[4] = {{left, half, z, 0, 0, -1, 0, 0},
                                     {right, half, z, 0, 0, -1, 1, 0},
                                     {left, -half, z, 0, 0, -1, 0, 1},
                                     {right, -half, z, 0, 0, -1, 1, 1}};
        device.DrawPrimitiveUP(plat::PrimitiveType::TriangleStrip, 2, quad, sizeof(SceneVertex));
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
