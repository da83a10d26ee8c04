// The sprite batch and the sphere mesh against the recording device: the states saved at Begin and
// put back at End, the draws made at End, and the sphere's geometry.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "gfxkit/Math3D.h"
#include "gfxkit/SpriteBatch.h"
#include "platform/GraphicsFake.h"

namespace plat {
namespace {

// A device state of any of the three kinds (samplers of stage 0), with its value before Begin and between
// Begin and End; Access sets it first when given a value, and reads it.
struct StateRow {
    std::variant<RenderState, StageState, SamplerState> state;
    uint32_t before, during, stage = 0;
    uint32_t Access(IGraphicsDevice& d, const uint32_t* set) const {
        uint32_t v = ~0u;
        if (auto* s = std::get_if<RenderState>(&state)) {
            if (set) d.SetRenderState(*s, *set);
            d.GetRenderState(*s, v);
        } else if (auto* t = std::get_if<StageState>(&state)) {
            if (set) d.SetTextureStageState(stage, *t, *set);
            d.GetTextureStageState(stage, *t, v);
        } else {
            if (set) d.SetSamplerState(0, std::get<SamplerState>(state), *set);
            d.GetSamplerState(0, std::get<SamplerState>(state), v);
        }
        return v;
    }
};

class SpriteFakeTest : public ::testing::Test {
protected:
    void SetUp() override {
        state_ = std::make_shared<FakeGraphicsState>();
        state_->adapters.push_back(MakeFakeAdapter("fake"));
        system_ = CreateFakeGraphicsSystem(state_);
        PresentParameters p;
        p.backBufferWidth = p.backBufferHeight = 64;
        p.windowed = true;
        ASSERT_EQ(system_->CreateDevice(0, DeviceType::Hardware, nullptr, 0, p, device_), gfx::kOk);
        for (auto& texture : textures_)
            ASSERT_EQ(device_->CreateTexture(16, 8, 1, 0, Format::Argb8888, Pool::Managed, texture), gfx::kOk);
        ASSERT_EQ(SpriteBatch::Create(device_.get(), batch_), gfx::kOk);
        state_->journal.clear();
    }
    // The journal's texture binds (by name), draws, vertex formats and transforms, in one line.
    std::string Draws() {
        std::string out;
        for (const std::string& l : state_->journal) {
            const std::string draw = "DrawIndexedPrimitiveUP(TriangleList, 0, ";
            if (l.rfind("SetTexture(0, ", 0) == 0) out += l.substr(14, l.size() - 15) + " ";
            if (l.rfind(draw, 0) == 0) out += "draw(" + l.substr(draw.size()) + " ";
            if (l.rfind("SetFVF", 0) == 0 || l.rfind("SetTransform", 0) == 0) out += l + " ";
        }
        state_->journal.clear();
        return out;
    }

