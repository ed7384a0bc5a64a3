#include "deviceendpoint.h"
#include "framekey.h"
#include "modulesearch.h"
#include "playedmodules.h"
#include "privatenetwork.h"
#include "searchrounds.h"

#include <QHash>
#include <QSet>
#include <QtTest>

namespace {

// The endpoint's receive queue is capped (KESTREL_RCVBUF_CAP, see CMakeLists.txt) at room for a few dozen
// datagrams: this many surely overflow it while its reader is held; the listener, on the stock queue, holds them.
constexpr int Modules = 100;
// Replies sent at a time while the endpoint reads: far fewer than its queue holds.
constexpr int Few = 8;
constexpr quint64 FirstMac = Q_UINT64_C(0x02D100000000);
// One round of the search; a round that ends before its replies are in only costs another round.
constexpr int RoundMs = 250;

} // namespace

// The search kestrelctl runs, in-process, against modules the test plays: with the endpoint's reader held while
// the first request is answered, drops are certain.
class TestModuleSearch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void withoutDropsOneRequestIsSent();
    void droppedModulesAreAskedForAgain();
    void repliesStillDroppedAreReported();

private:
    // The requests the endpoint sent before a sentinel sent behind them.
    static int requestsSent(DeviceEndpoint &endpoint, PlayedModules &segment);
};

void TestModuleSearch::initTestCase()
{
    setFrameKey(BuiltInFrameKey);
    const int granted = grantedReceiveQueue();
    QVERIFY2(granted > 0 && granted <= 65536,
             "receive buffers are not capped: run through ctest, which preloads the clamping library");
}

int TestModuleSearch::requestsSent(DeviceEndpoint &endpoint, PlayedModules &segment)
{
    endpoint.sendBroadcast(PlayedModules::sentinel());
    if (!segment.heardWithoutEvents([&] { return segment.sentinelHeard; }))
        return -1;
    return segment.requestsHeard;
}

void TestModuleSearch::withoutDropsOneRequestIsSent()
{
    DeviceEndpoint endpoint;
    QVERIFY(endpoint.bind());
    PlayedModules segment(Few, FirstMac);
    QVERIFY(segment.open());
    // The modules answer the first request the listener hears, from within the search's own event loop.
    QTimer modules;
    bool answered = false;
    connect(&modules, &QTimer::timeout, this, [&] {
        if (!answered && segment.heard([&] { return segment.requestsHeard >= 1; }))
            answered = segment.answer(segment.all());
    });
    modules.start(1);

    QStringList heard;
    const SearchOutcome outcome = runSearch(endpoint, {RoundMs, 1, 0}, [&](const DeviceRecord &reply) {
        heard << reply.macAddress;
        return false;
    });
    QVERIFY(answered);
    QCOMPARE(outcome.rounds, 1);
    QCOMPARE(outcome.droppedInFirstRound, quint64(0));
    QCOMPARE(outcome.lostReplies, quint64(0));
    QCOMPARE(requestsSent(endpoint, segment), 1);
    // However late the modules answered (on a busy machine, perhaps after the round), none was dropped or counted
    // twice.
    QVERIFY(heard.size() <= Few);
    QCOMPARE(heard.size(), QSet<QString>(heard.cbegin(), heard.cend()).size());
}

namespace {

// Fills the endpoint's receive queue while its reader is held, so that every datagram arriving after it is
// dropped, the search's own request among them: the first round surely drops.
bool fillQueue(DeviceEndpoint &endpoint, PlayedModules &segment)
{
    endpoint.holdReading(true);
    return segment.chatter(Modules) && segment.heardWithoutEvents([&] { return segment.chatterHeard >= Modules; });
}

} // namespace

