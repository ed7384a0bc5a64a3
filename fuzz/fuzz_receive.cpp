#include "configframe.h"
#include "framechecksum.h"
#include "framecipher.h"
#include "frameconstants.h"
#include "framekey.h"
#include "replyframe.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

// Arbitrary datagrams through the receive path (length, decryption, checksum,
// marker, decoding), arbitrary lengths through the cipher, and arbitrary text
// through the checks of the configuration form.

namespace {

const QString SourceIp = QStringLiteral("10.231.0.2");
constexpr std::size_t MaxCipherLength = 0xFFFF;

// Whatever a module reports can be sent back to it, and reads back the same.
void checkReply(const QByteArray &frame)
{
    const DeviceRecord record = decodeDeviceReply(frame, SourceIp);
    if (findInvalidConfigField(record) != ConfigField::None)
        __builtin_trap();

    DeviceRecord again = decodeDeviceReply(layoutDeviceReply(record), SourceIp);
    again.deviceName = record.deviceName; // replacement characters may re-encode longer than the field
    if (again != record)
        __builtin_trap();

    const ConfigFrame config = buildConfigFrame(record, frame.mid(FillerOffset, FillerSize));
    if (config.invalidField != ConfigField::None || config.bytes.size() != FrameSize)
        __builtin_trap();
    QByteArray sent = config.bytes;
    decryptFrame(reinterpret_cast<quint8 *>(sent.data()), FrameSize);
    if (!hasValidFrameChecksum(sent) || isDeviceReply(sent))
        __builtin_trap();
    DeviceRecord applied = decodeDeviceReply(sent, SourceIp);
    applied.deviceName = record.deviceName;
    applied.version = record.version;
    if (applied != record)
        __builtin_trap();
}

void receive(const QByteArray &datagram)
{
    if (datagram.size() != FrameSize)
        return;
    QByteArray frame = datagram;
    decryptFrame(reinterpret_cast<quint8 *>(frame.data()), FrameSize);
    if (isDeviceReply(frame))
        checkReply(frame);

    // Random bytes rarely decrypt to a valid checksum: also take the input as a plain frame.
    QByteArray plain = datagram;
    storeFrameChecksum(plain);
    if (isDeviceReply(plain))
        checkReply(plain);
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

void formChecks(const QByteArray &bytes)
{
    const QString text = QString::fromUtf8(bytes);
    DeviceRecord record;
    record.macAddress = QStringLiteral("001A2B3C4D5E");
    record.subnetMask = record.gateway = record.localIp = record.remoteIp = text;
    record.localPort = record.remotePort = record.baudRate = text;
    record.deviceName = text;
    if (findInvalidConfigField(record) == ConfigField::None && layoutConfigFrame(record, {}).size() != FrameSize)
        __builtin_trap();
    decodeDeviceReply(bytes, SourceIp); // any length, not only checked frames
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    setFrameKey(BuiltInFrameKey);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size > MaxCipherLength)
        return 0;
    const QByteArray datagram(reinterpret_cast<const char *>(data), static_cast<int>(size));
    receive(datagram);
    cipherRoundTrip(data, size);
    formChecks(datagram);
    return 0;
}
