// The program as a user runs it: a copy beside a small show (a scene, fonts, a script), started in a
// process of its own under the offscreen driver, from the data folder and from the archive.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <regex>
#include <sstream>
#include <thread>
#include <utility>

#include "benchmark/Application.h"
#include "platform/DesktopMode.h"
#include "platform/Printable.h"
#include "tests/benchmark/OverlayFonts.h"
#include "tests/core/TestUtil.h"
#include "tests/lwrender/scene/LwTestScene.h"
#include "tools/ArchivePacker.h"

// Last: its macros (None, Status) would clash with names in the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;

// Runs the show once: it loads every scene behind the loading screen, flies through the test scene with
// clouds, snow, a fade and a caption, and ends after a second and a half of scene time. Its errors do
// not stop it; they and its prints go to the log with their places.
const char* const kSmokeScript =
    "' smoke show\r\n*OnInitialize\r\nDirectoryPrecacheScenes(\"scenes\")\r\nprint(\"score \", 42)\r\n)(\r\n"
    "return\r\n*main\r\nnosuch()\r\nSetScene(\"scenes\\\\demo.lws\")\r\nSetCamera(\"Main\")\r\n"
    "SetCameraClip(1, 1000)\r\nShowCloud()\r\nShowSnow()\r\nColorFadeIn(0.5, 1, 1, 1)\r\nTextOut(\"$0cSMOKE\")\r\n"
    "SetTextFade(0.5, 0, 1)\r\nScoreCountStart()\r\nSyncSceneTime(1.5)\r\nFinish()\r\nsleep 1\r\ngoto *main\r\n";

