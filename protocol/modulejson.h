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
//   "local-port"   a number from 1 to 65535, or "random" (local port 0: the module picks one; TCP Client only)
//   "remote-port"  a number from 1 to 65535
//   "baud"         a number from 100 to 2000000
//   "parity"       "none", "odd", "even", "mark", "space"
//   "data-bits"    the number 5, 6, 7 or 8
//   "stop-bits"    the number 1 or 2 (with 5 data bits, 2 means one and a half)
//   "line-format"  the serial line-format byte, 0 to 63; written only when parity is "none" and the byte still has
//                  its even or stick bit set, which the three keys above cannot say. Given with them, it must agree.
//   "modbus"       "off", "on" (Modbus TCP/RTU conversion)
//   "source-ip"    where the module's reply came from; written for a module seen on the network
//   "interface"    the adapter the reply came in on; written by programs that know its name
//
// The ranges above are what a user may give. Reading also takes every other value a module can report (ports
// from 0, baud rates from 0 to 16777215), so that what moduleToJson wrote reads back as the same record, apart
// from where it was seen, which stays base's: what the wire carries survives a file. "source-ip" and "interface"
// say where a module was seen, which no file can change: they are accepted and ignored on reading.

// The module as a JSON object (keys as above).
QJsonObject moduleToJson(const DeviceRecord &record);

// Whether reading checks what a file changes as a configuration would (apply), every value the file gives whatever
// base holds (apply's check of a file before any module is known), or takes any value a module can report
// (kestrel-sim's state).
enum class SendCheck { ChangedFields, GivenFields, None };

// Reads a module over base: keys left out keep base's values. An unknown key, a value of the wrong type or out
// of what the wire can carry is an error that names the key and the values it accepts; with ChangedFields, so is
// a value that differs from base's and cannot be sent (findInvalidConfigField on the edited fields). *out is then
// left alone. Data bits, parity and stop bits each change their own bits of the line-format byte.
bool moduleFromJson(const QJsonObject &object, const DeviceRecord &base, DeviceRecord *out, QString *error,
                    SendCheck check = SendCheck::ChangedFields);

// One FIELD=VALUE edit as typed on a command line: the keys of settableModuleKeys() with the JSON values written
// as text ("mode=tcp-server", "local-port=random", "data-bits=7", "name=泵站1"). The value given is checked as the
// window checks a typed one (and a mode or "random" checks the local port and the remote end it needs); the
// record's other values are not. On an error the record is left alone.
bool setModuleField(DeviceRecord *record, const QString &key, const QString &valueText, QString *error);

// A value typed as text (on a command line, in a CSV cell) as the JSON value of the key: digits are a number where
// the key takes numbers, anything else is text, which the key's rule then accepts or refuses.
QJsonValue typedModuleValue(const QString &key, const QString &valueText);

// The keys setModuleField takes: every key above but the module's identity ("mac", "version") and where it was
// seen ("source-ip", "interface").
QStringList settableModuleKeys();

// Who the module is ("mac", "version") and where it was seen ("source-ip", "interface"): the keys no edit changes.
QStringList identityModuleKeys();
QStringList sightingModuleKeys();
// The keys of the name and of its bytes, which are read and compared together.
constexpr char NameModuleKey[] = "name";
constexpr char NameHexModuleKey[] = "name-hex";
// The sighting key that names the adapter; only a program that knows the adapters writes it.
constexpr char InterfaceModuleKey[] = "interface";

// "parity", "data-bits" and "stop-bits": the keys that make up the line-format byte.
bool isLineSettingKey(const QString &key);

// The key of a field that findInvalidConfigField refuses, for messages.
QString moduleKey(ConfigField field);

// Four numbers from 0 to 15 joined by dots, ASCII digits only: each travels as one nibble.
bool isFirmwareVersion(const QString &text);

// What is worth telling before a configuration is sent, though it is sent all the same: a gateway outside the
// subnet of the module's new address (when the addressing changes), and 7 data bits without parity when the line
// format becomes that.
QStringList editWarnings(const DeviceRecord &reported, const DeviceRecord &wanted);
