#include "standardstreams.h"

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

} // namespace

void keepClosedPipesQuiet()
{
    std::signal(SIGPIPE, SIG_IGN);
}

void writeStandardStream(StandardStream which, const QString &text)
{
    Stream &stream = which == StandardStream::Output ? standardOutput : standardError;
    const QByteArray bytes = text.toUtf8();
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
