// kestrel-bench: what the frame work, the window's receive path and a burst of simulated replies cost on this
// machine, as one table. Run by `make bench` inside a private network namespace (scripts/netns-run.sh).

#include "benchtable.h"
#include "burst.h"
#include "floodsender.h"
#include "framecosts.h"
#include "framekeysource.h"
#include "machine.h"
#include "modulememory.h"
#include "pacedsender.h"
#include "privatenetwork.h"
#include "provisionbench.h"
#include "readercost.h"
#include "receivebench.h"
#include "startup.h"
#include "timedapplication.h"

#include <QCommandLineParser>
#include <QFile>
#include <QTextStream>

#include <algorithm>

namespace {

const QVector<int> ReceiveRowCounts = {0, 10000, 100000};
constexpr int StartupRuns = 11;
const QVector<int> ProvisionSizes = {1000};

void progress(const QString &line)
{
    QTextStream(stderr) << "kestrel-bench: " << line << '\n';
}

// The window writes diagnostic lines for every datagram; they are made as always but go nowhere, so the
// terminal's speed is not measured. Warnings still show.
QtMessageHandler qtHandler = nullptr;
void dropDiagnostics(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        qtHandler(type, context, message);
}

// Numbers of at least `least`, comma-separated.
QVector<int> parseCounts(const QString &text, bool *ok, int least = 1)
{
    QVector<int> counts;
    *ok = true;
    for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool isNumber = false;
        const int value = part.trimmed().toInt(&isNumber);
        if (!isNumber || value < least)
            *ok = false;
        counts.append(value);
    }
    return counts;
}

// Everything but the bursts and the memory: the frame work, the receive path, the start-up and the reader.
bool measureEverythingElse(const QByteArray &key, BenchResults *results, QString *error)
{
    progress(QStringLiteral("frame cipher, checksum and reply decoding"));
    if (!measureFrameCosts(key, &results->frames, error))
        return false;
    progress(QStringLiteral("the window's receive path"));
    if (!measureReceivePath(ReceiveRowCounts, &results->receive, error))
        return false;
    progress(QStringLiteral("the window's start-up on a virtual display"));
    results->startup = measureStartup(QStringLiteral(KESTREL_WINDOW_PATH), StartupRuns);
    progress(QStringLiteral("the device port's reader"));
    return measureReaderCost(&results->reader, error);
}

} // namespace

