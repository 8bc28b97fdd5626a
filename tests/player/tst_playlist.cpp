// Start-up, the folder playlist, the folder and sort commands on the session alone;
// the list click, the menus and their shortcuts on the window.
#include "PlayerHarness.h"

#include "runtime/TextCodec.h"

#include <QAction>
#include <QtTest>

#include <sys/stat.h>

namespace {
using Names = QList<QByteArray>;
// Files made in a folder, rez.dat naming it (%1: the folder, with its final "/"), the names
// listed, how the first shows and what playing it reports (empty: it plays).
struct FolderCase { Names files; QByteArray rez; Names listed; QString firstText, message; };
} // namespace

class TestPlaylist : public QObject {
    Q_OBJECT
private slots:
    void firstStartCreatesEmptyRezFileAndListsWorkingDirectory()
    {
        SessionHarness h;
        WriteBytes("b.wav", MakeWav(100));
        WriteBytes("a.mp3", "not audio");
        WriteBytes("notes.txt", "x");
        TPlayerSession &s = h.Start();
        QCOMPARE(ReadBytes("rez.dat"), QByteArray(""));
        QCOMPARE(EntryNames(s), (QList<QByteArray>{"a.mp3", "b.wav"}));
        QCOMPARE(ShownState(s), "0 closed, still 0:00, no bar");
        QCOMPARE(s.TrackText() + " / " + s.Title(), QStringLiteral("a.mp3 / ZOLM Player"));
        // The slider at 7: its own change and the explicit send, the same word twice.
        QCOMPARE(std::make_tuple(s.VolumePosition(), s.VolumeWord()), std::make_tuple(7, 0xA50AA50Au));
        QCOMPARE(h.volumeWords, (std::vector<std::uint32_t>{0xA50AA50Au, 0xA50AA50Au}));
        QVERIFY(h.dialogs.errors.isEmpty());
    }

    void onlyFirstLineOfRezFileIsTheFolderAndTheRestStays()
    {
        SessionHarness h;
        const QByteArray folder = h.MakeFolder(QStringLiteral("music"), {QStringLiteral("x.wav")});
        const QByteArray content = folder + "\r\nsecond line\nthird";
        TPlayerSession &s = h.Start(content);
        QCOMPARE(std::make_tuple(s.Folder(), s.Count(), ReadBytes("rez.dat")), std::make_tuple(folder, 1, content));
    }

