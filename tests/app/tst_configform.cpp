#include "mainwindow.h"
#include "privatenetwork.h"
#include "windowprobe.h"

#include <QPushButton>
#include <QtTest>

#include <memory>

// The parameter form: its validators, the four rules that keep dependent fields consistent, the copies
// to and from a record, the row click that selects a module, and the Factory Reset and Device Restart
// commands. A fresh window for every case.
class TestConfigForm : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void addressFields_data();
    void addressFields();
    void validation_data();
    void validation();
    void typing_data();
    void typing();

    void rules_data();
    void rules();
    void fillThenRead_data();
    void fillThenRead();
    void randomPortOnLoad_data();
    void randomPortOnLoad();

    void rowClickSelectsModule();
    void captionRowClickChangesNothing();
    void keyboardSelectionLoadsTheModule();
    void rowWithoutRecordChangesNothing();

    void factoryReset_data();
    void factoryReset();
    void factoryResetEnablesAddressFields();
    void factoryResetThenRowClickRestores();
    void configureCopiesFormIntoSelection();
    void deviceRestartDoesNothing();

private:
    // Lists a module as the reply parser does and selects it with a click on its row.
    void selectModule(const DeviceRecord &record);
    QLineEdit *lineEdit(const char *name) const;

    std::unique_ptr<MainWindow> window;
    QTableWidget *table = nullptr;
};

namespace {

DeviceRecord moduleRecord()
{
    DeviceRecord record;
    record.macAddress = QStringLiteral("0A1B2C3D4E5F");
    record.version = QStringLiteral("1.2.0.3");
    record.deviceName = QStringLiteral("KST-CONV");
    record.sourceIp = QStringLiteral("192.168.0.7");
    record.localIp = QStringLiteral("192.168.0.7");
    record.remoteIp = QStringLiteral("192.168.0.100");
    record.subnetMask = QStringLiteral("255.255.255.0");
    record.gateway = QStringLiteral("192.168.0.1");
    record.localPort = QStringLiteral("502");
    record.remotePort = QStringLiteral("8080");
    record.baudRate = QStringLiteral("115200");
    record.workMode = Module::TcpClient;
    record.ipType = Module::StaticIp;
    record.randomPort = false;
    record.parity = Module::EvenParity;
    record.dataBits = Module::EightDataBits;
    record.stopBits = Module::OneStopBit;
    record.modbusConvert = Module::ModbusOn;
    return record;
}

// The form's fields with the record's values, and its identity fields as they were.
DeviceRecord withFormOf(DeviceRecord identity, const DeviceRecord &form)
{
    identity.localIp = form.localIp;
    identity.remoteIp = form.remoteIp;
    identity.subnetMask = form.subnetMask;
    identity.gateway = form.gateway;
    identity.localPort = form.localPort;
    identity.remotePort = form.remotePort;
    identity.baudRate = form.baudRate;
    identity.workMode = form.workMode;
    identity.ipType = form.ipType;
    identity.randomPort = form.randomPort;
    identity.parity = form.parity;
    identity.dataBits = form.dataBits;
    identity.stopBits = form.stopBits;
    identity.modbusConvert = form.modbusConvert;
    return identity;
}

} // namespace

void TestConfigForm::init()
{
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    table = widgetNamed<QTableWidget>(*window, QStringLiteral("tableWidget_DeviceList"));
    QVERIFY(table);
}

void TestConfigForm::cleanup()
{
    window.reset();
}

QLineEdit *TestConfigForm::lineEdit(const char *name) const
{
    return widgetNamed<QLineEdit>(*window, QString::fromLatin1(name));
}

void TestConfigForm::selectModule(const DeviceRecord &record)
{
    window->addDeviceRow(record);
    clickCell(table, table->rowCount() - 1, 1);
    QCOMPARE(window->currentDevice, record);
}

