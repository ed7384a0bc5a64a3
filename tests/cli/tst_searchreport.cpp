#include "answeringmodule.h"
#include "deviceendpoint.h"
#include "factorydefaults.h"
#include "frameconstants.h"
#include "modulereport.h"
#include "output.h"
#include "playedmodules.h"
#include "privatenetwork.h"
#include "searchrounds.h"
#include "session.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryFile>
#include <QtTest>

#include <unistd.h>

namespace {

// The device port's receive queue is capped (KESTREL_RCVBUF_CAP, see CMakeLists.txt) at room for a few dozen
// datagrams: this many fill it while its reader is held.
constexpr int Modules = 100;
constexpr quint64 FirstMac = Q_UINT64_C(0x02D200000000);

// What the process writes on stderr while `work` runs.
QByteArray standardErrorOf(const std::function<void()> &work)
{
    QTemporaryFile capture;
    if (!capture.open())
        return QByteArrayLiteral("(no file to capture stderr in)");
    const int saved = dup(STDERR_FILENO);
    dup2(capture.handle(), STDERR_FILENO);
    work();
    dup2(saved, STDERR_FILENO);
    close(saved);
    capture.seek(0);
    return capture.readAll();
}

// Where the system counts no drops (the portable reader, Windows), a search that ran its time out says so.
QString uncountedDropsWarning(const SearchOutcome &outcome)
{
    return QStringLiteral("kestrelctl: warning: this system does not count the replies it drops for want of room "
                          "(receive queue: %1 KiB): modules may be missing; search again to be sure\n")
        .arg(outcome.receiveBufferBytes / 1024);
}

} // namespace

// What kestrelctl tells of a search that still dropped replies when it stopped asking, in-process: its session
// searches on a device port whose queue is full and never read.
class TestSearchReport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void repliesStillDroppedAreWarnedAboutAndInJson();
    void jsonWrittenModuleByModuleIsTheWholeDocument_data();
    void jsonWrittenModuleByModuleIsTheWholeDocument();
    void repliesWithAnotherKeyAreCountedAndWarnedAbout();
};

void TestSearchReport::initTestCase()
{
    initProgramOutput(QStringLiteral("kestrelctl"));
    const int granted = grantedReceiveQueue();
    QVERIFY2(granted > 0 && granted <= 65536,
             "receive buffers are not capped: run through ctest, which preloads the clamping library");
}

void TestSearchReport::repliesStillDroppedAreWarnedAboutAndInJson()
{
    // Short rounds: every one of them drops, whenever the modules answer, since the search's own request comes back
    // to a queue that is full.
    CommandLine commandLine(QStringLiteral("search"), QString(), QString());
    Session::addOptions(commandLine);
    QVERIFY(!commandLine.parse(
        {QStringLiteral("--timeout"), QStringLiteral("0.05"), QStringLiteral("--retries"), QStringLiteral("0")}));
    Session session;
    const std::optional<Failure> opened = session.open(commandLine);
    QVERIFY2(!opened, qPrintable(opened ? opened->message : QString()));
    PlayedModules segment(Modules, FirstMac);
    QVERIFY(segment.open());
    session.deviceEndpoint().holdReading(true);
    QVERIFY(segment.chatter(Modules));
    QVERIFY(segment.heardWithoutEvents([&] { return segment.chatterHeard >= Modules; }));

    FoundModules found;
    std::optional<Failure> failure;
    const QByteArray warning = standardErrorOf([&] { failure = session.search(&found); });
    session.deviceEndpoint().holdReading(false);
    QVERIFY(!failure);

    const SearchOutcome &outcome = session.lastSearch();
    if (!DeviceEndpoint::countsDrops()) {
        // The portable reader (Windows): nothing counts the drops, so one round, and the report says that the list
        // cannot be vouched for instead of claiming it whole.
        QCOMPARE(outcome.rounds, 1);
        QVERIFY(!outcome.dropsCounted);
        QCOMPARE(QString::fromUtf8(warning), uncountedDropsWarning(outcome));
        const QJsonObject json
            = QJsonDocument::fromJson(searchJsonText(session.annotated(found), outcome).toUtf8()).object();
        QVERIFY(json.value(QStringLiteral("lost-replies")).isNull());
        return;
    }
    QVERIFY(outcome.dropsCounted);
    QCOMPARE(outcome.rounds, SearchRounds::MostRounds);
    QVERIFY(outcome.lostReplies > 0);
    QCOMPARE(QString::fromUtf8(warning),
             QStringLiteral("kestrelctl: warning: the system still dropped %1 replies in the last of %2 search rounds: "
                            "modules may be missing; search again\n")
                 .arg(outcome.lostReplies)
                 .arg(SearchRounds::MostRounds));

    const QJsonObject json
        = QJsonDocument::fromJson(searchJsonText(session.annotated(found), outcome).toUtf8()).object();
    QCOMPARE(json.value(QStringLiteral("rounds")).toInt(), SearchRounds::MostRounds);
    QCOMPARE(json.value(QStringLiteral("lost-replies")).toDouble(), double(outcome.lostReplies));
    QVERIFY(json.value(QStringLiteral("modules")).isArray());
}

