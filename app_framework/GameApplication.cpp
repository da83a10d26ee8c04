#include "app_framework/GameApplication.h"

#include "app_framework/GameWindow.h"
#include "platform/Window.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace trivale {

namespace {

// Draws a six-armed snowflake, each arm with two pairs of side branches, in white on transparent,
// with soft edges from the distance to the nearest stroke.
struct SnowflakeIcon {
    static constexpr int kSize = 32;
    std::uint8_t pixels[kSize * kSize * 4];
    plat::IconImage image;

    SnowflakeIcon() {
        struct Segment {
            double x0, y0, x1, y1;
        };
        std::vector<Segment> strokes;
        const double pi = 3.14159265358979323846;
        const double c = (kSize - 1) / 2.0;
        const double arm = 14.0;
        for (int i = 0; i < 6; ++i) {
            double a = i * pi / 3.0;
            double dx = std::cos(a), dy = std::sin(a);
            strokes.push_back({c, c, c + dx * arm, c + dy * arm});
            for (double along : {6.0, 10.0}) {
                double bx = c + dx * along, by = c + dy * along;
                double len = along < 8.0 ? 4.5 : 3.0;
                for (double side : {-1.0, 1.0}) {
                    double b = a + side * pi / 4.0;
                    strokes.push_back({bx, by, bx + std::cos(b) * len, by + std::sin(b) * len});
                }
            }
        }
        for (int y = 0; y < kSize; ++y) {
            for (int x = 0; x < kSize; ++x) {
                double best = 1e9;
                for (const Segment& s : strokes) {
                    double vx = s.x1 - s.x0, vy = s.y1 - s.y0;
                    double t = ((x - s.x0) * vx + (y - s.y0) * vy) / (vx * vx + vy * vy);
                    t = t < 0.0 ? 0.0 : (t > 1.0 ? 1.0 : t);
                    double ex = s.x0 + t * vx - x, ey = s.y0 + t * vy - y;
                    best = std::min(best, std::sqrt(ex * ex + ey * ey));
                }
                double cover = 1.6 - best;  // strokes about two pixels wide
                cover = cover < 0.0 ? 0.0 : (cover > 1.0 ? 1.0 : cover);
                std::uint8_t* p = pixels + (y * kSize + x) * 4;
                p[0] = 0xE8;
                p[1] = 0xF4;
                p[2] = 0xFF;
                p[3] = static_cast<std::uint8_t>(std::lround(cover * 255.0));
            }
        }
        image.width = kSize;
        image.height = kSize;
        image.rgba = pixels;
    }
};

}  // namespace

const plat::IconImage& ApplicationIcon() {
    static const SnowflakeIcon icon;
    return icon.image;
}

int CGameApplication::Run() {
    for (;;) {
        plat::Event event;
        while (plat::PollEvent(&event)) {
            if (event.type == plat::EventType::Quit) return 0;
            DispatchWindowEvent(event);
        }
        if (idleListener_ != nullptr) {
            idleListener_->OnIdle();
        } else {
            plat::WaitEvent();
        }
    }
}

void CGameApplication::ShowCursor(bool show) { plat::ShowCursor(show); }

}  // namespace trivale
