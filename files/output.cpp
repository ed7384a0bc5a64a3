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

QString &programName()
{
    static QString name;
    return name;
}

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

bool isControl(char16_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

} // namespace

void initProgramOutput(const QString &name)
{
    programName() = name;
    std::signal(SIGPIPE, SIG_IGN);
}

QString visibleText(const QString &text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar character : text) {
        const char16_t c = character.unicode();
        if (isControl(c))
            shown += (c < 0x80 ? QLatin1String("\\x") : QLatin1String("\\u"))
                + QString::number(c, 16).toUpper().rightJustified(c < 0x80 ? 2 : 4, QLatin1Char('0'));
        else
            shown += character;
    }
    return shown;
}

bool argumentsAreUtf8(int argc, const char *const argv[], QString *error)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        const QString text = QString::fromUtf8(argument);
        if (text.toUtf8() != argument) { // each byte that is not UTF-8 became U+FFFD
            *error = QStringLiteral("argument %1 is not UTF-8 text: \"%2\"").arg(i).arg(text);
            return false;
        }
    }
    return true;
}

void printOut(const QString &text)
{
    writeAll(standardOutput, text.toUtf8());
}

void printLine(const QString &line)
{
    printOut(visibleText(line) + QLatin1Char('\n'));
}

void printError(const QString &message)
{
    writeAll(standardError, QStringLiteral("%1: %2\n").arg(programName(), visibleText(message)).toUtf8());
}

void printErrorText(const QString &text)
{
    writeAll(standardError, text.toUtf8());
}

void printWarning(const QString &message)
{
    printError(QStringLiteral("warning: %1").arg(message));
}
