#include "devicerecordprinting.h"
#include "listedmodule.h"
#include "mainwindow.h"
#include "privatenetwork.h"
#include "randomreplies.h"
#include "windowprobe.h"

#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QStatusBar>
#include <QtTest>

#include <memory>

// The window as it stands after start-up: the slot names its form pairs with its widgets, where a user finds
// each widget, the keyboard order, its fixed frame, the device table and the icon, and the two table operations
// with the search that uses them.
class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void slotsPairWithFormSignals_data();
    void slotsPairWithFormSignals();

    void formRows();
    void areas();
    void widgetsNeitherCutOffNorOverlapping();
    void tabReachesEveryUsableWidgetOnce();
    void tabGoesDownTheFormTableFirst();

    void windowIsFixedWithoutMaximiseButton();
    void startUpStates();
    void deviceTableSetUp();
    void deviceCellsCannotBeEdited();
    void clickSelectsOneWholeRow();
    void captionRowItems_data();
    void captionRowItems();

    void addedRowsFollowCaptionRow();
    void listedModulesComeBackAsTheyAnswered();
    void clearingKeepsCaptionRow_data();
    void clearingKeepsCaptionRow();
    void searchEmptiesListAndLocksForm();

    void searchIcon();

private:
    void resetDevices();
    void listDevice(const QString &sourceIp, const QString &name, const QString &mac, const QString &version);
    QRect geometryOf(const char *name) const;

    std::unique_ptr<MainWindow> window;
    QTableWidget *table = nullptr;
};

namespace {

// The widgets a user sees laid out side by side: the children of the window's central area and of its two groups.
QList<QWidget *> laidOutWidgets(const QWidget &window)
{
    QList<QWidget *> widgets;
    for (const char *parent : {"centralWidget", "groupBox", "groupBox_Config"}) {
        const auto *area = window.findChild<QWidget *>(QString::fromLatin1(parent));
        if (area)
            widgets += area->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    }
    return widgets;
}

} // namespace

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

// Lists a module the way the reply parser does.
void TestMainWindow::listDevice(const QString &sourceIp, const QString &name, const QString &mac,
                                const QString &version)
{
    window->addDeviceRow(listedModule(sourceIp, name, mac, version));
}

QRect TestMainWindow::geometryOf(const char *name) const
{
    const QWidget *widget = widgetNamed<QWidget>(*window, QString::fromLatin1(name));
    return widget ? widget->geometry() : QRect();
}

void TestMainWindow::slotsPairWithFormSignals_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<QByteArray>("signal");

    QTest::newRow("language") << "pushButton_Yuyan" << QByteArray("clicked()");
    QTest::newRow("search") << "pushButton_SearchDevice" << QByteArray("clicked()");
    QTest::newRow("restart") << "pushButton_DeviceRestart" << QByteArray("clicked()");
    QTest::newRow("factory reset") << "pushButton_FactoryReset" << QByteArray("clicked()");
    QTest::newRow("configure") << "pushButton_SaveConfigure" << QByteArray("clicked()");
    QTest::newRow("ip type") << "comboBox_IpType" << QByteArray("currentIndexChanged(int)");
    QTest::newRow("work mode") << "comboBox_Mode" << QByteArray("currentIndexChanged(int)");
    QTest::newRow("random") << "checkBox_Random" << QByteArray("clicked()");
    QTest::newRow("local port") << "lineEdit_Lport" << QByteArray("textChanged(QString)");
    QTest::newRow("row click") << "tableWidget_DeviceList" << QByteArray("clicked(QModelIndex)");
}

// The form connects on_<objectName>_<signal> slots by name; a renamed widget or slot silently cuts the
// connection. The receive slot keeps its name too.
void TestMainWindow::slotsPairWithFormSignals()
{
    QFETCH(QString, object);
    QFETCH(QByteArray, signal);

    const QObject *sender = window->findChild<QObject *>(object);
    QVERIFY(sender);
    QVERIFY2(sender->metaObject()->indexOfSignal(signal) >= 0, signal.constData());
    const QByteArray slot = "on_" + object.toLatin1() + '_' + signal;
    QVERIFY2(window->metaObject()->indexOfSlot(slot) >= 0, slot.constData());
    QVERIFY(window->metaObject()->indexOfSlot("SocketRecvData()") >= 0);
}

