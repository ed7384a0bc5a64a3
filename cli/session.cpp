#include "session.h"

#include "frameconstants.h"
#include "output.h"

#include <QSet>

namespace {

constexpr int DefaultRetries = 1;
constexpr int MostRetries = 100;
const QLatin1String DefaultTimeout("1.5");

QString adapterNames(const QList<BroadcastInterface> &adapters)
{
    QStringList names;
    for (const BroadcastInterface &adapter : adapters)
        names << adapter.name;
    return names.isEmpty() ? QStringLiteral("none") : names.join(QStringLiteral(", "));
}

} // namespace

void Session::addOptions(CommandLine &commandLine)
{
    commandLine.addOption(keyOption());
    commandLine.addOption(QCommandLineOption(
        QStringLiteral("interface"),
        QStringLiteral("Search only through this adapter (default: every adapter that can broadcast)."),
        QStringLiteral("name")));
    commandLine.addOption(QCommandLineOption(
        QStringLiteral("timeout"), QStringLiteral("How long replies are collected (default %1).").arg(DefaultTimeout),
        QStringLiteral("seconds"), DefaultTimeout));
    commandLine.addOption(QCommandLineOption(
        QStringLiteral("retries"),
        QStringLiteral("Send the request this many more times within the timeout (default %1, at most %2).")
            .arg(DefaultRetries)
            .arg(MostRetries),
        QStringLiteral("count"), QString::number(DefaultRetries)));
}

std::optional<Failure> Session::open(const CommandLine &commandLine)
{
    const std::optional<int> duration = parseSeconds(commandLine.value(QStringLiteral("timeout")));
    if (!duration)
        return commandLine.usageError(
            QStringLiteral("--timeout needs seconds from 0.001 to 3600, such as 1.5; got \"%1\"")
                .arg(commandLine.value(QStringLiteral("timeout"))));
    const std::optional<int> retries = parseCount(commandLine.value(QStringLiteral("retries")), 0, MostRetries);
    if (!retries)
        return commandLine.usageError(QStringLiteral("--retries needs a whole number from 0 to %1; got \"%2\"")
                                          .arg(MostRetries)
                                          .arg(commandLine.value(QStringLiteral("retries"))));
    plan.durationMs = *duration;
    plan.requests = *retries + 1;

    if (const std::optional<Failure> keyFailure = installFrameKey(commandLine))
        return keyFailure;

    adapters = broadcastInterfaces();
    if (commandLine.isSet(QStringLiteral("interface"))) {
        const QString name = commandLine.value(QStringLiteral("interface"));
        QList<BroadcastInterface> chosen;
        for (const BroadcastInterface &adapter : qAsConst(adapters)) {
            if (adapter.name == name)
                chosen << adapter;
        }
        if (chosen.isEmpty())
            return Failure {ExitStatus::NetworkError,
                            QStringLiteral("no adapter \"%1\" that is up, can broadcast and has an IPv4 address "
                                           "(adapters that can: %2)")
                                .arg(name, adapterNames(adapters))};
        adapters = chosen;
        plan.interfaceIndex = chosen.first().index;
    }

    QString bindError;
    if (!endpoint.bind(&bindError))
        return Failure {ExitStatus::NetworkError, QStringLiteral("cannot use UDP port %1: %2").arg(DevicePort).arg(bindError)};
    return std::nullopt;
}

std::optional<Failure> Session::search(FoundModules *found, const QStringList &macAddresses, int expect)
{
    QSet<QString> missing(macAddresses.cbegin(), macAddresses.cend());
    searched = runSearch(endpoint, plan, [&](const DeviceRecord &reply) {
        found->add(reply);
        missing.remove(reply.macAddress);
        if (!macAddresses.isEmpty())
            return missing.isEmpty();
        return expect > 0 && found->size() >= expect;
    });
    if (found->isFull())
        printWarning(QStringLiteral("the list holds at most %1 modules: further modules that answered are not listed")
                         .arg(MostListedModules));
    if (searched.lostReplies > 0)
        printWarning(QStringLiteral("the system still dropped %1 replies in the last of %2 search rounds: modules "
                                    "may be missing; search again")
                         .arg(searched.lostReplies)
                         .arg(searched.rounds));
    if (!searched.dropsCounted && !uncountedDropsSaid) {
        uncountedDropsSaid = true;
        printWarning(QStringLiteral("this system does not count the replies it drops for want of room (receive "
                                    "queue: %1 KiB): modules may be missing; search again to be sure")
                         .arg(searched.receiveBufferBytes / 1024));
    } else if (searched.dropsCounted && searched.repeatsDropped > 0) {
        printError(QStringLiteral("the list is very likely complete: the last two of %1 search rounds found no new "
                                  "module, and the %2 replies the system dropped in the last one were repeats")
                       .arg(searched.rounds)
                       .arg(searched.repeatsDropped));
    }
    if (searched.badChecksums > 0)
        printWarning(QStringLiteral("replies from port %1 that failed the checksum: %2 (wrong frame key?)")
                         .arg(DevicePort)
                         .arg(searched.badChecksums));
    return judgeSends(searched.sendErrors, searched.allSendsFailed() && found->size() == 0,
                      QStringLiteral("the search request"));
}

std::optional<Failure> Session::judgeSends(const QStringList &sendErrors, bool nothingLeft, const QString &what) const
{
    QStringList reasons = sendErrors;
    reasons.removeDuplicates();
    if (nothingLeft && !reasons.isEmpty())
        return Failure {ExitStatus::NetworkError,
                        QStringLiteral("could not send %1: %2").arg(what, reasons.join(QStringLiteral("; ")))};
    for (const QString &reason : qAsConst(reasons))
        printWarning(QStringLiteral("could not send %1 everywhere: %2").arg(what, reason));
    return std::nullopt;
}
