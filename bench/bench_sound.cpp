// A minute of Ogg Vorbis music: decoded and streamed through the streamed sound and the mixer, against
// decoding the same bytes with plain ov_read; and the mixer's own cost for one playing stream.
#include <benchmark/benchmark.h>

#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <vorbis/codec.h>
#include <vorbis/vorbisfile.h>

#include "core/MemoryStream.h"
#include "devices/DXSound.h"
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

// Processor time of every thread of the process: the streamed sound decodes on its own worker.
double ProcessCpuSeconds() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double ThreadCpuSeconds() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double g_plainSeconds = std::numeric_limits<double>::max();
double g_workerSeconds = std::numeric_limits<double>::max();
double g_streamSeconds = std::numeric_limits<double>::max();
double g_streamWallSeconds = std::numeric_limits<double>::max();
double g_mixSeconds = std::numeric_limits<double>::max();

void BM_PlainOvRead(benchmark::State& state) {
    if (Music().empty()) {
        state.SkipWithError("no encoder");
        return;
    }
    std::vector<char> buf(4096);
    for (auto _ : state) {
        const double c0 = ProcessCpuSeconds();
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
        g_plainSeconds = std::min(g_plainSeconds, ProcessCpuSeconds() - c0);
    }
}
BENCHMARK(BM_PlainOvRead)->Unit(benchmark::kMillisecond)->Iterations(10);

// Lets the bench wait for the worker after each block, as the tests do.
class CBenchStreamingSound : public CStreamingSound {
public:
    using CStreamingSound::CStreamingSound;
    void WaitIdle() {
        if (events_) events_->WaitIdle(std::chrono::seconds(60));
    }
};

void BM_StreamedSound(benchmark::State& state) {
    if (Music().empty()) {
        state.SkipWithError("no encoder");
        return;
    }
    plat::SoundTestOptions o;
    o.manualOutput = true;
    plat::SetSoundTestOptions(o);
    CDXSound device;
    device.Initialize();
    plat::Mixer& mixer = device.GetDirectSound()->GetMixer();
    std::vector<int16_t> out(kBlock * 2);
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        const double c0 = ProcessCpuSeconds();
        const double m0 = ThreadCpuSeconds();
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
        const double main = ThreadCpuSeconds() - m0;
        const double all = ProcessCpuSeconds() - c0;
        g_streamSeconds = std::min(g_streamSeconds, all);
        g_workerSeconds = std::min(g_workerSeconds, all - main);
        g_streamWallSeconds =
            std::min(g_streamWallSeconds, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    plat::SetSoundTestOptions(plat::SoundTestOptions());
}
BENCHMARK(BM_StreamedSound)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

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
        g_mixSeconds =
            std::min(g_mixSeconds, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    plat::SetSoundTestOptions(plat::SoundTestOptions());
}
BENCHMARK(BM_MixerOneStream)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_plainSeconds < 1e300 && g_streamSeconds < 1e300) {
        std::printf(
            "one minute of Ogg Vorbis (%zu bytes), processor time: plain ov_read %.1f ms; streamed sound's "
            "worker (decoding and filling the buffer) %.1f ms; whole process with the mixing %.1f ms\n",
            Music().size(), g_plainSeconds * 1e3, g_workerSeconds * 1e3, g_streamSeconds * 1e3);
        std::printf("streamed / plain ratio: %.3f (target: within 1.1); with the mixer's thread: %.3f\n",
                    g_workerSeconds / g_plainSeconds, g_streamSeconds / g_plainSeconds);
        std::printf("(wall time of the streamed run, the rendering thread waiting on the worker: %.1f ms)\n",
                    g_streamWallSeconds * 1e3);
    }
    if (g_mixSeconds < 1e300)
        std::printf("mixer, one 44.1 kHz stereo stream: %.2f ms per minute of sound = %.4f%% of one core\n",
                    g_mixSeconds * 1e3, 100.0 * g_mixSeconds / kSeconds);
    return 0;
}
