// Preloaded into a copy of the program: the first connections it makes to an X server are closed by the
// far end before the server's answer comes, as a server closes the connections still being set up when
// it resets after its last client left. How many: TV_CUT_X_SETUPS (1 when unset).
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <string>

namespace {

std::atomic<int> g_made{0};

bool ToAnXServer(const sockaddr* address, socklen_t length) {
    if (address == nullptr || address->sa_family != AF_UNIX || length <= offsetof(sockaddr_un, sun_path)) return false;
    const sockaddr_un* local = reinterpret_cast<const sockaddr_un*>(address);
    const std::size_t pathLength =
        std::min<std::size_t>(length - offsetof(sockaddr_un, sun_path), sizeof(local->sun_path));
    // Either the file or its abstract twin (a leading NUL byte).
    return std::string(local->sun_path, pathLength).find("/.X11-unix/X") != std::string::npos;
}

int ToCut() {
    const char* count = std::getenv("TV_CUT_X_SETUPS");
    return count != nullptr ? std::atoi(count) : 1;
}

}  // namespace

extern "C" int connect(int fd, const sockaddr* address, socklen_t length) {
    const int result = static_cast<int>(syscall(SYS_connect, fd, address, length));
    // Nothing more is read from it: the connection's setup ends as it does at a closed connection.
    if (result == 0 && ToAnXServer(address, length) && g_made.fetch_add(1) < ToCut()) shutdown(fd, SHUT_RD);
    return result;
}
