// Start-up, the folder playlist, the folder and sort commands, the list click,
// the menus and their shortcuts.
#include "PlayerHarness.h"

#include "app/TextCodec.h"

#include <QAction>
#include <QMenu>
#include <QApplication>
#include <QtTest>

class TestPlaylist : public QObject {
    Q_OBJECT
private slots:
    void firstStartCreatesEmptyRezFileAndListsWorkingDirectory();
    void startWithEmptyFolderSelectsNothingAndSendsNoVolume();
    void onlyFirstLineOfRezFileIsTheFolderAndTheRestStays();
    void mp3NamesComeBeforeWavNamesEachByName();
    void namesDifferingInCaseListAlikeWhateverTheReadingOrder_data();
    void namesDifferingInCaseListAlikeWhateverTheReadingOrder();
    void hiddenFilesAndFoldersMatchingThePatternAreListed();
    void folderWithoutFinalSlashMatchesByPrefix();
    void missingOrNonFolderRememberedFolderGivesEmptyListQuietly();
    void windows1251NameIsListedReadablyAndKeepsItsBytes();
    void oddAndLongNamesAreListed();
    void folderOfThousandsListsEveryNameInOrder();
    void folderCommandRemembersChosenFolder();
    void unwritableRezFileStillListsTheChosenFolder();
    void cancelledFolderCommandForgetsTheFolder();
    void longChosenPathIsCutTo255Characters();
    void sortKeepsSelectedPositionNumber();
    void keyboardSelectionPlaysButProgramSelectionDoesNot();
    void unreadableRezFileShowsErrorAndEmptyList();
    void shortcutsReachTheirHandlers();
    void shortcutsAreDeadWhileSecondaryWindowIsOpen();
    void controlsStandWhereTheWindowPutsThem();
    void exitCommandAndCloseBoxEndTheProgram();
};

void TestPlaylist::firstStartCreatesEmptyRezFileAndListsWorkingDirectory()
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

void TestPlaylist::startWithEmptyFolderSelectsNothingAndSendsNoVolume()
{
    PlayerHarness h;
    const QByteArray folder = h.MakeFolder(QStringLiteral("empty"), {});
    TForm1 *f = h.Start(folder);
    QCOMPARE(f->ListBox1->Count(), 0);
    QCOMPARE(h.Selected(), -1);
    QVERIFY(f->Label1->text().isEmpty());
    QCOMPARE(f->TrackBar1->value(), 0);
    QVERIFY(h.volumeWords.empty());
    QCOMPARE(CurrentVolume, 0u);
}

void TestPlaylist::onlyFirstLineOfRezFileIsTheFolderAndTheRestStays()
{
    PlayerHarness h;
    const QByteArray folder = h.MakeFolder(QStringLiteral("music"), {QStringLiteral("x.wav")});
    const QByteArray content = folder + "\r\nsecond line\nthird";
    TForm1 *f = h.Start(content);
    QCOMPARE(RememberedFolder, folder);
    QCOMPARE(f->ListBox1->Count(), 1);
    QCOMPARE(ReadBytes("rez.dat"), content);
}

void TestPlaylist::mp3NamesComeBeforeWavNamesEachByName()
{
    PlayerHarness h;
    const QByteArray folder = h.MakeFolder(QStringLiteral("m"), {QStringLiteral("b.wav"), QStringLiteral("C.MP3"),
                                                                 QStringLiteral("a.mp3"), QStringLiteral("A.WaV"),
                                                                 QStringLiteral("b.Mp3"), QStringLiteral("x.mp3.txt"),
                                                                 QStringLiteral("y.ogg")});
    TForm1 *f = h.Start(folder);
    QStringList names;
    for (int i = 0; i < f->ListBox1->Count(); ++i)
        names << f->ListBox1->NameText(i);
    QCOMPARE(names, (QStringList{QStringLiteral("a.mp3"), QStringLiteral("b.Mp3"), QStringLiteral("C.MP3"),
                                 QStringLiteral("A.WaV"), QStringLiteral("b.wav")}));
}

