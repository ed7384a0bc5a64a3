#include "configframe.h"
#include "factorydefaults.h"
#include "framecipher.h"
#include "frameconstants.h"
#include "framekey.h"
#include "mainwindow.h"
#include "privatenetwork.h"
#include "replyframe.h"
#include "ui_mainwindow.h"

#include <QApplication>
#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QtTest>

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

QByteArray reply(const QString &mac, const QString &baudRate)
{
    return encrypted(layoutDeviceReply(module(mac, baudRate)));
}

QStringList debugLines;

void captureDebug(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg)
        debugLines.append(message);
}

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

private:
    // Sends the datagrams, then waits until the window has handled all of them.
    void deliver(const Datagrams &datagrams);
    QStringList column(MainWindow &window, int column) const;
};

void TestDeviceSearch::initTestCase()
{
    setFrameKey(BuiltInFrameKey);
    qInstallMessageHandler(captureDebug);
}

void TestDeviceSearch::cleanupTestCase()
{
    qInstallMessageHandler(nullptr);
}

void TestDeviceSearch::deliver(const Datagrams &datagrams)
{
    for (const Datagram &datagram : datagrams) {
        QUdpSocket sender;
        QVERIFY(sender.bind(QHostAddress(datagram.fromAddress), datagram.fromPort, QAbstractSocket::ShareAddress));
        QCOMPARE(sender.writeDatagram(datagram.bytes, QHostAddress(QLatin1String(BroadcastAddress)), DevicePort),
                 qint64(datagram.bytes.size()));
    }
    // Datagrams are handled in order, so once this one is logged all before it were handled.
    static int delivery = 0;
    const QByteArray last = "END OF DELIVERY " + QByteArray::number(++delivery);
    QUdpSocket sender;
    QVERIFY(sender.bind(QHostAddress(QHostAddress::AnyIPv4), 0));
    sender.writeDatagram(last, QHostAddress(QLatin1String(BroadcastAddress)), DevicePort);
    QTRY_VERIFY(!debugLines.filter(QString::fromLatin1(last.toHex().toUpper())).isEmpty());
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
    QTest::addColumn<QString>("formBaudRate");

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
    QTest::newRow("the tool's own request") << true << Datagrams{{"FFFF", here}} << none << none << QString();
    QTest::newRow("a configuration frame") << true << Datagrams{{configFrame, here}} << none << none << QString();
    QTest::newRow("reply from port 1501") << true << Datagrams{{valid, peer, 1501}} << none << none << QString();
    QTest::newRow("63 bytes") << true << Datagrams{{valid.left(63), peer}} << none << none << QString();
    QTest::newRow("65 bytes") << true << Datagrams{{valid + 'x', peer}} << none << none << QString();
    QTest::newRow("bad checksum") << true << Datagrams{{encrypted(badChecksum), peer}} << none << none << QString();
    QTest::newRow("checksum high byte first") << true << Datagrams{{encrypted(swapped), peer}} << none << none << QString();
    QTest::newRow("reply after a search") << true << Datagrams{{valid, peer}}
        << QStringList{"0A0000000001"} << QStringList{peer} << "4800";
    QTest::newRow("reply without a search") << false << Datagrams{{valid, peer}}
        << QStringList{"0A0000000001"} << QStringList{peer} << "4800";
    QTest::newRow("same MAC from two addresses") << true
        << Datagrams{{valid, peer}, {reply("0A0000000001", "115200"), here}}
        << QStringList{"0A0000000001"} << QStringList{peer} << "4800";
    QTest::newRow("several in quick succession") << true
        << Datagrams{{reply("0A0000000003", "1200"), peer}, {reply("0A0000000001", "2400"), here},
                     {"FFFF", here}, {reply("0A0000000002", "19200"), peer}, {reply("0A0000000003", "300"), peer}}
        << QStringList{"0A0000000003", "0A0000000001", "0A0000000002"} << QStringList{peer, here, peer} << "19200";
    // clang-format on
}

void TestDeviceSearch::receivedDatagramsAreFiltered()
{
    QFETCH(bool, searchFirst);
    QFETCH(Datagrams, datagrams);
    QFETCH(QStringList, listedMacs);
    QFETCH(QStringList, listedSources);
    QFETCH(QString, formBaudRate);

    MainWindow window;
    if (searchFirst)
        window.on_pushButton_SearchDevice_clicked();
    deliver(datagrams);

    QCOMPARE(column(window, 2), listedMacs);
    QCOMPARE(column(window, 0), listedSources);
    QCOMPARE(window.deviceList.size(), listedMacs.size());
    for (int i = 0; i < listedMacs.size(); ++i) {
        QCOMPARE(window.deviceList.at(i).macAddress, listedMacs.at(i));
        QCOMPARE(window.deviceList.at(i).sourceIp, listedSources.at(i));
    }
    // The form follows the module listed last, but nothing is selected until a row is clicked.
    QCOMPARE(window.ui->lineEdit_Baud->text(), formBaudRate);
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
    deliver({{reply(QStringLiteral("0A0000000001"), QStringLiteral("4800")), peer}});
    QTableWidget *table = window.ui->tableWidget_DeviceList;
    const QModelIndex row = table->model()->index(1, 0);
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(row).center());
    QCOMPARE(window.currentDevice.macAddress, QStringLiteral("0A0000000001"));
    QTest::keyClicks(window.ui->lineEdit_Sport, QStringLiteral("9"));
    const QString edited = window.ui->lineEdit_Sport->text();

    // Another tool's search makes a second module answer while the first is selected.
    deliver({{reply(QStringLiteral("0A0000000002"), QStringLiteral("57600")), peer}});

    QCOMPARE(column(window, 2), (QStringList {"0A0000000001", "0A0000000002"}));
    QCOMPARE(window.ui->lineEdit_Baud->text(), QStringLiteral("4800"));
    QCOMPARE(window.ui->lineEdit_Sport->text(), edited);
    QCOMPARE(window.currentDevice.macAddress, QStringLiteral("0A0000000001"));

    // After a new search nothing is selected, so the form follows the replies again.
    window.on_pushButton_SearchDevice_clicked();
    deliver({{reply(QStringLiteral("0A0000000002"), QStringLiteral("57600")), peer}});
    QCOMPARE(window.ui->lineEdit_Baud->text(), QStringLiteral("57600"));
}

void TestDeviceSearch::searchClearsAndBroadcastsTheRequest()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QString peer = QStringLiteral("10.231.0.2");
    deliver({{reply("0A0000000001", "4800"), peer},
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
    QTest::qWait(100);
    QVERIFY2(!listener.hasPendingDatagrams(), "one request per press");
}

KESTREL_NETWORK_TEST_MAIN(TestDeviceSearch, QApplication)
#include "tst_devicesearch.moc"
