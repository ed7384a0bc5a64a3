// Regular files on Windows. Its devices (NUL, CON, COM1, \\.\ paths) open under their names in any folder and with
// any extension: they are known by name before anything is opened, since opening a serial port can change it, and
// what was opened is checked again (GetFileType).
#include "regularfile.h"

#include "filemessages.h"
#include "output.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <windows.h>

namespace {

const wchar_t *wide(const QString &path)
{
    return reinterpret_cast<const wchar_t *>(path.utf16());
}

QString systemError(const QString &path, DWORD code)
{
    return QStringLiteral("%1: %2").arg(path, qt_error_string(int(code)));
}

bool isDeviceName(const QString &path)
{
    if (path.startsWith(QLatin1String("\\\\.\\")) || path.startsWith(QLatin1String("//./")))
        return true;
    static const QRegularExpression reserved(
        QStringLiteral("^(CON|PRN|AUX|NUL|COM[0-9]|LPT[0-9]|CONIN\\$|CONOUT\\$)( *\\..*)?$"),
        QRegularExpression::CaseInsensitiveOption);
    return reserved.match(QFileInfo(path).fileName().trimmed()).hasMatch();
}

bool isAbsent(DWORD code)
{
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

// Reads up to maxBytes + 1 bytes: one more than allowed tells that the file grew since it was measured.
bool readHandle(HANDLE file, const QString &path, qint64 maxBytes, QByteArray *content, QString *error)
{
    QByteArray bytes;
    constexpr qint64 Chunk = 64 * 1024;
    for (;;) {
        const qint64 before = bytes.size();
        const qint64 wanted = qMin(Chunk, maxBytes + 1 - before);
        if (wanted <= 0)
            break;
        bytes.resize(int(before + wanted));
        DWORD got = 0;
        if (!ReadFile(file, bytes.data() + before, DWORD(wanted), &got, nullptr)) {
            *error = systemError(path, GetLastError());
            return false;
        }
        bytes.resize(int(before + got));
        if (got == 0)
            break;
    }
    if (bytes.size() > maxBytes) {
        *error = tooLargeFileMessage(path, maxBytes);
        return false;
    }
    *content = bytes;
    return true;
}

bool writeHandle(HANDLE file, const QString &path, const QByteArray &content, QString *error)
{
    const char *data = content.constData();
    qint64 left = content.size();
    while (left > 0) {
        DWORD written = 0;
        if (!WriteFile(file, data, DWORD(qMin<qint64>(left, 1 << 20)), &written, nullptr)) {
            *error = QStringLiteral("cannot write %1").arg(systemError(path, GetLastError()));
            return false;
        }
        data += written;
        left -= qint64(written);
    }
    return true;
}

// A device is written in place, as cmd's ">" does: NUL stays NUL.
bool writeInPlace(const QString &path, const QByteArray &content, QString *error)
{
    const HANDLE file = CreateFileW(wide(path), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = QStringLiteral("cannot write %1").arg(systemError(path, GetLastError()));
        return false;
    }
    const bool written = writeHandle(file, path, content, error);
    CloseHandle(file);
    return written;
}

// What a path names, before anything is opened. A device or a directory is refused by name, and so is a path the
// system cannot look at (*error says why); an absent path is told as such, with the system's words in *error.
enum class PathKind { Absent, File, Refused };

PathKind examine(const QString &path, WIN32_FILE_ATTRIBUTE_DATA *data, QString *error)
{
    if (isDeviceName(path)) {
        *error = notRegularFileMessage(path, QStringLiteral("a device"));
        return PathKind::Refused;
    }
    if (!GetFileAttributesExW(wide(path), GetFileExInfoStandard, data)) {
        const DWORD code = GetLastError();
        *error = systemError(path, code);
        return isAbsent(code) ? PathKind::Absent : PathKind::Refused;
    }
    if (data->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        *error = notRegularFileMessage(path, QStringLiteral("a directory"));
        return PathKind::Refused;
    }
    return PathKind::File;
}

} // namespace

bool isAbsentOrRegularFile(const QString &path, QString *error)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    QString why;
    if (examine(path, &data, &why) != PathKind::Refused)
        return true;
    *error = why;
    return false;
}

bool readRegularFile(const QString &path, qint64 maxBytes, QByteArray *content, QString *error)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (examine(path, &data, error) != PathKind::File)
        return false;
    if ((qint64(data.nFileSizeHigh) << 32 | data.nFileSizeLow) > maxBytes) {
        *error = tooLargeFileMessage(path, maxBytes);
        return false;
    }
    const HANDLE file = CreateFileW(wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = systemError(path, GetLastError());
        return false;
    }
    // Checked again on what was opened: the path may have been replaced since.
    bool read = false;
    if (GetFileType(file) == FILE_TYPE_DISK)
        read = readHandle(file, path, maxBytes, content, error);
    else
        *error = notRegularFileMessage(path, QStringLiteral("a device or a pipe"));
    CloseHandle(file);
    return read;
}

bool writeOutputFile(const QString &path, const QByteArray &content, QString *error)
{
    if (path == QLatin1String("-")) {
        printOut(QString::fromUtf8(content));
        return true;
    }
    if (isDeviceName(path))
        return writeInPlace(path, content, error);
    WIN32_FILE_ATTRIBUTE_DATA data;
    QString why;
    if (examine(path, &data, &why) == PathKind::Refused) {
        *error = QStringLiteral("cannot write %1").arg(why);
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}
