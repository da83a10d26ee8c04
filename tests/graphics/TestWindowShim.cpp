// TEMPORARY until the window facility lands
#include "tests/graphics/TestWindow.h"
#include <SDL.h>
namespace trivale { namespace platform {
class Window { public: SDL_Window* w; };
SDL_Window* NativeWindow(Window* window) { return window->w; }
}
namespace test {
struct TestWindow::Impl { platform::Window window; };
TestWindow::TestWindow(int width, int height) : impl_(new Impl) {
    SDL_InitSubSystem(SDL_INIT_VIDEO);
    impl_->window.w = SDL_CreateWindow("test", 0, 0, width, height, SDL_WINDOW_OPENGL);
}
TestWindow::~TestWindow() { if (impl_->window.w) SDL_DestroyWindow(impl_->window.w); SDL_QuitSubSystem(SDL_INIT_VIDEO); }
platform::Window* TestWindow::Get() const { return &impl_->window; }
bool TestWindow::Valid() const { return impl_->window.w != nullptr; }
void TestWindow::Minimise() { SDL_MinimizeWindow(impl_->window.w); }
void TestWindow::Restore() { SDL_RestoreWindow(impl_->window.w); }
}}
