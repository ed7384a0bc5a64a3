#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// A module's name travels as 10 raw bytes. Other tools write UTF-8 or, on Chinese systems, GBK, so the
// bytes are kept as they came and only decoded for showing.

// The name as shown in the table and the form: the bytes up to the first zero, decoded as UTF-8 when they are
// valid UTF-8, else as GB18030, else with each undecodable byte written as \xNN. Control and bidirectional
// formatting characters are shown as visible escapes too, so a name can disguise neither itself nor a row.
QString displayDeviceName(const QByteArray &nameField);

// The 10-byte name field for a name typed by a user, encoded the way originalField was (GB18030 when the
// original bytes were not UTF-8 but GB18030, UTF-8 otherwise, also for an empty original), cut to 10 bytes
// without splitting a character and zero-padded. Empty when a character cannot be encoded that way.
std::optional<QByteArray> encodeDeviceName(const QString &name, const QByteArray &originalField = QByteArray());
