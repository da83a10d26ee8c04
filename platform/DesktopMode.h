#pragma once
// Platform-internal: the desktop's display mode, shared by the full-screen instances on one X display.
// Whoever leaves last puts the desktop's mode back; one that leaves while another is still full screen
// leaves the display in the other's mode.

#include <SDL.h>

#include <chrono>
#include <functional>
#include <string>

#include "platform/Window.h"

namespace plat {

// A running instance: its process id and the time it started (a process id alone may be reused after
// a crash).
struct InstanceId {
    long pid = 0;
    unsigned long long started = 0;
};

// The process of that id as it runs now.
InstanceId InstanceOf(long pid);
// Whether that very process still runs.
bool InstanceRuns(const InstanceId& instance);

// The record's file for the X display in the environment; empty without one.
std::string DesktopRecordPath();

// The display as the judgement of a record left by ended instances sees it: the mode it shows, or
// nothing at all (dark).
struct ShownMode {
    ShownMode(const DisplayMode& shown, bool none = false) : mode(shown), dark(none) {}  // NOLINT: a mode shown
    DisplayMode mode;  // for a dark display, the best idea of its desktop there is
    bool dark = false;
};

// The record of one display: the desktop's mode and the instances that have the display in a mode of
// their own, latest last. Each step reads and writes the file under a lock on it, waiting for another
// process's lock 2 s at most: a step that cannot take it changes nothing in the file. A record none of
// whose instances still runs (they crashed) is trusted only while the display is dark or still in the
// very mode (size and rate) the last of them left it in: the desktop may have been set again since.
class DesktopRecord {
public:
    using Runs = std::function<bool(const InstanceId&)>;
    // Puts the display in the mode; false when it could not.
    using Apply = std::function<bool(const DisplayMode&)>;
    DesktopRecord(std::string path, InstanceId self, Runs runs);
    ~DesktopRecord();  // leaves the record, the display as it is
    DesktopRecord(const DesktopRecord&) = delete;
    DesktopRecord& operator=(const DesktopRecord&) = delete;

    // Before this instance changes the display's mode: the desktop's, from the record while an instance
    // in it runs, else the display's present mode (recorded for the others).
    DisplayMode Join(const std::function<ShownMode()>& displayNow);
    // The mode this instance has put the display in, as the latest to have done so; an empty mode
    // when it holds none for the time being (its window is minimised).
    void Use(const DisplayMode& mode);
    // This instance's window has gone below another's: `apply` gets the mode the display is to be in,
    // as on leaving, and the record stays as it is.
    void StepAside(const std::function<void(const DisplayMode&)>& apply);
    // Gives `apply` the mode the display is to be in now, under the lock: that of the latest instance
    // in the record that still runs and holds the display, else the desktop's; once it is in it, leaves
    // the record (removed when no other instance is left). Where `apply` fails, the record stays as it
    // was, for the next run to put the desktop back. Nothing happens when this instance has not joined.
    void Leave(const Apply& apply);
    bool Joined() const { return joined_; }
    const std::string& Path() const { return path_; }
    const InstanceId& Self() const { return self_; }

private:
    std::string path_;
    InstanceId self_;
    Runs runs_;
    DisplayMode desktop_;
    bool joined_ = false;
};

// Whether the X connection is the one a forced end opened of its own to put the mode back
// (PutBackDesktopModeFromAnyThread): a fault on it is no reason to end the run another way.
bool IsSideConnection(const void* display);

// A change of the display's mode under way on this thread: an SDL call that may make one (full screen
// on or off, a window shown, hidden or sized, the event queue read while full screen, the video's end)
// or one of this layer's own. A forced end waits for it to finish before it puts the mode back, and
// once that has begun no change starts: the thread waits here for the process's end. Nested, it counts
// once. `mayChange` false: no change can come of it (no full-screen window), nothing is counted.
class ModeChange {
public:
    explicit ModeChange(bool mayChange = true);
    ~ModeChange();
    ModeChange(const ModeChange&) = delete;
    ModeChange& operator=(const ModeChange&) = delete;

private:
    bool entered_;
};

// How long a forced end waits for another thread's change to finish, and any step for another process's
// lock on the note: a change takes tenths of a second on a loaded machine when its server answers.
constexpr std::chrono::milliseconds kOthersChangeLimit{2000};
// No change starts from now on; waits up to `limit` for those under way. False when one still was.
bool CloseModeChanges(std::chrono::milliseconds limit);
// Changes may start again (tests).
void OpenModeChanges();
// Whether this process holds the display in a mode of its own (a full-screen window).
bool DisplayModeHeld();

// Before the video starts on an X display: a note of the desktop's mode left by full-screen runs that
// have all ended is judged once. Where the display is dark (no output shows anything) or still in the
// very mode the last of them left it in, the desktop's mode is put back; the note is removed either way
// (kept only where the mode could not be put back, or where it could not be judged: the X server did not
// answer, or another process held the note). The line says what was done and why; empty when nothing
// was.
StartRepair PutBackModeLeftByEndedRuns();
// Whether the X display DISPLAY names is dark: an output is connected and none shows anything. `output`
// gets the connected output's name.
bool DisplayIsDark(std::string* output = nullptr);

class DesktopMode {
public:
    DesktopMode();
    DesktopMode(const DesktopMode&) = delete;
    DesktopMode& operator=(const DesktopMode&) = delete;

    // Before the display's mode is changed: the desktop's mode (see DesktopRecord::Join).
    SDL_DisplayMode Take(SDL_Window* window, int display);
    // After the mode was chosen: the one this instance puts the display in.
    void Use(const SDL_DisplayMode& mode);
    // After SDL has put back its own idea of the desktop's mode (which is another instance's mode when
    // this one started while the other was full screen): the mode the display is to be in now.
    void PutBack(SDL_Window* window);
    // The window lost the focus: where SDL has taken the display out of this instance's mode for it
    // (it minimises a full-screen window then), the display goes to the mode of the instance that
    // holds it, else the desktop's.
    void StepAside(SDL_Window* window);
    // The window was minimised: this instance holds no mode until it is shown again.
    void Minimised();
    // The window has the focus again, and the display is in this instance's mode.
    void Resume();

private:
    DesktopRecord record_;
    SDL_DisplayMode mode_{};
    DisplayMode used_;
    bool known_ = false;
};

}  // namespace plat