struct Outcome {
    bool exited = false;  // false: killed by a signal or still running at the deadline
    int code = -1;
    int signal = 0;  // the signal that ended it
    std::string log;
    std::string err;  // standard error
    std::string out;  // standard output, when it went to a file
};

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("tvprogram-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        const fs::path data = dir_ / "data";
        overlaytest::WriteOverlayData(data);
        const std::vector<unsigned char> picture =
            rendertest::MakeTga(4, 4, std::vector<std::uint32_t>(16, 0x80FFFFFF));
        lwrtest::WriteLwTestScene(data, picture);
        Write("loading.dds", std::string(picture.begin(), picture.end()));
        // Cloud and snow sheets hold four 128 x 128 pictures.
        const std::vector<unsigned char> sheet =
            rendertest::MakeTga(256, 256, std::vector<std::uint32_t>(65536, 0x40FFFFFF));
        for (const char* name : {"scenes/skyhigh/small_cloud_1.dds", "scenes/skyhigh/snow_1.dds"})
            Write(name, std::string(sheet.begin(), sheet.end()));
        Write("main.tvs", kSmokeScript);
        fs::copy_file(TV_PROGRAM, dir_ / "vellacor06");
        fs::copy_file(TV_DIALOG_MODULE, dir_ / fs::path(TV_DIALOG_MODULE).filename());
    }
    void TearDown() override { fs::remove_all(dir_); }

    void Write(const std::string& name, const std::string& bytes) {
        fs::create_directories((dir_ / "data" / name).parent_path());
        std::ofstream(dir_ / "data" / name, std::ios::binary) << bytes;
    }

    void Pack() {
        std::vector<trivale::tools::PackItem> items;
        std::vector<std::string> warnings;
        std::string error;
        ASSERT_TRUE(trivale::tools::CollectTree((dir_ / "data").string(), "", items, warnings, error)) << error;
        ASSERT_TRUE(trivale::tools::WriteArchive((dir_ / "data.tva").string(), items, error)) << error;
    }

    // Starts the copy with the arguments, its standard error going to a file of its own; the entries
    // of extraEnv_ replace the test's and the environment's of the same names.
    pid_t Start(const std::vector<std::string>& args, const std::string& errName = "stderr.txt") {
        // Leak checking stays with the in-process tests: the GL driver and the dialog's toolkit are
        // unloaded before the program ends, and what they leave cannot be told from ours by name.
        std::vector<std::string> env = extraEnv_;
        const auto add = [&env](const std::string& entry) {
            const std::string name = entry.substr(0, entry.find('=') + 1);
            if (std::none_of(env.begin(), env.end(), [&](const std::string& m) { return m.rfind(name, 0) == 0; }))
                env.push_back(entry);
        };
        for (const std::string& entry :
             {std::string("VELLACOR_DIALOG=accept"), "XDG_CONFIG_HOME=" + (dir_ / "config").string(),
              std::string("ASAN_OPTIONS=detect_leaks=0")})
            add(entry);
        for (char** e = environ; *e; ++e) add(*e);
        std::vector<char*> envp, argv;
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string program = (dir_ / "vellacor06").string();
        std::vector<std::string> all = through_;
        all.push_back(program);
        all.insert(all.end(), args.begin(), args.end());
        for (auto& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 2, (dir_ / errName).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (!terminal_.empty()) {
            // A session of its own, whose controlling terminal the first terminal it opens becomes.
            posix_spawn_file_actions_addopen(&files, 0, terminal_.c_str(), O_RDWR, 0);
            posix_spawn_file_actions_adddup2(&files, 0, 1);
        } else if (stdout_ >= 0)
            posix_spawn_file_actions_adddup2(&files, stdout_, 1);
        else
            posix_spawn_file_actions_addopen(&files, 1, (dir_ / "stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                             0644);
        // A starter may hold SIGINT and SIGTERM back: one sent before the program runs a line then waits
        // for it instead of ending it outright.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        short flags = POSIX_SPAWN_SETSIGDEF;
        if (!terminal_.empty())
            flags |= POSIX_SPAWN_SETSID;
        else if (!through_.empty())
            flags |= POSIX_SPAWN_SETPGROUP;  // a group of its own, as a shell's job
        // The stop signals as a terminal's shell leaves them, whatever the test's starter did with them;
        // SIGHUP ignored where the test starts the run as nohup does.
        sigset_t plain;
        sigemptyset(&plain);
        sigaddset(&plain, SIGINT);
        sigaddset(&plain, SIGTERM);
        if (!ignoreHangUp_) sigaddset(&plain, SIGHUP);
        posix_spawnattr_setsigdefault(&attributes, &plain);
        if (holdStopSignals_) {
            sigset_t held;
            sigemptyset(&held);
            sigaddset(&held, SIGINT);
            sigaddset(&held, SIGTERM);
            posix_spawnattr_setsigmask(&attributes, &held);
            flags |= POSIX_SPAWN_SETSIGMASK;
        }
        posix_spawnattr_setflags(&attributes, flags);
        struct sigaction ignore = {}, was = {};
        ignore.sa_handler = SIG_IGN;
        if (ignoreHangUp_) ::sigaction(SIGHUP, &ignore, &was);  // an ignored signal is inherited so
        pid_t pid = 0;
        if (posix_spawn(&pid, all[0].c_str(), &files, &attributes, argv.data(), envp.data()) != 0) pid = 0;
        if (ignoreHangUp_) ::sigaction(SIGHUP, &was, nullptr);
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&files);
        return pid;
    }

    // Waits at most a minute for the program; after `stopAfter` (when given) asks it to end as a session
    // does (SIGTERM).
    Outcome Wait(pid_t pid, std::chrono::milliseconds stopAfter = {}, const std::string& errName = "stderr.txt") {
        Outcome outcome;
        if (pid == 0) return outcome;
        const auto start = std::chrono::steady_clock::now();
        bool stopped = false;
        int status = 0;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            const auto elapsed = std::chrono::steady_clock::now() - start;
            if (stopAfter.count() > 0 && !stopped && elapsed >= stopAfter) {
                ::kill(pid, SIGTERM);
                stopped = true;
            }
            if (elapsed > std::chrono::minutes(1)) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                return outcome;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        outcome.exited = WIFEXITED(status);
        outcome.code = outcome.exited ? WEXITSTATUS(status) : -1;
        outcome.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        outcome.log = Read(dir_ / "vellacor06.log");
        outcome.err = Read(dir_ / errName);
        outcome.out = Read(dir_ / "stdout.txt");
        return outcome;
    }

    Outcome Run(const std::vector<std::string>& args, std::chrono::milliseconds stopAfter = {}) {
        return Wait(Start(args), stopAfter);
    }

    // Waits until the run plays the show: its scenes are loaded.
    ::testing::AssertionResult PlaysTheShow() const;
    static std::string Read(const fs::path& path) {
        if (!fs::is_regular_file(path)) return std::string();
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::vector<std::string> extraEnv_;
    bool holdStopSignals_ = false;
    bool ignoreHangUp_ = false;
    std::vector<std::string> through_;  // a command the program is started through (a shell's script)
    std::string terminal_;              // the run's controlling terminal, its standard input and output
    int stdout_ = -1;                   // the standard output the program gets; a file of the folder when negative
    fs::path dir_;
};

// The lines appear in this order.
void ExpectInOrder(const std::string& log, const std::vector<std::string>& lines) {
    std::size_t at = 0;
    for (const std::string& line : lines) {
        const std::size_t found = log.find(line, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << log;
        at = found + line.size();
    }
}

// The text with the time a forced end's grace was lengthened by a loaded machine taken out of its line
// ("within 3 s (4.2 s with the time ...)"): how long that is depends on the machine's load.
std::string WithoutWaits(const std::string& text) {
    static const std::regex waits(R"( \([0-9.]+ s with the time a loaded machine kept it waiting\))");
    return std::regex_replace(text, waits, "");
}

// The log's last line.
std::string LastLine(const std::string& log) {
    std::istringstream lines(log);
    std::string line, last;
    while (std::getline(lines, line)) last = line;
    return last;
}

TEST_F(ProgramTest, PlaysTheShowOnceFromTheDataFolder) {
    const Outcome run = Run({"/filesystem", "/Foo", "/ONESHOT"});
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.code, 0) << run.log;
    ExpectInOrder(run.log, {"] Started ----", "INFO: filesystem mode", "ERROR: unknown switch - '/Foo'",
                            "INFO: oneshot mode", "Application driver running...",
                            "INFO: --- precaching model from directory ---", "INFO: precache: scenes", "INFO: --------",
                            "INFO: score 42", "ERROR: script error: syntax error in main.tvs(5)",
                            "ERROR: script error: function nosuch() not found in main.tvs(8)",
                            "Application driver running finished.", "---- Application finalized ----"});
    EXPECT_EQ(run.log.find("アプリケーション例外が発生しました."), std::string::npos) << run.log;
}

TEST_F(ProgramTest, PlaysFromTheArchiveAndLoopsUntilTold) {
    Pack();
    fs::remove_all(dir_ / "data");  // the archive alone
    const Outcome once = Run({"/oneshot"});
    ASSERT_TRUE(once.exited);
    EXPECT_EQ(once.code, 0) << once.log;
    EXPECT_NE(once.log.find("---- Application finalized ----"), std::string::npos) << once.log;

    // In loop mode the show starts again after its end and runs until the session ends it.
    const Outcome loop = Run({}, std::chrono::seconds(8));
    ASSERT_TRUE(loop.exited);
    EXPECT_EQ(loop.code, 0) << loop.log;
    ExpectInOrder(loop.log, {"Application driver running...", "Application driver running finished."});
}

TEST_F(ProgramTest, DamagedDataEndsWithAReportAndAFailure) {
    const struct {
        const char* what;
        const char* file;  // replaced by garbage; null: the archive is missing, or cut short
        std::vector<std::string> args;
    } cases[] = {
        {"missing archive", nullptr, {"/oneshot"}},
        {"truncated archive", nullptr, {"/oneshot"}},
        {"damaged archive", "../data.tva", {"/oneshot"}},
        {"damaged scene", "scenes/demo.lws", {"/filesystem", "/oneshot"}},
        {"damaged object", "scenes/box_000.t3o", {"/filesystem", "/oneshot"}},
        {"damaged texture", "scenes/ground.tga", {"/filesystem", "/oneshot"}},
        {"missing script", "main.tvs", {"/filesystem", "/oneshot"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.file != nullptr) Write(c.file, "RIFF\x10\0\0\0TV3Ogarbage-garbage");
        if (std::string(c.what) == "missing script") fs::remove(dir_ / "data" / "main.tvs");
        const bool truncated = std::string(c.what) == "truncated archive";
        if (truncated) {
            Pack();
            fs::resize_file(dir_ / "data.tva", fs::file_size(dir_ / "data.tva") / 2);
        }
        const Outcome run = Run(c.args);
        ASSERT_TRUE(run.exited) << "crashed or hung";
        EXPECT_EQ(run.code, 1) << run.log;
        EXPECT_NE(run.log.find("アプリケーション例外が発生しました."), std::string::npos) << run.log;
        // The damaged archive is named, as a missing one is.
        if (truncated || c.file == nullptr) {
            EXPECT_NE(run.log.find("\"" + (dir_ / "data.tva").string() + "\""), std::string::npos) << run.log;
        }
        SetUp();  // fresh data for the next case
    }
}

// A damaged file is named in its report: from the data folder by the path the program tried, from the
// archive by the entry's name as the archive spells it. A texture that fails inside an object is named,
// not the object that asked for it.
TEST_F(ProgramTest, DamagedFilesAreNamedInTheirReports) {
    const struct {
        const char* file;
        std::uintmax_t cut;  // 0: replaced by garbage
        const char* message;
    } cases[] = {
        {"scenes/box_000.t3o", 100, "T3Oファイルロード: "},
        {"scenes/ground.tga", 40, "テクスチャのロードに失敗しました."},
        {"fonts/FONT08T2.png", 500, "テクスチャのロードに失敗しました."},
        {"scenes/demo.lws", 0, "LWS のロードに失敗しました."},
    };
    for (const auto& c : cases) {
        for (const bool packed : {false, true}) {
            SCOPED_TRACE(std::string(c.file) + (packed ? " packed" : ""));
            if (c.cut == 0)
                Write(c.file, "garbage");
            else
                fs::resize_file(dir_ / "data" / c.file, c.cut);
            std::string name = c.file;
            if (packed) {
                Pack();
                std::replace(name.begin(), name.end(), '/', '\\');
            } else {
                name = (dir_ / "data" / c.file).string();
            }
            const Outcome run = Run(packed ? std::vector<std::string>{"/oneshot"}
                                           : std::vector<std::string>{"/filesystem", "/oneshot"});
            ASSERT_TRUE(run.exited) << "crashed or hung";
            EXPECT_EQ(run.code, 1) << run.log;
            const std::string named = c.cut == 0 ? name : " - ファイル \"" + name + "\"";
            const std::size_t at = run.log.find(c.message);
            ASSERT_NE(at, std::string::npos) << run.log;
            // The report's line names the file and nothing after it.
            const std::size_t end = run.log.find('\n', at);
            EXPECT_EQ(run.log.substr(at, end - at).find(named), end - at - named.size()) << run.log;
            SetUp();
        }
    }
}

// Found by fuzzing: a music file whose damaged setup header reached the decoder ended the program with a
// floating-point exception and a log that said nothing; one whose codebook was too large for the
// decoder's stack ended it with a segmentation fault. Music chained from a stereo and a mono link played
// on with the wrong sound, and as noise when both links had one serial number (as two of the project's
// own files joined end to end once had). Each ends with the reader's report naming it, read from the data
// folder or from the archive.
TEST_F(ProgramTest, DamagedMusicEndsWithAReportNamingIt) {
    // A WAVE file cut inside its format chunk, as a copy that stopped short leaves it.
    const std::string cutWave = std::string("RIFF\x24\x10\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0", 22);
    const struct {
        const char* what;
        std::string bytes;
        const char* message;
    } cases[] = {
        {"music-two-gaps-before-setup.ogg",
         Read(fs::path(TV_FUZZ_REGRESSIONS) / "ogg" / "music-two-gaps-before-setup.ogg"),
         "OggVorbisファイルのオープンに失敗しました."},
        {"music-huge-codebook.ogg", Read(fs::path(TV_FUZZ_REGRESSIONS) / "ogg" / "music-huge-codebook.ogg"),
         "OggVorbisファイルのオープンに失敗しました."},
        {"chain-of-two-formats.ogg", Read(fs::path(TV_FUZZ_REGRESSIONS) / "ogg" / "chain-of-two-formats.ogg"),
         "OggVorbisファイルのオープンに失敗しました."},
        {"chain-sharing-a-serial.ogg", Read(fs::path(TV_FUZZ_REGRESSIONS) / "ogg" / "chain-sharing-a-serial.ogg"),
         "OggVorbisファイルのオープンに失敗しました."},
        {"cut wave", cutWave, "ファイルフォーマットエラー: "},
    };
    for (const auto& c : cases) {
        for (const bool packed : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (packed ? " packed" : ""));
            ASSERT_FALSE(c.bytes.empty());
            std::string script = kSmokeScript;
            script.insert(script.find("*main\r\n") + 7, "PlayMusic(\"music\\\\winter.ogg\")\r\n");
            Write("main.tvs", script);
            Write("music/winter.ogg", c.bytes);
            if (packed) Pack();
            const Outcome run = Run(packed ? std::vector<std::string>{"/oneshot"}
                                           : std::vector<std::string>{"/filesystem", "/oneshot"});
            ASSERT_TRUE(run.exited) << "crashed or hung";
            EXPECT_EQ(run.code, 1) << run.log;
            // From the folder the path tried, from the archive the entry's name.
            const std::string name = packed ? "music\\winter.ogg" : (dir_ / "data/music/winter.ogg").string();
            const std::size_t at = run.log.find(c.message);
            ASSERT_NE(at, std::string::npos) << run.log;
            EXPECT_NE(run.log.find(" - ファイル \"" + name + "\"", at), std::string::npos) << run.log;
            SetUp();
        }
    }
}

// A second run while one goes on leaves the first one's log whole and ends at once, saying so.
TEST_F(ProgramTest, ASecondRunKeepsTheFirstOnesLog) {
    const pid_t first = Start({"/filesystem"}, "first.txt");
    ASSERT_NE(first, 0);
    for (int i = 0; i < 500 && Read(dir_ / "vellacor06.log").find("Application driver running...") == std::string::npos;
         ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const Outcome second = Run({"/filesystem"});
    const Outcome whole = Wait(first, std::chrono::milliseconds(1), "first.txt");
    ASSERT_TRUE(second.exited);
    EXPECT_EQ(second.code, 1);
    EXPECT_NE(second.err.find("vellacor06 is already running; its log " + (dir_ / "vellacor06.log").string() +
                              " is kept. This run ends."),
              std::string::npos)
        << second.err;
    ASSERT_TRUE(whole.exited);
    EXPECT_EQ(whole.code, 0);
    ExpectInOrder(whole.log, {"] Started ----", "Application driver running...", "---- Application finalized ----"});
}

// Where neither the program's folder nor the state folder takes the log, the run goes on and says so once.
TEST_F(ProgramTest, NoFolderForTheLogIsToldOnceOnStandardError) {
    fs::create_directories(dir_ / "vellacor06.log");  // a folder where the file would be
    std::ofstream(dir_ / "state") << "a file, not a folder";
    extraEnv_ = {"XDG_STATE_HOME=" + (dir_ / "state").string()};
    const Outcome run = Run({"/filesystem", "/oneshot"});
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.code, 0);
    const std::string told = (dir_ / "vellacor06.log").string() + " cannot be written, nor " +
                             (dir_ / "state/vellacor/vellacor06.log").string() + ": this run keeps no log\n";
    ASSERT_NE(run.err.find(told), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(told), run.err.rfind(told)) << "once";
}

// The console shows the log from its first line, with a file or without one.
TEST_F(ProgramTest, TheConsoleShowsEveryLineWithOrWithoutAFile) {
    const Outcome run = Run({"/filesystem", "/oneshot", "/console"});
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.code, 0) << run.log;
    EXPECT_EQ(run.out, run.log);
    EXPECT_EQ(run.out.find("] Started ----"), run.out.find('\n') - std::string("] Started ----").size()) << run.out;

    fs::remove(dir_ / "vellacor06.log");
    fs::create_directories(dir_ / "vellacor06.log");  // no file anywhere
    std::ofstream(dir_ / "state") << "a file, not a folder";
    extraEnv_ = {"XDG_STATE_HOME=" + (dir_ / "state").string()};
    const Outcome fileless = Run({"/filesystem", "/oneshot", "/console"});
    ASSERT_TRUE(fileless.exited);
    EXPECT_EQ(fileless.code, 0) << fileless.err;
    EXPECT_NE(fileless.err.find("this run keeps no log"), std::string::npos) << fileless.err;
    ExpectInOrder(fileless.out, {"] Started ----", "INFO: open logger console", "Application driver running...",
                                 "INFO: score 42", "---- Application finalized ----"});
}

// `vellacor06 /console | head -3`: the reader goes away after three lines; the run and its log go on
// to the end, and the log says once that the console was closed.
TEST_F(ProgramTest, AConsoleWhoseReaderLeavesEndsNothing) {
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);  // the program holds the writing end alone
    stdout_ = ends[1];
    const pid_t pid = Start({"/filesystem", "/oneshot", "/console"});
    ::close(ends[1]);
    std::string head;
    char c = 0;
    for (int lines = 0; lines < 3 && ::read(ends[0], &c, 1) == 1;) {
        head += c;
        if (c == '\n') ++lines;
    }
    ::close(ends[0]);
    const Outcome run = Wait(pid);
    ASSERT_TRUE(run.exited) << "ended by a signal";
    EXPECT_EQ(run.code, 0) << run.log;
    EXPECT_NE(head.find("] Started ----"), std::string::npos) << head;
    const std::string closed = "INFO: logger console closed - Broken pipe\n";
    ExpectInOrder(run.log, {closed, "INFO: score 42", "---- Application finalized ----"});
    EXPECT_EQ(run.log.find(closed), run.log.rfind(closed)) << "once";
}

