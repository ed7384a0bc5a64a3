#pragma once

#include <QtGlobal>

class QHostAddress;
class QNetworkDatagram;

// One datagram heard on the device port, as the reader took it off the socket: no copy of its own on the heap.
// The bytes belong to the endpoint and stay valid only while the call that hands the datagram over runs.
struct ArrivedDatagram {
    const char *data = nullptr;
    int length = 0;
    quint16 senderPort = 0;
    int interfaceIndex = 0; // the adapter it came in through; 0 when the system did not say
    // As the dual-stack socket reports them: IPv6, an IPv4 address in its IPv4-mapped form.
    quint8 sender[16] = {};
    quint32 senderScopeId = 0;
    quint8 destination[16] = {};
    bool hasDestination = false;

    // The same values as Qt's own receiveDatagram gives them.
    QHostAddress senderAddress() const;
    QHostAddress destinationAddress() const;
    QNetworkDatagram toNetworkDatagram() const;
};
