#include "mainwindow.h"
#include "privatenetwork.h"
#include "windowprobe.h"

#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QMetaMethod>
#include <QPushButton>
#include <QStatusBar>
#include <QtEndian>
#include <QtTest>

#include <memory>

// The window as it stands after start-up: its meta-object, widget tree, frame, device table and icon,
// and the two table operations with the search that uses them.
class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void slotTable_data();
    void slotTable();
    void metaObjectDeclaresOnlySlots();

    void creationOrder_data();
    void creationOrder();
    void gridCells_data();
    void gridCells();
    void gridSpacing();
    void geometries_data();
    void geometries();
    void sizePolicies_data();
    void sizePolicies();
    void maximumWidthsHoldWhenShown_data();
    void maximumWidthsHoldWhenShown();

    void windowIsFixedWithoutMaximiseButton();
    void startUpStates();
    void deviceTableSetUp();
    void captionRowItems_data();
    void captionRowItems();

    void addedRowsFollowCaptionRow();
    void clearingKeepsCaptionRow_data();
    void clearingKeepsCaptionRow();
    void searchEmptiesListAndLocksForm();

    void searchIcon();

private:
    void resetDevices();
    void listDevice(const QString &sourceIp, const QString &name, const QString &mac, const QString &version);

    std::unique_ptr<MainWindow> window;
    QTableWidget *table = nullptr;
};

void TestMainWindow::initTestCase()
{
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    table = widgetNamed<QTableWidget>(*window, QStringLiteral("tableWidget_DeviceList"));
    QVERIFY(table);
}

void TestMainWindow::cleanupTestCase()
{
    window.reset();
}

void TestMainWindow::resetDevices()
{
    window->clearDeviceRows();
    window->deviceList.clear();
}

// Lists a module the way the reply parser does: first its row, then its record.
void TestMainWindow::listDevice(const QString &sourceIp, const QString &name, const QString &mac,
                                const QString &version)
{
    window->addDeviceRow(sourceIp, name, mac, version);
    DeviceRecord record;
    record.sourceIp = sourceIp;
    record.deviceName = name;
    record.macAddress = mac;
    record.version = version;
    window->deviceList.append(record);
}

void TestMainWindow::slotTable_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QByteArray>("signature");
    QTest::addColumn<QByteArray>("parameterName");

    QTest::newRow("language") << 0 << QByteArray("on_pushButton_Yuyan_clicked()") << QByteArray();
    QTest::newRow("search") << 1 << QByteArray("on_pushButton_SearchDevice_clicked()") << QByteArray();
    QTest::newRow("restart") << 2 << QByteArray("on_pushButton_DeviceRestart_clicked()") << QByteArray();
    QTest::newRow("factory reset") << 3 << QByteArray("on_pushButton_FactoryReset_clicked()") << QByteArray();
    QTest::newRow("configure") << 4 << QByteArray("on_pushButton_SaveConfigure_clicked()") << QByteArray();
    QTest::newRow("ip type") << 5 << QByteArray("on_comboBox_IpType_currentIndexChanged(int)") << QByteArray("index");
    QTest::newRow("work mode") << 6 << QByteArray("on_comboBox_Mode_currentIndexChanged(int)") << QByteArray("index");
    QTest::newRow("random") << 7 << QByteArray("on_checkBox_Random_clicked()") << QByteArray();
    QTest::newRow("local port") << 8 << QByteArray("on_lineEdit_Lport_textChanged(QString)") << QByteArray("arg1");
    QTest::newRow("receive") << 9 << QByteArray("SocketRecvData()") << QByteArray();
    QTest::newRow("row click") << 10 << QByteArray("on_tableWidget_DeviceList_clicked(QModelIndex)")
                               << QByteArray("index");
}

void TestMainWindow::slotTable()
{
    QFETCH(int, index);
    QFETCH(QByteArray, signature);
    QFETCH(QByteArray, parameterName);

    const QMetaObject *meta = window->metaObject();
    const QMetaMethod method = meta->method(meta->methodOffset() + index);
    QCOMPARE(method.methodSignature(), signature);
    QCOMPARE(method.methodType(), QMetaMethod::Slot);
    QCOMPARE(method.access(), QMetaMethod::Private);
    QCOMPARE(method.returnType(), int(QMetaType::Void));
    const QList<QByteArray> expectedNames
        = parameterName.isEmpty() ? QList<QByteArray>() : QList<QByteArray> {parameterName};
    QCOMPARE(method.parameterNames(), expectedNames);
}

