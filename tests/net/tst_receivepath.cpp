#include "arriveddatagram.h"
#include "configframe.h"
#include "factorydefaults.h"
#include "framechecksum.h"
#include "framecipher.h"
#include "frameconstants.h"
#include "hexfixture.h"
#include "receivepath.h"
#include "repeatedreplies.h"

#include <QHostAddress>
#include <QLoggingCategory>
#include <QNetworkDatagram>
#include <QtTest>

#include <cstring>

namespace {

// The key under which tests/data/factory-reply.wire.hex was made with OpenSSL.
const QByteArray FixtureKey = QByteArray::fromHex("2B7E151628AED2A6ABF7158809CF4F3C");

// Every message that reaches the handler while one is installed, whatever its category.
QStringList heardMessages;

void keepMessage(QtMsgType, const QMessageLogContext &, const QString &message)
{
    heardMessages << message;
}

// The messages the receive path writes for one datagram.
QStringList messagesFor(const QNetworkDatagram &datagram)
{
    heardMessages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(keepMessage);
    hearDatagram(datagram);
    qInstallMessageHandler(previous);
    return heardMessages;
}

QNetworkDatagram datagramFrom(const QByteArray &bytes, const QString &address, quint16 port)
{
    QNetworkDatagram datagram(bytes);
    datagram.setSender(QHostAddress(address), port);
    return datagram;
}

QByteArray encrypted(QByteArray frame)
{
    encryptFrame(reinterpret_cast<quint8 *>(frame.data()), FrameSize);
    return frame;
}

QString hexText(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex().toUpper());
}

DeviceRecord sighting(const QString &mac, const QString &sourceIp)
{
    DeviceRecord record;
    record.macAddress = mac;
    record.sourceIp = sourceIp;
    return record;
}

} // namespace

using Sighting = ReplyCollector::Sighting;
Q_DECLARE_METATYPE(Sighting)

// The receive path every program shares, fed datagrams as the endpoint hands them over.
class TestReceivePath : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    // First: it sees the rules as the environment set them, before any test changes them.
    void linesFollowTheEnvironment();
    void diagnosticLines_data();
    void diagnosticLines();
    void ruleOffKeepsEveryLineAway();
    void replyCarriesWhereItCameFrom();
    void otherDatagramsCarryNoReply_data();
    void otherDatagramsCarryNoReply();
    void repliesAreMergedByMac_data();
    void repliesAreMergedByMac();
    void repeatsAreKnownByTheirBytes_data();
    void repeatsAreKnownByTheirBytes();
    void everyDatagramGoesTheWholeWayWhileLinesAreOn();

private:
    QByteArray plainReply;
    QByteArray wireReply;
};

void TestReceivePath::initTestCase()
{
    setFrameKey(reinterpret_cast<const quint8 *>(FixtureKey.constData()));
    plainReply = readHexFixture(QFINDTESTDATA("../data/factory-reply.hex"));
    wireReply = readHexFixture(QFINDTESTDATA("../data/factory-reply.wire.hex"));
    QCOMPARE(plainReply.size(), FrameSize);
    QCOMPARE(wireReply.size(), FrameSize);
}

// Off unless QT_LOGGING_RULES switches the category on; ctest runs this once without the variable and once with
// "kestrel.datagram.debug=true".
void TestReceivePath::linesFollowTheEnvironment()
{
    const bool switchedOn = qgetenv("QT_LOGGING_RULES") == "kestrel.datagram.debug=true";
    const QStringList heard = messagesFor(datagramFrom(wireReply, QStringLiteral("::ffff:10.231.0.2"), DevicePort));
    if (switchedOn)
        QCOMPARE(heard,
                 QStringList({QStringLiteral("::ffff:10.231.0.2:1500[64]:") + hexText(wireReply), hexText(plainReply),
                              hexText(plainReply)}));
    else
        QCOMPARE(heard, QStringList());
}

