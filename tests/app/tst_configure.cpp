#include "deviceendpoint.h"
#include "factorydefaults.h"
#include "framechecksum.h"
#include "framecipher.h"
#include "frameconstants.h"
#include "framekey.h"
#include "mainwindow.h"
#include "messageboxcloser.h"
#include "privatenetwork.h"
#include "replyframe.h"
#include "sendrulecases.h"
#include "ui_mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

namespace {

const QString SelectedMac = QStringLiteral("0A00000000C1");

// Sent by the window's own endpoint after whatever a test did; no frame is this short.
const QByteArray Sentinel("end of test step");

// Configuration frames among the datagrams, decrypted.
QList<QByteArray> configFrames(const QList<QByteArray> &datagrams)
{
    QList<QByteArray> frames;
    for (QByteArray datagram : datagrams) {
        if (datagram.size() != FrameSize)
            continue;
        decryptFrame(reinterpret_cast<quint8 *>(datagram.data()), FrameSize);
        if (datagram.mid(MarkerOffset, MarkerSize) == ConfigMarker)
            frames.append(datagram);
    }
    return frames;
}

} // namespace

// "Configure" and the frame it broadcasts, read back by a listener on the segment.
class TestConfigure : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void factoryResetThenConfigureSendsTheDefaults();
    void sevenDataBitsWithoutParityNotifiesThenSends();
    void unsendableFieldIsRefusedByName_data();
    void unsendableFieldIsRefusedByName();
    void nothingIsSentWithoutASelectedModule();
    void twoPressesDifferOnlyInTheFiller();
    void untouchedFormSendsWhatTheModuleReported_data();
    void untouchedFormSendsWhatTheModuleReported();
    void randomPortZeroIsSentOnlyWhileChecked();
    void sendRule_data();
    void sendRule();
    void untouchedReportedValuesGoBackByteForByte_data();
    void untouchedReportedValuesGoBackByteForByte();
    void busyPortIsReportedInTheStatusBar();
    void invalidFrameKeyIsNeverUsed_data();
    void invalidFrameKeyIsNeverUsed();

private:
    // Lists one module as if it had answered, and clicks its row.
    void selectModule();
    void selectReply(const QByteArray &plainReply);
    QList<QByteArray> pressConfigure();
    // Every datagram the window sent since the last call, as the listener heard them: the window's endpoint
    // sends a sentinel behind them (its sends leave in order), and the listener reads up to it.
    QList<QByteArray> sentByTheWindow(QUdpSocket &socket);

    MainWindow *window = nullptr;
    QUdpSocket *listener = nullptr;
    MessageBoxCloser *boxes = nullptr;
};

void TestConfigure::initTestCase()
{
    setFrameKey(BuiltInFrameKey);
}

void TestConfigure::init()
{
    window = new MainWindow;
    if (!MainWindow::isChinese)
        window->on_pushButton_Yuyan_clicked(); // every test starts in Chinese, as the window opens
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    listener = new QUdpSocket;
    QVERIFY(listener->bind(QHostAddress::AnyIPv4, DevicePort, QAbstractSocket::ShareAddress));
    boxes = new MessageBoxCloser;
}

void TestConfigure::cleanup()
{
    delete boxes;
    delete listener;
    delete window;
}

void TestConfigure::selectModule()
{
    DeviceRecord module = factoryDefaultRecord();
    module.macAddress = SelectedMac;
    module.version = QStringLiteral("2.0.1.4");
    module.deviceName = QStringLiteral("Kühlung"); // 8 bytes of UTF-8
    module.workMode = Module::TcpClient;
    module.baudRate = QStringLiteral("19200");
    selectReply(layoutDeviceReply(module));
}

void TestConfigure::selectReply(const QByteArray &plainReply)
{
    window->parseDeviceReply(plainReply, QStringLiteral("10.231.0.2"), 0);
    QTableWidget *table = window->ui->tableWidget_DeviceList;
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(table->model()->index(1, 0)).center());
    QCOMPARE(window->currentDevice.macAddress, plainReply.left(MacSize).toHex().toUpper());
}

QList<QByteArray> TestConfigure::pressConfigure()
{
    QTest::mouseClick(window->ui->pushButton_SaveConfigure, Qt::LeftButton);
    return configFrames(sentByTheWindow(*listener));
}

