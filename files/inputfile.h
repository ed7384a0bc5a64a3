#pragma once

#include <QByteArray>
#include <QString>

// Reads a file a command is given, "-" meaning stdin. Only a regular file is read (a FIFO or a device could block
// for ever or never end), and at most maxBytes of it; false with a message naming the file otherwise.
bool readInputFile(const QString &path, qint64 maxBytes, QByteArray *content, QString *error);
