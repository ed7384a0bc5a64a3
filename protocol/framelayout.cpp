#include "framelayout.h"

#include "devicename.h"

#include <QRegularExpression>
#include <QStringList>

#include <cstring>

namespace {

bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

std::optional<quint8> parseOctet(const QString &text)
{
    if (text.isEmpty() || text.size() > MaxOctetDigits)
        return std::nullopt;
    int value = 0;
    for (const QChar c : text) {
        if (!isAsciiDigit(c))
            return std::nullopt;
        value = value * 10 + (c.unicode() - '0');
        if (value > MaxOctet)
            return std::nullopt;
    }
    return static_cast<quint8>(value);
}

void writeAddress(char *data, int offset, const QString &text)
{
    const Ipv4Octets octets = parseIpv4(text).value_or(Ipv4Octets {});
    for (int i = 0; i < Ipv4Parts; ++i)
        data[offset + i] = static_cast<char>(octets[Ipv4Parts - 1 - i]);
}

void writeLittleEndian(char *data, int offset, int width, quint32 value)
{
    for (int i = 0; i < width; ++i)
        data[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

quint32 readLittleEndian(const QByteArray &frame, int offset, int width)
{
    quint32 value = 0;
    for (int i = 0; i < width; ++i)
        value |= static_cast<quint32>(byteAt(frame, offset + i)) << (8 * i);
    return value;
}

QString readAddress(const QByteArray &frame, int offset)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(byteAt(frame, offset + 3))
        .arg(byteAt(frame, offset + 2))
        .arg(byteAt(frame, offset + 1))
        .arg(byteAt(frame, offset));
}

quint8 lineFormatFromSettings(const DeviceRecord &record)
{
    quint8 format = record.dataBits == Module::SevenDataBits ? WordLengthSeven : WordLengthEight;
    if (record.stopBits == Module::TwoStopBits)
        format |= TwoStopBitsFlag;
    if (record.parity == Module::OddParity)
        format |= OddParityBits;
    else if (record.parity == Module::EvenParity)
        format |= EvenParityBits;
    return format;
}

} // namespace

quint8 byteAt(const QByteArray &frame, int offset)
{
    return static_cast<quint8>(frame.at(offset));
}

std::optional<Ipv4Octets> parseIpv4(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != Ipv4Parts)
        return std::nullopt;
    Ipv4Octets octets {};
    for (int i = 0; i < Ipv4Parts; ++i) {
        const std::optional<quint8> octet = parseOctet(parts.at(i));
        if (!octet)
            return std::nullopt;
        octets[i] = *octet;
    }
    return octets;
}

std::optional<quint32> parseDecimal(const QString &text)
{
    if (text.isEmpty())
        return std::nullopt;
    quint32 value = 0;
    for (const QChar c : text) {
        if (!isAsciiDigit(c))
            return std::nullopt;
        value = value * 10u + static_cast<quint32>(c.unicode() - '0'); // unsigned: wraps modulo 2^32
    }
    return value;
}

QByteArray macAddressBytes(const QString &macAddress)
{
    return QByteArray::fromHex(macAddress.toLatin1()).leftJustified(MacSize, '\0', true);
}

QString macAddressText(quint64 mac)
{
    return QStringLiteral("%1").arg(mac, MacDigits, 16, QLatin1Char('0')).toUpper();
}

std::optional<quint64> macAddressKey(const QString &macAddress)
{
    bool ok = false;
    const quint64 key = macAddress.toULongLong(&ok, 16);
    if (!ok || macAddressText(key) != macAddress)
        return std::nullopt;
    return key;
}

bool isMacAddressText(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("\\A[0-9A-Fa-f]{%1}\\z").arg(MacDigits));
    return pattern.match(text).hasMatch();
}

QByteArray deviceNameField(const QString &name)
{
    QByteArray utf8 = name.toUtf8();
    if (utf8.size() > NameSize) {
        int cut = NameSize;
        // Step back over continuation bytes (10xxxxxx) to the start of the character that does not fit.
        while (cut > 0 && (static_cast<quint8>(utf8.at(cut)) & 0xC0) == 0x80)
            --cut;
        utf8.truncate(cut);
    }
    return utf8.leftJustified(NameSize, '\0');
}

