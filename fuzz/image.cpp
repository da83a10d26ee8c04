// Picture files (PNG, JPEG, BMP, TGA, DDS) made into textures as the renderer makes them (render/Texture.cpp):
// the description first when a maximum size applies, then the texture loader from memory with a box filter
// and dithering, the default mip filter and no colour key, onto the recording device. What a load accepts
// agrees with the description, is no larger than its file's bytes can hold, and becomes a texture of the
// asked size, level count and format.
#include <algorithm>
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

#include "FuzzSupport.h"
#include "gfxkit/TextureLoader.h"
#include "platform/GraphicsFake.h"

using namespace plat;

namespace {

// The first byte: bit 0 a mip chain; bits 1-3 the texture cache's maximum size (0 or below: none);
// bits 4-7 the caller's format, mostly the file's own as every caller of the program asks.
const int kMaxSizes[8] = {-1, 256, 64, 0, 7, 1, 1000, 4096};
const Format kFormats[16] = {Format::Unknown,  Format::Unknown,    Format::Unknown, Format::Unknown,
                             Format::Unknown,  Format::Unknown,    Format::Unknown, Format::Unknown,
                             Format::Argb8888, Format::Xrgb8888,   Format::Rgb565,  Format::Argb1555,
                             Format::Argb4444, Format::Luminance8, Format::Dxt1,    Format::Dxt5};

// A picture holds no more texels than its bytes can carry: deflate expands 1032 to 1 (rows of one bit per
// texel, a filter byte each), a Huffman-coded JPEG spends a bit on each block of 64, a run-length TGA two
// bytes on 128 texels. Arithmetic coding has no such floor: those JPEGs are held to the loader's limits only.
const uint64_t kTexelsPerByte = 8 * 1032;
const uint64_t kTexelsSlack = 8 * 4096;

// The recording device, with textures as large as the loader makes them.
IGraphicsDevice& Device(FakeGraphicsState*& journal) {
    static const auto state = [] {
        auto s = std::make_shared<FakeGraphicsState>();
        s->adapters.push_back(MakeFakeAdapter("fuzz"));
        s->adapters.back().caps.maxTextureWidth = s->adapters.back().caps.maxTextureHeight = kMaxImageDimension;
        return s;
    }();
    static const std::unique_ptr<IGraphicsDevice> device = [] {
        std::unique_ptr<IGraphicsSystem> system = CreateFakeGraphicsSystem(state);
        PresentParameters parameters;
        parameters.backBufferWidth = 64;
        parameters.backBufferHeight = 64;
        parameters.windowed = true;
        std::unique_ptr<IGraphicsDevice> made;
        FUZZ_CHECK(Succeeded(
            system->CreateDevice(0, DeviceType::Hardware, nullptr, kCreateHardwareVertexProcessing, parameters, made)));
        return made;
    }();
    journal = state.get();
    return *device;
}

uint32_t NextPowerOfTwo(uint32_t v) {
    uint32_t p = 1;
    while (p < v) p <<= 1;
    return p;
}

uint32_t FullChain(uint32_t w, uint32_t h) {
    uint32_t n = 1;
    while ((std::max(w, h) >> n) != 0) ++n;
    return n;
}

// Whether a JPEG's frame is arithmetic-coded, as libjpeg reads its header.
struct JpegProbe {
    jpeg_error_mgr err;  // first: libjpeg hands the error manager back
    std::jmp_buf jump;
};

bool ArithmeticJpeg(const std::string& file) {
    if (file.size() < 3 || static_cast<uint8_t>(file[0]) != 0xFF || static_cast<uint8_t>(file[1]) != 0xD8) return false;
    jpeg_decompress_struct cinfo;
    JpegProbe probe;
    cinfo.err = jpeg_std_error(&probe.err);
    probe.err.error_exit = [](j_common_ptr c) { std::longjmp(reinterpret_cast<JpegProbe*>(c->err)->jump, 1); };
    probe.err.emit_message = [](j_common_ptr, int) {};
    jpeg_create_decompress(&cinfo);
    volatile bool arithmetic = false;
    if (setjmp(probe.jump) == 0) {
        jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(file.data()), file.size());
        jpeg_read_header(&cinfo, TRUE);
        arithmetic = cinfo.arith_code != 0;
    }
    jpeg_destroy_decompress(&cinfo);
    return arithmetic;
}

