#include "floodsender.h"

#include "frameconstants.h"
#include "pacedsender.h"

#include <QTextStream>

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int Batch = 64;

double secondsSince(const timespec &start)
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec - start.tv_sec) + double(now.tv_nsec - start.tv_nsec) / 1e9;
}

// xorshift64*: random enough for noise, and a core sends faster than any source of real randomness would give.
quint64 nextRandom(quint64 &state)
{
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    return state * Q_UINT64_C(0x2545F4914F6CDD1D);
}

} // namespace

int runFloodSender(double seconds, qint64 most)
{
    const int socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on); // the tool holds port 1500 too
    sockaddr_in from {};
    from.sin_family = AF_INET;
    from.sin_port = htons(DevicePort);
    inet_pton(AF_INET, PacedSenderAddress, &from.sin_addr);
    sockaddr_in to = from;
    inet_pton(AF_INET, PacedReceiverAddress, &to.sin_addr);
    if (socket < 0 || bind(socket, reinterpret_cast<sockaddr *>(&from), sizeof from) != 0
        || connect(socket, reinterpret_cast<sockaddr *>(&to), sizeof to) != 0) {
        std::perror("kestrel-bench: flood sender socket");
        return 1;
    }

    std::vector<char> frames(size_t(Batch) * FrameSize);
    std::vector<iovec> vectors(Batch);
    std::vector<mmsghdr> messages(Batch);
    for (int i = 0; i < Batch; ++i) {
        vectors[size_t(i)] = {frames.data() + i * FrameSize, size_t(FrameSize)};
        messages[size_t(i)].msg_hdr.msg_iov = &vectors[size_t(i)];
        messages[size_t(i)].msg_hdr.msg_iovlen = 1;
    }

    timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    quint64 state = Q_UINT64_C(0x9E3779B97F4A7C15);
    qint64 sent = 0;
    while (sent < most && secondsSince(start) < seconds) {
        const int count = int(qMin<qint64>(Batch, most - sent));
        for (int i = 0; i < count; ++i) {
            char *frame = frames.data() + i * FrameSize;
            // The running number makes every datagram distinct (and keeps it from starting like a request);
            // the rest is random.
            const quint64 number = quint64(sent + i);
            std::memcpy(frame, &number, sizeof number);
            for (int offset = 8; offset < FrameSize; offset += 8) {
                const quint64 noise = nextRandom(state);
                std::memcpy(frame + offset, &noise, sizeof noise);
            }
        }
        const int done = sendmmsg(socket, messages.data(), unsigned(count), 0);
        if (done < 0) {
            if (errno == EINTR || errno == ENOBUFS || errno == EAGAIN)
                continue;
            std::perror("kestrel-bench: sendmmsg");
            return 1;
        }
        sent += done;
    }
    close(socket);
    QTextStream(stdout) << "flood sent " << sent << " seconds " << secondsSince(start) << '\n';
    return 0;
}
