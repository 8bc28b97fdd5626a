// The small controls the main window is made of.
#include "player/ClockLabel.h"
#include "player/Controls.h"
#include "player/Glyphs.h"
#include "runtime/TextCodec.h"

#include <QSignalSpy>
#include <QStyledItemDelegate>
#include <QtTest>

class TestControls : public QObject {
    Q_OBJECT
private slots:
    // The clock draws its characters from what it prepared before: what shows is what a label
    // would show, text after text, whatever it drew before.
    void clockLooksAsALabelWithTheSameText()
    {
        QFont f(QStringLiteral("Courier New"));
        f.setPixelSize(20);
        f.setBold(true);
        ClockLabel clock(QStringLiteral("0:00"));
        QLabel label(QStringLiteral("0:00"));
        for (QLabel *l : {static_cast<QLabel *>(&clock), &label}) {
            l->setFont(f);
            l->setTextFormat(Qt::PlainText);
            QPalette p = l->palette();
            p.setColor(QPalette::Window, Qt::yellow);
            p.setColor(QPalette::WindowText, Qt::darkBlue);
            l->setPalette(p);
            l->setAutoFillBackground(true);
            l->resize(80, 30);
        }
        for (const char *text : {"0:00", "0:01", "0:10", "10:01", "1:23", "59:59", "0:00"}) {
            clock.setText(QString::fromLatin1(text));
            label.setText(QString::fromLatin1(text));
            const QImage got = clock.grab().toImage(), want = label.grab().toImage();
            QCOMPARE(got.size(), want.size());
            int differing = 0;
            for (int y = 0; y < got.height(); ++y)
                for (int x = 0; x < got.width(); ++x)
                    differing += got.pixel(x, y) != want.pixel(x, y);
            QVERIFY2(differing == 0, qPrintable(QStringLiteral("%1: %2 pixels differ").arg(text).arg(differing)));
        }
    }

    void latchedButtonCannotBeSetUpUntilReleasable()
    {
        TSpeedButton b;
        b.SetGroupIndex(2);
        b.SetDown(true);
        b.SetAllowAllUp(false);
        b.SetDown(false);
        QVERIFY(b.Down());
        b.SetAllowAllUp(true);
        b.SetDown(false);
        QVERIFY(!b.Down());
    }

    void plainButtonNeverStaysDown()
    {
        TSpeedButton b;
        QSignalSpy clicks(&b, &TSpeedButton::Click);
        b.SetDown(true);
        QVERIFY(!b.Down());
        QTest::mouseClick(&b, Qt::LeftButton);
        QCOMPARE(clicks.count(), 1);
        QVERIFY(!b.Down());
        // A press released outside the button is no click.
        b.resize(30, 20);
        QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseRelease(&b, Qt::LeftButton, {}, QPoint(50, 50));
        QCOMPARE(clicks.count(), 1);
    }

    void clickTogglesDownBeforeTheHandlerRuns()
    {
        TSpeedButton b;
        b.SetGroupIndex(3);
        QList<bool> seen;
        connect(&b, &TSpeedButton::Click, this, [&] { seen << b.Down(); });
        b.resize(30, 20);
        QTest::mouseClick(&b, Qt::LeftButton);
        QCOMPARE(seen, QList<bool>{true});
        b.SetAllowAllUp(false); // latched: the click can't raise it
        QTest::mouseClick(&b, Qt::LeftButton);
        QCOMPARE(seen, (QList<bool>{true, true}));
        QTest::mouseClick(&b, Qt::RightButton);
        QCOMPARE(seen.size(), 2);
    }

    void numGlyphsTwoShowsTheLeftHalf()
    {
        TSpeedButton b;
        QPixmap glyph(23, 25);
        b.SetGlyph(glyph);
        QCOMPARE(b.ShownGlyph().size(), QSize(23, 25));
        b.SetNumGlyphs(2);
        QCOMPARE(b.ShownGlyph().size(), QSize(11, 25));
    }