    // What a remembered folder lists, and how the first entry is shown and played: the
    // path is the folder's text directly followed by the name. A name ending in "/" is
    // made as a folder.
    void folderListsItsAudioNames_data()
    {
        QTest::addColumn<FolderCase>("c");
        const auto row = [](const char *name, const Names &files, const QByteArray &rez, const Names &listed,
                            const QString &firstText, const QString &message = QString()) {
            QTest::newRow(name) << FolderCase{files, rez, listed, firstText, message};
        };
        row("mp3 names first, then wav, each by name", {"b.wav", "C.MP3", "a.mp3", "A.WaV", "b.Mp3", "x.mp3.txt", "y.ogg"}, "%1",
            {"a.mp3", "b.Mp3", "C.MP3", "A.WaV", "b.wav"}, QStringLiteral("a.mp3"));
        // ".mp3" too: the star matches nothing at all.
        row("hidden files and folders", {"album.mp3/", ".mp3", ".hidden.mp3"}, "%1", {".hidden.mp3", ".mp3", "album.mp3"},
            QStringLiteral(".hidden.mp3"));
        row("no final slash: names by prefix", {"Rock1.mp3", "rockabilly.wav", "Pop.mp3"}, "%1Rock", {"Rock1.mp3", "rockabilly.wav"},
            QStringLiteral("Rock1.mp3"), QStringLiteral("Ошибка обращения к файлу Rock1.mp3"));
        // "Песня.wav" in windows-1251: shown readably, played by its bytes.
        row("windows-1251 name", {"\xcf\xe5\xf1\xed\xff.wav"}, "%1", {"\xcf\xe5\xf1\xed\xff.wav"}, QStringLiteral("Песня.wav"));
        QByteArray low, high;
        for (int b = 1; b < 128; ++b)
            if (b != '/')
                low.append(char(b));
        for (int b = 128; b < 256; ++b)
            high.append(char(b));
        const QByteArray longName = QByteArray(196, 'n') + ".mp3";
        row("odd and long names", {high + ".wav", longName, low + ".wav"}, "%1", {longName, low + ".wav", high + ".wav"},
            QString::fromLatin1(longName));
        row("empty folder", {}, "%1", {}, QString());
        row("missing folder", {}, "/no/such/folder/", {}, QString());
        row("a file, not a folder", {}, "/etc/hostname/", {}, QString());
    }
    void folderListsItsAudioNames()
    {
        QFETCH(FolderCase, c);
        auto [files, rez, listed, firstText, message] = c;
        SessionHarness h;
        const QByteArray folder = h.MakeFolder(QStringLiteral("m"), {});
        for (const QByteArray &name : files)
            QVERIFY(name.endsWith('/') ? QDir().mkpath(QFile::decodeName(folder + name))
                                       : WriteBytes(folder + name, MakeWav(1500)));
        rez.replace("%1", folder);
        TPlayerSession &s = h.Start(rez);
        QCOMPARE(EntryNames(s), listed);
        // A missing or empty folder lists nothing, quietly, and leaves the volume unset.
        QVERIFY(h.dialogs.errors.isEmpty() && h.dialogs.messages.isEmpty());
        QCOMPARE(s.Current(), listed.isEmpty() ? -1 : 0);
        QCOMPARE(s.TrackText(), firstText);
        QCOMPARE(std::make_tuple(s.VolumePosition(), s.VolumeWord(), h.volumeWords.empty()),
                 listed.isEmpty() ? std::make_tuple(0, 0u, true) : std::make_tuple(7, 0xA50AA50Au, false));
        if (listed.isEmpty())
            return;
        QCOMPARE(s.EntryText(0), firstText);
        s.Play();
        QCOMPARE(s.Media()->FileName, rez + listed[0]);
        QCOMPARE(h.dialogs.messages, message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(h.Playing(), message.isEmpty());
        if (message.isEmpty())
            QCOMPARE(s.Title(), QStringLiteral("ZOLM Player - ") + firstText);
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
            SessionHarness h;
            QCOMPARE(EntryNames(h.Start(folder)), names);
        }
    }

    // More records than one read of the folder holds, names sharing their first characters
    // in runs of every length: each name comes back once, in the sort command's order.
    void folderOfThousandsListsEveryNameInOrder()
    {
        SessionHarness h;
        const QByteArray folder = h.MakeFolder(QStringLiteral("many"), {});
        QStringList expected;
        for (int i = 0; i < 3000; ++i) {
            const int n = (i * 1237) % 3000; // not the order the files are made in
            const QString name = QStringLiteral("%1 %2 Track of a long name.mp3").arg(n).arg(i % 2 ? u"a" : u"B");
            QVERIFY(WriteBytes(folder + QFile::encodeName(name), "x"));
            expected << name;
        }
        std::sort(expected.begin(), expected.end(), NameLess);
        TPlayerSession &s = h.Start(folder);
        for (int i = 0; i < s.Count(); ++i)
            QCOMPARE(s.EntryText(i), expected.value(i));
        QCOMPARE(s.Count(), int(expected.size()));
    }

