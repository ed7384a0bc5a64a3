#include "clitestsupport.h"
#include "privatenetwork.h"
#include "segmentsentinel.h"

#include <QCoreApplication>
#include <QSet>

// kestrelctl in the tool's namespace of scripts/netns-segments.sh, with a kestrel-sim on each of two segments:
// segment k is adapter kseg<k> (10.231.<k>.1/24) here, and its modules answer from 10.231.<k>.2.
class TestKestrelctlSegments : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everySegmentIsSearched();
    void interfaceLimitsTheSearchToOneAdapter();
    void interfaceRefusesRepliesFromAnotherAdapter();
    void moduleOnTheSecondSegmentIsConfigured();
    void oneMacOnTwoSegmentsIsPointedOut();

private:
    bool startSegment(SimulatedModules &modules, int segment, const QStringList &arguments);
    QString statePath(int segment) const { return files.filePath(QStringLiteral("segment%1.json").arg(segment)); }
    ToolRun run(const QStringList &arguments) const { return runKestrelctl(arguments, environment); }
    // True once the segment's simulator has handled everything that reached it so far.
    static bool handledEverything(SimulatedModules &modules, int segment)
    {
        const QByteArray echo = sendSegmentSentinel(segment);
        return !echo.isEmpty() && modules.waitFor(echo, 60000);
    }

    QTemporaryDir configHome;
    QTemporaryDir files;
    QProcessEnvironment environment;
};

namespace {

const QString FirstOnSegment1 = QStringLiteral("02000000A101");
const QString SecondOnSegment1 = QStringLiteral("02000000A102");
const QString FirstOnSegment2 = QStringLiteral("02000000A201");
const QString SecondOnSegment2 = QStringLiteral("02000000A202");

QString segmentAddress(int segment)
{
    return QStringLiteral("10.231.%1.2").arg(segment);
}

} // namespace

void TestKestrelctlSegments::initTestCase()
{
    QCOMPARE(qEnvironmentVariable("KESTREL_SEGMENTS"), QStringLiteral("2"));
    QVERIFY(configHome.isValid());
    QVERIFY(files.isValid());
    environment = toolEnvironment(configHome.path());
}

bool TestKestrelctlSegments::startSegment(SimulatedModules &modules, int segment, const QStringList &arguments)
{
    QFile::remove(statePath(segment));
    return modules.start(arguments + QStringList {QStringLiteral("--state"), statePath(segment)}, environment,
                         {QStringLiteral(SEGMENT_EXEC_PATH), QString::number(segment)});
}

void TestKestrelctlSegments::everySegmentIsSearched()
{
    SimulatedModules segment1;
    SimulatedModules segment2;
    QVERIFY(startSegment(segment1, 1, {"--count", "2", "--mac", FirstOnSegment1}));
    QVERIFY(startSegment(segment2, 2, {"--count", "2", "--mac", FirstOnSegment2}));

    const ToolRun result = run({"search", "--expect", "4", "--timeout", "10", "--retries", "0", "--json"});
    QCOMPARE_EXIT(result, 0);
    const QHash<QString, QJsonObject> found = searchedModules(result.out);
    QCOMPARE(QSet<QString>(found.keyBegin(), found.keyEnd()),
             QSet<QString>({FirstOnSegment1, SecondOnSegment1, FirstOnSegment2, SecondOnSegment2}));
    for (const QJsonObject &module : found) {
        const int segment = module.value("mac").toString().startsWith(QLatin1String("02000000A1")) ? 1 : 2;
        QCOMPARE(module.value("interface").toString(), QStringLiteral("kseg%1").arg(segment));
        QCOMPARE(module.value("source-ip").toString(), segmentAddress(segment));
        QCOMPARE(module.value("foreign-subnet").toBool(), true); // 192.168.1.10 on 10.231.<k>.0/24
    }
    // One request, so each segment heard it once.
    QVERIFY(handledEverything(segment1, 1));
    QVERIFY(handledEverything(segment2, 2));
    QCOMPARE(segment1.output().count("\nsearch from"), 1);
    QCOMPARE(segment2.output().count("\nsearch from"), 1);
}

void TestKestrelctlSegments::interfaceLimitsTheSearchToOneAdapter()
{
    SimulatedModules segment1;
    SimulatedModules segment2;
    QVERIFY(startSegment(segment1, 1, {"--count", "2", "--mac", FirstOnSegment1}));
    QVERIFY(startSegment(segment2, 2, {"--count", "2", "--mac", FirstOnSegment2}));

    const ToolRun result = run({"search", "--interface", "kseg2", "--expect", "2", "--timeout", "60", "--json"});
    QCOMPARE_EXIT(result, 0);
    const QHash<QString, QJsonObject> found = searchedModules(result.out);
    QCOMPARE(QSet<QString>(found.keyBegin(), found.keyEnd()), QSet<QString>({FirstOnSegment2, SecondOnSegment2}));
    QVERIFY(segment2.waitFor("search from"));
    QVERIFY(handledEverything(segment1, 1));
    QVERIFY2(!segment1.output().contains("search from"), segment1.output().constData());

    const ToolRun first = run({"show", FirstOnSegment1, "--interface", "kseg2", "--timeout", "0.5"});
    QCOMPARE_EXIT(first, 4);
}