    void repeatPictureHasAnArrowHeadInTheHalfItShowsForOneSong()
    {
        // The head is drawn in blue outlined in black, the loop in navy. Column by
        // column, from its base to its tip, the head must narrow steadily over
        // several columns, from well over the loop's 2-pixel line down to its tip:
        // a head that reads as one, not a blob on the line.
        TSpeedButton b;
        b.SetGlyph(glyphs::Repeat());
        b.SetNumGlyphs(2);
        const QImage half = b.ShownGlyph().toImage();
        QList<int> heights;
        for (int x = 0; x < half.width(); ++x) {
            int n = 0;
            for (int y = 0; y < half.height(); ++y) {
                const QRgb p = half.pixel(x, y);
                n += qAlpha(p) == 255 && (p == qRgb(0, 0, 255) || p == qRgb(0, 0, 0));
            }
            if (n > 0)
                heights << n;
        }
        QVERIFY2(heights.size() >= 4, qPrintable(QStringLiteral("head only %1 columns wide").arg(heights.size())));
        QVERIFY(heights.first() >= 7);
        QVERIFY(heights.last() <= 2);
        for (qsizetype i = 1; i < heights.size(); ++i)
            QVERIFY2(heights[i] < heights[i - 1], "the head does not narrow towards its tip");
    }

    void trackBarReportsEveryNotificationEvenWithoutMove()
    {
        TTrackBar bar(Qt::Vertical);
        bar.setRange(0, 20);
        bar.setInvertedAppearance(true);
        bar.setInvertedControls(true);
        QSignalSpy changes(&bar, &TTrackBar::Change);
        bar.setValue(7); // the program moves it
        QCOMPARE(changes.count(), 1);
        bar.setValue(7); // no move, no notification
        QCOMPARE(changes.count(), 1);
        QTest::keyClick(&bar, Qt::Key_Down); // a step down the screen raises the position
        QCOMPARE(bar.value(), 8);
        QCOMPARE(changes.count(), 3); // the step and the end of the action
        bar.setValue(20);
        changes.clear();
        QTest::keyClick(&bar, Qt::Key_End);
        QCOMPARE(changes.count(), 1); // at the end already: only the end of the action
        bar.SetMax(20000);
        QCOMPARE(bar.tickInterval(), 20000);
        bar.SetMax(10000);
        QCOMPARE(bar.tickInterval(), 1);
    }

