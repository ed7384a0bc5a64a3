#pragma once

#include "arriveddatagram.h"

#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>

class QUdpSocket;

// Takes datagrams off the device port's bound UDP socket in batches, into memory allocated once: a small slot per
// datagram that holds a reply whole, and behind it room for the rest of the largest datagram, so every datagram
// arrives complete with its true length. With each datagram come the sender and the adapter it came in through.
//
// One interface, one source file per platform, chosen by the build: socketbatchreader_linux.cpp reads a batch per
// system call and reads the socket's count of datagrams the system dropped for want of room;
// socketbatchreader_portable.cpp reads through Qt, one datagram at a time, where no such count exists.
class SocketBatchReader
{
    Q_DISABLE_COPY(SocketBatchReader)

public:
    static constexpr int Slots = 64;

    SocketBatchReader();
    ~SocketBatchReader();

    // Whether this platform's reader can say how many datagrams the system dropped. Without it a search cannot
    // know whether replies went missing on the way in.
    static bool countsDrops();

    // Runs the calling thread, the reader's, ahead of busy threads where the system lets us: while a burst
    // arrives it must get a core within milliseconds, or the system's queue overflows.
    static void raiseThreadPriority();

    // Takes over the reads of a socket bound in the calling thread; `ready` is then called in that thread whenever
    // datagrams wait. False with the system's reason when the socket cannot be read this way.
    bool attach(QUdpSocket *socket, std::function<void()> ready, QString *error);

    // While held, `ready` is not called; on release it is called at once if datagrams wait.
    void hold(bool held);

    // Reads what is waiting, up to Slots datagrams, without waiting; the count, 0 when nothing waits, -1 on an
    // error.
    int read();

    // Datagram i of the last read; its bytes are the first headBytes(i) of head(i), then tail(i).
    const ArrivedDatagram &datagram(int i) const { return arrived[i]; }
    const char *head(int i) const;
    int headBytes(int i) const;
    const char *tail(int i) const;

    // The system's running count of datagrams dropped on this socket, as the last read reported it; false when
    // it reported none.
    bool dropCount(quint32 *count) const;
    // The same count asked of the system now, which also covers drops after the last datagram read; any thread.
    bool currentDropCount(quint32 *count) const;

private:
    struct Platform;
    std::unique_ptr<Platform> platform;
    ArrivedDatagram arrived[Slots];
};
