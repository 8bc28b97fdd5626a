// The application runtime: rez.dat's reading rules, display text of names,
// the error box's text, and the folder chooser on Qt's dialog.
#include "TestSupport.h"
#include "app/Application.h"
#include "app/Errors.h"
#include "app/RezFile.h"
#include "app/TextCodec.h"
#include "media/FolderChooser.h"

#include <QFileDialog>
#include <QAbstractButton>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <QtTest>
#include <sys/stat.h>

class TestApp : public QObject {
    Q_OBJECT
private slots:
    void firstLineStopsAtEachLineEnd_data();
    void firstLineStopsAtEachLineEnd();
    void firstLineKeepsAtMost255CharactersNeverHalfACharacter();
    void hugeRezFileReadsOnlyItsStart();
    void rezFileCreatedEmptyOnlyWhenMissing();
    void unreadableRezFileRaisesInputOutputError();
    void displayTextFallsBackToWindows1251();
    void errorBoxAppendsFullStopAfterLettersAndDigits();
    void fileOpenErrorNamesAbsolutePathAndReason();
    void exceptionFromHandlerReachesErrorBox();
    void folderChooserReturnsChosenFolder();
    void folderChooserCancelForgetsMissingPreselection();
    void realBoxesArePlainTextUnderTheTitleWithOneOk();
};

void TestApp::firstLineStopsAtEachLineEnd_data()
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
}

void TestApp::firstLineStopsAtEachLineEnd()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, line);
    ScratchDir dir;
    QVERIFY(WriteBytes("rez.dat", content));
    QCOMPARE(ReadFirstLine("rez.dat"), line);
}

void TestApp::firstLineKeepsAtMost255CharactersNeverHalfACharacter()
{
    ScratchDir dir;
    // 254 ASCII bytes then a two-byte Cyrillic letter: 255 characters, 256 bytes, all kept.
    QByteArray text = QByteArray(254, 'a') + "\xd0\x96" + "tail";
    QVERIFY(WriteBytes("rez.dat", text));
    QCOMPARE(ReadFirstLine("rez.dat"), QByteArray(254, 'a') + "\xd0\x96");
    // Cyrillic throughout: 255 letters of two bytes each.
    QByteArray cyr;
    for (int i = 0; i < 300; ++i)
        cyr += "\xd0\x96";
    QVERIFY(WriteBytes("rez.dat", cyr + "\n"));
    QCOMPARE(ReadFirstLine("rez.dat"), cyr.left(510));
    // Bytes that are not UTF-8 count one each.
    QVERIFY(WriteBytes("rez.dat", QByteArray(300, '\xe0')));
    QCOMPARE(ReadFirstLine("rez.dat"), QByteArray(255, '\xe0'));
    QCOMPARE(CharCount(QByteArray(254, 'a') + "\xd0\x96\xff"), qsizetype(256));
    QCOMPARE(CutToChars("ab\xe2\x82\xac", 3), QByteArray("ab\xe2\x82\xac"));
    QCOMPARE(CutToChars("ab\xe2\x82\xac", 2), QByteArray("ab"));
}

void TestApp::hugeRezFileReadsOnlyItsStart()
{
    ScratchDir dir;
    // A 100 MB file whose first line is 10,000 bytes long.
    QFile f(QStringLiteral("rez.dat"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(10000, 'x') + "\n");
    const QByteArray block(1 << 20, 'y');
    for (int i = 0; i < 100; ++i)
        f.write(block);
    f.close();
    QElapsedTimer t;
    t.start();
    QCOMPARE(ReadFirstLine("rez.dat"), QByteArray(255, 'x'));
    QVERIFY2(t.elapsed() < 2000, "reading the first line must not read the whole file");
}

void TestApp::rezFileCreatedEmptyOnlyWhenMissing()
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

void TestApp::unreadableRezFileRaisesInputOutputError()
{
    ScratchDir dir;
    QVERIFY(QDir().mkdir(QStringLiteral("rez.dat")));
    try {
        EnsureRezFile("rez.dat");
        QFAIL("a folder named rez.dat can't be created as a file");
    } catch (const EInOutError &e) {
        QCOMPARE(e.Message(), QStringLiteral("File access denied"));
    }
    QVERIFY_THROWS_EXCEPTION(EInOutError, ReadFirstLine("rez.dat"));
    const std::pair<int, const char *> texts[] = {{ENOENT, "File not found"}, {ENOTDIR, "Path not found"},
        {EMFILE, "Too many open files"}, {ENFILE, "Too many open files"}, {EACCES, "File access denied"},
        {EPERM, "File access denied"}, {EISDIR, "File access denied"}, {EROFS, "File access denied"},
        {ETXTBSY, "File access denied"}, {ENOSPC, "Disk full"}, {EDQUOT, "Disk full"}, {EFBIG, "Disk full"},
        {EIO, "Read or write error"}, {EINVAL, "I/O error 22"}};
    for (const auto &[code, text] : texts)
        QCOMPARE(EInOutError::TextFor(code), QString::fromLatin1(text));
}

void TestApp::displayTextFallsBackToWindows1251()
{
    QCOMPARE(DisplayText(QByteArray("\xcf\xe5\xf1\xed\xff.mp3")), QStringLiteral("Песня.mp3"));
    QCOMPARE(DisplayText(QByteArray("\xd0\x9f\xd0\xb5\xd1\x81\xd0\xbd\xd1\x8f")), QStringLiteral("Песня"));
    QCOMPARE(DisplayText(QByteArray("\xa8\xb8")), QStringLiteral("Ёё"));
    // A lone continuation byte or an overlong form is not UTF-8.
    QCOMPARE(DisplayText(QByteArray("\xc0\xaf")), QStringLiteral("АЇ"));
}

void TestApp::errorBoxAppendsFullStopAfterLettersAndDigits()
{
    QCOMPARE(ErrorBoxText(QStringLiteral("Disk full")), QStringLiteral("Disk full."));
    QCOMPARE(ErrorBoxText(QStringLiteral("I/O error 5")), QStringLiteral("I/O error 5."));
    QCOMPARE(ErrorBoxText(QStringLiteral("Done.")), QStringLiteral("Done."));
    QCOMPARE(ErrorBoxText(QStringLiteral("Why!")), QStringLiteral("Why!"));
    QCOMPARE(ErrorBoxText(QStringLiteral("Файл")), QStringLiteral("Файл."));
    QCOMPARE(ErrorBoxText(QString()), QString());
}

void TestApp::fileOpenErrorNamesAbsolutePathAndReason()
{
    ScratchDir dir;
    try {
        EFOpenError::Raise("missing.mp3", ENOENT);
        QFAIL("Raise returned");
    } catch (const EFOpenError &e) {
        QCOMPARE(e.Message(), QStringLiteral("Cannot open file \"%1/missing.mp3\". No such file or directory")
                                  .arg(QDir::currentPath()));
    }
}

void TestApp::exceptionFromHandlerReachesErrorBox()
{
    FakeDialogs dialogs;
    QObject sender;
    connect(&sender, &QObject::objectNameChanged, this,
            [] { RunHandler([] { throw EInOutError(5, QStringLiteral("File access denied")); }); });
    sender.setObjectName(QStringLiteral("x"));
    QCOMPARE(dialogs.errors, QStringList{QStringLiteral("File access denied.")});
}

namespace {
// Answers the next folder dialog: chooses path, or cancels when path is empty.
void AnswerFolderDialog(const QString &path, QString *seenTitle, QString *seenDir)
{
    QTimer::singleShot(50, [=] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return AnswerFolderDialog(path, seenTitle, seenDir);
        *seenTitle = dialog->windowTitle();
        *seenDir = dialog->directory().absolutePath();
        if (path.isEmpty()) {
            dialog->reject();
        } else {
            dialog->setDirectory(path);
            QMetaObject::invokeMethod(dialog, "accept");
        }
    });
}
} // namespace

