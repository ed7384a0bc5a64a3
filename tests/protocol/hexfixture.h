#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// Reads a byte dump from tests/data: hexadecimal digits and white space, with
// '#' starting a comment to the end of the line. Empty if the file is missing.
inline QByteArray readHexFixture(const QString &path)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QByteArray hex;
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        const int comment = line.indexOf('#');
        if (comment >= 0)
            line.truncate(comment);
        hex += line.simplified().replace(' ', "");
    }
    return QByteArray::fromHex(hex);
}