// The remembered settings are read only from a regular file: a FIFO there once held the start-up in
// open before the dialog, where no signal but SIGKILL ended it.
TEST_F(ProgramTest, AFifoForTheRememberedSettingsHoldsNothing) {
    fs::create_directories(dir_ / "config/vellacor");
    ASSERT_EQ(::mkfifo((dir_ / "config/vellacor/dialog.conf").c_str(), 0600), 0);
    extraEnv_ = {"VELLACOR_DIALOG=Accept"};  // the words are taken in any case
    const Outcome run = Run({"/filesystem", "/oneshot"});
    ASSERT_TRUE(run.exited) << "held";
    EXPECT_EQ(run.code, 0) << run.log << run.err;
    EXPECT_NE(run.log.find("---- Application finalized ----"), std::string::npos) << run.log;
}

const char* const kTitle = "VELLACOR 06 (ver.1.0.1)";

// An X server of the test's own (Xvfb on a free display), gone with the object, and what it shows at
// the top of its window tree. Xlib is taken from the library the program's video layer loads.
// Starts the X server (its path first in `args`) on a free display, which it tells through a pipe
// (-displayfd); `session`: in a session of its own. ":N", or "" when it did not start.
std::string StartXServer(std::vector<std::string> args, bool session, pid_t* server) {
    *server = 0;
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0) return "";
    args.insert(args.begin() + 1, {"-displayfd", std::to_string(ready[1])});
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_adddup2(&files, ready[1], ready[1]);  // kept open across the exec
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (session) posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    if (posix_spawn(server, args[0].c_str(), &files, &attributes, argv.data(), environ) != 0) *server = 0;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&files);
    ::close(ready[1]);
    std::string number;
    char c = 0;
    while (*server != 0 && ::read(ready[0], &c, 1) == 1 && c != '\n') number += c;
    ::close(ready[0]);
    return number.empty() ? std::string() : ":" + number;
}

class VirtualScreen {
public:
    static constexpr const char* kServer = "/usr/bin/Xvfb";
    static bool Installed() { return ::access(kServer, X_OK) == 0; }

    // `authority`: a cookie file the server wants its clients to present (Xvfb's -auth); none when empty.
    explicit VirtualScreen(const std::string& authority = std::string()) {
        Start(authority);
        if (display_.empty()) return;
        xlib_ = ::dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
        if (xlib_ != nullptr) Lookups();
    }
    ~VirtualScreen() {
        if (xlib_ != nullptr) ::dlclose(xlib_);
        if (server_ != 0) {
            ::kill(server_, SIGTERM);
            ::waitpid(server_, nullptr, 0);
        }
    }
    VirtualScreen(const VirtualScreen&) = delete;
    VirtualScreen& operator=(const VirtualScreen&) = delete;

    // ":N", or "" when the server did not start.
    const std::string& DisplayName() const { return display_; }
    // A server that stops answering (stopped), or answers again.
    void Answer(bool answer) const {
        if (server_ != 0) ::kill(server_, answer ? SIGCONT : SIGSTOP);
    }
    // A server that goes away at once: its connections break.
    void Crash() {
        if (server_ == 0) return;
        ::kill(server_, SIGKILL);
        ::waitpid(server_, nullptr, 0);
        server_ = 0;
    }

    // The names of the windows at the top of the tree that are on the screen.
    std::vector<std::string> Shown() const {
        std::vector<std::string> names;
        if (open_ == nullptr || close_ == nullptr || tree_ == nullptr || attributes_ == nullptr || name_ == nullptr ||
            free_ == nullptr || root_ == nullptr)
            return names;
        Display* display = open_(display_.c_str());
        if (display == nullptr) return names;
        Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        if (tree_(display, root_(display), &root, &parent, &children, &count) != 0) {
            for (unsigned i = 0; i < count; ++i) {
                // The name's bytes as they are, whatever encoding the toolkit gave them.
                XWindowAttributes state{};
                XTextProperty name{};
                if (attributes_(display, children[i], &state) != 0 && state.map_state == IsViewable &&
                    name_(display, children[i], &name) != 0 && name.value != nullptr) {
                    names.emplace_back(reinterpret_cast<const char*>(name.value), name.nitems);
                }
                if (name.value != nullptr) free_(name.value);
            }
            if (children != nullptr) free_(children);
        }
        close_(display);
        return names;
    }
    // Destroys the shown window of that name as another program can (XDestroyWindow); its id, 0 when
    // there was none.
    unsigned long Destroy(const std::string& name) const {
        if (open_ == nullptr || close_ == nullptr || tree_ == nullptr || name_ == nullptr || free_ == nullptr ||
            root_ == nullptr || destroy_ == nullptr)
            return 0;
        Display* display = open_(display_.c_str());
        if (display == nullptr) return 0;
        Window root = 0, parent = 0, *children = nullptr, found = 0;
        unsigned count = 0;
        if (tree_(display, root_(display), &root, &parent, &children, &count) != 0) {
            for (unsigned i = 0; i < count && found == 0; ++i) {
                XTextProperty title{};
                if (name_(display, children[i], &title) != 0 && title.value != nullptr &&
                    std::string(reinterpret_cast<const char*>(title.value), title.nitems) == name)
                    found = children[i];
                if (title.value != nullptr) free_(title.value);
            }
            if (children != nullptr) free_(children);
        }
        if (found != 0) destroy_(display, found);
        close_(display);  // sends the request
        return found;
    }
    bool Shows(const std::string& name) const {
        const std::vector<std::string> names = Shown();
        return std::find(names.begin(), names.end(), name) != names.end();
    }

private:
    // Xvfb on a free display. No reset when its last client leaves: a run started just then would find
    // no server.
    void Start(const std::string& authority) {
        std::vector<std::string> args = {kServer, "-nolisten", "tcp", "-noreset", "-screen", "0", "1024x768x24"};
        if (!authority.empty()) args.insert(args.end(), {"-auth", authority});
        display_ = StartXServer(args, false, &server_);
    }

    void Lookups() {
        open_ = reinterpret_cast<Display* (*)(const char*)>(::dlsym(xlib_, "XOpenDisplay"));
        close_ = reinterpret_cast<int (*)(Display*)>(::dlsym(xlib_, "XCloseDisplay"));
        tree_ = reinterpret_cast<Status (*)(Display*, Window, Window*, Window*, Window**, unsigned*)>(
            ::dlsym(xlib_, "XQueryTree"));
        attributes_ =
            reinterpret_cast<Status (*)(Display*, Window, XWindowAttributes*)>(::dlsym(xlib_, "XGetWindowAttributes"));
        name_ = reinterpret_cast<Status (*)(Display*, Window, XTextProperty*)>(::dlsym(xlib_, "XGetWMName"));
        free_ = reinterpret_cast<int (*)(void*)>(::dlsym(xlib_, "XFree"));
        root_ = reinterpret_cast<Window (*)(Display*)>(::dlsym(xlib_, "XDefaultRootWindow"));
        destroy_ = reinterpret_cast<int (*)(Display*, Window)>(::dlsym(xlib_, "XDestroyWindow"));
        // A window listed can be gone by the time it is looked at (the run's dialog closing under load):
        // that is a window not shown, not an X error that ends the test's process.
        using ErrorHandler = int (*)(Display*, XErrorEvent*);
        if (const auto setHandler =
                reinterpret_cast<ErrorHandler (*)(ErrorHandler)>(::dlsym(xlib_, "XSetErrorHandler")))
            setHandler([](Display*, XErrorEvent*) { return 0; });
    }

    pid_t server_ = 0;
    std::string display_;
    void* xlib_ = nullptr;
    Display* (*open_)(const char*) = nullptr;
    int (*close_)(Display*) = nullptr;
    Status (*tree_)(Display*, Window, Window*, Window*, Window**, unsigned*) = nullptr;
    Status (*attributes_)(Display*, Window, XWindowAttributes*) = nullptr;
    Status (*name_)(Display*, Window, XTextProperty*) = nullptr;
    int (*free_)(void*) = nullptr;
    Window (*root_)(Display*) = nullptr;
    int (*destroy_)(Display*, Window) = nullptr;
};

// Ends the run it was given when the test leaves it behind (an assertion that failed before the wait).
struct Reaper {
    pid_t pid = 0;
    ~Reaper() {
        if (pid == 0 || ::waitpid(pid, nullptr, WNOHANG) != 0) return;
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
};

// Waits at most `limit` for `done`, looking every 20 ms.
template <class F>
bool WaitFor(F done, std::chrono::milliseconds limit = std::chrono::seconds(60)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// A pseudo-terminal of the test's own, as a terminal window gives its shell: a run started on it has it
// as its controlling terminal. What the run writes there is read and kept; Press types keys; Close hangs
// it up, as closing the window does.
class Terminal {
public:
    Terminal() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
        if (const char* name = ::ptsname(master_)) path_ = name;
        reader_ = std::thread([this] { Read(); });
    }
    ~Terminal() { Close(); }
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    const std::string& Path() const { return path_; }
    void Press(const char* keys) const { (void)!::write(master_, keys, std::strlen(keys)); }
    void Close() {
        if (master_ < 0) return;
        stop_ = true;
        if (reader_.joinable()) reader_.join();
        ::close(master_);
        master_ = -1;
    }
    std::string Shown() {
        std::lock_guard<std::mutex> lock(mutex_);
        return shown_;
    }

private:
    // Read at once, as a terminal shows it: a run never waits on a full terminal.
    void Read() {
        while (!stop_) {
            pollfd ready{master_, POLLIN, 0};
            char bytes[4096];
            const ssize_t got = ::poll(&ready, 1, 50) > 0 ? ::read(master_, bytes, sizeof bytes) : 0;
            if (got > 0) {
                std::lock_guard<std::mutex> lock(mutex_);
                shown_.append(bytes, static_cast<std::size_t>(got));
            } else if (got < 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));  // no run on it (yet, or any more)
            }
        }
    }
    int master_ = -1;
    std::string path_;
    std::atomic<bool> stop_{false};
    std::thread reader_;
    std::mutex mutex_;
    std::string shown_;
};

::testing::AssertionResult ProgramTest::PlaysTheShow() const {
    const fs::path log = dir_ / "vellacor06.log";
    if (WaitFor([&] { return Read(log).find("INFO: --------") != std::string::npos; }))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << Read(log);
}

// The show has drawn for half a second when its display server stops answering; half a second later
// the run is held in the driver.
void HoldTheShow(const VirtualScreen& screen) {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    screen.Answer(false);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
}

// The signal sent by a process of its own, as another shell's kill sends it.
void KillFromAnotherProcess(pid_t pid, int signal) {
    const pid_t sender = ::fork();
    if (sender == 0) _exit(::kill(pid, signal) == 0 ? 0 : 1);
    int status = 0;
    ASSERT_GT(sender, 0);
    ASSERT_EQ(::waitpid(sender, &status, 0), sender);
}

// Whether the process has its own handlers for SIGINT and SIGTERM in place.
bool CatchesStopSignals(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("SigCgt:", 0) != 0) continue;
        const unsigned long long caught = std::stoull(line.substr(7), nullptr, 16);
        return (caught >> (SIGINT - 1) & 1) != 0 && (caught >> (SIGTERM - 1) & 1) != 0;
    }
    return false;
}

