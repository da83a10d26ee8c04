// A minute of Ogg Vorbis music: decoded and streamed through the streamed sound and the mixer, against
// a plain streamer doing the same job (a thread of its own decoding with plain ov_read into a ring of
// as many segments, woken as each is played, at the same pace), against decoding the same bytes with
// plain ov_read in one go, and through the engine's reader alone to tell where a difference lies; the
// four take turns in one run. And the mixer's own cost for one playing stream.
// The target is the worker's processor time against the plain streamer's thread's: both pay for a
// thread woken a few hundred times a minute, which a loaded machine makes dearer by a share that
// changes from run to run, so only the streamer against a plain streamer tells what the engine adds.
// A minute played by one and then by the other sees the machine change between them, so for the target
// the two play the minute at once, block for block, their threads side by side, over many runs, and
// the worker's floor over the plain streamer's is judged (see Alternate.h). Each buffer call the
// worker makes for a segment takes the voice's lock, which the mixer takes for every block it renders,
// where the plain streamer takes one lock of its own twice, so the worker's share grows with the load.
// The ratios to the one-go decode are printed, not judged.
// The reader's open (which reads every page, to find where each link begins) against vorbisfile's own
// open of the same bytes, for the minute and for the data set's music when it lies beside the program;
// printed, not judged.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <vorbis/codec.h>
#include <vorbis/vorbisfile.h>

