#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <QUdpSocket>

// Proves that nothing more reached the simulated modules of one segment (scripts/netns-segments.sh): a datagram
// sent straight to them after everything else, which kestrel-sim reports as ignored once it has handled all that
// arrived before it. Returns the line to wait for in the simulator's output (empty when it could not be sent).
inline QByteArray sendSegmentSentinel(int segment)
{
    QUdpSocket socket;
    if (!socket.bind(QHostAddress(QStringLiteral("10.231.%1.1").arg(segment)), 0))
        return QByteArray();
    const QByteArray sentinel("sentinel");
    if (socket.writeDatagram(sentinel, QHostAddress(QStringLiteral("10.231.%1.2").arg(segment)), 1500)
        != sentinel.size())
        return QByteArray();
    // Not from port 1500, so the modules name the sender, and with it this one datagram.
    return QStringLiteral("ignored datagram from 10.231.%1.1:%2").arg(segment).arg(socket.localPort()).toLatin1();
}
