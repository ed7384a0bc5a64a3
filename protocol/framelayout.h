#pragma once

#include "devicerecord.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>

// From byte 10 on, replies and configuration frames carry a module's settings
// at the same offsets; this is the one description of that region.

// clang-format off
constexpr int VersionOffset    = 6;  // 2 bytes, one nibble per version number
constexpr int IpTypeOffset     = 20; // bit 0
constexpr int WorkModeOffset   = 21; // bits 0-1
constexpr int SubnetMaskOffset = 22; // addresses: 4 bytes, last octet first
constexpr int GatewayOffset    = 26;
constexpr int LocalIpOffset    = 30;
constexpr int LocalPortOffset  = 34; // 16-bit, low byte first
constexpr int RemoteIpOffset   = 36;
constexpr int RemotePortOffset = 40;
constexpr int BaudRateOffset   = 42; // 24-bit, low byte first
constexpr int LineFormatOffset = 45; // like a 16550 line control register
constexpr int ModbusOffset     = 48; // bit 0
constexpr int ParametersEnd    = 50; // bytes 46, 47 and 49 stay zero
// clang-format on

// The serial line settings as the form's combo-box indices.
constexpr int DataBitsSeven = 0;
constexpr int DataBitsEight = 1;
constexpr int StopBitsOne = 0;
constexpr int StopBitsTwo = 1;
constexpr int ParityNone = 0;
constexpr int ParityOdd = 1;
constexpr int ParityEven = 2;

using Ipv4Octets = std::array<quint8, 4>;

// Exactly four parts of ASCII digits, each from 0 to 255; nothing else.
std::optional<Ipv4Octets> parseIpv4(const QString &text);

// A non-empty run of ASCII digits. Larger numbers wrap modulo 2^32, which keeps
// the low 16 or 24 bits that ports and the baud rate travel with.
std::optional<quint32> parseDecimal(const QString &text);

// The six MAC bytes from 12 hex digits (anything else is zero-padded or cut to 6 bytes).
QByteArray macAddressBytes(const QString &macAddress);

// The name field: UTF-8, at most 10 bytes without splitting a character, zero-padded.
QByteArray deviceNameField(const QString &name);

quint8 lineFormatByte(const DeviceRecord &record);

// Writes the name and the parameters (bytes 10-49) of a record into a frame of
// at least 50 bytes. Fields that do not parse are written as zeros.
void writeParameters(const DeviceRecord &record, QByteArray &frame);

// Reads the name and the parameters (bytes 10-49) of a frame of at least 50 bytes.
void readParameters(const QByteArray &frame, DeviceRecord &record);