int main(int argc, char *argv[])
{
    // A window is made, but nobody needs to see it.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TimedApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrel-bench"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Measures the frame cipher, the window's receive path and "
                                                    "bursts of replies from kestrel-sim; prints one table.\n"
                                                    "Run it inside scripts/netns-run.sh."));
    parser.addHelpOption();
    const QCommandLineOption burstsOption(QStringLiteral("bursts"),
                                          QStringLiteral("Burst sizes, comma-separated (default 1000,10000,100000)."),
                                          QStringLiteral("list"), QStringLiteral("1000,10000,100000"));
    const QCommandLineOption outputOption(QStringLiteral("output"),
                                          QStringLiteral("Also write the table to this file."), QStringLiteral("file"));
    const QCommandLineOption burstOption(QStringLiteral("burst"),
                                         QStringLiteral("Run one burst of N replies and print its result line (what "
                                                        "each burst's child process does)."),
                                         QStringLiteral("N"));
    const QCommandLineOption pacedOption(QStringLiteral("paced-bursts"),
                                         QStringLiteral("Burst sizes from the paced sender (default 10000,100000)."),
                                         QStringLiteral("list"), QStringLiteral("10000,100000"));
    const QCommandLineOption ratesOption(QStringLiteral("rates"),
                                         QStringLiteral("Replies per second of the paced sender, 0 for as fast as it "
                                                        "goes (default 50000,100000,200000,0)."),
                                         QStringLiteral("list"), QStringLiteral("50000,100000,200000,0"));
    const QCommandLineOption rateOption(QStringLiteral("rate"),
                                        QStringLiteral("With --burst or --send: replies per second (0: unpaced, "
                                                       "-1: from kestrel-sim)."),
                                        QStringLiteral("R"), QString::number(FromSimulator));
    const QCommandLineOption sendOption(QStringLiteral("send"),
                                        QStringLiteral("Be the paced sender of N replies (what each paced burst "
                                                       "starts)."),
                                        QStringLiteral("N"));
    const QCommandLineOption floodOption(QStringLiteral("flood"),
                                         QStringLiteral("Be a flood of distinct random 64-byte datagrams from port "
                                                        "1500 of another host for S seconds, at most "
                                                        "--flood-count of them, then exit."),
                                         QStringLiteral("S"));
    const QCommandLineOption floodCountOption(QStringLiteral("flood-count"),
                                              QStringLiteral("The most datagrams a flood sends (default "
                                                             "100000000)."),
                                              QStringLiteral("N"), QStringLiteral("100000000"));
    const QCommandLineOption memoryOption(QStringLiteral("memory-only"),
                                          QStringLiteral("Measure only the memory per listed module: the bursts from "
                                                         "kestrel-sim (--bursts) and kestrelctl search --json."));
    parser.addOptions({burstsOption, outputOption, burstOption, pacedOption, ratesOption, rateOption, sendOption,
                       floodOption, floodCountOption, memoryOption});
    parser.process(app);

    QString why;
    if (!insidePrivateNetwork(&why)) {
        progress(QStringLiteral("refusing to run: it broadcasts on UDP port 1500 (%1); run it as "
                                "scripts/netns-run.sh %2")
                     .arg(why, QCoreApplication::applicationFilePath()));
        return 1;
    }
    qtHandler = qInstallMessageHandler(dropDiagnostics);

    if (parser.isSet(floodOption)) {
        bool secondsOk = false;
        bool countOk = false;
        const double seconds = parser.value(floodOption).toDouble(&secondsOk);
        const qint64 most = parser.value(floodCountOption).toLongLong(&countOk);
        if (!secondsOk || seconds <= 0 || seconds > 3600 || !countOk || most < 1) {
            progress(QStringLiteral("--flood needs seconds from 0 to 3600, --flood-count a number of datagrams"));
            return 2;
        }
        return runFloodSender(seconds, most);
    }

    // The key the window and kestrel-sim will choose too.
    FrameKeyChoice key;
    QString keyError;
    if (!installChosenFrameKey(std::nullopt, &key, &keyError)) {
        progress(keyError);
        return 2;
    }

    bool rateOk = false;
    const int rate = parser.value(rateOption).toInt(&rateOk);
    if (parser.isSet(burstOption) || parser.isSet(sendOption)) {
        const bool sending = parser.isSet(sendOption);
        bool ok = false;
        const int modules = parser.value(sending ? sendOption : burstOption).toInt(&ok);
        if (!ok || modules < 1 || !rateOk || rate < (sending ? 0 : FromSimulator)) {
            progress(QStringLiteral("--burst and --send need a number of modules, --rate a number of replies per "
                                    "second"));
            return 2;
        }
        return sending ? runPacedSender(modules, rate) : runBurstChild(app, modules, rate);
    }
    bool countsOk = false;
    const QVector<int> burstSizes = parseCounts(parser.value(burstsOption), &countsOk);
    bool pacedOk = false;
    const QVector<int> pacedSizes = parseCounts(parser.value(pacedOption), &pacedOk);
    bool ratesOk = false;
    const QVector<int> rates = parseCounts(parser.value(ratesOption), &ratesOk, 0);
    if (!countsOk || !pacedOk || !ratesOk) {
        progress(QStringLiteral("--bursts and --paced-bursts need numbers of modules such as 1000,10000, --rates "
                                "numbers of replies per second"));
        return 2;
    }

    BenchResults results;
    results.machine = describeMachine();
    results.memoryOnly = parser.isSet(memoryOption);
    QString error;
    if (!results.memoryOnly && !measureEverythingElse(key.key, &results, &error)) {
        progress(error);
        return 1;
    }

    for (const int modules : burstSizes) {
        progress(QStringLiteral("a burst of %1 replies from kestrel-sim").arg(modules));
        results.bursts.append(runBurst(modules));
    }
    if (!burstSizes.isEmpty()) {
        const int most = *std::max_element(burstSizes.cbegin(), burstSizes.cend());
        const int least = *std::min_element(burstSizes.cbegin(), burstSizes.cend());
        if (most > least) {
            progress(QStringLiteral("kestrelctl search --json listing %1 and %2 modules").arg(least).arg(most));
            results.memory.append(measureSearchJsonMemory(least, most));
        }
    }
    for (const int modules : results.memoryOnly ? QVector<int>() : pacedSizes) {
        for (const int pace : rates) {
            progress(QStringLiteral("a burst of %1 replies at %2 per second")
                         .arg(modules)
                         .arg(pace > 0 ? QString::number(pace) : QStringLiteral("full speed")));
            results.bursts.append(runBurst(modules, pace));
        }
    }

    for (const int modules : results.memoryOnly ? QVector<int>() : ProvisionSizes) {
        progress(QStringLiteral("kestrelctl provision for %1 modules").arg(modules));
        results.provisions.append(runProvision(modules));
    }

    const QString table = benchTable(results);
    QTextStream(stdout) << table;
    if (parser.isSet(outputOption)) {
        QFile output(parser.value(outputOption));
        if (!output.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)
            || output.write(table.toUtf8()) < 0) {
            progress(QStringLiteral("cannot write %1: %2").arg(output.fileName(), output.errorString()));
            return 1;
        }
    }
    return 0;
}