// The processes that hold the file open.
std::vector<std::string> Holders(const fs::path& file) {
    std::vector<std::string> holders;
    std::error_code ignored;
    for (const auto& process : fs::directory_iterator("/proc", ignored)) {
        for (const auto& fd : fs::directory_iterator(process.path() / "fd", ignored)) {
            if (fs::read_symlink(fd.path(), ignored) == file) holders.push_back(process.path().filename().string());
        }
    }
    return holders;
}

// Ctrl+C, a session's SIGTERM or a closed terminal's SIGHUP at any moment before the dialog or while it
// waits ends the run as Cancel does (the run stopped by Ctrl+C then ends by SIGINT itself, so that the
// shell that waits for it stops too), however soon after the start it comes: while the program's libraries start, while the
// dialog's toolkit starts, as the dialog comes up. The dialog needs an X server: the test runs where
// Xvfb is installed. A signal sent before the program can run a line of its own would end it at once:
// the starter holds it back for the earliest cases, as it may; the other cases come unheld, from the
// first instant the program's handlers are in place and at the dialog.
TEST_F(ProgramTest, ASignalAtTheDialogEndsTheRunAsCancelDoes) {
    if (!VirtualScreen::Installed()) GTEST_SKIP() << "no " << VirtualScreen::kServer;
    const VirtualScreen screen;
    ASSERT_FALSE(screen.DisplayName().empty()) << "Xvfb did not start";
    enum class When { Held, FirstInstant, AtDialog };
    const struct {
        When when;
        int delayMs;
        int signal;
    } cases[] = {
        {When::Held, 0, SIGINT},          {When::Held, 20, SIGTERM},   {When::Held, 50, SIGINT},
        {When::Held, 100, SIGTERM},       {When::Held, 250, SIGINT},   {When::FirstInstant, 0, SIGINT},
        {When::FirstInstant, 0, SIGTERM}, {When::AtDialog, 0, SIGINT}, {When::AtDialog, 0, SIGTERM},
        {When::AtDialog, 0, SIGHUP},
    };
    extraEnv_ = {"DISPLAY=" + screen.DisplayName(), "WAYLAND_DISPLAY=", "SDL_VIDEODRIVER=", "VELLACOR_DIALOG="};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.when == When::Held       ? "held, "
                                 : c.when == When::AtDialog ? "at the dialog, "
                                                            : "") +
                     std::to_string(c.delayMs) + " ms, signal " + std::to_string(c.signal));
        fs::remove(dir_ / "vellacor06.log");  // the last run's log says nothing about this one
        holdStopSignals_ = c.when == When::Held;
        const pid_t pid = Start({"/filesystem", "/oneshot"});
        ASSERT_NE(pid, 0);
        if (c.when == When::Held) {
            std::this_thread::sleep_for(std::chrono::milliseconds(c.delayMs));
        } else if (c.when == When::FirstInstant) {
            EXPECT_TRUE(WaitFor([&] { return CatchesStopSignals(pid); }));
        } else {
            EXPECT_TRUE(WaitFor([&] { return screen.Shows(kTitle); })) << "no dialog";
        }
        ::kill(pid, c.signal);  // once
        int status = 0;
        const bool ended = WaitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; });
        if (!ended) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
        }
        ASSERT_TRUE(ended) << "still at the dialog";
        if (c.signal == SIGINT) {
            ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << "not ended by SIGINT: " << status;
        } else {
            ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
            EXPECT_EQ(WEXITSTATUS(status), 0);
        }
        const std::string log = Read(dir_ / "vellacor06.log");
        ExpectInOrder(log, {"INFO: コンフィグダイアログをキャンセルしました.", "---- Application finalized ----"});
        EXPECT_EQ(log.find("Application driver running..."), std::string::npos) << "the show ran\n" << log;
    }
}

// A message box (an error that ends the run, the notice of another run) ends as its OK does on Ctrl+C
// or SIGTERM, its text then printed on stderr (after Ctrl+C the run ends by SIGINT itself); whatever ends the program, kill -9 too, no box is left on
// the screen and nothing holds the log open.
TEST_F(ProgramTest, MessageBoxesGoWithTheProgram) {
    if (!VirtualScreen::Installed()) GTEST_SKIP() << "no " << VirtualScreen::kServer;
    const VirtualScreen screen;
    ASSERT_FALSE(screen.DisplayName().empty()) << "Xvfb did not start";
    extraEnv_ = {"DISPLAY=" + screen.DisplayName(), "WAYLAND_DISPLAY=", "SDL_VIDEODRIVER=", "VELLACOR_DIALOG=accept",
                 "VELLACOR_MESSAGES="};
    const fs::path log = dir_ / "vellacor06.log";
    const auto gone = [&](const std::string& caption) {
        return WaitFor([&] { return !screen.Shows(caption) && Holders(log).empty(); }, std::chrono::seconds(10));
    };
    // No archive: the report's box, captioned with the program's name.
    for (const int signal : {SIGINT, SIGTERM, SIGKILL}) {
        SCOPED_TRACE(signal);
        const pid_t pid = Start({"/oneshot"});
        ASSERT_NE(pid, 0);
        Reaper reaper{pid};
        ASSERT_TRUE(WaitFor([&] { return screen.Shows("vellacor06"); })) << "no box";
        ::kill(pid, signal);
        const Outcome run = Wait(pid);
        if (signal != SIGTERM) {
            EXPECT_EQ(run.signal, signal);
        } else {
            ASSERT_TRUE(run.exited) << "ended by the signal";
            EXPECT_EQ(run.code, 1);
        }
        if (signal != SIGKILL) {
            EXPECT_NE(run.err.find("ファイルを開けませんでした: \"" + (dir_ / "data.tva").string() + "\""),
                      std::string::npos)
                << run.err;
        }
        EXPECT_TRUE(gone("vellacor06")) << "left: " << ::testing::PrintToString(screen.Shown()) << ", held by "
                                        << ::testing::PrintToString(Holders(log));
    }
    // Another run holds the log: the notice's box, captioned with the title.
    const int held = ::open(log.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    const pid_t pid = Start({"/oneshot"});
    ASSERT_NE(pid, 0);
    Reaper reaper{pid};
    ASSERT_TRUE(WaitFor([&] { return screen.Shows(kTitle); })) << "no notice";
    ::kill(pid, SIGTERM);
    const Outcome run = Wait(pid);
    ASSERT_TRUE(run.exited) << "ended by the signal";
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("vellacor06 is already running"), std::string::npos) << run.err;
    ::close(held);
    EXPECT_TRUE(gone(kTitle)) << "left: " << ::testing::PrintToString(screen.Shown());
}

// The processes the given one has started.
std::vector<pid_t> Children(pid_t pid) {
    std::vector<pid_t> children;
    std::error_code ignored;
    for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", ignored)) {
        std::ifstream list(task.path() / "children");
        for (pid_t child = 0; list >> child;) children.push_back(child);
    }
    return children;
}

// A box ended from outside, its own process alone (TERM or KILL), is taken as OK: the run goes on and
// the box's text goes to stderr, as for a signal to the program. The box here has the program's window
// as its owner: no sound driver can start, and the run warns of it and goes on without sound.
TEST_F(ProgramTest, ABoxEndedFromOutsideIsOKAndItsTextIsPrinted) {
    if (!VirtualScreen::Installed()) GTEST_SKIP() << "no " << VirtualScreen::kServer;
    const VirtualScreen screen;
    ASSERT_FALSE(screen.DisplayName().empty()) << "Xvfb did not start";
    extraEnv_ = {"DISPLAY=" + screen.DisplayName(), "WAYLAND_DISPLAY=",   "SDL_VIDEODRIVER=",
                 "VELLACOR_DIALOG=accept",          "VELLACOR_MESSAGES=", "SDL_AUDIODRIVER=none-such"};
    const auto shownWithTitle = [&] {
        const std::vector<std::string> names = screen.Shown();
        return std::count(names.begin(), names.end(), std::string(kTitle));
    };
    for (const int signal : {SIGTERM, SIGKILL}) {
        SCOPED_TRACE(signal);
        const pid_t pid = Start({"/filesystem", "/oneshot"});
        ASSERT_NE(pid, 0);
        Reaper reaper{pid};
        // The window and the box over it.
        ASSERT_TRUE(WaitFor([&] { return shownWithTitle() == 2; })) << ::testing::PrintToString(screen.Shown());
        const std::vector<pid_t> box = Children(pid);
        ASSERT_EQ(box.size(), 1u) << "the box's process";
        ::kill(box[0], signal);
        EXPECT_TRUE(WaitFor([&] { return shownWithTitle() < 2; }, std::chrono::seconds(10)))
            << "the box stays: " << ::testing::PrintToString(screen.Shown());
        const Outcome run = Wait(pid);
        ASSERT_TRUE(run.exited);
        EXPECT_EQ(run.code, 0) << "the show goes on without sound\n" << run.log;
        EXPECT_NE(run.err.find("[warning] VELLACOR 06 (ver.1.0.1)\nDirectSound の初期化に失敗しました."),
                  std::string::npos)
            << run.err;
        EXPECT_NE(run.log.find("---- Application finalized ----"), std::string::npos) << run.log;
    }
}