    void listClickOnlyForTheUsersSelection()
    {
        TListBox list;
        list.SetNames({"a.mp3", "b.mp3", "c.wav"});
        list.resize(200, 200);
        QSignalSpy clicks(&list, &TListBox::Click);
        // The selection, then the clicks so far.
        const auto state = [&] { return QStringLiteral("%1 %2").arg(list.ItemIndex()).arg(clicks.count()); };
        const auto key = [&](Qt::Key k, Qt::KeyboardModifiers m = {}) { QTest::keyClick(&list, k, m); return state(); };
        const auto click = [&](Qt::MouseButton button, QPoint at, Qt::KeyboardModifiers m = {}) {
            QTest::mouseClick(list.viewport(), button, m, at);
            return state();
        };
        list.SetItemIndex(1);
        list.SetItemIndex(-1);
        QCOMPARE(state(), "-1 0");
        list.SetItemIndex(0);
        QCOMPARE(key(Qt::Key_Down), "1 1");
        QCOMPARE(key(Qt::Key_C), "2 2");    // a typed letter selects by name
        QCOMPARE(key(Qt::Key_Down), "2 2"); // nothing below: no selection change, no click
        QCOMPARE(key(Qt::Key_Home), "0 3");
        QCOMPARE(key(Qt::Key_End), "2 4");
        clicks.clear();
        // Every row is 13 pixels high, one under the other.
        QCOMPARE(list.visualItemRect(list.item(0)).height(), 13);
        QCOMPARE(list.visualItemRect(list.item(2)).top() - list.visualItemRect(list.item(0)).top(), 26);
        QVERIFY(!list.item(3).isValid());
        // A row is one line: control characters show as their symbols.
        const auto *rows = static_cast<QStyledItemDelegate *>(list.itemDelegate());
        QCOMPARE(rows->displayText(QStringLiteral("a\nb\x01"), QLocale()), QStringLiteral("a\u240ab\u2401"));
        // The right button opens the menu and leaves the selection alone.
        const QPoint first = list.visualItemRect(list.item(0)).center(), below(first.x(), 150);
        QCOMPARE(click(Qt::RightButton, first), "2 0");
        QCOMPARE(click(Qt::LeftButton, first), "0 1");
        // Below the last row: no entry, no click, and the current entry stays selected
        // (with none, the play commands and the advance would have nothing to play).
        QCOMPARE(click(Qt::LeftButton, below), "0 1");
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, below);
        QCOMPARE(state(), "0 1");
        // Ctrl+click (on its release) and Ctrl+Space would take Qt's selection off the entry.
        QVERIFY(click(Qt::LeftButton, first, Qt::ControlModifier).startsWith(QLatin1String("0 ")));
        QCOMPARE(key(Qt::Key_Space, Qt::ControlModifier), "0 2"); // the click replays the entry, as any click on it does
        // New names: nothing selected, and no click for it.
        list.SetNames({"x.mp3"});
        QCOMPARE(state(), "-1 2");
        QCOMPARE(list.Count(), 1);
    }

    // The sort command's order: letter case ignored, whole texts compared (also past the
    // first eight characters and beyond ASCII), equal texts kept in their order, each
    // name's bytes going with its text.
    void listSortIgnoresCaseAndKeepsPositionAndBytes_data()
    {
        QTest::addColumn<QList<QByteArray>>("names");
        QTest::addColumn<QList<QByteArray>>("sorted");
        QTest::newRow("letter case ignored") << QList<QByteArray>{"B.mp3", "a.mp3", "c.mp3"}
                                             << QList<QByteArray>{"a.mp3", "B.mp3", "c.mp3"};
        QTest::newRow("equal but for case keep their order") << QList<QByteArray>{"a.mp3", "B.mp3", "A.mp3", "b.mp3"}
                                                             << QList<QByteArray>{"a.mp3", "A.mp3", "B.mp3", "b.mp3"};
        QTest::newRow("alike past eight characters")
            << QList<QByteArray>{"Track Number 10.mp3", "track number 09.mp3"}
            << QList<QByteArray>{"track number 09.mp3", "Track Number 10.mp3"};
        QTest::newRow("shorter first") << QList<QByteArray>{"Zz", "Zy", "z"} << QList<QByteArray>{"z", "Zy", "Zz"};
        // "\xdf\xe1" is windows-1251 for "Яб", after the UTF-8 "яа".
        QTest::newRow("Cyrillic") << QList<QByteArray>{"\xdf\xe1.mp3", "b.mp3", "\xd1\x8f\xd0\xb0.mp3"}
                                  << QList<QByteArray>{"b.mp3", "\xd1\x8f\xd0\xb0.mp3", "\xdf\xe1.mp3"};
    }
    void listSortIgnoresCaseAndKeepsPositionAndBytes()
    {
        QFETCH(QList<QByteArray>, names);
        QFETCH(QList<QByteArray>, sorted);
        TListBox list;
        list.SetNames(names);
        list.SetItemIndex(1);
        QSignalSpy clicks(&list, &TListBox::Click);
        list.SortByName();
        QList<QByteArray> bytes;
        QStringList texts, expectedTexts;
        for (int i = 0; i < list.Count(); ++i) {
            bytes << list.NameBytes(i);
            texts << list.NameText(i);
            expectedTexts << DisplayText(sorted[i]);
        }
        QCOMPARE(bytes, sorted);
        QCOMPARE(texts, expectedTexts);
        // The selection keeps its position number, whichever name it now holds.
        QCOMPARE(list.ItemIndex(), 1);
        QCOMPARE(clicks.count(), 0);
        QCOMPARE(list.NameText(list.Count()), QString());
        QCOMPARE(list.NameBytes(-1), QByteArray());
    }
};

QTEST_MAIN(TestControls)
#include "tst_controls.moc"