void TestConfigForm::addressFields_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("state");

    const int acceptable = QValidator::Acceptable;
    const int intermediate = QValidator::Intermediate;
    const int invalid = QValidator::Invalid;
    const QList<QPair<QString, int>> inputs = {
        {"192.168.1.254", acceptable},
        {"010.001.000.255", acceptable}, // leading zeros up to three digits
        {"255.255.255.255", acceptable},
        {"0.0.0.0", acceptable},
        {"255.255.255.0", acceptable},
        {"", intermediate},
        {"192.168", intermediate},
        {"192.168.1.", intermediate},
        {"256.1.1.1", invalid},
        {"1.1.1.256", invalid},
        {"1.2.3.4.5", invalid},
        {"0255.1.1.1", invalid},
        {"1.2.3.4 ", invalid},
        {"a.b.c.d", invalid},
        {"1,2,3,4", invalid},
        // only the digits the frame builder reads: not Arabic-Indic, not full-width
        {QStringLiteral("\u0661\u0669\u0662.\u0661\u0666\u0668.\u0661.\u0661"), invalid},
        {QStringLiteral("\uFF11\uFF19\uFF12.168.1.1"), invalid},
    };
    // The four address fields answer alike.
    for (const char *name : {"lineEdit_Lip", "lineEdit_Subnet", "lineEdit_Gaw", "lineEdit_Sip"}) {
        for (const auto &input : inputs)
            QTest::addRow("%s \"%s\"", name, qPrintable(input.first)) << name << input.first << input.second;
    }
}

// What the validator of an address field makes of a whole text put into it.
void TestConfigForm::addressFields()
{
    QFETCH(QString, name);
    QFETCH(QString, input);
    QFETCH(int, state);

    const QLineEdit *edit = widgetNamed<QLineEdit>(*window, name);
    QVERIFY(edit && edit->validator());
    int position = input.size();
    QCOMPARE(int(edit->validator()->validate(input, position)), state);
}

void TestConfigForm::validation_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("state");

    const int acceptable = QValidator::Acceptable;
    const int intermediate = QValidator::Intermediate;
    const int invalid = QValidator::Invalid;

    QTest::newRow("port 1") << "lineEdit_Lport"
                            << "1" << acceptable;
    QTest::newRow("port 1500") << "lineEdit_Lport"
                               << "1500" << acceptable;
    QTest::newRow("port 65535") << "lineEdit_Lport"
                                << "65535" << acceptable;
    QTest::newRow("port 0") << "lineEdit_Lport"
                            << "0" << intermediate;
    QTest::newRow("port empty") << "lineEdit_Lport"
                                << "" << intermediate;
    QTest::newRow("port 65536") << "lineEdit_Lport"
                                << "65536" << invalid;
    QTest::newRow("port 99999") << "lineEdit_Lport"
                                << "99999" << invalid;
    QTest::newRow("port 100000") << "lineEdit_Lport"
                                 << "100000" << invalid;
    QTest::newRow("port -1") << "lineEdit_Lport"
                             << "-1" << invalid;
    QTest::newRow("port letters") << "lineEdit_Lport"
                                  << "8o" << invalid;
    QTest::newRow("remote port 65535") << "lineEdit_Sport"
                                       << "65535" << acceptable;
    QTest::newRow("remote port 0") << "lineEdit_Sport"
                                   << "0" << intermediate;
    QTest::newRow("remote port 65536") << "lineEdit_Sport"
                                       << "65536" << invalid;

    QTest::newRow("baud 100") << "lineEdit_Baud"
                              << "100" << acceptable;
    QTest::newRow("baud 9600") << "lineEdit_Baud"
                               << "9600" << acceptable;
    QTest::newRow("baud 2000000") << "lineEdit_Baud"
                                  << "2000000" << acceptable;
    QTest::newRow("baud 96") << "lineEdit_Baud"
                             << "96" << intermediate;
    QTest::newRow("baud 2000001") << "lineEdit_Baud"
                                  << "2000001" << invalid;
    QTest::newRow("baud 20000000") << "lineEdit_Baud"
                                   << "20000000" << invalid;
}

void TestConfigForm::validation()
{
    QFETCH(QString, name);
    QFETCH(QString, input);
    QFETCH(int, state);

    const QLineEdit *edit = widgetNamed<QLineEdit>(*window, name);
    QVERIFY(edit && edit->validator());
    int position = input.size();
    QCOMPARE(int(edit->validator()->validate(input, position)), state);
}