void TestPlaylist::namesDifferingInCaseListAlikeWhateverTheReadingOrder_data()
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

void TestPlaylist::namesDifferingInCaseListAlikeWhateverTheReadingOrder()
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
        TForm1 *f = h.Start(folder);
        QList<QByteArray> listed;
        for (int i = 0; i < f->ListBox1->Count(); ++i)
            listed << f->ListBox1->NameBytes(i);
        QCOMPARE(listed, names);
    }
}

void TestPlaylist::hiddenFilesAndFoldersMatchingThePatternAreListed()
{
    PlayerHarness h;
    // ".mp3" too: the star matches nothing at all.
    const QByteArray folder = h.MakeFolder(QStringLiteral("m"), {QStringLiteral(".hidden.mp3"), QStringLiteral(".mp3")});
    QVERIFY(QDir().mkpath(QFile::decodeName(folder) + QStringLiteral("album.mp3")));
    TForm1 *f = h.Start(folder);
    QCOMPARE(f->ListBox1->Count(), 3);
    QCOMPARE(f->ListBox1->NameText(0), QStringLiteral(".hidden.mp3"));
    QCOMPARE(f->ListBox1->NameText(1), QStringLiteral(".mp3"));
    QCOMPARE(f->ListBox1->NameText(2), QStringLiteral("album.mp3"));
}

void TestPlaylist::folderWithoutFinalSlashMatchesByPrefix()
{
    PlayerHarness h;
    const QByteArray folder = h.MakeFolder(QStringLiteral("m"), {QStringLiteral("Rock1.mp3"), QStringLiteral("rockabilly.wav"),
                                                                 QStringLiteral("Pop.mp3")});
    TForm1 *f = h.Start(folder + "Rock");
    QCOMPARE(f->ListBox1->Count(), 2);
    QCOMPARE(f->ListBox1->NameText(0), QStringLiteral("Rock1.mp3"));
    QCOMPARE(f->ListBox1->NameText(1), QStringLiteral("rockabilly.wav"));
    // The path is formed the same way: the folder text directly followed by the name.
    f->Play();
    QCOMPARE(f->MediaPlayer1->FileName, folder + "RockRock1.mp3");
    QCOMPARE(h.dialogs.messages, QStringList{QStringLiteral("Ошибка обращения к файлу Rock1.mp3")});
}

void TestPlaylist::missingOrNonFolderRememberedFolderGivesEmptyListQuietly()
{
    for (const QByteArray &folder : {QByteArray("/no/such/folder/"), QByteArray("/etc/hostname/")}) {
        PlayerHarness h;
        TForm1 *f = h.Start(folder);
        QCOMPARE(f->ListBox1->Count(), 0);
        QVERIFY(h.dialogs.errors.isEmpty());
        QVERIFY(h.dialogs.messages.isEmpty());
    }
}

void TestPlaylist::windows1251NameIsListedReadablyAndKeepsItsBytes()
{
    PlayerHarness h;
    const QByteArray folder = h.MakeFolder(QStringLiteral("ru"), {});
    const QByteArray name("\xcf\xe5\xf1\xed\xff.wav"); // "Песня.wav" in windows-1251
    QVERIFY(WriteBytes(folder + name, MakeWav(1500)));
    TForm1 *f = h.Start(folder);
    QCOMPARE(f->ListBox1->Count(), 1);
    QCOMPARE(f->ListBox1->NameText(0), QStringLiteral("Песня.wav"));
    QCOMPARE(f->ListBox1->NameBytes(0), name);
    // Played by its bytes.
    f->Play();
    QVERIFY(h.dialogs.messages.isEmpty());
    QCOMPARE(f->windowTitle(), QStringLiteral("ZOLM Player - Песня.wav"));
    QVERIFY(h.Playing());
}

