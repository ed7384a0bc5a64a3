#pragma once

#include "childprocess.h"
#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// kestrelctl and kestrel-sim driven as a user drives them: as processes, judged by their output, their exit
// status and the simulated modules' state files.

// A frame key that is not the built-in one: the tools must agree through the run-time key.
constexpr char TestFrameKeyHex[] = "000102030405060708090A0B0C0D0E0F";

// What one kestrelctl run did.
struct ToolRun {
    bool finished = false;
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// The environment of both programs: the test key in KESTREL_FRAME_KEY and a configuration folder of the test's
// own, so that no settings file of this machine takes part.
inline QProcessEnvironment toolEnvironment(const QString &configHome)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("KESTREL_FRAME_KEY"), QLatin1String(TestFrameKeyHex));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    environment.insert(QStringLiteral("HOME"), configHome);
    return environment;
}

inline ToolRun runKestrelctl(const QStringList &arguments, const QProcessEnvironment &environment,
                             const QByteArray &input = QByteArray(), int timeoutMs = 60000)
{
    ChildProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(KESTRELCTL_PATH), arguments);
    ToolRun run;
    if (!process.waitForStarted())
        return run;
    process.write(input);
    process.closeWriteChannel();
    run.finished = process.waitForFinished(timeoutMs);
    if (!run.finished) {
        process.kill();
        process.waitForFinished();
    }
    run.exitStatus = process.exitStatus();
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

// The run ended by itself, normally, with this status; the message shows what it printed otherwise.
#define QCOMPARE_EXIT(run, status)                                                                                     \
    do {                                                                                                               \
        const ToolRun &checkedRun = (run);                                                                             \
        const QByteArray what = "stdout:\n" + checkedRun.out + "\nstderr:\n" + checkedRun.err;                         \
        QVERIFY2(checkedRun.finished, what.constData());                                                               \
        QVERIFY2(checkedRun.exitStatus == QProcess::NormalExit, what.constData());                                     \
        if (checkedRun.exitCode != (status))                                                                           \
            qWarning("%s", what.constData());                                                                          \
        QCOMPARE(checkedRun.exitCode, (status));                                                                       \
    } while (false)

// One kestrel-sim process, stopped with SIGTERM when the object goes.
class SimulatedModules
{
public:
    SimulatedModules() { process.setProcessChannelMode(QProcess::MergedChannels); }
    ~SimulatedModules() { stop(); }
    SimulatedModules(const SimulatedModules &) = delete;
    SimulatedModules &operator=(const SimulatedModules &) = delete;

    // launcher: words before the program, such as scripts/segment-exec.sh and a segment number. True once the
    // simulator listens.
    bool start(const QStringList &arguments, const QProcessEnvironment &environment,
               const QStringList &launcher = QStringList())
    {
        process.setProcessEnvironment(environment);
        const QStringList words = launcher + QStringList(QStringLiteral(KESTREL_SIM_PATH)) + arguments;
        process.start(words.first(), words.mid(1));
        if (!process.waitForStarted())
            return false;
        return waitFor("listening");
    }

    // Waits until the simulator has printed the text (since it started).
    bool waitFor(const QByteArray &text, int timeoutMs = 60000)
    {
        QElapsedTimer waited;
        waited.start();
        while (!(log += process.readAll()).contains(text)) {
            if (waited.elapsed() > timeoutMs || process.state() == QProcess::NotRunning)
                return false;
            process.waitForReadyRead(100);
        }
        return true;
    }

    // Waits until the simulator has printed the text this many times (since it started).
    bool waitForCount(const QByteArray &text, int count, int timeoutMs = 60000)
    {
        QElapsedTimer waited;
        waited.start();
        while ((log += process.readAll()).count(text) < count) {
            if (waited.elapsed() > timeoutMs || process.state() == QProcess::NotRunning)
                return false;
            process.waitForReadyRead(100);
        }
        return true;
    }

    // Everything printed so far.
    QByteArray output()
    {
        log += process.readAll();
        return log;
    }

    void stop()
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(10000))
            process.kill();
        process.waitForFinished();
    }

private:
    ChildProcess process;
    QByteArray log;
};

// A state file of modules for kestrel-sim --state.
inline bool writeStateFile(const QString &path, const QJsonArray &modules)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QJsonObject root;
    root.insert(QStringLiteral("modules"), modules);
    return file.write(QJsonDocument(root).toJson()) > 0;
}

// The modules of a state file, by MAC (empty when it cannot be read).
inline QHash<QString, QJsonObject> stateModules(const QString &path)
{
    QFile file(path);
    QHash<QString, QJsonObject> modules;
    if (!file.open(QIODevice::ReadOnly))
        return modules;
    const QJsonArray array
        = QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("modules")).toArray();
    for (const QJsonValue &module : array)
        modules.insert(module.toObject().value(QStringLiteral("mac")).toString(), module.toObject());
    return modules;
}

inline QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The modules `search --json` lists, in its order.
inline QJsonArray searchedModuleList(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object().value(QStringLiteral("modules")).toArray();
}

// The modules of `search --json`, by MAC; each MAC must come once.
inline QHash<QString, QJsonObject> searchedModules(const QByteArray &json, int *count = nullptr)
{
    const QJsonArray array = searchedModuleList(json);
    if (count)
        *count = array.size();
    QHash<QString, QJsonObject> modules;
    for (const QJsonValue &module : array)
        modules.insert(module.toObject().value(QStringLiteral("mac")).toString(), module.toObject());
    return modules;
}
