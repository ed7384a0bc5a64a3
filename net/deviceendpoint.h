#pragma once

#include "arrivalbuffer.h"

#include <QByteArray>
#include <QMutex>
#include <QNetworkDatagram>
#include <QObject>
#include <QStringList>
#include <QThread>
#include <QVector>

#include <functional>

class DatagramReader;
class SocketBatchReader;

// UDP port 1500, shared with other programs. A reader thread owns the socket and does nothing but move
// datagrams from the kernel's queue into memory, a batch per system call and without an allocation per datagram,
// so a burst of replies is not lost while the caller is busy listing; the caller takes them in batches on its own
// thread. What the system still drops for want of room is counted where the system keeps a count. Sends are handed to the same socket, so they
// leave from port 1500 too.
class DeviceEndpoint : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(DeviceEndpoint)

public:
    explicit DeviceEndpoint(QObject *parent = nullptr);
    ~DeviceEndpoint() override;

    // Binds the dual-stack any-address, port 1500; false with the system's reason when the port is unusable.
    bool bind(QString *error = nullptr);
    bool isBound() const { return bound; }

    // Sends one datagram to 255.255.255.255:1500 through the adapter with that index, with the adapter's IPv4
    // address as sender, so it leaves there even without a default route; index 0 sends it the plain way.
    void sendBroadcast(const QByteArray &datagram, int interfaceIndex = 0);
    // Once through every adapter that can broadcast, or the plain way when there is none. Returns the copies.
    int sendBroadcastEverywhere(const QByteArray &datagram);

    // Returns once every send asked for so far has been handed to the system, with the system's texts of those
    // that failed since the last flush (each is signalled by sendFailed as well).
    QStringList flushSends();

    // Up to maxCount of the datagrams received so far, oldest first.
    QVector<QNetworkDatagram> takeDatagrams(int maxCount);
    // The same without a copy: each datagram is handed to `visit`, its bytes valid during that call only, which
    // must not take datagrams itself. Returns how many were handed over.
    int takeDatagrams(int maxCount, const std::function<void(const ArrivedDatagram &)> &visit);
    bool hasDatagrams() const;

    // Datagrams dropped since the socket was bound, because they arrived while the system's receive queue or the
    // queue here was full, or were discarded unread: a running total, to be compared before and after a search.
    // Any thread. Where the system keeps no count of its own drops (countsDrops), only those here are in it.
    quint64 droppedDatagrams() const;
    // Whether this platform counts the system's drops: where it does not (Windows), a search cannot tell whether
    // replies went missing on the way in, and must say so.
    static bool countsDrops();
    // The receive queue the system granted the bound socket, in bytes (asked for: several megabytes).
    int receiveBufferBytes() const { return receiveBuffer; }

    // The queue between the reader and the caller holds at most this many datagrams, and at most QueueByteLimit
    // bytes of them, however fast a flood comes: what arrives beyond either is dropped and counted with the
    // system's drops, so that a search knows replies went missing and asks again. The default holds a burst of
    // replies from a very large segment; tests set less.
    static constexpr int DefaultQueueLimit = 65536;
    static constexpr qint64 QueueByteLimit = 8 * 1024 * 1024;
    void setQueueLimit(int datagrams);
    // Drops every datagram waiting to be taken, counted as dropped: for a search whose time is up while a flood
    // is still queued. Returns how many.
    int discardDatagrams();

    // While held, the reader takes nothing off the socket, as if it never got a core: the system's queue fills
    // and then drops. For tests and measurements of what follows; returns once the reader has stopped or resumed.
    void holdReading(bool hold);

signals:
    // Something arrived while nothing was waiting to be taken.
    void datagramsArrived();
    // A send failed; the text is the system's.
    void sendFailed(const QString &errorText);

private:
    friend class DatagramReader;
    void store(const SocketBatchReader &batch, int count);
    void countDrops(quint32 systemCount) const;
    void countOwnDrops(int count);

    QThread thread;
    DatagramReader *reader = nullptr;
    bool bound = false;
    int receiveBuffer = 0; // set once by bind

    // The reader fills one buffer while the caller empties the other; they trade places when the caller's is done.
    mutable QMutex queueLock;
    ArrivalBuffer filling;
    int untaken = 0; // stored and not yet handed to a caller, in both buffers
    qint64 untakenBytes = 0;
    int queueLimit = DefaultQueueLimit;
    mutable QMutex takeLock;
    ArrivalBuffer taking;

    // The system's drop count is 32 bits and may wrap; this extends it.
    mutable QMutex dropLock;
    mutable quint32 lastDropCount = 0;
    mutable quint64 dropTotal = 0;
};