    // The folder command: the chosen folder is remembered in rez.dat and listed; one that
    // rez.dat can't take is listed all the same; cancelling forgets the folder, and the
    // list shows the working directory. A name's bytes reach rez.dat as they are.
    void folderCommandRemembersChosenFolder_data()
    {
        QTest::addColumn<QByteArray>("answer"); // under the scratch directory; null: cancel
        QTest::addColumn<bool>("writable");     // rez.dat
        QTest::addColumn<QList<QByteArray>>("listed");
        // "Папка" in windows-1251.
        QTest::newRow("chosen") << QByteArray("\xcf\xe0\xef\xea\xe0") << true << QList<QByteArray>{"two.mp3", "one.wav"};
        QTest::newRow("rez.dat unwritable") << QByteArray("new") << false << QList<QByteArray>{"two.mp3", "one.wav"};
        QTest::newRow("cancelled") << QByteArray() << true << QList<QByteArray>{"here.wav"};
    }
    void folderCommandRemembersChosenFolder()
    {
        QFETCH(QByteArray, answer);
        QFETCH(bool, writable);
        SessionHarness h;
        const QByteArray folder = answer.isNull() ? QByteArray("") : h.dir.pathBytes() + '/' + answer + '/';
        QVERIFY(WriteBytes("here.wav", MakeWav(100)));
        if (!answer.isNull())
            QVERIFY(::mkdir(folder.constData(), 0700) == 0 && WriteBytes(folder + "one.wav", MakeWav(100)) &&
                    WriteBytes(folder + "two.mp3", MakeWav(100)));
        TPlayerSession &s = h.Start(h.MakeFolder(QStringLiteral("old"), {QStringLiteral("old.wav")}));
        if (!writable)
            QVERIFY(QFile::remove(QStringLiteral("rez.dat")) && QDir().mkdir(QStringLiteral("rez.dat")));
        h.dialogs.folderAnswers << (answer.isNull() ? QByteArray() : folder.chopped(1));
        RunHandler([&] { s.ChooseFolder(); });
        QCOMPARE(h.dialogs.captions, QStringList{QStringLiteral("Выберите папку с файлами мультимедиа")});
        QCOMPARE(h.dialogs.errors, writable ? QStringList() : QStringList{QStringLiteral("File access denied.")});
        QCOMPARE(s.Folder(), folder);
        if (writable)
            QCOMPARE(ReadBytes("rez.dat"), folder);
        QTEST(EntryNames(s), "listed");
        QCOMPARE(s.Current(), 0);
        s.Play();
        QVERIFY(h.Playing());
    }

    void longChosenPathIsCutTo255Characters()
    {
        SessionHarness h;
        TPlayerSession &s = h.Start();
        // Cyrillic folder names: two bytes a character, so a byte cut would split one.
        QString path = h.dir.path();
        while (path.size() < 300)
            path += QStringLiteral("/Жжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжж");
        QVERIFY(QDir().mkpath(path));
        h.dialogs.folderAnswers << QFile::encodeName(path);
        s.ChooseFolder();
        const QByteArray expected = CutToChars(QFile::encodeName(path), 255);
        QCOMPARE(CharCount(s.Folder()), qsizetype(255));
        QCOMPARE(std::make_pair(s.Folder(), ReadBytes("rez.dat")), std::make_pair(expected, expected));
        QVERIFY(QString::fromUtf8(s.Folder()).toUtf8() == s.Folder()); // no half character
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
        SessionHarness h;
        const QByteArray folder = h.MakeFolder("s", {"a.mp3", "c.mp3", "b.wav", "d.wav"});
        const QList<QByteArray> listing{"a.mp3", "c.mp3", "b.wav", "d.wav"}, sorted{"a.mp3", "b.wav", "c.mp3", "d.wav"};
        TPlayerSession &s = h.Start(folder);
        s.Select(1); // c.mp3
        s.SortByName();
        QCOMPARE(EntryNames(s), sorted);
        QCOMPARE(PlaybackState(s) + " / " + s.Title(), QStringLiteral("1 closed / ZOLM Player")); // nothing played
        if (chooser) {
            h.dialogs.folderAnswers << folder.chopped(1);
            s.ChooseFolder();
        } else {
            s.OpenFolder(folder.chopped(1));
        }
        QCOMPARE(EntryNames(s), listing);
        s.SortByName();
        QCOMPARE(EntryNames(s), sorted);
    }

