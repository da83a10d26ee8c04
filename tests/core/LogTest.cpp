#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <clocale>

#include "TestUtil.h"
#include "core/Exception.h"
#include "core/Log.h"
#include "platform/System.h"

using namespace trivale;

TEST(LogLines, PrefixesAndFlushPerLine) {
    tvtest::CapturedLog log;
    LogError("e%d", 1);
    EXPECT_EQ(log.Text(), "ERROR: e1\n");  // flushed at once
    LogInfo("i%s", "x");
    LogPlain("p");
    LogInfoString("100% %s %d");  // never read as a format
    EXPECT_EQ(log.Text(), "ERROR: e1\nINFO: ix\np\nINFO: 100% %s %d\n");
}

TEST(LogLines, LocatedErrorFormats) {
    tvtest::CapturedLog log;
    LogErrorAt("message", "core/Thing.cpp", 42);
    LogWin32Error(ENOENT, "core/Thing.cpp", 7);
    LogWin32Error(0, "core/Thing.cpp", 8);
    const int line = __LINE__ + 1;
    TV_LOG_ERROR_AT("here");
    EXPECT_EQ(log.Text(),
              "ERROR: \n\tmessage\n\tcore/Thing.cpp(42)\n"
              "ERROR: \n\tWin32Error(0x2): No such file or directory\n\tcore/Thing.cpp(7)\n"
              "ERROR: \n\tWin32Error(0x0): (no message)\n\tcore/Thing.cpp(8)\n"
              "ERROR: \n\there\n\ttests/core/LogTest.cpp(" + std::to_string(line) + ")\n");
}

namespace {
bool TestCodeText(int code, std::string* name, std::string* description) {
    if (code != 0x10) return false;
    *name = "ERR_LOST";
    *description = "the device is lost";
    return true;
}
}  // namespace

TEST(LogLines, DeviceErrorLine) {
    tvtest::CapturedLog log;
    SetResultCodeTextFunc(&TestCodeText);
    LogDirectXError(0x10, "devices/G.cpp", 3);
    LogDirectXError(0x11, "devices/G.cpp", 4);
    SetResultCodeTextFunc(nullptr);
    EXPECT_EQ(log.Text(),
              "ERROR: \n\tDirectX Error: ERR_LOST(0x10): the device is lost\n\tdevices/G.cpp(3)\n"
              "ERROR: \n\tDirectX Error: UNKNOWN(0x11): n/a\n\tdevices/G.cpp(4)\n");
}

TEST(LogLines, ClosedLogWritesNowhereConsoleIncluded) {
    CloseLogFile();
    OpenLoggerConsole();
    testing::internal::CaptureStdout();
    LogInfo("nobody hears this");
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "");
    {
        tvtest::CapturedLog log;
        testing::internal::CaptureStdout();
        LogInfo("mirrored");
        std::fflush(stdout);
        out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(out, "INFO: mirrored\n");
    }
}

TEST(LogLines, OpenTwiceKeepsFirstAndTruncatesAtStart) {
    tvtest::TempDir dir;
    tvtest::WriteFile(dir / "a.log", "old contents\n");
    CloseLogFile();
    OpenLogFileAt(dir / "a.log");
    OpenLogFileAt(dir / "b.log");  // already open: no effect
    LogPlain("x");
    CloseLogFile();
    EXPECT_EQ(tvtest::ReadFile(dir / "a.log"), "x\n");
    EXPECT_EQ(plat::GetPathKind(dir / "b.log"), plat::PathKind::Missing);
    LogPlain("after close");
    EXPECT_EQ(tvtest::ReadFile(dir / "a.log"), "x\n");
}

TEST(TextFunctions, FormatStringCutsAt511) {
    std::string big(600, 'a');
    EXPECT_EQ(FormatString("%s", big.c_str()), std::string(511, 'a'));
    EXPECT_EQ(FormatString("%d-%s", 5, "x"), "5-x");
}

TEST(TextFunctions, NumbersIgnoreTheLocale) {
    EXPECT_EQ(IntToString(INT_MIN), "-2147483648");
    EXPECT_EQ(IntToString(0), "0");
    EXPECT_EQ(FloatToString(1.5), "1.500000");
    // A library may switch the process to a locale with a decimal comma.
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = previous ? previous : "C";
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") || std::setlocale(LC_NUMERIC, "fr_FR.UTF-8")) {
        EXPECT_EQ(FloatToString(2.25), "2.250000");
        EXPECT_EQ(FormatString("%.1f", 0.5), "0.5");
    }
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(TextFunctions, LowerCaseIsAsciiAndStopsAtNul) {
    EXPECT_EQ(ToLowerCase("Fonts\\FONT08T2.PNG"), "fonts\\font08t2.png");
    EXPECT_EQ(ToLowerCase(std::string("AB\0CD", 5)), "ab");
    EXPECT_EQ(ToLowerCase("ÄÖ"), "ÄÖ");  // bytes above 0x7F are left alone
}

