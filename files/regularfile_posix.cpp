#include "regularfile.h"

#include "filemessages.h"
#include "output.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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
    return notRegularFileMessage(path, typeName(mode));
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

bool readRegularFile(const QString &path, qint64 maxBytes, QByteArray *content, QString *error)
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
    if (info.st_size > maxBytes) {
        *error = tooLargeFileMessage(path, maxBytes);
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
    // Read one byte more than allowed: the file may have grown since it was measured.
    *content = file.read(maxBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    if (content->size() > maxBytes) {
        content->clear();
        *error = tooLargeFileMessage(path, maxBytes);
        return false;
    }
    return true;
}

namespace {

bool writeInPlace(const QString &path, const QByteArray &content, QString *error)
{
    // O_NOCTTY: writing to a terminal must not make it the program's controlling terminal. No O_CREAT: only what
    // exists already is written here.
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    struct stat info = {};
    if (descriptor < 0 || ::fstat(descriptor, &info) != 0) {
        *error = QStringLiteral("cannot write %1").arg(systemError(path));
        if (descriptor >= 0)
            ::close(descriptor);
        return false;
    }
    if (!S_ISFIFO(info.st_mode) && !S_ISCHR(info.st_mode)) { // replaced since it was looked at
        *error = QStringLiteral("cannot write %1").arg(notRegular(path, info.st_mode));
        ::close(descriptor);
        return false;
    }
    QFile file;
    const bool written
        = file.open(descriptor, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)
        && file.write(content) == content.size();
    if (!written)
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    if (!file.isOpen())
        ::close(descriptor);
    return written;
}

} // namespace

bool writeOutputFile(const QString &path, const QByteArray &content, QString *error)
{
    if (path == QLatin1String("-")) {
        printOut(QString::fromUtf8(content));
        return true;
    }
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) == 0) {
        if (S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode))
            return writeInPlace(path, content, error);
        if (!S_ISREG(info.st_mode)) {
            *error = QStringLiteral("cannot write %1").arg(notRegular(path, info.st_mode));
            return false;
        }
    } else if (errno != ENOENT) {
        *error = QStringLiteral("cannot write %1").arg(systemError(path));
        return false;
    } else if (QFileInfo(path).isSymLink()) {
        // A link to nothing would be replaced by a file: what it was meant to reach is not known.
        *error = QStringLiteral("cannot write %1: it links to nothing").arg(path);
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}