// A stop is honoured whatever the run is stuck in; here its display server has stopped answering, so
// that the show's drawing and its own way out both wait on it. Three seconds after SIGTERM (ten at most
// on a loaded machine) the run is ended anyway with 143, a second signal ends it at once (by SIGINT
// itself for Ctrl+C), and the log says so. A person's second Ctrl+C at a terminal is never a copy of the
// first, however soon it comes.
TEST_F(ProgramTest, AStopIsHonouredWhateverTheRunIsStuckIn) {
    if (!VirtualScreen::Installed()) GTEST_SKIP() << "no " << VirtualScreen::kServer;
    const struct {
        std::vector<int> signals;  // 0: Ctrl+C pressed at the run's terminal
        int code;                  // the exit code, or minus the signal that ends it
        const char* line;
        int withinMs;
    } cases[] = {
        {{SIGTERM},
         143,
         "ERROR: the stop asked for by SIGTERM was not honoured within 3 s: the run is ended (exit code 143)",
         12000},
        {{SIGTERM, SIGINT},
         -SIGINT,
         "ERROR: a second stop signal (SIGINT) came: the run is ended at once (by SIGINT: 130 in a shell)",
         2500},
        {{0, 0},
         -SIGINT,
         "ERROR: a second stop signal (SIGINT) came: the run is ended at once (by SIGINT: 130 in a shell)",
         2500},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        const VirtualScreen screen;
        ASSERT_FALSE(screen.DisplayName().empty()) << "Xvfb did not start";
        extraEnv_ = {"DISPLAY=" + screen.DisplayName(),
                     "WAYLAND_DISPLAY=", "SDL_VIDEODRIVER=", "VELLACOR_DIALOG=accept", "VELLACOR_MESSAGES=log"};
        fs::remove(dir_ / "vellacor06.log");
        const Terminal terminal;
        terminal_ = c.signals[0] == 0 ? terminal.Path() : std::string();
        const pid_t pid = Start({"/filesystem", "/loop"});
        ASSERT_NE(pid, 0);
        Reaper reaper{pid};
        ASSERT_TRUE(PlaysTheShow());
        HoldTheShow(screen);
        const auto sent = std::chrono::steady_clock::now();
        for (const int signal : c.signals) {
            if (signal == 0)
                terminal.Press("\x03");
            else if (&signal == &c.signals.front())
                ::kill(pid, signal);
            else
                KillFromAnotherProcess(pid, signal);  // the same process's would be a copy
            std::this_thread::sleep_for(std::chrono::milliseconds(signal == 0 ? 100 : 200));
        }
        // Timed to the forced end's line: the clean-up after it has its own bound (the watch's tests), and
        // the kernel's teardown of a sanitized process takes seconds on a loaded machine.
        int status = 0;
        std::chrono::milliseconds took{-1};
        const bool ended = WaitFor(
            [&] {
                if (took.count() < 0 && WithoutWaits(Read(dir_ / "vellacor06.log")).find(c.line) != std::string::npos)
                    took =
                        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - sent);
                return ::waitpid(pid, &status, WNOHANG) == pid;
            },
            std::chrono::seconds(30));
        screen.Answer(true);
        ASSERT_TRUE(ended) << "only kill -9 ends it";
        reaper.pid = 0;
        if (c.code < 0) {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == -c.code) << status;
        } else {
            ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
            EXPECT_EQ(WEXITSTATUS(status), c.code);
        }
        const std::string log = WithoutWaits(Read(dir_ / "vellacor06.log"));
        if (took.count() < 0 && log.find(c.line) != std::string::npos)  // written as the run ended
            took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - sent);
        EXPECT_GE(took.count(), 0);
        EXPECT_LT(took.count(), c.withinMs);
        EXPECT_NE(log.find(std::string(c.line) + "\n"), std::string::npos) << log;
        EXPECT_EQ(log.find("---- Application finalized ----"), std::string::npos) << "it was not stuck";
        EXPECT_NE(WithoutWaits(Read(dir_ / "stderr.txt")).find(c.line + 7), std::string::npos);
    }
}

// An X server resets when its last client leaves, closing the connections still being set up then: a
// run that starts as another leaves loses its first connection so. While the display is there, that is
// no missing display: the run goes on, with Wayland out of reach and where SDL could fall back to its
// offscreen driver alike, and when the server resets again as the run tries again. A server that closes every connection ends the run at once as a display
// failure, SDL's own error in its reason. The connections are cut by a preloaded library.
TEST_F(ProgramTest, AConnectionTheXServerCutsAtItsSetUpIsNoMissingDisplay) {
    if (!VirtualScreen::Installed()) GTEST_SKIP() << "no " << VirtualScreen::kServer;
    const VirtualScreen screen;
    ASSERT_FALSE(screen.DisplayName().empty()) << "Xvfb did not start";
    const std::string noWayland = (dir_ / "runtime").string();  // a folder without a compositor's socket
    fs::create_directories(noWayland);
    fs::permissions(noWayland, fs::perms::owner_all, fs::perm_options::replace);
    const struct {
        const char* cut;
        const char* runtime;
        int code;
    } cases[] = {
        {"1", "", 0},
        {"1", noWayland.c_str(), 0},
        {"2", "", 0},  // the program's own connection is cut too, as at a second reset
        {"1000000", "", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("cut ") + c.cut + ", runtime folder \"" + c.runtime + "\"");
        fs::remove(dir_ / "vellacor06.log");
        extraEnv_ = {"DISPLAY=" + screen.DisplayName(), "WAYLAND_DISPLAY=", std::string("XDG_RUNTIME_DIR=") + c.runtime,
                     "SDL_VIDEODRIVER=", "VELLACOR_DIALOG=accept", "VELLACOR_MESSAGES=log",
                     std::string("LD_PRELOAD=") + TV_X_SETUP_CUT, std::string("TV_CUT_X_SETUPS=") + c.cut,
                     // the library comes before the sanitizers' runtime
                     "ASAN_OPTIONS=detect_leaks=0:verify_asan_link_order=0"};
        const Outcome run = Run({"/filesystem", "/oneshot"});
        ASSERT_TRUE(run.exited);
        EXPECT_EQ(run.code, c.code) << run.log << run.err;
        if (c.code == 0) {
            EXPECT_EQ(run.log.find("cannot open a display"), std::string::npos) << run.log;
            EXPECT_EQ(run.err.find("cannot open a display"), std::string::npos) << run.err;
            ExpectInOrder(run.log, {"Application driver running...", "---- Application finalized ----"});
        } else {
            const std::string last = LastLine(run.log);
            EXPECT_EQ(last.rfind("ERROR: cannot open a display: none of SDL's video drivers (", 0), 0u) << run.log;
            EXPECT_NE(last.find(" (SDL: x11"), std::string::npos) << run.log;
        }
    }
}

// A stop while the start waits for an X server that has stopped answering (SDL's own connection was cut
// at its set-up) ends that wait: the run ends as a stop at the start does, not forced a grace later.
TEST_F(ProgramTest, AStopEndsTheStartsWaitForAServerThatDoesNotAnswer) {
    if (!VirtualScreen::Installed()) GTEST_SKIP() << "no " << VirtualScreen::kServer;
    const VirtualScreen screen;
    extraEnv_ = {"DISPLAY=" + screen.DisplayName(),
                 "WAYLAND_DISPLAY=",
                 "XDG_RUNTIME_DIR=",
                 "SDL_VIDEODRIVER=",
                 "VELLACOR_MESSAGES=log",
                 std::string("LD_PRELOAD=") + TV_X_SETUP_CUT,
                 "TV_CUT_X_SETUPS=1",
                 "ASAN_OPTIONS=detect_leaks=0:verify_asan_link_order=0"};
    screen.Answer(false);
    const auto sent = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    const Outcome run = Run({"/filesystem", "/oneshot"}, std::chrono::seconds(1));
    screen.Answer(true);
    ASSERT_TRUE(run.exited) << "ended by signal " << run.signal;
    EXPECT_EQ(run.code, 0) << run.log << run.err;
    EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(10)) << "forced";
    EXPECT_EQ(LastLine(run.log), "INFO: ---- Application finalized ----") << run.log;
}

// Copies of one stop that come together are one stop: timeout sends SIGTERM to the program and then to
// its group, a terminal's Ctrl+C reaches each process of the group, a service manager signals the main
// process and then all of them, a shell that closes with the run suspended (Ctrl+Z) sends it SIGHUP,
// SIGTERM and SIGCONT. The run ends as the stop ends it, with its whole log.
TEST_F(ProgramTest, CopiesOfOneStopEndTheRunAsOneStop) {
    const struct {
        std::vector<int> signals;
        bool suspended;
    } cases[] = {{{SIGTERM, SIGTERM}, false}, {{SIGINT, SIGINT}, false}, {{SIGHUP, SIGTERM, SIGCONT}, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.signals.back());
        fs::remove(dir_ / "vellacor06.log");
        const pid_t pid = Start({"/filesystem", "/loop"});
        ASSERT_NE(pid, 0);
        Reaper reaper{pid};
        ASSERT_TRUE(PlaysTheShow());
        if (c.suspended) {  // as Ctrl+Z stops it (its group may be orphaned here, where SIGTSTP is not taken)
            ::kill(pid, SIGSTOP);
            ASSERT_TRUE(WaitFor([&] {
                const std::string stat = Read("/proc/" + std::to_string(pid) + "/stat");
                return stat.find(") T ") != std::string::npos;
            }));
        }
        for (const int signal : c.signals) {
            ::kill(pid, signal);
            if (!c.suspended) std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the first is taken
        }
        const Outcome run = Wait(pid);
        reaper.pid = 0;
        if (c.signals[0] == SIGINT) {
            EXPECT_EQ(run.signal, SIGINT) << "Ctrl+C's run ends by SIGINT";
        } else {
            ASSERT_TRUE(run.exited) << "ended by a signal";
            EXPECT_EQ(run.code, 0) << run.log << run.err;
        }
        EXPECT_NE(run.log.find("---- Application finalized ----"), std::string::npos) << run.log;
        EXPECT_EQ(run.log.find("stop signal"), std::string::npos) << run.log;
    }
}

// Ctrl+C stops the script that runs the program, as it does for any Unix program: bash goes on with its
// loop when the program it waited for exited (with 0, or 130 too) and stops only when it died of SIGINT.
// The run has shut down first: its log is whole.
TEST_F(ProgramTest, CtrlCStopsTheScriptThatRunsTheProgram) {
    const std::string runs = (dir_ / "runs").string();
    through_ = {"/bin/bash", "-c", "for i in 1 2; do echo $i >> '" + runs + "'; \"$0\" \"$@\"; done"};
    const pid_t pid = Start({"/filesystem", "/oneshot"});
    ASSERT_NE(pid, 0);
    const struct GroupReaper {
        pid_t group;
        ~GroupReaper() { ::kill(-group, SIGKILL); }
    } reaper{pid};
    ASSERT_TRUE(PlaysTheShow());
    ::kill(-pid, SIGINT);  // as a terminal sends Ctrl+C: to its foreground group, the script and the run
    const Outcome script = Wait(pid);
    EXPECT_EQ(script.signal, SIGINT) << "the script went on; its exit code " << script.code;
    EXPECT_EQ(Read(runs), "1\n");
    EXPECT_EQ(LastLine(script.log), "INFO: ---- Application finalized ----") << script.log;
}

// Closing the terminal a run was started from, or losing the SSH session, sends it SIGHUP: from the
// terminal's shell and from the kernel, one stop. The run ends as Escape ends it, with its whole log; its
// /console copy to the terminal, gone now, ends with a line in the log. Under nohup (SIGHUP ignored) the
// run goes on, its copy ended alike.
TEST_F(ProgramTest, ATerminalThatGoesAwayEndsTheRunAsEscapeDoesUnlessIgnored) {
    for (const bool nohup : {false, true}) {
        SCOPED_TRACE(nohup ? "SIGHUP ignored" : "SIGHUP");
        fs::remove(dir_ / "vellacor06.log");
        Terminal terminal;
        terminal_ = terminal.Path();
        ignoreHangUp_ = nohup;
        const pid_t pid = Start({"/filesystem", "/loop", "/console"});
        ASSERT_NE(pid, 0);
        Reaper reaper{pid};
        ASSERT_TRUE(PlaysTheShow());
        EXPECT_NE(terminal.Shown().find("] Started ----"), std::string::npos) << terminal.Shown();
        // As a hang-up comes: the terminal goes first, then its shell's SIGHUP, so that the run writes to
        // a closed terminal however quickly it ends.
        terminal.Close();
        ::kill(pid, SIGHUP);
        if (nohup) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            ASSERT_EQ(::waitpid(pid, nullptr, WNOHANG), 0) << "ended by the hang-up";
            ::kill(pid, SIGTERM);
        }
        const Outcome run = Wait(pid);
        reaper.pid = 0;
        ASSERT_TRUE(run.exited) << "ended by signal " << run.signal;
        EXPECT_EQ(run.code, 0) << run.log << run.err;
        ExpectInOrder(run.log, {"INFO: logger console closed - Input/output error", "---- Application finalized ----"});
        EXPECT_EQ(LastLine(run.log), "INFO: ---- Application finalized ----") << run.log;
        EXPECT_EQ(run.log.find("stop signal"), std::string::npos) << run.log;
    }
}

