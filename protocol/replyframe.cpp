#include "replyframe.h"

#include "framechecksum.h"
#include "frameconstants.h"
#include "framelayout.h"
#include "receivefilter.h"

#include <QStringList>

namespace {

constexpr int VersionNumbers = 4;

QString macAddressText(const QByteArray &frame)
{
    QString text = QStringLiteral("%1%2%3%4%5%6");
    for (int i = 0; i < MacSize; ++i)
        text = text.arg(byteAt(frame, MacOffset + i), 2, 16, QLatin1Char('0'));
    return text.toUpper();
}

QString versionText(const QByteArray &frame)
{
    const quint8 major = byteAt(frame, VersionOffset);
    const quint8 minor = byteAt(frame, VersionOffset + 1);
    return QStringLiteral("%1.%2.%3.%4").arg(major >> 4).arg(major & 0x0F).arg(minor >> 4).arg(minor & 0x0F);
}

// "a.b.c.d" into one nibble per number; missing or unreadable numbers count as 0.
void writeVersion(const QString &version, char *data)
{
    const QStringList parts = version.split(QLatin1Char('.'));
    quint8 nibbles[VersionNumbers] = {};
    for (int i = 0; i < VersionNumbers && i < parts.size(); ++i)
        nibbles[i] = static_cast<quint8>(parseDecimal(parts.at(i)).value_or(0) & 0x0F);
    data[VersionOffset] = static_cast<char>((nibbles[0] << 4) | nibbles[1]);
    data[VersionOffset + 1] = static_cast<char>((nibbles[2] << 4) | nibbles[3]);
}

} // namespace

DeviceRecord decodeDeviceReply(const QByteArray &frame, const QString &sourceIp)
{
    // A short frame never passes the receive checks; reading it zero-padded keeps this total.
    const QByteArray bytes = frame.leftJustified(FrameSize, '\0', true);
    DeviceRecord record;
    record.macAddress = macAddressText(bytes);
    record.version = versionText(bytes);
    readParameters(bytes, record);
    record.sourceIp = sourceIp;
    return record;
}

QByteArray layoutDeviceReply(const DeviceRecord &record)
{
    QByteArray frame(FrameSize, '\0');
    const QByteArray mac = macAddressBytes(record.macAddress);
    for (int i = 0; i < MacSize; ++i)
        frame[MacOffset + i] = mac.at(i);
    writeVersion(record.version, frame.data());
    writeParameters(record, frame);
    storeFrameChecksum(frame);
    return frame;
}

bool isDeviceReply(const QByteArray &frame)
{
    return classifyPlainFrame(frame) == DatagramKind::Reply;
}
