// The ".vcl" and ".uv" companion files of a LightWave object: vertex colours and texture coordinates
// read into a small grid object, whose per-corner indices must all name entries of their tables.
#include "FuzzSupport.h"
#include "lightwave/object/LwObject.h"

namespace {

// Two quads and a triangle on two surfaces, the second with an image texture.
LwObject* Grid(const std::string& fileName) {
    LwObject* o = CreateLwObject(0);
    FUZZ_CHECK(o != nullptr);
    LwCopyText(o->FileName, fileName.c_str(), sizeof o->FileName);
    o->FileType = LW_FILE_LWO2;
    o->Op.AddLayer(o, nullptr);
    o->Op.SetPolygonType(o, LW_ID_FACE);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            const double p[3] = {(double)x, (double)y, 0.0};
            o->Op.AddPoint(o, p);
        }
    o->Op.AddSurface(o, "plain");
    o->Op.AddSurface(o, "tex");
    const int32_t a[4] = {0, 1, 4, 3}, b[3] = {1, 2, 5};
    o->Op.AddPolygon(o, 4, a, "plain");
    o->Op.AddPolygon(o, 3, b, "tex");
    return o;
}

void CheckCorners(LwObject* o) {
    for (int32_t p = 0; p < o->Op.GetNumPolygons(o); ++p) {
        const LwPolygon* polygon = o->Op.GetPolygon(o, p);
        for (int32_t i : polygon->ColorIndices) FUZZ_CHECK(o->Op.GetColor(o, i) != nullptr);
        for (int32_t i : polygon->NormalIndices) FUZZ_CHECK(i == -1 || o->Op.GetNormal(o, i) != nullptr);
        for (const LwTexChannel& channel : polygon->TexChannels) {
            FUZZ_CHECK(channel.Indices.size() == polygon->Points.size());
            for (int32_t i : channel.Indices) FUZZ_CHECK(o->Op.GetTexCoord(o, i) != nullptr);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::uint8_t flags = in.Byte();
    const bool uv = flags & 0x80;
    const std::string text = in.Rest();
    fuzz::WriteScratchFile(uv ? "thing.uv" : "thing.vcl", text);
    LwObject* o = Grid(fuzz::ScratchDir() + "/thing.lwo");
    if (uv) {
        const int32_t result = o->Op.ReadUvFile(o, flags & 0x3F);
        FUZZ_CHECK(result == LW_ERR_NONE || result == LW_ERR_BAD_FORMAT);
        FUZZ_CHECK(o->ErrorCode == LW_ERR_NONE);
    } else {
        FUZZ_CHECK(o->Op.LoadVertexColors(o, flags & 3) == LW_ERR_NONE);
    }
    CheckCorners(o);
    DestroyLwObject(&o);
    std::remove((fuzz::ScratchDir() + (uv ? "/thing.uv" : "/thing.vcl")).c_str());
    return 0;
}
