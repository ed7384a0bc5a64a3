#include "burst.h"

#include "benchclock.h"
#include "frameconstants.h"
#include "mainwindow.h"
#include "receivebench.h"
#include "timedapplication.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTableWidget>
#include <QTest>
#include <QTextStream>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>

namespace {

constexpr char FirstMac[] = "02BF00000000";
constexpr int SimulatorStartMs = 120000;
// The burst is over when no new row came for this long.
constexpr double QuietSeconds = 5;
constexpr int TickMs = 10;
constexpr int ChildTimeoutMs = 30 * 60 * 1000;
constexpr int RequestedReceiveBuffer = 4 * 1024 * 1024;
constexpr char ResultTag[] = "burst";

// What the kernel grants for a large request; with the clamping shim loaded, at most twice 212,992 (Linux
// reports the doubled value).
int grantedReceiveBuffer()
{
    QUdpSocket probe;
    if (!probe.bind(QHostAddress(QHostAddress::AnyIPv4), 0))
        return 0;
    probe.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, RequestedReceiveBuffer);
    return probe.socketOption(QAbstractSocket::ReceiveBufferSizeSocketOption).toInt();
}

qint64 peakRssKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QString text = QString::fromLatin1(status.readAll());
    const QRegularExpressionMatch match
        = QRegularExpression(QStringLiteral("^VmHWM:\\s*(\\d+) kB"), QRegularExpression::MultilineOption).match(text);
    return match.hasMatch() ? match.captured(1).toLongLong() : 0;
}

// Nanoseconds a thread of this process has run and has waited for a core, from the scheduler's statistics.
struct ThreadTimes {
    qint64 running = 0;
    qint64 waiting = 0;
};

// The GUI thread and the device port's reader thread (found by its name).
struct ProcessThreads {
    ThreadTimes gui;
    ThreadTimes reader;
};

ThreadTimes threadTimes(const QString &taskDir)
{
    QFile schedstat(taskDir + QStringLiteral("/schedstat"));
    ThreadTimes times;
    if (!schedstat.open(QIODevice::ReadOnly))
        return times;
    const QList<QByteArray> fields = schedstat.readAll().simplified().split(' ');
    times.running = fields.value(0).toLongLong();
    times.waiting = fields.value(1).toLongLong();
    return times;
}

ProcessThreads processThreads()
{
    ProcessThreads threads;
    const QString self = QStringLiteral("/proc/self/task/");
    threads.gui = threadTimes(self + QString::number(QCoreApplication::applicationPid()));
    for (const QString &task : QDir(self).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(self + task + QStringLiteral("/comm"));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().startsWith("device port"))
            threads.reader = threadTimes(self + task);
    }
    return threads;
}

double secondsBetween(qint64 startNs, qint64 endNs)
{
    return double(endNs - startNs) / 1e9;
}

// Datagrams the kernel dropped because the receive queue of this process's sockets on the device port was full.
qint64 receiveQueueDrops()
{
    QSet<QByteArray> ownSockets;
    QDir descriptors(QStringLiteral("/proc/self/fd"));
    for (const QFileInfo &descriptor : descriptors.entryInfoList(QDir::Files | QDir::System)) {
        const QString target = descriptor.symLinkTarget();
        const QString name = QFileInfo(target).fileName();
        if (name.startsWith(QLatin1String("socket:[")))
            ownSockets.insert(name.mid(8, name.size() - 9).toLatin1());
    }
    const QByteArray devicePort = QByteArray::number(DevicePort, 16).toUpper().rightJustified(4, '0');
    qint64 drops = 0;
    for (const QString &table : {QStringLiteral("/proc/net/udp"), QStringLiteral("/proc/net/udp6")}) {
        QFile file(table);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : file.readAll().split('\n')) {
            // sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid timeout inode ref pointer
            // drops
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() < 13 || !fields.at(1).endsWith(":" + devicePort) || !ownSockets.contains(fields.at(9)))
                continue;
            drops += fields.at(12).toLongLong();
        }
    }
    return drops;
}

void printResult(const BurstResult &result)
{
    QTextStream(stdout) << ResultTag << " modules=" << result.modules << " listed=" << result.listed
                        << " seconds=" << QString::number(result.seconds, 'f', 6)
                        << " peak-rss-kib=" << result.peakRssKiB << " dropped=" << result.dropped
                        << " longest-event-ms=" << QString::number(result.longestEventMs, 'f', 1)
                        << " longest-gap-ms=" << QString::number(result.longestGapMs, 'f', 1)
                        << " receive-buffer=" << result.receiveBuffer
                        << " gui-cpu-s=" << QString::number(result.guiCpuSeconds, 'f', 6)
                        << " reader-cpu-s=" << QString::number(result.readerCpuSeconds, 'f', 6)
                        << " reader-wait-s=" << QString::number(result.readerWaitSeconds, 'f', 6) << '\n';
}

