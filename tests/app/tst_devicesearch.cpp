#include "configframe.h"
#include "deviceendpoint.h"
#include "factorydefaults.h"
#include "framecipher.h"
#include "frameconstants.h"
#include "framekey.h"
#include "mainwindow.h"
#include "privatenetwork.h"
#include "replyframe.h"
#include "ui_mainwindow.h"
#include "windowprobe.h"

#include <QApplication>
#include <QNetworkDatagram>
#include <QProcess>
#include <QScopeGuard>
#include <QStatusBar>
#include <QUdpSocket>
#include <QtTest>

#include <atomic>
#include <memory>

namespace {

// A datagram as one module (or tool) on the segment sends it.
struct Datagram {
    QByteArray bytes;
    QString fromAddress;
    quint16 fromPort = DevicePort;
};
using Datagrams = QList<Datagram>;

DeviceRecord module(const QString &mac, const QString &baudRate)
{
    DeviceRecord record = factoryDefaultRecord();
    record.macAddress = mac;
    record.version = QStringLiteral("1.2.0.3");
    record.deviceName = QStringLiteral("M-") + mac.right(2);
    record.baudRate = baudRate;
    return record;
}

QByteArray encrypted(QByteArray plain)
{
    encryptFrame(reinterpret_cast<quint8 *>(plain.data()), quint16(plain.size()));
    return plain;
}

QByteArray decryptedReply(const QString &mac, const QString &baudRate)
{
    return layoutDeviceReply(module(mac, baudRate));
}

QByteArray reply(const QString &mac, const QString &baudRate)
{
    return encrypted(layoutDeviceReply(module(mac, baudRate)));
}

// Sent after the datagrams of a case: once the window lists it, everything sent before it was handled.
const QString SentinelMac = QStringLiteral("0AFFFFFFFFFF");

} // namespace

Q_DECLARE_METATYPE(Datagrams)

// The receive path of the window, fed by sockets that play modules and other
// tools on the segment.
class TestDeviceSearch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void receivedDatagramsAreFiltered_data();
    void receivedDatagramsAreFiltered();
    void newModuleKeepsTheSelectedModulesForm();
    void searchClearsAndBroadcastsTheRequest();
    void twoModulesClaimingOneMacArePointedOut();
    void aFullListSaysSo();
    void aSearchEndsUnderAFloodThatNeverStops();
    void failedRequestIsShownInTheStatusBar();

private:
    // Sends the datagrams, then waits until the window has handled all of them.
    void deliver(MainWindow &window, const Datagrams &datagrams);
    QStringList column(MainWindow &window, int column) const;
};

void TestDeviceSearch::initTestCase()
{
    setFrameKey(BuiltInFrameKey);
}

void TestDeviceSearch::cleanupTestCase() { }

void TestDeviceSearch::deliver(MainWindow &window, const Datagrams &datagrams)
{
    for (const Datagram &datagram : datagrams) {
        QUdpSocket sender;
        QVERIFY(sender.bind(QHostAddress(datagram.fromAddress), datagram.fromPort, QAbstractSocket::ShareAddress));
        QCOMPARE(sender.writeDatagram(datagram.bytes, QHostAddress(QLatin1String(BroadcastAddress)), DevicePort),
                 qint64(datagram.bytes.size()));
    }
    // Datagrams are handled in order of arrival, so once the sentinel module is listed all before it were
    // handled. It is then taken off the list again, as a new search would not know it either. Each sentinel differs
    // from the one before (its baud rate), since the window knows a reply it heard before by its bytes.
    static int sentinels = 0;
    QUdpSocket sender;
    QVERIFY(sender.bind(QHostAddress(QStringLiteral("10.231.0.1")), DevicePort, QAbstractSocket::ShareAddress));
    sender.writeDatagram(reply(SentinelMac, QString::number(9600 + ++sentinels)),
                         QHostAddress(QLatin1String(BroadcastAddress)), DevicePort);
    QTRY_VERIFY(column(window, 2).contains(SentinelMac));
    QTableWidget *table = window.ui->tableWidget_DeviceList;
    QCOMPARE(table->item(table->rowCount() - 1, 2)->text(), SentinelMac);
    table->removeRow(table->rowCount() - 1);
    window.deviceList.removeLast();
    window.replies.forget(SentinelMac);
}

QStringList TestDeviceSearch::column(MainWindow &window, int column) const
{
    QStringList texts;
    QTableWidget *table = window.ui->tableWidget_DeviceList;
    for (int row = 1; row < table->rowCount(); ++row)
        texts << table->item(row, column)->text();
    return texts;
}

