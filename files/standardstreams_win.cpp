// A console takes UTF-16 text (its code page would garble Chinese names); a pipe or a file gets UTF-8 bytes, as on
// Linux. Windows has no closed-pipe signal: a write to a pipe whose reader is gone fails, and the stream is dropped.
#include "standardstreams.h"

#include <QByteArray>

#include <windows.h>

namespace {

struct Stream {
    DWORD which;
    bool closed = false;
};

Stream standardOutput {STD_OUTPUT_HANDLE};
Stream standardError {STD_ERROR_HANDLE};

bool writeConsole(HANDLE console, const QString &text)
{
    const auto *data = reinterpret_cast<const wchar_t *>(text.utf16());
    qint64 left = text.size();
    while (left > 0) {
        DWORD written = 0;
        if (!WriteConsoleW(console, data, DWORD(qMin<qint64>(left, 8192)), &written, nullptr) || written == 0)
            return false;
        data += written;
        left -= qint64(written);
    }
    return true;
}

bool writeBytes(HANDLE handle, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        DWORD written = 0;
        if (!WriteFile(handle, data, DWORD(qMin<qint64>(left, 1 << 20)), &written, nullptr))
            return false; // ERROR_NO_DATA, ERROR_BROKEN_PIPE above all: nobody reads any more
        data += written;
        left -= qint64(written);
    }
    return true;
}

} // namespace

void keepClosedPipesQuiet() { }

void writeStandardStream(StandardStream which, const QString &text)
{
    Stream &stream = which == StandardStream::Output ? standardOutput : standardError;
    if (stream.closed)
        return;
    const HANDLE handle = GetStdHandle(stream.which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        stream.closed = true; // started without a console or a redirection: nowhere to write
        return;
    }
    DWORD mode = 0;
    const bool written = GetConsoleMode(handle, &mode) ? writeConsole(handle, text) : writeBytes(handle, text.toUtf8());
    if (!written)
        stream.closed = true;
}