void TestReceivePath::diagnosticLines_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<quint16>("port");
    QTest::addColumn<QStringList>("lines");

    const QString from = QStringLiteral("::ffff:10.231.0.2:");
    // A reply's decrypted frame is written twice: after decryption, and again once it passed every check.
    QTest::newRow("reply") << wireReply << quint16(DevicePort)
                           << QStringList({from + QStringLiteral("1500[64]:") + hexText(wireReply), hexText(plainReply),
                                           hexText(plainReply)});
    QTest::newRow("search request") << QByteArray("FFFF") << quint16(DevicePort)
                                    << QStringList({from + QStringLiteral("1500[4]:46464646")});
    QTest::newRow("from another port") << wireReply << quint16(DevicePort + 1)
                                       << QStringList({from + QStringLiteral("1501[64]:") + hexText(wireReply)});
    QTest::newRow("63 bytes") << wireReply.left(63) << quint16(DevicePort)
                              << QStringList({from + QStringLiteral("1500[63]:") + hexText(wireReply.left(63))});

    DeviceRecord target = factoryDefaultRecord();
    target.macAddress = QStringLiteral("001A2B3C4D5E");
    const QByteArray plainConfig = layoutConfigFrame(target, QByteArray(FillerSize, '\x07'));
    QByteArray wireConfig = plainConfig;
    encryptFrame(reinterpret_cast<quint8 *>(wireConfig.data()), FrameSize);
    QTest::newRow("configuration frame") << wireConfig << quint16(DevicePort)
                                         << QStringList({from + QStringLiteral("1500[64]:") + hexText(wireConfig),
                                                         hexText(plainConfig)});

    // Rejected after decryption: written once.
    QByteArray damagedWire = wireReply;
    damagedWire[FrameSize - 1] = char(damagedWire.at(FrameSize - 1) ^ 0x01);
    QByteArray damagedPlain = damagedWire;
    decryptFrame(reinterpret_cast<quint8 *>(damagedPlain.data()), FrameSize);
    QTest::newRow("bad checksum") << damagedWire << quint16(DevicePort)
                                  << QStringList({from + QStringLiteral("1500[64]:") + hexText(damagedWire),
                                                  hexText(damagedPlain)});
    QByteArray groupPlain = plainReply;
    groupPlain[MacOffset] = char(0x01);
    storeFrameChecksum(groupPlain);
    const QByteArray groupWire = encrypted(groupPlain);
    QTest::newRow("no module's reply") << groupWire << quint16(DevicePort)
                                       << QStringList({from + QStringLiteral("1500[64]:") + hexText(groupWire),
                                                       hexText(groupPlain)});
}

void TestReceivePath::diagnosticLines()
{
    QFETCH(QByteArray, bytes);
    QFETCH(quint16, port);
    QFETCH(QStringList, lines);
    QLoggingCategory::setFilterRules(QStringLiteral("kestrel.datagram.debug=true"));
    const QStringList heard = messagesFor(datagramFrom(bytes, QStringLiteral("::ffff:10.231.0.2"), port));
    QLoggingCategory::setFilterRules(QString());
    QCOMPARE(heard, lines);
}

void TestReceivePath::ruleOffKeepsEveryLineAway()
{
    QLoggingCategory::setFilterRules(QStringLiteral("kestrel.datagram.debug=false"));
    QStringList heard;
    for (const QByteArray &bytes : {wireReply, QByteArray("FFFF"), wireReply.left(63)})
        heard << messagesFor(datagramFrom(bytes, QStringLiteral("::ffff:10.231.0.2"), DevicePort));
    QLoggingCategory::setFilterRules(QString());
    QCOMPARE(heard, QStringList());
}

void TestReceivePath::replyCarriesWhereItCameFrom()
{
    QNetworkDatagram datagram = datagramFrom(wireReply, QStringLiteral("::ffff:10.231.0.2"), DevicePort);
    datagram.setInterfaceIndex(3);
    const std::optional<DeviceRecord> reply = hearModuleReply(datagram);
    QVERIFY(reply);
    QCOMPARE(reply->macAddress, QStringLiteral("001A2B3C4D5E"));
    QCOMPARE(reply->deviceName, QStringLiteral("KST-01"));
    QCOMPARE(reply->baudRate, QStringLiteral("9600"));
    QCOMPARE(reply->sourceIp, QStringLiteral("10.231.0.2"));
    QCOMPARE(reply->interfaceIndex, 3);
}

void TestReceivePath::otherDatagramsCarryNoReply_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<quint16>("port");

    QTest::newRow("search request") << QByteArray("FFFF") << quint16(DevicePort);
    QTest::newRow("from another port") << wireReply << quint16(DevicePort + 1);
    QTest::newRow("65 bytes") << wireReply + '\0' << quint16(DevicePort);
    QByteArray damaged = wireReply;
    damaged[20] = char(damaged.at(20) ^ 0x01);
    QTest::newRow("damaged") << damaged << quint16(DevicePort);
}

