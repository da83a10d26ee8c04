#include "tools/dataset/ImageWrite.h"

#include <png.h>

#include <stdexcept>

namespace trivale {
namespace dataset {

namespace {

void AppendToBytes(png_structp png, png_bytep data, png_size_t size) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + size);
}

void FlushNothing(png_structp) {}

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

}  // namespace dataset
}  // namespace trivale
