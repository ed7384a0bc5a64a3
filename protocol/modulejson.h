#pragma once

#include "configframe.h"
#include "devicerecord.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

// One JSON description of a module, shared by kestrel-sim's state file and kestrelctl's export, apply, --json
// output and `set FIELD=VALUE`. Keys and values:
//
//   "mac"          12 hexadecimal digits, written in upper case: "02004B530001"
//   "name"         the name as the table shows it: "Pump-1"
//   "name-hex"     the 10 name bytes as 20 hexadecimal digits. Written only when they are not simply the UTF-8
//                  encoding of "name": a GBK name, bytes after a zero byte, a character cut at byte 10. Read
//                  only while "name" is missing or still shows those bytes; a "name" edited since is encoded the
//                  way the bytes were (UTF-8 or GB18030). Given alone (or to set), 1 to 10 bytes, zero-padded.
//   "version"      four numbers from 0 to 15: "1.0.0.1"
//   "mode"         "udp", "tcp-client", "udp-server", "tcp-server"
//   "ip-type"      "static", "dhcp"
//   "ip", "mask", "gateway", "remote-ip"
//                  dotted-decimal IPv4 text: "192.168.1.10"
//   "local-port"   a number from 1 to 65535, or "random" (local port 0: the module picks one)
//   "remote-port"  a number from 1 to 65535
//   "baud"         a number from 100 to 2000000
//   "parity"       "none", "odd", "even"
//   "data-bits"    the number 7 or 8
//   "stop-bits"    the number 1 or 2
//   "modbus"       "off", "on" (Modbus TCP/RTU conversion)
//   "source-ip"    where the module's reply came from; written for a module seen on the network
//   "interface"    the adapter the reply came in on; written by programs that know its name
//
// "source-ip" and "interface" say where a module was seen, which no file can change: they are accepted and
// ignored on reading. Reading what moduleToJson wrote for a module that fits in a configuration frame gives the
// same record, apart from where it was seen and its own line-format byte, which stay base's.

// The module as a JSON object (keys as above).
QJsonObject moduleToJson(const DeviceRecord &record);

// Reads a module over base: keys left out keep base's values. An unknown key, a value of the wrong type or out
// of range, or a module that cannot be sent in a configuration frame is an error that names the key and the
// values it accepts; *out is then left alone. The module's own line-format byte (reportedLineFormat) is kept
// while parity, data bits and stop bits read as base's, and dropped when one of them changes.
bool moduleFromJson(const QJsonObject &object, const DeviceRecord &base, DeviceRecord *out, QString *error);

// One FIELD=VALUE edit as typed on a command line: the keys of settableModuleKeys() with the JSON values written
// as text ("mode=tcp-server", "local-port=random", "data-bits=7", "name=泵站1"). Naming parity, data bits or stop
// bits drops the module's own line-format byte, so the values given are what the module gets. On an error the
// record is left alone.
bool setModuleField(DeviceRecord *record, const QString &key, const QString &valueText, QString *error);

// The keys setModuleField takes: every key above but the module's identity ("mac", "version") and where it was
// seen ("source-ip", "interface").
QStringList settableModuleKeys();

// Who the module is ("mac", "version") and where it was seen ("source-ip", "interface"): the keys no edit changes.
QStringList identityModuleKeys();
QStringList sightingModuleKeys();

// "parity", "data-bits" and "stop-bits": the keys that make up the line-format byte.
bool isLineSettingKey(const QString &key);

// The key of a field that findInvalidConfigField refuses, for messages.
QString moduleKey(ConfigField field);

// Four numbers from 0 to 15 joined by dots, ASCII digits only: each travels as one nibble.
bool isFirmwareVersion(const QString &text);
