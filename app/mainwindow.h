#pragma once

#include "configframe.h"
#include "devicelist.h"
#include "devicerecord.h"
#include "modulesearch.h"
#include "readback.h"
#include "receivepath.h"

#include <QList>
#include <QMainWindow>
#include <QSet>
#include <QString>

#include <functional>

struct ArrivedDatagram;
class DeviceEndpoint;
class QComboBox;
class QModelIndex;

namespace Ui {
class MainWindow;
}

// The tool's one window: the list of modules found by the search, the parameter form of the selected
// module and the commands that act on it.
class MainWindow : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY(MainWindow)

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

signals:
    // The search request went out: round 1 for the press of "Search Device", later rounds when the system
    // dropped replies.
    void searchRoundStarted(int round);
    // No more requests for this search; lostReplies > 0 when replies were still dropped in its last round.
    void searchFinished(int rounds, quint64 lostReplies);
    // The read-back after "Configure" is over: the status bar says how it went.
    void readBackFinished();

private slots:
    void on_pushButton_Yuyan_clicked();
    void on_pushButton_SearchDevice_clicked();
    void on_pushButton_DeviceRestart_clicked();
    void on_pushButton_FactoryReset_clicked();
    void on_pushButton_SaveConfigure_clicked();
    void on_comboBox_IpType_currentIndexChanged(int index);
    void on_comboBox_Mode_currentIndexChanged(int index);
    void on_checkBox_Random_clicked();
    void on_lineEdit_Lport_textChanged(const QString &arg1);
    void SocketRecvData();
    void on_tableWidget_DeviceList_clicked(const QModelIndex &index);

private:
    void installValidators();
    void setUpDeviceTable();
    // The parameter group and the three command buttons, which only a selected module makes usable.
    void setModuleCommandsEnabled(bool enabled);

    // Lists a module: its record in deviceList and its row in the table, which shows what the list holds.
    void addDeviceRow(const DeviceRecord &record);
    void clearDeviceRows();
    // A listed module's row and record take a newer reply of it.
    void updateDeviceRow(int row, const DeviceRecord &record);

    void readForm(DeviceRecord &record) const;
    void fillForm(const DeviceRecord &record);
    // The form as before any module was selected: nothing of any module on it.
    void clearForm();
    // The three line-format boxes show what the byte means; a part no item stands for gets an item of its own.
    void showLineFormat(quint8 format);
    // The line-format byte the three boxes stand for, the module's own bits kept where a box shows its own item.
    quint8 formLineFormat(const DeviceRecord &record) const;
    // Loads the module of a table row into the form and makes it the target of "Configure".
    void loadRow(int row);

    void installFrameKey();
    void bindDevicePort();
    // Tells in the status bar, in the current language, that the device port could not be bound or the frame
    // key is not valid.
    void showPortStatus();
    void receiveDatagram(const ArrivedDatagram &datagram);
    void parseDeviceReply(QByteArray frame, QString sourceIp, int interfaceIndex);
    // Lists a module's reply, or takes it as the read-back of the module just configured; true ends the read-back.
    bool takeReply(const DeviceRecord &record);
    // The search or the read-back ended.
    void searchEnded();
    void startReadBack();
    // Returns whether the frame went out.
    bool sendConfigFrame(DeviceRecord record);
    // What the user changed on the form since a row was clicked: every field once "Factory Reset" filled them.
    EditedFields editedFields(const DeviceRecord &record) const;
    // The form label that names a field the configuration frame cannot carry.
    QString formFieldName(ConfigField field) const;
    // The form label (or table caption) of a field by its key in the JSON form of a module.
    QString fieldLabel(const QString &key) const;

    // The status bar: what the last action (a selection, "Configure", a failed send) did, else how the last search
    // went with its notes. Kept as texts made in the language shown, so that a language switch re-translates them.
    using StatusText = std::function<QString()>;
    void showStatus();
    StatusText actionStatus;
    StatusText searchStatus;
    QList<StatusText> searchNotes;
    QSet<QString> macsNoted; // MACs a note about two modules sharing them was made for
    // Datagrams the window takes from the endpoint between two looks at the clock.
    static constexpr int ReceiveBatch = ModuleSearch::BatchSize;
    // A search round under datagrams that never stop (a flood, a looping tool) ends this long after its request:
    // what is still queued then is taken for a moment, the rest dropped and counted, so that the search asks again
    // and its end tells that replies may be missing. No segment's replies come near it: a module answers at once,
    // the device port queues at most DeviceEndpoint::DefaultQueueLimit datagrams, and the window lists a reply in
    // well under 0.2 ms even on a loaded 2-core machine (100,000 replies in one round in about 12 s,
    // docs/benchmark.md), so a full queue is listed in a fraction of this.
    static constexpr int SearchRoundLimitMs = 30000;
    int searchRoundLimitMs = SearchRoundLimitMs;

    // The chosen language, process-wide: true once the Chinese catalogue was chosen. Only the language
    // switch writes it, and every window's construction runs the switch once.
    static bool isChinese;

    DeviceEndpoint *udpSocket = nullptr; // port 1500, read by a thread of its own
    ModuleSearch *search = nullptr; // the search and the read-back, and every reply heard between them
    DeviceList deviceList; // element i is shown in table row i + 1
    ReplyCollector replies; // the MACs listed since the last search, with the address each first answered from
    Ui::MainWindow *ui = nullptr;
    DeviceRecord currentDevice; // the selected module as the form edits it
    DeviceRecord loadedDevice;  // the form as the row click left it, to tell the user's edits from what was reported
    bool formFilledByReset = false;
    // The read-back after "Configure": the record sent, waiting while a search still runs, and the module's answer.
    DeviceRecord readBackSent;
    bool readingBack = false;
    bool readBackWaiting = false;
    bool readBackAnswered = false;
    QVector<FieldDifference> readBackLeft;
    bool devicePortBound = false;
    bool frameKeyValid = false;
    QString frameKeyOrigin;

    friend class TestMainWindow;
    friend class TestLanguageSwitch;
    friend class TestConfigForm;
    friend class TestDeviceSearch;
    friend class TestConfigure;
    friend class TestEndToEnd;
    friend class TestBurst;
    friend class ReceiveBench;
    friend class TestAdapters;
    friend class TestWindowLayout;
    friend class TestDroppedReplies;
    friend class TestReadBack;
};
