#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "arriveddatagram.h"
#include "boundedintvalidator.h"
#include "devicecellitem.h"
#include "deviceendpoint.h"
#include "devicetablelayout.h"
#include "factorydefaults.h"
#include "frameconstants.h"
#include "framekeysource.h"
#include "framelayout.h"
#include "ipv4validator.h"
#include "moduleenums.h"
#include "parameterlimits.h"
#include "receivepath.h"
#include "senderaddress.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QHostAddress>
#include <QMessageBox>
#include <QNetworkDatagram>
#include <QStatusBar>
#include <QStringList>
#include <QTableWidgetItem>
#include <QTranslator>

namespace {

// The window hands the GUI thread back to the event loop after this much listing, so it stays responsive while a
// burst of replies is listed; what is left is taken on the next turn.
constexpr int ReceiveSliceMs = 20;
// A search round is over once no datagram came for this long: modules answer a request at once, and a burst
// keeps the device port busy until its last reply.
constexpr int SearchRoundSettleMs = 250;

// The window's search: one request through every adapter, rounds ended by quiet, or by the round's limit when
// datagrams never stop coming.
SearchPlan windowSearchPlan(int roundLimitMs)
{
    SearchPlan plan;
    plan.durationMs = roundLimitMs;
    plan.quietMs = SearchRoundSettleMs;
    return plan;
}

// The items a line-format box has of its own; an item past them stands for a value the module reported that none of
// them means.
constexpr int DataBitItems = 2; // "7", "8"
constexpr int ParityItems = 3; // "NONE", "ODD", "EVEN"
constexpr int StopBitItems = 2; // "1", "2"
constexpr int WordLengthFive = 0x00;
constexpr int WordLengthSix = 0x01;

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

    // The stop-bit flag means 1.5 stop bits with 5 data bits and 2 with any other: after the user picks other data
    // bits, the three boxes show again what the line-format byte to be sent now means.
    connect(ui->comboBox_DataBit, QOverload<int>::of(&QComboBox::activated), this, [this] {
        DeviceRecord shown = currentDevice;
        readForm(shown);
        showLineFormat(lineFormatByte(shown));
    });

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
    // A reply is listed whenever it comes, with or without a search.
    search = new ModuleSearch(*udpSocket, this);
    search->setListening(true);
    search->setSliceMs(ReceiveSliceMs);
    search->setReplyHandler([this](const DeviceRecord &reply) { return takeReply(reply); });
    connect(search, &ModuleSearch::roundStarted, this, [this](int round) {
        if (!readingBack)
            emit searchRoundStarted(round);
    });
    connect(search, &ModuleSearch::finished, this, &MainWindow::searchEnded);
    // A burst is listed in slices, each with one layout and one repaint of the table.
    connect(search, &ModuleSearch::sliceTaken, this, [this] { ui->tableWidget_DeviceList->setUpdatesEnabled(true); });
    connect(udpSocket, &DeviceEndpoint::sendFailed, this, [this](const QString &errorText) {
        actionStatus = [errorText] {
            return isChinese ? QStringLiteral("发送失败：%1").arg(errorText)
                             : QStringLiteral("Sending failed: %1").arg(errorText);
        };
        showStatus();
    });
}

void MainWindow::showStatus()
{
    QStringList parts;
    if (actionStatus) {
        parts << actionStatus();
    } else {
        if (searchStatus)
            parts << searchStatus();
        for (const StatusText &note : qAsConst(searchNotes))
            parts << note();
    }
    if (parts.isEmpty())
        statusBar()->clearMessage();
    else
        statusBar()->showMessage(parts.join(QLatin1Char(' ')));
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
    // One stop in the window's Tab order; the arrow keys move within the table.
    table->setTabKeyNavigation(false);
    // However the highlighted row changes (click, arrow keys, Home/End, type-ahead), it is the selected module.
    connect(table->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) { loadRow(current.row()); });

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

