#include "arriveddatagram.h"
#include "deviceendpoint.h"
#include "frameconstants.h"
#include "privatenetwork.h"
#include "socketbatchreader.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QSignalSpy>
#include <QUdpSocket>
#include <QtEndian>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// What tst_deviceendpoint's environment caps every receive buffer at (KESTREL_RCVBUF_CAP); the system grants twice.
constexpr int CappedReceiveBuffer = 16384;
// Far more 64-byte datagrams than a queue of that size holds (each takes about a kilobyte of it).
constexpr int Burst = 2000;
constexpr int WaitMs = 60000;
const QByteArray Sentinel("END");

// Another host on the segment: the namespace's second address, an ephemeral port.
constexpr char PeerAddress[] = "10.231.0.2";

int interfaceIndex(const char *name)
{
    return QNetworkInterface::interfaceFromName(QLatin1String(name)).index();
}

// Datagram number `sequence` of a burst, `length` bytes: the number first, then a pattern that depends on both.
QByteArray numbered(quint32 sequence, int length)
{
    QByteArray bytes(length, Qt::Uninitialized);
    for (int i = 0; i < length; ++i)
        bytes[i] = char((sequence * 131 + quint32(i) * 7) & 0xff);
    if (length >= 4)
        qToBigEndian(sequence, bytes.data());
    return bytes;
}

// What the endpoint hands over once something has arrived; empty when nothing does.
QVector<QNetworkDatagram> takeSome(DeviceEndpoint &endpoint)
{
    QDeadlineTimer deadline(WaitMs);
    QVector<QNetworkDatagram> taken = endpoint.takeDatagrams(256);
    while (taken.isEmpty() && !deadline.hasExpired()) {
        QTest::qWait(5);
        taken = endpoint.takeDatagrams(256);
    }
    return taken;
}

// Everything the endpoint hands over before the sentinel; fails the test when it does not come.
QVector<QNetworkDatagram> takeUntilSentinel(DeviceEndpoint &endpoint, bool *complete)
{
    QVector<QNetworkDatagram> taken;
    *complete = false;
    QDeadlineTimer deadline(WaitMs);
    while (!*complete && !deadline.hasExpired()) {
        const QVector<QNetworkDatagram> batch = endpoint.takeDatagrams(256);
        for (const QNetworkDatagram &datagram : batch) {
            if (*complete)
                taken.append(datagram); // anything after the sentinel is a fault the caller sees
            else if (datagram.data() == Sentinel)
                *complete = true;
            else
                taken.append(datagram);
        }
        if (batch.isEmpty() && !*complete)
            QTest::qWait(5);
    }
    return taken;
}

} // namespace

class TestDatagramReader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void datagramsArriveWhole_data();
    void datagramsArriveWhole();
    void dropsAreCountedExactly();
    void batchReaderReportsTheSystemsDropCount();
    void heldDatagramsAreHandedOverWithoutCopies();

private:
    void bindPeer(QUdpSocket &peer);
};

void TestDatagramReader::initTestCase()
{
    // The drop tests mean something only when the queue is as small as the environment says.
    QUdpSocket probe;
    QVERIFY(probe.bind(QHostAddress(QHostAddress::AnyIPv4), 0));
    probe.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4 * 1024 * 1024);
    QVERIFY2(probe.socketOption(QAbstractSocket::ReceiveBufferSizeSocketOption).toInt() <= 2 * CappedReceiveBuffer,
             "receive buffers are not capped: run through ctest, which preloads the clamping library");
}

void TestDatagramReader::bindPeer(QUdpSocket &peer)
{
    QVERIFY(peer.bind(QHostAddress(QLatin1String(PeerAddress)), 0));
}

void TestDatagramReader::datagramsArriveWhole_data()
{
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QString>("adapter");
    // Straight to the tool's host, and as a broadcast on the segment, which the system loops back through kst0.
    QTest::newRow("unicast") << QStringLiteral("127.0.0.1") << QStringLiteral("lo");
    QTest::newRow("broadcast") << QStringLiteral("10.231.0.255") << QStringLiteral("kst0");
}

