#include "repeatedreplies.h"

#include "arriveddatagram.h"
#include "frameconstants.h"
#include "receivepath.h"

#include <cstring>

namespace {

constexpr int SenderSize = sizeof(ArrivedDatagram::sender);
constexpr int KeySize = FrameSize + SenderSize + 2;

// The frame's bytes, then the sender's address and port.
QByteArray keyOf(const ArrivedDatagram &datagram, char (&key)[KeySize])
{
    std::memcpy(key, datagram.data, FrameSize);
    std::memcpy(key + FrameSize, datagram.sender, SenderSize);
    key[FrameSize + SenderSize] = char(datagram.senderPort >> 8);
    key[FrameSize + SenderSize + 1] = char(datagram.senderPort & 0xFF);
    return QByteArray::fromRawData(key, KeySize);
}

bool skipped(const ArrivedDatagram &datagram)
{
    // Every datagram goes the whole way while its diagnostic lines are asked for.
    return datagram.length != FrameSize || datagramLog().isDebugEnabled();
}

} // namespace

bool RepeatedReplies::isRepeat(const ArrivedDatagram &datagram) const
{
    if (skipped(datagram))
        return false;
    char key[KeySize];
    // Looked up in place; only a reply is ever copied.
    return heard.contains(keyOf(datagram, key));
}

void RepeatedReplies::rememberReply(const ArrivedDatagram &datagram)
{
    // One reply per listed module at most is worth knowing; a flood of forged replies gets no further.
    if (skipped(datagram) || heard.size() >= MostListedModules)
        return;
    char key[KeySize];
    heard.insert(QByteArray(keyOf(datagram, key).constData(), KeySize));
}
