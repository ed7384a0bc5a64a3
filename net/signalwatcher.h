#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a Qt signal delivered by the event loop, so that a program can stop cleanly: the
// simulator instead of dying inside a half-written state file, kestrelctl watch with exit status 0.
// A program that must not wait on its start-up (kestrel-sim reading its files) calls endAtOnceUntilForwarded():
// until forwardToEventLoop(), the signals then end it at once with status 128 + the signal's number.
class SignalWatcher : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(SignalWatcher)

public:
    explicit SignalWatcher(QObject *parent = nullptr);

    // Until forwardToEventLoop(), a signal ends the program at once.
    void endAtOnceUntilForwarded();
    // From now on the event loop, which is about to run, takes the signals.
    void forwardToEventLoop();

signals:
    void stopRequested(int signalNumber);

private:
    QSocketNotifier *notifier = nullptr;
};
