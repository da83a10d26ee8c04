#include <gtest/gtest.h>

#include <SDL.h>

#include <stdexcept>

#include "InputTestSupport.h"
#include "app_framework/GameWindow.h"
#include "core/Exception.h"
#include "devices/DXInput.h"

using trivale::CDXInput;

namespace {

::testing::Environment* const keepVideo = ::testing::AddGlobalTestEnvironment(new intest::KeepVideo);

CDXInput::SystemFactory Fake(intest::FakeWorld* world) {
    return [world](std::string*) { return std::unique_ptr<plat::InputSystem>(new intest::FakeSystem(world)); };
}

TEST(DXInput, WithoutGameControllersOnlyTheKeyboard) {
    intest::FakeWorld world;
    CDXInput input(nullptr, Fake(&world));
    EXPECT_EQ(0u, input.GetControllerCount());
    intest::CapturedLog log;
    ASSERT_TRUE(input.Initialize());
    EXPECT_EQ(1u, input.GetControllerCount());
    EXPECT_EQ(0, input.GetController(0)->GetType());
    EXPECT_NE(nullptr, input.GetDirectInput());
    EXPECT_EQ("INFO: DirectInput ready.\n", log.Text());
    EXPECT_THROW(input.GetController(1), std::out_of_range);
}

TEST(DXInput, EveryAttachedGameControllerIsListedAfterTheKeyboard) {
    intest::FakeWorld world;
    world.controllers = {{0, "Pad One"}, {1, "Pad Two"}};
    CDXInput input(nullptr, Fake(&world));
    intest::CapturedLog log;
    ASSERT_TRUE(input.Initialize());
    EXPECT_EQ(3u, input.GetControllerCount());
    EXPECT_EQ(1, input.GetController(2)->GetType());
    EXPECT_EQ("INFO: Detected game controller #1: Pad One\n"
              "INFO: Detected game controller #2: Pad Two\n"
              "INFO: DirectInput ready.\n",
              log.Text());
    EXPECT_THROW(input.GetController(3), std::out_of_range);
}

TEST(DXInput, FinalizeDropsEverythingAndMayBeRepeated) {
    intest::FakeWorld world;
    CDXInput input(nullptr, Fake(&world));
    ASSERT_TRUE(input.Initialize());
    intest::CapturedLog log;
    input.Finalize();
    input.Finalize();
    EXPECT_EQ(0u, input.GetControllerCount());
    EXPECT_EQ(nullptr, input.GetDirectInput());
    EXPECT_EQ(2, log.Count("INFO: DirectInput finalized.\n"));
}

TEST(DXInput, ASystemThatCannotStartIsAFailedInitialize) {
    CDXInput input(nullptr, [](std::string* error) {
        *error = "no input";
        return std::unique_ptr<plat::InputSystem>();
    });
    intest::CapturedLog log;
    EXPECT_FALSE(input.Initialize());
    EXPECT_EQ("INFO: DirectInput finalized.\nERROR: CDXInput: DirectInput8Create() 失敗\n\n", log.Text());
    EXPECT_EQ(0u, input.GetControllerCount());
}

TEST(DXInput, AFailedEnumerationIsAFailedInitialize) {
    intest::FakeWorld world;
    world.enumerate = plat::InputResult::Unsupported;
    CDXInput input(nullptr, Fake(&world));
    intest::CapturedLog log;
    EXPECT_FALSE(input.Initialize());
    EXPECT_EQ(0u, input.GetControllerCount());
    EXPECT_EQ(1, log.Count("DirectX Error: UNSUPPORTED(0x80004001)"));
    EXPECT_EQ(1, log.Count("ERROR: CDXInput: ゲームコントローラの列挙に失敗しました.\n\n"));
}

TEST(DXInput, AControllerThatCannotBeSetUpThrowsOutOfInitialize) {
    intest::FakeWorld world;
    world.failStep = "create";
    CDXInput input(nullptr, Fake(&world));
    EXPECT_THROW(input.Initialize(), trivale::EIOError);
}

// ---- the real devices over SDL, under the offscreen video driver ----

class SdlInputTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.reset(new trivale::CGameWindow("TrivaleWnd", "input", nullptr, plat::Cursor::Default));
        window->Show();
        Pump();
        plat::ClearKeyState();
    }
    void TearDown() override {
        input.reset();
        window.reset();
        Pump();
    }
    void Pump() {
        plat::Event event;
        while (plat::PollEvent(&event)) {
            if (event.type != plat::EventType::Quit) trivale::DispatchWindowEvent(event);
        }
    }
    void Key(int code, bool down) {
        SDL_Event e{};
        e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        e.key.windowID = window->GetHandle()->GetId();
        e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
        e.key.keysym.scancode = static_cast<SDL_Scancode>(plat::ScancodeFromKeyCode(code));
        SDL_PushEvent(&e);
    }
    void Focus(bool gained) {
        SDL_Event e{};
        e.type = SDL_WINDOWEVENT;
        e.window.windowID = window->GetHandle()->GetId();
        e.window.event = gained ? SDL_WINDOWEVENT_FOCUS_GAINED : SDL_WINDOWEVENT_FOCUS_LOST;
        SDL_PushEvent(&e);
    }
    std::unique_ptr<trivale::CGameWindow> window;
    std::unique_ptr<CDXInput> input;
};

