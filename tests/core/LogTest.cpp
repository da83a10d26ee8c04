#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <clocale>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "TestUtil.h"
#include "core/CommandLine.h"
#include "core/Exception.h"
#include "core/Log.h"
#include "core/Path.h"
#include "core/Text.h"
#include "platform/Printable.h"
#include "platform/System.h"

using namespace trivale;

TEST(LogLines, PrefixesAndLocatedFormats) {
    tvtest::CapturedLog log;
    LogError("e%d", 1);
    EXPECT_EQ(log.Text(), "ERROR: e1\n");  // flushed at once
    LogInfo("i%s", "x");
    LogPlain("p");
    LogInfoString("100% %s %d");  // never read as a format
    LogErrorAt("message", "core/Thing.cpp", 42);
    LogWin32Error(ENOENT, "core/Thing.cpp", 7);
    LogWin32Error(0, "core/Thing.cpp", 8);
    LogDirectXError(0x10, "ERR_LOST", "the device is lost", "devices/G.cpp", 3);
    LogDirectXError(0x11, nullptr, nullptr, "devices/G.cpp", 4);
    const int line = __LINE__ + 1;
    TV_LOG_ERROR_AT("here");
    EXPECT_EQ(log.Text(),
              "ERROR: e1\nINFO: ix\np\nINFO: 100% %s %d\n"
              "ERROR: \n\tmessage\n\tcore/Thing.cpp(42)\n"
              "ERROR: \n\tWin32Error(0x2): No such file or directory\n\tcore/Thing.cpp(7)\n"
              "ERROR: \n\tWin32Error(0x0): (no message)\n\tcore/Thing.cpp(8)\n"
              "ERROR: \n\tDirectX Error: ERR_LOST(0x10): the device is lost\n\tdevices/G.cpp(3)\n"
              "ERROR: \n\tDirectX Error: UNKNOWN(0x11): n/a\n\tdevices/G.cpp(4)\n"
              "ERROR: \n\there\n\ttests/core/LogTest.cpp(" +
                  std::to_string(line) + ")\n");
}

// Outside text (a file's name, what a script prints, an environment value) reaches the log and its
// console neither with control characters nor with bytes that are no UTF-8: grep would take the log for
// a binary file, and a terminal would act on an escape sequence. A format's own line breaks stay; every
// value put into it is escaped whole.
TEST(LogLines, OutsideTextIsWrittenEscaped) {
    EXPECT_EQ(plat::Printable("plain /Foo ß 設定"), "plain /Foo ß 設定");
    EXPECT_EQ(plat::Printable("a\nb\r\tc\x1b[31m\x7f"), "a\\nb\\r\\tc\\x1b[31m\\x7f");
    EXPECT_EQ(plat::Printable(std::string("\0x", 2)), "\\x00x");
    // A stray continuation byte, a lead byte cut short, an overlong '/', a surrogate, beyond U+10FFFF,
    // and the C1 control CSI, which some terminals take as ESC [.
    EXPECT_EQ(plat::Printable("\x80|\xe3\x81|\xc0\xaf|\xed\xa0\x80|\xf4\x90\x80\x80|\xc2\x9b"),
              "\\x80|\\xe3\\x81|\\xc0\\xaf|\\xed\\xa0\\x80|\\xf4\\x90\\x80\\x80|\\xc2\\x9b");
    EXPECT_EQ(plat::Printable("one\n\ttwo\x1b", plat::LineBreaks::Keep), "one\n\ttwo\\x1b");

    tvtest::CapturedLog log;
    LogInfoString("file \"/tmp/\xff\x1b]0;title\x07.png\"");
    LogErrorAt("message", "core/Thing.cpp", 1);
    LogApplicationException("cannot open \"a\nERROR: forged\"", "EFileOpenError", "CFileStream\r");
    EXPECT_EQ(log.Text(),
              "INFO: file \"/tmp/\\xff\\x1b]0;title\\x07.png\"\n"
              "ERROR: \n\tmessage\n\tcore/Thing.cpp(1)\n"
              "ERROR:\n\tアプリケーション例外が発生しました.\n"
              "\t詳細: cannot open \"a\\nERROR: forged\"\n\t例外: EFileOpenError\n\t発生元: CFileStream\\r\n");
}

