// PNG through libpng and JPEG through libjpeg, both reading from memory. The libraries report errors
// by long jump: each decode runs in a function whose frame holds no object with a destructor between
// the jump's set-up and its target, and every path destroys the library's state.
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>

#include <jpeglib.h>
#include <png.h>

#include "gfxkit/ImageCodec.h"

namespace plat {
namespace image {

namespace {

// Deflate expands by at most 1032 to 1: a PNG cannot hold more row bytes than that many times its size.
const uint64_t kMaxDeflateRatio = 1032;

// --------------------------------------------------------------------------------------------- PNG

struct PngSource {
    const uint8_t* data;
    size_t size;
    size_t pos;
    char message[160];
};

void PngRead(png_structp png, png_bytep out, size_t count) {
    PngSource* src = static_cast<PngSource*>(png_get_io_ptr(png));
    if (count > src->size - src->pos) png_error(png, "the data ends early");
    std::memcpy(out, src->data + src->pos, count);
    src->pos += count;
}

void PngError(png_structp png, png_const_charp message) {
    PngSource* src = static_cast<PngSource*>(png_get_error_ptr(png));
    std::snprintf(src->message, sizeof src->message, "%s", message);
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

struct PngHeader {
    uint32_t width, height;
    int colorType, bitDepth;
    bool transparency;
    size_t rowBytes;
};

// Returns null on success, else the reason. `pixels` is sized by the caller from the header first
// (headerOnly), so nothing is allocated inside the jump's reach but libpng's own state.
const char* PngDecode(PngSource* src, PngHeader* header, uint8_t* pixels, bool headerOnly) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, src, PngError, PngWarning);
    if (png == nullptr) return "out of memory";
    png_infop info = png_create_info_struct(png);
    png_bytep* volatile rows = nullptr;
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return "out of memory";
    }
    if (setjmp(png_jmpbuf(png))) {
        png_free(png, rows);
        png_destroy_read_struct(&png, &info, nullptr);
        return src->message;
    }
    png_set_user_limits(png, kMaxImageDimension, kMaxImageDimension);
    png_set_chunk_malloc_max(png, 8u << 20);
    png_set_read_fn(png, src, PngRead);
    png_read_info(png, info);
    header->width = png_get_image_width(png, info);
    header->height = png_get_image_height(png, info);
    header->colorType = png_get_color_type(png, info);
    header->bitDepth = png_get_bit_depth(png, info);
    header->transparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    header->rowBytes = png_get_rowbytes(png, info);
    if (!headerOnly) {
        // Every kind of PNG arrives as 8-bit B, G, R, A.
        png_set_expand(png);
        png_set_scale_16(png);
        png_set_gray_to_rgb(png);
        png_set_bgr(png);
        png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
        png_set_interlace_handling(png);
        png_read_update_info(png, info);
        if (png_get_rowbytes(png, info) != size_t(header->width) * 4) png_error(png, "unexpected row layout");
        rows = static_cast<png_bytep*>(png_malloc(png, sizeof(png_bytep) * header->height));
        for (uint32_t y = 0; y < header->height; ++y) rows[y] = pixels + size_t(y) * header->width * 4;
        png_read_image(png, rows);
        png_read_end(png, nullptr);
        png_free(png, rows);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return nullptr;
}

// --------------------------------------------------------------------------------------------- JPEG

struct JpegContext {
    jpeg_error_mgr err;  // first: libjpeg hands the error manager back as the context
    jpeg_source_mgr src;
    jmp_buf jump;
    const uint8_t* data;
    size_t size;
    bool truncated;
    char message[JMSG_LENGTH_MAX];
};

const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

void JpegInitSource(j_decompress_ptr) {}
boolean JpegFill(j_decompress_ptr cinfo) {
    // The data ran out: note it and end the image, as libjpeg expects of a source.
    JpegContext* ctx = reinterpret_cast<JpegContext*>(cinfo->err);
    ctx->truncated = true;
    cinfo->src->next_input_byte = kEndOfImage;
    cinfo->src->bytes_in_buffer = 2;
    return TRUE;
}
void JpegSkip(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    jpeg_source_mgr* src = cinfo->src;
    while (static_cast<size_t>(count) > src->bytes_in_buffer) {
        count -= static_cast<long>(src->bytes_in_buffer);
        JpegFill(cinfo);
    }
    src->next_input_byte += count;
    src->bytes_in_buffer -= static_cast<size_t>(count);
}
void JpegTermSource(j_decompress_ptr) {}

void JpegErrorExit(j_common_ptr cinfo) {
    JpegContext* ctx = reinterpret_cast<JpegContext*>(cinfo->err);
    cinfo->err->format_message(cinfo, ctx->message);
    longjmp(ctx->jump, 1);
}
void JpegMessage(j_common_ptr, int) {}

struct JpegHeader {
    uint32_t width, height;
    bool grey;
};

// Returns null on success, else the reason; as PngDecode, `pixels` is sized from a header-only call.
const char* JpegDecode(JpegContext* ctx, JpegHeader* header, uint8_t* pixels, bool headerOnly) {
    jpeg_decompress_struct cinfo;
    cinfo.err = jpeg_std_error(&ctx->err);
    ctx->err.error_exit = JpegErrorExit;
    ctx->err.emit_message = JpegMessage;
    ctx->truncated = false;
    if (setjmp(ctx->jump)) {
        jpeg_destroy_decompress(&cinfo);
        return ctx->message;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.src = &ctx->src;
    ctx->src.init_source = JpegInitSource;
    ctx->src.fill_input_buffer = JpegFill;
    ctx->src.skip_input_data = JpegSkip;
    ctx->src.resync_to_restart = jpeg_resync_to_restart;
    ctx->src.term_source = JpegTermSource;
    ctx->src.next_input_byte = ctx->data;
    ctx->src.bytes_in_buffer = ctx->size;
    jpeg_read_header(&cinfo, TRUE);
    if (ctx->truncated) {
        jpeg_destroy_decompress(&cinfo);
        return "the data ends early";
    }
    header->width = cinfo.image_width;
    header->height = cinfo.image_height;
    header->grey = cinfo.jpeg_color_space == JCS_GRAYSCALE;
    if (cinfo.jpeg_color_space != JCS_GRAYSCALE && cinfo.jpeg_color_space != JCS_YCbCr &&
        cinfo.jpeg_color_space != JCS_RGB) {
        jpeg_destroy_decompress(&cinfo);
        return "unsupported colour space";
    }
    // Huffman coding spends at least one bit on every block: more blocks than bits is a lie.
    uint64_t blocks = 0;
    for (int c = 0; c < cinfo.num_components; ++c) {
        const jpeg_component_info& comp = cinfo.comp_info[c];
        const uint64_t w = (uint64_t(cinfo.image_width) * comp.h_samp_factor + 8 * cinfo.max_h_samp_factor - 1) /
                           (8 * cinfo.max_h_samp_factor);
        const uint64_t h = (uint64_t(cinfo.image_height) * comp.v_samp_factor + 8 * cinfo.max_v_samp_factor - 1) /
                           (8 * cinfo.max_v_samp_factor);
        blocks += w * h;
    }
    if (!cinfo.arith_code && blocks > uint64_t(ctx->size) * 8) {
        jpeg_destroy_decompress(&cinfo);
        return "declares more blocks than its data can hold";
    }
    if (!headerOnly) {
        cinfo.out_color_space = JCS_EXT_BGRA;  // fills alpha with 255
        cinfo.mem->max_memory_to_use = long(kMaxImageTexels) * 8;
        jpeg_start_decompress(&cinfo);
        if (cinfo.output_width != header->width || cinfo.output_height != header->height ||
            cinfo.output_components != 4) {
            jpeg_destroy_decompress(&cinfo);
            return "unexpected output layout";
        }
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW row = pixels + size_t(cinfo.output_scanline) * header->width * 4;
            jpeg_read_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_decompress(&cinfo);
    }
    jpeg_destroy_decompress(&cinfo);
    if (ctx->truncated) return "the data ends early";
    return nullptr;
}

}  // namespace

void ReadPng(const uint8_t* data, size_t size, bool headerOnly, Decoded& out) {
    out.info.imageFileFormat = ImageFileFormat::Png;
    PngSource src{data, size, 0, {}};
    PngHeader header{};
    if (const char* why = PngDecode(&src, &header, nullptr, true)) Fail(std::string("PNG: ") + why);
    CheckImageSize("PNG", header.width, header.height);
    if ((uint64_t(header.rowBytes) + 1) * header.height > kMaxDeflateRatio * size + 4096)
        Fail("PNG: declares more rows than its data can hold");
    const bool alpha = (header.colorType & PNG_COLOR_MASK_ALPHA) != 0 || header.transparency;
    out.info.width = header.width;
    out.info.height = header.height;
    if (header.colorType == PNG_COLOR_TYPE_GRAY || header.colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
        out.info.format = alpha ? Format::AlphaLuminance88 : Format::Luminance8;
    else if (header.colorType == PNG_COLOR_TYPE_RGB)
        out.info.format = alpha ? Format::Argb8888 : Format::Rgb888;
    else
        out.info.format = alpha ? Format::Argb8888 : Format::Xrgb8888;
    if (headerOnly) return;
    out.levels.resize(1);
    Allocate(out.levels[0], header.width, header.height);
    src.pos = 0;
    if (const char* why = PngDecode(&src, &header, out.levels[0].bgra.data(), false)) Fail(std::string("PNG: ") + why);
}

void ReadJpeg(const uint8_t* data, size_t size, bool headerOnly, Decoded& out) {
    out.info.imageFileFormat = ImageFileFormat::Jpg;
    JpegContext ctx{};
    ctx.data = data;
    ctx.size = size;
    JpegHeader header{};
    if (const char* why = JpegDecode(&ctx, &header, nullptr, true)) Fail(std::string("JPEG: ") + why);
    CheckImageSize("JPEG", header.width, header.height);
    out.info.width = header.width;
    out.info.height = header.height;
    out.info.format = header.grey ? Format::Luminance8 : Format::Xrgb8888;
    if (headerOnly) return;
    out.levels.resize(1);
    Allocate(out.levels[0], header.width, header.height);
    if (const char* why = JpegDecode(&ctx, &header, out.levels[0].bgra.data(), false))
        Fail(std::string("JPEG: ") + why);
}

}  // namespace image
}  // namespace plat
