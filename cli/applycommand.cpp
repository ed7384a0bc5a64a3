// apply: give one or many modules the parameters of a JSON file, each read back as with set.

#include "commands.h"

#include "commandline.h"
#include "configframe.h"
#include "configuration.h"
#include "factorydefaults.h"
#include "inputfile.h"
#include "jsontext.h"
#include "macaddress.h"
#include "moduleenums.h"
#include "modulejson.h"
#include "modulereport.h"
#include "output.h"
#include "session.h"
#include "verifyoptions.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QVector>

#include <algorithm>

namespace {

constexpr qint64 LargestFile = 1024 * 1024;

struct Target {
    QString mac;
    int status = ExitStatus::Success;
    QString outcome; // "confirmed", "sent", "not found", ...
    QStringList details;
    DeviceRecord wanted;
};

std::optional<Failure> readParameters(const CommandLine &commandLine, const QString &path, bool keepIp, bool useName,
                                      QJsonObject *parameters)
{
    QByteArray content;
    QString error;
    if (!readInputFile(path, LargestFile, &content, &error))
        return Failure {ExitStatus::UsageError, error};
    QJsonDocument document;
    if (!parseJsonText(content, &document, &error))
        return Failure {ExitStatus::UsageError, QStringLiteral("%1: %2").arg(path, error)};
    if (!document.isObject())
        return Failure {
            ExitStatus::UsageError,
            QStringLiteral("%1: expected one module as a JSON object, such as kestrelctl export writes").arg(path)};
    QJsonObject object = document.object();
    // The keys that say which module the file came from and where it was seen: the targets are the MACs given.
    for (const QString &key : identityModuleKeys() + sightingModuleKeys() + noteKeys())
        object.remove(key);
    if (keepIp)
        object.remove(QStringLiteral("ip"));
    // A file usually comes from one module: its name is that module's, not a name for every target.
    if (!useName) {
        object.remove(QStringLiteral("name"));
        object.remove(QStringLiteral("name-hex"));
    }
    if (object.isEmpty())
        return commandLine.usageError(QStringLiteral("%1 holds no parameters to apply").arg(path));
    *parameters = object;
    return std::nullopt;
}

QString summary(const Target &target)
{
    return QStringLiteral("%1 %2: %3")
        .arg(target.mac, target.outcome,
             target.details.isEmpty() ? QStringLiteral("no change") : target.details.join(QStringLiteral("; ")));
}

} // namespace

