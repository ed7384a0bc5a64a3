// provision: commission a batch in one pass, from a list or an address range: one search, one frame for each module
// that needs one, one read-back search.

#include "commands.h"

#include "commandline.h"
#include "configuration.h"
#include "inventory.h"
#include "modulejson.h"
#include "modulereport.h"
#include "output.h"
#include "provisionplan.h"
#include "regularfile.h"
#include "session.h"
#include "verifyoptions.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>

#include <algorithm>

namespace {

constexpr int MostExpected = 1000000;
const QLatin1String NumberPlaceholder("{n}");

enum class Form { Text, Json, Csv };

QString outcomeOf(const ProvisionTarget &target, bool dryRun)
{
    if (!target.found)
        return QStringLiteral("not found");
    if (target.changes.isEmpty())
        return QStringLiteral("nothing to do");
    if (dryRun)
        return QStringLiteral("would change");
    if (target.confirmed)
        return QStringLiteral("confirmed");
    if (!target.sent)
        return QStringLiteral("not sent");
    return target.problems.isEmpty() ? QStringLiteral("sent") : QStringLiteral("not confirmed");
}

QJsonObject targetJson(const ProvisionTarget &target, bool dryRun)
{
    return {{QStringLiteral("mac"), target.row.mac},
            {QStringLiteral("line"), target.row.line},
            {QStringLiteral("found"), target.found},
            {QStringLiteral("outcome"), outcomeOf(target, dryRun)},
            {QStringLiteral("changes"), QJsonArray::fromStringList(target.changes)},
            {QStringLiteral("sent"), target.sent},
            {QStringLiteral("confirmed"), target.confirmed},
            {QStringLiteral("warnings"), QJsonArray::fromStringList(target.warnings)},
            {QStringLiteral("problems"), QJsonArray::fromStringList(target.problems)}};
}

QString reportText(const ProvisionPlan &plan, Form form, bool dryRun, const QString &summary, int rounds)
{
    if (form == Form::Json) {
        QJsonArray modules;
        for (const ProvisionTarget &target : plan.targets)
            modules.append(targetJson(target, dryRun));
        const QJsonObject report {{QStringLiteral("modules"), modules},
                                  {QStringLiteral("summary"), summary},
                                  {QStringLiteral("dry-run"), dryRun},
                                  {QStringLiteral("search-rounds"), rounds}};
        return QString::fromUtf8(QJsonDocument(report).toJson(QJsonDocument::Indented));
    }
    if (form == Form::Csv) {
        QString text = QStringLiteral("mac,line,found,outcome,changes,sent,confirmed,warnings,problems\n");
        const auto yes = [](bool value) { return value ? QStringLiteral("true") : QStringLiteral("false"); };
        for (const ProvisionTarget &target : plan.targets)
            text += QStringList {target.row.mac,
                                 QString::number(target.row.line),
                                 yes(target.found),
                                 outcomeOf(target, dryRun),
                                 csvField(target.changes.join(QStringLiteral("; "))),
                                 yes(target.sent),
                                 yes(target.confirmed),
                                 csvField(target.warnings.join(QStringLiteral("; "))),
                                 csvField(target.problems.join(QStringLiteral("; ")))}
                        .join(QLatin1Char(','))
                + QLatin1Char('\n');
        return text;
    }
    QString text;
    for (const ProvisionTarget &target : plan.targets) {
        const QStringList details = !target.problems.isEmpty() ? target.problems : target.changes;
        text += details.isEmpty()
            ? QStringLiteral("%1 %2\n").arg(target.row.mac, outcomeOf(target, dryRun))
            : QStringLiteral("%1 %2: %3\n")
                  .arg(target.row.mac, outcomeOf(target, dryRun), details.join(QStringLiteral("; ")));
    }
    return text + summary + QLatin1Char('\n');
}

// Each warning once, with the modules it concerns (at most a few named).
void printWarnings(const ProvisionPlan &plan)
{
    QMap<QString, QStringList> byText;
    QStringList order;
    for (const ProvisionTarget &target : plan.targets) {
        for (const QString &warning : target.warnings) {
            if (!byText.contains(warning))
                order << warning;
            byText[warning] << target.row.mac;
        }
    }
    for (const QString &warning : qAsConst(order)) {
        const QStringList macs = byText.value(warning);
        printWarning(QStringLiteral("%1 (%2)").arg(
            warning,
            macs.size() <= ClaimedByShown
                ? macs.join(QStringLiteral(", "))
                : QStringLiteral("%1 modules: %2, ...")
                      .arg(macs.size())
                      .arg(QStringList(macs.mid(0, ClaimedByShown)).join(QStringLiteral(", ")))));
    }
}

std::optional<Failure> writeList(const QString &path, const QVector<InventoryRow> &rows, const QStringList &keys)
{
    QString error;
    if (!writeOutputFile(path, inventoryCsv(rows, keys).toUtf8(), &error))
        return Failure {ExitStatus::UsageError, QStringLiteral("%1; nothing was sent").arg(error)};
    return std::nullopt;
}

} // namespace

