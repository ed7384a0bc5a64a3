#pragma once

#include "devicerecord.h"
#include "moduleenums.h"

#include <QByteArray>
#include <QFlags>

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

// The parameters a user entered or changed (on the form, on a command line, in a file). Only these are checked
// before sending: what a module reported and nobody touched goes back as it came, whether or not it could be typed.
enum class EditedField : quint16 {
    SubnetMask = 0x001,
    Gateway = 0x002,
    LocalIp = 0x004,
    LocalPort = 0x008,
    RemoteIp = 0x010,
    RemotePort = 0x020,
    BaudRate = 0x040,
    WorkMode = 0x080,
    RandomPort = 0x100,
};
Q_DECLARE_FLAGS(EditedFields, EditedField)
Q_DECLARE_OPERATORS_FOR_FLAGS(EditedFields)
// Everything checked: a record nobody reported, such as one made from the factory defaults.
constexpr EditedFields AllFieldsEdited = EditedFields(0x1FF);

// The parameters whose values differ between what was loaded and what is about to be sent: texts compared as
// texts, so "0100" for a reported "100" counts as an edit.
EditedFields fieldsChangedFrom(const DeviceRecord &loaded, const DeviceRecord &now);

// 7 data bits without parity: modules do not support it, the user is told, the frame is still sent.
bool needsLineFormatNotice(const DeviceRecord &record);

// The first edited field that cannot be sent: the target, then the addresses and numbers in frame order. The
// window's validators take the same rule, so the window and the command-line tool refuse alike. Addresses: four
// parts of one to three ASCII digits, each 0 to 255. Ports and baud rate: ASCII digits, no more of them than the
// top of the range has, a value within parameterlimits.h ("00000" is 0 and refused). Local port "0" is accepted
// only while randomPort is set in mode TCP Client, the one mode whose "Random" box can be ticked: a server on
// port 0 listens where nobody knows. A field that was not edited is not checked, except that a change of mode
// or of "Random" checks the local port, and a change to a mode that uses the remote end checks its address and
// port. The name is not checked here: writeParameters sends nameField, and encodeDeviceName refuses what it
// cannot encode.
ConfigField findInvalidConfigField(const DeviceRecord &record, EditedFields edited = AllFieldsEdited);

// Whether one typed value is what the field accepts (the rule above for one field, as the form's validators and
// `set` apply it). Local port "0" needs randomPort and mode TCP Client.
bool isAcceptedFieldText(ConfigField field, const QString &text, bool randomPort = false,
                         int workMode = Module::TcpClient);

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
ConfigFrame buildConfigFrame(const DeviceRecord &record, const QByteArray &filler = timeSeededFiller(),
                             EditedFields edited = AllFieldsEdited);