void TestConfigForm::typing_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("shown");

    QTest::newRow("port above 65535") << "lineEdit_Lport"
                                      << "65536"
                                      << "6553";
    QTest::newRow("port 70000") << "lineEdit_Sport"
                                << "70000"
                                << "7000";
    QTest::newRow("lone zero stands") << "lineEdit_Lport"
                                      << "0"
                                      << "0";
    QTest::newRow("short baud stands") << "lineEdit_Baud"
                                       << "96"
                                       << "96";
    QTest::newRow("baud above 2000000") << "lineEdit_Baud"
                                        << "2000001"
                                        << "200000";
    QTest::newRow("ip stops at the 6") << "lineEdit_Lip"
                                       << "256.1.1.1"
                                       << "25.1.1.1";
    QTest::newRow("no fifth part") << "lineEdit_Gaw"
                                   << "1.2.3.4.5"
                                   << "1.2.3.45";
    QTest::newRow("letters refused") << "lineEdit_Subnet"
                                     << "255.x255"
                                     << "255.255";
}

// What a user's keystrokes leave in an editable field.
void TestConfigForm::typing()
{
    QFETCH(QString, name);
    QFETCH(QString, keys);
    QFETCH(QString, shown);

    selectModule(moduleRecord());
    QLineEdit *edit = widgetNamed<QLineEdit>(*window, name);
    QVERIFY(edit->isEnabled());
    edit->clear();
    QTest::keyClicks(edit, keys);
    QCOMPARE(edit->text(), shown);
}

void TestConfigForm::rules_data()
{
    // Steps are applied one after another to the selected module (TCP Client, static IP, local port 502):
    // "mode N" and "ip N" choose a combo box entry, "random" clicks the check box, "port TEXT" retypes the
    // local port. The result columns give the dependent widgets' states afterwards.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<bool>("remoteEnabled"); // lineEdit_Sip and lineEdit_Sport
    QTest::addColumn<bool>("randomEnabled");
    QTest::addColumn<bool>("randomChecked");
    QTest::addColumn<bool>("addressEnabled"); // lineEdit_Gaw, lineEdit_Lip and lineEdit_Subnet
    QTest::addColumn<QString>("localPort");

    QTest::newRow("selected module") << QStringList() << true << true << false << true << "502";
    QTest::newRow("check random") << QStringList {"random"} << true << true << true << true << "0";
    QTest::newRow("random, then type a port")
        << QStringList {"random", "port 1234"} << true << true << false << true << "1234";
    QTest::newRow("random, then type 00") << QStringList {"random", "port 00"} << true << true << true << true << "00";
    QTest::newRow("uncheck random keeps 0") << QStringList {"random", "random"} << true << true << false << true << "0";
    QTest::newRow("udp") << QStringList {"random", "mode 0"} << true << false << false << true << "0";
    QTest::newRow("udp server") << QStringList {"random", "mode 2"} << false << false << false << true << "0";
    QTest::newRow("tcp server") << QStringList {"mode 3"} << false << false << false << true << "502";
    QTest::newRow("server back to tcp client")
        << QStringList {"mode 2", "mode 1"} << true << true << false << true << "502";
    QTest::newRow("tcp server to udp") << QStringList {"mode 3", "mode 0"} << true << false << false << true << "502";
    QTest::newRow("udp to tcp client") << QStringList {"mode 0", "mode 1"} << true << true << false << true << "502";
    QTest::newRow("dhcp") << QStringList {"ip 1"} << true << true << false << false << "502";
    QTest::newRow("dhcp, then static") << QStringList {"ip 1", "ip 0"} << true << true << false << true << "502";
    QTest::newRow("dhcp udp server") << QStringList {"ip 1", "mode 2"} << false << false << false << false << "502";
}