QList<QByteArray> TestConfigure::sentByTheWindow(QUdpSocket &socket)
{
    window->udpSocket->sendBroadcast(Sentinel);
    QList<QByteArray> heard;
    const bool complete = QTest::qWaitFor(
        [&] {
            while (socket.hasPendingDatagrams()) {
                const QByteArray datagram = socket.receiveDatagram().data();
                if (datagram == Sentinel)
                    return true;
                heard.append(datagram);
            }
            return false;
        },
        60000);
    if (!complete)
        QTest::qFail("the window's sentinel was never heard", __FILE__, __LINE__);
    return heard;
}

void TestConfigure::factoryResetThenConfigureSendsTheDefaults()
{
    selectModule();
    QTest::mouseClick(window->ui->pushButton_FactoryReset, Qt::LeftButton);
    const QList<QByteArray> frames = pressConfigure();
    QCOMPARE(frames.size(), 1);
    const QByteArray frame = frames.first();
    QCOMPARE(frame.left(MacSize).toHex().toUpper(), SelectedMac.toLatin1());
    QCOMPARE(frame.mid(MarkerOffset, MarkerSize), QByteArray("1111"));
    QCOMPARE(frame.mid(NameOffset, NameSize), QByteArray("K\xC3\xBChlung\0\0", 10)); // UTF-8, as listed
    QCOMPARE(frame.mid(20, 30).toHex(' ').toUpper(),
             QByteArray("00 00 00 FF FF FF 01 01 A8 C0 0A 01 A8 C0 D2 04 FE 01 A8 C0 D2 04 80 25 00 03 00 00 00 00"));
    QVERIFY(hasValidFrameChecksum(frame));
    QVERIFY(boxes->seen.isEmpty());
    // Until the module answers the read-back, its record holds what was sent.
    QCOMPARE(window->deviceList.first().baudRate, QStringLiteral("9600"));
}

void TestConfigure::sevenDataBitsWithoutParityNotifiesThenSends()
{
    selectModule();
    window->ui->comboBox_DataBit->setCurrentIndex(0);
    window->ui->comboBox_Parity->setCurrentIndex(0);
    QList<QByteArray> frames = pressConfigure();
    QCOMPARE(frames.size(), 1);
    QCOMPARE(quint8(frames.first().at(45)), quint8(0x02));
    QCOMPARE(boxes->seen.size(), 1);
    QCOMPARE(boxes->seen.first(), qMakePair(QStringLiteral("错误"), QStringLiteral("不支持无校验，7数据位")));
    QCOMPARE(boxes->parents.first(), window); // over the window, not wherever the system puts a window of its own

    window->on_pushButton_Yuyan_clicked(); // English, the form keeps its values
    frames = pressConfigure();
    QCOMPARE(frames.size(), 1);
    QCOMPARE(quint8(frames.first().at(45)), quint8(0x02));
    QCOMPARE(boxes->seen.size(), 2);
    QCOMPARE(boxes->seen.last(),
             qMakePair(QStringLiteral("Error"), QStringLiteral("Does not support no parity, 7 data bits")));
}

void TestConfigure::unsendableFieldIsRefusedByName_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("chineseName");
    QTest::addColumn<QString>("englishName");

    QTest::newRow("local IP with three parts") << "lineEdit_Lip"
                                               << "192.168.1"
                                               << "静态IP"
                                               << "Static IP";
    QTest::newRow("subnet mask ending in a dot") << "lineEdit_Subnet"
                                                 << "255.255.255."
                                                 << "子网掩码"
                                                 << "Subnet Mask";
    QTest::newRow("empty gateway") << "lineEdit_Gaw"
                                   << ""
                                   << "网关"
                                   << "Gateway";
    QTest::newRow("remote IP with two parts") << "lineEdit_Sip"
                                              << "10.1"
                                              << "目标IP"
                                              << "Remote IP";
    QTest::newRow("empty local port") << "lineEdit_Lport"
                                      << ""
                                      << "本地端口"
                                      << "Local Port";
    QTest::newRow("empty remote port") << "lineEdit_Sport"
                                       << ""
                                       << "目标端口"
                                       << "Remote Port";
    QTest::newRow("empty baud rate") << "lineEdit_Baud"
                                     << ""
                                     << "串口波特率"
                                     << "Baud Rate(bps)";
    // Texts the fields' own validators call incomplete or invalid.
    QTest::newRow("baud rate below 100") << "lineEdit_Baud"
                                         << "96"
                                         << "串口波特率"
                                         << "Baud Rate(bps)";
    QTest::newRow("remote port 0") << "lineEdit_Sport"
                                   << "0"
                                   << "目标端口"
                                   << "Remote Port";
    QTest::newRow("remote port 00000") << "lineEdit_Sport"
                                       << "00000"
                                       << "目标端口"
                                       << "Remote Port";
    QTest::newRow("local port 0 without Random") << "lineEdit_Lport"
                                                 << "0"
                                                 << "本地端口"
                                                 << "Local Port";
    QTest::newRow("full-width digits") << "lineEdit_Sport"
                                       << "１２３４"
                                       << "目标端口"
                                       << "Remote Port";
    QTest::newRow("a signed port") << "lineEdit_Sport"
                                   << "+80"
                                   << "目标端口"
                                   << "Remote Port";
    QTest::newRow("a grouped baud rate") << "lineEdit_Baud"
                                         << "9,600"
                                         << "串口波特率"
                                         << "Baud Rate(bps)";
    QTest::newRow("Arabic-Indic digits in an address") << "lineEdit_Gaw"
                                                       << "١٩٢.١٦٨.١.١"
                                                       << "网关"
                                                       << "Gateway";
}

