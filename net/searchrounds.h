#pragma once

#include <QtGlobal>

// When a search asks again. The system drops replies that arrive while the device port's receive queue is full,
// as a burst from many modules at a segment's wire rate can make it; without another request those modules would
// be missing and nobody would know. So a round that saw drops is followed by another request, its replies merged
// by MAC with those before, until a round drops nothing and adds no module, or MostRounds requests went out.
// A search that drops nothing is one request. When the rounds run out while the last two of them added no module,
// what the last one dropped were, as far as can be told, repeated replies of modules already listed: the list is
// then very likely complete, and the drops are told as repeats, not as lost replies.
class SearchRounds
{
public:
    static constexpr int MostRounds = 5;

    enum class Next {
        Done, // nothing more to ask for; lostReplies() says whether replies are still missing
        AskAgain, // send the request again: the next round has begun
    };

    // A new search, before its first request: the endpoint's running drop total and the modules listed so far.
    void begin(quint64 dropTotal, int listed);
    // The current round's replies are in: whether to ask again.
    Next endRound(quint64 dropTotal, int listed);

    int round() const { return current; } // 1 while the first request is answered
    quint64 droppedInFirstRound() const { return firstRoundDrops; }
    // Replies the system dropped in the last round, when the rounds ran out with drops: modules may be missing.
    quint64 lostReplies() const { return lost; }
    // Replies the system dropped in the last round when the last two rounds added no module (then lostReplies() is
    // 0): repeats of modules listed already, as far as can be told.
    quint64 repeatsDropped() const { return repeats; }

private:
    int current = 0;
    quint64 roundStartDrops = 0;
    int roundStartListed = 0;
    quint64 firstRoundDrops = 0;
    quint64 lost = 0;
    quint64 repeats = 0;
    bool previousAdded = true; // the round before the current one listed a new module (round 1 always counts)
};
