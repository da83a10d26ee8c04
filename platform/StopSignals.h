// Ctrl+C (SIGINT) and a session's or script's SIGTERM, caught from the program's first instant: the
// handler only notes the request, and whatever waits for the user (the configuration dialog, a message
// box, the show's message loop) reads the note and ends as its Cancel, OK or Escape would. A signal
// that comes while the toolkits start is not lost, and none ends the program half-way.
#pragma once

namespace plat {

// Installs the program's handlers for both signals and lets them through where its starter held them
// back; the program calls it before anything else. A signal that the starter ignores stays ignored.
// The video layer keeps its own handlers off them (it installs one only where none is).
void CatchStopSignals();

// Whether either signal has come since CatchStopSignals. Safe from any thread.
bool StopRequested();

// The stops that have come, for the watch over a stop that is not honoured (platform/StopWatchdog.h):
// how many, the first and the last one's signal, and when the first came on StopClockNanoseconds'
// clock. Copies of one stop (the same signal within a quarter of a second of the first, as timeout or a
// process-group kill sends them) count once.
struct StopSignalsSeen {
    int count = 0;
    int first = 0;
    int last = 0;
    long long firstAtNanoseconds = 0;
};
StopSignalsSeen SeenStopSignals();
long long StopClockNanoseconds();

// The read end of a non-blocking pipe that gets a byte for each stop signal from the moment it is first
// asked for (made then, kept for the process's life); -1 when none could be made. WakeStopWaiters
// puts a byte in it too.
int StopWakeDescriptor();
void WakeStopWaiters();

// Forgets a request and the signals seen (tests that run several starts in one process).
void ClearStopRequest();

}  // namespace plat
