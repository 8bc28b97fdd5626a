// Start-up, the folder playlist, the folder and sort commands, the list click,
// the menus and their shortcuts.
#include "PlayerHarness.h"

#include "runtime/TextCodec.h"

#include <QAction>
#include <QMenu>
#include <QApplication>
#include <QtTest>

#include <sys/stat.h>

namespace {

// The listed names' bytes, in the list's order.
QList<QByteArray> Listed(TForm1 *f)
{
    QList<QByteArray> names;
    for (int i = 0; i < f->ListBox1->Count(); ++i)
        names << f->ListBox1->NameBytes(i);
    return names;
}

} // namespace

class TestPlaylist : public QObject {
    Q_OBJECT
private slots:
    void firstStartCreatesEmptyRezFileAndListsWorkingDirectory()
    {
        PlayerHarness h;
        WriteBytes("b.wav", MakeWav(100));
        WriteBytes("a.mp3", "not audio");
        WriteBytes("notes.txt", "x");
        TForm1 *f = h.Start();
        QCOMPARE(ReadBytes("rez.dat"), QByteArray(""));
        QCOMPARE(f->ListBox1->Count(), 2);
        QCOMPARE(f->ListBox1->NameText(0), QStringLiteral("a.mp3"));
        QCOMPARE(f->ListBox1->NameText(1), QStringLiteral("b.wav"));
        QCOMPARE(h.Selected(), 0);
        QCOMPARE(f->Label1->text(), QStringLiteral("a.mp3"));
        QCOMPARE(f->Label2->text(), QStringLiteral("0:00"));
        QCOMPARE(f->windowTitle(), QStringLiteral("ZOLM Player"));
        QVERIFY(!f->TrackBar2->SliderVisible());
        QVERIFY(!f->Timer1->isActive());
        QVERIFY(!f->MediaPlayer1->IsOpen());
        QCOMPARE(f->TrackBar1->value(), 7);
        // The slider's own change and the explicit send: the same word twice.
        QCOMPARE(h.volumeWords, (std::vector<std::uint32_t>{0xA50AA50Au, 0xA50AA50Au}));
        QCOMPARE(CurrentVolume, 0xA50AA50Au);
        QVERIFY(h.dialogs.errors.isEmpty());
    }

    void onlyFirstLineOfRezFileIsTheFolderAndTheRestStays()
    {
        PlayerHarness h;
        const QByteArray folder = h.MakeFolder(QStringLiteral("music"), {QStringLiteral("x.wav")});
        const QByteArray content = folder + "\r\nsecond line\nthird";
        TForm1 *f = h.Start(content);
        QCOMPARE(RememberedFolder, folder);
        QCOMPARE(f->ListBox1->Count(), 1);
        QCOMPARE(ReadBytes("rez.dat"), content);
    }

