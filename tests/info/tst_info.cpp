// The help window and the About box: what they show, and their ways in and out.
#include "player/PlayerHarness.h"

#include "info/JpegImage.h"

#include <QDesktopServices>
#include <QPlainTextEdit>
#include <sys/stat.h>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QtTest>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

// Receives what QDesktopServices would hand to the mail program.
class MailCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

namespace {

QString Memo() { return helpp->Memo1->toPlainText(); }

qint64 ShownHeapFigure()
{
    static const QRegularExpression line(QStringLiteral("^Программа использует (\\d+) байт оперативной памяти\\.$"));
    const auto m = line.match(AboutBox->Label3->text());
    return m.hasMatch() ? m.captured(1).toLongLong() : -1;
}

} // namespace

class TestInfo : public QObject {
    Q_OBJECT
private slots:
    // Every case starts on a fresh main window with no folder.
    void init() { h = std::make_unique<PlayerHarness>(), h->Start(); }
    void cleanup() { h.reset(); }

    void readmeBecomesTheHelpText_data()
    {
        // null: no file; "/": a folder of that name; "|": a FIFO; "lock": a file another
        // holds locked; "huge": beyond the box's capacity (a sparse file: large on paper only)
        QTest::addColumn<QByteArray>("readme");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("error"); // the error box's text (before any reason); the help stays shut
        const QString fixed = QStringLiteral("Извините, но помощь кто-то украл!");
        QTest::newRow("missing") << QByteArray() << fixed << QString();
        QTest::newRow("folder") << QByteArray("/") << fixed << QString();
        // No text to load, and opening it must not wait for a writer that never comes.
        QTest::newRow("FIFO") << QByteArray("|") << fixed << QString();
        QTest::newRow("empty") << QByteArray("") << QString() << QString();
        QTest::newRow("every line break") << QByteArray("one\ntwo\r\nthree\rfour\r\rsix\n")
                                          << QStringLiteral("one\ntwo\nthree\nfour\n\nsix\n") << QString();
        QTest::newRow("windows-1251 and a NUL") << QByteArray("\xCF\xF0\xE8\xE2\xE5\xF2\0after", 12)
                                                << QStringLiteral("Привет after") << QString();
        QTest::newRow("UTF-8") << QStringLiteral("Справка\nF1").toUtf8() << QStringLiteral("Справка\nF1") << QString();
        QTest::newRow("UTF-8 cut in a letter") << QByteArray("\xd0\xa1\xd0\xbf\n\xd0") << QStringLiteral("Сп\n\u28d0") << QString();
        QTest::newRow("locked") << QByteArray("lock") << QString() << QStringLiteral("Cannot open file \"%1/readme.txt\".");
        QTest::newRow("beyond capacity") << QByteArray("huge") << QString() << QStringLiteral("Text exceeds memo capacity.");
    }
    void readmeBecomesTheHelpText()
    {
        QFETCH(QByteArray, readme);
        QFETCH(QString, error);
        int writer = -1;
        if (readme == "/")
            QVERIFY(QDir().mkdir("readme.txt"));
        else if (readme == "|")
            QVERIFY(::mkfifo("readme.txt", 0600) == 0);
        else if (readme == "huge")
            QVERIFY(WriteBytes("readme.txt", "") && ::truncate("readme.txt", off_t(kMemoCapacity) + 1) == 0);
        else if (!readme.isNull())
            WriteBytes("readme.txt", readme);
        if (readme == "lock")
            QCOMPARE(::flock(writer = ::open("readme.txt", O_WRONLY | O_CLOEXEC), LOCK_EX | LOCK_NB), 0);
        RunHandler([this] { h->form->ZOLMPlayer1Click(); }); // F1 as the menu runs it: a failure ends in the error box
        ::close(writer);
        QTEST(Memo(), "shown");
        QCOMPARE(h->dialogs.errors.size(), error.isEmpty() ? 0 : 1);
        if (!error.isEmpty()) {
            const QString got = h->dialogs.errors[0], want = error.arg(h->dir.path()); // then the reason, if any
            QVERIFY2(got == want || got.startsWith(want + QLatin1Char(' ')), qPrintable(got));
            QVERIFY(!helpp->isVisible());
            QVERIFY(h->form->isEnabled());
        }
    }

