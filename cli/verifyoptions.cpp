#include "verifyoptions.h"

#include "configuration.h"

void VerifyOptions::addTo(CommandLine &commandLine)
{
    commandLine.addOption(QCommandLineOption(QStringLiteral("no-verify"),
                                             QStringLiteral("Send the frame and stop: no read-back search.")));
    commandLine.addOption(QCommandLineOption(
        QStringLiteral("verify-timeout"),
        QStringLiteral("How long the read-back may wait for the new values (default %1).").arg(defaultVerifySeconds()),
        QStringLiteral("seconds"), defaultVerifySeconds()));
}

std::optional<Failure> VerifyOptions::read(const CommandLine &commandLine, VerifyOptions *options)
{
    options->verify = !commandLine.isSet(QStringLiteral("no-verify"));
    const std::optional<int> timeout = parseSeconds(commandLine.value(QStringLiteral("verify-timeout")));
    if (!timeout)
        return commandLine.usageError(QStringLiteral("--verify-timeout needs seconds from 0.001 to 3600; got \"%1\"")
                                          .arg(commandLine.value(QStringLiteral("verify-timeout"))));
    options->timeoutMs = *timeout;
    return std::nullopt;
}
