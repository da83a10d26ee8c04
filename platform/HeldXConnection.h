// A connection of the program's own to the X display that DISPLAY names, made over the X protocol itself
// (its set-up only, with the cookie the X library would send), so that the program links to no X library
// and no library prints what the server answers. An X server resets when its last client leaves and
// closes every connection still being set up then: while this one is open the server has a client and
// cannot reset under the video layer's next start. A server that turns the program away says why here,
// where the X library would print it on stderr at each try.
#pragma once

#include <chrono>
#include <string>

namespace plat {

enum class XServerAnswer { Accepted, Refused, NoAnswer };

// Whether a wait for the server ends when a stop signal comes (platform/StopSignals.h): the start's does,
// a look at whether the server still answers during a forced end does not.
enum class AtAStop { GiveUp, Wait };

class HeldXConnection {
public:
    HeldXConnection() = default;
    ~HeldXConnection();
    HeldXConnection(const HeldXConnection&) = delete;
    HeldXConnection& operator=(const HeldXConnection&) = delete;

    bool IsOpen() const { return socket_ >= 0; }

    // Opens it unless it is open. A connection closed while it was set up is tried again, twice in all,
    // until the deadline. Refused: the server turned the program away, `reason` is what it said (escaped).
    // NoAnswer: no server there, none reached in time, every try was cut, or a stop came first.
    XServerAnswer Open(std::chrono::steady_clock::time_point deadline, std::string* reason,
                       AtAStop atAStop = AtAStop::GiveUp);

private:
    int socket_ = -1;
};

}  // namespace plat
