#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// A module's name travels as 10 raw bytes. Other tools write UTF-8 or, on Chinese systems, GBK, so the
// bytes are kept as they came and only decoded for showing.

// The name as shown in the table and the form: the bytes up to the first zero, decoded as UTF-8 when they are
// valid UTF-8 (a character cut off at the end of the field does not count as valid), else as GB18030 (a superset
// of GBK) when they are valid GB18030, else in whichever of the two leaves fewer bytes undecodable (UTF-8 on a
// tie), each undecodable byte written as \xNN.
// Nothing is hidden and the text can be read back without doubt: C0 controls and DEL are written as \xNN (always
// below \x80, where an undecodable byte is always \x80 or above), C1 controls, the bidirectional formatting
// characters (U+061C, U+200E, U+200F, U+202A-U+202E, U+2066-U+2069) and the line and paragraph separators
// U+2028/U+2029 as \uNNNN, and a backslash of the name as \\. So a name can disguise neither itself nor a row.
QString displayDeviceName(const QByteArray &nameField);

// The 10-byte name field for a name typed by a user, encoded the way displayDeviceName read originalField
// (GB18030 when it showed the original as GB18030, UTF-8 otherwise, also for an empty original), cut to 10 bytes
// without splitting a character and zero-padded. The text is taken as typed: escapes are not read back.
// Empty when a character cannot be encoded that way: a zero character (it would end the name early) or half of a
// surrogate pair.
std::optional<QByteArray> encodeDeviceName(const QString &name, const QByteArray &originalField = QByteArray());

// How many bytes the whole name takes, encoded as encodeDeviceName encodes it, before any cut: more than the 10 of
// the field means the module would keep only part of it. None when it cannot be encoded.
std::optional<int> encodedDeviceNameSize(const QString &name, const QByteArray &originalField = QByteArray());
