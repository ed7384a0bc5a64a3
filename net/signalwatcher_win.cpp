// Windows has no SIGTERM for a console program: Ctrl+C, Ctrl+Break and closing the console reach it through a
// console control handler, on a thread of the system's. The handler hands the request to the event loop, or ends the
// program at once while there is none to take it.
#include "signalwatcher.h"

#include <QMetaObject>

#include <atomic>
#include <csignal>
#include <windows.h>

namespace {

std::atomic<SignalWatcher *> watcher {nullptr};
std::atomic<bool> forwarding {true};

BOOL WINAPI forwardControl(DWORD control)
{
    const int signalNumber = control == CTRL_C_EVENT ? SIGINT : SIGTERM;
    if (!forwarding.load())
        ExitProcess(UINT(128 + signalNumber));
    SignalWatcher *target = watcher.load();
    if (!target)
        return FALSE;
    QMetaObject::invokeMethod(
        target, [target, signalNumber] { emit target->stopRequested(signalNumber); }, Qt::QueuedConnection);
    return TRUE;
}

} // namespace

SignalWatcher::SignalWatcher(QObject *parent)
    : QObject(parent)
{
    watcher = this;
    SetConsoleCtrlHandler(forwardControl, TRUE);
}

void SignalWatcher::endAtOnceUntilForwarded()
{
    forwarding = false;
}

void SignalWatcher::forwardToEventLoop()
{
    forwarding = true;
}
