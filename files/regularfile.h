#pragma once

#include <QByteArray>
#include <QString>

// Files the programs are given must be regular files: opening a FIFO would wait for a writer, and opening a
// device (a serial port, say) can change it. The type and the size are checked before the file is opened, and
// again on the opened file, which is opened without waiting.

// True when nothing exists at path yet, or a regular file (or a link to one) does; otherwise explains.
bool isAbsentOrRegularFile(const QString &path, QString *error);

// The whole content of a regular file of at most maxBytes; a larger one is refused before any of it is read.
bool readRegularFile(const QString &path, qint64 maxBytes, QByteArray *content, QString *error);

// Writes what a program produces to path: "-" is stdout. A regular file (or nothing yet) is replaced whole through
// a temporary file, so that a reader sees the old content or the new one; a link to one replaces what it links to.
// A FIFO or a character device (/dev/null, a terminal) is written in place, as a shell's ">" does: it is never
// replaced by a file. Anything else (a directory, a block device, a socket) is refused. False with a message
// naming the file when it cannot be written.
bool writeOutputFile(const QString &path, const QByteArray &content, QString *error);
