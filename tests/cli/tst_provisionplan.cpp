// What provision decides before anything is sent: the conflicts, the values refused, the addresses of a range.

#include "factorydefaults.h"
#include "provisionplan.h"

#include <QtTest>

Q_DECLARE_METATYPE(InventoryRow)

class TestProvisionPlan : public QObject
{
    Q_OBJECT

private slots:
    void conflictsAreFound_data();
    void conflictsAreFound();
    void modulesAsWantedNeedNothing();
    void rangeSkipsAddressesKeptByOthers();
    void rangeTooSmallSaysWhy();
    void addressRangeIsParsedStrictly_data();
    void addressRangeIsParsedStrictly();
};

namespace {

FoundModule answered(const QString &mac, const QString &ip, const QStringList &otherSources = {})
{
    FoundModule module;
    module.record = factoryDefaultRecord();
    module.record.macAddress = mac;
    module.record.localIp = ip;
    module.record.sourceIp = QStringLiteral("10.0.0.1");
    module.record.nameField = QByteArray("SIM", 3).leftJustified(10, '\0');
    module.record.deviceName = QStringLiteral("SIM");
    module.otherSources = otherSources;
    return module;
}

InventoryRow row(int line, const QString &mac, const QJsonObject &fields)
{
    InventoryRow entry;
    entry.line = line;
    entry.mac = mac;
    entry.fields = fields;
    return entry;
}

const QString A = QStringLiteral("0000000000AA");
const QString B = QStringLiteral("0000000000BB");
const QString C = QStringLiteral("0000000000CC");

} // namespace

void TestProvisionPlan::conflictsAreFound_data()
{
    QTest::addColumn<QVector<InventoryRow>>("rows");
    QTest::addColumn<QStringList>("conflicts");

    const QJsonObject ip50 {{"ip", "10.0.0.50"}};
    QTest::newRow("none") << QVector<InventoryRow> {row(2, A, ip50), row(3, B, {{"ip", "10.0.0.51"}})} << QStringList();
    QTest::newRow("two rows, one address")
        << QVector<InventoryRow> {row(2, A, ip50), row(3, B, ip50)}
        << QStringList {"10.0.0.50 is given to 2 modules: line 2 (0000000000AA), line 3 (0000000000BB)"};
    QTest::newRow("written differently, one address")
        << QVector<InventoryRow> {row(2, A, ip50), row(3, B, {{"ip", "10.0.0.050"}})}
        << QStringList {"10.0.0.50 is given to 2 modules: line 2 (0000000000AA), line 3 (0000000000BB)"};
    QTest::newRow("two rows, one address, one of them DHCP")
        << QVector<InventoryRow> {row(2, A, ip50), row(3, B, {{"ip", "10.0.0.50"}, {"ip-type", "dhcp"}})}
        << QStringList();
    QTest::newRow("the address another module keeps")
        << QVector<InventoryRow> {row(2, A, {{"ip", "10.0.0.12"}})}
        << QStringList {"10.0.0.12 for line 2 (0000000000AA) is already the address of 0000000000BB, which "
                        "answered the search"};
    QTest::newRow("the address of a module that moves away")
        << QVector<InventoryRow> {row(2, A, {{"ip", "10.0.0.12"}}), row(3, B, {{"ip", "10.0.0.20"}})} << QStringList();
    QTest::newRow("its own address") << QVector<InventoryRow> {row(2, A, {{"ip", "10.0.0.11"}})} << QStringList();
    QTest::newRow("a MAC twice") << QVector<InventoryRow> {row(2, A, {}), row(7, A, {{"baud", 19200}})}
                                 << QStringList {"0000000000AA is listed 2 times: lines 2, 7"};
    QTest::newRow("a MAC answering from two addresses")
        << QVector<InventoryRow> {row(2, C, {{"baud", 19200}})}
        << QStringList {"0000000000CC answered from 10.0.0.1 and 10.0.0.7: two modules share this MAC, and its frame "
                        "would change both"};
}

