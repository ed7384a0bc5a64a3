#pragma once

#include <QByteArray>
#include <QtGlobal>

// What the receive path makes of one datagram heard on port 1500. Every program that listens there (the
// window, the command-line tool, the simulated modules) judges datagrams with this one function.
enum class DatagramKind {
    Reply,            // a module's reply: decrypted, checksum valid, no configuration marker
    DiscoveryRequest, // starts with "FFFF": a tool's search request, our own included
    WrongSourcePort,  // not sent from port 1500
    WrongLength,      // not exactly 64 bytes
    BadChecksum,      // decrypted, but the checksum does not match (another key, or damaged)
    ConfigFrame,      // decrypted, checksum valid, marker "1111": a tool's configuration frame
};

struct ReceivedDatagram {
    DatagramKind kind = DatagramKind::WrongLength;
    QByteArray plainFrame; // the 64 decrypted bytes, for every kind that got as far as decryption
};

// Decrypts with the installed frame key.
ReceivedDatagram classifyDatagram(const QByteArray &datagram, quint16 senderPort);

// The checks after decryption: Reply, BadChecksum or ConfigFrame (WrongLength unless 64 bytes).
DatagramKind classifyPlainFrame(const QByteArray &plainFrame);

// Bytes 6-9 hold the configuration marker "1111": a tool's configuration frame, not a module's reply.
bool carriesConfigMarker(const QByteArray &plainFrame);
