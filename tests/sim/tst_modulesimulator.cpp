#include "childprocess.h"
#include "configframe.h"
#include "devicename.h"
#include "devicerecordprinting.h"
#include "factorydefaults.h"
#include "framecipher.h"
#include "frameconstants.h"
#include "framekey.h"
#include "framekeysource.h"
#include "framelayout.h"
#include "modulefactory.h"
#include "modulejson.h"
#include "modulesimulator.h"
#include "privatenetwork.h"
#include "replyframe.h"
#include "statefile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>

namespace {

// A bound for a program to start or stop, or for replies to come: generous, as the suite shares a busy machine.
constexpr int ProgramStopMs = 60000;

QByteArray encrypted(QByteArray frame)
{
    encryptFrame(reinterpret_cast<quint8 *>(frame.data()), FrameSize);
    return frame;
}

} // namespace

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
    void modulesCanIgnoreConfigurationFrames();
    void foreignAndMalformedDatagramsAreIgnored_data();
    void foreignAndMalformedDatagramsAreIgnored();
    void stateFileRoundTrip();
    void stateFileKeepsWhatModulesReport();
    void stateFileErrorsAreReported_data();
    void stateFileErrorsAreReported();

    void programPersistsChangesAndStopsOnSignal_data();
    void programPersistsChangesAndStopsOnSignal();
    void programSavesEveryAnnouncedChangeBeforeStopping();
    void programRefusesWhatItCannotUse_data();
    void programRefusesWhatItCannotUse();
    void programHelpNeverWaitsOnTheSettingsFile();
    void programUsesTheFrameKeyOfEachSource_data();
    void programUsesTheFrameKeyOfEachSource();
    void programModulesCanIgnoreConfiguration();
    void failedSaveEndsTheProgramAfterTheReplies();

private:
    QList<DeviceRecord> threeModules() const;
    void broadcast(const QByteArray &datagram);
    // Decrypted reply frames heard on the port until count arrived (the tool's own request is skipped).
    QList<QByteArray> collectReplies(int count);
    // Reply frames heard before a sentinel that the tool sends now, once the simulator has sent all it meant to.
    QList<QByteArray> repliesBeforeSentinel(const ModuleSimulator &simulator);
    QByteArray configFrameFor(const DeviceRecord &record) const;
    // The environment of a simulator started by a test: no frame key from the user's environment or settings.
    QProcessEnvironment programEnvironment(const QString &home) const;
    void startProgram(QProcess &program, const QStringList &arguments, const QString &home);
    void expectOutput(QProcess &program, QByteArray &output, const QByteArray &text);

    QUdpSocket *tool = nullptr;
};

void TestModuleSimulator::initTestCase()
{
    setFrameKey(BuiltInFrameKey);
}

void TestModuleSimulator::init()
{
    setFrameKey(BuiltInFrameKey);
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
    while (replies.size() < count && waited.elapsed() < ProgramStopMs) {
        if (!tool->hasPendingDatagrams()) {
            QTest::qWait(10);
            continue;
        }
        QByteArray datagram = tool->receiveDatagram().data();
        if (datagram.size() != FrameSize)
            continue;
        decryptFrame(reinterpret_cast<quint8 *>(datagram.data()), FrameSize);
        if (isDeviceReply(datagram))
            replies.append(datagram);
    }
    return replies;
}

QList<QByteArray> TestModuleSimulator::repliesBeforeSentinel(const ModuleSimulator &simulator)
{
    if (!QTest::qWaitFor([&simulator] { return !simulator.isAnswering(); }, ProgramStopMs))
        QTest::qFail("the simulator never finished its replies", __FILE__, __LINE__);
    const QByteArray sentinel("sentinel");
    broadcast(sentinel);
    QList<QByteArray> replies;
    const bool heard = QTest::qWaitFor(
        [&] {
            while (tool->hasPendingDatagrams()) {
                QByteArray datagram = tool->receiveDatagram().data();
                if (datagram == sentinel)
                    return true;
                if (datagram.size() != FrameSize)
                    continue;
                decryptFrame(reinterpret_cast<quint8 *>(datagram.data()), FrameSize);
                if (isDeviceReply(datagram))
                    replies.append(datagram);
            }
            return false;
        },
        ProgramStopMs);
    if (!heard)
        QTest::qFail("the sentinel was never heard", __FILE__, __LINE__);
    return replies;
}

