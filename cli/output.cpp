#include "output.h"

#include <QByteArray>

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace {

struct Stream {
    int descriptor;
    bool closed = false;
};

Stream standardOutput {STDOUT_FILENO};
Stream standardError {STDERR_FILENO};

void writeAll(Stream &stream, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qint64 left = bytes.size();
    while (!stream.closed && left > 0) {
        const ssize_t written = ::write(stream.descriptor, data, size_t(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            stream.closed = true; // EPIPE above all: nobody reads any more
            return;
        }
        data += written;
        left -= written;
    }
}

} // namespace

void ignoreClosedPipes()
{
    std::signal(SIGPIPE, SIG_IGN);
}

void printOut(const QString &text)
{
    writeAll(standardOutput, text.toUtf8());
}

void printLine(const QString &line)
{
    printOut(line + QLatin1Char('\n'));
}

void printError(const QString &message)
{
    writeAll(standardError, QStringLiteral("kestrelctl: %1\n").arg(message).toUtf8());
}

void printErrorText(const QString &text)
{
    writeAll(standardError, text.toUtf8());
}

void printWarning(const QString &message)
{
    printError(QStringLiteral("warning: %1").arg(message));
}
