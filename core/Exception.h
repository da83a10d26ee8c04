// The engine's exceptions and the report that shows a failure to the user.
#pragma once

#include <cstddef>
#include <exception>
#include <string>
#include <type_traits>

#include "core/Object.h"
#include "platform/MessageBox.h"

namespace trivale {

// Root of the engine's exceptions: a plain copyable value, thrown by value and caught by reference.
// It is a std::exception (what() is the message), so one handler for std::exception sees every failure.
class EException : public std::exception {
public:
    explicit EException(const std::string& message) : message_(message) {}
    // The origin names the dynamic class of the throwing object, empty for null.
    template <class T>
    EException(const T* source, const std::string& message)
        : message_(message), origin_(source ? GetClassName(*source) : std::string()) {
        static_assert(std::is_polymorphic<T>::value, "the source of an exception must be a polymorphic object");
    }
    EException(std::nullptr_t, const std::string& message) : message_(message) {}
    EException(const EException&) = default;
    EException& operator=(const EException&) = default;
    ~EException() override {}

    const char* what() const noexcept override { return message_.c_str(); }
    virtual std::string GetMessage() const { return message_; }
    virtual std::string GetOrigin() const { return origin_; }
    // For a caller that knows what the thrower could not (the file a stream came from) before it
    // throws the exception on.
    void AppendToMessage(const std::string& text) { message_ += text; }

private:
    std::string message_;
    std::string origin_;
};

#define TV_DECLARE_EXCEPTION(name, base) \
    class name : public base {           \
    public:                              \
        using base::base;                \
        ~name() override {}              \
    }

TV_DECLARE_EXCEPTION(EInvalidOperation, EException);
TV_DECLARE_EXCEPTION(EInvalidParameter, EException);
TV_DECLARE_EXCEPTION(EIOError, EException);
TV_DECLARE_EXCEPTION(EDirect3DCreateError, EException);
TV_DECLARE_EXCEPTION(EFileOpenError, EIOError);
TV_DECLARE_EXCEPTION(EInvalidFileFormat, EIOError);
TV_DECLARE_EXCEPTION(EReadError, EIOError);
TV_DECLARE_EXCEPTION(EWriteError, EIOError);

#undef TV_DECLARE_EXCEPTION

// The report: four log lines and an error box captioned with the program's name. It blocks until the
// box is closed (never in unattended runs) and does not end the program.
void ReportEngineException(const EException& e, plat::WindowId owner = plat::kNoWindow);
void ReportStdException(const std::exception& e, plat::WindowId owner = plat::kNoWindow);
void ReportError(const std::string& message, const std::string& className, const std::string& origin,
                 plat::WindowId owner = plat::kNoWindow);
void ReportApplicationException(const std::string& className, plat::WindowId owner, const std::string& message,
                                const std::string& origin);
// The log lines of the report only.
void LogEngineException(const EException& e);
void LogApplicationException(const std::string& message, const std::string& className, const std::string& origin);

// Whether a report also shows the error box, or only writes its log lines.
enum class ReportMode { LogOnly, LogAndBox };

// Reports the exception being handled (call it only inside a catch block): an EException with its
// message and origin, another std::exception with its what() text, anything else as "Unknown Exception".
void ReportCurrentException(ReportMode mode, plat::WindowId owner = plat::kNoWindow);
// The same for one exception at hand.
void ReportException(const std::exception& e, ReportMode mode, plat::WindowId owner = plat::kNoWindow);
// ReportCurrentException's log lines alone, for places where nothing may be shown or thrown.
inline void LogCurrentException() { ReportCurrentException(ReportMode::LogOnly); }

}  // namespace trivale
