#include "configframe.h"

#include "framechecksum.h"
#include "framecipher.h"
#include "frameconstants.h"
#include "framelayout.h"

#include <QTime>

namespace {

constexpr int MacAddressDigits = 12;
constexpr int FillerModulus = 255; // filler bytes run from 0 to 254, never FF
constexpr int MillisecondsPerSecond = 1000;

} // namespace

bool needsLineFormatNotice(const DeviceRecord &record)
{
    return record.dataBits == DataBitsSeven && record.parity == ParityNone;
}

ConfigField findInvalidConfigField(const DeviceRecord &record)
{
    if (record.macAddress.size() != MacAddressDigits)
        return ConfigField::Target;

    // In frame order.
    if (!parseIpv4(record.subnetMask))
        return ConfigField::SubnetMask;
    if (!parseIpv4(record.gateway))
        return ConfigField::Gateway;
    if (!parseIpv4(record.localIp))
        return ConfigField::LocalIp;
    if (!parseDecimal(record.localPort))
        return ConfigField::LocalPort;
    if (!parseIpv4(record.remoteIp))
        return ConfigField::RemoteIp;
    if (!parseDecimal(record.remotePort))
        return ConfigField::RemotePort;
    if (!parseDecimal(record.baudRate))
        return ConfigField::BaudRate;
    return ConfigField::None;
}

QByteArray timeSeededFiller()
{
    const QTime now = QTime::currentTime();
    QByteArray filler(FillerSize, '\0');
    // qsrand/qrand are deprecated in Qt 5.15, but the filler is defined by their sequence.
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    qsrand(static_cast<uint>(now.msec() + MillisecondsPerSecond * now.second()));
    qrand(); // the first value after seeding is discarded
    for (int i = 0; i < FillerSize; ++i)
        filler[i] = static_cast<char>(qrand() % FillerModulus);
    QT_WARNING_POP
    return filler;
}

QByteArray layoutConfigFrame(const DeviceRecord &record, const QByteArray &filler)
{
    QByteArray frame(FrameSize, '\0');
    const QByteArray mac = macAddressBytes(record.macAddress);
    for (int i = 0; i < MacSize; ++i)
        frame[MacOffset + i] = mac.at(i);
    for (int i = 0; i < MarkerSize; ++i)
        frame[MarkerOffset + i] = ConfigMarker[i];
    writeParameters(record, frame);
    storeFrameChecksum(frame);
    for (int i = 0; i < FillerSize && i < filler.size(); ++i)
        frame[FillerOffset + i] = filler.at(i);
    return frame;
}

ConfigFrame buildConfigFrame(const DeviceRecord &record, const QByteArray &filler)
{
    ConfigFrame result;
    result.invalidField = findInvalidConfigField(record);
    if (result.invalidField != ConfigField::None)
        return result;
    result.bytes = layoutConfigFrame(record, filler);
    encryptFrame(reinterpret_cast<quint8 *>(result.bytes.data()), FrameSize);
    return result;
}