void TestDeviceSearch::receivedDatagramsAreFiltered_data()
{
    QTest::addColumn<bool>("searchFirst");
    QTest::addColumn<Datagrams>("datagrams");
    QTest::addColumn<QStringList>("listedMacs");
    QTest::addColumn<QStringList>("listedSources");

    const QString here = QStringLiteral("10.231.0.1");
    const QString peer = QStringLiteral("10.231.0.2");
    const QByteArray valid = reply(QStringLiteral("0A0000000001"), QStringLiteral("4800"));

    QByteArray badChecksum = layoutDeviceReply(module(QStringLiteral("0A0000000001"), QStringLiteral("4800")));
    badChecksum[ChecksumOffset + 1] = char(badChecksum.at(ChecksumOffset + 1) ^ 0x40);
    QByteArray swapped = layoutDeviceReply(module(QStringLiteral("0A0000000001"), QStringLiteral("4800")));
    QVERIFY(swapped.at(ChecksumOffset) != swapped.at(ChecksumOffset + 1));
    const char low = swapped.at(ChecksumOffset);
    swapped[ChecksumOffset] = swapped.at(ChecksumOffset + 1);
    swapped[ChecksumOffset + 1] = low;

    DeviceRecord target = module(QStringLiteral("0A0000000001"), QStringLiteral("4800"));
    const QByteArray configFrame = buildConfigFrame(target, QByteArray(FillerSize, '\x05')).bytes;
    QCOMPARE(configFrame.size(), FrameSize);

    const QStringList none;
    // clang-format off
    QTest::newRow("the tool's own request") << true << Datagrams{{"FFFF", here}} << none << none;
    QTest::newRow("a configuration frame") << true << Datagrams{{configFrame, here}} << none << none;
    QTest::newRow("reply from port 1501") << true << Datagrams{{valid, peer, 1501}} << none << none;
    QTest::newRow("63 bytes") << true << Datagrams{{valid.left(63), peer}} << none << none;
    QTest::newRow("65 bytes") << true << Datagrams{{valid + 'x', peer}} << none << none;
    QTest::newRow("bad checksum") << true << Datagrams{{encrypted(badChecksum), peer}} << none << none;
    QTest::newRow("checksum high byte first") << true << Datagrams{{encrypted(swapped), peer}} << none << none;
    QTest::newRow("reply after a search") << true << Datagrams{{valid, peer}}
        << QStringList{"0A0000000001"} << QStringList{peer};
    QTest::newRow("reply without a search") << false << Datagrams{{valid, peer}}
        << QStringList{"0A0000000001"} << QStringList{peer};
    QTest::newRow("same MAC from two addresses") << true
        << Datagrams{{valid, peer}, {reply("0A0000000001", "115200"), here}}
        << QStringList{"0A0000000001"} << QStringList{peer};
    QTest::newRow("several in quick succession") << true
        << Datagrams{{reply("0A0000000003", "1200"), peer}, {reply("0A0000000001", "2400"), here},
                     {"FFFF", here}, {reply("0A0000000002", "19200"), peer}, {reply("0A0000000003", "300"), peer}}
        << QStringList{"0A0000000003", "0A0000000001", "0A0000000002"} << QStringList{peer, here, peer};
    // clang-format on
}

void TestDeviceSearch::receivedDatagramsAreFiltered()
{
    QFETCH(bool, searchFirst);
    QFETCH(Datagrams, datagrams);
    QFETCH(QStringList, listedMacs);
    QFETCH(QStringList, listedSources);

    MainWindow window;
    if (searchFirst)
        window.on_pushButton_SearchDevice_clicked();
    deliver(window, datagrams);

    QCOMPARE(column(window, 2), listedMacs);
    QCOMPARE(column(window, 0), listedSources);
    QCOMPARE(window.deviceList.size(), listedMacs.size());
    for (int i = 0; i < listedMacs.size(); ++i) {
        QCOMPARE(window.deviceList.at(i).macAddress, listedMacs.at(i));
        QCOMPARE(window.deviceList.at(i).sourceIp, listedSources.at(i));
    }
    // Nothing is selected until a row is highlighted.
    QVERIFY(window.currentDevice.macAddress.isEmpty());
    QVERIFY(!window.ui->groupBox_Config->isEnabled());
    QVERIFY(!window.ui->pushButton_SaveConfigure->isEnabled());
}