// An X server that wants a cookie the program has not got (XAUTHORITY names another file) refuses it:
// the run says that server refused it, with what it said, and the X library's own line on stderr comes
// once at most (nothing asks the server again, no message box tries it). With the cookie the run plays,
// also where its first connection is cut at its set-up: the program's own connection shows the cookie.
TEST_F(ProgramTest, AnXServerThatRefusesTheProgramIsNamedAsRefusing) {
    if (!VirtualScreen::Installed()) GTEST_SKIP() << "no " << VirtualScreen::kServer;
    const auto counted = [](const std::string& text) {
        return std::string{static_cast<char>(text.size() >> 8), static_cast<char>(text.size() & 0xFF)} + text;
    };
    const fs::path cookie = dir_ / "cookie";
    std::ofstream(cookie, std::ios::binary)
        << "\xff\xff" + counted("") + counted("") + counted("MIT-MAGIC-COOKIE-1") + counted("0123456789abcdef");
    const VirtualScreen screen(cookie.string());
    ASSERT_FALSE(screen.DisplayName().empty()) << "Xvfb did not start";
    const struct {
        fs::path authority;
        const char* cut;
        const char* messages;
        int code;
    } cases[] = {{dir_ / "none", "0", "", 1}, {cookie, "1", "log", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.authority);
        fs::remove(dir_ / "vellacor06.log");
        extraEnv_ = {"DISPLAY=" + screen.DisplayName(),
                     "WAYLAND_DISPLAY=",
                     "XDG_RUNTIME_DIR=",
                     "SDL_VIDEODRIVER=",
                     "VELLACOR_DIALOG=accept",
                     std::string("VELLACOR_MESSAGES=") + c.messages,
                     "XAUTHORITY=" + c.authority.string(),
                     std::string("LD_PRELOAD=") + TV_X_SETUP_CUT,
                     std::string("TV_CUT_X_SETUPS=") + c.cut,
                     "ASAN_OPTIONS=detect_leaks=0:verify_asan_link_order=0"};
        const Outcome run = Run({"/filesystem", "/oneshot"});
        ASSERT_TRUE(run.exited);
        EXPECT_EQ(run.code, c.code) << run.log << run.err;
        const std::string said = "Authorization required, but no authorization protocol specified";
        std::istringstream lines(run.err);
        int told = 0;
        for (std::string line; std::getline(lines, line);) told += line == said;
        EXPECT_LE(told, 1) << run.err;
        if (c.code == 0) continue;
        EXPECT_EQ(LastLine(run.log), "ERROR: cannot open a display: the X server at DISPLAY \"" + screen.DisplayName() +
                                         "\" refused the connection (it said: \"" + said + "\"): the program ends.")
            << run.log;
    }
}

// A real X server with the dummy video driver, whose output can be turned off (Xvfb's cannot): one
// output, DUMMY0, at 1024 x 768, with 960 x 540 beside. Needs root, as the server does without a seat.
class DummyXServer {
public:
    static constexpr const char* kServer = "/usr/lib/xorg/Xorg";
    static bool Installed() {
        return ::geteuid() == 0 && ::access(kServer, X_OK) == 0 && ::access("/usr/bin/xrandr", X_OK) == 0 &&
               ::access("/usr/lib/xorg/modules/drivers/dummy_drv.so", R_OK) == 0;
    }
    explicit DummyXServer(const fs::path& folder) {
        std::ofstream(folder / "xorg.conf")
            << "Section \"ServerFlags\"\n Option \"AutoAddDevices\" \"false\"\n Option \"DontVTSwitch\" \"true\"\n"
               "EndSection\nSection \"Device\"\n Identifier \"card\"\n Driver \"dummy\"\nEndSection\n"
               "Section \"Monitor\"\n Identifier \"monitor\"\n HorizSync 5.0 - 1000.0\n VertRefresh 5.0 - 200.0\n"
               " Modeline \"1024x768\" 63.50 1024 1072 1176 1328 768 771 775 798 -hsync +vsync\n"
               " Modeline \"960x540\" 40.75 960 992 1088 1216 540 543 548 562 -hsync +vsync\nEndSection\n"
               "Section \"Screen\"\n Identifier \"screen\"\n Device \"card\"\n Monitor \"monitor\"\n"
               " DefaultDepth 24\n SubSection \"Display\"\n  Depth 24\n  Modes \"1024x768\" \"960x540\"\n"
               " EndSubSection\nEndSection\n";
        display_ = StartXServer(
            {kServer, "-config", folder / "xorg.conf", "-noreset", "-nolisten", "tcp", "-logfile", folder / "xorg.log"},
            true, &server_);  // a session of its own: no terminal of the test's to take
    }
    ~DummyXServer() {
        if (server_ == 0) return;
        ::kill(server_, SIGTERM);
        ::waitpid(server_, nullptr, 0);
    }
    const std::string& DisplayName() const { return display_; }
    // What the output shows: "1024x768+0+0", or "" when nothing.
    std::string Shown() const {
        return Xrandr("| sed -n 's/^DUMMY0 connected \\(primary \\)\\?\\([0-9x+]*\\).*/\\2/p'");
    }
    // "--off", "--mode 960x540", "--mode 800x600 --rate 72.19".
    void Output(const std::string& how) const { Xrandr("--output DUMMY0 " + how); }
    // The mode shown as xrandr lists it: "800x600 72.19", or "" when none.
    std::string Mode() const { return Xrandr("| sed -n 's/^ *\\([0-9]*x[0-9]*\\) .* \\([0-9.]*\\)\\*.*/\\1 \\2/p'"); }

private:
    std::string Xrandr(const std::string& rest) const {
        std::string said;
        if (FILE* out = ::popen(("xrandr -d " + display_ + " " + rest + " 2>/dev/null").c_str(), "r")) {
            for (int c; (c = std::fgetc(out)) != EOF;) said += static_cast<char>(c);
            ::pclose(out);
        }
        return said.substr(0, said.find('\n'));
    }
    pid_t server_ = 0;
    std::string display_;
};

