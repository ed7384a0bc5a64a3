#include "macaddress.h"

#include <QtTest>

// The MAC notations kestrelctl takes, in-process.
class TestMacAddress : public QObject
{
    Q_OBJECT

private slots:
    void notation_data();
    void notation();
};

void TestMacAddress::notation_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("listedAs"); // empty: refused

    QTest::newRow("digits alone") << "001A2B3C4D5E"
                                  << "001A2B3C4D5E";
    QTest::newRow("lower case") << "001a2b3c4d5e"
                                << "001A2B3C4D5E";
    QTest::newRow("colons") << "00:1A:2B:3C:4D:5E"
                            << "001A2B3C4D5E";
    QTest::newRow("dashes, lower case") << "00-1a-2b-3c-4d-5e"
                                        << "001A2B3C4D5E";
    QTest::newRow("colons and dashes mixed") << "00:1A-2B:3C:4D:5E" << QString();
    QTest::newRow("dots") << "00.1A.2B.3C.4D.5E" << QString();
    QTest::newRow("separators only in places") << "001A:2B3C:4D5E" << QString();
    QTest::newRow("eleven digits") << "001A2B3C4D5" << QString();
    QTest::newRow("thirteen digits") << "001A2B3C4D5E0" << QString();
    QTest::newRow("five groups") << "00:1A:2B:3C:4D" << QString();
    QTest::newRow("a letter past F") << "0G1A2B3C4D5E" << QString();
    QTest::newRow("trailing newline") << "001A2B3C4D5E\n" << QString();
    QTest::newRow("leading blank") << " 001A2B3C4D5E" << QString();
    QTest::newRow("full-width digits") << QStringLiteral("００1A2B3C4D5E") << QString();
    QTest::newRow("empty") << "" << QString();
}

void TestMacAddress::notation()
{
    QFETCH(QString, typed);
    QFETCH(QString, listedAs);
    const std::optional<QString> parsed = parseMacAddress(typed);
    QCOMPARE(parsed.value_or(QString()), listedAs);
}

QTEST_GUILESS_MAIN(TestMacAddress)
#include "tst_macaddress.moc"
