#include "childprocess.h"
#include "factorydefaults.h"
#include "framecipher.h"
#include "frameconstants.h"
#include "framekey.h"
#include "mainwindow.h"
#include "messageboxcloser.h"
#include "privatenetwork.h"
#include "replyframe.h"
#include "sentinelreply.h"
#include "ui_mainwindow.h"

#include <QApplication>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

// The window against kestrel-sim, both on the private segment: search,
// select, edit, configure, search again.
class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void configuredModuleReportsItsNewValues();
    void thousandModulesAnswerOneSearch();
    void runTimeKeyReachesModulesWithThatKey();

private:
    void startSimulator(const QStringList &arguments);
    void clickRow(MainWindow &window, int row);
    // Waits until the simulator has printed the text since the last call.
    void expectOutput(const QByteArray &text);
    // Once the simulator has sent every reply of the search, a sentinel module answers from the test, with the
    // key the window uses now. When the window lists it, every reply sent before it has been handled.
    void listSentinelAfterTheReplies(MainWindow &window);

    ChildProcess simulator;
    QByteArray output;
};

void TestEndToEnd::initTestCase()
{
    setFrameKey(BuiltInFrameKey);
}

void TestEndToEnd::cleanup()
{
    if (simulator.state() != QProcess::NotRunning) {
        simulator.terminate();
        QVERIFY(simulator.waitForFinished(5000));
    }
}

void TestEndToEnd::startSimulator(const QStringList &arguments)
{
    simulator.setProcessChannelMode(QProcess::MergedChannels);
    simulator.start(QStringLiteral(KESTREL_SIM_PATH), arguments);
    QVERIFY(simulator.waitForStarted());
    expectOutput("listening");
}

void TestEndToEnd::expectOutput(const QByteArray &text)
{
    // A simulator that ended is not waited for.
    QTRY_VERIFY2_WITH_TIMEOUT((output += simulator.readAll()).contains(text)
                                  || simulator.state() == QProcess::NotRunning,
                              output.constData(), 60000);
    QVERIFY2((output += simulator.readAll()).contains(text), output.constData());
    output.remove(0, output.indexOf(text) + text.size());
}

namespace {
const QString SentinelMac = QStringLiteral("0AFFFFFFFFFF");
}

void TestEndToEnd::listSentinelAfterTheReplies(MainWindow &window)
{
    expectOutput("sent all");
    QVERIFY(broadcastSentinelReply(SentinelMac));
    QTRY_VERIFY_WITH_TIMEOUT(!window.deviceList.isEmpty() && window.deviceList.last().macAddress == SentinelMac, 60000);
}

void TestEndToEnd::clickRow(MainWindow &window, int row)
{
    QTableWidget *table = window.ui->tableWidget_DeviceList;
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(table->model()->index(row, 1)).center());
}

