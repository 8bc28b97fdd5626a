// The tag window: its crossed boxes, the restart of the track around the
// reading, and what it does when there is nothing to read.
#include "TestSupport.h"

#include "info/about.h"
#include "info/help.h"
#include "media/MPlayer.h"
#include "media/ManualClock.h"
#include "player/Controls.h"
#include "player/Unit1.h"
#include "tags/Id3tags.h"

#include <QGroupBox>
#include <QLabel>
#include <QTimer>
#include <QtTest>
#include <memory>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

QByteArray Tag(const QByteArray &title, const QByteArray &artist, const QByteArray &album, const QByteArray &year,
               const QByteArray &comment, int genre)
{
    QByteArray tag(128, '\0');
    auto put = [&tag](int at, const QByteArray &b) { tag.replace(at, b.size(), b); };
    put(0, "TAG");
    put(3, title);
    put(33, artist);
    put(63, album);
    put(93, year);
    put(97, comment);
    tag[127] = char(genre);
    return tag;
}

} // namespace

class TestTagWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<FakeDialogs> dialogs;
    std::unique_ptr<ScratchDir> dir;
    std::unique_ptr<TForm1> form;
    QByteArray folder;

    // A folder with two tagged tracks, remembered in rez.dat, and the player started on it.
    void startPlayer()
    {
        QDir(dir->path()).mkpath("music");
        folder = QFile::encodeName(dir->file("music")) + '/';
        WriteBytes(folder + "a.wav", MakeWav(3000) + Tag("Song A", "Band", "Record", "1987", "Note A", 17));
        WriteBytes(folder + "b.wav", MakeWav(3000) + Tag("Song B", "Band", "Record", "1988", "Note B", 0));
        WriteBytes("rez.dat", folder);
        form = std::make_unique<TForm1>();
        AboutBox = new TAboutBox;
        ID3Tag = new TID3Tag;
        helpp = new Thelpp;
    }

    void openTagWindow() { form->ID3Tag1Click(); }

    bool playing() const { return form->MediaPlayer1->Mode() == TMPModes::mpPlaying; }

