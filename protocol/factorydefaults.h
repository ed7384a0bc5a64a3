#pragma once

#include "devicerecord.h"
#include "moduleenums.h"

// The parameters a module leaves the factory with (and "Factory Reset" puts on the form):
// UDP, static 192.168.1.10/24 via 192.168.1.1, local port 1234, remote 192.168.1.254:1234, 9600 8N1, Modbus off.
inline DeviceRecord factoryDefaultRecord()
{
    DeviceRecord record;
    record.workMode = Module::Udp;
    record.ipType = Module::StaticIp;
    record.gateway = QStringLiteral("192.168.1.1");
    record.subnetMask = QStringLiteral("255.255.255.0");
    record.localIp = QStringLiteral("192.168.1.10");
    record.localPort = QStringLiteral("1234");
    record.randomPort = false;
    record.remoteIp = QStringLiteral("192.168.1.254");
    record.remotePort = QStringLiteral("1234");
    record.baudRate = QStringLiteral("9600");
    record.dataBits = Module::EightDataBits;
    record.parity = Module::NoParity;
    record.stopBits = Module::OneStopBit;
    record.modbusConvert = Module::ModbusOff;
    return record;
}
