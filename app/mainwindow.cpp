#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "boundedintvalidator.h"
#include "deviceendpoint.h"
#include "devicetablelayout.h"
#include "factorydefaults.h"
#include "framecipher.h"
#include "frameconstants.h"
#include "framekeysource.h"
#include "moduleenums.h"
#include "parameterlimits.h"
#include "receivefilter.h"
#include "replyframe.h"
#include "senderaddress.h"

#include <QCoreApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QHostAddress>
#include <QMessageBox>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QStatusBar>
#include <QStringList>
#include <QTableWidgetItem>
#include <QTranslator>
#include <QTimer>

namespace {

// Four dot-separated parts of 0 to 255 each, leading zeros allowed up to three digits; ASCII digits only, as
// the frame builder reads them (\d would take any script's digits).
constexpr char Ipv4Pattern[]
    = R"(((2[0-4][0-9]|25[0-5]|[01]?[0-9][0-9]?)\.){3}(2[0-4][0-9]|25[0-5]|[01]?[0-9][0-9]?))";

// The receive slot hands the GUI thread back to the event loop after this much work, so the window stays
// responsive while a burst of replies is listed; what is left is taken on the next turn.
constexpr qint64 ReceiveSliceMs = 20;
constexpr int ReceiveBatch = 32; // datagrams between two looks at the clock
// The rest of a burst waits for the next turn of the event loop behind a timer, not a posted call, so that the
// user's clicks and other timers come first.
constexpr int ReceiveResumeMs = 1;

constexpr char ChineseCatalogue[] = ":/qm/tr_zh.qm";
constexpr char EnglishCatalogue[] = ":/qm/tr_en.qm";

// Row 0 of the device table stands in for its hidden header; modules follow from row 1 on.
constexpr int CaptionRow = 0;
constexpr int DeviceColumns = 4; // source IP, device name, MAC address, version

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

    // Before the port is bound, so that no frame can arrive before the key is in place.
    installFrameKey();

    installValidators();
    setUpDeviceTable();
    bindDevicePort();

    setModuleCommandsEnabled(false);
    ui->pushButton_DeviceRestart->setVisible(false);

    // Opens the window in Chinese, and gives the form-backed fields of currentDevice their first values.
    on_pushButton_Yuyan_clicked();
}

MainWindow::~MainWindow()
{
    delete udpSocket;
    delete ui;
}

// The key comes from the environment, the settings file or the build; a key that is not 32 hexadecimal digits
// is never used, and then nothing is sent at all.
void MainWindow::installFrameKey()
{
    const FrameKeyChoice key = chooseFrameKey();
    frameKeyValid = key.isValid();
    frameKeyOrigin = key.origin;
    if (frameKeyValid)
        setFrameKey(reinterpret_cast<const quint8 *>(key.key.constData()));
}

// Shares port 1500 with other programs, as a second tool on the same machine needs it too.
void MainWindow::bindDevicePort()
{
    udpSocket = new DeviceEndpoint();
    devicePortBound = udpSocket->bind();
    connect(udpSocket, SIGNAL(datagramsArrived()), this, SLOT(SocketRecvData()));
    receiveResume = new QTimer(this);
    receiveResume->setSingleShot(true);
    connect(receiveResume, SIGNAL(timeout()), this, SLOT(SocketRecvData()));
    connect(udpSocket, &DeviceEndpoint::sendFailed, this, [this](const QString &errorText) {
        statusBar()->showMessage(isChinese ? QStringLiteral("发送失败：%1").arg(errorText)
                                           : QStringLiteral("Sending failed: %1").arg(errorText));
    });
}

// Problems that last (an unusable port, an invalid key), told in the current language.
void MainWindow::showPortStatus()
{
    if (!frameKeyValid) {
        statusBar()->showMessage(
            isChinese ? QStringLiteral("帧密钥无效（来自%1），不能搜索或设置设备：需要32位十六进制数").arg(frameKeyOrigin)
                      : QStringLiteral("The frame key from %1 is not valid (32 hexadecimal digits needed): modules "
                                       "can be neither searched nor configured")
                            .arg(frameKeyOrigin));
        return;
    }
    if (devicePortBound)
        return;
    statusBar()->showMessage(isChinese ? QStringLiteral("无法使用UDP端口%1，不能搜索或设置设备").arg(DevicePort)
                                       : QStringLiteral("Cannot use UDP port %1: modules can be neither searched "
                                                        "nor configured")
                                             .arg(DevicePort));
}

