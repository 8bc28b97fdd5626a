// The small controls the main window is made of.
#include "player/Controls.h"

#include <QSignalSpy>
#include <QtTest>

class TestControls : public QObject {
    Q_OBJECT
private slots:
    void latchedButtonCannotBeSetUpUntilReleasable();
    void plainButtonNeverStaysDown();
    void clickTogglesDownBeforeTheHandlerRuns();
    void numGlyphsTwoShowsTheLeftHalf();
    void trackBarReportsEveryNotificationEvenWithoutMove();
    void listClickOnlyForTheUsersSelection();
};

void TestControls::latchedButtonCannotBeSetUpUntilReleasable()
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

void TestControls::plainButtonNeverStaysDown()
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

void TestControls::clickTogglesDownBeforeTheHandlerRuns()
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

void TestControls::numGlyphsTwoShowsTheLeftHalf()
{
    TSpeedButton b;
    QPixmap glyph(23, 25);
    b.SetGlyph(glyph);
    QCOMPARE(b.ShownGlyph().size(), QSize(23, 25));
    b.SetNumGlyphs(2);
    QCOMPARE(b.ShownGlyph().size(), QSize(11, 25));
}

void TestControls::trackBarReportsEveryNotificationEvenWithoutMove()
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

void TestControls::listClickOnlyForTheUsersSelection()
{
    TListBox list;
    list.SetNames({"a.mp3", "b.mp3", "c.wav"});
    list.resize(200, 200);
    QSignalSpy clicks(&list, &TListBox::Click);
    list.SetItemIndex(1);
    list.SetItemIndex(-1);
    QCOMPARE(list.ItemIndex(), -1);
    QCOMPARE(clicks.count(), 0);
    list.SetItemIndex(0);
    QTest::keyClick(&list, Qt::Key_Down);
    QCOMPARE(list.ItemIndex(), 1);
    QCOMPARE(clicks.count(), 1);
    QTest::keyClick(&list, Qt::Key_C); // a typed letter selects by name
    QCOMPARE(list.ItemIndex(), 2);
    QCOMPARE(clicks.count(), 2);
    QTest::keyClick(&list, Qt::Key_Down); // nothing below: no selection change, no click
    QCOMPARE(clicks.count(), 2);
    // The right button opens the menu and leaves the selection alone.
    const QRect first = list.visualItemRect(list.item(0));
    QTest::mouseClick(list.viewport(), Qt::RightButton, {}, first.center());
    QCOMPARE(list.ItemIndex(), 2);
    QCOMPARE(clicks.count(), 2);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, first.center());
    QCOMPARE(list.ItemIndex(), 0);
    QCOMPARE(clicks.count(), 3);
}

QTEST_MAIN(TestControls)
#include "test_controls.moc"