BurstResult parseResult(int modules, const QByteArray &output)
{
    BurstResult result;
    result.modules = modules;
    for (const QByteArray &line : output.split('\n')) {
        const QList<QByteArray> fields = line.trimmed().split(' ');
        if (fields.value(0) != ResultTag)
            continue;
        for (const QByteArray &field : fields) {
            const int equals = field.indexOf('=');
            const QByteArray name = field.left(equals);
            const QByteArray value = field.mid(equals + 1);
            if (name == "listed")
                result.listed = value.toInt();
            else if (name == "seconds")
                result.seconds = value.toDouble();
            else if (name == "peak-rss-kib")
                result.peakRssKiB = value.toLongLong();
            else if (name == "dropped")
                result.dropped = value.toLongLong();
            else if (name == "longest-event-ms")
                result.longestEventMs = value.toDouble();
            else if (name == "longest-gap-ms")
                result.longestGapMs = value.toDouble();
            else if (name == "receive-buffer")
                result.receiveBuffer = value.toInt();
            else if (name == "gui-cpu-s")
                result.guiCpuSeconds = value.toDouble();
            else if (name == "reader-cpu-s")
                result.readerCpuSeconds = value.toDouble();
            else if (name == "reader-wait-s")
                result.readerWaitSeconds = value.toDouble();
        }
        return result;
    }
    result.failure = QStringLiteral("no result");
    return result;
}

// Simulated modules on the device port, numbered from FirstMac; true once they listen.
bool startSimulator(QProcess &simulator, int modules)
{
    simulator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    simulator.start(
        QStringLiteral(KESTREL_SIM_PATH),
        {QStringLiteral("--count"), QString::number(modules), QStringLiteral("--mac"), QLatin1String(FirstMac)});
    QByteArray output;
    const auto started = BenchClock::now();
    while (!output.contains("listening")) {
        if (simulator.state() == QProcess::NotRunning
            || microsecondsBetween(started, BenchClock::now()) > SimulatorStartMs * 1000.0)
            return false;
        simulator.waitForReadyRead(100);
        output += simulator.readAllStandardOutput();
    }
    return true;
}

} // namespace

int runBurstChild(TimedApplication &app, int modules)
{
    BurstResult result;
    result.modules = modules;
    result.receiveBuffer = grantedReceiveBuffer();
    if (result.receiveBuffer > 2 * StockReceiveBufferMax) {
        QTextStream(stderr) << "kestrel-bench: the receive buffer is not capped (" << result.receiveBuffer
                            << " bytes granted); is the clamping library preloaded?\n";
        return 1;
    }

    MainWindow window;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        QTextStream(stderr) << "kestrel-bench: the window was not shown\n";
        return 1;
    }
    ReceiveBench bench(window);

    QProcess simulator;
    if (!startSimulator(simulator, modules)) {
        QTextStream(stderr) << "kestrel-bench: kestrel-sim did not start listening\n";
        return 1;
    }

    auto lastRow = BenchClock::now();
    QObject::connect(bench.deviceTable()->model(), &QAbstractItemModel::rowsInserted,
                     [&lastRow] { lastRow = BenchClock::now(); });

    // Stands for the user: how long the window can keep a 10 ms timer waiting.
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(TickMs);
    // A wait counts when it began while modules were still being listed, however late it ends.
    auto lastTick = BenchClock::now();
    bool listingAtLastTick = true;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const auto now = BenchClock::now();
        if (listingAtLastTick)
            result.longestGapMs = std::max(result.longestGapMs, microsecondsBetween(lastTick, now) / 1000);
        lastTick = now;
        listingAtLastTick = bench.listed() < modules;
    });

    QEventLoop loop;
    QTimer watch;
    watch.setInterval(50);
    const auto searchPressed = BenchClock::now();
    lastRow = searchPressed;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (bench.listed() >= modules || microsecondsBetween(lastRow, BenchClock::now()) > QuietSeconds * 1e6)
            loop.quit();
    });
    tick.start();
    lastTick = BenchClock::now();
    watch.start();
    app.forgetLongestEvent();
    const ProcessThreads before = processThreads();
    bench.pressSearch();
    loop.exec();
    tick.stop();
    const ProcessThreads after = processThreads();
    result.longestEventMs = app.longestEventMs();
    result.guiCpuSeconds = secondsBetween(before.gui.running, after.gui.running);
    result.readerCpuSeconds = secondsBetween(before.reader.running, after.reader.running);
    result.readerWaitSeconds = secondsBetween(before.reader.waiting, after.reader.waiting);

    result.listed = bench.listed();
    result.seconds = result.listed > 0 ? microsecondsBetween(searchPressed, lastRow) / 1e6 : 0;
    result.peakRssKiB = peakRssKiB();
    result.dropped = receiveQueueDrops();
    simulator.terminate();
    simulator.waitForFinished(5000);
    printResult(result);
    return 0;
}

BurstResult runBurst(int modules)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(KESTREL_CLAMP_RCVBUF_PATH));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--burst"), QString::number(modules)});
    BurstResult result;
    result.modules = modules;
    if (!child.waitForFinished(ChildTimeoutMs)) {
        child.kill();
        child.waitForFinished();
        result.failure = QStringLiteral("did not finish");
        return result;
    }
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
        result.failure = QStringLiteral("failed (exit status %1)").arg(child.exitCode());
        return result;
    }
    return parseResult(modules, child.readAllStandardOutput());
}
