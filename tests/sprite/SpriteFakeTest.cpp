// The sprite batch and the sphere mesh against the recording device: the states saved at Begin and
// put back at End, the draws made at End, and the sphere's geometry.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "platform/GraphicsFake.h"
#include "platform/SpriteBatch.h"

namespace plat {
namespace {

using Lines = std::vector<std::string>;

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
        for (auto& texture : textures_) {
            ASSERT_EQ(device_->CreateTexture(16, 8, 1, 0, Format::Argb8888, Pool::Managed, texture), gfx::kOk);
        }
        ASSERT_EQ(SpriteBatch::Create(device_.get(), batch_), gfx::kOk);
        state_->journal.clear();
    }
    // The journal lines that bind textures, set the vertex format or transforms, or draw.
    Lines Draws() {
        Lines lines;
        for (const std::string& line : state_->journal) {
            if (line.rfind("SetTexture(0", 0) == 0 || line.rfind("Draw", 0) == 0 || line.rfind("SetFVF", 0) == 0 ||
                line.rfind("SetTransform", 0) == 0) {
                lines.push_back(line);
            }
        }
        state_->journal.clear();
        return lines;
    }

    std::shared_ptr<FakeGraphicsState> state_;
    std::unique_ptr<IGraphicsSystem> system_;
    std::unique_ptr<IGraphicsDevice> device_;
    std::unique_ptr<ITexture> textures_[2];  // T1, T2
    std::unique_ptr<SpriteBatch> batch_;
};

TEST_F(SpriteFakeTest, BeginSetsSpriteStatesAndEndPutsTheCallersBack) {
    const struct {
        RenderState state;
        uint32_t before, during;
    } renders[] = {
        {RenderState::AlphaBlendEnable, 0, 1}, {RenderState::SrcBlend, 2, 5},  {RenderState::DestBlend, 1, 6},
        {RenderState::AlphaTestEnable, 0, 1},  {RenderState::AlphaFunc, 8, 5}, {RenderState::AlphaRef, 9, 0},
        {RenderState::CullMode, 3, 1},         {RenderState::Lighting, 1, 0},  {RenderState::FogEnable, 1, 0},
        {RenderState::SpecularEnable, 1, 0},   {RenderState::ZEnable, 1, 1}};  // depth is the caller's
    const struct {
        uint32_t stage;
        StageState state;
        uint32_t before, during;
    } stages[] = {{0, StageState::ColourOp, 2, 4},
                  {0, StageState::ColourArg1, 1, 2},
                  {0, StageState::AlphaOp, 2, 4},
                  {0, StageState::TexCoordIndex, kTexCoordSphereMap, 0},
                  {0, StageState::TextureTransformFlags, 2, 0},
                  {1, StageState::ColourOp, 25, 1}};
    const struct {
        SamplerState state;
        uint32_t before, during;
    } samplers[] = {{SamplerState::AddressU, 1, 3},
                    {SamplerState::MagFilter, 2, 2},  // Point from Begin to End, below
                    {SamplerState::MinFilter, 1, 2},
                    {SamplerState::MipFilter, 0, 2}};
    for (const auto& r : renders) device_->SetRenderState(r.state, r.before);
    for (const auto& s : stages) device_->SetTextureStageState(s.stage, s.state, s.before);
    for (const auto& s : samplers) device_->SetSamplerState(0, s.state, s.before);
    device_->SetTexture(0, textures_[1].get());
    device_->SetFVF(0x112);

    ASSERT_EQ(batch_->Begin(SpriteFlag::AlphaBlend), gfx::kOk);
    state_->journal.clear();
    uint32_t value = 0;
    for (const auto& r : renders) {
        device_->GetRenderState(r.state, value);
        EXPECT_EQ(value, r.during) << "render state " << static_cast<uint32_t>(r.state);
    }
    for (const auto& s : stages) {
        device_->GetTextureStageState(s.stage, s.state, value);
        EXPECT_EQ(value, s.during) << "stage " << s.stage << " state " << static_cast<uint32_t>(s.state);
    }
    for (const auto& s : samplers) {
        device_->GetSamplerState(0, s.state, value);
        EXPECT_EQ(value, s.during) << "sampler state " << static_cast<uint32_t>(s.state);
    }
    // Set between Begin and End (as a font does), so in force when End draws, then put back.
    device_->SetSamplerState(0, SamplerState::MagFilter, TextureFilter::Point);
    const Rect cell = MakeRect(8, 0, 16, 8);
    EXPECT_EQ(batch_->Draw(textures_[0].get(), &cell, nullptr, nullptr, 0xFFFFFFFF), gfx::kOk);
    EXPECT_EQ(batch_->Draw(textures_[0].get(), nullptr, nullptr, nullptr, 0x80FFFFFF), gfx::kOk);
    EXPECT_TRUE(Draws().empty()) << "nothing is drawn before End";
    ASSERT_EQ(batch_->End(), gfx::kOk);
    EXPECT_EQ(Draws(), (Lines{"SetFVF(0x144)", "SetTexture(0, T1)", "DrawIndexedPrimitiveUP(TriangleList, 0, 8, 4, 28)",
                              "SetTexture(0, T2)", "SetFVF(0x112)"}));

    for (const auto& r : renders) {
        device_->GetRenderState(r.state, value);
        EXPECT_EQ(value, r.before) << "render state " << static_cast<uint32_t>(r.state);
    }
    for (const auto& s : stages) {
        device_->GetTextureStageState(s.stage, s.state, value);
        EXPECT_EQ(value, s.before) << "stage " << s.stage << " state " << static_cast<uint32_t>(s.state);
    }
    for (const auto& s : samplers) {
        device_->GetSamplerState(0, s.state, value);
        EXPECT_EQ(value, s.before) << "sampler state " << static_cast<uint32_t>(s.state);
    }
}

