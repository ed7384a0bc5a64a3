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
    Implausible,      // decrypted, checksum valid, no marker, but holding what no module reports: noise that passed
                      // the 16-bit checksum by chance (one random frame in 65,536 does)
};

struct ReceivedDatagram {
    DatagramKind kind = DatagramKind::WrongLength;
    QByteArray plainFrame; // the 64 decrypted bytes, for every kind that got as far as decryption
};

// Decrypts with the installed frame key.
ReceivedDatagram classifyDatagram(const QByteArray &datagram, quint16 senderPort);

// The checks after decryption: Reply, BadChecksum, ConfigFrame or Implausible (WrongLength unless 64 bytes).
DatagramKind classifyPlainFrame(const QByteArray &plainFrame);

// Bytes 6-9 hold the configuration marker "1111": a tool's configuration frame, not a module's reply.
bool carriesConfigMarker(const QByteArray &plainFrame);

// What every module's reply holds, whatever the module's settings: a MAC that can be an adapter's own (not a
// group address) and the small settings within their values (IP type 0-1, work mode 0-3, Modbus conversion 0-1),
// which is all a configuration frame can give a module. Together with the checksum, about one random frame in
// 2^37 passes.
bool looksLikeModuleReply(const QByteArray &plainFrame);
