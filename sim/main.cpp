// kestrel-sim: simulated converter modules for trying the configure tool
// without hardware. Run it only inside a private network namespace
// (scripts/netns-run.sh), beside the tool.

#include "factorydefaults.h"
#include "frameconstants.h"
#include "framekeysource.h"
#include "jsontext.h"
#include "modulefactory.h"
#include "modulejson.h"
#include "modulesimulator.h"
#include "output.h"
#include "regularfile.h"
#include "signalwatcher.h"
#include "statefile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <csignal>
#include <cstdlib>

namespace {

// Exit statuses, as --help lists them.
constexpr int SaveFailed = 1;
constexpr int UnusableInput = 2;

// One module's parameters: a few hundred bytes.
constexpr qint64 LargestParametersFile = 1024 * 1024;

[[noreturn]] void fail(const QString &message)
{
    printError(message);
    std::exit(UnusableInput);
}

// The parameters every new module starts with: the factory defaults, changed by the --params file.
DeviceRecord readStartingParameters(const QString &path)
{
    DeviceRecord parameters = factoryDefaultRecord();
    if (path.isEmpty())
        return parameters;
    QByteArray content;
    QString error;
    if (!readRegularFile(path, LargestParametersFile, &content, &error))
        fail(error);
    QJsonDocument document;
    if (!parseJsonText(content, &document, &error))
        fail(QStringLiteral("%1: %2").arg(path, error));
    if (!document.isObject())
        fail(QStringLiteral("%1: expected a JSON object of module fields such as {\"baud\": 115200}, got an array")
                 .arg(path));
    const QJsonObject object = document.object();

    // Who a module is comes from the options, one module at a time.
    const QList<QPair<QString, QString>> identity = {{QStringLiteral("mac"), QStringLiteral("--mac")},
                                                     {QStringLiteral("version"), QStringLiteral("--firmware")},
                                                     {QStringLiteral("name"), QStringLiteral("--name-prefix")},
                                                     {QStringLiteral("name-hex"), QStringLiteral("--name-prefix")}};
    for (const auto &key : identity) {
        if (object.contains(key.first))
            fail(QStringLiteral("%1: \"%2\" is given by %3, not in the starting parameters")
                     .arg(path, key.first, key.second));
    }
    DeviceRecord base = parameters;
    // Any value a module can report: kestrel-sim plays the modules the tools must cope with.
    if (!moduleFromJson(object, base, &parameters, &error, SendCheck::None))
        fail(QStringLiteral("%1: %2").arg(path, error));
    parameters.macAddress.clear();
    return parameters;
}

} // namespace

