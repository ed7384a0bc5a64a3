#pragma once

#include <QByteArray>
#include <QString>

// Files the programs are given must be regular files: opening a FIFO would wait for a writer, and opening a
// device (a serial port, say) can change it. The type is checked before the file is opened, and again on the
// opened file, which is opened without waiting.

// True when nothing exists at path yet, or a regular file (or a link to one) does; otherwise explains.
bool isAbsentOrRegularFile(const QString &path, QString *error);

// The whole content of a regular file; a file of more than maxBytes (when not negative) is refused.
bool readRegularFile(const QString &path, QByteArray *content, QString *error, qint64 maxBytes = -1);