QByteArray TestModuleSimulator::configFrameFor(const DeviceRecord &record) const
{
    // Nothing checked: a module takes whatever a frame carries, a TCP server on local port 0 included.
    const ConfigFrame frame = buildConfigFrame(record, QByteArray(FillerSize, '\x07'), EditedFields());
    if (frame.invalidField != ConfigField::None)
        qFatal("test record cannot be sent");
    return frame.bytes;
}

QProcessEnvironment TestModuleSimulator::programEnvironment(const QString &home) const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QLatin1String(FrameKeyVariable));
    environment.remove(QStringLiteral("XDG_CONFIG_HOME"));
    environment.insert(QStringLiteral("HOME"), home);
    return environment;
}

void TestModuleSimulator::startProgram(QProcess &program, const QStringList &arguments, const QString &home)
{
    program.setProcessEnvironment(programEnvironment(home));
    program.start(QStringLiteral(KESTREL_SIM_PATH), arguments);
    QVERIFY(program.waitForStarted());
}

void TestModuleSimulator::expectOutput(QProcess &program, QByteArray &output, const QByteArray &text)
{
    // A program that ended is not waited for.
    QTRY_VERIFY2_WITH_TIMEOUT((output += program.readAllStandardOutput()).contains(text)
                                  || program.state() == QProcess::NotRunning,
                              output.constData(), ProgramStopMs);
    QVERIFY2((output += program.readAllStandardOutput()).contains(text), output.constData());
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
    QCOMPARE(repliesBeforeSentinel(simulator).size(), 0); // one search, one reply per module
}

void TestModuleSimulator::configurationFrameIsAppliedToItsModule()
{
    ModuleSimulator simulator(threeModules());
    QSignalSpy changed(&simulator, &ModuleSimulator::moduleChanged);
    QString error;
    QVERIFY2(simulator.start(&error), qPrintable(error));

    DeviceRecord edited = simulator.modules().at(1);
    edited.baudRate = QStringLiteral("115200");
    edited.workMode = Module::TcpServer;
    edited.ipType = Module::Dhcp;
    edited.localPort = QStringLiteral("0");
    edited.randomPort = true;
    edited.parity = Module::EvenParity;
    edited.dataBits = Module::SevenDataBits;
    edited.nameField = QByteArray::fromHex("B1C3D5BE310000000000"); // a GBK name travels byte for byte
    broadcast(configFrameFor(edited));
    QTRY_COMPARE(changed.count(), 1);
    QCOMPARE(changed.first().first().toInt(), 1);

    broadcast(DiscoveryRequest);
    const QList<QByteArray> replies = collectReplies(3);
    QCOMPARE(replies.size(), 3);
    const DeviceRecord second = decodeDeviceReply(replies.at(1), QString());
    QCOMPARE(second.macAddress, QStringLiteral("02004B5300FF"));
    QCOMPARE(second.version, QStringLiteral("1.10.0.15")); // identity is the module's own
    QCOMPARE(replies.at(1).mid(NameOffset, NameSize).toHex().toUpper(), QByteArray("B1C3D5BE310000000000"));
    QCOMPARE(second.deviceName, QStringLiteral("泵站1"));
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

void TestModuleSimulator::modulesCanIgnoreConfigurationFrames()
{
    const QList<DeviceRecord> before = threeModules();
    ModuleSimulator simulator(before);
    simulator.setIgnoreConfigFrames(true);
    QSignalSpy changed(&simulator, &ModuleSimulator::moduleChanged);
    QString error;
    QVERIFY2(simulator.start(&error), qPrintable(error));

    DeviceRecord edited = before.at(0);
    edited.baudRate = QStringLiteral("57600");
    broadcast(configFrameFor(edited));
    broadcast(DiscoveryRequest); // handled after the frame: its replies show what the frame did
    const QList<QByteArray> replies = collectReplies(3);
    QCOMPARE(replies.size(), 3);
    QCOMPARE(decodeDeviceReply(replies.at(0), QString()).baudRate, QStringLiteral("9600"));
    QCOMPARE(changed.count(), 0);
    QCOMPARE(simulator.modules(), before);
}

void TestModuleSimulator::foreignAndMalformedDatagramsAreIgnored_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<quint16>("fromPort");
    QTest::addColumn<QString>("reported");

    DeviceRecord stranger = factoryDefaultRecord();
    stranger.macAddress = QStringLiteral("0011AABBCCDD");
    stranger.baudRate = QStringLiteral("4800");
    const QByteArray foreign = configFrameFor(stranger);

    DeviceRecord ours = threeModules().at(0);
    ours.baudRate = QStringLiteral("4800");
    QByteArray plain = layoutConfigFrame(ours, QByteArray(FillerSize, '\0'));
    plain[ChecksumOffset] = char(plain.at(ChecksumOffset) ^ 0x01);
    const QByteArray badChecksum = encrypted(plain);

    QByteArray swappedChecksum = layoutConfigFrame(ours, QByteArray(FillerSize, '\0'));
    const char low = swappedChecksum.at(ChecksumOffset);
    swappedChecksum[ChecksumOffset] = swappedChecksum.at(ChecksumOffset + 1);
    swappedChecksum[ChecksumOffset + 1] = low;

    const QByteArray valid = configFrameFor(ours);
    const QByteArray reply = encrypted(layoutDeviceReply(ours));

    QTest::newRow("for another MAC") << foreign << DevicePort << "not one of ours";
    QTest::newRow("bad checksum") << badChecksum << DevicePort << "bad checksum";
    QTest::newRow("checksum high byte first") << encrypted(swappedChecksum) << DevicePort << "bad checksum";
    QTest::newRow("63 bytes") << valid.left(63) << DevicePort << "63-byte";
    QTest::newRow("65 bytes") << valid + '\0' << DevicePort << "65-byte";
    QTest::newRow("from another port") << valid << quint16(DevicePort + 1) << "frames come from port 1500";
    QTest::newRow("request with a tail") << QByteArray("FFFF\n") << DevicePort << "\"FFFF\" alone";
    QTest::newRow("a module's reply") << reply << DevicePort << QString();
}

