#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a Qt signal delivered by the event loop, so that a program can stop cleanly: the
// simulator instead of dying inside a half-written state file, kestrelctl watch with exit status 0.
class SignalWatcher : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(SignalWatcher)

public:
    explicit SignalWatcher(QObject *parent = nullptr);

signals:
    void stopRequested(int signalNumber);

private:
    QSocketNotifier *notifier = nullptr;
};
