#include "signalwatcher.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};
volatile std::sig_atomic_t forwarding = 1;

// Only async-signal-safe work here: hand the number to the event loop, or end at once while there is none to take
// it (a start-up step that waits must not make the program deaf).
void forwardSignal(int signalNumber)
{
    if (!forwarding)
        ::_exit(128 + signalNumber);
    const char byte = char(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[0], &byte, 1);
}

} // namespace

SignalWatcher::SignalWatcher(QObject *parent)
    : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        if (::read(signalPipe[1], &byte, 1) == 1)
            emit stopRequested(int(byte));
    });

    struct sigaction action = {};
    action.sa_handler = forwardSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void SignalWatcher::endAtOnceUntilForwarded()
{
    forwarding = 0;
}

void SignalWatcher::forwardToEventLoop()
{
    forwarding = 1;
}