void TestModuleSimulator::foreignAndMalformedDatagramsAreIgnored()
{
    QFETCH(QByteArray, datagram);
    QFETCH(quint16, fromPort);
    QFETCH(QString, reported);

    const QList<DeviceRecord> before = threeModules();
    ModuleSimulator simulator(before);
    QSignalSpy changed(&simulator, &ModuleSimulator::moduleChanged);
    QSignalSpy events(&simulator, &ModuleSimulator::event);
    QString error;
    QVERIFY2(simulator.start(&error), qPrintable(error));
    events.clear();

    QUdpSocket otherPort;
    if (fromPort == DevicePort) {
        broadcast(datagram);
    } else {
        QVERIFY(otherPort.bind(QHostAddress::AnyIPv4, fromPort));
        QCOMPARE(otherPort.writeDatagram(datagram, QHostAddress(QLatin1String(BroadcastAddress)), DevicePort),
                 qint64(datagram.size()));
    }
    broadcast(DiscoveryRequest); // a marker: once it is answered, the datagram before it has been handled
    QCOMPARE(collectReplies(3).size(), 3);

    QCOMPARE(changed.count(), 0);
    QCOMPARE(simulator.modules(), before);
    QStringList lines;
    for (const QList<QVariant> &event : qAsConst(events))
        lines << event.at(0).toString();
    if (reported.isEmpty()) // only the search is reported
        QVERIFY2(lines.filter(QStringLiteral("search")).size() == lines.size(), qPrintable(lines.join('\n')));
    else
        QVERIFY2(lines.first().contains(reported), qPrintable(lines.join('\n')));
}

void TestModuleSimulator::stateFileRoundTrip()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("modules.json"));
    QList<DeviceRecord> modules = threeModules();
    modules[1].nameField = QByteArray::fromHex("B1C3D5BE310000000000"); // GBK, as a module configured elsewhere
    modules[1].deviceName = displayDeviceName(modules[1].nameField);
    modules[2].nameField = *encodeDeviceName(QStringLiteral("Größe"));
    modules[2].deviceName = QStringLiteral("Größe");
    modules[2].localPort = QStringLiteral("0");
    modules[2].randomPort = true;
    modules[2].modbusConvert = Module::ModbusOn;

    QString error;
    QVERIFY2(saveModules(path, modules, &error), qPrintable(error));
    QList<DeviceRecord> loaded;
    QVERIFY2(loadModules(path, &loaded, &error), qPrintable(error));
    QCOMPARE(loaded.size(), 3);
    QCOMPARE(loaded, modules);

    // The file speaks the module JSON form that kestrelctl reads and writes.
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonArray saved = QJsonDocument::fromJson(file.readAll()).object().value("modules").toArray();
    QCOMPARE(saved.size(), 3);
    QCOMPARE(saved.at(0).toObject().value("mac").toString(), QStringLiteral("02004B5300FE"));
    QCOMPARE(saved.at(0).toObject().value("name").toString(), QStringLiteral("Pump-1"));
    QVERIFY(!saved.at(0).toObject().contains("name-hex"));
    QCOMPARE(saved.at(1).toObject().value("name").toString(), QStringLiteral("泵站1"));
    QCOMPARE(saved.at(1).toObject().value("name-hex").toString(), QStringLiteral("B1C3D5BE310000000000"));
    QCOMPARE(saved.at(2).toObject().value("local-port").toString(), QStringLiteral("random"));
    QCOMPARE(saved.at(2).toObject().value("modbus").toString(), QStringLiteral("on"));
}

