// The help window: what readme.txt becomes in the box, and the window's ways in and out.
#include "TestSupport.h"

#include "app/Application.h"
#include "info/about.h"
#include "info/help.h"
#include "media/ManualClock.h"
#include "player/Unit1.h"
#include "tags/Id3tags.h"

#include <QElapsedTimer>
#include <QFrame>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
#include <QtTest>
#include <memory>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

class TestHelp : public QObject {
    Q_OBJECT

    std::unique_ptr<FakeDialogs> dialogs;
    std::unique_ptr<ScratchDir> dir;
    std::unique_ptr<TForm1> form;

    QString memo() const { return helpp->Memo1->toPlainText(); }

    // What the main window's F1 does, with its failure going to the error box.
    void pressF1() { RunHandler([this] { form->ZOLMPlayer1Click(); }); }

private slots:
    void init()
    {
        media::ManualClock::Install();
        dialogs = std::make_unique<FakeDialogs>();
        dir = std::make_unique<ScratchDir>();
        ResetPlayerState();
        form = std::make_unique<TForm1>();
        AboutBox = new TAboutBox;
        ID3Tag = new TID3Tag;
        helpp = new Thelpp;
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

    void windowIsBorderlessWithItsControls()
    {
        QVERIFY(helpp->windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(helpp->windowTitle(), "Помощь!");
        QCOMPARE(helpp->size(), QSize(737, 450));
        QCOMPARE(helpp->Memo1->geometry(), QRect(8, 24, 721, 417));
        QCOMPARE(helpp->Bevel1->geometry(), QRect(8, 24, 721, 417));
        QVERIFY(helpp->Memo1->isReadOnly());
        QCOMPARE(helpp->Memo1->lineWrapMode(), QPlainTextEdit::WidgetWidth);
        QCOMPARE(helpp->Memo1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(helpp->Memo1->font().family(), "Lucida Console");
        QCOMPARE(helpp->Memo1->font().pixelSize(), 16);
        QCOMPARE(helpp->Button1->text(), "X");
        QCOMPARE(helpp->Button1->geometry(), QRect(712, 0, 20, 20));
        // Tab goes from the text to the button.
        QWidget *next = helpp->Memo1->nextInFocusChain();
        while (next != helpp->Memo1 && !(next->focusPolicy() & Qt::TabFocus))
            next = next->nextInFocusChain();
        QCOMPARE(next, helpp->Button1);
    }

    void missingOrFolderReadmeShowsTheFixedLine()
    {
        helpp->FillHelpText();
        QCOMPARE(memo(), "Извините, но помощь кто-то украл!");
        QVERIFY(QDir().mkdir("readme.txt"));
        helpp->FillHelpText();
        QCOMPARE(memo(), "Извините, но помощь кто-то украл!");
    }

    void emptyReadmeGivesAnEmptyBox()
    {
        WriteBytes("readme.txt", QByteArray());
        helpp->FillHelpText();
        QCOMPARE(memo(), QString());
    }

    void everyKindOfLineBreakMakesALine()
    {
        WriteBytes("readme.txt", "one\ntwo\r\nthree\rfour\r\rsix\n");
        helpp->FillHelpText();
        QCOMPARE(helpp->Memo1->blockCount(), 7);
        QCOMPARE(memo(), "one\ntwo\nthree\nfour\n\nsix\n");
    }

    void textShownReadablyWithNulsAsSpaces()
    {
        // windows-1251 "Привет", a NUL, then more text.
        WriteBytes("readme.txt", QByteArray("\xCF\xF0\xE8\xE2\xE5\xF2\0after", 12));
        helpp->FillHelpText();
        QCOMPARE(memo(), QStringLiteral("Привет after"));
        WriteBytes("readme.txt", QStringLiteral("Справка\nF1").toUtf8());
        helpp->FillHelpText();
        QCOMPARE(memo(), QStringLiteral("Справка\nF1"));
    }

    void openingTwiceShowsTheCurrentTextOnce()
    {
        WriteBytes("readme.txt", "first");
        form->ZOLMPlayer1Click();
        QCOMPARE(memo(), "first");
        helpp->Button1->click();
        WriteBytes("readme.txt", "second");
        form->ZOLMPlayer1Click();
        QCOMPARE(memo(), "second");
    }

    void mainWindowStaysDisabledUntilTheXButton()
    {
        WriteBytes("readme.txt", "text");
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        form->move(area.center() - form->rect().center());
        form->ZOLMPlayer1Click();
        QVERIFY(helpp->isVisible());
        QVERIFY(!form->isEnabled());
        // Centred over the main window.
        QCOMPARE(helpp->geometry().center(), form->frameGeometry().center());
        QTest::mouseClick(helpp->Button1, Qt::LeftButton);
        QVERIFY(!helpp->isVisible());
        QVERIFY(form->isEnabled());
        // Closed another way, it still gives the main window back.
        form->ZOLMPlayer1Click();
        helpp->close();
        QVERIFY(!helpp->isVisible());
        QVERIFY(form->isEnabled());
    }

    void windowNearTheScreenEdgeStaysWholeOnScreen()
    {
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        form->move(area.right() - 60, area.bottom() - 60);
        form->ZOLMPlayer1Click();
        QVERIFY2(area.contains(helpp->geometry()), qPrintable(QStringLiteral("%1,%2").arg(helpp->x()).arg(helpp->y())));
        helpp->Button1Click();
        form->move(area.left() - 300, area.top() - 300);
        form->ZOLMPlayer1Click();
        QVERIFY(area.contains(helpp->geometry()));
    }

    void readmeHeldByAWriterIsAnErrorAndTheWindowStaysShut()
    {
        WriteBytes("readme.txt", "text");
        const int writer = ::open("readme.txt", O_WRONLY | O_CLOEXEC);
        QVERIFY(writer >= 0);
        QCOMPARE(::flock(writer, LOCK_EX | LOCK_NB), 0);
        pressF1();
        ::close(writer);
        QCOMPARE(dialogs->errors.size(), 1);
        QVERIFY2(dialogs->errors[0].startsWith(QStringLiteral("Cannot open file \"%1\".").arg(dir->file("readme.txt"))),
                 qPrintable(dialogs->errors[0]));
        QVERIFY(!helpp->isVisible());
        QVERIFY(form->isEnabled());
        QCOMPARE(memo(), QString());
    }

    void textBeyondTheBoxCapacityIsRefused()
    {
        // A sparse file: large on paper, nothing to write.
        const int fd = ::open("readme.txt", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        QVERIFY(fd >= 0);
        QCOMPARE(::ftruncate(fd, off_t(kMemoCapacity) + 1), 0);
        ::close(fd);
        pressF1();
        QCOMPARE(dialogs->errors, QStringList("Text exceeds memo capacity."));
        QVERIFY(!helpp->isVisible());
        QVERIFY(form->isEnabled());
    }

    void fiftyMegabytesLoadWhole()
    {
        QByteArray line("ZOLM Player: строка справки, довольно длинная, чтобы переноситься в окне.\r\n");
        QByteArray big;
        big.reserve(50 << 20);
        while (big.size() < (50 << 20))
            big += line;
        WriteBytes("readme.txt", big);
        QElapsedTimer timer;
        timer.start();
        form->ZOLMPlayer1Click();
        qInfo("50 MB readme shown in %lld ms", timer.elapsed());
        QVERIFY(helpp->isVisible());
        QCOMPARE(helpp->Memo1->blockCount(), int(big.size() / line.size()) + 1);
        QCOMPARE(helpp->Memo1->document()->lastBlock().previous().text(), QString::fromUtf8(line.chopped(2)));
    }
};

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
