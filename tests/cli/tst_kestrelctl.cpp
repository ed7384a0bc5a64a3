#include "clitestsupport.h"
#include "configframe.h"
#include "deviceendpoint.h"
#include "framecipher.h"
#include "frameconstants.h"
#include "privatenetwork.h"
#include "replyframe.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSet>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

// kestrelctl against kestrel-sim on the private segment of scripts/netns-run.sh (adapter kst0, 10.231.0.1/24).
class TestKestrelctl : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void searchListsEveryModuleOnce_data();
    void searchListsEveryModuleOnce();
    void expectEndsTheSearchEarly();
    void fewerModulesThanExpectedIsNothingFound();
    void notesPointOutForeignSubnetsAndSharedAddresses();
    void anotherFrameKeyFindsNothing();
    void showAndExportDescribeOneModule();
    void exportReplacesOnlyAFile();
    void absentModuleIsNotFound_data();
    void absentModuleIsNotFound();

    void setChangesTheModule_data();
    void setChangesTheModule();
    void reportedValuesNobodyTypedGoBackAsTheyCame();
    void sharedAddressNotesStayShortAndCsvCellsStayText();
    void nothingSentIsANetworkErrorWhateverTheTimeout_data();
    void nothingSentIsANetworkErrorWhateverTheTimeout();
    void setKeepsTheNameBytesAndEncodesANewNameLikeThem();
    void refusedValueSendsNothing_data();
    void refusedValueSendsNothing();
    void sevenDataBitsWithoutParityAreWarnedAboutAndSent();
    void gatewayOutsideTheSubnetIsWarnedAboutAndSent();
    void moduleThatIgnoresTheFrameIsNotConfirmed();
    void noVerifyOnlySends();

    void applyKeepIpCommissionsABatch();
    void applyReportsEveryModule();
    void applyEndsWithTheFirstFailure();
    void setTakesARandomPortForAModuleInTcpClientMode();
    void controlCharactersAreShownEscaped();

    void decodeExplainsFramesOfTheLibrary_data();
    void decodeExplainsFramesOfTheLibrary();

    void malformedArgumentsHaveTheirExitStatus_data();
    void malformedArgumentsHaveTheirExitStatus();
    void frameKeyFromEachSource_data();
    void frameKeyFromEachSource();
    void settingsFileThatIsAFifoHoldsNothingUp_data();
    void settingsFileThatIsAFifoHoldsNothingUp();
    void argumentsThatAreNotUtf8AreRefused_data();
    void argumentsThatAreNotUtf8AreRefused();
    void closedOutputEndsQuietly_data();
    void closedOutputEndsQuietly();

private:
    // kestrel-sim with its state in the test's folder; fails the test when it does not start.
    bool startModules(SimulatedModules &modules, const QStringList &arguments);
    QString statePath() const { return files.filePath(QStringLiteral("state.json")); }
    ToolRun run(const QStringList &arguments, const QByteArray &input = QByteArray()) const
    {
        return runKestrelctl(arguments, environment, input);
    }
    // After this, every frame an earlier run sent has reached the simulator: it answers in order of arrival.
    void flush(int count);

    QTemporaryDir configHome;
    QTemporaryDir files;
    QProcessEnvironment environment;
};

// Field name -> value, as show and decode print them.
using Fields = QHash<QString, QString>;

namespace {

const QString FirstMac = QStringLiteral("02004B530001");

// The --timeout of a search that --expect ends as soon as the modules have answered: a bound, not a wait.
const QString Patience = QStringLiteral("60");

// The MAC n places after the first, as kestrel-sim numbers its modules.
QString macAfter(const QString &first, int n)
{
    return QStringLiteral("%1").arg(first.toULongLong(nullptr, 16) + quint64(n), 12, 16, QLatin1Char('0')).toUpper();
}

QSet<QString> consecutiveMacs(int count)
{
    QSet<QString> macs;
    for (int i = 0; i < count; ++i)
        macs.insert(macAfter(FirstMac, i));
    return macs;
}

QJsonObject module(const QString &mac, const QString &ip)
{
    QJsonObject object;
    object.insert(QStringLiteral("mac"), mac);
    object.insert(QStringLiteral("ip"), ip);
    return object;
}

// "key  value" lines, as show and decode print them.
Fields fieldLines(const QByteArray &text)
{
    Fields fields;
    for (const QString &line : QString::fromUtf8(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const int gap = line.indexOf(QLatin1String("  "));
        if (gap > 0)
            fields.insert(line.left(gap), line.mid(gap).trimmed());
    }
    return fields;
}

QByteArray testKey()
{
    return QByteArray::fromHex(TestFrameKeyHex);
}

QByteArray encrypted(QByteArray frame)
{
    encryptFrame(reinterpret_cast<quint8 *>(frame.data()), quint16(frame.size()));
    return frame;
}

// A module unlike the factory defaults in every field.
DeviceRecord distinctiveModule()
{
    DeviceRecord record;
    record.macAddress = QStringLiteral("0A1B2C3D4E5F");
    record.version = QStringLiteral("1.10.0.15");
    record.deviceName = QStringLiteral("Pump-7");
    record.ipType = Module::Dhcp;
    record.workMode = Module::TcpClient; // the one mode with a random local port
    record.subnetMask = QStringLiteral("255.255.0.0");
    record.gateway = QStringLiteral("10.1.0.1");
    record.localIp = QStringLiteral("10.1.2.3");
    record.localPort = QStringLiteral("0");
    record.randomPort = true;
    record.remoteIp = QStringLiteral("10.1.2.254");
    record.remotePort = QStringLiteral("502");
    record.baudRate = QStringLiteral("115200");
    record.dataBits = Module::SevenDataBits;
    record.parity = Module::EvenParity;
    record.stopBits = Module::TwoStopBits;
    record.modbusConvert = Module::ModbusOn;
    return record;
}

} // namespace

void TestKestrelctl::initTestCase()
{
    QVERIFY(configHome.isValid());
    QVERIFY(files.isValid());
    environment = toolEnvironment(configHome.path());
    setFrameKey(reinterpret_cast<const quint8 *>(testKey().constData()));
}

bool TestKestrelctl::startModules(SimulatedModules &modules, const QStringList &arguments)
{
    return modules.start(arguments + QStringList {QStringLiteral("--state"), statePath()}, environment);
}

void TestKestrelctl::flush(int count)
{
    QCOMPARE_EXIT(run({"search", "--expect", QString::number(count), "--timeout", Patience}), 0);
}

void TestKestrelctl::searchListsEveryModuleOnce_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("retries");

    QTest::newRow("table, one request") << "table" << 3 << 0;
    QTest::newRow("json, one request") << "json" << 3 << 0;
    QTest::newRow("csv, one request") << "csv" << 3 << 0;
    QTest::newRow("json, a single module") << "json" << 1 << 0;
    QTest::newRow("table, four requests") << "table" << 3 << 3;
    QTest::newRow("json, four requests") << "json" << 3 << 3;
    QTest::newRow("csv, four requests") << "csv" << 3 << 3;
    QTest::newRow("json, 300 modules, three requests") << "json" << 300 << 2;
}

