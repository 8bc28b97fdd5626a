// The play order: the entry after a finished track, and after next and previous, from the
// selected index, the list's size, the repeat mode and the random order, with a scripted draw.
#include "player/PlayOrder.h"

#include <QtTest>

namespace {
enum Command { TrackEnds, Next, Previous };
const PlayOrderRule rules[] = {AfterTrackEnds, NextEntry, PreviousEntry};
// The command from the selected index over n entries, repeat off / song / list, in order or
// shuffled; what the generator draws when asked; the step (PlayStep::Move), the entry to
// select, and how often the generator was drawn from.
struct Case { int command, index, count, repeat; bool shuffled; int pick, move, selected, draws; };
} // namespace

class TestPlayOrder : public QObject {
    Q_OBJECT
private slots:
    void choosesTheEntry_data()
    {
        QTest::addColumn<Case>("c");
        const int S = PlayStep::Select, K = PlayStep::Keep, E = PlayStep::End;
        const auto row = [](const char *name, const Case &c) { QTest::newRow(name) << c; };
        row("end: off, middle: the next", {TrackEnds, 1, 3, 0, false, 0, S, 2, 0});
        row("end: off, none selected: the first", {TrackEnds, -1, 3, 0, false, 0, S, 0, 0});
        row("end: off, last: ends", {TrackEnds, 2, 3, 0, false, 0, E, 0, 0});
        row("end: off, shuffled, middle: the pick", {TrackEnds, 1, 5, 0, true, 3, S, 3, 1});
        row("end: off, shuffled, last: ends", {TrackEnds, 4, 5, 0, true, 1, E, 0, 0});
        row("end: song, first: again", {TrackEnds, 0, 3, 1, false, 0, K, 0, 0});
        row("end: song, last: again", {TrackEnds, 2, 3, 1, false, 0, K, 0, 0});
        row("end: song, shuffled: again, no draw", {TrackEnds, 1, 5, 1, true, 3, K, 0, 0});
        row("end: list, middle: the next", {TrackEnds, 1, 3, 2, false, 0, S, 2, 0});
        row("end: list, last: the first", {TrackEnds, 2, 3, 2, false, 1, S, 0, 0});
        row("end: list, one entry: again", {TrackEnds, 0, 1, 2, false, 0, S, 0, 0});
        row("end: list, shuffled, middle: the pick", {TrackEnds, 2, 5, 2, true, 4, S, 4, 1});
        row("end: list, shuffled, last: the pick", {TrackEnds, 4, 5, 2, true, 2, S, 2, 1});
        row("end: list, shuffled: itself again", {TrackEnds, 1, 5, 2, true, 1, S, 1, 1});
        // The folder was changed to an empty one while the track played.
        row("end: emptied, off: ends", {TrackEnds, -1, 0, 0, false, 0, E, 0, 0});
        row("end: emptied, song: nothing to play", {TrackEnds, -1, 0, 1, true, 0, K, 0, 0});
        row("end: emptied, list, shuffled: no draw", {TrackEnds, -1, 0, 2, true, 0, S, -1, 0});
        // Next and previous: shuffled only, never a wrap, whatever the repeat mode.
        row("next: middle", {Next, 1, 3, 0, false, 0, S, 2, 0});
        row("next: none selected: the first", {Next, -1, 3, 0, false, 2, S, 0, 0});
        row("next: none selected, shuffled", {Next, -1, 3, 0, true, 2, S, 2, 1});
        row("next: shuffled: the pick", {Next, 1, 5, 0, true, 4, S, 4, 1});
        row("next: last: restarts", {Next, 2, 3, 0, false, 0, K, 0, 0});
        row("next: last, list: no wrap", {Next, 2, 3, 2, false, 0, K, 0, 0});
        row("next: last, shuffled: no draw", {Next, 4, 5, 0, true, 1, K, 0, 0});
        row("next: empty list", {Next, -1, 0, 2, true, 0, K, 0, 0});
        row("previous: middle", {Previous, 2, 3, 0, false, 0, S, 1, 0});
        row("previous: shuffled: the pick", {Previous, 3, 5, 0, true, 4, S, 4, 1});
        row("previous: first: restarts", {Previous, 0, 3, 0, false, 2, K, 0, 0});
        row("previous: first, list: no wrap", {Previous, 0, 3, 2, false, 2, K, 0, 0});
        row("previous: first, shuffled: no draw", {Previous, 0, 5, 0, true, 3, K, 0, 0});
        row("previous: none selected", {Previous, -1, 3, 0, false, 2, K, 0, 0});
    }
    void choosesTheEntry()
    {
        QFETCH(Case, c);
        int drawn = 0, drawnFrom = 0;
        const PlayStep step = rules[c.command]({c.index, c.count, c.repeat, c.shuffled}, [&](int n) {
            ++drawn;
            drawnFrom = n;
            return c.pick;
        });
        QCOMPARE(int(step.move), c.move);
        if (c.move == PlayStep::Select)
            QCOMPARE(step.index, c.selected);
        QCOMPARE(drawn, c.draws); // the generator is drawn from only for a pick
        if (drawn)
            QCOMPARE(drawnFrom, c.count); // out of all the entries
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
