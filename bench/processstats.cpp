#include "processstats.h"

#include "frameconstants.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>

namespace {

ThreadTimes threadTimes(const QString &taskDir)
{
    QFile schedstat(taskDir + QStringLiteral("/schedstat"));
    ThreadTimes times;
    if (!schedstat.open(QIODevice::ReadOnly))
        return times;
    const QList<QByteArray> fields = schedstat.readAll().simplified().split(' ');
    times.running = fields.value(0).toLongLong();
    times.waiting = fields.value(1).toLongLong();
    return times;
}

} // namespace

ProcessThreads processThreads()
{
    ProcessThreads threads;
    const QString self = QStringLiteral("/proc/self/task/");
    threads.gui = threadTimes(self + QString::number(QCoreApplication::applicationPid()));
    for (const QString &task : QDir(self).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(self + task + QStringLiteral("/comm"));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().startsWith("device port"))
            threads.reader = threadTimes(self + task);
    }
    return threads;
}

double secondsBetween(qint64 startNs, qint64 endNs)
{
    return double(endNs - startNs) / 1e9;
}

qint64 peakRssKiB()
{
    return peakRssKiB(-1);
}

qint64 peakRssKiB(qint64 pid)
{
    QFile status(pid < 0 ? QStringLiteral("/proc/self/status") : QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QString text = QString::fromLatin1(status.readAll());
    const QRegularExpressionMatch match
        = QRegularExpression(QStringLiteral("^VmHWM:\\s*(\\d+) kB"), QRegularExpression::MultilineOption).match(text);
    return match.hasMatch() ? match.captured(1).toLongLong() : 0;
}

qint64 receiveQueueDrops()
{
    QSet<QByteArray> ownSockets;
    QDir descriptors(QStringLiteral("/proc/self/fd"));
    for (const QFileInfo &descriptor : descriptors.entryInfoList(QDir::Files | QDir::System)) {
        const QString target = descriptor.symLinkTarget();
        const QString name = QFileInfo(target).fileName();
        if (name.startsWith(QLatin1String("socket:[")))
            ownSockets.insert(name.mid(8, name.size() - 9).toLatin1());
    }
    const QByteArray devicePort = QByteArray::number(DevicePort, 16).toUpper().rightJustified(4, '0');
    qint64 drops = 0;
    for (const QString &table : {QStringLiteral("/proc/net/udp"), QStringLiteral("/proc/net/udp6")}) {
        QFile file(table);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : file.readAll().split('\n')) {
            // sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid timeout inode ref pointer
            // drops
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() < 13 || !fields.at(1).endsWith(":" + devicePort) || !ownSockets.contains(fields.at(9)))
                continue;
            drops += fields.at(12).toLongLong();
        }
    }
    return drops;
}

qint64 namespaceReceiveBufferErrors()
{
    qint64 errors = 0;
    QFile snmp(QStringLiteral("/proc/net/snmp"));
    if (snmp.open(QIODevice::ReadOnly)) {
        // "Udp: InDatagrams ... RcvbufErrors ..." then a line of values in the same order.
        QList<QByteArray> names;
        for (const QByteArray &line : snmp.readAll().split('\n')) {
            if (!line.startsWith("Udp: "))
                continue;
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (names.isEmpty()) {
                names = fields;
                continue;
            }
            const int at = names.indexOf("RcvbufErrors");
            if (at > 0)
                errors += fields.value(at).toLongLong();
            break;
        }
    }
    QFile snmp6(QStringLiteral("/proc/net/snmp6"));
    if (snmp6.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : snmp6.readAll().split('\n')) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.value(0) == "Udp6RcvbufErrors")
                errors += fields.value(1).toLongLong();
        }
    }
    return errors;
}