// Whatever fills a format is a value, and no value starts a line: a data folder, a scene's or a
// texture's name, what a script prints, an exception's message. The call site need not escape it (the
// sites below pass them raw, as every site does); the format's own line breaks and tabs stay, as does
// a message of the program's own that spans lines on purpose.
TEST(LogLines, NoValueStartsALineWhereverItIsPut) {
    tvtest::CapturedLog log;
    const std::string forged = "x\nINFO: forged\r\x1b[2J\t\xff";
    const std::string shown = "x\\nINFO: forged\\r\\x1b[2J\\t\\xff";
    LogInfoString("FileSystemDataLoader: root path = /tmp/" + forged + "/data/");
    LogInfo("precache: %s", ("scenes\\" + forged + ".lws").c_str());
    LogError("%s: object %s (layer %lld) not loaded from %s", forged.c_str(), forged.c_str(), 1LL, forged.c_str());
    LogErrorAt("script error: " + forged, "script/S.cpp", 3);
    LogPlain("ERROR:\n\t%s\n\t%c%c", forged.c_str(), '\n', 'y');
    LogApplicationException(forged, forged, forged);
    LogErrorAt(OwnLines("no adapter.\nsee the driver."), "devices/C.cpp", 5);
    EXPECT_EQ(log.Text(), "INFO: FileSystemDataLoader: root path = /tmp/" + shown + "/data/\n" +
                              "INFO: precache: scenes\\" + shown + ".lws\n" + "ERROR: " + shown + ": object " + shown +
                              " (layer 1) not loaded from " + shown + "\n" + "ERROR: \n\tscript error: " + shown +
                              "\n\tscript/S.cpp(3)\n" + "ERROR:\n\t" + shown + "\n\t\\ny\n" +
                              "ERROR:\n\tアプリケーション例外が発生しました.\n\t詳細: " + shown + "\n\t例外: " + shown +
                              "\n\t発生元: " + shown + "\n" +
                              "ERROR: \n\tno adapter.\nsee the driver.\n\tdevices/C.cpp(5)\n");
    for (const std::string& line : log.Lines()) EXPECT_NE(line.rfind("INFO: forged", 0), 0u) << line;
}

// Escaping the values leaves the rest of printf's work as it was: widths, precisions, flags, lengths
// and every kind of conversion give what vsnprintf gives for a printable value.
TEST(LogLines, FormatsOtherwiseAsPrintfDoes) {
    tvtest::CapturedLog log;
    char abc[3] = {'a', 'b', 'c'};  // no NUL: a precision keeps the read within it
    const long long big = -1234567890123LL;
    const void* pointer = &big;
    LogInfo("[%5s|%-5s|%.2s|%*s|%-*s|%.*s|%.*s|%3c|%-3c|%%|%d|%+05d|%u|%x|%#X|%o|%ld|%lld|%llu|%zu|%hhd|%hu]", "ab",
            "ab", "xyz", 4, "q", 3, "r", 2, abc, -1, "whole", 'c', 'd', -7, 42, 7u, 255u, 255u, 8u, -5L, big, 5ULL,
            std::size_t{9}, 300, 70000);
    LogInfo("[%f|%.3e|%g|%10.2f|%-8.1f|%a|%Lf|%p|%jd|%td]", 2.25, 12345.678, 0.0001, 3.14159, -2.5, 1.0,
            static_cast<long double>(1.5), pointer, std::intmax_t{-3}, std::ptrdiff_t{-4});
    const std::string expected =
        FormatString("[%5s|%-5s|%.2s|%*s|%-*s|%.*s|%.*s|%3c|%-3c|%%|%d|%+05d|%u|%x|%#X|%o|%ld|%lld|%llu|%zu|%hhd|%hu]",
                     "ab", "ab", "xyz", 4, "q", 3, "r", 2, abc, -1, "whole", 'c', 'd', -7, 42, 7u, 255u, 255u, 8u, -5L,
                     big, 5ULL, std::size_t{9}, 300, 70000) +
        "\n" +
        FormatString("[%f|%.3e|%g|%10.2f|%-8.1f|%a|%Lf|%p|%jd|%td]", 2.25, 12345.678, 0.0001, 3.14159, -2.5, 1.0,
                     static_cast<long double>(1.5), pointer, std::intmax_t{-3}, std::ptrdiff_t{-4});
    EXPECT_EQ(log.Text(), "INFO: " + std::string(expected).replace(expected.find('\n'), 1, "\nINFO: ") + "\n");
    // A width pads the escaped value.
    LogInfo("%6s|", "\n");
    EXPECT_EQ(log.Lines().back(), "INFO:     \\n|");
}

