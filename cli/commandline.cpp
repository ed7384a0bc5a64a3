#include "commandline.h"

#include "framekeysource.h"
#include "output.h"

#include <QCoreApplication>
#include <QRegularExpression>

namespace {

constexpr int LongestSeconds = 3600;
constexpr int MillisecondsPerSecond = 1000;

// Qt's parser says "Unknown option 'x'." where every other message of the tool says: unknown option "--x".
QString parserErrorText(QString text)
{
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    static const QRegularExpression quoted(QStringLiteral("'([^']*)'"));
    QRegularExpressionMatch match = quoted.match(text);
    while (match.hasMatch()) {
        const QString name = match.captured(1);
        const QString dashed = name.startsWith(QLatin1Char('-')) ? name
            : name.size() == 1                                   ? QStringLiteral("-") + name
                                                                 : QStringLiteral("--") + name;
        text.replace(match.capturedStart(), match.capturedLength(), QStringLiteral("\"%1\"").arg(dashed));
        match = quoted.match(text, match.capturedStart() + dashed.size() + 2);
    }
    if (!text.isEmpty())
        text[0] = text.at(0).toLower();
    return text;
}

} // namespace

CommandLine::CommandLine(const QString &name, const QString &synopsis, const QString &description)
    : name(name)
    , synopsis(synopsis)
{
    parser.setApplicationDescription(description.trimmed());
    parser.addHelpOption();
}

std::optional<int> CommandLine::parse(const QStringList &arguments)
{
    // The parser skips the first word as the program's name.
    if (!parser.parse(QStringList(QStringLiteral("kestrelctl")) + arguments)) {
        const Failure failure = usageError(parserErrorText(parser.errorText()));
        printError(failure.message);
        return failure.status;
    }
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        printOut(helpText());
        return ExitStatus::Success;
    }
    return std::nullopt;
}

Failure CommandLine::usageError(const QString &message) const
{
    return {ExitStatus::UsageError, QStringLiteral("%1: %2 (see kestrelctl %1 --help)").arg(name, message)};
}

QString CommandLine::helpText() const
{
    // Qt's text starts with a usage line made for a program without commands; the rest is kept as it is.
    QString text = parser.helpText();
    text.remove(0, text.indexOf(QLatin1Char('\n')) + 1);
    return QStringLiteral("Usage: kestrelctl %1 [options] %2").arg(name, synopsis).trimmed() + QLatin1Char('\n') + text;
}

QCommandLineOption keyOption()
{
    return QCommandLineOption(QStringLiteral("key"),
                              QStringLiteral("Frame key, 32 hexadecimal digits. Without it: %1, else the settings "
                                             "file, else the built-in key.")
                                  .arg(QLatin1String(FrameKeyVariable)),
                              QStringLiteral("hex"));
}

QCommandLineOption jsonOption(const QString &what)
{
    return QCommandLineOption(QStringLiteral("json"), QStringLiteral("Print %1 as JSON.").arg(what));
}

std::optional<int> parseSeconds(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("\\A([0-9]{1,4})(?:\\.([0-9]{1,3}))?\\z"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const int whole = match.captured(1).toInt();
    const int fraction = match.captured(2).leftJustified(3, QLatin1Char('0')).toInt();
    const int milliseconds = whole * MillisecondsPerSecond + fraction;
    if (milliseconds < 1 || milliseconds > LongestSeconds * MillisecondsPerSecond)
        return std::nullopt;
    return milliseconds;
}

std::optional<int> parseCount(const QString &text, int bottom, int top)
{
    static const QRegularExpression digits(QStringLiteral("\\A[0-9]{1,9}\\z"));
    if (!digits.match(text).hasMatch())
        return std::nullopt;
    const int value = text.toInt();
    if (value < bottom || value > top)
        return std::nullopt;
    return value;
}

std::optional<Failure> installFrameKey(const CommandLine &commandLine, QString *source)
{
    const bool given = commandLine.isSet(QStringLiteral("key"));
    FrameKeyChoice choice;
    QString error;
    if (!installChosenFrameKey(given ? std::optional<QString>(commandLine.value(QStringLiteral("key"))) : std::nullopt,
                               &choice, &error))
        return given && commandLine.value(QStringLiteral("key")).isEmpty() ? commandLine.usageError(error)
                                                                           : Failure {ExitStatus::UsageError, error};
    if (source)
        *source = describeFrameKeySource(choice);
    return std::nullopt;
}

QString frameKeySourcesHelp()
{
    return QStringLiteral("Frame key: --key, else the environment variable %1, else \"%2\" in the settings file\n"
                          "%3, else the key built into the program.\n")
        .arg(QLatin1String(FrameKeyVariable), QLatin1String(FrameKeySetting), settingsFilePath());
}
