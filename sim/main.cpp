// kestrel-sim: simulated converter modules for trying the configure tool
// without hardware. Run it only inside a private network namespace
// (scripts/netns-run.sh), beside the tool.

#include "factorydefaults.h"
#include "framecipher.h"
#include "framekey.h"
#include "modulefactory.h"
#include "modulesimulator.h"
#include "recordjson.h"
#include "signalwatcher.h"
#include "statefile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTextStream>

#include <csignal>

namespace {

void printLine(const QString &line)
{
    static QTextStream out(stdout);
    out << line << '\n';
    out.flush();
}

[[noreturn]] void fail(const QString &message)
{
    QTextStream(stderr) << "kestrel-sim: " << message << '\n';
    std::exit(2);
}

DeviceRecord readStartingParameters(const QString &path)
{
    DeviceRecord parameters = factoryDefaultRecord();
    if (path.isEmpty())
        return parameters;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("%1: %2").arg(path, file.errorString()));
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (!document.isObject())
        fail(QStringLiteral("%1: expected a JSON object of parameters (%2)").arg(path, parseError.errorString()));
    QString error;
    if (!recordFromJson(document.object(), parameters, &parameters, &error))
        fail(QStringLiteral("%1: %2").arg(path, error));
    return parameters;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrel-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Plays serial-to-Ethernet converter modules on UDP port 1500: answers searches and applies\n"
                       "configuration frames addressed to its modules. Run it inside scripts/netns-run.sh."));
    parser.addHelpOption();
    const QCommandLineOption countOption({QStringLiteral("n"), QStringLiteral("count")},
                                         QStringLiteral("Number of modules (default 1)."), QStringLiteral("N"),
                                         QStringLiteral("1"));
    const QCommandLineOption macOption(QStringLiteral("mac"),
                                       QStringLiteral("MAC of the first module, 12 hex digits; the others follow it."),
                                       QStringLiteral("hex"), ModuleRequest().firstMac);
    const QCommandLineOption nameOption(QStringLiteral("name-prefix"),
                                        QStringLiteral("Module names are this prefix and a number from 1."),
                                        QStringLiteral("text"), ModuleRequest().namePrefix);
    const QCommandLineOption versionOption(QStringLiteral("firmware"),
                                           QStringLiteral("Firmware version the modules report."),
                                           QStringLiteral("a.b.c.d"), ModuleRequest().version);
    const QCommandLineOption paramsOption(QStringLiteral("params"),
                                          QStringLiteral("JSON object of starting parameters (record field names); "
                                                         "fields left out keep the factory defaults."),
                                          QStringLiteral("file"));
    const QCommandLineOption stateOption(QStringLiteral("state"),
                                         QStringLiteral("JSON state file: loaded at start when it exists (the options "
                                                        "above are then not used), rewritten after every change."),
                                         QStringLiteral("file"));
    parser.addOptions({countOption, macOption, nameOption, versionOption, paramsOption, stateOption});
    parser.process(app);

    QList<DeviceRecord> modules;
    QString error;
    const QString statePath = parser.value(stateOption);
    if (!statePath.isEmpty() && QFileInfo::exists(statePath)) {
        if (!loadModules(statePath, &modules, &error))
            fail(error);
    } else {
        ModuleRequest request;
        bool countIsNumber = false;
        request.count = parser.value(countOption).toInt(&countIsNumber);
        if (!countIsNumber)
            fail(QStringLiteral("--count needs a whole number, got \"%1\"").arg(parser.value(countOption)));
        request.firstMac = parser.value(macOption);
        request.namePrefix = parser.value(nameOption);
        request.version = parser.value(versionOption);
        request.parameters = readStartingParameters(parser.value(paramsOption));
        if (!makeModules(request, &modules, &error))
            fail(error);
        if (!statePath.isEmpty() && !saveModules(statePath, modules, &error))
            fail(error);
    }

    setFrameKey(BuiltInFrameKey);
    ModuleSimulator simulator(modules);
    QObject::connect(&simulator, &ModuleSimulator::event, &printLine);
    if (!statePath.isEmpty()) {
        QObject::connect(&simulator, &ModuleSimulator::modulesChanged, [&simulator, statePath] {
            QString saveError;
            if (!saveModules(statePath, simulator.modules(), &saveError))
                printLine(QStringLiteral("could not save the state: %1").arg(saveError));
        });
    }
    SignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &SignalWatcher::stopRequested, [](int signalNumber) {
        printLine(QStringLiteral("stopping on %1").arg(signalNumber == SIGINT ? "SIGINT" : "SIGTERM"));
        QCoreApplication::quit();
    });

    if (!simulator.start(&error))
        fail(error);
    return app.exec();
}