// Line formats the form cannot show (5 data bits and mark parity, space parity, a stick bit without parity) and
// values nobody could type (a TCP server's unused remote end, 50 baud) survive a restart.
void TestModuleSimulator::stateFileKeepsWhatModulesReport()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("modules.json"));
    QList<DeviceRecord> modules = threeModules();
    const int formats[] = {0x28, 0x39, 0x10};
    for (int i = 0; i < modules.size(); ++i) {
        QByteArray reply = layoutDeviceReply(modules.at(i));
        reply[LineFormatOffset] = char(formats[i]);
        modules[i] = decodeDeviceReply(reply, QString());
    }
    modules[0].workMode = Module::TcpServer;
    modules[0].remoteIp = QStringLiteral("0.0.0.0");
    modules[0].remotePort = QStringLiteral("0");
    modules[0].baudRate = QStringLiteral("50");

    QString error;
    QVERIFY2(saveModules(path, modules, &error), qPrintable(error));
    QList<DeviceRecord> loaded;
    QVERIFY2(loadModules(path, &loaded, &error), qPrintable(error));
    QCOMPARE(loaded.size(), modules.size());
    for (int i = 0; i < modules.size(); ++i)
        QCOMPARE(layoutDeviceReply(loaded.at(i)).toHex(' '), layoutDeviceReply(modules.at(i)).toHex(' '));
    QCOMPARE(quint8(layoutDeviceReply(loaded.at(0)).at(LineFormatOffset)), quint8(0x28));
}

void TestModuleSimulator::stateFileErrorsAreReported_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");

    const auto module
        = [](const char *fields) { return QByteArray("{\"modules\": [{\"mac\": \"02004B530001\"") + fields + "}]}"; };
    QTest::newRow("not JSON") << QByteArray("{\"modules\": [") << "offset";
    QTest::newRow("an array") << QByteArray("[{\"mac\": \"02004B530001\"}]") << "got an array";
    QTest::newRow("no list") << QByteArray("{\"devices\": []}") << "unknown key \"devices\"";
    QTest::newRow("list of the wrong type") << QByteArray("{\"modules\": {}}") << "must be a list";
    QTest::newRow("no modules") << QByteArray("{\"modules\": []}") << "holds 0 modules; from 1 to 1000000";
    QTest::newRow("not an object") << QByteArray("{\"modules\": [42]}") << "module 1: expected an object";
    QTest::newRow("old field names") << module(", \"baudRate\": 9600") << "module 1: unknown key \"baudRate\"";
    QTest::newRow("number as text") << module(", \"baud\": \"9600\"") << "\"baud\": expected a whole number";
    QTest::newRow("baud beyond 24 bits") << module(", \"baud\": 16777216") << "module 1: \"baud\"";
    QTest::newRow("local port beyond 16 bits") << module(", \"local-port\": 99999") << "module 1: \"local-port\"";
    QTest::newRow("unknown parity") << module(", \"parity\": \"stick\"") << "\"parity\"";
    QTest::newRow("address that cannot be sent") << module(", \"gateway\": \"10.0.1\"") << "\"gateway\"";
    QTest::newRow("version beyond a nibble") << module(", \"version\": \"1.16.0.1\"") << "\"version\"";
    QTest::newRow("version beyond 32 bits") << module(", \"version\": \"1.0.0.4294967297\"") << "\"version\"";
    QTest::newRow("no MAC") << QByteArray("{\"modules\": [{\"baud\": 9600}]}") << "module 1: \"mac\" is missing";
    QTest::newRow("duplicate MAC") << QByteArray("{\"modules\": [{\"mac\": \"02004B530001\"},"
                                                 " {\"mac\": \"02004b530001\"}]}")
                                   << "module 2: \"mac\" 02004B530001 is already used";
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
    QVERIFY2(error.startsWith(path), qPrintable(error));
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
    ChildProcess sim;
    startProgram(sim, {"--count", "2", "--mac", "02004B530001", "--name-prefix", "Sim", "--state", statePath},
                 dir.path());
    QByteArray output;
    expectOutput(sim, output, "listening");

    QList<DeviceRecord> saved;
    QString error;
    QVERIFY2(loadModules(statePath, &saved, &error), qPrintable(error)); // written at start
    QCOMPARE(saved.size(), 2);

    DeviceRecord edited = saved.at(1);
    edited.remoteIp = QStringLiteral("10.20.30.40");
    edited.stopBits = Module::TwoStopBits;
    broadcast(configFrameFor(edited));
    QTRY_VERIFY(loadModules(statePath, &saved, &error) && saved.at(1).remoteIp == QLatin1String("10.20.30.40"));
    QCOMPARE(saved.at(1).stopBits, 1);
    QCOMPARE(saved.at(0).remoteIp, QStringLiteral("192.168.1.254"));

    ::kill(pid_t(sim.processId()), signalNumber);
    QVERIFY(sim.waitForFinished(ProgramStopMs));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
    QVERIFY2((output += sim.readAllStandardOutput()).contains("stopping"), output.constData());

    // A restarted simulator carries on from the state file and ignores the options that made it.
    ChildProcess again;
    startProgram(again, {"--count", "5", "--state", statePath}, dir.path());
    QByteArray againOutput;
    expectOutput(again, againOutput, "as 2 module(s)");
    broadcast(DiscoveryRequest);
    const QList<QByteArray> replies = collectReplies(2);
    QCOMPARE(replies.size(), 2);
    QCOMPARE(decodeDeviceReply(replies.at(1), QString()).remoteIp, QStringLiteral("10.20.30.40"));
    again.terminate();
    QVERIFY(again.waitForFinished(ProgramStopMs));
    QCOMPARE(again.exitCode(), 0);
}

