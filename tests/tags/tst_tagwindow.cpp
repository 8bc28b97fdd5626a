// The tag window: its crossed boxes, the restart of the track around the
// reading, and what it does when there is nothing to read.
#include "runtime/TextCodec.h"
#include "player/PlayerHarness.h"
#include "common/TagSupport.h"

#include <QtTest>

namespace {

QByteArray Tag(const QByteArray &title, const QByteArray &album, const QByteArray &comment)
{
    return MakeTag(title, "", album, "", comment, 0);
}

// A player started on a folder of two tagged tracks; b.wav has a distinct value in each field.
struct TagWindowHarness : PlayerHarness {
    QByteArray folder = MakeFolder("music", {});
    TagWindowHarness()
    {
        WriteBytes(folder + "a.wav", MakeWav(3000) + Tag("Song A", "Record", "Note A"));
        WriteBytes(folder + "b.wav", MakeWav(3000) + MakeTag("Song B", "Artist B", "Record B", "1984", "Note B", 8)); // Jazz
        Start(folder);
    }
    void PlayEntry(int index)
    {
        Session().Select(index);
        Session().Play();
    }
};

} // namespace

class TestTagWindow : public QObject {
    Q_OBJECT
private slots:
    // A showing stops playback, reads the tag of the track last started and starts the
    // selected entry again; a failure ends it where it happened, the window shown all the same.
    void showingReadsTheStartedTrackAndRestartsIt_data()
    {
        QTest::addColumn<QString>("before"); // steps: play N, tick, show (and close), lose FILE
        QTest::addColumn<QString>("errors"); // %1: the folder
        QTest::addColumn<QString>("path");   // TagFilePath after the folder, or "-": not looked at
        QTest::addColumn<QString>("boxes");  // the six boxes in tab order: title, artist, album, year, genre, comment rows
        QTest::addColumn<int>("position");   // ms, -1: nothing plays
        QTest::addColumn<QString>("caption");
        const char *unread = "edTitle|edArtist|edComment|edYear|edGenre|edAlbum";
        QTest::newRow("the started track, from its beginning")
            << "play 1 tick" << "" << "b.wav" << "Song B|Artist B|Record B|1984|Jazz|Note B" << 0 << "ZOLM Player - b.wav";
        QTest::newRow("nothing started yet: the folder")
            << "" << "Cannot open file \"%1\". Is a directory." << "" << unread << -1 << "ZOLM Player";
        QTest::newRow("the file gone: stopped, boxes kept")
            << "play 0 show lose a.wav" << "Cannot open file \"%1a.wav\". No such file or directory." << "a.wav"
            << "Song A||Record||Blues|Note A" << -1 << "ZOLM Player - a.wav";
        QTest::newRow("rez.dat gone: playback left alone")
            << "play 0 tick lose rez.dat" << "File not found." << "-" << unread << 1000 << "ZOLM Player - a.wav";
    }

    void showingReadsTheStartedTrackAndRestartsIt()
    {
        QFETCH(QString, before);
        QFETCH(QString, errors);
        QFETCH(QString, path);
        QFETCH(int, position);
        TagWindowHarness h;
        const QStringList steps = before.split(' ', Qt::SkipEmptyParts);
        for (qsizetype i = 0; i < steps.size(); ++i) {
            if (steps[i] == QLatin1String("play"))
                h.PlayEntry(steps[++i].toInt());
            else if (steps[i] == QLatin1String("tick"))
                h.Tick();
            else if (steps[i] == QLatin1String("show"))
                h.form->ID3Tag1Click(), ID3Tag->close();
            else if (steps[i] == QLatin1String("lose"))
                QCOMPARE(::unlink((steps[++i] == "rez.dat" ? "rez.dat" : h.folder + steps[i].toUtf8()).constData()), 0);
        }

        h.form->ID3Tag1Click();
        QCOMPARE(h.dialogs.errors.join('|'), errors.arg(QString::fromUtf8(h.folder)));
        if (path != "-")
            QCOMPARE(TagFilePath, h.folder + path.toUtf8());
        // Each field is on the row whose label names it (places and captions: tst_windows): edComment
        // sits on the album row, edAlbum on the comment row.
        const TEdit *const boxes[] = {ID3Tag->edTitle, ID3Tag->edArtist, ID3Tag->edComment, ID3Tag->edYear, ID3Tag->edGenre,
                                      ID3Tag->edAlbum};
        QStringList shown;
        for (const TEdit *box : boxes)
            shown << box->text();
        QTEST(shown.join('|'), "boxes");
        for (qsizetype i = 0; i + 1 < std::ssize(boxes); ++i)
            QCOMPARE(boxes[i]->nextInFocusChain(), boxes[i + 1]);
        QCOMPARE(h.Playing(), position >= 0);
        QCOMPARE(h.Session().Clock()->isActive(), position >= 0);
        if (position >= 0)
            QCOMPARE(h.Session().Media()->Position(), std::uint32_t(position));
        QTEST(h.Title(), "caption");
        QVERIFY(ID3Tag->isVisible());
        QVERIFY(!h.form->isEnabled());

        // Closing leaves playback as it was and gives the main window back.
        ID3Tag->close();
        QVERIFY(!ID3Tag->isVisible());
        QVERIFY(h.form->isEnabled());
        QCOMPARE(h.Playing(), position >= 0);
    }

