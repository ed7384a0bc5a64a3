#include "sendersocket.h"

#include "frameconstants.h"
#include "pacedsender.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <string>
#include <unistd.h>

int openSenderSocket(const char *who, sockaddr_in *to)
{
    const int socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    if (socket >= 0)
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on); // the tool holds port 1500 too
    sockaddr_in from {};
    from.sin_family = AF_INET;
    from.sin_port = htons(DevicePort);
    inet_pton(AF_INET, PacedSenderAddress, &from.sin_addr);
    *to = from;
    inet_pton(AF_INET, PacedReceiverAddress, &to->sin_addr);
    if (socket < 0 || bind(socket, reinterpret_cast<sockaddr *>(&from), sizeof from) != 0) {
        std::perror((std::string("kestrel-bench: ") + who + " socket").c_str());
        if (socket >= 0)
            close(socket);
        return -1;
    }
    return socket;
}

bool sendAll(int socket, mmsghdr *messages, int first, int count)
{
    while (count > 0) {
        const int sent = sendmmsg(socket, messages + first, unsigned(count), 0);
        if (sent < 0) {
            if (errno == EINTR || errno == ENOBUFS || errno == EAGAIN)
                continue;
            std::perror("kestrel-bench: sendmmsg");
            return false;
        }
        first += sent;
        count -= sent;
    }
    return true;
}

double secondsSince(const timespec &start)
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec - start.tv_sec) + double(now.tv_nsec - start.tv_nsec) / 1e9;
}
