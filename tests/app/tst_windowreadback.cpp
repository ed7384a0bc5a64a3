#include "answeringmodule.h"
#include "deviceendpoint.h"
#include "factorydefaults.h"
#include "frameconstants.h"
#include "framekey.h"
#include "framelayout.h"
#include "mainwindow.h"
#include "messageboxcloser.h"
#include "privatenetwork.h"
#include "ui_mainwindow.h"
#include "windowprobe.h"

#include <QApplication>
#include <QSignalSpy>
#include <QStatusBar>
#include <QtTest>

#include <memory>

namespace {

constexpr char ModuleAddress[] = "10.231.0.2";

DeviceRecord moduleRecord(const QString &mac, const QString &baudRate)
{
    DeviceRecord record = factoryDefaultRecord();
    record.macAddress = mac;
    record.version = QStringLiteral("1.0.0.1");
    record.deviceName = QStringLiteral("M-") + mac.right(2);
    record.baudRate = baudRate;
    return record;
}

} // namespace

// "Configure" against modules the test plays on the segment: what is sent goes to the highlighted module, the
// module's answer to the read-back lands in the status bar, the row and the record, and the form shows what the
// module has.
class TestReadBack : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void configureIsConfirmedAndTheRowTakesTheReply();
    void aLaterConfigureNeverSendsOlderValues();
    void otherValuesAreNamedAndSilenceIsSaid();
    void theHighlightedRowIsTheTarget();
    void lineFormatsWithoutAnItemAreShownAndSentBack_data();
    void lineFormatsWithoutAnItemAreShownAndSentBack();
    void stopBitsFollowTheDataBitsPicked();
    void theSearchSaysWhatAnswered();

private:
    // Starts modules with these baud rates (MACs 02004B530001, ...) and lists them with a search.
    void searchModules(const QStringList &baudRates);
    AnsweringModule &module(int i) { return *modules.at(i); }
    void pressConfigureAndWaitForTheReadBack();
    QString status() const { return window->statusBar()->currentMessage(); }
    // What the status bar says after a search, in the window's language.
    static QString reported(const QString &said)
    {
        return searchReport(said, MainWindow::isChinese, DeviceEndpoint::countsDrops());
    }
    QTableWidget *table() const { return window->ui->tableWidget_DeviceList; }

    MainWindow *window = nullptr;
    MessageBoxCloser *boxes = nullptr;
    std::vector<std::unique_ptr<AnsweringModule>> modules;
};

void TestReadBack::initTestCase()
{
    setFrameKey(BuiltInFrameKey);
}

void TestReadBack::init()
{
    window = new MainWindow;
    if (!MainWindow::isChinese)
        window->on_pushButton_Yuyan_clicked(); // every test starts in Chinese, as the window opens
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    boxes = new MessageBoxCloser;
}

void TestReadBack::cleanup()
{
    modules.clear();
    delete boxes;
    delete window;
}

void TestReadBack::searchModules(const QStringList &baudRates)
{
    for (int i = 0; i < baudRates.size(); ++i) {
        const QString mac = QStringLiteral("02004B53%1").arg(i + 1, 4, 10, QLatin1Char('0'));
        modules.push_back(
            std::make_unique<AnsweringModule>(moduleRecord(mac, baudRates.at(i)), QLatin1String(ModuleAddress)));
        QVERIFY(modules.back()->open());
    }
    QSignalSpy finished(window, &MainWindow::searchFinished);
    QTest::mouseClick(window->ui->pushButton_SearchDevice, Qt::LeftButton);
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(window->deviceList.size(), baudRates.size());
}

void TestReadBack::pressConfigureAndWaitForTheReadBack()
{
    QSignalSpy readBack(window, &MainWindow::readBackFinished);
    QTest::mouseClick(window->ui->pushButton_SaveConfigure, Qt::LeftButton);
    QTRY_COMPARE(readBack.count(), 1);
}

