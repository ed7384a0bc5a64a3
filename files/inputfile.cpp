#include "inputfile.h"

#include "regularfile.h"

#include <QFile>

bool readInputFile(const QString &path, qint64 maxBytes, QByteArray *content, QString *error)
{
    if (path != QLatin1String("-"))
        return readRegularFile(path, maxBytes, content, error);

    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read stdin: %1").arg(input.errorString());
        return false;
    }
    // A pipe gives what it holds at the moment: read on until its end.
    QByteArray bytes;
    for (;;) {
        const QByteArray piece = input.read(maxBytes + 1 - bytes.size());
        if (input.error() != QFileDevice::NoError) {
            *error = QStringLiteral("cannot read stdin: %1").arg(input.errorString());
            return false;
        }
        if (piece.isEmpty() || bytes.size() + piece.size() > maxBytes) {
            bytes += piece;
            break;
        }
        bytes += piece;
    }
    if (bytes.size() > maxBytes) {
        *error = QStringLiteral("stdin is larger than %1 bytes").arg(maxBytes);
        return false;
    }
    *content = bytes;
    return true;
}
