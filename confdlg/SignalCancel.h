#pragma once
// While the dialog waits, Ctrl+C (SIGINT), a session's or script's SIGTERM and a closed terminal's SIGHUP
// answer it as Cancel does.
// With the program's stop query, the program's own handlers keep the signals and the query is looked
// at every 50 ms; without one, the dialog watches them itself and puts back the handlers found before
// when it is gone. A signal that the starter ignores stays ignored.

#include <signal.h>

#include <functional>

#include "devices/ConfigDialogRecord.h"

namespace trivale {
namespace confdlg {

const int kStopSignalCount = 3;

class SignalCancel {
public:
    // `cancel` runs from the default main context (the dialog's loop) after either signal arrives.
    explicit SignalCancel(std::function<void()> cancel, ConfigStopQuery stop = nullptr);
    ~SignalCancel();
    SignalCancel(const SignalCancel&) = delete;
    SignalCancel& operator=(const SignalCancel&) = delete;

    void Cancel() const { cancel_(); }
    bool StopAsked() const { return stop_ != nullptr && stop_() != 0; }

private:
    std::function<void()> cancel_;
    ConfigStopQuery stop_;
    unsigned sources_[kStopSignalCount] = {};
    unsigned poll_ = 0;
    struct sigaction saved_[kStopSignalCount];
};

}  // namespace confdlg
}  // namespace trivale