void TestProvisionPlan::conflictsAreFound()
{
    QFETCH(QVector<InventoryRow>, rows);
    QFETCH(QStringList, conflicts);
    const QList<FoundModule> modules {answered(A, QStringLiteral("10.0.0.11")),
                                      answered(B, QStringLiteral("10.0.0.12")),
                                      answered(C, QStringLiteral("10.0.0.13"), {QStringLiteral("10.0.0.7")})};
    const ProvisionPlan plan = planProvision(rows, modules);
    QCOMPARE(plan.conflicts, conflicts);
    QVERIFY2(plan.refusals.isEmpty(), qPrintable(plan.refusals.join('\n')));
}

void TestProvisionPlan::modulesAsWantedNeedNothing()
{
    const FoundModule module = answered(A, QStringLiteral("10.0.0.11"));
    const ProvisionPlan plan = planProvision(
        {row(2, A, {{"ip", "10.0.0.11"}, {"name", "SIM"}, {"baud", 9600}}), row(3, B, {{"baud", 19200}})}, {module});
    QCOMPARE(plan.targets.size(), 2);
    QVERIFY(plan.targets.at(0).found);
    QVERIFY2(plan.targets.at(0).changes.isEmpty(), qPrintable(plan.targets.at(0).changes.join("; ")));
    QVERIFY(!plan.targets.at(1).found);
    QCOMPARE(plan.targets.at(1).problems, QStringList {"did not answer the search"});
}

void TestProvisionPlan::rangeSkipsAddressesKeptByOthers()
{
    QString conflict;
    const QVector<InventoryRow> rows
        = assignAddresses({A, B, C}, *parseAddressRange(QStringLiteral("10.0.0.254-10.0.1.5")),
                          {*ipv4Number(QStringLiteral("10.0.0.255")), *ipv4Number(QStringLiteral("10.0.1.0"))},
                          QStringLiteral("L-{n}-{n}"), {{"mask", "255.255.0.0"}}, &conflict);
    QVERIFY(conflict.isEmpty());
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows.at(0).fields, (QJsonObject {{"ip", "10.0.0.254"}, {"name", "L-1-1"}, {"mask", "255.255.0.0"}}));
    QCOMPARE(rows.at(1).fields.value("ip").toString(), QStringLiteral("10.0.1.1"));
    QCOMPARE(rows.at(2).fields.value("ip").toString(), QStringLiteral("10.0.1.2"));
    QCOMPARE(rows.at(2).mac, C);
}

void TestProvisionPlan::rangeTooSmallSaysWhy()
{
    QString conflict;
    const QVector<InventoryRow> rows
        = assignAddresses({A, B, C}, *parseAddressRange(QStringLiteral("10.0.0.1-10.0.0.3")),
                          {*ipv4Number(QStringLiteral("10.0.0.2"))}, QString(), {}, &conflict);
    QVERIFY(rows.isEmpty());
    QCOMPARE(conflict,
             QStringLiteral("the range 10.0.0.1-10.0.0.3 has 2 free addresses for 3 modules (1 are kept by "
                            "other modules that answered)"));
}

void TestProvisionPlan::addressRangeIsParsedStrictly_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::newRow("range") << "10.0.3.10-10.0.3.99" << true;
    QTest::newRow("one address") << "10.0.3.10-10.0.3.10" << true;
    QTest::newRow("backwards") << "10.0.3.99-10.0.3.10" << false;
    QTest::newRow("three parts") << "10.0.3-10.0.3.99" << false;
    QTest::newRow("no end") << "10.0.3.10" << false;
    QTest::newRow("octet 256") << "10.0.3.10-10.0.3.256" << false;
    QTest::newRow("blanks") << "10.0.3.10 - 10.0.3.99" << false;
}

void TestProvisionPlan::addressRangeIsParsedStrictly()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QCOMPARE(parseAddressRange(text).has_value(), valid);
}

QTEST_GUILESS_MAIN(TestProvisionPlan)
#include "tst_provisionplan.moc"
