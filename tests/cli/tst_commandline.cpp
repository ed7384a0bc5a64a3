#include "commandline.h"

#include <QtTest>

// The numbers kestrelctl's options take, in-process.
class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void seconds_data();
    void seconds();
    void counts_data();
    void counts();
};

void TestCommandLine::seconds_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("milliseconds"); // -1: refused

    QTest::newRow("whole seconds") << "10" << 10000;
    QTest::newRow("a fraction") << "1.5" << 1500;
    QTest::newRow("below a second") << "0.3" << 300;
    QTest::newRow("two decimals") << "1.25" << 1250;
    QTest::newRow("shortest") << "0.001" << 1;
    QTest::newRow("longest") << "3600" << 3600000;
    QTest::newRow("longest with decimals") << "3600.000" << 3600000;
    QTest::newRow("zero") << "0" << -1;
    QTest::newRow("zero with decimals") << "0.000" << -1;
    QTest::newRow("past an hour") << "3600.001" << -1;
    QTest::newRow("a day") << "86400" << -1;
    QTest::newRow("four decimals") << "0.0001" << -1;
    QTest::newRow("negative") << "-1" << -1;
    QTest::newRow("exponent") << "1e3" << -1;
    QTest::newRow("no whole part") << ".5" << -1;
    QTest::newRow("no decimals after the point") << "1." << -1;
    QTest::newRow("comma") << "1,5" << -1;
    QTest::newRow("leading blank") << " 1" << -1;
    QTest::newRow("full-width digit") << QStringLiteral("１") << -1;
    QTest::newRow("empty") << "" << -1;
}

void TestCommandLine::seconds()
{
    QFETCH(QString, typed);
    QFETCH(int, milliseconds);
    QCOMPARE(parseSeconds(typed).value_or(-1), milliseconds);
}

void TestCommandLine::counts_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("count"); // -1: refused

    QTest::newRow("bottom") << "0" << 0;
    QTest::newRow("top") << "100" << 100;
    QTest::newRow("leading zeros") << "007" << 7;
    QTest::newRow("above the top") << "101" << -1;
    QTest::newRow("sign") << "+5" << -1;
    QTest::newRow("negative") << "-1" << -1;
    QTest::newRow("ten digits") << "0000000001" << -1;
    QTest::newRow("fraction") << "1.0" << -1;
    QTest::newRow("empty") << "" << -1;
}

void TestCommandLine::counts()
{
    QFETCH(QString, typed);
    QFETCH(int, count);
    QCOMPARE(parseCount(typed, 0, 100).value_or(-1), count);
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
