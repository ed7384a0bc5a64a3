#include "modulesimulator.h"

#include "framecipher.h"
#include "frameconstants.h"
#include "modulejson.h"
#include "receivepath.h"
#include "replyframe.h"
#include "senderaddress.h"

#include <QHostAddress>
#include <QJsonObject>
#include <QNetworkDatagram>

namespace {

// Lets a burst of configuration frames from several tools queue up without loss.
constexpr int ReceiveBufferSize = 1 << 20;
// Modules answer no faster than their Ethernet carries the replies: a 64-byte reply takes about 10 µs of a
// 100 Mbit/s segment (with headers, preamble and gap), so at most about 96 replies leave per millisecond. Between
// two such turns the event loop reads what arrived meanwhile (our own replies come back too).
constexpr int RepliesPerTurn = 96;
constexpr int TurnMs = 1;
// A full send queue is retried after this pause instead of dropping replies.
constexpr int SendRetryMs = 2;
// Reply frames encrypted per turn of the event loop while waiting for the first search.
constexpr int RepliesPreparedPerTurn = 1024;

// The module's settings as `kestrelctl set` would name them.
QString describe(const DeviceRecord &module)
{
    const QJsonObject json = moduleToJson(module);
    QStringList fields;
    for (const QString &key : settableModuleKeys()) {
        const QJsonValue value = json.value(key);
        if (value.isString())
            fields << QStringLiteral("%1=%2").arg(
                key, key == QLatin1String("name") ? QStringLiteral("\"%1\"").arg(value.toString()) : value.toString());
        else if (value.isDouble())
            fields << QStringLiteral("%1=%2").arg(key).arg(qint64(value.toDouble()));
    }
    return fields.join(QLatin1Char(' '));
}

QString senderText(const QNetworkDatagram &datagram)
{
    return QStringLiteral("%1:%2").arg(sourceIpText(datagram.senderAddress())).arg(datagram.senderPort());
}

} // namespace

ModuleSimulator::ModuleSimulator(const QList<DeviceRecord> &modules, QObject *parent)
    : QObject(parent)
    , moduleList(modules)
    , replyFrames(modules.size())
{
    moduleIndex.reserve(moduleList.size());
    for (int i = 0; i < moduleList.size(); ++i)
        moduleIndex.insert(moduleList.at(i).macAddress, i);
    sendTimer.setSingleShot(true);
    sendTimer.setTimerType(Qt::PreciseTimer);
    connect(&sendTimer, &QTimer::timeout, this, &ModuleSimulator::sendReplies);
    connect(&socket, &QUdpSocket::readyRead, this, &ModuleSimulator::readDatagrams);
}

bool ModuleSimulator::start(QString *error)
{
    // Beside the window or kestrelctl on the same host, on Unix and on Windows alike (see DeviceEndpoint).
    if (!socket.bind(QHostAddress::Any, DevicePort, QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint)) {
        *error = QStringLiteral("cannot bind UDP port %1: %2").arg(DevicePort).arg(socket.errorString());
        return false;
    }
    socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, ReceiveBufferSize);
    emit event(QStringLiteral("listening on UDP port %1 as %2 module(s)").arg(DevicePort).arg(moduleList.size()));
    // Listening at once, the replies are encrypted in the background: a first search of many modules is then
    // answered as fast as any other.
    QTimer::singleShot(0, this, &ModuleSimulator::prepareReplies);
    return true;
}

void ModuleSimulator::prepareReplies()
{
    const int end = qMin(preparedReplies + RepliesPreparedPerTurn, moduleList.size());
    for (; preparedReplies < end; ++preparedReplies)
        replyFrame(preparedReplies);
    if (preparedReplies < moduleList.size())
        QTimer::singleShot(0, this, &ModuleSimulator::prepareReplies);
}

void ModuleSimulator::readDatagrams()
{
    while (socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket.receiveDatagram();
        if (sentReplies.contains(datagram.data()))
            continue;
        handleDatagram(datagram);
    }
}

