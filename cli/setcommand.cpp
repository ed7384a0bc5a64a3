// set: change some of a module's parameters, send them, read them back.

#include "commands.h"

#include "commandline.h"
#include "configframe.h"
#include "configuration.h"
#include "factorydefaults.h"
#include "macaddress.h"
#include "moduleenums.h"
#include "modulejson.h"
#include "output.h"
#include "session.h"
#include "verifyoptions.h"

#include <QSet>
#include <QVector>

namespace {

struct Edit {
    QString key;
    QString value;
    QString word; // as typed, for messages
};

std::optional<Failure> parseEdits(const CommandLine &commandLine, const QStringList &words, QVector<Edit> *edits)
{
    const QStringList settable = settableModuleKeys();
    const QStringList identityKeys = identityModuleKeys() + sightingModuleKeys();
    QSet<QString> seen;
    for (const QString &word : words) {
        const int equals = word.indexOf(QLatin1Char('='));
        if (equals <= 0)
            return commandLine.usageError(QStringLiteral("\"%1\" is not FIELD=VALUE").arg(word));
        const QString key = word.left(equals);
        if (identityKeys.contains(key))
            return commandLine.usageError(
                QStringLiteral("\"%1\" cannot be set: it is who the module is or where it was seen").arg(key));
        if (!settable.contains(key))
            return commandLine.usageError(QStringLiteral("unknown field \"%1\"; the fields are %2")
                                              .arg(key, settable.join(QStringLiteral(", "))));
        if (seen.contains(key))
            return commandLine.usageError(QStringLiteral("\"%1\" is given twice").arg(key));
        seen.insert(key);
        edits->append({key, word.mid(equals + 1), word});
    }
    return std::nullopt;
}

Failure refused(const QString &word, const QString &reason)
{
    return {ExitStatus::RefusedValue, QStringLiteral("refused %1: %2; nothing was sent").arg(word, reason)};
}

// Applies every edit, each checked as the window checks its form. An edit refused only because the module reports
// another field that cannot be sent is tried again once the other edits are in, so their order does not matter.
std::optional<Failure> applyEdits(DeviceRecord *record, const QVector<Edit> &edits)
{
    QVector<Edit> pending = edits;
    while (!pending.isEmpty()) {
        QVector<Edit> stillRefused;
        QString firstReason;
        for (const Edit &edit : qAsConst(pending)) {
            QString reason;
            if (!setModuleField(record, edit.key, edit.value, &reason)) {
                if (stillRefused.isEmpty())
                    firstReason = reason;
                stillRefused.append(edit);
            }
        }
        if (stillRefused.size() == pending.size())
            return refused(stillRefused.first().word, firstReason);
        pending = stillRefused;
    }
    return std::nullopt;
}

} // namespace

int setCommand(const QStringList &arguments)
{
    CommandLine commandLine(
        QStringLiteral("set"), QStringLiteral("MAC FIELD=VALUE..."),
        QStringLiteral("Starts from what the module reports, applies the changes, checks them as the window\n"
                       "does (nothing is sent when one is refused), sends one configuration frame through the\n"
                       "adapter the module answered on, then searches again until the module reports the new\n"
                       "values. Fields and values are those of the JSON form: name, name-hex, mode (udp,\n"
                       "tcp-client, udp-server, tcp-server), ip-type (static, dhcp), ip, mask, gateway,\n"
                       "local-port (1-65535, or random in mode tcp-client), remote-ip, remote-port,\n"
                       "baud (100-2000000), parity (none, odd, even, mark, space), data-bits (5, 6, 7, 8),\n"
                       "stop-bits (1, 2), modbus (off, on). Only the fields given are checked: the module's\n"
                       "other values go back as it reported them.\n"
                       "Example: kestrelctl set 00:1A:2B:3C:4D:5E mode=tcp-server local-port=8000 baud=115200\n")
            + frameKeySourcesHelp());
    commandLine.addArgument(QStringLiteral("MAC"), QStringLiteral("The module, such as 00:1A:2B:3C:4D:5E."));
    commandLine.addArgument(QStringLiteral("FIELD=VALUE"), QStringLiteral("A change, such as baud=115200."));
    Session::addOptions(commandLine);
    VerifyOptions::addTo(commandLine);
    if (const std::optional<int> status = commandLine.parse(arguments))
        return *status;

    const QStringList words = commandLine.arguments();
    if (words.size() < 2)
        return reportFailure(commandLine.usageError(words.isEmpty() ? QStringLiteral("the MAC address is missing")
                                                                    : QStringLiteral("no FIELD=VALUE given")));
    const std::optional<QString> mac = parseMacAddress(words.first());
    if (!mac)
        return reportFailure(commandLine.usageError(
            QStringLiteral("\"%1\" is not a MAC address such as 001A2B3C4D5E or 00:1A:2B:3C:4D:5E")
                .arg(words.first())));
    QVector<Edit> edits;
    if (const std::optional<Failure> failure = parseEdits(commandLine, words.mid(1), &edits))
        return reportFailure(*failure);
    VerifyOptions verify;
    if (const std::optional<Failure> failure = VerifyOptions::read(commandLine, &verify))
        return reportFailure(*failure);

    // A value that no module could take is refused before anything goes on the network.
    // TCP Client is the one mode in which every value can be sent, "random" included; the mode the module
    // reports is checked once it has answered.
    DeviceRecord sample = factoryDefaultRecord();
    sample.macAddress = *mac;
    sample.workMode = Module::TcpClient;
    if (const std::optional<Failure> failure = applyEdits(&sample, edits))
        return reportFailure(*failure);

    Session session;
    if (const std::optional<Failure> failure = session.open(commandLine))
        return reportFailure(*failure);
    FoundModules found;
    if (const std::optional<Failure> failure = session.search(&found, {*mac}))
        return reportFailure(*failure);
    if (!found.contains(*mac))
        return reportFailure({ExitStatus::ModuleNotFound, QStringLiteral("no module %1 answered").arg(*mac)});

    const DeviceRecord reported = found.module(*mac).record;
    DeviceRecord wanted = reported;
    if (const std::optional<Failure> failure = applyEdits(&wanted, edits))
        return reportFailure(*failure);
    for (const QString &warning : editWarnings(reported, wanted))
        printWarning(warning);
    QStringList changed = changes(reported, wanted);
    if (changed.isEmpty())
        changed << QStringLiteral("no change");

    if (const std::optional<Failure> failure = sendConfiguration(session, wanted, reported))
        return reportFailure(*failure);
    if (!verify.verify) {
        printLine(QStringLiteral("%1 sent: %2").arg(*mac, changed.join(QStringLiteral("; "))));
        return ExitStatus::Success;
    }
    const QStringList left = readBack(session, {wanted}, verify.timeoutMs).value(*mac);
    if (!left.isEmpty())
        return reportFailure({ExitStatus::NotConfirmed,
                              QStringLiteral("%1 not confirmed: %2").arg(*mac, left.join(QStringLiteral("; ")))});
    printLine(QStringLiteral("%1 confirmed: %2").arg(*mac, changed.join(QStringLiteral("; "))));
    return ExitStatus::Success;
}
