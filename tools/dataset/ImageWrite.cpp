#include "tools/dataset/ImageWrite.h"

#include <png.h>
// libjpeg's header needs size_t and FILE declared first.
#include <jpeglib.h>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace trivale {
namespace dataset {

namespace {

void AppendToBytes(png_structp png, png_bytep data, png_size_t size) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + size);
}

void FlushNothing(png_structp) {}

void CheckImage(const Image& image, const char* kind) {
    if (image.width <= 0 || image.height <= 0 || image.width > 16384 || image.height > 16384 ||
        image.rgba.size() != static_cast<std::size_t>(image.width) * image.height * 4)
        throw std::invalid_argument(std::string(kind) + ": bad picture size " + std::to_string(image.width) + "x" +
                                    std::to_string(image.height));
}

void Put16(Bytes& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// ------------------------------------------------------------------------------------------ JPEG

struct JpegErrors {
    jpeg_error_mgr mgr;  // first: libjpeg hands this back as the context
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void JpegErrorExit(j_common_ptr cinfo) {
    JpegErrors* errors = reinterpret_cast<JpegErrors*>(cinfo->err);
    cinfo->err->format_message(cinfo, errors->message);
    std::longjmp(errors->jump, 1);
}
void JpegQuiet(j_common_ptr, int) {}

// Kept apart from EncodeJpeg so that no object with a destructor lives across the setjmp.
const char* CompressJpeg(const Image& image, int quality, JpegErrors& errors, unsigned char** buffer,
                         unsigned long* size, std::vector<std::uint8_t>& row) {
    jpeg_compress_struct cinfo;
    cinfo.err = jpeg_std_error(&errors.mgr);
    errors.mgr.error_exit = JpegErrorExit;
    errors.mgr.emit_message = JpegQuiet;
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&cinfo);
        return errors.message;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, buffer, size);
    cinfo.image_width = static_cast<JDIMENSION>(image.width);
    cinfo.image_height = static_cast<JDIMENSION>(image.height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.optimize_coding = TRUE;
    cinfo.dct_method = JDCT_ISLOW;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        const std::uint8_t* src = image.At(0, static_cast<int>(cinfo.next_scanline));
        for (int x = 0; x < image.width; ++x)
            for (int c = 0; c < 3; ++c) row[static_cast<std::size_t>(x) * 3 + c] = src[x * 4 + c];
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return nullptr;
}

// ------------------------------------------------------------------------------------------ DXT

using Texels = std::uint8_t[16][4];  // R, G, B, A

void GatherBlock(const Image& image, int bx, int by, Texels out) {
    for (int i = 0; i < 16; ++i) {
        // Blocks past the edge of a small level repeat its last row and column.
        const int x = std::min(bx * 4 + (i & 3), image.width - 1), y = std::min(by * 4 + (i >> 2), image.height - 1);
        std::copy(image.At(x, y), image.At(x, y) + 4, out[i]);
    }
}

std::uint16_t To565(const float c[3]) {
    auto q = [](float v, float top) {
        return static_cast<std::uint16_t>(std::lround(std::clamp(v, 0.0f, 255.0f) * top / 255.0f));
    };
    return static_cast<std::uint16_t>((q(c[0], 31) << 11) | (q(c[1], 63) << 5) | q(c[2], 31));
}

void From565(std::uint16_t c, int rgb[3]) {
    const int r = c >> 11, g = (c >> 5) & 63, b = c & 31;
    rgb[0] = (r << 3) | (r >> 2);
    rgb[1] = (g << 2) | (g >> 4);
    rgb[2] = (b << 3) | (b >> 2);
}

// The colour half of a block in four-colour mode: endpoints at the ends of the texels' spread along
// their principal axis, each texel given the nearest of the four colours. Texels that are nearly
// transparent do not steer the endpoints.
void EncodeColourBlock(const Texels px, std::uint8_t out[8]) {
    bool use[16];
    int used = 0;
    for (int i = 0; i < 16; ++i) used += (use[i] = px[i][3] >= 16);
    if (used == 0) std::fill(use, use + 16, true), used = 16;
    float mean[3] = {0, 0, 0};
    for (int i = 0; i < 16; ++i)
        if (use[i])
            for (int c = 0; c < 3; ++c) mean[c] += px[i][c];
    for (float& m : mean) m /= static_cast<float>(used);
    float cov[3][3] = {};
    for (int i = 0; i < 16; ++i) {
        if (!use[i]) continue;
        float d[3];
        for (int c = 0; c < 3; ++c) d[c] = px[i][c] - mean[c];
        for (int a = 0; a < 3; ++a)
            for (int b = 0; b < 3; ++b) cov[a][b] += d[a] * d[b];
    }
    float axis[3] = {1, 1, 1};
    for (int iter = 0; iter < 8; ++iter) {
        float next[3] = {0, 0, 0};
        for (int a = 0; a < 3; ++a)
            for (int b = 0; b < 3; ++b) next[a] += cov[a][b] * axis[b];
        const float len = std::max({std::fabs(next[0]), std::fabs(next[1]), std::fabs(next[2])});
        if (len < 1e-6f) break;
        for (int a = 0; a < 3; ++a) axis[a] = next[a] / len;
    }
    const float norm = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
    for (float& a : axis) a /= norm;
    float lo = 0, hi = 0;
    for (int i = 0; i < 16; ++i) {
        if (!use[i]) continue;
        const float t =
            (px[i][0] - mean[0]) * axis[0] + (px[i][1] - mean[1]) * axis[1] + (px[i][2] - mean[2]) * axis[2];
        lo = std::min(lo, t), hi = std::max(hi, t);
    }
    float e0[3], e1[3];
    for (int c = 0; c < 3; ++c) e0[c] = mean[c] + axis[c] * hi, e1[c] = mean[c] + axis[c] * lo;
    std::uint16_t c0 = To565(e0), c1 = To565(e1);
    if (c0 < c1) std::swap(c0, c1);
    std::uint32_t indices = 0;
    if (c0 != c1) {
        // c0 > c1 keeps the four-colour mode; the palette is worked out as the decoder does.
        int pal[4][3];
        From565(c0, pal[0]);
        From565(c1, pal[1]);
        for (int c = 0; c < 3; ++c) {
            pal[2][c] = (2 * pal[0][c] + pal[1][c]) / 3;
            pal[3][c] = (pal[0][c] + 2 * pal[1][c]) / 3;
        }
        for (int i = 0; i < 16; ++i) {
            int best = 0, bestDist = 1 << 30;
            for (int k = 0; k < 4; ++k) {
                int dist = 0;
                for (int c = 0; c < 3; ++c) dist += (px[i][c] - pal[k][c]) * (px[i][c] - pal[k][c]);
                if (dist < bestDist) best = k, bestDist = dist;
            }
            indices |= static_cast<std::uint32_t>(best) << (2 * i);
        }
    }
    out[0] = static_cast<std::uint8_t>(c0), out[1] = static_cast<std::uint8_t>(c0 >> 8);
    out[2] = static_cast<std::uint8_t>(c1), out[3] = static_cast<std::uint8_t>(c1 >> 8);
    for (int k = 0; k < 4; ++k) out[4 + k] = static_cast<std::uint8_t>(indices >> (8 * k));
}

// The alpha half of a DXT5 block: eight values between the block's largest and smallest alpha.
void EncodeAlphaBlock(const Texels px, std::uint8_t out[8]) {
    int hi = 0, lo = 255;
    for (int i = 0; i < 16; ++i) hi = std::max<int>(hi, px[i][3]), lo = std::min<int>(lo, px[i][3]);
    out[0] = static_cast<std::uint8_t>(hi), out[1] = static_cast<std::uint8_t>(lo);
    std::uint64_t bits = 0;
    if (hi > lo) {
        int values[8] = {hi, lo};
        for (int k = 1; k < 7; ++k) values[k + 1] = ((7 - k) * hi + k * lo) / 7;
        for (int i = 0; i < 16; ++i) {
            int best = 0;
            for (int k = 1; k < 8; ++k)
                if (std::abs(px[i][3] - values[k]) < std::abs(px[i][3] - values[best])) best = k;
            bits |= static_cast<std::uint64_t>(best) << (3 * i);
        }
    }
    for (int k = 0; k < 6; ++k) out[2 + k] = static_cast<std::uint8_t>(bits >> (8 * k));
}

void AppendLevel(Bytes& out, const Image& level, DdsFormat format) {
    if (format == DdsFormat::Argb8888) {
        for (std::size_t i = 0; i < level.rgba.size(); i += 4) {
            const std::uint8_t* p = &level.rgba[i];
            out.insert(out.end(), {p[2], p[1], p[0], p[3]});
        }
        return;
    }
    Texels px;
    std::uint8_t block[8];
    for (int by = 0; by < (level.height + 3) / 4; ++by) {
        for (int bx = 0; bx < (level.width + 3) / 4; ++bx) {
            GatherBlock(level, bx, by, px);
            if (format == DdsFormat::Dxt5) {
                EncodeAlphaBlock(px, block);
                out.insert(out.end(), block, block + 8);
            }
            EncodeColourBlock(px, block);
            out.insert(out.end(), block, block + 8);
        }
    }
}

// The next mip level: each texel the average of a 2x2 square (sides halve, never below 1).
Image HalveImage(const Image& image) {
    Image half(std::max(image.width / 2, 1), std::max(image.height / 2, 1));
    for (int y = 0; y < half.height; ++y) {
        for (int x = 0; x < half.width; ++x) {
            const int x0 = std::min(2 * x, image.width - 1), x1 = std::min(2 * x + 1, image.width - 1);
            const int y0 = std::min(2 * y, image.height - 1), y1 = std::min(2 * y + 1, image.height - 1);
            for (int c = 0; c < 4; ++c)
                half.At(x, y)[c] = static_cast<std::uint8_t>(
                    (image.At(x0, y0)[c] + image.At(x1, y0)[c] + image.At(x0, y1)[c] + image.At(x1, y1)[c] + 2) / 4);
        }
    }
    return half;
}

}  // namespace

