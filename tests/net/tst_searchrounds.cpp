#include "searchrounds.h"

#include <QtTest>

// When a search asks again, fed the drop total and the modules listed as each round ends: no socket is opened.
class TestSearchRounds : public QObject
{
    Q_OBJECT

private slots:
    void roundsFollowDrops_data();
    void roundsFollowDrops();
    void aNewSearchStartsAfresh();
};

// Each row: per round, the replies the system dropped and the modules it added; the search must take exactly
// these rounds and end with these replies still lost, or told as repeats of modules listed already.
void TestSearchRounds::roundsFollowDrops_data()
{
    QTest::addColumn<QVector<int>>("dropped");
    QTest::addColumn<QVector<int>>("added");
    QTest::addColumn<int>("rounds");
    QTest::addColumn<int>("lost");
    QTest::addColumn<int>("repeats");

    QTest::newRow("nothing dropped: one request") << QVector<int>({0}) << QVector<int>({40}) << 1 << 0 << 0;
    QTest::newRow("nobody answered") << QVector<int>({0}) << QVector<int>({0}) << 1 << 0 << 0;
    QTest::newRow("drops, then a quiet repeat") << QVector<int>({70, 0}) << QVector<int>({30, 0}) << 2 << 0 << 0;
    QTest::newRow("a repeat that adds asks once more")
        << QVector<int>({70, 0, 0}) << QVector<int>({30, 70, 0}) << 3 << 0 << 0;
    QTest::newRow("drops in the repeat too")
        << QVector<int>({70, 20, 0, 0}) << QVector<int>({30, 50, 20, 0}) << 4 << 0 << 0;
    QTest::newRow("a repeat that drops but adds nothing asks again")
        << QVector<int>({70, 5, 0}) << QVector<int>({30, 0, 0}) << 3 << 0 << 0;
    QTest::newRow("still dropping after the last round")
        << QVector<int>({70, 60, 50, 40, 30}) << QVector<int>({30, 10, 10, 10, 10}) << 5 << 30 << 0;
    QTest::newRow("the last round adds without drops")
        << QVector<int>({70, 60, 50, 40, 0}) << QVector<int>({30, 10, 10, 10, 40}) << 5 << 0 << 0;
    QTest::newRow("the last two rounds add nothing: the drops were repeats")
        << QVector<int>({70, 60, 50, 40, 30}) << QVector<int>({30, 10, 10, 0, 0}) << 5 << 0 << 30;
    QTest::newRow("only the last round adds nothing: modules may still be missing")
        << QVector<int>({70, 60, 50, 40, 30}) << QVector<int>({30, 10, 10, 10, 0}) << 5 << 30 << 0;
    QTest::newRow("the round before the last still added")
        << QVector<int>({70, 60, 50, 40, 30}) << QVector<int>({30, 0, 0, 10, 0}) << 5 << 30 << 0;
    QTest::newRow("nothing listed: nothing to repeat")
        << QVector<int>({70, 60, 50, 40, 30}) << QVector<int>({0, 0, 0, 0, 0}) << 5 << 30 << 0;
}

void TestSearchRounds::roundsFollowDrops()
{
    QFETCH(QVector<int>, dropped);
    QFETCH(QVector<int>, added);
    QFETCH(int, rounds);
    QFETCH(int, lost);
    QFETCH(int, repeats);

    // The endpoint's running total starts where earlier searches left it.
    quint64 dropTotal = 1000;
    int listed = 0;
    SearchRounds search;
    search.begin(dropTotal, listed);
    int taken = 0;
    for (;;) {
        QVERIFY2(taken < dropped.size(), "the search asked for more rounds than the row has");
        QCOMPARE(search.round(), taken + 1);
        dropTotal += quint64(dropped.at(taken));
        listed += added.at(taken);
        ++taken;
        if (search.endRound(dropTotal, listed) == SearchRounds::Next::Done)
            break;
    }
    QCOMPARE(taken, rounds);
    QCOMPARE(search.round(), rounds);
    QCOMPARE(search.lostReplies(), quint64(lost));
    QCOMPARE(search.repeatsDropped(), quint64(repeats));
    QCOMPARE(search.droppedInFirstRound(), quint64(dropped.first()));
}

// What an earlier search dropped or listed counts for nothing in the next one.
void TestSearchRounds::aNewSearchStartsAfresh()
{
    SearchRounds search;
    search.begin(0, 0);
    for (int round = 0; round < SearchRounds::MostRounds; ++round)
        search.endRound(quint64(100 * (round + 1)), 0);
    QCOMPARE(search.lostReplies(), quint64(100));

    search.begin(500, 7);
    QCOMPARE(search.round(), 1);
    QCOMPARE(search.lostReplies(), quint64(0));
    QCOMPARE(search.endRound(500, 7), SearchRounds::Next::Done);
    QCOMPARE(search.round(), 1);
    QCOMPARE(search.droppedInFirstRound(), quint64(0));
}

QTEST_GUILESS_MAIN(TestSearchRounds)
#include "tst_searchrounds.moc"
