#include "foundmodules.h"

#include <QHostAddress>
#include <QNetworkInterface>

#include <algorithm>

namespace {

quint32 sortableAddress(const QString &text)
{
    bool isIpv4 = false;
    const quint32 address = QHostAddress(text).toIPv4Address(&isIpv4);
    return isIpv4 ? address : 0;
}

} // namespace

void FoundModules::add(const DeviceRecord &reply)
{
    switch (sightings.add(reply)) {
    case ReplyCollector::Sighting::New: {
        FoundModule module;
        module.record = reply;
        modules.insert(reply.macAddress, module);
        break;
    }
    case ReplyCollector::Sighting::OtherSource: {
        QStringList &otherSources = modules[reply.macAddress].otherSources;
        if (!otherSources.contains(reply.sourceIp))
            otherSources << reply.sourceIp;
        break;
    }
    case ReplyCollector::Sighting::Repeated:
        break;
    case ReplyCollector::Sighting::Full:
        full = true;
        break;
    }
}

FoundModule annotatedModule(const FoundModule &module, const QList<BroadcastInterface> &adapters)
{
    FoundModule result = module;
    const int index = module.record.interfaceIndex;
    result.adapterName = index > 0 ? QNetworkInterface::interfaceNameFromIndex(index) : QString();
    for (const BroadcastInterface &adapter : adapters) {
        if (adapter.index == index) {
            result.adapterName = adapter.name;
            result.foreignSubnet = !adapter.reaches(QHostAddress(module.record.localIp));
        }
    }
    return result;
}

QList<FoundModule> FoundModules::annotated(const QList<BroadcastInterface> &adapters) const
{
    QHash<QString, QStringList> claims; // address -> MACs, sorted
    for (const FoundModule &module : modules)
        claims[module.record.localIp] << module.record.macAddress;
    for (QStringList &macs : claims)
        macs.sort();

    QList<FoundModule> list;
    for (const FoundModule &module : modules) {
        FoundModule entry = annotatedModule(module, adapters);
        const QStringList &sharing = *claims.constFind(module.record.localIp);
        entry.ipClaimedByCount = sharing.size() - 1;
        // The first few others: at most one more than shown need be looked at, as one of them is the module.
        for (int i = 0; i < sharing.size() && entry.ipClaimedBy.size() < ClaimedByShown; ++i) {
            if (sharing.at(i) != module.record.macAddress)
                entry.ipClaimedBy << sharing.at(i);
        }
        list << entry;
    }
    std::sort(list.begin(), list.end(), [](const FoundModule &a, const FoundModule &b) {
        const quint32 left = sortableAddress(a.record.sourceIp);
        const quint32 right = sortableAddress(b.record.sourceIp);
        return left != right ? left < right : a.record.macAddress < b.record.macAddress;
    });
    return list;
}
