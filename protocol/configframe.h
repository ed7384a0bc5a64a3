#pragma once

#include "devicerecord.h"

#include <QByteArray>

// Why a record cannot be sent as a configuration frame.
enum class ConfigField {
    None,
    Target, // macAddress is not 12 characters: no module is selected
    LocalIp,
    SubnetMask,
    Gateway,
    RemoteIp,
    LocalPort,
    RemotePort,
    BaudRate,
};

// 7 data bits without parity: modules do not support it, the user is told, the frame is still sent.
bool needsLineFormatNotice(const DeviceRecord &record);

// The first field that cannot be sent: the target, then the addresses and numbers in frame order. A field is
// refused exactly when the form's validator would not accept it, so the window and the command-line tool apply
// one rule. Addresses: four parts of one to three ASCII digits, each 0 to 255. Ports and baud rate: ASCII digits,
// no more of them than the top of the range has, a value within parameterlimits.h ("00000" is 0 and refused).
// Local port 0 is accepted only while randomPort is set: a server on port 0 listens where nobody knows.
// The name is not checked here: writeParameters sends nameField, and encodeDeviceName refuses what it cannot encode.
ConfigField findInvalidConfigField(const DeviceRecord &record);

// 12 filler bytes, each 0 to 254, from the generator Qt 5.15's qsrand/qrand is: the standard minimal-standard
// linear congruential engine (std::minstd_rand), so that Qt 5 and Qt 6 builds send the same frames. Its first
// value after seeding is discarded.
QByteArray seededFiller(uint seed);

// seededFiller seeded with the time of day: milliseconds plus 1000 times the seconds of the minute.
QByteArray timeSeededFiller();

struct ConfigFrame {
    ConfigField invalidField = ConfigField::None;
    QByteArray bytes; // 64 bytes ready for the wire when invalidField is None, empty otherwise
};

// The plain 64-byte configuration frame: body, checksum and the given 12 filler bytes
// (filler bytes missing from a shorter array are zero).
// Only for a record that findInvalidConfigField accepts.
QByteArray layoutConfigFrame(const DeviceRecord &record, const QByteArray &filler);

// Checks the record, lays out the frame and encrypts it with the installed frame key.
ConfigFrame buildConfigFrame(const DeviceRecord &record, const QByteArray &filler = timeSeededFiller());