void TestDeviceSearch::newModuleKeepsTheSelectedModulesForm()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QString peer = QStringLiteral("10.231.0.2");
    deliver(window, {{reply(QStringLiteral("0A0000000001"), QStringLiteral("4800")), peer}});
    QTableWidget *table = window.ui->tableWidget_DeviceList;
    const QModelIndex row = table->model()->index(1, 0);
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(row).center());
    QCOMPARE(window.currentDevice.macAddress, QStringLiteral("0A0000000001"));
    QTest::keyClicks(window.ui->lineEdit_Sport, QStringLiteral("9"));
    const QString edited = window.ui->lineEdit_Sport->text();

    // Another tool's search makes a second module answer while the first is selected.
    deliver(window, {{reply(QStringLiteral("0A0000000002"), QStringLiteral("57600")), peer}});

    QCOMPARE(column(window, 2), (QStringList {"0A0000000001", "0A0000000002"}));
    QCOMPARE(window.ui->lineEdit_Baud->text(), QStringLiteral("4800"));
    QCOMPARE(window.ui->lineEdit_Sport->text(), edited);
    QCOMPARE(window.currentDevice.macAddress, QStringLiteral("0A0000000001"));

    // After a new search nothing is selected, and the disabled form shows no module, whichever answers.
    window.on_pushButton_SearchDevice_clicked();
    QCOMPARE(window.ui->lineEdit_Baud->text(), QString());
    QUdpSocket module;
    QVERIFY(module.bind(QHostAddress(peer), DevicePort, QAbstractSocket::ShareAddress));
    module.writeDatagram(reply(QStringLiteral("0A0000000002"), QStringLiteral("57600")),
                         QHostAddress(QLatin1String(BroadcastAddress)), DevicePort);
    QTRY_COMPARE(window.deviceList.size(), 1);
    QCOMPARE(window.ui->lineEdit_Baud->text(), QString());
    QVERIFY(!window.ui->groupBox_Config->isEnabled());
}

void TestDeviceSearch::searchClearsAndBroadcastsTheRequest()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QString peer = QStringLiteral("10.231.0.2");
    deliver(window, {{reply("0A0000000001", "4800"), peer},
             {reply("0A0000000002", "9600"), peer},
             {reply("0A0000000003", "9600"), peer}});
    QTableWidget *table = window.ui->tableWidget_DeviceList;
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(table->model()->index(2, 1)).center());
    QVERIFY(window.ui->groupBox_Config->isEnabled());
    QCOMPARE(window.currentDevice.macAddress, QStringLiteral("0A0000000002"));

    QUdpSocket listener;
    QVERIFY(listener.bind(QHostAddress::AnyIPv4, DevicePort, QAbstractSocket::ShareAddress));
    QTest::mouseClick(window.ui->pushButton_SearchDevice, Qt::LeftButton);

    QCOMPARE(table->rowCount(), 1);
    QCOMPARE(table->item(0, 2)->text(), QStringLiteral("MAC地址"));
    QVERIFY(window.deviceList.isEmpty());
    QVERIFY(window.currentDevice.macAddress.isNull());
    QVERIFY(!window.ui->groupBox_Config->isEnabled());
    QVERIFY(!window.ui->pushButton_SaveConfigure->isEnabled());
    QVERIFY(!window.ui->pushButton_FactoryReset->isEnabled());
    QVERIFY(window.ui->pushButton_SearchDevice->isEnabled());

    QTRY_VERIFY(listener.hasPendingDatagrams());
    const QNetworkDatagram request = listener.receiveDatagram();
    QCOMPARE(request.data(), QByteArray("FFFF"));
    QCOMPARE(request.senderPort(), int(DevicePort));
    QCOMPARE(request.destinationPort(), int(DevicePort));
    QCOMPARE(request.destinationAddress(), QHostAddress(QLatin1String(BroadcastAddress)));

    // One request per press: the window's sends leave in order, so a sentinel sent behind the request is the
    // next datagram heard.
    const QByteArray sentinel("end of the press");
    window.udpSocket->sendBroadcast(sentinel);
    QTRY_VERIFY(listener.hasPendingDatagrams());
    QCOMPARE(listener.receiveDatagram().data(), sentinel);
}

