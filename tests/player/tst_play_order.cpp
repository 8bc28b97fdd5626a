// The play order: the entry after a finished track, and after next and previous, from the
// selected index, the list's size, the repeat mode and the random order, with a scripted draw.
#include "player/PlayOrder.h"

#include <QtTest>

namespace {
enum Command { TrackEnds, Next, Previous };
const PlayOrderRule rules[] = {AfterTrackEnds, NextEntry, PreviousEntry};
} // namespace

class TestPlayOrder : public QObject {
    Q_OBJECT
private slots:
    void choosesTheEntry_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("repeat");
        QTest::addColumn<bool>("shuffled");
        QTest::addColumn<int>("pick");     // what the generator draws, when it is asked
        QTest::addColumn<int>("move");     // PlayStep::Move
        QTest::addColumn<int>("selected"); // for Select
        QTest::addColumn<int>("draws");
        const int S = PlayStep::Select, K = PlayStep::Keep, E = PlayStep::End;
        // After a track: n entries, repeat off / song / list, in order or shuffled.
        QTest::newRow("end: off, middle: the next") << +TrackEnds << 1 << 3 << 0 << false << 0 << S << 2 << 0;
        QTest::newRow("end: off, none selected: the first") << +TrackEnds << -1 << 3 << 0 << false << 0 << S << 0 << 0;
        QTest::newRow("end: off, last: ends") << +TrackEnds << 2 << 3 << 0 << false << 0 << E << 0 << 0;
        QTest::newRow("end: off, shuffled, middle: the pick") << +TrackEnds << 1 << 5 << 0 << true << 3 << S << 3 << 1;
        QTest::newRow("end: off, shuffled, last: ends") << +TrackEnds << 4 << 5 << 0 << true << 1 << E << 0 << 0;
        QTest::newRow("end: song, first: again") << +TrackEnds << 0 << 3 << 1 << false << 0 << K << 0 << 0;
        QTest::newRow("end: song, last: again") << +TrackEnds << 2 << 3 << 1 << false << 0 << K << 0 << 0;
        QTest::newRow("end: song, shuffled: again, no draw") << +TrackEnds << 1 << 5 << 1 << true << 3 << K << 0 << 0;
        QTest::newRow("end: list, middle: the next") << +TrackEnds << 1 << 3 << 2 << false << 0 << S << 2 << 0;
        QTest::newRow("end: list, last: the first") << +TrackEnds << 2 << 3 << 2 << false << 1 << S << 0 << 0;
        QTest::newRow("end: list, one entry: again") << +TrackEnds << 0 << 1 << 2 << false << 0 << S << 0 << 0;
        QTest::newRow("end: list, shuffled, middle: the pick") << +TrackEnds << 2 << 5 << 2 << true << 4 << S << 4 << 1;
        QTest::newRow("end: list, shuffled, last: the pick") << +TrackEnds << 4 << 5 << 2 << true << 2 << S << 2 << 1;
        QTest::newRow("end: list, shuffled: itself again") << +TrackEnds << 1 << 5 << 2 << true << 1 << S << 1 << 1;
        // The folder was changed to an empty one while the track played.
        QTest::newRow("end: emptied, off: ends") << +TrackEnds << -1 << 0 << 0 << false << 0 << E << 0 << 0;
        QTest::newRow("end: emptied, song: nothing to play") << +TrackEnds << -1 << 0 << 1 << true << 0 << K << 0 << 0;
        QTest::newRow("end: emptied, list, shuffled: no draw") << +TrackEnds << -1 << 0 << 2 << true << 0 << S << -1 << 0;
        // Next and previous: shuffled only, never a wrap, whatever the repeat mode.
        QTest::newRow("next: middle") << +Next << 1 << 3 << 0 << false << 0 << S << 2 << 0;
        QTest::newRow("next: none selected: the first") << +Next << -1 << 3 << 0 << false << 2 << S << 0 << 0;
        QTest::newRow("next: none selected, shuffled") << +Next << -1 << 3 << 0 << true << 2 << S << 2 << 1;
        QTest::newRow("next: shuffled: the pick") << +Next << 1 << 5 << 0 << true << 4 << S << 4 << 1;
        QTest::newRow("next: last: restarts") << +Next << 2 << 3 << 0 << false << 0 << K << 0 << 0;
        QTest::newRow("next: last, list: no wrap") << +Next << 2 << 3 << 2 << false << 0 << K << 0 << 0;
        QTest::newRow("next: last, shuffled: no draw") << +Next << 4 << 5 << 0 << true << 1 << K << 0 << 0;
        QTest::newRow("next: empty list") << +Next << -1 << 0 << 2 << true << 0 << K << 0 << 0;
        QTest::newRow("previous: middle") << +Previous << 2 << 3 << 0 << false << 0 << S << 1 << 0;
        QTest::newRow("previous: shuffled: the pick") << +Previous << 3 << 5 << 0 << true << 4 << S << 4 << 1;
        QTest::newRow("previous: first: restarts") << +Previous << 0 << 3 << 0 << false << 2 << K << 0 << 0;
        QTest::newRow("previous: first, list: no wrap") << +Previous << 0 << 3 << 2 << false << 2 << K << 0 << 0;
        QTest::newRow("previous: first, shuffled: no draw") << +Previous << 0 << 5 << 0 << true << 3 << K << 0 << 0;
        QTest::newRow("previous: none selected") << +Previous << -1 << 3 << 0 << false << 2 << K << 0 << 0;
    }
    void choosesTheEntry()
    {
        QFETCH(int, command);
        QFETCH(int, index);
        QFETCH(int, count);
        QFETCH(int, repeat);
        QFETCH(bool, shuffled);
        QFETCH(int, pick);
        QFETCH(int, move);
        int drawn = 0, drawnFrom = 0;
        const PlayStep step = rules[command]({index, count, repeat, shuffled}, [&](int n) {
            ++drawn;
            drawnFrom = n;
            return pick;
        });
        QCOMPARE(int(step.move), move);
        if (move == PlayStep::Select)
            QTEST(step.index, "selected");
        QTEST(drawn, "draws"); // the generator is drawn from only for a pick
        if (drawn)
            QCOMPARE(drawnFrom, count); // out of all the entries
    }

    // The pick is uniform over all the entries, the selected one included.
    void uniformEntrySpreadsEvenly()
    {
        std::mt19937 random(20261207);
        int seen[5] = {};
        for (int i = 0; i < 2000; ++i) {
            const int e = UniformEntry(random, 5);
            QVERIFY(e >= 0 && e < 5);
            ++seen[e];
        }
        double chi = 0; // chi-square with 4 degrees of freedom; 18.47 is its 0.1% point
        for (int c : seen)
            chi += (c - 400.0) * (c - 400.0) / 400.0;
        QVERIFY2(chi < 18.47, qPrintable(QStringLiteral("chi-square %1").arg(chi)));
    }
};

QTEST_APPLESS_MAIN(TestPlayOrder)
#include "tst_play_order.moc"