void TestReadBack::configureIsConfirmedAndTheRowTakesTheReply()
{
    searchModules({QStringLiteral("9600")});
    QCOMPARE(status(), reported(QStringLiteral("1个设备应答。")));
    clickCell(table(), 1, 0);
    QVERIFY2(status().contains(QStringLiteral("02004B530001")), qPrintable(status()));

    window->ui->lineEdit_Lip->setText(QStringLiteral("192.168.1.30"));
    pressConfigureAndWaitForTheReadBack();

    QCOMPARE(module(0).configFrames.size(), 1);
    QCOMPARE(module(0).record.localIp, QStringLiteral("192.168.1.30"));
    QCOMPARE(status(), QStringLiteral("已确认：02004B530001现在报告的参数与发送的一致"));
    QCOMPARE(window->deviceList.first().localIp, QStringLiteral("192.168.1.30"));
    QCOMPARE(window->deviceList.first().sourceIp, QLatin1String(ModuleAddress));
    QCOMPARE(rowTexts(table(), 1).at(2), QStringLiteral("02004B530001"));

    // The message follows the language.
    window->on_pushButton_Yuyan_clicked();
    QCOMPARE(status(), QStringLiteral("Confirmed: 02004B530001 now reports the values sent."));
}

// The module does not answer the read-back: its record holds what was sent, so the next change goes out with the
// earlier one, not with the values of the search.
void TestReadBack::aLaterConfigureNeverSendsOlderValues()
{
    searchModules({QStringLiteral("9600")});
    module(0).answers = false;
    clickCell(table(), 1, 0);
    window->ui->lineEdit_Lip->setText(QStringLiteral("192.168.1.30"));
    QTest::mouseClick(window->ui->pushButton_SaveConfigure, Qt::LeftButton);
    QTRY_COMPARE(module(0).configFrames.size(), 1);

    clickCell(table(), 1, 0);
    QCOMPARE(window->ui->lineEdit_Lip->text(), QStringLiteral("192.168.1.30"));
    window->ui->lineEdit_Baud->setText(QStringLiteral("19200"));
    pressConfigureAndWaitForTheReadBack();
    QCOMPARE(module(0).configFrames.size(), 2);
    const DeviceRecord second = decodeDeviceReply(module(0).configFrames.at(1), QString());
    QCOMPARE(second.localIp, QStringLiteral("192.168.1.30"));
    QCOMPARE(second.baudRate, QStringLiteral("19200"));
    QCOMPARE(status(), QStringLiteral("未确认：设置02004B530001后5秒内没有应答，请重新搜索查看其参数"));

    // Once it answers again, a third change carries both earlier ones as well.
    module(0).answers = true;
    clickCell(table(), 1, 0);
    window->ui->comboBox_DataBit->setCurrentIndex(Module::SevenDataBits);
    window->ui->comboBox_Parity->setCurrentIndex(Module::EvenParity);
    pressConfigureAndWaitForTheReadBack();
    QCOMPARE(module(0).record.localIp, QStringLiteral("192.168.1.30"));
    QCOMPARE(module(0).record.baudRate, QStringLiteral("19200"));
    QCOMPARE(module(0).record.dataBits, Module::SevenDataBits);
    QCOMPARE(module(0).record.parity, Module::EvenParity);
    QVERIFY2(status().startsWith(QStringLiteral("已确认")), qPrintable(status()));
}

void TestReadBack::otherValuesAreNamedAndSilenceIsSaid()
{
    searchModules({QStringLiteral("9600")});
    module(0).applies = false;
    clickCell(table(), 1, 0);
    window->ui->lineEdit_Baud->setText(QStringLiteral("115200"));
    window->ui->lineEdit_Sport->setText(QStringLiteral("4001"));
    pressConfigureAndWaitForTheReadBack();
    QCOMPARE(status(), QStringLiteral("未确认：02004B530001报告的参数与发送的不同：目标端口、串口波特率"));
    // The row and the record take what the module reports.
    QCOMPARE(window->deviceList.first().baudRate, QStringLiteral("9600"));
    window->on_pushButton_Yuyan_clicked();
    QCOMPARE(status(),
             QStringLiteral("Not confirmed: 02004B530001 reports other values than sent: Remote Port, "
                            "Baud Rate(bps)."));
}

