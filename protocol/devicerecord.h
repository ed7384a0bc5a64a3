#pragma once

#include <QByteArray>
#include <QString>

#include "moduleenums.h"

// One module: its identity as it announced itself and its parameters as the
// form shows them. Addresses, ports and the baud rate are kept as the text the
// user edits; the small settings are the item indices of the form's combo boxes, as the module enums.
struct DeviceRecord {
    QString macAddress; // 12 upper-case hex digits, no separators
    QString version;    // "1.2.0.3"
    QString localIp;
    QString remoteIp;
    QString subnetMask;
    QString gateway;
    QString localPort;
    QString remotePort;
    QString baudRate;
    QString deviceName;
    Module::WorkMode workMode = Module::Udp;
    Module::IpType ipType = Module::StaticIp;
    bool randomPort = false;
    Module::Parity parity = Module::NoParity;
    Module::DataBits dataBits = Module::SevenDataBits;
    Module::StopBits stopBits = Module::OneStopBit;
    Module::ModbusConvert modbusConvert = Module::ModbusOff;
    QString sourceIp;      // where the module's reply came from
    int interfaceIndex = 0; // the adapter the reply came in on (0: unknown); never part of a frame

    // What the module itself reported, so that a configuration sends back what nobody changed: the 10 name
    // bytes as they stood in the reply (empty when the record did not come from a reply), and its line-format
    // byte (-1 when not from a reply), which may hold settings the form cannot show.
    QByteArray nameField;
    int reportedLineFormat = -1;

    bool operator==(const DeviceRecord &other) const;
    bool operator!=(const DeviceRecord &other) const { return !(*this == other); }
};
