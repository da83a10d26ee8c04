// The application's drawing tests run inside a real driver, over the recording device or GL under the
// off-screen video driver (see tests/render). Fonts and the watermark are made here: a 5 x 7 glyph
// set drawn into each overlay font's cell grid, written as TGA files under the names the overlay asks
// for (the loader goes by the bytes, not the name).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/render/RenderTestSupport.h"

namespace overlaytest {

using rendertest::Backend;

// Rows of five pixels, top first, bit 4 leftmost.
inline const std::map<char, std::vector<int>>& Glyphs() {
    static const std::map<char, std::vector<int>> glyphs = {
        {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
        {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
        {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
        {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
        {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
        {'A', {0x0E, 0x11, 0x11, 0x11, 0x1F, 0x11, 0x11}}, {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
        {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}}, {'D', {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}},
        {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}}, {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
        {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}}, {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
        {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
        {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}}, {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
        {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}}, {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
        {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
        {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}}, {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
        {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}}, {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
        {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
        {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}}, {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
        {'Y', {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}}, {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
        {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}}, {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
        {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}}, {'%', {0x18, 0x19, 0x02, 0x04, 0x08, 0x13, 0x03}},
        {'/', {0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x00}}, {'[', {0x0E, 0x08, 0x08, 0x08, 0x08, 0x08, 0x0E}},
        {']', {0x0E, 0x02, 0x02, 0x02, 0x02, 0x02, 0x0E}}, {'<', {0x02, 0x04, 0x08, 0x10, 0x08, 0x04, 0x02}},
        {'>', {0x08, 0x04, 0x02, 0x01, 0x02, 0x04, 0x08}}, {'(', {0x02, 0x04, 0x08, 0x08, 0x08, 0x04, 0x02}},
        {')', {0x08, 0x04, 0x02, 0x02, 0x02, 0x04, 0x08}}, {'_', {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1F}},
    };
    return glyphs;
}

struct FontFile {
    const char* name;
    int width, height;  // of the texture
    int cell, columns;  // cells are square, `columns` to a row from the left edge
    int first, last;    // codes of one glyph set
    int sets;
    int scale, dx, dy;  // glyph pixels are scale x scale, drawn from (dx, dy) in the cell
};

// The six overlay fonts with the grids the overlay reads them with; lower case draws as capitals.
inline const std::vector<FontFile>& FontFiles() {
    static const std::vector<FontFile> files = {
        {"fonts/FONT08T2.png", 256, 256, 16, 16, 0x00, 0x7F, 2, 1, 1, 0},
        {"fonts/FONT12T2.png", 256, 64, 16, 16, 0x20, 0x5F, 1, 2, 0, 0},
        {"fonts/FONT16T2.png", 256, 64, 16, 16, 0x20, 0x5F, 1, 2, 3, 1},
        {"fonts/FONT20T2.png", 512, 128, 32, 16, 0x20, 0x5F, 1, 2, 5, 3},
        {"fonts/FONT24T2.png", 512, 96, 24, 16, 0x20, 0x5F, 1, 3, 4, 1},
        {"fonts/FONT32T2.png", 512, 128, 32, 16, 0x20, 0x5F, 1, 4, 6, 2},
    };
    return files;
}

inline std::vector<unsigned char> MakeFont(const FontFile& f) {
    std::vector<std::uint32_t> texels(static_cast<std::size_t>(f.width) * f.height, 0);
    const int setSize = f.last - f.first + 1;
    for (int set = 0; set < f.sets; ++set) {
        for (int code = f.first; code <= f.last; ++code) {
            const char upper = static_cast<char>(code >= 'a' && code <= 'z' ? code - 32 : code);
            const auto glyph = Glyphs().find(upper);
            if (glyph == Glyphs().end()) continue;
            const int cell = set * setSize + code - f.first;
            const int x0 = (cell % f.columns) * f.cell + f.dx, y0 = (cell / f.columns) * f.cell + f.dy;
            for (int row = 0; row < 7; ++row) {
                for (int col = 0; col < 5; ++col) {
                    if ((glyph->second[static_cast<std::size_t>(row)] & (0x10 >> col)) == 0) continue;
                    for (int py = 0; py < f.scale; ++py) {
                        for (int px = 0; px < f.scale; ++px) {
                            const int x = x0 + col * f.scale + px, y = y0 + row * f.scale + py;
                            if (x < f.width && y < f.height) {
                                texels[static_cast<std::size_t>(y) * f.width + x] = 0xFFFFFFFFu;
                            }
                        }
                    }
                }
            }
        }
    }
    return rendertest::MakeTga(f.width, f.height, texels);
}

// Writes the fonts and a watermark (a 512 x 128 picture, a faint frame) into a data directory.
inline void WriteOverlayData(const std::function<void(const std::string&, const std::vector<unsigned char>&)>& write) {
    for (const FontFile& f : FontFiles()) write(f.name, MakeFont(f));
    std::vector<std::uint32_t> mark(512 * 128, 0);
    for (int x = 0; x < 376; ++x) mark[x] = mark[127 * 512 + x] = 0x40FFFFFFu;
    write("clip_watermark.dds", rendertest::MakeTga(512, 128, mark));
}

// The GL graphics object that keeps a copy of each frame it presents (the overlay clears the back
// buffer for the next pass right after presenting).
class CapturingGraphics : public trivale::CDXGraphics {
public:
    struct Frame {
        std::vector<std::uint32_t> pixels;
        std::uint32_t width = 0, height = 0;
        std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x] & 0xFFFFFF; }
    };
    explicit CapturingGraphics(Frame* last) : last_(last) {}
    void Present() override {
        if (GetDevice() != nullptr) GetDevice()->ReadBackBuffer(last_->pixels, last_->width, last_->height);
        CDXGraphics::Present();
    }

private:
    Frame* last_;
};

class OverlayTest : public rendertest::RenderTest {
protected:
    // Over GL, each presented frame kept in `presented_`.
    void StartCapturingGL() {
        StartWith([this]() { return std::make_unique<CapturingGraphics>(&presented_); });
    }
    // Over the recording device with an adapter changed by `adjust` first.
    void StartFake(const std::function<void(plat::FakeAdapter&)>& adjust) {
        fake_ = std::make_shared<plat::FakeGraphicsState>();
        fake_->adapters.push_back(plat::MakeFakeAdapter("Fake adapter"));
        adjust(fake_->adapters.back());
        StartWith([state = fake_]() {
            return std::make_unique<trivale::CDXGraphics>(plat::CreateFakeGraphicsSystem(state));
        });
        fake_->journal.clear();
    }
    void StartWith(const std::function<std::unique_ptr<trivale::CDXGraphics>()>& graphics) {
        plat::SetMessageBoxHook([this](const plat::MessageBoxRequest& box) { boxes_.push_back(box.text); });
        RestartLog();
        data_ = std::filesystem::temp_directory_path() /
                ("tvoverlay-data-" + std::to_string(::getpid()) + "-" + std::to_string(++serial_));
        std::filesystem::create_directories(data_);
        ASSERT_TRUE(trivale::CreateApplicationDriver());
        trivale::ApplicationDeviceFactory factory;
        factory.graphics = graphics;
        trivale::GetApplicationDriver()->SetDeviceFactory(factory);
        ASSERT_TRUE(trivale::GetApplicationDriver()->Initialize()) << (boxes_.empty() ? "" : boxes_.front());
        trivale::GetApplicationDriver()->UseFileSystem(data_.string() + "/");
    }
    void WriteOverlayFiles() {
        WriteOverlayData(
            [this](const std::string& name, const std::vector<unsigned char>& bytes) { WriteFile(name, bytes); });
    }
    trivale::CDXGraphics& Graphics() { return *trivale::GetApplicationDriver()->GetGraphics(); }
    CapturingGraphics::Frame presented_;
};

}  // namespace overlaytest
