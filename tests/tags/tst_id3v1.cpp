// The ID3v1 reader: the trailer's fields, the genre table and the files it refuses.
#include "app/Errors.h"
#include "tags/Id3v1.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A text target that records what it was given, and when.
struct Target {
    QString name;
    QStringList *log;
    QString text = QStringLiteral("untouched");
    void setText(const QString &t)
    {
        text = t;
        log->append(name);
    }
};

struct Targets {
    QStringList log;
    Target title{"title", &log}, artist{"artist", &log}, comment{"comment", &log}, year{"year", &log},
        genre{"genre", &log}, album{"album", &log};
    void read(const QByteArray &path)
    {
        ReadID3v1Tag(path, &title, &artist, &comment, &year, &genre, &album);
    }
};

struct TagFields {
    QByteArray id = "TAG", title, artist, album, year, comment;
    int genre = 0;
};

void put(QByteArray &tag, int offset, int width, const QByteArray &bytes)
{
    tag.replace(offset, qMin(width, int(bytes.size())), bytes.left(width));
}

QByteArray makeTag(const TagFields &f)
{
    QByteArray tag(128, '\0');
    put(tag, 0, 3, f.id);
    put(tag, 3, 30, f.title);
    put(tag, 33, 30, f.artist);
    put(tag, 63, 30, f.album);
    put(tag, 93, 4, f.year);
    put(tag, 97, 30, f.comment);
    tag[127] = char(f.genre);
    return tag;
}

} // namespace

class TestId3v1 : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    QByteArray write(const QByteArray &content, const QString &name = QStringLiteral("song.mp3"))
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot write %s", qPrintable(path));
        f.write(content);
        return QFile::encodeName(path);
    }

    QByteArray audioWithTag(const TagFields &f) { return write(QByteArray(4000, '\x55') + makeTag(f)); }

    static QString openErrorText(const QByteArray &path)
    {
        try {
            Targets t;
            t.read(path);
        } catch (const EFOpenError &e) {
            return e.Message();
        }
        return QString();
    }

