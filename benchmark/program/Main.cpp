// vellacor06: the benchmark program. Switches: /filesystem (data from "data/" beside the program
// instead of "data.tva"), /console (the log also on standard output), /oneshot (end after one run of
// the show), /loop (run the show again and again, the default).
#include "benchmark/Application.h"
#include "platform/StopSignals.h"
#include "platform/System.h"

namespace {

// Sooner still: before the libraries' own start-up code (the sanitizers', the toolkits'), which takes a
// while on a loaded machine.
void CatchStopSignalsEarly(int, char**, char**) { plat::CatchStopSignals(); }
__attribute__((section(".preinit_array"), used)) void (*const kCatchStopSignalsEarly)(int, char**,
                                                                                      char**) = &CatchStopSignalsEarly;

}  // namespace

int main(int argc, char** argv) {
    // Before anything else: Ctrl+C in the first instant, while the toolkits start, is a Cancel too.
    plat::CatchStopSignals();
    plat::SetCommandLine(argc, argv);
    return RunProgram();
}