TEST_F(SpriteFakeTest, OneDrawPerRunOfATexture) {
    ITexture* a = textures_[0].get();
    ITexture* b = textures_[1].get();
    const struct {
        SpriteFlag flags;
        std::vector<ITexture*> sprites;
        Lines draws;
    } cases[] = {
        {SpriteFlag::None,
         {a, a, b, a},
         {"SetFVF(0x144)", "SetTexture(0, T1)", "DrawIndexedPrimitiveUP(TriangleList, 0, 8, 4, 28)",
          "SetTexture(0, T2)", "DrawIndexedPrimitiveUP(TriangleList, 0, 4, 2, 28)", "SetTexture(0, T1)",
          "DrawIndexedPrimitiveUP(TriangleList, 0, 4, 2, 28)", "SetTexture(0, null)", "SetFVF(0x2)"}},
        {SpriteFlag::SortTexture,
         {b, a, b, a},
         {"SetFVF(0x144)", "SetTexture(0, T2)", "DrawIndexedPrimitiveUP(TriangleList, 0, 8, 4, 28)",
          "SetTexture(0, T1)", "DrawIndexedPrimitiveUP(TriangleList, 0, 8, 4, 28)", "SetTexture(0, null)",
          "SetFVF(0x2)"}},
        {SpriteFlag::DoNotSaveState,
         {a},
         {"SetFVF(0x144)", "SetTexture(0, T1)", "DrawIndexedPrimitiveUP(TriangleList, 0, 4, 2, 28)"}},
        {SpriteFlag::None, {}, {"SetTexture(0, null)", "SetFVF(0x2)"}},
    };
    for (const auto& c : cases) {
        device_->SetTexture(0, nullptr);
        device_->SetFVF(kFvfXyz);
        state_->journal.clear();
        ASSERT_EQ(batch_->Begin(c.flags), gfx::kOk);
        for (ITexture* t : c.sprites) batch_->Draw(t, nullptr, nullptr, nullptr, 0xFFFFFFFF);
        EXPECT_EQ(batch_->End(), gfx::kOk);
        EXPECT_EQ(Draws(), c.draws) << "flags " << static_cast<uint32_t>(c.flags);
    }
    // 20,000 quads are more than 16-bit indices reach in one call.
    state_->journal.clear();
    ASSERT_EQ(batch_->Begin(SpriteFlag::None), gfx::kOk);
    for (int i = 0; i < 20000; ++i) batch_->Draw(a, nullptr, nullptr, nullptr, 0xFFFFFFFF);
    EXPECT_EQ(batch_->End(), gfx::kOk);
    EXPECT_EQ(Draws(),
              (Lines{"SetFVF(0x144)", "SetTexture(0, T1)", "DrawIndexedPrimitiveUP(TriangleList, 0, 65536, 32768, 28)",
                     "SetTexture(0, T1)", "DrawIndexedPrimitiveUP(TriangleList, 0, 14464, 7232, 28)",
                     "SetTexture(0, null)", "SetFVF(0x2)"}));
}