void TestKestrelctl::searchListsEveryModuleOnce()
{
    QFETCH(QString, format);
    QFETCH(int, count);
    QFETCH(int, retries);
    QFile::remove(statePath());
    SimulatedModules modules;
    QVERIFY(startModules(modules, {"--count", QString::number(count), "--mac", FirstMac}));

    // One request ends as soon as every module answered; repeated requests are spread over the whole time.
    QStringList arguments = {"search", "--retries", QString::number(retries)};
    if (retries == 0)
        arguments << "--expect" << QString::number(count) << "--timeout" << Patience;
    else
        arguments << "--timeout"
                  << "0.8";
    if (format != QLatin1String("table"))
        arguments << QStringLiteral("--%1").arg(format);
    const ToolRun result = run(arguments);
    QCOMPARE_EXIT(result, 0);

    QStringList macs;
    if (format == QLatin1String("json")) {
        // Beside the modules, how the search went: a round or more (a busy machine may drop a burst's replies and
        // ask again), and nothing lost in the end.
        const QJsonObject search = QJsonDocument::fromJson(result.out).object();
        const int rounds = search.value(QStringLiteral("rounds")).toInt();
        QVERIFY2(rounds >= 1 && rounds <= 5, qPrintable(QString::number(rounds)));
        // Where the system counts no drops (the portable reader, as on Windows), a search that ran its time out
        // cannot vouch for its list: null, not 0. One that got what it expected can.
        const QJsonValue lost = search.value(QStringLiteral("lost-replies"));
        if (DeviceEndpoint::countsDrops() || retries == 0)
            QCOMPARE(lost.toInt(-1), 0);
        else
            QVERIFY2(lost.isNull() && rounds == 1, qPrintable(QString::number(rounds)));
        for (const QJsonValue &entry : searchedModuleList(result.out))
            macs << entry.toObject().value(QStringLiteral("mac")).toString();
    } else {
        QStringList lines = QString::fromUtf8(result.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY(!lines.isEmpty());
        const QString header = lines.takeFirst();
        if (format == QLatin1String("csv")) {
            QVERIFY2(header.startsWith(QLatin1String("mac,version,name,")), qPrintable(header));
            for (const QString &line : qAsConst(lines))
                macs << line.section(QLatin1Char(','), 0, 0);
        } else {
            QVERIFY2(header.startsWith(QLatin1String("IP ")), qPrintable(header));
            for (const QString &line : qAsConst(lines))
                macs << line.simplified().section(QLatin1Char(' '), 2, 2);
        }
    }
    QCOMPARE(macs.size(), count); // one row per module, however many requests it answered
    QCOMPARE(QSet<QString>(macs.cbegin(), macs.cend()), consecutiveMacs(count));
    if (retries > 0)
        QTRY_VERIFY2(modules.output().count("\nsearch from") == retries + 1, modules.output().constData());
}

void TestKestrelctl::expectEndsTheSearchEarly()
{
    SimulatedModules modules;
    QFile::remove(statePath());
    QVERIFY(startModules(modules, {"--count", "3", "--mac", FirstMac}));
    // An hour of waiting unless --expect ends it; runKestrelctl gives up long before.
    const ToolRun result = run({"search", "--expect", "3", "--timeout", "3600", "--retries", "0", "--json"});
    QCOMPARE_EXIT(result, 0);
    int listed = 0;
    QCOMPARE(searchedModules(result.out, &listed).keys().size(), 3);
    QCOMPARE(listed, 3);
}

void TestKestrelctl::fewerModulesThanExpectedIsNothingFound()
{
    SimulatedModules modules;
    QFile::remove(statePath());
    QVERIFY(startModules(modules, {"--count", "3", "--mac", FirstMac}));
    // The search runs its whole time waiting for the fifth: ample for three replies on any machine.
    const ToolRun result = run({"search", "--expect", "5", "--timeout", "1", "--json"});
    QCOMPARE_EXIT(result, 3);
    QCOMPARE(searchedModules(result.out).size(), 3); // what answered is still listed
    QVERIFY2(result.err.contains("3 of 5"), result.err.constData());
}

void TestKestrelctl::notesPointOutForeignSubnetsAndSharedAddresses()
{
    const QString reachable = macAfter(FirstMac, 0);
    const QString foreignA = macAfter(FirstMac, 1);
    const QString foreignB = macAfter(FirstMac, 2);
    QVERIFY(writeStateFile(
        statePath(),
        {module(reachable, "10.231.0.50"), module(foreignA, "192.168.1.10"), module(foreignB, "192.168.1.10")}));
    SimulatedModules modules;
    QVERIFY(startModules(modules, {}));

    const ToolRun json = run({"search", "--expect", "3", "--timeout", Patience, "--json"});
    QCOMPARE_EXIT(json, 0);
    const QHash<QString, QJsonObject> found = searchedModules(json.out);
    QCOMPARE(found.size(), 3);
    QCOMPARE(found[reachable].value("foreign-subnet").toBool(), false);
    QCOMPARE(found[foreignA].value("foreign-subnet").toBool(), true);
    QCOMPARE(found[reachable].value("ip-claimed-by").toArray(), QJsonArray());
    QCOMPARE(found[foreignA].value("ip-claimed-by").toArray(), QJsonArray({foreignB}));
    QCOMPARE(found[foreignB].value("ip-claimed-by").toArray(), QJsonArray({foreignA}));
    for (const QJsonObject &entry : found) {
        QCOMPARE(entry.value("interface").toString(), QStringLiteral("kst0"));
        QCOMPARE(entry.value("source-ip").toString(), QStringLiteral("10.231.0.1"));
        QCOMPARE(entry.value("also-answered-from").toArray(), QJsonArray());
    }

    const ToolRun table = run({"search", "--expect", "3", "--timeout", Patience});
    QCOMPARE_EXIT(table, 0);
    // The rows by their MAC column (the modules have no names, so the columns cannot be counted).
    const auto rowOf = [](const QString &mac) { return QRegularExpression(mac + QStringLiteral(" +1\\.0\\.0\\.1 ")); };
    for (const QString &line : QString::fromUtf8(table.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.contains(rowOf(reachable)))
            QVERIFY2(!line.contains(QLatin1String("foreign subnet")) && !line.contains(QLatin1String("claimed")),
                     qPrintable(line));
        if (line.contains(rowOf(foreignA)))
            QVERIFY2(line.contains(QLatin1String("foreign subnet"))
                         && line.contains(QStringLiteral("IP also claimed by %1").arg(foreignB)),
                     qPrintable(line));
    }
}

void TestKestrelctl::anotherFrameKeyFindsNothing()
{
    SimulatedModules modules;
    QFile::remove(statePath());
    QVERIFY(startModules(modules, {"--count", "2"}));
    const ToolRun result = run({"search", "--timeout", "0.5", "--key", "FFEEDDCCBBAA99887766554433221100"});
    QCOMPARE_EXIT(result, 3);
    QVERIFY(result.out.isEmpty());
    QVERIFY2(modules.waitFor("search from"), "the request did go out");
}

void TestKestrelctl::showAndExportDescribeOneModule()
{
    SimulatedModules modules;
    QFile::remove(statePath());
    QVERIFY(startModules(modules, {"--count", "3", "--mac", FirstMac, "--name-prefix", "Pump-"}));
    const QString second = macAfter(FirstMac, 1);

    const ToolRun text = run({"show", "02:00:4b:53:00:02"});
    QCOMPARE_EXIT(text, 0);
    const Fields fields = fieldLines(text.out);
    QCOMPARE(fields.value("mac"), second);
    QCOMPARE(fields.value("name"), QStringLiteral("Pump-2"));
    QCOMPARE(fields.value("baud"), QStringLiteral("9600"));
    QCOMPARE(fields.value("mode"), QStringLiteral("udp"));
    QCOMPARE(fields.value("interface"), QStringLiteral("kst0"));

    const ToolRun json = run({"show", "02-00-4B-53-00-02", "--json"});
    QCOMPARE_EXIT(json, 0);
    const QJsonObject shown = QJsonDocument::fromJson(json.out).object();
    QCOMPARE(shown.value("mac").toString(), second);
    QCOMPARE(shown.value("local-port").toInt(), 1234);
    QCOMPARE(shown.value("foreign-subnet").toBool(), true);

    const ToolRun exported = run({"export", second});
    QCOMPARE_EXIT(exported, 0);
    const QJsonObject parameters = QJsonDocument::fromJson(exported.out).object();
    QCOMPARE(parameters.value("name").toString(), QStringLiteral("Pump-2"));
    QCOMPARE(parameters.value("remote-ip").toString(), QStringLiteral("192.168.1.254"));
    QVERIFY2(!parameters.contains("foreign-subnet"), "export writes parameters, not notes");

    const QString path = files.filePath(QStringLiteral("export.json"));
    QCOMPARE_EXIT(run({"export", second, "-o", path}), 0);
    QCOMPARE(QJsonDocument::fromJson(fileBytes(path)).object(), parameters);
}

// What -o names is replaced only when it is a file: a FIFO or a device is written to, anything else refused. The
// devices are made here, as a user with rights could have named /dev/null or /dev/full.
void TestKestrelctl::exportReplacesOnlyAFile()
{
    QFile::remove(statePath());
    SimulatedModules modules;
    QVERIFY(startModules(modules, {"--count", "1", "--mac", FirstMac}));
    const ToolRun reference = run({"export", FirstMac});
    QCOMPARE_EXIT(reference, 0);
    const QByteArray json = reference.out;
    QVERIFY(json.contains(FirstMac.toLatin1()));
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const auto kindOf = [](const QString &path) {
        struct stat info = {};
        return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & S_IFMT : mode_t(0);
    };
    const auto writeFile = [](const QString &path, const QByteArray &bytes) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    };

    const ToolRun dash = run({"export", FirstMac, "-o", "-"});
    QCOMPARE_EXIT(dash, 0);
    QCOMPARE(dash.out, json);

    const QString file = dir.filePath(QStringLiteral("module.json"));
    QVERIFY(writeFile(file, "an older export, longer than the new one" + QByteArray(4096, ' ')));
    QCOMPARE_EXIT(run({"export", FirstMac, "-o", file}), 0);
    QCOMPARE(fileBytes(file), json);

    // A link to a file: what it links to is replaced, and the link stays.
    const QString link = dir.filePath(QStringLiteral("link.json"));
    QVERIFY(QFile::link(file, link));
    QVERIFY(writeFile(file, "old"));
    QCOMPARE_EXIT(run({"export", FirstMac, "-o", link}), 0);
    QCOMPARE(kindOf(link), mode_t(S_IFLNK));
    QCOMPARE(fileBytes(file), json);

    const QString dangling = dir.filePath(QStringLiteral("dangling.json"));
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("nowhere/module.json")), dangling));
    const ToolRun toNothing = run({"export", FirstMac, "-o", dangling});
    QCOMPARE_EXIT(toNothing, 2);
    QVERIFY2(toNothing.err.contains("links to nothing"), toNothing.err.constData());
    QCOMPARE(kindOf(dangling), mode_t(S_IFLNK));

    const QString folder = dir.filePath(QStringLiteral("folder"));
    QVERIFY(QDir().mkdir(folder));
    const ToolRun toFolder = run({"export", FirstMac, "-o", folder});
    QCOMPARE_EXIT(toFolder, 2);
    QVERIFY2(toFolder.err.contains("is a directory"), toFolder.err.constData());
    QCOMPARE(kindOf(folder), mode_t(S_IFDIR));

    // A FIFO is written as a shell's ">" writes it, and stays a FIFO. The test reads it without waiting, so that a
    // kestrelctl that never writes fails the test instead of holding it.
    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    QVERIFY(reader >= 0);
    ChildProcess exporter;
    exporter.setProcessEnvironment(environment);
    exporter.start(QStringLiteral(KESTRELCTL_PATH), {"export", FirstMac, "-o", fifo});
    QByteArray fromFifo;
    const auto drain = [&] {
        char buffer[4096];
        for (ssize_t got; (got = ::read(reader, buffer, sizeof buffer)) > 0;)
            fromFifo.append(buffer, int(got));
    };
    QDeadlineTimer deadline(60000);
    while (!exporter.waitForFinished(50) && !deadline.hasExpired())
        drain();
    drain();
    ::close(reader);
    QCOMPARE(exporter.exitStatus(), QProcess::NormalExit);
    QCOMPARE(exporter.exitCode(), 0);
    QCOMPARE(fromFifo, json);
    QCOMPARE(kindOf(fifo), mode_t(S_IFIFO));

    if (::geteuid() != 0)
        QSKIP("making device nodes takes root");
    const QString null = dir.filePath(QStringLiteral("null"));
    const QString full = dir.filePath(QStringLiteral("full"));
    QCOMPARE(::mknod(QFile::encodeName(null).constData(), S_IFCHR | 0600, makedev(1, 3)), 0);
    QCOMPARE(::mknod(QFile::encodeName(full).constData(), S_IFCHR | 0600, makedev(1, 7)), 0);
    QCOMPARE_EXIT(run({"export", FirstMac, "-o", null}), 0);
    QCOMPARE(kindOf(null), mode_t(S_IFCHR));
    const ToolRun toFull = run({"export", FirstMac, "-o", full});
    QCOMPARE_EXIT(toFull, 2);
    QVERIFY2(toFull.err.contains("cannot write " + QFile::encodeName(full)), toFull.err.constData());
    QCOMPARE(kindOf(full), mode_t(S_IFCHR));
}