// Every length arrives whole and in order, from the sender's address and port, through the adapter it came in
// on: the short ones a reply's slot holds, those just past it and the largest a datagram can be.
void TestDatagramReader::datagramsArriveWhole()
{
    QFETCH(QString, destination);
    QFETCH(QString, adapter);
    DeviceEndpoint endpoint;
    QVERIFY(endpoint.bind());
    QUdpSocket peer;
    bindPeer(peer);

    // One at a time: the queue is capped small, and this is about what arrives, not about what overflows.
    const QVector<int> lengths = {1, 63, 64, 65, 255, 256, 257, 1472, 3000, 65507};
    for (int i = 0; i < lengths.size(); ++i) {
        const QByteArray sent = numbered(quint32(i), lengths.at(i));
        QCOMPARE(peer.writeDatagram(sent, QHostAddress(destination), DevicePort), qint64(sent.size()));
        const QVector<QNetworkDatagram> taken = takeSome(endpoint);
        QCOMPARE(taken.size(), 1);
        const QNetworkDatagram &datagram = taken.first();
        QCOMPARE(datagram.data().size(), sent.size());
        QCOMPARE(datagram.data(), sent);
        QVERIFY(datagram.senderAddress().isEqual(QHostAddress(QLatin1String(PeerAddress)),
                                                 QHostAddress::ConvertV4MappedToIPv4));
        QCOMPARE(datagram.senderPort(), int(peer.localPort()));
        QCOMPARE(int(datagram.interfaceIndex()), interfaceIndex(adapter.toLatin1().constData()));
        QVERIFY(datagram.destinationAddress().isEqual(QHostAddress(destination), QHostAddress::ConvertV4MappedToIPv4));
    }
    QCOMPARE(peer.writeDatagram(Sentinel, QHostAddress(destination), DevicePort), qint64(Sentinel.size()));
    bool complete = false;
    QVERIFY(takeUntilSentinel(endpoint, &complete).isEmpty());
    QVERIFY(complete);
    QCOMPARE(endpoint.droppedDatagrams(), quint64(0));
}

// A reader that gets no core: the system's queue overflows, and every datagram sent is either taken, in order and
// intact, or counted as dropped.
void TestDatagramReader::dropsAreCountedExactly()
{
    if (!DeviceEndpoint::countsDrops())
        QSKIP("this reader cannot count drops (the portable reader, as on Windows)");
    DeviceEndpoint endpoint;
    QVERIFY(endpoint.bind());
    QUdpSocket peer;
    bindPeer(peer);
    const QHostAddress tool(QStringLiteral("127.0.0.1"));

    endpoint.holdReading(true);
    for (int i = 0; i < Burst; ++i)
        QCOMPARE(peer.writeDatagram(numbered(quint32(i), FrameSize), tool, DevicePort), qint64(FrameSize));
    // Counted while nothing is read: the system's own count, before any later datagram could report it.
    QVERIFY2(endpoint.droppedDatagrams() > 0, "the capped queue did not overflow");
    endpoint.holdReading(false);

    QVector<QNetworkDatagram> taken;
    QDeadlineTimer deadline(WaitMs);
    while (quint64(taken.size()) + endpoint.droppedDatagrams() < quint64(Burst) && !deadline.hasExpired())
        taken += takeSome(endpoint);
    QCOMPARE(peer.writeDatagram(Sentinel, tool, DevicePort), qint64(Sentinel.size()));
    bool complete = false;
    const QVector<QNetworkDatagram> afterwards = takeUntilSentinel(endpoint, &complete);
    QVERIFY(complete);
    QVERIFY(afterwards.isEmpty());

    QVERIFY(!taken.isEmpty());
    quint32 previous = 0;
    for (int i = 0; i < taken.size(); ++i) {
        const QByteArray bytes = taken.at(i).data();
        QCOMPARE(bytes.size(), FrameSize);
        const quint32 sequence = qFromBigEndian<quint32>(bytes.constData());
        QVERIFY2(i == 0 || sequence > previous, "datagrams were taken out of order");
        QVERIFY(sequence < quint32(Burst));
        QCOMPARE(bytes, numbered(sequence, FrameSize));
        QCOMPARE(taken.at(i).senderPort(), int(peer.localPort()));
        QCOMPARE(int(taken.at(i).interfaceIndex()), interfaceIndex("lo"));
        previous = sequence;
    }
    QCOMPARE(quint64(taken.size()) + endpoint.droppedDatagrams(), quint64(Burst));
}