TEST(LogLines, OpenOnceTruncatedAndMirroredToTheConsoleWithOrWithoutAFile) {
    tvtest::TempDir dir;
    tvtest::WriteFile(dir / "a.log", "old contents\n");
    CloseLogFile();
    {  // while another run holds the log, it stays whole and this run has none
        const int held = ::open((dir / "a.log").c_str(), O_RDONLY);
        ASSERT_EQ(::flock(held, LOCK_EX), 0);
        OpenLogFileFor(dir / "a.exe");
        EXPECT_EQ(GetLogFileState(), LogFileState::InUse);
        EXPECT_EQ(GetLogFilePath(), dir / "a.log");
        EXPECT_EQ(tvtest::ReadFile(dir / "a.log"), "old contents\n");
        ::close(held);
    }
    OpenLoggerConsole();
    testing::internal::CaptureStdout();
    LogInfo("only the console hears this");  // a run without a file still shows its log
    OpenLogFileFor(dir / "a.exe");
    OpenLogFileAt(dir / "b.log");  // already open: no effect
    LogInfo("x");
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "INFO: only the console hears this\nINFO: x\n");
    EXPECT_EQ(GetLogFileState(), LogFileState::Open);
    CloseLogFile();
    LogPlain("after close");
    EXPECT_EQ(tvtest::ReadFile(dir / "a.log"), "INFO: x\n");
    EXPECT_EQ(plat::GetPathKind(dir / "b.log"), plat::PathKind::Missing);
}

// A console that is a pipe or a file is buffered in blocks; whoever reads it (tee, the output of a run
// killed midway) still gets each line as it is logged.
TEST(LogLines, ConsoleLinesReachAPipeAsTheyAreLogged) {
    tvtest::TempDir dir;
    CloseLogFile();
    std::fflush(stdout);
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const int saved = ::dup(STDOUT_FILENO);
    ASSERT_EQ(::dup2(ends[1], STDOUT_FILENO), STDOUT_FILENO);
    ASSERT_EQ(std::setvbuf(stdout, nullptr, _IOFBF, BUFSIZ), 0);  // as the C library buffers a pipe
    const auto available = [&] {
        std::string text;
        pollfd reader = {ends[0], POLLIN, 0};
        char buffer[256];
        while (::poll(&reader, 1, text.empty() ? 1000 : 0) == 1) {
            const ssize_t got = ::read(ends[0], buffer, sizeof buffer);
            if (got <= 0) break;
            text.append(buffer, static_cast<std::size_t>(got));
        }
        return text;
    };
    OpenLogFileAt(dir / "c.log");
    OpenLoggerConsole();
    LogInfo("first");
    const std::string first = available();
    LogErrorAt("second", "core/Thing.cpp", 2);
    const std::string second = available();
    CloseLogFile();
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    ::close(ends[0]);
    ::close(ends[1]);
    EXPECT_EQ(first, "INFO: first\n");
    EXPECT_EQ(second, "ERROR: \n\tsecond\n\tcore/Thing.cpp(2)\n");
}

// A log that cannot be written (a full disk) is told once on stderr, with its name and why; the run
// and its other lines go on.
TEST(LogLines, AFailedWriteIsToldOnceWithTheFileAndWhy) {
    CloseLogFile();
    testing::internal::CaptureStderr();
    OpenLogFileAt("/dev/full");
    LogInfo("lost");
    LogError("lost too");
    CloseLogFile();
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_EQ(told, "/dev/full cannot be written: No space left on device; the run goes on with its log incomplete\n");
}