TEST_F(SpriteFakeTest, BillboardsDrawInViewSpaceFrontToBackAndPutTheTransformsBack) {
    const Matrix world = MatrixTranslation(0, 0, 5), view = MatrixTranslation(1, 2, 3);
    device_->SetTransform(TransformKind::World, MatrixScaling(2, 2, 2));
    device_->SetTransform(TransformKind::View, MatrixTranslation(0, 0, 7));
    batch_->SetWorldViewLH(&world, &view);
    const SpriteFlag particles =
        SpriteFlag::ObjectSpace | SpriteFlag::Billboard | SpriteFlag::AlphaBlend | SpriteFlag::SortDepthFrontToBack;
    EXPECT_EQ(static_cast<uint32_t>(particles), 0x5Cu);
    ASSERT_EQ(batch_->Begin(particles), gfx::kOk);
    state_->journal.clear();
    const Vector3 centre{8, 4, 0}, far{0, 0, 40}, near{0, 0, 10};
    batch_->SetTransform(MatrixRotationZ(0.5f));
    batch_->Draw(textures_[0].get(), nullptr, &centre, &far, 0xFFFFFFFF);
    batch_->Draw(textures_[1].get(), nullptr, &centre, &near, 0xFFFFFFFF);
    ASSERT_EQ(batch_->End(), gfx::kOk);
    EXPECT_EQ(Draws(), (Lines{"SetTransform(World, 1 0 0 0 / 0 1 0 0 / 0 0 1 0 / 0 0 0 1)",
                              "SetTransform(View, 1 0 0 0 / 0 1 0 0 / 0 0 1 0 / 0 0 0 1)", "SetFVF(0x142)",
                              "SetTexture(0, T2)", "DrawIndexedPrimitiveUP(TriangleList, 0, 4, 2, 24)",
                              "SetTexture(0, T1)", "DrawIndexedPrimitiveUP(TriangleList, 0, 4, 2, 24)",
                              "SetTexture(0, null)", "SetTransform(World, 2 0 0 0 / 0 2 0 0 / 0 0 2 0 / 0 0 0 1)",
                              "SetTransform(View, 1 0 0 0 / 0 1 0 0 / 0 0 1 0 / 0 0 7 1)"}));
}

TEST_F(SpriteFakeTest, RefusesMisuse) {
    EXPECT_EQ(batch_->Draw(textures_[0].get(), nullptr, nullptr, nullptr, 0), gfx::kInvalidCall) << "before Begin";
    EXPECT_EQ(batch_->End(), gfx::kInvalidCall);
    EXPECT_EQ(batch_->Begin(static_cast<SpriteFlag>(0x100)), gfx::kInvalidCall);
    ASSERT_EQ(batch_->Begin(SpriteFlag::AlphaBlend), gfx::kOk);
    EXPECT_EQ(batch_->Begin(SpriteFlag::AlphaBlend), gfx::kInvalidCall);
    EXPECT_EQ(batch_->Draw(nullptr, nullptr, nullptr, nullptr, 0), gfx::kInvalidCall);
    batch_->Draw(textures_[0].get(), nullptr, nullptr, nullptr, 0);
    batch_->OnLostDevice();
    batch_->OnResetDevice();
    EXPECT_EQ(batch_->End(), gfx::kInvalidCall) << "a loss closes the batch and drops its sprites";
    EXPECT_TRUE(Draws().empty());
    std::unique_ptr<SpriteBatch> none;
    EXPECT_EQ(SpriteBatch::Create(nullptr, none), gfx::kInvalidCall);
}