// The parameter form reads as rows of a label followed by its fields, top to bottom in this order, with the
// labels in one column.
void TestMainWindow::formRows()
{
    const QList<QStringList> rows = {
        {"label_Mode", "comboBox_Mode"},
        {"label_9", "comboBox_IpType"},
        {"label", "lineEdit_Lip"},
        {"label_2", "lineEdit_Subnet"},
        {"label_3", "lineEdit_Gaw"},
        {"label_10", "comboBox_ModbusConvt"},
        {"label_6", "lineEdit_Lport", "checkBox_Random"},
        {"label_7", "lineEdit_Sip"},
        {"label_8", "lineEdit_Sport"},
        {"label_4", "lineEdit_Baud"},
        {"label_5", "comboBox_Parity", "comboBox_DataBit", "comboBox_StopBit"},
    };
    const QWidget *group = widgetNamed<QWidget>(*window, QStringLiteral("groupBox_Config"));
    QRect previousRow;
    const int labelColumn = widgetNamed<QWidget>(*window, rows.first().first())->x();
    for (const QStringList &row : rows) {
        const QRect label = widgetNamed<QWidget>(*window, row.first())->geometry();
        QCOMPARE(label.x(), labelColumn);
        QRect rowArea = label;
        QRect left = label;
        for (const QString &name : row.mid(1)) {
            const QWidget *field = widgetNamed<QWidget>(*window, name);
            QVERIFY(field && field->parentWidget() == group);
            const QRect geometry = field->geometry();
            QVERIFY2(left.right() < geometry.left(),
                     qPrintable(name + QLatin1String(" is not right of its neighbour")));
            QVERIFY2(qAbs(geometry.center().y() - label.center().y()) <= 1,
                     qPrintable(name + QLatin1String(" is not level with ") + row.first()));
            left = geometry;
            rowArea |= geometry;
        }
        QVERIFY2(previousRow.isNull() || previousRow.bottom() < rowArea.top(),
                 qPrintable(row.first() + QLatin1String(" is not below the row before")));
        previousRow = rowArea;
    }
}

// The list of modules on the left, the parameters on the right, the language button below the list and
// "Configure" below the parameters.
void TestMainWindow::areas()
{
    const QRect central = widgetNamed<QWidget>(*window, QStringLiteral("centralWidget"))->rect();
    const QRect list = geometryOf("groupBox");
    const QRect parameters = geometryOf("groupBox_Config");
    QVERIFY(central.contains(list) && central.contains(parameters));
    QVERIFY(list.right() < parameters.left());
    QCOMPARE(list.top(), parameters.top());

    // inside the list: the table above its two visible buttons, search on the left
    const QRect table = geometryOf("tableWidget_DeviceList");
    const QRect search = geometryOf("pushButton_SearchDevice");
    const QRect factoryReset = geometryOf("pushButton_FactoryReset");
    QVERIFY(table.bottom() < search.top() && table.bottom() < factoryReset.top());
    QVERIFY(search.right() < factoryReset.left());

    const QRect language = geometryOf("pushButton_Yuyan");
    const QRect configure = geometryOf("pushButton_SaveConfigure");
    QVERIFY(list.bottom() < language.top() && parameters.bottom() < configure.top());
    QVERIFY(language.right() < parameters.left());
    QVERIFY(configure.left() >= parameters.left() && configure.right() <= parameters.right());
}

// Every widget lies wholly inside its parent, so no edge cuts it, and shares no pixel with a visible sibling.
void TestMainWindow::widgetsNeitherCutOffNorOverlapping()
{
    const QList<QWidget *> widgets = laidOutWidgets(*window);
    QVERIFY(widgets.size() > 30);
    for (const QWidget *widget : widgets) {
        const QString name = widget->objectName();
        QVERIFY2(widget->parentWidget()->rect().contains(widget->geometry()), qPrintable(name + " is cut off"));
        if (!widget->isVisible())
            continue;
        for (const QWidget *sibling : widgets) {
            if (sibling == widget || !sibling->isVisible() || sibling->parentWidget() != widget->parentWidget())
                continue;
            QVERIFY2(!widget->geometry().intersects(sibling->geometry()),
                     qPrintable(name + QLatin1String(" overlaps ") + sibling->objectName()));
        }
    }
}