void TestConfigure::unsendableFieldIsRefusedByName()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, chineseName);
    QFETCH(QString, englishName);

    selectModule();
    auto *edit = window->findChild<QLineEdit *>(field);
    QVERIFY(edit);
    edit->setText(text);

    QVERIFY(pressConfigure().isEmpty());
    QCOMPARE(boxes->seen.size(), 1);
    QCOMPARE(boxes->seen.first().first, QStringLiteral("错误"));
    QCOMPARE(boxes->parents.first(), window);
    QVERIFY2(boxes->seen.first().second.contains(chineseName), qPrintable(boxes->seen.first().second));

    window->on_pushButton_Yuyan_clicked();
    QVERIFY(pressConfigure().isEmpty());
    QCOMPARE(boxes->seen.size(), 2);
    QCOMPARE(boxes->seen.last().first, QStringLiteral("Error"));
    QVERIFY2(boxes->seen.last().second.contains(englishName), qPrintable(boxes->seen.last().second));
}

void TestConfigure::nothingIsSentWithoutASelectedModule()
{
    selectModule();
    window->on_pushButton_SearchDevice_clicked();
    window->on_pushButton_SaveConfigure_clicked(); // the button is disabled; the slot itself must still refuse
    QCOMPARE(configFrames(sentByTheWindow(*listener)).size(), 0);
    QVERIFY(boxes->seen.isEmpty());
}

void TestConfigure::twoPressesDifferOnlyInTheFiller()
{
    selectModule();
    QUdpSocket raw;
    QVERIFY(raw.bind(QHostAddress::AnyIPv4, DevicePort, QAbstractSocket::ShareAddress));
    QTest::mouseClick(window->ui->pushButton_SaveConfigure, Qt::LeftButton);
    QTest::qWait(5); // the filler is seeded from the clock's milliseconds
    QTest::mouseClick(window->ui->pushButton_SaveConfigure, Qt::LeftButton);
    QList<QByteArray> wire;
    QTRY_COMPARE(([&] {
                     while (raw.hasPendingDatagrams()) {
                         QByteArray datagram(int(raw.pendingDatagramSize()), Qt::Uninitialized);
                         raw.readDatagram(datagram.data(), datagram.size());
                         if (datagram.size() == FrameSize) // the read-back's search requests aside
                             wire.append(datagram);
                     }
                     return wire.size();
                 }()),
                 2);
    QCOMPARE(wire.at(0).size(), FrameSize);
    QCOMPARE(wire.at(0).left(48), wire.at(1).left(48));
    QVERIFY(wire.at(0).mid(48) != wire.at(1).mid(48));
}

// A Configure that changes nothing on the form sends back the module's own name bytes and the line-format
// bits the form cannot show; "Factory Reset" or an edited box builds the byte from the boxes.
void TestConfigure::untouchedFormSendsWhatTheModuleReported_data()
{
    QTest::addColumn<QByteArray>("nameField");
    QTest::addColumn<int>("lineFormat");
    QTest::addColumn<int>("sentLineFormat");

    // "泵站1" in GBK, as tools on Chinese systems write it: not UTF-8.
    const QByteArray gbk("\xB1\xC3\xD5\xBE" "1\0\0\0\0\0", 10);
    // A 3-byte character cut at byte 10, and bytes after an embedded zero.
    const QByteArray cut("ABCDEFGH\xE6\xB3", 10);
    const QByteArray afterZero("AB\0CD\x01\0\0\0\0", 10);
    QTest::newRow("GBK name, 8N1") << gbk << 0x03 << 0x03;
    QTest::newRow("cut character, 5 data bits") << cut << 0x00 << 0x00;
    QTest::newRow("bytes after a zero, 6 data bits 2 stop") << afterZero << 0x05 << 0x05;
    QTest::newRow("mark parity 7 bits") << gbk << 0x2A << 0x2A;
    QTest::newRow("space parity, high bits set") << gbk << 0xFB << 0x3B;
}

