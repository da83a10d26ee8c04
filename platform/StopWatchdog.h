// The watch over a stop that is not honoured: a stuck decoder, driver or load never leaves a run that
// only kill -9 can end. Once a stop signal has come (platform/StopSignals.h), the run has its grace
// time to end on its own; a second stop signal ends it at once. Either way the watch reports it, puts
// the desktop's display mode back where the run changed it, and ends the process with 128 + the
// signal's number (130 for SIGINT, 143 for SIGTERM), as a shell tells a run ended by the signal. It
// touches nothing that the stuck thread may hold: no SDL call, no lock it may keep.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace plat {

enum class ForcedStop { NotHonoured, SecondSignal };

struct StopWatchdogOptions {
    std::chrono::milliseconds grace{3000};
    // How long the report and the mode's return may take before the process ends regardless.
    std::chrono::milliseconds cleanUpLimit{1500};
    // Given the line that says why the run ends; called from the watch's own thread.
    std::function<void(const std::string& line)> report;
    // Puts the display's mode back; called from the watch's own thread.
    std::function<void()> restoreDisplay;
    // Ends the process with the code (tests give their own; the default is _exit).
    std::function<void(int code)> end;
};

// "SIGINT", "SIGTERM", else "signal N".
std::string StopSignalName(int signal);
// The line for a forced end.
std::string ForcedStopLine(ForcedStop why, int signal, std::chrono::milliseconds grace);

class StopWatchdog {
public:
    // Starts watching; a stop signal that came before is counted from when it came.
    explicit StopWatchdog(StopWatchdogOptions options);
    // The run is ending on its own: the watch stands down (and waits for a forced end under way).
    ~StopWatchdog();
    StopWatchdog(const StopWatchdog&) = delete;
    StopWatchdog& operator=(const StopWatchdog&) = delete;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace plat