void TestKestrelctl::absentModuleIsNotFound_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");

    const QString absent = QStringLiteral("02004B5300FF");
    QTest::newRow("search") << QStringList {"search"} << 3;
    QTest::newRow("show") << QStringList {"show", absent} << 4;
    QTest::newRow("export") << QStringList {"export", absent} << 4;
    QTest::newRow("set") << QStringList {"set", absent, "baud=4800"} << 4;
}

void TestKestrelctl::absentModuleIsNotFound()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    SimulatedModules modules;
    QFile::remove(statePath());
    if (arguments.first() != QLatin1String("search"))
        QVERIFY(startModules(modules, {"--count", "2", "--mac", FirstMac}));
    const ToolRun result = run(arguments << "--timeout"
                                         << "0.4");
    QCOMPARE_EXIT(result, status);
    QVERIFY(result.out.isEmpty());
}

void TestKestrelctl::setChangesTheModule_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QStringList>("edits");
    QTest::addColumn<QJsonObject>("expected");

    QTest::newRow("baud and mode") << "02004B530002" << QStringList {"baud=115200", "mode=tcp-server"}
                                   << QJsonObject {{"baud", 115200}, {"mode", "tcp-server"}};
    QTest::newRow("serial line") << "02004B530002" << QStringList {"parity=even", "data-bits=7", "stop-bits=2"}
                                 << QJsonObject {{"parity", "even"}, {"data-bits", 7}, {"stop-bits", 2}};
    QTest::newRow("addresses") << "02004B530002"
                               << QStringList {"ip=10.231.0.77", "mask=255.255.0.0", "gateway=10.231.0.1",
                                               "remote-ip=10.231.0.9", "remote-port=502"}
                               << QJsonObject {{"ip", "10.231.0.77"},
                                               {"mask", "255.255.0.0"},
                                               {"gateway", "10.231.0.1"},
                                               {"remote-ip", "10.231.0.9"},
                                               {"remote-port", 502}};
    QTest::newRow("random local port") << "02004B530002" << QStringList {"local-port=random", "mode=tcp-client"}
                                       << QJsonObject {{"local-port", "random"}, {"mode", "tcp-client"}};
    QTest::newRow("five data bits, mark parity") << "02004B530002" << QStringList {"data-bits=5", "parity=mark"}
                                                 << QJsonObject {{"data-bits", 5}, {"parity", "mark"}};
    QTest::newRow("dhcp and modbus") << "02004B530002" << QStringList {"ip-type=dhcp", "modbus=on"}
                                     << QJsonObject {{"ip-type", "dhcp"}, {"modbus", "on"}};
    QTest::newRow("name") << "02004B530002" << QStringList {QStringLiteral("name=泵站1")}
                          << QJsonObject {{"name", QStringLiteral("泵站1")}};
    QTest::newRow("MAC with dashes, lower case")
        << "02-00-4b-53-00-03" << QStringList {"baud=4800"} << QJsonObject {{"baud", 4800}};
}

void TestKestrelctl::setChangesTheModule()
{
    QFETCH(QString, target);
    QFETCH(QStringList, edits);
    QFETCH(QJsonObject, expected);
    QFile::remove(statePath());
    SimulatedModules modules;
    QVERIFY(startModules(modules, {"--count", "3", "--mac", FirstMac}));
    const QHash<QString, QJsonObject> before = stateModules(statePath());
    QCOMPARE(before.size(), 3);
    const QString mac = QString(target).remove(QLatin1Char('-')).toUpper();

    const ToolRun result = run(QStringList {"set", target} + edits);
    QCOMPARE_EXIT(result, 0);
    QVERIFY2(result.out.startsWith((mac + " confirmed").toLatin1()), result.out.constData());

    QJsonObject wanted = before.value(mac);
    for (auto it = expected.constBegin(); it != expected.constEnd(); ++it)
        wanted.insert(it.key(), it.value());
    QTRY_COMPARE(stateModules(statePath()).value(mac), wanted);
    for (const QString &other : before.keys()) {
        if (other != mac)
            QCOMPARE(stateModules(statePath()).value(other), before.value(other));
    }
}

// A TCP server with its remote end unused (0.0.0.0:0), a 50-baud 5M1 line: set changes one field and the module
// keeps every other value byte for byte; export and apply carry the line format to another module.
void TestKestrelctl::reportedValuesNobodyTypedGoBackAsTheyCame()
{
    const QString other = macAfter(FirstMac, 1);
    QJsonObject server = module(FirstMac, QStringLiteral("192.168.1.10"));
    server.insert(QStringLiteral("mode"), QStringLiteral("tcp-server"));
    server.insert(QStringLiteral("remote-ip"), QStringLiteral("0.0.0.0"));
    server.insert(QStringLiteral("remote-port"), 0);
    server.insert(QStringLiteral("baud"), 50);
    server.insert(QStringLiteral("data-bits"), 5);
    server.insert(QStringLiteral("parity"), QStringLiteral("mark"));
    QJsonObject sixN1 = module(other, QStringLiteral("192.168.1.11"));
    sixN1.insert(QStringLiteral("data-bits"), 6);
    QVERIFY(writeStateFile(statePath(), {server, sixN1}));
    SimulatedModules modules;
    QVERIFY(startModules(modules, {}));
    const QJsonObject before = stateModules(statePath()).value(FirstMac);
    QCOMPARE(before.value("remote-port").toInt(), 0);

    const ToolRun set = run({"set", FirstMac, "ip=192.168.1.20"});
    QCOMPARE_EXIT(set, 0);
    QTRY_COMPARE(stateModules(statePath()).value(FirstMac).value("ip").toString(), QStringLiteral("192.168.1.20"));
    const QJsonObject after = stateModules(statePath()).value(FirstMac);
    for (const QString &key : before.keys()) {
        if (key != QLatin1String("ip"))
            QVERIFY2(after.value(key) == before.value(key), qPrintable(key));
    }

    // Typed, the same values are refused, and nothing is sent.
    const ToolRun refused = run({"set", FirstMac, "baud=50"});
    QCOMPARE_EXIT(refused, 5);
    QVERIFY2(refused.err.contains("baud"), refused.err.constData());

    const QString path = files.filePath(QStringLiteral("server.json"));
    QCOMPARE_EXIT(run({"export", FirstMac, "-o", path}), 0);
    const QJsonObject exported = QJsonDocument::fromJson(fileBytes(path)).object();
    QCOMPARE(exported.value("data-bits").toInt(), 5);
    QCOMPARE(exported.value("parity").toString(), QStringLiteral("mark"));
    QCOMPARE(exported.value("remote-port").toInt(), 0);

    // Only the line format and the baud rate: the module keeps its mode and remote end.
    QFile lineOnly(files.filePath(QStringLiteral("line.json")));
    QVERIFY(lineOnly.open(QIODevice::WriteOnly));
    lineOnly.write(QJsonDocument(QJsonObject {{"data-bits", exported.value("data-bits")},
                                              {"parity", exported.value("parity")},
                                              {"stop-bits", exported.value("stop-bits")},
                                              {"baud", 9600}})
                       .toJson());
    lineOnly.close();
    QCOMPARE_EXIT(run({"apply", lineOnly.fileName(), other}), 0);
    QTRY_COMPARE(stateModules(statePath()).value(other).value("data-bits").toInt(), 5);
    QCOMPARE(stateModules(statePath()).value(other).value("parity").toString(), QStringLiteral("mark"));
    const ToolRun found = run({"search", "--json"});
    QCOMPARE_EXIT(found, 0);
    for (const QJsonValue &entry : searchedModuleList(found.out)) {
        QCOMPARE(entry.toObject().value("data-bits").toInt(), 5);
        QCOMPARE(entry.toObject().value("parity").toString(), QStringLiteral("mark"));
    }
}

