#include "senderaddress.h"

#include <QHostAddress>
#include <QtTest>

class TestSenderAddress : public QObject
{
    Q_OBJECT

private slots:
    void shownAddress_data();
    void shownAddress();
};

void TestSenderAddress::shownAddress_data()
{
    QTest::addColumn<QString>("sender");
    QTest::addColumn<QString>("shown");

    QTest::newRow("IPv4-mapped") << "::ffff:192.168.1.7"
                                 << "192.168.1.7";
    QTest::newRow("IPv4-mapped broadcast") << "::ffff:255.255.255.255"
                                           << "255.255.255.255";
    QTest::newRow("plain IPv4") << "10.231.0.2"
                                << "10.231.0.2";
    QTest::newRow("IPv6 with ffff: inside") << "2001:db8::ffff:1"
                                            << "2001:db8::ffff:1";
    QTest::newRow("IPv6 loopback") << "::1"
                                   << "::1";
    QTest::newRow("link-local IPv6") << "fe80::1"
                                     << "fe80::1";
    QTest::newRow("no address") << ""
                                << "";
}

void TestSenderAddress::shownAddress()
{
    QFETCH(QString, sender);
    QFETCH(QString, shown);
    QCOMPARE(sourceIpText(QHostAddress(sender)), shown);
}

QTEST_GUILESS_MAIN(TestSenderAddress)
#include "tst_senderaddress.moc"
