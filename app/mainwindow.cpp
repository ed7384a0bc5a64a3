#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "boundedintvalidator.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QRegExp>
#include <QRegExpValidator>
#include <QStringList>
#include <QTableWidgetItem>
#include <QTranslator>

namespace {

constexpr int PortBottom = 1;
constexpr int PortTop = 65535;
constexpr int BaudBottom = 100;
constexpr int BaudTop = 2000000;

// Four dot-separated parts of 0 to 255 each, leading zeros allowed up to three digits.
constexpr char Ipv4Pattern[] = R"(((2[0-4]\d|25[0-5]|[01]?\d\d?)\.){3}(2[0-4]\d|25[0-5]|[01]?\d\d?))";

constexpr char ChineseCatalogue[] = ":/qm/tr_zh.qm";
constexpr char EnglishCatalogue[] = ":/qm/tr_en.qm";

// Row 0 of the device table stands in for its hidden header; modules follow from row 1 on.
constexpr int CaptionRow = 0;
constexpr int DeviceColumns = 4; // source IP, device name, MAC address, version

// Item indices of the form's combo boxes, which are also what the frames carry.
enum IpType { StaticIpType = 0, DhcpIpType = 1 };
enum WorkMode { Udp = 0, TcpClient = 1, UdpServer = 2, TcpServer = 3 };
constexpr int NoParity = 0;
constexpr int EightDataBits = 1;
constexpr int OneStopBit = 0;
constexpr int ModbusOff = 0;

// The caption row's texts. They are looked up in the "QObject" context with the Chinese texts as
// sources when Chinese is chosen, so the English catalogue's translations of them are never used.
QStringList deviceTableCaptions(bool chinese)
{
    if (chinese)
        return {QObject::tr("设备IP"), QObject::tr("设备名称"), QObject::tr("MAC地址"), QObject::tr("版本")};
    return {QObject::tr("Device IP"), QObject::tr("Device Name"), QObject::tr("MAC"), QObject::tr("Version")};
}

} // namespace

bool MainWindow::isChinese = false;

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent, Qt::WindowFlags())
    , ui(new Ui::MainWindow)
{
    ui->setupUi(this);

    setWindowFlags(windowFlags() & ~Qt::WindowMaximizeButtonHint);
    setFixedSize(width(), height());

    installValidators();
    setUpDeviceTable();

    setModuleCommandsEnabled(false);
    ui->pushButton_DeviceRestart->setVisible(false);

    // Opens the window in Chinese, and gives the form-backed fields of currentDevice their first values.
    on_pushButton_Yuyan_clicked();
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::installValidators()
{
    ui->lineEdit_Lport->setValidator(new BoundedIntValidator(PortBottom, PortTop, ui->lineEdit_Lport));
    ui->lineEdit_Sport->setValidator(new BoundedIntValidator(PortBottom, PortTop, ui->lineEdit_Sport));
    ui->lineEdit_Baud->setValidator(new BoundedIntValidator(BaudBottom, BaudTop, ui->lineEdit_Baud));

    const QRegExp ipv4(QString::fromLatin1(Ipv4Pattern));
    ui->lineEdit_Gaw->setValidator(new QRegExpValidator(ipv4, ui->lineEdit_Gaw));
    ui->lineEdit_Lip->setValidator(new QRegExpValidator(ipv4, ui->lineEdit_Lip));
    ui->lineEdit_Sip->setValidator(new QRegExpValidator(ipv4, ui->lineEdit_Sip));
    ui->lineEdit_Subnet->setValidator(new QRegExpValidator(ipv4, ui->lineEdit_Subnet));
}

void MainWindow::setUpDeviceTable()
{
    QTableWidget *table = ui->tableWidget_DeviceList;
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);

    table->setRowCount(1);
    table->setColumnCount(DeviceColumns);
    table->horizontalHeader()->setStretchLastSection(true);

    const QStringList captions = deviceTableCaptions(false);
    for (int column = 0; column < DeviceColumns; ++column)
        table->setItem(CaptionRow, column, new QTableWidgetItem(captions.at(column)));
    for (int column = 0; column < DeviceColumns; ++column)
        table->item(CaptionRow, column)->setData(Qt::TextAlignmentRole, int(Qt::AlignCenter));

    table->verticalHeader()->setVisible(false);
    table->horizontalHeader()->setVisible(false);
    table->resizeColumnsToContents();
    table->resizeRowsToContents();
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);

    // The caption row can be neither selected nor clicked into the form, and reads as a header.
    for (int column = 0; column < DeviceColumns; ++column) {
        QTableWidgetItem *caption = table->item(CaptionRow, column);
        caption->setFlags(caption->flags() & ~(Qt::ItemIsSelectable | Qt::ItemIsEnabled));
    }
}

