// In place of the desktop's keyboard and game-controller input: a 256-key state in the classic PC
// scan-code numbering, tracked from the event queue, and game controllers through SDL's joystick API with
// ranged axes and 32 buttons, read only while their window has the focus. No mouse, force feedback or
// controllers attached after start-up.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace plat {

class Window;

// Results of the input devices; the failure values are those the engine's logs and checks know.
enum class InputResult : std::uint32_t {
    Ok = 0,
    AccessDenied = 0x80070005,  // the window is not in the foreground
    NotAcquired = 0x8007000C,   // the device is not acquired (or lost it with the focus)
    InputLost = 0x8007001E,     // the device went away
    InvalidParameter = 0x80070057,
    DeviceNotFound = 0x80040154,
    Unsupported = 0x80004001,
    Failed = 0x80004005  // the input system did not start
};

inline bool Failed(InputResult r) { return r != InputResult::Ok; }
// Name and description of a result, for log lines.
const char* InputResultName(InputResult r);
const char* InputResultDescription(InputResult r);

// Cooperative levels, combinable.
enum : unsigned {
    kInputExclusive = 0x01,
    kInputNonExclusive = 0x02,
    kInputForeground = 0x04,
    kInputBackground = 0x08,
    kInputNoSystemKey = 0x10
};

// A few key codes of the 256-key numbering.
enum : int {
    kKeyEscape = 0x01,
    kKeyReturn = 0x1C,
    kKeyLeftShift = 0x2A,
    kKeyZ = 0x2C,
    kKeyX = 0x2D,
    kKeySpace = 0x39,
    kKeyCapsLock = 0x3A,
    kKeyF4 = 0x3E,
    kKeyNumpad8 = 0x48,
    kKeyNumpad4 = 0x4B,
    kKeyNumpad6 = 0x4D,
    kKeyNumpad2 = 0x50,
    kKeyF11 = 0x57,
    kKeyNumpadEnter = 0x9C,
    kKeyUp = 0xC8,
    kKeyLeft = 0xCB,
    kKeyRight = 0xCD,
    kKeyDown = 0xD0
};

class KeyboardDevice {
public:
    virtual ~KeyboardDevice() = default;
    virtual InputResult SetCooperativeLevel(Window* window, unsigned flags) = 0;
    virtual InputResult SetDataFormat() = 0;
    // Succeeds only while the window has the focus (foreground level); else AccessDenied.
    virtual InputResult Acquire() = 0;
    // 256 bytes, one per key code; the high bit (0x80) of a held key is set. A key pressed since the
    // last read counts as held on this one even when it is up again, so a short tap between two reads
    // is one press; several taps show as one press a read, a release between each. NotAcquired when
    // the device is not acquired or lost the focus since; what was pressed meanwhile is not kept.
    virtual InputResult GetDeviceState(std::uint8_t (&keys)[256]) = 0;
};

// Axes as the set ranges give them; buttons 0x80 when held, or pressed since the last read as keys are.
struct JoystickState {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::uint8_t buttons[32] = {};
};

class JoystickDevice {
public:
    virtual ~JoystickDevice() = default;
    virtual InputResult SetCooperativeLevel(Window* window, unsigned flags) = 0;
    virtual InputResult SetDataFormat() = 0;
    virtual InputResult SetAxisModeAbsolute() = 0;
    // The axis numbers of the device.
    virtual InputResult EnumAxes(std::vector<int>* axes) = 0;
    virtual InputResult SetAxisRange(int axis, int minimum, int maximum) = 0;
    virtual InputResult Acquire() = 0;
    // Takes the device's latest readings; InputLost when it has been unplugged.
    virtual InputResult Poll() = 0;
    virtual InputResult GetDeviceState(JoystickState* state) = 0;
};

struct GameControllerInfo {
    int id = 0;
    std::string name;
};

class InputSystem {
public:
    // The SDL input system; null and a reason when it cannot start.
    static std::unique_ptr<InputSystem> Create(std::string* error);
    virtual ~InputSystem() = default;
    // The game controllers attached now, in the system's order.
    virtual InputResult EnumGameControllers(std::vector<GameControllerInfo>* controllers) = 0;
    // Null and the reason in *result when the device cannot be opened.
    virtual std::unique_ptr<KeyboardDevice> CreateKeyboard(InputResult* result) = 0;
    virtual std::unique_ptr<JoystickDevice> CreateJoystick(int id, InputResult* result) = 0;
};

// The key code of an SDL scancode (0 when the key has none).
int KeyCodeFromScancode(int scancode);
// An SDL scancode of a key code (0 when there is none).
int ScancodeFromKeyCode(int key);

// The process-wide key state that the event pump of platform/Window.h keeps: it sees every key event
// before anything else does, and clears the state when a window loses the focus (presses not yet read
// are dropped with it).
void TrackKey(int key, bool down);
void ClearKeyState();
bool IsKeyDown(int key);

}  // namespace plat
