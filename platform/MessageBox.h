// The modal message box: an error, warning or information text with a caption, over SDL's simple
// message box, its lines wrapped to fit the screen. It never blocks an unattended run: with no
// display, SDL's offscreen or dummy driver, or VELLACOR_MESSAGES=log, the text goes to stderr and the
// call returns at once. The box is shown by a process of its own that goes with the program, however
// the program ends; a caught stop signal (platform/StopSignals.h) closes it as its OK would.
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

// "log" prints every box on stderr instead of showing it; "box" (or nothing) shows them.
extern const char* const kMessagesVariable;

// Shows the box and returns when the user has closed it (or at once, see above), or when a caught
// signal closed it; a box that a signal closed or kept from showing is printed on stderr as well.
// Usable before any other initialisation and without a window; safe from any thread.
void ShowMessageBox(WindowId owner, const std::string& text, const std::string& caption, MessageBoxKind kind);

// Tests capture boxes instead of showing them: while a hook is set every box goes to it and to
// nothing else. An empty function removes the hook.
using MessageBoxHook = std::function<void(const MessageBoxRequest&)>;
void SetMessageBoxHook(MessageBoxHook hook);

// Whether a box would really be shown (and wait for a person) rather than printed.
bool CanShowMessageBox();

// Breaks the text's lines where they are wider than `maxWidth`, as `widthOf` measures a piece of text:
// after spaces (which the break takes), between East Asian characters (never before closing
// punctuation), and inside a word wider than a line after its last '/' or '\' that fits, else after
// its last character that fits. The text's own line breaks stay.
std::string WrapMessageText(const std::string& text, int maxWidth,
                            const std::function<int(const std::string&)>& widthOf);

}  // namespace plat
