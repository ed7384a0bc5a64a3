#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "boundedintvalidator.h"
#include "ipv4validator.h"
#include "arriveddatagram.h"
#include "deviceendpoint.h"
#include "devicetablelayout.h"
#include "factorydefaults.h"
#include "frameconstants.h"
#include "framekeysource.h"
#include "moduleenums.h"
#include "parameterlimits.h"
#include "receivepath.h"
#include "senderaddress.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QHostAddress>
#include <QMessageBox>
#include <QNetworkDatagram>
#include <QStatusBar>
#include <QStringList>
#include <QTableWidgetItem>
#include <QTranslator>
#include <QTimer>

namespace {

// The receive slot hands the GUI thread back to the event loop after this much work, so the window stays
// responsive while a burst of replies is listed; what is left is taken on the next turn.
constexpr qint64 ReceiveSliceMs = 20;
// The rest of a burst waits for the next turn of the event loop behind a timer, not a posted call, so that the
// user's clicks and other timers come first.
constexpr int ReceiveResumeMs = 1;
// A search round is over once no datagram came for this long: modules answer a request at once, and a burst
// keeps the device port busy until its last reply.
constexpr int SearchRoundSettleMs = 250;

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
    FrameKeyChoice key;
    frameKeyValid = installChosenFrameKey(std::nullopt, &key);
    frameKeyOrigin = key.origin;
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
    searchRoundEnd = new QTimer(this);
    searchRoundEnd->setSingleShot(true);
    connect(searchRoundEnd, &QTimer::timeout, this, &MainWindow::endSearchRound);
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

    ui->lineEdit_Gaw->setValidator(new Ipv4Validator(ui->lineEdit_Gaw));
    ui->lineEdit_Lip->setValidator(new Ipv4Validator(ui->lineEdit_Lip));
    ui->lineEdit_Sip->setValidator(new Ipv4Validator(ui->lineEdit_Sip));
    ui->lineEdit_Subnet->setValidator(new Ipv4Validator(ui->lineEdit_Subnet));
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
    record.dataBits = Module::DataBits(ui->comboBox_DataBit->currentIndex());
    record.gateway = ui->lineEdit_Gaw->text();
    record.localIp = ui->lineEdit_Lip->text();
    record.localPort = ui->lineEdit_Lport->text();
    record.workMode = Module::WorkMode(ui->comboBox_Mode->currentIndex());
    record.parity = Module::Parity(ui->comboBox_Parity->currentIndex());
    record.randomPort = ui->checkBox_Random->isChecked();
    record.remoteIp = ui->lineEdit_Sip->text();
    record.remotePort = ui->lineEdit_Sport->text();
    record.stopBits = Module::StopBits(ui->comboBox_StopBit->currentIndex());
    record.subnetMask = ui->lineEdit_Subnet->text();
    record.ipType = Module::IpType(ui->comboBox_IpType->currentIndex());
    record.modbusConvert = Module::ModbusConvert(ui->comboBox_ModbusConvt->currentIndex());
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
    replies.clear();
    // Nothing can be configured until a module is selected again.
    currentDevice.macAddress = QString();
    setModuleCommandsEnabled(false);
    repeatedReplies.clear();
    searchRounds.begin(udpSocket->droppedDatagrams(), 0);
    sendSearchRequest();
}

void MainWindow::sendSearchRequest()
{
    // Once through every adapter, so that modules behind each of them hear it.
    udpSocket->sendBroadcastEverywhere(QByteArray(DiscoveryRequest, DiscoveryRequestSize));
    searchRoundEnd->start(SearchRoundSettleMs);
    emit searchRoundStarted(searchRounds.round());
}

