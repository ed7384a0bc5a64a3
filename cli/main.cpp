// kestrelctl: finds, inspects and configures converter modules from a shell, through the same protocol and
// network code as the window.

#include "commands.h"
#include "exitstatus.h"
#include "output.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    initProgramOutput(QStringLiteral("kestrelctl"));
    QString error;
    if (!argumentsAreUtf8(argc, argv, &error)) {
        printError(error);
        return ExitStatus::UsageError;
    }
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrelctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTREL_VERSION));
    return runKestrelctl(QCoreApplication::arguments().mid(1));
}
