#pragma once

#include <QByteArray>
#include <QSet>

struct ArrivedDatagram;

// The replies a search has already heard, so that a module answering again costs next to nothing: a frame is
// encrypted with a fixed key and a zero IV, so the same reply from the same sender is the same 64 bytes, and a
// repeat is known by its bytes before anything is decrypted. Only datagrams that passed every check of a reply are
// remembered, so a flood of noise costs no memory here, and nothing while the diagnostic lines of the datagram log
// are on, so that each datagram is written there.
class RepeatedReplies
{
public:
    // True when these bytes came from this sender and port before as a module's reply.
    bool isRepeat(const ArrivedDatagram &datagram) const;
    // The datagram carried a module's reply: its bytes are known from now on.
    void rememberReply(const ArrivedDatagram &datagram);
    // A new search has heard nothing.
    void clear() { heard.clear(); }
    int size() const { return heard.size(); }

private:
    QSet<QByteArray> heard; // the frame's bytes, then the sender's 16 address bytes and 2 port bytes
};
