#pragma once
// While the dialog waits, Ctrl+C (SIGINT) and a session's or script's SIGTERM answer it as Cancel does.
// The handlers found before (the program's, which end the show) come back when the dialog is gone. A
// signal that the program's handler caught, before the dialog came up or before these watches were
// in place, is seen through the program's stop query, looked at every 50 ms.

#include <signal.h>

#include <functional>

#include "devices/ConfigDialogRecord.h"

namespace trivale {
namespace confdlg {

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
    unsigned sources_[2] = {0, 0};
    unsigned poll_ = 0;
    struct sigaction saved_[2];
};

}  // namespace confdlg
}  // namespace trivale
