#include "configframe.h"
#include "framechecksum.h"
#include "framecipher.h"
#include "frameconstants.h"
#include "framekey.h"
#include "receivefilter.h"
#include "replyproperties.h"

#include <QByteArray>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

// Arbitrary datagrams through the receive filter the window and the other programs use (source port, length,
// decryption, checksum, marker), the replies it passes through the properties of replyproperties.h with the
// configuration frame encrypted as it is sent, and arbitrary lengths through the cipher.

namespace {

constexpr std::size_t MaxInputLength = 0xFFFF; // the cipher's length is 16 bits
// Longer buffers only repeat the same block walk at many times the cost; the cipher's tests cover huge lengths.
constexpr std::size_t MaxCipherLength = 256 + 15;

QByteArray encrypted(QByteArray frame)
{
    encryptFrame(reinterpret_cast<quint8 *>(frame.data()), static_cast<quint16>(frame.size()));
    return frame;
}

bool startsLikeARequest(const QByteArray &datagram)
{
    return datagram.startsWith(QByteArray(DiscoveryRequest, DiscoveryRequestSize));
}

// The reply's properties, then the frame as it goes on the wire: the plain frame they were checked on, encrypted.
// (Comparing in the encrypting direction spares the costly decryption; the cipher is a bijection.)
void checkReceivedReply(const QByteArray &plainReply)
{
    const CheckedReply checked = checkReply(plainReply);
    if (checked.sentPlain.isEmpty())
        return;
    const ConfigFrame config = buildConfigFrame(checked.record, plainReply.mid(FillerOffset, FillerSize));
    if (config.invalidField != ConfigField::None || config.bytes != encrypted(checked.sentPlain))
        __builtin_trap();
}

void receive(const QByteArray &datagram)
{
    const ReceivedDatagram received = classifyDatagram(datagram, DevicePort);
    if (received.kind == DatagramKind::Reply)
        checkReceivedReply(received.plainFrame);
    if (classifyDatagram(datagram, DevicePort + 1).kind == DatagramKind::Reply) // only port 1500 is heard
        __builtin_trap();

    // Random bytes rarely decrypt to a valid checksum: take the input as a module's plain reply, give it its
    // checksum and encrypt it as the module would.
    QByteArray plain = datagram.leftJustified(FrameSize, '\0', true);
    storeFrameChecksum(plain);
    const QByteArray wire = encrypted(plain);
    if (startsLikeARequest(wire))
        return;
    const ReceivedDatagram reply = classifyDatagram(wire, DevicePort);
    const bool marked = plain.mid(MarkerOffset, MarkerSize) == QByteArray(ConfigMarker, MarkerSize);
    DatagramKind expected = looksLikeModuleReply(plain) ? DatagramKind::Reply : DatagramKind::Implausible;
    if (marked)
        expected = DatagramKind::ConfigFrame;
    if (reply.kind != expected || reply.plainFrame != plain)
        __builtin_trap();
    if (reply.kind == DatagramKind::Reply)
        checkReceivedReply(reply.plainFrame);
}

void cipherRoundTrip(const std::uint8_t *data, std::size_t size)
{
    // The buffer has exactly the given length, so AddressSanitizer reports any access past it.
    const auto length = static_cast<quint16>(std::min(size, MaxCipherLength));
    std::vector<quint8> buffer(data, data + length);
    encryptFrame(buffer.data(), length);
    decryptFrame(buffer.data(), length);
    if (!std::equal(buffer.begin(), buffer.end(), data))
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    setFrameKey(BuiltInFrameKey);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size > MaxInputLength)
        return 0;
    const QByteArray datagram(reinterpret_cast<const char *>(data), static_cast<int>(size));
    receive(datagram);
    cipherRoundTrip(data, size);
    return 0;
}
