#include "deviceendpoint.h"
#include "frameconstants.h"
#include "mainwindow.h"
#include "playedmodules.h"
#include "privatenetwork.h"
#include "ui_mainwindow.h"
#include "windowprobe.h"

#include <QApplication>
#include <QSet>
#include <QSignalSpy>
#include <QStatusBar>
#include <QtTest>

namespace {

// The window's receive queue is capped (KESTREL_RCVBUF_CAP, see CMakeLists.txt) at room for a few dozen replies:
// this many answering while its reader is held surely overflow it, and the test's own listener, on the stock
// queue, still holds them all.
constexpr int Modules = 100;
// Replies sent at a time while the window reads: far fewer than its queue holds.
constexpr int Few = 8;
constexpr quint64 FirstMac = Q_UINT64_C(0x02D000000000);

// The modules the window does not list yet.
QList<int> unlisted(const PlayedModules &segment, const DeviceList &listed)
{
    QSet<QString> macs;
    for (const DeviceRecord &record : listed)
        macs.insert(record.macAddress);
    QList<int> missing;
    for (int i = 0; i < segment.count(); ++i) {
        if (!macs.contains(segment.mac(i)))
            missing << i;
    }
    return missing;
}

} // namespace

// Replies the system drops while the window's queue is full: counted, asked for again until the list is complete,
// and said in the status bar when they cannot be had. The window's reader is held to make the drops certain.
class TestDroppedReplies : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void onePressIsOneRequestWithoutDrops();
    void droppedModulesAreAskedForAgain();
    void repliesStillDroppedAreReported_data();
    void repliesStillDroppedAreReported();

private:
    // Once the search has ended: the requests the window sent for it, counted up to a sentinel it sends behind them.
    int requestsOfTheSearch(MainWindow &window, PlayedModules &segment);
};

void TestDroppedReplies::initTestCase()
{
    const int granted = grantedReceiveQueue();
    QVERIFY2(granted > 0 && granted <= 65536,
             "receive buffers are not capped: run through ctest, which preloads the clamping library");
}

int TestDroppedReplies::requestsOfTheSearch(MainWindow &window, PlayedModules &segment)
{
    // The window's sends leave in order: whatever it sent for the search is heard before the sentinel.
    window.udpSocket->sendBroadcast(PlayedModules::sentinel());
    if (!segment.heardWithoutEvents([&] { return segment.sentinelHeard; }))
        return -1;
    return segment.requestsHeard;
}

void TestDroppedReplies::onePressIsOneRequestWithoutDrops()
{
    MainWindow window;
    PlayedModules segment(Modules, FirstMac);
    QVERIFY(segment.open());
    QSignalSpy finished(&window, &MainWindow::searchFinished);
    const QList<int> some = segment.all().mid(0, Few);
    bool answered = false;
    connect(&window, &MainWindow::searchRoundStarted, this, [&] {
        answered = segment.heardWithoutEvents([&] { return segment.requestsHeard >= 1; }) && segment.answer(some);
    });

    QTest::mouseClick(window.ui->pushButton_SearchDevice, Qt::LeftButton);
    QVERIFY(answered);
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(finished.first().at(0).toInt(), 1);
    QCOMPARE(finished.first().at(1).value<quint64>(), quint64(0));
    QCOMPARE(window.deviceList.size(), Few);
    QCOMPARE(requestsOfTheSearch(window, segment), 1);
}

