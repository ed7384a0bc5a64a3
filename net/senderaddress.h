#pragma once

#include <QString>

class QHostAddress;

// The text shown as a module's address. The device port is bound dual-stack, so IPv4 senders arrive
// IPv4-mapped (::ffff:192.168.1.7) and are shown as plain IPv4; any other address as it stands.
QString sourceIpText(const QHostAddress &sender);
