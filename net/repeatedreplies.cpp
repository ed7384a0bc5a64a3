#include "repeatedreplies.h"

#include "arriveddatagram.h"
#include "frameconstants.h"
#include "receivepath.h"

#include <cstring>

namespace {

constexpr int SenderSize = sizeof(ArrivedDatagram::sender);
constexpr int KeySize = FrameSize + SenderSize + 2;

} // namespace

bool RepeatedReplies::isRepeat(const ArrivedDatagram &datagram)
{
    // Every datagram goes the whole way while its diagnostic lines are asked for.
    if (datagram.length != FrameSize || datagramLog().isDebugEnabled())
        return false;
    char key[KeySize];
    std::memcpy(key, datagram.data, FrameSize);
    std::memcpy(key + FrameSize, datagram.sender, SenderSize);
    key[FrameSize + SenderSize] = char(datagram.senderPort >> 8);
    key[FrameSize + SenderSize + 1] = char(datagram.senderPort & 0xFF);
    // Looked up in place; only a frame not heard before is copied.
    if (heard.contains(QByteArray::fromRawData(key, KeySize)))
        return true;
    heard.insert(QByteArray(key, KeySize));
    return false;
}