int main(int argc, char *argv[])
{
    initProgramOutput(QStringLiteral("kestrel-sim"));
    QString argumentError;
    if (!argumentsAreUtf8(argc, argv, &argumentError))
        fail(argumentError);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrel-sim"));
    // Before any file is opened, so that SIGINT and SIGTERM always end the program.
    SignalWatcher signalWatcher;
    signalWatcher.endAtOnceUntilForwarded();

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Plays serial-to-Ethernet converter modules on UDP port %3: answers searches and applies\n"
                       "configuration frames addressed to its modules. Its broadcasts must reach no real network: run\n"
                       "it only inside a private network namespace.\n"
                       "Module fields in JSON (--params, --state) are those of kestrelctl: mac, name, name-hex,\n"
                       "version, mode, ip-type, ip, mask, gateway, local-port, remote-ip, remote-port, baud,\n"
                       "parity, data-bits, stop-bits, modbus.\n"
                       "Exit status: 0 when stopped by SIGINT or SIGTERM, %1 when the state file could not be\n"
                       "saved while running (after the replies in hand are sent), %2 when an option or a file\n"
                       "given cannot be used.")
            .arg(SaveFailed)
            .arg(UnusableInput)
            .arg(DevicePort));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption countOption(
        {QStringLiteral("n"), QStringLiteral("count")},
        QStringLiteral("Number of modules, from 1 to %1 (default 1).").arg(MaxModuleCount), QStringLiteral("N"),
        QStringLiteral("1"));
    const QCommandLineOption macOption(QStringLiteral("mac"),
                                       QStringLiteral("MAC of the first module, 12 hex digits; the others follow it."),
                                       QStringLiteral("hex"), ModuleRequest().firstMac);
    const QCommandLineOption nameOption(
        QStringLiteral("name-prefix"),
        QStringLiteral("Module names are this prefix and a number from 1, cut to the 10 bytes of the name field."),
        QStringLiteral("text"), ModuleRequest().namePrefix);
    const QCommandLineOption versionOption(QStringLiteral("firmware"),
                                           QStringLiteral("Firmware version the modules report, four numbers from 0 "
                                                          "to 15."),
                                           QStringLiteral("a.b.c.d"), ModuleRequest().version);
    const QCommandLineOption paramsOption(
        QStringLiteral("params"),
        QStringLiteral("JSON object of starting parameters, such as {\"baud\": 115200, \"parity\": \"even\"}; "
                       "fields left out keep the factory defaults."),
        QStringLiteral("file"));
    const QCommandLineOption stateOption(QStringLiteral("state"),
                                         QStringLiteral("JSON state file {\"modules\": [...]}: loaded at start when it "
                                                        "exists (the options above are then not used), rewritten "
                                                        "after every change."),
                                         QStringLiteral("file"));
    const QCommandLineOption keyOption(
        QStringLiteral("key"),
        QStringLiteral("Frame key, 32 hex digits. Without it: the environment variable %1, else \"%2\" in %3, "
                       "else the built-in key.")
            .arg(QLatin1String(FrameKeyVariable), QLatin1String(FrameKeySetting), settingsFilePath()),
        QStringLiteral("hex"));
    const QCommandLineOption ignoreConfigOption(
        QStringLiteral("ignore-config"),
        QStringLiteral("The modules hear configuration frames but keep their settings (to try \"not confirmed\")."));
    parser.addOptions(
        {countOption, macOption, nameOption, versionOption, paramsOption, stateOption, keyOption, ignoreConfigOption});
    if (!parser.parse(QCoreApplication::arguments()))
        fail(parser.errorText());
    if (parser.isSet(helpOption))
        parser.showHelp(0);
    if (!parser.positionalArguments().isEmpty())
        fail(QStringLiteral("unexpected argument \"%1\"; see --help").arg(parser.positionalArguments().first()));

    QString keyError;
    if (!installChosenFrameKey(parser.isSet(keyOption) ? std::optional<QString>(parser.value(keyOption)) : std::nullopt,
                               nullptr, &keyError))
        fail(keyError);

    QList<DeviceRecord> modules;
    QString error;
    const QString statePath = parser.value(stateOption);
    StateWriter stateWriter(statePath);
    if (!statePath.isEmpty() && !isAbsentOrRegularFile(statePath, &error))
        fail(error);
    if (!statePath.isEmpty() && QFileInfo::exists(statePath)) {
        if (!loadModules(statePath, &modules, &error))
            fail(error);
        QStringList unused;
        for (const QCommandLineOption &option : {countOption, macOption, nameOption, versionOption, paramsOption}) {
            if (parser.isSet(option))
                unused << QStringLiteral("--") + option.names().constLast();
        }
        if (!unused.isEmpty())
            printLine(QStringLiteral("the modules come from %1; not used: %2").arg(statePath, unused.join(", ")));
    } else {
        ModuleRequest request;
        bool countIsNumber = false;
        request.count = parser.value(countOption).toInt(&countIsNumber);
        if (!countIsNumber)
            fail(QStringLiteral("--count needs a whole number from 1 to %1, got \"%2\"")
                     .arg(MaxModuleCount)
                     .arg(parser.value(countOption)));
        request.firstMac = parser.value(macOption);
        request.namePrefix = parser.value(nameOption);
        request.version = parser.value(versionOption);
        request.parameters = readStartingParameters(parser.value(paramsOption));
        if (!makeModules(request, &modules, &error))
            fail(error);
        if (!statePath.isEmpty() && !stateWriter.save(modules, &error))
            fail(error);
    }

    ModuleSimulator simulator(modules);
    modules.clear();
    simulator.setIgnoreConfigFrames(parser.isSet(ignoreConfigOption));
    QObject::connect(&simulator, &ModuleSimulator::event, &printLine);

    // Ending: on a signal at once; after a failed save once the replies in hand are out.
    int exitStatus = 0;
    bool stopping = false;
    const auto stopAfterReplies = [&simulator, &exitStatus, &stopping](int status) {
        exitStatus = qMax(exitStatus, status);
        stopping = true;
        if (!simulator.isAnswering())
            QCoreApplication::exit(exitStatus);
    };
    QObject::connect(&simulator, &ModuleSimulator::repliesSent, [&exitStatus, &stopping] {
        if (stopping)
            QCoreApplication::exit(exitStatus);
    });

    // Changes that arrive together are saved together.
    QTimer saveTimer;
    saveTimer.setSingleShot(true);
    const auto save = [&simulator, &stateWriter, &exitStatus]() {
        QString saveError;
        if (stateWriter.save(simulator.modules(), &saveError))
            return true;
        printError(QStringLiteral("could not save the state, stopping: %1").arg(saveError));
        exitStatus = SaveFailed;
        return false;
    };
    if (!statePath.isEmpty()) {
        QObject::connect(&simulator, &ModuleSimulator::moduleChanged, [&stateWriter, &saveTimer](int index) {
            stateWriter.moduleChanged(index);
            saveTimer.start(0);
        });
        QObject::connect(&saveTimer, &QTimer::timeout, [&save, &stopAfterReplies] {
            if (!save())
                stopAfterReplies(SaveFailed);
        });
    }
    QObject::connect(&signalWatcher, &SignalWatcher::stopRequested, [&saveTimer, &save, &exitStatus](int number) {
        printLine(QStringLiteral("stopping on %1").arg(number == SIGINT ? "SIGINT" : "SIGTERM"));
        if (saveTimer.isActive()) {
            saveTimer.stop();
            save();
        }
        QCoreApplication::exit(exitStatus);
    });

    signalWatcher.forwardToEventLoop();
    if (!simulator.start(&error))
        fail(error);
    const int status = app.exec();
    // The event loop may still have handled frames after the signal asked it to end, each announced as configured:
    // they are saved too.
    if (saveTimer.isActive()) {
        saveTimer.stop();
        save();
    }
    return qMax(status, exitStatus);
}
