#include "arrivalbuffer.h"

#include "socketbatchreader.h"

#include <utility>

namespace {

// Above this many datagrams' worth of room, a drained buffer returns its memory.
constexpr std::size_t KeptEntries = 4096;
constexpr std::size_t KeptBytes = 1 << 20;

} // namespace

qint64 ArrivalBuffer::append(const SocketBatchReader &reader, int count)
{
    const std::size_t before = bytes.size();
    for (int i = 0; i < count; ++i) {
        const ArrivedDatagram &datagram = reader.datagram(i);
        entries.push_back(datagram);
        offsets.push_back(bytes.size());
        const char *head = reader.head(i);
        const int headBytes = reader.headBytes(i);
        bytes.insert(bytes.end(), head, head + headBytes);
        if (datagram.length > headBytes) {
            const char *tail = reader.tail(i);
            bytes.insert(bytes.end(), tail, tail + (datagram.length - headBytes));
        }
    }
    return qint64(bytes.size() - before);
}

const ArrivedDatagram &ArrivalBuffer::takeNext()
{
    current = entries[next];
    current.data = bytes.data() + offsets[next];
    ++next;
    return current;
}

void ArrivalBuffer::clear()
{
    entries.clear();
    offsets.clear();
    bytes.clear();
    next = 0;
}

void ArrivalBuffer::trim()
{
    if (entries.capacity() > KeptEntries || bytes.capacity() > KeptBytes) {
        ArrivalBuffer empty;
        std::swap(*this, empty);
    }
}