void TestEndToEnd::configuredModuleReportsItsNewValues()
{
    startSimulator({"--count", "3", "--mac", "02004B530001", "--name-prefix", "Pump-"});
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    MessageBoxCloser boxes;

    QTest::mouseClick(window.ui->pushButton_SearchDevice, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(window.deviceList.size(), 3, 60000);
    QTableWidget *table = window.ui->tableWidget_DeviceList;
    for (int row = 1; row <= 3; ++row) {
        QCOMPARE(table->item(row, 1)->text(), QStringLiteral("Pump-%1").arg(row));
        QCOMPARE(table->item(row, 2)->text(), QStringLiteral("02004B53000%1").arg(row));
        QCOMPARE(table->item(row, 0)->text(), QStringLiteral("10.231.0.1"));
    }

    clickRow(window, 2);
    QCOMPARE(window.currentDevice.macAddress, QStringLiteral("02004B530002"));
    window.ui->lineEdit_Baud->selectAll();
    QTest::keyClicks(window.ui->lineEdit_Baud, QStringLiteral("57600"));
    window.ui->comboBox_Mode->setCurrentIndex(3); // TCP Server
    QTest::mouseClick(window.ui->pushButton_SaveConfigure, Qt::LeftButton);
    expectOutput("configured 02004B530002");

    QTest::mouseClick(window.ui->pushButton_SearchDevice, Qt::LeftButton);
    QVERIFY(window.ui->lineEdit_Baud->text().isEmpty()); // a search empties the form until a row is selected
    QTRY_COMPARE_WITH_TIMEOUT(window.deviceList.size(), 3, 60000);
    clickRow(window, 1);
    QCOMPARE(window.ui->lineEdit_Baud->text(), QStringLiteral("9600"));
    clickRow(window, 2);
    QCOMPARE(window.ui->lineEdit_Baud->text(), QStringLiteral("57600"));
    QCOMPARE(window.ui->comboBox_Mode->currentIndex(), 3);
    QVERIFY(!window.ui->lineEdit_Sip->isEnabled());

    // Factory defaults reach the module only through "Configure".
    QTest::mouseClick(window.ui->pushButton_FactoryReset, Qt::LeftButton);
    QTest::mouseClick(window.ui->pushButton_SaveConfigure, Qt::LeftButton);
    expectOutput("configured 02004B530002");
    QTest::mouseClick(window.ui->pushButton_SearchDevice, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(window.deviceList.size(), 3, 60000);
    clickRow(window, 2);
    QCOMPARE(window.ui->lineEdit_Baud->text(), QStringLiteral("9600"));
    QCOMPARE(window.ui->comboBox_Mode->currentIndex(), 0);
    QVERIFY(boxes.seen.isEmpty());
}

void TestEndToEnd::thousandModulesAnswerOneSearch()
{
    startSimulator({"--count", "1000", "--mac", "02004B540000"});
    MainWindow window;
    QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    window.on_pushButton_SearchDevice_clicked();
    listSentinelAfterTheReplies(window);
    qInstallMessageHandler(previous);

    // Every module once, and the sentinel behind them.
    QCOMPARE(window.deviceList.size(), 1001);
    QCOMPARE(window.ui->tableWidget_DeviceList->rowCount(), 1002);
    QSet<QString> macs;
    for (const DeviceRecord &module : qAsConst(window.deviceList))
        macs.insert(module.macAddress);
    QCOMPARE(macs.size(), 1001);
}

// Modules whose firmware uses another key than the built-in one: given the same key at run time, the window
// finds and configures them; with the built-in key it cannot even read their replies.
void TestEndToEnd::runTimeKeyReachesModulesWithThatKey()
{
    const QString key = QStringLiteral("000102030405060708090A0B0C0D0E0F");
    startSimulator({"--count", "2", "--mac", "02004B560001", "--key", key});

    {
        MainWindow builtIn;
        builtIn.on_pushButton_SearchDevice_clicked();
        expectOutput("search from");
        listSentinelAfterTheReplies(builtIn);
        QCOMPARE(builtIn.deviceList.size(), 1); // the sentinel alone: the modules' replies were unreadable
    }

    qputenv("KESTREL_FRAME_KEY", key.toLatin1());
    MainWindow window;
    qunsetenv("KESTREL_FRAME_KEY");
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    MessageBoxCloser boxes;
    window.on_pushButton_SearchDevice_clicked();
    QTRY_COMPARE_WITH_TIMEOUT(window.deviceList.size(), 2, 60000);
    clickRow(window, 2);
    QCOMPARE(window.currentDevice.macAddress, QStringLiteral("02004B560002"));
    window.ui->lineEdit_Baud->setText(QStringLiteral("38400"));
    QTest::mouseClick(window.ui->pushButton_SaveConfigure, Qt::LeftButton);
    expectOutput("configured 02004B560002");

    window.on_pushButton_SearchDevice_clicked();
    QTRY_COMPARE_WITH_TIMEOUT(window.deviceList.size(), 2, 60000);
    clickRow(window, 2);
    QCOMPARE(window.ui->lineEdit_Baud->text(), QStringLiteral("38400"));
    QVERIFY(boxes.seen.isEmpty());
}

KESTREL_NETWORK_TEST_MAIN(TestEndToEnd, QApplication)
#include "tst_endtoend.moc"
