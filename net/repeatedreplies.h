#pragma once

#include <QByteArray>
#include <QSet>

struct ArrivedDatagram;

// The frames a search has already heard, so that a module answering again costs next to nothing: a frame is
// encrypted with a fixed key and a zero IV, so the same reply from the same sender is the same 64 bytes, and a
// repeat is known by its bytes before anything is decrypted. Only frames of a reply's size are remembered, and
// none while the diagnostic lines of the datagram log are on, so that each datagram is written there.
class RepeatedReplies
{
public:
    // True when these bytes came from this sender and port before; otherwise remembers them and returns false.
    bool isRepeat(const ArrivedDatagram &datagram);
    // A new search has heard nothing.
    void clear() { heard.clear(); }

private:
    QSet<QByteArray> heard; // the frame's bytes, then the sender's 16 address bytes and 2 port bytes
};