// The batch reader on its own: the system reports its drop count with the first datagram queued after a drop, and
// the reader hands it on, exactly.
void TestDatagramReader::batchReaderReportsTheSystemsDropCount()
{
    if (!DeviceEndpoint::countsDrops())
        QSKIP("this reader cannot count drops (the portable reader, as on Windows)");
    QUdpSocket receiver;
    QUdpSocket sender;
    QVERIFY(receiver.bind(QHostAddress(QHostAddress::LocalHost), 0));
    QVERIFY(sender.bind(QHostAddress(QHostAddress::LocalHost), 0));
    receiver.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, CappedReceiveBuffer);
    SocketBatchReader reader;
    QString error;
    // Read here, without an event loop: nothing needs announcing.
    QVERIFY2(reader.attach(&receiver, [] {}, &error), qPrintable(error));
    const auto send = [&](quint32 sequence) {
        return sender.writeDatagram(numbered(sequence, FrameSize), QHostAddress(QHostAddress::LocalHost),
                                    receiver.localPort())
            == FrameSize;
    };

    for (int i = 0; i < Burst; ++i)
        QVERIFY(send(quint32(i)));
    int taken = 0;
    for (int count; (count = reader.read()) > 0;)
        taken += count;
    QVERIFY2(taken < Burst, "the small queue did not overflow");
    QVERIFY(send(quint32(Burst)));
    QCOMPARE(reader.read(), 1);
    quint32 dropped = 0;
    QVERIFY2(reader.dropCount(&dropped), "the drop count came with the datagram but was not reported");
    QCOMPARE(quint64(dropped), quint64(Burst - taken));
}

// The allocation-free way of taking gives the same datagrams as the copying one, and the signal that something
// arrived comes again once everything was taken.
void TestDatagramReader::heldDatagramsAreHandedOverWithoutCopies()
{
    DeviceEndpoint endpoint;
    QVERIFY(endpoint.bind());
    QSignalSpy arrived(&endpoint, &DeviceEndpoint::datagramsArrived);
    QUdpSocket peer;
    bindPeer(peer);
    const QHostAddress tool(QStringLiteral("127.0.0.1"));

    constexpr int Count = 10;
    endpoint.holdReading(true);
    for (int i = 0; i < Count; ++i)
        QCOMPARE(peer.writeDatagram(numbered(quint32(i), FrameSize), tool, DevicePort), qint64(FrameSize));
    endpoint.holdReading(false);
    QTRY_VERIFY_WITH_TIMEOUT(arrived.count() >= 1, WaitMs);

    QVector<QByteArray> seen;
    QDeadlineTimer deadline(WaitMs);
    while (seen.size() < Count && !deadline.hasExpired()) {
        const int handed = endpoint.takeDatagrams(3, [&](const ArrivedDatagram &datagram) {
            seen.append(QByteArray(datagram.data, datagram.length));
            QCOMPARE(datagram.senderPort, peer.localPort());
            QCOMPARE(datagram.interfaceIndex, interfaceIndex("lo"));
            QCOMPARE(datagram.senderAddress().toIPv4Address(),
                     QHostAddress(QLatin1String(PeerAddress)).toIPv4Address());
        });
        QVERIFY(handed <= 3);
        if (handed == 0)
            QTest::qWait(5);
    }
    QCOMPARE(seen.size(), Count);
    for (int i = 0; i < Count; ++i)
        QCOMPARE(seen.at(i), numbered(quint32(i), FrameSize));
    QVERIFY(!endpoint.hasDatagrams());

    const int signalsBefore = arrived.count();
    QCOMPARE(peer.writeDatagram(Sentinel, tool, DevicePort), qint64(Sentinel.size()));
    QTRY_VERIFY_WITH_TIMEOUT(arrived.count() > signalsBefore, WaitMs);
    const QVector<QNetworkDatagram> last = endpoint.takeDatagrams(10);
    QCOMPARE(last.size(), 1);
    QCOMPARE(last.first().data(), Sentinel);
}

KESTREL_NETWORK_TEST_MAIN(TestDatagramReader, QCoreApplication)

#include "tst_datagramreader.moc"
