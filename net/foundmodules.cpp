#include "foundmodules.h"

#include "framelayout.h"

#include <QHostAddress>
#include <QNetworkInterface>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

quint32 sortableAddress(const QString &text)
{
    bool isIpv4 = false;
    const quint32 address = QHostAddress(text).toIPv4Address(&isIpv4);
    return isIpv4 ? address : 0;
}

} // namespace

const FoundModules::Entry *FoundModules::find(const QString &macAddress) const
{
    if (const std::optional<quint64> key = macAddressKey(macAddress)) {
        const auto it = packed.constFind(*key);
        if (it != packed.cend())
            return &it.value();
    }
    const auto it = whole.constFind(macAddress);
    return it == whole.cend() ? nullptr : &it.value();
}

FoundModules::Entry *FoundModules::find(const QString &macAddress)
{
    return const_cast<Entry *>(qAsConst(*this).find(macAddress));
}

void FoundModules::add(const DeviceRecord &reply)
{
    if (Entry *known = find(reply.macAddress)) {
        // This MAC answered before: from another address, two modules share it.
        if (reply.sourceIp != known->module.sourceIp() && !known->otherSources.contains(reply.sourceIp))
            known->otherSources << reply.sourceIp;
        return;
    }
    if (size() >= most) {
        full = true;
        return;
    }
    const Entry entry {PackedRecord(reply), {}};
    if (const std::optional<quint64> key = macAddressKey(reply.macAddress))
        packed.insert(*key, entry);
    else
        whole.insert(reply.macAddress, entry);
}

FoundModule FoundModules::module(const QString &macAddress) const
{
    const Entry *entry = find(macAddress);
    FoundModule module;
    if (entry) {
        module.record = entry->module.record();
        module.otherSources = entry->otherSources;
    }
    return module;
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
    QList<FoundModule> list;
    forEachAnnotated(adapters, [&list](const FoundModule &module) { list << module; });
    return list;
}

void FoundModules::forEachAnnotated(const QList<BroadcastInterface> &adapters,
                                    const std::function<void(const FoundModule &)> &visit) const
{
    // Each module's order and the address it claims, without its texts: (source address, MAC, module address).
    struct Place {
        quint32 source;
        QString mac;
        QString localIp;
        const Entry *entry;
    };
    std::vector<Place> places;
    places.reserve(size_t(size()));
    const auto addPlace = [&places](const Entry &entry) {
        const DeviceRecord record = entry.module.record();
        places.push_back({sortableAddress(record.sourceIp), record.macAddress, record.localIp, &entry});
    };
    for (const Entry &entry : packed)
        addPlace(entry);
    for (const Entry &entry : whole)
        addPlace(entry);

    // Who claims an address: (module address, MAC), the MACs sorted within each address.
    std::vector<std::pair<QString, QString>> claimed;
    claimed.reserve(places.size());
    for (const Place &place : places)
        claimed.emplace_back(place.localIp, place.mac);
    std::sort(claimed.begin(), claimed.end());

    std::sort(places.begin(), places.end(), [](const Place &a, const Place &b) {
        return a.source != b.source ? a.source < b.source : a.mac < b.mac;
    });
    for (const Place &place : places) {
        FoundModule module;
        module.record = place.entry->module.record();
        module.otherSources = place.entry->otherSources;
        FoundModule entry = annotatedModule(module, adapters);
        const auto first = std::lower_bound(claimed.cbegin(), claimed.cend(), std::make_pair(place.localIp, QString()));
        auto end = first;
        while (end != claimed.cend() && end->first == place.localIp)
            ++end;
        entry.ipClaimedByCount = int(end - first) - 1;
        // The first few others: at most one more than shown need be looked at, as one of them is the module.
        for (auto it = first; it != end && entry.ipClaimedBy.size() < ClaimedByShown; ++it) {
            if (it->second != place.mac)
                entry.ipClaimedBy << it->second;
        }
        visit(entry);
    }
}
