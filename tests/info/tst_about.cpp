// The About box: the picture, the heap figure read at each showing, the mail
// link, and the ways it closes.
#include "TestSupport.h"

#include "info/HeapUse.h"
#include "info/JpegImage.h"
#include "info/about.h"
#include "info/help.h"
#include "media/ManualClock.h"
#include "player/Unit1.h"
#include "tags/Id3tags.h"

#include <QDesktopServices>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QUrl>
#include <QtTest>
#include <cstdlib>
#include <cstring>
#include <memory>

// Receives what QDesktopServices would hand to the mail program.
class MailCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

class TestAbout : public QObject {
    Q_OBJECT

    std::unique_ptr<FakeDialogs> dialogs;
    std::unique_ptr<ScratchDir> dir;
    std::unique_ptr<TForm1> form;

    static QByteArray pictureBytes()
    {
        QFile f(QStringLiteral(":/info/about.jpg"));
        AboutPicture(); // registers the resource
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // The figure in the heap-use line.
    qint64 shownFigure() const
    {
        static const QRegularExpression line(
            QStringLiteral("^Программа использует (\\d+) байт оперативной памяти\\.$"));
        const auto m = line.match(AboutBox->Label3->text());
        return m.hasMatch() ? m.captured(1).toLongLong() : -1;
    }

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

    void boxShowsItsTexts()
    {
        QCOMPARE(AboutBox->windowTitle(), "О программе");
        QCOMPARE(AboutBox->size(), QSize(392, 288));
        QCOMPARE(AboutBox->ProductName->text(), "ZOLM Player");
        QCOMPARE(AboutBox->ProductName->font().family(), "Impact");
        QVERIFY(AboutBox->ProductName->font().bold());
        QCOMPARE(AboutBox->Version->text(), "Version 1.0");
        QVERIFY(AboutBox->Label1->text().contains(QRegularExpression("\\d{4}")));
        QCOMPARE(AboutBox->MakerName->toolTip(), AboutBox->MakerName->text());
        QVERIFY(!AboutBox->ProgramIcon->toolTip().isEmpty());
        QCOMPARE(AboutBox->Label2->text(), "пишите письма: " + kContactAddress);
        QVERIFY(AboutBox->Label2->font().underline());
        QCOMPARE(AboutBox->Label2->cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(AboutBox->OKButton->text(), "Угу");
        QVERIFY(AboutBox->OKButton->isDefault());
        QCOMPARE(AboutBox->Label3->text(), QString());
        // Everything inside the panel fits in it.
        for (QWidget *w : AboutBox->Panel1->findChildren<QWidget *>())
            QVERIFY2(AboutBox->Panel1->rect().contains(w->geometry()),
                     qPrintable(w->objectName() + QStringLiteral(" at %1,%2 %3x%4")
                                                      .arg(w->x()).arg(w->y()).arg(w->width()).arg(w->height())));
    }

    void pictureIsDecodedFromTheProgram()
    {
        const QByteArray bytes = pictureBytes();
        QVERIFY(bytes.startsWith("\xFF\xD8"));
        const QImage picture = AboutPicture();
        QCOMPARE(picture.size(), QSize(200, 150));
        QVERIFY(!AboutBox->ProgramIcon->pixmap().isNull());
        QCOMPARE(AboutBox->ProgramIcon->geometry(), QRect(8, 8, 200, 150));
    }

    void brokenPictureDecodesToNullImage_data()
    {
        const QByteArray good = pictureBytes();
        QTest::addColumn<QByteArray>("data");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("not a jpeg") << QByteArray("\x89PNG\r\n\x1a\n plainly not a JPEG at all");
        QTest::newRow("start marker only") << QByteArray("\xFF\xD8");
        QTest::newRow("header only") << good.left(200);
        QTest::newRow("cut in the middle") << good.left(good.size() / 2);
        QByteArray scrambled = good;
        for (qsizetype i = good.size() / 3; i < good.size() - 2; i += 7)
            scrambled[i] = char(scrambled[i] ^ 0x5A);
        QTest::newRow("scrambled scan data") << scrambled;
        QByteArray badDimensions = good;
        // Zero the height in the frame header (SOF0: FF C0, length, precision, height).
        const qsizetype sof = good.indexOf("\xFF\xC0");
        QVERIFY(sof > 0);
        badDimensions[sof + 5] = 0;
        badDimensions[sof + 6] = 0;
        QTest::newRow("zero height") << badDimensions;
    }
    void brokenPictureDecodesToNullImage()
    {
        QFETCH(QByteArray, data);
        QVERIFY(DecodeJpeg(data).isNull());
    }

    void heapFigureIsReadAtEachShowing()
    {
        form->N2Click();
        const qint64 first = shownFigure();
        QVERIFY(first > 0);
        AboutBox->OKButtonClick();

        // Eight megabytes held while the box is shown a second time.
        const std::size_t block = 8u << 20;
        void *held = std::malloc(block);
        QVERIFY(held);
        std::memset(held, 1, block);
        form->N2Click();
        const qint64 second = shownFigure();
        AboutBox->OKButtonClick();
        std::free(held);
        QVERIFY2(second >= first + qint64(block) - (1 << 20),
                 qPrintable(QStringLiteral("%1 then %2").arg(first).arg(second)));

        form->N2Click();
        const qint64 third = shownFigure();
        QVERIFY2(third < second - qint64(block) / 2, qPrintable(QStringLiteral("%1 then %2").arg(second).arg(third)));
        // Not refreshed while the box stays open.
        void *more = std::malloc(block);
        std::memset(more, 1, block);
        QCoreApplication::processEvents();
        QCOMPARE(shownFigure(), third);
        std::free(more);
        QVERIFY(HeapBytesInUse() > 0);
    }

    void enterClosesTheBoxAndEnablesTheMainWindow()
    {
        form->N2Click();
        QVERIFY(AboutBox->isVisible());
        QVERIFY(!form->isEnabled());
        QTest::keyClick(AboutBox, Qt::Key_Return);
        QVERIFY(!AboutBox->isVisible());
        QVERIFY(form->isEnabled());
    }

    void okButtonAndCloseBoxBothClose()
    {
        form->N2Click();
        QTest::mouseClick(AboutBox->OKButton, Qt::LeftButton);
        QVERIFY(!AboutBox->isVisible());
        QVERIFY(form->isEnabled());

        form->N2Click();
        QVERIFY(!form->isEnabled());
        AboutBox->close();
        QVERIFY(!AboutBox->isVisible());
        QVERIFY(form->isEnabled());
        // And it opens again as the same box.
        form->N2Click();
        QVERIFY(AboutBox->isVisible());
    }

    void mailLinkReachesTheMailHandler()
    {
        MailCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &catcher, "open");
        form->N2Click();
        QTest::mouseClick(AboutBox->Label2, Qt::LeftButton);
        QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
        QCOMPARE(catcher.urls, QList<QUrl>({QUrl("mailto:" + kContactAddress)}));
        // Nothing else happens: the box stays open, nothing is reported.
        QVERIFY(AboutBox->isVisible());
        QVERIFY(dialogs->errors.isEmpty());
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
