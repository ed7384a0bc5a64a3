#pragma once

#include "devicerecord.h"

#include <QByteArray>
#include <QString>

// Decodes a plain 64-byte frame (checksum already checked) into a record.
// The parameters from byte 10 on are laid out alike in replies and configuration
// frames, so this also reads the parameters a configuration frame carries.
DeviceRecord decodeDeviceReply(const QByteArray &frame, const QString &sourceIp);

// Lays out the plain reply a module sends for this record: MAC, version,
// name, parameters and checksum; bytes 52-63 zero. The parameters must pass
// findInvalidConfigField (configframe.h).
QByteArray layoutDeviceReply(const DeviceRecord &record);

// True for a plain frame the receive path may decode: 64 bytes, a valid checksum
// and no configuration marker "1111" at bytes 6-9 (a tool's own configuration frame).
bool isDeviceReply(const QByteArray &frame);
