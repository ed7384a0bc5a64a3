#include "listedmodule.h"
#include "mainwindow.h"
#include "privatenetwork.h"
#include "windowprobe.h"

#include <QAbstractButton>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTranslator>
#include <QXmlStreamReader>
#include <QtTest>

#include <memory>

// The language button and the two catalogues behind it. One window for the whole class: the chosen
// language is process-wide and every window's construction switches it once.
class TestLanguageSwitch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void captions_data();
    void captions();
    void comboItems_data();
    void comboItems();
    void captionRow_data();
    void captionRow();

    void formSurvivesSwitch_data();
    void formSurvivesSwitch();
    void deviceRowsUntouched();
    void noCatalogueLeftInstalled();

    void compiledCatalogues_data();
    void compiledCatalogues();
    void catalogueEntries_data();
    void catalogueEntries();
    void catalogueSources_data();
    void catalogueSources();

    void everyWindowSwitchesOnce();

private:
    void switchLanguage();
    QString captionOf(const QString &name) const;

    std::unique_ptr<MainWindow> window;
};

void TestLanguageSwitch::initTestCase()
{
    QVERIFY2(!MainWindow::isChinese, "no language is chosen before the first window");
    window = std::make_unique<MainWindow>();
    QVERIFY(MainWindow::isChinese);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    // Make the form editable, as a selected module would.
    window->setModuleCommandsEnabled(true);
}

void TestLanguageSwitch::cleanupTestCase()
{
    window.reset();
}

// A user's press of the language button.
void TestLanguageSwitch::switchLanguage()
{
    QTest::mouseClick(widgetNamed<QPushButton>(*window, QStringLiteral("pushButton_Yuyan")), Qt::LeftButton);
}

QString TestLanguageSwitch::captionOf(const QString &name) const
{
    if (name == window->objectName())
        return window->windowTitle();
    const QWidget *widget = widgetNamed<QWidget>(*window, name);
    if (const auto *label = qobject_cast<const QLabel *>(widget))
        return label->text();
    if (const auto *button = qobject_cast<const QAbstractButton *>(widget))
        return button->text();
    if (const auto *group = qobject_cast<const QGroupBox *>(widget))
        return group->title();
    return QStringLiteral("<no caption on %1>").arg(name);
}

void TestLanguageSwitch::captions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("chinese");
    QTest::addColumn<QString>("english");

    QTest::newRow("window title") << "MainWindow"
                                  << "Kestrel_ConfigureTool_V1.1"
                                  << "Kestrel_ConfigureTool_V1.1";
    QTest::newRow("groupBox_Config") << "groupBox_Config"
                                     << "参数设置"
                                     << "Parameters";
    QTest::newRow("label_Mode") << "label_Mode"
                                << "工作方式"
                                << "Work mode";
    QTest::newRow("label_9") << "label_9"
                             << "IP地址类型"
                             << "IP Type";
    QTest::newRow("label") << "label"
                           << "静态IP"
                           << "Static IP";
    QTest::newRow("label_2") << "label_2"
                             << "子网掩码"
                             << "Subnet Mask";
    QTest::newRow("label_3") << "label_3"
                             << "网关"
                             << "Gateway";
    QTest::newRow("label_10") << "label_10"
                              << "Modbus转换"
                              << "Modbus Convert";
    QTest::newRow("label_6") << "label_6"
                             << "本地端口"
                             << "Local Port";
    QTest::newRow("checkBox_Random") << "checkBox_Random"
                                     << "随机"
                                     << "Random";
    QTest::newRow("label_7") << "label_7"
                             << "目标IP"
                             << "Remote IP";
    QTest::newRow("label_8") << "label_8"
                             << "目标端口"
                             << "Remote Port";
    QTest::newRow("label_4") << "label_4"
                             << "串口波特率"
                             << "Baud Rate(bps)";
    QTest::newRow("label_5") << "label_5"
                             << "校验/数据/停止"
                             << "Parity/Data/Stop";
    QTest::newRow("pushButton_Yuyan") << "pushButton_Yuyan"
                                      << "English"
                                      << "中文";
    QTest::newRow("groupBox") << "groupBox"
                              << "搜索列表"
                              << "Search List";
    QTest::newRow("pushButton_SearchDevice") << "pushButton_SearchDevice"
                                             << "搜索设备"
                                             << "Search Device";
    QTest::newRow("pushButton_DeviceRestart") << "pushButton_DeviceRestart"
                                              << "设备重启"
                                              << "Device Restart";
    QTest::newRow("pushButton_FactoryReset") << "pushButton_FactoryReset"
                                             << "恢复出厂"
                                             << "Factory Reset";
    QTest::newRow("pushButton_SaveConfigure") << "pushButton_SaveConfigure"
                                              << "设置"
                                              << "Configure";
}