void TestConfigForm::rules()
{
    QFETCH(QStringList, steps);
    QFETCH(bool, remoteEnabled);
    QFETCH(bool, randomEnabled);
    QFETCH(bool, randomChecked);
    QFETCH(bool, addressEnabled);
    QFETCH(QString, localPort);

    const DeviceRecord module = moduleRecord();
    selectModule(module);
    auto *random = widgetNamed<QCheckBox>(*window, QStringLiteral("checkBox_Random"));
    for (const QString &step : steps) {
        const QString argument = step.section(QLatin1Char(' '), 1);
        if (step.startsWith(QLatin1String("mode ")))
            widgetNamed<QComboBox>(*window, QStringLiteral("comboBox_Mode"))->setCurrentIndex(argument.toInt());
        else if (step.startsWith(QLatin1String("ip ")))
            widgetNamed<QComboBox>(*window, QStringLiteral("comboBox_IpType"))->setCurrentIndex(argument.toInt());
        else if (step == QLatin1String("random"))
            QTest::mouseClick(random, Qt::LeftButton, Qt::NoModifier, QPoint(2, random->height() / 2));
        else if (step.startsWith(QLatin1String("port "))) {
            lineEdit("lineEdit_Lport")->selectAll();
            QTest::keyClicks(lineEdit("lineEdit_Lport"), argument);
        } else
            QFAIL(qPrintable(QStringLiteral("unknown step ") + step));
    }

    QCOMPARE(lineEdit("lineEdit_Sip")->isEnabled(), remoteEnabled);
    QCOMPARE(lineEdit("lineEdit_Sport")->isEnabled(), remoteEnabled);
    QCOMPARE(random->isEnabled(), randomEnabled);
    QCOMPARE(random->isChecked(), randomChecked);
    QCOMPARE(lineEdit("lineEdit_Gaw")->isEnabled(), addressEnabled);
    QCOMPARE(lineEdit("lineEdit_Lip")->isEnabled(), addressEnabled);
    QCOMPARE(lineEdit("lineEdit_Subnet")->isEnabled(), addressEnabled);
    QCOMPARE(lineEdit("lineEdit_Lport")->text(), localPort);
    QVERIFY(lineEdit("lineEdit_Lport")->isEnabled());
    // greyed-out fields keep their texts
    QCOMPARE(lineEdit("lineEdit_Lip")->text(), module.localIp);
    QCOMPARE(lineEdit("lineEdit_Sip")->text(), module.remoteIp);
    QCOMPARE(lineEdit("lineEdit_Sport")->text(), module.remotePort);
}

void TestConfigForm::fillThenRead_data()
{
    QTest::addColumn<DeviceRecord>("record");

    const DeviceRecord module = moduleRecord();
    QTest::newRow("tcp client") << module;

    DeviceRecord random = module;
    random.localPort = QStringLiteral("0");
    random.randomPort = true;
    QTest::newRow("tcp client, random port") << random;

    // every small setting different from the first row and from its neighbours
    DeviceRecord dhcp = module;
    dhcp.ipType = Module::Dhcp;
    dhcp.workMode = Module::TcpServer;
    dhcp.dataBits = Module::SevenDataBits;
    dhcp.parity = Module::OddParity;
    dhcp.stopBits = Module::TwoStopBits;
    dhcp.modbusConvert = Module::ModbusOff;
    QTest::newRow("dhcp, tcp server, 7O2") << dhcp;

    DeviceRecord udpServer = module;
    udpServer.workMode = Module::UdpServer;
    udpServer.parity = Module::NoParity;
    udpServer.stopBits = Module::TwoStopBits;
    udpServer.modbusConvert = Module::ModbusOff;
    QTest::newRow("udp server, 8N2") << udpServer;

    DeviceRecord udp = module;
    udp.workMode = Module::Udp;
    udp.localPort = QStringLiteral("0");
    udp.randomPort = true; // a module may report port 0 in UDP mode: the box shows it, greyed out
    QTest::newRow("udp with port 0") << udp;

    DeviceRecord raw = module;
    raw.localIp = QStringLiteral(" 300.1.1.1 "); // copied as it is, validators only guard typing
    raw.baudRate = QString();
    QTest::newRow("texts copied unchanged") << raw;
}

