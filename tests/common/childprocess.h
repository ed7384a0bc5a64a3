#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QProcess>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

// A program a test starts (kestrel-sim, kestrelctl) that dies with the test, however the test ends: failed, aborted,
// killed by CTest's time limit. The system kills it when the test process goes (PR_SET_PDEATHSIG, kept across the
// exec of scripts/segment-exec.sh and `ip netns exec`); the object kills it when it goes out of scope.
class ChildProcess : public QProcess
{
public:
    explicit ChildProcess(QObject *parent = nullptr)
        : QProcess(parent)
    {
        parentId = ::getpid();
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
        setChildProcessModifier([] { dieWithParent(); });
#endif
    }

    ~ChildProcess() override
    {
        if (state() != QProcess::NotRunning) {
            kill();
            waitForFinished(5000);
        }
    }

    // Reads the output (both channels when merged) into log until it holds text; false as soon as the program has
    // ended without printing it, or after boundMs: a program that died is not waited for.
    bool waitForOutput(QByteArray &log, const QByteArray &text, int boundMs = 60000)
    {
        const QDeadlineTimer deadline(boundMs);
        while (!(log += readAll()).contains(text)) {
            if (state() == QProcess::NotRunning || deadline.hasExpired()) {
                log += readAll();
                return log.contains(text);
            }
            waitForReadyRead(100);
        }
        return true;
    }

protected:
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    void setupChildProcess() override
    {
        dieWithParent();
    }
#endif

private:
    // In the child, between fork and exec.
    static void dieWithParent()
    {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parentId) // the test died before the request took hold
            ::_exit(1);
    }

    static inline pid_t parentId = 0;
};
