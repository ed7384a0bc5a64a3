#include "broadcastinterfaces.h"
#include "datagramsbefore.h"
#include "frameconstants.h"
#include "privatenetwork.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QUdpSocket>
#include <QtTest>

#include <memory>
#include <vector>

// The namespace of scripts/netns-run.sh as the window finds it: one adapter, kst0, on which a broadcast
// reaches every socket on the device port exactly once, the sender's own included.
class TestOneSegment : public QObject
{
    Q_OBJECT

private slots:
    void kst0IsTheOnlyAdapter();
    void broadcastArrivesOnceAtEverySocket_data();
    void broadcastArrivesOnceAtEverySocket();
    void unicastToTheToolsAddressArrives();
};

void TestOneSegment::kst0IsTheOnlyAdapter()
{
    const QList<BroadcastInterface> adapters = broadcastInterfaces();
    QCOMPARE(adapters.size(), 1);
    QCOMPARE(adapters.first().name, QStringLiteral("kst0"));
    QCOMPARE(adapters.first().ipv4Entries.size(), 1);
    const QNetworkAddressEntry entry = adapters.first().ipv4Entries.first();
    QCOMPARE(entry.ip(), QHostAddress(QStringLiteral("10.231.0.1")));
    QCOMPARE(entry.prefixLength(), 24);
    QCOMPARE(entry.broadcast(), QHostAddress(QStringLiteral("10.231.0.255")));
}

void TestOneSegment::broadcastArrivesOnceAtEverySocket_data()
{
    QTest::addColumn<QString>("bindAddress");
    QTest::addColumn<quint16>("bindPort");
    QTest::addColumn<bool>("throughKst0");
    QTest::addColumn<QString>("expectedSource");

    // clang-format off
    QTest::newRow("from the device port, as the tool sends")
        << "0.0.0.0" << DevicePort << false << "10.231.0.1";
    QTest::newRow("from another port") << "0.0.0.0" << quint16(0) << false << "10.231.0.1";
    QTest::newRow("through kst0 named by its index") << "0.0.0.0" << DevicePort << true << "10.231.0.1";
    QTest::newRow("from the second address, as a test plays another host")
        << "10.231.0.2" << DevicePort << false << "10.231.0.2";
    // clang-format on
}

void TestOneSegment::broadcastArrivesOnceAtEverySocket()
{
    QFETCH(QString, bindAddress);
    QFETCH(quint16, bindPort);
    QFETCH(bool, throughKst0);
    QFETCH(QString, expectedSource);

    std::vector<std::unique_ptr<QUdpSocket>> listeners;
    for (int i = 0; i < 3; ++i) {
        listeners.push_back(std::make_unique<QUdpSocket>());
        QVERIFY(listeners.back()->bind(QHostAddress::AnyIPv4, DevicePort, QAbstractSocket::ShareAddress));
    }
    QUdpSocket sender;
    QVERIFY(sender.bind(QHostAddress(bindAddress), bindPort, QAbstractSocket::ShareAddress));
    const bool senderListens = bindAddress == QLatin1String("0.0.0.0") && bindPort == DevicePort;

    const QByteArray payload("once, please");
    for (const QByteArray &bytes : {payload, QByteArray("END")}) {
        QNetworkDatagram datagram(bytes, QHostAddress(QLatin1String(BroadcastAddress)), DevicePort);
        if (throughKst0)
            datagram.setInterfaceIndex(uint(QNetworkInterface::interfaceIndexFromName(QStringLiteral("kst0"))));
        QCOMPARE(sender.writeDatagram(datagram), qint64(bytes.size()));
    }

    std::vector<QUdpSocket *> receivers;
    for (const auto &listener : listeners)
        receivers.push_back(listener.get());
    if (senderListens)
        receivers.push_back(&sender);
    for (size_t i = 0; i < receivers.size(); ++i) {
        bool complete = false;
        const QList<QNetworkDatagram> received = datagramsBefore(*receivers.at(i), "END", &complete);
        QVERIFY2(complete, qPrintable(QStringLiteral("socket %1 missed the sentinel").arg(i)));
        QCOMPARE(received.size(), 1);
        QCOMPARE(received.first().data(), payload);
        QCOMPARE(received.first().senderAddress(), QHostAddress(expectedSource));
    }
}

void TestOneSegment::unicastToTheToolsAddressArrives()
{
    QUdpSocket tool;
    QVERIFY(tool.bind(QHostAddress::AnyIPv4, DevicePort, QAbstractSocket::ShareAddress));
    QUdpSocket module;
    QVERIFY(module.bind(QHostAddress(QStringLiteral("10.231.0.2")), DevicePort, QAbstractSocket::ShareAddress));
    for (const QByteArray &bytes : {QByteArray("a reply"), QByteArray("END")})
        QCOMPARE(module.writeDatagram(bytes, QHostAddress(QStringLiteral("10.231.0.1")), DevicePort),
                 qint64(bytes.size()));

    bool complete = false;
    const QList<QNetworkDatagram> received = datagramsBefore(tool, "END", &complete);
    QVERIFY(complete);
    QCOMPARE(received.size(), 1);
    QCOMPARE(received.first().data(), QByteArray("a reply"));
    QCOMPARE(received.first().senderAddress(), QHostAddress(QStringLiteral("10.231.0.2")));
    QCOMPARE(received.first().destinationAddress(), QHostAddress(QStringLiteral("10.231.0.1")));
}

KESTREL_NETWORK_TEST_MAIN(TestOneSegment, QCoreApplication)

#include "tst_onesegment.moc"