void TestReceivePath::otherDatagramsCarryNoReply()
{
    QFETCH(QByteArray, bytes);
    QFETCH(quint16, port);
    QVERIFY(!hearModuleReply(datagramFrom(bytes, QStringLiteral("::ffff:10.231.0.2"), port)));
}

// Each row: replies as "MAC@source", taken in order, and what the collector makes of each, with the address of
// the MAC's first reply. "clear" stands for a new search, "forget MAC" for a read-back that lists the MAC anew.
void TestReceivePath::repliesAreMergedByMac_data()
{
    QTest::addColumn<QStringList>("replies");
    QTest::addColumn<QVector<Sighting>>("sightings");
    QTest::addColumn<QStringList>("firstSources");

    QTest::newRow("two modules") << QStringList({"0A0000000001@10.0.0.1", "0A0000000002@10.0.0.2"})
                                 << QVector<Sighting>({Sighting::New, Sighting::New})
                                 << QStringList({"10.0.0.1", "10.0.0.2"});
    QTest::newRow("one module twice") << QStringList({"0A0000000001@10.0.0.1", "0A0000000001@10.0.0.1"})
                                      << QVector<Sighting>({Sighting::New, Sighting::Repeated})
                                      << QStringList({"10.0.0.1", "10.0.0.1"});
    QTest::newRow("one MAC from two addresses")
        << QStringList({"0A0000000001@10.0.0.1", "0A0000000001@10.0.0.9", "0A0000000001@10.0.0.1"})
        << QVector<Sighting>({Sighting::New, Sighting::OtherSource, Sighting::Repeated})
        << QStringList({"10.0.0.1", "10.0.0.1", "10.0.0.1"});
    QTest::newRow("MACs compare exactly")
        << QStringList({"0A000000000A@10.0.0.1", "0a000000000a@10.0.0.1"})
        << QVector<Sighting>({Sighting::New, Sighting::New}) << QStringList({"10.0.0.1", "10.0.0.1"});
    QTest::newRow("an IPv6 source")
        << QStringList({"0A0000000001@fe80::1", "0A0000000001@fe80::1", "0A0000000001@10.0.0.1"})
        << QVector<Sighting>({Sighting::New, Sighting::Repeated, Sighting::OtherSource})
        << QStringList({"fe80::1", "fe80::1", "fe80::1"});
    QTest::newRow("forgotten") << QStringList({"0A0000000001@10.0.0.1", "forget 0A0000000001", "0A0000000001@10.0.0.9"})
                               << QVector<Sighting>({Sighting::New, Sighting::New})
                               << QStringList({"10.0.0.1", "10.0.0.9"});
    QTest::newRow("a new search") << QStringList({"0A0000000001@10.0.0.1", "clear", "0A0000000001@10.0.0.9"})
                                  << QVector<Sighting>({Sighting::New, Sighting::New})
                                  << QStringList({"10.0.0.1", "10.0.0.9"});
}

void TestReceivePath::repliesAreMergedByMac()
{
    QFETCH(QStringList, replies);
    QFETCH(QVector<Sighting>, sightings);
    QFETCH(QStringList, firstSources);

    ReplyCollector collector;
    QVector<Sighting> made;
    QStringList firsts;
    for (const QString &reply : replies) {
        if (reply == QLatin1String("clear")) {
            collector.clear();
            continue;
        }
        if (reply.startsWith(QLatin1String("forget "))) {
            collector.forget(reply.section(QLatin1Char(' '), 1));
            continue;
        }
        const QStringList parts = reply.split(QLatin1Char('@'));
        QString first;
        made << collector.add(sighting(parts.at(0), parts.at(1)), &first);
        firsts << first;
    }
    QCOMPARE(made, sightings);
    QCOMPARE(firsts, firstSources);
}

namespace {

// A datagram as the endpoint hands it over, from an IPv4 sender in its IPv4-mapped form.
struct HeldDatagram {
    QByteArray bytes;
    ArrivedDatagram arrived;

    HeldDatagram(const QByteArray &data, const QString &ipv4, quint16 port)
        : bytes(data)
    {
        arrived.data = bytes.constData();
        arrived.length = bytes.size();
        arrived.senderPort = port;
        const Q_IPV6ADDR sender = QHostAddress(QStringLiteral("::ffff:") + ipv4).toIPv6Address();
        std::memcpy(arrived.sender, sender.c, sizeof arrived.sender);
    }
};

} // namespace