// Fresh modules all report one address: each is told how many share it and a few of them, not all, so the
// output grows with the number of modules, not its square. Names a spreadsheet would run stay text in CSV.
void TestKestrelctl::sharedAddressNotesStayShortAndCsvCellsStayText()
{
    const int count = 40;
    const QStringList formulas = {QStringLiteral("=1+1"), QStringLiteral("@SUM(A1)"), QStringLiteral("-2+3"),
                                  QStringLiteral("+1")};
    QJsonArray state;
    for (int i = 0; i < count; ++i) {
        QJsonObject entry = module(macAfter(FirstMac, i), QStringLiteral("192.168.1.10"));
        if (i < formulas.size())
            entry.insert(QStringLiteral("name"), formulas.at(i));
        state.append(entry);
    }
    QVERIFY(writeStateFile(statePath(), state));
    SimulatedModules modules;
    QVERIFY(startModules(modules, {}));

    const ToolRun json = run({"search", "--json", "--expect", QString::number(count), "--timeout", "5"});
    QCOMPARE_EXIT(json, 0);
    const QJsonArray found = searchedModuleList(json.out);
    QCOMPARE(found.size(), count);
    for (const QJsonValue &entry : found) {
        const QJsonObject object = entry.toObject();
        QCOMPARE(object.value("ip-claimed-by-count").toInt(), count - 1);
        const QJsonArray shown = object.value("ip-claimed-by").toArray();
        QCOMPARE(shown.size(), 3);
        QVERIFY(!shown.contains(object.value("mac")));
    }
    QCOMPARE(found.first().toObject().value("ip-claimed-by").toArray(),
             QJsonArray({macAfter(FirstMac, 1), macAfter(FirstMac, 2), macAfter(FirstMac, 3)}));

    const ToolRun table = run({"search", "--expect", QString::number(count), "--timeout", "5"});
    QCOMPARE_EXIT(table, 0);
    QVERIFY2(table.out.contains("IP also claimed by 39 others: "), table.out.constData());
    QVERIFY2(table.out.size() < count * 400, "a few hundred bytes per module");

    const ToolRun csv = run({"search", "--csv", "--expect", QString::number(count), "--timeout", "5"});
    QCOMPARE_EXIT(csv, 0);
    const QString text = QString::fromUtf8(csv.out);
    for (const QString &formula : formulas) {
        const QString cell = QLatin1Char('\'') + formula;
        QVERIFY2(text.contains(QLatin1Char(',') + cell + QLatin1Char(',')), qPrintable(cell));
    }
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        for (const QString &cell : line.split(QLatin1Char(','))) {
            QVERIFY2(cell.isEmpty() || !QStringLiteral("=+-@\t\r").contains(cell.at(0)), qPrintable(line));
        }
    }
}

// In a network namespace of its own with no adapter up, nothing can be sent: status 7, however short the search.
void TestKestrelctl::nothingSentIsANetworkErrorWhateverTheTimeout_data()
{
    QTest::addColumn<QString>("timeout");
    for (const char *timeout : {"0.001", "0.01", "0.05", "1"})
        QTest::newRow(timeout) << QString::fromLatin1(timeout);
}

void TestKestrelctl::nothingSentIsANetworkErrorWhateverTheTimeout()
{
    QFETCH(QString, timeout);
    ChildProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("unshare"),
                  {QStringLiteral("--net"), QStringLiteral(KESTRELCTL_PATH), QStringLiteral("search"),
                   QStringLiteral("--timeout"), timeout});
    QVERIFY(process.waitForStarted());
    QVERIFY(process.waitForFinished(60000));
    const QByteArray err = process.readAllStandardError();
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QVERIFY2(process.exitCode() == 7, err.constData());
    QVERIFY2(err.contains("could not send the search request"), err.constData());
}

void TestKestrelctl::setKeepsTheNameBytesAndEncodesANewNameLikeThem()
{
    // 泵站1 as a tool on a Chinese system writes it: GBK.
    QJsonObject gbkModule = module(FirstMac, QStringLiteral("192.168.1.10"));
    gbkModule.insert(QStringLiteral("name-hex"), QStringLiteral("B1C3D5BE31"));
    QVERIFY(writeStateFile(statePath(), {gbkModule}));
    SimulatedModules modules;
    QVERIFY(startModules(modules, {}));
    const auto nameBytes = [this] {
        const QString hex = stateModules(statePath()).value(FirstMac).value("name-hex").toString();
        return QByteArray::fromHex(hex.toLatin1()).leftJustified(10, '\0').toHex().toUpper();
    };

    QCOMPARE_EXIT(run({"set", FirstMac, "baud=19200"}), 0);
    QTRY_COMPARE(stateModules(statePath()).value(FirstMac).value("baud").toInt(), 19200);
    QCOMPARE(nameBytes(), QByteArray("B1C3D5BE310000000000"));
    QCOMPARE(stateModules(statePath()).value(FirstMac).value("name").toString(), QStringLiteral("泵站1"));

    QCOMPARE_EXIT(run({"set", FirstMac, QStringLiteral("name=泵站2")}), 0);
    QTRY_COMPARE(nameBytes(), QByteArray("B1C3D5BE320000000000"));
}

void TestKestrelctl::refusedValueSendsNothing_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("field");

    QTest::newRow("baud below 100") << "baud=99"
                                    << "baud";
    QTest::newRow("baud above 2000000") << "baud=2000001"
                                        << "baud";
    QTest::newRow("baud with a letter") << "baud=9600x"
                                        << "baud";
    QTest::newRow("local port 0") << "local-port=0"
                                  << "local-port";
    QTest::newRow("remote port 0") << "remote-port=0"
                                   << "remote-port";
    QTest::newRow("remote port 00000") << "remote-port=00000"
                                       << "remote-port";
    QTest::newRow("remote port 65536") << "remote-port=65536"
                                       << "remote-port";
    QTest::newRow("address of three parts") << "ip=192.168.1"
                                            << "ip";
    QTest::newRow("octet 256") << "ip=192.168.1.256"
                               << "ip";
    QTest::newRow("full-width digits") << QStringLiteral("gateway=１９２.168.1.1") << "gateway";
    QTest::newRow("signed octet") << "remote-ip=+10.0.0.1"
                                  << "remote-ip";
    QTest::newRow("empty mask") << "mask="
                                << "mask";
    QTest::newRow("unknown mode") << "mode=tcp"
                                  << "mode";
    QTest::newRow("unknown parity") << "parity=stick"
                                    << "parity";
    QTest::newRow("four data bits") << "data-bits=4"
                                    << "data-bits";
    QTest::newRow("random local port in mode UDP") << "local-port=random"
                                                   << "local-port";
    QTest::newRow("one and a half stop bits") << "stop-bits=1.5"
                                              << "stop-bits";
    QTest::newRow("eleven name bytes in hex") << "name-hex=4142434445464748494A4B"
                                              << "name-hex";
    QTest::newRow("name longer than the 10 bytes") << "name=ThisNameIsTooLong"
                                                   << "name";
    QTest::newRow("name of four three-byte characters") << QStringLiteral("name=泵站一号") << "name";
    QTest::newRow("mask with a gap") << "mask=255.0.255.0"
                                     << "mask";
    QTest::newRow("mask with a one after the zeros") << "mask=255.255.255.1"
                                                     << "mask";
}

void TestKestrelctl::refusedValueSendsNothing()
{
    QFETCH(QString, edit);
    QFETCH(QString, field);
    QFile::remove(statePath());
    SimulatedModules modules;
    QVERIFY(startModules(modules, {"--count", "2", "--mac", FirstMac}));
    const QByteArray before = fileBytes(statePath());

    const ToolRun result = run({"set", FirstMac, "modbus=on", edit});
    QCOMPARE_EXIT(result, 5);
    QVERIFY2(result.err.contains(QStringLiteral("\"%1\"").arg(field).toUtf8()), result.err.constData());
    QVERIFY2(result.err.contains("nothing was sent"), result.err.constData());
    QVERIFY(result.out.isEmpty());
    if (field == QLatin1String("name"))
        QVERIFY2(result.err.contains(" bytes; the module holds 10"), result.err.constData());

    flush(2);
    QCOMPARE(fileBytes(statePath()), before);
    // A sentinel frame: the simulator takes frames in order, so when its line is the first, the run sent none.
    QCOMPARE_EXIT(run({"set", FirstMac, "mode=tcp-server", "local-port=4321", "--no-verify"}), 0);
    QVERIFY(modules.waitForCount("configured ", 1));
    QCOMPARE(modules.output().count("configured "), 1);
    QVERIFY2(modules.output().contains("mode=tcp-server"), modules.output().constData());
}