void MainWindow::addDeviceRow(const DeviceRecord &record)
{
    deviceList.append(record);
    QTableWidget *table = ui->tableWidget_DeviceList;
    const int row = table->rowCount();
    table->insertRow(row);
    for (int column = 0; column < DeviceColumns; ++column)
        table->setItem(row, column, new DeviceCellItem(deviceList));
}

void MainWindow::clearDeviceRows()
{
    // All device rows in one step: removing a hundred thousand rows one by one takes seconds.
    ui->tableWidget_DeviceList->setRowCount(CaptionRow + 1);
}

void MainWindow::updateDeviceRow(int row, const DeviceRecord &record)
{
    deviceList.replace(row - 1, record);
    // New cells, so that the table hears of the change.
    for (int column = 0; column < DeviceColumns; ++column)
        ui->tableWidget_DeviceList->setItem(row, column, new DeviceCellItem(deviceList));
}

// Visits the widgets in the same order as fillForm.
void MainWindow::readForm(DeviceRecord &record) const
{
    const DeviceRecord formBase = record;
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
    // The three boxes as one byte, against the byte the record held: a box on the module's own item keeps its bits.
    if (ui->comboBox_DataBit->count() > DataBitItems || ui->comboBox_Parity->count() > ParityItems
        || ui->comboBox_StopBit->count() > StopBitItems)
        setLineFormatByte(record, formLineFormat(formBase));
}

// The order matters: the local port and the work mode run their rules before "Random" is set from the
// record, so the box ends as the record says; the IP type's rule then settles the address fields.
void MainWindow::fillForm(const DeviceRecord &record)
{
    ui->lineEdit_Baud->setText(record.baudRate);
    // Data bits, parity and stop bits at once, from the byte the module reported while the record still means it.
    showLineFormat(lineFormatByte(record));
    ui->lineEdit_Gaw->setText(record.gateway);
    ui->lineEdit_Lip->setText(record.localIp);
    ui->lineEdit_Lport->setText(record.localPort);
    ui->comboBox_Mode->setCurrentIndex(record.workMode);
    ui->checkBox_Random->setChecked(record.randomPort);
    ui->lineEdit_Sip->setText(record.remoteIp);
    ui->lineEdit_Sport->setText(record.remotePort);
    ui->lineEdit_Subnet->setText(record.subnetMask);
    ui->comboBox_IpType->setCurrentIndex(record.ipType);
    ui->comboBox_ModbusConvt->setCurrentIndex(record.modbusConvert);
}

// Each box shows its own item for the part of the byte it stands for, or, when none of its items means that part
// (5 or 6 data bits, mark or space parity, 1.5 stop bits), one more item with the module's value, marked as the
// module's: it is sent back as reported unless the user picks another item.
void MainWindow::showLineFormat(quint8 format)
{
    const auto show = [](QComboBox *box, int items, int index, const QString &ownValue) {
        while (box->count() > items)
            box->removeItem(items);
        if (ownValue.isEmpty()) {
            box->setCurrentIndex(index);
            box->setFont(QFont()); // as the form's
            box->setToolTip(QString());
            return;
        }
        const QString note = isChinese
            ? QStringLiteral("设备当前的设置（%1），其他选项都不能发送它").arg(ownValue)
            : QStringLiteral("The module's own setting (%1); no other item sends it").arg(ownValue);
        box->addItem(ownValue);
        box->setItemData(items, note, Qt::ToolTipRole);
        box->setCurrentIndex(items);
        QFont marked = box->font();
        marked.setItalic(true);
        box->setFont(marked);
        box->setToolTip(note);
    };

    const int wordLength = format & WordLengthMask;
    QString ownDataBits;
    if (wordLength == WordLengthFive)
        ownDataBits = QStringLiteral("5");
    else if (wordLength == WordLengthSix)
        ownDataBits = QStringLiteral("6");
    show(ui->comboBox_DataBit, DataBitItems,
         wordLength == WordLengthSeven ? Module::SevenDataBits : Module::EightDataBits, ownDataBits);

    const quint8 parity = format & ParityMask;
    QString ownParity;
    if (parity == MarkParityBits)
        ownParity = QStringLiteral("MARK");
    else if (parity == SpaceParityBits)
        ownParity = QStringLiteral("SPACE");
    show(ui->comboBox_Parity, ParityItems, lineSettings(format).parity, ownParity);

    const bool stopFlag = format & TwoStopBitsFlag;
    show(ui->comboBox_StopBit, StopBitItems, stopFlag ? Module::TwoStopBits : Module::OneStopBit,
         stopFlag && wordLength == WordLengthFive ? QStringLiteral("1.5") : QString());
}