    void keyboardSelectionPlaysButProgramSelectionDoesNot()
    {
        PlayerHarness h;
        TForm1 *f = h.Start(h.MakeFolder("k", {"a.wav", "b.wav", "c.wav"}));
        TListBox *list = f->ListBox1;
        h.Session().Select(2); // the list shows the session's choice, and nothing plays
        QCOMPARE(list->ItemIndex(), 2);
        QVERIFY(!h.Session().Media()->IsOpen());
        h.Session().Select(0);
        QSignalSpy resets(list->model(), &QAbstractItemModel::modelReset);
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(resets.count(), 0); // a new current entry is no new list
        QCOMPARE(PlaybackState(h.Session()), "1 playing 0");
        QCOMPARE(h.Title() + " / " + h.Session().TrackText(), QStringLiteral("ZOLM Player - b.wav / b.wav (0:02)"));
        // A mouse click on an entry plays it too.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
        QCOMPARE(h.Title(), QStringLiteral("ZOLM Player - a.wav"));
    }

    void unreadableRezFileShowsErrorAndEmptyList()
    {
        SessionHarness h;
        WriteBytes("a.wav", MakeWav(100));
        QVERIFY(QDir().mkdir(QStringLiteral("rez.dat")));
        TPlayerSession &s = h.Start(QByteArray());
        QCOMPARE(h.dialogs.errors, QStringList{QStringLiteral("File access denied.")});
        QCOMPARE(s.Count(), 0);
        QVERIFY(h.volumeWords.empty());
        PlayerHarness window; // the window drawn all the same: the seek bar's thumb hidden
        QVERIFY(QDir().mkdir(QStringLiteral("rez.dat")));
        QVERIFY(!window.Start(QByteArray())->TrackBar2->SliderVisible());
        QCOMPARE(window.dialogs.errors.size(), 1);
    }

    void shortcutsReachTheirHandlers()
    {
        PlayerHarness h;
        TForm1 *f = h.Start(h.MakeFolder("sc", {"a.wav", "b.wav", "c.wav"}));
        QVERIFY(h.ShowActive());
        auto press = [f](QKeyCombination key) { QTest::keySequence(f, QKeySequence(key)); };

        press(Qt::CTRL | Qt::Key_X);
        QCOMPARE(h.Title(), QStringLiteral("ZOLM Player - a.wav"));
        press(Qt::CTRL | Qt::Key_B);
        QCOMPARE(h.Selected(), 1);
        press(Qt::CTRL | Qt::Key_Z);
        QCOMPARE(h.Selected(), 0);
        press(Qt::CTRL | Qt::Key_C);
        QCOMPARE(h.Session().Media()->Mode(), TMPModes::mpPaused);
        press(Qt::CTRL | Qt::Key_V);
        QVERIFY(!h.Session().Media()->IsOpen());
        press(Qt::CTRL | Qt::Key_S);
        QVERIFY(h.Session().Shuffle());
        press(Qt::CTRL | Qt::Key_R);
        QCOMPARE(h.Session().RepeatMode(), 1);
        press(Qt::Key_F5);
        QVERIFY(h.Session().Muted());
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
        TForm1 *f = h.Start(h.MakeFolder("d", {"a.wav"}));
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
        QVERIFY(!h.Session().Shuffle() && !h.Session().Muted());
        QVERIFY(h.dialogs.captions.isEmpty());
        AboutBox->OKButtonClick();
        QVERIFY(f->isEnabled());
        QVERIFY(!AboutBox->isVisible());
        QVERIFY(!f->N12->isEnabled()); // the divider stays disabled
        f->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f));
        QTest::keySequence(f, QKeySequence(Qt::CTRL | Qt::Key_S));
        QVERIFY(h.Session().Shuffle());
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
            QObject guard; // the guard goes with its loop
            QTimer::singleShot(3000, &guard, [] { QCoreApplication::exit(1); });
            QCOMPARE(QCoreApplication::exec(), 0);
        }
    }
};

QTEST_MAIN(TestPlaylist)
#include "tst_playlist.moc"
