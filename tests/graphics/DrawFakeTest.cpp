// The recording device: what it keeps and what it refuses (the GL device shares the state and the
// checks).

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "platform/GraphicsFake.h"
#include "platform/GraphicsState.h"

namespace plat {
namespace {

class DrawFakeTest : public ::testing::Test {
protected:
    void SetUp() override {
        state_ = std::make_shared<FakeGraphicsState>();
        state_->adapters.push_back(MakeFakeAdapter("fake"));
        system_ = CreateFakeGraphicsSystem(state_);
        PresentParameters p;
        p.backBufferWidth = 64;
        p.backBufferHeight = 64;
        p.windowed = true;
        p.enableAutoDepthStencil = true;
        p.autoDepthStencilFormat = Format::Depth24X8;
        ASSERT_EQ(system_->CreateDevice(0, DeviceType::Hardware, nullptr, 0, p, device_), gfx::kOk);
    }

    std::shared_ptr<FakeGraphicsState> state_;
    std::unique_ptr<IGraphicsSystem> system_;
    std::unique_ptr<IGraphicsDevice> device_;
};

TEST_F(DrawFakeTest, ADestroyedTextureIsNoLongerBound) {
    std::unique_ptr<ITexture> texture;
    ASSERT_EQ(device_->CreateTexture(4, 4, 1, 0, Format::Argb8888, Pool::Managed, texture), gfx::kOk);
    device_->SetTexture(0, texture.get());
    texture.reset();
    ITexture* bound = reinterpret_cast<ITexture*>(1);
    EXPECT_EQ(device_->GetTexture(0, bound), gfx::kOk);
    EXPECT_EQ(bound, nullptr);
}

TEST_F(DrawFakeTest, RefusesWhatTheRuntimeRefuses) {
    std::unique_ptr<IVertexBuffer> vb;
    std::unique_ptr<IIndexBuffer> ib;
    ASSERT_EQ(device_->CreateVertexBuffer(4 * 12, 0, kFvfXyz, Pool::Managed, vb), gfx::kOk);  // four vertices
    ASSERT_EQ(device_->CreateIndexBuffer(6 * 2, 0, IndexFormat::Index16, Pool::Managed, ib), gfx::kOk);
    void* data = nullptr;
    ib->Lock(0, 0, &data, 0);
    const uint16_t indices[6] = {0, 1, 2, 2, 1, 4};  // the last one is past the vertices
    std::memcpy(data, indices, sizeof indices);
    ib->Unlock();
    device_->SetFVF(kFvfXyz);
    device_->SetStreamSource(0, vb.get(), 0, 12);
    device_->SetIndices(ib.get());
    Light dark;
    dark.direction = Vector3{};
    std::unique_ptr<ITexture> texture;
    const uint16_t index[3] = {0, 1, 9};
    const float vertices[3 * 3] = {};
    const struct {
        const char* what;
        GraphicsResult result;
    } rows[] = {
        {"triangles inside the buffer", device_->DrawPrimitive(PrimitiveType::TriangleStrip, 0, 2)},
        {"triangles past the buffer", device_->DrawPrimitive(PrimitiveType::TriangleStrip, 1, 2)},
        {"indices inside", device_->DrawIndexedPrimitive(PrimitiveType::TriangleList, 0, 0, 4, 0, 1)},
        {"an index past the vertices", device_->DrawIndexedPrimitive(PrimitiveType::TriangleList, 0, 0, 4, 3, 1)},
        {"more indices than the buffer", device_->DrawIndexedPrimitive(PrimitiveType::TriangleList, 0, 0, 4, 0, 3)},
        {"a base vertex that pushes past", device_->DrawIndexedPrimitive(PrimitiveType::TriangleList, 2, 0, 4, 0, 1)},
        {"a negative base vertex", device_->DrawIndexedPrimitive(PrimitiveType::TriangleList, -1, 0, 4, 0, 1)},
        {"no primitives", device_->DrawPrimitive(PrimitiveType::TriangleList, 0, 0)},
        {"an unknown primitive type", device_->DrawPrimitive(static_cast<PrimitiveType>(9), 0, 1)},
        {"memory indices past the vertices",
         device_->DrawIndexedPrimitiveUP(PrimitiveType::TriangleList, 0, 3, 1, index, IndexFormat::Index16, vertices,
                                         12)},
        {"a stride shorter than a vertex", device_->DrawPrimitiveUP(PrimitiveType::TriangleList, 1, vertices, 8)},
        {"light 8", device_->SetLight(8, Light())},
        {"a directional light without direction", device_->SetLight(0, dark)},
        {"stage 8", device_->SetTexture(8, nullptr)},
        {"a vertex format without position", device_->SetFVF(kFvfNormal)},
        {"a second stream", device_->SetStreamSource(1, vb.get(), 0, 12)},
        {"transform 5", device_->SetTransform(static_cast<TransformKind>(5), MatrixIdentity())},
        {"an empty texture", device_->CreateTexture(0, 4, 1, 0, Format::Argb8888, Pool::Managed, texture)},
        {"a texture past the largest size",
         device_->CreateTexture(8192, 4, 1, 0, Format::Argb8888, Pool::Managed, texture)},
        {"a depth format texture", device_->CreateTexture(4, 4, 1, 0, Format::Depth16, Pool::Managed, texture)},
        {"more levels than the chain", device_->CreateTexture(4, 4, 4, 0, Format::Argb8888, Pool::Managed, texture)},
        {"an empty vertex buffer", device_->CreateVertexBuffer(0, 0, kFvfXyz, Pool::Managed, vb)},
    };
    const GraphicsResult expected[] = {gfx::kOk, gfx::kInvalidCall, gfx::kOk};
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
        EXPECT_EQ(rows[i].result, i < 3 ? expected[i] : gfx::kInvalidCall) << rows[i].what;
    }
    // Levels are kept in memory as well: a size the driver would take can still be too much to keep.
    EXPECT_EQ(BasicTexture::Check(16384, 16384, 0, Format::Argb8888, 16384), gfx::kOutOfVideoMemory);
    EXPECT_EQ(BasicTexture::Check(8192, 8192, 0, Format::Argb8888, 16384), gfx::kOk);
    Light light;
    device_->GetLight(0, light);
    EXPECT_EQ(light.direction.z, 1.0f) << "a refused light keeps what it had";
}

TEST_F(DrawFakeTest, TextureLevelsAndLocks) {
    const struct {
        Format format;
        uint32_t width, height, levels;
        uint32_t expectLevels, lastWidth, pitch0, rows0;
    } rows[] = {
        {Format::Argb8888, 64, 32, 0, 7, 1, 256, 32},
        {Format::Luminance8, 5, 5, 2, 2, 2, 5, 5},
        {Format::Dxt5, 6, 2, 1, 1, 6, 32, 1},
    };
    for (const auto& row : rows) {
        std::unique_ptr<ITexture> texture;
        ASSERT_EQ(device_->CreateTexture(row.width, row.height, row.levels, 0, row.format, Pool::Managed, texture),
                  gfx::kOk);
        EXPECT_EQ(texture->GetLevelCount(), row.expectLevels);
        LevelDesc desc;
        texture->GetLevelDesc(row.expectLevels - 1, desc);
        EXPECT_EQ(desc.width, row.lastWidth);
        LockedRect locked;
        ASSERT_EQ(texture->LockRect(0, locked, nullptr, 0), gfx::kOk);
        EXPECT_EQ(locked.pitch, row.pitch0);
        EXPECT_EQ(texture->LockRect(0, locked, nullptr, 0), gfx::kInvalidCall) << "locked twice";
        EXPECT_EQ(texture->UpdateLevel(0, locked.bits, locked.pitch), gfx::kInvalidCall) << "while locked";
        EXPECT_EQ(texture->UnlockRect(0), gfx::kOk);
        EXPECT_EQ(texture->UnlockRect(0), gfx::kInvalidCall);
        std::vector<uint8_t> level(static_cast<size_t>(row.pitch0) * row.rows0 + 7, 0);
        EXPECT_EQ(texture->UpdateLevel(0, level.data(), row.pitch0), gfx::kOk);
        EXPECT_EQ(texture->UpdateLevel(0, level.data(), row.pitch0 - 1), gfx::kInvalidCall) << "short rows";
        EXPECT_EQ(texture->UpdateLevel(row.expectLevels, level.data(), row.pitch0), gfx::kInvalidCall);
        // Handed over: taken whole when it has the level's layout, copied row by row when wider, refused
        // when short.
        std::vector<uint8_t> exact(static_cast<size_t>(row.pitch0) * row.rows0, 9), shorter(1, 0);
        std::vector<uint8_t> wide(static_cast<size_t>(row.pitch0 + 1) * row.rows0, 0);
        EXPECT_EQ(texture->UpdateLevel(0, std::move(exact), row.pitch0), gfx::kOk);
        ASSERT_EQ(texture->LockRect(0, locked, nullptr, 0), gfx::kOk);
        EXPECT_EQ(static_cast<uint8_t*>(locked.bits)[0], 9);
        texture->UnlockRect(0);
        EXPECT_EQ(texture->UpdateLevel(0, std::move(wide), row.pitch0 + 1), gfx::kOk);
        EXPECT_EQ(texture->UpdateLevel(0, std::move(shorter), row.pitch0), gfx::kInvalidCall);
    }
    std::unique_ptr<ITexture> texture;
    device_->CreateTexture(16, 16, 1, 0, Format::Argb8888, Pool::Managed, texture);
    LockedRect whole, part;
    texture->LockRect(0, whole, nullptr, 0);
    texture->UnlockRect(0);
    const Rect rect = MakeRect(4, 2, 8, 6), outside = MakeRect(4, 2, 17, 6);
    ASSERT_EQ(texture->LockRect(0, part, &rect, 0), gfx::kOk);
    EXPECT_EQ(static_cast<uint8_t*>(part.bits) - static_cast<uint8_t*>(whole.bits), 2 * 64 + 4 * 4);
    texture->UnlockRect(0);
    EXPECT_EQ(texture->LockRect(0, part, &outside, 0), gfx::kInvalidCall);
    // A texture outlives its device; it keeps its levels and binds nowhere.
    device_.reset();
    EXPECT_EQ(texture->LockRect(0, part, nullptr, 0), gfx::kOk);
    EXPECT_EQ(texture->UnlockRect(0), gfx::kOk);
}

TEST_F(DrawFakeTest, ResourcesOfAnotherDeviceAreRefused) {
    std::unique_ptr<IGraphicsDevice> other;
    PresentParameters p;
    p.backBufferWidth = p.backBufferHeight = 8;
    ASSERT_EQ(system_->CreateDevice(0, DeviceType::Hardware, nullptr, 0, p, other), gfx::kOk);
    std::unique_ptr<ITexture> texture;
    other->CreateTexture(1, 1, 1, 0, Format::Argb8888, Pool::Managed, texture);
    EXPECT_EQ(device_->SetTexture(0, texture.get()), gfx::kInvalidCall);
}

}  // namespace
}  // namespace plat
