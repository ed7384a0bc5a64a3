// kestrelctl provision and watch driven as a commissioning engineer drives them, against kestrel-sim.

#include "clitestsupport.h"
#include "deviceendpoint.h"
#include "privatenetwork.h"

#include <QSet>

#include <csignal>
#include <memory>

class TestProvision : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void rangeCommissionsFiftyFreshModulesOnce();
    void conflictsAreRefusedWithNothingSent_data();
    void conflictsAreRefusedWithNothingSent();
    void refusedValuesAreAllNamedWithNothingSent();
    void listOfJsonModulesWithOneAbsentIsModuleNotFound();
    void moduleThatIgnoresItsFrameIsNotConfirmed();
    void dryRunSendsNothing();
    void watchReportsAppearingChangingAndGoing();

private:
    bool startModules(SimulatedModules &modules, const QStringList &arguments);
    QString statePath() const { return files.filePath(QStringLiteral("state.json")); }
    QString filePath(const QString &name) const { return files.filePath(name); }
    ToolRun run(const QStringList &arguments, const QByteArray &input = QByteArray()) const
    {
        return runKestrelctl(arguments, environment, input, 120000);
    }
    // A configuration frame of its own whose arrival proves that nothing sent before it is still on its way: the
    // simulator takes datagrams in order of arrival. True when the frames it configured up to the sentinel are
    // `before` (the sentinel's own "configured" line is the next).
    bool sentinelFindsNoOtherFrame(SimulatedModules &modules, int before);
    bool writeFile(const QString &name, const QByteArray &content) const;

    QTemporaryDir configHome;
    QTemporaryDir files;
    QProcessEnvironment environment;
};

namespace {

const QString FirstMac = QStringLiteral("02004B530001");
const QString Patience = QStringLiteral("60"); // --timeout with --expect: a bound, not a wait

QString macAfter(int n)
{
    return QStringLiteral("%1").arg(FirstMac.toULongLong(nullptr, 16) + quint64(n), 12, 16, QLatin1Char('0')).toUpper();
}

// The CSV a provision wrote, row by row: header key -> cell.
QVector<QHash<QString, QString>> csvRows(const QByteArray &text)
{
    const QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVector<QHash<QString, QString>> rows;
    if (lines.isEmpty())
        return rows;
    const QStringList header = lines.first().split(QLatin1Char(','));
    for (const QString &line : lines.mid(1)) {
        const QStringList cells = line.split(QLatin1Char(','));
        QHash<QString, QString> row;
        for (int i = 0; i < header.size() && i < cells.size(); ++i)
            row.insert(header.at(i), cells.at(i));
        rows.append(row);
    }
    return rows;
}

QJsonArray reportModules(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object().value(QStringLiteral("modules")).toArray();
}

} // namespace

void TestProvision::initTestCase()
{
    requirePrivateNetwork();
    QVERIFY(configHome.isValid());
    QVERIFY(files.isValid());
    environment = toolEnvironment(configHome.path());
}

bool TestProvision::startModules(SimulatedModules &modules, const QStringList &arguments)
{
    return modules.start(arguments + QStringList {QStringLiteral("--state"), statePath()}, environment);
}

bool TestProvision::sentinelFindsNoOtherFrame(SimulatedModules &modules, int before)
{
    // Mode TCP server: a value no provision in these tests sends.
    const ToolRun sentinel
        = run({"set", FirstMac, "mode=tcp-server", "local-port=4321", "--no-verify", "--timeout", Patience});
    if (sentinel.exitCode != 0 || !modules.waitForCount("configured ", before + 1))
        return false;
    const QList<QByteArray> lines = modules.output().split('\n');
    QList<QByteArray> configured;
    for (const QByteArray &line : lines) {
        if (line.startsWith("configured "))
            configured << line;
    }
    return configured.size() == before + 1 && configured.last().contains("mode=tcp-server");
}