// Each row: datagrams as "frame@sender:port", taken in order as the search takes them (a datagram not known as a
// repeat is judged, and remembered when it is a module's reply), and whether each is known as a repeat. Frames:
// "a" and "b" are the replies of two modules, "noise" a 64-byte datagram that fails the checksum, "short" a 63-byte
// datagram; "clear" stands for a new search.
void TestReceivePath::repeatsAreKnownByTheirBytes_data()
{
    QTest::addColumn<QStringList>("datagrams");
    QTest::addColumn<QVector<bool>>("repeats");

    QTest::newRow("the same reply twice") << QStringList({"a@10.0.0.1:1500", "a@10.0.0.1:1500", "a@10.0.0.1:1500"})
                                          << QVector<bool>({false, true, true});
    QTest::newRow("another reply") << QStringList({"a@10.0.0.1:1500", "b@10.0.0.1:1500", "b@10.0.0.1:1500"})
                                   << QVector<bool>({false, false, true});
    // Two modules sharing a MAC and parameters send the same bytes: the second must still be heard, once.
    QTest::newRow("another sender") << QStringList({"a@10.0.0.1:1500", "a@10.0.0.2:1500", "a@10.0.0.2:1500"})
                                    << QVector<bool>({false, false, true});
    QTest::newRow("another port") << QStringList({"a@10.0.0.1:1500", "a@10.0.0.1:1501", "a@10.0.0.1:1501"})
                                  << QVector<bool>({false, false, false});
    QTest::newRow("not a reply's size") << QStringList({"short@10.0.0.1:1500", "short@10.0.0.1:1500"})
                                        << QVector<bool>({false, false});
    // A flood of noise must not fill the memory of replies.
    QTest::newRow("noise") << QStringList({"noise@10.0.0.1:1500", "noise@10.0.0.1:1500", "a@10.0.0.1:1500"})
                           << QVector<bool>({false, false, false});
    QTest::newRow("a new search") << QStringList({"a@10.0.0.1:1500", "clear", "a@10.0.0.1:1500", "a@10.0.0.1:1500"})
                                  << QVector<bool>({false, false, true});
}

void TestReceivePath::repeatsAreKnownByTheirBytes()
{
    QFETCH(QStringList, datagrams);
    QFETCH(QVector<bool>, repeats);
    QLoggingCategory::setFilterRules(QStringLiteral("kestrel.datagram.debug=false"));

    QByteArray otherPlain = plainReply;
    otherPlain[MacOffset + MacSize - 1] = char(otherPlain.at(MacOffset + MacSize - 1) ^ 0x01);
    storeFrameChecksum(otherPlain);
    QByteArray noise = wireReply;
    noise[FrameSize - 1] = char(noise.at(FrameSize - 1) ^ 0x01);
    const QHash<QString, QByteArray> frames {{QStringLiteral("a"), wireReply},
                                             {QStringLiteral("b"), encrypted(otherPlain)},
                                             {QStringLiteral("noise"), noise},
                                             {QStringLiteral("short"), wireReply.left(63)}};

    RepeatedReplies heard;
    QVector<bool> made;
    for (const QString &datagram : datagrams) {
        if (datagram == QLatin1String("clear")) {
            heard.clear();
            continue;
        }
        const QStringList parts = datagram.split(QRegularExpression(QStringLiteral("[@:]")));
        const HeldDatagram held(frames.value(parts.at(0)), parts.at(1), quint16(parts.at(2).toUInt()));
        const bool repeat = heard.isRepeat(held.arrived);
        made << repeat;
        if (!repeat && hearModuleReply(held.arrived.toNetworkDatagram()))
            heard.rememberReply(held.arrived);
    }
    QCOMPARE(made, repeats);
    QVERIFY(heard.size() <= 2);
}

// The datagram log promises a line for every datagram heard: while it is on, nothing is skipped as a repeat.
void TestReceivePath::everyDatagramGoesTheWholeWayWhileLinesAreOn()
{
    QLoggingCategory::setFilterRules(QStringLiteral("kestrel.datagram.debug=true"));
    const HeldDatagram held(wireReply, QStringLiteral("10.0.0.1"), DevicePort);
    RepeatedReplies heard;
    heard.rememberReply(held.arrived);
    const bool whileOn = heard.isRepeat(held.arrived);
    QLoggingCategory::setFilterRules(QStringLiteral("kestrel.datagram.debug=false"));
    QVERIFY(!whileOn);
    QVERIFY(!heard.isRepeat(held.arrived));
    heard.rememberReply(held.arrived);
    QVERIFY(heard.isRepeat(held.arrived));
}

QTEST_GUILESS_MAIN(TestReceivePath)
#include "tst_receivepath.moc"
