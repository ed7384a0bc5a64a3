#include "burst.h"

#include "benchclock.h"
#include "frameconstants.h"
#include "mainwindow.h"
#include "pacedsender.h"
#include "processstats.h"
#include "receivebench.h"
#include "timedapplication.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QHostAddress>
#include <QProcess>
#include <QTableWidget>
#include <QTest>
#include <QTextStream>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>

namespace {

constexpr char FirstMac[] = "02BF00000000";
constexpr int SimulatorStartMs = 120000;
// The search ends by itself (searchFinished); should it not, the burst is over when no new row came for this long.
constexpr double QuietSeconds = 30;
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

void printResult(const BurstResult &result)
{
    QTextStream(stdout) << ResultTag << " modules=" << result.modules << " listed=" << result.listed
                        << " seconds=" << QString::number(result.seconds, 'f', 6)
                        << " send-seconds=" << QString::number(result.sendSeconds, 'f', 6)
                        << " rcvbuf-errors=" << result.receiveBufferErrors << " peak-rss-kib=" << result.peakRssKiB
                        << " dropped=" << result.dropped << " first-round-dropped=" << result.firstRoundDropped
                        << " rounds=" << result.rounds << " lost=" << result.lost
                        << " longest-event-ms=" << QString::number(result.longestEventMs, 'f', 1)
                        << " longest-gap-ms=" << QString::number(result.longestGapMs, 'f', 1)
                        << " receive-buffer=" << result.receiveBuffer
                        << " gui-cpu-s=" << QString::number(result.guiCpuSeconds, 'f', 6)
                        << " reader-cpu-s=" << QString::number(result.readerCpuSeconds, 'f', 6)
                        << " reader-wait-s=" << QString::number(result.readerWaitSeconds, 'f', 6) << '\n';
}

BurstResult parseResult(int modules, int rate, const QByteArray &output)
{
    BurstResult result;
    result.modules = modules;
    result.rate = rate;
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
            else if (name == "send-seconds")
                result.sendSeconds = value.toDouble();
            else if (name == "rcvbuf-errors")
                result.receiveBufferErrors = value.toLongLong();
            else if (name == "peak-rss-kib")
                result.peakRssKiB = value.toLongLong();
            else if (name == "dropped")
                result.dropped = value.toLongLong();
            else if (name == "first-round-dropped")
                result.firstRoundDropped = value.toLongLong();
            else if (name == "rounds")
                result.rounds = value.toInt();
            else if (name == "lost")
                result.lost = value.toLongLong();
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

// The paced sender, a copy of this program; true once its replies are made.
bool startPacedSender(QProcess &sender, int modules, int rate)
{
    sender.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sender.start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--send"), QString::number(modules), QStringLiteral("--rate"), QString::number(rate)});
    QByteArray output;
    while (!output.contains("ready\n")) {
        if (sender.state() == QProcess::NotRunning && !sender.bytesAvailable())
            return false;
        sender.waitForReadyRead(100);
        output += sender.readAllStandardOutput();
    }
    return true;
}

} // namespace

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

int runBurstChild(TimedApplication &app, int modules, int rate)
{
    BurstResult result;
    result.modules = modules;
    result.rate = rate;
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

    QProcess source;
    const bool fromSimulator = rate == FromSimulator;
    if (fromSimulator ? !startSimulator(source, modules) : !startPacedSender(source, modules, rate)) {
        QTextStream(stderr) << "kestrel-bench: the replies' sender did not start\n";
        return 1;
    }
    // When the sender began and finished its first answer: kestrel-sim says so as it answers, the paced sender
    // measures itself.
    bool answered = false;
    auto sendingStarted = BenchClock::now();
    QByteArray sourceOutput;
    QObject::connect(&source, &QProcess::readyReadStandardOutput, [&] {
        sourceOutput += source.readAllStandardOutput();
        for (int end = sourceOutput.indexOf('\n'); end >= 0; end = sourceOutput.indexOf('\n')) {
            const QByteArray line = sourceOutput.left(end);
            sourceOutput.remove(0, end + 1);
            if (answered)
                continue;
            if (line.contains("search from"))
                sendingStarted = BenchClock::now();
            else if (line.contains("sent all")) {
                result.sendSeconds = microsecondsBetween(sendingStarted, BenchClock::now()) / 1e6;
                answered = true;
            } else if (line.startsWith("sent ")) {
                result.sendSeconds = line.split(' ').value(3).toDouble();
                answered = true;
            }
        }
    });

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
        if (microsecondsBetween(lastRow, BenchClock::now()) / 1e6 > QuietSeconds)
            loop.quit();
    });
    quint64 droppedBefore = 0;
    // Each request of the search, the first and those it repeats after drops, is answered in full.
    QObject::connect(&window, &MainWindow::searchRoundStarted, [&](int round) {
        if (round == 2)
            result.firstRoundDropped = qint64(bench.droppedDatagrams() - droppedBefore);
        if (!fromSimulator)
            source.write("go\n");
    });
    QObject::connect(&window, &MainWindow::searchFinished, [&](int rounds, quint64 lost) {
        result.rounds = rounds;
        result.lost = qint64(lost);
        loop.quit();
    });
    tick.start();
    lastTick = BenchClock::now();
    watch.start();
    app.forgetLongestEvent();
    const ProcessThreads before = processThreads();
    droppedBefore = bench.droppedDatagrams();
    const qint64 errorsBefore = namespaceReceiveBufferErrors();
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
    result.dropped = qint64(bench.droppedDatagrams() - droppedBefore);
    if (result.rounds == 1)
        result.firstRoundDropped = result.dropped;
    result.receiveBufferErrors = namespaceReceiveBufferErrors() - errorsBefore;
    if (fromSimulator)
        source.terminate();
    else
        source.closeWriteChannel();
    source.waitForFinished(5000);
    printResult(result);
    return 0;
}

BurstResult runBurst(int modules, int rate)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(KESTREL_CLAMP_RCVBUF_PATH));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--burst"), QString::number(modules), QStringLiteral("--rate"), QString::number(rate)});
    BurstResult result;
    result.modules = modules;
    result.rate = rate;
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
    return parseResult(modules, rate, child.readAllStandardOutput());
}