int provisionCommand(const QStringList &arguments)
{
    CommandLine commandLine(
        QStringLiteral("provision"), QStringLiteral("FILE | --ip-range FIRST-LAST"),
        QStringLiteral(
            "Commissions a batch in one pass. FILE lists the modules by MAC with the parameters each should have:\n"
            "CSV with a header row of the fields set takes and a \"mac\" column (an empty cell keeps what the\n"
            "module reports), or JSON (an array of module objects with \"mac\", or search --json's output).\n"
            "With --ip-range instead, the modules found (or only those in a foreign subnet) get addresses from\n"
            "the range and names from --name-pattern, in MAC order; the list is written (-o) before anything\n"
            "is sent. One search finds the modules; each that does not already report what its row wants gets\n"
            "one configuration frame with the row's values over its own; one read-back search confirms them.\n"
            "Before anything is sent, refused with one message naming every conflict (exit status %1): a MAC\n"
            "listed twice or answering from two addresses, one IP in two rows, an IP another module that\n"
            "answered keeps, a range too small; and every value no module should get (exit status %2).\n"
            "Exit status %3 when some modules did not answer, %4 when some did not confirm (%4 wins).\n"
            "Example: kestrelctl provision --ip-range 10.0.3.10-10.0.3.99 --name-pattern 'Line3-{n}' -o line3.csv\n")
                .arg(ExitStatus::Conflict)
                .arg(ExitStatus::RefusedValue)
                .arg(ExitStatus::ModuleNotFound)
                .arg(ExitStatus::NotConfirmed)
            + frameKeySourcesHelp());
    commandLine.addArgument(QStringLiteral("FILE"), QStringLiteral("The list, CSV or JSON, or - for stdin."));
    Session::addOptions(commandLine);
    VerifyOptions::addTo(commandLine);
    commandLine.addOption(QCommandLineOption(QStringLiteral("ip-range"),
                                             QStringLiteral("Give the modules found addresses from this range."),
                                             QStringLiteral("first-last")));
    commandLine.addOption(QCommandLineOption(QStringLiteral("name-pattern"),
                                             QStringLiteral("With --ip-range: names, {n} standing for the module's "
                                                            "place in MAC order from 1, such as 'Line3-{n}'."),
                                             QStringLiteral("pattern")));
    commandLine.addOption(QCommandLineOption(QStringLiteral("mask"),
                                             QStringLiteral("With --ip-range: the subnet mask every module gets."),
                                             QStringLiteral("mask")));
    commandLine.addOption(QCommandLineOption(QStringLiteral("gateway"),
                                             QStringLiteral("With --ip-range: the gateway every module gets."),
                                             QStringLiteral("address")));
    commandLine.addOption(QCommandLineOption(QStringLiteral("foreign-subnet"),
                                             QStringLiteral("With --ip-range: only the modules whose address lies in "
                                                            "no subnet of the adapter they answered on.")));
    commandLine.addOption(QCommandLineOption({QStringLiteral("o"), QStringLiteral("output")},
                                             QStringLiteral("With --ip-range: write the list (CSV) here before "
                                                            "anything is sent."),
                                             QStringLiteral("file")));
    commandLine.addOption(QCommandLineOption(QStringLiteral("expect"),
                                             QStringLiteral("Stop searching once this many modules answered (by "
                                                            "default the search takes its whole --timeout)."),
                                             QStringLiteral("count")));
    commandLine.addOption(
        QCommandLineOption(QStringLiteral("dry-run"), QStringLiteral("Print what would change and send nothing.")));
    commandLine.addOption(jsonOption(QStringLiteral("the report")));
    commandLine.addOption(
        QCommandLineOption(QStringLiteral("csv"), QStringLiteral("Print the report as CSV, a header line first.")));
    if (const std::optional<int> status = commandLine.parse(arguments))
        return *status;

    const QStringList words = commandLine.arguments();
    const bool byRange = commandLine.isSet(QStringLiteral("ip-range"));
    if (byRange == (words.size() == 1) || words.size() > 1)
        return reportFailure(commandLine.usageError(words.size() > 1 ? QStringLiteral("takes one file")
                                                        : byRange
                                                        ? QStringLiteral("give a file or --ip-range, not both")
                                                        : QStringLiteral("a file or --ip-range is missing")));
    for (const char *option : {"name-pattern", "mask", "gateway", "foreign-subnet", "output"}) {
        if (!byRange && commandLine.isSet(QLatin1String(option)))
            return reportFailure(
                commandLine.usageError(QStringLiteral("--%1 goes with --ip-range").arg(QLatin1String(option))));
    }
    const bool json = commandLine.isSet(QStringLiteral("json"));
    const bool csv = commandLine.isSet(QStringLiteral("csv"));
    if (json && csv)
        return reportFailure(commandLine.usageError(QStringLiteral("--json and --csv exclude each other")));
    const Form form = json ? Form::Json : csv ? Form::Csv : Form::Text;
    const bool dryRun = commandLine.isSet(QStringLiteral("dry-run"));
    int expect = 0;
    VerifyOptions verify;
    if (const std::optional<Failure> failure = VerifyOptions::read(commandLine, &verify))
        return reportFailure(*failure);

    if (commandLine.isSet(QStringLiteral("expect"))) {
        const std::optional<int> count = parseCount(commandLine.value(QStringLiteral("expect")), 1, MostExpected);
        if (!count)
            return reportFailure(
                commandLine.usageError(QStringLiteral("--expect needs a whole number from 1 to %1; got \"%2\"")
                                           .arg(MostExpected)
                                           .arg(commandLine.value(QStringLiteral("expect")))));
        expect = *count;
    }
    AddressRange range;
    QJsonObject common; // what every module of a range gets besides its address and name
    QVector<InventoryRow> rows;
    if (byRange) {
        const std::optional<AddressRange> parsed = parseAddressRange(commandLine.value(QStringLiteral("ip-range")));
        if (!parsed)
            return reportFailure(commandLine.usageError(
                QStringLiteral("--ip-range needs FIRST-LAST, two IPv4 addresses, the first not above the last, such "
                               "as 10.0.3.10-10.0.3.99; got \"%1\"")
                    .arg(commandLine.value(QStringLiteral("ip-range")))));
        range = *parsed;
        const QString pattern = commandLine.value(QStringLiteral("name-pattern"));
        if (commandLine.isSet(QStringLiteral("name-pattern")) && !pattern.contains(NumberPlaceholder))
            return reportFailure(commandLine.usageError(
                QStringLiteral("--name-pattern needs {n} for the module's number, such as 'Line3-{n}'")));
        for (const char *key : {"mask", "gateway"}) {
            if (commandLine.isSet(QLatin1String(key)))
                common.insert(QLatin1String(key), commandLine.value(QLatin1String(key)));
        }
        if (commandLine.isSet(QStringLiteral("output")) && commandLine.value(QStringLiteral("output")).isEmpty())
            return reportFailure(commandLine.usageError(QStringLiteral("--output needs a file name")));
    } else if (const std::optional<Failure> failure = readInventory(words.first(), &rows)) {
        return reportFailure(*failure);
    }

    Session session;
    if (const std::optional<Failure> failure = session.open(commandLine))
        return reportFailure(*failure);
    // The whole search, not only until the listed modules answered: an address is checked against every module
    // that answers, listed or not.
    FoundModules found;
    if (const std::optional<Failure> failure = session.search(&found, {}, expect))
        return reportFailure(*failure);
    const QList<FoundModule> answered = session.annotated(found);

    if (byRange) {
        QStringList chosen;
        QSet<quint32> taken; // kept by the modules that answered and get no address from the range
        for (const FoundModule &module : answered) {
            if (!commandLine.isSet(QStringLiteral("foreign-subnet")) || module.foreignSubnet)
                chosen << module.record.macAddress;
            else if (const std::optional<quint32> address = ipv4Number(module.record.localIp))
                taken.insert(*address);
        }
        std::sort(chosen.begin(), chosen.end());
        chosen.removeDuplicates();
        if (chosen.isEmpty() && answered.isEmpty())
            return reportFailure({ExitStatus::NothingFound, QStringLiteral("no module answered")});
        QString conflict;
        rows = assignAddresses(chosen, range, taken, commandLine.value(QStringLiteral("name-pattern")), common,
                               &conflict);
        if (!conflict.isEmpty())
            return reportFailure({ExitStatus::Conflict, QStringLiteral("refused, nothing was sent: %1").arg(conflict)});
    }

    ProvisionPlan plan = planProvision(rows, answered);
    if (!plan.conflicts.isEmpty())
        return reportFailure(
            {ExitStatus::Conflict,
             QStringLiteral("refused, nothing was sent: %1 %2:")
                 .arg(plan.conflicts.size())
                 .arg(plan.conflicts.size() == 1 ? QStringLiteral("conflict") : QStringLiteral("conflicts")),
             plan.conflicts});
    if (!plan.refusals.isEmpty())
        return reportFailure({ExitStatus::RefusedValue,
                              QStringLiteral("refused, nothing was sent: %1 %2:")
                                  .arg(plan.refusals.size())
                                  .arg(plan.refusals.size() == 1 ? QStringLiteral("value") : QStringLiteral("values")),
                              plan.refusals});

    // The mapping is on disk before any module changes.
    if (byRange && commandLine.isSet(QStringLiteral("output"))) {
        QStringList keys {QStringLiteral("name"), QStringLiteral("ip")};
        if (!commandLine.isSet(QStringLiteral("name-pattern")))
            keys.removeFirst();
        keys += common.keys();
        if (const std::optional<Failure> failure = writeList(commandLine.value(QStringLiteral("output")), rows, keys))
            return reportFailure(*failure);
    }
    printWarnings(plan);

    QList<QPair<DeviceRecord, DeviceRecord>> frames;
    for (const ProvisionTarget &target : qAsConst(plan.targets)) {
        if (target.found && !target.changes.isEmpty())
            frames.append({target.wanted, target.reported});
    }
    if (!dryRun && !frames.isEmpty()) {
        QStringList notSent;
        if (const std::optional<Failure> failure = sendConfigurations(session, frames, &notSent))
            return reportFailure(*failure);
        QList<DeviceRecord> sent;
        for (ProvisionTarget &target : plan.targets) {
            if (!target.found || target.changes.isEmpty())
                continue;
            target.sent = !notSent.contains(target.row.mac);
            if (!target.sent)
                target.problems << QStringLiteral("its frame could not be built");
            else
                sent << target.wanted;
        }
        if (verify.verify && !sent.isEmpty()) {
            const QHash<QString, QStringList> left = readBack(session, sent, verify.timeoutMs);
            for (ProvisionTarget &target : plan.targets) {
                if (!target.sent)
                    continue;
                target.problems = left.value(target.row.mac);
                target.confirmed = target.problems.isEmpty();
            }
        }
    }

    int notFound = 0;
    int notConfirmed = 0;
    int changed = 0;
    for (const ProvisionTarget &target : qAsConst(plan.targets)) {
        notFound += target.found ? 0 : 1;
        changed += target.found && !target.changes.isEmpty() ? 1 : 0;
        notConfirmed += target.sent && verify.verify && !target.confirmed ? 1 : 0;
    }
    QString summary;
    if (plan.targets.isEmpty())
        summary = QStringLiteral("nothing to do: no module to provision");
    else if (changed == 0 && notFound == 0)
        summary = QStringLiteral("nothing to do: all %1 modules already report what the list wants")
                      .arg(plan.targets.size());
    else if (dryRun)
        summary = QStringLiteral("dry run, nothing was sent: %1 of %2 modules would change, %3 not found")
                      .arg(changed)
                      .arg(plan.targets.size())
                      .arg(notFound);
    else
        summary = QStringLiteral("%1 modules: %2 changed and %3, %4 already as wanted, %5 not found")
                      .arg(plan.targets.size())
                      .arg(changed)
                      .arg(!verify.verify ? QStringLiteral("sent unconfirmed")
                                          : QStringLiteral("%1 confirmed").arg(changed - notConfirmed))
                      .arg(plan.targets.size() - changed - notFound)
                      .arg(notFound);
    printOut(reportText(plan, form, dryRun, summary, session.lastSearch().rounds));
    if (notConfirmed > 0)
        return reportFailure({ExitStatus::NotConfirmed,
                              QStringLiteral("%1 of %2 modules did not confirm").arg(notConfirmed).arg(changed)});
    if (notFound > 0)
        return reportFailure(
            {ExitStatus::ModuleNotFound,
             QStringLiteral("%1 of %2 modules did not answer").arg(notFound).arg(plan.targets.size())});
    return ExitStatus::Success;
}
