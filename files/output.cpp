#include "output.h"

#include "standardstreams.h"

#include <QByteArray>

namespace {

QString &programName()
{
    static QString name;
    return name;
}

bool isControl(char16_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

} // namespace

void initProgramOutput(const QString &name)
{
    programName() = name;
    keepClosedPipesQuiet();
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
#ifdef Q_OS_WIN
    // Windows hands Qt the command line as UTF-16 (QCoreApplication::arguments); argv is only its copy in the local
    // code page, which is no UTF-8.
    Q_UNUSED(argc)
    Q_UNUSED(argv)
    Q_UNUSED(error)
#else
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        const QString text = QString::fromUtf8(argument);
        if (text.toUtf8() != argument) { // each byte that is not UTF-8 became U+FFFD
            *error = QStringLiteral("argument %1 is not UTF-8 text: \"%2\"").arg(i).arg(text);
            return false;
        }
    }
#endif
    return true;
}

void printOut(const QString &text)
{
    writeStandardStream(StandardStream::Output, text);
}

void printLine(const QString &line)
{
    printOut(visibleText(line) + QLatin1Char('\n'));
}

void printError(const QString &message)
{
    writeStandardStream(StandardStream::Error, QStringLiteral("%1: %2\n").arg(programName(), visibleText(message)));
}

void printErrorText(const QString &text)
{
    writeStandardStream(StandardStream::Error, text);
}

void printWarning(const QString &message)
{
    printError(QStringLiteral("warning: %1").arg(message));
}