// The list keeps the first reply; the status bar names the MAC and both addresses, in the current language.
void TestDeviceSearch::twoModulesClaimingOneMacArePointedOut()
{
    MainWindow window;
    if (!MainWindow::isChinese)
        window.on_pushButton_Yuyan_clicked();
    const QString first = QStringLiteral("10.231.0.1");
    const QString second = QStringLiteral("10.231.0.2");
    deliver(window, {{reply("0A00000000D1", "4800"), first}, {reply("0A00000000D1", "9600"), second}});
    QCOMPARE(column(window, 2), QStringList {"0A00000000D1"});
    QCOMPARE(column(window, 0), QStringList {first});
    QCOMPARE(window.deviceList.first().baudRate, QStringLiteral("4800"));
    QString message = window.statusBar()->currentMessage();
    for (const QString &part : {QStringLiteral("0A00000000D1"), first, second, QStringLiteral("MAC地址")})
        QVERIFY2(message.contains(part), qPrintable(message));

    window.on_pushButton_Yuyan_clicked();
    window.statusBar()->clearMessage();
    deliver(window, {{reply("0A00000000D1", "19200"), second}});
    message = window.statusBar()->currentMessage();
    for (const QString &part : {QStringLiteral("MAC 0A00000000D1"), first, second, QStringLiteral("changes both")})
        QVERIFY2(message.contains(part), qPrintable(message));

    // A module answering twice from its own address is no conflict.
    window.statusBar()->clearMessage();
    deliver(window, {{reply("0A00000000D1", "19200"), first}});
    QVERIFY(window.statusBar()->currentMessage().isEmpty());
}

// The list's bound, made small here: a module beyond it is not listed, and the status bar says why, in the current
// language. The message is the sentinel: it shows once the last datagram was handled.
void TestDeviceSearch::aFullListSaysSo()
{
    MainWindow window;
    if (!MainWindow::isChinese)
        window.on_pushButton_Yuyan_clicked();
    window.replies = ReplyCollector(3);
    const QString peer = QStringLiteral("10.231.0.2");
    deliver(window, {{reply("0A00000000F1", "4800"), peer}, {reply("0A00000000F2", "4800"), peer}});
    QCOMPARE(window.deviceList.size(), 2);
    QVERIFY(window.statusBar()->currentMessage().isEmpty());

    const auto send = [&peer](const QByteArray &datagram) {
        QUdpSocket sender;
        QVERIFY(sender.bind(QHostAddress(peer), DevicePort, QAbstractSocket::ShareAddress));
        QCOMPARE(sender.writeDatagram(datagram, QHostAddress(QLatin1String(BroadcastAddress)), DevicePort),
                 qint64(datagram.size()));
    };
    send(reply("0A00000000F3", "4800"));
    send(reply("0A00000000F4", "4800"));
    QTRY_VERIFY(!window.statusBar()->currentMessage().isEmpty());
    QCOMPARE(column(window, 2), (QStringList {"0A00000000F1", "0A00000000F2", "0A00000000F3"}));
    QCOMPARE(window.deviceList.size(), 3);
    QString message = window.statusBar()->currentMessage();
    QVERIFY2(message.contains(QStringLiteral("最多显示3个设备")), qPrintable(message));

    window.on_pushButton_Yuyan_clicked();
    window.statusBar()->clearMessage();
    send(reply("0A00000000F5", "4800"));
    QTRY_VERIFY(!window.statusBar()->currentMessage().isEmpty());
    message = window.statusBar()->currentMessage();
    QVERIFY2(message.contains(QStringLiteral("at most 3 modules")), qPrintable(message));
    QCOMPARE(window.deviceList.size(), 3);
}