void TestKestrelctl::sevenDataBitsWithoutParityAreWarnedAboutAndSent()
{
    QFile::remove(statePath());
    SimulatedModules modules;
    QVERIFY(startModules(modules, {"--count", "1", "--mac", FirstMac}));
    const ToolRun result = run({"set", FirstMac, "data-bits=7", "parity=none"});
    QCOMPARE_EXIT(result, 0);
    QVERIFY2(result.err.contains("7 data bits without parity"), result.err.constData());
    QTRY_COMPARE(stateModules(statePath()).value(FirstMac).value("data-bits").toInt(), 7);

    // The module has it now: a later change of something else says nothing of it.
    const ToolRun later = run({"set", FirstMac, "baud=19200"});
    QCOMPARE_EXIT(later, 0);
    QVERIFY2(later.err.isEmpty(), later.err.constData());
}

void TestKestrelctl::gatewayOutsideTheSubnetIsWarnedAboutAndSent()
{
    QFile::remove(statePath());
    SimulatedModules modules;
    QVERIFY(startModules(modules, {"--count", "1", "--mac", FirstMac}));
    // The factory gateway 192.168.1.1 stays while the address moves to another subnet.
    const ToolRun moved = run({"set", FirstMac, "ip=10.231.0.20"});
    QCOMPARE_EXIT(moved, 0);
    QVERIFY2(moved.err.contains("the gateway 192.168.1.1 lies outside the module's subnet 10.231.0.0/24"),
             moved.err.constData());
    QTRY_COMPARE(stateModules(statePath()).value(FirstMac).value("ip").toString(), QStringLiteral("10.231.0.20"));

    const ToolRun fixed = run({"set", FirstMac, "gateway=10.231.0.1"});
    QCOMPARE_EXIT(fixed, 0);
    QVERIFY2(fixed.err.isEmpty(), fixed.err.constData());
}

void TestKestrelctl::moduleThatIgnoresTheFrameIsNotConfirmed()
{
    QFile::remove(statePath());
    SimulatedModules modules;
    QVERIFY(startModules(modules, {"--count", "2", "--mac", FirstMac, "--ignore-config"}));
    const ToolRun result = run({"set", FirstMac, "baud=115200", "--verify-timeout", "1"});
    QCOMPARE_EXIT(result, 6);
    QVERIFY2(result.err.contains("not confirmed") && result.err.contains("baud: reports 9600, sent 115200"),
             result.err.constData());
    QVERIFY2(modules.waitFor(QStringLiteral("ignored configuration frame for %1").arg(FirstMac).toUtf8()),
             modules.output().constData());
}

void TestKestrelctl::noVerifyOnlySends()
{
    QFile::remove(statePath());
    SimulatedModules modules;
    QVERIFY(startModules(modules, {"--count", "1", "--mac", FirstMac, "--ignore-config"}));
    const ToolRun result = run({"set", FirstMac, "baud=115200", "--no-verify"});
    QCOMPARE_EXIT(result, 0);
    QVERIFY2(result.out.startsWith((FirstMac + " sent: baud: 9600 -> 115200").toLatin1()), result.out.constData());
    QVERIFY(modules.waitFor(QStringLiteral("ignored configuration frame for %1").arg(FirstMac).toUtf8()));
}