// fillForm then readForm gives the record back; readForm then fillForm leaves the form as it was.
void TestConfigForm::fillThenRead()
{
    QFETCH(DeviceRecord, record);

    window->fillForm(record);
    const QStringList shown = formState(*window);

    DeviceRecord read;
    read.macAddress = QStringLiteral("FFEEDDCCBBAA");
    read.deviceName = QStringLiteral("untouched");
    window->readForm(read);
    QCOMPARE(read, withFormOf(read, record));
    QCOMPARE(read.macAddress, QStringLiteral("FFEEDDCCBBAA"));
    QCOMPARE(read.deviceName, QStringLiteral("untouched"));

    window->fillForm(read);
    QCOMPARE(formState(*window), shown);
}

void TestConfigForm::randomPortOnLoad_data()
{
    QTest::addColumn<int>("workMode");
    QTest::addColumn<QString>("localPort");
    QTest::addColumn<bool>("randomPort");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<bool>("enabled");

    QTest::newRow("tcp client, port 0") << 1 << "0" << true << true << true;
    QTest::newRow("tcp client, port 502") << 1 << "502" << false << false << true;
    QTest::newRow("udp server, port 502") << 2 << "502" << false << false << false;
    QTest::newRow("udp, port 0") << 0 << "0" << true << true << false;
}

// Loading a module over one whose "Random" was checked.
void TestConfigForm::randomPortOnLoad()
{
    QFETCH(int, workMode);
    QFETCH(QString, localPort);
    QFETCH(bool, randomPort);
    QFETCH(bool, checked);
    QFETCH(bool, enabled);

    DeviceRecord previous = moduleRecord();
    previous.localPort = QStringLiteral("0");
    previous.randomPort = true;
    window->fillForm(previous);

    DeviceRecord record = moduleRecord();
    record.workMode = Module::WorkMode(workMode);
    record.localPort = localPort;
    record.randomPort = randomPort;
    window->fillForm(record);

    const auto *random = widgetNamed<QCheckBox>(*window, QStringLiteral("checkBox_Random"));
    QCOMPARE(random->isChecked(), checked);
    QCOMPARE(random->isEnabledTo(random->parentWidget()), enabled);
    QCOMPARE(lineEdit("lineEdit_Lport")->text(), localPort);
}

void TestConfigForm::rowClickSelectsModule()
{
    DeviceRecord first = moduleRecord();
    DeviceRecord second = moduleRecord();
    second.macAddress = QStringLiteral("0A1B2C3D4E60");
    second.sourceIp = QStringLiteral("192.168.0.8");
    second.localIp = QStringLiteral("192.168.0.8");
    second.workMode = Module::UdpServer;
    second.ipType = Module::Dhcp;
    second.baudRate = QStringLiteral("9600");
    window->addDeviceRow(first);
    window->addDeviceRow(second);

    clickCell(table, 2, 3);

    QCOMPARE(window->currentDevice, second);
    DeviceRecord shown;
    window->readForm(shown);
    QCOMPARE(shown, withFormOf(DeviceRecord(), second));
    QVERIFY(!lineEdit("lineEdit_Lip")->isEnabledTo(lineEdit("lineEdit_Lip")->parentWidget()));
    QVERIFY(!lineEdit("lineEdit_Sip")->isEnabledTo(lineEdit("lineEdit_Sip")->parentWidget()));
    for (const char *name :
         {"groupBox_Config", "pushButton_SaveConfigure", "pushButton_FactoryReset", "pushButton_DeviceRestart"})
        QVERIFY2(widgetNamed<QWidget>(*window, QString::fromLatin1(name))->isEnabled(), name);
    QVERIFY(!widgetNamed<QWidget>(*window, QStringLiteral("pushButton_DeviceRestart"))->isVisible());
    QCOMPARE(table->selectionModel()->selectedRows().size(), 1);
    QCOMPARE(table->selectionModel()->selectedRows().first().row(), 2);

    clickCell(table, 1, 0);
    QCOMPARE(window->currentDevice, first);
    QVERIFY(lineEdit("lineEdit_Lip")->isEnabled());
}

