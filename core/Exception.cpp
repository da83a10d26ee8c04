#include "core/Exception.h"

#include "core/CommandLine.h"
#include "core/Log.h"
#include "core/Path.h"
#include "platform/Printable.h"

namespace trivale {

namespace {

const char* const kUnknown = "不明";

std::string OrUnknown(const std::string& text) { return text.empty() ? std::string(kUnknown) : text; }

}  // namespace

void LogApplicationException(const std::string& message, const std::string& className, const std::string& origin) {
    LogPlain("ERROR:\n\tアプリケーション例外が発生しました.");
    LogPlain("\t詳細: %s", OrUnknown(message).c_str());
    LogPlain("\t例外: %s", OrUnknown(className).c_str());
    LogPlain("\t発生元: %s", OrUnknown(origin).c_str());
}

// Each value stays on its line of the box as it does in the log: a message may name a file, a file's
// name may hold a line break, and a box is printed on stderr where it cannot show.
void ReportApplicationException(const std::string& className, plat::WindowId owner, const std::string& message,
                                const std::string& origin) {
    LogApplicationException(message, className, origin);
    std::string detail = plat::Printable(OrUnknown(message));
    std::string name = plat::Printable(OrUnknown(className));
    std::string from = plat::Printable(OrUnknown(origin));
    std::string text = "アプリケーション例外が発生しました.\n実行を中止します.\n\n詳細: " + detail + "\n" + "\n" +
                       "例外: " + name + "\n" + "発生元: " + from;
    std::string caption = ChangeFileExt(ExtractFileName(GetModuleFilePath()), "");
    plat::ShowMessageBox(owner, text, caption, plat::MessageBoxKind::Error);
}

void ReportEngineException(const EException& e, plat::WindowId owner) {
    ReportApplicationException(GetClassName(e), owner, e.GetMessage(), e.GetOrigin());
}

void ReportStdException(const std::exception& e, plat::WindowId owner) {
    ReportApplicationException(GetClassName(e), owner, e.what(), std::string());
}

void ReportError(const std::string& message, const std::string& className, const std::string& origin,
                 plat::WindowId owner) {
    ReportApplicationException(className, owner, message, origin);
}

void LogEngineException(const EException& e) {
    LogApplicationException(e.GetMessage(), GetClassName(e), e.GetOrigin());
}

void ReportException(const std::exception& e, ReportMode mode, plat::WindowId owner) {
    const EException* engine = dynamic_cast<const EException*>(&e);
    const std::string message = engine ? engine->GetMessage() : std::string(e.what());
    const std::string origin = engine ? engine->GetOrigin() : std::string();
    if (mode == ReportMode::LogAndBox) {
        ReportApplicationException(GetClassName(e), owner, message, origin);
    } else {
        LogApplicationException(message, GetClassName(e), origin);
    }
}

void ReportCurrentException(ReportMode mode, plat::WindowId owner) {
    try {
        throw;
    } catch (const std::exception& e) {
        ReportException(e, mode, owner);
    } catch (...) {
        if (mode == ReportMode::LogAndBox) {
            ReportApplicationException("", owner, "Unknown Exception", "");
        } else {
            LogApplicationException("Unknown Exception", "", "");
        }
    }
}

}  // namespace trivale
