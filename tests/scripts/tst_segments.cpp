#include "broadcastinterfaces.h"
#include "childprocess.h"
#include "datagramsbefore.h"
#include "frameconstants.h"
#include "privatenetwork.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QProcess>
#include <QUdpSocket>
#include <QtTest>

#include <memory>
#include <vector>

namespace {

int segmentCount()
{
    return qEnvironmentVariableIntValue("KESTREL_SEGMENTS");
}

// segmentpeer ARGUMENTS on segment k, started the way any test starts a program there.
std::unique_ptr<QProcess> startOnSegment(int k, const QStringList &arguments)
{
    auto process = std::make_unique<ChildProcess>();
    process->start(QStringLiteral(KESTREL_SOURCE_DIR "/scripts/segment-exec.sh"),
                   QStringList {QString::number(k), QStringLiteral(SEGMENT_PEER_PATH)} + arguments);
    return process;
}

uint adapterIndex(int k)
{
    return uint(QNetworkInterface::interfaceIndexFromName(QStringLiteral("kseg%1").arg(k)));
}

} // namespace

// The namespace of scripts/netns-segments.sh as the window finds it: one adapter per segment, and a
// broadcast through one adapter reaches that segment once and no other.
class TestSegments : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everySegmentHasItsAdapter();
    void broadcastReachesOnlyItsSegment_data();
    void broadcastReachesOnlyItsSegment();
    void segmentBroadcastArrivesOnItsAdapter_data();
    void segmentBroadcastArrivesOnItsAdapter();
};

void TestSegments::initTestCase()
{
    QVERIFY2(segmentCount() >= 3, "run through scripts/netns-segments.sh --segments 3");
}

void TestSegments::everySegmentHasItsAdapter()
{
    const QList<BroadcastInterface> adapters = broadcastInterfaces();
    QCOMPARE(adapters.size(), segmentCount());
    for (int k = 1; k <= segmentCount(); ++k) {
        const BroadcastInterface &adapter = adapters.at(k - 1);
        QCOMPARE(adapter.name, QStringLiteral("kseg%1").arg(k));
        QCOMPARE(adapter.ipv4Entries.size(), 1);
        QCOMPARE(adapter.ipv4Entries.first().ip(), QHostAddress(QStringLiteral("10.231.%1.1").arg(k)));
        QCOMPARE(adapter.ipv4Entries.first().prefixLength(), 24);
        QCOMPARE(adapter.ipv4Entries.first().broadcast(), QHostAddress(QStringLiteral("10.231.%1.255").arg(k)));
    }
}

void TestSegments::broadcastReachesOnlyItsSegment_data()
{
    QTest::addColumn<int>("adapter"); // 0: no adapter named, the default route decides
    QTest::addColumn<int>("reachedSegment");

    QTest::newRow("through kseg1") << 1 << 1;
    QTest::newRow("through kseg2") << 2 << 2;
    QTest::newRow("through kseg3") << 3 << 3;
    QTest::newRow("by the default route, via segment 1") << 0 << 1;
}

void TestSegments::broadcastReachesOnlyItsSegment()
{
    QFETCH(int, adapter);
    QFETCH(int, reachedSegment);

    std::vector<std::unique_ptr<QProcess>> listeners;
    for (int k = 1; k <= segmentCount(); ++k) {
        listeners.push_back(startOnSegment(k, {QStringLiteral("listen")}));
        QVERIFY(listeners.back()->waitForReadyRead(10000));
        QCOMPARE(listeners.back()->readLine(), QByteArray("listening\n"));
    }
    QUdpSocket tool;
    QVERIFY(tool.bind(QHostAddress::AnyIPv4, DevicePort, QAbstractSocket::ShareAddress));

    const QByteArray payload = QByteArray(QTest::currentDataTag()).replace(' ', '-');
    QNetworkDatagram search(payload, QHostAddress(QLatin1String(BroadcastAddress)), DevicePort);
    if (adapter > 0)
        search.setInterfaceIndex(adapterIndex(adapter));
    QCOMPARE(tool.writeDatagram(search), qint64(payload.size()));
    for (int k = 1; k <= segmentCount(); ++k) {
        QNetworkDatagram end("END", QHostAddress(QLatin1String(BroadcastAddress)), DevicePort);
        end.setInterfaceIndex(adapterIndex(k));
        QCOMPARE(tool.writeDatagram(end), qint64(3));
    }

    for (int k = 1; k <= segmentCount(); ++k) {
        QProcess &listener = *listeners.at(size_t(k - 1));
        QVERIFY(listener.waitForFinished(10000));
        QCOMPARE(listener.exitCode(), 0);
        const QByteArray heard = listener.readAllStandardOutput();
        const QByteArray expected
            = k == reachedSegment ? payload + " from 10.231." + QByteArray::number(k) + ".1\n" : QByteArray();
        QCOMPARE(heard, expected);
    }
    bool complete = false;
    const QList<QNetworkDatagram> own = datagramsBefore(tool, "END", &complete);
    QVERIFY(complete);
    QCOMPARE(own.size(), 1);
    QCOMPARE(own.first().data(), payload);
}

void TestSegments::segmentBroadcastArrivesOnItsAdapter_data()
{
    QTest::addColumn<int>("segment");
    for (int k = 1; k <= 3; ++k)
        QTest::addRow("from segment %d", k) << k;
}

void TestSegments::segmentBroadcastArrivesOnItsAdapter()
{
    QFETCH(int, segment);

    QUdpSocket tool;
    QVERIFY(tool.bind(QHostAddress::AnyIPv4, DevicePort, QAbstractSocket::ShareAddress));
    const std::unique_ptr<QProcess> module = startOnSegment(segment, {"send", "reply", "END"});
    QVERIFY(module->waitForFinished(10000));
    QCOMPARE(module->exitCode(), 0);

    bool complete = false;
    const QList<QNetworkDatagram> received = datagramsBefore(tool, "END", &complete);
    QVERIFY(complete);
    QCOMPARE(received.size(), 1);
    QCOMPARE(received.first().data(), QByteArray("reply"));
    QCOMPARE(received.first().senderAddress(), QHostAddress(QStringLiteral("10.231.%1.2").arg(segment)));
    QCOMPARE(uint(received.first().interfaceIndex()), adapterIndex(segment));
}

KESTREL_NETWORK_TEST_MAIN(TestSegments, QCoreApplication)

#include "tst_segments.moc"
