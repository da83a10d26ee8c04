#pragma once
// A GL-capable window for device tests, made through the platform window facility.

#include <memory>

namespace trivale {
namespace platform {
class Window;
}
namespace test {

class TestWindow {
public:
    TestWindow(int width, int height);
    ~TestWindow();
    platform::Window* Get() const;
    bool Valid() const;
    void Minimise();
    void Restore();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace test
}  // namespace trivale
