#include "platform/Input.h"

#include "platform/Window.h"

#include <SDL.h>

#include <atomic>
#include <cmath>
#include <cstring>

namespace plat {

namespace {

struct KeyPair {
    SDL_Scancode scancode;
    int key;
};

// Several scancodes may give one key code; the first pair of a key code is its scancode.
const KeyPair kKeyPairs[] = {
    {SDL_SCANCODE_ESCAPE, 0x01},
    {SDL_SCANCODE_1, 0x02},
    {SDL_SCANCODE_2, 0x03},
    {SDL_SCANCODE_3, 0x04},
    {SDL_SCANCODE_4, 0x05},
    {SDL_SCANCODE_5, 0x06},
    {SDL_SCANCODE_6, 0x07},
    {SDL_SCANCODE_7, 0x08},
    {SDL_SCANCODE_8, 0x09},
    {SDL_SCANCODE_9, 0x0A},
    {SDL_SCANCODE_0, 0x0B},
    {SDL_SCANCODE_MINUS, 0x0C},
    {SDL_SCANCODE_EQUALS, 0x0D},
    {SDL_SCANCODE_BACKSPACE, 0x0E},
    {SDL_SCANCODE_TAB, 0x0F},
    {SDL_SCANCODE_Q, 0x10},
    {SDL_SCANCODE_W, 0x11},
    {SDL_SCANCODE_E, 0x12},
    {SDL_SCANCODE_R, 0x13},
    {SDL_SCANCODE_T, 0x14},
    {SDL_SCANCODE_Y, 0x15},
    {SDL_SCANCODE_U, 0x16},
    {SDL_SCANCODE_I, 0x17},
    {SDL_SCANCODE_O, 0x18},
    {SDL_SCANCODE_P, 0x19},
    {SDL_SCANCODE_LEFTBRACKET, 0x1A},
    {SDL_SCANCODE_RIGHTBRACKET, 0x1B},
    {SDL_SCANCODE_RETURN, 0x1C},
    {SDL_SCANCODE_LCTRL, 0x1D},
    {SDL_SCANCODE_A, 0x1E},
    {SDL_SCANCODE_S, 0x1F},
    {SDL_SCANCODE_D, 0x20},
    {SDL_SCANCODE_F, 0x21},
    {SDL_SCANCODE_G, 0x22},
    {SDL_SCANCODE_H, 0x23},
    {SDL_SCANCODE_J, 0x24},
    {SDL_SCANCODE_K, 0x25},
    {SDL_SCANCODE_L, 0x26},
    {SDL_SCANCODE_SEMICOLON, 0x27},
    {SDL_SCANCODE_APOSTROPHE, 0x28},
    {SDL_SCANCODE_GRAVE, 0x29},
    {SDL_SCANCODE_LSHIFT, 0x2A},
    {SDL_SCANCODE_BACKSLASH, 0x2B},
    {SDL_SCANCODE_Z, 0x2C},
    {SDL_SCANCODE_X, 0x2D},
    {SDL_SCANCODE_C, 0x2E},
    {SDL_SCANCODE_V, 0x2F},
    {SDL_SCANCODE_B, 0x30},
    {SDL_SCANCODE_N, 0x31},
    {SDL_SCANCODE_M, 0x32},
    {SDL_SCANCODE_COMMA, 0x33},
    {SDL_SCANCODE_PERIOD, 0x34},
    {SDL_SCANCODE_SLASH, 0x35},
    {SDL_SCANCODE_RSHIFT, 0x36},
    {SDL_SCANCODE_KP_MULTIPLY, 0x37},
    {SDL_SCANCODE_LALT, 0x38},
    {SDL_SCANCODE_SPACE, 0x39},
    {SDL_SCANCODE_CAPSLOCK, 0x3A},
    {SDL_SCANCODE_F1, 0x3B},
    {SDL_SCANCODE_F2, 0x3C},
    {SDL_SCANCODE_F3, 0x3D},
    {SDL_SCANCODE_F4, 0x3E},
    {SDL_SCANCODE_F5, 0x3F},
    {SDL_SCANCODE_F6, 0x40},
    {SDL_SCANCODE_F7, 0x41},
    {SDL_SCANCODE_F8, 0x42},
    {SDL_SCANCODE_F9, 0x43},
    {SDL_SCANCODE_F10, 0x44},
    {SDL_SCANCODE_NUMLOCKCLEAR, 0x45},
    {SDL_SCANCODE_SCROLLLOCK, 0x46},
    {SDL_SCANCODE_KP_7, 0x47},
    {SDL_SCANCODE_KP_8, 0x48},
    {SDL_SCANCODE_KP_9, 0x49},
    {SDL_SCANCODE_KP_MINUS, 0x4A},
    {SDL_SCANCODE_KP_4, 0x4B},
    {SDL_SCANCODE_KP_5, 0x4C},
    {SDL_SCANCODE_KP_6, 0x4D},
    {SDL_SCANCODE_KP_PLUS, 0x4E},
    {SDL_SCANCODE_KP_1, 0x4F},
    {SDL_SCANCODE_KP_2, 0x50},
    {SDL_SCANCODE_KP_3, 0x51},
    {SDL_SCANCODE_KP_0, 0x52},
    {SDL_SCANCODE_KP_PERIOD, 0x53},
    {SDL_SCANCODE_NONUSBACKSLASH, 0x56},
    {SDL_SCANCODE_F11, 0x57},
    {SDL_SCANCODE_F12, 0x58},
    {SDL_SCANCODE_F13, 0x64},
    {SDL_SCANCODE_F14, 0x65},
    {SDL_SCANCODE_F15, 0x66},
    {SDL_SCANCODE_INTERNATIONAL2, 0x70},
    {SDL_SCANCODE_INTERNATIONAL1, 0x73},
    {SDL_SCANCODE_INTERNATIONAL4, 0x79},
    {SDL_SCANCODE_INTERNATIONAL5, 0x7B},
    {SDL_SCANCODE_INTERNATIONAL3, 0x7D},
    {SDL_SCANCODE_KP_EQUALS, 0x8D},
    {SDL_SCANCODE_AUDIOPREV, 0x90},
    {SDL_SCANCODE_STOP, 0x95},
    {SDL_SCANCODE_AUDIONEXT, 0x99},
    {SDL_SCANCODE_KP_ENTER, 0x9C},
    {SDL_SCANCODE_RCTRL, 0x9D},
    {SDL_SCANCODE_MUTE, 0xA0},
    {SDL_SCANCODE_AUDIOMUTE, 0xA0},
    {SDL_SCANCODE_CALCULATOR, 0xA1},
    {SDL_SCANCODE_AUDIOPLAY, 0xA2},
    {SDL_SCANCODE_AUDIOSTOP, 0xA4},
    {SDL_SCANCODE_VOLUMEDOWN, 0xAE},
    {SDL_SCANCODE_VOLUMEUP, 0xB0},
    {SDL_SCANCODE_AC_HOME, 0xB2},
    {SDL_SCANCODE_KP_COMMA, 0xB3},
    {SDL_SCANCODE_KP_DIVIDE, 0xB5},
    {SDL_SCANCODE_PRINTSCREEN, 0xB7},
    {SDL_SCANCODE_SYSREQ, 0xB7},
    {SDL_SCANCODE_RALT, 0xB8},
    {SDL_SCANCODE_PAUSE, 0xC5},
    {SDL_SCANCODE_HOME, 0xC7},
    {SDL_SCANCODE_UP, 0xC8},
    {SDL_SCANCODE_PAGEUP, 0xC9},
    {SDL_SCANCODE_LEFT, 0xCB},
    {SDL_SCANCODE_RIGHT, 0xCD},
    {SDL_SCANCODE_END, 0xCF},
    {SDL_SCANCODE_DOWN, 0xD0},
    {SDL_SCANCODE_PAGEDOWN, 0xD1},
    {SDL_SCANCODE_INSERT, 0xD2},
    {SDL_SCANCODE_DELETE, 0xD3},
    {SDL_SCANCODE_LGUI, 0xDB},
    {SDL_SCANCODE_RGUI, 0xDC},
    {SDL_SCANCODE_APPLICATION, 0xDD},
    {SDL_SCANCODE_POWER, 0xDE},
    {SDL_SCANCODE_SLEEP, 0xDF},
    {SDL_SCANCODE_AC_SEARCH, 0xE5},
    {SDL_SCANCODE_AC_BOOKMARKS, 0xE6},
    {SDL_SCANCODE_AC_REFRESH, 0xE7},
    {SDL_SCANCODE_AC_STOP, 0xE8},
    {SDL_SCANCODE_AC_FORWARD, 0xE9},
    {SDL_SCANCODE_AC_BACK, 0xEA},
    {SDL_SCANCODE_COMPUTER, 0xEB},
    {SDL_SCANCODE_MAIL, 0xEC},
    {SDL_SCANCODE_MEDIASELECT, 0xED},
};

// The key state as the event pump left it, and every key's count of presses, so that a reader that
// comes by once a frame still sees a key that went down and up again in between.
std::uint8_t g_keys[256];
std::uint32_t g_keyPresses[256];
// Each clear (the focus went elsewhere) is numbered, and the press counts at the last one kept: presses
// from before it are not owed to anyone.
std::uint32_t g_keyClears = 0;
std::uint32_t g_keyPressesAtClear[256];

// What one reader shows of one key or button. The held state is shown as it is, except that every
// press since the last read is shown as held once: a press that came and went between two reads is
// held on the next read and released on the one after, and a press after a release that the last
// read did not show waits for a read that shows the release first, so that each press is one edge.
class PressLatch {
public:
    // Forgets the presses up to the count given.
    void Skip(std::uint32_t presses) {
        seen_ = presses;
        owed_ = 0;
    }
    bool Read(bool held, std::uint32_t presses) {
        owed_ += presses - seen_;  // the counts only grow, and wrap harmlessly
        seen_ = presses;
        if (owed_ > 0 && shown_) {
            shown_ = false;
        } else if (owed_ > 0) {
            --owed_;
            shown_ = true;
        } else {
            shown_ = held;
        }
        return shown_;
    }

private:
    std::uint32_t seen_ = 0;
    std::uint32_t owed_ = 0;
    bool shown_ = false;
};

bool ForegroundHasFocus(Window* window, unsigned flags) {
    if ((flags & kInputBackground) != 0) return true;
    return window != nullptr && window->HasFocus();
}

class SdlKeyboard : public KeyboardDevice {
public:
    SdlKeyboard() { ForgetPresses(); }
    InputResult SetCooperativeLevel(Window* window, unsigned flags) override {
        if (window == nullptr && (flags & kInputBackground) == 0) return InputResult::InvalidParameter;
        window_ = window;
        flags_ = flags;
        return InputResult::Ok;
    }
    InputResult SetDataFormat() override { return InputResult::Ok; }
    InputResult Acquire() override {
        if (!ForegroundHasFocus(window_, flags_)) {
            acquired_ = false;
            return InputResult::AccessDenied;
        }
        if (!acquired_) ForgetPresses();  // nothing pressed while unacquired is owed
        acquired_ = true;
        return InputResult::Ok;
    }
    InputResult GetDeviceState(std::uint8_t (&keys)[256]) override {
        if (acquired_ && !ForegroundHasFocus(window_, flags_)) acquired_ = false;
        if (!acquired_) return InputResult::NotAcquired;
        if (clears_ != g_keyClears) {
            clears_ = g_keyClears;
            SkipPresses(g_keyPressesAtClear);
        }
        for (int key = 0; key < 256; ++key) {
            keys[key] = latches_[key].Read((g_keys[key] & 0x80) != 0, g_keyPresses[key]) ? 0x80 : 0;
        }
        return InputResult::Ok;
    }

private:
    void SkipPresses(const std::uint32_t (&presses)[256]) {
        for (int key = 0; key < 256; ++key) latches_[key].Skip(presses[key]);
    }
    void ForgetPresses() {
        clears_ = g_keyClears;
        SkipPresses(g_keyPresses);
    }