TEST_F(SpriteFakeTest, SphereIsClosedAndFacesOutwards) {
    std::unique_ptr<SphereMesh> mesh;
    ASSERT_EQ(SphereMesh::Create(device_.get(), 2.0f, 12, 12, mesh), gfx::kOk);
    EXPECT_EQ(mesh->GetVertexCount(), 134u);
    EXPECT_EQ(mesh->GetFaceCount(), 264u);
    state_->journal.clear();
    EXPECT_EQ(mesh->DrawSubset(0), gfx::kOk);
    EXPECT_EQ(mesh->DrawSubset(1), gfx::kOk);
    EXPECT_EQ(state_->journal, (Lines{"SetFVF(0x12)", "SetStreamSource(0, VB1, 0, 24)", "SetIndices(IB1)",
                                      "DrawIndexedPrimitive(TriangleList, 0, 0, 134, 0, 264)"}));
    // Clockwise from outside is the front: the cross product of two edges points away from the centre.
    const struct { uint32_t slices, stacks; } shapes[] = {{12, 12}, {3, 2}, {3, 7}};
    for (const auto& shape : shapes) {
        std::unique_ptr<SphereMesh> m;
        ASSERT_EQ(SphereMesh::Create(device_.get(), 2.0f, shape.slices, shape.stacks, m), gfx::kOk);
        void* data = nullptr;
        ASSERT_EQ(m->GetVertexBuffer()->Lock(0, 0, &data, 0), gfx::kOk);
        const std::vector<float> v(static_cast<float*>(data), static_cast<float*>(data) + m->GetVertexCount() * 6);
        m->GetVertexBuffer()->Unlock();
        ASSERT_EQ(m->GetIndexBuffer()->Lock(0, 0, &data, 0), gfx::kOk);
        const uint16_t* index = static_cast<uint16_t*>(data);
        std::vector<int> uses(m->GetVertexCount());
        for (uint32_t f = 0; f < m->GetFaceCount(); ++f) {
            const float* p[3];
            for (int k = 0; k < 3; ++k) {
                ASSERT_LT(index[f * 3 + k], m->GetVertexCount());
                p[k] = &v[index[f * 3 + k] * 6];
                ++uses[index[f * 3 + k]];
            }
            const Vector3 a = MakeVector3(p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]);
            const Vector3 b = MakeVector3(p[2][0] - p[0][0], p[2][1] - p[0][1], p[2][2] - p[0][2]);
            const Vector3 middle =
                MakeVector3(p[0][0] + p[1][0] + p[2][0], p[0][1] + p[1][1] + p[2][1], p[0][2] + p[1][2] + p[2][2]);
            EXPECT_GT(Vec3Dot(Vec3Cross(a, b), middle), 0.0f) << "face " << f;
        }
        m->GetIndexBuffer()->Unlock();
        for (uint32_t i = 0; i < m->GetVertexCount(); ++i) {
            const Vector3 position = MakeVector3(v[i * 6], v[i * 6 + 1], v[i * 6 + 2]);
            EXPECT_NEAR(Vec3Length(position), 2.0f, 1e-5f);
            EXPECT_NEAR(Vec3Dot(position * 0.5f, MakeVector3(v[i * 6 + 3], v[i * 6 + 4], v[i * 6 + 5])), 1.0f, 1e-5f);
            EXPECT_GT(uses[i], 0) << "vertex " << i << " unused";
        }
    }
    const struct {
        float radius;
        uint32_t slices, stacks;
    } refused[] = {{-1, 12, 12}, {1, 1, 12}, {1, 12, 1}, {1, 65535, 3}, {NAN, 12, 12}};
    for (const auto& r : refused) {
        EXPECT_EQ(SphereMesh::Create(device_.get(), r.radius, r.slices, r.stacks, mesh), gfx::kInvalidCall)
            << r.radius << " " << r.slices << " " << r.stacks;
        EXPECT_EQ(mesh, nullptr);
    }
    EXPECT_EQ(SphereMesh::Create(nullptr, 1, 12, 12, mesh), gfx::kInvalidCall);
}

}  // namespace
}  // namespace plat