void TestKestrelctl::applyKeepIpCommissionsABatch()
{
    const QStringList macs = {macAfter(FirstMac, 0), macAfter(FirstMac, 1), macAfter(FirstMac, 2)};
    const QString bystander = macAfter(FirstMac, 3);
    QJsonArray state;
    for (int i = 0; i < 4; ++i) {
        QJsonObject entry = module(macAfter(FirstMac, i), QStringLiteral("10.231.0.1%1").arg(i + 1));
        entry.insert(QStringLiteral("name"), QStringLiteral("SIM-%1").arg(i + 1));
        state.append(entry);
    }
    QVERIFY(writeStateFile(statePath(), state));
    SimulatedModules modules;
    QVERIFY(startModules(modules, {}));

    // As export writes it for another module, with its own identity, address and sighting.
    const QJsonObject parameters {
        {"mac", "02004B5300AA"}, {"version", "1.2.0.3"}, {"ip", "10.231.0.99"},  {"source-ip", "10.231.0.1"},
        {"interface", "kst0"},   {"baud", 57600},        {"mode", "tcp-client"}, {"remote-ip", "10.231.0.200"},
        {"remote-port", 9000},   {"parity", "odd"},      {"name", "Line3-A"}};
    const QString path = files.filePath(QStringLiteral("line3.json"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QJsonDocument(parameters).toJson());
    file.close();

    const ToolRun result = run(QStringList {"apply", path, "--keep-ip"} + macs);
    QCOMPARE_EXIT(result, 0);
    const QStringList lines = QString::fromUtf8(result.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    for (int i = 0; i < 3; ++i)
        QVERIFY2(lines.at(i).startsWith(macs.at(i) + QLatin1String(" confirmed")), qPrintable(lines.at(i)));

    QTRY_COMPARE(stateModules(statePath()).value(macs[2]).value("baud").toInt(), 57600);
    const QHash<QString, QJsonObject> after = stateModules(statePath());
    for (int i = 0; i < 3; ++i) {
        const QJsonObject configured = after.value(macs.at(i));
        QCOMPARE(configured.value("ip").toString(), QStringLiteral("10.231.0.1%1").arg(i + 1));
        QCOMPARE(configured.value("version").toString(), QStringLiteral("1.0.0.1"));
        QCOMPARE(configured.value("baud").toInt(), 57600);
        QCOMPARE(configured.value("mode").toString(), QStringLiteral("tcp-client"));
        QCOMPARE(configured.value("remote-ip").toString(), QStringLiteral("10.231.0.200"));
        QCOMPARE(configured.value("remote-port").toInt(), 9000);
        QCOMPARE(configured.value("parity").toString(), QStringLiteral("odd"));
    }
    for (int i = 0; i < 3; ++i) // each module keeps its own name: the file's is that of the module it came from
        QCOMPARE(after.value(macs.at(i)).value("name").toString(), QStringLiteral("SIM-%1").arg(i + 1));
    QVERIFY(!after.contains(QStringLiteral("02004B5300AA")));

    const ToolRun named = run({"apply", path, "--keep-ip", "--use-name", macs[0]});
    QCOMPARE_EXIT(named, 0);
    QTRY_COMPARE(stateModules(statePath()).value(macs[0]).value("name").toString(), QStringLiteral("Line3-A"));
    QCOMPARE(after.value(bystander).value("baud").toInt(), 9600);
    QCOMPARE(after.value(bystander).value("mode").toString(), QStringLiteral("udp"));
}

void TestKestrelctl::applyReportsEveryModule()
{
    QFile::remove(statePath());
    SimulatedModules modules;
    QVERIFY(startModules(modules, {"--count", "2", "--mac", FirstMac}));
    const QString absent = QStringLiteral("02004B5300FF");
    // One static address for three modules would leave them unreachable: refused before the search.
    const ToolRun refused = run({"apply", "-", FirstMac, absent, macAfter(FirstMac, 1), "--timeout", "1"},
                                R"({"baud": 38400, "ip": "10.231.0.40"})");
    QCOMPARE_EXIT(refused, 9);
    QVERIFY2(refused.err.contains("10.231.0.40") && refused.err.contains("--keep-ip")
                 && refused.err.contains("nothing was sent"),
             refused.err.constData());

    // The search waits its whole time for the absent module: ample for the two that are there.
    const ToolRun result
        = run({"apply", "-", FirstMac, absent, macAfter(FirstMac, 1), "--timeout", "1"}, R"({"baud": 38400})");
    QCOMPARE_EXIT(result, 4);
    const QStringList lines = QString::fromUtf8(result.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QVERIFY2(lines.at(0).startsWith(FirstMac + QLatin1String(" confirmed")), qPrintable(lines.at(0)));
    QVERIFY2(lines.at(1).startsWith(absent + QLatin1String(" not found")), qPrintable(lines.at(1)));
    QVERIFY2(lines.at(2).startsWith(macAfter(FirstMac, 1) + QLatin1String(" confirmed")), qPrintable(lines.at(2)));
    QVERIFY2(result.err.contains("1 of 3 modules failed"), result.err.constData());
    QTRY_COMPARE(stateModules(statePath()).value(macAfter(FirstMac, 1)).value("baud").toInt(), 38400);
    // The simulator takes frames in order of arrival: these two are the first it took, so the refused run sent none.
    QVERIFY(modules.waitForCount("configured ", 2));
    QCOMPARE(modules.output().count("configured "), 2);
    QVERIFY2(!modules.output().contains("10.231.0.40"), modules.output().constData());
}

// Each module has its own outcome; the exit status is that of the first that failed, not of the last.
void TestKestrelctl::applyEndsWithTheFirstFailure()
{
    QFile::remove(statePath());
    SimulatedModules modules;
    QVERIFY(startModules(modules, {"--count", "1", "--mac", FirstMac}));
    const QString absent = QStringLiteral("02004B5300FF");
    // A random local port is for TCP Client only, and the module is in UDP mode: refused for it, status 5.
    const ToolRun result = run({"apply", "-", absent, FirstMac, "--timeout", "1"}, R"({"local-port": "random"})");
    QCOMPARE_EXIT(result, 4);
    const QStringList lines = QString::fromUtf8(result.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines.at(0).startsWith(absent + QLatin1String(" not found")), qPrintable(lines.at(0)));
    QVERIFY2(lines.at(1).startsWith(FirstMac + QLatin1String(" refused")), qPrintable(lines.at(1)));
    QVERIFY2(result.err.contains("2 of 2 modules failed"), result.err.constData());
}

// The check made before the search must not refuse what the module found can take: a random local port is refused
// only for a module that is not in TCP Client mode.
void TestKestrelctl::setTakesARandomPortForAModuleInTcpClientMode()
{
    QVERIFY(writeStateFile(statePath(), {QJsonObject {{"mac", FirstMac}, {"mode", "tcp-client"}}}));
    SimulatedModules modules;
    QVERIFY(startModules(modules, {}));
    const ToolRun result = run({"set", FirstMac, "local-port=random"});
    QCOMPARE_EXIT(result, 0);
    QVERIFY2(result.out.startsWith((FirstMac + " confirmed: local-port: 1234 -> random").toLatin1()),
             result.out.constData());
    QTRY_COMPARE(stateModules(statePath()).value(FirstMac).value("local-port").toString(), QStringLiteral("random"));
}

// Names come from the modules and the system: a terminal is never handed their control characters, in a table, a
// CSV cell or a message. An adapter may be named with any byte but '/', ':' and blanks.
void TestKestrelctl::controlCharactersAreShownEscaped()
{
    const QString adapter = QStringLiteral("k\x1b[7m");
    const auto ip = [](const QStringList &arguments) { return QProcess::execute(QStringLiteral("ip"), arguments); };
    QCOMPARE(ip({"link", "add", adapter, "type", "veth", "peer", "name", "kesc1"}), 0);
    QCOMPARE(ip({"address", "add", "10.232.0.1/24", "broadcast", "+", "dev", adapter}), 0);
    QCOMPARE(ip({"link", "set", "kesc1", "up"}), 0);
    QCOMPARE(ip({"link", "set", adapter, "up"}), 0);
    const ToolRun noSuchAdapter = run({"search", "--interface", "\x1b]2;eth9\x07"});
    ip({"link", "delete", adapter});
    QCOMPARE_EXIT(noSuchAdapter, 7);
    QVERIFY2(noSuchAdapter.err.contains(R"(no adapter "\x1B]2;eth9\x07")"), noSuchAdapter.err.constData());
    QVERIFY2(noSuchAdapter.err.contains(R"(k\x1B[7m)"), noSuchAdapter.err.constData());
    QVERIFY2(!noSuchAdapter.err.contains('\x1b') && !noSuchAdapter.err.contains('\x07'), noSuchAdapter.err.constData());

    const QString name = QStringLiteral("\x1b[2J\nA\tB");
    QVERIFY(writeStateFile(statePath(), {QJsonObject {{"mac", FirstMac}, {"name", name}}}));
    SimulatedModules modules;
    QVERIFY(startModules(modules, {}));
    const QByteArray shown = R"(\x1B[2J\x0AA\x09B)"; // as the name shows what it cannot print
    for (const QStringList &format : {QStringList(), QStringList {"--csv"}}) {
        const ToolRun result = run(QStringList {"search", "--expect", "1", "--timeout", Patience} + format);
        QCOMPARE_EXIT(result, 0);
        QVERIFY2(result.out.contains(shown), result.out.constData());
        QVERIFY2(!result.out.contains('\x1b') && !result.out.contains('\t'), result.out.constData());
        QCOMPARE(result.out.count('\n'), 2); // the header and the module
    }
    const ToolRun json = run({"search", "--expect", "1", "--timeout", Patience, "--json"});
    QCOMPARE_EXIT(json, 0);
    QCOMPARE(searchedModuleList(json.out).at(0).toObject().value("name").toString(), QString::fromLatin1(shown));

    // The value quoted in a message, as a user might paste it.
    const ToolRun refused = run({"set", FirstMac, "mode=\x1b]0;owned\x07"});
    QCOMPARE_EXIT(refused, 5);
    QVERIFY2(refused.err.contains(R"("\x1B]0;owned\x07")"), refused.err.constData());
    QVERIFY2(!refused.err.contains('\x1b') && !refused.err.contains('\x07'), refused.err.constData());
}

void TestKestrelctl::decodeExplainsFramesOfTheLibrary_data()
{
    QTest::addColumn<QString>("hex");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("status");
    QTest::addColumn<Fields>("expected");

    const DeviceRecord record = distinctiveModule();
    const Fields parameters = {
        {"mac", "0A1B2C3D4E5F"},
        {"name", "Pump-7"},
        {"name-hex", "50 75 6D 70 2D 37 00 00 00 00"},
        {"mode", "tcp-client"},
        {"ip-type", "dhcp"},
        {"ip", "10.1.2.3"},
        {"mask", "255.255.0.0"},
        {"gateway", "10.1.0.1"},
        {"local-port", "random"},
        {"remote-ip", "10.1.2.254"},
        {"remote-port", "502"},
        {"baud", "115200"},
        {"parity", "even"},
        {"data-bits", "7"},
        {"stop-bits", "2"},
        {"modbus", "on"},
        {"line-format", "1E (7E2)"},
        {"reserved", "bytes 46-47: 00 00, byte 49: 00"},
    };

    const QByteArray reply = layoutDeviceReply(record);
    Fields asReply = parameters;
    asReply.insert("kind", "reply");
    asReply.insert("version", "1.10.0.15");
    QTest::newRow("reply") << QString::fromLatin1(encrypted(reply).toHex()) << QStringList() << 0 << asReply;
    QTest::newRow("reply, blanks and colons between bytes")
        << QString::fromLatin1(encrypted(reply).toHex(':')).replace(QStringLiteral(":0"), QStringLiteral(" 0"))
        << QStringList() << 0 << asReply;

    const QByteArray filler = QByteArray::fromHex("0102030405060708090A0BFE");
    const QByteArray configuration = buildConfigFrame(record, filler).bytes;
    Fields asConfiguration = parameters;
    asConfiguration.insert("kind", "configuration frame (marker \"1111\" at bytes 6-9)");
    asConfiguration.insert("filler", "01 02 03 04 05 06 07 08 09 0A 0B FE");
    QTest::newRow("configuration frame") << QString::fromLatin1(configuration.toHex()) << QStringList() << 0
                                         << asConfiguration;
    QTest::newRow("configuration frame given decrypted")
        << QString::fromLatin1(layoutConfigFrame(record, filler).toHex()) << QStringList {"--plain"} << 0
        << asConfiguration;

    QTest::newRow("another key") << QString::fromLatin1(configuration.toHex())
                                 << QStringList {"--key", "FFEEDDCCBBAA99887766554433221100"} << 8
                                 << Fields {{"checksum", "WRONG"}};
    QTest::newRow("decrypted capture without --plain")
        << QString::fromLatin1(reply.toHex()) << QStringList() << 8 << Fields {{"checksum", "WRONG"}};
    QTest::newRow("63 bytes") << QString::fromLatin1(encrypted(reply).left(63).toHex()) << QStringList() << 8
                              << Fields {{"length", "63 bytes"}};
    QTest::newRow("discovery request") << "46464646" << QStringList() << 0 << Fields {{"kind", "discovery request"}};
}

void TestKestrelctl::decodeExplainsFramesOfTheLibrary()
{
    QFETCH(QString, hex);
    QFETCH(QStringList, options);
    QFETCH(int, status);
    QFETCH(Fields, expected);

    const ToolRun result = run(QStringList {"decode", hex} + options);
    QCOMPARE_EXIT(result, status);
    const Fields fields = fieldLines(result.out);
    // Each field once: the line-format byte has one line, with what it means.
    QStringList names;
    for (const QString &line : QString::fromUtf8(result.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        names << line.section(QLatin1Char(' '), 0, 0);
    QCOMPARE(names.size(), QSet<QString>(names.cbegin(), names.cend()).size());

    // --json says the same as the lines.
    const ToolRun json = run(QStringList {"decode", hex, "--json"} + options);
    QCOMPARE_EXIT(json, status);
    const QJsonObject object = QJsonDocument::fromJson(json.out).object();
    QCOMPARE(object.size(), fields.size());
    for (auto it = fields.constBegin(); it != fields.constEnd(); ++it) {
        const QJsonValue value = object.value(it.key());
        const QString text = value.isDouble() ? QString::number(value.toInt()) : value.toString();
        QCOMPARE(text, it.value());
    }
    for (auto it = expected.constBegin(); it != expected.constEnd(); ++it) {
        if (it.key() == QLatin1String("checksum") || it.key() == QLatin1String("kind"))
            QVERIFY2(fields.value(it.key()).startsWith(it.value()),
                     qPrintable(it.key() + ": " + fields.value(it.key())));
        else
            QCOMPARE(fields.value(it.key()), it.value());
    }
    if (status == 0 && expected.contains("mac"))
        QVERIFY2(fields.value("checksum").startsWith(QLatin1String("valid")), qPrintable(fields.value("checksum")));
}

void TestKestrelctl::malformedArgumentsHaveTheirExitStatus_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");

    const QString mac = FirstMac;
    const QString dir = files.path();
    QFile notJson(dir + QStringLiteral("/not.json"));
    QVERIFY(notJson.open(QIODevice::WriteOnly));
    notJson.write("baud=9600\n");
    notJson.close();

    // clang-format off
    QTest::newRow("no command") << QStringList {} << QByteArray() << 2 << "a command is missing";
    QTest::newRow("unknown command") << QStringList {"frobnicate"} << QByteArray() << 2 << "unknown command";
    QTest::newRow("unknown option") << QStringList {"search", "--fast"} << QByteArray() << 2 << "search: unknown option \"--fast\" (see kestrelctl search --help)";
    QTest::newRow("unknown option of decode") << QStringList {"decode", "--fast", "00"} << QByteArray() << 2 << "decode: unknown option \"--fast\" (see kestrelctl decode --help)";
    QTest::newRow("unknown short option") << QStringList {"show", "-x", mac} << QByteArray() << 2 << "show: unknown option \"-x\" (see";
    QTest::newRow("search with an argument") << QStringList {"search", mac} << QByteArray() << 2 << "unexpected argument";
    QTest::newRow("json and csv") << QStringList {"search", "--json", "--csv"} << QByteArray() << 2 << "--csv";
    QTest::newRow("timeout 0") << QStringList {"search", "--timeout", "0"} << QByteArray() << 2 << "--timeout";
    QTest::newRow("negative timeout") << QStringList {"search", "--timeout", "-1"} << QByteArray() << 2 << "--timeout";
    QTest::newRow("timeout in exponent form") << QStringList {"search", "--timeout", "1e3"} << QByteArray() << 2 << "--timeout";
    QTest::newRow("timeout of a day") << QStringList {"search", "--timeout", "86400"} << QByteArray() << 2 << "--timeout";
    QTest::newRow("timeout without value") << QStringList {"search", "--timeout"} << QByteArray() << 2 << "search: missing value after \"--timeout\" (see";
    QTest::newRow("101 retries") << QStringList {"search", "--retries", "101"} << QByteArray() << 2 << "--retries";
    QTest::newRow("huge retries") << QStringList {"search", "--retries", "99999999999999999999"} << QByteArray() << 2 << "--retries";
    QTest::newRow("expect 0") << QStringList {"search", "--expect", "0"} << QByteArray() << 2 << "--expect";
    QTest::newRow("expect text") << QStringList {"search", "--expect", "three"} << QByteArray() << 2 << "--expect";
    QTest::newRow("unknown adapter") << QStringList {"search", "--interface", "eth9"} << QByteArray() << 7 << "eth9";
    QTest::newRow("loopback adapter") << QStringList {"search", "--interface", "lo"} << QByteArray() << 7 << "kst0";
    QTest::newRow("show without MAC") << QStringList {"show"} << QByteArray() << 2 << "MAC address is missing";
    QTest::newRow("show two MACs") << QStringList {"show", mac, mac} << QByteArray() << 2 << "one MAC";
    QTest::newRow("MAC of 11 digits") << QStringList {"show", "02004B53000"} << QByteArray() << 2 << "not a MAC";
    QTest::newRow("MAC of 13 digits") << QStringList {"show", "02004B5300011"} << QByteArray() << 2 << "not a MAC";
    QTest::newRow("MAC with a non-hex digit") << QStringList {"show", "02:00:4b:53:00:0g"} << QByteArray() << 2 << "not a MAC";
    QTest::newRow("MAC with mixed separators") << QStringList {"show", "02:00-4b:53:00:01"} << QByteArray() << 2 << "not a MAC";
    QTest::newRow("MAC with a trailing newline") << QStringList {"show", "02004B530001\n"} << QByteArray() << 2 << "not a MAC";
    QTest::newRow("MAC with dots") << QStringList {"show", "0200.4b53.0001"} << QByteArray() << 2 << "not a MAC";
    QTest::newRow("set without change") << QStringList {"set", mac} << QByteArray() << 2 << "FIELD=VALUE";
    QTest::newRow("set without value") << QStringList {"set", mac, "baud"} << QByteArray() << 2 << "FIELD=VALUE";
    QTest::newRow("set without field") << QStringList {"set", mac, "=9600"} << QByteArray() << 2 << "FIELD=VALUE";
    QTest::newRow("set unknown field") << QStringList {"set", mac, "speed=9600"} << QByteArray() << 2 << "unknown field";
    QTest::newRow("set the MAC") << QStringList {"set", mac, "mac=02004B530009"} << QByteArray() << 2 << "cannot be set";
    QTest::newRow("set the version") << QStringList {"set", mac, "version=1.0.0.2"} << QByteArray() << 2 << "cannot be set";
    QTest::newRow("set a field twice") << QStringList {"set", mac, "baud=9600", "baud=4800"} << QByteArray() << 2 << "twice";
    QTest::newRow("set a refused value") << QStringList {"set", mac, "baud=0"} << QByteArray() << 5 << "baud";
    QTest::newRow("verify timeout text") << QStringList {"set", mac, "baud=9600", "--verify-timeout", "soon"} << QByteArray() << 2 << "--verify-timeout";
    QTest::newRow("empty key") << QStringList {"search", "--key", ""} << QByteArray() << 2 << "--key";
    QTest::newRow("short key") << QStringList {"search", "--key", "00112233"} << QByteArray() << 2 << "--key";
    QTest::newRow("export to empty name") << QStringList {"export", mac, "-o", ""} << QByteArray() << 2 << "--output";
    QTest::newRow("apply without MAC") << QStringList {"apply", dir + "/not.json"} << QByteArray() << 2 << "no MAC";
    QTest::newRow("apply a missing file") << QStringList {"apply", dir + "/absent.json", mac} << QByteArray() << 2 << "absent.json";
    QTest::newRow("apply a folder") << QStringList {"apply", dir, mac} << QByteArray() << 2 << "is a directory; a regular file is needed";
    QTest::newRow("apply a device") << QStringList {"apply", "/dev/zero", mac} << QByteArray() << 2 << "a regular file is needed";
    QTest::newRow("apply what is not JSON") << QStringList {"apply", dir + "/not.json", mac} << QByteArray() << 2 << "not.json";
    QTest::newRow("apply a JSON array") << QStringList {"apply", "-", mac} << QByteArray("[{\"baud\": 9600}]") << 2 << "object";
    QTest::newRow("apply an empty object") << QStringList {"apply", "-", mac} << QByteArray("{}") << 2 << "no parameters";
    QTest::newRow("apply only the address, kept") << QStringList {"apply", "-", mac, "--keep-ip"} << QByteArray("{\"ip\": \"10.0.0.1\"}") << 2 << "no parameters";
    QTest::newRow("apply an unknown key") << QStringList {"apply", "-", mac} << QByteArray("{\"speed\": 9600}") << 5 << "speed";
    QTest::newRow("apply a value no module has") << QStringList {"apply", "-", mac} << QByteArray("{\"baud\": 16777216}") << 5 << "baud";
    QTest::newRow("apply a value of the wrong type") << QStringList {"apply", "-", mac} << QByteArray("{\"baud\": \"fast\"}") << 5 << "baud";
    QTest::newRow("apply a value no module could take") << QStringList {"apply", "-", mac} << QByteArray("{\"baud\": -0}") << 5 << "\"baud\": expected a whole number from 100 to 2000000, got 0; nothing was sent";
    QTest::newRow("apply a random port in mode UDP") << QStringList {"apply", "-", mac} << QByteArray(R"({"mode": "udp", "local-port": "random"})") << 5 << "local-port";
    QTest::newRow("apply a key twice") << QStringList {"apply", "-", mac} << QByteArray(R"({"mode":"bogus","mode":"tcp-server"})") << 2 << "-: duplicate key \"mode\" at offset 16";
    QTest::newRow("a control character in an argument") << QStringList {"show", "\x1b[2J"} << QByteArray() << 2 << "\"\\x1B[2J\" is not a MAC";
    QTest::newRow("apply to a MAC twice") << QStringList {"apply", "-", mac, "02:00:4B:53:00:01"} << QByteArray("{\"baud\": 9600}") << 2 << "twice";
    QTest::newRow("apply more than a megabyte") << QStringList {"apply", "-", mac} << QByteArray(2 * 1024 * 1024, ' ') << 2 << "larger";
    QTest::newRow("decode nothing") << QStringList {"decode"} << QByteArray() << 2 << "missing";
    QTest::newRow("decode an odd digit count") << QStringList {"decode", "4646464"} << QByteArray() << 2 << "pairs";
    QTest::newRow("decode text") << QStringList {"decode", "hello"} << QByteArray() << 2 << "pairs";
    QTest::newRow("decode an empty stdin") << QStringList {"decode", "-"} << QByteArray() << 2 << "stdin is empty";
    QTest::newRow("decode a NUL byte on stdin") << QStringList {"decode", "-"} << QByteArray("46\0" "464646", 9) << 2 << "not text: byte 3 is 00";
    QTest::newRow("decode binary stdin") << QStringList {"decode", "-"} << QByteArray("\xFF\xFF\xFF\xFF", 4) << 2 << "not text: byte 1 is FF";
    QTest::newRow("help for an unknown command") << QStringList {"help", "frobnicate"} << QByteArray() << 2 << "frobnicate";
    QTest::newRow("help") << QStringList {"--help"} << QByteArray() << 0 << "";
    QTest::newRow("help for set") << QStringList {"help", "set"} << QByteArray() << 0 << "";
    QTest::newRow("set --help") << QStringList {"set", "--help"} << QByteArray() << 0 << "";
    QTest::newRow("version") << QStringList {"--version"} << QByteArray() << 0 << "";
    // clang-format on
}

void TestKestrelctl::malformedArgumentsHaveTheirExitStatus()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(int, status);
    QFETCH(QString, message);

    const ToolRun result = run(arguments, input);
    QCOMPARE_EXIT(result, status);
    if (status == 0) {
        QVERIFY(!result.out.isEmpty());
        QVERIFY(result.err.isEmpty());
    } else {
        QVERIFY2(result.err.startsWith("kestrelctl: "), result.err.constData());
        QVERIFY2(QString::fromUtf8(result.err).contains(message), result.err.constData());
        QVERIFY2(result.out.isEmpty(), result.out.constData());
    }
}

void TestKestrelctl::frameKeyFromEachSource_data()
{
    QTest::addColumn<QString>("optionKey");
    QTest::addColumn<QString>("environmentKey");
    QTest::addColumn<QString>("settingsKey");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");

    const QString good = QLatin1String(TestFrameKeyHex);
    const QString other = QStringLiteral("FFEEDDCCBBAA99887766554433221100");
    const QString bad = QStringLiteral("00112233445566778899AABBCCDDEEF");
    QTest::newRow("option") << good << other << other << 0 << "";
    QTest::newRow("environment") << "" << good << other << 0 << "";
    QTest::newRow("settings file") << ""
                                   << "" << good << 0 << "";
    QTest::newRow("bad option") << bad << good << good << 2 << "--key";
    QTest::newRow("bad environment") << "" << bad << good << 2 << "KESTREL_FRAME_KEY";
    QTest::newRow("bad settings file") << ""
                                       << "" << bad << 2 << "settings file";
    QTest::newRow("option beats a bad environment") << good << bad << bad << 0 << "";
}

void TestKestrelctl::frameKeyFromEachSource()
{
    QFETCH(QString, optionKey);
    QFETCH(QString, environmentKey);
    QFETCH(QString, settingsKey);
    QFETCH(int, status);
    QFETCH(QString, message);
    QFile::remove(statePath());
    SimulatedModules modules;
    QVERIFY(startModules(modules, {"--count", "1", "--mac", FirstMac}));

    QTemporaryDir home;
    QVERIFY(QDir(home.path()).mkpath(QStringLiteral("kestrel")));
    QFile settings(home.filePath(QStringLiteral("kestrel/kestrel.ini")));
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write(QStringLiteral("[General]\nframeKey=%1\n").arg(settingsKey).toLatin1());
    settings.close();
    QProcessEnvironment keyed = toolEnvironment(home.path());
    if (environmentKey.isEmpty())
        keyed.remove(QStringLiteral("KESTREL_FRAME_KEY"));
    else
        keyed.insert(QStringLiteral("KESTREL_FRAME_KEY"), environmentKey);
    QStringList arguments = {"search", "--expect", "1", "--timeout", Patience};
    if (!optionKey.isEmpty())
        arguments << "--key" << optionKey;

    const ToolRun result = runKestrelctl(arguments, keyed);
    QCOMPARE_EXIT(result, status);
    if (status == 0)
        QVERIFY(result.out.contains(FirstMac.toLatin1()));
    else
        QVERIFY2(QString::fromUtf8(result.err).contains(message), result.err.constData());
}

// Opening a FIFO to read waits for a writer: the settings file is looked at before it is opened, and only when the
// key is not given otherwise; the help names it without opening it.
void TestKestrelctl::settingsFileThatIsAFifoHoldsNothingUp_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message"); // on stderr; on stdout when the status is 0

    const QString key = QLatin1String(TestFrameKeyHex);
    const QString frame = QString(128, QLatin1Char('0'));
    // clang-format off
    QTest::newRow("help") << QStringList {"search", "--help"} << 0 << "kestrel/kestrel.ini";
    QTest::newRow("help with a key") << QStringList {"search", "--help", "--key", key} << 0 << "kestrel/kestrel.ini";
    QTest::newRow("overview") << QStringList {"--help"} << 0 << "kestrel/kestrel.ini";
    QTest::newRow("decode a plain frame") << QStringList {"decode", "--plain", frame} << 8 << "the checksum is wrong";
    QTest::newRow("decode") << QStringList {"decode", frame} << 2 << "is a FIFO; a regular file is needed";
    QTest::newRow("search") << QStringList {"search", "--timeout", "0.1"} << 2 << "is a FIFO; a regular file is needed";
    QTest::newRow("search with a key") << QStringList {"search", "--timeout", "0.1", "--retries", "0", "--key", key} << 3 << "no module answered";
    // clang-format on
}