quint8 MainWindow::formLineFormat(const DeviceRecord &record) const
{
    quint8 format = lineFormatByte(record) & LineFormatMask;
    const int dataBits = ui->comboBox_DataBit->currentIndex();
    if (dataBits >= 0 && dataBits < DataBitItems)
        format = quint8((format & ~WordLengthMask)
                        | (dataBits == Module::SevenDataBits ? WordLengthSeven : WordLengthEight));
    const int stopBits = ui->comboBox_StopBit->currentIndex();
    if (stopBits >= 0 && stopBits < StopBitItems)
        format = stopBits == Module::TwoStopBits ? quint8(format | TwoStopBitsFlag) : quint8(format & ~TwoStopBitsFlag);
    const int parity = ui->comboBox_Parity->currentIndex();
    if (parity == Module::NoParity) {
        // Parity bits without the enable bit mean none as well, and go back as they came.
        if (format & ParityEnable)
            format = quint8(format & ~ParityMask);
    } else if (parity == Module::OddParity || parity == Module::EvenParity) {
        format = quint8((format & ~ParityMask) | (parity == Module::OddParity ? OddParityBits : EvenParityBits));
    }
    return format;
}

// The values of no module: empty fields, the boxes as the form first shows them.
void MainWindow::clearForm()
{
    DeviceRecord blank;
    blank.workMode = Module::TcpClient;
    blank.dataBits = Module::EightDataBits;
    currentDevice = blank;
    fillForm(currentDevice);
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
    showStatus();
    showPortStatus();
}

void MainWindow::on_pushButton_SearchDevice_clicked()
{
    if (!frameKeyValid)
        return;
    clearDeviceRows();
    deviceList.clear();
    replies.clear();
    // Nothing can be configured until a module is selected again, and the form shows no module meanwhile.
    setModuleCommandsEnabled(false);
    clearForm();
    // What the last search and the last action said no longer holds; a read-back still running is given up.
    readingBack = false;
    readBackWaiting = false;
    actionStatus = nullptr;
    searchStatus = nullptr;
    searchNotes.clear();
    macsNoted.clear();
    showStatus();
    search->start(windowSearchPlan(searchRoundLimitMs));
}