void TestMainWindow::metaObjectDeclaresOnlySlots()
{
    const QMetaObject *meta = window->metaObject();
    QCOMPARE(meta->className(), "MainWindow");
    QCOMPARE(meta->superClass(), &QMainWindow::staticMetaObject);
    QCOMPARE(meta->methodCount() - meta->methodOffset(), 11);
    QCOMPARE(meta->propertyCount(), meta->propertyOffset());
    QCOMPARE(meta->enumeratorCount(), meta->enumeratorOffset());
    QCOMPARE(meta->classInfoCount(), meta->classInfoOffset());
    QCOMPARE(window->qt_metacast("MainWindow"), static_cast<void *>(window.get()));
    QVERIFY(!window->qt_metacast(nullptr));
}

void TestMainWindow::creationOrder_data()
{
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QStringList>("children");

    QTest::newRow("window") << QStringLiteral("MainWindow")
                            << QStringList {QStringLiteral("centralWidget"), QStringLiteral("statusBar")};
    QTest::newRow("central widget") << QStringLiteral("centralWidget")
                                    << QStringList {QStringLiteral("groupBox_Config"),
                                                    QStringLiteral("pushButton_Yuyan"), QStringLiteral("groupBox"),
                                                    QStringLiteral("pushButton_SaveConfigure")};
    QTest::newRow("parameters") << QStringLiteral("groupBox_Config")
                                << QStringList {QStringLiteral("gridLayout"),
                                                QStringLiteral("comboBox_IpType"),
                                                QStringLiteral("label_3"),
                                                QStringLiteral("lineEdit_Lport"),
                                                QStringLiteral("label_6"),
                                                QStringLiteral("lineEdit_Gaw"),
                                                QStringLiteral("label"),
                                                QStringLiteral("lineEdit_Subnet"),
                                                QStringLiteral("label_2"),
                                                QStringLiteral("label_Mode"),
                                                QStringLiteral("lineEdit_Sip"),
                                                QStringLiteral("label_8"),
                                                QStringLiteral("lineEdit_Sport"),
                                                QStringLiteral("label_9"),
                                                QStringLiteral("label_5"),
                                                QStringLiteral("label_4"),
                                                QStringLiteral("lineEdit_Baud"),
                                                QStringLiteral("comboBox_Parity"),
                                                QStringLiteral("checkBox_Random"),
                                                QStringLiteral("comboBox_Mode"),
                                                QStringLiteral("label_7"),
                                                QStringLiteral("comboBox_StopBit"),
                                                QStringLiteral("comboBox_DataBit"),
                                                QStringLiteral("lineEdit_Lip"),
                                                QStringLiteral("label_10"),
                                                QStringLiteral("comboBox_ModbusConvt")};
    QTest::newRow("search list") << QStringLiteral("groupBox")
                                 << QStringList {QStringLiteral("tableWidget_DeviceList"),
                                                 QStringLiteral("pushButton_SearchDevice"),
                                                 QStringLiteral("pushButton_DeviceRestart"),
                                                 QStringLiteral("pushButton_FactoryReset")};
}

// Children are listed in the order they were created; focus follows that order too.
void TestMainWindow::creationOrder()
{
    QFETCH(QString, parent);
    QFETCH(QStringList, children);

    const QObject *owner = parent == window->objectName() ? window.get() : window->findChild<QObject *>(parent);
    QVERIFY(owner);
    QStringList named;
    for (const QObject *child : owner->children()) {
        if (children.contains(child->objectName()))
            named << child->objectName();
    }
    QCOMPARE(named, children);
}

