#pragma once

#include <QByteArray>
#include <QMutex>
#include <QNetworkDatagram>
#include <QObject>
#include <QStringList>
#include <QThread>
#include <QVector>

class DatagramReader;

// UDP port 1500, shared with other programs. A reader thread owns the socket and does nothing but move
// datagrams from the kernel's queue into memory, so a burst of replies is never lost while the caller is busy
// listing; the caller takes them in batches on its own thread. Sends are handed to the same socket, so they
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
    bool hasDatagrams() const;

signals:
    // Something arrived while nothing was waiting to be taken.
    void datagramsArrived();
    // A send failed; the text is the system's.
    void sendFailed(const QString &errorText);

private:
    friend class DatagramReader;
    void store(QVector<QNetworkDatagram> &arrived);

    QThread thread;
    DatagramReader *reader = nullptr;
    bool bound = false;

    mutable QMutex queueLock;
    QVector<QNetworkDatagram> queue;
    int queueHead = 0;
};
