#pragma once

#include <QString>

// What it costs the device port's reader to move one reply from the kernel's queue into the queue the window
// takes from: the batch read and the copy, timed on a socket filled beforehand; beside it the same queue
// emptied by Qt's receiveDatagram, as the reader did before. Medians of CPU time per datagram in µs.
struct ReaderCosts {
    double batchRead = 0;
    double qtReceive = 0;
    int queued = 0; // replies the kernel held per round
};

bool measureReaderCost(ReaderCosts *costs, QString *error);