void MainWindow::installValidators()
{
    ui->lineEdit_Lport->setValidator(new BoundedIntValidator(PortBottom, PortTop, ui->lineEdit_Lport));
    ui->lineEdit_Sport->setValidator(new BoundedIntValidator(PortBottom, PortTop, ui->lineEdit_Sport));
    ui->lineEdit_Baud->setValidator(new BoundedIntValidator(BaudBottom, BaudTop, ui->lineEdit_Baud));

    // The validator matches the whole text, as the pattern needs; a prefix of an address is Intermediate.
    const QRegularExpression ipv4(QString::fromLatin1(Ipv4Pattern));
    ui->lineEdit_Gaw->setValidator(new QRegularExpressionValidator(ipv4, ui->lineEdit_Gaw));
    ui->lineEdit_Lip->setValidator(new QRegularExpressionValidator(ipv4, ui->lineEdit_Lip));
    ui->lineEdit_Sip->setValidator(new QRegularExpressionValidator(ipv4, ui->lineEdit_Sip));
    ui->lineEdit_Subnet->setValidator(new QRegularExpressionValidator(ipv4, ui->lineEdit_Subnet));
}

void MainWindow::setUpDeviceTable()
{
    QTableWidget *table = ui->tableWidget_DeviceList;
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);

    table->setRowCount(1);
    table->setColumnCount(DeviceColumns);

    const QStringList captions = deviceTableCaptions(false);
    for (int column = 0; column < DeviceColumns; ++column)
        table->setItem(CaptionRow, column, new QTableWidgetItem(captions.at(column)));
    for (int column = 0; column < DeviceColumns; ++column)
        table->item(CaptionRow, column)->setData(Qt::TextAlignmentRole, int(Qt::AlignCenter));

    table->verticalHeader()->setVisible(false);
    table->horizontalHeader()->setVisible(false);
    layOutDeviceTable(table, captions);
    table->resizeRowsToContents();

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
    for (int column = 0; column < DeviceColumns; ++column) {
        auto *item = new QTableWidgetItem(texts.at(column));
        item->setToolTip(texts.at(column)); // the whole text, wherever a cell might still be too narrow
        table->setItem(row, column, item);
    }
    for (int column = 0; column < DeviceColumns; ++column)
        table->item(row, column)->setData(Qt::TextAlignmentRole, int(Qt::AlignCenter));
}

void MainWindow::clearDeviceRows()
{
    // All device rows in one step: removing a hundred thousand rows one by one takes seconds.
    ui->tableWidget_DeviceList->setRowCount(CaptionRow + 1);
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
        // The new captions may need a smaller font to show whole at the window's fixed size.
        layOutDeviceTable(ui->tableWidget_DeviceList, captions);
        fitCaptionFonts(*ui);
    }

    fillForm(currentDevice);
    showPortStatus();
}

void MainWindow::on_pushButton_SearchDevice_clicked()
{
    if (!frameKeyValid)
        return;
    clearDeviceRows();
    deviceList.clear();
    listedMacs.clear();
    // Nothing can be configured until a module is selected again.
    currentDevice.macAddress = QString();
    setModuleCommandsEnabled(false);
    // Once through every adapter, so that modules behind each of them hear it.
    udpSocket->sendBroadcastEverywhere(QByteArray(DiscoveryRequest, DiscoveryRequestSize));
}

// No restart request is defined for the modules; the button stays hidden.
void MainWindow::on_pushButton_DeviceRestart_clicked() { }

