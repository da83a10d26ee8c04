// The eleven actions over scripted devices: keys and pad inputs in, pushed actions out.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "app_framework/GameWindow.h"
#include "benchmark/InputMap.h"
#include "tests/input/InputTestSupport.h"

using namespace trivale;
using Actions = std::set<std::string>;

namespace {

// Every scripted game controller reads the one joystick state of the world.
struct Rig {
    explicit Rig(int pads)
        : input(nullptr, [this](std::string*) { return std::make_unique<intest::FakeSystem>(&world); }) {
        for (int i = 0; i < pads; ++i) world.controllers.push_back({i, "Pad"});
        EXPECT_TRUE(input.Initialize());
        SetupInputMap(input, merged);
    }
    Actions Pushed() {
        merged.Update();
        Actions out;
        for (const InputAction& a : kInputActions)
            if (merged.IsPushed(a.name)) out.insert(a.name);
        return out;
    }
    intest::FakeWorld world;
    CDXInput input;
    CMergedController merged;
};

TEST(InputMap, EachKeyAndPadInputPushesItsActionsOnce) {
    // clang-format off
    const struct {
        int pads, code;   // code: a key with no pad, else a button or an axis code of the pad
        Actions actions;  // the pushed ones
    } cases[] = {
        {0, 0xC8, {"up"}}, {0, 0x48, {"up"}}, {0, 0xD0, {"down"}}, {0, 0x50, {"down"}}, {0, 0xCB, {"left"}},
        {0, 0x4B, {"left"}}, {0, 0xCD, {"right"}}, {0, 0x4D, {"right"}}, {0, 0x1C, {"decide"}}, {0, 0x9C, {"decide"}},
        {0, 0x01, {"cancel", "pause"}}, {0, 0x2D, {"main"}}, {0, 0x2C, {"sub"}}, {0, 0x2A, {"special"}},
        {0, 0x57, {"debug"}}, {0, 0x39, {}}, {1, 0, {"decide", "special"}}, {1, 1, {"cancel", "sub"}},
        {1, 2, {"decide", "main"}}, {1, 7, {"special"}}, {1, 8, {"pause"}}, {1, 3, {}}, {2, 1, {"cancel", "sub"}},
        {1, kInputAxisYNegative, {"up"}}, {1, kInputAxisYPositive, {"down"}}, {1, kInputAxisXNegative, {"left"}},
        {1, kInputAxisXPositive, {"right"}}
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.pads) + " pads, code " + std::to_string(c.code));
        Rig rig(c.pads);
        plat::JoystickState& pad = rig.world.joystick;
        auto set = [&](bool down) {
            const int v = down ? 100 : 0;
            if (c.pads == 0)
                rig.world.keys[c.code] = down ? 0x80 : 0;
            else if (c.code < 0x100)
                pad.buttons[c.code] = down ? 0x80 : 0;
            else if (c.code <= kInputAxisXPositive)
                pad.x = c.code == kInputAxisXNegative ? -v : v;
            else
                pad.y = c.code == kInputAxisYNegative ? -v : v;
        };
        set(true);
        EXPECT_EQ(c.actions, rig.Pushed());
    }
}

// Over the real keyboard, fed by the event pump as the message loop feeds it: a bound key tapped
// between two frames pushes its actions once, and one held over frames pushes them once too.
TEST(InputMap, ABoundKeyTappedBetweenTwoFramesPushesItsActionsOnce) {
    [[maybe_unused]] static const bool video = (fwtest::KeepVideo().SetUp(), true);  // once per run
    CGameWindow window("TrivaleWnd", "input", nullptr, plat::Cursor::Default);
    window.Show();
    fwtest::Pump();
    plat::ClearKeyState();
    CDXInput input(window.GetHandle());
    ASSERT_TRUE(input.Initialize());
    CMergedController merged;
    SetupInputMap(input, merged);
    auto pushed = [&] {
        merged.Update();
        Actions out;
        for (const InputAction& a : kInputActions)
            if (merged.IsPushed(a.name)) out.insert(a.name);
        return out;
    };
    auto key = [&](int code, bool down) {
        fwtest::PushKey(window.GetHandle()->GetId(), plat::ScancodeFromKeyCode(code), down);
    };
    for (const InputAction& action : kInputActions) {
        for (int code : action.key) {
            if (code == kInputNone) continue;
            SCOPED_TRACE(std::string(action.name) + ", key " + std::to_string(code));
            Actions expected;
            for (const InputAction& a : kInputActions)
                if (a.key[0] == code || a.key[1] == code) expected.insert(a.name);
            key(code, true);
            key(code, false);
            fwtest::Pump();
            EXPECT_EQ(expected, pushed());
            EXPECT_EQ(Actions(), pushed());
            key(code, true);
            fwtest::Pump();
            EXPECT_EQ(expected, pushed());
            EXPECT_EQ(Actions(), pushed());
            EXPECT_EQ(Actions(), pushed());
            key(code, false);
            fwtest::Pump();
            EXPECT_EQ(Actions(), pushed());
        }
    }
}

// Every controller has the actions (a second pad too), but only the first pad is bound.
TEST(InputMap, EveryControllerHasTheActionsAndOnlyTheFirstPadIsBound) {
    Rig rig(2);
    ASSERT_EQ(3u, rig.input.GetControllerCount());
    EXPECT_EQ("Move Left", rig.input.GetController(2)->GetLabel("left"));
    for (const InputAction& a : kInputActions)
        for (unsigned slot = 0; slot < 2; ++slot)
            EXPECT_EQ(kInputNone, rig.input.GetController(2)->GetAssignment(a.name, slot));
}

}  // namespace
