// vellacor06: the benchmark program. Switches: /filesystem (data from "data/" beside the program
// instead of "data.tva"), /console (the log also on standard output), /oneshot (end after one run of
// the show), /loop (run the show again and again, the default).
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>

#include "benchmark/Application.h"
#include "core/Log.h"
#include "platform/Printable.h"
#include "platform/StopSignals.h"
#include "platform/StopWatchdog.h"
#include "platform/System.h"
#include "platform/Window.h"

namespace {

// Sooner still: before the libraries' own start-up code (the sanitizers', the toolkits'), which takes a
// while on a loaded machine.
void CatchStopSignalsEarly(int, char**, char**) { plat::CatchStopSignals(); }
__attribute__((section(".preinit_array"), used)) void (*const kCatchStopSignalsEarly)(int, char**,
                                                                                      char**) = &CatchStopSignalsEarly;

// A stop that the run does not honour in time ends it anyway: the log and the terminal say so. A
// terminal that takes nothing more now (a full pipe, output held with Ctrl+S) gets no copy: the log has
// the line, and the end must not wait.
void ReportForcedStop(const std::string& line) {
    trivale::WriteLastLogLineFromAnyThread("ERROR: ", line);
    const std::string told = plat::Printable(line) + "\n";
    pollfd terminal{STDERR_FILENO, POLLOUT, 0};
    if (poll(&terminal, 1, 0) == 1 && (terminal.revents & POLLOUT) != 0)
        (void)!write(STDERR_FILENO, told.data(), told.size());
}

}  // namespace

int main(int argc, char** argv) {
    // Before anything else: Ctrl+C in the first instant, while the toolkits start, is a Cancel too.
    plat::CatchStopSignals();
    plat::StopWatchdogOptions watch;
    watch.report = &ReportForcedStop;
    watch.restoreDisplay = [] { plat::PutBackDesktopModeFromAnyThread(); };
    watch.displayAnswers = &plat::DisplayAnswers;
    const plat::StopWatchdog watchdog(watch);
    plat::SetCommandLine(argc, argv);
    const int code = RunProgram();
    // A run stopped by Ctrl+C has shut down (its log closed, the display's mode back) and ends by SIGINT
    // itself: a shell stops the script or loop that ran it only for a program that did.
    if (plat::InterruptRequested()) {
        std::fflush(nullptr);
        plat::EndBySignal(SIGINT);
    }
    return code;
}
