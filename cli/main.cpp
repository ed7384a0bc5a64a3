// kestrelctl: finds, inspects and configures converter modules from a shell, through the same protocol and
// network code as the window.

#include "commands.h"
#include "output.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    ignoreClosedPipes();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrelctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTREL_VERSION));
    return runKestrelctl(QCoreApplication::arguments().mid(1));
}
