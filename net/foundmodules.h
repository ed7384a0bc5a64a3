#pragma once

#include "broadcastinterfaces.h"
#include "devicerecord.h"
#include "receivepath.h"

#include <QHash>
#include <QList>
#include <QStringList>

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

// The replies of a search, merged by MAC.
class FoundModules
{
public:
    explicit FoundModules(int capacity = MostListedModules)
        : sightings(capacity)
    {
    }

    // The first reply of a MAC wins; a later one from another source address is remembered beside it. A new MAC
    // beyond MostListedModules is not kept (isFull()).
    void add(const DeviceRecord &reply);
    // A module went unlisted because the list was full.
    bool isFull() const { return full; }

    int size() const { return modules.size(); }
    bool contains(const QString &macAddress) const { return modules.contains(macAddress); }
    // Only for a MAC that contains() knows.
    const FoundModule &module(const QString &macAddress) const { return *modules.constFind(macAddress); }

    // Every module with its notes filled in from the adapters (broadcastInterfaces()), ordered by source address
    // and then MAC, so that the same modules always list alike.
    QList<FoundModule> annotated(const QList<BroadcastInterface> &adapters) const;

private:
    ReplyCollector sightings;
    QHash<QString, FoundModule> modules;
    bool full = false;
};

// How many MACs ipClaimedBy names at most.
constexpr int ClaimedByShown = 3;

// One module's notes that need only the adapters, for a module looked up on its own.
FoundModule annotatedModule(const FoundModule &module, const QList<BroadcastInterface> &adapters);