// A full-screen run killed half-way through a change of mode leaves the display with no mode at all,
// or in its own: the next run on that display puts the desktop's mode from the note that run left back
// before it opens its window, says so in its log, and plays. The note is judged once: a display in
// another mode, the same size at another rate too, is in one the user chose since, and stays so; the
// note goes either way. Without a note a dark display is named as having no mode, with how to light it.
// A forced end while another process holds the note (as a run stopped inside its own change of it
// would) does not wait for as long as it is held: the mode goes back, and the note stays for the next
// run, which finds the display in the desktop's mode and only removes it.
TEST_F(ProgramTest, ADisplayAKilledRunLeftIsPutBackByTheNextRun) {
    if (!DummyXServer::Installed()) GTEST_SKIP() << "no X server with the dummy driver, or not root";
    const DummyXServer screen(dir_);
    ASSERT_EQ(screen.Shown(), "1024x768+0+0") << Read(dir_ / "xorg.log");
    const fs::path runtime = dir_ / "runtime";
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all, fs::perm_options::replace);
    const fs::path note =
        runtime / ("vellacor-desktop-" + std::to_string(::getuid()) + "-_" + screen.DisplayName().substr(1));
    extraEnv_ = {"DISPLAY=" + screen.DisplayName(),
                 "WAYLAND_DISPLAY=",
                 "XDG_RUNTIME_DIR=" + runtime.string(),
                 "SDL_VIDEODRIVER=",
                 "SDL_AUDIODRIVER=dummy",
                 "VELLACOR_MESSAGES=log",
                 "VELLACOR_DIALOG="};
    // A run with the dialog's selection ("0,2,0,0,0,24,0": full screen, 960 x 540), and whether it plays.
    const auto play = [&](const std::string& selection, Reaper& run) {
        fs::remove(dir_ / "vellacor06.log");
        extraEnv_.back() = "VELLACOR_DIALOG=" + selection;
        run.pid = Start({"/filesystem", "/loop"});
        return PlaysTheShow();
    };
    // A windowed run that opens its window (stopped once it plays), or fails to.
    const auto windowed = [&](bool opens) {
        fs::remove(dir_ / "vellacor06.log");
        extraEnv_.back() = "VELLACOR_DIALOG=accept";
        const pid_t pid = Start({"/filesystem", "/loop"});
        Reaper reaper{pid};
        if (opens && PlaysTheShow()) ::kill(pid, SIGTERM);
        const Outcome run = Wait(pid);
        reaper.pid = 0;
        return run;
    };
    const std::string putBack =
        "INFO: the desktop's mode 1024x768 60 Hz was put back: a full-screen run that ended "
        "without putting it back left the display ";
    // First a display turned dark under a full-screen run (another run killed half-way through a change
    // of mode): the run still ends whole, and puts the desktop's mode back.
    Reaper first;
    ASSERT_TRUE(play("0,2,0,0,0,24,0", first));
    ASSERT_EQ(screen.Shown(), "960x540+0+0");
    screen.Output("--off");
    ::kill(first.pid, SIGTERM);
    const Outcome darkened = Wait(std::exchange(first.pid, 0));
    EXPECT_TRUE(darkened.exited && darkened.code == 0) << darkened.log << darkened.err;
    EXPECT_EQ(LastLine(darkened.log), "INFO: ---- Application finalized ----");
    EXPECT_EQ(screen.Shown(), "1024x768+0+0");
    // SDL asks after the controller the output no longer has: the refusal is logged, once.
    const std::string refused = "WARNING: the X server refused request ";
    const std::size_t refusal = darkened.log.find(refused);
    EXPECT_NE(darkened.log.find("BadRRCrtc", refusal), std::string::npos) << darkened.log;
    EXPECT_EQ(darkened.log.find(refused, refusal + 1), std::string::npos) << darkened.log;
    // Killed in full screen at 800 x 600, 72.19 Hz: the note has the rate as SDL gave it, the next run
    // compares the server's with it.
    Reaper killed;
    ASSERT_TRUE(play("0,7,0,0,0,24,0", killed));
    ASSERT_EQ(screen.Mode(), "800x600 72.19") << Read(dir_ / "vellacor06.log");
    ::kill(killed.pid, SIGKILL);
    Wait(std::exchange(killed.pid, 0));
    Outcome run = windowed(true);
    EXPECT_TRUE(run.exited && run.code == 0) << run.log << run.err;
    EXPECT_EQ(screen.Mode(), "1024x768 59.92");
    ExpectInOrder(run.log, {putBack + "in 800x600 72 Hz\n", "INFO: Display adapter #0: "});
    // The killed run, not yet waited for by its parent: a zombie, with the start time it had.
    const pid_t dead = ::fork();
    if (dead == 0) ::pause();
    const std::string line = Read("/proc/" + std::to_string(dead) + "/stat");
    std::istringstream stat(line.substr(line.rfind(')') + 2));
    std::string started;
    for (int field = 3; field <= 22; ++field) stat >> started;
    ::kill(dead, SIGKILL);
    const Reaper zombie{dead};
    const struct {
        const char* left;     // the mode the note says the killed run left ("": no note)
        const char* display;  // how the display is set before the next run
        const char* shown;    // the mode the next run leaves it in ("": dark)
        const char* why;      // the repair's reason in the log ("": no repair)
    } cases[] = {
        {"960 540 60", "--off", "1024x768 59.92", "dark"},
        {"960 540 60", "--mode 960x540", "1024x768 59.92", "in 960x540 60 Hz"},  // 59.63 Hz: 60 to both
        {"800 600 72", "--mode 800x600 --rate 85.14", "800x600 85.14", ""},      // the user's mode since
        {"", "--mode 800x600 --rate 72.19", "800x600 72.19", ""},                // a later start, no note left
        {"", "--off", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.left) + " / " + c.display);
        if (*c.left != '\0') std::ofstream(note) << "1024 768 60\n" << dead << " " << started << " " << c.left << "\n";
        screen.Output(c.display);
        ASSERT_NE(screen.Shown(), "1024x768+0+0");
        run = windowed(*c.shown != '\0');
        ASSERT_TRUE(run.exited);
        EXPECT_EQ(run.code, *c.shown != '\0' ? 0 : 1) << run.log << run.err;
        EXPECT_FALSE(fs::exists(note));
        EXPECT_EQ(screen.Mode(), c.shown);
        if (*c.shown == '\0') {
            EXPECT_NE(LastLine(run.log).find("\" has no mode to show a window in (none of its outputs is on); "
                                             "xrandr --output DUMMY0 --auto turns it on"),
                      std::string::npos)
                << run.log;
        } else if (*c.why != '\0') {
            ExpectInOrder(run.log, {putBack + c.why + "\n", "INFO: Display adapter #0: "});
        } else {
            EXPECT_EQ(run.log.find("desktop's mode"), std::string::npos) << run.log;
        }
    }
    // The forced end beside a held note: two stops from two other processes.
    screen.Output("--auto");
    Reaper forced;
    ASSERT_TRUE(play("0,2,0,0,0,24,0", forced));
    ASSERT_EQ(screen.Shown(), "960x540+0+0");
    const pid_t pid = forced.pid;
    const int held = ::open(note.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    // The second once the first is taken: two sent together may reach the process as one.
    KillFromAnotherProcess(pid, SIGTERM);
    EXPECT_TRUE(WaitFor([&] {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        for (std::string field; std::getline(status, field);) {
            if (field.rfind("ShdPnd:", 0) == 0)
                return (std::stoull(field.substr(7), nullptr, 16) >> (SIGTERM - 1) & 1) == 0;
        }
        return true;
    }));
    const plat::InstanceId instance = plat::InstanceOf(pid);
    KillFromAnotherProcess(pid, SIGTERM);
    // Its own end done (the kernel may take long to free a process on a loaded machine), the note held.
    const bool ended = WaitFor([&] { return !plat::InstanceRuns(instance); }, std::chrono::seconds(60));
    const std::string recorded = Read(note);
    ::close(held);
    ASSERT_TRUE(ended) << "waited for the note while it was held";
    const Outcome stopped = Wait(std::exchange(forced.pid, 0));
    EXPECT_TRUE(stopped.exited && stopped.code == 143) << stopped.log << stopped.err;
    EXPECT_EQ(screen.Shown(), "1024x768+0+0");
    EXPECT_NE(recorded.find("\n" + std::to_string(pid) + " "), std::string::npos) << "the note stays: " << recorded;
    // A start while another process holds the note waits for it 2 s at most, and leaves it be.
    const int again = ::open(note.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_EQ(::flock(again, LOCK_EX), 0);
    run = windowed(true);
    ::close(again);
    EXPECT_TRUE(run.exited && run.code == 0) << run.log << run.err;
    EXPECT_NE(run.log.find(" is not judged now: another process has held it for 2 s"), std::string::npos) << run.log;
    EXPECT_TRUE(fs::exists(note));
    run = windowed(true);
    EXPECT_TRUE(run.exited && run.code == 0) << run.log << run.err;
    EXPECT_FALSE(fs::exists(note));
    EXPECT_EQ(screen.Shown(), "1024x768+0+0");
    EXPECT_EQ(run.log.find("desktop's mode"), std::string::npos) << run.log;
}

// Another program destroys the run's window (a show that would loop for ever), windowed or full screen:
// the run ends at once with exit code 1, the reason naming the window as the log's last line and on
// the terminal.
TEST_F(ProgramTest, AWindowAnotherProgramDestroysEndsTheRunWithItsReason) {
    if (!VirtualScreen::Installed()) GTEST_SKIP() << "no " << VirtualScreen::kServer;
    const VirtualScreen screen;
    ASSERT_FALSE(screen.DisplayName().empty()) << "Xvfb did not start";
    for (const char* dialog : {"VELLACOR_DIALOG=accept", "VELLACOR_DIALOG=0,0,0,0,0,24,0"}) {
        SCOPED_TRACE(dialog);
        fs::remove(dir_ / "vellacor06.log");
        extraEnv_ = {
            "DISPLAY=" + screen.DisplayName(), "WAYLAND_DISPLAY=", "SDL_VIDEODRIVER=", dialog, "VELLACOR_MESSAGES=log",
            "XDG_RUNTIME_DIR=" + dir_.string()};
        const pid_t pid = Start({"/filesystem", "/loop"});
        ASSERT_NE(pid, 0);
        Reaper reaper{pid};
        ASSERT_TRUE(PlaysTheShow());
        const unsigned long window = screen.Destroy(kTitle);
        ASSERT_NE(window, 0u);
        const Outcome run = Wait(pid);
        reaper.pid = 0;
        ASSERT_TRUE(run.exited) << "not ended, or ended by a signal";
        EXPECT_EQ(run.code, 1) << run.log << run.err;
        std::ostringstream id;
        id << std::hex << window;
        const std::string why = "the program's window (X window 0x" + id.str() +
                                ") was destroyed by another program: the run is ended (exit code 1)";
        EXPECT_EQ(LastLine(run.log), "ERROR: " + why) << run.log;
        EXPECT_NE(run.err.find(why), std::string::npos) << run.err;
    }
}

// A forced end is the run's one end: the X server that held the run stopped, then gone while the end
// puts the display's mode back, does not end it a second way (Xlib's exit on a broken connection).
// The log ends with the forced end's line, and the desktop's mode, not put back, stays recorded for the
// next run.
TEST_F(ProgramTest, AForcedEndStaysTheOneEndWhenTheDisplayGoesAway) {
    if (!VirtualScreen::Installed()) GTEST_SKIP() << "no " << VirtualScreen::kServer;
    VirtualScreen screen;
    ASSERT_FALSE(screen.DisplayName().empty()) << "Xvfb did not start";
    // Full screen in the desktop's own size: the run holds the display's mode.
    extraEnv_ = {"DISPLAY=" + screen.DisplayName(), "WAYLAND_DISPLAY=",      "SDL_VIDEODRIVER=",
                 "VELLACOR_DIALOG=0,0,0,0,0,24,0",  "VELLACOR_MESSAGES=log", "XDG_RUNTIME_DIR=" + dir_.string()};
    const pid_t pid = Start({"/filesystem", "/loop"});
    ASSERT_NE(pid, 0);
    Reaper reaper{pid};
    ASSERT_TRUE(PlaysTheShow());
    HoldTheShow(screen);
    ::kill(pid, SIGTERM);
    const std::string line =
        "ERROR: the stop asked for by SIGTERM was not honoured within 3 s: the run is ended (exit code 143)";
    // The forced end has begun: its line is out, and the mode's return waits on the stopped server.
    EXPECT_TRUE(WaitFor([&] { return WithoutWaits(Read(dir_ / "vellacor06.log")).find(line) != std::string::npos; },
                        std::chrono::seconds(30)));
    screen.Crash();
    const Outcome run = Wait(pid);
    reaper.pid = 0;
    ASSERT_TRUE(run.exited) << "ended by a signal";
    EXPECT_EQ(run.code, 143) << run.log << run.err;
    const std::string log = WithoutWaits(run.log);
    EXPECT_EQ(log.substr(log.size() - std::min(log.size(), line.size() + 1)), line + "\n") << run.log;
    std::vector<std::string> records;
    for (const auto& entry : fs::directory_iterator(dir_)) {
        if (entry.path().filename().string().rfind("vellacor-desktop-", 0) == 0) records.push_back(Read(entry.path()));
    }
    ASSERT_EQ(records.size(), 1u) << "the record went with the mode not put back";
    EXPECT_EQ(records[0].rfind("1024 768 ", 0), 0u) << records[0];
}

// An argument is the user's text: a newline in it makes no log line of its own, a byte that is no
// UTF-8 does not make the log a binary file, and it is logged and told as it was typed, so that the
// user finds it. Each unknown switch is told on the terminal too, then the switches there are, once.
TEST(SwitchTest, UnknownSwitchesAreLoggedAndToldAsTypedAndEscaped) {
    tvtest::CapturedLog log;
    ::testing::internal::CaptureStderr();
    ReadSwitches({"/x\nINFO: forged", "/a\tb\x01\x7f\r", "/fu\xc3\x9f", "/OneShoot", "/\xff\xfe\x1b[2J", "/ONESHOT"});
    const std::string err = ::testing::internal::GetCapturedStderr();
    const char* const told[] = {"/x\\nINFO: forged", "/a\\tb\\x01\\x7f\\r", "/fu\xc3\x9f", "/OneShoot",
                                "/\\xff\\xfe\\x1b[2J"};
    std::string logged, printed;
    for (const char* arg : told) {
        logged += std::string("ERROR: unknown switch - '") + arg + "'\n";
        printed += std::string("unknown switch - '") + arg + "'\n";
    }
    EXPECT_EQ(log.Text(), logged + "INFO: oneshot mode\n");
    EXPECT_EQ(err, printed + "switches (any case): /oneshot, /loop, /filesystem, /console\n");

    ::testing::internal::CaptureStderr();
    ReadSwitches({"/loop", "/FileSystem"});
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "nothing told when every switch is known";
}

// Whether the text is UTF-8 without a control character other than line breaks and tabs: what a log
// or a terminal may be given.
bool PrintableText(const std::string& text) { return plat::Printable(text, plat::LineBreaks::Keep) == text; }

// Every outside value that reaches the log or the terminal reaches them escaped: the dialog's and the
// message boxes' environment variables, the display's name, a folder named by the environment, an
// argument. None writes a line of its own, sends the terminal an escape sequence or leaves the log with
// bytes that are no UTF-8.
TEST_F(ProgramTest, OutsideValuesReachTheLogAndTheTerminalEscaped) {
    const std::string forged = "\nINFO: forged\x1b[31m\xff";
    const std::string escaped = "\\nINFO: forged\\x1b[31m\\xff";
    const struct {
        const char* what;
        std::vector<std::string> env;
        std::vector<std::string> args;
        int code;
        std::string told;    // what the log or stderr holds
        bool logged = true;  // in the log as well as on stderr
    } cases[] = {
        {"dialog",
         {"VELLACOR_DIALOG=1" + forged, "VELLACOR_MESSAGES=log"},
         {"/filesystem", "/oneshot"},
         1,
         "VELLACOR_DIALOG='1" + escaped + "'"},
        {"messages (no archive: a box)",
         {"VELLACOR_MESSAGES=lg" + forged},
         {},
         1,
         "VELLACOR_MESSAGES='lg" + escaped + "' is neither",
         false},
        {"display",
         {"DISPLAY=:99" + forged, "WAYLAND_DISPLAY=", "XDG_RUNTIME_DIR=", "SDL_VIDEODRIVER=", "VELLACOR_MESSAGES=log"},
         {"/filesystem", "/oneshot"},
         1,
         "DISPLAY is \":99" + escaped + "\""},
        {"argument",
         {"VELLACOR_MESSAGES=log"},
         {"/filesystem", "/oneshot", "/x" + forged},
         0,
         "unknown switch - '/x" + escaped + "'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(dir_ / "vellacor06.log");
        extraEnv_ = c.env;
        const Outcome run = Run(c.args);
        ASSERT_TRUE(run.exited) << "crashed or hung";
        EXPECT_EQ(run.code, c.code) << run.log << run.err;
        EXPECT_NE(run.err.find(c.told), std::string::npos) << run.err;
        if (c.logged) {
            EXPECT_NE(run.log.find(c.told), std::string::npos) << run.log;
        }
        EXPECT_TRUE(PrintableText(run.log)) << run.log;
        EXPECT_TRUE(PrintableText(run.err)) << run.err;
        EXPECT_EQ(run.log.find("\nINFO: forged"), std::string::npos) << run.log;
    }

    // A folder for the log named by the environment, where the log cannot be written.
    fs::remove(dir_ / "vellacor06.log");
    fs::create_directories(dir_ / "vellacor06.log");  // a folder where the file would be
    const fs::path state = dir_ / ("st" + forged);
    std::ofstream(state) << "a file, not a folder";
    extraEnv_ = {"XDG_STATE_HOME=" + state.string()};
    const Outcome run = Run({"/filesystem", "/oneshot"});
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.err.find(dir_.string() + "/st" + escaped + "/vellacor/vellacor06.log: this run keeps no log"),
              std::string::npos)
        << run.err;
    EXPECT_TRUE(PrintableText(run.err)) << run.err;
}

// The program in a folder named with a line break and escape sequences, a scene named with them, a
// script that prints a line break and quotes one in an error, an object whose texture is named with
// one: read from the data folder and from the archive, no value starts a line of the log or of the
// terminal, and none reaches them raw. What the script prints is one line of the log.
TEST_F(ProgramTest, NoNameOrPrintedTextStartsALine) {
    const std::string forged = "\nINFO: forged\x1b[31m\r\xff";
    const std::string shown = "\\nINFO: forged\\x1b[31m\\r\\xff";
    const fs::path moved = dir_.parent_path() / (dir_.filename().string() + forged);
    fs::remove_all(moved);
    fs::rename(dir_, moved);
    dir_ = moved;
    const auto scriptWith = [](const std::string& extra) {
        std::string script = kSmokeScript;
        script.insert(script.find("return\r\n"), extra);
        return script;
    };
    Write("main.tvs", scriptWith("print(\"p\\nINFO: forged\\x1b[31m\")\r\nint n = 0\r\nn = \"q\\nINFO: forged\"\r\n"));
    Write("scenes/odd" + forged + ".lws", Read(dir_ / "data/scenes/demo.lws"));
    for (const bool packed : {false, true}) {
        SCOPED_TRACE(packed ? "archive" : "data folder");
        if (packed) Pack();
        extraEnv_ = {"VELLACOR_MESSAGES=log"};
        const Outcome run =
            Run(packed ? std::vector<std::string>{"/oneshot"} : std::vector<std::string>{"/filesystem", "/oneshot"});
        ASSERT_TRUE(run.exited) << "crashed or hung";
        EXPECT_EQ(run.code, 0) << run.log << run.err;
        std::string scene = "precache: scenes\\odd" + shown + ".lws";
        if (packed)
            std::transform(scene.begin(), scene.end(), scene.begin(),
                           [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; });
        EXPECT_NE(run.log.find(scene), std::string::npos) << run.log;
        EXPECT_NE(run.log.find("INFO: p\\nINFO: forged\\x1b[31m\n"), std::string::npos) << run.log;
        EXPECT_NE(run.log.find("type mismatch: n = \"q\\nINFO: forged\""), std::string::npos) << run.log;
        if (!packed) {
            EXPECT_NE(
                run.log.find("INFO: FileSystemDataLoader: root path = " + dir_.parent_path().string() + "/" +
                             moved.filename().string().substr(0, moved.filename().string().size() - forged.size()) +
                             shown + "/data/"),
                std::string::npos)
                << run.log;
        }
        EXPECT_EQ(run.log.find("\nINFO: forged"), std::string::npos) << run.log;
        EXPECT_EQ(run.err.find("\nINFO: forged"), std::string::npos) << run.err;
        EXPECT_TRUE(PrintableText(run.log)) << run.log;
        EXPECT_TRUE(PrintableText(run.err)) << run.err;
        fs::remove(dir_ / "data.tva");
    }

    // An object's texture named with a line break, which is missing: the run ends with a report that
    // names it, in the log and in the box printed on stderr.
    lwrtest::T3OMaterial red = lwrtest::Glowing("red", 1, 0, 0);
    red.textureName = "no" + forged + ".tga";
    lwrtest::WriteObject(dir_ / "data/scenes/box_000.t3o", lwrtest::Box({-1, -1, -1}, {1, 1, 1}, red));
    for (const bool packed : {false, true}) {
        SCOPED_TRACE(packed ? "archive, missing texture" : "data folder, missing texture");
        if (packed) Pack();
        extraEnv_ = {"VELLACOR_MESSAGES=log"};
        const Outcome run =
            Run(packed ? std::vector<std::string>{"/oneshot"} : std::vector<std::string>{"/filesystem", "/oneshot"});
        ASSERT_TRUE(run.exited) << "crashed or hung";
        EXPECT_EQ(run.code, 1) << run.log << run.err;
        EXPECT_NE(run.log.find("no" + shown + ".tga"), std::string::npos) << run.log;
        EXPECT_NE(run.err.find("no" + shown + ".tga"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("[error] "), std::string::npos) << run.err;
        EXPECT_EQ(run.log.find("\nINFO: forged"), std::string::npos) << run.log;
        EXPECT_EQ(run.err.find("\nINFO: forged"), std::string::npos) << run.err;
        EXPECT_TRUE(PrintableText(run.log)) << run.log;
        EXPECT_TRUE(PrintableText(run.err)) << run.err;
        fs::remove(dir_ / "data.tva");
    }
}

// `--help`, `-oneshot` and `--oneshot` are no switches: each is told on the terminal with the switches
// there are, and the run goes on without them (here in one-shot mode from the data folder, as asked).
TEST_F(ProgramTest, UnknownSwitchesAreToldOnTheTerminal) {
    const Outcome run = Run({"--help", "-oneshot", "/filesystem", "--oneshot", "/oneshot"});
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.code, 0) << run.log;
    EXPECT_NE(run.err.find("unknown switch - '--help'\nunknown switch - '-oneshot'\nunknown switch - '--oneshot'\n"
                           "switches (any case): /oneshot, /loop, /filesystem, /console\n"),
              std::string::npos)
        << run.err;
    ExpectInOrder(run.log,
                  {"ERROR: unknown switch - '--help'", "ERROR: unknown switch - '-oneshot'", "INFO: filesystem mode",
                   "ERROR: unknown switch - '--oneshot'", "INFO: oneshot mode", "---- Application finalized ----"});
}

// Without a display the run says why, first thing on stderr (no library's line before it) and last
// in the log.
TEST_F(ProgramTest, NoDisplayIsTheFirstWordAndTheLast) {
    extraEnv_ = {"DISPLAY=", "WAYLAND_DISPLAY=", "XDG_RUNTIME_DIR=", "SDL_VIDEODRIVER="};
    const Outcome run = Run({"/filesystem", "/oneshot"});
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.err.rfind("[error] vellacor06\n", 0), 0u) << run.err;
    EXPECT_NE(run.err.find("cannot open a display: "), std::string::npos) << run.err;
    const std::string last = LastLine(run.log);
    EXPECT_EQ(last.rfind("ERROR: cannot open a display: ", 0), 0u) << run.log;
    EXPECT_NE(last.find(": the program ends."), std::string::npos) << run.log;
}

