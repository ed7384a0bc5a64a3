#include "foundmodules.h"

#include "framelayout.h"
#include "replyframe.h"

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

std::optional<quint64> FoundModules::macKey(const QString &macAddress)
{
    bool ok = false;
    const quint64 key = macAddress.toULongLong(&ok, 16);
    if (!ok || macAddressText(key) != macAddress)
        return std::nullopt;
    return key;
}

std::optional<FoundModules::Entry> FoundModules::pack(const DeviceRecord &record)
{
    bool isIpv4 = false;
    Entry entry;
    entry.sourceIpv4 = QHostAddress(record.sourceIp).toIPv4Address(&isIpv4);
    entry.interfaceIndex = record.interfaceIndex;
    entry.reportedLineFormat = record.reportedLineFormat;
    const QByteArray frame = layoutDeviceReply(record);
    if (!isIpv4 || frame.size() != FrameSize)
        return std::nullopt;
    std::copy(frame.cbegin(), frame.cend(), entry.frame.begin());
    // Only what comes back exactly is kept as bytes.
    if (entry.record() != record)
        return std::nullopt;
    return entry;
}

QString FoundModules::Entry::sourceIp() const
{
    return kept ? kept->sourceIp : QHostAddress(sourceIpv4).toString();
}

DeviceRecord FoundModules::Entry::record() const
{
    if (kept)
        return *kept;
    DeviceRecord record = decodeDeviceReply(QByteArray(frame.data(), FrameSize), sourceIp());
    record.interfaceIndex = interfaceIndex;
    record.reportedLineFormat = reportedLineFormat;
    return record;
}

const FoundModules::Entry *FoundModules::find(const QString &macAddress) const
{
    if (const std::optional<quint64> key = macKey(macAddress)) {
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
        if (reply.sourceIp != known->sourceIp() && !known->otherSources.contains(reply.sourceIp))
            known->otherSources << reply.sourceIp;
        return;
    }
    if (size() >= most) {
        full = true;
        return;
    }
    const std::optional<quint64> key = macKey(reply.macAddress);
    std::optional<Entry> entry = key ? pack(reply) : std::nullopt;
    if (entry) {
        packed.insert(*key, *entry);
        return;
    }
    Entry kept;
    kept.kept = std::make_shared<const DeviceRecord>(reply);
    whole.insert(reply.macAddress, kept);
}

FoundModule FoundModules::module(const QString &macAddress) const
{
    const Entry *entry = find(macAddress);
    FoundModule module;
    if (entry) {
        module.record = entry->record();
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
    for (auto it = packed.cbegin(); it != packed.cend(); ++it) {
        const DeviceRecord record = it.value().record();
        places.push_back({it.value().sourceIpv4, record.macAddress, record.localIp, &it.value()});
    }
    for (auto it = whole.cbegin(); it != whole.cend(); ++it) {
        const DeviceRecord &record = *it.value().kept;
        places.push_back({sortableAddress(record.sourceIp), record.macAddress, record.localIp, &it.value()});
    }

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
        module.record = place.entry->record();
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
