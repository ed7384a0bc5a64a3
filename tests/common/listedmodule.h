#pragma once

#include "devicerecord.h"

// A module as a table row shows it: where it answered from, its name, MAC and version, nothing else.
inline DeviceRecord listedModule(const QString &sourceIp, const QString &name, const QString &mac,
                                 const QString &version)
{
    DeviceRecord record;
    record.sourceIp = sourceIp;
    record.deviceName = name;
    record.macAddress = mac;
    record.version = version;
    return record;
}
