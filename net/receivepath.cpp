#include "receivepath.h"

#include "framelayout.h"
#include "replyframe.h"
#include "senderaddress.h"

#include <QHostAddress>
#include <QNetworkDatagram>

Q_LOGGING_CATEGORY(datagramLog, "kestrel.datagram", QtInfoMsg)

ReceivedDatagram hearDatagram(const QNetworkDatagram &datagram)
{
    const QByteArray bytes = datagram.data();
    const quint16 senderPort = quint16(qMax(datagram.senderPort(), 0));
    qCDebug(datagramLog).noquote() << QStringLiteral("%1:%2[%3]:%4")
                                          .arg(datagram.senderAddress().toString())
                                          .arg(senderPort)
                                          .arg(bytes.size())
                                          .arg(QString::fromLatin1(bytes.toHex().toUpper()));
    const ReceivedDatagram received = classifyDatagram(bytes, senderPort);
    if (!received.plainFrame.isEmpty()) {
        const QString plainText = QString::fromLatin1(received.plainFrame.toHex().toUpper());
        qCDebug(datagramLog).noquote() << plainText;
        // Once more for a frame that passed every check: the second line marks a reply as accepted.
        if (received.kind == DatagramKind::Reply)
            qCDebug(datagramLog).noquote() << plainText;
    }
    return received;
}

DeviceRecord decodeModuleReply(const QByteArray &plainFrame, const QString &sourceIp, int interfaceIndex)
{
    DeviceRecord record = decodeDeviceReply(plainFrame, sourceIp);
    record.interfaceIndex = interfaceIndex;
    return record;
}

std::optional<DeviceRecord> hearModuleReply(const QNetworkDatagram &datagram)
{
    const ReceivedDatagram received = hearDatagram(datagram);
    if (received.kind != DatagramKind::Reply)
        return std::nullopt;
    return decodeModuleReply(received.plainFrame, sourceIpText(datagram.senderAddress()),
                             int(datagram.interfaceIndex()));
}

ReplyCollector::Sighting ReplyCollector::add(const DeviceRecord &reply, QString *firstSource)
{
    const std::optional<QString> known = this->firstSource(reply.macAddress);
    if (!known) {
        if (size() >= most)
            return Sighting::Full;
        bool isIpv4 = false;
        const quint32 address = QHostAddress(reply.sourceIp).toIPv4Address(&isIpv4);
        const std::optional<quint64> mac = macAddressKey(reply.macAddress);
        if (mac && isIpv4 && QHostAddress(address).toString() == reply.sourceIp)
            packedSources.insert(*mac, address);
        else
            textSources.insert(reply.macAddress, reply.sourceIp);
        if (firstSource)
            *firstSource = reply.sourceIp;
        return Sighting::New;
    }
    if (firstSource)
        *firstSource = *known;
    return *known == reply.sourceIp ? Sighting::Repeated : Sighting::OtherSource;
}

std::optional<QString> ReplyCollector::firstSource(const QString &macAddress) const
{
    if (const std::optional<quint64> mac = macAddressKey(macAddress)) {
        const auto packed = packedSources.constFind(*mac);
        if (packed != packedSources.cend())
            return QHostAddress(packed.value()).toString();
    }
    const auto text = textSources.constFind(macAddress);
    if (text != textSources.cend())
        return text.value();
    return std::nullopt;
}

void ReplyCollector::clear()
{
    packedSources.clear();
    textSources.clear();
}

void ReplyCollector::forget(const QString &macAddress)
{
    if (const std::optional<quint64> mac = macAddressKey(macAddress))
        packedSources.remove(*mac);
    textSources.remove(macAddress);
}