void TestMainWindow::gridCells_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("rowSpan");
    QTest::addColumn<int>("columnSpan");
    QTest::addColumn<int>("maximumWidth");

    const int free = QWIDGETSIZE_MAX;
    QTest::newRow("label_Mode") << "label_Mode" << 0 << 0 << 1 << 1 << 100;
    QTest::newRow("comboBox_Mode") << "comboBox_Mode" << 0 << 1 << 1 << 3 << 120;
    QTest::newRow("label_9") << "label_9" << 1 << 0 << 1 << 1 << free;
    QTest::newRow("comboBox_IpType") << "comboBox_IpType" << 1 << 1 << 1 << 3 << 120;
    QTest::newRow("label") << "label" << 2 << 0 << 1 << 1 << free;
    QTest::newRow("lineEdit_Lip") << "lineEdit_Lip" << 2 << 1 << 1 << 3 << 120;
    QTest::newRow("label_2") << "label_2" << 3 << 0 << 1 << 1 << free;
    QTest::newRow("lineEdit_Subnet") << "lineEdit_Subnet" << 3 << 1 << 1 << 3 << 120;
    QTest::newRow("label_3") << "label_3" << 4 << 0 << 1 << 1 << free;
    QTest::newRow("lineEdit_Gaw") << "lineEdit_Gaw" << 4 << 1 << 1 << 3 << 120;
    QTest::newRow("label_10") << "label_10" << 5 << 0 << 1 << 1 << free;
    QTest::newRow("comboBox_ModbusConvt") << "comboBox_ModbusConvt" << 5 << 1 << 1 << 3 << 120;
    QTest::newRow("label_6") << "label_6" << 7 << 0 << 1 << 1 << free;
    QTest::newRow("lineEdit_Lport") << "lineEdit_Lport" << 7 << 1 << 1 << 1 << 50;
    QTest::newRow("checkBox_Random") << "checkBox_Random" << 7 << 2 << 1 << 2 << free;
    QTest::newRow("label_7") << "label_7" << 8 << 0 << 1 << 1 << free;
    QTest::newRow("lineEdit_Sip") << "lineEdit_Sip" << 8 << 1 << 1 << 3 << 120;
    QTest::newRow("label_8") << "label_8" << 9 << 0 << 1 << 1 << free;
    QTest::newRow("lineEdit_Sport") << "lineEdit_Sport" << 9 << 1 << 1 << 3 << 120;
    QTest::newRow("label_4") << "label_4" << 10 << 0 << 1 << 1 << free;
    QTest::newRow("lineEdit_Baud") << "lineEdit_Baud" << 10 << 1 << 1 << 3 << 120;
    QTest::newRow("label_5") << "label_5" << 11 << 0 << 1 << 1 << free;
    QTest::newRow("comboBox_Parity") << "comboBox_Parity" << 11 << 1 << 1 << 1 << 50;
    QTest::newRow("comboBox_DataBit") << "comboBox_DataBit" << 11 << 2 << 1 << 1 << 30;
    QTest::newRow("comboBox_StopBit") << "comboBox_StopBit" << 11 << 3 << 1 << 1 << 30;
}

void TestMainWindow::gridCells()
{
    QFETCH(QString, name);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, rowSpan);
    QFETCH(int, columnSpan);
    QFETCH(int, maximumWidth);

    auto *grid = widgetNamed<QGroupBox>(*window, QStringLiteral("groupBox_Config"))
                     ->findChild<QGridLayout *>(QStringLiteral("gridLayout"));
    QVERIFY(grid);
    QWidget *widget = widgetNamed<QWidget>(*window, name);
    QVERIFY(widget);
    const int index = grid->indexOf(widget);
    QVERIFY(index >= 0);
    int r = -1, c = -1, rs = -1, cs = -1;
    grid->getItemPosition(index, &r, &c, &rs, &cs);
    QCOMPARE(QList<int>({r, c, rs, cs}), QList<int>({row, column, rowSpan, columnSpan}));
    QCOMPARE(grid->itemAt(index)->alignment(), Qt::Alignment());
    QCOMPARE(widget->maximumSize(), QSize(maximumWidth, QWIDGETSIZE_MAX));
}

