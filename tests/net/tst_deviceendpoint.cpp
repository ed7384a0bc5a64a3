#include "deviceendpoint.h"
#include "frameconstants.h"
#include "privatenetwork.h"

#include <QAtomicInt>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QProcess>
#include <QSignalSpy>
#include <QUdpSocket>
#include <QtTest>

#include <algorithm>
#include <climits>

namespace {

// A bound for something to arrive, never a time that must pass: generous, as the suite shares a busy machine.
constexpr int Patience = 60000;

QByteArray numbered(int n)
{
    return QByteArray("datagram ") + QByteArray::number(n);
}

// Everything pending on the socket, appended to what was heard before.
bool readAll(QUdpSocket &socket, QVector<QNetworkDatagram> &heard)
{
    while (socket.hasPendingDatagrams())
        heard << socket.receiveDatagram();
    return true;
}

bool heardData(const QVector<QNetworkDatagram> &heard, const QByteArray &data)
{
    return std::any_of(heard.cbegin(), heard.cend(), [&data](const QNetworkDatagram &d) { return d.data() == data; });
}

// Plays a host on the segment: sends from its own address on the device port.
class Peer
{
public:
    explicit Peer(const QString &address)
    {
        bound = socket.bind(QHostAddress(address), DevicePort, QAbstractSocket::ShareAddress);
    }
    bool isBound() const { return bound; }
    bool broadcast(const QByteArray &datagram)
    {
        return socket.writeDatagram(datagram, QHostAddress(QLatin1String(BroadcastAddress)), DevicePort)
            == datagram.size();
    }

private:
    QUdpSocket socket;
    bool bound = false;
};

} // namespace

// The device port as the window and kestrelctl use it: what arrives is handed over in order of arrival and
// announced once per hand-over; what is sent leaves in order, and a flush returns after it.
class TestDeviceEndpoint : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void datagramsAreHandedOverInOrderOfArrival();
    void arrivalIsSignalledOnlyWhenNothingWasWaiting();
    void takeHandsOverTheOldestFirst();
    void aFullQueueDropsAndCounts();
    void sendsLeaveInOrderFromTheDevicePort();
    void sendThroughAnAdapterHasItsAddressAsSender();
    void flushReturnsTheFailuresOfTheSendsBeforeIt();

private:
    DeviceEndpoint *endpoint = nullptr;
};

void TestDeviceEndpoint::init()
{
    endpoint = new DeviceEndpoint;
    QString error;
    QVERIFY2(endpoint->bind(&error), qPrintable(error));
    QVERIFY(endpoint->isBound());
}

void TestDeviceEndpoint::cleanup()
{
    delete endpoint;
    endpoint = nullptr;
}

// A caller that takes everything whenever told finds every datagram, in order, with where it came from, and is
// never told when there is nothing to take.
void TestDeviceEndpoint::datagramsAreHandedOverInOrderOfArrival()
{
    constexpr int Count = 500;
    QVector<QNetworkDatagram> taken;
    int announcements = 0;
    int emptyHandOvers = 0;
    connect(
        endpoint, &DeviceEndpoint::datagramsArrived, this,
        [&] {
            ++announcements;
            const QVector<QNetworkDatagram> batch = endpoint->takeDatagrams(INT_MAX);
            if (batch.isEmpty())
                ++emptyHandOvers;
            taken += batch;
        },
        Qt::QueuedConnection);

    Peer module(QStringLiteral("10.231.0.2"));
    QVERIFY(module.isBound());
    for (int n = 0; n < Count; ++n)
        QVERIFY(module.broadcast(numbered(n)));
    QTRY_COMPARE_WITH_TIMEOUT(taken.size(), Count, Patience);

    for (int n = 0; n < Count; ++n) {
        QCOMPARE(taken.at(n).data(), numbered(n));
        // The endpoint listens on the dual-stack address, so an IPv4 sender may come as its mapped form.
        QVERIFY2(taken.at(n).senderAddress().isEqual(QHostAddress(QStringLiteral("10.231.0.2")),
                                                     QHostAddress::ConvertV4MappedToIPv4),
                 qPrintable(taken.at(n).senderAddress().toString()));
        QCOMPARE(taken.at(n).senderPort(), int(DevicePort));
    }
    QVERIFY(announcements >= 1);
    QCOMPARE(emptyHandOvers, 0);
    QVERIFY(!endpoint->hasDatagrams());
}

