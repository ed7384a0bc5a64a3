#include "modulesimulator.h"

#include "framechecksum.h"
#include "framecipher.h"
#include "frameconstants.h"
#include "replyframe.h"

#include <QHostAddress>
#include <QTimer>

namespace {

// Lets a burst of configuration frames from several tools queue up without loss.
constexpr int ReceiveBufferSize = 1 << 20;
// A full send queue is retried after this pause instead of dropping replies.
constexpr int SendRetryMs = 2;

QString describe(const DeviceRecord &m)
{
    static const char *const modes[] = {"UDP", "TCP Client", "UDP Server", "TCP Server"};
    static const char *const parities[] = {"N", "O", "E"};
    return QStringLiteral("name \"%1\", %2, %3 %4/%5 gw %6, local port %7, remote %8:%9, %10 %11%12%13, modbus %14")
        .arg(m.deviceName, QLatin1String(modes[m.workMode & 3]),
             m.ipType ? QStringLiteral("DHCP") : QStringLiteral("static"), m.localIp, m.subnetMask, m.gateway,
             m.localPort, m.remoteIp, m.remotePort)
        .arg(m.baudRate)
        .arg(m.dataBits == 0 ? 7 : 8)
        .arg(QLatin1String(parities[qBound(0, m.parity, 2)]))
        .arg(m.stopBits == 1 ? 2 : 1)
        .arg(m.modbusConvert ? QStringLiteral("on") : QStringLiteral("off"));
}

QString senderText(const QHostAddress &address, quint16 port)
{
    bool isIpv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIpv4);
    return QStringLiteral("%1:%2").arg(isIpv4 ? QHostAddress(ipv4).toString() : address.toString()).arg(port);
}

} // namespace

ModuleSimulator::ModuleSimulator(const QList<DeviceRecord> &modules, QObject *parent)
    : QObject(parent)
    , moduleList(modules)
{
    connect(&socket, &QUdpSocket::readyRead, this, &ModuleSimulator::readDatagrams);
}

bool ModuleSimulator::start(QString *error)
{
    if (!socket.bind(QHostAddress::Any, DevicePort, QAbstractSocket::ShareAddress)) {
        *error = QStringLiteral("cannot bind UDP port %1: %2").arg(DevicePort).arg(socket.errorString());
        return false;
    }
    socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, ReceiveBufferSize);
    emit event(QStringLiteral("listening on UDP port %1 as %2 module(s)").arg(DevicePort).arg(moduleList.size()));
    return true;
}

void ModuleSimulator::readDatagrams()
{
    while (socket.hasPendingDatagrams()) {
        QByteArray datagram(int(qMax<qint64>(socket.pendingDatagramSize(), 0)), Qt::Uninitialized);
        QHostAddress address;
        quint16 port = 0;
        const qint64 length = socket.readDatagram(datagram.data(), datagram.size(), &address, &port);
        if (length < 0)
            break;
        datagram.truncate(int(length));
        handleDatagram(datagram, senderText(address, port));
    }
}

void ModuleSimulator::handleDatagram(const QByteArray &datagram, const QString &sender)
{
    if (datagram == QByteArray(DiscoveryRequest, DiscoveryRequestSize)) {
        answerSearch(sender);
        return;
    }
    if (datagram.size() != FrameSize) {
        emit event(QStringLiteral("ignored %1-byte datagram from %2").arg(datagram.size()).arg(sender));
        return;
    }
    QByteArray frame = datagram;
    decryptFrame(reinterpret_cast<quint8 *>(frame.data()), FrameSize);
    if (!hasValidFrameChecksum(frame)) {
        emit event(QStringLiteral("ignored frame with a bad checksum from %1").arg(sender));
        return;
    }
    // Replies, ours and other modules', travel on the same port; only configuration frames concern us.
    if (frame.mid(MarkerOffset, MarkerSize) != QByteArray(ConfigMarker, MarkerSize))
        return;
    applyConfigFrame(frame, sender);
}

void ModuleSimulator::answerSearch(const QString &sender)
{
    for (const DeviceRecord &module : qAsConst(moduleList)) {
        QByteArray reply = layoutDeviceReply(module);
        encryptFrame(reinterpret_cast<quint8 *>(reply.data()), FrameSize);
        pendingReplies.append(reply);
    }
    emit event(QStringLiteral("search from %1: answering with %2 reply frame(s)").arg(sender).arg(moduleList.size()));
    sendPendingReplies();
}

void ModuleSimulator::sendPendingReplies()
{
    while (!pendingReplies.isEmpty()) {
        if (socket.writeDatagram(pendingReplies.first(), QHostAddress(QLatin1String(BroadcastAddress)), DevicePort)
            != FrameSize) {
            QTimer::singleShot(SendRetryMs, this, &ModuleSimulator::sendPendingReplies);
            return;
        }
        pendingReplies.removeFirst();
    }
}

void ModuleSimulator::applyConfigFrame(const QByteArray &plainFrame, const QString &sender)
{
    const DeviceRecord received = decodeDeviceReply(plainFrame, QString());
    for (DeviceRecord &module : moduleList) {
        if (module.macAddress.compare(received.macAddress, Qt::CaseInsensitive) != 0)
            continue;
        // Identity stays the module's own; the frame carries the name and the parameters.
        DeviceRecord updated = received;
        updated.macAddress = module.macAddress;
        updated.version = module.version;
        updated.sourceIp.clear();
        module = updated;
        emit event(QStringLiteral("configured %1 from %2: %3").arg(module.macAddress, sender, describe(module)));
        emit modulesChanged();
        return;
    }
    emit event(QStringLiteral("ignored configuration frame for %1 (not one of ours) from %2")
                   .arg(received.macAddress, sender));
}