void TestKestrelctl::settingsFileThatIsAFifoHoldsNothingUp()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, message);

    QTemporaryDir home;
    QVERIFY(QDir(home.path()).mkpath(QStringLiteral("kestrel")));
    QCOMPARE(::mkfifo(QFile::encodeName(home.filePath(QStringLiteral("kestrel/kestrel.ini"))).constData(), 0600), 0);
    QProcessEnvironment unkeyed = toolEnvironment(home.path());
    unkeyed.remove(QStringLiteral("KESTREL_FRAME_KEY"));

    const ToolRun result = runKestrelctl(arguments, unkeyed, QByteArray(), 30000);
    QCOMPARE_EXIT(result, status);
    QVERIFY2(QString::fromUtf8(status == 0 ? result.out : result.err).contains(message), result.err.constData());
}

// A byte that is not UTF-8 would reach the module as U+FFFD; kestrel-sim takes names and MACs from its arguments too.
void TestKestrelctl::argumentsThatAreNotUtf8AreRefused_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("arguments"); // as bash reads them
    QTest::addColumn<QString>("message");

    QTest::newRow("a name with a Latin-1 byte") << KESTRELCTL_PATH << R"(set 02004B530001 $'name=Pumpe-\xfc')"
                                                << "argument 3 is not UTF-8 text";
    QTest::newRow("a UTF-8 sequence cut short") << KESTRELCTL_PATH << R"(show $'\xe6\xb3')"
                                                << "argument 2 is not UTF-8";
    QTest::newRow("an encoded surrogate") << KESTRELCTL_PATH << R"(show $'\xed\xa0\x80')"
                                          << "argument 2 is not UTF-8";
    QTest::newRow("kestrel-sim's name prefix") << KESTREL_SIM_PATH << R"(--name-prefix $'\xff')"
                                               << "argument 2 is not UTF-8";
}

