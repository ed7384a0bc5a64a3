#include "devicerecordprinting.h"
#include "foundmodules.h"
#include "randomreplies.h"

#include <QtTest>

namespace {

constexpr int AdapterIndex = 7;

// One adapter on 10.231.0.0/24, as broadcastInterfaces() would list it.
QList<BroadcastInterface> oneAdapter()
{
    QNetworkAddressEntry entry;
    entry.setIp(QHostAddress(QStringLiteral("10.231.0.1")));
    entry.setPrefixLength(24);
    BroadcastInterface adapter;
    adapter.index = AdapterIndex;
    adapter.name = QStringLiteral("kseg0");
    adapter.ipv4Entries << entry;
    return {adapter};
}

// "MAC source-address module-address": a reply through the adapter.
DeviceRecord reply(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(' '));
    DeviceRecord record;
    record.macAddress = parts.at(0);
    record.sourceIp = parts.at(1);
    record.localIp = parts.at(2);
    record.interfaceIndex = AdapterIndex;
    return record;
}

// One module as the listing shows it: "MAC source adapter notes", notes separated by "; ".
QString shown(const FoundModule &module)
{
    QStringList notes;
    if (module.foreignSubnet)
        notes << QStringLiteral("foreign subnet");
    if (!module.ipClaimedBy.isEmpty())
        notes << QStringLiteral("IP also claimed by ") + module.ipClaimedBy.join(QLatin1Char(','));
    if (!module.otherSources.isEmpty())
        notes << QStringLiteral("also answered from ") + module.otherSources.join(QLatin1Char(','));
    return QStringLiteral("%1 %2 %3 %4")
        .arg(module.record.macAddress, module.record.sourceIp, module.adapterName, notes.join(QStringLiteral("; ")))
        .trimmed();
}

} // namespace

// What a search found, merged by MAC and with its notes, in-process.
class TestFoundModules : public QObject
{
    Q_OBJECT

private slots:
    void notes_data();
    void notes();
    void aFullListKeepsTheFirst();
    void modulesComeBackAsTheyAnswered_data();
    void modulesComeBackAsTheyAnswered();
};

void TestFoundModules::notes_data()
{
    QTest::addColumn<QStringList>("replies");
    QTest::addColumn<QStringList>("listed");

    QTest::newRow("a module on the adapter's subnet")
        << QStringList({"0A0000000001 10.231.0.5 10.231.0.5"}) << QStringList({"0A0000000001 10.231.0.5 kseg0"});
    QTest::newRow("a module on a foreign subnet") << QStringList({"0A0000000001 10.231.0.5 192.168.1.10"})
                                                  << QStringList({"0A0000000001 10.231.0.5 kseg0 foreign subnet"});
    QTest::newRow("two modules claim one address")
        << QStringList({"0A0000000002 10.231.0.6 10.231.0.9", "0A0000000001 10.231.0.5 10.231.0.9"})
        << QStringList({"0A0000000001 10.231.0.5 kseg0 IP also claimed by 0A0000000002",
                        "0A0000000002 10.231.0.6 kseg0 IP also claimed by 0A0000000001"});
    QTest::newRow("three modules claim one address")
        << QStringList({"0A0000000003 10.231.0.7 10.231.0.9", "0A0000000001 10.231.0.5 10.231.0.9",
                        "0A0000000002 10.231.0.6 10.231.0.9"})
        << QStringList({"0A0000000001 10.231.0.5 kseg0 IP also claimed by 0A0000000002,0A0000000003",
                        "0A0000000002 10.231.0.6 kseg0 IP also claimed by 0A0000000001,0A0000000003",
                        "0A0000000003 10.231.0.7 kseg0 IP also claimed by 0A0000000001,0A0000000002"});
    QTest::newRow("one MAC from two addresses: the first reply wins")
        << QStringList({"0A0000000001 10.231.0.5 10.231.0.5", "0A0000000001 10.231.0.8 10.231.0.8",
                        "0A0000000001 10.231.0.8 10.231.0.8"})
        << QStringList({"0A0000000001 10.231.0.5 kseg0 also answered from 10.231.0.8"});
    QTest::newRow("a module answering twice is listed once")
        << QStringList({"0A0000000001 10.231.0.5 10.231.0.5", "0A0000000001 10.231.0.5 10.231.0.77"})
        << QStringList({"0A0000000001 10.231.0.5 kseg0"});
    QTest::newRow("ordered by source address, then MAC")
        << QStringList({"0A0000000003 10.231.0.10 10.231.0.10", "0A0000000002 10.231.0.9 10.231.0.3",
                        "0A0000000001 10.231.0.10 10.231.0.11"})
        << QStringList(
               {"0A0000000002 10.231.0.9 kseg0", "0A0000000001 10.231.0.10 kseg0", "0A0000000003 10.231.0.10 kseg0"});
}