private slots:
    void genreTableHasTheFixedSpellings()
    {
        QCOMPARE(int(ID3v1GenreNames.size()), 148);
        QCOMPARE(ID3v1GenreNames[0], "Blues");
        QCOMPARE(ID3v1GenreNames[1], "Classic Rock");
        QCOMPARE(ID3v1GenreNames[17], "Rock");
        QCOMPARE(ID3v1GenreNames[67], "Psychadelic");
        QCOMPARE(ID3v1GenreNames[79], "Hard Rock");
        QCOMPARE(ID3v1GenreNames[80], "Folk");
        QCOMPARE(ID3v1GenreNames[123], "Acapella");
        QCOMPARE(ID3v1GenreNames[144], "Trash Metal");
        QCOMPARE(ID3v1GenreNames[146], "Jpop");
        QCOMPARE(ID3v1GenreNames[147], "Synthpop");
        for (const char *name : ID3v1GenreNames)
            QVERIFY(name && *name);
    }

    void genreByteBecomesNameOrNumber_data()
    {
        QTest::addColumn<int>("genre");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << 0 << "Blues";
        QTest::newRow("17") << 17 << "Rock";
        QTest::newRow("67") << 67 << "Psychadelic";
        QTest::newRow("80") << 80 << "Folk";
        QTest::newRow("123") << 123 << "Acapella";
        QTest::newRow("144") << 144 << "Trash Metal";
        QTest::newRow("146") << 146 << "Jpop";
        QTest::newRow("147") << 147 << "Synthpop";
        QTest::newRow("148") << 148 << "148";
        QTest::newRow("200") << 200 << "200";
        QTest::newRow("255") << 255 << "255";
    }
    void genreByteBecomesNameOrNumber()
    {
        QFETCH(int, genre);
        QFETCH(QString, text);
        TagFields f;
        f.genre = genre;
        Targets t;
        t.read(audioWithTag(f));
        QCOMPARE(t.genre.text, text);
    }

    void fieldsLandInTheirTargetsInOrder()
    {
        Targets t;
        t.read(audioWithTag({"TAG", "Title", "Artist", "Album", "1999", "Comment", 17}));
        QCOMPARE(t.title.text, "Title");
        QCOMPARE(t.artist.text, "Artist");
        QCOMPARE(t.album.text, "Album");
        QCOMPARE(t.year.text, "1999");
        QCOMPARE(t.comment.text, "Comment");
        QCOMPARE(t.genre.text, "Rock");
        QCOMPARE(t.log, QStringList({"title", "artist", "comment", "year", "genre", "album"}));
    }

    void fullWidthFieldsAreTakenWholeAndSpacesKept()
    {
        const QByteArray thirty = "abcdefghijklmnopqrstuvwxyz0123";
        QCOMPARE(thirty.size(), 30);
        // Every field full to its last byte: no zero anywhere between them.
        Targets t;
        t.read(audioWithTag({"TAG", thirty, "  lead and trail  ", QByteArray(30, ' '), "2024", thirty, 1}));
        QCOMPARE(t.title.text, QString::fromLatin1(thirty));
        QCOMPARE(t.artist.text, "  lead and trail  ");
        QCOMPARE(t.album.text, QString(30, ' '));
        QCOMPARE(t.year.text, "2024");
        QCOMPARE(t.comment.text, QString::fromLatin1(thirty));
    }

    void emptyFieldLeavesNeighboursWhole()
    {
        const QByteArray thirty(30, 'x');
        Targets t;
        t.read(audioWithTag({"TAG", thirty, thirty, thirty, "", thirty, 0}));
        QCOMPARE(t.year.text, "");
        QCOMPARE(t.album.text, QString(30, 'x'));
        QCOMPARE(t.comment.text, QString(30, 'x'));
    }

    void textStopsAtFirstZeroByte()
    {
        TagFields f{"TAG", QByteArray("Front\0Back", 10), "A", "", "19\0" "9", "", 0};
        Targets t;
        t.read(audioWithTag(f));
        QCOMPARE(t.title.text, "Front");
        QCOMPARE(t.year.text, "19");
    }

    void id3v11TrackByteIsNotShown()
    {
        QByteArray comment(30, '\0');
        comment.replace(0, 28, QByteArray(28, 'c'));
        comment[29] = char(7); // byte 126: the track number, after a zero at 125
        Targets t;
        t.read(audioWithTag({"TAG", "T", "A", "B", "2001", comment, 13}));
        QCOMPARE(t.comment.text, QString(28, 'c'));
        QCOMPARE(t.genre.text, "Pop");
    }

    void fieldBytesShownReadably()
    {
        // "Кино" in windows-1251, "Звери" in UTF-8.
        const QByteArray cp1251("\xCA\xE8\xED\xEE");
        const QByteArray utf8 = QStringLiteral("Звери").toUtf8();
        Targets t;
        t.read(audioWithTag({"TAG", cp1251, utf8, "", "", "", 0}));
        QCOMPARE(t.title.text, QStringLiteral("Кино"));
        QCOMPARE(t.artist.text, QStringLiteral("Звери"));
    }

    void trailerWithoutTagIdentifierEmptiesAllTargets_data()
    {
        QTest::addColumn<QByteArray>("content");
        TagFields lower{"tag", "Title", "Artist", "Album", "1999", "Comment", 1};
        TagFields partial{"TA", "Title", "", "", "", "", 1};
        QTest::newRow("lower-case tag") << QByteArray(500, 'a') + makeTag(lower);
        QTest::newRow("TA and a zero") << QByteArray(500, 'a') + makeTag(partial);
        QTest::newRow("tag followed by other data")
            << QByteArray(500, 'a') + makeTag({"TAG", "Title", "", "", "", "", 1}) + QByteArray(10, 'z');
        QTest::newRow("plain audio") << QByteArray(1000, '\x11');
        QTest::newRow("shorter than a trailer") << QByteArray("TAGabc");
        QTest::newRow("127 bytes") << QByteArray("TAG") + QByteArray(124, 'x');
        QTest::newRow("empty file") << QByteArray();
    }
    void trailerWithoutTagIdentifierEmptiesAllTargets()
    {
        QFETCH(QByteArray, content);
        Targets t;
        t.read(write(content));
        for (Target *target : {&t.title, &t.artist, &t.comment, &t.year, &t.genre, &t.album})
            QCOMPARE(target->text, QString());
        QCOMPARE(t.log, QStringList({"title", "artist", "comment", "year", "genre", "album"}));
    }

    void exactly128BytesIsATag()
    {
        Targets t;
        t.read(write(makeTag({"TAG", "Only", "", "", "", "", 255})));
        QCOMPARE(t.title.text, "Only");
        QCOMPARE(t.genre.text, "255");
    }

    void tagFollowedByRandomBytesGivesReadableText()
    {
        std::mt19937 random(12345);
        for (int round = 0; round < 50; ++round) {
            QByteArray trailer = "TAG";
            for (int i = 3; i < 128; ++i)
                trailer.append(char(random() & 0xFF));
            Targets t;
            t.read(write(trailer));
            QVERIFY(t.title.text.size() <= 30);
            QVERIFY(t.year.text.size() <= 4);
            QVERIFY(!t.genre.text.isEmpty());
        }
    }

    void unopenableFilesRaiseTheFileOpenError()
    {
        // Missing: the error names the absolute path and the system's text.
        const QByteArray missing = QFile::encodeName(dir.filePath("gone.mp3"));
        QCOMPARE(openErrorText(missing),
                 QStringLiteral("Cannot open file \"%1\". No such file or directory").arg(dir.filePath("gone.mp3")));

        // A folder, also when the path ends with "/" (no file name at all).
        QVERIFY(QDir(dir.path()).mkpath("folder.mp3"));
        const QByteArray folder = QFile::encodeName(dir.filePath("folder.mp3"));
        QVERIFY(openErrorText(folder).endsWith(QStringLiteral("\". Is a directory")));
        QVERIFY(openErrorText(QFile::encodeName(dir.path()) + '/').startsWith(QStringLiteral("Cannot open file \"")));

        // A relative path is reported with the working directory in front.
        const QString old = QDir::currentPath();
        QDir::setCurrent(dir.path());
        const QString relative = openErrorText("nothing-here.mp3");
        QDir::setCurrent(old);
        QVERIFY2(relative.startsWith(QStringLiteral("Cannot open file \"%1/nothing-here.mp3\"").arg(QDir(dir.path()).canonicalPath()))
                     || relative.startsWith(QStringLiteral("Cannot open file \"%1/nothing-here.mp3\"").arg(dir.path())),
                 qPrintable(relative));
    }

    void failedOpenWritesNothing()
    {
        Targets t;
        QVERIFY_THROWS_EXCEPTION(EFOpenError, t.read(QFile::encodeName(dir.filePath("gone.mp3"))));
        QVERIFY(t.log.isEmpty());
        QCOMPARE(t.title.text, "untouched");
    }

    void fileLockedByAnotherHolderCannotBeOpened()
    {
        const QByteArray path = audioWithTag({"TAG", "Locked", "", "", "", "", 0});
        const int other = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(other >= 0);
        QCOMPARE(::flock(other, LOCK_SH | LOCK_NB), 0);
        Targets t;
        QVERIFY_THROWS_EXCEPTION(EFOpenError, t.read(path));
        ::close(other);
        // The reader's own lock is gone after the call: reading again works.
        t.read(path);
        t.read(path);
        QCOMPARE(t.title.text, "Locked");
    }

    void nonUtf8FileNameIsOpenedByItsBytes()
    {
        // "Песня.mp3" in windows-1251: not a valid UTF-8 name.
        const QByteArray name("\xCF\xE5\xF1\xED\xFF.mp3");
        const QByteArray path = QFile::encodeName(dir.path()) + '/' + name;
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        QVERIFY(fd >= 0);
        const QByteArray content = QByteArray(300, 'a') + makeTag({"TAG", "Byte name", "", "", "", "", 2});
        QCOMPARE(::write(fd, content.constData(), size_t(content.size())), ssize_t(content.size()));
        ::close(fd);
        Targets t;
        t.read(path);
        QCOMPARE(t.title.text, "Byte name");
        QCOMPARE(t.genre.text, "Country");
        ::unlink(path.constData()); // QTemporaryDir can't see a name that isn't UTF-8
    }

    void fifoIsNotWaitedOn()
    {
        const QByteArray path = QFile::encodeName(dir.filePath("pipe.mp3"));
        QCOMPARE(::mkfifo(path.constData(), 0644), 0);
        Targets t;
        t.read(path); // returns at once, as a file without a tag
        QCOMPARE(t.title.text, QString());
    }
};

QTEST_GUILESS_MAIN(TestId3v1)
#include "tst_id3v1.moc"