    // What a remembered folder lists, and how the first entry is shown and played: the
    // path is the folder's text directly followed by the name. A name ending in "/" is
    // made as a folder.
    void folderListsItsAudioNames_data()
    {
        QTest::addColumn<QList<QByteArray>>("files");
        QTest::addColumn<QByteArray>("rez"); // %1: the folder the files are in, with its final "/"
        QTest::addColumn<QList<QByteArray>>("listed");
        QTest::addColumn<QString>("firstText");
        QTest::addColumn<QString>("message"); // what playing the first entry reports; empty: it plays
        QTest::newRow("mp3 names first, then wav, each by name")
            << QList<QByteArray>{"b.wav", "C.MP3", "a.mp3", "A.WaV", "b.Mp3", "x.mp3.txt", "y.ogg"} << QByteArray("%1")
            << QList<QByteArray>{"a.mp3", "b.Mp3", "C.MP3", "A.WaV", "b.wav"} << QStringLiteral("a.mp3") << QString();
        // ".mp3" too: the star matches nothing at all.
        QTest::newRow("hidden files and folders") << QList<QByteArray>{"album.mp3/", ".mp3", ".hidden.mp3"}
                                                  << QByteArray("%1")
                                                  << QList<QByteArray>{".hidden.mp3", ".mp3", "album.mp3"}
                                                  << QStringLiteral(".hidden.mp3") << QString();
        QTest::newRow("no final slash: names by prefix")
            << QList<QByteArray>{"Rock1.mp3", "rockabilly.wav", "Pop.mp3"} << QByteArray("%1Rock")
            << QList<QByteArray>{"Rock1.mp3", "rockabilly.wav"} << QStringLiteral("Rock1.mp3")
            << QStringLiteral("Ошибка обращения к файлу Rock1.mp3");
        // "Песня.wav" in windows-1251: shown readably, played by its bytes.
        QTest::newRow("windows-1251 name") << QList<QByteArray>{"\xcf\xe5\xf1\xed\xff.wav"} << QByteArray("%1")
                                           << QList<QByteArray>{"\xcf\xe5\xf1\xed\xff.wav"}
                                           << QStringLiteral("Песня.wav") << QString();
        QByteArray low, high;
        for (int b = 1; b < 128; ++b)
            if (b != '/')
                low.append(char(b));
        for (int b = 128; b < 256; ++b)
            high.append(char(b));
        const QByteArray longName = QByteArray(196, 'n') + ".mp3";
        QTest::newRow("odd and long names") << QList<QByteArray>{high + ".wav", longName, low + ".wav"}
                                            << QByteArray("%1")
                                            << QList<QByteArray>{longName, low + ".wav", high + ".wav"}
                                            << QString::fromLatin1(longName) << QString();
        QTest::newRow("empty folder") << QList<QByteArray>{} << QByteArray("%1") << QList<QByteArray>{} << QString()
                                      << QString();
        QTest::newRow("missing folder") << QList<QByteArray>{} << QByteArray("/no/such/folder/")
                                        << QList<QByteArray>{} << QString() << QString();
        QTest::newRow("a file, not a folder") << QList<QByteArray>{} << QByteArray("/etc/hostname/")
                                              << QList<QByteArray>{} << QString() << QString();
    }
    void folderListsItsAudioNames()
    {
        QFETCH(QList<QByteArray>, files);
        QFETCH(QByteArray, rez);
        QFETCH(QList<QByteArray>, listed);
        QFETCH(QString, firstText);
        QFETCH(QString, message);
        PlayerHarness h;
        const QByteArray folder = h.MakeFolder(QStringLiteral("m"), {});
        for (const QByteArray &name : files)
            QVERIFY(name.endsWith('/') ? QDir().mkpath(QFile::decodeName(folder + name))
                                       : WriteBytes(folder + name, MakeWav(1500)));
        rez.replace("%1", folder);
        TForm1 *f = h.Start(rez);
        QCOMPARE(Listed(f), listed);
        // A missing or empty folder lists nothing, quietly, and leaves the volume unset.
        QVERIFY(h.dialogs.errors.isEmpty());
        QVERIFY(h.dialogs.messages.isEmpty());
        QCOMPARE(h.Selected(), listed.isEmpty() ? -1 : 0);
        QCOMPARE(f->Label1->text(), firstText);
        QCOMPARE(f->TrackBar1->value(), listed.isEmpty() ? 0 : 7);
        QCOMPARE(h.volumeWords.empty(), listed.isEmpty());
        QCOMPARE(CurrentVolume, listed.isEmpty() ? 0u : 0xA50AA50Au);
        if (listed.isEmpty())
            return;
        QCOMPARE(f->ListBox1->NameText(0), firstText);
        f->Play();
        QCOMPARE(f->MediaPlayer1->FileName, rez + listed[0]);
        QCOMPARE(h.dialogs.messages, message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(h.Playing(), message.isEmpty());
        if (message.isEmpty())
            QCOMPARE(f->windowTitle(), QStringLiteral("ZOLM Player - ") + firstText);
    }

    void namesDifferingInCaseListAlikeWhateverTheReadingOrder_data()
    {
        QTest::addColumn<QList<QByteArray>>("names"); // as listed: equal texts go by their bytes
        QTest::newRow("ASCII") << QList<QByteArray>{"A.mp3", "a.MP3", "a.mp3", "B.MP3", "b.mp3"};
        QTest::newRow("alike past eight characters")
            << QList<QByteArray>{"TRACK NUMBER 10.mp3", "Track Number 10.mp3", "track number 10.mp3"};
        // The first is "Ёлка.mp3" in windows-1251: it shows as the UTF-8 name after it.
        QTest::newRow("Cyrillic") << QList<QByteArray>{"\xa8\xeb\xea\xe0.mp3", "\xd0\x81\xd0\x9b\xd0\x9a\xd0\x90.mp3",
                                                       "\xd0\x81\xd0\xbb\xd0\xba\xd0\xb0.mp3",
                                                       "\xd1\x91\xd0\xbb\xd0\xba\xd0\xb0.mp3"};
    }
    void namesDifferingInCaseListAlikeWhateverTheReadingOrder()
    {
        QFETCH(QList<QByteArray>, names);
        // tmpfs reads a folder back in the reverse of the order its names were made in.
        if (!QFileInfo(QStringLiteral("/dev/shm")).isWritable())
            QSKIP("no tmpfs at /dev/shm");
        for (const bool reversed : {false, true}) {
            QTemporaryDir dir(QStringLiteral("/dev/shm/zolm-XXXXXX"));
            const QByteArray folder = QFile::encodeName(dir.path()) + '/';
            for (qsizetype i = 0; i < names.size(); ++i)
                QVERIFY(WriteBytes(folder + names[reversed ? names.size() - 1 - i : i], "x"));
            PlayerHarness h;
            QCOMPARE(Listed(h.Start(folder)), names);
        }
    }

    // More records than one read of the folder holds, names sharing their first characters
    // in runs of every length: each name comes back once, in the sort command's order.
    void folderOfThousandsListsEveryNameInOrder()
    {
        PlayerHarness h;
        const QByteArray folder = h.MakeFolder(QStringLiteral("many"), {});
        QStringList expected;
        for (int i = 0; i < 3000; ++i) {
            const int n = (i * 1237) % 3000; // not the order the files are made in
            const QString name = QStringLiteral("%1 %2 Track of a long name.mp3").arg(n).arg(i % 2 ? u"a" : u"B");
            QVERIFY(WriteBytes(folder + QFile::encodeName(name), "x"));
            expected << name;
        }
        std::sort(expected.begin(), expected.end(), NameLess);
        TForm1 *f = h.Start(folder);
        QStringList names;
        for (int i = 0; i < f->ListBox1->Count(); ++i)
            names << f->ListBox1->NameText(i);
        QCOMPARE(names, expected);
    }

    void folderCommandRemembersChosenFolder()
    {
        PlayerHarness h;
        // "Папка" in windows-1251: its bytes reach RememberedFolder and rez.dat as they are.
        const QByteArray folder = QFile::encodeName(h.dir.path()) + "/\xcf\xe0\xef\xea\xe0/";
        QVERIFY(::mkdir(folder.constData(), 0700) == 0);
        QVERIFY(WriteBytes(folder + "one.wav", MakeWav(100)) && WriteBytes(folder + "two.mp3", MakeWav(100)));
        TForm1 *f = h.Start();
        h.dialogs.folderAnswers << folder.chopped(1);
        f->N3Click();
        QCOMPARE(h.dialogs.captions, QStringList{QStringLiteral("Выберите папку с файлами мультимедиа")});
        QCOMPARE(RememberedFolder, folder);
        QCOMPARE(ReadBytes("rez.dat"), folder);
        QCOMPARE(f->ListBox1->Count(), 2);
        QCOMPARE(f->ListBox1->NameText(0), QStringLiteral("two.mp3"));
        QCOMPARE(h.Selected(), 0);
    }

    void unwritableRezFileStillListsTheChosenFolder()
    {
        PlayerHarness h;
        const QByteArray old = h.MakeFolder(QStringLiteral("old"), {QStringLiteral("old.wav")});
        const QByteArray chosen = h.MakeFolder(QStringLiteral("new"), {QStringLiteral("new.wav")});
        TForm1 *f = h.Start(old);
        QVERIFY(QFile::remove(QStringLiteral("rez.dat")));
        QVERIFY(QDir().mkdir(QStringLiteral("rez.dat"))); // can't be written as a file
        h.dialogs.folderAnswers << chosen.chopped(1);
        f->N3->trigger();
        QCOMPARE(h.dialogs.errors, QStringList{QStringLiteral("File access denied.")});
        QCOMPARE(RememberedFolder, chosen);
        QCOMPARE(f->ListBox1->NameText(0), QStringLiteral("new.wav"));
        f->Play();
        QVERIFY(h.Playing());
    }

    void cancelledFolderCommandForgetsTheFolder()
    {
        PlayerHarness h;
        const QByteArray folder = h.MakeFolder(QStringLiteral("old"), {QStringLiteral("old.wav")});
        WriteBytes("here.wav", MakeWav(100));
        TForm1 *f = h.Start(folder);
        QCOMPARE(f->ListBox1->NameText(0), QStringLiteral("old.wav"));
        h.dialogs.folderAnswers << QByteArray();
        f->SpeedButton4Click();
        QCOMPARE(ReadBytes("rez.dat"), QByteArray(""));
        QVERIFY(RememberedFolder.isEmpty());
        QCOMPARE(f->ListBox1->Count(), 1);
        QCOMPARE(f->ListBox1->NameText(0), QStringLiteral("here.wav"));
    }

    void longChosenPathIsCutTo255Characters()
    {
        PlayerHarness h;
        TForm1 *f = h.Start();
        // Cyrillic folder names: two bytes a character, so a byte cut would split one.
        QString path = h.dir.path();
        while (path.size() < 300)
            path += QStringLiteral("/Жжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжж");
        QVERIFY(QDir().mkpath(path));
        h.dialogs.folderAnswers << QFile::encodeName(path);
        f->SpeedButton4Click();
        const QByteArray expected = CutToChars(QFile::encodeName(path), 255);
        QCOMPARE(CharCount(RememberedFolder), qsizetype(255));
        QCOMPARE(RememberedFolder, expected);
        QCOMPARE(ReadBytes("rez.dat"), expected);
        QVERIFY(QString::fromUtf8(RememberedFolder).toUtf8() == RememberedFolder); // no half character
    }

    // The sort command keeps the selected position number and plays nothing; opening a
    // folder, by the folder command or from outside, switches sorting off, so the next
    // sort command sorts again.
    void sortKeepsPositionUntilAFolderIsOpened_data()
    {
        QTest::addColumn<bool>("chooser");
        QTest::newRow("folder command") << true;
        QTest::newRow("folder opened from outside") << false;
    }
    void sortKeepsPositionUntilAFolderIsOpened()
    {
        QFETCH(bool, chooser);
        PlayerHarness h;
        const QByteArray folder = h.MakeFolder(QStringLiteral("s"), {QStringLiteral("a.mp3"), QStringLiteral("c.mp3"),
                                                                     QStringLiteral("b.wav"), QStringLiteral("d.wav")});
        const QList<QByteArray> listing{"a.mp3", "c.mp3", "b.wav", "d.wav"}, sorted{"a.mp3", "b.wav", "c.mp3", "d.wav"};
        TForm1 *f = h.Start(folder);
        f->ListBox1->SetItemIndex(1); // c.mp3
        f->N15Click();
        QCOMPARE(Listed(f), sorted);
        QCOMPARE(f->ListBox1->NameText(1), QStringLiteral("b.wav"));
        QCOMPARE(h.Selected(), 1);
        QCOMPARE(f->windowTitle(), QStringLiteral("ZOLM Player")); // nothing played
        if (chooser) {
            h.dialogs.folderAnswers << folder.chopped(1);
            f->N3Click();
        } else {
            f->OpenFolder(folder.chopped(1));
        }
        QCOMPARE(Listed(f), listing);
        f->N15Click();
        QCOMPARE(Listed(f), sorted);
    }

    void keyboardSelectionPlaysButProgramSelectionDoesNot()
    {
        PlayerHarness h;
        const QByteArray folder = h.MakeFolder(QStringLiteral("k"), {QStringLiteral("a.wav"), QStringLiteral("b.wav"),
                                                                     QStringLiteral("c.wav")});
        TForm1 *f = h.Start(folder);
        f->ListBox1->SetItemIndex(2);
        QVERIFY(!f->MediaPlayer1->IsOpen());
        f->ListBox1->SetItemIndex(0);
        QTest::keyClick(f->ListBox1, Qt::Key_Down);
        QCOMPARE(h.Selected(), 1);
        QCOMPARE(f->windowTitle(), QStringLiteral("ZOLM Player - b.wav"));
        QCOMPARE(f->Label1->text(), QStringLiteral("b.wav (0:02)"));
        QVERIFY(h.Playing());
        // A mouse click on an entry plays it too.
        const QRect r = f->ListBox1->visualItemRect(f->ListBox1->item(0));
        QTest::mouseClick(f->ListBox1->viewport(), Qt::LeftButton, {}, r.center());
        QCOMPARE(f->windowTitle(), QStringLiteral("ZOLM Player - a.wav"));
    }

    void unreadableRezFileShowsErrorAndEmptyList()
    {
        PlayerHarness h;
        WriteBytes("a.wav", MakeWav(100));
        QVERIFY(QDir().mkdir(QStringLiteral("rez.dat")));
        TForm1 *f = h.Start(QByteArray());
        QCOMPARE(h.dialogs.errors, QStringList{QStringLiteral("File access denied.")});
        QCOMPARE(f->ListBox1->Count(), 0);
        QVERIFY(h.volumeWords.empty());
    }

    void shortcutsReachTheirHandlers()
    {
        PlayerHarness h;
        const QByteArray folder = h.MakeFolder(QStringLiteral("sc"), {QStringLiteral("a.wav"), QStringLiteral("b.wav"),
                                                                      QStringLiteral("c.wav")});
        TForm1 *f = h.Start(folder);
        QVERIFY(h.ShowActive());
        auto press = [f](QKeyCombination key) { QTest::keySequence(f, QKeySequence(key)); };

        press(Qt::CTRL | Qt::Key_X);
        QCOMPARE(f->windowTitle(), QStringLiteral("ZOLM Player - a.wav"));
        press(Qt::CTRL | Qt::Key_B);
        QCOMPARE(h.Selected(), 1);
        press(Qt::CTRL | Qt::Key_Z);
        QCOMPARE(h.Selected(), 0);
        press(Qt::CTRL | Qt::Key_C);
        QCOMPARE(f->MediaPlayer1->Mode(), TMPModes::mpPaused);
        press(Qt::CTRL | Qt::Key_V);
        QVERIFY(!f->MediaPlayer1->IsOpen());
        press(Qt::CTRL | Qt::Key_S);
        QVERIFY(f->shuffle->Down());
        press(Qt::CTRL | Qt::Key_R);
        QCOMPARE(RepeatMode, std::uint8_t(1));
        press(Qt::Key_F5);
        QVERIFY(f->MuteButton->Down());
        press(Qt::CTRL | Qt::Key_O);
        QCOMPARE(h.dialogs.captions.size(), 1);
        press(Qt::Key_F1);
        QVERIFY(helpp->isVisible());
        QVERIFY(!f->isEnabled());
        helpp->Button1Click();
        QVERIFY(f->isEnabled());
    }

    void shortcutsAreDeadWhileSecondaryWindowIsOpen()
    {
        PlayerHarness h;
        const QByteArray folder = h.MakeFolder(QStringLiteral("d"), {QStringLiteral("a.wav")});
        TForm1 *f = h.Start(folder);
        QVERIFY(h.ShowActive());
        f->N2Click();
        QVERIFY(AboutBox->isVisible());
        QVERIFY(!f->isEnabled());
        for (QKeyCombination key : {QKeyCombination(Qt::CTRL | Qt::Key_X), QKeyCombination(Qt::CTRL | Qt::Key_S),
                                    QKeyCombination(Qt::Key_F5), QKeyCombination(Qt::CTRL | Qt::Key_O)}) {
            QTest::keySequence(f, QKeySequence(key));
            QTest::keySequence(AboutBox, QKeySequence(key));
        }
        QCOMPARE(f->windowTitle(), QStringLiteral("ZOLM Player"));
        QVERIFY(!f->shuffle->Down());
        QVERIFY(!f->MuteButton->Down());
        QVERIFY(h.dialogs.captions.isEmpty());
        AboutBox->OKButtonClick();
        QVERIFY(f->isEnabled());
        QVERIFY(!AboutBox->isVisible());
        QVERIFY(!f->N12->isEnabled()); // the divider stays disabled
        f->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f));
        QTest::keySequence(f, QKeySequence(Qt::CTRL | Qt::Key_S));
        QVERIFY(f->shuffle->Down());
    }

    // What no property tells (places and captions: tst_windows): glyph sizes, stacking, tab order.
    void controlsStandWhereTheWindowPutsThem()
    {
        PlayerHarness h;
        TForm1 *f = h.Start();
        QCOMPARE(f->MuteButton->Glyph().size(), QSize(23, 25));
        QCOMPARE(f->RepeatButton->Glyph().size(), QSize(23, 22));
        QCOMPARE(f->SpeedButton5->Glyph().size(), QSize(23, 15));
        QCOMPARE(f->SpeedButton4->Glyph().size(), QSize(32, 32));
        // The shape lies beneath the labels.
        const QObjectList kids = f->centralWidget()->children();
        QVERIFY(kids.indexOf(f->Shape1) < kids.indexOf(f->Label1));
        QVERIFY(kids.indexOf(f->Shape1) < kids.indexOf(f->Label2));
        // Tab order: the list, the seek bar, the volume slider.
        QList<QWidget *> tabStops;
        for (QWidget *w = f->ListBox1; tabStops.size() < 3; w = w->nextInFocusChain())
            if ((w->focusPolicy() & Qt::TabFocus) && (w == f->ListBox1 || !f->ListBox1->isAncestorOf(w)))
                tabStops << w;
        QCOMPARE(tabStops, (QList<QWidget *>{f->ListBox1, f->TrackBar2, f->TrackBar1}));
    }

    void exitCommandAndCloseBoxEndTheProgram()
    {
        PlayerHarness h;
        TForm1 *f = h.Start();
        QVERIFY(h.ShowActive());
        // Each way out ends the message loop; a stuck one is ended by the guard with 1.
        const std::function<void()> ways[] = {
            [f] { QTest::keySequence(f, QKeySequence(Qt::CTRL | Qt::Key_Q)); },
            [f] { f->close(); },
        };
        for (const auto &way : ways) {
            f->show();
            QTimer::singleShot(0, way);
            QTimer guard;
            guard.setSingleShot(true);
            connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
            guard.start(3000);
            QCOMPARE(QCoreApplication::exec(), 0);
        }
    }
};

QTEST_MAIN(TestPlaylist)
#include "tst_playlist.moc"