// The first request is answered while the window's reader is held: most replies are dropped. Each later request is
// answered by the modules still missing, a few at a time as the window lists them, and by a few listed ones again.
void TestDroppedReplies::droppedModulesAreAskedForAgain()
{
    if (!DeviceEndpoint::countsDrops())
        QSKIP("this reader cannot count drops, so it never asks again (repliesStillDroppedAreReported)");
    MainWindow window;
    PlayedModules segment(Modules, FirstMac);
    QVERIFY(segment.open());
    QSignalSpy finished(&window, &MainWindow::searchFinished);
    const quint64 droppedBefore = window.udpSocket->droppedDatagrams();
    window.udpSocket->holdReading(true);
    bool firstAnswered = false;
    int roundsStarted = 0;
    connect(&window, &MainWindow::searchRoundStarted, this, [&](int round) {
        roundsStarted = round;
        if (round != 1)
            return;
        firstAnswered = segment.heardWithoutEvents([&] { return segment.requestsHeard >= 1; })
            && segment.answer(segment.all())
            && segment.heardWithoutEvents([&] { return segment.repliesHeard >= Modules; });
        window.udpSocket->holdReading(false);
    });

    QTest::mouseClick(window.ui->pushButton_SearchDevice, Qt::LeftButton);
    QVERIFY(firstAnswered);
    const quint64 dropped = window.udpSocket->droppedDatagrams() - droppedBefore;
    QVERIFY2(dropped > 0, "the held reader's queue did not overflow");
    QVERIFY(dropped < quint64(Modules));

    int answeredRounds = 1;
    const QDeadlineTimer deadline(KestrelWaitBoundMs);
    while (finished.isEmpty() && !deadline.hasExpired()) {
        if (segment.heard([&] { return segment.requestsHeard > answeredRounds; })) {
            ++answeredRounds;
            const QList<int> missing = unlisted(segment, window.deviceList);
            for (int first = 0; first < missing.size(); first += Few) {
                const QList<int> few = missing.mid(first, Few);
                QVERIFY(segment.answer(few));
                const int expected = Modules - missing.size() + first + few.size();
                QTRY_COMPARE(window.deviceList.size(), expected);
            }
            QVERIFY(segment.answer(segment.all().mid(0, Few)));
        }
        QTest::qWait(5);
    }
    QCOMPARE(finished.count(), 1);
    const int rounds = finished.first().at(0).toInt();
    // Round 2 adds what round 1 dropped, round 3 adds nothing; a machine so slow that a round ended between two
    // answers takes one more.
    QVERIFY2(rounds >= 3, qPrintable(QStringLiteral("%1 rounds").arg(rounds)));
    QCOMPARE(rounds, roundsStarted);
    QCOMPARE(finished.first().at(1).value<quint64>(), quint64(0));
    QCOMPARE(requestsOfTheSearch(window, segment), rounds);

    // Every module once, however often it answered.
    QCOMPARE(window.deviceList.size(), Modules);
    QVERIFY(unlisted(segment, window.deviceList).isEmpty());
    QCOMPARE(window.ui->tableWidget_DeviceList->rowCount(), Modules + 1);
}

void TestDroppedReplies::repliesStillDroppedAreReported_data()
{
    QTest::addColumn<bool>("chinese");
    QTest::addColumn<QString>("pattern");
    QTest::newRow("Chinese") << true << QStringLiteral("搜索5轮后仍有%1个回复被系统丢弃，列表可能不完整，请再次搜索");
    QTest::newRow("English") << false
                             << QStringLiteral("Replies the system dropped after 5 search rounds: %1. The list may "
                                               "be incomplete; search again.");
}

// A reader that never gets to read: every round drops, and after the last the status bar says how many replies
// were lost.
void TestDroppedReplies::repliesStillDroppedAreReported()
{
    QFETCH(bool, chinese);
    QFETCH(QString, pattern);
    MainWindow window;
    if (MainWindow::isChinese != chinese)
        window.on_pushButton_Yuyan_clicked();
    PlayedModules segment(Modules, FirstMac);
    QVERIFY(segment.open());
    QSignalSpy finished(&window, &MainWindow::searchFinished);
    window.udpSocket->holdReading(true);
    int answered = 0;
    connect(&window, &MainWindow::searchRoundStarted, this, [&](int round) {
        if (segment.heardWithoutEvents([&] { return segment.requestsHeard >= round; }) && segment.answer(segment.all())
            && segment.heardWithoutEvents([&] { return segment.repliesHeard >= round * Modules; }))
            ++answered;
    });

    QTest::mouseClick(window.ui->pushButton_SearchDevice, Qt::LeftButton);
    QTRY_COMPARE(finished.count(), 1);
    if (!DeviceEndpoint::countsDrops()) {
        // Nothing counts the drops: one request, and the status bar does not let the list pass for complete.
        QCOMPARE(finished.first().at(0).toInt(), 1);
        const QString status = window.statusBar()->currentMessage();
        QVERIFY2(status.endsWith(uncountedDropsNote(chinese)), qPrintable(status));
        QCOMPARE(requestsOfTheSearch(window, segment), 1);
        window.udpSocket->holdReading(false);
        return;
    }
    QCOMPARE(answered, 5);
    QCOMPARE(finished.first().at(0).toInt(), 5);
    const quint64 lost = finished.first().at(1).value<quint64>();
    // The queue stayed full: the last round dropped every reply, and the window's own request, which the segment
    // carries back to it.
    QVERIFY2(lost >= quint64(Modules) && lost <= quint64(Modules + 1), qPrintable(QString::number(lost)));
    QCOMPARE(window.statusBar()->currentMessage(), pattern.arg(lost));
    QCOMPARE(requestsOfTheSearch(window, segment), 5);
    window.udpSocket->holdReading(false);
}

KESTREL_NETWORK_TEST_MAIN(TestDroppedReplies, QApplication)
#include "tst_droppedreplies.moc"