// The first round drops, the modules' replies among them; from the first request the modules hear on, the reader
// runs again and the modules not heard yet answer, a few at a time as the search takes them, with a few heard ones
// again. Each module reaches the caller once.
void TestModuleSearch::droppedModulesAreAskedForAgain()
{
    if (!DeviceEndpoint::countsDrops())
        QSKIP("this reader cannot count drops, so it never asks again (repliesStillDroppedAreReported)");
    DeviceEndpoint endpoint;
    QVERIFY(endpoint.bind());
    PlayedModules segment(Modules, FirstMac);
    QVERIFY(segment.open());
    QVERIFY(fillQueue(endpoint, segment));

    QHash<QString, int> heard;
    QList<int> waiting; // modules still to answer the current round, a few at a time
    int answeredRounds = 0;
    const auto answerFew = [&] {
        const QList<int> few = waiting.mid(0, Few);
        waiting = waiting.mid(few.size());
        segment.answer(few);
    };
    QTimer modules;
    connect(&modules, &QTimer::timeout, this, [&] {
        if (!segment.heard([&] { return segment.requestsHeard > answeredRounds; }))
            return;
        if (answeredRounds++ == 0) {
            // Every module answers into the full queue, then the reader runs again.
            segment.answer(segment.all());
            segment.heardWithoutEvents([&] { return segment.repliesHeard >= Modules; });
            endpoint.holdReading(false);
            return;
        }
        waiting.clear();
        for (int i = 0; i < Modules; ++i) {
            if (!heard.contains(segment.mac(i)))
                waiting << i;
        }
        waiting << segment.all().mid(0, Few);
        answerFew();
    });
    modules.start(1);

    const SearchOutcome outcome = runSearch(endpoint, {RoundMs, 1, 0}, [&](const DeviceRecord &reply) {
        ++heard[reply.macAddress];
        // The next few once the last few are in.
        if (!waiting.isEmpty() && heard.size() % Few == 0)
            answerFew();
        return false;
    });
    QVERIFY(outcome.droppedInFirstRound > 0);
    // Round 2 brings what round 1 dropped, round 3 nothing new; a machine so slow that a round ended before its
    // replies were in takes more.
    QVERIFY2(outcome.rounds >= 3 && outcome.rounds <= SearchRounds::MostRounds,
             qPrintable(QString::number(outcome.rounds)));
    QCOMPARE(outcome.lostReplies, quint64(0));
    QCOMPARE(requestsSent(endpoint, segment), outcome.rounds);
    QCOMPARE(heard.size(), Modules);
    for (auto it = heard.cbegin(); it != heard.cend(); ++it)
        QVERIFY2(it.value() == 1,
                 qPrintable(QStringLiteral("%1 reached the caller %2 times").arg(it.key()).arg(it.value())));
}

// A reader that never reads: every round drops, and the outcome says how many replies the last round lost.
void TestModuleSearch::repliesStillDroppedAreReported()
{
    DeviceEndpoint endpoint;
    QVERIFY(endpoint.bind());
    PlayedModules segment(Modules, FirstMac);
    QVERIFY(segment.open());
    QVERIFY(fillQueue(endpoint, segment));
    int answeredRounds = 0;
    QTimer modules;
    connect(&modules, &QTimer::timeout, this, [&] {
        if (segment.heard([&] { return segment.requestsHeard > answeredRounds; })) {
            ++answeredRounds;
            segment.answer(segment.all());
        }
    });
    modules.start(1);

    // Every round drops whenever the modules answer (the search's own request comes back to a full queue): the
    // rounds can be short.
    const SearchOutcome outcome = runSearch(endpoint, {RoundMs / 5, 1, 0}, [](const DeviceRecord &) { return false; });
    endpoint.holdReading(false);
    if (!DeviceEndpoint::countsDrops()) {
        // Nothing counts the drops (the portable reader, Windows): one request, and an outcome that cannot vouch
        // for the list.
        QCOMPARE(outcome.rounds, 1);
        QVERIFY(!outcome.dropsCounted);
        QCOMPARE(requestsSent(endpoint, segment), 1);
        return;
    }
    QVERIFY(outcome.dropsCounted);
    QCOMPARE(outcome.rounds, SearchRounds::MostRounds);
    QVERIFY(outcome.droppedInFirstRound > 0);
    QVERIFY(outcome.lostReplies > 0);
    QCOMPARE(requestsSent(endpoint, segment), SearchRounds::MostRounds);
}

KESTREL_NETWORK_TEST_MAIN(TestModuleSearch, QCoreApplication)
#include "tst_modulesearch.moc"