// Datagrams that arrive while others wait untaken raise no signal: the caller, already told, takes them all.
void TestDeviceEndpoint::arrivalIsSignalledOnlyWhenNothingWasWaiting()
{
    // Counted where the signal is emitted, in the endpoint's reader thread.
    QAtomicInt arrived;
    connect(
        endpoint, &DeviceEndpoint::datagramsArrived, endpoint, [&arrived] { arrived.ref(); }, Qt::DirectConnection);
    Peer module(QStringLiteral("10.231.0.2"));
    QVERIFY(module.isBound());
    QVERIFY(module.broadcast(numbered(0)));
    QTRY_COMPARE_WITH_TIMEOUT(arrived.loadAcquire(), 1, Patience);
    QVERIFY(endpoint->hasDatagrams());

    // More arrive, nothing is taken; a plain socket hears the last, so the endpoint's socket has them all too.
    QUdpSocket witness;
    QVERIFY(witness.bind(QHostAddress::AnyIPv4, DevicePort, QAbstractSocket::ShareAddress));
    for (int n = 1; n <= 5; ++n)
        QVERIFY(module.broadcast(numbered(n)));
    QVector<QNetworkDatagram> witnessed;
    QTRY_VERIFY_WITH_TIMEOUT(readAll(witness, witnessed) && heardData(witnessed, numbered(5)), Patience);
    QCOMPARE(arrived.loadAcquire(), 1);

    QVector<QByteArray> taken;
    QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                 for (const QNetworkDatagram &datagram : endpoint->takeDatagrams(INT_MAX))
                                     taken << datagram.data();
                                 return taken.contains(numbered(5));
                             }()),
                             Patience);
    QCOMPARE(taken,
             (QVector<QByteArray> {numbered(0), numbered(1), numbered(2), numbered(3), numbered(4), numbered(5)}));
    // Emptied, the queue announces the next arrival again.
    const int before = arrived.loadAcquire();
    QVERIFY(module.broadcast(numbered(6)));
    QTRY_COMPARE_WITH_TIMEOUT(arrived.loadAcquire(), before + 1, Patience);
    QCOMPARE(endpoint->takeDatagrams(INT_MAX).constFirst().data(), numbered(6));
}

// A caller that takes a few at a time (the window lists in slices) gets the oldest first and finds the rest waiting.
void TestDeviceEndpoint::takeHandsOverTheOldestFirst()
{
    Peer module(QStringLiteral("10.231.0.2"));
    QVERIFY(module.isBound());
    QAtomicInt arrived;
    connect(
        endpoint, &DeviceEndpoint::datagramsArrived, endpoint, [&arrived] { arrived.ref(); }, Qt::DirectConnection);
    for (int n = 0; n < 10; ++n)
        QVERIFY(module.broadcast(numbered(n)));

    QVector<QByteArray> taken;
    QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                 const QVector<QNetworkDatagram> slice = endpoint->takeDatagrams(3);
                                 if (slice.size() > 3)
                                     return true; // fails below
                                 for (const QNetworkDatagram &datagram : slice)
                                     taken << datagram.data();
                                 return taken.size() >= 10;
                             }()),
                             Patience);
    QCOMPARE(taken.size(), 10);
    for (int n = 0; n < 10; ++n)
        QCOMPARE(taken.at(n), numbered(n));
    QVERIFY(endpoint->takeDatagrams(3).isEmpty());
    QVERIFY(!endpoint->hasDatagrams());
    QVERIFY(arrived.loadAcquire() >= 1);
}

// What is sent leaves from port 1500 to the broadcast address, in the order it was asked for.
// A caller that takes nothing while a flood arrives holds no more than the queue's limit: the oldest datagrams,
// in order; the rest is counted as dropped, and so is what is discarded unread.
void TestDeviceEndpoint::aFullQueueDropsAndCounts()
{
    constexpr int Limit = 100;
    constexpr int Sent = 300;
    endpoint->setQueueLimit(Limit);
    const quint64 droppedBefore = endpoint->droppedDatagrams();
    Peer module(QStringLiteral("10.231.0.2"));
    QVERIFY(module.isBound());
    for (int n = 0; n < Sent; ++n)
        QVERIFY(module.broadcast(numbered(n)));
    QTRY_COMPARE_WITH_TIMEOUT(endpoint->droppedDatagrams() - droppedBefore, quint64(Sent - Limit), Patience);

    const QVector<QNetworkDatagram> held = endpoint->takeDatagrams(INT_MAX);
    QCOMPARE(held.size(), Limit);
    for (int n = 0; n < Limit; ++n)
        QCOMPARE(held.at(n).data(), numbered(n));

    // Taken, the queue has room again; what waits unread when it is discarded counts as dropped too.
    QVERIFY(module.broadcast(numbered(Sent)));
    QVERIFY(module.broadcast(numbered(Sent + 1)));
    QTRY_VERIFY_WITH_TIMEOUT(endpoint->hasDatagrams(), Patience);
    const QVector<QNetworkDatagram> first = endpoint->takeDatagrams(1);
    QCOMPARE(first.size(), 1);
    QCOMPARE(first.constFirst().data(), numbered(Sent));
    int discarded = 0;
    QTRY_VERIFY_WITH_TIMEOUT((discarded += endpoint->discardDatagrams()) > 0, Patience);
    QCOMPARE(discarded, 1);
    QVERIFY(!endpoint->hasDatagrams());
    QCOMPARE(endpoint->droppedDatagrams() - droppedBefore, quint64(Sent - Limit + 1));
}