    Window* window_ = nullptr;
    unsigned flags_ = kInputForeground | kInputNonExclusive;
    bool acquired_ = false;
    std::uint32_t clears_ = g_keyClears;
    PressLatch latches_[256];
};

struct AxisRange {
    int minimum = 0;
    int maximum = 65535;
};

class SdlJoystick : public JoystickDevice {
public:
    explicit SdlJoystick(SDL_Joystick* joystick) : joystick_(joystick), instance_(SDL_JoystickInstanceID(joystick)) {
        int axes = SDL_JoystickNumAxes(joystick_);
        ranges_.resize(axes > 0 ? static_cast<std::size_t>(axes) : 0);
        for (std::atomic<std::uint32_t>& p : presses_) p.store(0);
        // SDL posts each button change as it reads the device, even several between two polls here.
        SDL_AddEventWatch(&SdlJoystick::CountPresses, this);
    }
    ~SdlJoystick() override {
        SDL_DelEventWatch(&SdlJoystick::CountPresses, this);
        SDL_JoystickClose(joystick_);
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    }
    InputResult SetCooperativeLevel(Window* window, unsigned flags) override {
        if (window == nullptr && (flags & kInputBackground) == 0) return InputResult::InvalidParameter;
        window_ = window;
        flags_ = flags;
        return InputResult::Ok;
    }
    InputResult SetDataFormat() override { return InputResult::Ok; }
    InputResult SetAxisModeAbsolute() override { return InputResult::Ok; }
    InputResult EnumAxes(std::vector<int>* axes) override {
        axes->clear();
        for (std::size_t i = 0; i < ranges_.size(); ++i) axes->push_back(static_cast<int>(i));
        return InputResult::Ok;
    }
    InputResult SetAxisRange(int axis, int minimum, int maximum) override {
        if (axis < 0 || static_cast<std::size_t>(axis) >= ranges_.size() || minimum >= maximum) {
            return InputResult::InvalidParameter;
        }
        ranges_[static_cast<std::size_t>(axis)] = {minimum, maximum};
        return InputResult::Ok;
    }
    InputResult Acquire() override {
        if (!SDL_JoystickGetAttached(joystick_)) return InputResult::InputLost;
        if (!ForegroundHasFocus(window_, flags_)) {
            acquired_ = false;
            return InputResult::AccessDenied;
        }
        if (!acquired_) ForgetPresses();  // nothing pressed while unacquired is owed
        acquired_ = true;
        return InputResult::Ok;
    }
    InputResult Poll() override {
        if (acquired_ && !ForegroundHasFocus(window_, flags_)) acquired_ = false;
        if (!acquired_) return InputResult::NotAcquired;
        if (!SDL_JoystickGetAttached(joystick_)) {
            acquired_ = false;
            return InputResult::InputLost;
        }
        SDL_JoystickUpdate();
        return InputResult::Ok;
    }
    InputResult GetDeviceState(JoystickState* state) override {
        if (!acquired_) return InputResult::NotAcquired;
        *state = JoystickState();
        state->x = Axis(0);
        state->y = Axis(1);
        int buttons = SDL_JoystickNumButtons(joystick_);
        for (int i = 0; i < 32; ++i) {
            const bool held = i < buttons && SDL_JoystickGetButton(joystick_, i) != 0;
            state->buttons[i] = latches_[i].Read(held, presses_[i].load()) ? 0x80 : 0;
        }
        return InputResult::Ok;
    }

private:
    static int SDLCALL CountPresses(void* self, SDL_Event* e) {
        SdlJoystick* joystick = static_cast<SdlJoystick*>(self);
        if (e->type == SDL_JOYBUTTONDOWN && e->jbutton.which == joystick->instance_ && e->jbutton.button < 32) {
            joystick->presses_[e->jbutton.button].fetch_add(1);
        }
        return 1;
    }
    void ForgetPresses() {
        for (int i = 0; i < 32; ++i) latches_[i].Skip(presses_[i].load());
    }
    // Maps SDL's -32768..32767 linearly onto the set range, the middle onto its middle.
    std::int32_t Axis(int axis) const {
        if (static_cast<std::size_t>(axis) >= ranges_.size()) return 0;
        const AxisRange& r = ranges_[static_cast<std::size_t>(axis)];
        double v = SDL_JoystickGetAxis(joystick_, axis) + 32768.0;
        return static_cast<std::int32_t>(std::lround(v * (r.maximum - r.minimum) / 65535.0)) + r.minimum;
    }