// Switches apply in order, in any case; the data folder, once chosen, stays.
// A start-up step that fails once a stop was asked for (a library's call cut short by the signal, or
// any other failure by then) ends the run as the stop does: exit 0 and the stop's line, no failure
// that was not one. Here the display cannot be opened and the stop came before the program ran.
TEST_F(ProgramTest, AStepThatFailsAfterAStopEndsAsTheStopDoes) {
    extraEnv_ = {"DISPLAY=", "WAYLAND_DISPLAY=", "XDG_RUNTIME_DIR=", "SDL_VIDEODRIVER="};
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        fs::remove(dir_ / "vellacor06.log");
        holdStopSignals_ = true;
        const pid_t pid = Start({"/filesystem", "/oneshot"});
        ASSERT_NE(pid, 0);
        ::kill(pid, signal);
        const Outcome run = Wait(pid);
        if (signal == SIGINT) {
            EXPECT_EQ(run.signal, SIGINT) << "Ctrl+C's run ends by SIGINT";
        } else {
            ASSERT_TRUE(run.exited);
            EXPECT_EQ(run.code, 0) << run.log;
        }
        EXPECT_EQ(run.err.find("cannot open a display"), std::string::npos) << run.err;
        EXPECT_EQ(run.log.find("cannot open a display"), std::string::npos) << run.log;
        EXPECT_EQ(run.log.find("ERROR"), std::string::npos) << run.log;
        ExpectInOrder(run.log,
                      {"INFO: コンフィグダイアログをキャンセルしました.", "INFO: ---- Application finalized ----"});
    }
}

TEST(SwitchTest, LaterSwitchesOverrideEarlierOnesAndOthersAreSkipped) {
    using Source = StartupSettings::DataSource;
    const struct {
        std::vector<std::string> args;
        Source source;
        bool oneShot;
    } cases[] = {
        {{}, Source::Archive, false},
        {{"/ONESHOT"}, Source::Archive, true},
        {{"/oneshot", "/loop"}, Source::Archive, false},
        {{"/loop", "/OneShot"}, Source::Archive, true},
        {{"/filesystem", "/loop", "/oneshot2", "oneshot"}, Source::Directory, false},
    };
    for (const auto& c : cases) {
        const StartupSettings settings = ReadSwitches(c.args);
        EXPECT_EQ(settings.source, c.source) << ::testing::PrintToString(c.args);
        EXPECT_EQ(settings.oneShot, c.oneShot) << ::testing::PrintToString(c.args);
    }
}

}  // namespace
