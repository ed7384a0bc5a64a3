// Loaded with LD_PRELOAD by the burst test: caps every receive buffer request at the stock Linux
// net.core.rmem_max (212,992 bytes), so the test sees what a user's machine gives, whatever this one allows.
#include <dlfcn.h>
#include <sys/socket.h>

namespace {

constexpr int StockReceiveBufferMax = 212992;
using SetSockOpt = int (*)(int, int, int, const void *, socklen_t);

} // namespace

extern "C" int setsockopt(int fd, int level, int name, const void *value, socklen_t length)
{
    static const auto real = reinterpret_cast<SetSockOpt>(dlsym(RTLD_NEXT, "setsockopt"));
    if (level == SOL_SOCKET && (name == SO_RCVBUF || name == SO_RCVBUFFORCE) && length == sizeof(int)
        && *static_cast<const int *>(value) > StockReceiveBufferMax) {
        const int capped = StockReceiveBufferMax;
        return real(fd, level, SO_RCVBUF, &capped, sizeof capped);
    }
    return real(fd, level, name, value, length);
}