TEST_F(SdlInputTest, InjectedKeysReachTheKeyboardController) {
    input.reset(new CDXInput(window->GetHandle()));
    ASSERT_TRUE(input->Initialize());
    trivale::IController* keyboard = input->GetController(0);
    keyboard->SetAssignment("cancel", 0, plat::kKeyEscape);
    keyboard->SetAssignment("up", 0, plat::kKeyUp);
    keyboard->SetAssignment("up", 1, 0x48);  // keypad 8
    Key(plat::kKeyEscape, true);
    Key(0x48, true);
    Pump();
    keyboard->Update();
    EXPECT_TRUE(keyboard->IsPushed("cancel"));
    EXPECT_TRUE(keyboard->IsPushed("up"));
    Key(plat::kKeyEscape, false);
    Pump();
    keyboard->Update();
    EXPECT_FALSE(keyboard->IsPressed("cancel"));
    EXPECT_TRUE(keyboard->IsPressed("up"));
}

TEST_F(SdlInputTest, LosingTheFocusFreezesTheKeyboardAndReleasesItsKeys) {
    input.reset(new CDXInput(window->GetHandle()));
    ASSERT_TRUE(input->Initialize());
    trivale::IController* keyboard = input->GetController(0);
    keyboard->SetAssignment("fire", 0, plat::kKeyX);
    Key(plat::kKeyX, true);
    Pump();
    keyboard->Update();
    EXPECT_TRUE(keyboard->IsPushed("fire"));
    Focus(false);
    Pump();
    EXPECT_FALSE(plat::IsKeyDown(plat::kKeyX));  // keys held elsewhere do not stay down here
    keyboard->Update();
    EXPECT_TRUE(keyboard->IsPressed("fire"));    // no access: unchanged
    Focus(true);
    Pump();
    keyboard->Update();
    EXPECT_FALSE(keyboard->IsPressed("fire"));
}

TEST_F(SdlInputTest, AVirtualJoystickGivesButtonsAndAxisCodes) {
    SDL_InitSubSystem(SDL_INIT_JOYSTICK);
    const int device = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 2, 32, 0);
    ASSERT_GE(device, 0) << SDL_GetError();
    {
        intest::CapturedLog log;
        input.reset(new CDXInput(window->GetHandle()));
        ASSERT_TRUE(input->Initialize());
        ASSERT_EQ(2u, input->GetControllerCount());
        EXPECT_EQ(1, log.Count("INFO: Detected game controller #1: "));
    }
    SDL_Joystick* stick = SDL_JoystickFromInstanceID(SDL_JoystickGetDeviceInstanceID(device));
    ASSERT_NE(nullptr, stick);
    trivale::IController* pad = input->GetController(1);
    pad->SetAssignment("left", 0, trivale::kInputAxisXNegative);
    pad->SetAssignment("right", 0, trivale::kInputAxisXPositive);
    pad->SetAssignment("up", 0, trivale::kInputAxisYNegative);
    pad->SetAssignment("down", 0, trivale::kInputAxisYPositive);
    pad->SetAssignment("fire", 0, 31);

    // -30 on the -100..100 range is 9830 below the middle; -31 is 10158.
    SDL_JoystickSetVirtualAxis(stick, 0, -9830);
    SDL_JoystickSetVirtualAxis(stick, 1, 9830);
    pad->Update();
    EXPECT_FALSE(pad->IsPressed("left"));
    EXPECT_FALSE(pad->IsPressed("down"));
    SDL_JoystickSetVirtualAxis(stick, 0, -10200);
    SDL_JoystickSetVirtualAxis(stick, 1, 10200);
    SDL_JoystickSetVirtualButton(stick, 31, 1);
    pad->Update();
    EXPECT_TRUE(pad->IsPushed("left"));
    EXPECT_TRUE(pad->IsPushed("down"));
    EXPECT_TRUE(pad->IsPushed("fire"));
    SDL_JoystickSetVirtualAxis(stick, 0, 32767);
    SDL_JoystickSetVirtualAxis(stick, 1, -32768);
    SDL_JoystickSetVirtualButton(stick, 31, 0);
    pad->Update();
    EXPECT_TRUE(pad->IsPressed("right"));
    EXPECT_TRUE(pad->IsPressed("up"));
    EXPECT_FALSE(pad->IsPressed("left"));
    EXPECT_FALSE(pad->IsPressed("fire"));
    EXPECT_TRUE(pad->Capture("grab", 0));
    EXPECT_EQ(trivale::kInputAxisXPositive, pad->GetAssignment("grab", 0));

    // Unplugged: one log line, the last state kept.
    intest::CapturedLog log;
    SDL_JoystickDetachVirtual(device);
    for (int i = 0; i < 50; ++i) pad->Update();
    EXPECT_EQ(1, log.Count("DirectX Error: INPUT_LOST"));
    EXPECT_TRUE(pad->IsPressed("right"));
    input.reset();
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

TEST(KeyTable, EveryMappedKeyGoesBothWays) {
    int mapped = 0;
    for (int code = 1; code < 256; ++code) {
        const int scancode = plat::ScancodeFromKeyCode(code);
        if (scancode == 0) continue;
        ++mapped;
        EXPECT_EQ(code, plat::KeyCodeFromScancode(scancode)) << code;
    }
    EXPECT_GE(mapped, 120);
    EXPECT_EQ(0xA0, plat::KeyCodeFromScancode(SDL_SCANCODE_AUDIOMUTE));
    EXPECT_EQ(0, plat::KeyCodeFromScancode(SDL_SCANCODE_UNKNOWN));
}

}  // namespace