bool TestProvision::writeFile(const QString &name, const QByteArray &content) const
{
    QFile file(filePath(name));
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

void TestProvision::rangeCommissionsFiftyFreshModulesOnce()
{
    // Fifty modules as they come from the factory: all on 192.168.1.10, a subnet of no adapter here.
    constexpr int Count = 50;
    QFile::remove(statePath());
    SimulatedModules modules;
    QVERIFY(startModules(modules, {"--count", QString::number(Count), "--mac", FirstMac}));
    const QString list = filePath(QStringLiteral("line3.csv"));

    const ToolRun provisioned
        = run({"provision", "--ip-range", "10.231.0.100-10.231.0.199", "--name-pattern", "Line3-{n}", "--mask",
               "255.255.255.0", "--gateway", "10.231.0.1", "--foreign-subnet", "-o", list, "--expect",
               QString::number(Count), "--timeout", Patience, "--json"});
    QCOMPARE_EXIT(provisioned, 0);
    const QJsonArray report = reportModules(provisioned.out);
    QCOMPARE(report.size(), Count);
    for (const QJsonValue &entry : report) {
        const QJsonObject module = entry.toObject();
        QCOMPARE(module.value("outcome").toString(), QStringLiteral("confirmed"));
        QVERIFY(module.value("sent").toBool() && module.value("confirmed").toBool());
    }

    // The list on disk is what the modules now report, and gives each its own address and name, in MAC order.
    const QVector<QHash<QString, QString>> rows = csvRows(fileBytes(list));
    QCOMPARE(rows.size(), Count);
    const ToolRun searched = run({"search", "--expect", QString::number(Count), "--timeout", Patience, "--json"});
    QCOMPARE_EXIT(searched, 0);
    const QHash<QString, QJsonObject> found = searchedModules(searched.out);
    QSet<QString> addresses;
    QSet<QString> names;
    for (int i = 0; i < Count; ++i) {
        const QHash<QString, QString> &row = rows.at(i);
        QCOMPARE(row.value("mac"), macAfter(i));
        QCOMPARE(row.value("ip"), QStringLiteral("10.231.0.%1").arg(100 + i));
        QCOMPARE(row.value("name"), QStringLiteral("Line3-%1").arg(i + 1));
        const QJsonObject module = found.value(row.value("mac"));
        QCOMPARE(module.value("ip").toString(), row.value("ip"));
        QCOMPARE(module.value("name").toString(), row.value("name"));
        QCOMPARE(module.value("gateway").toString(), QStringLiteral("10.231.0.1"));
        QCOMPARE(module.value("foreign-subnet").toBool(), false);
        addresses.insert(row.value("ip"));
        names.insert(row.value("name"));
    }
    QCOMPARE(addresses.size(), Count);
    QCOMPARE(names.size(), Count);
    QVERIFY(modules.waitForCount("configured ", Count));

    // The same list again, and the same range again: nothing to do, nothing sent.
    const ToolRun again = run({"provision", list, "--expect", QString::number(Count), "--timeout", Patience});
    QCOMPARE_EXIT(again, 0);
    QVERIFY2(again.out.contains("nothing to do: all 50 modules already report what the list wants"),
             again.out.constData());
    const ToolRun rangeAgain = run({"provision", "--ip-range", "10.231.0.100-10.231.0.199", "--name-pattern",
                                    "Line3-{n}", "--expect", QString::number(Count), "--timeout", Patience});
    QCOMPARE_EXIT(rangeAgain, 0);
    QVERIFY2(rangeAgain.out.contains("nothing to do"), rangeAgain.out.constData());
    QVERIFY2(sentinelFindsNoOtherFrame(modules, Count), modules.output().constData());
}

void TestProvision::conflictsAreRefusedWithNothingSent_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("list");
    QTest::addColumn<QStringList>("conflicts");

    const QByteArray m1 = FirstMac.toLatin1();
    const QByteArray m2 = macAfter(1).toLatin1();
    const QByteArray m3 = macAfter(2).toLatin1();
    // The modules: 10.231.0.11, .12, .13 (see the test).
    QTest::newRow("two rows, one address")
        << QStringList() << QByteArray("mac,ip\n" + m1 + ",10.231.0.50\n" + m2 + ",10.231.0.50\n")
        << QStringList {"10.231.0.50 is given to 2 modules: line 2 (" + FirstMac + "), line 3 (" + macAfter(1) + ")"};
    QTest::newRow("the address of a module not listed")
        << QStringList() << QByteArray("mac,ip\n" + m1 + ",10.231.0.13\n")
        << QStringList {"10.231.0.13 for line 2 (" + FirstMac + ") is already the address of " + macAfter(2)};
    QTest::newRow("the address a listed module keeps")
        << QStringList() << QByteArray("mac,ip,baud\n" + m1 + ",10.231.0.12,\n" + m2 + ",,19200\n")
        << QStringList {"10.231.0.12 for line 2 (" + FirstMac + ") is already the address of " + macAfter(1)};
    QTest::newRow("a MAC listed twice") << QStringList()
                                        << QByteArray("mac,baud\n" + m1 + ",19200\n" + m3 + ",19200\n" + m1
                                                      + ",38400\n")
                                        << QStringList {FirstMac + " is listed 2 times: lines 2, 4"};
    QTest::newRow("every conflict in one message")
        << QStringList()
        << QByteArray("mac,ip\n" + m1 + ",10.231.0.60\n" + m3 + ",10.231.0.60\n" + m1 + ",10.231.0.12\n")
        << QStringList {FirstMac + " is listed 2 times: lines 2, 4",
                        "10.231.0.60 is given to 2 modules: line 2 (" + FirstMac + "), line 3 (" + macAfter(2) + ")",
                        "10.231.0.12 for line 4 (" + FirstMac + ") is already the address of " + macAfter(1)};
    QTest::newRow("a range too small") << QStringList {"--ip-range", "10.231.0.100-10.231.0.101"} << QByteArray()
                                       << QStringList {
                                              "the range 10.231.0.100-10.231.0.101 has 2 free addresses for 3 modules"};
}

