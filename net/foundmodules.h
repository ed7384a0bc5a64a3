#pragma once

#include "broadcastinterfaces.h"
#include "devicerecord.h"
#include "packedrecord.h"
#include "receivepath.h"

#include <QHash>
#include <QList>
#include <QStringList>

#include <functional>

// One module as a search found it, with what is worth pointing out about it.
struct FoundModule {
    DeviceRecord record; // as its first reply reported it
    QString adapterName; // the adapter that reply came in on; empty when unknown
    QStringList otherSources; // further addresses the same MAC answered from: two modules share the MAC
    bool foreignSubnet = false; // its own address lies in no subnet of that adapter, so nobody there reaches it
    // Other modules that claim the same address: how many, and the first few of their MACs in order (a batch of
    // fresh modules all share one address, and naming every one beside every other would grow with the square).
    int ipClaimedByCount = 0;
    QStringList ipClaimedBy;
};

// The replies of a search, merged by MAC, each module packed into the bytes of its first reply.
class FoundModules
{
public:
    explicit FoundModules(int capacity = MostListedModules)
        : most(capacity)
    {
    }

    // The first reply of a MAC wins; a later one from another source address is remembered beside it. A new MAC
    // beyond the capacity is not kept (isFull()).
    void add(const DeviceRecord &reply);
    // A module went unlisted because the list was full.
    bool isFull() const { return full; }

    int size() const { return packed.size() + whole.size(); }
    bool contains(const QString &macAddress) const { return find(macAddress) != nullptr; }
    // Only for a MAC that contains() knows.
    FoundModule module(const QString &macAddress) const;

    // Every module with its notes filled in from the adapters (broadcastInterfaces()), ordered by source address
    // and then MAC, so that the same modules always list alike.
    QList<FoundModule> annotated(const QList<BroadcastInterface> &adapters) const;
    // The same modules in the same order, one at a time, so that a long list is never held whole.
    void forEachAnnotated(const QList<BroadcastInterface> &adapters,
                          const std::function<void(const FoundModule &)> &visit) const;

private:
    // One module and the further addresses its MAC answered from.
    struct Entry {
        PackedRecord module;
        QStringList otherSources;
    };
    const Entry *find(const QString &macAddress) const;
    Entry *find(const QString &macAddress);

    QHash<quint64, Entry> packed; // by the MAC's 48 bits
    QHash<QString, Entry> whole; // MACs no number gives back, by their text
    int most = MostListedModules;
    bool full = false;
};

// How many MACs ipClaimedBy names at most.
constexpr int ClaimedByShown = 3;

// One module's notes that need only the adapters, for a module looked up on its own.
FoundModule annotatedModule(const FoundModule &module, const QList<BroadcastInterface> &adapters);