#include "bench/Alternate.h"
#include "core/FileStream.h"
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
std::string Encode(long seconds) {
    std::string why;
    const tvtools::EncodeInitVbr init = tvtools::LoadEncodeInitVbr(why);
    if (init == nullptr) {
        std::fprintf(stderr, "libvorbisenc is not available: %s\n", why.c_str());
        return std::string();
    }
    uint32_t noise = 1;
    double chord = 0;
    const std::string out =
        tvtools::EncodeOggWith(init, kChannels, kRate, kRate * seconds, {"TITLE=bench"}, 0.5f, [&](long i, int c) {
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
    return out;
}

const std::string& Music() {
    static const std::string music = Encode(kSeconds);
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

// The plain streamer: the bytes opened with plain vorbisfile on the calling thread, then a thread of its
// own fills a ring of segments with ov_read, all of them first, then each one as soon as it has been
// played. The caller plays the ring a block at a time (copying it out, as a mixer reads a buffer) and
// waits for the filler every 20 blocks, as the streamed run does.
class PlainStreamer {
public:
    explicit PlainStreamer(const std::string& music) : ring_(kRing), src_{&music, 0} {
        const ov_callbacks cb = {&MemRead, &MemSeek, nullptr, &MemTell};
        ov_open_callbacks(&src_, &vf_, nullptr, 0, cb);
        filler_ = std::thread([this] { Fill(); });
        WaitIdle();  // the whole ring filled before it plays
    }
    ~PlainStreamer() {
        {
            std::lock_guard<std::mutex> hold(lock_);
            quit_ = true;
        }
        wake_.notify_one();
        filler_.join();
        ov_clear(&vf_);
    }
    // One block out of the ring, in one or two pieces; false once everything delivered has been played.
    bool Block() {
        const uint32_t first = std::min<uint32_t>(static_cast<uint32_t>(out_.size()), kRing - read_);
        std::memcpy(out_.data(), &ring_[read_], first);
        std::memcpy(out_.data() + first, ring_.data(), out_.size() - first);
        const uint32_t before = read_ / kSegment;
        read_ = static_cast<uint32_t>((read_ + out_.size()) % kRing);
        played_ += out_.size();
        benchmark::DoNotOptimize(out_.data());
        std::lock_guard<std::mutex> hold(lock_);
        if (read_ / kSegment != before) {
            ++pending_;
            wake_.notify_one();
        }
        return !(ended_ && played_ >= delivered_);
    }
    void WaitIdle() {
        std::unique_lock<std::mutex> hold(lock_);
        idle_.wait(hold, [this] { return pending_ == 0; });
    }
    // The filler's processor time so far; exact once it is idle.
    double FillerCpu() {
        std::lock_guard<std::mutex> hold(lock_);
        return fillerCpu_;
    }

private:
    static constexpr uint32_t kSegments = CStreamingSound::kSegments;
    static constexpr uint32_t kFrameBytes = kChannels * 2;
    // The streamed sound's ring: two seconds in whole blocks per segment.
    static constexpr uint32_t kChunk = kFrameBytes * kSegments;
    static constexpr uint32_t kRing = (kRate * kFrameBytes / kChunk) * kChunk * 2;
    static constexpr uint32_t kSegment = kRing / kSegments;

    void Fill() {
        const double c0 = bench::ThreadCpuSeconds();
        uint32_t write = 0;
        std::unique_lock<std::mutex> hold(lock_);
        while (!quit_) {
            if (pending_ == 0) {
                fillerCpu_ = bench::ThreadCpuSeconds() - c0;
                wake_.wait(hold, [this] { return pending_ > 0 || quit_; });
                continue;
            }
            const bool done = ended_;
            hold.unlock();
            char* p = &ring_[write];
            uint32_t got = 0;
            int section = 0;
            while (!done && got < kSegment) {
                const long n = ov_read(&vf_, p + got, static_cast<int>(kSegment - got), 0, 2, 1, &section);
                if (n <= 0) break;
                got += static_cast<uint32_t>(n);
            }
            std::memset(p + got, 0, kSegment - got);
            write = (write + kSegment) % kRing;
            hold.lock();
            delivered_ += got;
            if (got < kSegment) ended_ = true;
            if (--pending_ == 0) {
                fillerCpu_ = bench::ThreadCpuSeconds() - c0;
                idle_.notify_all();
            }
        }
    }

    std::vector<char> ring_;
    std::vector<char> out_ = std::vector<char>(kBlock * kFrameBytes);
    MemSource src_;
    OggVorbis_File vf_{};
    std::thread filler_;
    std::mutex lock_;
    std::condition_variable wake_, idle_;
    uint32_t pending_ = kSegments;  // segments played and not yet refilled
    bool quit_ = false, ended_ = false;
    uint64_t delivered_ = 0, played_ = 0;
    uint32_t read_ = 0;
    double fillerCpu_ = 0;
};

// The music through the plain streamer alone; returns the filler's processor time.
double PlainStreamed(const std::string& music) {
    PlainStreamer plain(music);
    for (size_t blocks = 1; plain.Block(); ++blocks)
        if (blocks % 20 == 0) plain.WaitIdle();
    plain.WaitIdle();
    return plain.FillerCpu();
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

// The music played through the streamed sound and rendered by the mixer on this thread. The worker's
// time is the process's less this thread's.
Streamed StreamedSound(CDXSound& device, const std::string& music) {
    plat::Mixer& mixer = device.GetDirectSound()->GetMixer();
    std::vector<int16_t> out(kBlock * 2);
    const auto t0 = std::chrono::steady_clock::now();
    const double c0 = bench::ProcessCpuSeconds();
    const double m0 = bench::ThreadCpuSeconds();
    {
        CMemoryStream stream;
        stream.Write(music.data(), static_cast<uint32_t>(music.size()));
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

// The music through the streamed sound and the plain streamer at once, block for block, each waited
// for every 20 blocks: their threads run side by side and see one state of the machine. The worker's
// processor time is the process's less this thread's and the plain filler's.
struct Pair {
    double worker = 0, plain = 0;
};
Pair Together(CDXSound& device, const std::string& music) {
    plat::Mixer& mixer = device.GetDirectSound()->GetMixer();
    std::vector<int16_t> out(kBlock * 2);
    Pair p;
    const double c0 = bench::ProcessCpuSeconds();
    const double m0 = bench::ThreadCpuSeconds();
    {
        PlainStreamer plain(music);
        CMemoryStream stream;
        stream.Write(music.data(), static_cast<uint32_t>(music.size()));
        stream.Seek(0);
        CBenchStreamingSound sound(plat::kBufferCtrlVolume);
        sound.Create(&device, stream);
        sound.Play();
        sound.WaitIdle();
        bool plainPlays = true;
        for (size_t blocks = 1; sound.IsPlaying() || plainPlays; ++blocks) {
            if (sound.IsPlaying()) mixer.Render(out.data(), kBlock);
            if (plainPlays) plainPlays = plain.Block();
            if (blocks % 20 == 0) {
                sound.WaitIdle();
                plain.WaitIdle();
            }
        }
        sound.WaitIdle();
        plain.WaitIdle();
        p.plain = plain.FillerCpu();
    }
    p.worker = bench::ProcessCpuSeconds() - c0 - (bench::ThreadCpuSeconds() - m0) - p.plain;
    return p;
}

constexpr int kRepetitions = 11;
constexpr int kTogether = 40;
std::vector<double> g_plain, g_reader, g_worker, g_all, g_wall, g_plainStreamed;
std::vector<double> g_togetherWorker, g_togetherPlain;
// Streamed worker over plain streamer, floor over floor: 1.093, 1.085, 1.033 and 1.029 in four runs, idle
// (load 3-4) and beside 4, 8 and 16 busy loops (loads 6-25, 23-29, 17-29); with the worker decoding every
// segment twice (a second reader over the same music), 2.069 idle and 2.013 beside 16 busy loops. The
// bound lies between.
constexpr double kTogetherBound = 1.45;

// Runs `body` on a sound device whose mixer the benchmark drives itself, with the encoded minute at hand.
template <class Body>
void OnManualDevice(benchmark::State& state, Body body) {
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
        body(device);
    }
    plat::SetSoundTestOptions(plat::SoundTestOptions());
}

// The four take turns, each repetition starting with the next one.
void BM_PlainReaderStreamed(benchmark::State& state) {
    OnManualDevice(state, [&](CDXSound& device) {
        StreamedSound(device, Music());  // warms the caches and the allocator for every side
        int turn = 0;
        for (auto _ : state) {
            for (int k = 0; k < 4; ++k) {
                switch ((turn + k) % 4) {
                case 0:
                    g_plain.push_back(PlainOvRead());
                    break;
                case 3:
                    g_plainStreamed.push_back(PlainStreamed(Music()));
                    break;
                case 1:
                    g_reader.push_back(ReaderAlone());
                    break;
                default: {
                    const Streamed s = StreamedSound(device, Music());
                    g_worker.push_back(s.worker);
                    g_all.push_back(s.all);
                    g_wall.push_back(s.wall);
                }
                }
            }
            ++turn;
        }
    });
}
BENCHMARK(BM_PlainReaderStreamed)->Unit(benchmark::kMillisecond)->Iterations(kRepetitions)->UseRealTime();

// The judged runs: the minute through both streamers at once.
void BM_StreamersTogether(benchmark::State& state) {
    OnManualDevice(state, [&](CDXSound& device) {
        Together(device, Music());
        for (auto _ : state) {
            const Pair p = Together(device, Music());
            g_togetherWorker.push_back(p.worker);
            g_togetherPlain.push_back(p.plain);
        }
    });
}
BENCHMARK(BM_StreamersTogether)->Unit(benchmark::kMillisecond)->Iterations(kTogether)->UseRealTime();

std::vector<double> g_mix;

// Each file's open through the reader and through plain vorbisfile, wall seconds of each open.
struct Opens {
    std::string name, path;  // no path: from memory only
    std::size_t bytes = 0;
    std::vector<double> reader, plain, readerFile, plainFile;
};
std::vector<Opens> g_opens;

double TimeReaderOpen(const std::string& bytes) {
    CMemoryStream stream;
    stream.Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
    stream.Seek(0);
    COggVorbisReader reader;
    const auto t0 = std::chrono::steady_clock::now();
    reader.Open(&stream);
    const double seconds = bench::Seconds(std::chrono::steady_clock::now() - t0);
    benchmark::DoNotOptimize(reader.GetDataSize());
    return seconds;
}

double TimePlainOpen(const std::string& bytes) {
    MemSource src{&bytes, 0};
    OggVorbis_File vf;
    const ov_callbacks cb = {&MemRead, &MemSeek, nullptr, &MemTell};
    const auto t0 = std::chrono::steady_clock::now();
    const int r = ov_open_callbacks(&src, &vf, nullptr, 0, cb);
    const double seconds = bench::Seconds(std::chrono::steady_clock::now() - t0);
    if (r == 0) ov_clear(&vf);
    return seconds;
}

// From the file, as the program reads its music (the archive's entries are windows on a file).
double TimeReaderOpenFile(const std::string& path) {
    const auto t0 = std::chrono::steady_clock::now();
    CFileStream stream(path, plat::FileMode::ReadExisting, FileShare::Read);
    COggVorbisReader reader;
    reader.Open(&stream);
    const double seconds = bench::Seconds(std::chrono::steady_clock::now() - t0);
    benchmark::DoNotOptimize(reader.GetDataSize());
    return seconds;
}

double TimePlainOpenFile(const std::string& path) {
    OggVorbis_File vf;
    const auto t0 = std::chrono::steady_clock::now();
    const int r = ov_fopen(path.c_str(), &vf);
    const double seconds = bench::Seconds(std::chrono::steady_clock::now() - t0);
    if (r == 0) ov_clear(&vf);
    return seconds;
}

void BM_OpenMusic(benchmark::State& state) {
    std::vector<std::pair<std::string, std::string>> files = {{"", Music()}};
    const std::filesystem::path music = std::filesystem::canonical("/proc/self/exe").parent_path() / "data" / "music";
    for (const char* name : {"winter.ogg", "lake.ogg"}) {
        std::ifstream in(music / name, std::ios::binary);
        if (in) files.emplace_back((music / name).string(), std::string(std::istreambuf_iterator<char>(in), {}));
    }
    for (const auto& [path, bytes] : files) {
        Opens o;
        o.name = path.empty() ? "the minute" : std::filesystem::path(path).filename().string();
        o.path = path;
        o.bytes = bytes.size();
        TimeReaderOpen(bytes);
        TimePlainOpen(bytes);
        g_opens.push_back(o);
    }
    for (auto _ : state) {
        for (std::size_t i = 0; i < files.size(); ++i) {
            Opens& o = g_opens[i];
            const std::string& bytes = files[i].second;
            bench::Alternate(
                1, [&] { return TimeReaderOpen(bytes); }, [&] { return TimePlainOpen(bytes); }, o.reader, o.plain);
            if (o.path.empty()) continue;
            bench::Alternate(
                1, [&] { return TimeReaderOpenFile(o.path); }, [&] { return TimePlainOpenFile(o.path); }, o.readerFile,
                o.plainFile);
        }
    }
}
BENCHMARK(BM_OpenMusic)->Unit(benchmark::kMillisecond)->Iterations(41)->UseRealTime();

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
        std::printf("streamed worker / plain streamer: %s (in turns; judged below with both at once)\n",
                    bench::Show(bench::Ratios(g_worker, g_plainStreamed), 1, 3).c_str());
    }
    const std::string target = "streamed worker / plain streamer, processor time";
    if (g_togetherWorker.empty()) {
        bench::Unmeasured(target, Music().empty() ? "no Vorbis encoder (libvorbisenc) to make the music with"
                                                  : "the streamers did not play");
    } else {
        const double ratio = bench::FloorRatio(g_togetherWorker, g_togetherPlain);
        std::printf(
            "the minute through both streamers at once, %zu runs, processor ms: streamed worker %s; plain "
            "streamer %s\n",
            g_togetherWorker.size(), bench::ShowFloor(g_togetherWorker, 1e3, 1).c_str(),
            bench::ShowFloor(g_togetherPlain, 1e3, 1).c_str());
        char what[96];
        std::snprintf(what, sizeof what, ": %.3f floor over floor, target at most %.2f", ratio, kTogetherBound);
        bench::Verdict(target + what, ratio <= kTogetherBound);
    }
    if (!g_mix.empty()) {
        const bench::Spread mix = bench::SpreadOf(g_mix);
        std::printf(
            "mixer, one 44.1 kHz stereo stream (its own cost, no plain side): %s ms per minute of sound = "
            "%.4f%% of one core\n",
            bench::Show(mix, 1e3, 2).c_str(), 100.0 * mix.median / kSeconds);
    }
    for (const Opens& o : g_opens) {
        std::printf("open of %s (%zu bytes), %zu alternated repetitions, wall ms: reader %s; plain vorbisfile %s\n",
                    o.name.c_str(), o.bytes, o.reader.size(), bench::Show(o.reader, 1e3, 3).c_str(),
                    bench::Show(o.plain, 1e3, 3).c_str());
        std::printf("  reader's open / plain vorbisfile's: %s\n",
                    bench::Show(bench::Ratios(o.reader, o.plain), 1, 2).c_str());
        if (o.readerFile.empty()) continue;
        std::printf("  from the file, wall ms: reader %s; plain vorbisfile (ov_fopen) %s; ratio %s\n",
                    bench::Show(o.readerFile, 1e3, 3).c_str(), bench::Show(o.plainFile, 1e3, 3).c_str(),
                    bench::Show(bench::Ratios(o.readerFile, o.plainFile), 1, 2).c_str());
    }
    return bench::Status();
}
