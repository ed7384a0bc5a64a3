#include "inputfile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool readAtMost(QFile &file, const QString &name, qint64 maxBytes, QByteArray *content, QString *error)
{
    // A pipe gives what it holds at the moment: read on until its end.
    QByteArray bytes;
    for (;;) {
        const QByteArray piece = file.read(maxBytes + 1 - bytes.size());
        if (file.error() != QFileDevice::NoError) {
            *error = QStringLiteral("cannot read %1: %2").arg(name, file.errorString());
            return false;
        }
        if (piece.isEmpty())
            break;
        bytes += piece;
        if (bytes.size() > maxBytes)
            break;
    }
    if (bytes.size() > maxBytes) {
        *error = QStringLiteral("%1 is larger than %2 bytes").arg(name).arg(maxBytes);
        return false;
    }
    *content = bytes;
    return true;
}

} // namespace

bool readInputFile(const QString &path, qint64 maxBytes, QByteArray *content, QString *error)
{
    if (path == QLatin1String("-")) {
        QFile input;
        if (!input.open(stdin, QIODevice::ReadOnly)) {
            *error = QStringLiteral("cannot read stdin: %1").arg(input.errorString());
            return false;
        }
        return readAtMost(input, QStringLiteral("stdin"), maxBytes, content, error);
    }

    // Opened without blocking and checked on the open descriptor, so that what is read is what was checked.
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        *error = QStringLiteral("cannot open %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    struct stat status {
    };
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(descriptor);
        *error = QStringLiteral("%1 is not a regular file").arg(path);
        return false;
    }
    QFile file;
    if (!file.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(descriptor);
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    return readAtMost(file, path, maxBytes, content, error);
}