// Arrow keys and Ctrl+End move the highlight; the form and "Configure" go with it.
void TestReadBack::theHighlightedRowIsTheTarget()
{
    searchModules({QStringLiteral("1200"), QStringLiteral("2400"), QStringLiteral("4800")});
    // Before any row is highlighted, the disabled form shows no module.
    QVERIFY(!window->ui->groupBox_Config->isEnabled());
    QCOMPARE(window->ui->lineEdit_Baud->text(), QString());
    QCOMPARE(window->ui->lineEdit_Lip->text(), QString());

    clickCell(table(), 1, 0);
    QCOMPARE(window->ui->lineEdit_Baud->text(), QStringLiteral("1200"));
    table()->setFocus();
    QTest::keyClick(table(), Qt::Key_Down);
    QTest::keyClick(table(), Qt::Key_Down);
    QCOMPARE(table()->currentRow(), 3);
    QCOMPARE(window->ui->lineEdit_Baud->text(), QStringLiteral("4800"));
    QVERIFY2(status().contains(QStringLiteral("02004B530003")), qPrintable(status()));

    window->ui->lineEdit_Sport->setText(QStringLiteral("4003"));
    pressConfigureAndWaitForTheReadBack();
    QCOMPARE(module(0).configFrames.size(), 0);
    QCOMPARE(module(1).configFrames.size(), 0);
    QCOMPARE(module(2).configFrames.size(), 1);
    QCOMPARE(module(2).record.remotePort, QStringLiteral("4003"));

    QTest::keyClick(table(), Qt::Key_Up);
    QTest::keyClick(table(), Qt::Key_Up);
    QCOMPARE(table()->currentRow(), 1);
    QCOMPARE(window->ui->lineEdit_Baud->text(), QStringLiteral("1200"));
    QVERIFY2(status().contains(QStringLiteral("02004B530001")), qPrintable(status()));
    QTest::keyClick(table(), Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(window->ui->lineEdit_Sport->text(), QStringLiteral("4003"));
}

// Each row: the line-format byte a module reports, what the three boxes show for it, and the byte sent after
// the user picks "EVEN" parity (the other two parts as the module has them).
void TestReadBack::lineFormatsWithoutAnItemAreShownAndSentBack_data()
{
    QTest::addColumn<int>("reported");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<int>("withEvenParity");

    QTest::newRow("5 data bits, mark parity, 1.5 stop bits")
        << 0x2C << QStringList {"5", "MARK", "1.5"} << (0x00 | 0x04 | 0x18);
    QTest::newRow("6 data bits, space parity, 1 stop bit") << 0x39 << QStringList {"6", "SPACE", "1"} << (0x01 | 0x18);
    QTest::newRow("8 data bits, even and stick bits without parity")
        << 0x33 << QStringList {"8", "NONE", "1"} << (0x03 | 0x18);
}

void TestReadBack::lineFormatsWithoutAnItemAreShownAndSentBack()
{
    QFETCH(int, reported);
    QFETCH(QStringList, shown);
    QFETCH(int, withEvenParity);

    DeviceRecord record = moduleRecord(QStringLiteral("02004B530001"), QStringLiteral("9600"));
    setLineFormatByte(record, quint8(reported));
    modules.push_back(std::make_unique<AnsweringModule>(record, QLatin1String(ModuleAddress)));
    QVERIFY(modules.back()->open());
    const QByteArray reply = layoutDeviceReply(record);
    QCOMPARE(int(quint8(reply.at(LineFormatOffset))), reported);
    QSignalSpy finished(window, &MainWindow::searchFinished);
    QTest::mouseClick(window->ui->pushButton_SearchDevice, Qt::LeftButton);
    QTRY_COMPARE(finished.count(), 1);
    clickCell(table(), 1, 0);

    const QList<QComboBox *> boxes
        = {window->ui->comboBox_DataBit, window->ui->comboBox_Parity, window->ui->comboBox_StopBit};
    const QList<int> ownItems = {2, 3, 2};
    for (int i = 0; i < boxes.size(); ++i) {
        QCOMPARE(boxes.at(i)->currentText(), shown.at(i));
        // A value no item of the box stands for has an item of its own, marked as the module's.
        const bool own = boxes.at(i)->currentIndex() >= ownItems.at(i);
        QCOMPARE(boxes.at(i)->count(), ownItems.at(i) + (own ? 1 : 0));
        QCOMPARE(!boxes.at(i)->toolTip().isEmpty(), own);
    }
    // Still shown so after a language switch, which refills the boxes.
    window->on_pushButton_Yuyan_clicked();
    for (int i = 0; i < boxes.size(); ++i)
        QCOMPARE(boxes.at(i)->currentText(), shown.at(i));

    // Untouched, the module's parameters go back byte for byte.
    pressConfigureAndWaitForTheReadBack();
    QCOMPARE(module(0).configFrames.size(), 1);
    QCOMPARE(module(0).configFrames.first().mid(NameOffset, ParametersEnd - NameOffset),
             reply.mid(NameOffset, ParametersEnd - NameOffset));
    QVERIFY2(status().startsWith(QStringLiteral("Confirmed")), qPrintable(status()));
    for (int i = 0; i < boxes.size(); ++i)
        QCOMPARE(boxes.at(i)->currentText(), shown.at(i));

    // Picking another parity is an edit; the data and stop bits stay the module's.
    window->ui->comboBox_Parity->setCurrentIndex(Module::EvenParity);
    pressConfigureAndWaitForTheReadBack();
    QCOMPARE(module(0).configFrames.size(), 2);
    QCOMPARE(int(quint8(module(0).configFrames.at(1).at(LineFormatOffset))), withEvenParity);
    QCOMPARE(window->ui->comboBox_Parity->currentText(), QStringLiteral("EVEN"));
    QCOMPARE(window->ui->comboBox_DataBit->currentText(), shown.at(0));
}

// A module at 5 data bits with the stop-bit flag has 1.5 stop bits; once the user picks 8 data bits the same flag
// means 2, and the stop box says so instead of still showing "1.5".
void TestReadBack::stopBitsFollowTheDataBitsPicked()
{
    DeviceRecord record = moduleRecord(QStringLiteral("02004B530001"), QStringLiteral("9600"));
    setLineFormatByte(record, quint8(0x2C)); // 5 data bits, 1.5 stop bits, mark parity
    modules.push_back(std::make_unique<AnsweringModule>(record, QLatin1String(ModuleAddress)));
    QVERIFY(modules.back()->open());
    QSignalSpy finished(window, &MainWindow::searchFinished);
    QTest::mouseClick(window->ui->pushButton_SearchDevice, Qt::LeftButton);
    QTRY_COMPARE(finished.count(), 1);
    clickCell(table(), 1, 0);
    QCOMPARE(window->ui->comboBox_StopBit->currentText(), QStringLiteral("1.5"));

    // From the module's own "5" one step up is "8", picked with the keyboard as a user would.
    QComboBox *dataBits = window->ui->comboBox_DataBit;
    dataBits->setFocus();
    QTest::keyClick(dataBits, Qt::Key_Up);
    QCOMPARE(dataBits->currentText(), QStringLiteral("8"));
    QCOMPARE(window->ui->comboBox_StopBit->currentText(), QStringLiteral("2"));
    QCOMPARE(window->ui->comboBox_Parity->currentText(), QStringLiteral("MARK"));

    pressConfigureAndWaitForTheReadBack();
    QCOMPARE(module(0).configFrames.size(), 1);
    // 8 data bits (0x03), the stop-bit flag (0x04) and mark parity (0x28) as the module had it.
    QCOMPARE(int(quint8(module(0).configFrames.first().at(LineFormatOffset))), 0x2F);
    QCOMPARE(window->ui->comboBox_StopBit->currentText(), QStringLiteral("2"));
}

// How many modules answered, and what may be wrong when replies fail the checksum or nothing answers; each search
// starts afresh, and a language switch re-translates what is shown.
void TestReadBack::theSearchSaysWhatAnswered()
{
    searchModules({QStringLiteral("9600"), QStringLiteral("19200"), QStringLiteral("38400")});
    QCOMPARE(status(), reported(QStringLiteral("3个设备应答。")));

    module(2).useOtherKey(
        {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F});
    QSignalSpy finished(window, &MainWindow::searchFinished);
    QTest::mouseClick(window->ui->pushButton_SearchDevice, Qt::LeftButton);
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(window->deviceList.size(), 2);
    QCOMPARE(status(), reported(QStringLiteral("2个设备应答。 1个回复校验失败：帧密钥不对？")));
    window->on_pushButton_Yuyan_clicked();
    QCOMPARE(status(),
             reported(QStringLiteral("2 modules answered. Replies that failed the checksum: 1. Wrong frame key?")));

    for (auto &played : modules)
        played->answers = false;
    QTest::mouseClick(window->ui->pushButton_SearchDevice, Qt::LeftButton);
    QTRY_COMPARE(finished.count(), 2);
    QCOMPARE(status(),
             reported(QStringLiteral("No module answered: check that an adapter is connected to the modules' network "
                                     "and that the frame key is theirs.")));
    window->on_pushButton_Yuyan_clicked();
    QCOMPARE(status(), reported(QStringLiteral("没有设备应答：请检查网卡是否连到设备所在的网络，以及帧密钥是否与设备一致。")));
}

KESTREL_NETWORK_TEST_MAIN(TestReadBack, QApplication)
#include "tst_windowreadback.moc"
