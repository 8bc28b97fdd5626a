// The ID3v1 reader: the trailer's fields, the genre table and the files it refuses.
#include "TestFiles.h"
#include "common/TagSupport.h"
#include "runtime/Errors.h"
#include "tags/Id3v1.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <unistd.h>

namespace {

// A text target that records what it was given, and in which order.
struct Target {
    const char *name;
    QStringList *log;
    QString text = QStringLiteral("untouched");
    void setText(const QString &t) { text = t; log->append(QString::fromLatin1(name)); }
};

struct Targets {
    QStringList log;
    Target title{"title", &log}, artist{"artist", &log}, comment{"comment", &log}, year{"year", &log},
        genre{"genre", &log}, album{"album", &log};
    void read(const QByteArray &path) { ReadID3v1Tag(path, &title, &artist, &comment, &year, &genre, &album); }
    QStringList texts() const { return {title.text, artist.text, comment.text, year.text, genre.text, album.text}; }
};

} // namespace

class TestId3v1 : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    QByteArray write(const QByteArray &content)
    {
        const QByteArray path = QFile::encodeName(dir.filePath("song.mp3"));
        if (!WriteBytes(path, content))
            qFatal("cannot write the test file");
        return path;
    }

private slots:
    void fieldsAreTakenWholeUntrimmedAndReadable()
    {
        const QByteArray thirty = "abcdefghijklmnopqrstuvwxyz0123";
        QByteArray v11Comment = QByteArray(28, 'c') + '\0' + char(7); // ID3v1.1: zero, then a track number
        // "Кино" in windows-1251 for the album, UTF-8 in the artist; the year left zero.
        Targets t;
        t.read(write(QByteArray(4000, 'x') + MakeTag(thirty, QStringLiteral("  Звери  ").toUtf8(), "\xCA\xE8\xED\xEE",
                                                     "", v11Comment, 13)));
        QCOMPARE(t.texts(), QStringList({QString::fromLatin1(thirty), QStringLiteral("  Звери  "), QString(28, 'c'), "", "Pop",
                                         QStringLiteral("Кино")}));
        QCOMPARE(t.log, QStringList({"title", "artist", "comment", "year", "genre", "album"}));
        // A tagger's UTF-8 cut at the field's 30 bytes in the middle of a letter.
        const QByteArray cut = QStringLiteral("Ария - Штиль (концертная)").toUtf8().left(30);
        t.read(write(QByteArray(500, 'x') + MakeTag(cut, "", "", "", "", 0)));
        QCOMPARE(t.title.text, QStringLiteral("Ария - Штиль (кон\u28d1"));
    }

    void everyFieldHasItsOwnOffsetAndWidth()
    {
        // Every byte of the trailer holds its own offset (3 to 127, none zero), so a
        // field read from the wrong place or one byte too short or long shows.
        QByteArray trailer = "TAG";
        for (int at = 3; at < 128; ++at)
            trailer.append(char(at));
        auto span = [](int from, int width) {
            QString s;
            for (int at = from; at < from + width; ++at)
                s.append(QChar(at));
            return s;
        };
        Targets t;
        t.read(write(QByteArray(300, '\xFF') + trailer));
        QCOMPARE(t.texts(), QStringList({span(3, 30), span(33, 30), span(97, 30), span(93, 4), "Drum & Bass", span(63, 30)}));
    }

    // Every genre byte, through the table and through a file: its published name, or its number past them.
    void genreByteBecomesItsPublishedNameOrNumber()
    {
        // Typed from the published list, with this player's three spellings at 123, 144 and 146.
        const char *const published[] = {
            "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop", "Jazz", "Metal", "New Age",
            "Oldies", "Other", "Pop", "R&B", "Rap", "Reggae", "Rock", "Techno", "Industrial", "Alternative", "Ska",
            "Death Metal", "Pranks", "Soundtrack", "Euro-Techno", "Ambient", "Trip-Hop", "Vocal", "Jazz+Funk", "Fusion",
            "Trance", "Classical", "Instrumental", "Acid", "House", "Game", "Sound Clip", "Gospel", "Noise", "AlternRock",
            "Bass", "Soul", "Punk", "Space", "Meditative", "Instrumental Pop", "Instrumental Rock", "Ethnic", "Gothic",
            "Darkwave", "Techno-Industrial", "Electronic", "Pop-Folk", "Eurodance", "Dream", "Southern Rock", "Comedy",
            "Cult", "Gangsta", "Top 40", "Christian Rap", "Pop/Funk", "Jungle", "Native American", "Cabaret", "New Wave",
            "Psychadelic", "Rave", "Showtunes", "Trailer", "Lo-Fi", "Tribal", "Acid Punk", "Acid Jazz", "Polka", "Retro",
            "Musical", "Rock & Roll", "Hard Rock", "Folk", "Folk-Rock", "National Folk", "Swing", "Fast Fusion", "Bebob",
            "Latin", "Revival", "Celtic", "Bluegrass", "Avantgarde", "Gothic Rock", "Progressive Rock", "Psychedelic Rock",
            "Symphonic Rock", "Slow Rock", "Big Band", "Chorus", "Easy Listening", "Acoustic", "Humour", "Speech",
            "Chanson", "Opera", "Chamber Music", "Sonata", "Symphony", "Booty Bass", "Primus", "Porn Groove", "Satire",
            "Slow Jam", "Club", "Tango", "Samba", "Folklore", "Ballad", "Power Ballad", "Rhythmic Soul", "Freestyle",
            "Duet", "Punk Rock", "Drum Solo", "Acapella", "Euro-House", "Dance Hall", "Goa", "Drum & Bass", "Club-House",
            "Hardcore", "Terror", "Indie", "BritPop", "Negerpunk", "Polsk Punk", "Beat", "Christian Gangsta Rap",
            "Heavy Metal", "Black Metal", "Crossover", "Contemporary Christian", "Christian Rock", "Merengue", "Salsa",
            "Trash Metal", "Anime", "Jpop", "Synthpop",
        };
        static_assert(std::size(published) == 148);
        Targets t;
        for (int g = 0; g < 256; ++g) {
            const QString want = g < 148 ? QString::fromLatin1(published[g]) : QString::number(g);
            QCOMPARE(ID3v1GenreText((unsigned char)g), want);
            t.read(write(QByteArray(500, 'a') + MakeTag("", "", "", "", "", g)));
            QCOMPARE(t.genre.text, want);
        }
    }

    void trailerWithoutTagEmptiesAllTargets_data()
    {
        QTest::addColumn<QByteArray>("content");
        const QByteArray tag = MakeTag("Title", "Artist", "Album", "1999", "Comment", 1);
        QTest::newRow("lower-case tag") << QByteArray(500, 'a') + MakeTag("Title", "", "", "", "", 1, "tag");
        QTest::newRow("tag followed by other data") << QByteArray(500, 'a') + tag + "more";
        QTest::newRow("shorter than a trailer") << tag.left(127);
        QTest::newRow("empty file") << QByteArray();
    }
    void trailerWithoutTagEmptiesAllTargets()
    {
        QFETCH(QByteArray, content);
        Targets t;
        t.read(write(content));
        QCOMPARE(t.texts(), QStringList(6, QString()));
        QCOMPARE(t.log.size(), 6);
    }

    void randomBytesAfterTagStayWithinTheirFields()
    {
        std::mt19937 random(12345);
        for (int round = 0; round < 50; ++round) {
            QByteArray trailer = "TAG";
            while (trailer.size() < 128)
                trailer.append(char(random()));
            Targets t;
            t.read(write(trailer));
            QVERIFY(t.title.text.size() <= 30 && t.year.text.size() <= 4 && !t.genre.text.isEmpty());
        }
    }

    void unopenableFileRaisesAndWritesNothing()
    {
        Targets t;
        const QString missing = dir.filePath("gone.mp3");
        try {
            t.read(QFile::encodeName(missing));
            QFAIL("a missing file was read");
        } catch (const EFOpenError &e) {
            QCOMPARE(e.Message(), QStringLiteral("Cannot open file \"%1\". No such file or directory").arg(missing));
        }
        // open() accepts a folder on Linux; the reader must not.
        QVERIFY(QDir(dir.path()).mkpath("folder.mp3"));
        QVERIFY_THROWS_EXCEPTION(EFOpenError, t.read(QFile::encodeName(dir.filePath("folder.mp3"))));
        QVERIFY(t.log.isEmpty());
    }

    void fileHeldByAnotherLockerCannotBeOpened()
    {
        const QByteArray path = write(MakeTag("Locked", "", "", "", "", 0));
        const int other = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        QCOMPARE(::flock(other, LOCK_SH | LOCK_NB), 0);
        Targets t;
        QVERIFY_THROWS_EXCEPTION(EFOpenError, t.read(path));
        ::close(other);
        // The reader's own lock goes with the call.
        t.read(path);
        t.read(path);
        QCOMPARE(t.title.text, "Locked");
    }
};

QTEST_GUILESS_MAIN(TestId3v1)
#include "tst_id3v1.moc"
