#include "startup.h"

#include "benchclock.h"
#include "frameconstants.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>

#include <xcb/xcb.h>

#include <csignal>
#include <cstdlib>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

namespace {

constexpr int XvfbStartMs = 20000;
constexpr double GiveUpSeconds = 60;

// Port 1500 appears among the UDP sockets of this namespace (the window's is the only one here).
bool devicePortBound()
{
    const QByteArray port = ":" + QByteArray::number(DevicePort, 16).toUpper().rightJustified(4, '0') + " ";
    for (const QString &table : {QStringLiteral("/proc/net/udp6"), QStringLiteral("/proc/net/udp")}) {
        QFile file(table);
        if (file.open(QIODevice::ReadOnly) && file.readAll().contains(port))
            return true;
    }
    return false;
}

// Milliseconds that every thread of the process has run.
double cpuMilliseconds(pid_t pid)
{
    const QString tasks = QStringLiteral("/proc/%1/task/").arg(pid);
    double total = 0;
    for (const QString &task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile schedstat(tasks + task + QStringLiteral("/schedstat"));
        if (schedstat.open(QIODevice::ReadOnly))
            total += schedstat.readAll().split(' ').value(0).toDouble() / 1e6;
    }
    return total;
}

struct OneStart {
    double mappedMs = -1;
    double boundMs = -1;
    double cpuMs = 0;
};

OneStart startOnce(xcb_connection_t *display, const QByteArray &program, std::vector<char *> &environment)
{
    OneStart times;
    char *arguments[] = {const_cast<char *>(program.constData()), nullptr};
    const auto started = BenchClock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, program.constData(), nullptr, nullptr, arguments, environment.data()) != 0)
        return times;
    pollfd events = {xcb_get_file_descriptor(display), POLLIN, 0};
    while ((times.mappedMs < 0 || times.boundMs < 0)
           && microsecondsBetween(started, BenchClock::now()) < GiveUpSeconds * 1e6) {
        poll(&events, 1, 1);
        while (xcb_generic_event_t *event = xcb_poll_for_event(display)) {
            if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY && times.mappedMs < 0) {
                times.mappedMs = microsecondsBetween(started, BenchClock::now()) / 1000;
                times.cpuMs = cpuMilliseconds(pid);
            }
            std::free(event);
        }
        if (times.boundMs < 0 && devicePortBound())
            times.boundMs = microsecondsBetween(started, BenchClock::now()) / 1000;
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    return times;
}

} // namespace

StartupTimes measureStartup(const QString &windowProgram, int runs)
{
    StartupTimes result;
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty()) {
        result.failure = QStringLiteral("Xvfb not found");
        return result;
    }
    // Xvfb picks a free display and says which.
    QProcess server;
    server.start(xvfb,
                 {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                  QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1024x768x24")});
    QByteArray number;
    const auto waitStart = BenchClock::now();
    while (!number.contains('\n') && server.state() != QProcess::NotRunning
           && microsecondsBetween(waitStart, BenchClock::now()) < XvfbStartMs * 1000.0) {
        server.waitForReadyRead(100);
        number += server.readAllStandardOutput();
    }
    const QByteArray displayName = ":" + number.trimmed();
    xcb_connection_t *display = number.trimmed().isEmpty() ? nullptr : xcb_connect(displayName.constData(), nullptr);
    if (!display || xcb_connection_has_error(display)) {
        result.failure = QStringLiteral("Xvfb did not start");
        if (display)
            xcb_disconnect(display);
        server.kill();
        server.waitForFinished();
        return result;
    }
    xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(display)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(display, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(display);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(displayName));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.remove(QStringLiteral("LD_PRELOAD"));
    std::vector<QByteArray> entries;
    for (const QString &entry : environment.toStringList())
        entries.push_back(entry.toLocal8Bit());
    std::vector<char *> pointers;
    for (QByteArray &entry : entries)
        pointers.push_back(entry.data());
    pointers.push_back(nullptr);

    std::vector<double> mapped;
    std::vector<double> bound;
    std::vector<double> cpu;
    const QByteArray program = QFile::encodeName(windowProgram);
    for (int run = 0; run < runs; ++run) {
        const OneStart times = startOnce(display, program, pointers);
        if (times.mappedMs < 0 || times.boundMs < 0)
            continue;
        mapped.push_back(times.mappedMs);
        bound.push_back(times.boundMs);
        cpu.push_back(times.cpuMs);
    }
    xcb_disconnect(display);
    server.terminate();
    server.waitForFinished(5000);
    result.runs = int(mapped.size());
    if (mapped.empty()) {
        result.failure = QStringLiteral("the window was never mapped");
        return result;
    }
    result.mappedMs = median(std::move(mapped));
    result.boundMs = median(std::move(bound));
    result.cpuAtMappedMs = median(std::move(cpu));
    return result;
}