void TestApp::folderChooserReturnsChosenFolder()
{
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("Музыка/rock")));
    const QString start = root.path() + QStringLiteral("/Музыка");
    QString title, shownDir;
    AnswerFolderDialog(start + QStringLiteral("/rock"), &title, &shownDir);
    QString directory = start;
    QVERIFY(SelectFolder(QStringLiteral("Выберите папку"), QString(), directory));
    QCOMPARE(title, QStringLiteral("Выберите папку"));
    QCOMPARE(shownDir, start);
    QCOMPARE(directory, start + QStringLiteral("/rock"));
}

void TestApp::folderChooserCancelForgetsMissingPreselection()
{
    QString title, shownDir;
    AnswerFolderDialog(QString(), &title, &shownDir);
    QString directory = QStringLiteral("/no/such/folder/at/all");
    QVERIFY(!SelectFolder(QStringLiteral("Выберите папку"), QString(), directory));
    QVERIFY(directory.isEmpty());
    QVERIFY(shownDir != QStringLiteral("/no/such/folder/at/all"));
}

namespace {
struct SeenBox {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::Question;
    Qt::TextFormat format = Qt::RichText;
    QList<QAbstractButton *> buttons;
    QPoint centre;
};
// Records the next message box, then presses its OK button.
void AnswerMessageBox(SeenBox *seen)
{
    QTimer::singleShot(0, [seen] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return AnswerMessageBox(seen);
        seen->title = box->windowTitle();
        seen->text = box->text();
        seen->icon = box->icon();
        seen->format = box->textFormat();
        seen->buttons = box->buttons();
        seen->centre = box->geometry().center();
        box->button(QMessageBox::Ok)->click();
    });
}
} // namespace

void TestApp::realBoxesArePlainTextUnderTheTitleWithOneOk()
{
    const QString title = QGuiApplication::applicationDisplayName();
    QGuiApplication::setApplicationDisplayName(QStringLiteral("ZOLM Player - <i>a</i>.mp3"));
    // A file name may hold markup: it is shown as it stands.
    const QString text = QStringLiteral("Ошибка обращения к файлу <b>x</b> & y.mp3");
    DialogHost real;
    for (bool error : {false, true}) {
        SeenBox seen;
        AnswerMessageBox(&seen);
        if (error)
            real.ShowError(text);
        else
            real.ShowMessage(text);
        QCOMPARE(seen.title, QStringLiteral("ZOLM Player - <i>a</i>.mp3"));
        QCOMPARE(seen.text, text);
        QCOMPARE(seen.format, Qt::PlainText);
        QCOMPARE(seen.icon, error ? QMessageBox::Critical : QMessageBox::NoIcon);
        QCOMPARE(seen.buttons.size(), 1);
        const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
        const QPoint off = seen.centre - screenCentre; // centred, give or take rounding
        QVERIFY2(qAbs(off.x()) <= 3 && qAbs(off.y()) <= 3, qPrintable(QStringLiteral("%1,%2").arg(off.x()).arg(off.y())));
    }
    QGuiApplication::setApplicationDisplayName(title);
}

QTEST_MAIN(TestApp)
#include "test_app.moc"
