#include "configframe.h"
#include "factorydefaults.h"
#include "framechecksum.h"
#include "framecipher.h"
#include "frameconstants.h"
#include "framekey.h"
#include "modulefactory.h"
#include "modulesimulator.h"
#include "privatenetwork.h"
#include "replyframe.h"
#include "statefile.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

#include <csignal>

// Plays the configure tool against simulated modules: a socket on port 1500
// that broadcasts searches and configuration frames and reads the replies.
class TestModuleSimulator : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void searchIsAnsweredByEveryModuleInOrder();
    void configurationFrameIsAppliedToItsModule();
    void foreignAndMalformedDatagramsAreIgnored_data();
    void foreignAndMalformedDatagramsAreIgnored();
    void stateFileRoundTrip();
    void stateFileErrorsAreReported_data();
    void stateFileErrorsAreReported();
    void programPersistsChangesAndStopsOnSignal_data();
    void programPersistsChangesAndStopsOnSignal();

private:
    QList<DeviceRecord> threeModules() const;
    void broadcast(const QByteArray &datagram);
    // Decrypted reply frames heard on the port until count arrived (the tool's own request is skipped).
    QList<QByteArray> collectReplies(int count);
    QByteArray configFrameFor(const DeviceRecord &record) const;

    QUdpSocket *tool = nullptr;
};

void TestModuleSimulator::initTestCase()
{
    setFrameKey(BuiltInFrameKey);
}

void TestModuleSimulator::init()
{
    tool = new QUdpSocket(this);
    QVERIFY(tool->bind(QHostAddress::Any, DevicePort, QAbstractSocket::ShareAddress));
}

void TestModuleSimulator::cleanup()
{
    delete tool;
    tool = nullptr;
}

QList<DeviceRecord> TestModuleSimulator::threeModules() const
{
    ModuleRequest request;
    request.count = 3;
    request.firstMac = QStringLiteral("02004b5300fe"); // lower case and a carry into the fifth byte
    request.namePrefix = QStringLiteral("Pump-");
    request.version = QStringLiteral("1.10.0.15");
    request.parameters = factoryDefaultRecord();
    QList<DeviceRecord> modules;
    QString error;
    if (!makeModules(request, &modules, &error))
        qFatal("%s", qPrintable(error));
    return modules;
}

void TestModuleSimulator::broadcast(const QByteArray &datagram)
{
    QCOMPARE(tool->writeDatagram(datagram, QHostAddress(QLatin1String(BroadcastAddress)), DevicePort),
             qint64(datagram.size()));
}

QList<QByteArray> TestModuleSimulator::collectReplies(int count)
{
    QList<QByteArray> replies;
    QElapsedTimer waited;
    waited.start();
    while (replies.size() < count && waited.elapsed() < 5000) {
        if (!tool->hasPendingDatagrams()) {
            QTest::qWait(10);
            continue;
        }
        QByteArray datagram(int(tool->pendingDatagramSize()), Qt::Uninitialized);
        tool->readDatagram(datagram.data(), datagram.size());
        if (datagram.size() != FrameSize)
            continue;
        decryptFrame(reinterpret_cast<quint8 *>(datagram.data()), FrameSize);
        if (isDeviceReply(datagram))
            replies.append(datagram);
    }
    return replies;
}

QByteArray TestModuleSimulator::configFrameFor(const DeviceRecord &record) const
{
    const ConfigFrame frame = buildConfigFrame(record, QByteArray(FillerSize, '\x07'));
    if (frame.invalidField != ConfigField::None)
        qFatal("test record cannot be sent");
    return frame.bytes;
}

void TestModuleSimulator::searchIsAnsweredByEveryModuleInOrder()
{
    ModuleSimulator simulator(threeModules());
    QString error;
    QVERIFY2(simulator.start(&error), qPrintable(error));

    broadcast(DiscoveryRequest);
    const QList<QByteArray> replies = collectReplies(3);
    QCOMPARE(replies.size(), 3);

    const QStringList macs = {"02004B5300FE", "02004B5300FF", "02004B530100"};
    for (int i = 0; i < 3; ++i) {
        const DeviceRecord heard = decodeDeviceReply(replies.at(i), QString());
        QCOMPARE(heard.macAddress, macs.at(i));
        QCOMPARE(heard.deviceName, QStringLiteral("Pump-%1").arg(i + 1));
        QCOMPARE(heard.version, QStringLiteral("1.10.0.15"));
        // The worked factory-default parameters, as a module fresh from the factory reports them.
        QCOMPARE(
            replies.at(i).mid(20, 30).toHex(' ').toUpper(),
            QByteArray("00 00 00 FF FF FF 01 01 A8 C0 0A 01 A8 C0 D2 04 FE 01 A8 C0 D2 04 80 25 00 03 00 00 00 00"));
    }
    QTest::qWait(100);
    QVERIFY2(collectReplies(1).isEmpty(), "one search, one reply per module");
}

