// The Ogg Vorbis reader's open reads every page of a stream once to find its links, and must tell pages
// from things that only look like pages without keeping anything for each of them: a stream of a link
// and 40 MB of "OggS" followed by three zeros (each a thing claiming a page's header, none a page) is
// opened beside the same link and 40 MB of zeros, and the most heap memory the open holds at once is
// compared. The target: the false pages cost at most twice what the zeros cost. The open's wall time of
// each is printed, not judged.
// The verdict as every benchmark's (bench/Alternate.h): "met" or "missed", or "not measured" with the reason
// when there is no encoder or an open fails.
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "bench/Alternate.h"
#include "core/MemoryStream.h"
#include "devices/OggVorbisReader.h"
#include "tools/OggEncode.h"

namespace {

// Heap bytes the program's C++ allocations hold now, and the most since the last reset.
std::atomic<long long> g_held{0}, g_peak{0};

void Allocated(void* p) {
    const long long held = g_held += static_cast<long long>(malloc_usable_size(p));
    for (long long peak = g_peak; held > peak && !g_peak.compare_exchange_weak(peak, held);) {}
}

}  // namespace

void* operator new(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    Allocated(p);
    return p;
}

void operator delete(void* p) noexcept {
    if (p == nullptr) return;
    g_held -= static_cast<long long>(malloc_usable_size(p));
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

namespace {

// Ten seconds of a chord, loaded with the encoder at run time (the engine does not link it); empty, with
// the reason in `why`, when there is no encoder.
std::string Encode(std::string& why) {
    const tvtools::EncodeInitVbr init = tvtools::LoadEncodeInitVbr(why);
    if (init == nullptr) {
        why = "libvorbisenc is not available: " + why;
        return std::string();
    }
    return tvtools::EncodeOggWith(init, 2, 44100, 441000, {}, 0.4f, [](long i, int c) {
        const double t = static_cast<double>(i) / 44100;
        return static_cast<float>(0.3 * std::sin(2 * M_PI * (c == 0 ? 220 : 330) * t));
    });
}

struct Open {
    bool opened = false;
    std::string why;     // the open's error when it failed
    long long peak = 0;  // heap bytes held at most during the open, above what was held before it
    double ms = 0;
};

Open MeasureOpen(const std::string& bytes) {
    trivale::CMemoryStream stream;
    stream.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    stream.Seek(0);
    Open open;
    trivale::COggVorbisReader reader;
    const long long before = g_held;
    g_peak = before;
    const auto start = std::chrono::steady_clock::now();
    try {
        reader.Open(&stream);
        open.opened = true;
    } catch (const std::exception& e) {
        open.why = e.what();
    }
    open.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    open.peak = g_peak - before;
    return open;
}

constexpr const char* kTarget = "heap held at most, false pages / zeros (target: at most 2)";

}  // namespace

int main() {
    std::string why;
    const std::string link = Encode(why);
    if (link.empty()) {
        bench::Unmeasured(kTarget, why.empty() ? "the encoder made no stream" : why);
        return bench::Status();
    }
    constexpr std::size_t kFalsePages = 40000000 / 7;
    std::string falsePages, zeros(kFalsePages * 7, '\0');
    falsePages.reserve(zeros.size());
    for (std::size_t i = 0; i < kFalsePages; ++i) falsePages.append("OggS\0\0\0", 7);
    const Open plain = MeasureOpen(link + zeros);
    const Open junk = MeasureOpen(link + falsePages);
    if (!plain.opened || !junk.opened) {
        bench::Unmeasured(kTarget, std::string("the open of the stream with ") +
                                       (plain.opened ? "false pages" : "zeros") +
                                       " failed: " + (plain.opened ? junk.why : plain.why));
        return bench::Status();
    }
    std::printf(
        "open of a link and %zu bytes after it: zeros %.1f KiB held at most, %.1f ms; "
        "\"OggS\" and three zeros, again and again: %.1f KiB, %.1f ms\n",
        zeros.size(), static_cast<double>(plain.peak) / 1024, plain.ms, static_cast<double>(junk.peak) / 1024, junk.ms);
    const double ratio = static_cast<double>(junk.peak) / static_cast<double>(std::max(plain.peak, 1LL));
    char what[160];
    std::snprintf(what, sizeof what, "  heap held at most, false pages / zeros: %.2f (target: at most 2)", ratio);
    bench::Verdict(what, ratio <= 2.0);
    return bench::Status();
}
