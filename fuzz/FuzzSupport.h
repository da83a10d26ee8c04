// The parts every fuzz target repeats: invariant checks that abort (so the fuzzer keeps the input),
// a scratch directory for parsers that read files, the input cut into a few parameters and a body, and
// the processor-time limit that tells a slow input.
#pragma once

#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "core/Exception.h"
#include "core/MemoryStream.h"

// A broken invariant is a finding like a crash: abort, naming the condition.
#define FUZZ_CHECK(condition)                                                                             \
    do {                                                                                                  \
        if (!(condition)) {                                                                               \
            std::fprintf(stderr, "fuzz: invariant broken: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
            std::abort();                                                                                 \
        }                                                                                                 \
    } while (0)

namespace fuzz {

// Leading bytes as small parameters, the rest as the body the parser reads.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    // The next byte, 0 once the input is used up.
    std::uint8_t Byte() {
        if (size_ == 0) return 0;
        --size_;
        return *data_++;
    }
    std::string Rest() {
        std::string rest(reinterpret_cast<const char*>(data_), size_);
        size_ = 0;
        return rest;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

inline std::unique_ptr<trivale::CMemoryStream> MemoryStream(const std::string& bytes) {
    auto stream = std::make_unique<trivale::CMemoryStream>();
    if (!bytes.empty()) stream->Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    stream->Seek(0);
    return stream;
}

// A directory of this process's own under the temporary directory; it lives as long as the process.
inline const std::string& ScratchDir() {
    static const std::string dir = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "tvfuzz-XXXXXX").string();
        if (!mkdtemp(&pattern[0])) std::abort();
        return pattern;
    }();
    return dir;
}

inline std::string WriteScratchFile(const std::string& name, const std::string& bytes) {
    const std::string path = ScratchDir() + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(f != nullptr);
    FUZZ_CHECK(std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size());
    std::fclose(f);
    return path;
}

// Runs the parse; false when it refused the input with the engine's own error. Anything else thrown
// (a bad_alloc from a huge allocation, a length_error) escapes and is a finding.
template <class F>
bool Parses(F parse) {
    try {
        parse();
        return true;
    } catch (const trivale::EException&) {
        return false;
    }
}

// Processor seconds an input may take before it is a finding: FUZZ_CPU_LIMIT (fuzz/run sets it per
// target), else 10, as when a finding is run again by hand.
inline double ProcessorTimeLimit() {
    const char* text = std::getenv("FUZZ_CPU_LIMIT");
    char* end = nullptr;
    const double seconds = text ? std::strtod(text, &end) : 0;
    return text && end != text && *end == '\0' && seconds > 0 && seconds <= 86400 ? seconds : 10;
}

// Armed while it lives: once the process has spent `seconds` of processor time more than when it was
// made, says so on stderr and aborts, so that libFuzzer keeps the input as it keeps a crash. The signal
// goes to the thread that made it, so the report's stack shows where that thread was. It runs around
// every input: the timer is made once a thread and only set and cleared for each, and the report is
// written out again only when the limit changes.
class ProcessorTimer {
public:
    explicit ProcessorTimer(double seconds) : timer_(ThreadTimer()) {
        if (seconds != g_reported) {
            std::snprintf(Message(), kMessageSize, "fuzz: processor-time limit of %g s passed by one input\n", seconds);
            g_reported = seconds;
        }
        struct itimerspec limit;
        std::memset(&limit, 0, sizeof limit);
        limit.it_value.tv_sec = static_cast<time_t>(seconds);
        limit.it_value.tv_nsec = static_cast<long>((seconds - static_cast<double>(limit.it_value.tv_sec)) * 1e9);
        if (limit.it_value.tv_sec == 0 && limit.it_value.tv_nsec == 0) limit.it_value.tv_nsec = 1;  // 0 disarms
        FUZZ_CHECK(timer_settime(timer_, 0, &limit, nullptr) == 0);
    }
    ~ProcessorTimer() {
        const struct itimerspec off = {};
        timer_settime(timer_, 0, &off, nullptr);
    }
    ProcessorTimer(const ProcessorTimer&) = delete;
    ProcessorTimer& operator=(const ProcessorTimer&) = delete;

private:
    static const std::size_t kMessageSize = 96;
    static inline double g_reported = 0;  // the limit Message() names
    // Written before the timer is armed, read only by the handler.
    static char* Message() {
        static char text[kMessageSize];
        return text;
    }
    static void Expired(int) {
        const ssize_t ignored = write(STDERR_FILENO, Message(), std::strlen(Message()));
        (void)ignored;
        std::abort();
    }
    // This thread's timer on the process's processor clock, made at its first input and kept for the
    // thread's life (a fuzz program runs its inputs on one thread); made again in a forked child, which
    // does not inherit it.
    static timer_t ThreadTimer() {
        static const bool installed = [] {
            struct sigaction action;
            std::memset(&action, 0, sizeof action);
            action.sa_handler = &ProcessorTimer::Expired;
            sigemptyset(&action.sa_mask);
            return sigaction(SIGXCPU, &action, nullptr) == 0;
        }();
        FUZZ_CHECK(installed);
        thread_local pid_t madeIn = 0;
        thread_local timer_t timer;
        if (madeIn != getpid()) {
            struct sigevent event;
            std::memset(&event, 0, sizeof event);
            event.sigev_notify = SIGEV_THREAD_ID;
            event.sigev_signo = SIGXCPU;
            event._sigev_un._tid = gettid();
            FUZZ_CHECK(timer_create(CLOCK_PROCESS_CPUTIME_ID, &event, &timer) == 0);
            madeIn = getpid();
        }
        return timer;
    }

    timer_t timer_;
};

// Runs one input and returns what `run` returns, under a processor-time limit (ProcessorTimer). An
// input is told slow by the work it does, not by the wall clock: on a loaded machine an ordinary input
// waits for a processor many times as long as it runs, and an input that only waits costs nothing.
template <class Run>
int WithinProcessorTime(double seconds, Run&& run) {
    const ProcessorTimer timer(seconds);
    return run();
}

}  // namespace fuzz