void ModuleSimulator::handleDatagram(const QNetworkDatagram &datagram)
{
    const QByteArray data = datagram.data();
    const QString sender = senderText(datagram);
    const ReceivedDatagram received = hearDatagram(datagram);
    switch (received.kind) {
    case DatagramKind::ConfigFrame:
        applyConfigFrame(received.plainFrame, sender);
        break;
    case DatagramKind::Reply: // other modules answer searches on the same port
        break;
    case DatagramKind::DiscoveryRequest:
        if (data == QByteArray(DiscoveryRequest, DiscoveryRequestSize)) {
            answerSearch(sender);
            break;
        }
        emit event(QStringLiteral("ignored %1-byte datagram from %2: a search is \"FFFF\" alone")
                       .arg(data.size())
                       .arg(sender));
        break;
    case DatagramKind::WrongSourcePort:
        emit event(QStringLiteral("ignored datagram from %1: frames come from port %2").arg(sender).arg(DevicePort));
        break;
    case DatagramKind::WrongLength:
        emit event(QStringLiteral("ignored %1-byte datagram from %2").arg(data.size()).arg(sender));
        break;
    case DatagramKind::BadChecksum:
        emit event(QStringLiteral("ignored frame with a bad checksum from %1").arg(sender));
        break;
    case DatagramKind::Implausible:
        emit event(QStringLiteral("ignored frame from %1 that no module or tool sends").arg(sender));
        break;
    }
}

void ModuleSimulator::answerSearch(const QString &sender)
{
    emit event(QStringLiteral("search from %1: answering with %2 reply frame(s)").arg(sender).arg(moduleList.size()));
    if (moduleList.isEmpty())
        return;
    pendingSearches.enqueue({sender, 0});
    if (!sendTimer.isActive())
        sendReplies();
}

const QByteArray &ModuleSimulator::replyFrame(int module)
{
    QByteArray &frame = replyFrames[module];
    if (frame.isEmpty()) {
        frame = layoutDeviceReply(moduleList.at(module));
        encryptFrame(reinterpret_cast<quint8 *>(frame.data()), FrameSize);
        sentReplies.insert(frame);
    }
    return frame;
}

void ModuleSimulator::sendReplies()
{
    const QHostAddress broadcast {QLatin1String(BroadcastAddress)};
    for (int sent = 0; !pendingSearches.isEmpty(); ++sent) {
        if (sent == RepliesPerTurn) {
            sendTimer.start(TurnMs);
            return;
        }
        PendingSearch &search = pendingSearches.head();
        if (socket.writeDatagram(replyFrame(search.nextModule), broadcast, DevicePort) != FrameSize) {
            if (socket.error() == QAbstractSocket::TemporaryError) {
                sendTimer.start(SendRetryMs);
                return;
            }
            emit event(QStringLiteral("could not send every reply frame for the search of %1: %2")
                           .arg(search.sender, socket.errorString()));
            pendingSearches.dequeue();
            continue;
        }
        if (++search.nextModule == moduleList.size()) {
            emit event(QStringLiteral("sent all %1 reply frame(s) for the search of %2")
                           .arg(moduleList.size())
                           .arg(search.sender));
            pendingSearches.dequeue();
        }
    }
    emit repliesSent();
}

void ModuleSimulator::applyConfigFrame(const QByteArray &plainFrame, const QString &sender)
{
    const DeviceRecord received = decodeDeviceReply(plainFrame, QString());
    const auto found = moduleIndex.constFind(received.macAddress);
    if (found == moduleIndex.constEnd()) {
        emit event(QStringLiteral("ignored configuration frame for %1 (not one of ours) from %2")
                       .arg(received.macAddress, sender));
        return;
    }
    if (ignoreConfigFrames) {
        emit event(QStringLiteral("ignored configuration frame for %1 from %2: the modules ignore configuration")
                       .arg(received.macAddress, sender));
        return;
    }
    DeviceRecord &module = moduleList[*found];
    // Identity stays the module's own; the frame carries the name and the parameters.
    DeviceRecord updated = received;
    updated.macAddress = module.macAddress;
    updated.version = module.version;
    updated.sourceIp.clear();
    updated.interfaceIndex = 0;
    module = updated;
    replyFrames[*found].clear();
    emit event(QStringLiteral("configured %1 from %2: %3").arg(module.macAddress, sender, describe(module)));
    emit moduleChanged(*found);
}