void TestSearchReport::jsonWrittenModuleByModuleIsTheWholeDocument_data()
{
    QTest::addColumn<int>("modules");
    QTest::newRow("none") << 0;
    QTest::newRow("one") << 1;
    QTest::newRow("three") << 3;
}

// search --json writes a module at a time; the text is the one the whole document would give.
void TestSearchReport::jsonWrittenModuleByModuleIsTheWholeDocument()
{
    QFETCH(int, modules);
    FoundModules found;
    for (int i = 0; i < modules; ++i) {
        DeviceRecord record = factoryDefaultRecord();
        record.macAddress = QStringLiteral("%1").arg(FirstMac + quint64(i), MacDigits, 16, QLatin1Char('0')).toUpper();
        record.deviceName = QStringLiteral("M%1").arg(i);
        record.sourceIp = QStringLiteral("10.231.0.%1").arg(2 + i);
        found.add(record);
    }
    SearchOutcome outcome;
    outcome.rounds = 2;
    outcome.lostReplies = 7;
    outcome.modules = modules;
    outcome.badChecksums = 3;
    const QList<FoundModule> listed = found.annotated({});
    QJsonArray array;
    for (const FoundModule &module : listed)
        array.append(reportJson(module));
    const QJsonObject whole {{QStringLiteral("modules"), array},
                             {QStringLiteral("answered"), outcome.modules},
                             {QStringLiteral("rounds"), outcome.rounds},
                             {QStringLiteral("lost-replies"), double(outcome.lostReplies)},
                             {QStringLiteral("repeats-dropped"), double(outcome.repeatsDropped)},
                             {QStringLiteral("failed-checksum"), outcome.badChecksums}};
    QStringList parts;
    writeSearchJson(listed, outcome, [&parts](const QString &part) { parts << part; });
    QCOMPARE(parts.size(), modules + 2);
    QCOMPARE(parts.join(QString()), QString::fromUtf8(QJsonDocument(whole).toJson(QJsonDocument::Indented)));
}

// A module that answers with another frame key is no module to the search, but its reply is counted and the frame
// key named as the likely cause, on stderr and in --json.
void TestSearchReport::repliesWithAnotherKeyAreCountedAndWarnedAbout()
{
    setFrameKey(BuiltInFrameKey);
    CommandLine commandLine(QStringLiteral("search"), QString(), QString());
    Session::addOptions(commandLine);
    QVERIFY(!commandLine.parse(
        {QStringLiteral("--timeout"), QStringLiteral("0.5"), QStringLiteral("--retries"), QStringLiteral("0")}));
    Session session;
    const std::optional<Failure> opened = session.open(commandLine);
    QVERIFY2(!opened, qPrintable(opened ? opened->message : QString()));
    DeviceRecord record = factoryDefaultRecord();
    record.macAddress = QStringLiteral("02D3000000A1");
    record.version = QStringLiteral("1.0.0.1");
    AnsweringModule module(record, QStringLiteral("10.231.0.2"));
    QVERIFY(module.open());
    module.useOtherKey({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});

    FoundModules found;
    std::optional<Failure> failure;
    const QByteArray warning = standardErrorOf([&] { failure = session.search(&found); });
    QVERIFY(!failure);
    QCOMPARE(found.size(), 0);
    QCOMPARE(module.requestsHeard, 1);
    const SearchOutcome &outcome = session.lastSearch();
    QCOMPARE(outcome.badChecksums, 1);
    // Where the system counts no drops, that comes first.
    QCOMPARE(QString::fromUtf8(warning),
             (DeviceEndpoint::countsDrops() ? QString() : uncountedDropsWarning(outcome))
                 + QStringLiteral("kestrelctl: warning: replies from port 1500 that failed the checksum: 1 (wrong "
                                  "frame key?)\n"));
    const QJsonObject json
        = QJsonDocument::fromJson(searchJsonText(session.annotated(found), outcome).toUtf8()).object();
    QCOMPARE(json.value(QStringLiteral("failed-checksum")).toInt(-1), 1);
    QCOMPARE(json.value(QStringLiteral("answered")).toInt(-1), 0);
}

KESTREL_NETWORK_TEST_MAIN(TestSearchReport, QCoreApplication)
#include "tst_searchreport.moc"
