// The watch over a stop that is not honoured: a stuck decoder, driver or load never leaves a run that
// only kill -9 can end. Once a stop signal has come (platform/StopSignals.h), the run has its grace
// time to end on its own, counted from its last step of progress (NoteStopProgress) and not counting
// the time it waited for a processor up to a bound after the stop: a shut-down that moves, however
// slowly, or that a loaded machine holds up, is left to end as a normal stop, one stuck in one place is
// not (a stuck thread that spins waits whenever it shares a processor). A second stop
// signal ends it at once. Either way the watch reports it, puts the desktop's display mode back where the
// run changed it (waiting for that while the display answers), and ends the process: by SIGINT itself
// after Ctrl+C (a shell's 130, and the script that waits stops too), else with 128 + the signal's number
// (143 for SIGTERM, 129 for SIGHUP). It touches nothing that the stuck thread may hold: no SDL call, no
// lock it may keep.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace plat {

enum class ForcedStop { NotHonoured, SecondSignal };

struct StopWatchdogOptions {
    std::chrono::milliseconds grace{3000};
    // The time the run waited for a processor lengthens the grace up to this long after the stop came;
    // past it the run is ended whatever held it up.
    std::chrono::milliseconds longestGrace{10000};
    // The longest time one of the run's threads has waited for a processor since the first call, in
    // nanoseconds: the grace counts only time the run could have used, so that a machine too loaded to
    // give the run a processor does not end it as stuck. Unset: the kernel's count for each thread.
    std::function<long long()> waitedForAProcessor;
    // Whether the display still answers, asked every `lookEvery` while the mode's return goes on: the
    // return is finished while it does (a process ended half-way through a change of mode can leave the
    // display with no mode at all), and given up at the first look that finds it does not. Unset: given
    // up at the first look.
    std::function<bool()> displayAnswers;
    std::chrono::milliseconds lookEvery{250};
    // Given the line that says why the run ends; called first, from the watch's own thread, before the
    // mode's return starts: it bounds its own time (the log waits for a stuck writer half a second at
    // most; a terminal that takes nothing more gets no copy).
    std::function<void(const std::string& line)> report;
    // Puts the display's mode back; called from the watch's own thread.
    std::function<void()> restoreDisplay;
    // Ends the process with the code (tests give their own; the default is _exit, or SIGINT itself).
    std::function<void(int code)> end;
};

// The run has moved on by a step (a frame, a load step, a shut-down step): a stop under way has its
// grace again from now. Cheap (a clock read); safe from any thread, though only the run's own steps
// should note it: a helper thread that goes on while the run is stuck is no progress of the run's.
void NoteStopProgress();

// The run's teardown is done and only its return is left: from here on it is never ended by force (a
// forced end that has begun already goes on).
void NoteRunEnding();

// Whether a forced end is under way: whatever else would end the process now (a lost display) waits
// for it, so that a stop ends with one code and one last line.
bool ForcedEndUnderWay();

// Asks the watch to end the run at once as a forced end does, from its own thread: the line reported
// (the log's last), the display's mode put back, the process ended with `code`. For a fault the run
// cannot go on from, found where nothing may be done about it (inside the display library's error
// handler). The first request counts; a run whose teardown is done is left alone. False when no watch
// runs to do it.
bool RequestEndNow(const std::string& line, int code);

// "SIGINT", "SIGTERM", "SIGHUP", else "signal N".
std::string StopSignalName(int signal);
// The line for a forced end; `waited`: the time the grace was lengthened by the run's waits for a
// processor.
std::string ForcedStopLine(ForcedStop why, int signal, std::chrono::milliseconds grace,
                           std::chrono::milliseconds waited = {});

class StopWatchdog {
public:
    // Starts watching; a stop signal that came before is counted from when it came.
    explicit StopWatchdog(StopWatchdogOptions options);
    // The run is ending on its own: the watch stands down, for good, unless a forced end has begun
    // already (its report is out then; the destructor waits for it to end the process).
    ~StopWatchdog();
    StopWatchdog(const StopWatchdog&) = delete;
    StopWatchdog& operator=(const StopWatchdog&) = delete;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace plat
