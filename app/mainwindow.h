#pragma once

#include "configframe.h"
#include "devicerecord.h"
#include "receivepath.h"
#include "repeatedreplies.h"
#include "searchrounds.h"

#include <QList>
#include <QMainWindow>
#include <QString>

struct ArrivedDatagram;
class DeviceEndpoint;
class QModelIndex;
class QTimer;

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

    void addDeviceRow(QString sourceIp, QString deviceName, QString macAddress, QString version);
    void clearDeviceRows();

    void readForm(DeviceRecord &record) const;
    void fillForm(const DeviceRecord &record);

    void installFrameKey();
    void bindDevicePort();
    // Tells in the status bar, in the current language, that the device port could not be bound or the frame
    // key is not valid.
    void showPortStatus();
    void receiveDatagram(const ArrivedDatagram &datagram);
    void sendSearchRequest();
    // Replies have stopped coming for a moment: asks again when the system dropped some, else ends the search.
    void endSearchRound();
    void parseDeviceReply(QByteArray frame, QString sourceIp, int interfaceIndex);
    void sendConfigFrame(DeviceRecord record);
    // What the user changed on the form since a row was clicked: every field once "Factory Reset" filled them.
    EditedFields editedFields(const DeviceRecord &record) const;
    // The form label that names a field the configuration frame cannot carry.
    QString formFieldName(ConfigField field) const;

    // Datagrams the receive slot takes from the endpoint between two looks at the clock.
    static constexpr int ReceiveBatch = 32;

    // The chosen language, process-wide: true once the Chinese catalogue was chosen. Only the language
    // switch writes it, and every window's construction runs the switch once.
    static bool isChinese;

    DeviceEndpoint *udpSocket = nullptr; // port 1500, read by a thread of its own
    QTimer *receiveResume = nullptr;     // takes up a burst where the last slice of listing stopped
    QTimer *searchRoundEnd = nullptr;    // runs while a search round's replies still come
    SearchRounds searchRounds;
    RepeatedReplies repeatedReplies; // the frames heard since the last search
    QList<DeviceRecord> deviceList; // element i is shown in table row i + 1
    ReplyCollector replies; // the MACs listed since the last search, with the address each first answered from
    Ui::MainWindow *ui = nullptr;
    DeviceRecord currentDevice; // the selected module as the form edits it
    DeviceRecord loadedDevice;  // the form as the row click left it, to tell the user's edits from what was reported
    bool formFilledByReset = false;
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
};