void MainWindow::searchEnded()
{
    const SearchOutcome &outcome = search->outcome();
    if (readingBack) {
        readingBack = false;
        const QString mac = readBackSent.macAddress;
        const QStringList fields = [this] {
            QStringList labels;
            for (const FieldDifference &difference : qAsConst(readBackLeft)) {
                if (!labels.contains(difference.key))
                    labels << difference.key;
            }
            return labels;
        }();
        if (!readBackAnswered) {
            actionStatus = [mac] {
                return isChinese ? QStringLiteral("未确认：设置%1后%2秒内没有应答，请重新搜索查看其参数")
                                       .arg(mac)
                                       .arg(ReadBackMs / 1000)
                                 : QStringLiteral("Not confirmed: %1 did not answer within %2 s after Configure; "
                                                  "search again to see its values.")
                                       .arg(mac)
                                       .arg(ReadBackMs / 1000);
            };
        } else if (readBackLeft.isEmpty()) {
            actionStatus = [mac] {
                return isChinese ? QStringLiteral("已确认：%1现在报告的参数与发送的一致").arg(mac)
                                 : QStringLiteral("Confirmed: %1 now reports the values sent.").arg(mac);
            };
        } else {
            actionStatus = [this, mac, fields] {
                QStringList labels;
                for (const QString &key : fields) {
                    const QString label = fieldLabel(key);
                    if (!labels.contains(label))
                        labels << label;
                }
                return isChinese
                    ? QStringLiteral("未确认：%1报告的参数与发送的不同：%2").arg(mac, labels.join(QStringLiteral("、")))
                    : QStringLiteral("Not confirmed: %1 reports other values than sent: %2.")
                          .arg(mac, labels.join(QStringLiteral(", ")));
            };
        }
        showStatus();
        emit readBackFinished();
        return;
    }

    const int answered = outcome.modules;
    const int badChecksums = outcome.badChecksums;
    const int rounds = outcome.rounds;
    const quint64 lost = outcome.lostReplies;
    const quint64 repeats = outcome.repeatsDropped;
    const bool dropsCounted = outcome.dropsCounted;
    searchStatus = [=] {
        QStringList parts;
        if (answered > 0)
            parts << (isChinese ? QStringLiteral("%1个设备应答。").arg(answered)
                                : (answered == 1 ? QStringLiteral("1 module answered.")
                                                 : QStringLiteral("%1 modules answered.").arg(answered)));
        else if (badChecksums == 0 && lost > 0)
            ; // replies came, but the system dropped them: the warning below says so
        else if (badChecksums == 0)
            parts << (isChinese
                          ? QStringLiteral("没有设备应答：请检查网卡是否连到设备所在的网络，以及帧密钥是否与设备一致。")
                          : QStringLiteral("No module answered: check that an adapter is connected to the "
                                           "modules' network and that the frame key is theirs."));
        else
            parts << (isChinese ? QStringLiteral("没有设备应答。") : QStringLiteral("No module answered."));
        if (badChecksums > 0)
            parts << (isChinese
                          ? QStringLiteral("%1个回复校验失败：帧密钥不对？").arg(badChecksums)
                          : QStringLiteral("Replies that failed the checksum: %1. Wrong frame key?").arg(badChecksums));
        if (lost > 0)
            parts << (isChinese ? QStringLiteral("搜索%1轮后仍有%2个回复被系统丢弃，列表可能不完整，请再次搜索")
                                      .arg(rounds)
                                      .arg(lost)
                                : QStringLiteral("Replies the system dropped after %1 search rounds: %2. The list may "
                                                 "be incomplete; search again.")
                                      .arg(rounds)
                                      .arg(lost));
        else if (!dropsCounted)
            // Windows keeps no count of the replies it dropped: the list cannot be called complete.
            parts << (isChinese ? QStringLiteral("本系统不统计被丢弃的回复，列表可能不完整；如缺少模块请再次搜索")
                                : QStringLiteral("This system does not count the replies it drops; the list may be "
                                                 "incomplete. Search again if a module is missing."));
        if (repeats > 0 && dropsCounted)
            parts << (isChinese
                          ? QStringLiteral("列表很可能已完整：最后两轮搜索没有发现新设备，系统丢弃的%1个回复是重复的。")
                                .arg(repeats)
                          : QStringLiteral("The list is very likely complete: the last two search rounds found "
                                           "no new module, and the %1 replies the system dropped were repeats.")
                                .arg(repeats));
        return parts.join(QLatin1Char(' '));
    };
    showStatus();
    emit searchFinished(rounds, lost);
    if (readBackWaiting)
        startReadBack();
}

