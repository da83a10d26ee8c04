// The program as a user runs it: a copy beside a small show (a scene, fonts, a script), started in a
// process of its own under the offscreen driver, from the data folder and from the archive.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "benchmark/Application.h"
#include "tests/benchmark/OverlayFonts.h"
#include "tests/core/TestUtil.h"
#include "tests/lwrender/scene/LwTestScene.h"
#include "tools/ArchivePacker.h"

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
        std::vector<std::string> all = args;
        argv.push_back(program.data());
        for (auto& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 2, (dir_ / errName).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (stdout_ >= 0)
            posix_spawn_file_actions_adddup2(&files, stdout_, 1);
        else
            posix_spawn_file_actions_addopen(&files, 1, (dir_ / "stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                             0644);
        pid_t pid = 0;
        if (posix_spawn(&pid, program.c_str(), &files, nullptr, argv.data(), envp.data()) != 0) pid = 0;
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
        outcome.log = Read(dir_ / "vellacor06.log");
        outcome.err = Read(dir_ / errName);
        outcome.out = Read(dir_ / "stdout.txt");
        return outcome;
    }

    Outcome Run(const std::vector<std::string>& args, std::chrono::milliseconds stopAfter = {}) {
        return Wait(Start(args), stopAfter);
    }

    static std::string Read(const fs::path& path) {
        if (!fs::is_regular_file(path)) return std::string();
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::vector<std::string> extraEnv_;
    int stdout_ = -1;  // the standard output the program gets; a file of the folder when negative
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

TEST_F(ProgramTest, PlaysTheShowOnceFromTheDataFolder) {
    const Outcome run = Run({"/filesystem", "/Foo", "/ONESHOT"});
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.code, 0) << run.log;
    ExpectInOrder(run.log, {"] Started ----", "INFO: filesystem mode", "ERROR: unknown switch - '/foo'",
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

// Ctrl+C or a session's SIGTERM while the dialog waits ends the run as Cancel does. The dialog needs an X
// server: the test runs where Xvfb is installed. A signal that comes before the dialog is up is the video
// layer's (a quit the show would see), so the signal is repeated until the run ends.
TEST_F(ProgramTest, ASignalAtTheDialogEndsTheRunAsCancelDoes) {
    const char* const server = "/usr/bin/Xvfb";
    if (::access(server, X_OK) != 0) GTEST_SKIP() << "no " << server;
    int ready[2];
    ASSERT_EQ(::pipe2(ready, O_CLOEXEC), 0);
    const std::string fd = std::to_string(ready[1]);
    std::vector<std::string> serverArgs = {server, "-displayfd", fd, "-nolisten", "tcp", "-screen", "0", "1024x768x24"};
    std::vector<char*> argv;
    for (auto& a : serverArgs) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_adddup2(&files, ready[1], ready[1]);  // kept open across the exec
    posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
    pid_t xvfb = 0;
    const int spawned = posix_spawn(&xvfb, server, &files, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    ::close(ready[1]);
    ASSERT_EQ(spawned, 0);
    struct Stop {  // the server goes with the test, however it ends
        pid_t pid;
        ~Stop() {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
    } stop{xvfb};
    std::string display;
    char c = 0;
    while (::read(ready[0], &c, 1) == 1 && c != '\n') display += c;
    ::close(ready[0]);
    ASSERT_FALSE(display.empty()) << "Xvfb did not start";

    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        extraEnv_ = {"DISPLAY=:" + display, "WAYLAND_DISPLAY=", "SDL_VIDEODRIVER=", "VELLACOR_DIALOG="};
        fs::remove(dir_ / "vellacor06.log");  // the last run's log says nothing about this one
        const pid_t pid = Start({"/filesystem", "/oneshot"});
        ASSERT_NE(pid, 0);
        int status = 0;
        bool ended = false;
        for (int i = 0; i < 600 && !ended; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            ended = ::waitpid(pid, &status, WNOHANG) == pid;
            const bool dialog =
                Read(dir_ / "vellacor06.log").find("Config dialog DLL load successful.") != std::string::npos;
            if (!ended && dialog && i % 20 == 0) ::kill(pid, signal);
        }
        if (!ended) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
        }
        ASSERT_TRUE(ended && WIFEXITED(status)) << "still at the dialog";
        EXPECT_EQ(WEXITSTATUS(status), 0);
        const std::string log = Read(dir_ / "vellacor06.log");
        ExpectInOrder(log, {"INFO: コンフィグダイアログをキャンセルしました.", "---- Application finalized ----"});
    }
}

// An argument is the user's text: a newline in it makes no log line of its own.
TEST(SwitchTest, ControlCharactersInAnArgumentAreLoggedEscaped) {
    tvtest::CapturedLog log;
    ReadSwitches({"/x\nINFO: forged", std::string("/a\tb\x01\x7f\r", 8), "/fu\xc3\x9f"});
    EXPECT_EQ(log.Text(),
              "ERROR: unknown switch - '/x\\ninfo: forged'\n"
              "ERROR: unknown switch - '/a\\tb\\x01\\x7f\\r'\n"
              "ERROR: unknown switch - '/fu\xc3\x9f'\n");
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
    std::istringstream log(run.log);
    std::string line, last;
    while (std::getline(log, line)) last = line;
    EXPECT_EQ(last.rfind("ERROR: cannot open a display: ", 0), 0u) << run.log;
    EXPECT_NE(last.find(": the program ends."), std::string::npos) << run.log;
}

// Switches apply in order, in any case; the data folder, once chosen, stays.
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
