// A minute of Ogg Vorbis music: decoded and streamed through the streamed sound and the mixer, against
// a plain streamer doing the same job (a thread of its own decoding with plain ov_read into a ring of
// as many segments, woken as each is played, at the same pace), against decoding the same bytes with
// plain ov_read in one go, and through the engine's reader alone to tell where a difference lies; the
// four take turns in one run. And the mixer's own cost for one playing stream.
// The target is the worker's processor time against the plain streamer's thread's: both pay for a
// thread woken a few hundred times a minute, so only the streamer against a plain streamer tells what
// the engine adds. A loaded machine makes those wake-ups (cold caches, a lock the mixer holds while it
// is descheduled) dearer by a share that changes from run to run, so the sides are compared by their
// lower deciles over the repetitions, the work's cost when the machine ran it at full speed; the
// median of the pairs' ratios is printed beside it, and the ratio to the one-go decode, not judged.
#include <benchmark/benchmark.h>

#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <vorbis/codec.h>
#include <vorbis/vorbisfile.h>

#include "bench/Alternate.h"
#include "core/MemoryStream.h"
#include "devices/DXSound.h"
#include "devices/OggVorbisReader.h"
#include "devices/StreamingSound.h"
#include "platform/Sound.h"
#include "tools/OggEncode.h"

using namespace trivale;

