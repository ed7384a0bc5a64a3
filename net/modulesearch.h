#pragma once

#include "devicerecord.h"
#include "readback.h"
#include "repeatedreplies.h"
#include "searchrounds.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>

#include <functional>

struct ArrivedDatagram;
class DeviceEndpoint;

// How a search asks: for how long replies are taken, how often the request goes out in that time, and through
// which adapter. A search whose replies the system dropped takes further rounds of the same plan (SearchRounds).
struct SearchPlan {
    // A round ends this long after its first request (0: only quiet ends it); what arrived by then is taken first.
    int durationMs = 1500;
    int requests = 1; // spread evenly over the duration, the first at once
    int interfaceIndex = 0; // 0: through every adapter that can broadcast; else only there, and replies only from there
    // A round also ends once nothing came for this long and nothing waits to be taken (0: only the duration ends
    // it). The window's way: modules answer at once, and a burst keeps the port busy until its last reply.
    int quietMs = 0;
};

struct SearchOutcome {
    int copiesSent = 0; // one per request and adapter
    QStringList sendErrors; // the system's text for each copy that could not be sent
    int rounds = 1; // more than one when the system dropped replies
    quint64 droppedInFirstRound = 0; // replies the system dropped for want of room after the first request
    // Replies still dropped in the last round when the rounds ran out: modules may be missing from the result.
    quint64 lostReplies = 0;
    // Replies dropped in the last round when, as far as can be told, only modules already listed sent them (the
    // last two rounds added none): the list is very likely complete. Either this or lostReplies, never both.
    quint64 repeatsDropped = 0;
    int modules = 0; // different MACs that answered
    // 64-byte datagrams from port 1500 whose checksum failed after decryption: modules with another frame key, as a
    // rule (a module's reply is the same bytes every time, so each distinct one is counted once).
    int badChecksums = 0;
    // False where the system keeps no count of the replies it dropped (Windows) and the search ran its time out:
    // then nobody can tell whether modules are missing, and no further rounds are asked for on that account.
    bool dropsCounted = true;
    int receiveBufferBytes = 0; // the receive queue the system granted the device port
    bool allSendsFailed() const { return copiesSent > 0 && sendErrors.size() >= copiesSent; }
};

// Called with each module reply as it arrives (sourceIp and interfaceIndex filled in); returns true when the
// search has what it needs.
using ReplyHandler = std::function<bool(const DeviceRecord &reply)>;

// The search every program runs: sends the discovery request by a plan, takes what the device port hears, hands
// every module reply that passes the receive filters to the reply handler, and asks again in further rounds while
// the system drops replies. A reply heard before in the same search, byte for byte from the same sender, is not
// handed over again. The window listens all the time and takes datagrams in slices of its event loop; kestrelctl
// searches with a blocking call (runSearch) and ignores what arrives outside a search.
class ModuleSearch : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(ModuleSearch)

public:
    // Datagrams taken from the endpoint at a time, between two looks at the clock and the search's state.
    static constexpr int BatchSize = 32;

    explicit ModuleSearch(DeviceEndpoint &deviceEndpoint, QObject *parent = nullptr);

    void setReplyHandler(ReplyHandler handler) { onReply = std::move(handler); }
    // Listening: replies are handed over between searches too, and a search starts from what is queued; otherwise
    // what waits when a search starts is dropped unread.
    void setListening(bool listen) { listening = listen; }
    // Hands the thread back to the event loop after this much work and takes the rest on its next turn (0: takes
    // everything queued at once).
    void setSliceMs(int ms) { sliceMs = ms; }

    // A new search: forgets the last one (its replies, rounds and counts) and sends the first request.
    void start(const SearchPlan &plan);
    // Ends the search at once, without finished().
    void abandon();
    bool isRunning() const { return running; }
    const SearchOutcome &outcome() const { return result; }

    // One datagram the device port heard, as takeArrived hands it over.
    void take(const ArrivedDatagram &datagram);

public slots:
    // Takes what the device port heard: connect the endpoint's datagramsArrived here.
    void takeArrived();

signals:
    // The request went out: round 1 at the start, later rounds when the system dropped replies.
    void roundStarted(int round);
    // No more requests for this search; outcome() tells how it went.
    void finished();
    // A slice of the device port's datagrams was taken; more may follow on the next turn of the event loop.
    void sliceTaken();

private:
    void startRound();
    void sendRequest();
    void endRound();
    void finish(bool satisfied);
    void restartQuiet();

    DeviceEndpoint &endpoint;
    ReplyHandler onReply;
    bool listening = false;
    int sliceMs = 0;

    SearchPlan plan;
    SearchOutcome result;
    bool running = false;
    int requestsSent = 0; // in this round
    SearchRounds rounds;
    RepeatedReplies repeats;
    QSet<quint64> macs; // the MACs that answered this search, as their 48 bits
    QTimer repeat; // the next request of a round
    QTimer roundEnd; // the round's duration
    QTimer quiet; // nothing came for a while
    QTimer resume; // the rest of a burst, on the next turn of the event loop
};

// Searches by the plan, handing every reply to onReply until it is satisfied or the search ends; returns once it
// ended, with every copy of the request judged. Datagrams that arrived before the call are dropped unread.
SearchOutcome runSearch(DeviceEndpoint &endpoint, const SearchPlan &plan, const ReplyHandler &onReply);

// Searches until every module sent a configuration reports it (check finds no difference), or the plan's time is
// up. Per MAC, the differences that remain: none when the module confirmed, one line saying so when it never
// answered.
QHash<QString, QStringList> searchUntilReported(DeviceEndpoint &endpoint, const SearchPlan &plan,
                                                const QList<DeviceRecord> &sent, const ReportCheck &check);