    SDL_Joystick* joystick_;
    SDL_JoystickID instance_;
    Window* window_ = nullptr;
    unsigned flags_ = kInputForeground | kInputExclusive;
    bool acquired_ = false;
    std::vector<AxisRange> ranges_;
    // Presses as SDL posts them (on whichever thread reads the device), and what the reads showed.
    std::atomic<std::uint32_t> presses_[32];
    PressLatch latches_[32];
};

class SdlInputSystem : public InputSystem {
public:
    ~SdlInputSystem() override { SDL_QuitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_EVENTS); }

    InputResult EnumGameControllers(std::vector<GameControllerInfo>* controllers) override {
        controllers->clear();
        int count = SDL_NumJoysticks();
        if (count < 0) return InputResult::Unsupported;
        for (int i = 0; i < count; ++i) {
            GameControllerInfo info;
            info.id = i;
            const char* name = SDL_JoystickNameForIndex(i);
            info.name = name != nullptr ? name : "";
            controllers->push_back(info);
        }
        return InputResult::Ok;
    }
    std::unique_ptr<KeyboardDevice> CreateKeyboard(InputResult* result) override {
        *result = InputResult::Ok;
        return std::unique_ptr<KeyboardDevice>(new SdlKeyboard());
    }
    std::unique_ptr<JoystickDevice> CreateJoystick(int id, InputResult* result) override {
        // Each open joystick holds the subsystem, so it may outlive the system object.
        if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) {
            *result = InputResult::Unsupported;
            return nullptr;
        }
        SDL_Joystick* joystick = SDL_JoystickOpen(id);
        if (joystick == nullptr) {
            SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
            *result = InputResult::DeviceNotFound;
            return nullptr;
        }
        *result = InputResult::Ok;
        return std::unique_ptr<JoystickDevice>(new SdlJoystick(joystick));
    }
};

}  // namespace