void TestConfigForm::captionRowClickChangesNothing()
{
    window->addDeviceRow(moduleRecord());
    const DeviceRecord before = window->currentDevice;
    const QStringList form = formState(*window);

    for (int column = 0; column < table->columnCount(); ++column)
        clickCell(table, 0, column);
    // however a click on it might arrive
    window->on_tableWidget_DeviceList_clicked(table->model()->index(0, 1));
    window->on_tableWidget_DeviceList_clicked(QModelIndex());

    QCOMPARE(window->currentDevice, before);
    QCOMPARE(formState(*window), form);
    QVERIFY(!widgetNamed<QWidget>(*window, QStringLiteral("groupBox_Config"))->isEnabled());
    QVERIFY(!widgetNamed<QWidget>(*window, QStringLiteral("pushButton_SaveConfigure"))->isEnabled());
    QVERIFY(table->selectionModel()->selectedIndexes().isEmpty());
}

// The highlighted row is the selected module, however the highlight moved.
void TestConfigForm::keyboardSelectionLoadsTheModule()
{
    DeviceRecord second = moduleRecord();
    second.macAddress = QStringLiteral("0A1B2C3D4E60");
    second.baudRate = QStringLiteral("9600");
    selectModule(moduleRecord());
    window->addDeviceRow(second);
    clickCell(table, 1, 0);

    table->setFocus();
    QTest::keyClick(table, Qt::Key_Down);

    QCOMPARE(table->currentRow(), 2);
    QCOMPARE(window->currentDevice, second);
    QCOMPARE(lineEdit("lineEdit_Baud")->text(), second.baudRate);
    QTest::keyClick(table, Qt::Key_Up);
    QCOMPARE(window->currentDevice, moduleRecord());
    QCOMPARE(lineEdit("lineEdit_Baud")->text(), moduleRecord().baudRate);
}

// The table and the list are kept in step; a row that somehow had no record must not reach past the list.
void TestConfigForm::rowWithoutRecordChangesNothing()
{
    table->insertRow(table->rowCount());
    table->setItem(table->rowCount() - 1, 0, new QTableWidgetItem(QStringLiteral("192.168.0.7")));
    const DeviceRecord before = window->currentDevice;
    clickCell(table, 1, 0);
    QCOMPARE(window->currentDevice, before);
    QVERIFY(!widgetNamed<QWidget>(*window, QStringLiteral("groupBox_Config"))->isEnabled());
}

void TestConfigForm::factoryReset_data()
{
    QTest::addColumn<DeviceRecord>("module");

    DeviceRecord random = moduleRecord();
    random.localPort = QStringLiteral("0");
    random.randomPort = true;
    QTest::newRow("tcp client, random checked") << random;

    DeviceRecord dhcpServer = moduleRecord();
    dhcpServer.ipType = Module::Dhcp;
    dhcpServer.workMode = Module::UdpServer;
    QTest::newRow("dhcp, udp server") << dhcpServer;

    DeviceRecord tcpServer = moduleRecord();
    tcpServer.workMode = Module::TcpServer;
    tcpServer.dataBits = Module::SevenDataBits;
    tcpServer.parity = Module::OddParity;
    QTest::newRow("tcp server, 7O2") << tcpServer;

    DeviceRecord udpRandom = moduleRecord();
    udpRandom.workMode = Module::Udp;
    udpRandom.localPort = QStringLiteral("0");
    udpRandom.randomPort = true;
    QTest::newRow("already udp, port 0") << udpRandom;

    DeviceRecord defaults = moduleRecord();
    defaults.workMode = Module::Udp;
    defaults.localPort = QStringLiteral("1234");
    defaults.modbusConvert = Module::ModbusOff;
    QTest::newRow("already at the factory port") << defaults;
}