void MainWindow::setModuleCommandsEnabled(bool enabled)
{
    ui->groupBox_Config->setEnabled(enabled);
    ui->pushButton_SaveConfigure->setEnabled(enabled);
    ui->pushButton_FactoryReset->setEnabled(enabled);
    ui->pushButton_DeviceRestart->setEnabled(enabled);
}

void MainWindow::addDeviceRow(QString sourceIp, QString deviceName, QString macAddress, QString version)
{
    QTableWidget *table = ui->tableWidget_DeviceList;
    const int row = table->rowCount();
    table->insertRow(row);

    const QStringList texts = {sourceIp, deviceName, macAddress, version};
    for (int column = 0; column < DeviceColumns; ++column)
        table->setItem(row, column, new QTableWidgetItem(texts.at(column)));
    for (int column = 0; column < DeviceColumns; ++column)
        table->item(row, column)->setData(Qt::TextAlignmentRole, int(Qt::AlignCenter));
}

void MainWindow::clearDeviceRows()
{
    QTableWidget *table = ui->tableWidget_DeviceList;
    for (int row = table->rowCount() - 1; row > CaptionRow; --row)
        table->removeRow(row);
}

// Visits the widgets in the same order as fillForm.
void MainWindow::readForm(DeviceRecord &record) const
{
    record.baudRate = ui->lineEdit_Baud->text();
    record.dataBits = ui->comboBox_DataBit->currentIndex();
    record.gateway = ui->lineEdit_Gaw->text();
    record.localIp = ui->lineEdit_Lip->text();
    record.localPort = ui->lineEdit_Lport->text();
    record.workMode = ui->comboBox_Mode->currentIndex();
    record.parity = ui->comboBox_Parity->currentIndex();
    record.randomPort = ui->checkBox_Random->isChecked();
    record.remoteIp = ui->lineEdit_Sip->text();
    record.remotePort = ui->lineEdit_Sport->text();
    record.stopBits = ui->comboBox_StopBit->currentIndex();
    record.subnetMask = ui->lineEdit_Subnet->text();
    record.ipType = ui->comboBox_IpType->currentIndex();
    record.modbusConvert = ui->comboBox_ModbusConvt->currentIndex();
}

// The order matters: the local port and the work mode run their rules before "Random" is set from the
// record, so the box ends as the record says; the IP type's rule then settles the address fields.
void MainWindow::fillForm(const DeviceRecord &record)
{
    ui->lineEdit_Baud->setText(record.baudRate);
    ui->comboBox_DataBit->setCurrentIndex(record.dataBits);
    ui->lineEdit_Gaw->setText(record.gateway);
    ui->lineEdit_Lip->setText(record.localIp);
    ui->lineEdit_Lport->setText(record.localPort);
    ui->comboBox_Mode->setCurrentIndex(record.workMode);
    ui->comboBox_Parity->setCurrentIndex(record.parity);
    ui->checkBox_Random->setChecked(record.randomPort);
    ui->lineEdit_Sip->setText(record.remoteIp);
    ui->lineEdit_Sport->setText(record.remotePort);
    ui->comboBox_StopBit->setCurrentIndex(record.stopBits);
    ui->lineEdit_Subnet->setText(record.subnetMask);
    ui->comboBox_IpType->setCurrentIndex(record.ipType);
    ui->comboBox_ModbusConvt->setCurrentIndex(record.modbusConvert);
}

// Switches every caption to the other language. The catalogue is installed only while the captions are
// set again. retranslateUi also resets combo boxes (the work mode to "TCP Client", and with older uic
// every box to its first item), so the form is saved before and restored after.
void MainWindow::on_pushButton_Yuyan_clicked()
{
    isChinese = !isChinese;
    QTranslator translator;
    readForm(currentDevice);

    if (translator.load(QString::fromLatin1(isChinese ? ChineseCatalogue : EnglishCatalogue))) {
        QCoreApplication::installTranslator(&translator);
        ui->retranslateUi(this);
        const QStringList captions = deviceTableCaptions(isChinese);
        for (int column = 0; column < DeviceColumns; ++column)
            ui->tableWidget_DeviceList->item(CaptionRow, column)->setData(Qt::DisplayRole, captions.at(column));
    }

    fillForm(currentDevice);
}

