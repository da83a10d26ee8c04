// The 3D object reader; every object it accepts is drawable as read, and writes back to bytes that read
// to the same object.
#include "FuzzSupport.h"
#include "render/T3OFile.h"
#include "tools/T3OWriter.h"

using namespace trivale;
using namespace trivale::type_a;

namespace {

T3OObject Read(const std::string& bytes) {
    auto stream = fuzz::MemoryStream(bytes);
    CT3OReader reader;
    return reader.Read(*stream);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    T3OObject object;
    if (!fuzz::Parses([&] { object = Read(std::string(reinterpret_cast<const char*>(data), size)); })) return 0;

    FUZZ_CHECK(!object.vertices.empty() && object.vertices.size() <= kMaxT3OVertices);
    const auto revision = static_cast<std::uint32_t>(object.materialRevision);
    FUZZ_CHECK(revision >= 0x100 && revision <= 0x103);
    for (const T3OMaterial& m : object.materials) {
        FUZZ_CHECK(static_cast<std::uint32_t>(m.pass) <= kMaxRenderPass);
        FUZZ_CHECK(m.colours.specular.a == 1.0f);
    }
    for (const T3OPolygonSet& set : object.polygonSets) {
        FUZZ_CHECK(set.materialIndex < object.materials.size());
        FUZZ_CHECK(set.indices.size() % 3 == 0);
        for (std::uint16_t index : set.indices) FUZZ_CHECK(index < object.vertices.size());
    }

    // Written back, the object reads as itself (compared as bytes, so that NaNs compare too).
    std::string written, again, error;
    FUZZ_CHECK(tools::WriteT3O(object, written, error));
    T3OObject reread;
    FUZZ_CHECK(fuzz::Parses([&] { reread = Read(written); }));
    FUZZ_CHECK(tools::WriteT3O(reread, again, error));
    FUZZ_CHECK(again == written);
    return 0;
}
