#include <gtest/gtest.h>

#include <SDL.h>

#include <stdexcept>

#include "InputTestSupport.h"
#include "app_framework/GameWindow.h"
#include "core/Exception.h"
#include "devices/DXInput.h"

using trivale::CDXInput;
using trivale::IController;

namespace {

::testing::Environment* const keepVideo = ::testing::AddGlobalTestEnvironment(new fwtest::KeepVideo);

CDXInput::SystemFactory Fake(intest::FakeWorld* world) {
    return [world](std::string*) { return std::unique_ptr<plat::InputSystem>(new intest::FakeSystem(world)); };
}

// Finalize drops everything and may be repeated.
TEST(DXInput, ListsTheKeyboardThenEveryAttachedGameControllerUntilFinalized) {
    for (int pads : {0, 2}) {
        intest::FakeWorld world;
        if (pads) world.controllers = {{0, "Pad One"}, {1, "Pad Two"}};
        CDXInput input(nullptr, Fake(&world));
        EXPECT_EQ(0u, input.GetControllerCount());
        intest::CapturedLog log;
        ASSERT_TRUE(input.Initialize());
        ASSERT_EQ(1u + pads, input.GetControllerCount());
        EXPECT_EQ(trivale::ControllerType::Keyboard, input.GetController(0)->GetType());
        EXPECT_EQ(pads ? trivale::ControllerType::Joystick : trivale::ControllerType::Keyboard,
                  input.GetController(pads)->GetType());
        EXPECT_NE(nullptr, input.GetDirectInput());
        EXPECT_EQ(std::string(pads ? "INFO: Detected game controller #1: Pad One\n"
                                     "INFO: Detected game controller #2: Pad Two\n"
                                   : "") +
                      "INFO: DirectInput ready.\n",
                  log.Text());
        EXPECT_THROW(input.GetController(1 + pads), std::out_of_range);
        input.Finalize();
        input.Finalize();
        EXPECT_EQ(0u, input.GetControllerCount());
        EXPECT_EQ(nullptr, input.GetDirectInput());
        EXPECT_EQ(2, log.Count("INFO: DirectInput finalized.\n"));
    }
}

TEST(DXInput, FailuresToStartOrToListAreAFailedInitialize) {
    CDXInput none(nullptr, [](std::string* error) {
        *error = "no joystick support";
        return std::unique_ptr<plat::InputSystem>();
    });
    intest::CapturedLog log;
    EXPECT_FALSE(none.Initialize());
    EXPECT_EQ(
        0u, log.Text().find("ERROR: \n\tDirectX Error: FAIL(0x80004005): no joystick support\n\tdevices/DXInput.cpp("))
        << log.Text();
    EXPECT_NE(std::string::npos,
              log.Text().find("\nINFO: DirectInput finalized.\nERROR: CDXInput: DirectInput8Create() 失敗\n\n"));
    EXPECT_EQ(0u, none.GetControllerCount());

    intest::FakeWorld world;
    world.enumerate = plat::InputResult::Unsupported;
    CDXInput input(nullptr, Fake(&world));
    EXPECT_FALSE(input.Initialize());
    EXPECT_EQ(0u, input.GetControllerCount());
    EXPECT_EQ(1, log.Count("DirectX Error: UNSUPPORTED(0x80004001)"));
    EXPECT_EQ(1, log.Count("ERROR: CDXInput: ゲームコントローラの列挙に失敗しました.\n\n"));

    world.enumerate = plat::InputResult::Ok;
    world.failStep = "create";  // a controller that cannot be set up throws out of Initialize
    EXPECT_THROW(input.Initialize(), trivale::EIOError);
}

// ---- the real devices over SDL, under the offscreen video driver ----

class SdlInputTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.reset(new trivale::CGameWindow("TrivaleWnd", "input", nullptr, plat::Cursor::Default));
        window->Show();
        fwtest::Pump();
        plat::ClearKeyState();
        input.reset(new CDXInput(window->GetHandle()));
    }
    void TearDown() override {
        input.reset();
        window.reset();
        fwtest::Pump();
    }
    void Key(int code, bool down) { fwtest::PushKey(Id(), plat::ScancodeFromKeyCode(code), down); }
    plat::WindowId Id() const { return window->GetHandle()->GetId(); }
    std::unique_ptr<trivale::CGameWindow> window;
    std::unique_ptr<CDXInput> input;
};