// Chinese from start-up, English after one press, Chinese again after the second.
void TestLanguageSwitch::captions()
{
    QFETCH(QString, name);
    QFETCH(QString, chinese);
    QFETCH(QString, english);

    QVERIFY(MainWindow::isChinese);
    QCOMPARE(captionOf(name), chinese);
    switchLanguage();
    QVERIFY(!MainWindow::isChinese);
    QCOMPARE(captionOf(name), english);
    switchLanguage();
    QVERIFY(MainWindow::isChinese);
    QCOMPARE(captionOf(name), chinese);
}

void TestLanguageSwitch::comboItems_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("chinese");
    QTest::addColumn<QStringList>("english");

    const QStringList modes = {"UDP", "TCP Client", "UDP Server", "TCP Server"};
    QTest::newRow("comboBox_Mode") << "comboBox_Mode" << modes << modes;
    QTest::newRow("comboBox_IpType") << "comboBox_IpType" << QStringList {"静态IP", "DHCP/动态IP"}
                                     << QStringList {"Static IP", "DHCP/Auto IP"};
    const QStringList modbus = {"OFF", "Modbus TCP/RTU Conversion"};
    QTest::newRow("comboBox_ModbusConvt") << "comboBox_ModbusConvt" << modbus << modbus;
    const QStringList parity = {"NONE", "ODD", "EVEN"};
    QTest::newRow("comboBox_Parity") << "comboBox_Parity" << parity << parity;
    QTest::newRow("comboBox_DataBit") << "comboBox_DataBit" << QStringList {"7", "8"} << QStringList {"7", "8"};
    QTest::newRow("comboBox_StopBit") << "comboBox_StopBit" << QStringList {"1", "2"} << QStringList {"1", "2"};
}

void TestLanguageSwitch::comboItems()
{
    QFETCH(QString, name);
    QFETCH(QStringList, chinese);
    QFETCH(QStringList, english);

    const auto *combo = widgetNamed<QComboBox>(*window, name);
    QVERIFY(combo);
    const auto items = [combo] {
        QStringList texts;
        for (int i = 0; i < combo->count(); ++i)
            texts << combo->itemText(i);
        return texts;
    };
    QCOMPARE(items(), chinese);
    switchLanguage();
    QCOMPARE(items(), english);
    switchLanguage();
    QCOMPARE(items(), chinese);
}

void TestLanguageSwitch::captionRow_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("chinese");
    QTest::addColumn<QString>("english");

    QTest::newRow("device ip") << 0 << "设备IP"
                               << "Device IP";
    QTest::newRow("device name") << 1 << "设备名称"
                                 << "Device Name";
    QTest::newRow("mac") << 2 << "MAC地址"
                         << "MAC";
    // the English catalogue would say "VERSION", but English looks up the English text
    QTest::newRow("version") << 3 << "版本"
                             << "Version";
}

