#include "broadcastinterfaces.h"

#include <QNetworkInterface>

bool BroadcastInterface::reaches(const QHostAddress &host) const
{
    for (const QNetworkAddressEntry &entry : ipv4Entries) {
        if (host.isInSubnet(entry.ip(), entry.prefixLength()))
            return true;
    }
    return false;
}

QList<BroadcastInterface> broadcastInterfaces()
{
    constexpr QNetworkInterface::InterfaceFlags needed
        = QNetworkInterface::IsUp | QNetworkInterface::IsRunning | QNetworkInterface::CanBroadcast;
    QList<BroadcastInterface> found;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        if ((interface.flags() & needed) != needed || interface.flags().testFlag(QNetworkInterface::IsLoopBack))
            continue;
        BroadcastInterface adapter;
        adapter.index = interface.index();
        adapter.name = interface.name();
        const auto entries = interface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol)
                adapter.ipv4Entries.append(entry);
        }
        if (!adapter.ipv4Entries.isEmpty())
            found.append(adapter);
    }
    return found;
}
