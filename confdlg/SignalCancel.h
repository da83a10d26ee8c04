#pragma once
// While the dialog waits, Ctrl+C (SIGINT) and a session's or script's SIGTERM answer it as Cancel does.
// The handlers found before (the program's video layer has its own, which end the show) come back
// when the dialog is gone.

#include <signal.h>

#include <functional>

namespace trivale {
namespace confdlg {

class SignalCancel {
public:
    // `cancel` runs from the default main context (the dialog's loop) after either signal arrives.
    explicit SignalCancel(std::function<void()> cancel);
    ~SignalCancel();
    SignalCancel(const SignalCancel&) = delete;
    SignalCancel& operator=(const SignalCancel&) = delete;

    void Cancel() const { cancel_(); }

private:
    std::function<void()> cancel_;
    unsigned sources_[2] = {0, 0};
    struct sigaction saved_[2];
};

}  // namespace confdlg
}  // namespace trivale