void TestFoundModules::notes()
{
    QFETCH(QStringList, replies);
    QFETCH(QStringList, listed);

    FoundModules found;
    for (const QString &text : replies)
        found.add(reply(text));
    QStringList shownModules;
    for (const FoundModule &module : found.annotated(oneAdapter()))
        shownModules << shown(module);
    QCOMPARE(shownModules, listed);
}

// Beyond its bound the list takes no new MAC, says so, and still merges what it holds.
void TestFoundModules::aFullListKeepsTheFirst()
{
    FoundModules found(2);
    found.add(reply(QStringLiteral("0A0000000001 10.231.0.2 10.231.0.2")));
    found.add(reply(QStringLiteral("0A0000000002 10.231.0.3 10.231.0.3")));
    QVERIFY(!found.isFull());
    found.add(reply(QStringLiteral("0A0000000003 10.231.0.4 10.231.0.4")));
    found.add(reply(QStringLiteral("0A0000000001 10.231.0.9 10.231.0.2")));
    QVERIFY(found.isFull());
    QCOMPARE(found.size(), 2);
    QVERIFY(!found.contains(QStringLiteral("0A0000000003")));
    QCOMPARE(found.module(QStringLiteral("0A0000000001")).otherSources, QStringList {"10.231.0.9"});
}

// A module is kept as compactly as its reply allows, but what is listed is the record as the search handed it over,
// whatever its bytes: replies of random bytes (every field, the unused bits of the line-format byte, names in no
// encoding), and records no reply gives, which are kept whole.
void TestFoundModules::modulesComeBackAsTheyAnswered_data()
{
    QTest::addColumn<QList<DeviceRecord>>("records");

    const QList<DeviceRecord> fromReplies = randomReplies(500, 22);
    QTest::newRow("replies of random bytes") << fromReplies;

    DeviceRecord lowerCaseMac = fromReplies.first();
    lowerCaseMac.macAddress = lowerCaseMac.macAddress.toLower();
    DeviceRecord nameOfItsOwn = fromReplies.at(1);
    nameOfItsOwn.deviceName = QStringLiteral("not its name");
    DeviceRecord ipv6Source = fromReplies.at(2);
    ipv6Source.sourceIp = QStringLiteral("fe80::1");
    DeviceRecord notFromAReply;
    notFromAReply.macAddress = QStringLiteral("0A00000000C1");
    QTest::newRow("records no reply gives")
        << QList<DeviceRecord> {lowerCaseMac, nameOfItsOwn, ipv6Source, notFromAReply};
}

void TestFoundModules::modulesComeBackAsTheyAnswered()
{
    QFETCH(QList<DeviceRecord>, records);

    FoundModules found;
    QHash<QString, DeviceRecord> first;
    for (const DeviceRecord &record : records) {
        found.add(record);
        if (!first.contains(record.macAddress))
            first.insert(record.macAddress, record);
    }
    QCOMPARE(found.size(), first.size());
    for (const DeviceRecord &record : qAsConst(first)) {
        QVERIFY(found.contains(record.macAddress));
        QCOMPARE(found.module(record.macAddress).record, record);
    }
    int listed = 0;
    for (const FoundModule &module : found.annotated(oneAdapter())) {
        QCOMPARE(module.record, first.value(module.record.macAddress));
        ++listed;
    }
    QCOMPARE(listed, first.size());
}

QTEST_GUILESS_MAIN(TestFoundModules)
#include "tst_foundmodules.moc"
