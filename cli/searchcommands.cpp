// search, show and export: commands that only listen to what modules report.

#include "commands.h"

#include "commandline.h"
#include "macaddress.h"
#include "modulereport.h"
#include "output.h"
#include "regularfile.h"
#include "searchrounds.h"
#include "session.h"

#include <QJsonDocument>

namespace {

constexpr int MostExpected = 1000000;

QString jsonText(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Indented));
}

// Where to look when nothing answered: a reply that failed the checksum was most likely encrypted with another key.
QString noAnswerHint(const SearchOutcome &search)
{
    if (search.badChecksums > 0)
        return QStringLiteral(" (but replies that failed the checksum: %1; wrong frame key? see --key)")
            .arg(search.badChecksums);
    return QStringLiteral(" (check that an adapter reaches the modules' network, --interface, and that the frame key "
                          "is theirs, --key)");
}

QString noModuleAnswered(const SearchOutcome &search)
{
    return QStringLiteral("no module answered") + noAnswerHint(search);
}

// The one MAC a command takes, searched for until it answers.
struct OneModule {
    std::optional<Failure> failure;
    FoundModule module;
};

OneModule findOneModule(const CommandLine &commandLine, Session &session)
{
    OneModule result;
    const QStringList arguments = commandLine.arguments();
    if (arguments.size() != 1) {
        result.failure = commandLine.usageError(arguments.isEmpty() ? QStringLiteral("the MAC address is missing")
                                                                    : QStringLiteral("takes one MAC address"));
        return result;
    }
    const std::optional<QString> mac = parseMacAddress(arguments.first());
    if (!mac) {
        result.failure = commandLine.usageError(
            QStringLiteral("\"%1\" is not a MAC address such as 001A2B3C4D5E or 00:1A:2B:3C:4D:5E")
                .arg(arguments.first()));
        return result;
    }
    if ((result.failure = session.open(commandLine)))
        return result;
    FoundModules found;
    if ((result.failure = session.search(&found, {*mac})))
        return result;
    if (!found.contains(*mac)) {
        result.failure
            = Failure {ExitStatus::ModuleNotFound,
                       QStringLiteral("no module %1 answered").arg(*mac) + noAnswerHint(session.lastSearch())};
        return result;
    }
    result.module = session.annotated(found.module(*mac));
    return result;
}

} // namespace

int searchCommand(const QStringList &arguments)
{
    CommandLine commandLine(
        QStringLiteral("search"), QString(),
        QStringLiteral(
            "Sends the discovery request through every adapter that can broadcast and lists the modules\n"
            "that answer, merged by MAC. Notes point out a module whose address lies in no subnet of the\n"
            "adapter it answered on (\"foreign subnet\": nobody there can reach it), an address claimed by\n"
            "two modules, and a MAC that answered from two addresses. When the system dropped replies for\n"
            "want of room, the request goes out again (each round as long as --timeout), up to %1 rounds in\n"
            "all; replies still dropped in the last round are warned about. Where the system counts no drops\n"
            "(Windows), the search asks once and warns that modules may be missing.\n")
                .arg(SearchRounds::MostRounds)
            + frameKeySourcesHelp());
    Session::addOptions(commandLine);
    commandLine.addOption(QCommandLineOption(QStringLiteral("expect"),
                                             QStringLiteral("Stop as soon as this many modules answered; fewer is "
                                                            "exit status %1.")
                                                 .arg(ExitStatus::NothingFound),
                                             QStringLiteral("count")));
    commandLine.addOption(jsonOption(QStringLiteral("the modules, the search's rounds and the replies still lost")));
    commandLine.addOption(
        QCommandLineOption(QStringLiteral("csv"), QStringLiteral("Print the modules as CSV, a header line first.")));
    if (const std::optional<int> status = commandLine.parse(arguments))
        return *status;

    if (!commandLine.arguments().isEmpty())
        return reportFailure(
            commandLine.usageError(QStringLiteral("unexpected argument \"%1\"").arg(commandLine.arguments().first())));
    const bool json = commandLine.isSet(QStringLiteral("json"));
    const bool csv = commandLine.isSet(QStringLiteral("csv"));
    if (json && csv)
        return reportFailure(commandLine.usageError(QStringLiteral("--json and --csv exclude each other")));
    int expect = 0;
    if (commandLine.isSet(QStringLiteral("expect"))) {
        const std::optional<int> count = parseCount(commandLine.value(QStringLiteral("expect")), 1, MostExpected);
        if (!count)
            return reportFailure(commandLine.usageError(QStringLiteral("--expect needs a whole number from 1 to %1; "
                                                                       "got \"%2\"")
                                                            .arg(MostExpected)
                                                            .arg(commandLine.value(QStringLiteral("expect")))));
        expect = *count;
    }

    Session session;
    if (const std::optional<Failure> failure = session.open(commandLine))
        return reportFailure(*failure);
    FoundModules found;
    if (const std::optional<Failure> failure = session.search(&found, {}, expect))
        return reportFailure(*failure);

    const int listed = found.size();
    if (json) {
        // A module at a time from the kept replies: a long list is never held decoded.
        writeSearchJson(
            listed, [&](const ModuleVisitor &visit) { session.forEachAnnotated(found, visit); }, session.lastSearch(),
            printOut);
    } else if (listed > 0) {
        const QList<FoundModule> modules = session.annotated(found);
        printOut(csv ? csvText(modules) : tableText(modules));
    } else if (csv) {
        printOut(csvText({}));
    }

    if (listed == 0)
        return reportFailure({ExitStatus::NothingFound, noModuleAnswered(session.lastSearch())});
    if (listed < expect)
        return reportFailure(
            {ExitStatus::NothingFound, QStringLiteral("%1 of %2 expected modules answered").arg(listed).arg(expect)});
    return ExitStatus::Success;
}

