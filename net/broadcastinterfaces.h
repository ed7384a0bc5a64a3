#pragma once

#include <QHostAddress>
#include <QList>
#include <QNetworkAddressEntry>
#include <QString>

// An adapter through which a search request can reach modules: up, running, able to broadcast, not loopback,
// with at least one IPv4 address.
struct BroadcastInterface {
    int index = 0;
    QString name;
    QList<QNetworkAddressEntry> ipv4Entries; // the first one's address is the sender of what we send through it

    QHostAddress address() const { return ipv4Entries.isEmpty() ? QHostAddress() : ipv4Entries.first().ip(); }
    // Whether an address lies in one of the adapter's IPv4 subnets.
    bool reaches(const QHostAddress &address) const;
};

QList<BroadcastInterface> broadcastInterfaces();