void TestModuleSimulator::configurationFrameIsAppliedToItsModule()
{
    ModuleSimulator simulator(threeModules());
    QSignalSpy changed(&simulator, &ModuleSimulator::modulesChanged);
    QString error;
    QVERIFY2(simulator.start(&error), qPrintable(error));

    DeviceRecord edited = simulator.modules().at(1);
    edited.baudRate = QStringLiteral("115200");
    edited.workMode = 3;
    edited.ipType = 1;
    edited.localPort = QStringLiteral("0");
    edited.parity = 2;
    edited.dataBits = 0;
    edited.deviceName = QStringLiteral("Kessel");
    broadcast(configFrameFor(edited));
    QTRY_COMPARE(changed.count(), 1);

    broadcast(DiscoveryRequest);
    const QList<QByteArray> replies = collectReplies(3);
    QCOMPARE(replies.size(), 3);
    const DeviceRecord second = decodeDeviceReply(replies.at(1), QString());
    QCOMPARE(second.macAddress, QStringLiteral("02004B5300FF"));
    QCOMPARE(second.version, QStringLiteral("1.10.0.15")); // identity is the module's own
    QCOMPARE(second.deviceName, QStringLiteral("Kessel"));
    QCOMPARE(second.baudRate, QStringLiteral("115200"));
    QCOMPARE(second.workMode, 3);
    QCOMPARE(second.ipType, 1);
    QCOMPARE(second.localPort, QStringLiteral("0"));
    QVERIFY(second.randomPort);
    QCOMPARE(second.parity, 2);
    QCOMPARE(second.dataBits, 0);
    // The neighbours keep their parameters.
    QCOMPARE(decodeDeviceReply(replies.at(0), QString()).baudRate, QStringLiteral("9600"));
    QCOMPARE(decodeDeviceReply(replies.at(2), QString()).workMode, 0);
}

void TestModuleSimulator::foreignAndMalformedDatagramsAreIgnored_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QString>("reported");

    DeviceRecord stranger = factoryDefaultRecord();
    stranger.macAddress = QStringLiteral("0011AABBCCDD");
    stranger.baudRate = QStringLiteral("4800");
    const QByteArray foreign = configFrameFor(stranger);

    DeviceRecord ours = threeModules().at(0);
    ours.baudRate = QStringLiteral("4800");
    QByteArray plain = layoutConfigFrame(ours, QByteArray(FillerSize, '\0'));
    plain[ChecksumOffset] = char(plain.at(ChecksumOffset) ^ 0x01);
    QByteArray badChecksum = plain;
    encryptFrame(reinterpret_cast<quint8 *>(badChecksum.data()), FrameSize);

    QByteArray swappedChecksum = layoutConfigFrame(ours, QByteArray(FillerSize, '\0'));
    const char low = swappedChecksum.at(ChecksumOffset);
    swappedChecksum[ChecksumOffset] = swappedChecksum.at(ChecksumOffset + 1);
    swappedChecksum[ChecksumOffset + 1] = low;
    encryptFrame(reinterpret_cast<quint8 *>(swappedChecksum.data()), FrameSize);

    const QByteArray valid = configFrameFor(ours);
    QByteArray reply = layoutDeviceReply(ours);
    encryptFrame(reinterpret_cast<quint8 *>(reply.data()), FrameSize);

    QTest::newRow("for another MAC") << foreign << "not one of ours";
    QTest::newRow("bad checksum") << badChecksum << "bad checksum";
    QTest::newRow("checksum high byte first") << swappedChecksum << "bad checksum";
    QTest::newRow("63 bytes") << valid.left(63) << "63-byte";
    QTest::newRow("65 bytes") << valid + '\0' << "65-byte";
    QTest::newRow("a module's reply") << reply << QString();
}

void TestModuleSimulator::foreignAndMalformedDatagramsAreIgnored()
{
    QFETCH(QByteArray, datagram);
    QFETCH(QString, reported);

    const QList<DeviceRecord> before = threeModules();
    ModuleSimulator simulator(before);
    QSignalSpy changed(&simulator, &ModuleSimulator::modulesChanged);
    QSignalSpy events(&simulator, &ModuleSimulator::event);
    QString error;
    QVERIFY2(simulator.start(&error), qPrintable(error));
    events.clear();

    broadcast(datagram);
    broadcast(DiscoveryRequest); // a marker: once it is answered, the datagram before it has been handled
    QCOMPARE(collectReplies(3).size(), 3);

    QCOMPARE(changed.count(), 0);
    QVERIFY(simulator.modules() == before);
    QStringList lines;
    for (const QList<QVariant> &event : qAsConst(events))
        lines << event.at(0).toString();
    if (reported.isEmpty())
        QCOMPARE(lines.size(), 1); // only the search is reported
    else
        QVERIFY2(lines.first().contains(reported), qPrintable(lines.join('\n')));
}