void TestMainWindow::gridSpacing()
{
    auto *grid = window->findChild<QGridLayout *>(QStringLiteral("gridLayout"));
    QVERIFY(grid);
    QCOMPARE(grid->parentWidget()->objectName(), QStringLiteral("groupBox_Config"));
    QCOMPARE(grid->spacing(), 6);
    QCOMPARE(grid->contentsMargins(), QMargins(11, 11, 11, 11));
    QCOMPARE(grid->rowCount(), 12);
    for (int column = 0; column < grid->columnCount(); ++column)
        QVERIFY2(!grid->itemAtPosition(6, column), "row 6 holds no widget");
}

void TestMainWindow::geometries_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");

    QTest::newRow("groupBox_Config") << "groupBox_Config" << QRect(460, 10, 251, 331);
    QTest::newRow("pushButton_Yuyan") << "pushButton_Yuyan" << QRect(10, 350, 75, 23);
    QTest::newRow("groupBox") << "groupBox" << QRect(10, 10, 441, 331);
    QTest::newRow("tableWidget_DeviceList") << "tableWidget_DeviceList" << QRect(15, 21, 411, 271);
    QTest::newRow("pushButton_SearchDevice") << "pushButton_SearchDevice" << QRect(18, 300, 111, 23);
    QTest::newRow("pushButton_DeviceRestart") << "pushButton_DeviceRestart" << QRect(170, 300, 101, 23);
    QTest::newRow("pushButton_FactoryReset") << "pushButton_FactoryReset" << QRect(330, 300, 91, 23);
    QTest::newRow("pushButton_SaveConfigure") << "pushButton_SaveConfigure" << QRect(550, 350, 71, 23);
}

void TestMainWindow::geometries()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QWidget *widget = widgetNamed<QWidget>(*window, name);
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), geometry);
}

void TestMainWindow::sizePolicies_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("horizontal");
    QTest::addColumn<int>("vertical");
    QTest::addColumn<int>("minimumWidth");

    QTest::newRow("label_Mode") << "label_Mode" << int(QSizePolicy::Preferred) << int(QSizePolicy::Preferred) << 0;
    QTest::newRow("comboBox_Parity") << "comboBox_Parity" << int(QSizePolicy::Preferred) << int(QSizePolicy::Fixed)
                                     << 50;
    QTest::newRow("comboBox_Mode") << "comboBox_Mode" << int(QSizePolicy::Preferred) << int(QSizePolicy::Fixed) << 0;
    QTest::newRow("comboBox_StopBit") << "comboBox_StopBit" << int(QSizePolicy::Preferred) << int(QSizePolicy::Fixed)
                                      << 0;
}

void TestMainWindow::sizePolicies()
{
    QFETCH(QString, name);
    QFETCH(int, horizontal);
    QFETCH(int, vertical);
    QFETCH(int, minimumWidth);

    QWidget *widget = widgetNamed<QWidget>(*window, name);
    QVERIFY(widget);
    const QSizePolicy policy = widget->sizePolicy();
    QCOMPARE(int(policy.horizontalPolicy()), horizontal);
    QCOMPARE(int(policy.verticalPolicy()), vertical);
    QCOMPARE(policy.horizontalStretch(), 0);
    QCOMPARE(policy.verticalStretch(), 0);
    QCOMPARE(widget->minimumWidth(), minimumWidth);
}

void TestMainWindow::maximumWidthsHoldWhenShown_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("maximumWidth");
    QTest::addColumn<bool>("exact");

    for (const char *field : {"comboBox_Mode", "comboBox_IpType", "lineEdit_Lip", "lineEdit_Subnet", "lineEdit_Gaw",
                              "comboBox_ModbusConvt", "lineEdit_Sip", "lineEdit_Sport", "lineEdit_Baud"})
        QTest::newRow(field) << QString::fromLatin1(field) << 120 << false;
    QTest::newRow("label_Mode") << "label_Mode" << 100 << false;
    QTest::newRow("lineEdit_Lport") << "lineEdit_Lport" << 50 << false;
    QTest::newRow("comboBox_DataBit") << "comboBox_DataBit" << 30 << false;
    QTest::newRow("comboBox_StopBit") << "comboBox_StopBit" << 30 << false;
    // pinned: exactly 50 pixels whatever the grid offers
    QTest::newRow("comboBox_Parity") << "comboBox_Parity" << 50 << true;
}

