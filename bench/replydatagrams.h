#pragma once

#include <QByteArray>
#include <QNetworkDatagram>
#include <QString>

// Replies as a module sends them, one per MAC address (a 48-bit number), with the factory parameters.

// The plain 64-byte reply, checksum included.
QByteArray plainReply(quint64 mac);

// The same reply encrypted with the installed frame key, as it travels.
QByteArray encryptedReply(quint64 mac);

// The encrypted reply as the device port hands it over: from port 1500 of an IPv4 module on the segment,
// IPv4-mapped as the dual-stack socket reports it.
QNetworkDatagram replyDatagram(quint64 mac);