void TestConfigure::untouchedFormSendsWhatTheModuleReported()
{
    QFETCH(QByteArray, nameField);
    QFETCH(int, lineFormat);
    QFETCH(int, sentLineFormat);

    DeviceRecord module = factoryDefaultRecord();
    module.macAddress = SelectedMac;
    module.version = QStringLiteral("1.0.0.1");
    QByteArray reply = layoutDeviceReply(module);
    reply.replace(NameOffset, NameSize, nameField);
    reply[45] = char(lineFormat);
    storeFrameChecksum(reply);
    selectReply(reply);

    QList<QByteArray> frames = pressConfigure();
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames.first().mid(NameOffset, NameSize).toHex(' '), nameField.toHex(' '));
    QCOMPARE(quint8(frames.first().at(45)), quint8(sentLineFormat));
    QCOMPARE(frames.first().mid(22, 23), reply.mid(22, 23)); // addresses, ports and baud rate as reported

    // A language switch in between changes nothing either.
    window->on_pushButton_Yuyan_clicked();
    window->on_pushButton_Yuyan_clicked();
    frames = pressConfigure();
    QCOMPARE(frames.size(), 1);
    QCOMPARE(quint8(frames.first().at(45)), quint8(sentLineFormat));

    // "Factory Reset" reaches the module as 8N1, whatever the boxes showed; the name stays the module's.
    QTest::mouseClick(window->ui->pushButton_FactoryReset, Qt::LeftButton);
    frames = pressConfigure();
    QCOMPARE(frames.size(), 1);
    QCOMPARE(quint8(frames.first().at(45)), quint8(0x03));
    QCOMPARE(frames.first().mid(NameOffset, NameSize).toHex(' '), nameField.toHex(' '));

    // The module answers with its own values again; clicking the row brings its byte back, and choosing a parity
    // builds it from the boxes, a box on the module's own item (5 or 6 data bits) keeping the module's bits.
    selectReply(reply);
    window->ui->comboBox_Parity->setCurrentIndex(2);
    frames = pressConfigure();
    QCOMPARE(frames.size(), 1);
    const int dataBits = window->ui->comboBox_DataBit->currentIndex();
    const quint8 wordLength = dataBits == 0 ? 0x02 : dataBits == 1 ? 0x03 : quint8(lineFormat & 0x03);
    const quint8 fromBoxes = quint8(wordLength | (lineFormat & 0x04) | 0x18);
    QCOMPARE(quint8(frames.first().at(45)), fromBoxes);
}

// "Random" is what local port 0 means: sent while the box is checked, refused once a server mode or the user
// unticks it.
void TestConfigure::randomPortZeroIsSentOnlyWhileChecked()
{
    selectModule(); // TCP Client, so "Random" can be ticked
    QTest::mouseClick(window->ui->checkBox_Random, Qt::LeftButton);
    QCOMPARE(window->ui->lineEdit_Lport->text(), QStringLiteral("0"));
    QList<QByteArray> frames = pressConfigure();
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames.first().mid(34, 2), QByteArray("\0\0", 2));
    QVERIFY(boxes->seen.isEmpty());

    window->ui->comboBox_Mode->setCurrentIndex(3); // TCP Server unticks "Random" and keeps the 0
    QVERIFY(!window->ui->checkBox_Random->isChecked());
    QVERIFY(pressConfigure().isEmpty());
    QCOMPARE(boxes->seen.size(), 1);
    QVERIFY2(boxes->seen.first().second.contains(QStringLiteral("本地端口")), qPrintable(boxes->seen.first().second));
}

// The table the protocol's test runs too: what "Configure" sends or refuses after one typed field, and what the
// field's validator accepts as finished text, follow one rule.
void TestConfigure::sendRule_data()
{
    addSendRuleColumns();
    addSendRuleRows();
}