void MainWindow::on_pushButton_SearchDevice_clicked()
{
    clearDeviceRows();
    deviceList.clear();
    // Nothing can be configured until a module is selected again.
    currentDevice.macAddress = QString();
    setModuleCommandsEnabled(false);
}

// No restart request is defined for the modules; the button stays hidden.
void MainWindow::on_pushButton_DeviceRestart_clicked() { }

// Puts the factory parameters on the form only; they reach the module with the next "Configure".
// A module leaves the factory in UDP mode with the static address 192.168.1.10/24 via 192.168.1.1, local
// port 1234, remote 192.168.1.254:1234, 9600 baud 8N1 and Modbus conversion off.
void MainWindow::on_pushButton_FactoryReset_clicked()
{
    ui->comboBox_Mode->setCurrentIndex(Udp);
    ui->comboBox_IpType->setCurrentIndex(StaticIpType);
    ui->lineEdit_Gaw->setText(QStringLiteral("192.168.1.1"));
    ui->lineEdit_Subnet->setText(QStringLiteral("255.255.255.0"));
    ui->lineEdit_Lip->setText(QStringLiteral("192.168.1.10"));
    ui->lineEdit_Lport->setText(QStringLiteral("1234"));
    ui->checkBox_Random->setChecked(false);
    ui->lineEdit_Sip->setText(QStringLiteral("192.168.1.254"));
    ui->lineEdit_Sport->setText(QStringLiteral("1234"));
    ui->lineEdit_Baud->setText(QStringLiteral("9600"));
    ui->comboBox_DataBit->setCurrentIndex(EightDataBits);
    ui->comboBox_Parity->setCurrentIndex(NoParity);
    ui->comboBox_StopBit->setCurrentIndex(OneStopBit);
    ui->lineEdit_Gaw->setEnabled(true);
    ui->lineEdit_Lip->setEnabled(true);
    ui->lineEdit_Subnet->setEnabled(true);
    ui->lineEdit_Sip->setEnabled(true);
    ui->lineEdit_Sport->setEnabled(true);
    ui->comboBox_ModbusConvt->setCurrentIndex(ModbusOff);
}

void MainWindow::on_pushButton_SaveConfigure_clicked()
{
    readForm(currentDevice);
}

// A module with a DHCP address keeps its static address fields, greyed out; they are still sent.
void MainWindow::on_comboBox_IpType_currentIndexChanged(int index)
{
    if (index != DhcpIpType && index != StaticIpType)
        return; // -1 while the box is emptied
    const bool editable = index == StaticIpType;
    ui->lineEdit_Gaw->setEnabled(editable);
    ui->lineEdit_Lip->setEnabled(editable);
    ui->lineEdit_Subnet->setEnabled(editable);
}

// Servers take no remote address; only a TCP client may use a random local port.
void MainWindow::on_comboBox_Mode_currentIndexChanged(int index)
{
    switch (index) {
    case Udp:
    case TcpClient:
        ui->lineEdit_Sip->setEnabled(true);
        ui->lineEdit_Sport->setEnabled(true);
        break;
    case UdpServer:
    case TcpServer:
        ui->lineEdit_Sip->setEnabled(false);
        ui->lineEdit_Sport->setEnabled(false);
        break;
    default:
        return; // -1 while the box is emptied
    }

    if (index == TcpClient) {
        ui->checkBox_Random->setEnabled(true);
    } else {
        ui->checkBox_Random->setEnabled(false);
        ui->checkBox_Random->setChecked(false);
    }
}

// A random local port travels as port 0.
void MainWindow::on_checkBox_Random_clicked()
{
    if (ui->checkBox_Random->isChecked())
        ui->lineEdit_Lport->setText(QStringLiteral("0"));
}

void MainWindow::on_lineEdit_Lport_textChanged(const QString &arg1)
{
    if (arg1.toInt(nullptr, 10) > 0)
        ui->checkBox_Random->setChecked(false);
}

// Receives the modules' replies on the UDP endpoint.
void MainWindow::SocketRecvData() { }

// Only a click selects a module: moving the selection with the keyboard loads nothing.
void MainWindow::on_tableWidget_DeviceList_clicked(const QModelIndex &index)
{
    const int row = index.row();
    if (row <= CaptionRow || row > deviceList.size())
        return;
    currentDevice = deviceList.at(row - 1);
    fillForm(currentDevice);
    setModuleCommandsEnabled(true);
}
