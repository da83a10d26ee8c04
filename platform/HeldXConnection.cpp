#include "platform/HeldXConnection.h"

#include <X11/X.h>
#include <X11/Xauth.h>  // the record's layout only: the library is loaded at run time
#include <arpa/inet.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/StopSignals.h"

#include "platform/Printable.h"

namespace plat {

namespace {

using Clock = std::chrono::steady_clock;

const int kTries = 2;
const std::size_t kReasonLimit = 256;  // of what a refusing server says, in the program's message
const char kCookieName[] = "MIT-MAGIC-COOKIE-1";

// "[protocol/]host:number[.screen]"; an empty host or "unix" is this machine's socket.
struct DisplayName {
    bool local = false;
    std::string host;
    std::string number;
};

bool ParseDisplay(const char* name, DisplayName& out) {
    if (name == nullptr) return false;
    std::string host = name;
    const std::size_t colon = host.rfind(':');
    if (colon == std::string::npos) return false;
    std::size_t end = colon + 1;
    while (end < host.size() && host[end] >= '0' && host[end] <= '9') ++end;
    out.number = host.substr(colon + 1, end - colon - 1);
    if (out.number.empty() || out.number.size() > 9 || (end < host.size() && host[end] != '.')) return false;
    host.resize(colon);
    std::string protocol;
    const std::size_t slash = host.find('/');
    if (slash != std::string::npos && host[0] != '/') {
        protocol = host.substr(0, slash);
        host.erase(0, slash + 1);
    }
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    out.local = host.empty() || host == "unix" || protocol == "unix";
    out.host = out.local ? std::string() : host;
    return out.local || protocol.empty() || protocol == "tcp" || protocol == "inet" || protocol == "inet6";
}

// How long a step may wait: until the deadline, and for the start's own wait only until a stop comes.
struct Until {
    Clock::time_point deadline;
    bool endsAtAStop;
};

int Milliseconds(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(left);
}

// Waits for the socket; false when the time is up. A stop is looked for every 20 ms: the signal's own
// wake-up belongs to the watch over the stop.
bool Ready(int socket, short events, const Until& until) {
    for (;;) {
        if (until.endsAtAStop && StopRequested()) return false;
        const int left = Milliseconds(until.deadline);
        pollfd ready{socket, events, 0};
        const int got = poll(&ready, 1, until.endsAtAStop ? std::min(left, 20) : left);
        if (got > 0) return true;
        if (got < 0 && errno != EINTR) return false;
        if (got == 0 && left == 0) return false;
    }
}

bool ConnectBefore(int socket, const sockaddr* address, socklen_t length, const Until& until) {
    if (connect(socket, address, length) == 0) return true;
    if (errno != EINPROGRESS && errno != EINTR) return false;
    int error = 0;
    socklen_t size = sizeof error;
    return Ready(socket, POLLOUT, until) && getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
}

// The X library's way to this machine's server: the abstract socket first, then the file.
int ConnectLocal(const std::string& number, const Until& until) {
    const std::string path = "/tmp/.X11-unix/X" + number;
    for (const bool abstract : {true, false}) {
        const int s = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (s < 0) return -1;
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::size_t at = abstract ? 1 : 0;
        std::memcpy(address.sun_path + at, path.c_str(), path.size());
        const socklen_t length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + at + path.size());
        if (ConnectBefore(s, reinterpret_cast<const sockaddr*>(&address), length, until)) return s;
        close(s);
    }
    return -1;
}

int ConnectOverNetwork(const DisplayName& name, const Until& until) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(6000 + std::atoi(name.number.c_str()));
    if (getaddrinfo(name.host.c_str(), port.c_str(), &hints, &found) != 0) return -1;
    int s = -1;
    for (const addrinfo* a = found; a != nullptr && s < 0; a = a->ai_next) {
        s = socket(a->ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (s >= 0 && !ConnectBefore(s, a->ai_addr, a->ai_addrlen, until)) {
            close(s);
            s = -1;
        }
    }
    freeaddrinfo(found);
    return s;
}

struct Cookie {
    std::string name, data;
};

// The entry of the user's authority file that the X library would send for this connection: by the
// server's network address, or by this machine's name for a local one.
Cookie FindCookie(int socket, const std::string& number) {
    Cookie cookie;
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    if (getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &length) != 0) return cookie;
    unsigned family = FamilyLocal;
    std::string address;
    if (peer.ss_family == AF_INET) {
        const in_addr& ip = reinterpret_cast<const sockaddr_in&>(peer).sin_addr;
        if (ip.s_addr != htonl(INADDR_LOOPBACK)) {
            family = FamilyInternet;
            address.assign(reinterpret_cast<const char*>(&ip), sizeof ip);
        }
    } else if (peer.ss_family == AF_INET6) {
        const in6_addr& ip = reinterpret_cast<const sockaddr_in6&>(peer).sin6_addr;
        if (IN6_IS_ADDR_V4MAPPED(&ip)) {
            in_addr_t v4 = 0;
            std::memcpy(&v4, ip.s6_addr + 12, sizeof v4);
            if (v4 != htonl(INADDR_LOOPBACK)) {
                family = FamilyInternet;
                address.assign(reinterpret_cast<const char*>(ip.s6_addr + 12), 4);
            }
        } else if (!IN6_IS_ADDR_LOOPBACK(&ip)) {
            family = FamilyInternet6;
            address.assign(reinterpret_cast<const char*>(&ip), sizeof ip);
        }
    }
    if (family == FamilyLocal) {
        char host[256] = {};
        if (gethostname(host, sizeof host - 1) != 0) return cookie;
        address = host;
    }
    void* library = dlopen("libXau.so.6", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return cookie;
    typedef Xauth* (*Best)(unsigned, unsigned, const char*, unsigned, const char*, int, char**, const int*);
    typedef void (*Dispose)(Xauth*);
    const Best best = reinterpret_cast<Best>(dlsym(library, "XauGetBestAuthByAddr"));
    const Dispose dispose = reinterpret_cast<Dispose>(dlsym(library, "XauDisposeAuth"));
    if (best != nullptr && dispose != nullptr) {
        const std::string display = std::to_string(std::atoi(number.c_str()));
        char* names[] = {const_cast<char*>(kCookieName)};
        const int nameLengths[] = {static_cast<int>(sizeof kCookieName - 1)};
        if (Xauth* entry = best(family, static_cast<unsigned>(address.size()), address.data(),
                                static_cast<unsigned>(display.size()), display.data(), 1, names, nameLengths)) {
            cookie.name.assign(entry->name, entry->name_length);
            cookie.data.assign(entry->data, entry->data_length);
            dispose(entry);
        }
    }
    dlclose(library);
    return cookie;
}

void Put16(std::vector<char>& bytes, std::size_t at, std::size_t value) {
    bytes[at] = static_cast<char>(value & 0xFF);  // little-endian, as the set-up's first byte says
    bytes[at + 1] = static_cast<char>((value >> 8) & 0xFF);
}

bool ReadAll(int socket, char* into, std::size_t size, const Until& until) {
    for (std::size_t got = 0; got < size;) {
        const ssize_t n = read(socket, into + got, size - got);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR) || !Ready(socket, POLLIN, until)) {
            return false;
        }
    }
    return true;
}