TEST(TextFunctions, WideAndUtf8) {
    EXPECT_EQ(WideToAnsi(L"abc"), "abc");
    EXPECT_EQ(WideToAnsi(L"\u96EA"), "\xE9\x9B\xAA");
    EXPECT_EQ(Utf8ToAnsi("雪 snow"), "雪 snow");
    EXPECT_EQ(Utf8ToAnsi(std::string("a\xFF" "b\xE9\x9B", 5)), "a?b??");
}

TEST(TextFunctions, Rects) {
    Rect r = MakeRectFromSize(10, 20, 30, 40);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, 20);
    EXPECT_EQ(r.right, 40);
    EXPECT_EQ(r.bottom, 60);
    Rect q = MakeRect(1, 2, 3, 4);
    EXPECT_EQ(q.right, 3);
}

TEST(PathFunctions, Splitting) {
    EXPECT_EQ(ExtractFileExt("a.b.c"), ".c");
    EXPECT_EQ(ExtractFileExt("noext"), "");
    EXPECT_EQ(ExtractFileExt("dir.x\\file"), "");
    EXPECT_EQ(ExtractFileExt("dir.x/file"), "");
    EXPECT_EQ(ExtractFileName("C:\\games\\bench\\prog.exe"), "prog.exe");
    EXPECT_EQ(ExtractFileName("/opt/bench/prog"), "prog");
    EXPECT_EQ(ExtractFileDir("C:\\games\\bench\\prog.exe"), "C:\\games\\bench\\");
    EXPECT_EQ(ExtractFileDir("sub\\deep\\b.txt"), "sub\\deep\\");
    EXPECT_EQ(ExtractFileDir("b.txt"), "");
    EXPECT_EQ(ChangeFileExt("C:\\games\\bench\\prog.exe", ".log"), "C:\\games\\bench\\prog.log");
    EXPECT_EQ(ChangeFileExt("/opt/bench/prog", ".log"), "/opt/bench/prog.log");
    EXPECT_EQ(ChangeFileExt("/opt/bench/prog.bin", ""), "/opt/bench/prog");
}

TEST(PathFunctions, TrailingSeparatorsOfBothKinds) {
    EXPECT_EQ(ExcludeTrailingBackslash(""), "");
    EXPECT_EQ(ExcludeTrailingBackslash("dir\\"), "dir");
    EXPECT_EQ(ExcludeTrailingBackslash("dir/"), "dir");
    EXPECT_EQ(ExcludeTrailingBackslash("dir"), "dir");
    EXPECT_EQ(IncludeTrailingBackslash("dir"), "dir\\");
    EXPECT_EQ(IncludeTrailingBackslash("dir\\"), "dir\\");
    EXPECT_EQ(IncludeTrailingBackslash("dir/"), "dir/");
    EXPECT_EQ(IncludeTrailingBackslash(""), "");
}

TEST(PathFunctions, ExpandFileName) {
    std::string cwd = plat::GetCurrentDirectory();
    EXPECT_EQ(ExpandFileName("data\\"), cwd + "/data/");
    EXPECT_EQ(ExpandFileName("data"), cwd + "/data");
    EXPECT_EQ(ExpandFileName("/a/b/../c/./d"), "/a/c/d");
    EXPECT_EQ(ExpandFileName("/a/b\\..\\c\\"), "/a/c/");
    EXPECT_EQ(ExpandFileName("/.."), "/");
    EXPECT_EQ(ExpandFileName(""), "");
}

TEST(CommandLine, ParamStrRange) {
    const char* argv[] = {"./prog", "/filesystem", "/oneshot"};
    plat::SetCommandLine(3, argv);
    EXPECT_EQ(ParamCount(), 3);
    EXPECT_EQ(ParamStr(0), "./prog");
    EXPECT_EQ(ParamStr(2), "/oneshot");
    try {
        ParamStr(ParamCount());
        FAIL();
    } catch (const EInvalidParameter& e) {
        EXPECT_EQ(e.GetMessage(), "ParamStr(3): パラメータの範囲が不正です.");
        EXPECT_EQ(e.GetOrigin(), "");
    }
    EXPECT_THROW(ParamStr(-1), EInvalidParameter);
}

TEST(CommandLine, ProgramPathIsAbsolute) {
    std::string path = GetModuleFilePath();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path[0], '/');
    EXPECT_EQ(ExtractFileName(path), "core_tests");
}

TEST(Version, CoreVersionText) {
    EXPECT_EQ(GetCoreVersionText(), "0.90 Win32 DBCS Release (build 1131 on Jan 17 2006 16:35:34) ");
}
