#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkDatagram>
#include <QUdpSocket>

// Everything a socket receives before the first datagram that carries `sentinel`. A segment delivers in
// order, so once the sentinel sent after a datagram is here, every copy of that datagram is here too and
// counting them needs no waiting. Sets *complete to false when the sentinel does not come within `timeoutMs`.
inline QList<QNetworkDatagram> datagramsBefore(QUdpSocket &socket, const QByteArray &sentinel, bool *complete,
                                               int timeoutMs = 10000)
{
    QList<QNetworkDatagram> received;
    *complete = false;
    while (socket.hasPendingDatagrams() || socket.waitForReadyRead(timeoutMs)) {
        const QNetworkDatagram datagram = socket.receiveDatagram();
        if (datagram.data() == sentinel) {
            *complete = true;
            break;
        }
        received.append(datagram);
    }
    return received;
}
