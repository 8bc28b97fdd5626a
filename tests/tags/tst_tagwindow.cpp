// The tag window: its crossed boxes, the restart of the track around the
// reading, and what it does when there is nothing to read.
#include "player/PlayerHarness.h"

#include <QGroupBox>
#include <QtTest>

namespace {

QByteArray Tag(const QByteArray &title, const QByteArray &album, const QByteArray &comment)
{
    QByteArray tag(128, '\0');
    tag.replace(0, 3, "TAG");
    tag.replace(3, title.size(), title);
    tag.replace(63, album.size(), album);
    tag.replace(97, comment.size(), comment);
    return tag;
}

// A player started on a folder of two tagged tracks.
struct TagWindowHarness : PlayerHarness {
    QByteArray folder = MakeFolder("music", {});
    TagWindowHarness()
    {
        WriteBytes(folder + "a.wav", MakeWav(3000) + Tag("Song A", "Record", "Note A"));
        WriteBytes(folder + "b.wav", MakeWav(3000) + Tag("Song B", "Record", "Note B"));
        Start(folder);
    }
    void PlayEntry(int index)
    {
        form->ListBox1->SetItemIndex(index);
        form->SpeedButton5Click();
    }
};

} // namespace

class TestTagWindow : public QObject {
    Q_OBJECT
private slots:
    void windowIsLaidOutWithCrossedBoxes()
    {
        TagWindowHarness h;
        QCOMPARE(ID3Tag->windowTitle(), "ID3Tag");
        QCOMPARE(ID3Tag->pos(), QPoint(644, 439));
        ID3Tag->BuildContents(); // as the first showing does
        // Before any showing each box shows its own name, whole.
        QCOMPARE(ID3Tag->edYear->text(), "edYear");
        // The box named edComment is on the album row, edAlbum on the comment row.
        QCOMPARE(ID3Tag->Label3->text(), "Альбом");
        QCOMPARE(ID3Tag->edComment->geometry(), QRect(88, 88, 185, 21));
        QCOMPARE(ID3Tag->Label6->text(), "Комментарий");
        QCOMPARE(ID3Tag->edAlbum->geometry(), QRect(88, 152, 185, 21));
        // Labels keep their right edges, next to their boxes.
        QCOMPARE(ID3Tag->Label5->geometry().right() + 1, 155);
        QCOMPARE(ID3Tag->edComment->nextInFocusChain(), ID3Tag->edYear);
    }

    void showingReadsTheStartedTrackAndRestartsIt()
    {
        TagWindowHarness h;
        h.PlayEntry(1);
        h.Tick();
        QVERIFY(h.form->MediaPlayer1->Position() >= 1000);

        h.form->ID3Tag1Click();
        QVERIFY(ID3Tag->isVisible());
        QVERIFY(!h.form->isEnabled());
        QVERIFY(h.dialogs.errors.isEmpty());
        QCOMPARE(TagFilePath, h.folder + "b.wav");
        // Each field is on the row whose label names it.
        QCOMPARE(ID3Tag->edTitle->text(), "Song B");
        QCOMPARE(ID3Tag->edComment->text(), "Record");
        QCOMPARE(ID3Tag->edAlbum->text(), "Note B");
        // The same entry plays again, from its beginning.
        QVERIFY(h.Playing());
        QCOMPARE(h.form->MediaPlayer1->Position(), 0u);
        QCOMPARE(h.Title(), "ZOLM Player - b.wav");

        // Closing leaves it playing and gives the main window back.
        ID3Tag->close();
        QVERIFY(!ID3Tag->isVisible());
        QVERIFY(h.form->isEnabled());
        QVERIFY(h.Playing());
    }

    void nothingStartedYetReportsTheFolderAndPlaysNothing()
    {
        TagWindowHarness h;
        h.form->ID3Tag1Click();
        QCOMPARE(TagFilePath, h.folder);
        QCOMPARE(h.dialogs.errors,
                 QStringList(QStringLiteral("Cannot open file \"%1\". Is a directory.").arg(QString::fromUtf8(h.folder))));
        // Shown all the same, the main window still disabled, the boxes as they were.
        QVERIFY(ID3Tag->isVisible());
        QVERIFY(!h.form->isEnabled());
        QCOMPARE(ID3Tag->edTitle->text(), "edTitle");
        QVERIFY(!h.Playing());
    }

    void fileGoneLeavesPlaybackStoppedAndBoxesAsTheyWere()
    {
        TagWindowHarness h;
        h.PlayEntry(0);
        h.form->ID3Tag1Click();
        QCOMPARE(ID3Tag->edTitle->text(), "Song A");
        ID3Tag->close();

        QCOMPARE(::unlink((h.folder + "a.wav").constData()), 0);
        h.form->ID3Tag1Click();
        QCOMPARE(h.dialogs.errors.size(), 1);
        QVERIFY(h.dialogs.errors[0].startsWith(
            QStringLiteral("Cannot open file \"%1a.wav\". No such file").arg(QString::fromUtf8(h.folder))));
        QVERIFY(!h.Playing());
        QVERIFY(!h.form->Timer1->isActive());
        QCOMPARE(ID3Tag->edTitle->text(), "Song A");
    }

    void rezMissingLeavesPlaybackAlone()
    {
        TagWindowHarness h;
        h.PlayEntry(0);
        h.Tick();
        QCOMPARE(::unlink("rez.dat"), 0);
        h.form->ID3Tag1Click();
        QCOMPARE(h.dialogs.errors, QStringList("File not found."));
        QVERIFY(h.Playing());
        QVERIFY(h.form->MediaPlayer1->Position() >= 1000);
    }

    void windows1251FileNameIsFoundFromTheCaption()
    {
        TagWindowHarness h;
        // "Трек.wav" in windows-1251: the caption only carries its display text.
        const QByteArray name("\xD2\xF0\xE5\xEA.wav");
        WriteBytes(h.folder + name, MakeWav(500) + Tag("Cyrillic name", "", ""));
        QCOMPARE(FileNameBytes(h.folder, QStringLiteral("Трек.wav")), name);
        QCOMPARE(FileNameBytes(h.folder, QStringLiteral("a.wav")), QByteArray("a.wav"));
        ::unlink((h.folder + name).constData());
    }

    void typingStopsAtTheLimitButProgramTextIsWhole()
    {
        TagWindowHarness h;
        ID3Tag->show();
        TEdit *year = ID3Tag->edYear;
        // "edYear" is longer than 4 and stays whole; typing adds nothing to it.
        year->end(false);
        QTest::keyClicks(year, "9");
        QCOMPARE(year->text(), "edYear");
        QTest::keyClick(year, Qt::Key_Backspace);
        QCOMPARE(year->text(), "edYea");
        year->clear();
        QTest::keyClicks(year, "20245");
        QCOMPARE(year->text(), "2024");

        // A paste past the limit is cut where it would overflow.
        TEdit *title = ID3Tag->edTitle;
        title->clear();
        QTest::keyClicks(title, QString(25, 'a'));
        title->insert(QString(10, 'b'));
        QCOMPARE(title->text(), QString(25, 'a') + QString(5, 'b'));
        title->setText(QString(40, 'p'));
        QCOMPARE(title->text(), QString(40, 'p'));
    }
};

QTEST_MAIN(TestTagWindow)
#include "tst_tagwindow.moc"
