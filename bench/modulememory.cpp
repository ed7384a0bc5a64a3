#include "modulememory.h"

#include "burst.h"
#include "processstats.h"

#include <QProcess>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

// A search's time is far more than kestrel-sim needs to answer; --expect ends it at the last module.
constexpr char SearchSeconds[] = "120";

// Runs kestrelctl to its end with its output to /dev/null: its peak resident memory in KiB, read from the system
// while it runs, or -1 when it did not list every module.
qint64 searchPeakKiB(int modules)
{
    QProcess simulator;
    if (!startSimulator(simulator, modules))
        return -1;
    const QByteArray program = QByteArrayLiteral(KESTRELCTL_PATH);
    const QByteArray expect = QByteArray::number(modules);
    std::vector<QByteArray> arguments = {program, "search", "--timeout", SearchSeconds, "--expect", expect, "--json"};
    std::vector<char *> argv;
    for (QByteArray &argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, program.constData(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    qint64 peak = -1;
    if (spawned == 0) {
        int status = 0;
        qint64 seen = 0;
        pid_t ended = 0;
        // The simulator's output is read all along: a full pipe would stop it.
        while ((ended = waitpid(child, &status, WNOHANG)) == 0) {
            seen = qMax(seen, peakRssKiB(child));
            simulator.waitForReadyRead(20);
            simulator.readAllStandardOutput();
        }
        if (ended == child && WIFEXITED(status) && WEXITSTATUS(status) == 0)
            peak = seen;
    }
    simulator.terminate();
    simulator.waitForFinished(30000);
    return peak;
}

} // namespace

ModuleMemory measureSearchJsonMemory(int baselineModules, int modules)
{
    ModuleMemory result;
    result.program = QStringLiteral("kestrelctl search --json");
    result.modules = modules;
    result.baselineModules = baselineModules;
    result.baselinePeakKiB = searchPeakKiB(baselineModules);
    result.peakKiB = searchPeakKiB(modules);
    if (result.baselinePeakKiB < 0 || result.peakKiB < 0)
        result.failure = QStringLiteral("a search did not list every simulated module");
    return result;
}