// Every change the simulator has announced as "configured" is in the state file once it has stopped, also when
// the signal comes in the middle of a burst of configuration frames.
void TestModuleSimulator::programSavesEveryAnnouncedChangeBeforeStopping()
{
    const int count = 200;
    QTemporaryDir dir;
    const QString statePath = dir.filePath(QStringLiteral("modules.json"));
    ChildProcess sim;
    startProgram(sim, {"--count", QString::number(count), "--mac", "02004B530001", "--state", statePath}, dir.path());
    QByteArray output;
    expectOutput(sim, output, "listening");
    QList<DeviceRecord> modules;
    QString error;
    QVERIFY2(loadModules(statePath, &modules, &error), qPrintable(error));
    QCOMPARE(modules.size(), count);

    for (int i = 0; i < count; ++i) {
        DeviceRecord edited = modules.at(i);
        edited.baudRate = QString::number(1200 + i);
        broadcast(configFrameFor(edited));
    }
    // Stopped while the burst is being taken in: some announced, perhaps not all.
    expectOutput(sim, output, "configured ");
    ::kill(pid_t(sim.processId()), SIGINT);
    QVERIFY(sim.waitForFinished(ProgramStopMs));
    QCOMPARE(sim.exitCode(), 0);
    output += sim.readAllStandardOutput();

    QVERIFY2(loadModules(statePath, &modules, &error), qPrintable(error));
    int announced = 0;
    for (int i = 0; i < count; ++i) {
        if (!output.contains("configured " + modules.at(i).macAddress.toLatin1()))
            continue;
        ++announced;
        QCOMPARE(modules.at(i).baudRate, QString::number(1200 + i));
    }
    QVERIFY(announced > 0);
}

