#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "InputTestSupport.h"
#include "core/Exception.h"
#include "devices/MappedJoystickController.h"
#include "devices/MappedKeyboardController.h"
#include "devices/MergedController.h"

using trivale::CMappedJoystickController;
using trivale::CMappedKeyboardController;
using trivale::CMergedController;

namespace {

const int kX = 0x2D, kZ = 0x2C, kReturn = 0x1C, kCapital = 0x3A;

class KeyboardTest : public ::testing::Test {
protected:
    KeyboardTest() : system(&world), keyboard(new CMappedKeyboardController(system, nullptr)) {
        keyboard->DefineButton("decide", "Decide");
        keyboard->SetAssignment("decide", 0, kZ);
        keyboard->SetAssignment("decide", 1, kReturn);
    }
    void Hold(int key, bool down) { world.keys[key] = down ? 0x80 : 0; }
    intest::FakeWorld world;
    intest::FakeSystem system;
    std::unique_ptr<CMappedKeyboardController> keyboard;
};

TEST_F(KeyboardTest, AHeldKeyPushesOnceAndStaysPressed) {
    Hold(kZ, true);
    for (int frame = 0; frame < 5; ++frame) {
        keyboard->Update();
        EXPECT_TRUE(keyboard->IsPressed("decide"));
        EXPECT_EQ(frame == 0, keyboard->IsPushed("decide"));
    }
    Hold(kZ, false);
    keyboard->Update();
    EXPECT_FALSE(keyboard->IsPressed("decide"));
    EXPECT_FALSE(keyboard->IsPushed("decide"));
}

TEST_F(KeyboardTest, TwoKeysOnOneButtonGiveNoNewPushWhenOneIsReleased) {
    Hold(kZ, true);
    keyboard->Update();
    EXPECT_TRUE(keyboard->IsPushed("decide"));
    Hold(kReturn, true);
    keyboard->Update();
    Hold(kZ, false);
    keyboard->Update();
    EXPECT_TRUE(keyboard->IsPressed("decide"));
    EXPECT_FALSE(keyboard->IsPushed("decide"));
}

TEST_F(KeyboardTest, APressAndReleaseBetweenTwoQuestionsIsLost) {
    Hold(kZ, true);
    keyboard->Update();
    Hold(kZ, false);
    keyboard->Update();
    EXPECT_FALSE(keyboard->IsPushed("decide"));
}

TEST_F(KeyboardTest, AnUnknownButtonIsFalseAndBecomesDefined) {
    EXPECT_FALSE(keyboard->IsPressed("jump"));
    EXPECT_FALSE(keyboard->IsPushed("jump"));
    EXPECT_EQ("", keyboard->GetLabel("jump"));
    EXPECT_EQ(-1, keyboard->GetAssignment("jump", 0));
    EXPECT_EQ("NONE", keyboard->GetAssignmentName("jump", 1));
    keyboard->SetAssignment("jump", 0, kX);
    Hold(kX, true);
    keyboard->Update();
    EXPECT_TRUE(keyboard->IsPushed("jump"));
}

TEST_F(KeyboardTest, DefiningAgainClearsAssignmentsAndState) {
    Hold(kZ, true);
    keyboard->Update();
    keyboard->DefineButton("decide", "OK");
    EXPECT_EQ("OK", keyboard->GetLabel("decide"));
    EXPECT_EQ(-1, keyboard->GetAssignment("decide", 0));
    EXPECT_FALSE(keyboard->IsPressed("decide"));
    EXPECT_FALSE(keyboard->IsPushed("decide"));
}

TEST_F(KeyboardTest, ResetHoldsEveryButtonUntilReleased) {
    Hold(kZ, true);
    keyboard->Update();
    keyboard->Reset();
    EXPECT_TRUE(keyboard->IsPressed("decide"));
    EXPECT_FALSE(keyboard->IsPushed("decide"));
    keyboard->Update();  // still held: no push
    EXPECT_FALSE(keyboard->IsPushed("decide"));
    Hold(kZ, false);
    keyboard->Update();
    Hold(kZ, true);
    keyboard->Update();
    EXPECT_TRUE(keyboard->IsPushed("decide"));
}

TEST_F(KeyboardTest, CaptureTakesTheLowestHeldKeyButNotTheLockKeys) {
    EXPECT_FALSE(keyboard->Capture("jump", 0));
    EXPECT_EQ(-1, keyboard->GetAssignment("jump", 0));
    Hold(kCapital, true);
    Hold(0x70, true);
    Hold(0x94, true);
    keyboard->Update();
    EXPECT_FALSE(keyboard->Capture("jump", 0));
    Hold(kX, true);
    Hold(0xC8, true);
    EXPECT_FALSE(keyboard->Capture("jump", 0));  // the last read state, not the device
    keyboard->Update();
    EXPECT_TRUE(keyboard->Capture("jump", 1));
    EXPECT_EQ(kX, keyboard->GetAssignment("jump", 1));
}

TEST_F(KeyboardTest, AssignmentNames) {
    keyboard->SetAssignment("a", 0, 0x01);
    keyboard->SetAssignment("a", 1, 0x1A);
    keyboard->SetAssignment("b", 0, 0x54);
    keyboard->SetAssignment("b", 1, 300);
    keyboard->SetAssignment("c", 0, 0xED);
    keyboard->SetAssignment("c", 1, 0xDB);
    EXPECT_EQ("ESCAPE", keyboard->GetAssignmentName("a", 0));
    EXPECT_EQ("L-BRACKET", keyboard->GetAssignmentName("a", 1));
    EXPECT_EQ("(KEY:54)", keyboard->GetAssignmentName("b", 0));
    EXPECT_EQ("NONE", keyboard->GetAssignmentName("b", 1));
    EXPECT_EQ("MEDIASELECT", keyboard->GetAssignmentName("c", 0));
    EXPECT_EQ("L-WIN", keyboard->GetAssignmentName("c", 1));
    int named = 0;
    for (int code = 0; code < 256; ++code) {
        keyboard->SetAssignment("n", 0, code);
        if (keyboard->GetAssignmentName("n", 0)[0] != '(') ++named;
    }
    EXPECT_EQ(144, named);
}

// An index outside the two slots would write beside the button; it is refused.
TEST_F(KeyboardTest, AssignmentIndicesOutsideTheTwoSlotsAreRefused) {
    EXPECT_THROW(keyboard->SetAssignment("decide", 2, kX), trivale::EInvalidParameter);
    EXPECT_THROW(keyboard->GetAssignment("decide", 7), trivale::EInvalidParameter);
    EXPECT_THROW(keyboard->GetAssignmentName("decide", 2), trivale::EInvalidParameter);
    EXPECT_THROW(keyboard->Capture("decide", 0xFFFFFFFFu), trivale::EInvalidParameter);
    try {
        keyboard->SetAssignment("decide", 2, kX);
    } catch (const trivale::EInvalidParameter& e) {
        EXPECT_EQ("SetAssignment(2): パラメータの範囲が不正です.", e.GetMessage());
        EXPECT_NE(std::string::npos, e.GetOrigin().find("CMappedKeyboardController"));
    }
    EXPECT_EQ(kZ, keyboard->GetAssignment("decide", 0));
    EXPECT_EQ(kReturn, keyboard->GetAssignment("decide", 1));
}

TEST_F(KeyboardTest, WithoutTheFocusTheButtonsKeepTheirState) {
    Hold(kZ, true);
    keyboard->Update();
    EXPECT_TRUE(keyboard->IsPushed("decide"));
    world.keyboardRead = plat::InputResult::NotAcquired;
    world.keyboardAcquire = plat::InputResult::AccessDenied;
    Hold(kZ, false);
    intest::CapturedLog log;
    keyboard->Update();
    EXPECT_TRUE(keyboard->IsPressed("decide"));
    EXPECT_EQ("", log.Text());  // lost focus is no error
    world.keyboardRead = plat::InputResult::Ok;
    world.keyboardAcquire = plat::InputResult::Ok;
    keyboard->Update();
    EXPECT_FALSE(keyboard->IsPressed("decide"));
}

TEST_F(KeyboardTest, AReadThatAcquiresAgainTakesTheNewState) {
    world.keyboardRead = plat::InputResult::NotAcquired;
    world.keyboardAcquire = plat::InputResult::Ok;
    Hold(kZ, true);
    keyboard->Update();  // the second read fails too: the previous (empty) state stands
    EXPECT_FALSE(keyboard->IsPressed("decide"));
    world.keyboardRead = plat::InputResult::Ok;
    keyboard->Update();
    EXPECT_TRUE(keyboard->IsPressed("decide"));
}

// A device that keeps failing would otherwise write three log lines at every frame.
TEST_F(KeyboardTest, AFailingDeviceIsLoggedOncePerChangeOfState) {
    Hold(kZ, true);
    keyboard->Update();
    intest::CapturedLog log;
    world.keyboardRead = plat::InputResult::InputLost;
    world.keyboardAcquire = plat::InputResult::InputLost;
    Hold(kZ, false);
    for (int i = 0; i < 100; ++i) keyboard->Update();
    EXPECT_EQ(1, log.Count("DirectX Error: INPUT_LOST(0x8007001e): "));
    EXPECT_EQ(1, log.Count("devices/MappedKeyboardController.cpp("));
    EXPECT_TRUE(keyboard->IsPressed("decide"));  // recomputed from the last state read
    world.keyboardRead = plat::InputResult::Ok;
    world.keyboardAcquire = plat::InputResult::Ok;
    keyboard->Update();
    keyboard->Update();
    EXPECT_EQ(1, log.Count("readable again"));
    EXPECT_FALSE(keyboard->IsPressed("decide"));
    world.keyboardRead = world.keyboardAcquire = plat::InputResult::InputLost;
    keyboard->Update();
    EXPECT_EQ(2, log.Count("DirectX Error: INPUT_LOST"));
}

TEST(KeyboardSetUp, ConfiguresTheDeviceForTheForeground) {
    intest::FakeWorld world;
    intest::FakeSystem system(&world);
    CMappedKeyboardController keyboard(system, nullptr);
    EXPECT_EQ(0, keyboard.GetType());
    EXPECT_EQ(unsigned(plat::kInputNonExclusive | plat::kInputForeground | plat::kInputNoSystemKey), world.keyboardFlags);
}

TEST(KeyboardSetUp, EachFailingStepIsLoggedAndThrown) {
    const std::pair<const char*, const char*> steps[] = {
        {"create", "DirectInputデバイスの作成に失敗しました."},
        {"level", "DirectInputデバイスの協調レベルの設定に失敗しました."},
        {"format", "DirectInputデバイスのデータフォーマットの設定に失敗しました."},
    };
    for (const auto& step : steps) {
        intest::FakeWorld world;
        world.failStep = step.first;
        intest::FakeSystem system(&world);
        intest::CapturedLog log;
        try {
            CMappedKeyboardController keyboard(system, nullptr);
            ADD_FAILURE() << step.first;
        } catch (const trivale::EIOError& e) {
            EXPECT_EQ(step.second, e.GetMessage());
            EXPECT_NE(std::string::npos, e.GetOrigin().find("CMappedKeyboardController"));
        }
        EXPECT_EQ(1, log.Count("DirectX Error: INVALID_PARAMETER(0x80070057)")) << step.first;
    }
}

// ---- joystick ----

class JoystickTest : public ::testing::Test {
protected:
    JoystickTest() : system(&world), joystick(new CMappedJoystickController(system, 0, nullptr)) {}
    void Stick(int x, int y) {
        world.joystick.x = x;
        world.joystick.y = y;
    }
    intest::FakeWorld world;
    intest::FakeSystem system;
    std::unique_ptr<CMappedJoystickController> joystick;
};

TEST_F(JoystickTest, SetsEveryAxisToTheRangeOfMinus100To100) {
    EXPECT_EQ(1, joystick->GetType());
    EXPECT_EQ((std::vector<std::pair<int, int>>{{-100, 100}, {-100, 100}, {-100, 100}}), world.ranges);
    EXPECT_EQ(unsigned(plat::kInputExclusive | plat::kInputForeground), world.joystickFlags);
}

TEST_F(JoystickTest, AxesBeyondThirtyHoldTheirCodes) {
    joystick->SetAssignment("left", 0, trivale::kInputAxisXNegative);
    joystick->SetAssignment("right", 0, trivale::kInputAxisXPositive);
    joystick->SetAssignment("up", 0, trivale::kInputAxisYNegative);
    joystick->SetAssignment("down", 0, trivale::kInputAxisYPositive);
    Stick(-30, 30);
    joystick->Update();
    for (const char* b : {"left", "right", "up", "down"}) EXPECT_FALSE(joystick->IsPressed(b)) << b;
    Stick(-31, 31);
    joystick->Update();
    EXPECT_TRUE(joystick->IsPressed("left"));
    EXPECT_FALSE(joystick->IsPressed("right"));
    EXPECT_TRUE(joystick->IsPressed("down"));
    Stick(31, -31);
    joystick->Update();
    EXPECT_TRUE(joystick->IsPressed("right"));
    EXPECT_TRUE(joystick->IsPressed("up"));
    EXPECT_FALSE(joystick->IsPressed("left"));
}

TEST_F(JoystickTest, ButtonsUpTo31AndNothingBeyond) {
    joystick->SetAssignment("fire", 0, 31);
    joystick->SetAssignment("fire", 1, 32);
    world.joystick.buttons[31] = 0x80;
    joystick->Update();
    EXPECT_TRUE(joystick->IsPushed("fire"));
    world.joystick.buttons[31] = 0;
    joystick->Update();
    EXPECT_FALSE(joystick->IsPressed("fire"));
}

TEST_F(JoystickTest, CaptureTakesButtonsBeforeAxes) {
    Stick(-100, 100);
    joystick->Update();
    EXPECT_TRUE(joystick->Capture("a", 0));
    EXPECT_EQ(trivale::kInputAxisXNegative, joystick->GetAssignment("a", 0));
    world.joystick.buttons[5] = 0x80;
    world.joystick.buttons[9] = 0x80;
    joystick->Update();
    EXPECT_TRUE(joystick->Capture("a", 1));
    EXPECT_EQ(5, joystick->GetAssignment("a", 1));
    Stick(0, 100);
    world.joystick.buttons[5] = world.joystick.buttons[9] = 0;
    joystick->Update();
    EXPECT_TRUE(joystick->Capture("b", 0));
    EXPECT_EQ(trivale::kInputAxisYPositive, joystick->GetAssignment("b", 0));
    Stick(0, 0);
    joystick->Update();
    EXPECT_FALSE(joystick->Capture("b", 0));
    EXPECT_THROW(joystick->Capture("b", 2), trivale::EInvalidParameter);
}

TEST_F(JoystickTest, AssignmentNames) {
    const std::pair<int, const char*> names[] = {
        {0, "BUTTON:1"}, {31, "BUTTON:32"}, {255, "BUTTON:256"}, {4097, "X AXIS -"}, {4098, "X AXIS +"},
        {4099, "Y AXIS -"}, {4100, "Y AXIS +"}, {-1, "NONE"}, {256, "NONE"}, {4101, "NONE"}};
    for (const auto& n : names) {
        joystick->SetAssignment("x", 0, n.first);
        EXPECT_EQ(n.second, joystick->GetAssignmentName("x", 0));
    }
}

TEST_F(JoystickTest, AnUnpluggedControllerIsLoggedOnceAndKeepsItsLastState) {
    joystick->SetAssignment("fire", 0, 0);
    world.joystick.buttons[0] = 0x80;
    joystick->Update();
    intest::CapturedLog log;
    world.joystickPoll = plat::InputResult::InputLost;
    world.joystickAcquire = plat::InputResult::InputLost;
    world.joystick.buttons[0] = 0;
    for (int i = 0; i < 500; ++i) joystick->Update();
    EXPECT_EQ(1, log.Count("DirectX Error: INPUT_LOST"));
    EXPECT_TRUE(joystick->IsPressed("fire"));
}

TEST_F(JoystickTest, WithoutTheFocusTheButtonsKeepTheirState) {
    joystick->SetAssignment("fire", 0, 0);
    world.joystick.buttons[0] = 0x80;
    joystick->Update();
    world.joystickPoll = plat::InputResult::NotAcquired;
    world.joystickAcquire = plat::InputResult::AccessDenied;
    world.joystick.buttons[0] = 0;
    intest::CapturedLog log;
    joystick->Update();
    EXPECT_TRUE(joystick->IsPressed("fire"));
    EXPECT_EQ("", log.Text());
}

TEST(JoystickSetUp, EachFailingStepIsLoggedAndThrown) {
    const std::pair<const char*, const char*> steps[] = {
        {"create", "DirectInputデバイスの作成に失敗しました."},
        {"level", "DirectInputデバイスの協調レベルの設定に失敗しました."},
        {"format", "DirectInputデバイスのデータフォーマットの設定に失敗しました."},
        {"axismode", "DirectInputデバイスの軸モードの設定に失敗しました."},
        {"axes", "DirectInputデバイスの軸列挙に失敗しました."},
        {"range", "DirectInputデバイスの軸範囲の設定に失敗しました."},
    };
    for (const auto& step : steps) {
        intest::FakeWorld world;
        world.failStep = step.first;
        intest::FakeSystem system(&world);
        intest::CapturedLog log;
        try {
            CMappedJoystickController joystick(system, 0, nullptr);
            ADD_FAILURE() << step.first;
        } catch (const trivale::EIOError& e) {
            EXPECT_EQ(step.second, e.GetMessage());
        }
        EXPECT_EQ(1, log.Count("DirectX Error: ")) << step.first;
    }
}

// ---- merged ----

TEST(MergedController, AskingStopsAtTheFirstChildThatAnswers) {
    intest::FakeWorld world;
    intest::FakeSystem system(&world);
    CMappedKeyboardController keyboard(system, nullptr);
    CMappedJoystickController joystick(system, 0, nullptr);
    keyboard.SetAssignment("decide", 0, kZ);
    joystick.SetAssignment("decide", 0, 0);
    CMergedController merged;
    EXPECT_FALSE(merged.IsPushed("decide"));
    merged.AddController(&keyboard);
    merged.AddController(&joystick);
    EXPECT_EQ(2, merged.GetType());
    world.keys[kZ] = 0x80;
    world.joystick.buttons[0] = 0x80;
    merged.Update();
    EXPECT_TRUE(merged.IsPressed("decide"));
    EXPECT_TRUE(merged.IsPushed("decide"));   // the keyboard's push
    EXPECT_TRUE(merged.IsPushed("decide"));   // the joystick's push, left by the first question
    EXPECT_FALSE(merged.IsPushed("decide"));
    merged.Reset();
    EXPECT_TRUE(keyboard.IsPressed("decide"));
    EXPECT_TRUE(joystick.IsPressed("decide"));
}

TEST(MergedController, ButtonOperationsAreNotSupported) {
    CMergedController merged;
    const std::string text = "サポートされていないメソッド呼び出しです.";
    try {
        merged.DefineButton("a", "A");
        ADD_FAILURE();
    } catch (const trivale::EInvalidOperation& e) {
        EXPECT_EQ(text, e.GetMessage());
        EXPECT_NE(std::string::npos, e.GetOrigin().find("CMergedController"));
    }
    EXPECT_THROW(merged.GetLabel("a"), trivale::EInvalidOperation);
    EXPECT_THROW(merged.Capture("a", 0), trivale::EInvalidOperation);
    EXPECT_THROW(merged.SetAssignment("a", 0, 1), trivale::EInvalidOperation);
    EXPECT_THROW(merged.GetAssignment("a", 0), trivale::EInvalidOperation);
    EXPECT_THROW(merged.GetAssignmentName("a", 0), trivale::EInvalidOperation);
}

}  // namespace
