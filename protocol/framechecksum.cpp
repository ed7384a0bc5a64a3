#include "framechecksum.h"

#include "frameconstants.h"

namespace {

constexpr quint16 ChecksumInitial = 0xFFFF;
constexpr quint16 ChecksumPolynomial = 0xA001; // 0x8005 reflected

} // namespace

quint16 frameChecksum(const char *data, int length)
{
    quint16 crc = ChecksumInitial;
    for (int i = 0; i < length; ++i) {
        crc ^= static_cast<quint8>(data[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<quint16>((crc >> 1) ^ ChecksumPolynomial) : static_cast<quint16>(crc >> 1);
    }
    return crc;
}

void storeFrameChecksum(QByteArray &frame)
{
    if (frame.size() < ChecksumOffset + 2)
        return;
    const quint16 crc = frameChecksum(frame.constData(), ChecksumOffset);
    frame[ChecksumOffset] = static_cast<char>(crc & 0xFF);
    frame[ChecksumOffset + 1] = static_cast<char>(crc >> 8);
}

bool hasValidFrameChecksum(const QByteArray &frame)
{
    if (frame.size() != FrameSize)
        return false;
    const quint16 crc = frameChecksum(frame.constData(), ChecksumOffset);
    return static_cast<quint8>(frame[ChecksumOffset]) == (crc & 0xFF)
        && static_cast<quint8>(frame[ChecksumOffset + 1]) == (crc >> 8);
}