void TestModuleSimulator::programRefusesWhatItCannotUse_data()
{
    // In arguments, @file stands for a file holding fileContent, @fifo for a FIFO, @dir for a directory and
    // @home for the home directory (where the settings file lives).
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("fileContent");
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QByteArray>("settings"); // the settings file's content, when not empty; "<fifo>": a FIFO
    QTest::addColumn<QString>("message");

    const auto row = [](const char *name, const QStringList &arguments, const QString &message,
                        const QByteArray &fileContent = QByteArray(), const QStringList &environment = {},
                        const QByteArray &settings = QByteArray()) {
        QTest::newRow(name) << arguments << fileContent << environment << settings << message;
    };
    row("count 0", {"--count", "0"}, "the module count must be from 1 to 1000000, got 0");
    row("count above the bound", {"--count", "1000001"}, "from 1 to 1000000, got 1000001");
    row("count beyond 32 bits", {"--count", "4294967297"}, "--count needs a whole number from 1 to 1000000");
    row("count not a number", {"--count", "many"}, "--count needs a whole number");
    row("MACs past the last", {"--count", "2", "--mac", "FFFFFFFFFFFF"}, "run past FFFFFFFFFFFF");
    row("MAC not hex", {"--mac", "02:00:4B:53:00:01"}, "the first MAC must be 12 hexadecimal digits");
    row("firmware part beyond 32 bits", {"--firmware", "1.0.0.4294967297"}, "got \"1.0.0.4294967297\"");
    row("firmware part beyond a nibble", {"--firmware", "1.0.16.0"}, "four numbers from 0 to 15");
    row("unknown option", {"--colour"}, "Unknown option 'colour'");
    row("stray argument", {"3"}, "unexpected argument \"3\"");

    row("params: local port beyond 16 bits", {"--params", "@file"}, "\"local-port\": expected a whole number",
        "{\"local-port\": 99999}");
    row("params: baud beyond 24 bits", {"--params", "@file"}, "\"baud\": expected a whole number from 100 to 2000000",
        "{\"baud\": 16777216}");
    row("params: an array", {"--params", "@file"}, "expected a JSON object of module fields", "[{\"baud\": 9600}]");
    row("params: not JSON", {"--params", "@file"}, "at offset", "{\"baud\": ");
    row("params: old field names", {"--params", "@file"}, "unknown key \"baudRate\"", "{\"baudRate\": \"9600\"}");
    row("params: a MAC", {"--params", "@file"}, "\"mac\" is given by --mac", "{\"mac\": \"02004B530001\"}");
    row("params: a FIFO", {"--params", "@fifo"}, "is a FIFO; a regular file is needed");
    row("params: a directory", {"--params", "@dir"}, "is a directory; a regular file is needed");
    row("params: no such file", {"--params", "@dir/missing.json"}, "No such file");
    row("params: larger than parameters can be", {"--params", "@file"}, "is larger than 1048576 bytes",
        "{\"baud\": 9600" + QByteArray(1024 * 1024, ' ') + "}");
    row("params: a key twice", {"--params", "@file"}, "duplicate key \"baud\" at offset 15",
        "{\"baud\": 9600, \"baud\": 19200}");
    row("params: a key twice, written with an escape", {"--params", "@file"}, "duplicate key \"mode\" at offset 16",
        "{\"mode\": \"udp\", \"mo\\u0064e\": \"tcp-server\"}");
    row("state: a key twice", {"--state", "@file"}, "duplicate key \"mode\"",
        "{\"modules\": [{\"mac\": \"02004B530001\", \"mode\": \"bogus\", \"mode\": \"tcp-server\"}]}");

    row("state: a FIFO", {"--state", "@fifo"}, "is a FIFO; a regular file is needed");
    row("state: a directory", {"--state", "@dir"}, "is a directory; a regular file is needed");
    row("state: no modules", {"--state", "@file"}, "holds 0 modules", "{\"modules\": []}");
    row("state: local port beyond 16 bits", {"--state", "@file"}, "module 1: \"local-port\"",
        "{\"modules\": [{\"mac\": \"02004B530001\", \"local-port\": 99999}]}");
    row("state: baud beyond 24 bits", {"--state", "@file"}, "module 1: \"baud\"",
        "{\"modules\": [{\"mac\": \"02004B530001\", \"baud\": 16777216}]}");
    row("state: firmware beyond 32 bits", {"--state", "@file"}, "module 1: \"version\"",
        "{\"modules\": [{\"mac\": \"02004B530001\", \"version\": \"1.0.0.4294967297\"}]}");
    row("state: not saved in a missing directory", {"--state", "@dir/missing/state.json"}, "No such file");

    row("key: too short", {"--key", "00112233"}, "the frame key from --key is not 32 hexadecimal digits");
    row("key: empty", {"--key", ""}, "--key needs 32 hexadecimal digits");
    row("key: from the environment", {}, "the frame key from the environment variable KESTREL_FRAME_KEY", QByteArray(),
        {"KESTREL_FRAME_KEY=00112233445566778899AABBCCDDEEFG"});
    row("key: from the settings file", {}, "the frame key from \"frameKey\" in the settings file", QByteArray(), {},
        "[General]\nframeKey=0011\n");
    row("key: the settings file is a FIFO", {}, "is a FIFO; a regular file is needed", QByteArray(), {}, "<fifo>");
    row("key: the settings file names the key in lower case", {}, "holds the unknown key \"framekey\"", QByteArray(),
        {}, "[General]\nframekey=00112233445566778899AABBCCDDEEFF\n");
    row("key: a bad one on the command line wins over a good environment", {"--key", "xyz"}, "from --key", QByteArray(),
        {"KESTREL_FRAME_KEY=00112233445566778899AABBCCDDEEFF"});
}