void MainWindow::endSearchRound()
{
    // Datagrams not listed yet belong to this round.
    if (udpSocket->hasDatagrams() || receiveResume->isActive()) {
        searchRoundEnd->start(SearchRoundSettleMs);
        return;
    }
    if (searchRounds.endRound(udpSocket->droppedDatagrams(), deviceList.size()) == SearchRounds::Next::AskAgain) {
        sendSearchRequest();
        return;
    }
    const quint64 lost = searchRounds.lostReplies();
    if (lost > 0)
        statusBar()->showMessage(
            isChinese ? QStringLiteral("搜索%1轮后仍有%2个回复被系统丢弃，列表可能不完整，请再次搜索")
                            .arg(searchRounds.round())
                            .arg(lost)
                      : QStringLiteral("Replies the system dropped after %1 search rounds: %2. The list may be "
                                       "incomplete; search again.")
                            .arg(searchRounds.round())
                            .arg(lost));
    emit searchFinished(searchRounds.round(), lost);
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
    formFilledByReset = true;
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

    const ConfigFrame frame = buildConfigFrame(record, timeSeededFiller(), editedFields(record));
    if (frame.invalidField == ConfigField::Target)
        return;
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

// Only what the user typed or chose is checked; a reported value nobody touched, greyed out or not, goes back as
// it came. The texts are compared as the row click left them on the form.
EditedFields MainWindow::editedFields(const DeviceRecord &record) const
{
    if (formFilledByReset)
        return AllFieldsEdited;
    return fieldsChangedFrom(loadedDevice, record);
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
    const auto receive = [this](const ArrivedDatagram &datagram) { receiveDatagram(datagram); };
    while (slice.elapsed() < ReceiveSliceMs && udpSocket->takeDatagrams(ReceiveBatch, receive) > 0) {
    }
    table->setUpdatesEnabled(true);
    if (udpSocket->hasDatagrams())
        receiveResume->start(ReceiveResumeMs);
    if (searchRoundEnd->isActive())
        searchRoundEnd->start(SearchRoundSettleMs);
}

void MainWindow::receiveDatagram(const ArrivedDatagram &arrived)
{
    // A module answering a repeated request is listed already; its reply is known by its bytes, undecrypted.
    if (repeatedReplies.isRepeat(arrived))
        return;
    const QNetworkDatagram datagram = arrived.toNetworkDatagram();
    const ReceivedDatagram received = hearDatagram(datagram);
    if (received.kind != DatagramKind::Reply)
        return;
    repeatedReplies.rememberReply(arrived);
    parseDeviceReply(received.plainFrame, sourceIpText(datagram.senderAddress()), int(datagram.interfaceIndex()));
}

void MainWindow::parseDeviceReply(QByteArray frame, QString sourceIp, int interfaceIndex)
{
    const DeviceRecord record = decodeModuleReply(frame, sourceIp, interfaceIndex);
    QString firstSource;
    switch (replies.add(record, &firstSource)) {
    case ReplyCollector::Sighting::Repeated:
        return;
    case ReplyCollector::Sighting::OtherSource:
        // The first reply after a search decides how a module is listed; a second module claiming the same MAC
        // is pointed out, since a configuration addressed to it would change both.
        statusBar()->showMessage(
            isChinese ? QStringLiteral("MAC地址%1被两个设备使用：%2 和 %3；设置会同时改变两个设备")
                            .arg(record.macAddress, firstSource, record.sourceIp)
                      : QStringLiteral("MAC %1 answers from two addresses, %2 and %3: configuring it changes both")
                            .arg(record.macAddress, firstSource, record.sourceIp));
        return;
    case ReplyCollector::Sighting::Full:
        statusBar()->showMessage(
            isChinese ? QStringLiteral("列表最多显示%1个设备，已满；其他应答的设备未列出").arg(replies.capacity())
                      : QStringLiteral("The list holds at most %1 modules and is full; further modules that "
                                       "answered are not listed.")
                            .arg(replies.capacity()));
        return;
    case ReplyCollector::Sighting::New:
        break;
    }
    addDeviceRow(record.sourceIp, record.deviceName, record.macAddress, record.version);
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
    loadedDevice = currentDevice;
    readForm(loadedDevice);
    formFilledByReset = false;
    setModuleCommandsEnabled(true);
}
