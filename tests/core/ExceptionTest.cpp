#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "TestUtil.h"
#include "core/Exception.h"
#include "core/FileStream.h"
#include "core/Log.h"
#include "platform/MessageBox.h"

using namespace trivale;

namespace {

// Captures the boxes shown while it lives.
class BoxCapture {
public:
    BoxCapture() {
        plat::SetMessageBoxHook([this](const plat::MessageBoxRequest& box) { boxes.push_back(box); });
    }
    ~BoxCapture() { plat::SetMessageBoxHook(nullptr); }
    std::vector<plat::MessageBoxRequest> boxes;
};

class CThrower : public virtual CNonCopyable {
public:
    void Fail() { throw EInvalidOperation(this, "Fail(): だめです."); }
};

}  // namespace

TEST(Exception, OriginNamesTheThrowingClass) {
    CThrower t;
    try {
        t.Fail();
        FAIL();
    } catch (const EException& e) {
        EXPECT_EQ(e.GetMessage(), "Fail(): だめです.");
        EXPECT_NE(e.GetOrigin().find("CThrower"), std::string::npos);
    }
    EInvalidParameter plain("x");
    EXPECT_EQ(plain.GetOrigin(), "");
    EInvalidParameter none(static_cast<CThrower*>(nullptr), "y");
    EXPECT_EQ(none.GetOrigin(), "");
    EInvalidParameter literalNull(nullptr, "z");
    EXPECT_EQ(literalNull.GetOrigin(), "");
}

TEST(Exception, CopiesKeepBothTexts) {
    CThrower t;
    EReadError original(&t, "message");
    EReadError copy(original);
    EXPECT_EQ(copy.GetMessage(), "message");
    EXPECT_EQ(copy.GetOrigin(), original.GetOrigin());
}

TEST(Exception, HierarchyCatchesAsSpecified) {
    auto caughtAsIO = [](auto thrower) {
        try {
            thrower();
        } catch (const EIOError&) {
            return true;
        } catch (...) {
        }
        return false;
    };
    EXPECT_TRUE(caughtAsIO([] { throw EFileOpenError("a"); }));
    EXPECT_TRUE(caughtAsIO([] { throw EInvalidFileFormat("a"); }));
    EXPECT_TRUE(caughtAsIO([] { throw EReadError("a"); }));
    EXPECT_TRUE(caughtAsIO([] { throw EWriteError("a"); }));
    EXPECT_FALSE(caughtAsIO([] { throw EInvalidOperation("a"); }));

    bool engine = false;
    try {
        try {
            throw std::runtime_error("std");
        } catch (const EException&) {
            engine = true;
        }
    } catch (const std::exception&) {
    }
    EXPECT_FALSE(engine);
}

TEST(ExceptionReport, FileOpenErrorNamesExceptionAndStreamClasses) {
    tvtest::TempDir dir;
    tvtest::CapturedLog log;
    BoxCapture boxes;
    try {
        CFileStream s(dir / "missing.bin", 1, 1);
        FAIL();
    } catch (const EException& e) {
        ReportEngineException(e);
    }
    ASSERT_EQ(boxes.boxes.size(), 1u);
    const plat::MessageBoxRequest& box = boxes.boxes[0];
    EXPECT_EQ(box.kind, plat::MessageBoxKind::Error);
    EXPECT_EQ(box.text, "アプリケーション例外が発生しました.\n実行を中止します.\n\n詳細: ファイルを開けませんでした: \"" +
                            (dir / "missing.bin") + "\"\n\n例外: trivale::EFileOpenError\n発生元: trivale::CFileStream");
    // Caption: the program's file name without directory or extension.
    EXPECT_EQ(box.caption, ChangeFileExt(ExtractFileName(GetModuleFilePath()), ""));
    EXPECT_EQ(box.caption.find('/'), std::string::npos);

    std::string text = log.Text();
    std::string expectedTail = "ERROR:\n\tアプリケーション例外が発生しました.\n\t詳細: ファイルを開けませんでした: \"" +
                               (dir / "missing.bin") +
                               "\"\n\t例外: trivale::EFileOpenError\n\t発生元: trivale::CFileStream\n";
    ASSERT_GE(text.size(), expectedTail.size());
    EXPECT_EQ(text.substr(text.size() - expectedTail.size()), expectedTail);
    // The open failure itself was logged first as a located system error.
    EXPECT_EQ(text.rfind("ERROR: \n\tWin32Error(0x2): No such file or directory\n\tcore/FileStream.cpp(", 0), 0u)
        << text;
}

TEST(ExceptionReport, EmptyTextsShowUnknown) {
    tvtest::CapturedLog log;
    BoxCapture boxes;
    ReportEngineException(EException(""));
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text,
              "アプリケーション例外が発生しました.\n実行を中止します.\n\n詳細: 不明\n\n例外: trivale::EException\n発生元: 不明");
    EXPECT_EQ(log.Text(), "ERROR:\n\tアプリケーション例外が発生しました.\n\t詳細: 不明\n\t例外: trivale::EException\n\t発生元: 不明\n");
}

TEST(ExceptionReport, StdExceptionHasUnknownOrigin) {
    tvtest::CapturedLog log;
    BoxCapture boxes;
    ReportStdException(std::out_of_range("index"));
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(log.Text(), "ERROR:\n\tアプリケーション例外が発生しました.\n\t詳細: index\n\t例外: std::out_of_range\n\t発生元: 不明\n");
}

TEST(ExceptionReport, ReportErrorAndLogOnly) {
    tvtest::CapturedLog log;
    BoxCapture boxes;
    ReportError("m", "C", "O", 7);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].owner, 7u);
    LogEngineException(EWriteError("w"));
    EXPECT_EQ(boxes.boxes.size(), 1u);  // the log-only form shows nothing
    EXPECT_EQ(log.Text(),
              "ERROR:\n\tアプリケーション例外が発生しました.\n\t詳細: m\n\t例外: C\n\t発生元: O\n"
              "ERROR:\n\tアプリケーション例外が発生しました.\n\t詳細: w\n\t例外: trivale::EWriteError\n\t発生元: 不明\n");
}

TEST(MessageBox, UnattendedBoxGoesToStderrAndReturns) {
    // The test runner sets the offscreen driver; make sure either way.
    setenv("TV_NO_MESSAGE_BOX", "1", 1);
    EXPECT_FALSE(plat::CanShowMessageBox());
    testing::internal::CaptureStderr();
    plat::ShowMessageBox(plat::kNoWindow, "body text", "Caption", plat::MessageBoxKind::Warning);
    std::string err = testing::internal::GetCapturedStderr();
    unsetenv("TV_NO_MESSAGE_BOX");
    EXPECT_NE(err.find("Caption"), std::string::npos);
    EXPECT_NE(err.find("body text"), std::string::npos);
    EXPECT_NE(err.find("warning"), std::string::npos);
}