void TestProvision::conflictsAreRefusedWithNothingSent()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, list);
    QFETCH(QStringList, conflicts);

    QJsonArray state;
    for (int i = 0; i < 3; ++i)
        state.append(QJsonObject {{"mac", macAfter(i)}, {"ip", QStringLiteral("10.231.0.1%1").arg(i + 1)}});
    QVERIFY(writeStateFile(statePath(), state));
    SimulatedModules modules;
    QVERIFY(startModules(modules, {}));

    if (!list.isEmpty()) {
        QVERIFY(writeFile(QStringLiteral("conflict.csv"), list));
        arguments.prepend(filePath(QStringLiteral("conflict.csv")));
    }
    const ToolRun result = run(QStringList {"provision", "--expect", "3", "--timeout", Patience} + arguments);
    QCOMPARE_EXIT(result, 9);
    QVERIFY2(result.err.startsWith("kestrelctl: refused, nothing was sent: "), result.err.constData());
    for (const QString &conflict : conflicts)
        QVERIFY2(QString::fromUtf8(result.err).contains(conflict), result.err.constData());
    // One message: the first line of stderr is the only one starting with the program's name.
    QCOMPARE(result.err.count("kestrelctl:"), 1);
    QVERIFY(result.out.isEmpty());

    QVERIFY2(sentinelFindsNoOtherFrame(modules, 0), modules.output().constData());
}

