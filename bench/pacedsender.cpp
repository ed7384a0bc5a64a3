#include "pacedsender.h"

#include "frameconstants.h"
#include "replydatagrams.h"
#include "sendersocket.h"

#include <QTextStream>

#include <cerrno>
#include <ctime>
#include <sys/prctl.h>
#include <unistd.h>
#include <vector>

namespace {

// A deadline every 100 µs: short enough that a burst leaves as an even stream, long enough for the timer.
constexpr long TickNs = 100000;
constexpr int UnpacedBatch = 64;

timespec plus(timespec t, long long ns)
{
    ns += t.tv_nsec;
    t.tv_sec += time_t(ns / 1000000000);
    t.tv_nsec = long(ns % 1000000000);
    return t;
}

} // namespace

int runPacedSender(int replies, int rate)
{
    std::vector<QByteArray> frames;
    frames.reserve(size_t(replies));
    for (int i = 0; i < replies; ++i)
        frames.push_back(encryptedReply(PacedFirstMac + quint64(i)));

    sockaddr_in to {};
    const int socket = openSenderSocket("paced sender", &to);
    if (socket < 0)
        return 1;
    std::vector<iovec> vectors(static_cast<size_t>(replies));
    std::vector<mmsghdr> messages(static_cast<size_t>(replies));
    for (int i = 0; i < replies; ++i) {
        vectors[size_t(i)] = {frames[size_t(i)].data(), size_t(FrameSize)};
        msghdr &header = messages[size_t(i)].msg_hdr;
        header = {};
        header.msg_name = &to;
        header.msg_namelen = sizeof to;
        header.msg_iov = &vectors[size_t(i)];
        header.msg_iovlen = 1;
    }
    // Wake at the deadline, not up to 50 µs after it.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);

    QTextStream out(stdout);
    out << "ready" << Qt::endl;
    // One burst per line: the first for the search, one more for each request the search repeats.
    QTextStream input(stdin);
    bool ok = true;
    while (ok && !input.readLine().isNull()) {
        timespec start;
        clock_gettime(CLOCK_MONOTONIC, &start);
        if (rate <= 0) {
            for (int first = 0; ok && first < replies; first += UnpacedBatch)
                ok = sendAll(socket, messages.data(), first, qMin(UnpacedBatch, replies - first));
        } else {
            // At each deadline, everything due by then leaves at once; after a late wake-up that is more, and the
            // deadlines already past are skipped, so the stream keeps its rate as a network card's queue would.
            int sent = 0;
            for (long long tick = 1; ok && sent < replies; ++tick) {
                const timespec deadline = plus(start, tick * TickNs);
                while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) { }
                const long long elapsedNs = qRound64(secondsSince(start) * 1e9);
                tick = qMax(tick, elapsedNs / TickNs);
                const int due = int(qMin<long long>(replies, elapsedNs * rate / 1000000000LL));
                ok = sendAll(socket, messages.data(), sent, due - sent);
                sent = qMax(sent, due);
            }
        }
        out << "sent " << replies << " seconds " << QString::number(secondsSince(start), 'f', 6) << Qt::endl;
    }
    close(socket);
    return ok ? 0 : 1;
}