    void helpOpensTwiceWithCurrentTextAndOnlyXEnablesTheMainWindow()
    {
        WriteBytes("readme.txt", "first");
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        h->form->move(area.center() - h->form->rect().center());
        h->form->ZOLMPlayer1Click();
        QVERIFY(helpp->isVisible());
        QVERIFY(!h->form->isEnabled());
        QCOMPARE(helpp->geometry().center(), h->form->frameGeometry().center());
        QTest::mouseClick(helpp->Button1, Qt::LeftButton);
        QVERIFY(!helpp->isVisible());
        QVERIFY(h->form->isEnabled());

        WriteBytes("readme.txt", "second");
        h->form->ZOLMPlayer1Click();
        QCOMPARE(Memo(), "second");
        // Closed by the window manager instead, it still gives the main window back.
        helpp->close();
        QVERIFY(h->form->isEnabled());

        // Near the screen's edge it stays whole on screen, its "X" in reach.
        h->form->move(area.right() - 60, area.bottom() - 60);
        h->form->ZOLMPlayer1Click();
        QVERIFY(area.contains(helpp->geometry()));
    }

    void fiftyMegabyteReadmeLoadsWhole()
    {
        const QByteArray line("ZOLM Player: строка справки, довольно длинная, чтобы переноситься в окне.\r\n");
        QByteArray big;
        while (big.size() < (50 << 20))
            big += line;
        WriteBytes("readme.txt", big);
        h->form->ZOLMPlayer1Click();
        QCOMPARE(helpp->Memo1->blockCount(), int(big.size() / line.size()) + 1);
    }

    void heapFigureIsReadAtEachShowing()
    {
        h->form->N2Click();
        const qint64 first = ShownHeapFigure();
        QVERIFY(first > 0);
        AboutBox->OKButtonClick();

        const std::size_t block = 8u << 20;
        void *volatile held = std::malloc(block); // volatile: the block must not be optimised away
        std::memset(static_cast<void *>(held), 1, block);
        h->form->N2Click();
        const qint64 second = ShownHeapFigure();
        std::free(held);
        QVERIFY2(second >= first + qint64(block) - (1 << 20), qPrintable(QStringLiteral("%1, %2").arg(first).arg(second)));
        // Not refreshed while the box stays open.
        QCoreApplication::processEvents();
        QCOMPARE(ShownHeapFigure(), second);
    }

    void enterOkAndCloseBoxAllCloseTheAboutBox()
    {
        const std::function<void()> ways[] = {[] { QTest::keyClick(AboutBox, Qt::Key_Return); },
                                              [] { QTest::mouseClick(AboutBox->OKButton, Qt::LeftButton); }, [] { AboutBox->close(); }};
        for (const auto &way : ways) {
            h->form->N2Click();
            QVERIFY(AboutBox->isVisible() && !h->form->isEnabled());
            way();
            QVERIFY(!AboutBox->isVisible() && h->form->isEnabled());
        }
    }

    void mailLinkReachesTheMailHandler()
    {
        MailCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &catcher, "open");
        h->form->N2Click();
        QTest::mouseClick(AboutBox->Label2, Qt::LeftButton);
        QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
        QCOMPARE(catcher.urls, QList<QUrl>({QUrl("mailto:" + kContactAddress)}));
        QCOMPARE(AboutBox->Label2->text(), "пишите письма: " + kContactAddress);
        QVERIFY(AboutBox->isVisible());
        // Everything in the panel fits inside it.
        for (QWidget *w : AboutBox->Panel1->findChildren<QWidget *>())
            QVERIFY2(AboutBox->Panel1->rect().contains(w->geometry()), qPrintable(w->objectName()));
    }

    void pictureDecodesAndBrokenOnesGiveNullImages()
    {
        QCOMPARE(AboutPicture().size(), QSize(200, 150));
        QFile file(QStringLiteral(":/info/about.jpg"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray good = file.readAll();
        QByteArray scrambled = good;
        for (qsizetype i = good.size() / 3; i < good.size() - 2; i += 7)
            scrambled[i] = char(scrambled[i] ^ 0x5A);
        QByteArray zeroHeight = good;
        const qsizetype sof = good.indexOf("\xFF\xC0"); // frame header: marker, length, precision, height
        zeroHeight[sof + 5] = zeroHeight[sof + 6] = 0;
        for (const QByteArray &broken : {QByteArray(), QByteArray("\x89PNG\r\n\x1a\n not a JPEG"), good.left(2),
                                         good.left(200), good.left(good.size() / 2), scrambled, zeroHeight})
            QVERIFY(DecodeJpeg(broken).isNull());
    }

private:
    std::unique_ptr<PlayerHarness> h;
};

QTEST_MAIN(TestInfo)
#include "tst_info.moc"
