// rez.dat: its reading rules, and a name that is no regular file.
#include "TestSupport.h"
#include "player/RezFile.h"
#include "runtime/Errors.h"

#include <QtTest>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Bytes this thread has read so far (every read(), /proc's own included).
qint64 BytesReadSoFar()
{
    const QByteArray io = ReadBytes("/proc/thread-self/io");
    const qsizetype at = io.indexOf("rchar: ");
    return at < 0 ? -1 : io.mid(at + 7, io.indexOf('\n', at) - at - 7).toLongLong();
}

} // namespace

class TestRezFile : public QObject {
    Q_OBJECT
private slots:
    void firstLineStopsAtItsEndAndAt255Characters_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("line feed") << QByteArray("/music/\nsecond\n") << QByteArray("/music/");
        QTest::newRow("cr lf") << QByteArray("/music/\r\nsecond") << QByteArray("/music/");
        QTest::newRow("lone cr dropped") << QByteArray("/mu\rsic/\r") << QByteArray("/music/");
        QTest::newRow("ctrl-z") << QByteArray("/music/\x1a" "more") << QByteArray("/music/");
        QTest::newRow("no terminator") << QByteArray("/music/") << QByteArray("/music/");
        QTest::newRow("empty") << QByteArray("") << QByteArray("");
        QTest::newRow("cr at the end of a buffer") << QByteArray(4095, 'a') + "\r\nb" << QByteArray(255, 'a');
        // 255 characters in 256 bytes: the last one is never cut in half.
        QTest::newRow("254 ASCII then a two-byte letter") << QByteArray(254, 'a') + "\xd0\x96" "tail"
                                                          << QByteArray(254, 'a') + "\xd0\x96";
        QTest::newRow("Cyrillic throughout") << QByteArray("\xd0\x96").repeated(300) + "\n"
                                             << QByteArray("\xd0\x96").repeated(255);
        QTest::newRow("bytes not UTF-8 count one each") << QByteArray(300, '\xe0') << QByteArray(255, '\xe0');
        // The rest of a long line is never read, nor what follows it.
        QTest::newRow("long line") << QByteArray(100000, 'x') + "\n" + QByteArray(1 << 20, 'y')
                                   << QByteArray(255, 'x');
    }
    void firstLineStopsAtItsEndAndAt255Characters()
    {
        QFETCH(QByteArray, content);
        ScratchDir dir;
        QVERIFY(WriteBytes("rez.dat", content));
        const qint64 before = BytesReadSoFar();
        QTEST(ReadFirstLine("rez.dat"), "line");
        const qint64 read = BytesReadSoFar() - before;
        QVERIFY2(before >= 0 && read < 8192, qPrintable(QString::number(read)));
    }

    void rezFileCreatedEmptyOnlyWhenMissing()
    {
        ScratchDir dir;
        EnsureRezFile("rez.dat");
        QCOMPARE(QFileInfo(QStringLiteral("rez.dat")).size(), qint64(0));
        QVERIFY(WriteBytes("rez.dat", "/keep/\n"));
        EnsureRezFile("rez.dat");
        QCOMPARE(ReadBytes("rez.dat"), QByteArray("/keep/\n"));
        WriteRezFile("/new/", "rez.dat");
        QCOMPARE(ReadBytes("rez.dat"), QByteArray("/new/"));
    }

    void rezFileThatIsNoRegularFileIsRefusedWithoutWaiting_data()
    {
        QTest::addColumn<QByteArray>("kind");
        QTest::addColumn<bool>("ensureRaises"); // a folder can't be created as a file; the rest exist
        QTest::newRow("FIFO nobody writes to or reads") << QByteArray("fifo") << false;
        QTest::newRow("character device") << QByteArray("/dev/zero") << false;
        QTest::newRow("folder") << QByteArray("folder") << true;
    }
    void rezFileThatIsNoRegularFileIsRefusedWithoutWaiting()
    {
        QFETCH(QByteArray, kind);
        QFETCH(bool, ensureRaises);
        ScratchDir dir;
        QCOMPARE(kind == "fifo" ? ::mkfifo("rez.dat", 0600) : kind == "folder" ? ::mkdir("rez.dat", 0700)
                                                                               : ::symlink(kind.constData(), "rez.dat"), 0);
        // A blocking open would wait here for a writer (or a reader) forever.
        const std::function<void()> uses[] = {[] { EnsureRezFile("rez.dat"); }, [] { WriteRezFile("/music/", "rez.dat"); },
                                              [] { ReadFirstLine("rez.dat"); }};
        for (const auto &use : uses) {
            try {
                use();
                QVERIFY2(&use == uses && !ensureRaises, "a rez.dat that is no regular file was used");
            } catch (const EInOutError &e) {
                QCOMPARE(e.Message(), QStringLiteral("File access denied"));
                QVERIFY(&use != uses || ensureRaises);
            }
        }
    }
};

QTEST_MAIN(TestRezFile)
#include "tst_rez_file.moc"
