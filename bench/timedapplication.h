#pragma once

#include <QApplication>

// The benchmark's application: it also times each event the GUI thread handles from its event loop, so that a
// burst can tell the longest stretch of work during which the window could not answer the user.
class TimedApplication : public QApplication
{
public:
    using QApplication::QApplication;

    bool notify(QObject *receiver, QEvent *event) override;

    void forgetLongestEvent() { longestMs = 0; }
    double longestEventMs() const { return longestMs; }

private:
    int depth = 0; // events sent while one is handled are part of its time
    double longestMs = 0;
};