// Replies are broadcasts: those that segment 1 sends for someone else's search reach a search limited to kseg2
// too, through kseg1, and are not its modules. The other search ends well within the limited one's 10 s.
void TestKestrelctlSegments::interfaceRefusesRepliesFromAnotherAdapter()
{
    SimulatedModules segment1;
    SimulatedModules segment2;
    QVERIFY(startSegment(segment1, 1, {"--count", "2", "--mac", FirstOnSegment1}));
    QVERIFY(startSegment(segment2, 2, {"--count", "2", "--mac", FirstOnSegment2}));

    ChildProcess limited;
    limited.setProcessEnvironment(environment);
    limited.start(QStringLiteral(KESTRELCTL_PATH),
                  {"search", "--interface", "kseg2", "--timeout", "10", "--retries", "0", "--json"});
    QVERIFY(segment2.waitFor("search from")); // the limited search listens now
    const ToolRun other = run({"search", "--interface", "kseg1", "--expect", "2", "--timeout", "60", "--json"});
    QCOMPARE_EXIT(other, 0);
    QVERIFY(handledEverything(segment1, 1));
    QVERIFY2(segment1.output().contains("sent all 2 reply frame(s)"), segment1.output().constData());

    QVERIFY(limited.waitForFinished(60000));
    QCOMPARE(limited.exitCode(), 0);
    const QHash<QString, QJsonObject> found = searchedModules(limited.readAllStandardOutput());
    QCOMPARE(QSet<QString>(found.keyBegin(), found.keyEnd()), QSet<QString>({FirstOnSegment2, SecondOnSegment2}));
}

void TestKestrelctlSegments::moduleOnTheSecondSegmentIsConfigured()
{
    SimulatedModules segment1;
    SimulatedModules segment2;
    QVERIFY(startSegment(segment1, 1, {"--count", "2", "--mac", FirstOnSegment1}));
    QVERIFY(startSegment(segment2, 2, {"--count", "2", "--mac", FirstOnSegment2}));
    const QByteArray segment1Before = fileBytes(statePath(1));
    const QJsonObject untouched = stateModules(statePath(2)).value(FirstOnSegment2);

    const ToolRun result = run({"set", SecondOnSegment2, "baud=57600", "mode=tcp-server"});
    QCOMPARE_EXIT(result, 0);
    QVERIFY2(result.out.startsWith((SecondOnSegment2 + " confirmed").toLatin1()), result.out.constData());
    QTRY_COMPARE(stateModules(statePath(2)).value(SecondOnSegment2).value("baud").toInt(), 57600);
    QCOMPARE(stateModules(statePath(2)).value(SecondOnSegment2).value("mode").toString(), QStringLiteral("tcp-server"));
    QCOMPARE(stateModules(statePath(2)).value(FirstOnSegment2), untouched);
    QVERIFY(handledEverything(segment1, 1));
    QCOMPARE(fileBytes(statePath(1)), segment1Before);
    QVERIFY2(!segment1.output().contains("configuration frame"), segment1.output().constData());
}

void TestKestrelctlSegments::oneMacOnTwoSegmentsIsPointedOut()
{
    const QString shared = QStringLiteral("02000000B001");
    SimulatedModules segment1;
    SimulatedModules segment2;
    QVERIFY(startSegment(segment1, 1, {"--mac", shared}));
    QVERIFY(startSegment(segment2, 2, {"--mac", shared}));

    // Both answers are needed, so the search runs its whole time: ample for two replies on any machine.
    const ToolRun result = run({"search", "--timeout", "3", "--json"});
    QCOMPARE_EXIT(result, 0);
    int listed = 0;
    const QJsonObject module = searchedModules(result.out, &listed).value(shared);
    QCOMPARE(listed, 1);
    const QJsonArray others = module.value("also-answered-from").toArray();
    QCOMPARE(others.size(), 1);
    QCOMPARE(QSet<QString>({module.value("source-ip").toString(), others.first().toString()}),
             QSet<QString>({segmentAddress(1), segmentAddress(2)}));
}

KESTREL_NETWORK_TEST_MAIN(TestKestrelctlSegments, QCoreApplication)

#include "tst_kestrelctlsegments.moc"