// Datagrams that never stop coming keep every round from going quiet: the round's limit (made short here) ends it
// anyway, and the search ends, lists the one module that answered amid the flood and tells that replies were dropped.
// The flood is stopped only after the search ended.
void TestDeviceSearch::aSearchEndsUnderAFloodThatNeverStops()
{
    MainWindow window;
    if (MainWindow::isChinese)
        window.on_pushButton_Yuyan_clicked();
    window.searchRoundLimitMs = 300;
    // Room for a few hundred datagrams: the flood, sent far faster than the window decrypts, surely overflows it.
    window.udpSocket->setQueueLimit(256);
    QSignalSpy finished(&window, &MainWindow::searchFinished);

    const QString moduleMac = QStringLiteral("0A00000000D1");
    const QByteArray moduleReply = reply(moduleMac, QStringLiteral("9600"));
    std::atomic<bool> flooding {true};
    std::atomic<bool> floodFailed {false};
    const std::unique_ptr<QThread> flood(QThread::create([&] {
        QUdpSocket sender;
        if (!sender.bind(QHostAddress(QStringLiteral("10.231.0.2")), DevicePort, QAbstractSocket::ShareAddress)) {
            floodFailed = true;
            return;
        }
        const QHostAddress broadcast {QLatin1String(BroadcastAddress)};
        QByteArray noise(FrameSize, '\0');
        for (quint32 sent = 0; flooding; ++sent) {
            // Distinct 64-byte datagrams, as from a tool gone wrong; the module's reply now and then among them.
            if (sent % 512 == 0) {
                sender.writeDatagram(moduleReply, broadcast, DevicePort);
                continue;
            }
            for (int i = 0; i < FrameSize; ++i)
                noise[i] = char((sent >> (8 * (i % 4))) + quint32(i) * 37);
            sender.writeDatagram(noise, broadcast, DevicePort);
        }
    }));
    flood->start();
    const auto stopFlood = qScopeGuard([&] {
        flooding = false;
        flood->wait();
    });
    QTRY_VERIFY(column(window, 2).contains(moduleMac) || floodFailed);
    QVERIFY(!floodFailed);

    window.on_pushButton_SearchDevice_clicked();
    // By the clock, not by QTRY's count of waits: under the flood each wait takes longer than it asks for.
    const QDeadlineTimer deadline(KestrelWaitBoundMs);
    while (finished.isEmpty() && !deadline.hasExpired())
        QTest::qWait(20);
    QCOMPARE(finished.count(), 1);
    QVERIFY2(flooding, "the flood stopped before the search ended");
    const SearchOutcome &outcome = window.search->outcome();
    QVERIFY(column(window, 2).contains(moduleMac));
    if (!DeviceEndpoint::countsDrops()) {
        // Where the system counts no drops, the flood is lost there unseen; the report does not vouch for the list.
        QVERIFY(!outcome.dropsCounted);
        QVERIFY2(window.statusBar()->currentMessage().endsWith(uncountedDropsNote(MainWindow::isChinese)),
                 qPrintable(window.statusBar()->currentMessage()));
        return;
    }
    QVERIFY(outcome.lostReplies + outcome.repeatsDropped > 0);
    QVERIFY2(window.statusBar()->currentMessage().contains(QStringLiteral("dropped")),
             qPrintable(window.statusBar()->currentMessage()));
}

// With no adapter that can carry the request and no route, the send fails: the window says so with the
// system's reason and goes on working.
void TestDeviceSearch::failedRequestIsShownInTheStatusBar()
{
    MainWindow window;
    if (!MainWindow::isChinese)
        window.on_pushButton_Yuyan_clicked();
    // Only inside this test's private namespace: take its one adapter away, and with it the default route.
    QCOMPARE(QProcess::execute(QStringLiteral("ip"), {"link", "set", "kst0", "down"}), 0);
    window.on_pushButton_SearchDevice_clicked();
    QTRY_VERIFY(window.statusBar()->currentMessage().startsWith(QStringLiteral("发送失败：")));
    QVERIFY2(window.statusBar()->currentMessage().contains(QStringLiteral("unreachable"), Qt::CaseInsensitive),
             qPrintable(window.statusBar()->currentMessage()));

    window.on_pushButton_Yuyan_clicked();
    window.on_pushButton_SearchDevice_clicked();
    QTRY_VERIFY(window.statusBar()->currentMessage().startsWith(QStringLiteral("Sending failed: ")));
    QVERIFY(window.ui->pushButton_SearchDevice->isEnabled());

    // A configuration frame that cannot leave is told the same way.
    window.parseDeviceReply(decryptedReply("0A00000000E1", "9600"), QStringLiteral("10.231.0.2"), 0);
    window.ui->tableWidget_DeviceList->setCurrentCell(1, 0);
    window.statusBar()->clearMessage();
    window.on_pushButton_SaveConfigure_clicked();
    QTRY_VERIFY(window.statusBar()->currentMessage().startsWith(QStringLiteral("Sending failed: ")));

    // The adapter comes back and the next press reaches the segment again.
    QCOMPARE(QProcess::execute(QStringLiteral("ip"), {"link", "set", "kst0", "up"}), 0);
    QProcess::execute(QStringLiteral("ip"), {"route", "replace", "default", "dev", "kst0"});
    QUdpSocket listener;
    QVERIFY(listener.bind(QHostAddress::AnyIPv4, DevicePort, QAbstractSocket::ShareAddress));
    window.on_pushButton_SearchDevice_clicked();
    QTRY_VERIFY(listener.hasPendingDatagrams());
    QCOMPARE(listener.receiveDatagram().data(), QByteArray("FFFF"));
}

KESTREL_NETWORK_TEST_MAIN(TestDeviceSearch, QApplication)
#include "tst_devicesearch.moc"