bool IsBlocks(Format f) { return f == Format::Dxt1 || f == Format::Dxt3 || f == Format::Dxt5; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::uint8_t choice = in.Byte();
    const bool mipmaps = (choice & 1) != 0;
    const int maxSize = kMaxSizes[(choice >> 1) & 7];
    const Format asked = kFormats[choice >> 4];
    const std::string file = in.Rest();
    FakeGraphicsState* state = nullptr;
    IGraphicsDevice& device = Device(state);
    state->journal.clear();

    ImageInfo header;
    std::string why;
    const GraphicsResult described = GetImageInfoFromMemory(file.data(), file.size(), header, &why);
    FUZZ_CHECK(described == gfx::kOk || (described == gfx::kInvalidData && !why.empty()));
    if (Succeeded(described)) {
        FUZZ_CHECK(header.width >= 1 && header.width <= kMaxImageDimension);
        FUZZ_CHECK(header.height >= 1 && header.height <= kMaxImageDimension);
        const uint64_t texels = uint64_t(header.width) * header.height;
        FUZZ_CHECK(texels <= kMaxImageTexels);
        FUZZ_CHECK(texels <= kTexelsPerByte * file.size() + kTexelsSlack || ArithmeticJpeg(file));
        FUZZ_CHECK(header.depth == 1 && header.resourceType == ImageResourceType::Texture);
        FUZZ_CHECK(header.mipLevels >= 1 && header.mipLevels <= FullChain(header.width, header.height));
        FUZZ_CHECK(header.mipLevels == 1 || header.imageFileFormat == ImageFileFormat::Dds);
    }

    // As render/Texture.cpp: a maximum size above 0 asks for the file's size cut to it.
    ImageLoadParams params;
    if (maxSize > 0) {
        if (Failed(described)) return 0;
        params.width = std::min(header.width, static_cast<uint32_t>(maxSize));
        params.height = std::min(header.height, static_cast<uint32_t>(maxSize));
    }
    params.mipLevels = mipmaps ? kImageDefault : 1;
    params.format = asked;
    params.filter = ImageFilter::Box | kImageFilterDither;
    params.mipFilter = ImageFilter::Default;
    params.colorKey = 0;
    ImageInfo source;
    std::unique_ptr<ITexture> texture;
    why.clear();
    const GraphicsResult loaded =
        CreateTextureFromMemory(device, file.data(), file.size(), params, Pool::Managed, &source, texture, &why);
    if (Failed(loaded)) {
        FUZZ_CHECK(texture == nullptr && !why.empty());
        // A bad file, or texels asked to be compressed: the device takes whatever the loader makes.
        FUZZ_CHECK(loaded == gfx::kInvalidData || (loaded == gfx::kNotAvailable && IsBlocks(asked)));
        return 0;
    }
    FUZZ_CHECK(Succeeded(described) && texture != nullptr);
    // The full decode describes the file as the header alone did.
    FUZZ_CHECK(source.width == header.width && source.height == header.height && source.depth == header.depth);
    FUZZ_CHECK(source.mipLevels == header.mipLevels && source.format == header.format);
    FUZZ_CHECK(source.imageFileFormat == header.imageFileFormat && source.resourceType == header.resourceType);

    // The texture: the asked size (powers of two by default), its chain, and the asked or the file's format.
    const uint32_t w = maxSize > 0 ? params.width : NextPowerOfTwo(header.width);
    const uint32_t h = maxSize > 0 ? params.height : NextPowerOfTwo(header.height);
    const uint32_t levels = mipmaps ? FullChain(w, h) : 1;
    Format format = asked;
    if (format == Format::Unknown) {
        format = header.format == Format::Rgb888 ? Format::Xrgb8888 : header.format;
        // Blocks are kept as stored only when nothing has to be made of them.
        if (IsBlocks(format) && (w != header.width || h != header.height || levels > header.mipLevels))
            format = Format::Argb8888;
    }
    FUZZ_CHECK(texture->GetLevelCount() == levels);
    for (uint32_t level = 0; level < levels; ++level) {
        LevelDesc desc;
        FUZZ_CHECK(Succeeded(texture->GetLevelDesc(level, desc)));
        FUZZ_CHECK(desc.width == std::max(w >> level, 1u) && desc.height == std::max(h >> level, 1u));
        FUZZ_CHECK(desc.format == format);
    }
    // Every level was filled.
    FUZZ_CHECK(std::count_if(state->journal.begin(), state->journal.end(),
                             [](const std::string& line) { return line.rfind("Fill(", 0) == 0; }) == levels);
    return 0;
}