// With a module selected, a keyboard user reaches every usable widget with Tab, each once, and comes back round.
void TestMainWindow::tabReachesEveryUsableWidgetOnce()
{
    window->setModuleCommandsEnabled(true);
    QSet<QString> usable;
    for (const QWidget *widget : laidOutWidgets(*window)) {
        if ((widget->focusPolicy() & Qt::TabFocus) && widget->isVisible() && widget->isEnabled())
            usable.insert(widget->objectName());
    }
    QVERIFY(usable.size() > 15);

    QWidget *first = widgetNamed<QWidget>(*window, QStringLiteral("comboBox_Mode"));
    first->setFocus(Qt::TabFocusReason);
    QStringList visited = {first->objectName()};
    bool cameBack = false;
    for (int presses = 0; presses < 2 * usable.size() && !cameBack; ++presses) {
        QTest::keyClick(window->focusWidget(), Qt::Key_Tab);
        cameBack = window->focusWidget() == first;
        if (!cameBack)
            visited << window->focusWidget()->objectName();
    }
    window->setModuleCommandsEnabled(false);
    QVERIFY2(cameBack, qPrintable(visited.join(' ')));
    QCOMPARE(visited.size(), usable.size());
    QCOMPARE(QSet<QString>(visited.cbegin(), visited.cend()), usable);
}

// Tab goes down the window as it is drawn: the table (one stop, not one per cell), its buttons, the form from top
// to bottom, then the language button and "Configure".
void TestMainWindow::tabGoesDownTheFormTableFirst()
{
    window->setModuleCommandsEnabled(true);
    listDevice(QStringLiteral("192.168.1.10"), QStringLiteral("KST-1"), QStringLiteral("0A1B2C3D4E5F"),
               QStringLiteral("1.2.0.3"));
    listDevice(QStringLiteral("192.168.1.11"), QStringLiteral("KST-2"), QStringLiteral("0A1B2C3D4E60"),
               QStringLiteral("1.2.0.4"));
    table->setFocus(Qt::TabFocusReason);
    QStringList visited = {window->focusWidget()->objectName()};
    for (int presses = 0; presses < 19; ++presses) {
        QTest::keyClick(window->focusWidget(), Qt::Key_Tab);
        visited << window->focusWidget()->objectName();
    }
    window->setModuleCommandsEnabled(false);
    resetDevices();
    const QStringList expected = {"tableWidget_DeviceList",   "pushButton_SearchDevice",
                                  "pushButton_FactoryReset",  "comboBox_Mode",
                                  "comboBox_IpType",          "lineEdit_Lip",
                                  "lineEdit_Subnet",          "lineEdit_Gaw",
                                  "comboBox_ModbusConvt",     "lineEdit_Lport",
                                  "checkBox_Random",          "lineEdit_Sip",
                                  "lineEdit_Sport",           "lineEdit_Baud",
                                  "comboBox_Parity",          "comboBox_DataBit",
                                  "comboBox_StopBit",         "pushButton_Yuyan",
                                  "pushButton_SaveConfigure", "tableWidget_DeviceList"};
    QCOMPARE(visited, expected);
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

// Only the caption row at start-up, no header bars, and the four columns fill the visible width exactly:
// no gap at the right and nothing to scroll to.
void TestMainWindow::deviceTableSetUp()
{
    resetDevices();
    QCOMPARE(table->rowCount(), 1);
    QCOMPARE(table->columnCount(), 4);
    QVERIFY(table->horizontalHeader()->isHidden());
    QVERIFY(table->verticalHeader()->isHidden());
    int width = 0;
    for (int column = 0; column < table->columnCount(); ++column) {
        QVERIFY(table->columnWidth(column) > 0);
        width += table->columnWidth(column);
    }
    QCOMPARE(width, table->viewport()->width());
    QVERIFY(!table->horizontalScrollBar()->isVisible());
}

// Neither a double click, nor F2, nor typing opens an editor on a module's cell.
void TestMainWindow::deviceCellsCannotBeEdited()
{
    resetDevices();
    listDevice(QStringLiteral("192.168.1.10"), QStringLiteral("KST-1"), QStringLiteral("0A1B2C3D4E5F"),
               QStringLiteral("1.2.0.3"));
    const QRect cell = table->visualRect(table->model()->index(1, 1));
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    QTest::keyClick(table, Qt::Key_F2);
    QTest::keyClicks(table, QStringLiteral("renamed"));

    QVERIFY(!table->isPersistentEditorOpen(table->model()->index(1, 1)));
    for (const QLineEdit *editor : table->viewport()->findChildren<QLineEdit *>())
        QVERIFY(!editor->isVisible());
    QCOMPARE(rowTexts(table, 1), QStringList({"192.168.1.10", "KST-1", "0A1B2C3D4E5F", "1.2.0.3"}));
    resetDevices();
    window->setModuleCommandsEnabled(false);
}

// A click selects the module's whole row, and only one row is ever selected, even with Ctrl or Shift.
void TestMainWindow::clickSelectsOneWholeRow()
{
    resetDevices();
    listDevice(QStringLiteral("192.168.1.10"), QStringLiteral("KST-1"), QStringLiteral("0A1B2C3D4E5F"),
               QStringLiteral("1.2.0.3"));
    listDevice(QStringLiteral("192.168.1.11"), QStringLiteral("KST-2"), QStringLiteral("0A1B2C3D4E60"),
               QStringLiteral("1.2.0.4"));
    const auto selectedRows = [this] {
        QList<int> rows;
        for (const QModelIndex &index : table->selectionModel()->selectedIndexes()) {
            if (!rows.contains(index.row()))
                rows << index.row();
        }
        return rows;
    };

    clickCell(table, 1, 2);
    QCOMPARE(selectedRows(), QList<int>({1}));
    QCOMPARE(table->selectionModel()->selectedIndexes().size(), table->columnCount());
    for (const Qt::KeyboardModifier modifier : {Qt::ControlModifier, Qt::ShiftModifier}) {
        const QRect cell = table->visualRect(table->model()->index(2, 0));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, modifier, cell.center());
        QCOMPARE(selectedRows(), QList<int>({2}));
        clickCell(table, 1, 2);
    }
    resetDevices();
    window->setModuleCommandsEnabled(false);
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
    QCOMPARE(caption->text(), chinese); // the only window of this process opened in Chinese
    QCOMPARE(caption->data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));
    // drawn as disabled text, and never selected
    QVERIFY(!caption->flags().testFlag(Qt::ItemIsSelectable));
    QVERIFY(!caption->flags().testFlag(Qt::ItemIsEnabled));
}