Bytes EncodePng(const Image& image, bool withAlpha) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        throw std::runtime_error("libpng: cannot start a PNG");
    }
    std::vector<std::uint8_t> row(static_cast<std::size_t>(image.width) * 4);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw std::runtime_error("libpng: cannot write a PNG");
    }
    png_set_write_fn(png, &out, AppendToBytes, FlushNothing);
    png_set_compression_level(png, 9);
    png_set_IHDR(png, info, image.width, image.height, 8, withAlpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* src = image.At(0, y);
        std::size_t n = 0;
        for (int x = 0; x < image.width; ++x, src += 4) {
            for (int c = 0; c < (withAlpha ? 4 : 3); ++c) row[n++] = src[c];
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

Bytes EncodeJpeg(const Image& image, int quality) {
    CheckImage(image, "JPEG");
    if (quality < 1 || quality > 100) throw std::invalid_argument("JPEG: quality outside 1..100");
    JpegErrors errors;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    std::vector<std::uint8_t> row(static_cast<std::size_t>(image.width) * 3);
    const char* failure = CompressJpeg(image, quality, errors, &buffer, &size, row);
    Bytes out;
    if (!failure) out.assign(buffer, buffer + size);
    std::free(buffer);
    if (failure) throw std::runtime_error(std::string("libjpeg: ") + failure);
    return out;
}

Bytes EncodeBmp(const Image& image) {
    CheckImage(image, "BMP");
    const std::uint32_t pitch = (static_cast<std::uint32_t>(image.width) * 3 + 3) & ~3u;
    const std::uint32_t pixels = pitch * static_cast<std::uint32_t>(image.height);
    const std::uint32_t offset = 14 + 40;
    Bytes out;
    out.reserve(offset + pixels);
    out.push_back('B'), out.push_back('M');
    Put32(out, offset + pixels);
    Put32(out, 0);  // reserved
    Put32(out, offset);
    Put32(out, 40);
    Put32(out, static_cast<std::uint32_t>(image.width));
    Put32(out, static_cast<std::uint32_t>(image.height));  // positive: bottom row first
    Put16(out, 1);                                         // planes
    Put16(out, 24);
    Put32(out, 0);  // no compression
    Put32(out, pixels);
    Put32(out, 2835), Put32(out, 2835);  // 72 dots per inch
    Put32(out, 0), Put32(out, 0);        // no palette
    for (int y = image.height - 1; y >= 0; --y) {
        const std::uint8_t* src = image.At(0, y);
        for (int x = 0; x < image.width; ++x, src += 4) out.insert(out.end(), {src[2], src[1], src[0]});
        for (std::uint32_t pad = static_cast<std::uint32_t>(image.width) * 3; pad < pitch; ++pad) out.push_back(0);
    }
    return out;
}

Bytes EncodeDds(const Image& image, DdsFormat format, MipChain mips) {
    CheckImage(image, "DDS");
    const bool blocks = format != DdsFormat::Argb8888;
    std::uint32_t levels = 1;
    if (mips == MipChain::Full)
        while ((std::max(image.width, image.height) >> levels) != 0) ++levels;
    const std::uint32_t blockBytes = format == DdsFormat::Dxt1 ? 8 : 16;
    const std::uint32_t w = static_cast<std::uint32_t>(image.width), h = static_cast<std::uint32_t>(image.height);

    Bytes out;
    Put32(out, 0x20534444);  // "DDS "
    Put32(out, 124);
    const std::uint32_t kCaps = 0x1, kHeight = 0x2, kWidth = 0x4, kPitch = 0x8, kPixelFormat = 0x1000,
                        kMipCount = 0x20000, kLinearSize = 0x80000;
    Put32(out, kCaps | kHeight | kWidth | kPixelFormat | (blocks ? kLinearSize : kPitch) |
                   (mips == MipChain::Full ? kMipCount : 0));
    Put32(out, h);
    Put32(out, w);
    Put32(out, blocks ? std::max((w + 3) / 4, 1u) * std::max((h + 3) / 4, 1u) * blockBytes : w * 4);
    Put32(out, 0);                                    // depth
    Put32(out, mips == MipChain::Full ? levels : 0);  // mip count
    for (int i = 0; i < 11; ++i) Put32(out, 0);       // reserved
    Put32(out, 32);                                   // pixel format record
    const std::uint32_t kAlphaPixels = 0x1, kFourCc = 0x4, kRgb = 0x40;
    Put32(out, blocks ? kFourCc : kRgb | kAlphaPixels);
    Put32(out, format == DdsFormat::Dxt1 ? 0x31545844 : format == DdsFormat::Dxt5 ? 0x35545844 : 0);
    Put32(out, blocks ? 0 : 32);
    Put32(out, blocks ? 0 : 0x00FF0000), Put32(out, blocks ? 0 : 0x0000FF00);
    Put32(out, blocks ? 0 : 0x000000FF), Put32(out, blocks ? 0 : 0xFF000000);
    const std::uint32_t kTexture = 0x1000, kComplex = 0x8, kMipMap = 0x400000;
    Put32(out, kTexture | (mips == MipChain::Full ? kComplex | kMipMap : 0));
    for (int i = 0; i < 4; ++i) Put32(out, 0);  // caps2..4, reserved

    Image level = image;
    for (std::uint32_t i = 0; i < levels; ++i) {
        if (i > 0) level = HalveImage(level);
        AppendLevel(out, level, format);
    }
    return out;
}

}  // namespace dataset
}  // namespace trivale