private slots:
    void init()
    {
        media::ManualClock::Install();
        dialogs = std::make_unique<FakeDialogs>();
        dir = std::make_unique<ScratchDir>();
        ResetPlayerState();
        startPlayer();
    }

    void cleanup()
    {
        form.reset();
        delete helpp;
        delete ID3Tag;
        delete AboutBox;
        helpp = nullptr;
        ID3Tag = nullptr;
        AboutBox = nullptr;
        dir.reset();
        dialogs.reset();
        media::ManualClock::Uninstall();
    }

    void windowIsLaidOutWithCrossedBoxes()
    {
        QCOMPARE(ID3Tag->windowTitle(), "ID3Tag");
        QCOMPARE(ID3Tag->size(), QSize(305, 209));
        QCOMPARE(ID3Tag->minimumSize(), ID3Tag->maximumSize());
        QCOMPARE(ID3Tag->pos(), QPoint(644, 439));
        QCOMPARE(ID3Tag->GroupBox1->title(), "ID3Tag v1");
        // Before any showing each box shows its own name, whole.
        QCOMPARE(ID3Tag->edTitle->text(), "edTitle");
        QCOMPARE(ID3Tag->edYear->text(), "edYear");
        QCOMPARE(ID3Tag->edAlbum->text(), "edAlbum");
        // The box named edComment is on the album row, edAlbum on the comment row.
        QCOMPARE(ID3Tag->Label3->text(), "Альбом");
        QCOMPARE(ID3Tag->edComment->geometry(), QRect(88, 88, 185, 21));
        QCOMPARE(ID3Tag->Label6->text(), "Комментарий");
        QCOMPARE(ID3Tag->edAlbum->geometry(), QRect(88, 152, 185, 21));
        QCOMPARE(ID3Tag->edYear->MaxLength(), 4);
        // Labels keep their right edges, next to their boxes.
        QCOMPARE(ID3Tag->Label1->geometry().right() + 1, 82);
        QCOMPARE(ID3Tag->Label5->geometry().right() + 1, 155);
        QVERIFY(ID3Tag->Label1->alignment() & Qt::AlignRight);
        // Tab order runs down the rows.
        QCOMPARE(ID3Tag->edTitle->nextInFocusChain(), ID3Tag->edArtist);
        QCOMPARE(ID3Tag->edComment->nextInFocusChain(), ID3Tag->edYear);
        QCOMPARE(ID3Tag->edGenre->nextInFocusChain(), ID3Tag->edAlbum);
    }

    void showingReadsTheStartedTrackAndRestartsIt()
    {
        form->ListBox1->SetItemIndex(1);
        form->SpeedButton5Click();
        media::ManualClock::Advance(1500);
        form->Timer1Timer();
        QVERIFY(form->MediaPlayer1->Position() >= 1000);

        openTagWindow();
        QVERIFY(ID3Tag->isVisible());
        QVERIFY(!form->isEnabled());
        QVERIFY(dialogs->errors.isEmpty());
        QCOMPARE(TagWindowFolder, folder);
        QCOMPARE(TagFilePath, folder + "b.wav");
        // Each field is on the row whose label names it.
        QCOMPARE(ID3Tag->edTitle->text(), "Song B");
        QCOMPARE(ID3Tag->edArtist->text(), "Band");
        QCOMPARE(ID3Tag->edComment->text(), "Record");
        QCOMPARE(ID3Tag->edYear->text(), "1988");
        QCOMPARE(ID3Tag->edGenre->text(), "Blues");
        QCOMPARE(ID3Tag->edAlbum->text(), "Note B");
        // The same entry plays again, from its beginning.
        QVERIFY(playing());
        QCOMPARE(form->MediaPlayer1->Position(), 0u);
        QCOMPARE(form->windowTitle(), "ZOLM Player - b.wav");

        // Closing leaves it playing and gives the main window back.
        ID3Tag->close();
        QVERIFY(!ID3Tag->isVisible());
        QVERIFY(form->isEnabled());
        QVERIFY(playing());
    }

    void pausedTrackRestartsFromItsBeginning()
    {
        form->ListBox1->SetItemIndex(0);
        form->SpeedButton5Click();
        media::ManualClock::Advance(1000);
        form->SpeedButton6Click();
        QCOMPARE(form->MediaPlayer1->Mode(), TMPModes::mpPaused);
        openTagWindow();
        QCOMPARE(ID3Tag->edTitle->text(), "Song A");
        QVERIFY(playing());
        QCOMPARE(form->MediaPlayer1->Position(), 0u);
        QVERIFY(!form->SpeedButton6->Down());
    }

    void nothingStartedYetReportsTheFolderAndPlaysNothing()
    {
        QCOMPARE(form->windowTitle(), "ZOLM Player");
        openTagWindow();
        QCOMPARE(TagFilePath, folder);
        QCOMPARE(dialogs->errors,
                 QStringList(QStringLiteral("Cannot open file \"%1\". Is a directory.").arg(QString::fromUtf8(folder))));
        // Shown all the same, the main window still disabled, the boxes as they were.
        QVERIFY(ID3Tag->isVisible());
        QVERIFY(!form->isEnabled());
        QCOMPARE(ID3Tag->edTitle->text(), "edTitle");
        QCOMPARE(ID3Tag->edComment->text(), "edComment");
        QVERIFY(!playing());
        ID3Tag->close();
        QVERIFY(form->isEnabled());
    }

    void fileGoneLeavesPlaybackStoppedAndBoxesAsTheyWere()
    {
        form->ListBox1->SetItemIndex(0);
        form->SpeedButton5Click();
        openTagWindow();
        QCOMPARE(ID3Tag->edTitle->text(), "Song A");
        ID3Tag->close();

        QVERIFY(::unlink((folder + "a.wav").constData()) == 0);
        openTagWindow();
        QCOMPARE(dialogs->errors.size(), 1);
        QVERIFY(dialogs->errors[0].startsWith(QStringLiteral("Cannot open file \"%1a.wav\". No such file")
                                                  .arg(QString::fromUtf8(folder))));
        QVERIFY(!playing());
        QVERIFY(!form->Timer1->isActive());
        QCOMPARE(ID3Tag->edTitle->text(), "Song A");
    }

    void tagFileLockedByAnotherProgramIsReported()
    {
        form->ListBox1->SetItemIndex(0);
        form->SpeedButton5Click();
        const int other = ::open((folder + "a.wav").constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(other >= 0);
        QCOMPARE(::flock(other, LOCK_EX | LOCK_NB), 0);
        openTagWindow();
        ::close(other);
        QCOMPARE(dialogs->errors.size(), 1);
        QVERIFY(dialogs->errors[0].contains("a.wav"));
        QVERIFY(!playing());
    }

    void newFolderJoinsTheOldFileName()
    {
        form->ListBox1->SetItemIndex(0);
        form->SpeedButton5Click();
        // Another folder was chosen since; the caption still names a.wav.
        QDir(dir->path()).mkpath("other");
        const QByteArray other = QFile::encodeName(dir->file("other")) + '/';
        WriteBytes(other + "a.wav", MakeWav(500) + Tag("Other A", "", "", "", "", 1));
        WriteBytes("rez.dat", other);
        openTagWindow();
        QCOMPARE(TagFilePath, other + "a.wav");
        QCOMPARE(ID3Tag->edTitle->text(), "Other A");
    }

    void rezMissingLeavesPlaybackAlone()
    {
        form->ListBox1->SetItemIndex(0);
        form->SpeedButton5Click();
        media::ManualClock::Advance(1000);
        QVERIFY(::unlink("rez.dat") == 0);
        openTagWindow();
        QCOMPARE(dialogs->errors, QStringList("File not found."));
        QVERIFY(playing());
        QVERIFY(form->MediaPlayer1->Position() >= 1000);
        QVERIFY(ID3Tag->isVisible());
    }

    void fileWithoutTagEmptiesTheBoxes()
    {
        WriteBytes(folder + "a.wav", MakeWav(500));
        form->ListBox1->SetItemIndex(0);
        form->SpeedButton5Click();
        openTagWindow();
        QVERIFY(dialogs->errors.isEmpty());
        for (TEdit *e : {ID3Tag->edTitle, ID3Tag->edArtist, ID3Tag->edComment, ID3Tag->edYear, ID3Tag->edGenre,
                         ID3Tag->edAlbum})
            QCOMPARE(e->text(), QString());
        QVERIFY(playing());
    }

    void windows1251FileNameIsFoundFromTheCaption()
    {
        // "Трек.wav" in windows-1251: the caption only has its display text.
        const QByteArray name("\xD2\xF0\xE5\xEA.wav");
        WriteBytes(folder + name, MakeWav(500) + Tag("Cyrillic name", "", "", "", "", 3));
        QCOMPARE(FileNameBytes(folder, QStringLiteral("Трек.wav")), name);
        // A UTF-8 name is found as itself.
        QCOMPARE(FileNameBytes(folder, QStringLiteral("a.wav")), QByteArray("a.wav"));
        ::unlink((folder + name).constData());
    }

    void typingStopsAtTheLimitButProgramTextIsWhole()
    {
        ID3Tag->show();
        TEdit *year = ID3Tag->edYear;
        // "edYear" is longer than 4 and stays whole; typing adds nothing to it.
        QCOMPARE(year->text(), "edYear");
        year->setFocus();
        year->end(false);
        QTest::keyClicks(year, "9");
        QCOMPARE(year->text(), "edYear");
        QTest::keyClick(year, Qt::Key_Backspace);
        QCOMPARE(year->text(), "edYea");

        year->clear();
        QTest::keyClicks(year, "20245");
        QCOMPARE(year->text(), "2024");

        TEdit *title = ID3Tag->edTitle;
        title->clear();
        QTest::keyClicks(title, QString(35, 'x'));
        QCOMPARE(title->text(), QString(30, 'x'));
        // A paste past the limit is cut where it would overflow.
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
