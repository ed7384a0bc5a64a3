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
    if (!looksLikeModuleReply(plainFrame))
        return DatagramKind::Implausible;
    return DatagramKind::Reply;
}

bool carriesConfigMarker(const QByteArray &plainFrame)
{
    return plainFrame.mid(MarkerOffset, MarkerSize) == QByteArray(ConfigMarker, MarkerSize);
}

bool looksLikeModuleReply(const QByteArray &plainFrame)
{
    const auto byte = [&plainFrame](int offset) { return quint8(plainFrame.at(offset)); };
    // Bit 0 of the first byte marks a group address, which no adapter has as its own.
    constexpr quint8 GroupAddressBit = 0x01;
    return plainFrame.size() == FrameSize && !(byte(MacOffset) & GroupAddressBit)
        && (byte(IpTypeOffset) & ~IpTypeMask) == 0 && (byte(WorkModeOffset) & ~WorkModeMask) == 0
        && (byte(ModbusOffset) & ~ModbusMask) == 0;
}
