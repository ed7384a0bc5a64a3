#include "machine.h"

#include <QFile>
#include <QSysInfo>

#include <openssl/crypto.h>

Machine describeMachine()
{
    Machine machine;
    QFile cpuinfo(QStringLiteral("/proc/cpuinfo"));
    if (cpuinfo.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : cpuinfo.readAll().split('\n')) {
            const int colon = line.indexOf(':');
            const QByteArray name = line.left(colon).trimmed();
            if (name == "processor")
                ++machine.cores;
            else if (name == "model name" && machine.cpu.isEmpty())
                machine.cpu = QString::fromUtf8(line.mid(colon + 1).trimmed());
        }
    }
    QFile loadavg(QStringLiteral("/proc/loadavg"));
    if (loadavg.open(QIODevice::ReadOnly))
        machine.loadAverage = QString::fromLatin1(loadavg.readAll().split(' ').value(0));
    machine.kernel = QSysInfo::kernelType() + QLatin1Char(' ') + QSysInfo::kernelVersion();
    machine.qt = QString::fromLatin1(qVersion());
    machine.openssl = QString::fromLatin1(OpenSSL_version(OPENSSL_VERSION));
    return machine;
}
