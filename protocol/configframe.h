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

// The first field that cannot be laid out: the target, then the addresses and numbers in frame order.
// Addresses need four decimal parts from 0 to 255; ports and baud rate a decimal number
// (out-of-range numbers keep their low 16 or 24 bits).
ConfigField findInvalidConfigField(const DeviceRecord &record);

// 12 filler bytes from Qt's generator seeded with the time of day, each 0 to 254.
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
