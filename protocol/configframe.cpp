#include "configframe.h"

#include "framechecksum.h"
#include "framecipher.h"
#include "frameconstants.h"
#include "framelayout.h"
#include "parameterlimits.h"

#include <QTime>

#include <random>

namespace {

constexpr int MacAddressDigits = 12;
constexpr int FillerModulus = 255; // filler bytes run from 0 to 254, never FF
constexpr int MillisecondsPerSecond = 1000;

constexpr int decimalDigits(int value)
{
    return value < 10 ? 1 : 1 + decimalDigits(value / 10);
}

// What a QIntValidator of the form accepts as a finished number, in ASCII digits only.
bool isAcceptedNumber(const QString &text, int bottom, int top)
{
    if (text.size() > decimalDigits(top))
        return false;
    const std::optional<quint32> value = parseDecimal(text); // no wrap: at most 7 digits here
    return value && *value >= quint32(bottom) && *value <= quint32(top);
}

bool isAcceptedLocalPort(const DeviceRecord &record)
{
    if (record.randomPort && record.localPort.size() <= decimalDigits(PortTop) && parseDecimal(record.localPort) == 0u)
        return true;
    return isAcceptedNumber(record.localPort, PortBottom, PortTop);
}

} // namespace

bool needsLineFormatNotice(const DeviceRecord &record)
{
    return record.dataBits == Module::SevenDataBits && record.parity == Module::NoParity;
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
    if (!isAcceptedLocalPort(record))
        return ConfigField::LocalPort;
    if (!parseIpv4(record.remoteIp))
        return ConfigField::RemoteIp;
    if (!isAcceptedNumber(record.remotePort, PortBottom, PortTop))
        return ConfigField::RemotePort;
    if (!isAcceptedNumber(record.baudRate, BaudBottom, BaudTop))
        return ConfigField::BaudRate;
    return ConfigField::None;
}

QByteArray seededFiller(uint seed)
{
    // Seeded as qsrand seeds it: a seed that is a multiple of the modulus (0 among them) counts as 1.
    std::minstd_rand generator(seed);
    generator.discard(1);
    QByteArray filler(FillerSize, '\0');
    for (int i = 0; i < FillerSize; ++i)
        filler[i] = static_cast<char>(generator() % FillerModulus);
    return filler;
}

QByteArray timeSeededFiller()
{
    const QTime now = QTime::currentTime();
    return seededFiller(static_cast<uint>(now.msec() + MillisecondsPerSecond * now.second()));
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
