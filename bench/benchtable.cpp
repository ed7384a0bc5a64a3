#include "benchtable.h"

#include "searchrounds.h"
#include "socketbatchreader.h"

#include <QLocale>
#include <QMap>
#include <QStringList>

namespace {

// Three significant digits are more than a shared machine repeats.
QString microseconds(double value)
{
    const int decimals = value < 1 ? 3 : value < 10 ? 2 : value < 100 ? 1 : 0;
    return QStringLiteral("%1 µs").arg(value, 0, 'f', decimals);
}

QString ratio(double value, double reference)
{
    if (reference <= 0)
        return QString();
    const double r = value / reference;
    return QStringLiteral("%1×").arg(r, 0, 'f', r < 10 ? 2 : 0);
}

QString count(qint64 value)
{
    return QLocale(QLocale::English).toString(value);
}

QString row(const QStringList &cells)
{
    return QStringLiteral("| %1 |\n").arg(cells.join(QStringLiteral(" | ")));
}

QString perSecond(double value)
{
    return QStringLiteral("%1/s").arg(count(qRound64(value)));
}

QString burstSource(const BurstResult &burst)
{
    const QString reached = burst.sendSeconds > 0
        ? QStringLiteral("reached %1").arg(perSecond(burst.modules / burst.sendSeconds))
        : QStringLiteral("rate not seen");
    if (burst.rate == FromSimulator)
        return QStringLiteral("from kestrel-sim (%1)").arg(reached);
    if (burst.rate == 0)
        return QStringLiteral("unpaced (%1)").arg(reached);
    return QStringLiteral("paced at %1 (%2)").arg(perSecond(burst.rate), reached);
}

QString burstRow(const BurstResult &burst)
{
    const QString what
        = QStringLiteral("burst of %1 replies %2: search to last row").arg(count(burst.modules), burstSource(burst));
    if (!burst.failure.isEmpty())
        return row({what, burst.failure, QString(), QString(), QString(), QString()});
    const QString threads
        = QStringLiteral("GUI thread: CPU %1 per reply, longest event %2 ms, a 10 ms timer waited up to %3 ms; "
                         "reader thread: CPU %4 per reply, waited %5 s for a core")
              .arg(microseconds(1e6 * burst.guiCpuSeconds / burst.modules))
              .arg(burst.longestEventMs, 0, 'f', 0)
              .arg(burst.longestGapMs, 0, 'f', 0)
              .arg(microseconds(1e6 * burst.readerCpuSeconds / qMax<qint64>(1, burst.modules - burst.dropped)))
              .arg(burst.readerWaitSeconds, 0, 'f', 2);
    const QString rounds = burst.rounds > 0 ? QStringLiteral("%1 round%2, still lost %3")
                                                  .arg(burst.rounds)
                                                  .arg(burst.rounds == 1 ? "" : "s")
                                                  .arg(count(burst.lost))
                                            : QStringLiteral("the search did not end by itself");
    const QString dropped
        = QStringLiteral("; kernel drops in the first round %1, in all %2 (RcvbufErrors %3); %4")
              .arg(count(burst.firstRoundDropped), count(burst.dropped), count(burst.receiveBufferErrors), rounds);
    const QString listed = QStringLiteral("%1 (%2 %)%3")
                               .arg(count(burst.listed))
                               .arg(100.0 * burst.listed / burst.modules, 0, 'f', burst.listed == burst.modules ? 0 : 1)
                               .arg(dropped);
    return row({what, QStringLiteral("%1 s").arg(burst.seconds, 0, 'f', 2), threads, QString(), listed,
                QStringLiteral("%1 MiB").arg(double(burst.peakRssKiB) / 1024, 0, 'f', 0)});
}

} // namespace

