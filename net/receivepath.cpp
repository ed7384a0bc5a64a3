#include "receivepath.h"

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
    const auto known = firstSources.constFind(reply.macAddress);
    if (known == firstSources.cend()) {
        if (firstSources.size() >= most)
            return Sighting::Full;
        firstSources.insert(reply.macAddress, reply.sourceIp);
        if (firstSource)
            *firstSource = reply.sourceIp;
        return Sighting::New;
    }
    if (firstSource)
        *firstSource = known.value();
    return known.value() == reply.sourceIp ? Sighting::Repeated : Sighting::OtherSource;
}
