#pragma once

#include "broadcastinterfaces.h"
#include "commandline.h"
#include "deviceendpoint.h"
#include "foundmodules.h"
#include "modulesearch.h"

#include <QList>
#include <QStringList>

#include <optional>

// What the commands that talk to modules share: the frame key installed, the adapters to search through, port
// 1500 bound, and how long and how often a search asks.
class Session
{
public:
    // Adds --key, --interface, --timeout and --retries.
    static void addOptions(CommandLine &commandLine);

    // Reads those options, installs the frame key, finds the adapter and binds the port.
    std::optional<Failure> open(const CommandLine &commandLine);

    // Searches until every MAC given has answered or the time is up; an empty list waits the whole time,
    // expect > 0 ends it once that many modules answered. A search whose every request failed to leave is a
    // network error; a single failed copy is only warned about, as are replies the system still dropped when
    // the search stopped asking again.
    std::optional<Failure> search(FoundModules *found, const QStringList &macAddresses = QStringList(), int expect = 0);

    // The modules as the adapters show them (notes filled in).
    QList<FoundModule> annotated(const FoundModules &found) const { return found.annotated(adapters); }
    // The same, one module at a time.
    void forEachAnnotated(const FoundModules &found, const std::function<void(const FoundModule &)> &visit) const
    {
        found.forEachAnnotated(adapters, visit);
    }
    FoundModule annotated(const FoundModule &module) const { return annotatedModule(module, adapters); }

    // How the last search went: its rounds and the replies it may be missing.
    const SearchOutcome &lastSearch() const { return searched; }

    DeviceEndpoint &deviceEndpoint() { return endpoint; }
    const SearchPlan &searchPlan() const { return plan; }

    // Turns an outcome's failed sends into warnings, or into a network error when nothing could be sent.
    std::optional<Failure> judgeSends(const QStringList &sendErrors, bool nothingLeft, const QString &what) const;

private:
    DeviceEndpoint endpoint;
    SearchPlan plan;
    SearchOutcome searched;
    bool uncountedDropsSaid = false; // said once per command: watch searches again and again
    QList<BroadcastInterface> adapters;
};
