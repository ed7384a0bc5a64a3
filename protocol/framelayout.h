#pragma once

#include "devicerecord.h"
#include "frameconstants.h"
#include "moduleenums.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>

// From byte 10 on, replies and configuration frames carry a module's settings at the same offsets
// (frameconstants.h); these read and write that region.

// The serial line settings a line-format byte stands for, as the form's combo-box indices (moduleenums.h).
struct LineSettings {
    Module::DataBits dataBits = Module::EightDataBits;
    Module::StopBits stopBits = Module::OneStopBit;
    Module::Parity parity = Module::NoParity;
};

// An IPv4 address as the form and the frames take it: four parts of one to three ASCII digits, each up to 255.
constexpr int Ipv4Parts = 4;
constexpr int MaxOctetDigits = 3;
constexpr int MaxOctet = 255;
using Ipv4Octets = std::array<quint8, Ipv4Parts>;

// One byte of a frame as the number it stands for.
quint8 byteAt(const QByteArray &frame, int offset);

// Exactly four parts of one to three ASCII digits, each from 0 to 255; nothing else (what the form's address
// pattern accepts).
std::optional<Ipv4Octets> parseIpv4(const QString &text);

// A non-empty run of ASCII digits. Larger numbers wrap modulo 2^32, which keeps
// the low 16 or 24 bits that ports and the baud rate travel with.
std::optional<quint32> parseDecimal(const QString &text);

// The six MAC bytes from 12 hex digits (anything else is zero-padded or cut to 6 bytes).
QByteArray macAddressBytes(const QString &macAddress);

// A 48-bit number as modules are listed by it: 12 upper-case hexadecimal digits.
QString macAddressText(quint64 mac);

// Exactly 12 hexadecimal digits, either case: a MAC as modules are listed by it.
bool isMacAddressText(const QString &text);

// The 48 bits of a MAC listed as macAddressText() writes it; nothing for any other text, which a number would not
// give back.
std::optional<quint64> macAddressKey(const QString &macAddress);

// The name field for a name that did not come from a module: UTF-8, at most 10 bytes without splitting a
// character, zero-padded.
QByteArray deviceNameField(const QString &name);

// What a line-format byte means to the form: 5 and 6 data bits show as 8, stick parity as none, bits 6-7 ignored.
LineSettings lineSettings(quint8 format);

// The line-format byte of a frame. While the record's three line settings are still what the byte the module
// reported means (reportedLineFormat), that byte goes back with bits 6-7 cleared, so that settings the form cannot
// show (5 or 6 data bits, stick parity) survive; otherwise it is built from the three settings.
quint8 lineFormatByte(const DeviceRecord &record);

// Gives the record this line-format byte (bits 6-7 ignored): the three settings as the form shows the byte, and the
// byte itself as reportedLineFormat when the settings alone would build another one (5 or 6 data bits, stick
// parity, parity bits without the enable bit).
void setLineFormatByte(DeviceRecord &record, quint8 format);

// Writes the name and the parameters (bytes 10-49) of a record into a frame of at least 50 bytes. The name bytes
// are record.nameField when it holds 10 bytes (the module's own, or a name encodeDeviceName made), else
// deviceNameField(record.deviceName). Fields that do not parse are written as zeros; bytes 20, 21 and 48 keep
// only their defined bits and the reserved bytes 46, 47 and 49 are zero.
void writeParameters(const DeviceRecord &record, QByteArray &frame);

// Reads the name and the parameters (bytes 10-49) of a frame of at least 50 bytes: nameField keeps the 10 name
// bytes, deviceName is their displayDeviceName, reportedLineFormat is byte 45 as it stands.
void readParameters(const QByteArray &frame, DeviceRecord &record);