// Puts the factory parameters on the form only; they reach the module with the next "Configure".
// The order of the writes decides which form rules run on the way.
void MainWindow::on_pushButton_FactoryReset_clicked()
{
    const DeviceRecord defaults = factoryDefaultRecord();
    ui->comboBox_Mode->setCurrentIndex(defaults.workMode);
    ui->comboBox_IpType->setCurrentIndex(defaults.ipType);
    ui->lineEdit_Gaw->setText(defaults.gateway);
    ui->lineEdit_Subnet->setText(defaults.subnetMask);
    ui->lineEdit_Lip->setText(defaults.localIp);
    ui->lineEdit_Lport->setText(defaults.localPort);
    ui->checkBox_Random->setChecked(defaults.randomPort);
    ui->lineEdit_Sip->setText(defaults.remoteIp);
    ui->lineEdit_Sport->setText(defaults.remotePort);
    ui->lineEdit_Baud->setText(defaults.baudRate);
    ui->comboBox_DataBit->setCurrentIndex(defaults.dataBits);
    ui->comboBox_Parity->setCurrentIndex(defaults.parity);
    ui->comboBox_StopBit->setCurrentIndex(defaults.stopBits);
    ui->lineEdit_Gaw->setEnabled(true);
    ui->lineEdit_Lip->setEnabled(true);
    ui->lineEdit_Subnet->setEnabled(true);
    ui->lineEdit_Sip->setEnabled(true);
    ui->lineEdit_Sport->setEnabled(true);
    ui->comboBox_ModbusConvt->setCurrentIndex(defaults.modbusConvert);
    // The module's own line-format byte no longer applies: the defaults reach it as 8N1.
    currentDevice.reportedLineFormat = -1;
}

void MainWindow::on_pushButton_SaveConfigure_clicked()
{
    readForm(currentDevice);
    sendConfigFrame(currentDevice);
}

// Broadcasts the record's parameters to the module whose MAC it carries. Nothing is sent without a
// selected module, nor when a field is incomplete: a module would take a missing part as 0.
void MainWindow::sendConfigFrame(DeviceRecord record)
{
    if (!frameKeyValid)
        return;
    if (needsLineFormatNotice(record)) {
        if (isChinese)
            QMessageBox::information(nullptr, QStringLiteral("错误"), QStringLiteral("不支持无校验，7数据位"),
                                     QMessageBox::Ok, QMessageBox::NoButton);
        else
            QMessageBox::information(nullptr, QStringLiteral("Error"),
                                     QStringLiteral("Does not support no parity, 7 data bits"), QMessageBox::Ok,
                                     QMessageBox::NoButton);
    }

    ConfigFrame frame = buildConfigFrame(record);
    if (frame.invalidField == ConfigField::Target)
        return;
    if (frame.invalidField == ConfigField::None)
        frame.invalidField = firstUnacceptableField();
    if (frame.invalidField != ConfigField::None) {
        const QString name = formFieldName(frame.invalidField);
        if (isChinese)
            QMessageBox::warning(this, QStringLiteral("错误"),
                                 QStringLiteral("“%1”不完整或无效，未发送设置。").arg(name));
        else
            QMessageBox::warning(this, QStringLiteral("Error"),
                                 QStringLiteral("\"%1\" is incomplete or not valid; nothing was sent.").arg(name));
        return;
    }

    // Through the adapter the module answered on, which may not be the one of the default route.
    udpSocket->sendBroadcast(frame.bytes, record.interfaceIndex);
}

// A field the form's own validator does not accept is not sent, whatever the frame could carry. Local port 0
// is what "Random" means, so it stands while the box is checked.
ConfigField MainWindow::firstUnacceptableField() const
{
    const QPair<const QLineEdit *, ConfigField> fields[] = {
        {ui->lineEdit_Subnet, ConfigField::SubnetMask}, {ui->lineEdit_Gaw, ConfigField::Gateway},
        {ui->lineEdit_Lip, ConfigField::LocalIp},       {ui->lineEdit_Lport, ConfigField::LocalPort},
        {ui->lineEdit_Sip, ConfigField::RemoteIp},      {ui->lineEdit_Sport, ConfigField::RemotePort},
        {ui->lineEdit_Baud, ConfigField::BaudRate},
    };
    for (const auto &field : fields) {
        const bool randomPort = field.first == ui->lineEdit_Lport && ui->checkBox_Random->isChecked()
            && field.first->text() == QLatin1String("0");
        if (!field.first->hasAcceptableInput() && !randomPort)
            return field.second;
    }
    return ConfigField::None;
}

QString MainWindow::formFieldName(ConfigField field) const
{
    switch (field) {
    case ConfigField::LocalIp:
        return ui->label->text();
    case ConfigField::SubnetMask:
        return ui->label_2->text();
    case ConfigField::Gateway:
        return ui->label_3->text();
    case ConfigField::LocalPort:
        return ui->label_6->text();
    case ConfigField::RemoteIp:
        return ui->label_7->text();
    case ConfigField::RemotePort:
        return ui->label_8->text();
    case ConfigField::BaudRate:
        return ui->label_4->text();
    case ConfigField::Target:
    case ConfigField::None:
        break;
    }
    return QString();
}

