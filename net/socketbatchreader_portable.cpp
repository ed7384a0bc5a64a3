// The reader where the system offers no batch read and no drop count (Windows, and Linux with
// KESTREL_PORTABLE_READER, so that this file is tested on every change): Qt's own receiveDatagram, one datagram
// at a time, with the same particulars (sender, adapter, destination).
#include "socketbatchreader.h"

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QThread>
#include <QUdpSocket>

#include <cstring>

namespace {

// The most a UDP datagram can carry.
constexpr qint64 LargestDatagram = 65535 - 8;

// How a dual-stack socket writes an IPv4 address: ::ffff:a.b.c.d, as the Linux reader reports it.
void writeAddress(quint8 *out, const QHostAddress &address)
{
    bool isIpv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIpv4);
    if (isIpv4) {
        static constexpr quint8 MappedIpv4Prefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
        std::memcpy(out, MappedIpv4Prefix, sizeof MappedIpv4Prefix);
        const quint8 bytes[4] = {quint8(ipv4 >> 24), quint8(ipv4 >> 16), quint8(ipv4 >> 8), quint8(ipv4)};
        std::memcpy(out + sizeof MappedIpv4Prefix, bytes, sizeof bytes);
        return;
    }
    const Q_IPV6ADDR ipv6 = address.toIPv6Address();
    std::memcpy(out, ipv6.c, 16);
}

} // namespace

struct SocketBatchReader::Platform {
    QUdpSocket *socket = nullptr;
    QMetaObject::Connection announcement;
    std::function<void()> ready;
    bool held = false;
    QNetworkDatagram datagrams[Slots]; // each keeps its bytes until the next read
};

SocketBatchReader::SocketBatchReader()
    : platform(new Platform)
{
}

SocketBatchReader::~SocketBatchReader() = default;

bool SocketBatchReader::countsDrops()
{
    return false;
}

void SocketBatchReader::raiseThreadPriority()
{
    QThread::currentThread()->setPriority(QThread::HighestPriority);
}

bool SocketBatchReader::attach(QUdpSocket *socket, std::function<void()> ready, QString *)
{
    Platform &p = *platform;
    p.socket = socket;
    p.ready = std::move(ready);
    // Qt announces once and then stays quiet until a datagram is read, so a held reader costs nothing.
    p.announcement = QObject::connect(socket, &QUdpSocket::readyRead, [this] {
        if (!platform->held)
            platform->ready();
    });
    return true;
}

void SocketBatchReader::hold(bool held)
{
    Platform &p = *platform;
    p.held = held;
    // Qt does not announce again what it announced while the reader was held: a receive is tried now (see read).
    if (!held && p.socket)
        p.ready();
}

int SocketBatchReader::read()
{
    Platform &p = *platform;
    if (!p.socket)
        return -1;
    int count = 0;
    while (count < Slots) {
        QNetworkDatagram received = p.socket->receiveDatagram();
        if (!received.isValid()) {
            // After announcing, Qt stays quiet until a receive reaches the system; receiveDatagram() without a size
            // returns before that when it sees nothing waiting. An announcement with nothing to take (one that came
            // late, after its datagrams were taken) would leave the reader deaf to every later datagram. A receive
            // into a buffer of its own reaches the system, and takes what may have arrived meanwhile.
            received = p.socket->receiveDatagram(LargestDatagram);
            if (!received.isValid())
                break;
        }
        ArrivedDatagram &datagram = arrived[count];
        datagram.length = int(received.data().size());
        writeAddress(datagram.sender, received.senderAddress());
        datagram.senderPort = quint16(qMax(received.senderPort(), 0));
        // Qt names the scope of a link-local sender by its adapter's name where it can.
        const QString scope = received.senderAddress().scopeId();
        bool numeric = false;
        const uint scopeId = scope.toUInt(&numeric);
        datagram.senderScopeId = numeric ? scopeId : quint32(qMax(QNetworkInterface::interfaceIndexFromName(scope), 0));
        datagram.interfaceIndex = int(received.interfaceIndex());
        datagram.hasDestination = !received.destinationAddress().isNull();
        if (datagram.hasDestination)
            writeAddress(datagram.destination, received.destinationAddress());
        p.datagrams[count] = std::move(received);
        ++count;
    }
    return count;
}

const char *SocketBatchReader::head(int i) const
{
    return platform->datagrams[i].data().constData();
}

int SocketBatchReader::headBytes(int i) const
{
    return arrived[i].length;
}

const char *SocketBatchReader::tail(int) const
{
    return nullptr; // every datagram is whole in its head
}

bool SocketBatchReader::dropCount(quint32 *) const
{
    return false;
}

bool SocketBatchReader::currentDropCount(quint32 *) const
{
    return false;
}
