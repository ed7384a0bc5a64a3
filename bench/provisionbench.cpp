#include "provisionbench.h"

#include "processstats.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryFile>
#include <QVector>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

constexpr char FirstMac[] = "02BD00000000";
constexpr int SimulatorStartMs = 120000;
constexpr int LongestRunMs = 600000;

} // namespace

ProvisionResult runProvision(int modules)
{
    ProvisionResult result;
    result.modules = modules;

    // Fresh modules: all on the factory address, which lies in no subnet here.
    QProcess simulator;
    simulator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    simulator.start(
        QStringLiteral(KESTREL_SIM_PATH),
        {QStringLiteral("--count"), QString::number(modules), QStringLiteral("--mac"), QLatin1String(FirstMac)});
    QByteArray log;
    QElapsedTimer waited;
    waited.start();
    while (!log.contains("listening")) {
        if (simulator.state() == QProcess::NotRunning || waited.elapsed() > SimulatorStartMs) {
            result.failure = QStringLiteral("kestrel-sim did not start");
            return result;
        }
        simulator.waitForReadyRead(100);
        log += simulator.readAllStandardOutput();
    }
    log.clear();

    // kestrelctl as its own process; its peak memory is read from the system while it runs.
    QTemporaryFile report;
    if (!report.open()) {
        result.failure = QStringLiteral("no temporary file for the report");
        return result;
    }
    const QByteArray program(KESTRELCTL_PATH);
    const QList<QByteArray> words {program,          "provision",     "--ip-range",       "10.231.8.1-10.231.15.254",
                                   "--mask",         "255.255.248.0", "--gateway",        "10.231.8.1",
                                   "--name-pattern", "B{n}",          "--expect",         QByteArray::number(modules),
                                   "--timeout",      "120",           "--verify-timeout", "120",
                                   "--json"};
    QVector<char *> argv;
    for (const QByteArray &word : words)
        argv.append(const_cast<char *>(word.constData()));
    argv.append(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, report.handle(), STDOUT_FILENO);
    const auto started = std::chrono::steady_clock::now();
    pid_t child = 0;
    const int spawned = posix_spawn(&child, program.constData(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        result.failure = QStringLiteral("kestrelctl did not start");
        return result;
    }
    int status = 0;
    rusage usage {};
    pid_t ended = 0;
    // The simulator's output is read all along: a full pipe would stop it.
    while ((ended = wait4(child, &status, WNOHANG, &usage)) == 0) {
        result.peakRssKiB = qMax(result.peakRssKiB, peakRssKiB(child));
        simulator.waitForReadyRead(20);
        log += simulator.readAllStandardOutput();
        if (std::chrono::steady_clock::now() - started > std::chrono::milliseconds(LongestRunMs)) {
            ::kill(child, SIGKILL);
            wait4(child, &status, 0, &usage);
            result.failure = QStringLiteral("kestrelctl did not end within %1 s").arg(LongestRunMs / 1000);
            return result;
        }
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    simulator.terminate();
    simulator.waitForFinished(60000);
    log += simulator.readAllStandardOutput();
    result.searchRequests = log.count("search from ");
    result.configured = log.count("\nconfigured ") + (log.startsWith("configured ") ? 1 : 0);

    report.seek(0);
    const QJsonArray reported
        = QJsonDocument::fromJson(report.readAll()).object().value(QStringLiteral("modules")).toArray();
    for (const QJsonValue &module : reported)
        result.confirmed += module.toObject().value(QStringLiteral("confirmed")).toBool() ? 1 : 0;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        result.failure
            = QStringLiteral("kestrelctl ended with status %1").arg(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    return result;
}
