#include "confdlg/SignalCancel.h"

#include <glib-unix.h>

#include <utility>

namespace trivale {
namespace confdlg {

namespace {

const int kSignals[kStopSignalCount] = {SIGINT, SIGTERM, SIGHUP};

gboolean OnSignal(gpointer data) {
    static_cast<const SignalCancel*>(data)->Cancel();
    return G_SOURCE_CONTINUE;
}

gboolean OnPoll(gpointer data) {
    const SignalCancel* self = static_cast<const SignalCancel*>(data);
    if (self->StopAsked()) self->Cancel();
    return G_SOURCE_CONTINUE;
}

const guint kPollMilliseconds = 50;

}  // namespace

SignalCancel::SignalCancel(std::function<void()> cancel, ConfigStopQuery stop)
    : cancel_(std::move(cancel)), stop_(stop) {
    for (int i = 0; i < kStopSignalCount; ++i) {
        sigaction(kSignals[i], nullptr, &saved_[i]);
        // A signal that the starter ignores stays ignored. Where the program hears the signals itself,
        // its handler stays in place, so that its watch over a stop that is not honoured keeps working
        // while the dialog shows; the poll below answers for it.
        if (stop_ != nullptr || saved_[i].sa_handler == SIG_IGN) continue;
        sources_[i] = g_unix_signal_add(kSignals[i], &OnSignal, this);
    }
    if (stop_ != nullptr) poll_ = g_timeout_add(kPollMilliseconds, &OnPoll, this);
}

SignalCancel::~SignalCancel() {
    if (poll_ != 0) g_source_remove(poll_);
    for (int i = 0; i < kStopSignalCount; ++i) {
        // GLib leaves the signal at its default action when its last watch goes: put back what was there.
        if (sources_[i] != 0) g_source_remove(sources_[i]);
        sigaction(kSignals[i], &saved_[i], nullptr);
    }
}

}  // namespace confdlg
}  // namespace trivale