void TestLanguageSwitch::captionRow()
{
    QFETCH(int, column);
    QFETCH(QString, chinese);
    QFETCH(QString, english);

    const auto *table = widgetNamed<QTableWidget>(*window, QStringLiteral("tableWidget_DeviceList"));
    const QTableWidgetItem *caption = table->item(0, column);
    const Qt::ItemFlags flags = caption->flags();
    QCOMPARE(caption->text(), chinese);
    switchLanguage();
    QCOMPARE(table->item(0, column), caption); // the same item, given a new text
    QCOMPARE(caption->text(), english);
    QCOMPARE(caption->data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));
    QCOMPARE(caption->flags(), flags);
    switchLanguage();
    QCOMPARE(caption->text(), chinese);
    QCOMPARE(caption->flags(), flags);
}

void TestLanguageSwitch::formSurvivesSwitch_data()
{
    QTest::addColumn<DeviceRecord>("record");

    DeviceRecord tcpClientRandom;
    tcpClientRandom.baudRate = QStringLiteral("115200");
    tcpClientRandom.dataBits = Module::EightDataBits;
    tcpClientRandom.gateway = QStringLiteral("10.0.0.1");
    tcpClientRandom.localIp = QStringLiteral("10.0.0.20");
    tcpClientRandom.localPort = QStringLiteral("0");
    tcpClientRandom.workMode = Module::TcpClient;
    tcpClientRandom.parity = Module::EvenParity;
    tcpClientRandom.randomPort = true;
    tcpClientRandom.remoteIp = QStringLiteral("10.0.0.99");
    tcpClientRandom.remotePort = QStringLiteral("8000");
    tcpClientRandom.stopBits = Module::TwoStopBits;
    tcpClientRandom.subnetMask = QStringLiteral("255.0.0.0");
    tcpClientRandom.ipType = Module::StaticIp;
    tcpClientRandom.modbusConvert = Module::ModbusOn;
    QTest::newRow("tcp client, random port") << tcpClientRandom;

    DeviceRecord dhcpServer = tcpClientRandom;
    dhcpServer.workMode = Module::UdpServer;
    dhcpServer.randomPort = false;
    dhcpServer.localPort = QStringLiteral("502");
    dhcpServer.ipType = Module::Dhcp;
    dhcpServer.dataBits = Module::SevenDataBits;
    dhcpServer.parity = Module::OddParity;
    dhcpServer.stopBits = Module::OneStopBit;
    dhcpServer.modbusConvert = Module::ModbusOff;
    QTest::newRow("dhcp, udp server, 7O1") << dhcpServer;

    DeviceRecord tcpServer = dhcpServer;
    tcpServer.workMode = Module::TcpServer;
    tcpServer.ipType = Module::StaticIp;
    QTest::newRow("static, tcp server") << tcpServer;

    // texts the user has typed only part of stay as typed
    DeviceRecord halfTyped = tcpClientRandom;
    halfTyped.workMode = Module::Udp;
    halfTyped.randomPort = false;
    halfTyped.localPort = QStringLiteral("12");
    halfTyped.localIp = QStringLiteral("192.168.");
    halfTyped.baudRate = QString();
    QTest::newRow("udp, unfinished texts") << halfTyped;
}

void TestLanguageSwitch::formSurvivesSwitch()
{
    QFETCH(DeviceRecord, record);

    window->fillForm(record);
    const QStringList shown = formState(*window);
    DeviceRecord read;
    window->readForm(read);
    QCOMPARE(read, record); // the form holds the record's values, whose identity fields are empty here

    for (bool toChinese : {false, true}) {
        switchLanguage();
        QCOMPARE(MainWindow::isChinese, toChinese);
        QCOMPARE(formState(*window), shown);
        DeviceRecord after;
        window->readForm(after);
        QCOMPARE(after, record);
    }
}

