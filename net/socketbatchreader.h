#pragma once

#include "arriveddatagram.h"

#include <QtGlobal>

#include <memory>

struct mmsghdr;

// Takes datagrams off a non-blocking UDP socket in batches, one system call per batch, into memory allocated once:
// a small slot per datagram that holds a reply whole, and behind it room for the rest of the largest datagram, so
// every datagram arrives complete with its true length. With each batch come the sender, the adapter the datagram
// came in through and the socket's count of datagrams the system has dropped for want of room.
class SocketBatchReader
{
    Q_DISABLE_COPY(SocketBatchReader)

public:
    static constexpr int Slots = 64;

    SocketBatchReader();
    ~SocketBatchReader();

    // Asks the system for what read() reports beside the bytes; false when it refuses the drop count.
    static bool enableReports(int descriptor);

    // Reads what is waiting, up to Slots datagrams, without waiting; the count, 0 when nothing waits, -1 on an
    // error (errno).
    int read(int descriptor);

    // Datagram i of the last read; its bytes are the first headBytes(i) of head(i), then tail(i).
    const ArrivedDatagram &datagram(int i) const { return arrived[i]; }
    const char *head(int i) const;
    int headBytes(int i) const;
    const char *tail(int i) const;

    // The system's running count of datagrams dropped on this socket, as the last read reported it.
    bool dropCount(quint32 *count) const;

private:
    struct Buffers;
    std::unique_ptr<Buffers> buffers;
    ArrivedDatagram arrived[Slots];
    quint32 lastDropCount = 0;
    bool dropCountSeen = false;
};