const char* InputResultName(InputResult r) {
    switch (r) {
    case InputResult::Ok:
        return "OK";
    case InputResult::AccessDenied:
        return "ACCESS_DENIED";
    case InputResult::NotAcquired:
        return "NOT_ACQUIRED";
    case InputResult::InputLost:
        return "INPUT_LOST";
    case InputResult::InvalidParameter:
        return "INVALID_PARAMETER";
    case InputResult::DeviceNotFound:
        return "DEVICE_NOT_FOUND";
    case InputResult::Unsupported:
        return "UNSUPPORTED";
    case InputResult::Failed:
        return "FAIL";
    }
    return "UNKNOWN";
}

const char* InputResultDescription(InputResult r) {
    switch (r) {
    case InputResult::Ok:
        return "The operation completed successfully.";
    case InputResult::AccessDenied:
        return "The window of the device does not have the input focus.";
    case InputResult::NotAcquired:
        return "The device is not acquired.";
    case InputResult::InputLost:
        return "Access to the device has been lost; it must be acquired again.";
    case InputResult::InvalidParameter:
        return "An invalid parameter was passed.";
    case InputResult::DeviceNotFound:
        return "The device is not attached.";
    case InputResult::Unsupported:
        return "The operation is not supported.";
    case InputResult::Failed:
        return "The input system could not be started.";
    }
    return "Unknown result.";
}