void MainWindow::startReadBack()
{
    readBackWaiting = false;
    readingBack = true;
    readBackAnswered = false;
    readBackLeft.clear();
    SearchPlan plan = windowSearchPlan(searchRoundLimitMs);
    plan.interfaceIndex = 0;
    search->start(readBackPlan(plan, ReadBackMs));
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

// Sends the form to the highlighted module, then reads back what the module reports. From the moment the frame is
// sent, the module's row keeps what was sent until the module answers, so that no later "Configure" can send older
// values back.
void MainWindow::on_pushButton_SaveConfigure_clicked()
{
    readForm(currentDevice);
    if (!sendConfigFrame(currentDevice))
        return;
    DeviceRecord sent = currentDevice;
    setLineFormatByte(sent, lineFormatByte(sent)); // what the module has now, as far as the window knows
    currentDevice = sent;
    loadedDevice = sent;
    formFilledByReset = false;
    const int row = ui->tableWidget_DeviceList->currentRow();
    if (row > CaptionRow && row <= deviceList.size() && deviceList.at(row - 1).macAddress == sent.macAddress)
        updateDeviceRow(row, sent);

    readBackSent = sent;
    const QString mac = sent.macAddress;
    actionStatus = [mac] {
        return isChinese ? QStringLiteral("设置已发送到%1，正在等待它的应答…").arg(mac)
                         : QStringLiteral("Configuration sent to %1; waiting for its answer…").arg(mac);
    };
    showStatus();
    // A search still running keeps its rounds; the read-back follows it.
    if (search->isRunning() && !readingBack) {
        readBackWaiting = true;
        return;
    }
    startReadBack();
}

// Broadcasts the record's parameters to the module whose MAC it carries. Nothing is sent without a
// selected module, nor when a field is incomplete: a module would take a missing part as 0.
bool MainWindow::sendConfigFrame(DeviceRecord record)
{
    if (!frameKeyValid)
        return false;
    if (needsLineFormatNotice(record)) {
        if (isChinese)
            QMessageBox::information(this, QStringLiteral("错误"), QStringLiteral("不支持无校验，7数据位"),
                                     QMessageBox::Ok, QMessageBox::NoButton);
        else
            QMessageBox::information(this, QStringLiteral("Error"),
                                     QStringLiteral("Does not support no parity, 7 data bits"), QMessageBox::Ok,
                                     QMessageBox::NoButton);
    }

    const ConfigFrame frame = buildConfigFrame(record, timeSeededFiller(), editedFields(record));
    if (frame.invalidField == ConfigField::Target)
        return false;
    if (frame.invalidField != ConfigField::None) {
        const QString name = formFieldName(frame.invalidField);
        if (isChinese)
            QMessageBox::warning(this, QStringLiteral("错误"),
                                 QStringLiteral("“%1”不完整或无效，未发送设置。").arg(name));
        else
            QMessageBox::warning(this, QStringLiteral("Error"),
                                 QStringLiteral("\"%1\" is incomplete or not valid; nothing was sent.").arg(name));
        return false;
    }

    // Through the adapter the module answered on, which may not be the one of the default route.
    udpSocket->sendBroadcast(frame.bytes, record.interfaceIndex);
    return true;
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

QString MainWindow::fieldLabel(const QString &key) const
{
    const QHash<QString, const QLabel *> labels = {
        {QStringLiteral("mode"), ui->label_Mode},
        {QStringLiteral("ip-type"), ui->label_9},
        {QStringLiteral("ip"), ui->label},
        {QStringLiteral("mask"), ui->label_2},
        {QStringLiteral("gateway"), ui->label_3},
        {QStringLiteral("modbus"), ui->label_10},
        {QStringLiteral("local-port"), ui->label_6},
        {QStringLiteral("remote-ip"), ui->label_7},
        {QStringLiteral("remote-port"), ui->label_8},
        {QStringLiteral("baud"), ui->label_4},
        {QStringLiteral("parity"), ui->label_5},
        {QStringLiteral("data-bits"), ui->label_5},
        {QStringLiteral("stop-bits"), ui->label_5},
        {LineFormatDifferenceKey, ui->label_5},
    };
    if (const QLabel *label = labels.value(key))
        return label->text();
    if (key == QLatin1String("name"))
        return deviceTableCaptions(isChinese).at(1);
    return key;
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

// Takes the datagrams heard on port 1500 since the last call, in order of arrival: the tool's own request and
// configuration frames come back here too, besides the modules' replies. The search lists them in slices, each with
// one layout and one repaint of the table, so the window keeps answering meanwhile.
void MainWindow::SocketRecvData()
{
    search->takeArrived();
}

void MainWindow::receiveDatagram(const ArrivedDatagram &arrived)
{
    search->take(arrived);
}

void MainWindow::parseDeviceReply(QByteArray frame, QString sourceIp, int interfaceIndex)
{
    takeReply(decodeModuleReply(frame, sourceIp, interfaceIndex));
}

bool MainWindow::takeReply(const DeviceRecord &record)
{
    QTableWidget *table = ui->tableWidget_DeviceList;
    if (table->updatesEnabled())
        table->setUpdatesEnabled(false); // until the slice is listed

    if (readingBack && record.macAddress == readBackSent.macAddress) {
        // The module configured answers: its row and record take the reply, from wherever it now answers.
        readBackAnswered = true;
        readBackLeft = readBackDifferences(readBackSent, record);
        replies.forget(record.macAddress);
        replies.add(record);
        const int i = deviceList.indexOf(record.macAddress);
        if (i >= 0) {
            updateDeviceRow(i + 1, record);
            // The form follows, unless the user has changed it since.
            if (currentDevice.macAddress == record.macAddress && !formFilledByReset) {
                DeviceRecord shown = currentDevice;
                readForm(shown);
                if (fieldsChangedFrom(loadedDevice, shown) == EditedFields() && shown == loadedDevice) {
                    currentDevice = record;
                    fillForm(currentDevice);
                    loadedDevice = currentDevice;
                    readForm(loadedDevice);
                }
            }
        }
        table->setUpdatesEnabled(true);
        return readBackLeft.isEmpty();
    }

    QString firstSource;
    switch (replies.add(record, &firstSource)) {
    case ReplyCollector::Sighting::Repeated:
        return false;
    case ReplyCollector::Sighting::OtherSource: {
        // The first reply after a search decides how a module is listed; a second module claiming the same MAC
        // is pointed out, since a configuration addressed to it would change both.
        const QString key = record.macAddress + QLatin1Char('/') + record.sourceIp;
        if (!macsNoted.contains(key)) {
            macsNoted.insert(key);
            const QString mac = record.macAddress;
            const QString second = record.sourceIp;
            searchNotes << [mac, firstSource, second] {
                return isChinese ? QStringLiteral("MAC地址%1被两个设备使用：%2 和 %3；设置会同时改变两个设备")
                                       .arg(mac, firstSource, second)
                                 : QStringLiteral("MAC %1 answers from two addresses, %2 and %3: configuring it "
                                                  "changes both")
                                       .arg(mac, firstSource, second);
            };
        }
        // The note comes before what the last action said: it concerns the target of "Configure".
        actionStatus = nullptr;
        showStatus();
        return false;
    }
    case ReplyCollector::Sighting::Full: {
        if (!macsNoted.contains(QString())) {
            macsNoted.insert(QString()); // the one note that the list is full
            const int capacity = replies.capacity();
            searchNotes << [capacity] {
                return isChinese ? QStringLiteral("列表最多显示%1个设备，已满；其他应答的设备未列出").arg(capacity)
                                 : QStringLiteral("The list holds at most %1 modules and is full; further modules "
                                                  "that answered are not listed.")
                                       .arg(capacity);
            };
        }
        actionStatus = nullptr;
        showStatus();
        return false;
    }
    case ReplyCollector::Sighting::New:
        break;
    }
    addDeviceRow(record);
    return false;
}

void MainWindow::loadRow(int row)
{
    if (row <= CaptionRow || row > deviceList.size())
        return;
    currentDevice = deviceList.at(row - 1);
    fillForm(currentDevice);
    loadedDevice = currentDevice;
    readForm(loadedDevice);
    formFilledByReset = false;
    setModuleCommandsEnabled(true);
    const QString mac = currentDevice.macAddress;
    const QString address = currentDevice.sourceIp;
    actionStatus = [mac, address] {
        return isChinese ? QStringLiteral("已选择%1（%2）：“设置”将发送到这个设备").arg(mac, address)
                         : QStringLiteral("Selected %1 (%2): Configure goes to this module.").arg(mac, address);
    };
    showStatus();
}

// A click on the row already highlighted loads it again: the form shows the module's record as it now stands.
void MainWindow::on_tableWidget_DeviceList_clicked(const QModelIndex &index)
{
    loadRow(index.row());
}