TEST_F(SdlInputTest, InjectedKeysReachTheKeyboardUntilTheFocusGoes) {
    ASSERT_TRUE(input->Initialize());
    IController* keyboard = input->GetController(0);
    keyboard->SetAssignment("cancel", 0, plat::kKeyEscape);
    keyboard->SetAssignment("up", 0, plat::kKeyUp);
    keyboard->SetAssignment("up", 1, 0x48);  // keypad 8
    Key(plat::kKeyEscape, true);
    Key(0x48, true);
    fwtest::Pump();
    keyboard->Update();
    EXPECT_TRUE(keyboard->IsPushed("cancel"));
    EXPECT_TRUE(keyboard->IsPushed("up"));
    Key(plat::kKeyEscape, false);
    fwtest::Pump();
    keyboard->Update();
    EXPECT_FALSE(keyboard->IsPressed("cancel"));
    EXPECT_TRUE(keyboard->IsPressed("up"));

    fwtest::PushWindowEvent(Id(), SDL_WINDOWEVENT_FOCUS_LOST);
    fwtest::Pump();
    EXPECT_FALSE(plat::IsKeyDown(0x48));  // keys held elsewhere do not stay down here
    keyboard->Update();
    EXPECT_TRUE(keyboard->IsPressed("up"));  // no access: unchanged
    fwtest::PushWindowEvent(Id(), SDL_WINDOWEVENT_FOCUS_GAINED);
    fwtest::Pump();
    keyboard->Update();
    EXPECT_FALSE(keyboard->IsPressed("up"));
}

// Held (1/0) and pushed (1/0) of one button at each of the reads, one per frame.
std::string Reads(IController* c, const char* button, int reads) {
    std::string out;
    for (int i = 0; i < reads; ++i) {
        if (i > 0) out += ' ';
        c->Update();
        out += c->IsPressed(button) ? '1' : '0';
        out += c->IsPushed(button) ? '1' : '0';
    }
    return out;
}

// Keys go down and up between two frames when a frame is slow or the program was stopped: each press
// still counts once, and a held key reads as it always did.
TEST_F(SdlInputTest, KeysPressedAndReleasedBetweenTwoReadsCountOncePerPress) {
    ASSERT_TRUE(input->Initialize());
    IController* keyboard = input->GetController(0);
    keyboard->SetAssignment("cancel", 0, plat::kKeyEscape);
    keyboard->SetAssignment("debug", 0, plat::kKeyF11);
    keyboard->SetAssignment("up", 0, plat::kKeyUp);
    auto tap = [&](int code, int times) {
        for (int i = 0; i < times; ++i) {
            Key(code, true);
            Key(code, false);
        }
        fwtest::Pump();
    };

    tap(plat::kKeyEscape, 1);
    EXPECT_EQ("11 00 00", Reads(keyboard, "cancel", 3));
    tap(plat::kKeyF11, 2);  // a release is read between the two presses
    EXPECT_EQ("11 00 11 00 00", Reads(keyboard, "debug", 5));

    // Held over many frames, repeats and all: one push, then held until the release is read.
    Key(plat::kKeyUp, true);
    fwtest::Pump();
    EXPECT_EQ("11 10 10", Reads(keyboard, "up", 3));
    Key(plat::kKeyUp, true);
    fwtest::Pump();
    EXPECT_EQ("10 10", Reads(keyboard, "up", 2));
    Key(plat::kKeyUp, false);
    fwtest::Pump();
    EXPECT_EQ("00 00", Reads(keyboard, "up", 2));

    // Press, release, press between two reads; and release, press again while held.
    Key(plat::kKeyUp, true);
    tap(plat::kKeyUp, 1);
    Key(plat::kKeyUp, true);
    fwtest::Pump();
    EXPECT_EQ("11 00 11 10", Reads(keyboard, "up", 4));
    tap(plat::kKeyUp, 1);
    Key(plat::kKeyUp, true);
    fwtest::Pump();
    EXPECT_EQ("00 11 10", Reads(keyboard, "up", 3));
    Key(plat::kKeyUp, false);
    fwtest::Pump();
    EXPECT_EQ("00", Reads(keyboard, "up", 1));

    // A press the focus took away with it is not read when the focus comes back.
    tap(plat::kKeyEscape, 1);
    fwtest::PushWindowEvent(Id(), SDL_WINDOWEVENT_FOCUS_LOST);
    fwtest::PushWindowEvent(Id(), SDL_WINDOWEVENT_FOCUS_GAINED);
    fwtest::Pump();
    EXPECT_EQ("00", Reads(keyboard, "cancel", 1));
    fwtest::PushWindowEvent(Id(), SDL_WINDOWEVENT_FOCUS_LOST);
    fwtest::Pump();
    EXPECT_EQ("00", Reads(keyboard, "cancel", 1));  // unacquired
    tap(plat::kKeyEscape, 1);
    fwtest::PushWindowEvent(Id(), SDL_WINDOWEVENT_FOCUS_GAINED);
    fwtest::Pump();
    EXPECT_EQ("00", Reads(keyboard, "cancel", 1));
    tap(plat::kKeyEscape, 1);  // and a tap after that counts again
    EXPECT_EQ("11 00", Reads(keyboard, "cancel", 2));
}

