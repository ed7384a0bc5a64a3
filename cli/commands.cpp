#include "commands.h"

#include "commandline.h"
#include "frameconstants.h"
#include "output.h"

#include <QCoreApplication>

namespace {

struct Command {
    const char *name;
    const char *synopsis;
    const char *summary;
    int (*run)(const QStringList &arguments);
};

// clang-format off
const Command commands[] = {
    {"search", "",                  "list the modules that answer",                    searchCommand},
    {"show",   "MAC",               "one module's parameters",                         showCommand},
    {"set",    "MAC FIELD=VALUE...", "change parameters, then read them back",         setCommand},
    {"export", "MAC",               "a module's parameters as JSON",                   exportCommand},
    {"apply",  "FILE MAC...",       "give modules the parameters of a JSON file",      applyCommand},
    {"provision", "FILE",           "commission a batch from a list (or --ip-range)",  provisionCommand},
    {"watch",  "",                  "report modules appearing, changing and going",    watchCommand},
    {"decode", "HEX",               "decrypt and explain one captured 64-byte frame",  decodeCommand},
};
// clang-format on

QString overview()
{
    QString text = QStringLiteral("Usage: kestrelctl COMMAND [options] [arguments]\n"
                                  "Finds and configures serial-to-Ethernet converter modules on UDP port %1.\n\n"
                                  "Commands:\n")
                       .arg(DevicePort);
    for (const Command &command : commands)
        text += QStringLiteral("  %1 %2\n")
                    .arg(QStringLiteral("%1 %2").arg(QLatin1String(command.name), QLatin1String(command.synopsis)), -26)
                    .arg(QLatin1String(command.summary));
    text += QStringLiteral("\nkestrelctl COMMAND --help describes a command and its options.\n"
                           "MAC: 001A2B3C4D5E, 00:1A:2B:3C:4D:5E or 00-1a-2b-3c-4d-5e.\n");
    return text + frameKeySourcesHelp() + QLatin1Char('\n') + exitStatusHelp();
}

const Command *findCommand(const QString &name)
{
    for (const Command &command : commands) {
        if (name == QLatin1String(command.name))
            return &command;
    }
    return nullptr;
}

} // namespace

int reportFailure(const Failure &failure)
{
    printError(failure.message);
    for (const QString &detail : failure.details)
        printErrorText(QStringLiteral("  %1\n").arg(visibleText(detail)));
    return failure.status;
}

int runKestrelctl(const QStringList &arguments)
{
    if (arguments.isEmpty()) {
        printError(QStringLiteral("a command is missing"));
        printErrorText(overview());
        return ExitStatus::UsageError;
    }
    const QString first = arguments.first();
    if (first == QLatin1String("--help") || first == QLatin1String("-h")
        || (first == QLatin1String("help") && arguments.size() == 1)) {
        printOut(overview());
        return ExitStatus::Success;
    }
    if (first == QLatin1String("--version")) {
        printLine(QStringLiteral("kestrelctl %1").arg(QCoreApplication::applicationVersion()));
        return ExitStatus::Success;
    }
    if (first == QLatin1String("help")) {
        const Command *command = findCommand(arguments.at(1));
        if (arguments.size() > 2)
            return reportFailure({ExitStatus::UsageError, QStringLiteral("help takes one command")});
        if (!command)
            return reportFailure(
                {ExitStatus::UsageError,
                 QStringLiteral("help: no command \"%1\" (see kestrelctl --help)").arg(arguments.at(1))});
        return command->run({QStringLiteral("--help")});
    }
    const Command *command = findCommand(first);
    if (!command)
        return reportFailure(
            {ExitStatus::UsageError, QStringLiteral("unknown command \"%1\" (see kestrelctl --help)").arg(first)});
    return command->run(arguments.mid(1));
}
