#include "modulesearch.h"

#include "arriveddatagram.h"
#include "deviceendpoint.h"
#include "frameconstants.h"
#include "receivepath.h"
#include "senderaddress.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkDatagram>

#include <limits>

namespace {

// The rest of a burst waits for the next turn of the event loop behind a timer, not a posted call, so that the
// user's clicks and other timers come first.
constexpr int ResumeMs = 1;
// kestrelctl's search takes datagrams for this long at a time, so that a flood cannot hold up the round's end.
constexpr int BlockingSliceMs = 20;
// At a round's end, what already arrived is still taken for up to this long; the rest is dropped and counted.
constexpr int LateRepliesMs = 250;

} // namespace

ModuleSearch::ModuleSearch(DeviceEndpoint &deviceEndpoint, QObject *parent)
    : QObject(parent)
    , endpoint(deviceEndpoint)
{
    repeat.setParent(this);
    roundEnd.setParent(this);
    quiet.setParent(this);
    resume.setParent(this);
    roundEnd.setSingleShot(true);
    quiet.setSingleShot(true);
    resume.setSingleShot(true);
    connect(&repeat, &QTimer::timeout, this, &ModuleSearch::sendRequest);
    connect(&roundEnd, &QTimer::timeout, this, [this] {
        // What already arrived belongs to this round, as far as a moment allows: under a flood the rest is dropped
        // and counted, so that the round ends on time and knows that replies may be missing.
        const int slice = sliceMs;
        sliceMs = LateRepliesMs;
        resume.stop();
        takeArrived();
        sliceMs = slice;
        if (!running)
            return;
        if (endpoint.hasDatagrams()) {
            resume.stop();
            endpoint.discardDatagrams();
        }
        endRound();
    });
    connect(&quiet, &QTimer::timeout, this, [this] {
        // Datagrams not taken yet belong to this round.
        if (endpoint.hasDatagrams() || resume.isActive()) {
            quiet.start(plan.quietMs);
            return;
        }
        endRound();
    });
    connect(&resume, &QTimer::timeout, this, &ModuleSearch::takeArrived);
    connect(&endpoint, &DeviceEndpoint::sendFailed, this, [this](const QString &reason) {
        if (!running)
            return;
        result.sendErrors << reason;
        // Nothing can answer once every copy of every request has failed: no reason to wait out the time.
        if (requestsSent == plan.requests && result.allSendsFailed())
            finish(false);
    });
}

void ModuleSearch::start(const SearchPlan &searchPlan)
{
    abandon();
    plan = searchPlan;
    plan.requests = qMax(1, plan.requests);
    result = SearchOutcome();
    repeats.clear();
    macs.clear();
    if (!listening)
        endpoint.takeDatagrams(std::numeric_limits<int>::max()); // what came before the search is not its answer
    running = true;
    rounds.begin(endpoint.droppedDatagrams(), 0);
    startRound();
}

void ModuleSearch::abandon()
{
    running = false;
    repeat.stop();
    roundEnd.stop();
    quiet.stop();
}

void ModuleSearch::startRound()
{
    requestsSent = 0;
    sendRequest();
    if (requestsSent < plan.requests)
        repeat.start(qMax(1, (plan.durationMs > 0 ? plan.durationMs : plan.quietMs) / plan.requests));
    if (plan.durationMs > 0)
        roundEnd.start(plan.durationMs);
    restartQuiet();
    emit roundStarted(rounds.round());
}

void ModuleSearch::sendRequest()
{
    const QByteArray request(DiscoveryRequest, DiscoveryRequestSize);
    if (plan.interfaceIndex > 0) {
        endpoint.sendBroadcast(request, plan.interfaceIndex);
        ++result.copiesSent;
    } else {
        result.copiesSent += endpoint.sendBroadcastEverywhere(request);
    }
    if (++requestsSent >= plan.requests)
        repeat.stop();
}

void ModuleSearch::restartQuiet()
{
    if (running && plan.quietMs > 0)
        quiet.start(plan.quietMs);
}

void ModuleSearch::endRound()
{
    quiet.stop();
    roundEnd.stop();
    if (rounds.endRound(endpoint.droppedDatagrams(), macs.size()) == SearchRounds::Next::AskAgain) {
        startRound();
        return;
    }
    finish(false);
}

void ModuleSearch::finish(bool satisfied)
{
    abandon();
    result.rounds = rounds.round();
    result.droppedInFirstRound = rounds.droppedInFirstRound();
    result.lostReplies = satisfied ? 0 : rounds.lostReplies();
    result.repeatsDropped = satisfied ? 0 : rounds.repeatsDropped();
    result.modules = macs.size();
    result.dropsCounted = satisfied || DeviceEndpoint::countsDrops();
    result.receiveBufferBytes = endpoint.receiveBufferBytes();
    emit finished();
}

void ModuleSearch::takeArrived()
{
    if (!running && !listening)
        return; // dropped unread when the next search starts
    QElapsedTimer slice;
    slice.start();
    const auto visit = [this](const ArrivedDatagram &datagram) { take(datagram); };
    int taken = 0;
    while ((running || listening) && (sliceMs <= 0 || slice.elapsed() < sliceMs)) {
        const int batch = endpoint.takeDatagrams(ModuleSearch::BatchSize, visit);
        if (batch == 0)
            break;
        taken += batch;
    }
    if (taken == 0)
        return;
    if (endpoint.hasDatagrams() && (running || listening))
        resume.start(ResumeMs);
    if (quiet.isActive())
        restartQuiet();
    emit sliceTaken();
}

void ModuleSearch::take(const ArrivedDatagram &datagram)
{
    if (!running && !listening)
        return;
    if (plan.interfaceIndex > 0 && datagram.interfaceIndex != plan.interfaceIndex)
        return;
    // A module answering a repeated request was heard already; its reply is known by its bytes, undecrypted.
    if (repeats.isRepeat(datagram))
        return;
    const QNetworkDatagram networkDatagram = datagram.toNetworkDatagram();
    const ReceivedDatagram received = hearDatagram(networkDatagram);
    if (received.kind == DatagramKind::BadChecksum) {
        if (running)
            ++result.badChecksums;
        return;
    }
    if (received.kind != DatagramKind::Reply)
        return;
    repeats.rememberReply(datagram);
    const DeviceRecord reply = decodeModuleReply(received.plainFrame, sourceIpText(networkDatagram.senderAddress()),
                                                 int(networkDatagram.interfaceIndex()));
    if (running && macs.size() < MostListedModules)
        macs.insert(reply.macAddress.toULongLong(nullptr, 16)); // 12 hex digits, as every reply's MAC
    if (onReply && onReply(reply) && running)
        finish(true);
}

SearchOutcome runSearch(DeviceEndpoint &endpoint, const SearchPlan &plan, const ReplyHandler &onReply)
{
    ModuleSearch search(endpoint);
    search.setReplyHandler(onReply);
    search.setSliceMs(BlockingSliceMs);
    QEventLoop loop;
    QObject::connect(&endpoint, &DeviceEndpoint::datagramsArrived, &search, &ModuleSearch::takeArrived);
    QObject::connect(&search, &ModuleSearch::finished, &loop, &QEventLoop::quit);
    // After connecting: the endpoint signals only when its queue turns from empty to not empty.
    search.start(plan);
    if (search.isRunning())
        loop.exec();
    SearchOutcome outcome = search.outcome();
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
    ReadBack readBack(sent, check);
    runSearch(endpoint, plan, [&](const DeviceRecord &reply) { return readBack.take(reply); });
    return readBack.remaining();
}
