// Loaded with LD_PRELOAD by the burst tests: caps every receive buffer request of an IPv4 or IPv6 socket at the
// stock Linux net.core.rmem_max (212,992 bytes), so a test sees what a user's machine gives, whatever this one
// allows. KESTREL_RCVBUF_CAP=<bytes> caps lower (or higher), for a test that must overflow a queue on purpose.
// Other sockets (the netlink sockets of the namespace scripts' `ip`, for one) keep what they ask for.
#include <cstdlib>
#include <dlfcn.h>
#include <sys/socket.h>

namespace {

constexpr int StockReceiveBufferMax = 212992;
using SetSockOpt = int (*)(int, int, int, const void *, socklen_t);

int receiveBufferCap()
{
    const char *text = std::getenv("KESTREL_RCVBUF_CAP");
    const long cap = text ? std::strtol(text, nullptr, 10) : 0;
    return cap > 0 && cap <= StockReceiveBufferMax * 1024L ? int(cap) : StockReceiveBufferMax;
}

bool isInternetSocket(int fd)
{
    int domain = 0;
    socklen_t length = sizeof domain;
    return getsockopt(fd, SOL_SOCKET, SO_DOMAIN, &domain, &length) == 0 && (domain == AF_INET || domain == AF_INET6);
}

} // namespace

extern "C" int setsockopt(int fd, int level, int name, const void *value, socklen_t length)
{
    static const auto real = reinterpret_cast<SetSockOpt>(dlsym(RTLD_NEXT, "setsockopt"));
    static const int cap = receiveBufferCap();
    if (level == SOL_SOCKET && (name == SO_RCVBUF || name == SO_RCVBUFFORCE) && length == sizeof(int)
        && *static_cast<const int *>(value) > cap && isInternetSocket(fd))
        return real(fd, level, SO_RCVBUF, &cap, sizeof cap);
    return real(fd, level, name, value, length);
}
