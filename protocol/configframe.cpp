#include "configframe.h"

#include "framechecksum.h"
#include "framecipher.h"
#include "frameconstants.h"
#include "framelayout.h"
#include "parameterlimits.h"

#include <QTime>

#include <random>

namespace {

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

// Modes in which a module talks to a remote end, and so needs its address and port.
bool usesRemoteEnd(int workMode)
{
    return workMode == Module::Udp || workMode == Module::TcpClient;
}

} // namespace

bool needsLineFormatNotice(const DeviceRecord &record)
{
    return record.dataBits == Module::SevenDataBits && record.parity == Module::NoParity;
}

EditedFields fieldsChangedFrom(const DeviceRecord &loaded, const DeviceRecord &now)
{
    EditedFields edited;
    edited.setFlag(EditedField::SubnetMask, loaded.subnetMask != now.subnetMask);
    edited.setFlag(EditedField::Gateway, loaded.gateway != now.gateway);
    edited.setFlag(EditedField::LocalIp, loaded.localIp != now.localIp);
    edited.setFlag(EditedField::LocalPort, loaded.localPort != now.localPort);
    edited.setFlag(EditedField::RemoteIp, loaded.remoteIp != now.remoteIp);
    edited.setFlag(EditedField::RemotePort, loaded.remotePort != now.remotePort);
    edited.setFlag(EditedField::BaudRate, loaded.baudRate != now.baudRate);
    edited.setFlag(EditedField::WorkMode, loaded.workMode != now.workMode);
    edited.setFlag(EditedField::RandomPort, loaded.randomPort != now.randomPort);
    return edited;
}

bool isAcceptedFieldText(ConfigField field, const QString &text, bool randomPort, int workMode)
{
    switch (field) {
    case ConfigField::SubnetMask:
    case ConfigField::Gateway:
    case ConfigField::LocalIp:
    case ConfigField::RemoteIp:
        return parseIpv4(text).has_value();
    case ConfigField::LocalPort:
        if (text == QLatin1String("0"))
            return randomPort && workMode == Module::TcpClient;
        return isAcceptedNumber(text, PortBottom, PortTop);
    case ConfigField::RemotePort:
        return isAcceptedNumber(text, PortBottom, PortTop);
    case ConfigField::BaudRate:
        return isAcceptedNumber(text, BaudBottom, BaudTop);
    case ConfigField::Target:
        return text.size() == MacDigits;
    case ConfigField::None:
        break;
    }
    return true;
}

ConfigField findInvalidConfigField(const DeviceRecord &record, EditedFields edited)
{
    if (record.macAddress.size() != MacDigits)
        return ConfigField::Target;

    const bool modeChanged = edited.testFlag(EditedField::WorkMode);
    const bool remoteNeeded = modeChanged && usesRemoteEnd(record.workMode);
    const struct {
        ConfigField field;
        const QString &text;
        bool checked;
    } fields[] = {
        // In frame order.
        {ConfigField::SubnetMask, record.subnetMask, edited.testFlag(EditedField::SubnetMask)},
        {ConfigField::Gateway, record.gateway, edited.testFlag(EditedField::Gateway)},
        {ConfigField::LocalIp, record.localIp, edited.testFlag(EditedField::LocalIp)},
        {ConfigField::LocalPort, record.localPort,
         modeChanged || edited.testFlag(EditedField::LocalPort) || edited.testFlag(EditedField::RandomPort)},
        {ConfigField::RemoteIp, record.remoteIp, remoteNeeded || edited.testFlag(EditedField::RemoteIp)},
        {ConfigField::RemotePort, record.remotePort, remoteNeeded || edited.testFlag(EditedField::RemotePort)},
        {ConfigField::BaudRate, record.baudRate, edited.testFlag(EditedField::BaudRate)},
    };
    for (const auto &field : fields) {
        if (field.checked && !isAcceptedFieldText(field.field, field.text, record.randomPort, record.workMode))
            return field.field;
    }
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

ConfigFrame buildConfigFrame(const DeviceRecord &record, const QByteArray &filler, EditedFields edited)
{
    ConfigFrame result;
    result.invalidField = findInvalidConfigField(record, edited);
    if (result.invalidField != ConfigField::None)
        return result;
    result.bytes = layoutConfigFrame(record, filler);
    encryptFrame(reinterpret_cast<quint8 *>(result.bytes.data()), FrameSize);
    return result;
}
