// Reading every entry of a ~200 MB resource archive through the archive loader, against reading the
// same bytes from plain files. Prints the ratio; the target is at most 1.2. The data is generated and
// packed in a scratch directory at start and removed at the end.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "core/DataLoader.h"
#include "core/FileStream.h"
#include "platform/System.h"
#include "tools/ArchivePacker.h"

using namespace trivale;
namespace fs = std::filesystem;

namespace {

struct DataSet {
    std::string dir;
    std::string archive;
    std::vector<std::string> names;  // resource names ("\\")
    std::vector<std::string> paths;  // the same files on disk
    std::uint64_t bytes = 0;
};

DataSet* g_data = nullptr;

bool WriteAll(const std::string& path, const std::string& bytes) {
    plat::File f;
    return f.Open(path, plat::FileMode::CreateWrite) &&
           f.Write(bytes.data(), bytes.size()) == static_cast<std::int64_t>(bytes.size());
}

// About 200 MB in 96 files of 0.5 to 3.5 MB under a few folders, packed as the packer packs them.
bool MakeDataSet(DataSet& d) {
    std::string pattern = (fs::temp_directory_path() / "tvbench-XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) return false;
    d.dir = buf.data();
    d.archive = d.dir + "/data.tva";
    std::uint32_t x = 12345;
    auto next = [&x]() {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    };
    for (int i = 0; i < 96; ++i) {
        const std::string folder = d.dir + "/data/set" + std::to_string(i % 6);
        std::string blob(512 * 1024 + next() % (3 * 1024 * 1024), '\0');
        for (char& c : blob) c = static_cast<char>(next());
        fs::create_directories(folder);
        if (!WriteAll(folder + "/Item" + std::to_string(i) + ".bin", blob)) return false;
    }
    std::vector<tools::PackItem> items;
    std::vector<std::string> warnings;
    std::string error;
    if (!tools::CollectTree(d.dir + "/data", std::string(), items, warnings, error) ||
        !tools::CheckItems(items, error) || !tools::WriteArchive(d.archive, items, error)) {
        std::fprintf(stderr, "bench_archive: %s\n", error.c_str());
        return false;
    }
    for (const tools::PackItem& item : items) {
        d.names.push_back(item.name);
        d.paths.push_back(item.path);
        d.bytes += item.size;
    }
    return true;
}

std::uint64_t Drain(IStream& s, std::vector<char>& buffer) {
    std::uint64_t total = 0;
    for (;;) {
        std::uint32_t got = s.Read(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
        if (got == 0) break;
        total += got;
        benchmark::DoNotOptimize(buffer.data());
    }
    return total;
}

void BM_ArchiveLoader(benchmark::State& state) {
    TArchiveFileDataLoader<CArchiveFileLoader> loader(g_data->archive);
    std::vector<char> buffer(256 * 1024);
    for (auto _ : state) {
        std::uint64_t total = 0;
        for (const std::string& name : g_data->names) {
            std::unique_ptr<IStream> s(loader.Open(name));
            total += Drain(*s, buffer);
        }
        if (total != g_data->bytes) state.SkipWithError("short read");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * g_data->bytes));
}

void BM_PlainFiles(benchmark::State& state) {
    std::vector<char> buffer(256 * 1024);
    for (auto _ : state) {
        std::uint64_t total = 0;
        for (const std::string& path : g_data->paths) {
            CFileStream s(path, plat::FileMode::ReadExisting, FileShare::Read);
            total += Drain(s, buffer);
        }
        if (total != g_data->bytes) state.SkipWithError("short read");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * g_data->bytes));
}

// Keeps the time per iteration of each benchmark for the ratio.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                seconds[run.benchmark_name()] = run.real_accumulated_time / static_cast<double>(run.iterations);
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
};

}  // namespace

int main(int argc, char** argv) {
    DataSet data;
    g_data = &data;
    const bool made = MakeDataSet(data);
    int code = 0;
    if (!made) {
        std::fprintf(stderr, "bench_archive: cannot generate the data set in %s\n", data.dir.c_str());
        code = 1;
    } else {
        std::printf("data set: %zu files, %.1f MB\n", data.names.size(), static_cast<double>(data.bytes) / 1e6);
        benchmark::RegisterBenchmark("ArchiveLoader/all_entries", BM_ArchiveLoader)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("PlainFiles/all_files", BM_PlainFiles)->Unit(benchmark::kMillisecond);
        benchmark::Initialize(&argc, argv);
        RatioReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        benchmark::Shutdown();
        auto archive = reporter.seconds.find("ArchiveLoader/all_entries");
        auto plain = reporter.seconds.find("PlainFiles/all_files");
        if (archive != reporter.seconds.end() && plain != reporter.seconds.end() && plain->second > 0) {
            const double ratio = archive->second / plain->second;
            std::printf("archive loader / plain files: %.3f (target <= 1.2)\n", ratio);
        }
    }
    std::error_code ec;
    if (!data.dir.empty()) fs::remove_all(data.dir, ec);
    return code;
}
