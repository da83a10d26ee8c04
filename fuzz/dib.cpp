// The device-independent bitmap: decoded pixels, and drawing at offsets chosen by the input.
#include "FuzzSupport.h"
#include "devices/SimpleDIB.h"

using namespace trivale;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const int x = static_cast<std::int8_t>(in.Byte()), y = static_cast<std::int8_t>(in.Byte());
    const int sx = static_cast<std::int8_t>(in.Byte()), sy = static_cast<std::int8_t>(in.Byte());
    const std::string file = in.Rest();
    auto stream = fuzz::MemoryStream(file);
    CSimpleDIB dib;
    if (!fuzz::Parses([&] { dib.Load(*stream); })) {
        FUZZ_CHECK(dib.GetBitmap() == nullptr);
        return 0;
    }
    const PixelSurface* bitmap = dib.GetBitmap();
    FUZZ_CHECK(bitmap != nullptr && bitmap->width > 0 && bitmap->height > 0);
    FUZZ_CHECK(bitmap->width == dib.GetWidth() && bitmap->height == dib.GetHeight());
    FUZZ_CHECK(bitmap->pixels.size() == static_cast<std::size_t>(bitmap->width) * bitmap->height);
    // No pixel without its bits in the file: one bit per pixel at the least.
    FUZZ_CHECK(bitmap->pixels.size() <= file.size() * 8);
    PixelSurface target(40, 30);
    dib.Draw(target, x, y, 64, 64, sx, sy);
    dib.Draw(target, -x, -y);
    FUZZ_CHECK(target.pixels.size() == 40u * 30u);
    return 0;
}