TEST_F(SdlInputTest, AVirtualJoystickGivesButtonsAndAxisCodes) {
    SDL_InitSubSystem(SDL_INIT_JOYSTICK);
    const int device = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 2, 32, 0);
    ASSERT_GE(device, 0) << SDL_GetError();
    {
        intest::CapturedLog log;
        ASSERT_TRUE(input->Initialize());
        ASSERT_EQ(2u, input->GetControllerCount());
        EXPECT_EQ(1, log.Count("INFO: Detected game controller #1: "));
    }
    SDL_Joystick* stick = SDL_JoystickFromInstanceID(SDL_JoystickGetDeviceInstanceID(device));
    ASSERT_NE(nullptr, stick);
    IController* pad = input->GetController(1);
    const char* names[] = {"left", "right", "up", "down", "fire"};
    const int codes[] = {trivale::kInputAxisXNegative, trivale::kInputAxisXPositive, trivale::kInputAxisYNegative,
                         trivale::kInputAxisYPositive, 31};
    for (int i = 0; i < 5; ++i) pad->SetAssignment(names[i], 0, codes[i]);
    pad->SetAssignment("fire", 1, 32);  // beyond the buttons: never held
    auto set = [&](int x, int y, int fire) {
        SDL_JoystickSetVirtualAxis(stick, 0, static_cast<Sint16>(x));
        SDL_JoystickSetVirtualAxis(stick, 1, static_cast<Sint16>(y));
        SDL_JoystickSetVirtualButton(stick, 31, static_cast<Uint8>(fire));
        pad->Update();
        std::string held;
        for (const char* n : names) held += pad->IsPressed(n) ? '1' : '0';
        return held;
    };
    // -30 on the -100..100 range is 9830 below the middle; -31 is 10158.
    EXPECT_EQ("00000", set(-9830, 9830, 0));
    EXPECT_EQ("10011", set(-10200, 10200, 1));
    EXPECT_EQ("01100", set(32767, -32768, 0));

    // Unplugged: one log line, the last state kept.
    intest::CapturedLog log;
    SDL_JoystickDetachVirtual(device);
    for (int i = 0; i < 50; ++i) pad->Update();
    EXPECT_EQ(1, log.Count("DirectX Error: INPUT_LOST"));
    EXPECT_TRUE(pad->IsPressed("right"));
    input.reset();
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

// Game controller buttons are read as a state too: SDL takes in every change when it reads the device
// (each pass of the event pump does), so a short press can come and go before the next read.
TEST_F(SdlInputTest, GameControllerButtonsPressedAndReleasedBetweenTwoReadsCountOncePerPress) {
    SDL_InitSubSystem(SDL_INIT_JOYSTICK);
    const int device = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 2, 32, 0);
    ASSERT_GE(device, 0) << SDL_GetError();
    ASSERT_TRUE(input->Initialize());
    ASSERT_EQ(2u, input->GetControllerCount());
    SDL_Joystick* stick = SDL_JoystickFromInstanceID(SDL_JoystickGetDeviceInstanceID(device));
    ASSERT_NE(nullptr, stick);
    IController* pad = input->GetController(1);
    pad->SetAssignment("cancel", 0, 1);
    auto button = [&](std::initializer_list<int> states) {
        for (int down : states) {
            SDL_JoystickSetVirtualButton(stick, 1, static_cast<Uint8>(down));
            fwtest::Pump();
        }
    };

    button({1, 0});
    EXPECT_EQ("11 00 00", Reads(pad, "cancel", 3));
    button({1, 0, 1, 0});
    EXPECT_EQ("11 00 11 00", Reads(pad, "cancel", 4));
    button({1});
    EXPECT_EQ("11 10 10 10", Reads(pad, "cancel", 4));
    button({0, 1});
    EXPECT_EQ("00 11 10", Reads(pad, "cancel", 3));
    button({0});
    EXPECT_EQ("00 00", Reads(pad, "cancel", 2));
    button({1, 0, 1});
    EXPECT_EQ("11 00 11 10", Reads(pad, "cancel", 4));
    button({0});
    EXPECT_EQ("00", Reads(pad, "cancel", 1));

    // Presses that only reach the event queue count the same; other pads' and other buttons' do not.
    auto post = [&](SDL_JoystickID which, int number, bool down) {
        SDL_Event e{};
        e.type = down ? SDL_JOYBUTTONDOWN : SDL_JOYBUTTONUP;
        e.jbutton.which = which;
        e.jbutton.button = static_cast<Uint8>(number);
        e.jbutton.state = down ? SDL_PRESSED : SDL_RELEASED;
        SDL_PushEvent(&e);
    };
    const SDL_JoystickID id = SDL_JoystickInstanceID(stick);
    post(id + 1, 1, true);
    post(id, 2, true);
    fwtest::Pump();
    EXPECT_EQ("00", Reads(pad, "cancel", 1));
    post(id, 1, true);
    post(id, 1, false);
    fwtest::Pump();
    EXPECT_EQ("11 00", Reads(pad, "cancel", 2));

    input.reset();
    SDL_JoystickDetachVirtual(device);
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

}  // namespace
