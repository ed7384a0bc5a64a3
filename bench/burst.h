#pragma once

#include <QString>

class QProcess;
class TimedApplication;

// net.core.rmem_max of a stock Linux kernel: every burst runs with receive buffers capped at this.
constexpr int StockReceiveBufferMax = 212992;
// Where a burst's replies come from: kestrel-sim, or the paced sender at a rate per second (0: unpaced).
constexpr int FromSimulator = -1;

// One search answered at once by `modules` modules, seen from the window.
struct BurstResult {
    int modules = 0;
    int rate = FromSimulator;
    int listed = 0;
    qint64 dropped = 0; // by the kernel, as the device port counted them: its receive queue was full
    qint64 firstRoundDropped = 0; // of those, while the first request was answered
    int rounds = 0; // requests the search sent; 0 when it did not end by itself
    qint64 lost = -1; // replies still dropped in the search's last round
    qint64 receiveBufferErrors = 0; // the same as the namespace's UDP statistics count them
    double seconds = 0; // from pressing "Search Device" to the last row listed, over every round
    double sendSeconds = 0; // from the first reply sent to the last, as the sender saw it
    qint64 peakRssKiB = 0; // of the process holding the window
    double longestEventMs = 0; // the longest event the GUI thread handled while listing
    double longestGapMs = 0; // between ticks of a 10 ms timer on the GUI thread while listing
    double guiCpuSeconds = 0; // run on a core by the GUI thread while listing
    double readerCpuSeconds = 0; // run by the device port's reader thread
    double readerWaitSeconds = 0; // the reader thread was ready but waited for a core
    int receiveBuffer = 0; // bytes the kernel granted for a 4 MiB receive buffer request
    QString failure; // why there is no result
};

// In a child process: one window, one source of replies, one search; prints the result on one line. Exit status
// 0 when a result was printed.
int runBurstChild(TimedApplication &app, int modules, int rate);

// Runs the burst as a fresh child process of this program, with every receive buffer capped at the stock kernel
// limit, and reads its result.
BurstResult runBurst(int modules, int rate = FromSimulator);

// kestrel-sim with `modules` simulated modules on the device port; true once they listen.
bool startSimulator(QProcess &simulator, int modules);