void TestConfigure::sendRule()
{
    QFETCH(int, field);
    QFETCH(QString, text);
    QFETCH(bool, random);
    QFETCH(int, mode);
    QFETCH(bool, accepted);

    DeviceRecord module = factoryDefaultRecord();
    module.macAddress = SelectedMac;
    module.version = QStringLiteral("1.0.0.1");
    module.workMode = Module::WorkMode(mode);
    selectReply(layoutDeviceReply(module));

    const QHash<int, QLineEdit *> edits = {
        {int(ConfigField::SubnetMask), window->ui->lineEdit_Subnet}, {int(ConfigField::Gateway), window->ui->lineEdit_Gaw},
        {int(ConfigField::LocalIp), window->ui->lineEdit_Lip},       {int(ConfigField::LocalPort), window->ui->lineEdit_Lport},
        {int(ConfigField::RemoteIp), window->ui->lineEdit_Sip},      {int(ConfigField::RemotePort), window->ui->lineEdit_Sport},
        {int(ConfigField::BaudRate), window->ui->lineEdit_Baud},
    };
    QLineEdit *edit = edits.value(field);
    QVERIFY(edit);
    if (random)
        window->ui->checkBox_Random->setChecked(true); // a click where the mode offers it; set here in any mode
    edit->setText(text);
    // "0" in the local port is written by "Random", never finished typing.
    if (!(field == int(ConfigField::LocalPort) && text == QLatin1String("0"))) {
        QString typed = text;
        int position = typed.size();
        QCOMPARE(edit->validator()->validate(typed, position) == QValidator::Acceptable, accepted);
    }

    QCOMPARE(pressConfigure().size(), accepted ? 1 : 0);
    QCOMPARE(boxes->seen.size(), accepted ? 0 : 1);
}

// A module may report what nobody could type: a TCP server's unused remote end 0.0.0.0:0, a baud rate below 100.
// Changing another field sends those back as reported; the greyed fields stay greyed.
void TestConfigure::untouchedReportedValuesGoBackByteForByte_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("remoteIp");
    QTest::addColumn<QString>("remotePort");
    QTest::addColumn<QString>("baudRate");
    QTest::addColumn<QString>("localPort");

    QTest::newRow("TCP server, remote 0.0.0.0:0") << int(Module::TcpServer) << "0.0.0.0" << "0" << "9600" << "502";
    QTest::newRow("UDP server, remote 0.0.0.0:0, local port 0")
        << int(Module::UdpServer) << "0.0.0.0" << "0" << "115200" << "0";
    QTest::newRow("50 baud") << int(Module::Udp) << "192.168.1.254" << "1234" << "50" << "1234";
    QTest::newRow("baud 0, remote port 0") << int(Module::TcpClient) << "10.0.0.1" << "0" << "0" << "4000";
}

void TestConfigure::untouchedReportedValuesGoBackByteForByte()
{
    QFETCH(int, mode);
    QFETCH(QString, remoteIp);
    QFETCH(QString, remotePort);
    QFETCH(QString, baudRate);
    QFETCH(QString, localPort);

    DeviceRecord module = factoryDefaultRecord();
    module.macAddress = SelectedMac;
    module.version = QStringLiteral("1.0.0.1");
    module.workMode = Module::WorkMode(mode);
    module.remoteIp = remoteIp;
    module.remotePort = remotePort;
    module.baudRate = baudRate;
    module.localPort = localPort;
    const QByteArray reply = layoutDeviceReply(module);
    selectReply(reply);
    const bool server = mode == Module::TcpServer || mode == Module::UdpServer;
    QCOMPARE(window->ui->lineEdit_Sip->isEnabled(), !server);
    QCOMPARE(window->ui->lineEdit_Sport->isEnabled(), !server);

    QTest::keyClick(window->ui->lineEdit_Lip, Qt::Key_End);
    QTest::keyClick(window->ui->lineEdit_Lip, Qt::Key_Backspace);
    QTest::keyClicks(window->ui->lineEdit_Lip, QStringLiteral("1")); // 192.168.1.10 -> 192.168.1.11
    QCOMPARE(window->ui->lineEdit_Lip->text(), QStringLiteral("192.168.1.11"));

    const QList<QByteArray> frames = pressConfigure();
    QVERIFY2(boxes->seen.isEmpty(), boxes->seen.isEmpty() ? "" : qPrintable(boxes->seen.first().second));
    QCOMPARE(frames.size(), 1);
    QByteArray expected = reply.mid(NameOffset, 40);
    expected[30 - NameOffset] = char(11); // the one octet typed, last octet first
    QCOMPARE(frames.first().mid(NameOffset, 40).toHex(' '), expected.toHex(' '));
    QCOMPARE(window->ui->lineEdit_Sip->isEnabled(), !server);
}