void TestMainWindow::maximumWidthsHoldWhenShown()
{
    QFETCH(QString, name);
    QFETCH(int, maximumWidth);
    QFETCH(bool, exact);
    QWidget *widget = widgetNamed<QWidget>(*window, name);
    QVERIFY(widget);
    QVERIFY(widget->isVisible());
    if (exact)
        QCOMPARE(widget->width(), maximumWidth);
    else
        QVERIFY2(widget->width() > 0 && widget->width() <= maximumWidth, qPrintable(QString::number(widget->width())));
}

void TestMainWindow::windowIsFixedWithoutMaximiseButton()
{
    QCOMPARE(window->objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(window->windowTitle(), QStringLiteral("Kestrel_ConfigureTool_V1.1"));
    QCOMPARE(window->size(), QSize(720, 402));
    QCOMPARE(window->minimumSize(), QSize(720, 402));
    QCOMPARE(window->maximumSize(), QSize(720, 402));

    // A plain main window offers the maximise button; ours lost exactly that hint and nothing else.
    QMainWindow plain;
    QVERIFY(plain.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(!window->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    QCOMPARE(window->windowFlags(), plain.windowFlags() & ~Qt::WindowMaximizeButtonHint);
    QVERIFY(!window->isMaximized());

    auto *statusBar = widgetNamed<QStatusBar>(*window, QStringLiteral("statusBar"));
    QCOMPARE(window->statusBar(), statusBar);
    QVERIFY(statusBar->currentMessage().isEmpty());
    QCOMPARE(window->centralWidget(), widgetNamed<QWidget>(*window, QStringLiteral("centralWidget")));
}

void TestMainWindow::startUpStates()
{
    QVERIFY(!widgetNamed<QWidget>(*window, QStringLiteral("groupBox_Config"))->isEnabled());
    QVERIFY(!widgetNamed<QWidget>(*window, QStringLiteral("pushButton_SaveConfigure"))->isEnabled());
    QVERIFY(!widgetNamed<QWidget>(*window, QStringLiteral("pushButton_FactoryReset"))->isEnabled());
    auto *restart = widgetNamed<QWidget>(*window, QStringLiteral("pushButton_DeviceRestart"));
    QVERIFY(!restart->isEnabled());
    QVERIFY(restart->isHidden());
    QVERIFY(!restart->isVisible());
    QVERIFY(widgetNamed<QWidget>(*window, QStringLiteral("pushButton_SearchDevice"))->isEnabled());
    QVERIFY(widgetNamed<QWidget>(*window, QStringLiteral("pushButton_Yuyan"))->isEnabled());

    QVERIFY(window->deviceList.isEmpty());
    QVERIFY(window->currentDevice.macAddress.isEmpty());
    // the first language switch copied the form into the record
    QCOMPARE(window->currentDevice.workMode, 1);
    QCOMPARE(window->currentDevice.dataBits, 1);
    QCOMPARE(window->currentDevice.ipType, 0);
    QCOMPARE(window->currentDevice.randomPort, false);
}

void TestMainWindow::deviceTableSetUp()
{
    QCOMPARE(table->editTriggers(), QAbstractItemView::EditTriggers(QAbstractItemView::NoEditTriggers));
    QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(table->selectionMode(), QAbstractItemView::SingleSelection);
    QVERIFY(table->hasAutoScroll());
    QCOMPARE(table->rowCount(), 1);
    QCOMPARE(table->columnCount(), 4);
    QVERIFY(table->horizontalHeader()->isHidden());
    QVERIFY(table->verticalHeader()->isHidden());
    QVERIFY(table->horizontalHeader()->stretchLastSection());
    for (int column = 0; column < table->columnCount(); ++column)
        QCOMPARE(table->horizontalHeader()->sectionResizeMode(column), QHeaderView::Stretch);
    QVERIFY(!table->isSortingEnabled());
}

void TestMainWindow::captionRowItems_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("chinese");

    QTest::newRow("device ip") << 0 << QStringLiteral("设备IP");
    QTest::newRow("device name") << 1 << QStringLiteral("设备名称");
    QTest::newRow("mac") << 2 << QStringLiteral("MAC地址");
    QTest::newRow("version") << 3 << QStringLiteral("版本");
}

void TestMainWindow::captionRowItems()
{
    QFETCH(int, column);
    QFETCH(QString, chinese);

    const QTableWidgetItem *caption = table->item(0, column);
    QVERIFY(caption);
    QCOMPARE(caption->type(), int(QTableWidgetItem::Type));
    QCOMPARE(caption->text(), chinese); // the only window of this process opened in Chinese
    QCOMPARE(caption->data(Qt::TextAlignmentRole).toInt(), 0x84);
    QVERIFY(!caption->flags().testFlag(Qt::ItemIsSelectable));
    QVERIFY(!caption->flags().testFlag(Qt::ItemIsEnabled));
    // the flags it keeps from a default item
    const Qt::ItemFlags kept = QTableWidgetItem().flags() & ~(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    QCOMPARE(caption->flags(), kept);
}

void TestMainWindow::addedRowsFollowCaptionRow()
{
    resetDevices();
    listDevice(QStringLiteral("192.168.1.10"), QStringLiteral("KST-1"), QStringLiteral("0A1B2C3D4E5F"),
               QStringLiteral("1.2.0.3"));
    listDevice(QStringLiteral("192.168.1.11"), QStringLiteral("KST-2"), QStringLiteral("0A1B2C3D4E60"),
               QStringLiteral("1.2.0.4"));

    QCOMPARE(table->rowCount(), window->deviceList.size() + 1);
    QCOMPARE(rowTexts(table, 1), QStringList({"192.168.1.10", "KST-1", "0A1B2C3D4E5F", "1.2.0.3"}));
    QCOMPARE(rowTexts(table, 2), QStringList({"192.168.1.11", "KST-2", "0A1B2C3D4E60", "1.2.0.4"}));
    QCOMPARE(rowTexts(table, 0), QStringList({"设备IP", "设备名称", "MAC地址", "版本"}));

    const Qt::ItemFlags defaultFlags = QTableWidgetItem().flags();
    for (int row = 1; row < table->rowCount(); ++row) {
        for (int column = 0; column < table->columnCount(); ++column) {
            const QTableWidgetItem *item = table->item(row, column);
            QCOMPARE(item->type(), int(QTableWidgetItem::Type));
            QCOMPARE(item->data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));
            QCOMPARE(item->flags(), defaultFlags);
        }
    }
    resetDevices();
}

void TestMainWindow::clearingKeepsCaptionRow_data()
{
    QTest::addColumn<int>("devices");
    QTest::newRow("caption row only") << 0;
    QTest::newRow("one module") << 1;
    QTest::newRow("three modules") << 3;
}

void TestMainWindow::clearingKeepsCaptionRow()
{
    QFETCH(int, devices);
    resetDevices();
    const QStringList captions = rowTexts(table, 0);
    for (int i = 0; i < devices; ++i)
        window->addDeviceRow(QStringLiteral("10.0.0.%1").arg(i + 1), QStringLiteral("name%1").arg(i),
                             QStringLiteral("00000000000%1").arg(i), QStringLiteral("1.0.0.%1").arg(i));
    QCOMPARE(table->rowCount(), devices + 1);

    QSignalSpy removed(table->model(), &QAbstractItemModel::rowsAboutToBeRemoved);
    window->clearDeviceRows();

    QCOMPARE(table->rowCount(), 1);
    QCOMPARE(rowTexts(table, 0), captions);
    QCOMPARE(table->item(0, 0)->flags().testFlag(Qt::ItemIsEnabled), false);
    // one row at a time, the last row first
    QCOMPARE(removed.count(), devices);
    for (int i = 0; i < removed.count(); ++i)
        QCOMPARE(removed.at(i).at(1).toInt(), devices - i);
}

void TestMainWindow::searchEmptiesListAndLocksForm()
{
    resetDevices();
    listDevice(QStringLiteral("192.168.1.10"), QStringLiteral("KST-1"), QStringLiteral("0A1B2C3D4E5F"),
               QStringLiteral("1.2.0.3"));
    listDevice(QStringLiteral("192.168.1.11"), QStringLiteral("KST-2"), QStringLiteral("0A1B2C3D4E60"),
               QStringLiteral("1.2.0.4"));
    clickCell(table, 2, 0);
    QCOMPARE(window->currentDevice.macAddress, QStringLiteral("0A1B2C3D4E60"));
    QVERIFY(widgetNamed<QWidget>(*window, QStringLiteral("groupBox_Config"))->isEnabled());
    const QStringList formBefore = formState(*window);

    QTest::mouseClick(widgetNamed<QPushButton>(*window, QStringLiteral("pushButton_SearchDevice")), Qt::LeftButton);

    QCOMPARE(table->rowCount(), 1);
    QVERIFY(window->deviceList.isEmpty());
    QVERIFY(window->currentDevice.macAddress.isNull());
    QCOMPARE(window->currentDevice.deviceName, QStringLiteral("KST-2")); // the rest of the record stays
    QCOMPARE(formState(*window), formBefore); // and so does the form
    for (const char *name :
         {"groupBox_Config", "pushButton_SaveConfigure", "pushButton_FactoryReset", "pushButton_DeviceRestart"})
        QVERIFY2(!widgetNamed<QWidget>(*window, QString::fromLatin1(name))->isEnabled(), name);
    QVERIFY(widgetNamed<QWidget>(*window, QStringLiteral("pushButton_SearchDevice"))->isEnabled());
    QVERIFY(!widgetNamed<QWidget>(*window, QStringLiteral("pushButton_DeviceRestart"))->isVisible());
}

void TestMainWindow::searchIcon()
{
    QFile file(QStringLiteral(":/ico/ico/query1.ico"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray ico = file.readAll();
    QVERIFY(ico.size() > 22);
    const auto *bytes = reinterpret_cast<const uchar *>(ico.constData());

    // ICONDIR: reserved 0, type 1 (icon), one image; then its ICONDIRENTRY
    QCOMPARE(qFromLittleEndian<quint16>(bytes + 0), quint16(0));
    QCOMPARE(qFromLittleEndian<quint16>(bytes + 2), quint16(1));
    QCOMPARE(qFromLittleEndian<quint16>(bytes + 4), quint16(1));
    QCOMPARE(int(bytes[6]), 128);
    QCOMPARE(int(bytes[7]), 128);
    QCOMPARE(qFromLittleEndian<quint16>(bytes + 10), quint16(1)); // planes
    QCOMPARE(qFromLittleEndian<quint16>(bytes + 12), quint16(32)); // bits per pixel
    const quint32 imageSize = qFromLittleEndian<quint32>(bytes + 14);
    const quint32 imageOffset = qFromLittleEndian<quint32>(bytes + 18);
    QCOMPARE(qint64(imageOffset) + imageSize, qint64(ico.size()));

    QImage image;
    QVERIFY(image.loadFromData(ico, "ICO"));
    QCOMPARE(image.size(), QSize(128, 128));
    QVERIFY(image.hasAlphaChannel());

    // transparent around the glass; a silver rim above the lens centre, a blue handle towards the corner
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(image.pixel(127, 0)), 0);
    const QColor rim = image.pixelColor(50, 15);
    QCOMPARE(rim.alpha(), 255);
    QVERIFY(qMax(qMax(rim.red(), rim.green()), rim.blue()) - qMin(qMin(rim.red(), rim.green()), rim.blue()) < 32);
    QVERIFY(rim.lightness() > 150);
    const QColor handle = image.pixelColor(100, 100);
    QCOMPARE(handle.alpha(), 255);
    QVERIFY(handle.blue() > handle.red() + 60 && handle.blue() > handle.green() + 30);

    const QIcon icon = widgetNamed<QPushButton>(*window, QStringLiteral("pushButton_SearchDevice"))->icon();
    QVERIFY(!icon.isNull());
    QVERIFY(icon.availableSizes().contains(QSize(128, 128)));
}

KESTREL_NETWORK_TEST_MAIN(TestMainWindow, QApplication)
#include "tst_mainwindow.moc"
