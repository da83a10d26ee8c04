#include <SDL.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "TestUtil.h"
#include "core/Exception.h"
#include "core/FileStream.h"
#include "platform/MessageBox.h"

using namespace trivale;

namespace {

// Captures the boxes shown while it lives.
struct BoxCapture {
    BoxCapture() {
        plat::SetMessageBoxHook([this](const plat::MessageBoxRequest& box) { boxes.push_back(box); });
    }
    ~BoxCapture() { plat::SetMessageBoxHook(nullptr); }
    std::vector<plat::MessageBoxRequest> boxes;
};

std::string ReportLines(const std::string& detail, const std::string& className, const std::string& origin) {
    return "ERROR:\n\tアプリケーション例外が発生しました.\n\t詳細: " + detail + "\n\t例外: " + className +
           "\n\t発生元: " + origin + "\n";
}

}  // namespace

TEST(ExceptionReport, FileOpenErrorNamesExceptionAndStreamClasses) {
    tvtest::TempDir dir;
    tvtest::CapturedLog log;
    BoxCapture boxes;
    try {
        CFileStream s(dir / "missing.bin", plat::FileMode::ReadExisting, FileShare::Read);
    } catch (...) {
        ReportCurrentException(ReportMode::LogAndBox, 7);
    }
    ASSERT_EQ(boxes.boxes.size(), 1u);
    const plat::MessageBoxRequest& box = boxes.boxes[0];
    const std::string detail = "ファイルを開けませんでした: \"" + (dir / "missing.bin") + "\"";
    EXPECT_EQ(box.kind, plat::MessageBoxKind::Error);
    EXPECT_EQ(box.owner, 7u);
    EXPECT_EQ(box.text, "アプリケーション例外が発生しました.\n実行を中止します.\n\n詳細: " + detail +
                            "\n\n例外: trivale::EFileOpenError\n発生元: trivale::CFileStream");
    EXPECT_EQ(box.caption, "core_tests");  // the program's file name without directory or extension
    // The open failure's cause is logged first, as a located system error.
    EXPECT_EQ(log.Text().rfind("ERROR: \n\tWin32Error(0x2): No such file or directory\n\tcore/FileStream.cpp(", 0), 0u);
}

TEST(ExceptionReport, EveryKindOfFailureInBothForms) {
    const struct {
        void (*raise)();
        std::string lines;
    } cases[] = {
        {[] { throw EException(""); }, ReportLines("不明", "trivale::EException", "不明")},
        {[] { throw EWriteError("w"); }, ReportLines("w", "trivale::EWriteError", "不明")},
        {[] { throw std::out_of_range("index"); }, ReportLines("index", "std::out_of_range", "不明")},
        {[] { throw 42; }, ReportLines("Unknown Exception", "不明", "不明")},
    };
    for (const auto& c : cases) {
        for (ReportMode mode : {ReportMode::LogOnly, ReportMode::LogAndBox}) {
            tvtest::CapturedLog log;
            BoxCapture boxes;
            try {
                c.raise();
            } catch (...) {
                ReportCurrentException(mode);
            }
            EXPECT_EQ(log.Text(), c.lines);
            EXPECT_EQ(boxes.boxes.size(), mode == ReportMode::LogAndBox ? 1u : 0u) << c.lines;
        }
    }
}

// VELLACOR_MESSAGES=log (in any case, or any value but "box") prints every box; "box" shows them
// where a display can.
TEST(MessageBox, UnattendedBoxGoesToStderrAndReturns) {
    tvtest::ScopedEnv display("DISPLAY", ":99"), driver("SDL_VIDEODRIVER", nullptr);
    for (const char* value : {"log", "LOG", "lgo"}) {
        tvtest::ScopedEnv unattended(plat::kMessagesVariable, value);
        EXPECT_FALSE(plat::CanShowMessageBox()) << value;
    }
    {
        tvtest::ScopedEnv shown(plat::kMessagesVariable, "box");
        if (SDL_WasInit(SDL_INIT_VIDEO) == 0) {
            EXPECT_TRUE(plat::CanShowMessageBox());
        }
    }
    tvtest::ScopedEnv unattended(plat::kMessagesVariable, "log");
    testing::internal::CaptureStderr();
    plat::ShowMessageBox(plat::kNoWindow, "body text", "Caption", plat::MessageBoxKind::Warning);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "[warning] Caption\nbody text\n");
}

// An exception's message may name a file whose name holds a line break: in the box, shown or printed on
// stderr, as in the log, the value stays on its line and the box's own lines stay.
TEST(ExceptionReport, AValueInTheMessageStartsNoLineOfTheBox) {
    tvtest::TempDir dir;
    const std::string forged = "x\nINFO: forged\x1b[2J";
    const std::string shown = "x\\nINFO: forged\\x1b[2J";
    tvtest::ScopedEnv display("DISPLAY", ":99"), unattended(plat::kMessagesVariable, "log");
    tvtest::CapturedLog log;
    testing::internal::CaptureStderr();
    try {
        CFileStream s(dir / forged, plat::FileMode::ReadExisting, FileShare::Read);
    } catch (...) {
        ReportCurrentException(ReportMode::LogAndBox);
    }
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err,
              "[error] core_tests\nアプリケーション例外が発生しました.\n実行を中止します.\n\n詳細: "
              "ファイルを開けませんでした: \"" +
                  (dir / shown) + "\"\n\n例外: trivale::EFileOpenError\n発生元: trivale::CFileStream\n");
    EXPECT_NE(log.Text().find("\t詳細: ファイルを開けませんでした: \"" + (dir / shown) + "\"\n"), std::string::npos)
        << log.Text();
    EXPECT_EQ(log.Text().find("\nINFO: forged"), std::string::npos) << log.Text();
}
