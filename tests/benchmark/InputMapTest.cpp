// The eleven actions over scripted devices: keys and pad inputs in, pushed actions out.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "benchmark/InputMap.h"
#include "tests/input/InputTestSupport.h"

using namespace trivale;

namespace {

// A keyboard and any number of game controllers, each with a state of its own.
class PadsSystem : public plat::InputSystem {
public:
    PadsSystem(intest::FakeWorld* keyboard, std::vector<intest::FakeWorld>* pads) : keyboard_(keyboard), pads_(pads) {}
    plat::InputResult EnumGameControllers(std::vector<plat::GameControllerInfo>* controllers) override {
        controllers->clear();
        for (size_t i = 0; i < pads_->size(); ++i) controllers->push_back({static_cast<int>(i), "Pad"});
        return plat::InputResult::Ok;
    }
    std::unique_ptr<plat::KeyboardDevice> CreateKeyboard(plat::InputResult* result) override {
        *result = plat::InputResult::Ok;
        return std::make_unique<intest::FakeKeyboard>(keyboard_);
    }
    std::unique_ptr<plat::JoystickDevice> CreateJoystick(int id, plat::InputResult* result) override {
        *result = plat::InputResult::Ok;
        return std::make_unique<intest::FakeJoystick>(&(*pads_)[static_cast<size_t>(id)]);
    }

private:
    intest::FakeWorld* keyboard_;
    std::vector<intest::FakeWorld>* pads_;
};

class InputMapTest : public ::testing::Test {
protected:
    void Build(size_t padCount) {
        pads.resize(padCount);
        input.reset(new CDXInput(nullptr, [this](std::string*) {
            return std::unique_ptr<plat::InputSystem>(new PadsSystem(&keyboard, &pads));
        }));
        ASSERT_TRUE(input->Initialize());
        SetupInputMap(*input, merged);
    }
    // Every action pushed in this frame, asked of the merged controller.
    std::set<std::string> Pushed() {
        merged.Update();
        std::set<std::string> out;
        for (const InputAction& a : kInputActions)
            if (merged.IsPushed(a.name)) out.insert(a.name);
        return out;
    }

    intest::FakeWorld keyboard;
    std::vector<intest::FakeWorld> pads;
    std::unique_ptr<CDXInput> input;
    CMergedController merged;
};

using Actions = std::set<std::string>;

TEST_F(InputMapTest, EachKeyAndPadInputPushesItsActions) {
    Build(2);
    // pad: -1 for a key, else the game controller (0 the first); code: key, button or axis code.
    const struct {
        int pad;
        int code;
        Actions actions;
    } cases[] = {
        {-1, 0xC8, {"up"}},
        {-1, 0x48, {"up"}},
        {-1, 0xD0, {"down"}},
        {-1, 0x50, {"down"}},
        {-1, 0xCB, {"left"}},
        {-1, 0x4B, {"left"}},
        {-1, 0xCD, {"right"}},
        {-1, 0x4D, {"right"}},
        {-1, 0x1C, {"decide"}},
        {-1, 0x9C, {"decide"}},
        {-1, 0x01, {"cancel", "pause"}},
        {-1, 0x2D, {"main"}},
        {-1, 0x2C, {"sub"}},
        {-1, 0x2A, {"special"}},
        {-1, 0x57, {"debug"}},
        {-1, 0x39, {}},  // space is bound to nothing
        {0, 0, {"decide", "special"}},
        {0, 1, {"cancel", "sub"}},
        {0, 2, {"decide", "main"}},
        {0, 7, {"special"}},
        {0, 8, {"pause"}},
        {0, 3, {}},
        {0, kInputAxisYNegative, {"up"}},
        {0, kInputAxisYPositive, {"down"}},
        {0, kInputAxisXNegative, {"left"}},
        {0, kInputAxisXPositive, {"right"}},
        {1, 0, {}},  // the second game controller is merged but unbound
        {1, 8, {}},
        {1, kInputAxisXNegative, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("pad " + std::to_string(c.pad) + " code " + std::to_string(c.code));
        intest::FakeWorld& w = c.pad < 0 ? keyboard : pads[static_cast<size_t>(c.pad)];
        auto set = [&](bool down) {
            if (c.pad < 0) {
                w.keys[c.code] = down ? 0x80 : 0;
            } else if (c.code < 0x100) {
                w.joystick.buttons[c.code] = down ? 0x80 : 0;
            } else {
                const int v = down ? 100 : 0;
                if (c.code == kInputAxisXNegative || c.code == kInputAxisXPositive)
                    w.joystick.x = c.code == kInputAxisXNegative ? -v : v;
                else
                    w.joystick.y = c.code == kInputAxisYNegative ? -v : v;
            }
        };
        set(true);
        EXPECT_EQ(c.actions, Pushed());
        EXPECT_EQ(Actions(), Pushed()) << "a held input pushes once";
        set(false);
        EXPECT_EQ(Actions(), Pushed());
    }
}

TEST_F(InputMapTest, EveryControllerCarriesTheActionsWithTheirLabels) {
    Build(2);
    ASSERT_EQ(3u, input->GetControllerCount());
    const std::string labels[11] = {"Move Up", "Move Down", "Move Left", "Move Right"};
    for (unsigned c = 0; c < 3; ++c)
        for (size_t i = 0; i < 11; ++i) EXPECT_EQ(labels[i], input->GetController(c)->GetLabel(kInputActions[i].name));
}

TEST_F(InputMapTest, WithTheKeyboardAloneItsKeysStillPush) {
    Build(0);
    ASSERT_EQ(1u, input->GetControllerCount());
    keyboard.keys[0x01] = 0x80;
    EXPECT_EQ(Actions({"cancel", "pause"}), Pushed());
}

}  // namespace
