#pragma once

#include "devicerecord.h"

#include <QHash>
#include <QList>
#include <QStringList>

#include <functional>

class DeviceEndpoint;

// How a search asks: for how long replies are taken, how often the request goes out in that time, and through
// which adapter. A search whose replies the system dropped takes further rounds of the same plan (SearchRounds).
struct SearchPlan {
    int durationMs = 1500; // of one round
    int requests = 1; // spread evenly over the duration, the first at once
    int interfaceIndex = 0; // 0: through every adapter that can broadcast; else only there, and replies only from there
};

struct SearchOutcome {
    int copiesSent = 0; // one per request and adapter
    QStringList sendErrors; // the system's text for each copy that could not be sent
    int rounds = 1; // more than one when the system dropped replies
    quint64 droppedInFirstRound = 0; // replies the system dropped for want of room after the first request
    // Replies still dropped in the last round when the rounds ran out: modules may be missing from the result.
    quint64 lostReplies = 0;
    bool allSendsFailed() const { return copiesSent > 0 && sendErrors.size() >= copiesSent; }
};

// Called with each module reply as it arrives (sourceIp and interfaceIndex filled in); returns true when the
// search has what it needs.
using ReplyHandler = std::function<bool(const DeviceRecord &reply)>;

// How a module's reply differs from what it was sent, one line per difference; none when it reports it all.
using ReportCheck = std::function<QStringList(const DeviceRecord &sent, const DeviceRecord &reported)>;

// Searches until every module sent a configuration reports it (check finds no difference), or the plan's time is
// up. Per MAC, the differences that remain: none when the module confirmed, one line saying so when it never
// answered.
QHash<QString, QStringList> searchUntilReported(DeviceEndpoint &endpoint, const SearchPlan &plan,
                                                const QList<DeviceRecord> &sent, const ReportCheck &check);

// Sends the discovery request and hands every reply that passes the receive filters to onReply, until onReply
// is satisfied or the plan's time is up; then asks again while the system drops replies (SearchRounds). A reply
// heard before in the same search, byte for byte from the same sender, is not handed over again. Datagrams that
// arrived before the call are dropped unread.
SearchOutcome runSearch(DeviceEndpoint &endpoint, const SearchPlan &plan, const ReplyHandler &onReply);