void TestPlaylist::oddAndLongNamesAreListed()
{
    PlayerHarness h;
    const QByteArray folder = h.MakeFolder(QStringLiteral("odd"), {});
    QByteArray low, high;
    for (int b = 1; b < 128; ++b)
        if (b != '/')
            low.append(char(b));
    for (int b = 128; b < 256; ++b)
        high.append(char(b));
    const QByteArray names[] = {low + ".mp3", high + ".mp3", QByteArray(196, 'n') + ".wav"};
    for (const QByteArray &n : names)
        QVERIFY(WriteBytes(folder + n, "x"));
    TForm1 *f = h.Start(folder);
    QCOMPARE(f->ListBox1->Count(), 3);
    QSet<QByteArray> listed;
    for (int i = 0; i < 3; ++i)
        listed.insert(f->ListBox1->NameBytes(i));
    QCOMPARE(listed, (QSet<QByteArray>{names[0], names[1], names[2]}));
}

// More records than one read of the folder holds, names sharing their first characters
// in runs of every length: each name comes back once, in the sort command's order.
void TestPlaylist::folderOfThousandsListsEveryNameInOrder()
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

void TestPlaylist::folderCommandRemembersChosenFolder()
{
    PlayerHarness h;
    const QByteArray folder = h.MakeFolder(QStringLiteral("chosen"), {QStringLiteral("one.wav"), QStringLiteral("two.mp3")});
    TForm1 *f = h.Start();
    h.dialogs.folderAnswers << QFile::decodeName(folder.chopped(1));
    f->N3Click();
    QCOMPARE(h.dialogs.captions, QStringList{QStringLiteral("Выберите папку с файлами мультимедиа")});
    QCOMPARE(RememberedFolder, folder);
    QCOMPARE(ReadBytes("rez.dat"), folder);
    QCOMPARE(f->ListBox1->Count(), 2);
    QCOMPARE(f->ListBox1->NameText(0), QStringLiteral("two.mp3"));
    QCOMPARE(h.Selected(), 0);
}

void TestPlaylist::unwritableRezFileStillListsTheChosenFolder()
{
    PlayerHarness h;
    const QByteArray old = h.MakeFolder(QStringLiteral("old"), {QStringLiteral("old.wav")});
    const QByteArray chosen = h.MakeFolder(QStringLiteral("new"), {QStringLiteral("new.wav")});
    TForm1 *f = h.Start(old);
    QVERIFY(QFile::remove(QStringLiteral("rez.dat")));
    QVERIFY(QDir().mkdir(QStringLiteral("rez.dat"))); // can't be written as a file
    h.dialogs.folderAnswers << QFile::decodeName(chosen.chopped(1));
    f->N3->trigger();
    QCOMPARE(h.dialogs.errors, QStringList{QStringLiteral("File access denied.")});
    QCOMPARE(RememberedFolder, chosen);
    QCOMPARE(f->ListBox1->NameText(0), QStringLiteral("new.wav"));
    f->Play();
    QVERIFY(h.Playing());
}

void TestPlaylist::cancelledFolderCommandForgetsTheFolder()
{
    PlayerHarness h;
    const QByteArray folder = h.MakeFolder(QStringLiteral("old"), {QStringLiteral("old.wav")});
    WriteBytes("here.wav", MakeWav(100));
    TForm1 *f = h.Start(folder);
    QCOMPARE(f->ListBox1->NameText(0), QStringLiteral("old.wav"));
    h.dialogs.folderAnswers << QString();
    f->SpeedButton4Click();
    QCOMPARE(ReadBytes("rez.dat"), QByteArray(""));
    QVERIFY(RememberedFolder.isEmpty());
    QCOMPARE(f->ListBox1->Count(), 1);
    QCOMPARE(f->ListBox1->NameText(0), QStringLiteral("here.wav"));
}

void TestPlaylist::longChosenPathIsCutTo255Characters()
{
    PlayerHarness h;
    TForm1 *f = h.Start();
    // Cyrillic folder names: two bytes a character, so a byte cut would split one.
    QString path = h.dir.path();
    while (path.size() < 300)
        path += QStringLiteral("/Жжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжж");
    QVERIFY(QDir().mkpath(path));
    h.dialogs.folderAnswers << path;
    f->SpeedButton4Click();
    const QByteArray expected = CutToChars(QFile::encodeName(path), 255);
    QCOMPARE(CharCount(RememberedFolder), qsizetype(255));
    QCOMPARE(RememberedFolder, expected);
    QCOMPARE(ReadBytes("rez.dat"), expected);
    QVERIFY(QString::fromUtf8(RememberedFolder).toUtf8() == RememberedFolder); // no half character
}