void TestProvision::refusedValuesAreAllNamedWithNothingSent()
{
    QFile::remove(statePath());
    SimulatedModules modules;
    QVERIFY(startModules(modules, {"--count", "3", "--mac", FirstMac}));
    QVERIFY(writeFile(QStringLiteral("refused.csv"),
                      "mac,name,mask,baud\n" + FirstMac.toLatin1() + ",ThisNameIsTooLong,,\n" + macAfter(1).toLatin1()
                          + ",Ok,255.0.255.0,\n" + macAfter(2).toLatin1() + ",,,50\n"));
    const ToolRun result
        = run({"provision", filePath(QStringLiteral("refused.csv")), "--expect", "3", "--timeout", Patience});
    QCOMPARE_EXIT(result, 5);
    QVERIFY2(result.err.contains("refused, nothing was sent: 3 values"), result.err.constData());
    QVERIFY2(result.err.contains("line 2 (" + FirstMac.toLatin1()
                                 + "): \"name\": \"ThisNameIsTooLong\" takes 17 "
                                   "bytes; the module holds 10"),
             result.err.constData());
    QVERIFY2(result.err.contains("line 3 (" + macAfter(1).toLatin1() + "): \"mask\""), result.err.constData());
    QVERIFY2(result.err.contains("line 4 (" + macAfter(2).toLatin1() + "): \"baud\""), result.err.constData());
    QVERIFY2(sentinelFindsNoOtherFrame(modules, 0), modules.output().constData());
}

void TestProvision::listOfJsonModulesWithOneAbsentIsModuleNotFound()
{
    QFile::remove(statePath());
    SimulatedModules modules;
    QVERIFY(startModules(modules, {"--count", "2", "--mac", FirstMac}));
    const QString absent = QStringLiteral("02004B5300FF");
    const QByteArray list = QJsonDocument(QJsonArray {QJsonObject {{"mac", FirstMac}, {"baud", 57600}},
                                                      QJsonObject {{"mac", absent}, {"baud", 57600}},
                                                      QJsonObject {{"mac", macAfter(1)}, {"parity", "even"}}})
                                .toJson();
    const ToolRun result = run({"provision", "-", "--timeout", "1", "--csv"}, list);
    QCOMPARE_EXIT(result, 4);
    const QVector<QHash<QString, QString>> rows = csvRows(result.out);
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows.at(0).value("outcome"), QStringLiteral("confirmed"));
    QCOMPARE(rows.at(0).value("changes"), QStringLiteral("baud: 9600 -> 57600"));
    QCOMPARE(rows.at(1).value("mac"), absent);
    QCOMPARE(rows.at(1).value("found"), QStringLiteral("false"));
    QCOMPARE(rows.at(1).value("outcome"), QStringLiteral("not found"));
    QCOMPARE(rows.at(2).value("outcome"), QStringLiteral("confirmed"));
    QVERIFY2(result.err.contains("1 of 3 modules did not answer"), result.err.constData());
    QTRY_COMPARE(stateModules(statePath()).value(FirstMac).value("baud").toInt(), 57600);
    QTRY_COMPARE(stateModules(statePath()).value(macAfter(1)).value("parity").toString(), QStringLiteral("even"));
    const QHash<QString, QJsonObject> after = stateModules(statePath());
    QCOMPARE(after.value(FirstMac).value("parity").toString(), QStringLiteral("none"));
    QCOMPARE(after.value(macAfter(1)).value("parity").toString(), QStringLiteral("even"));
    QCOMPARE(after.value(macAfter(1)).value("baud").toInt(), 9600);
}

void TestProvision::moduleThatIgnoresItsFrameIsNotConfirmed()
{
    QFile::remove(statePath());
    SimulatedModules modules;
    QVERIFY(startModules(modules, {"--count", "2", "--mac", FirstMac, "--ignore-config"}));
    const ToolRun result = run({"provision", "-", "--expect", "2", "--timeout", Patience, "--verify-timeout", "1"},
                               "mac,baud\n" + FirstMac.toLatin1() + ",115200\n");
    QCOMPARE_EXIT(result, 6);
    QVERIFY2(result.out.contains(FirstMac.toLatin1() + " not confirmed: baud: reports 9600, sent 115200"),
             result.out.constData());
    QVERIFY2(result.err.contains("1 of 1 modules did not confirm"), result.err.constData());
}

