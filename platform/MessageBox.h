// The modal message box: an error, warning or information text with a caption, over SDL's simple
// message box. It never blocks an unattended run: with no display, SDL's offscreen or dummy driver,
// or TV_NO_MESSAGE_BOX set, the text goes to stderr and the call returns at once.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace plat {

// The window layer's window id (SDL's); 0 is no window.
using WindowId = std::uint32_t;
constexpr WindowId kNoWindow = 0;

enum class MessageBoxKind { Error, Warning, Information };

struct MessageBoxRequest {
    WindowId owner = kNoWindow;
    std::string text;
    std::string caption;
    MessageBoxKind kind = MessageBoxKind::Error;
};

// Shows the box and returns when the user has closed it (or at once, see above). Usable before
// any other initialisation and without a window; safe from any thread.
void ShowMessageBox(WindowId owner, const std::string& text, const std::string& caption, MessageBoxKind kind);

// Tests capture boxes instead of showing them: while a hook is set every box goes to it and to
// nothing else. An empty function removes the hook.
using MessageBoxHook = std::function<void(const MessageBoxRequest&)>;
void SetMessageBoxHook(MessageBoxHook hook);

// Whether a box would really be shown (and wait for a person) rather than printed.
bool CanShowMessageBox();

}  // namespace plat
