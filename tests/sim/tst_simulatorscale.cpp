#include "childprocess.h"
#include "configframe.h"
#include "factorydefaults.h"
#include "framecipher.h"
#include "frameconstants.h"
#include "framekey.h"
#include "framekeysource.h"
#include "privatenetwork.h"
#include "replyframe.h"
#include "statefile.h"

#include <QAtomicInt>
#include <QNetworkDatagram>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QUdpSocket>
#include <QtTest>

#include <sys/socket.h>

namespace {

// Bounds, never durations: a hundred thousand modules on a busy machine may take minutes, a hang takes forever.
constexpr int Patience = 300000;

// Sent by the test once the simulator has sent every reply: heard last, it shows that nothing more came.
const QByteArray Sentinel("sentinel");

// Hears every datagram on the port on a thread of its own, so that a burst of replies is read as fast as it
// arrives, whatever the test's own thread is doing. Ends once it has heard the sentinel.
class DatagramRecorder : public QThread
{
public:
    // A test that fails half-way still ends the thread before it goes.
    ~DatagramRecorder() override
    {
        stopping.storeRelease(1);
        wait();
    }
    bool isListening() const { return listening.loadAcquire() != 0; }
    int frameCount() const { return frames.loadAcquire(); }
    // Only once the thread has finished.
    const QList<QByteArray> &datagrams() const { return heard; }

protected:
    void run() override
    {
        QUdpSocket socket;
        if (!socket.bind(QHostAddress::Any, DevicePort, QAbstractSocket::ShareAddress))
            return;
        // As much buffer as the kernel grants: beyond net.core.rmem_max where allowed.
        const int wanted = 64 << 20;
        if (::setsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_RCVBUFFORCE, &wanted, sizeof wanted) != 0)
            socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, wanted);
        listening.storeRelease(1);
        while (!stopping.loadAcquire()) {
            if (!socket.waitForReadyRead(100))
                continue;
            while (socket.hasPendingDatagrams()) {
                const QByteArray datagram = socket.receiveDatagram().data();
                if (datagram == Sentinel)
                    return;
                heard.append(datagram);
                if (datagram.size() == FrameSize)
                    frames.storeRelease(frames.loadRelaxed() + 1);
            }
        }
    }

private:
    QAtomicInt stopping;
    QAtomicInt listening;
    QAtomicInt frames;
    QList<QByteArray> heard;
};

} // namespace

// kestrel-sim with a hundred thousand modules: a scale test, run in the optimised build only.
class TestSimulatorScale : public QObject
{
    Q_OBJECT

private slots:
    void largeSearchIsAnsweredInFullWhileFramesKeepArriving();

private:
    void broadcast(QUdpSocket &tool, const QByteArray &datagram);
};

void TestSimulatorScale::broadcast(QUdpSocket &tool, const QByteArray &datagram)
{
    QCOMPARE(tool.writeDatagram(datagram, QHostAddress(QLatin1String(BroadcastAddress)), DevicePort),
             qint64(datagram.size()));
}

// The modules' own replies come back to the simulator on the port. Read and dropped as fast as they arrive, they
// leave room for what else arrives during the burst: a configuration frame sent half-way is still applied.
void TestSimulatorScale::largeSearchIsAnsweredInFullWhileFramesKeepArriving()
{
    constexpr int Modules = 100000;
    constexpr quint64 FirstMac = Q_UINT64_C(0x02004C000000);
    const auto macOf
        = [](int i) { return QStringLiteral("%1").arg(FirstMac + quint64(i), 12, 16, QLatin1Char('0')).toUpper(); };
    setFrameKey(BuiltInFrameKey);

    QTemporaryDir dir;
    const QString statePath = dir.filePath(QStringLiteral("state.json"));
    ChildProcess sim;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QLatin1String(FrameKeyVariable));
    environment.remove(QStringLiteral("XDG_CONFIG_HOME"));
    environment.insert(QStringLiteral("HOME"), dir.path());
    sim.setProcessEnvironment(environment);
    sim.start(QStringLiteral(KESTREL_SIM_PATH),
              {"--count", QString::number(Modules), "--mac", macOf(0), "--state", statePath});
    QVERIFY(sim.waitForStarted());
    QByteArray output;
    QTRY_VERIFY2_WITH_TIMEOUT((output += sim.readAllStandardOutput()).contains("listening"), output.constData(),
                              Patience);

    QUdpSocket tool;
    QVERIFY(tool.bind(QHostAddress::Any, DevicePort, QAbstractSocket::ShareAddress));
    DatagramRecorder recorder;
    recorder.start();
    QTRY_VERIFY(recorder.isListening());
    broadcast(tool, DiscoveryRequest);
    QTRY_VERIFY_WITH_TIMEOUT(recorder.frameCount() >= Modules / 2, Patience);
    DeviceRecord last = factoryDefaultRecord();
    last.macAddress = macOf(Modules - 1);
    last.baudRate = QStringLiteral("57600");
    broadcast(tool, buildConfigFrame(last, QByteArray(FillerSize, '\x07')).bytes);
    QTRY_VERIFY2_WITH_TIMEOUT((output += sim.readAllStandardOutput()).contains("sent all"), output.constData(),
                              Patience);
    broadcast(tool, Sentinel);
    QVERIFY(recorder.wait(Patience));

    int replies = 0;
    for (const QByteArray &datagram : recorder.datagrams()) {
        if (datagram.size() != FrameSize)
            continue;
        QByteArray plain = datagram;
        decryptFrame(reinterpret_cast<quint8 *>(plain.data()), FrameSize);
        if (!isDeviceReply(plain))
            continue;
        const QString mac = decodeDeviceReply(plain, QString()).macAddress;
        QVERIFY2(replies < Modules, qPrintable(QStringLiteral("reply %1 too many: %2").arg(replies).arg(mac)));
        // Every module once, in order.
        QCOMPARE(mac, macOf(replies));
        ++replies;
    }
    QCOMPARE(replies, Modules);

    QTRY_VERIFY2_WITH_TIMEOUT(
        (output += sim.readAllStandardOutput()).contains("configured " + macOf(Modules - 1).toLatin1()),
        output.constData(), Patience);
    // Stopped, the simulator has saved every change it applied: the state file is read once, as it stands.
    sim.terminate();
    QVERIFY(sim.waitForFinished(Patience));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
    QList<DeviceRecord> saved;
    QString error;
    QVERIFY2(loadModules(statePath, &saved, &error), qPrintable(error));
    QCOMPARE(saved.size(), Modules);
    QCOMPARE(saved.last().baudRate, QStringLiteral("57600"));
    QCOMPARE(saved.first().baudRate, QStringLiteral("9600"));
}

KESTREL_NETWORK_TEST_MAIN(TestSimulatorScale, QCoreApplication)
#include "tst_simulatorscale.moc"