void TestModuleSimulator::programRefusesWhatItCannotUse()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, fileContent);
    QFETCH(QStringList, environment);
    QFETCH(QByteArray, settings);
    QFETCH(QString, message);

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("input.json"));
    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    if (!fileContent.isEmpty()) {
        QFile input(file);
        QVERIFY(input.open(QIODevice::WriteOnly));
        input.write(fileContent);
    }
    if (!settings.isEmpty()) {
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral(".config/kestrel")));
        const QString settingsPath = dir.filePath(QStringLiteral(".config/kestrel/kestrel.ini"));
        if (settings == "<fifo>") {
            QVERIFY(::mkfifo(QFile::encodeName(settingsPath).constData(), 0600) == 0);
        } else {
            QFile settingsFile(settingsPath);
            QVERIFY(settingsFile.open(QIODevice::WriteOnly));
            settingsFile.write(settings);
        }
    }
    for (QString &argument : arguments) {
        argument.replace(QLatin1String("@file"), file);
        argument.replace(QLatin1String("@fifo"), fifo);
        argument.replace(QLatin1String("@dir"), dir.path());
    }

    ChildProcess sim;
    QProcessEnvironment processEnvironment = programEnvironment(dir.path());
    for (const QString &variable : qAsConst(environment))
        processEnvironment.insert(variable.section('=', 0, 0), variable.section('=', 1));
    sim.setProcessEnvironment(processEnvironment);
    sim.start(QStringLiteral(KESTREL_SIM_PATH), arguments);
    QVERIFY(sim.waitForStarted());
    if (!sim.waitForFinished(ProgramStopMs)) {
        sim.kill();
        sim.waitForFinished();
        QFAIL("the simulator did not stop by itself");
    }
    const QByteArray errors = sim.readAllStandardError();
    const QByteArray output = sim.readAllStandardOutput();
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 2);
    QVERIFY2(errors.startsWith("kestrel-sim: ") && errors.contains(message.toUtf8()), errors.constData());
    QVERIFY2(!output.contains("listening"), output.constData());
}

// The help names the settings file; finding its name must not open it, even when the key is given.
void TestModuleSimulator::programHelpNeverWaitsOnTheSettingsFile()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral(".config/kestrel")));
    const QString settingsPath = dir.filePath(QStringLiteral(".config/kestrel/kestrel.ini"));
    QVERIFY(::mkfifo(QFile::encodeName(settingsPath).constData(), 0600) == 0);

    ChildProcess sim;
    startProgram(sim, {"--help", "--key", "00112233445566778899AABBCCDDEEFF"}, dir.path());
    if (!sim.waitForFinished(ProgramStopMs)) {
        sim.kill();
        sim.waitForFinished();
        QFAIL("the simulator waited");
    }
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
    const QByteArray help = sim.readAllStandardOutput();
    QVERIFY2(help.contains("\"frameKey\" in"), help.constData()); // the line that names the settings file
}

void TestModuleSimulator::programUsesTheFrameKeyOfEachSource_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("environmentKey");
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QByteArray>("key");

    const QByteArray one = "000102030405060708090A0B0C0D0E0F";
    const QByteArray two = "F0E0D0C0B0A090807060504030201000";
    QTest::newRow("--key") << QStringList({"--key", QString::fromLatin1(one)}) << QString() << QByteArray() << one;
    QTest::newRow("environment") << QStringList() << QString::fromLatin1(two) << QByteArray() << two;
    QTest::newRow("settings file") << QStringList() << QString() << "[General]\nframeKey=" + one + "\n" << one;
    QTest::newRow("--key over the environment")
        << QStringList({"--key", QString::fromLatin1(one)}) << QString::fromLatin1(two) << QByteArray() << one;
    QTest::newRow("environment over the settings file")
        << QStringList() << QString::fromLatin1(two) << "[General]\nframeKey=" + one + "\n"
        << two;
}