// Whatever the form showed, it ends with the factory parameters; nothing else changes.
void TestConfigForm::factoryReset()
{
    QFETCH(DeviceRecord, module);

    selectModule(module);
    const QStringList rows = rowTexts(table, 1);
    QTest::mouseClick(widgetNamed<QPushButton>(*window, QStringLiteral("pushButton_FactoryReset")), Qt::LeftButton);

    const QStringList expected = {
        "lineEdit_Baud=9600 on",        "comboBox_DataBit=1 on",         "lineEdit_Gaw=192.168.1.1 on",
        "lineEdit_Lip=192.168.1.10 on", "lineEdit_Lport=1234 on",        "comboBox_Mode=0 on",
        "comboBox_Parity=0 on",         "checkBox_Random=unchecked off", "lineEdit_Sip=192.168.1.254 on",
        "lineEdit_Sport=1234 on",       "comboBox_StopBit=0 on",         "lineEdit_Subnet=255.255.255.0 on",
        "comboBox_IpType=0 on",         "comboBox_ModbusConvt=0 on",
    };
    QCOMPARE(formState(*window), expected);
    QCOMPARE(window->currentDevice, module);
    QCOMPARE(window->deviceList.size(), 1);
    QCOMPARE(window->deviceList.first(), module);
    QCOMPARE(rowTexts(table, 1), rows);
    QVERIFY(widgetNamed<QWidget>(*window, QStringLiteral("pushButton_SaveConfigure"))->isEnabled());
}

// The address and port fields come back editable even if something had left them greyed out while
// the mode and IP type would not run their rules.
void TestConfigForm::factoryResetEnablesAddressFields()
{
    DeviceRecord udpStatic = moduleRecord();
    udpStatic.workMode = Module::Udp;
    selectModule(udpStatic);
    const QStringList fields = {"lineEdit_Gaw", "lineEdit_Lip", "lineEdit_Subnet", "lineEdit_Sip", "lineEdit_Sport"};
    for (const QString &name : fields)
        widgetNamed<QLineEdit>(*window, name)->setEnabled(false);

    QTest::mouseClick(widgetNamed<QPushButton>(*window, QStringLiteral("pushButton_FactoryReset")), Qt::LeftButton);

    for (const QString &name : fields)
        QVERIFY2(widgetNamed<QLineEdit>(*window, name)->isEnabled(), qPrintable(name));
}

void TestConfigForm::factoryResetThenRowClickRestores()
{
    const DeviceRecord module = moduleRecord();
    selectModule(module);
    const QStringList shown = formState(*window);
    QTest::mouseClick(widgetNamed<QPushButton>(*window, QStringLiteral("pushButton_FactoryReset")), Qt::LeftButton);
    QVERIFY(formState(*window) != shown);

    clickCell(table, 1, 2);
    QCOMPARE(formState(*window), shown);
}

void TestConfigForm::configureCopiesFormIntoSelection()
{
    const DeviceRecord module = moduleRecord();
    selectModule(module);
    lineEdit("lineEdit_Lip")->selectAll();
    QTest::keyClicks(lineEdit("lineEdit_Lip"), QStringLiteral("192.168.0.50"));
    widgetNamed<QComboBox>(*window, QStringLiteral("comboBox_Parity"))->setCurrentIndex(0);

    QTest::mouseClick(widgetNamed<QPushButton>(*window, QStringLiteral("pushButton_SaveConfigure")), Qt::LeftButton);

    DeviceRecord expected = module;
    expected.localIp = QStringLiteral("192.168.0.50");
    expected.parity = Module::NoParity;
    QCOMPARE(window->currentDevice, expected); // the module's identity stays, the form's values come in
    // Until the module answers the read-back, its record holds what was sent.
    QCOMPARE(window->deviceList.first(), expected);
    QCOMPARE(rowTexts(table, 1).at(0), module.sourceIp);
}

void TestConfigForm::deviceRestartDoesNothing()
{
    selectModule(moduleRecord());
    auto *restart = widgetNamed<QPushButton>(*window, QStringLiteral("pushButton_DeviceRestart"));
    QVERIFY(restart->isEnabled());
    QVERIFY(!restart->isVisible());
    const QStringList form = formState(*window);

    restart->click();

    QCOMPARE(formState(*window), form);
    QCOMPARE(window->currentDevice, moduleRecord());
    QCOMPARE(table->rowCount(), 2);
    QVERIFY(!restart->isVisible());
}

KESTREL_NETWORK_TEST_MAIN(TestConfigForm, QApplication)
#include "tst_configform.moc"
