#include "floodsender.h"

#include "frameconstants.h"
#include "sendersocket.h"

#include <QTextStream>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <unistd.h>
#include <vector>

namespace {

constexpr int Batch = 64;

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
    sockaddr_in to {};
    const int socket = openSenderSocket("flood sender", &to);
    if (socket < 0 || connect(socket, reinterpret_cast<sockaddr *>(&to), sizeof to) != 0) {
        if (socket >= 0) {
            std::perror("kestrel-bench: flood sender connect");
            close(socket);
        }
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
        if (!sendAll(socket, messages.data(), 0, count)) {
            close(socket);
            return 1;
        }
        sent += count;
    }
    close(socket);
    QTextStream(stdout) << "flood sent " << sent << " seconds " << secondsSince(start) << '\n';
    return 0;
}