std::unique_ptr<InputSystem> InputSystem::Create(std::string* error) {
    // SDL drops joystick readings while none of its windows has the keyboard focus, which never
    // happens under the offscreen driver; the devices apply their own focus rule instead.
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_EVENTS) != 0) {
        if (error) *error = SDL_GetError();
        return nullptr;
    }
    return std::unique_ptr<InputSystem>(new SdlInputSystem());
}

int KeyCodeFromScancode(int scancode) {
    for (const KeyPair& p : kKeyPairs) {
        if (p.scancode == scancode) return p.key;
    }
    return 0;
}

int ScancodeFromKeyCode(int key) {
    for (const KeyPair& p : kKeyPairs) {
        if (p.key == key) return p.scancode;
    }
    return 0;
}

void TrackKey(int key, bool down) {
    if (key <= 0 || key > 255) return;
    if (down && g_keys[key] == 0) ++g_keyPresses[key];  // a repeat of a held key is no new press
    g_keys[key] = down ? 0x80 : 0;
}

void ClearKeyState() {
    std::memset(g_keys, 0, sizeof g_keys);
    std::memcpy(g_keyPressesAtClear, g_keyPresses, sizeof g_keyPresses);
    ++g_keyClears;
}

bool IsKeyDown(int key) { return key > 0 && key <= 255 && (g_keys[key] & 0x80) != 0; }

}  // namespace plat
