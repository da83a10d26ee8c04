// vellacor06: the benchmark program. Switches: /filesystem (data from "data/" beside the program
// instead of "data.tva"), /console (the log also on standard output), /oneshot (end after one run of
// the show), /loop (run the show again and again, the default).
#include "benchmark/Application.h"
#include "platform/System.h"

int main(int argc, char** argv) {
    plat::SetCommandLine(argc, argv);
    return RunProgram();
}