int applyCommand(const QStringList &arguments)
{
    CommandLine commandLine(
        QStringLiteral("apply"), QStringLiteral("FILE MAC..."),
        QStringLiteral("Gives each module the parameters of a JSON file (as kestrelctl export writes it; \"-\" reads\n"
                       "stdin), over what the module reports: fields the file leaves out stay as they are. The\n"
                       "file's mac, version, source-ip and interface are ignored: the targets are the MACs given.\n"
                       "Line settings the file names replace the module's own (5 or 6 data bits, stick parity).\n"
                       "Each module keeps its own name unless --use-name is given. A static IP for several\n"
                       "modules is refused (exit status %1) unless --keep-ip keeps each one's own.\n"
                       "Every value is checked as the window does; each module gets one configuration frame\n"
                       "through the adapter it answered on and is read back as with set. One summary line per\n"
                       "module; the exit status is that of the first module that failed.\n"
                       "Example: kestrelctl apply line3.json --keep-ip 001A2B3C4D5E 001A2B3C4D5F\n")
                .arg(ExitStatus::Conflict)
            + frameKeySourcesHelp());
    commandLine.addArgument(QStringLiteral("FILE"), QStringLiteral("A module's parameters as JSON, or - for stdin."));
    commandLine.addArgument(QStringLiteral("MAC"), QStringLiteral("A module to configure, such as 00:1A:2B:3C:4D:5E."));
    Session::addOptions(commandLine);
    commandLine.addOption(QCommandLineOption(QStringLiteral("keep-ip"),
                                             QStringLiteral("Every module keeps its own IP address (the file's \"ip\" "
                                                            "is not used).")));
    commandLine.addOption(QCommandLineOption(QStringLiteral("use-name"),
                                             QStringLiteral("Give every module the file's \"name\" too (by default "
                                                            "each keeps its own).")));
    VerifyOptions::addTo(commandLine);
    if (const std::optional<int> status = commandLine.parse(arguments))
        return *status;

    const QStringList words = commandLine.arguments();
    if (words.size() < 2)
        return reportFailure(commandLine.usageError(words.isEmpty() ? QStringLiteral("the file is missing")
                                                                    : QStringLiteral("no MAC address given")));
    QVector<Target> targets;
    for (const QString &word : words.mid(1)) {
        const std::optional<QString> mac = parseMacAddress(word);
        if (!mac)
            return reportFailure(commandLine.usageError(
                QStringLiteral("\"%1\" is not a MAC address such as 001A2B3C4D5E or 00:1A:2B:3C:4D:5E").arg(word)));
        for (const Target &target : qAsConst(targets)) {
            if (target.mac == *mac)
                return reportFailure(commandLine.usageError(QStringLiteral("%1 is given twice").arg(*mac)));
        }
        Target target;
        target.mac = *mac;
        targets.append(target);
    }
    VerifyOptions verify;
    if (const std::optional<Failure> failure = VerifyOptions::read(commandLine, &verify))
        return reportFailure(*failure);
    const QString path = words.first();
    const bool keepIp = commandLine.isSet(QStringLiteral("keep-ip"));
    QJsonObject parameters;
    if (const std::optional<Failure> failure
        = readParameters(commandLine, path, keepIp, commandLine.isSet(QStringLiteral("use-name")), &parameters))
        return reportFailure(*failure);

    // A file that no module could take is refused before anything goes on the network: each value it gives is
    // checked as set checks one typed, over a module in TCP Client mode, the one mode in which every value can be
    // sent. What else it needs of the module (a mode for "random") is checked for each module once it answered.
    DeviceRecord sample = factoryDefaultRecord();
    sample.macAddress = targets.first().mac;
    sample.workMode = Module::TcpClient;
    QString error;
    if (!moduleFromJson(parameters, sample, &sample, &error, SendCheck::GivenFields))
        return reportFailure({ExitStatus::RefusedValue, QStringLiteral("%1: %2; nothing was sent").arg(path, error)});
    // One static address for several modules leaves them unreachable: refused before anything is sent.
    if (targets.size() > 1 && parameters.contains(QStringLiteral("ip")) && sample.ipType == Module::StaticIp)
        return reportFailure({ExitStatus::Conflict,
                              QStringLiteral("%1 modules would all get the address %2; --keep-ip keeps each one's "
                                             "own; nothing was sent")
                                  .arg(targets.size())
                                  .arg(sample.localIp)});

    Session session;
    if (const std::optional<Failure> failure = session.open(commandLine))
        return reportFailure(*failure);
    QStringList macs;
    for (const Target &target : qAsConst(targets))
        macs << target.mac;
    FoundModules found;
    if (const std::optional<Failure> failure = session.search(&found, macs))
        return reportFailure(*failure);

    QList<DeviceRecord> sent;
    QSet<QString> warned; // each once, however many modules it concerns
    for (Target &target : targets) {
        if (!found.contains(target.mac)) {
            target.status = ExitStatus::ModuleNotFound;
            target.outcome = QStringLiteral("not found");
            target.details << QStringLiteral("did not answer the search");
            continue;
        }
        const DeviceRecord reported = found.module(target.mac).record;
        // Each line setting the file names replaces its own bits of the module's line-format byte.
        if (!moduleFromJson(parameters, reported, &target.wanted, &error)) {
            target.status = ExitStatus::RefusedValue;
            target.outcome = QStringLiteral("refused");
            target.details << error << QStringLiteral("nothing was sent");
            continue;
        }
        for (const QString &warning : editWarnings(reported, target.wanted)) {
            if (!warned.contains(warning))
                printWarning(warning);
            warned.insert(warning);
        }
        if (const std::optional<Failure> failure = sendConfiguration(session, target.wanted, reported)) {
            target.status = failure->status;
            target.outcome = QStringLiteral("not sent");
            target.details << failure->message;
            continue;
        }
        target.outcome = QStringLiteral("sent");
        target.details = changes(reported, target.wanted);
        sent << target.wanted;
    }

    if (verify.verify && !sent.isEmpty()) {
        const QHash<QString, QStringList> left = readBack(session, sent, verify.timeoutMs);
        for (Target &target : targets) {
            if (target.outcome != QLatin1String("sent"))
                continue;
            const QStringList differences = left.value(target.mac);
            if (differences.isEmpty()) {
                target.outcome = QStringLiteral("confirmed");
            } else {
                target.status = ExitStatus::NotConfirmed;
                target.outcome = QStringLiteral("not confirmed");
                target.details = differences;
            }
        }
    }

    int status = ExitStatus::Success;
    int failed = 0;
    for (const Target &target : qAsConst(targets)) {
        printLine(summary(target));
        if (target.status != ExitStatus::Success) {
            ++failed;
            if (status == ExitStatus::Success)
                status = target.status;
        }
    }
    if (failed > 0)
        printError(QStringLiteral("%1 of %2 modules failed").arg(failed).arg(targets.size()));
    return status;
}