void TestConfigure::busyPortIsReportedInTheStatusBar()
{
    delete window;
    window = nullptr;
    delete listener; // the port is taken by someone who does not share it
    listener = nullptr;
    QUdpSocket exclusive;
    QVERIFY(exclusive.bind(QHostAddress::Any, DevicePort, QAbstractSocket::DontShareAddress));

    window = new MainWindow;
    if (!MainWindow::isChinese)
        window->on_pushButton_Yuyan_clicked();
    const QString chinese = window->statusBar()->currentMessage();
    QVERIFY2(chinese.contains(QStringLiteral("1500")) && chinese.contains(QStringLiteral("端口")), qPrintable(chinese));
    window->on_pushButton_Yuyan_clicked();
    const QString english = window->statusBar()->currentMessage();
    QVERIFY2(english.contains(QStringLiteral("1500")) && english.contains(QStringLiteral("port")), qPrintable(english));
    QVERIFY(window->ui->pushButton_SearchDevice->isEnabled());
}

// A key given at run time that is not 32 hexadecimal digits: the status bar names its source, in the current
// language, and neither a search request nor a configuration frame leaves.
void TestConfigure::invalidFrameKeyIsNeverUsed_data()
{
    QTest::addColumn<QString>("environmentKey");
    QTest::addColumn<QString>("settingsKey");
    QTest::addColumn<QString>("source");

    QTest::newRow("environment, too short") << "2B7E1516" << "" << "KESTREL_FRAME_KEY";
    QTest::newRow("environment, not hex") << QString(32, QLatin1Char('G')) << "" << "KESTREL_FRAME_KEY";
    QTest::newRow("settings file, 33 digits") << "" << QString(33, QLatin1Char('A')) << "kestrel.ini";
    QTest::newRow("environment wins over a good setting")
        << "zz" << "000102030405060708090A0B0C0D0E0F" << "KESTREL_FRAME_KEY";
}

void TestConfigure::invalidFrameKeyIsNeverUsed()
{
    QFETCH(QString, environmentKey);
    QFETCH(QString, settingsKey);
    QFETCH(QString, source);

    QTemporaryDir settingsDir;
    QVERIFY(settingsDir.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
    {
        QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("kestrel"),
                           QStringLiteral("kestrel"));
        settings.setValue(QStringLiteral("frameKey"), settingsKey);
    }
    qputenv("KESTREL_FRAME_KEY", environmentKey.toLatin1());
    delete window;
    window = new MainWindow;
    qunsetenv("KESTREL_FRAME_KEY");
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QDir::home().filePath(".config"));
    setFrameKey(BuiltInFrameKey); // this test's own listener decrypts with the built-in key
    if (!MainWindow::isChinese)
        window->on_pushButton_Yuyan_clicked();

    const QString chinese = window->statusBar()->currentMessage();
    QVERIFY2(chinese.contains(source) && chinese.contains(QStringLiteral("密钥")), qPrintable(chinese));
    window->on_pushButton_Yuyan_clicked();
    const QString english = window->statusBar()->currentMessage();
    QVERIFY2(english.contains(source) && english.contains(QStringLiteral("not valid")), qPrintable(english));

    QUdpSocket raw;
    QVERIFY(raw.bind(QHostAddress::AnyIPv4, DevicePort, QAbstractSocket::ShareAddress));
    window->on_pushButton_SearchDevice_clicked();
    DeviceRecord module = factoryDefaultRecord();
    module.macAddress = SelectedMac;
    module.version = QStringLiteral("1.0.0.1");
    window->parseDeviceReply(layoutDeviceReply(module), QStringLiteral("10.231.0.2"), 0);
    window->currentDevice = window->deviceList.first();
    window->fillForm(window->currentDevice);
    window->on_pushButton_SaveConfigure_clicked();
    QCOMPARE(sentByTheWindow(raw), QList<QByteArray>()); // nothing leaves with an invalid key
    QVERIFY(boxes->seen.isEmpty());
}

KESTREL_NETWORK_TEST_MAIN(TestConfigure, QApplication)
#include "tst_configure.moc"
