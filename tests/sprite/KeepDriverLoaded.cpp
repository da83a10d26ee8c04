// Mesa leaves allocations behind that the leak checker can only attribute (and suppress) while the
// driver is still mapped: one hidden GL window lives for the whole test program.

#include <SDL.h>
#include <gtest/gtest.h>

namespace {

class KeepDriverLoaded : public ::testing::Environment {
public:
    void SetUp() override {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) {
            SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);  // never destroyed
        }
    }
};

::testing::Environment* const g_keep = ::testing::AddGlobalTestEnvironment(new KeepDriverLoaded);

}  // namespace
