#pragma once

#include "arriveddatagram.h"

#include <QtGlobal>

#include <cstddef>
#include <vector>

class SocketBatchReader;

// Datagrams waiting to be taken, kept compactly: their bytes one after another, their particulars beside them.
// Clearing keeps the memory, so once a burst of some size has been held, holding another costs no allocation.
class ArrivalBuffer
{
public:
    // Copies datagrams 0 to count-1 of the reader's last batch; their bytes in all.
    qint64 append(const SocketBatchReader &reader, int count);

    int size() const { return int(entries.size()); }
    // Not handed over yet.
    int remaining() const { return int(entries.size() - next); }
    bool isEmpty() const { return entries.empty(); }
    bool allTaken() const { return next == entries.size(); }
    // The oldest datagram not handed over yet; its bytes stay valid until the buffer is cleared.
    const ArrivedDatagram &takeNext();

    void clear();
    // Gives back the memory of a buffer that once held a very large burst.
    void trim();

private:
    std::vector<ArrivedDatagram> entries; // data unset: the bytes may still move while the buffer grows
    std::vector<std::size_t> offsets;
    std::vector<char> bytes;
    std::size_t next = 0;
    ArrivedDatagram current;
};