QString benchTable(const BenchResults &results)
{
    const Machine &machine = results.machine;
    const FrameCosts &frames = results.frames;
    QString text;
    text += QStringLiteral("Machine: %1, %2 cores, %3; Qt %4, %5; %6 build; load average %7 at the start.\n")
                .arg(machine.cpu)
                .arg(machine.cores)
                .arg(machine.kernel, machine.qt, machine.openssl, QStringLiteral(KESTREL_BUILD_TYPE),
                     machine.loadAverage);
    int granted = 0;
    for (const BurstResult &burst : results.bursts)
        granted = qMax(granted, burst.receiveBuffer);
    text += QStringLiteral("Times are medians of repeated runs; each burst is one search in a fresh process whose "
                           "receive buffers are capped at %1 bytes (a 4 MiB request was granted %2).\n\n")
                .arg(count(StockReceiveBufferMax), count(granted));

    text += row({QStringLiteral("Measurement"), QStringLiteral("Time"), QStringLiteral("Beside it"),
                 QStringLiteral("Ratio"), QStringLiteral("Listed"), QStringLiteral("Peak RSS")});
    text += row({QStringLiteral("---"), QStringLiteral("---:"), QStringLiteral("---"), QStringLiteral("---:"),
                 QStringLiteral("---:"), QStringLiteral("---:")});

    // Which reader this build has: the batch reader, or the portable one (as on Windows) with KESTREL_PORTABLE_READER.
    const bool batchReader = SocketBatchReader::countsDrops();
    // A run of the memory rows alone measures nothing else.
    if (!results.memoryOnly) {
        const QString openssl = QStringLiteral("OpenSSL AES-128-CBC %1");
        text += row({QStringLiteral("decryptFrame, 64-byte frame"), microseconds(frames.decryptFrame),
                     openssl.arg(microseconds(frames.opensslDecrypt)),
                     ratio(frames.decryptFrame, frames.opensslDecrypt), QString(), QString()});
        text += row({QStringLiteral("encryptFrame, 64-byte frame"), microseconds(frames.encryptFrame),
                     openssl.arg(microseconds(frames.opensslEncrypt)),
                     ratio(frames.encryptFrame, frames.opensslEncrypt), QString(), QString()});
        text += row({QStringLiteral("frameChecksum, 50 bytes"), microseconds(frames.checksum), QString(), QString(),
                     QString(), QString()});
        text += row({QStringLiteral("decodeDeviceReply, one reply"), microseconds(frames.decode), QString(), QString(),
                     QString(), QString()});

        for (const ReceiveCosts &costs : results.receive)
            text += row({QStringLiteral("receive path per datagram, %1 rows listed").arg(count(costs.rowsListed)),
                         microseconds(costs.receive),
                         QStringLiteral("one decryptFrame %1").arg(microseconds(costs.decryptFrame)),
                         ratio(costs.receive, costs.decryptFrame), QString(), QString()});
        for (const ReceiveCosts &costs : results.receive)
            text += row({QStringLiteral("a repeated reply, %1 rows listed").arg(count(costs.rowsListed)),
                         microseconds(costs.repeated),
                         QStringLiteral("the first time %1").arg(microseconds(costs.receive)),
                         ratio(costs.repeated, costs.receive), QString(), QString()});

        const StartupTimes &startup = results.startup;
        const QString startupWhat = QStringLiteral("start-up: process start to the window mapped (Xvfb)");
        if (startup.failure.isEmpty())
            text += row({startupWhat, QStringLiteral("%1 ms").arg(startup.mappedMs, 0, 'f', 0),
                         QStringLiteral("port 1500 bound after %1 ms; CPU %2 ms by then (all threads); median of %3")
                             .arg(startup.boundMs, 0, 'f', 0)
                             .arg(startup.cpuAtMappedMs, 0, 'f', 0)
                             .arg(startup.runs),
                         QString(), QString(), QString()});
        else
            text += row({startupWhat, startup.failure, QString(), QString(), QString(), QString()});

        const ReaderCosts &reader = results.reader;
        text += row({QStringLiteral("device port reader: one reply from the kernel's queue into the window's, %1 (%2 "
                                    "queued)")
                         .arg(batchReader ? QStringLiteral("batch read")
                                          : QStringLiteral("portable reader, one datagram at a time through Qt"),
                              count(reader.queued)),
                     microseconds(reader.batchRead),
                     QStringLiteral("Qt's receiveDatagram loop %1").arg(microseconds(reader.qtReceive)),
                     ratio(reader.batchRead, reader.qtReceive), QString(), QString()});
    }

    for (const BurstResult &burst : results.bursts)
        text += burstRow(burst);

    for (const ProvisionResult &provision : results.provisions) {
        const QString what = QStringLiteral("kestrelctl provision --ip-range, %1 factory-fresh modules: start to the "
                                            "last confirmation")
                                 .arg(count(provision.modules));
        if (provision.seconds <= 0) {
            text += row({what, provision.failure, QString(), QString(), QString(), QString()});
            continue;
        }
        text += row({what, QStringLiteral("%1 s").arg(provision.seconds, 0, 'f', 2),
                     QStringLiteral("%1 search requests heard (the search and its read-back), %2 configuration frames "
                                    "taken%3")
                         .arg(provision.searchRequests)
                         .arg(count(provision.configured))
                         .arg(provision.failure.isEmpty() ? QString() : QStringLiteral("; ") + provision.failure),
                     QString(),
                     QStringLiteral("%1 of %2 confirmed").arg(count(provision.confirmed), count(provision.modules)),
                     QStringLiteral("%1 MiB").arg(double(provision.peakRssKiB) / 1024, 0, 'f', 0)});
    }

    // What one more listed module costs: the window's from its smallest and largest burst from kestrel-sim.
    const BurstResult *smallest = nullptr;
    const BurstResult *largest = nullptr;
    for (const BurstResult &burst : results.bursts) {
        if (burst.rate != FromSimulator || !burst.failure.isEmpty())
            continue;
        if (!smallest || burst.modules < smallest->modules)
            smallest = &burst;
        if (!largest || burst.modules > largest->modules)
            largest = &burst;
    }
    QVector<ModuleMemory> memory;
    // Only when the larger burst listed more: a burst that went wrong says nothing about memory.
    if (smallest && largest && largest->listed > smallest->listed) {
        ModuleMemory window;
        window.program = QStringLiteral("the window");
        window.modules = largest->listed;
        window.baselineModules = smallest->listed;
        window.peakKiB = largest->peakRssKiB;
        window.baselinePeakKiB = smallest->peakRssKiB;
        memory << window;
    }
    memory << results.memory;
    for (const ModuleMemory &cost : memory) {
        const QString what = QStringLiteral("memory per listed module: %1").arg(cost.program);
        if (!cost.failure.isEmpty()) {
            text += row({what, cost.failure, QString(), QString(), QString(), QString()});
            continue;
        }
        text += row({what, QString(),
                     QStringLiteral("%1 bytes: peak %2 MiB with %3 modules, %4 MiB with %5")
                         .arg(cost.bytesPerModule(), 0, 'f', 0)
                         .arg(double(cost.peakKiB) / 1024, 0, 'f', 0)
                         .arg(count(cost.modules))
                         .arg(double(cost.baselinePeakKiB) / 1024, 0, 'f', 0)
                         .arg(count(cost.baselineModules)),
                     QString(), count(cost.modules),
                     QStringLiteral("%1 MiB").arg(double(cost.peakKiB) / 1024, 0, 'f', 0)});
    }

    // The highest paced rate whose first round lost nothing, per burst size. The portable reader counts no drops and
    // asks once: there a round lost nothing when it listed every module.
    QMap<int, int> cleanRate;
    for (const BurstResult &burst : results.bursts) {
        const bool lossless = batchReader ? burst.firstRoundDropped == 0 : burst.listed == burst.modules;
        if (burst.rate > 0 && burst.failure.isEmpty() && lossless)
            cleanRate[burst.modules] = qMax(cleanRate.value(burst.modules), burst.rate);
        else if (burst.rate > 0 && !cleanRate.contains(burst.modules))
            cleanRate[burst.modules] = 0;
    }
    if (!cleanRate.isEmpty()) {
        QStringList rates;
        for (auto it = cleanRate.cbegin(); it != cleanRate.cend(); ++it)
            rates << QStringLiteral("%1 replies: %2")
                         .arg(count(it.key()), it.value() > 0 ? perSecond(it.value()) : QStringLiteral("none"));
        text
            += batchReader ? QStringLiteral("\nHighest paced rate with no kernel drop in the first round: %1. After drops "
                                            "the search asks again, up to %2 rounds in all.\n")
                                 .arg(rates.join(QStringLiteral(", ")))
                                 .arg(SearchRounds::MostRounds)
                           : QStringLiteral("\nHighest paced rate at which the one request listed every module (the "
                                            "portable reader counts no drops and never asks again): %1.\n")
                                 .arg(rates.join(QStringLiteral(", ")));
    }
    return text;
}