void TestLanguageSwitch::deviceRowsUntouched()
{
    auto *table = widgetNamed<QTableWidget>(*window, QStringLiteral("tableWidget_DeviceList"));
    window->addDeviceRow(listedModule(QStringLiteral("192.168.1.10"), QStringLiteral("模块一"),
                                      QStringLiteral("0A1B2C3D4E5F"), QStringLiteral("1.2.0.3")));
    window->addDeviceRow(listedModule(QStringLiteral("192.168.1.11"), QStringLiteral("Version"),
                                      QStringLiteral("0A1B2C3D4E60"), QStringLiteral("1.2.0.4")));
    const QStringList first = rowTexts(table, 1);
    const QStringList second = rowTexts(table, 2);

    for (int i = 0; i < 2; ++i) {
        switchLanguage();
        QCOMPARE(table->rowCount(), 3);
        QCOMPARE(rowTexts(table, 1), first);
        QCOMPARE(rowTexts(table, 2), second);
    }
    window->clearDeviceRows();
}

void TestLanguageSwitch::noCatalogueLeftInstalled()
{
    for (int i = 0; i < 2; ++i) {
        switchLanguage();
        QCOMPARE(QCoreApplication::translate("MainWindow", "Parameters"), QStringLiteral("Parameters"));
        QCOMPARE(QCoreApplication::translate("MainWindow", "English"), QStringLiteral("English"));
        QCOMPARE(QCoreApplication::translate("QObject", "版本"), QStringLiteral("版本"));
        QCOMPARE(QCoreApplication::translate("QObject", "Version"), QStringLiteral("Version"));
    }
}

void TestLanguageSwitch::compiledCatalogues_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("language");

    QTest::newRow("chinese") << ":/qm/tr_zh.qm"
                             << "zh_CN";
    QTest::newRow("english") << ":/qm/tr_en.qm"
                             << "en_US";
}

void TestLanguageSwitch::compiledCatalogues()
{
    QFETCH(QString, path);
    QFETCH(QString, language);

    // Which texts each catalogue translates, and to what, is what the window shows (captions, comboItems,
    // captionRow) and catalogueEntries; here: the bundle carries it, and it says its language.
    QTranslator translator;
    QVERIFY(translator.load(path));
    QCOMPARE(translator.language(), language);
}

void TestLanguageSwitch::catalogueEntries_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("context");
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QString>("translation"); // null: the source text shows

    const QString zh = QStringLiteral(":/qm/tr_zh.qm");
    const QString en = QStringLiteral(":/qm/tr_en.qm");
    QTest::newRow("zh Parameters") << zh << QByteArray("MainWindow") << QByteArray("Parameters")
                                   << QStringLiteral("参数设置");
    QTest::newRow("zh DHCP") << zh << QByteArray("MainWindow") << QByteArray("DHCP/Auto IP")
                             << QStringLiteral("DHCP/动态IP");
    QTest::newRow("zh English") << zh << QByteArray("MainWindow") << QByteArray("English") << QStringLiteral("English");
    QTest::newRow("zh UDP") << zh << QByteArray("MainWindow") << QByteArray("UDP") << QString();
    QTest::newRow("zh NONE") << zh << QByteArray("MainWindow") << QByteArray("NONE") << QString();
    QTest::newRow("zh title") << zh << QByteArray("MainWindow") << QByteArray("Kestrel_ConfigureTool_V1.1")
                              << QString();
    QTest::newRow("zh Device IP") << zh << QByteArray("QObject") << QByteArray("Device IP") << QStringLiteral("设备IP");
    QTest::newRow("zh Version") << zh << QByteArray("QObject") << QByteArray("Version") << QStringLiteral("版本");
    QTest::newRow("zh 设备IP") << zh << QByteArray("QObject") << QByteArray("设备IP") << QString();
    QTest::newRow("zh 版本") << zh << QByteArray("QObject") << QByteArray("版本") << QString();
    QTest::newRow("zh wrong context") << zh << QByteArray("QObject") << QByteArray("Parameters") << QString();

    QTest::newRow("en English") << en << QByteArray("MainWindow") << QByteArray("English") << QStringLiteral("中文");
    QTest::newRow("en Modbus Convert") << en << QByteArray("MainWindow") << QByteArray("Modbus Convert")
                                       << QStringLiteral("Modbus Convert");
    QTest::newRow("en Parameters") << en << QByteArray("MainWindow") << QByteArray("Parameters") << QString();
    QTest::newRow("en Static IP") << en << QByteArray("MainWindow") << QByteArray("Static IP") << QString();
    QTest::newRow("en Parity/Data/Stop") << en << QByteArray("MainWindow") << QByteArray("Parity/Data/Stop")
                                         << QString();
    QTest::newRow("en 设备IP") << en << QByteArray("QObject") << QByteArray("设备IP") << QStringLiteral("Device IP");
    QTest::newRow("en 设备名称") << en << QByteArray("QObject") << QByteArray("设备名称")
                                 << QStringLiteral("Device Name");
    QTest::newRow("en MAC地址") << en << QByteArray("QObject") << QByteArray("MAC地址") << QStringLiteral("MAC");
    QTest::newRow("en 版本") << en << QByteArray("QObject") << QByteArray("版本") << QStringLiteral("VERSION");
    QTest::newRow("en Version") << en << QByteArray("QObject") << QByteArray("Version") << QString();
}