void TestModuleSimulator::stateFileRoundTrip()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("modules.json"));
    QList<DeviceRecord> modules = threeModules();
    modules[2].deviceName = QStringLiteral("Größe"); // a UTF-8 name survives the file
    modules[2].localPort = QStringLiteral("0");
    modules[2].randomPort = true;
    modules[2].modbusConvert = 1;

    QString error;
    QVERIFY2(saveModules(path, modules, &error), qPrintable(error));
    QList<DeviceRecord> loaded;
    QVERIFY2(loadModules(path, &loaded, &error), qPrintable(error));
    QCOMPARE(loaded.size(), 3);
    QVERIFY(loaded == modules);
}

void TestModuleSimulator::stateFileErrorsAreReported_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");

    QTest::newRow("not JSON") << QByteArray("{\"modules\": [") << "offset";
    QTest::newRow("no list") << QByteArray("{\"devices\": []}") << "no \"modules\"";
    QTest::newRow("not an object") << QByteArray("{\"modules\": [42]}") << "not an object";
    QTest::newRow("text field of wrong type") << QByteArray(
        "{\"modules\": [{\"macAddress\": \"02004B530001\", \"version\": \"1.0.0.1\", \"baudRate\": 9600}]}")
                                              << "\"baudRate\" must be a string";
    QTest::newRow("index out of range") << QByteArray(
        "{\"modules\": [{\"macAddress\": \"02004B530001\", \"version\": \"1.0.0.1\", \"parity\": 3}]}")
                                        << "\"parity\"";
    QTest::newRow("address that cannot be sent") << QByteArray(
        "{\"modules\": [{\"macAddress\": \"02004B530001\", \"version\": \"1.0.0.1\", \"gateway\": \"10.0.1\"}]}")
                                                 << "\"gateway\"";
    QTest::newRow("version beyond a nibble")
        << QByteArray("{\"modules\": [{\"macAddress\": \"02004B530001\", \"version\": \"1.16.0.1\"}]}")
        << "\"version\"";
    QTest::newRow("duplicate MAC") << QByteArray(
        "{\"modules\": [{\"macAddress\": \"02004B530001\", \"version\": \"1.0.0.1\"},"
        " {\"macAddress\": \"02004B530001\", \"version\": \"1.0.0.1\"}]}")
                                   << "module 2";
}

void TestModuleSimulator::stateFileErrorsAreReported()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, message);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("modules.json"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();

    QList<DeviceRecord> loaded;
    QString error;
    QVERIFY(!loadModules(path, &loaded, &error));
    QVERIFY2(error.contains(message), qPrintable(error));
    QVERIFY(loaded.isEmpty());
}

void TestModuleSimulator::programPersistsChangesAndStopsOnSignal_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TestModuleSimulator::programPersistsChangesAndStopsOnSignal()
{
    QFETCH(int, signalNumber);

    QTemporaryDir dir;
    const QString statePath = dir.filePath(QStringLiteral("modules.json"));
    QProcess sim;
    sim.setProcessChannelMode(QProcess::MergedChannels);
    sim.start(QStringLiteral(KESTREL_SIM_PATH),
              {"--count", "2", "--mac", "02004B530001", "--name-prefix", "Sim", "--state", statePath});
    QVERIFY(sim.waitForStarted());
    QByteArray output;
    QTRY_VERIFY2((output += sim.readAll()).contains("listening"), output.constData());

    QList<DeviceRecord> saved;
    QString error;
    QVERIFY2(loadModules(statePath, &saved, &error), qPrintable(error)); // written at start
    QCOMPARE(saved.size(), 2);

    DeviceRecord edited = saved.at(1);
    edited.remoteIp = QStringLiteral("10.20.30.40");
    edited.stopBits = 1;
    broadcast(configFrameFor(edited));
    QTRY_VERIFY2((output += sim.readAll()).contains("configured 02004B530002"), output.constData());
    QTRY_VERIFY(loadModules(statePath, &saved, &error) && saved.at(1).remoteIp == QLatin1String("10.20.30.40"));
    QCOMPARE(saved.at(1).stopBits, 1);
    QCOMPARE(saved.at(0).remoteIp, QStringLiteral("192.168.1.254"));

    ::kill(pid_t(sim.processId()), signalNumber);
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
    QVERIFY2((output += sim.readAll()).contains("stopping"), output.constData());

    // A restarted simulator carries on from the state file and ignores the options that made it.
    QProcess again;
    again.setProcessChannelMode(QProcess::MergedChannels);
    again.start(QStringLiteral(KESTREL_SIM_PATH), {"--count", "5", "--state", statePath});
    QVERIFY(again.waitForStarted());
    QByteArray againOutput;
    QTRY_VERIFY2((againOutput += again.readAll()).contains("as 2 module(s)"), againOutput.constData());
    broadcast(DiscoveryRequest);
    const QList<QByteArray> replies = collectReplies(2);
    QCOMPARE(replies.size(), 2);
    QCOMPARE(decodeDeviceReply(replies.at(1), QString()).remoteIp, QStringLiteral("10.20.30.40"));
    again.terminate();
    QVERIFY(again.waitForFinished(5000));
    QCOMPARE(again.exitCode(), 0);
}

KESTREL_NETWORK_TEST_MAIN(TestModuleSimulator, QCoreApplication)
#include "tst_modulesimulator.moc"
