// kestrel-bench: what the frame work, the window's receive path and a burst of simulated replies cost on this
// machine, as one table. Run by `make bench` inside a private network namespace (scripts/netns-run.sh).

#include "benchtable.h"
#include "burst.h"
#include "framecosts.h"
#include "framekeysource.h"
#include "machine.h"
#include "privatenetwork.h"
#include "receivebench.h"
#include "timedapplication.h"

#include <QCommandLineParser>
#include <QFile>
#include <QTextStream>

namespace {

const QVector<int> ReceiveRowCounts = {0, 10000, 100000};

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

QVector<int> parseCounts(const QString &text, bool *ok)
{
    QVector<int> counts;
    *ok = true;
    for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool isNumber = false;
        const int value = part.trimmed().toInt(&isNumber);
        if (!isNumber || value < 1)
            *ok = false;
        counts.append(value);
    }
    return counts;
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
    parser.addOptions({burstsOption, outputOption, burstOption});
    parser.process(app);

    QString why;
    if (!insidePrivateNetwork(&why)) {
        progress(QStringLiteral("refusing to run: it broadcasts on UDP port 1500 (%1); run it as "
                                "scripts/netns-run.sh %2")
                     .arg(why, QCoreApplication::applicationFilePath()));
        return 1;
    }
    qtHandler = qInstallMessageHandler(dropDiagnostics);

    if (parser.isSet(burstOption)) {
        bool ok = false;
        const int modules = parser.value(burstOption).toInt(&ok);
        if (!ok || modules < 1) {
            progress(QStringLiteral("--burst needs a number of modules"));
            return 2;
        }
        return runBurstChild(app, modules);
    }
    bool countsOk = false;
    const QVector<int> burstSizes = parseCounts(parser.value(burstsOption), &countsOk);
    if (!countsOk) {
        progress(QStringLiteral("--bursts needs numbers of modules such as 1000,10000"));
        return 2;
    }

    // The key the window and kestrel-sim will choose too.
    FrameKeyChoice key;
    QString keyError;
    if (!installChosenFrameKey(std::nullopt, &key, &keyError)) {
        progress(keyError);
        return 2;
    }

    BenchResults results;
    results.machine = describeMachine();
    QString error;
    progress(QStringLiteral("frame cipher, checksum and reply decoding"));
    if (!measureFrameCosts(key.key, &results.frames, &error)) {
        progress(error);
        return 1;
    }
    progress(QStringLiteral("the window's receive path"));
    if (!measureReceivePath(ReceiveRowCounts, &results.receive, &error)) {
        progress(error);
        return 1;
    }
    for (const int modules : burstSizes) {
        progress(QStringLiteral("a burst of %1 replies").arg(modules));
        results.bursts.append(runBurst(modules));
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