    std::shared_ptr<FakeGraphicsState> state_;
    std::unique_ptr<IGraphicsSystem> system_;
    std::unique_ptr<IGraphicsDevice> device_;
    std::unique_ptr<ITexture> textures_[2];  // T1, T2
    std::unique_ptr<SpriteBatch> batch_;
};

TEST_F(SpriteFakeTest, BeginSetsSpriteStatesAndEndPutsTheCallersBack) {
    // Depth is the caller's; the last column is the stage; the magnification filter is set to Point
    // between Begin and End, below.
    using R = RenderState;
    using T = StageState;
    using S = SamplerState;
    // clang-format off
    const StateRow rows[] = {
        {R::AlphaBlendEnable, 0, 1, 0}, {R::SrcBlend, 2, 5, 0}, {R::DestBlend, 1, 6, 0},
        {R::AlphaTestEnable, 0, 1, 0}, {R::AlphaFunc, 8, 5, 0}, {R::AlphaRef, 9, 0, 0}, {R::CullMode, 3, 1, 0},
        {R::Lighting, 1, 0, 0}, {R::FogEnable, 1, 0, 0}, {R::SpecularEnable, 1, 0, 0}, {R::ZEnable, 1, 1, 0},
        {T::ColourOp, 2, 4, 0}, {T::ColourArg1, 1, 2, 0}, {T::AlphaOp, 2, 4, 0},
        {T::TexCoordIndex, kTexCoordSphereMap, 0, 0}, {T::TextureTransformFlags, 2, 0, 0},
        {T::ColourOp, 25, 1, 1}, {S::AddressU, 1, 3, 0}, {S::MagFilter, 2, 2, 0}, {S::MinFilter, 1, 2, 0},
        {S::MipFilter, 0, 2, 0}};
    // clang-format on
    auto expect = [&](bool during) {
        for (const StateRow& r : rows)
            EXPECT_EQ(r.Access(*device_, nullptr), during ? r.during : r.before) << &r - rows;
    };
    for (const StateRow& r : rows) r.Access(*device_, &r.before);
    device_->SetTexture(0, textures_[1].get());
    device_->SetFVF(0x112);

    ASSERT_EQ(batch_->Begin(SpriteFlag::AlphaBlend), gfx::kOk);
    state_->journal.clear();
    expect(true);
    // Set between Begin and End (as a font does), so in force when End draws, then put back.
    device_->SetSamplerState(0, SamplerState::MagFilter, TextureFilter::Point);
    const Rect cell = MakeRect(8, 0, 16, 8);
    batch_->Draw(textures_[0].get(), &cell, nullptr, nullptr, 0xFFFFFFFF);
    batch_->Draw(textures_[0].get(), nullptr, nullptr, nullptr, 0x80FFFFFF);
    EXPECT_EQ(Draws(), "") << "nothing is drawn before End";
    ASSERT_EQ(batch_->End(), gfx::kOk);
    EXPECT_EQ(Draws(), "SetFVF(0x144) T1 draw(8, 4, 28) T2 SetFVF(0x112) ");
    expect(false);
}

TEST_F(SpriteFakeTest, OneDrawPerRunOfATexture) {
    ITexture *a = textures_[0].get(), *b = textures_[1].get();
    // The last: 20,000 quads are more than 16-bit indices reach in one call.
    const struct {
        SpriteFlag flags;
        std::vector<ITexture*> sprites;
        std::string draws;
    } cases[] = {
        {SpriteFlag::None,
         {a, a, b, a},
         "SetFVF(0x144) T1 draw(8, 4, 28) T2 draw(4, 2, 28) T1 draw(4, 2, 28) null SetFVF(0x2) "},
        {SpriteFlag::SortTexture, {b, a, b, a}, "SetFVF(0x144) T2 draw(8, 4, 28) T1 draw(8, 4, 28) null SetFVF(0x2) "},
        {SpriteFlag::DoNotSaveState, {a}, "SetFVF(0x144) T1 draw(4, 2, 28) "},
        {SpriteFlag::None, std::vector<ITexture*>(20000, a),
         "SetFVF(0x144) T1 draw(65536, 32768, 28) T1 draw(14464, 7232, 28) null SetFVF(0x2) "},
    };
    for (const auto& c : cases) {
        device_->SetTexture(0, nullptr);
        device_->SetFVF(kFvfXyz);
        state_->journal.clear();
        ASSERT_EQ(batch_->Begin(c.flags), gfx::kOk);
        for (ITexture* t : c.sprites) batch_->Draw(t, nullptr, nullptr, nullptr, 0xFFFFFFFF);
        EXPECT_EQ(batch_->End(), gfx::kOk);
        EXPECT_EQ(Draws(), c.draws) << "flags " << uint32_t(c.flags) << ", " << c.sprites.size() << " sprites";
    }
}

// Billboards themselves are drawn, sorted, in ParticleLayersTest; here End puts back the transforms the
// draw replaced.
TEST_F(SpriteFakeTest, BillboardsPutTheTransformsBack) {
    const Matrix world = MatrixScaling(2, 2, 2), view = MatrixTranslation(0, 0, 7);
    device_->SetTransform(TransformKind::World, world);
    device_->SetTransform(TransformKind::View, view);
    batch_->SetWorldViewLH(&world, &view);
    ASSERT_EQ(batch_->Begin(SpriteFlag::ObjectSpace | SpriteFlag::Billboard), gfx::kOk);
    const Vector3 at{0, 0, 10};
    batch_->Draw(textures_[0].get(), nullptr, nullptr, &at, 0xFFFFFFFF);
    ASSERT_EQ(batch_->End(), gfx::kOk);
    EXPECT_NE(Draws().find("SetTransform(World, 1 0 0 0 / 0 1 0 0 / 0 0 1 0 / 0 0 0 1)"), std::string::npos);
    Matrix after[2];
    device_->GetTransform(TransformKind::World, after[0]);
    device_->GetTransform(TransformKind::View, after[1]);
    EXPECT_EQ(std::memcmp(&after[0], &world, sizeof world) | std::memcmp(&after[1], &view, sizeof view), 0);
}

// Depth sorts keep sprites of equal depth (-0 and +0 among them) in the order they were queued, either
// way; the colour numbers the sprites in the vertices drawn. The last: many sprites, many ties.
TEST_F(SpriteFakeTest, DepthSortsAreStable) {
    const SpriteFlag near = SpriteFlag::SortDepthFrontToBack, far = SpriteFlag::SortDepthBackToFront;
    std::vector<float> many(3000);
    for (size_t i = 0; i < many.size(); ++i) many[i] = static_cast<float>(i * 37 % 101) * 0.5f - 20.0f;
    const struct {
        SpriteFlag sort;
        std::vector<float> depths;
        std::vector<uint32_t> order;  // empty: a stable sort's
    } cases[] = {{near, {3, -1, 3, 0, -0.0f, -1e30f, 2.5f}, {5, 1, 3, 4, 6, 0, 2}},
                 {far, {3, -1, 3, 0, -0.0f, -1e30f, 2.5f}, {0, 2, 6, 3, 4, 1, 5}},
                 {SpriteFlag::None, {2, 1, 3}, {0, 1, 2}},
                 {near, many, {}},
                 {far, many, {}}};
    for (const auto& c : cases) {
        std::vector<uint32_t> expected = c.order;
        if (expected.empty()) {
            for (uint32_t i = 0; i < c.depths.size(); ++i) expected.push_back(i);
            std::stable_sort(expected.begin(), expected.end(), [&c, far](uint32_t a, uint32_t b) {
                return c.sort == far ? c.depths[a] > c.depths[b] : c.depths[a] < c.depths[b];
            });
        }
        ASSERT_EQ(batch_->Begin(SpriteFlag::ObjectSpace | c.sort), gfx::kOk);
        for (uint32_t i = 0; i < c.depths.size(); ++i) {
            const Vector3 at{0, 0, c.depths[i]};
            batch_->Draw(textures_[0].get(), nullptr, nullptr, &at, i);
        }
        ASSERT_EQ(batch_->End(), gfx::kOk);
        size_t bytes = 0;
        const uint8_t* drawn = batch_->GetDrawnVertices(bytes);
        std::vector<uint32_t> order(bytes / 96);
        for (size_t q = 0; q < order.size(); ++q) std::memcpy(&order[q], drawn + q * 96 + 12, 4);
        EXPECT_EQ(order, expected) << uint32_t(c.sort) << ", " << c.depths.size() << " sprites";
    }
}

TEST_F(SpriteFakeTest, RefusesMisuse) {
    EXPECT_EQ(batch_->Draw(textures_[0].get(), nullptr, nullptr, nullptr, 0), gfx::kInvalidCall) << "before Begin";
    EXPECT_EQ(batch_->End(), gfx::kInvalidCall);
    ASSERT_EQ(batch_->Begin(SpriteFlag::AlphaBlend), gfx::kOk);
    EXPECT_EQ(batch_->Begin(SpriteFlag::AlphaBlend), gfx::kInvalidCall);
    batch_->Draw(textures_[0].get(), nullptr, nullptr, nullptr, 0);
    batch_->OnLostDevice();
    batch_->OnResetDevice();
    EXPECT_EQ(batch_->End(), gfx::kInvalidCall) << "a loss closes the batch and drops its sprites";
    EXPECT_EQ(Draws(), "");
}

TEST_F(SpriteFakeTest, SphereIsClosedAndFacesOutwards) {
    std::unique_ptr<SphereMesh> mesh;
    // Clockwise from outside is the front: the cross product of two edges points away from the centre.
    const struct { uint32_t slices, stacks; } shapes[] = {{12, 12}, {3, 2}, {3, 7}};
    for (const auto& shape : shapes) {
        ASSERT_EQ(SphereMesh::Create(device_.get(), 2.0f, shape.slices, shape.stacks, mesh), gfx::kOk);
        void *vertices = nullptr, *indices = nullptr;
        ASSERT_EQ(mesh->GetVertexBuffer()->Lock(0, 0, &vertices, 0), gfx::kOk);
        ASSERT_EQ(mesh->GetIndexBuffer()->Lock(0, 0, &indices, 0), gfx::kOk);
        const auto* v = static_cast<const Vector3(*)[2]>(vertices);  // position, normal
        const auto* index = static_cast<const uint16_t*>(indices);
        std::vector<int> uses(mesh->GetVertexCount());
        for (size_t f = 0; f < mesh->GetFaceCount() * 3; f += 3) {
            for (int k = 0; k < 3; ++k) ASSERT_LT(index[f + k], uses.size());
            for (int k = 0; k < 3; ++k) ++uses[index[f + k]];
            const Vector3 &a = v[index[f]][0], &b = v[index[f + 1]][0], &c = v[index[f + 2]][0];
            EXPECT_GT(Vec3Dot(Vec3Cross(b - a, c - a), a + b + c), 0.0f) << "face " << f / 3;
        }
        mesh->GetVertexBuffer()->Unlock(), mesh->GetIndexBuffer()->Unlock();
        for (size_t i = 0; i < uses.size(); ++i) EXPECT_GT(uses[i], 0) << "vertex " << i << " unused";
    }
    const struct {
        float radius;
        uint32_t slices, stacks;
    } refused[] = {{-1, 12, 12}, {1, 1, 12}, {1, 12, 1}, {1, 65535, 3}, {NAN, 12, 12}};
    for (const auto& r : refused) {
        EXPECT_EQ(SphereMesh::Create(device_.get(), r.radius, r.slices, r.stacks, mesh), gfx::kInvalidCall) << r.slices;
        EXPECT_EQ(mesh, nullptr);
    }
    EXPECT_EQ(SphereMesh::Create(nullptr, 1, 12, 12, mesh), gfx::kInvalidCall);
}

}  // namespace
}  // namespace plat
