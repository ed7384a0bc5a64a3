#pragma once

#include "devicerecord.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QUdpSocket>

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

    bool start(QString *error);
    const QList<DeviceRecord> &modules() const { return moduleList; }

signals:
    void event(const QString &line);
    // A configuration frame changed a module.
    void modulesChanged();

private:
    void readDatagrams();
    void handleDatagram(const QByteArray &datagram, const QString &sender);
    void answerSearch(const QString &sender);
    void applyConfigFrame(const QByteArray &plainFrame, const QString &sender);
    void sendPendingReplies();

    QUdpSocket socket;
    QList<DeviceRecord> moduleList;
    QList<QByteArray> pendingReplies;
};