void TestDeviceEndpoint::sendsLeaveInOrderFromTheDevicePort()
{
    QUdpSocket listener;
    QVERIFY(listener.bind(QHostAddress::AnyIPv4, DevicePort, QAbstractSocket::ShareAddress));
    constexpr int Count = 200;
    for (int n = 0; n < Count; ++n)
        endpoint->sendBroadcast(numbered(n));
    QCOMPARE(endpoint->flushSends(), QStringList());

    QVector<QNetworkDatagram> heard;
    QTRY_VERIFY_WITH_TIMEOUT(readAll(listener, heard) && heard.size() >= Count, Patience);
    QCOMPARE(heard.size(), Count);
    for (int n = 0; n < Count; ++n) {
        QCOMPARE(heard.at(n).data(), numbered(n));
        QCOMPARE(heard.at(n).senderPort(), int(DevicePort));
        QCOMPARE(heard.at(n).destinationAddress(), QHostAddress(QLatin1String(BroadcastAddress)));
        QCOMPARE(heard.at(n).destinationPort(), int(DevicePort));
    }
}

// Through a named adapter the adapter's own address is the sender; "everywhere" is once through each adapter.
void TestDeviceEndpoint::sendThroughAnAdapterHasItsAddressAsSender()
{
    QUdpSocket listener;
    QVERIFY(listener.bind(QHostAddress::AnyIPv4, DevicePort, QAbstractSocket::ShareAddress));
    const int kst0 = QNetworkInterface::interfaceIndexFromName(QStringLiteral("kst0"));
    QVERIFY(kst0 > 0);
    endpoint->sendBroadcast("through kst0", kst0);
    QCOMPARE(endpoint->sendBroadcastEverywhere("everywhere"), 1); // kst0 is the namespace's one adapter
    endpoint->sendBroadcast("the end");
    QCOMPARE(endpoint->flushSends(), QStringList());

    QVector<QNetworkDatagram> heard;
    QTRY_VERIFY_WITH_TIMEOUT(readAll(listener, heard) && heardData(heard, "the end"), Patience);
    QCOMPARE(heard.size(), 3);
    QCOMPARE(heard.at(0).data(), QByteArray("through kst0"));
    QCOMPARE(heard.at(0).senderAddress(), QHostAddress(QStringLiteral("10.231.0.1")));
    QCOMPARE(heard.at(1).data(), QByteArray("everywhere"));
    QCOMPARE(heard.at(1).senderAddress(), QHostAddress(QStringLiteral("10.231.0.1")));
}

// flushSends returns once the sends before it were tried, with the system's reasons for those that failed, each
// told once; sendFailed says the same as it happens.
void TestDeviceEndpoint::flushReturnsTheFailuresOfTheSendsBeforeIt()
{
    QSignalSpy failed(endpoint, &DeviceEndpoint::sendFailed);
    // Only inside this test's private namespace: without its one adapter (and so without a route) nothing leaves.
    QCOMPARE(QProcess::execute(QStringLiteral("ip"), {"link", "set", "kst0", "down"}), 0);
    endpoint->sendBroadcast("nowhere to go");
    endpoint->sendBroadcast("nor this");
    const QStringList reasons = endpoint->flushSends();
    QCOMPARE(reasons.size(), 2);
    QVERIFY2(reasons.first().contains(QStringLiteral("unreachable"), Qt::CaseInsensitive), qPrintable(reasons.first()));
    QCOMPARE(endpoint->flushSends(), QStringList());
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 2, Patience);
    QCOMPARE(failed.first().first().toString(), reasons.first());

    QCOMPARE(QProcess::execute(QStringLiteral("ip"), {"link", "set", "kst0", "up"}), 0);
    QProcess::execute(QStringLiteral("ip"), {"route", "replace", "default", "dev", "kst0"});
    endpoint->sendBroadcast("on the way again");
    QCOMPARE(endpoint->flushSends(), QStringList());
}

KESTREL_NETWORK_TEST_MAIN(TestDeviceEndpoint, QCoreApplication)
#include "tst_deviceendpoint.moc"
