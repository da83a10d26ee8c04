#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "InputTestSupport.h"
#include "core/Exception.h"
#include "devices/MappedJoystickController.h"
#include "devices/MappedKeyboardController.h"
#include "devices/MergedController.h"

using namespace trivale;
using intest::InputResult;

namespace {

const int kX = 0x2D, kZ = 0x2C, kReturn = 0x1C;

// Both device controllers over one scripted world; "decide" sits on Z and Return, "fire" on button 0.
class ControllerTest : public ::testing::Test {
protected:
    ControllerTest()
        : system(&world),
          keyboard(new CMappedKeyboardController(system, nullptr)),
          joystick(new CMappedJoystickController(system, 0, nullptr)) {
        keyboard->DefineButton("decide", "Decide");
        keyboard->SetAssignment("decide", 0, kZ);
        keyboard->SetAssignment("decide", 1, kReturn);
        joystick->SetAssignment("fire", 0, 0);
    }
    void Hold(int key, bool down) { world.keys[key] = down ? 0x80 : 0; }
    void Stick(int x, int y) {
        world.joystick.x = x;
        world.joystick.y = y;
        joystick->Update();
    }
    intest::FakeWorld world;
    intest::FakeSystem system;
    std::unique_ptr<CMappedKeyboardController> keyboard;
    std::unique_ptr<CMappedJoystickController> joystick;
};

// Per read: the keys held, then "decide" pressed and pushed (-1: not asked).
TEST_F(ControllerTest, AHeldKeyPushesOnceAndStaysPressedWhileEitherKeyIsHeld) {
    const int reads[][4] = {
        {1, 0, 1, 1}, {1, 0, 1, 0},   {1, 0, 1, 0},
        {1, 1, 1, 0}, {0, 1, 1, 0},                  // the other key still holds the button: no new push
        {0, 0, 0, 0}, {1, 0, -1, -1}, {0, 0, 0, 0},  // pressed and released between two questions: lost
    };
    for (const auto& r : reads) {
        Hold(kZ, r[0] != 0), Hold(kReturn, r[1] != 0);
        keyboard->Update();
        if (r[2] >= 0) {
            EXPECT_EQ(r[2] != 0, keyboard->IsPressed("decide")) << &r - reads;
        }
        if (r[3] >= 0) {
            EXPECT_EQ(r[3] != 0, keyboard->IsPushed("decide")) << &r - reads;
        }
    }
}

TEST_F(ControllerTest, UnknownButtonsBecomeDefinedAndResetOrDefiningAgainClearsThePush) {
    EXPECT_FALSE(keyboard->IsPressed("jump") || keyboard->IsPushed("jump"));
    EXPECT_EQ("", keyboard->GetLabel("jump"));
    EXPECT_EQ(-1, keyboard->GetAssignment("jump", 0));
    EXPECT_EQ("NONE", keyboard->GetAssignmentName("jump", 1));
    // After a reset a held button stays pressed without a push until released and pressed again.
    Hold(kZ, true);
    keyboard->Update();
    keyboard->Reset();
    EXPECT_TRUE(keyboard->IsPressed("decide") && keyboard->IsPressed("jump"));
    keyboard->Update();
    EXPECT_FALSE(keyboard->IsPushed("decide"));
    Hold(kZ, false);
    keyboard->Update();
    Hold(kZ, true);
    keyboard->Update();
    EXPECT_TRUE(keyboard->IsPushed("decide"));
    keyboard->Update();
    keyboard->DefineButton("decide", "OK");
    EXPECT_EQ("OK", keyboard->GetLabel("decide"));
    EXPECT_EQ(-1, keyboard->GetAssignment("decide", 0));
    EXPECT_FALSE(keyboard->IsPressed("decide") || keyboard->IsPushed("decide"));
}

TEST_F(ControllerTest, AssignmentNames) {
    IController *key = keyboard.get(), *pad = joystick.get();
    const struct {
        IController* controller;
        int code;
        const char* name;
    } rows[] = {{key, 0x01, "ESCAPE"}, {key, 0x54, "(KEY:54)"},  {key, 300, "NONE"},      {key, -1, "NONE"},
                {pad, 0, "BUTTON:1"},  {pad, 255, "BUTTON:256"}, {pad, 4097, "X AXIS -"}, {pad, 4100, "Y AXIS +"},
                {pad, 256, "NONE"},    {pad, 4101, "NONE"}};
    for (const auto& r : rows) {
        r.controller->SetAssignment("n", 0, r.code);
        EXPECT_EQ(r.name, r.controller->GetAssignmentName("n", 0)) << r.code;
    }
}

// Regression: an index outside the two slots wrote beside the button.
TEST_F(ControllerTest, AssignmentIndicesOutsideTheTwoSlotsAreRefused) {
    for (IController* c : {static_cast<IController*>(keyboard.get()), static_cast<IController*>(joystick.get())}) {
        EXPECT_THROW(c->SetAssignment("decide", 2, kX), EInvalidParameter);
        EXPECT_THROW(c->GetAssignment("decide", 7), EInvalidParameter);
        EXPECT_THROW(c->GetAssignmentName("decide", 2), EInvalidParameter);
        EXPECT_THROW(c->Capture("decide", 0xFFFFFFFFu), EInvalidParameter);
    }
    try {
        keyboard->SetAssignment("decide", 2, kX);
    } catch (const EInvalidParameter& e) {
        EXPECT_EQ("SetAssignment(2): パラメータの範囲が不正です.", e.GetMessage());
        EXPECT_NE(std::string::npos, e.GetOrigin().find("CMappedKeyboardController"));
    }
    EXPECT_EQ(kZ, keyboard->GetAssignment("decide", 0));
    EXPECT_EQ(kReturn, keyboard->GetAssignment("decide", 1));
}

// Without the focus the buttons keep their state and nothing is logged; any other read failure keeps
// them too and is logged once per change of state. Regression: a failing device wrote three log lines
// at every frame.
TEST_F(ControllerTest, ReadFailuresKeepTheButtonsAndAreLoggedOncePerChangeOfState) {
    for (InputResult acquire : {InputResult::AccessDenied, InputResult::InputLost}) {
        const bool lost = acquire == InputResult::InputLost;
        world.keyboardRead = world.joystickPoll = world.keyboardAcquire = world.joystickAcquire = InputResult::Ok;
        Hold(kZ, true);
        world.joystick.buttons[0] = 0x80;
        keyboard->Update();
        joystick->Update();
        intest::CapturedLog log;
        world.keyboardRead = world.joystickPoll = InputResult::NotAcquired;
        world.keyboardAcquire = world.joystickAcquire = acquire;
        Hold(kZ, false);
        world.joystick.buttons[0] = 0;
        for (int i = 0; i < 100; ++i) {
            keyboard->Update();
            joystick->Update();
        }
        EXPECT_TRUE(keyboard->IsPressed("decide"));
        EXPECT_TRUE(joystick->IsPressed("fire"));
        EXPECT_EQ(lost ? 2 : 0, log.Count("DirectX Error: INPUT_LOST(0x8007001e): "));
        EXPECT_EQ(lost ? 1 : 0, log.Count("devices/MappedKeyboardController.cpp("));
        EXPECT_EQ(lost ? 1 : 0, log.Count("devices/MappedJoystickController.cpp("));
        world.keyboardAcquire = InputResult::Ok;  // acquired again, but the read still fails: the state stands
        keyboard->Update();
        EXPECT_TRUE(keyboard->IsPressed("decide"));
        world.keyboardRead = InputResult::Ok;
        keyboard->Update();
        keyboard->Update();
        EXPECT_FALSE(keyboard->IsPressed("decide"));
        EXPECT_EQ(lost ? 1 : 0, log.Count("readable again"));
    }
}

// Capture assigns the first held input of the last read: the lowest key but the lock keys, and on the
// joystick the lowest button before the axes.
TEST_F(ControllerTest, CaptureTakesTheFirstHeldInputOfTheLastRead) {
    EXPECT_FALSE(keyboard->Capture("jump", 0));
    for (int lock : {0x3A, 0x70, 0x94}) Hold(lock, true);
    keyboard->Update();
    EXPECT_FALSE(keyboard->Capture("jump", 0));
    Hold(kX, true);
    Hold(0xC8, true);
    EXPECT_FALSE(keyboard->Capture("jump", 0));  // the last read state, not the device
    keyboard->Update();
    EXPECT_TRUE(keyboard->Capture("jump", 1));
    EXPECT_EQ(kX, keyboard->GetAssignment("jump", 1));
    EXPECT_EQ(-1, keyboard->GetAssignment("jump", 0));

    Stick(-100, 100);
    EXPECT_TRUE(joystick->Capture("a", 0));
    EXPECT_EQ(kInputAxisXNegative, joystick->GetAssignment("a", 0));
    world.joystick.buttons[5] = world.joystick.buttons[9] = 0x80;
    joystick->Update();
    EXPECT_TRUE(joystick->Capture("a", 1));
    EXPECT_EQ(5, joystick->GetAssignment("a", 1));
    world.joystick.buttons[5] = world.joystick.buttons[9] = 0;
    Stick(0, 100);
    EXPECT_TRUE(joystick->Capture("b", 0));
    EXPECT_EQ(kInputAxisYPositive, joystick->GetAssignment("b", 0));
    Stick(0, 0);
    EXPECT_FALSE(joystick->Capture("b", 0));
}

TEST(ControllerSetUp, EachFailingStepIsLoggedAndThrown) {
    intest::FakeWorld world;
    intest::FakeSystem system(&world);
    // The keyboard has the first three steps, the joystick all six.
    const char* const steps[][2] = {
        {"create", "DirectInputデバイスの作成に失敗しました."},
        {"level", "DirectInputデバイスの協調レベルの設定に失敗しました."},
        {"format", "DirectInputデバイスのデータフォーマットの設定に失敗しました."},
        {"axismode", "DirectInputデバイスの軸モードの設定に失敗しました."},
        {"axes", "DirectInputデバイスの軸列挙に失敗しました."},
        {"range", "DirectInputデバイスの軸範囲の設定に失敗しました."},
    };
    for (int i = 0; i < 9; ++i) {
        const bool joy = i >= 3;
        const char* const* step = steps[joy ? i - 3 : i];
        world.failStep = step[0];
        intest::CapturedLog log;
        try {
            if (joy) {
                CMappedJoystickController failing(system, 0, nullptr);
            } else {
                CMappedKeyboardController failing(system, nullptr);
            }
            ADD_FAILURE() << step[0];
        } catch (const EIOError& e) {
            EXPECT_EQ(step[1], e.GetMessage());
        }
        EXPECT_EQ(1, log.Count("DirectX Error: INVALID_PARAMETER(0x80070057)")) << step[0];
    }
}

// ---- merged ----

TEST_F(ControllerTest, MergedAskingStopsAtTheFirstChildThatAnswers) {
    joystick->SetAssignment("decide", 0, 0);
    CMergedController merged;
    EXPECT_FALSE(merged.IsPushed("decide"));
    merged.AddController(keyboard.get());
    merged.AddController(joystick.get());
    EXPECT_EQ(ControllerType::Merged, merged.GetType());
    Hold(kZ, true);
    world.joystick.buttons[0] = 0x80;
    merged.Update();
    EXPECT_TRUE(merged.IsPressed("decide"));
    EXPECT_TRUE(merged.IsPushed("decide"));  // the keyboard's push
    EXPECT_TRUE(merged.IsPushed("decide"));  // the joystick's push, left by the first question
    EXPECT_FALSE(merged.IsPushed("decide"));
    Hold(kZ, false);
    world.joystick.buttons[0] = 0;
    merged.Update();
    merged.Reset();
    EXPECT_TRUE(keyboard->IsPressed("decide"));
    EXPECT_TRUE(joystick->IsPressed("decide"));
    // Buttons are defined and assigned on the children only.
    EXPECT_THROW(merged.DefineButton("a", "A"), EInvalidOperation);
    EXPECT_THROW(merged.SetAssignment("a", 0, 1), EInvalidOperation);
}

}  // namespace
