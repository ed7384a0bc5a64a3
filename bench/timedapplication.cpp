#include "timedapplication.h"

#include "benchclock.h"

#include <QThread>

#include <algorithm>

bool TimedApplication::notify(QObject *receiver, QEvent *event)
{
    // The device port's reader thread delivers its own events through here too.
    if (depth > 0 || QThread::currentThread() != thread())
        return QApplication::notify(receiver, event);
    ++depth;
    const auto start = BenchClock::now();
    const bool handled = QApplication::notify(receiver, event);
    longestMs = std::max(longestMs, microsecondsBetween(start, BenchClock::now()) / 1000);
    --depth;
    return handled;
}
