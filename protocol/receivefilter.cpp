#include "receivefilter.h"

#include "framechecksum.h"
#include "framecipher.h"
#include "frameconstants.h"

ReceivedDatagram classifyDatagram(const QByteArray &datagram, quint16 senderPort)
{
    ReceivedDatagram result;
    if (datagram.startsWith(QByteArray(DiscoveryRequest, DiscoveryRequestSize))) {
        result.kind = DatagramKind::DiscoveryRequest;
        return result;
    }
    if (senderPort != DevicePort) {
        result.kind = DatagramKind::WrongSourcePort;
        return result;
    }
    if (datagram.size() != FrameSize) {
        result.kind = DatagramKind::WrongLength;
        return result;
    }
    result.plainFrame = datagram;
    decryptFrame(reinterpret_cast<quint8 *>(result.plainFrame.data()), FrameSize);
    result.kind = classifyPlainFrame(result.plainFrame);
    return result;
}

DatagramKind classifyPlainFrame(const QByteArray &plainFrame)
{
    if (plainFrame.size() != FrameSize)
        return DatagramKind::WrongLength;
    if (!hasValidFrameChecksum(plainFrame))
        return DatagramKind::BadChecksum;
    if (carriesConfigMarker(plainFrame))
        return DatagramKind::ConfigFrame;
    return DatagramKind::Reply;
}

bool carriesConfigMarker(const QByteArray &plainFrame)
{
    return plainFrame.mid(MarkerOffset, MarkerSize) == QByteArray(ConfigMarker, MarkerSize);
}
