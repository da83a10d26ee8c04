#pragma once
// Image files made in memory for the loader's tests: PNG and JPEG through their libraries, the rest
// byte by byte. Texels are given as 0xAARRGGBB, rows top first.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>
#include <png.h>

typedef std::vector<uint8_t> Bytes;

inline void Put16(Bytes& b, uint32_t v) { b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8)); }
inline void Put32(Bytes& b, uint32_t v) { Put16(b, v & 0xFFFF), Put16(b, v >> 16); }
inline Bytes Le32(const std::vector<uint32_t>& values) {
    Bytes b;
    for (uint32_t v : values) Put32(b, v);
    return b;
}

// `raw` holds the file's own row bytes; palette and transparency only for the kinds that use them.
inline Bytes MakePng(uint32_t w, uint32_t h, int colorType, int depth, const Bytes& raw,
                     const std::vector<png_color>& palette = {}, const Bytes& trns = {}, bool interlaced = false) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    auto write = [](png_structp p, png_bytep data, size_t n) {
        Bytes* to = static_cast<Bytes*>(png_get_io_ptr(p));
        to->insert(to->end(), data, data + n);
    };
    png_set_write_fn(png, &out, write, nullptr);
    png_set_IHDR(png, info, w, h, depth, colorType, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), int(palette.size()));
    if (!trns.empty()) png_set_tRNS(png, info, trns.data(), int(trns.size()), nullptr);
    png_write_info(png, info);
    std::vector<png_bytep> rows(h);
    for (uint32_t y = 0; y < h; ++y) rows[y] = const_cast<uint8_t*>(raw.data()) + y * (raw.size() / h);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

// RGB (3 components) or grey (1) JPEG at quality 100, without chroma subsampling.
inline Bytes MakeJpeg(uint32_t w, uint32_t h, int components, const Bytes& raw) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = w, c.image_height = h, c.input_components = components;
    c.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 100, TRUE);
    for (int i = 0; i < c.num_components; ++i) c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    jpeg_start_compress(&c, TRUE);
    for (JSAMPROW row; c.next_scanline < h; jpeg_write_scanlines(&c, &row, 1))
        row = const_cast<uint8_t*>(raw.data()) + size_t(c.next_scanline) * w * components;
    jpeg_finish_compress(&c);
    Bytes out(mem, mem + size);
    jpeg_destroy_compress(&c);
    free(mem);
    return out;
}

// BMP of 8 (palette of ARGB entries, texels are indices), 24 or 32 bits; bottom-up unless topDown.
inline Bytes MakeBmp(int32_t w, int32_t h, int bits, const std::vector<uint32_t>& texels,
                     const std::vector<uint32_t>& palette = {}, bool topDown = false, bool alphaMasks = false) {
    const uint32_t header = alphaMasks ? 108 : 40, pitch = ((uint32_t(w) * bits + 31) / 32) * 4;
    const uint32_t offset = 14 + header + uint32_t(palette.size()) * 4;
    Bytes b = {'B', 'M'};
    Put32(b, offset + pitch * h), Put32(b, 0), Put32(b, offset);
    Put32(b, header), Put32(b, w), Put32(b, topDown ? -h : h), Put16(b, 1), Put16(b, bits);
    Put32(b, alphaMasks ? 3 : 0), Put32(b, pitch * h), Put32(b, 2835), Put32(b, 2835);
    Put32(b, uint32_t(palette.size())), Put32(b, 0);
    if (alphaMasks) Put32(b, 0xFF0000), Put32(b, 0xFF00), Put32(b, 0xFF), Put32(b, 0xFF000000);
    b.resize(14 + header, 0);
    for (uint32_t c : palette) Put32(b, c & 0xFFFFFF);
    for (int32_t r = 0; r < h; ++r) {
        const size_t start = b.size();
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t c = texels[size_t(topDown ? r : h - 1 - r) * w + x];
            for (int k = 0; k < bits / 8; ++k) b.push_back(uint8_t(c >> (8 * k)));
        }
        b.resize(start + pitch, 0);
    }
    return b;
}

// TGA header followed by the given colour map and pixel bytes, as written.
inline Bytes MakeTga(uint8_t type, uint16_t w, uint16_t h, uint8_t bits, uint8_t descriptor, const Bytes& pixels,
                     const Bytes& map = {}, uint8_t mapBits = 0, uint16_t mapFirst = 0) {
    Bytes b = {0, uint8_t(mapBits ? 1 : 0), type};
    Put16(b, mapFirst), Put16(b, mapBits ? uint16_t(map.size() / (mapBits / 8)) : 0), b.push_back(mapBits);
    Put16(b, 0), Put16(b, 0), Put16(b, w), Put16(b, h), b.push_back(bits), b.push_back(descriptor);
    b.insert(b.end(), map.begin(), map.end());
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

// DDS of a pixel format given as {four-character code} or {flags, bits, red, green, blue, alpha masks}.
inline Bytes MakeDds(uint32_t w, uint32_t h, uint32_t mips, const std::vector<uint32_t>& pf, const Bytes& data) {
    const bool fourCc = pf.size() == 1;
    Bytes b = {'D', 'D', 'S', ' '};
    Put32(b, 124), Put32(b, 0x1007 | (mips > 1 ? 0x20000 : 0)), Put32(b, h), Put32(b, w), Put32(b, 0), Put32(b, 0);
    Put32(b, mips);
    b.resize(4 + 72, 0);
    Put32(b, 32), Put32(b, fourCc ? 4 : pf[0]), Put32(b, fourCc ? pf[0] : 0);
    for (size_t i = 1; i < 6; ++i) Put32(b, fourCc ? 0 : pf[i]);
    Put32(b, 0x1000);
    b.resize(b.size() + 16, 0);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}
