// Ctrl+C (SIGINT), a session's or script's SIGTERM and a closed terminal's SIGHUP, caught from the
// program's first instant: the handler only notes the request, and whatever waits for the user (the
// configuration dialog, a message box, the show's message loop) reads the note and ends as its Cancel,
// OK or Escape would. A signal that comes while the toolkits start is not lost, and none ends the program
// half-way.
#pragma once

namespace plat {

// Installs the program's handlers for the three signals and lets them through where its starter held
// them back; the program calls it before anything else. A signal that the starter ignores (SIGHUP under
// nohup, SIGINT in a script's background job) stays ignored. The video layer keeps its own handlers off
// them (it installs one only where none is).
void CatchStopSignals();

// Whether a stop signal has come since CatchStopSignals. Safe from any thread.
bool StopRequested();

// Whether SIGINT was among them: a run stopped by Ctrl+C ends, once it has shut down, by SIGINT itself
// (EndBySignal), so that the shell that waits for it stops too (a script's loop, make).
bool InterruptRequested();

// Ends the process by the signal's default action, from any thread, without another step of its own: the
// parent sees the signal, not an exit code. The caller has flushed what it must.
[[noreturn]] void EndBySignal(int signal);

// The stops that have come, for the watch over a stop that is not honoured (platform/StopWatchdog.h):
// how many, the first and the last one's signal, and when the first came on StopClockNanoseconds'
// clock. Copies of one stop count once: within kCopyWindowSeconds of the stop's first signal, a signal of
// any of the three from a process that sent one of the stop's signals (timeout's, a service manager's, a
// process-group kill; a shell that closes with the run suspended sends SIGHUP and SIGTERM), and any
// SIGHUP (a hang-up comes from the terminal's shell and from the kernel). A key pressed at a terminal
// (sent by the kernel) is never a copy: a person's second Ctrl+C is a second stop however soon it comes.
struct StopSignalsSeen {
    int count = 0;
    int first = 0;
    int last = 0;
    long long firstAtNanoseconds = 0;
};
StopSignalsSeen SeenStopSignals();
long long StopClockNanoseconds();
extern const int kCopyWindowSeconds;

// The read end of a non-blocking pipe that gets a byte for each stop signal from the moment it is first
// asked for (made then, kept for the process's life); -1 when none could be made. WakeStopWaiters
// puts a byte in it too.
int StopWakeDescriptor();
void WakeStopWaiters();

// Forgets a request and the signals seen (tests that run several starts in one process).
void ClearStopRequest();

}  // namespace plat
