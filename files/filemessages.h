#pragma once

#include <QString>

// What the file checks say, the same on every platform.

inline QString notRegularFileMessage(const QString &path, const QString &what)
{
    return QStringLiteral("%1 is %2; a regular file is needed").arg(path, what);
}

inline QString tooLargeFileMessage(const QString &path, qint64 maxBytes)
{
    return QStringLiteral("%1 is larger than %2 bytes").arg(path).arg(maxBytes);
}