int showCommand(const QStringList &arguments)
{
    CommandLine commandLine(QStringLiteral("show"), QStringLiteral("MAC"),
                            QStringLiteral("Searches until the module answers and prints its parameters, one field a "
                                           "line, with the\nfield names of the JSON form.\n")
                                + frameKeySourcesHelp());
    commandLine.addArgument(QStringLiteral("MAC"), QStringLiteral("The module, such as 00:1A:2B:3C:4D:5E."));
    Session::addOptions(commandLine);
    commandLine.addOption(jsonOption(QStringLiteral("the parameters")));
    if (const std::optional<int> status = commandLine.parse(arguments))
        return *status;

    Session session;
    const OneModule found = findOneModule(commandLine, session);
    if (found.failure)
        return reportFailure(*found.failure);
    printOut(commandLine.isSet(QStringLiteral("json")) ? jsonText(reportJson(found.module))
                                                       : detailsText(found.module));
    return ExitStatus::Success;
}

int exportCommand(const QStringList &arguments)
{
    CommandLine commandLine(QStringLiteral("export"), QStringLiteral("MAC"),
                            QStringLiteral("Writes the module's parameters as a JSON object, the form that kestrelctl "
                                           "apply reads\nand kestrel-sim keeps its modules in.\n")
                                + frameKeySourcesHelp());
    commandLine.addArgument(QStringLiteral("MAC"), QStringLiteral("The module, such as 00:1A:2B:3C:4D:5E."));
    Session::addOptions(commandLine);
    const QCommandLineOption outputOption(
        {QStringLiteral("o"), QStringLiteral("output")},
        QStringLiteral("Write to this file instead of stdout (\"-\": stdout). A file is "
                       "replaced whole; a FIFO or a device is written to."),
        QStringLiteral("file"));
    commandLine.addOption(outputOption);
    if (const std::optional<int> status = commandLine.parse(arguments))
        return *status;
    if (commandLine.isSet(QStringLiteral("output")) && commandLine.value(QStringLiteral("output")).isEmpty())
        return reportFailure(commandLine.usageError(QStringLiteral("--output needs a file name")));

    Session session;
    const OneModule found = findOneModule(commandLine, session);
    if (found.failure)
        return reportFailure(*found.failure);
    const QString text = jsonText(exportJson(found.module));
    if (!commandLine.isSet(QStringLiteral("output"))) {
        printOut(text);
        return ExitStatus::Success;
    }
    QString error;
    if (!writeOutputFile(commandLine.value(QStringLiteral("output")), text.toUtf8(), &error))
        return reportFailure({ExitStatus::UsageError, error});
    return ExitStatus::Success;
}