LineSettings lineSettings(quint8 format)
{
    LineSettings settings;
    settings.dataBits = (format & WordLengthMask) == WordLengthSeven ? Module::SevenDataBits : Module::EightDataBits;
    settings.stopBits = (format & TwoStopBitsFlag) ? Module::TwoStopBits : Module::OneStopBit;
    const quint8 parity = format & ParityMask;
    if (parity == OddParityBits)
        settings.parity = Module::OddParity;
    else if (parity == EvenParityBits)
        settings.parity = Module::EvenParity;
    else
        settings.parity = Module::NoParity; // also stick parity, which the form cannot show
    return settings;
}

quint8 lineFormatByte(const DeviceRecord &record)
{
    if (record.reportedLineFormat >= 0) {
        const quint8 reported = static_cast<quint8>(record.reportedLineFormat & 0xFF);
        const LineSettings shown = lineSettings(reported);
        if (shown.dataBits == record.dataBits && shown.stopBits == record.stopBits && shown.parity == record.parity)
            return reported & LineFormatMask;
    }
    return lineFormatFromSettings(record);
}

void setLineFormatByte(DeviceRecord &record, quint8 format)
{
    format &= LineFormatMask;
    const LineSettings shown = lineSettings(format);
    record.dataBits = shown.dataBits;
    record.stopBits = shown.stopBits;
    record.parity = shown.parity;
    record.reportedLineFormat = -1;
    if (lineFormatByte(record) != format)
        record.reportedLineFormat = format;
}

void writeParameters(const DeviceRecord &record, QByteArray &frame)
{
    Q_ASSERT(frame.size() >= ParametersEnd);
    // Laid out in a plain buffer first: GCC's overflow analysis cannot follow QByteArray::data().
    char data[ParametersEnd];
    std::memcpy(data, frame.constData(), ParametersEnd);
    const QByteArray name = record.nameField.size() == NameSize ? record.nameField : deviceNameField(record.deviceName);
    for (int i = 0; i < NameSize; ++i)
        data[NameOffset + i] = name.at(i);

    data[IpTypeOffset] = static_cast<char>(record.ipType & IpTypeMask);
    data[WorkModeOffset] = static_cast<char>(record.workMode & WorkModeMask);
    writeAddress(data, SubnetMaskOffset, record.subnetMask);
    writeAddress(data, GatewayOffset, record.gateway);
    writeAddress(data, LocalIpOffset, record.localIp);
    writeLittleEndian(data, LocalPortOffset, 2, parseDecimal(record.localPort).value_or(0));
    writeAddress(data, RemoteIpOffset, record.remoteIp);
    writeLittleEndian(data, RemotePortOffset, 2, parseDecimal(record.remotePort).value_or(0));
    writeLittleEndian(data, BaudRateOffset, 3, parseDecimal(record.baudRate).value_or(0));
    data[LineFormatOffset] = static_cast<char>(lineFormatByte(record));
    data[LineFormatOffset + 1] = 0;
    data[LineFormatOffset + 2] = 0;
    data[ModbusOffset] = static_cast<char>(record.modbusConvert & ModbusMask);
    data[ModbusOffset + 1] = 0;
    frame.replace(0, ParametersEnd, QByteArray(data, ParametersEnd));
}

void readParameters(const QByteArray &frame, DeviceRecord &record)
{
    Q_ASSERT(frame.size() >= ParametersEnd);
    record.nameField = frame.mid(NameOffset, NameSize);
    record.deviceName = displayDeviceName(record.nameField);

    record.ipType = Module::IpType(byteAt(frame, IpTypeOffset) & IpTypeMask);
    record.workMode = Module::WorkMode(byteAt(frame, WorkModeOffset) & WorkModeMask);
    record.subnetMask = readAddress(frame, SubnetMaskOffset);
    record.gateway = readAddress(frame, GatewayOffset);
    record.localIp = readAddress(frame, LocalIpOffset);
    const quint32 localPort = readLittleEndian(frame, LocalPortOffset, 2);
    record.localPort = QString::number(localPort);
    record.randomPort = localPort == 0;
    record.remoteIp = readAddress(frame, RemoteIpOffset);
    record.remotePort = QString::number(readLittleEndian(frame, RemotePortOffset, 2));
    record.baudRate = QString::number(readLittleEndian(frame, BaudRateOffset, 3));

    record.reportedLineFormat = byteAt(frame, LineFormatOffset);
    const LineSettings settings = lineSettings(byteAt(frame, LineFormatOffset));
    record.dataBits = settings.dataBits;
    record.stopBits = settings.stopBits;
    record.parity = settings.parity;
    record.modbusConvert = Module::ModbusConvert(byteAt(frame, ModbusOffset) & ModbusMask);
}