void TestLanguageSwitch::catalogueEntries()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, context);
    QFETCH(QByteArray, source);
    QFETCH(QString, translation);

    QTranslator translator;
    QVERIFY(translator.load(path));
    const QString found = translator.translate(context.constData(), source.constData());
    QCOMPARE(found.isNull(), translation.isNull());
    QCOMPARE(found, translation);
}

void TestLanguageSwitch::catalogueSources_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("language");

    QTest::newRow("chinese") << ":/qm/tr_zh.ts"
                             << "zh_CN";
    QTest::newRow("english") << ":/qm/tr_en.ts"
                             << "en_US";
}

// The Linguist sources travel in the bundle beside the compiled catalogues.
void TestLanguageSwitch::catalogueSources()
{
    QFETCH(QString, path);
    QFETCH(QString, language);

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    QCOMPARE(xml.readNext(), QXmlStreamReader::StartDocument);
    QCOMPARE(xml.documentEncoding().toString().toLower(), QStringLiteral("utf-8"));
    QVERIFY(xml.readNextStartElement());
    QCOMPARE(xml.name().toString(), QStringLiteral("TS"));
    QCOMPARE(xml.attributes().value(QStringLiteral("version")).toString(), QStringLiteral("2.1"));
    QCOMPARE(xml.attributes().value(QStringLiteral("language")).toString(), language);
}

// Runs last: a second window switches the process to English and a third back to Chinese.
void TestLanguageSwitch::everyWindowSwitchesOnce()
{
    QVERIFY(MainWindow::isChinese);
    {
        MainWindow second;
        QVERIFY(!MainWindow::isChinese);
        QCOMPARE(widgetNamed<QGroupBox>(second, QStringLiteral("groupBox_Config"))->title(),
                 QStringLiteral("Parameters"));
        QCOMPARE(widgetNamed<QPushButton>(second, QStringLiteral("pushButton_Yuyan"))->text(), QStringLiteral("中文"));
        QCOMPARE(rowTexts(widgetNamed<QTableWidget>(second, QStringLiteral("tableWidget_DeviceList")), 0),
                 QStringList({"Device IP", "Device Name", "MAC", "Version"}));
    }
    MainWindow third;
    QVERIFY(MainWindow::isChinese);
    QCOMPARE(widgetNamed<QGroupBox>(third, QStringLiteral("groupBox_Config"))->title(), QStringLiteral("参数设置"));
}

KESTREL_NETWORK_TEST_MAIN(TestLanguageSwitch, QApplication)
#include "tst_languageswitch.moc"
