#pragma once

#include "exitstatus.h"

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <optional>

// One command's command line: its options and arguments, its --help, and the parse.
class CommandLine
{
public:
    // name: "search", "set", ...; synopsis: what follows the options in the usage line ("MAC FIELD=VALUE...").
    CommandLine(const QString &name, const QString &synopsis, const QString &description);

    void addOption(const QCommandLineOption &option) { parser.addOption(option); }
    void addArgument(const QString &name, const QString &description)
    {
        parser.addPositionalArgument(name, description);
    }

    // arguments: the words after the command's name. Returns an exit status when the command ends here: 0 once
    // --help is printed, the usage error's status once its message is printed.
    std::optional<int> parse(const QStringList &arguments);

    bool isSet(const QString &option) const { return parser.isSet(option); }
    QString value(const QString &option) const { return parser.value(option); }
    QStringList arguments() const { return parser.positionalArguments(); }

    // A usage error of this command, naming it and where to read more.
    Failure usageError(const QString &message) const;
    QString helpText() const;

private:
    QString name;
    QString synopsis;
    QCommandLineParser parser;
};

// Options several commands share.
QCommandLineOption keyOption();
QCommandLineOption jsonOption(const QString &what);

// A duration in seconds as typed ("1.5", "0.3", "10"): milliseconds from 1 to 3,600,000.
std::optional<int> parseSeconds(const QString &text);
// ASCII digits only, within bottom..top.
std::optional<int> parseCount(const QString &text, int bottom, int top);

// Installs the frame key that --key (when the command line has it), KESTREL_FRAME_KEY, the settings file or the
// build gives; a key that is not 32 hexadecimal digits is a usage error naming where it came from. *source
// (when given) says where the key came from.
std::optional<Failure> installFrameKey(const CommandLine &commandLine, QString *source = nullptr);

// Where a frame key can come from, for help texts.
QString frameKeySourcesHelp();