void TestModuleSimulator::programUsesTheFrameKeyOfEachSource()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, environmentKey);
    QFETCH(QByteArray, settings);
    QFETCH(QByteArray, key);

    QTemporaryDir dir;
    if (!settings.isEmpty()) {
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral(".config/kestrel")));
        QFile settingsFile(dir.filePath(QStringLiteral(".config/kestrel/kestrel.ini")));
        QVERIFY(settingsFile.open(QIODevice::WriteOnly));
        settingsFile.write(settings);
    }
    ChildProcess sim;
    QProcessEnvironment environment = programEnvironment(dir.path());
    if (!environmentKey.isEmpty())
        environment.insert(QLatin1String(FrameKeyVariable), environmentKey);
    sim.setProcessEnvironment(environment);
    sim.start(QStringLiteral(KESTREL_SIM_PATH),
              arguments + QStringList({"--mac", "02004B530001", "--state", dir.filePath("state.json")}));
    QVERIFY(sim.waitForStarted());
    QByteArray output;
    expectOutput(sim, output, "listening");

    // Both directions speak the chosen key: the reply decrypts with it, and a frame encrypted with it is applied.
    setFrameKey(reinterpret_cast<const quint8 *>(QByteArray::fromHex(key).constData()));
    broadcast(DiscoveryRequest);
    const QList<QByteArray> replies = collectReplies(1);
    QCOMPARE(replies.size(), 1);
    DeviceRecord module = decodeDeviceReply(replies.first(), QString());
    QCOMPARE(module.macAddress, QStringLiteral("02004B530001"));
    module.baudRate = QStringLiteral("38400");
    broadcast(configFrameFor(module));
    QList<DeviceRecord> saved;
    QString error;
    QTRY_VERIFY(loadModules(dir.filePath("state.json"), &saved, &error)
                && saved.first().baudRate == QLatin1String("38400"));

    sim.terminate();
    QVERIFY(sim.waitForFinished(ProgramStopMs));
    QCOMPARE(sim.exitCode(), 0);
}

void TestModuleSimulator::programModulesCanIgnoreConfiguration()
{
    QTemporaryDir dir;
    const QString statePath = dir.filePath(QStringLiteral("state.json"));
    ChildProcess sim;
    startProgram(sim, {"--ignore-config", "--mac", "02004B530001", "--state", statePath}, dir.path());
    QByteArray output;
    expectOutput(sim, output, "listening");
    QFile state(statePath);
    QVERIFY(state.open(QIODevice::ReadOnly));
    const QByteArray before = state.readAll();
    state.close();

    QList<DeviceRecord> modules;
    QString error;
    QVERIFY2(loadModules(statePath, &modules, &error), qPrintable(error));
    DeviceRecord edited = modules.first();
    edited.baudRate = QStringLiteral("57600");
    broadcast(configFrameFor(edited));
    broadcast(DiscoveryRequest); // answered after the frame has been heard
    const QList<QByteArray> replies = collectReplies(1);
    QCOMPARE(replies.size(), 1);
    QCOMPARE(decodeDeviceReply(replies.first(), QString()).baudRate, QStringLiteral("9600"));
    QVERIFY(state.open(QIODevice::ReadOnly));
    QCOMPARE(state.readAll(), before);

    sim.terminate();
    QVERIFY(sim.waitForFinished(ProgramStopMs));
    QCOMPARE(sim.exitCode(), 0);
}

void TestModuleSimulator::failedSaveEndsTheProgramAfterTheReplies()
{
    QTemporaryDir dir;
    const QString stateDir = dir.filePath(QStringLiteral("state"));
    QVERIFY(QDir().mkpath(stateDir));
    const QString statePath = stateDir + QStringLiteral("/modules.json");
    ChildProcess sim;
    startProgram(sim, {"--count", "3", "--mac", "02004B530001", "--state", statePath}, dir.path());
    QByteArray output;
    expectOutput(sim, output, "listening");
    QList<DeviceRecord> modules;
    QString error;
    QVERIFY2(loadModules(statePath, &modules, &error), qPrintable(error));

    // The state can no longer be written: its directory is gone.
    QVERIFY(QDir(stateDir).removeRecursively());
    DeviceRecord edited = modules.at(2);
    edited.baudRate = QStringLiteral("57600");
    broadcast(DiscoveryRequest);
    broadcast(configFrameFor(edited));

    const QList<QByteArray> replies = collectReplies(3);
    QCOMPARE(replies.size(), 3);
    if (sim.state() != QProcess::NotRunning && !sim.waitForFinished(ProgramStopMs)) {
        sim.kill();
        sim.waitForFinished();
        QFAIL("the simulator went on after the state could not be saved");
    }
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 1);
    const QByteArray errors = sim.readAllStandardError();
    QVERIFY2(errors.contains("could not save the state") && errors.contains(statePath.toUtf8()), errors.constData());
}

KESTREL_NETWORK_TEST_MAIN(TestModuleSimulator, QCoreApplication)
#include "tst_modulesimulator.moc"