// One try: the set-up request and the server's answer to it.
XServerAnswer SetUp(int socket, const std::string& number, const Until& until, std::string* reason) {
    const Cookie cookie = FindCookie(socket, number);
    const auto padded = [](std::size_t n) { return (n + 3) & ~std::size_t(3); };
    std::vector<char> request(12 + padded(cookie.name.size()) + padded(cookie.data.size()), 0);
    request[0] = 'l';
    Put16(request, 2, 11);  // protocol 11.0
    Put16(request, 6, cookie.name.size());
    Put16(request, 8, cookie.data.size());
    std::memcpy(request.data() + 12, cookie.name.data(), cookie.name.size());
    std::memcpy(request.data() + 12 + padded(cookie.name.size()), cookie.data.data(), cookie.data.size());
    for (std::size_t sent = 0; sent < request.size();) {
        const ssize_t n = send(socket, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n > 0)
            sent += static_cast<std::size_t>(n);
        else if ((n < 0 && errno != EAGAIN && errno != EINTR) || !Ready(socket, POLLOUT, until))
            return XServerAnswer::NoAnswer;
    }
    unsigned char head[8];
    if (!ReadAll(socket, reinterpret_cast<char*>(head), sizeof head, until)) return XServerAnswer::NoAnswer;
    const int status = head[0];  // 0 failed, 1 accepted, 2 more authentication wanted
    if (status == 1) return XServerAnswer::Accepted;
    if (status != 0 && status != 2) return XServerAnswer::NoAnswer;
    std::string said(std::size_t(head[6] | head[7] << 8) * 4, '\0');
    if (!ReadAll(socket, &said[0], said.size(), until)) return XServerAnswer::NoAnswer;
    if (status == 0) said.resize(std::min<std::size_t>(head[1], said.size()));
    while (!said.empty() && (said.back() == '\0' || said.back() == '\n' || said.back() == ' ')) said.pop_back();
    if (said.size() > kReasonLimit) said = said.substr(0, kReasonLimit) + "...";
    if (reason != nullptr) *reason = Printable(said.empty() ? std::string("no reason given") : said);
    return XServerAnswer::Refused;
}

}  // namespace

HeldXConnection::~HeldXConnection() {
    if (socket_ >= 0) close(socket_);
}

XServerAnswer HeldXConnection::Open(Clock::time_point deadline, std::string* reason, AtAStop atAStop) {
    const Until until{deadline, atAStop == AtAStop::GiveUp};
    if (socket_ >= 0) return XServerAnswer::Accepted;
    DisplayName name;
    if (!ParseDisplay(std::getenv("DISPLAY"), name)) return XServerAnswer::NoAnswer;
    for (int tried = 0; tried < kTries && Clock::now() < deadline; ++tried) {
        const int s = name.local ? ConnectLocal(name.number, until) : ConnectOverNetwork(name, until);
        if (s < 0) return XServerAnswer::NoAnswer;
        const XServerAnswer answer = SetUp(s, name.number, until, reason);
        if (answer == XServerAnswer::Accepted) {
            socket_ = s;
            return answer;
        }
        close(s);
        if (answer == XServerAnswer::Refused) return answer;
    }
    return XServerAnswer::NoAnswer;
}

}  // namespace plat