namespace {

constexpr long kRate = 44100;
constexpr int kChannels = 2;
constexpr long kSeconds = 60;
constexpr size_t kBlock = 1024;  // frames per render, as the audio callback asks for them

// The encoder's set-up call lives in libvorbisenc, which the engine does not link; it is loaded here
// at run time so the music can be made in memory.
std::string EncodeMinute() {
    void* lib = dlopen("libvorbisenc.so.2", RTLD_NOW);
    if (lib == nullptr) lib = dlopen("libvorbisenc.so", RTLD_NOW);
    auto init = lib ? reinterpret_cast<tvtools::EncodeInitVbr>(dlsym(lib, "vorbis_encode_init_vbr")) : nullptr;
    if (init == nullptr) {
        std::fprintf(stderr, "libvorbisenc is not available: %s\n", dlerror());
        return std::string();
    }
    uint32_t noise = 1;
    double chord = 0;
    const std::string out =
        tvtools::EncodeOggWith(init, kChannels, kRate, kRate * kSeconds, {"TITLE=bench"}, 0.5f, [&](long i, int c) {
            // A chord with a slow tremolo, and noise that fills the spectrum the way recorded music
            // does, so the bit rate is a music one.
            const double t = static_cast<double>(i) / kRate;
            if (c == 0) {
                const double env = 0.6 + 0.4 * std::sin(2 * M_PI * 0.5 * t);
                chord = 0.25 * env *
                        (std::sin(2 * M_PI * 220 * t) + 0.5 * std::sin(2 * M_PI * 277.2 * t) +
                         0.3 * std::sin(2 * M_PI * 329.6 * t) + 0.1 * std::sin(2 * M_PI * 3520 * t));
            }
            noise = noise * 1664525u + 1013904223u;
            const double hiss = (static_cast<double>(noise >> 8) / 16777216.0 - 0.5) * 0.15;
            return static_cast<float>((c == 0 ? chord : chord * std::cos(2 * M_PI * 0.1 * t)) + hiss);
        });
    dlclose(lib);
    return out;
}

const std::string& Music() {
    static const std::string music = EncodeMinute();
    return music;
}

// ---- plain vorbisfile over a memory buffer ----

struct MemSource {
    const std::string* bytes;
    size_t pos;
};

size_t MemRead(void* p, size_t size, size_t count, void* src) {
    auto* m = static_cast<MemSource*>(src);
    const size_t n = std::min(size * count, m->bytes->size() - m->pos);
    std::memcpy(p, m->bytes->data() + m->pos, n);
    m->pos += n;
    return size ? n / size : 0;
}

int MemSeek(void* src, ogg_int64_t off, int whence) {
    auto* m = static_cast<MemSource*>(src);
    const int64_t base = whence == SEEK_CUR   ? static_cast<int64_t>(m->pos)
                         : whence == SEEK_END ? static_cast<int64_t>(m->bytes->size())
                                              : 0;
    m->pos = static_cast<size_t>(std::clamp<int64_t>(base + off, 0, static_cast<int64_t>(m->bytes->size())));
    return 0;
}

long MemTell(void* src) { return static_cast<long>(static_cast<MemSource*>(src)->pos); }

// Lets the bench wait for the worker after each block, as the tests do.
class CBenchStreamingSound : public CStreamingSound {
public:
    using CStreamingSound::CStreamingSound;
    void WaitIdle() {
        if (events_) events_->WaitIdle(std::chrono::seconds(60));
    }
};

// Processor time of one decode of the minute with plain ov_read into a small buffer.
double PlainOvRead() {
    std::vector<char> buf(4096);
    const double c0 = bench::ThreadCpuSeconds();
    MemSource src{&Music(), 0};
    OggVorbis_File vf;
    const ov_callbacks cb = {&MemRead, &MemSeek, nullptr, &MemTell};
    ov_open_callbacks(&src, &vf, nullptr, 0, cb);
    size_t total = 0;
    int section = 0;
    for (;;) {
        const long n = ov_read(&vf, buf.data(), static_cast<int>(buf.size()), 0, 2, 1, &section);
        if (n <= 0) break;
        total += static_cast<size_t>(n);
    }
    ov_clear(&vf);
    benchmark::DoNotOptimize(total);
    return bench::ThreadCpuSeconds() - c0;
}

// The plain streamer: the bytes opened with plain vorbisfile on this thread, then a thread of its own
// fills a ring of segments with ov_read, all of them first, then each one as soon as it has been
// played; this thread plays the ring a block at a time (copying it out, as a mixer reads a buffer) and
// waits for the filler every 20 blocks, as the streamed run does. Returns the filler's processor time.
double PlainStreamed() {
    constexpr uint32_t kSegments = CStreamingSound::kSegments;
    constexpr uint32_t kFrameBytes = kChannels * 2;
    // The streamed sound's ring: two seconds in whole blocks per segment.
    constexpr uint32_t kChunk = kFrameBytes * kSegments;
    constexpr uint32_t kRing = (kRate * kFrameBytes / kChunk) * kChunk * 2;
    constexpr uint32_t kSegment = kRing / kSegments;
    std::vector<char> ring(kRing);
    MemSource src{&Music(), 0};
    OggVorbis_File vf;
    const ov_callbacks cb = {&MemRead, &MemSeek, nullptr, &MemTell};
    ov_open_callbacks(&src, &vf, nullptr, 0, cb);

    std::mutex lock;
    std::condition_variable wake, idle;
    uint32_t pending = kSegments;  // segments played and not yet refilled
    bool quit = false, ended = false;
    uint64_t delivered = 0;
    double fillerCpu = 0;
    std::thread filler([&] {
        const double c0 = bench::ThreadCpuSeconds();
        uint32_t write = 0;
        std::unique_lock<std::mutex> hold(lock);
        for (;;) {
            wake.wait(hold, [&] { return pending > 0 || quit; });
            if (quit) break;
            const bool done = ended;
            hold.unlock();
            char* p = &ring[write];
            uint32_t got = 0;
            int section = 0;
            while (!done && got < kSegment) {
                const long n = ov_read(&vf, p + got, static_cast<int>(kSegment - got), 0, 2, 1, &section);
                if (n <= 0) break;
                got += static_cast<uint32_t>(n);
            }
            std::memset(p + got, 0, kSegment - got);
            write = (write + kSegment) % kRing;
            hold.lock();
            delivered += got;
            if (got < kSegment) ended = true;
            if (--pending == 0) idle.notify_all();
        }
        fillerCpu = bench::ThreadCpuSeconds() - c0;
    });
    auto waitIdle = [&] {
        std::unique_lock<std::mutex> hold(lock);
        idle.wait(hold, [&] { return pending == 0; });
    };
    wake.notify_one();
    waitIdle();
    std::vector<char> out(kBlock * kFrameBytes);
    uint64_t played = 0;
    uint32_t read = 0;
    for (size_t blocks = 1;; ++blocks) {
        // One block out of the ring, in one or two pieces.
        const uint32_t first = std::min<uint32_t>(static_cast<uint32_t>(out.size()), kRing - read);
        std::memcpy(out.data(), &ring[read], first);
        std::memcpy(out.data() + first, ring.data(), out.size() - first);
        const uint32_t before = read / kSegment;
        read = static_cast<uint32_t>((read + out.size()) % kRing);
        played += out.size();
        if (read / kSegment != before) {
            std::lock_guard<std::mutex> hold(lock);
            ++pending;
            wake.notify_one();
        }
        benchmark::DoNotOptimize(out.data());
        bool over = false;
        {
            std::lock_guard<std::mutex> hold(lock);
            over = ended && played >= delivered;
        }
        if (over) break;
        if (blocks % 20 == 0) waitIdle();
    }
    waitIdle();
    {
        std::lock_guard<std::mutex> hold(lock);
        quit = true;
    }
    wake.notify_one();
    filler.join();
    ov_clear(&vf);
    return fillerCpu;
}

// The engine's reader alone, on this thread, reading a segment at a time as the worker does: what the
// reader adds to ov_read (its header check, its stream callbacks) apart from the worker and the buffer.
double ReaderAlone() {
    std::vector<char> segment(22048);
    const double c0 = bench::ThreadCpuSeconds();
    CMemoryStream stream;
    stream.Write(Music().data(), static_cast<uint32_t>(Music().size()));
    stream.Seek(0);
    COggVorbisReader reader;
    reader.Open(&stream);
    size_t total = 0;
    for (uint32_t n; (n = reader.Read(segment.data(), static_cast<uint32_t>(segment.size()))) > 0;) total += n;
    benchmark::DoNotOptimize(total);
    return bench::ThreadCpuSeconds() - c0;
}

struct Streamed {
    double worker = 0, all = 0, wall = 0;
};

// The minute played through the streamed sound and rendered by the mixer on this thread. The worker's
// time is the process's less this thread's.
Streamed StreamedSound(CDXSound& device) {
    plat::Mixer& mixer = device.GetDirectSound()->GetMixer();
    std::vector<int16_t> out(kBlock * 2);
    const auto t0 = std::chrono::steady_clock::now();
    const double c0 = bench::ProcessCpuSeconds();
    const double m0 = bench::ThreadCpuSeconds();
    {
        CMemoryStream stream;
        stream.Write(Music().data(), static_cast<uint32_t>(Music().size()));
        stream.Seek(0);
        CBenchStreamingSound sound(plat::kBufferCtrlVolume);
        sound.Create(&device, stream);
        sound.Play();
        sound.WaitIdle();
        size_t blocks = 0;
        while (sound.IsPlaying()) {
            mixer.Render(out.data(), kBlock);
            // The worker has 15 segments of slack: letting it fall up to four behind lets it refill
            // several at a wake-up, as it would under a busy audio thread.
            if (++blocks % 20 == 0) sound.WaitIdle();
        }
        sound.WaitIdle();
        benchmark::DoNotOptimize(blocks);
    }
    Streamed s;
    const double main = bench::ThreadCpuSeconds() - m0;
    s.all = bench::ProcessCpuSeconds() - c0;
    s.worker = s.all - main;
    s.wall = bench::Seconds(std::chrono::steady_clock::now() - t0);
    return s;
}

constexpr int kRepetitions = 31;
std::vector<double> g_plain, g_reader, g_worker, g_all, g_wall, g_plainStreamed;

// The four take turns, each repetition starting with the next one.
void BM_PlainReaderStreamed(benchmark::State& state) {
    if (Music().empty()) {
        state.SkipWithError("no encoder");
        return;
    }
    plat::SoundTestOptions o;
    o.manualOutput = true;
    plat::SetSoundTestOptions(o);
    {
        CDXSound device;
        device.Initialize();
        StreamedSound(device);  // warms the caches and the allocator for every side
        int turn = 0;
        for (auto _ : state) {
            for (int k = 0; k < 4; ++k) {
                switch ((turn + k) % 4) {
                case 0:
                    g_plain.push_back(PlainOvRead());
                    break;
                case 3:
                    g_plainStreamed.push_back(PlainStreamed());
                    break;
                case 1:
                    g_reader.push_back(ReaderAlone());
                    break;
                default: {
                    const Streamed s = StreamedSound(device);
                    g_worker.push_back(s.worker);
                    g_all.push_back(s.all);
                    g_wall.push_back(s.wall);
                }
                }
            }
            ++turn;
        }
    }
    plat::SetSoundTestOptions(plat::SoundTestOptions());
}
BENCHMARK(BM_PlainReaderStreamed)->Unit(benchmark::kMillisecond)->Iterations(kRepetitions)->UseRealTime();

std::vector<double> g_mix;

void BM_MixerOneStream(benchmark::State& state) {
    plat::SoundTestOptions o;
    o.manualOutput = true;
    plat::SetSoundTestOptions(o);
    std::unique_ptr<plat::SoundDevice> device;
    plat::SoundDevice::Create(&device);
    plat::WaveFormat f;
    f.formatTag = plat::kWaveFormatPcm;
    f.channels = 2;
    f.samplesPerSec = 44100;
    f.bitsPerSample = 16;
    f.blockAlign = 4;
    f.avgBytesPerSec = 176400;
    plat::SoundBufferDesc d;
    d.flags = plat::kBufferCtrlVolume | plat::kBufferCtrlPositionNotify;
    d.bytes = 352768;
    d.format = &f;
    std::unique_ptr<plat::SoundBuffer> buffer;
    device->CreateBuffer(d, &buffer);
    void* p = nullptr;
    uint32_t n = 0;
    buffer->Lock(0, d.bytes, &p, &n, nullptr, nullptr, 0);
    auto* s = static_cast<int16_t*>(p);
    for (uint32_t i = 0; i < n / 2; ++i) s[i] = static_cast<int16_t>(i * 37);
    buffer->Unlock(p, n, nullptr, 0);
    buffer->SetVolume(-300);
    auto events = std::make_shared<plat::EventGroup>(17);
    std::vector<plat::SoundNotification> notes;
    for (unsigned i = 0; i < 16; ++i) notes.push_back({22048 * (i + 1) - 1, events, i});
    buffer->SetNotifications(notes);
    buffer->Play(plat::kPlayLooping);
    std::vector<int16_t> out(kBlock * 2);
    const size_t blocks = static_cast<size_t>(kRate * kSeconds) / kBlock;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        for (size_t b = 0; b < blocks; ++b) {
            device->GetMixer().Render(out.data(), kBlock);
            events->ResetAll();
        }
        benchmark::DoNotOptimize(out.data());
        g_mix.push_back(bench::Seconds(std::chrono::steady_clock::now() - t0));
    }
    plat::SetSoundTestOptions(plat::SoundTestOptions());
}
BENCHMARK(BM_MixerOneStream)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (!g_plain.empty() && !g_worker.empty()) {
        std::printf(
            "one minute of Ogg Vorbis (%zu bytes), processor time over %zu alternated repetitions, ms: "
            "median (min, max)\n",
            Music().size(), g_plain.size());
        std::printf("  plain ov_read:                              %s\n", bench::Show(g_plain, 1e3, 1).c_str());
        std::printf("  plain streamer's thread (decode and fill):  %s\n", bench::Show(g_plainStreamed, 1e3, 1).c_str());
        std::printf("  the engine's reader alone, by segments:     %s\n", bench::Show(g_reader, 1e3, 1).c_str());
        std::printf("  streamed sound's worker (decode and fill):  %s\n", bench::Show(g_worker, 1e3, 1).c_str());
        std::printf("  whole process, the mixing included:         %s\n", bench::Show(g_all, 1e3, 1).c_str());
        std::printf("  (wall time of the streamed run: %s)\n", bench::Show(g_wall, 1e3, 1).c_str());
        std::printf("reader alone / plain ov_read: %s\n", bench::Show(bench::Ratios(g_reader, g_plain), 1, 3).c_str());
        std::printf("with the mixer's thread / plain ov_read: %s\n",
                    bench::Show(bench::Ratios(g_all, g_plain), 1, 3).c_str());
        std::printf("plain streamer / plain ov_read (what a thread woken by segments costs): %s\n",
                    bench::Show(bench::Ratios(g_plainStreamed, g_plain), 1, 3).c_str());
        std::printf("streamed worker / plain ov_read: %s (not judged: the wake-ups' cost follows the load)\n",
                    bench::Show(bench::Ratios(g_worker, g_plain), 1, 3).c_str());
        std::printf(
            "streamed worker / plain streamer, median of the pairs' ratios (not judged: follows the load): %s\n",
            bench::ShowInterval(bench::MedianInterval(bench::Ratios(g_worker, g_plainStreamed))).c_str());
        const double worker = bench::Quantile(g_worker, 0.1), plain = bench::Quantile(g_plainStreamed, 0.1);
        char what[256];
        std::snprintf(what, sizeof what,
                      "streamed worker / plain streamer, lower deciles of processor time (%.1f / %.1f ms): %.3f, "
                      "target within 1.1",
                      worker * 1e3, plain * 1e3, worker / plain);
        bench::Verdict(what, worker <= 1.1 * plain);
    }
    if (!g_mix.empty()) {
        const bench::Spread mix = bench::SpreadOf(g_mix);
        std::printf(
            "mixer, one 44.1 kHz stereo stream (its own cost, no plain side): %s ms per minute of sound = "
            "%.4f%% of one core\n",
            bench::Show(mix, 1e3, 2).c_str(), 100.0 * mix.median / kSeconds);
    }
    return 0;
}
