#include "configuration.h"
#include "factorydefaults.h"
#include "moduleenums.h"

#include <QtTest>

// What the read-back after set and apply holds against the module's reply: every parameter sent, except the
// addresses of a DHCP module, which its server gives.
class TestReadBack : public QObject
{
    Q_OBJECT

private slots:
    void addressesOfADhcpModuleAreTheServers_data();
    void addressesOfADhcpModuleAreTheServers();
};

void TestReadBack::addressesOfADhcpModuleAreTheServers_data()
{
    QTest::addColumn<int>("ipType");
    QTest::addColumn<QString>("baud"); // the module reports
    QTest::addColumn<QStringList>("differences");

    // clang-format off
    QTest::newRow("DHCP, other addresses") << int(Module::Dhcp) << "9600" << QStringList();
    QTest::newRow("DHCP, another baud rate too") << int(Module::Dhcp) << "4800"
                                                << QStringList {"baud: reports 4800, sent 9600"};
    QTest::newRow("static, other addresses") << int(Module::StaticIp) << "9600"
                                             << QStringList {"ip: reports 10.0.0.77, sent 192.168.1.10",
                                                             "mask: reports 255.0.0.0, sent 255.255.255.0",
                                                             "gateway: reports 10.0.0.1, sent 192.168.1.1"};
    // clang-format on
}

void TestReadBack::addressesOfADhcpModuleAreTheServers()
{
    QFETCH(int, ipType);
    QFETCH(QString, baud);
    QFETCH(QStringList, differences);

    DeviceRecord sent = factoryDefaultRecord();
    sent.macAddress = QStringLiteral("02004B530001");
    sent.ipType = Module::IpType(ipType);
    DeviceRecord reported = sent;
    reported.localIp = QStringLiteral("10.0.0.77");
    reported.subnetMask = QStringLiteral("255.0.0.0");
    reported.gateway = QStringLiteral("10.0.0.1");
    reported.baudRate = baud;

    QStringList found = ::differences(sent, reported);
    found.sort();
    differences.sort();
    QCOMPARE(found, differences);
}

QTEST_GUILESS_MAIN(TestReadBack)
#include "tst_readback.moc"