// A console whose reader has gone (`| head`) no longer ends the run: it is given up, and the file says
// so once.
TEST(LogLines, AConsoleWhoseReaderIsGoneIsGivenUp) {
    tvtest::TempDir dir;
    CloseLogFile();
    std::fflush(stdout);
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const int saved = ::dup(STDOUT_FILENO);
    ASSERT_EQ(::dup2(ends[1], STDOUT_FILENO), STDOUT_FILENO);
    ::close(ends[1]);
    ::close(ends[0]);  // the reader leaves at once
    OpenLogFileAt(dir / "d.log");
    OpenLoggerConsole();
    LogInfo("one");
    LogInfo("two");
    OpenLoggerConsole();  // as the switches do after the start: a console given up stays closed
    LogInfo("three");
    CloseLogFile();
    std::clearerr(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    EXPECT_EQ(tvtest::ReadFile(dir / "d.log"),
              "INFO: one\nINFO: logger console closed - Broken pipe\nINFO: two\nINFO: three\n");
}

// A program in a folder that takes no file (an install folder; here one that does not exist, which
// stops root too) logs to the user's state folder and says where, once.
TEST(LogLines, UnwritableProgramFolderLogsToTheStateFolder) {
    tvtest::TempDir dir;
    tvtest::ScopedEnv state("XDG_STATE_HOME", (dir / "state").c_str());
    EXPECT_EQ(GetFallbackLogDirectory(), dir / "state/vellacor/");
    CloseLogFile();
    std::vector<std::string> folders = {dir / "missing"};
    tvtest::WriteFile(dir / "ro/keep", "");
    if (geteuid() != 0) {  // permissions stop only an ordinary user
        chmod((dir / "ro").c_str(), 0555);
        folders.push_back(dir / "ro");
    }
    std::string told;
    for (const std::string& folder : folders) {
        testing::internal::CaptureStderr();
        OpenLogFileFor(folder + "/prog");
        LogInfo("kept");
        CloseLogFile();
        told += testing::internal::GetCapturedStderr();
        EXPECT_EQ(tvtest::ReadFile(dir / "state/vellacor/prog.log"), "INFO: kept\n") << folder;
    }
    EXPECT_EQ(told,
              folders[0] + "/prog.log cannot be written; the log is in " + (dir / "state/vellacor/prog.log") + "\n");
    // With the state folder unusable too, the log stays closed and nothing fails.
    setenv("XDG_STATE_HOME", (dir / "ro/keep").c_str(), 1);
    OpenLogFileFor(dir / "missing/prog");
    EXPECT_FALSE(IsLogFileOpen());
    chmod((dir / "ro").c_str(), 0755);
}

TEST(TextFunctions, FormattingLowerCaseAndConversions) {
    EXPECT_EQ(FormatString("%s", std::string(600, 'a').c_str()), std::string(511, 'a'));
    EXPECT_EQ(IntToString(INT_MIN), "-2147483648");
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    // A library may switch the process to a locale with a decimal comma.
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) std::setlocale(LC_NUMERIC, "fr_FR.UTF-8");
    EXPECT_EQ(FloatToString(2.25), "2.250000");
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(ToLowerCase("Fonts\\FONT08T2.PNG"), "fonts\\font08t2.png");
    EXPECT_EQ(ToLowerCase(std::string("AB\0CD", 5)), "ab");
    EXPECT_EQ(ToLowerCase("ÄÖ"), "ÄÖ");  // bytes above 0x7F are left alone
    EXPECT_EQ(WideToAnsi(L"a\u96EA"), "a\xE9\x9B\xAA");
    EXPECT_EQ(Utf8ToAnsi(std::string("a\xFF"
                                     "b\xE9\x9B",
                                     5)),
              "a?b??");
}

TEST(PathFunctions, SplittingAndTrailingSeparatorsOfBothKinds) {
    const struct {
        const char *path, *dir, *name, *ext, *excluded, *included;
    } cases[] = {
        {"C:\\games\\prog.exe", "C:\\games\\", "prog.exe", ".exe", "C:\\games\\prog.exe", "C:\\games\\prog.exe\\"},
        {"a.b.c", "", "a.b.c", ".c", "a.b.c", "a.b.c\\"},
        {"dir.x/file", "dir.x/", "file", "", "dir.x/file", "dir.x/file\\"},
        {"dir\\", "dir\\", "", "", "dir", "dir\\"},
        {"dir/", "dir/", "", "", "dir", "dir/"},
        {"", "", "", "", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ExtractFileDir(c.path) + "|" + ExtractFileName(c.path) + "|" + ExtractFileExt(c.path),
                  std::string(c.dir) + "|" + c.name + "|" + c.ext);
        EXPECT_EQ(ExcludeTrailingBackslash(c.path), c.excluded) << c.path;
        EXPECT_EQ(IncludeTrailingBackslash(c.path), c.included) << c.path;
    }
    EXPECT_EQ(ChangeFileExt("C:\\games\\prog.exe", ".log"), "C:\\games\\prog.log");
    EXPECT_EQ(ChangeFileExt("/opt/bench/prog", ".log"), "/opt/bench/prog.log");
    EXPECT_EQ(ChangeFileExt("/opt/bench/prog.bin", ""), "/opt/bench/prog");
    const std::string cwd = plat::GetCurrentDirectory();
    EXPECT_EQ((std::vector<std::string>{ExpandFileName("data\\"), ExpandFileName("/a/b\\..\\c/./d\\"),
                                        ExpandFileName("/.."), ExpandFileName("")}),
              (std::vector<std::string>{cwd + "/data/", "/a/c/d/", "/", ""}));
}

TEST(CommandLine, ParamStrAndProgramPath) {
    const char* argv[] = {"./prog", "/filesystem", "/oneshot"};
    plat::SetCommandLine(3, argv);
    EXPECT_EQ(ParamStr(2), "/oneshot");
    EXPECT_EQ(tvtest::Thrown<EInvalidParameter>([] { ParamStr(ParamCount()); }),
              "ParamStr(3): パラメータの範囲が不正です. @");
    EXPECT_THROW(ParamStr(-1), EInvalidParameter);
    EXPECT_EQ(GetModuleFilePath().rfind('/', 0), 0u);  // the log lies beside the program wherever it runs from
}
