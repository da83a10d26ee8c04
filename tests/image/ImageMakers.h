#pragma once
// Image files made in memory for the loader's tests: PNG and JPEG through their libraries, the rest
// byte by byte. Texels are given as 0xAARRGGBB, rows top first.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>

typedef std::vector<uint8_t> Bytes;

inline void Put16(Bytes& b, uint32_t v) { b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8)); }
inline void Put32(Bytes& b, uint32_t v) { Put16(b, v & 0xFFFF), Put16(b, v >> 16); }

inline void PngWrite(png_structp png, png_bytep data, size_t n) {
    Bytes* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}

// `rows` are the file's own row bytes; palette/trns only for the kinds that use them.
inline Bytes MakePng(uint32_t w, uint32_t h, int colorType, int depth, const Bytes& raw,
                     const std::vector<png_color>& palette = {}, const Bytes& trns = {}, bool interlaced = false) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, PngWrite, nullptr);
    png_set_IHDR(png, info, w, h, depth, colorType, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), int(palette.size()));
    if (!trns.empty()) png_set_tRNS(png, info, trns.data(), int(trns.size()), nullptr);
    png_write_info(png, info);
    const size_t pitch = raw.size() / h;
    std::vector<png_bytep> rows(h);
    for (uint32_t y = 0; y < h; ++y) rows[y] = const_cast<uint8_t*>(raw.data()) + y * pitch;
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

// RGBA PNG from ARGB texels.
inline Bytes MakeRgbaPng(uint32_t w, uint32_t h, const std::vector<uint32_t>& argb) {
    Bytes raw;
    for (uint32_t c : argb) raw.insert(raw.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), uint8_t(c >> 24)});
    return MakePng(w, h, PNG_COLOR_TYPE_RGB_ALPHA, 8, raw);
}

// RGB (3 components) or grey (1) JPEG at the given quality, without chroma subsampling.
inline Bytes MakeJpeg(uint32_t w, uint32_t h, int components, const Bytes& raw, int quality = 100) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = w;
    c.image_height = h;
    c.input_components = components;
    c.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    for (int i = 0; i < c.num_components; ++i) c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < h) {
        JSAMPROW row = const_cast<uint8_t*>(raw.data()) + size_t(c.next_scanline) * w * components;
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    Bytes out(mem, mem + size);
    jpeg_destroy_compress(&c);
    free(mem);
    return out;
}

// BMP of 8 (palette of ARGB entries, texels are indices), 24 or 32 bits; bottom-up unless topDown.
inline Bytes MakeBmp(int32_t w, int32_t h, int bits, const std::vector<uint32_t>& texels,
                     const std::vector<uint32_t>& palette = {}, bool topDown = false, bool alphaMasks = false) {
    const uint32_t header = alphaMasks ? 108 : 40;
    const uint32_t pitch = ((uint32_t(w) * bits + 31) / 32) * 4;
    const uint32_t offset = 14 + header + uint32_t(palette.size()) * 4;
    Bytes b = {'B', 'M'};
    Put32(b, offset + pitch * h), Put32(b, 0), Put32(b, offset);
    Put32(b, header), Put32(b, w), Put32(b, topDown ? -h : h), Put16(b, 1), Put16(b, bits);
    Put32(b, alphaMasks ? 3 : 0), Put32(b, pitch * h), Put32(b, 2835), Put32(b, 2835);
    Put32(b, uint32_t(palette.size())), Put32(b, 0);
    if (alphaMasks) {
        Put32(b, 0xFF0000), Put32(b, 0xFF00), Put32(b, 0xFF), Put32(b, 0xFF000000);
        b.resize(14 + header, 0);
    }
    for (uint32_t c : palette) Put32(b, c & 0xFFFFFF);
    for (int32_t r = 0; r < h; ++r) {
        const int32_t y = topDown ? r : h - 1 - r;
        const size_t start = b.size();
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t c = texels[size_t(y) * w + x];
            if (bits == 8)
                b.push_back(uint8_t(c));
            else if (bits == 24)
                b.insert(b.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)});
            else
                Put32(b, c);
        }
        b.resize(start + pitch, 0);
    }
    return b;
}

// TGA header followed by the given colour map and pixel bytes, as written.
inline Bytes MakeTga(uint8_t type, uint16_t w, uint16_t h, uint8_t bits, uint8_t descriptor, const Bytes& pixels,
                     const Bytes& map = {}, uint8_t mapBits = 0, uint16_t mapFirst = 0) {
    const uint16_t mapLength = mapBits ? uint16_t(map.size() / (mapBits / 8)) : 0;
    Bytes b = {0, uint8_t(mapBits ? 1 : 0), type};
    Put16(b, mapFirst), Put16(b, mapLength), b.push_back(mapBits);
    Put16(b, 0), Put16(b, 0), Put16(b, w), Put16(b, h), b.push_back(bits), b.push_back(descriptor);
    b.insert(b.end(), map.begin(), map.end());
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

// DDS header for a pixel format given by four-character code (fourCc != 0) or flags, bits and masks.
inline Bytes MakeDds(uint32_t w, uint32_t h, uint32_t mips, uint32_t fourCc, uint32_t pfFlags, uint32_t bits,
                     uint32_t r, uint32_t g, uint32_t bl, uint32_t a, const Bytes& data) {
    Bytes b = {'D', 'D', 'S', ' '};
    Put32(b, 124), Put32(b, 0x1007 | (mips > 1 ? 0x20000 : 0)), Put32(b, h), Put32(b, w), Put32(b, 0), Put32(b, 0);
    Put32(b, mips);
    b.resize(4 + 72, 0);
    Put32(b, 32), Put32(b, fourCc ? 4 : pfFlags), Put32(b, fourCc), Put32(b, bits);
    Put32(b, r), Put32(b, g), Put32(b, bl), Put32(b, a);
    Put32(b, 0x1000), Put32(b, 0), Put32(b, 0), Put32(b, 0), Put32(b, 0);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

inline Bytes Le32Texels(const std::vector<uint32_t>& t) {
    Bytes b;
    for (uint32_t v : t) Put32(b, v);
    return b;
}