void TestKestrelctl::argumentsThatAreNotUtf8AreRefused()
{
    QFETCH(QString, program);
    QFETCH(QString, arguments);
    QFETCH(QString, message);

    ChildProcess shell;
    shell.setProcessEnvironment(environment);
    shell.start(QStringLiteral("bash"), {"-c", QStringLiteral(R"(exec "$0" %1)").arg(arguments), program});
    QVERIFY(shell.waitForFinished(30000));
    const QByteArray errors = shell.readAllStandardError();
    QCOMPARE(shell.exitStatus(), QProcess::NormalExit);
    QCOMPARE(shell.exitCode(), 2);
    QVERIFY2(QString::fromUtf8(errors).contains(message), errors.constData());
    QCOMPARE(shell.readAllStandardOutput(), QByteArray());
}

void TestKestrelctl::closedOutputEndsQuietly_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("baud");

    QTest::newRow("search") << QStringList {"search", "--expect", "3", "--timeout", Patience} << 9600;
    QTest::newRow("search --json") << QStringList {"search", "--expect", "3", "--timeout", Patience, "--json"} << 9600;
    QTest::newRow("show") << QStringList {"show", FirstMac, "--timeout", Patience} << 9600;
    QTest::newRow("set still configures") << QStringList {"set", FirstMac, "baud=2400"} << 2400;
}

void TestKestrelctl::closedOutputEndsQuietly()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, baud);
    QFile::remove(statePath());
    SimulatedModules modules;
    QVERIFY(startModules(modules, {"--count", "3", "--mac", FirstMac}));

    // The reader of the pipe is gone before kestrelctl has anything to write; bash reports its exit status.
    ChildProcess shell;
    shell.setProcessEnvironment(environment);
    shell.start(QStringLiteral("bash"),
                QStringList {"-c", R"("$@" | true; exit "${PIPESTATUS[0]}")", "bash", QStringLiteral(KESTRELCTL_PATH)}
                    + arguments);
    QVERIFY(shell.waitForFinished(120000));
    QCOMPARE(shell.exitStatus(), QProcess::NormalExit);
    QCOMPARE(shell.exitCode(), 0); // 141 would be death by SIGPIPE
    QCOMPARE(shell.readAllStandardError(), QByteArray());
    QTRY_COMPARE(stateModules(statePath()).value(FirstMac).value("baud").toInt(), baud);
}

KESTREL_NETWORK_TEST_MAIN(TestKestrelctl, QCoreApplication)

#include "tst_kestrelctl.moc"
