#pragma once
// Platform-internal: requests the X server refuses. The first of each kind goes to the handler that
// SetRefusedRequestHandler (platform/Window.h) installs; one that says the program's own window is gone
// ends the run through the stop watch's end (platform/StopWatchdog.h), never inside the display library.

#include <SDL.h>

#include <string>

namespace plat {

// Puts the program's handler in Xlib (the library SDL loaded, `x11`), in place of SDL's, which would hand
// any refusal on to Xlib's own and end the process.
void HandleRefusedRequests(void* x11);

// The program's window, from its creation until just before its own destroy: a refusal that says it is
// gone ends the run. Refusals about it once it is let go (its teardown, late replies) end nothing.
void WatchWindow(SDL_Window* window);
void LetGoOfWindow(SDL_Window* window);

// The log's last line when the window is gone.
std::string WindowLostLine(unsigned long window);

}  // namespace plat
