#include "modulesearch.h"

#include "deviceendpoint.h"
#include "frameconstants.h"
#include "receivepath.h"
#include "repeatedreplies.h"
#include "searchrounds.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QSet>
#include <QTimer>

#include <limits>

namespace {

// Datagrams taken from the endpoint at a time, between two looks at the clock.
constexpr int BatchSize = 256;
// Datagrams are taken for this long at a time; the rest waits for the next turn of the event loop, so that a flood
// cannot hold up the round's end.
constexpr qint64 SliceMs = 20;
// At a round's end, what already arrived is still taken for up to this long; the rest is dropped and counted.
constexpr qint64 LateRepliesMs = 250;

void dropWaiting(DeviceEndpoint &endpoint)
{
    endpoint.takeDatagrams(std::numeric_limits<int>::max());
}

} // namespace

SearchOutcome runSearch(DeviceEndpoint &endpoint, const SearchPlan &plan, const ReplyHandler &onReply)
{
    SearchOutcome outcome;
    QEventLoop loop;
    bool satisfied = false;
    RepeatedReplies repeats;
    ReplyCollector modules;
    const auto takeReply = [&](const ArrivedDatagram &datagram) {
        if (satisfied || (plan.interfaceIndex > 0 && datagram.interfaceIndex != plan.interfaceIndex)
            || repeats.isRepeat(datagram))
            return;
        const std::optional<DeviceRecord> reply = hearModuleReply(datagram.toNetworkDatagram());
        if (!reply)
            return;
        repeats.rememberReply(datagram);
        modules.add(*reply);
        if (onReply(*reply)) {
            satisfied = true;
            loop.quit();
        }
    };
    QTimer resume;
    resume.setSingleShot(true);
    // True when nothing is left to take.
    const auto takeRepliesFor = [&](qint64 ms) {
        QElapsedTimer slice;
        slice.start();
        while (!satisfied && endpoint.takeDatagrams(BatchSize, takeReply) > 0) {
            if (slice.elapsed() >= ms)
                return false;
        }
        return true;
    };
    const auto takeReplies = [&] {
        if (!takeRepliesFor(SliceMs))
            resume.start(0);
    };
    QObject::connect(&resume, &QTimer::timeout, &loop, takeReplies);
    QObject::connect(&endpoint, &DeviceEndpoint::datagramsArrived, &loop, takeReplies);
    // After connecting: the endpoint signals only when its queue turns from empty to not empty.
    dropWaiting(endpoint);

    int requestsSent = 0; // in this round
    // Nothing can answer once every copy of every request has failed: no reason to wait out the time.
    const auto endWhenNothingLeft = [&] {
        if (requestsSent == plan.requests && outcome.allSendsFailed())
            loop.quit();
    };
    QObject::connect(&endpoint, &DeviceEndpoint::sendFailed, &loop, [&](const QString &reason) {
        outcome.sendErrors << reason;
        endWhenNothingLeft();
    });

    const QByteArray request(DiscoveryRequest, DiscoveryRequestSize);
    QTimer repeat;
    const auto sendRequest = [&] {
        if (plan.interfaceIndex > 0) {
            endpoint.sendBroadcast(request, plan.interfaceIndex);
            ++outcome.copiesSent;
        } else {
            outcome.copiesSent += endpoint.sendBroadcastEverywhere(request);
        }
        if (++requestsSent == plan.requests)
            repeat.stop();
    };
    QObject::connect(&repeat, &QTimer::timeout, &loop, sendRequest);
    const auto startRound = [&] {
        requestsSent = 0;
        sendRequest();
        if (requestsSent < plan.requests)
            repeat.start(qMax(1, plan.durationMs / plan.requests));
    };

    SearchRounds rounds;
    QTimer roundEnd;
    roundEnd.setSingleShot(true);
    QObject::connect(&roundEnd, &QTimer::timeout, &loop, [&] {
        // What already arrived belongs to this round, as far as a moment allows: under a flood the rest is
        // dropped and counted, so that the round ends on time and knows that replies may be missing.
        resume.stop();
        if (!takeRepliesFor(LateRepliesMs))
            endpoint.discardDatagrams();
        if (satisfied)
            return;
        if (rounds.endRound(endpoint.droppedDatagrams(), modules.size()) == SearchRounds::Next::Done) {
            loop.quit();
            return;
        }
        startRound();
        roundEnd.start(plan.durationMs);
    });

    rounds.begin(endpoint.droppedDatagrams(), 0);
    startRound();
    roundEnd.start(plan.durationMs);
    loop.exec();
    outcome.rounds = rounds.round();
    outcome.droppedInFirstRound = rounds.droppedInFirstRound();
    outcome.lostReplies = satisfied ? 0 : rounds.lostReplies();
    // The failure of a copy may still be on its way when the time is up: every copy sent is judged, whatever the
    // timeout.
    const QStringList failed = endpoint.flushSends();
    if (failed.size() > outcome.sendErrors.size())
        outcome.sendErrors = failed;
    return outcome;
}

QHash<QString, QStringList> searchUntilReported(DeviceEndpoint &endpoint, const SearchPlan &plan,
                                                const QList<DeviceRecord> &sent, const ReportCheck &check)
{
    QHash<QString, DeviceRecord> expected;
    for (const DeviceRecord &record : sent)
        expected.insert(record.macAddress, record);
    QHash<QString, QStringList> remaining;
    for (const DeviceRecord &record : sent)
        remaining.insert(record.macAddress, {QStringLiteral("did not answer the read-back search")});
    QSet<QString> confirmed;

    runSearch(endpoint, plan, [&](const DeviceRecord &reply) {
        const auto wanted = expected.constFind(reply.macAddress);
        if (wanted == expected.constEnd() || confirmed.contains(reply.macAddress))
            return false;
        const QStringList left = check(*wanted, reply);
        remaining.insert(reply.macAddress, left);
        if (left.isEmpty())
            confirmed.insert(reply.macAddress);
        return confirmed.size() == expected.size();
    });
    return remaining;
}