// Rows follow in order of discovery, whatever their texts, with centred texts that can be selected.
void TestMainWindow::addedRowsFollowCaptionRow()
{
    resetDevices();
    listDevice(QStringLiteral("192.168.1.11"), QStringLiteral("KST-2"), QStringLiteral("0A1B2C3D4E60"),
               QStringLiteral("1.2.0.4"));
    listDevice(QStringLiteral("192.168.1.10"), QStringLiteral("KST-1"), QStringLiteral("0A1B2C3D4E5F"),
               QStringLiteral("1.2.0.3"));

    QCOMPARE(table->rowCount(), window->deviceList.size() + 1);
    QCOMPARE(rowTexts(table, 1), QStringList({"192.168.1.11", "KST-2", "0A1B2C3D4E60", "1.2.0.4"}));
    QCOMPARE(rowTexts(table, 2), QStringList({"192.168.1.10", "KST-1", "0A1B2C3D4E5F", "1.2.0.3"}));
    QCOMPARE(rowTexts(table, 0), QStringList({"设备IP", "设备名称", "MAC地址", "版本"}));

    for (int row = 1; row < table->rowCount(); ++row) {
        for (int column = 0; column < table->columnCount(); ++column) {
            const QTableWidgetItem *item = table->item(row, column);
            QCOMPARE(item->data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));
            QVERIFY(item->flags().testFlag(Qt::ItemIsSelectable));
            QVERIFY(item->flags().testFlag(Qt::ItemIsEnabled));
        }
    }
    resetDevices();
}