void TestProvision::dryRunSendsNothing()
{
    QFile::remove(statePath());
    SimulatedModules modules;
    QVERIFY(startModules(modules, {"--count", "2", "--mac", FirstMac}));
    const QString list = filePath(QStringLiteral("planned.csv"));
    const ToolRun result = run({"provision", "--ip-range", "10.231.0.20-10.231.0.29", "--name-pattern", "P{n}", "-o",
                                list, "--dry-run", "--expect", "2", "--timeout", Patience});
    QCOMPARE_EXIT(result, 0);
    QVERIFY2(result.out.contains(FirstMac.toLatin1()
                                 + " would change: name: \"SIM-1\" -> \"P1\"; ip: 192.168.1.10 "
                                   "-> 10.231.0.20"),
             result.out.constData());
    QVERIFY2(result.out.contains("dry run, nothing was sent"), result.out.constData());
    QCOMPARE(csvRows(fileBytes(list)).size(), 2);
    QVERIFY2(sentinelFindsNoOtherFrame(modules, 0), modules.output().constData());
}

void TestProvision::watchReportsAppearingChangingAndGoing()
{
    QFile::remove(statePath());
    auto modules = std::make_unique<SimulatedModules>();
    QVERIFY(startModules(*modules, {"--count", "1", "--mac", FirstMac}));

    QProcess watch;
    watch.setProcessEnvironment(environment);
    // Each search listens 2 s: on a busy machine a reply can come later than a short search waits, and two such
    // misses in a row would report the module gone.
    watch.start(QStringLiteral(KESTRELCTL_PATH), {"watch", "--json", "--interval", "0.2", "--timeout", "2"});
    QVERIFY(watch.waitForStarted());
    QVector<QJsonObject> events;
    // The events so far, read line by line; waits for one more at most a minute.
    const auto nextEvent = [&]() -> QJsonObject {
        QElapsedTimer waited;
        waited.start();
        while (!watch.canReadLine() && waited.elapsed() < 60000 && watch.state() == QProcess::Running)
            watch.waitForReadyRead(100);
        if (!watch.canReadLine())
            return {};
        const QJsonObject event = QJsonDocument::fromJson(watch.readLine()).object();
        events.append(event);
        return event;
    };

    const QJsonObject appeared = nextEvent();
    QCOMPARE(appeared.value("event").toString(), QStringLiteral("appeared"));
    QCOMPARE(appeared.value("mac").toString(), FirstMac);
    QCOMPARE(appeared.value("module").toObject().value("baud").toInt(), 9600);

    QCOMPARE_EXIT(runKestrelctl({"set", FirstMac, "baud=38400"}, environment), 0);
    const QJsonObject changed = nextEvent();
    QCOMPARE(changed.value("event").toString(), QStringLiteral("changed"));
    QCOMPARE(changed.value("mac").toString(), FirstMac);
    const QJsonArray changes = changed.value("changes").toArray();
    QCOMPARE(changes.size(), 1);
    QCOMPARE(changes.at(0).toObject(), (QJsonObject {{"field", "baud"}, {"from", 9600}, {"to", 38400}}));

    modules.reset(); // the module goes
    const QJsonObject gone = nextEvent();
    QCOMPARE(gone.value("event").toString(), QStringLiteral("gone"));
    QCOMPARE(gone.value("mac").toString(), FirstMac);

    ::kill(pid_t(watch.processId()), SIGINT);
    QVERIFY(watch.waitForFinished(60000));
    QCOMPARE(watch.exitStatus(), QProcess::NormalExit);
    QCOMPARE(watch.exitCode(), 0);
    // Ctrl-C is no error. Where the system counts no drops, the first search says so, and only the first.
    const QString said = QString::fromUtf8(watch.readAllStandardError());
    const QString uncounted = QStringLiteral("kestrelctl: warning: this system does not count the replies it drops");
    if (DeviceEndpoint::countsDrops())
        QVERIFY2(said.isEmpty(), qPrintable(said));
    else
        QVERIFY2(said.startsWith(uncounted) && said.count(QLatin1Char('\n')) == 1, qPrintable(said));
    QCOMPARE(events.size(), 3);
}

QTEST_GUILESS_MAIN(TestProvision)
#include "tst_provision.moc"
