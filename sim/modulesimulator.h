#pragma once

#include "devicerecord.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QQueue>
#include <QSet>
#include <QTimer>
#include <QUdpSocket>
#include <QVector>

class QNetworkDatagram;

// Plays one or many modules on UDP port 1500: every discovery request is
// answered with each module's reply frame, broadcast from port 1500 as a module
// on a foreign subnet must; a configuration frame addressed to one of the
// modules' MACs is applied to it. Everything else is ignored.
class ModuleSimulator : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(ModuleSimulator)

public:
    explicit ModuleSimulator(const QList<DeviceRecord> &modules, QObject *parent = nullptr);

    // Modules that hear configuration frames but keep their settings, as write-protected firmware would.
    void setIgnoreConfigFrames(bool ignore) { ignoreConfigFrames = ignore; }

    bool start(QString *error);
    const QList<DeviceRecord> &modules() const { return moduleList; }
    // Reply frames of a search are still waiting to be sent.
    bool isAnswering() const { return !pendingSearches.isEmpty(); }

signals:
    void event(const QString &line);
    // A configuration frame changed the module at this index of modules().
    void moduleChanged(int index);
    // Every search heard so far has been answered in full.
    void repliesSent();

private:
    struct PendingSearch {
        QString sender;
        int nextModule = 0;
    };

    void readDatagrams();
    void handleDatagram(const QNetworkDatagram &datagram);
    void answerSearch(const QString &sender);
    void applyConfigFrame(const QByteArray &plainFrame, const QString &sender);
    void sendReplies();
    void prepareReplies();
    const QByteArray &replyFrame(int module);

    QUdpSocket socket;
    QList<DeviceRecord> moduleList;
    QHash<QString, int> moduleIndex; // by MAC
    QVector<QByteArray> replyFrames; // encrypted; made while idle after start, or when first sent
    int preparedReplies = 0;
    // Every reply frame sent. The frames are deterministic and come back on the port, so an equal datagram
    // is skipped without being decrypted: a large search then costs no decryption of its own echo.
    QSet<QByteArray> sentReplies;
    QQueue<PendingSearch> pendingSearches;
    QTimer sendTimer;
    bool ignoreConfigFrames = false;
};