// A module with a DHCP address keeps its static address fields, greyed out; they are still sent.
void MainWindow::on_comboBox_IpType_currentIndexChanged(int index)
{
    if (index != Module::Dhcp && index != Module::StaticIp)
        return; // -1 while the box is emptied
    const bool editable = index == Module::StaticIp;
    ui->lineEdit_Gaw->setEnabled(editable);
    ui->lineEdit_Lip->setEnabled(editable);
    ui->lineEdit_Subnet->setEnabled(editable);
}

// Servers take no remote address; only a TCP client may use a random local port.
void MainWindow::on_comboBox_Mode_currentIndexChanged(int index)
{
    switch (index) {
    case Module::Udp:
    case Module::TcpClient:
        ui->lineEdit_Sip->setEnabled(true);
        ui->lineEdit_Sport->setEnabled(true);
        break;
    case Module::UdpServer:
    case Module::TcpServer:
        ui->lineEdit_Sip->setEnabled(false);
        ui->lineEdit_Sport->setEnabled(false);
        break;
    default:
        return; // -1 while the box is emptied
    }

    if (index == Module::TcpClient) {
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

// Handles the datagrams heard on port 1500 since the last call, in order of arrival: the tool's own request
// and configuration frames come back here too, besides the modules' replies. A burst is listed in slices, each
// with one layout and one repaint of the table, so the window keeps answering meanwhile.
void MainWindow::SocketRecvData()
{
    QElapsedTimer slice;
    slice.start();
    QTableWidget *table = ui->tableWidget_DeviceList;
    table->setUpdatesEnabled(false);
    while (slice.elapsed() < ReceiveSliceMs) {
        const QVector<QNetworkDatagram> batch = udpSocket->takeDatagrams(ReceiveBatch);
        if (batch.isEmpty())
            break;
        for (const QNetworkDatagram &datagram : batch)
            receiveDatagram(datagram);
    }
    table->setUpdatesEnabled(true);
    if (udpSocket->hasDatagrams())
        receiveResume->start(ReceiveResumeMs);
}

void MainWindow::receiveDatagram(const QNetworkDatagram &datagram)
{
    const QByteArray bytes = datagram.data();
    const quint16 senderPort = quint16(qMax(datagram.senderPort(), 0));
    qDebug().noquote() << QStringLiteral("%1:%2[%3]:%4")
                              .arg(datagram.senderAddress().toString())
                              .arg(senderPort)
                              .arg(bytes.size())
                              .arg(QString::fromLatin1(bytes.toHex().toUpper()));

    const ReceivedDatagram received = classifyDatagram(bytes, senderPort);
    if (received.plainFrame.isEmpty())
        return;
    qDebug().noquote() << received.plainFrame.toHex().toUpper();
    if (received.kind != DatagramKind::Reply)
        return;
    qDebug().noquote() << received.plainFrame.toHex().toUpper();
    parseDeviceReply(received.plainFrame, sourceIpText(datagram.senderAddress()), datagram.interfaceIndex());
}

void MainWindow::parseDeviceReply(QByteArray frame, QString sourceIp, int interfaceIndex)
{
    DeviceRecord record = decodeDeviceReply(frame, sourceIp);
    record.interfaceIndex = interfaceIndex;
    const auto listed = listedMacs.constFind(record.macAddress);
    if (listed != listedMacs.cend()) {
        // The first reply after a search decides how a module is listed; a second module claiming the same MAC
        // is pointed out, since a configuration addressed to it would change both.
        const QString firstSource = deviceList.at(listed.value()).sourceIp;
        if (firstSource != record.sourceIp)
            statusBar()->showMessage(
                isChinese ? QStringLiteral("MAC地址%1被两个设备使用：%2 和 %3；设置会同时改变两个设备")
                                .arg(record.macAddress, firstSource, record.sourceIp)
                          : QStringLiteral("MAC %1 answers from two addresses, %2 and %3: configuring it changes both")
                                .arg(record.macAddress, firstSource, record.sourceIp));
        return;
    }
    addDeviceRow(record.sourceIp, record.deviceName, record.macAddress, record.version);
    listedMacs.insert(record.macAddress, deviceList.size());
    deviceList.append(record);
    // Once a row is clicked the form belongs to the selected module, the target of "Configure":
    // a module answering someone else's search must not overwrite the user's edits.
    if (currentDevice.macAddress.isEmpty())
        fillForm(record);
}

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
