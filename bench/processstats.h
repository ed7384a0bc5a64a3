#pragma once

#include <QString>
#include <QtGlobal>

// What the system knows about this process and its namespace, for the bursts.

// Nanoseconds a thread of this process has run and has waited for a core, from the scheduler's statistics.
struct ThreadTimes {
    qint64 running = 0;
    qint64 waiting = 0;
};

// The GUI thread and the device port's reader thread (found by its name).
struct ProcessThreads {
    ThreadTimes gui;
    ThreadTimes reader;
};

ProcessThreads processThreads();
double secondsBetween(qint64 startNs, qint64 endNs);
qint64 peakRssKiB();
// The same of another running process (0 once it is gone): read while it runs, since the rusage of a spawned child
// would also count the memory of this process, which it shared until its exec.
qint64 peakRssKiB(qint64 pid);

// Datagrams the kernel dropped because the receive queue of this process's sockets on the device port was full.
qint64 receiveQueueDrops();
// The same for every UDP socket of this network namespace (RcvbufErrors in /proc/net/snmp and snmp6).
qint64 namespaceReceiveBufferErrors();