// The list keeps its modules small, but what a row shows and what a click loads is the record as it was listed,
// whatever its bytes: replies of random bytes, and records no reply gives.
void TestMainWindow::listedModulesComeBackAsTheyAnswered()
{
    resetDevices();
    QList<DeviceRecord> listed = randomReplies(300, 21);
    DeviceRecord lowerCaseMac = listed.at(0);
    lowerCaseMac.macAddress = lowerCaseMac.macAddress.toLower();
    DeviceRecord ipv6Source = listed.at(1);
    ipv6Source.sourceIp = QStringLiteral("fe80::1");
    ipv6Source.macAddress = QStringLiteral("0A00000000C1");
    listed << lowerCaseMac << ipv6Source
           << listedModule(QStringLiteral("192.168.1.10"), QStringLiteral("模块一"), QStringLiteral("0A1B2C3D4E5F"),
                           QStringLiteral("1.2.0.3"));
    for (const DeviceRecord &record : qAsConst(listed))
        window->addDeviceRow(record);

    QCOMPARE(window->deviceList.size(), listed.size());
    QCOMPARE(table->rowCount(), listed.size() + 1);
    for (int i = 0; i < listed.size(); ++i) {
        const DeviceRecord &record = listed.at(i);
        QCOMPARE(window->deviceList.at(i), record);
        QCOMPARE(window->deviceList.indexOf(record.macAddress), i);
        const QStringList texts = {record.sourceIp, record.deviceName, record.macAddress, record.version};
        QCOMPARE(rowTexts(table, i + 1), texts);
        for (int column = 0; column < texts.size(); ++column)
            QCOMPARE(table->item(i + 1, column)->toolTip(), texts.at(column));
    }
    for (const int row : {1, 150, table->rowCount() - 1}) {
        clickCell(table, row, 0);
        QCOMPARE(window->currentDevice, listed.at(row - 1));
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
        window->addDeviceRow(listedModule(QStringLiteral("10.0.0.%1").arg(i + 1), QStringLiteral("name%1").arg(i),
                                          QStringLiteral("00000000000%1").arg(i), QStringLiteral("1.0.0.%1").arg(i)));
    QCOMPARE(table->rowCount(), devices + 1);

    window->clearDeviceRows();

    QCOMPARE(table->rowCount(), 1);
    QCOMPARE(rowTexts(table, 0), captions);
    QCOMPARE(table->item(0, 0)->flags().testFlag(Qt::ItemIsEnabled), false);
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
    // Nothing of the last module stays, on the form or behind it: the form is as the window opened.
    QVERIFY(window->currentDevice.deviceName.isEmpty());
    QVERIFY(formState(*window) != formBefore);
    for (QLineEdit *edit :
         widgetNamed<QWidget>(*window, QStringLiteral("groupBox_Config"))->findChildren<QLineEdit *>())
        QVERIFY2(edit->text().isEmpty(), qPrintable(edit->objectName()));
    QCOMPARE(widgetNamed<QComboBox>(*window, QStringLiteral("comboBox_Mode"))->currentIndex(), int(Module::TcpClient));
    QCOMPARE(widgetNamed<QComboBox>(*window, QStringLiteral("comboBox_DataBit"))->currentIndex(),
             int(Module::EightDataBits));
    QVERIFY(!widgetNamed<QCheckBox>(*window, QStringLiteral("checkBox_Random"))->isChecked());
    for (const char *name :
         {"groupBox_Config", "pushButton_SaveConfigure", "pushButton_FactoryReset", "pushButton_DeviceRestart"})
        QVERIFY2(!widgetNamed<QWidget>(*window, QString::fromLatin1(name))->isEnabled(), name);
    QVERIFY(widgetNamed<QWidget>(*window, QStringLiteral("pushButton_SearchDevice"))->isEnabled());
    QVERIFY(!widgetNamed<QWidget>(*window, QStringLiteral("pushButton_DeviceRestart"))->isVisible());
}

// The search button shows a picture: drawn at the size the button paints it, part of it is opaque and the
// rest lets the button show through.
void TestMainWindow::searchIcon()
{
    const auto *button = widgetNamed<QPushButton>(*window, QStringLiteral("pushButton_SearchDevice"));
    QVERIFY(!button->icon().isNull());
    const QImage image = button->icon().pixmap(button->iconSize()).toImage().convertToFormat(QImage::Format_ARGB32);
    QVERIFY(!image.isNull());
    int opaque = 0;
    int transparent = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const int alpha = qAlpha(image.pixel(x, y));
            opaque += alpha == 255;
            transparent += alpha == 0;
        }
    }
    const int pixels = image.width() * image.height();
    const int drawn = pixels - transparent;
    QVERIFY2(opaque > 0 && drawn > pixels / 10 && transparent > pixels / 10,
             qPrintable(QStringLiteral("%1 opaque, %2 drawn, %3 transparent of %4 pixels")
                            .arg(opaque)
                            .arg(drawn)
                            .arg(transparent)
                            .arg(pixels)));
}

KESTREL_NETWORK_TEST_MAIN(TestMainWindow, QApplication)
#include "tst_mainwindow.moc"