void TestPlaylist::sortKeepsSelectedPositionNumber()
{
    PlayerHarness h;
    const QByteArray folder = h.MakeFolder(QStringLiteral("s"), {QStringLiteral("a.mp3"), QStringLiteral("c.mp3"),
                                                                 QStringLiteral("b.wav"), QStringLiteral("d.wav")});
    TForm1 *f = h.Start(folder);
    f->ListBox1->SetItemIndex(1); // c.mp3
    f->N15Click();
    QCOMPARE(f->ListBox1->NameText(1), QStringLiteral("b.wav"));
    QCOMPARE(f->ListBox1->NameText(2), QStringLiteral("c.mp3"));
    QCOMPARE(h.Selected(), 1);
    QCOMPARE(f->ListBox1->NameBytes(1), QByteArray("b.wav"));
    QCOMPARE(f->windowTitle(), QStringLiteral("ZOLM Player")); // nothing played
    // The folder command turns sorted mode off again: the listing's order comes back.
    h.dialogs.folderAnswers << QFile::decodeName(folder.chopped(1));
    f->N3Click();
    QCOMPARE(f->ListBox1->NameText(1), QStringLiteral("c.mp3"));
}

void TestPlaylist::keyboardSelectionPlaysButProgramSelectionDoesNot()
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

void TestPlaylist::unreadableRezFileShowsErrorAndEmptyList()
{
    PlayerHarness h;
    WriteBytes("a.wav", MakeWav(100));
    QVERIFY(QDir().mkdir(QStringLiteral("rez.dat")));
    TForm1 *f = h.Start(QByteArray());
    QCOMPARE(h.dialogs.errors, QStringList{QStringLiteral("File access denied.")});
    QCOMPARE(f->ListBox1->Count(), 0);
    QVERIFY(h.volumeWords.empty());
}

void TestPlaylist::shortcutsReachTheirHandlers()
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

void TestPlaylist::shortcutsAreDeadWhileSecondaryWindowIsOpen()
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
    QApplication::setActiveWindow(f);
    QTest::keySequence(f, QKeySequence(Qt::CTRL | Qt::Key_S));
    QVERIFY(f->shuffle->Down());
}

void TestPlaylist::controlsStandWhereTheWindowPutsThem()
{
    PlayerHarness h;
    TForm1 *f = h.Start();
    QCOMPARE(f->centralWidget()->size(), QSize(362, 422));
    QCOMPARE(f->centralWidget()->palette().color(QPalette::Window), QColor(166, 202, 240));
    QCOMPARE(f->ListBox1->geometry(), QRect(8, 136, 305, 280));
    QCOMPARE(f->TrackBar2->geometry(), QRect(8, 85, 265, 15));
    QCOMPARE(f->TrackBar1->geometry(), QRect(326, 170, 25, 150));
    QCOMPARE(f->SpeedButton4->geometry(), QRect(318, 376, 38, 38));
    QCOMPARE(f->MuteButton->Glyph().size(), QSize(23, 25));
    QCOMPARE(f->RepeatButton->Glyph().size(), QSize(23, 22));
    QCOMPARE(f->SpeedButton5->Glyph().size(), QSize(23, 15));
    QCOMPARE(f->SpeedButton4->Glyph().size(), QSize(32, 32));
    QCOMPARE(f->SpeedButton5->toolTip(), QStringLiteral("Проиграть"));
    QCOMPARE(f->TrackBar2->maximum(), 10);
    QCOMPARE(f->TrackBar2->tickInterval(), 1);
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
    QCOMPARE(f->SpeedButton5->focusPolicy(), Qt::NoFocus);
}

void TestPlaylist::exitCommandAndCloseBoxEndTheProgram()
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

QTEST_MAIN(TestPlaylist)
#include "test_playlist.moc"