    // Whatever bytes a name holds, the caption it shows leads the tag window back to it:
    // a byte windows-1251 lacks (0x98), Western names, every byte value in every context.
    void everyNameShownInTheCaptionLeadsBackToItsFile()
    {
        PlayerHarness h;
        const QByteArray folder = h.MakeFolder("names", {});
        // A leading byte-order mark is kept too, with the same name without it beside; "А" in
        // windows-1251 and in UTF-8 show alike.
        const QByteArray names[] = {"\xd2\xf0\x98\xea.wav", "R\xe4ksm\xf6rg\xe5s.wav", "\xef\xbb\xbfsong.wav", "song.wav",
                                    "\xc0.wav", "\xd0\x90.wav"};
        const QString titles[] = {QStringLiteral("Odd byte"), QStringLiteral("Räksmörgås"), QStringLiteral("Marked"),
                                  QStringLiteral("Plain"), QStringLiteral("A in windows-1251"), QStringLiteral("A in UTF-8")};
        for (int i = 0; i < 6; ++i)
            QVERIFY(WriteBytes(folder + names[i], MakeWav(2000) + Tag(titles[i].toLatin1(), "", "")));
        h.Start(folder);
        QCOMPARE(h.Session().EntryText(0), QStringLiteral("Räksmörgås.wav"));
        for (int index = 0; index < 6; ++index) {
            h.Session().Select(index);
            h.Session().Play();
            h.form->ID3Tag1Click();
            QVERIFY2(h.dialogs.errors.isEmpty(), qPrintable(h.dialogs.errors.join('|')));
            const QByteArray *name = std::find(std::begin(names), std::end(names), h.Session().EntryBytes(index));
            QCOMPARE(TagFilePath, folder + *name);
            QCOMPARE(ID3Tag->edTitle->text(), titles[name - names]);
            ID3Tag->close();
        }
        for (const QByteArray &name : names)
            ::unlink((folder + name).constData());

        for (const QByteArray &context : {QByteArray("x"), QByteArray("\xcf\xe5\xf1\xed\xff"), QByteArray("Man\xe1")})
            for (int b = 1; b < 256; ++b) {
                if (b == '/')
                    continue;
                const QByteArray name = context + char(b) + ".mp3";
                QVERIFY(WriteBytes(folder + name, QByteArray()));
                h.form->setWindowTitle(QStringLiteral("ZOLM Player - ") + DisplayText(name));
                QCOMPARE(FileNameBytes(folder, h.form->windowTitle().mid(14)).toHex(), name.toHex());
                QCOMPARE(::unlink((folder + name).constData()), 0);
            }
        // "Трек.wav" in windows-1251, from its display text; a name in neither form stays UTF-8,
        // so the error names what the caption shows.
        QVERIFY(WriteBytes(folder + "\xD2\xF0\xE5\xEA.wav", QByteArray()));
        QCOMPARE(FileNameBytes(folder, QStringLiteral("Трек.wav")), QByteArray("\xD2\xF0\xE5\xEA.wav"));
        QCOMPARE(FileNameBytes(folder, QStringLiteral("Нет.wav")), QStringLiteral("Нет.wav").toUtf8());
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
