#include "childprocess.h"
#include "factorydefaults.h"
#include "framecipher.h"
#include "frameconstants.h"
#include "framekey.h"
#include "mainwindow.h"
#include "privatenetwork.h"
#include "replyframe.h"
#include "sentinelreply.h"
#include "ui_mainwindow.h"

#include <QApplication>
#include <QProcess>
#include <QSignalSpy>
#include <QTimer>
#include <QUdpSocket>
#include <QtTest>

// Ten thousand simulated modules answer one search at once, on a receive buffer no larger than a stock
// kernel grants (the test runs with the buffer-clamping shim preloaded): every module is listed exactly once,
// in order of arrival, nothing is lost in the end, and the window keeps answering while it lists them.
class TestBurst : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void everyModuleIsListedOnceInOrder();

private:
    ChildProcess simulator;
    QByteArray output;
};

namespace {

constexpr int Modules = 10000;
constexpr quint64 FirstMac = Q_UINT64_C(0x02004B550000);

} // namespace

void TestBurst::initTestCase()
{
    // Without the shim this test would prove nothing on a machine with a generous limit.
    QUdpSocket probe;
    QVERIFY(probe.bind(QHostAddress(QHostAddress::AnyIPv4), 0));
    probe.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4 * 1024 * 1024);
    const int granted = probe.socketOption(QAbstractSocket::ReceiveBufferSizeSocketOption).toInt();
    QVERIFY2(granted <= 2 * 212992, qPrintable(QStringLiteral("receive buffer %1 is not capped").arg(granted)));

    simulator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    simulator.start(QStringLiteral(KESTREL_SIM_PATH),
                    {"--count", QString::number(Modules), "--mac",
                     QStringLiteral("%1").arg(FirstMac, 12, 16, QLatin1Char('0')).toUpper()});
    QVERIFY(simulator.waitForStarted());
    QVERIFY2(simulator.waitForOutput(output, "listening"), output.constData());
}

void TestBurst::cleanupTestCase()
{
    simulator.terminate();
    simulator.waitForFinished(5000);
}

void TestBurst::everyModuleIsListedOnceInOrder()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QtMessageHandler previous
        = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});

    // A zero-time timer stands for the user: it fires whenever the event loop gets a turn.
    int answeredWhileListing = 0;
    QTimer user;
    user.setInterval(0);
    connect(&user, &QTimer::timeout, this, [&] {
        const int listed = window.deviceList.size();
        if (listed > 0 && listed < Modules)
            ++answeredWhileListing;
    });
    user.start();

    QSignalSpy finished(&window, &MainWindow::searchFinished);
    window.on_pushButton_SearchDevice_clicked();
    // Once the search has ended (after more rounds should the system have dropped replies), a sentinel module
    // answers from the test: when the window lists it, every reply sent before it has been handled, and late
    // duplicates would have shown.
    QTRY_VERIFY_WITH_TIMEOUT(finished.count() == 1, 300000);
    const int rounds = finished.first().at(0).toInt();
    QCOMPARE(finished.first().at(1).value<quint64>(), quint64(0));
    setFrameKey(BuiltInFrameKey);
    const QString sentinelMac = QStringLiteral("0AFFFFFFFFFF");
    QVERIFY(broadcastSentinelReply(sentinelMac));
    QTRY_VERIFY_WITH_TIMEOUT(!window.deviceList.isEmpty() && window.deviceList.last().macAddress == sentinelMac,
                             300000);
    user.stop();
    qInstallMessageHandler(previous);

    QCOMPARE(window.deviceList.size(), Modules + 1);
    QCOMPARE(window.ui->tableWidget_DeviceList->rowCount(), Modules + 2);
    QStringList listed;
    for (int i = 0; i < Modules; ++i) {
        QCOMPARE(window.ui->tableWidget_DeviceList->item(i + 1, 2)->text(), window.deviceList.at(i).macAddress);
        listed << window.deviceList.at(i).macAddress;
    }
    // The simulator answers in MAC order, so one round lists the modules in the order of their MACs; replies that
    // a repeated round brought come after.
    if (rounds > 1)
        listed.sort();
    for (int i = 0; i < Modules; ++i)
        QCOMPARE(listed.at(i), QStringLiteral("%1").arg(FirstMac + quint64(i), 12, 16, QLatin1Char('0')).toUpper());

    QVERIFY2(answeredWhileListing >= 3,
             qPrintable(QStringLiteral("the window answered %1 times while listing").arg(answeredWhileListing)));
}

KESTREL_NETWORK_TEST_MAIN(TestBurst, QApplication)
#include "tst_burst.moc"
