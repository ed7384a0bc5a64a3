#include "regularfile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString typeName(mode_t mode)
{
    if (S_ISFIFO(mode))
        return QStringLiteral("a FIFO");
    if (S_ISDIR(mode))
        return QStringLiteral("a directory");
    if (S_ISCHR(mode))
        return QStringLiteral("a character device");
    if (S_ISBLK(mode))
        return QStringLiteral("a block device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("not a regular file");
}

QString notRegular(const QString &path, mode_t mode)
{
    return QStringLiteral("%1 is %2; a regular file is needed").arg(path, typeName(mode));
}

QString systemError(const QString &path)
{
    return QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

bool isAbsentOrRegularFile(const QString &path, QString *error)
{
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        if (errno == ENOENT)
            return true;
        *error = systemError(path);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        *error = notRegular(path, info.st_mode);
        return false;
    }
    return true;
}

bool readRegularFile(const QString &path, QByteArray *content, QString *error, qint64 maxBytes)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info = {};
    if (::stat(name.constData(), &info) != 0) {
        *error = systemError(path);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        *error = notRegular(path, info.st_mode);
        return false;
    }
    // Without waiting, and checked again: the path may have been replaced since.
    const int descriptor = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        *error = systemError(path);
        return false;
    }
    const bool described = ::fstat(descriptor, &info) == 0;
    if (!described || !S_ISREG(info.st_mode)) {
        *error = described ? notRegular(path, info.st_mode) : systemError(path);
        ::close(descriptor);
        return false;
    }
    QFile file;
    if (!file.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        ::close(descriptor);
        return false;
    }
    *content = maxBytes < 0 ? file.readAll() : file.read(maxBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    if (maxBytes >= 0 && content->size() > maxBytes) {
        *error = QStringLiteral("%1 is larger than %2 bytes").arg(path).arg(maxBytes);
        return false;
    }
    return true;
}
