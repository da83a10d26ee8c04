// Writes the fuzz targets' seed inputs, small and made here: make_seeds <dir> fills <dir>/<target>/.
// Archives come from the packer and Ogg Vorbis from the encoder helper, so seeds follow the formats.
#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>

#include "tools/ArchivePacker.h"
#include "tools/T3OWriter.h"
#ifdef TV_SEEDS_OGG
#include <vorbis/vorbisenc.h>

#include "tools/OggEncode.h"
#endif

namespace {

std::string g_dir;

std::string LE16(unsigned v) { return {char(v & 0xFF), char((v >> 8) & 0xFF)}; }
std::string LE32(std::uint32_t v) { return LE16(v & 0xFFFF) + LE16(v >> 16); }

void Put(const std::string& target, const std::string& name, const std::string& bytes) {
    mkdir((g_dir + "/" + target).c_str(), 0755);
    if (std::FILE* f = std::fopen((g_dir + "/" + target + "/" + name).c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
}

std::string BE16(unsigned v) { return {char((v >> 8) & 0xFF), char(v & 0xFF)}; }
std::string BE32(std::uint32_t v) { return BE16(v >> 16) + BE16(v & 0xFFFF); }
std::string F4(float f) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, 4);
    return BE32(bits);
}
// Object files: big-endian chunk lengths and no pad byte.
std::string IffChunk(const std::string& tag, const std::string& body) {
    return tag + BE32(static_cast<std::uint32_t>(body.size())) + body;
}
std::string IffForm(const std::string& type, const std::string& chunks) {
    return "FORM" + BE32(static_cast<std::uint32_t>(4 + chunks.size())) + type + chunks;
}

std::string Chunk(const std::string& tag, const std::string& body) {
    return tag + LE32(static_cast<std::uint32_t>(body.size())) + body + (body.size() % 2 ? std::string(1, '\0') : "");
}

std::string Wave(unsigned channels, unsigned rate, unsigned bits, const std::string& samples) {
    const unsigned align = channels * bits / 8;
    const std::string fmt = LE16(1) + LE16(channels) + LE32(rate) + LE32(rate * align) + LE16(align) + LE16(bits);
    const std::string body = "WAVE" + Chunk("fmt ", fmt) + Chunk("LIST", "INFOx") + Chunk("data", samples);
    return "RIFF" + LE32(static_cast<std::uint32_t>(body.size())) + body;
}

// A bitmap file: header, info header (with bit masks for 16 bits), palette, rows padded to 4 bytes.
std::string Bitmap(int width, int height, int bits, const std::string& palette, const std::string& rows) {
    const bool fields = bits == 16;
    const std::string extra = fields ? LE32(0xF800) + LE32(0x07E0) + LE32(0x001F) : "";
    const std::string info = LE32(40) + LE32(static_cast<std::uint32_t>(width)) +
                             LE32(static_cast<std::uint32_t>(height)) + LE16(1) + LE16(bits) + LE32(fields ? 3 : 0) +
                             LE32(static_cast<std::uint32_t>(rows.size())) + LE32(2835) + LE32(2835) +
                             LE32(static_cast<std::uint32_t>(palette.size() / 4)) + LE32(0);
    const std::uint32_t offset = static_cast<std::uint32_t>(14 + info.size() + extra.size() + palette.size());
    return "BM" + LE32(offset + static_cast<std::uint32_t>(rows.size())) + LE32(0) + LE32(offset) + info + extra +
           palette + rows;
}

void Archives() {
    const std::string files = g_dir + "/archive-files";
    mkdir(files.c_str(), 0755);
    std::vector<trivale::tools::PackItem> items;
    const char* contents[][2] = {{"a.txt", "first"}, {"Sub\\Deep\\b.bin", "\x01\x02\x03"}, {"sub\\c.txt", ""}};
    for (const auto& c : contents) {
        trivale::tools::PackItem item;
        item.name = c[0];
        item.path = files + "/" + std::to_string(items.size());
        item.size = std::string(c[1]).size();
        if (std::FILE* f = std::fopen(item.path.c_str(), "wb")) {
            std::fputs(c[1], f);
            std::fclose(f);
        }
        items.push_back(item);
    }
    std::string error;
    mkdir((g_dir + "/archive").c_str(), 0755);
    trivale::tools::WriteArchive(g_dir + "/archive/three.tva", items, error);
    trivale::tools::WriteArchive(g_dir + "/archive/empty.tva", {}, error);
}

// A textured quad and an empty set at each material revision, and a one-vertex object with no sets.
void Objects() {
    using namespace trivale::type_a;
    const T3OMaterialRevision revisions[] = {T3OMaterialRevision::Rev100, T3OMaterialRevision::Rev101,
                                             T3OMaterialRevision::Rev102, T3OMaterialRevision::Rev103};
    for (T3OMaterialRevision revision : revisions) {
        const auto rev = static_cast<unsigned>(revision);
        T3OObject o;
        o.materialRevision = revision;
        for (int i = 0; i < 4; ++i) {
            T3OVertex v;
            v.position = {float(i & 1), float(i >> 1), 0.0f};
            v.normal = {0.0f, 0.0f, -1.0f};
            v.tu = float(i & 1);
            v.tv = float(i >> 1);
            o.vertices.push_back(v);
        }
        T3OMaterial quad;
        quad.name = "quad";
        quad.textureName = "tex\\quad.png";
        quad.pass = rev > 0x100 ? RenderPass::Additive : RenderPass::AlphaBlended;
        if (rev > 0x100) quad.auxName = "aux";
        if (rev > 0x101) quad.alphaRef = 16;
        if (rev > 0x102) {
            quad.reflectionTextureName = "env.png";
            quad.reflectionAmount = 0.5f;
        }
        quad.colours.diffuse = {1.0f, 0.5f, 0.25f, 1.0f};
        quad.colours.specular.a = 1.0f;
        T3OMaterial unused;
        unused.name = "unused";
        o.materials = {quad, unused};
        o.polygonSets = {{0, {0, 1, 2, 2, 1, 3}}, {1, {}}};
        trivale::tools::FitBoundingSphere(o);
        std::string bytes, error;
        if (trivale::tools::WriteT3O(o, bytes, error)) Put("t3o", "quad" + std::to_string(rev - 0x100) + ".t3o", bytes);
    }
    T3OObject point;
    point.vertices.resize(1);
    std::string bytes, error;
    if (trivale::tools::WriteT3O(point, bytes, error)) Put("t3o", "point.t3o", bytes);
}

// Pictures of every kind the texture loader reads, each behind its parameter byte (fuzz/image.cpp): the
// show's own (0 and 1), a maximum size and a texel format.
std::string Png(unsigned width, unsigned height, int colourType, int depth, bool interlaced, const std::string& rows) {
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, size_t n) {
            static_cast<std::string*>(png_get_io_ptr(p))->append(reinterpret_cast<const char*>(data), n);
        },
        nullptr);
    png_set_IHDR(png, info, width, height, depth, colourType, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        const png_color palette[3] = {{0, 0, 0}, {255, 128, 0}, {20, 40, 250}};
        const png_byte alpha[2] = {0, 128};
        png_set_PLTE(png, info, palette, 3);
        png_set_tRNS(png, info, alpha, 2, nullptr);
    }
    png_write_info(png, info);
    png_set_interlace_handling(png);
    std::vector<png_bytep> lines(height);
    for (unsigned y = 0; y < height; ++y)
        lines[y] = reinterpret_cast<png_bytep>(const_cast<char*>(rows.data())) + rows.size() / height * y;
    png_write_image(png, lines.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

std::string Jpeg(unsigned width, unsigned height, int components, bool progressive, bool subsampled) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = width, c.image_height = height, c.input_components = components;
    c.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 75, TRUE);
    if (!subsampled)
        for (int i = 0; i < c.num_components; ++i) c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    if (progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    std::string row(width * components, '\0');
    while (c.next_scanline < height) {
        for (unsigned i = 0; i < row.size(); ++i) row[i] = static_cast<char>(i * 7 + c.next_scanline * 13);
        JSAMPROW r = reinterpret_cast<JSAMPROW>(&row[0]);
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    std::string out(reinterpret_cast<const char*>(mem), size);
    jpeg_destroy_compress(&c);
    std::free(mem);
    return out;
}

std::string Tga(int type, unsigned width, unsigned height, int bits, int descriptor, const std::string& map,
                int mapBits, const std::string& pixels) {
    std::string b = {'\0', char(mapBits ? 1 : 0), char(type)};
    b += LE16(0) + LE16(mapBits ? static_cast<unsigned>(map.size() / (mapBits / 8)) : 0) + char(mapBits);
    b += LE16(0) + LE16(0) + LE16(width) + LE16(height) + char(bits) + char(descriptor);
    return b + map + pixels;
}

// A DDS of a four-character code or of an uncompressed format {flags, bits, red, green, blue, alpha}.
std::string Dds(unsigned width, unsigned height, unsigned mips, const std::vector<std::uint32_t>& format,
                const std::string& data) {
    const bool fourCc = format.size() == 1;
    std::string b = "DDS " + LE32(124) + LE32(0x1007 | (mips > 1 ? 0x20000 : 0)) + LE32(height) + LE32(width) +
                    LE32(0) + LE32(0) + LE32(mips) + std::string(44, '\0') + LE32(32);
    if (fourCc)
        b += LE32(4) + LE32(format[0]) + std::string(20, '\0');
    else
        b += LE32(format[0]) + LE32(0) + LE32(format[1]) + LE32(format[2]) + LE32(format[3]) + LE32(format[4]) +
             LE32(format[5]);
    return b + LE32(0x1000 | (mips > 1 ? 0x400008 : 0)) + std::string(16, '\0') + data;
}

void Pictures() {
    auto put = [](const std::string& name, const std::string& bytes) {
        for (const char* p : {"\x00", "\x01", "\x05", "\x91"})
            Put("image", std::to_string(p[0] & 0xFF) + "-" + name, p[0] + bytes);
    };
    std::string rgba, grey, bits, indices;
    for (int i = 0; i < 7 * 5; ++i) {
        rgba += std::string{char(i * 7), char(i * 3), char(255 - i), char(i * 11)};
        grey += char(i * 7);
        indices += char(i % 3);
    }
    for (int y = 0; y < 5; ++y) bits += std::string{char(0xA5 >> y), char(0x80)};
    put("rgba.png", Png(7, 5, PNG_COLOR_TYPE_RGB_ALPHA, 8, false, rgba));
    put("grey-interlaced.png", Png(7, 5, PNG_COLOR_TYPE_GRAY, 8, true, grey));
    put("mono.png", Png(9, 5, PNG_COLOR_TYPE_GRAY, 1, false, bits));
    put("palette.png", Png(7, 5, PNG_COLOR_TYPE_PALETTE, 8, false, indices));
    put("rgb.jpg", Jpeg(19, 11, 3, false, true));
    put("grey-progressive.jpg", Jpeg(9, 17, 1, true, false));
    put("rgb-progressive.jpg", Jpeg(16, 8, 3, true, false));

    std::string palette = LE32(0x000000) + LE32(0xFF0000) + LE32(0x00FF00);
    put("palette8.bmp", Bitmap(3, 2, 8, palette, std::string("\0\1\2\0\2\1\0\0", 8)));
    put("rgb24.bmp", Bitmap(2, -2, 24, "", std::string("\1\2\3\4\5\6\0\0\7\x08\x09\x0A\x0B\x0C\0\0", 16)));
    put("xrgb32.bmp", Bitmap(2, 1, 32, "", std::string("\1\2\3\4\5\6\7\x08", 8)));

    std::string texels24;
    for (int i = 0; i < 12; ++i) texels24 += std::string{char(i), char(i * 20), char(200 - i)};
    put("rgb.tga", Tga(2, 4, 3, 24, 0x00, "", 0, texels24));
    std::string packets = "\x83\x01\x02\x03\x80\x02";
    for (int i = 0; i < 12; ++i) packets += char(0x40 + i);
    packets += "\x84\x10\x20\x30\xFF";
    put("rgba-rle.tga", Tga(10, 4, 3, 32, 0x28, "", 0, packets));
    put("mapped.tga",
        Tga(1, 3, 2, 8, 0x20, std::string("\0\0\xFF\0\xFF\0\xFF\0\0", 9), 24, std::string("\0\1\2\2\1\0", 6)));
    put("grey-rle.tga", Tga(11, 5, 2, 8, 0x10, "", 0, "\x84\x40\x04\1\2\3\4\5"));

    const std::string dxt1 = std::string("\x1F\0\0\xF8\xE4\xE4\xE4\xE4", 8);
    std::string chain;
    for (int i = 0; i < 7; ++i) chain += dxt1;
    put("dxt1-chain.dds", Dds(8, 8, 4, {0x31545844}, chain));
    put("dxt5.dds", Dds(4, 4, 1, {0x35545844}, std::string("\xC8\x64\x3A\0\0\0\0\0", 8) + dxt1));
    put("dxt3-odd.dds", Dds(5, 3, 1, {0x33545844}, std::string(8, '\x5F') + dxt1 + std::string(8, '\x0F') + dxt1));
    put("argb8888-chain.dds", Dds(2, 2, 2, {0x41, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
                                  LE32(1) + LE32(2) + LE32(3) + LE32(4) + LE32(0xFF123456)));
    put("rgb565.dds", Dds(2, 1, 1, {0x40, 16, 0xF800, 0x7E0, 0x1F, 0}, LE16(0xF800) + LE16(0x07FF)));
    put("luminance.dds", Dds(3, 1, 1, {0x20000, 8, 0xFF, 0, 0, 0}, "\x10\x80\xF0"));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    g_dir = argv[1];
    mkdir(g_dir.c_str(), 0755);
    Archives();
    Objects();
    Pictures();

    std::string pcm8, pcm16;
    for (int i = 0; i < 24; ++i) {
        pcm8 += static_cast<char>(static_cast<unsigned char>(128 + 100 * std::sin(i * 0.5)));
        pcm16 += LE16(static_cast<std::uint16_t>(static_cast<std::int16_t>(20000 * std::sin(i * 0.3))));
    }
    Put("wave", "mono8.wav", Wave(1, 8000, 8, pcm8));
    Put("wave", "stereo16.wav", Wave(2, 22050, 16, pcm16));
    Put("riff", "stereo16.wav", Wave(2, 22050, 16, pcm16));
    Put("riff", "form.riff", "RIFF" + LE32(22) + "TVOB" + Chunk("HEAD", "abc") + Chunk("BODY", "12345"));

    // Four drawing offsets, then the file.
    const std::string at = std::string("\x02\x03\x00\x01", 4);
    Put("dib", "palette8.bmp",
        at + Bitmap(3, 2, 8, LE32(0x000000) + LE32(0xFF0000) + LE32(0x00FF00), std::string("\0\1\2\0\2\1\0\0", 8)));
    Put("dib", "mono1.bmp", at + Bitmap(9, 2, 1, LE32(0) + LE32(0xFFFFFF), std::string("\xA5\x80\0\0\x5A\0\0\0", 8)));
    Put("dib", "rgb24.bmp", at + Bitmap(2, -2, 24, "", std::string("\1\2\3\4\5\6\0\0\7\x08\x09\x0A\x0B\x0C\0\0", 16)));
    Put("dib", "fields16.bmp", at + Bitmap(2, 1, 16, "", LE16(0xF800) + LE16(0x001F)));

    Put("lwscene", "v3.lws",
        "\x02LWSC\n3\n\nFirstFrame 1\nLastFrame 60\nFramesPerSecond 30\nLoadObjectLayer 1 Objects\\tree.lwo\n"
        "NumChannels 2\nChannel 0\n{ Envelope\n  2\n  Key 0 0 0 0 0 0 0 0 0\n  Key 5 2 1 0 0 0 1 1 0\n"
        "  Behaviors 1 2\n}\nChannel 1\n{ Envelope\n  1\n  Key 1 0 3 0 0 0 0 0 0\n  Behaviors 3 4\n}\n"
        "PivotPosition 0 1 0\nAddNullObject Target\nParentItem 10000000\nAddLight\nLightName Sun\n"
        "LightIntensity (envelope)\n{ Envelope\n  1\n  Key 0.8 0 2 0 0 0 0 0 0\n  Behaviors 1 1\n}\n"
        "AddCamera\nCameraName Eye\nTargetItem 10000001\nZoomFactor 3.2\nPlugin MasterHandler 1 Mixer\nx\nEndPlugin\n");
    Put("lwscene", "v1.lws",
        std::string("\x00LWSC\n1\nFirstFrame 1\nLastFrame 90\nLoadObject Objects/rock.lwo\n", 61) +
            "ObjectMotion (unnamed)\n9\n2\n0 0 0 0 0 0 1 1 1\n0 0 0 0 0\n1 2 3 0.5 0 0 2 2 2\n30 1 0 0 0\n"
            "EndBehavior 2\nAddNullObject Null\nParentObject 1\nShowCamera 1 2\nZoomFactor 4\n");

    // LightWave chunk bodies: the first byte chooses the reader (fuzz/lwchunk.cpp).
    const std::vector<std::vector<unsigned char>> chunks = {
        {15, 0x05, 0x14, 0x33, 'C', 'O', 'L', 'R', 0, 14, 'a', 'b', 'c', 0, 0xFF, 1, 2, 3},
        {10, 0x04, 0x03, 'n', 'a', 'm', 'e', 0, 0, 0xFE, 0xFF},
        {5, 0x02, 0x3F, 0x80, 0, 0, 0x3F, 0, 0, 0, 0xC0, 0, 0, 0},
        // LWO2 surface: COLR, SIDE, and a BLOK with an IMAP header, TMAP, IMAG and ETPS.
        {1,   'C',  'O', 'L', 'R', 0,   14,  0x3F, 0x80, 0,   0,   0,   0,   0,   0,   0x3F, 0x80, 0,   0,   0,
         0,   'S',  'I', 'D', 'E', 0,   2,   0,    3,    'B', 'L', 'O', 'K', 0,   64,  'I',  'M',  'A', 'P', 0,
         12,  0x80, 0,   'C', 'H', 'A', 'N', 0,    4,    'C', 'O', 'L', 'R', 'T', 'M', 'A',  'P',  0,   20,  'C',
         'N', 'T',  'R', 0,   14,  0,   0,   0,    0,    0,   0,   0,   0,   0,   0,   0,    0,    0,   0,   'I',
         'M', 'A',  'G', 0,   2,   0,   1,   'E',  'T',  'P', 'S', 0,   6,   0,   1,   0xFF, 0,    0,   2},
        // LWOB surface: COLR, CTEX with TIMG and IMSQ, SHDR with SDAT.
        {2, 'C', 'O', 'L', 'R', 0, 4, 1,   2, 3,   4,   'C', 'T', 'E', 'X', 0, 4, 'P', 'I', 0,
         0, 'T', 'I', 'M', 'G', 0, 2, 'a', 0, 'I', 'M', 'S', 'Q', 0,   6,   0, 1, 0,   2,   0,
         3, 'S', 'H', 'D', 'R', 0, 2, 's', 0, 'S', 'D', 'A', 'T', 0,   3,   1, 2, 3},
        // Clip: STIL, ISEQ, IFLT.
        {3, 'S', 'T', 'I', 'L', 0, 4,   'a', '.', 't', 0,   'I', 'S', 'E', 'Q', 0, 14,  3, 0, 0, 0,
         0, 0,   0,   1,   0,   5, 'p', 0,   '.', 0,   'I', 'F', 'L', 'T', 0,   5, 'f', 0, 0, 1, 9},
        // Envelope: PRE, POST, two keys with LINE and BEZ2 spans.
        {4,    'P',  'R', 'E', ' ', 0,    2,    0,    2,    'P', 'O',  'S',  'T', 0,    2,    0,    3,
         'K',  'E',  'Y', ' ', 0,   8,    0,    0,    0,    0,   0x3F, 0x80, 0,   0,    'S',  'P',  'A',
         'N',  0,    4,   'L', 'I', 'N',  'E',  'K',  'E',  'Y', ' ',  0,    8,   0x3F, 0x80, 0,    0,
         0x41, 0x20, 0,   0,   'S', 'P',  'A',  'N',  0,    20,  'B',  'E',  'Z', '2',  0xBE, 0xAA, 0xAA,
         0xAB, 0,    0,   0,   0,   0x3E, 0xAA, 0xAA, 0xAB, 0,   0,    0,    0},
    };
    for (std::size_t i = 0; i < chunks.size(); ++i)
        Put("lwchunk", "body" + std::to_string(i), std::string(chunks[i].begin(), chunks[i].end()));

    // The flag byte, then the file: 0x80 marks a ".uv" file.
    Put("lwcompanion", "colors.vcl",
        "\x03VCLFILE\na\nb\nc\n6\n7\n2\n0 255 0 0 255 x\n1 0 255 0 255 x\n1\n0 1 2 3 4 x\n# note\n0\n1\n0 9 9 9 9 "
        "x\n1\n1 7 7 7 7 x\n1\n1 5 5 5 5 x\n");
    Put("lwcompanion", "keywords.uv",
        "\xB2VERSION 4\nSURFACE_COUNT 2\nSURFACE 1\nSURFACE_NAME\ntex\nSURFACE_IMAGE_FILE\nwall.tga\n"
        "POLY_COUNT 2\nPOLY 1\nPOLY_SURF 1\nPOLY_VERT_COUNT 3\nVERT 0\nVERT_UV 0 0\nVERT_RGB 1 0 0\n"
        "VERT_NORMAL 0 0 1\nVERT 1\nVERT_CUV 1 0\nVERT_RGB 1 0 0\nVERT_NORMAL 0 0 1\nVERT 2\nVERT_UV 1 1\n"
        "VERT_RGB 1 0 0\nVERT_NORMAL 0 0 1\n");
    Put("lwcompanion", "positional.uv",
        "\x80"
        "2\n1\ntex\nimg.tga\n2\n0 4\n0\n0\n0\n0\n1 3\n0 0 1\n1 0 1\n1 1 1\n");

    // Object files: the first byte chooses the form (bit 7 LWOB) and the load passes.
    const std::string points = F4(0) + F4(0) + F4(0) + F4(2) + F4(0) + F4(0) + F4(2) + F4(1) + F4(0) + F4(1) + F4(1) +
                               F4(0) + F4(1) + F4(2) + F4(0) + F4(0) + F4(2) + F4(0.5f);
    const std::string colour = "COLR" + BE16(14) + F4(1) + F4(0.5f) + F4(0) + BE16(0);
    Put("lwobject", "lshape.lwo",
        "\x13" + IffForm("LWO2",
                         IffChunk("TAGS", std::string("Skin\0\0Part\0\0", 12)) +
                             IffChunk("LAYR", BE16(0) + BE16(0) + F4(0) + F4(0) + F4(0) + std::string("L\0", 2)) +
                             IffChunk("PNTS", points) +
                             IffChunk("POLS", "FACE" + BE16(6) + BE16(0) + BE16(1) + BE16(2) + BE16(3) + BE16(4) +
                                                  BE16(5) + BE16(3) + BE16(0) + BE16(1) + BE16(3)) +
                             IffChunk("PTAG", "SURF" + BE16(0) + BE16(0) + BE16(1) + BE16(0)) +
                             IffChunk("VMAP", "TXUV" + BE16(2) + std::string("uv\0\0", 4) + BE16(0) + F4(0) + F4(1)) +
                             IffChunk("VMAD",
                                      "TXUV" + BE16(2) + std::string("uv\0\0", 4) + BE16(1) + BE16(0) + F4(1) + F4(1)) +
                             IffChunk("CLIP", BE32(1) + "STIL" + BE16(6) + std::string("a.tga\0", 6)) +
                             IffChunk("ENVL", BE16(1) + "KEY " + BE16(8) + F4(0) + F4(1)) +
                             IffChunk("SURF", std::string("Skin\0\0\0\0", 8) + colour)));
    Put("lwobject", "quads.lwob",
        "\x80" + IffForm("LWOB", IffChunk("PNTS", points) + IffChunk("SRFS", std::string("A\0B\0", 4)) +
                                     IffChunk("POLS", BE16(4) + BE16(0) + BE16(1) + BE16(2) + BE16(3) + BE16(0xFFFE) +
                                                          BE16(1) + BE16(3) + BE16(3) + BE16(4) + BE16(5) + BE16(1)) +
                                     IffChunk("CRVS", BE16(2) + BE16(0) + BE16(5) + BE16(2) + BE16(1)) +
                                     IffChunk("SURF", std::string("A\0", 2) + "COLR" + BE16(4) + "\x01\x02\x03" +
                                                          std::string(1, '\0') + "CTEX" + BE16(18) +
                                                          std::string("Planar Image Map\0\0", 18) + "TIMG" + BE16(6) +
                                                          std::string("a.tga\0", 6))));

    Put("script", "flow.tvs",
        "int n = 0\nfloat f = 1.5\nstring s = \"a\"\n*top\nn = n + 1\ns = s + tostring(n)\nprint(n, f * 2, s)\n"
        "if n < 3 goto *top\ngosub *sub\nsleep(1)\nprint(sin(pi() / 2), power(2, 10), abs(-3))\nend\n"
        "*sub\nf = atan2(1, 2) + truncate(2.7)\nreturn\n");
    Put("properties", "table.txt", "title=Snow\n;comment\nTITLE=again\r\nempty=\n=no key\r\rnoequals\nx=a=b");
    Put("selection", "remembered.conf",
        std::string("\x02\x00\x08\x03\x01\x01\x01\x00\x02\x02\x01\x01\xFF\x01\x04\x02\x00\x00\x00\x00\x00\x00\x00\xFF",
                    24) +
            "# chosen before\nadapter=adapter A\nmode=704x528x32@60\nmultisample=4\nanisotropy=8\nwindowed=1\n"
            "depthbits=24\nvsync=1\n");
    Put("selection", "unattended.txt",
        std::string("\x01\x00\x04\x02\x00\x00\x01\x00\xFF", 9) + " 0, 1, 2, 4, 0, 32, 1 ");
    Put("names", "deep", "\x01sub\\Deep");
    Put("names", "file", std::string("\0Sub\\b.TXT", 10));
    Put("names", "up", "\x01..\\outside.txt");
    Put("names", "nul", std::string("\x01\0", 2));

#ifdef TV_SEEDS_OGG
    Put("ogg", "mono.ogg",
        tvtools::EncodeOggWith(
            &vorbis_encode_init_vbr, 1, 8000, 600, {"TITLE=seed", "LOOPSTART=10"}, 0.1f,
            [](long i, int) { return static_cast<float>(0.5 * std::sin(static_cast<double>(i) * 0.2)); }));
    Put("ogg", "stereo.ogg",
        tvtools::EncodeOggWith(&vorbis_encode_init_vbr, 2, 11025, 300, {}, 0.0f, [](long i, int c) {
            return static_cast<float>(c ? 0.3 * std::sin(static_cast<double>(i) * 0.05) : 0.0);
        }));
#endif
    return 0;
}
