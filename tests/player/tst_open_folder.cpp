// The player as a desktop citizen: a folder named on the command line, dropped
// on the window or handed over by a second start is opened as the folder
// command opens it; the switches tell screen readers that they latch.
#include "PlayerHarness.h"
#include "common/WidgetSupport.h"

#include "runtime/TextCodec.h"
#include "player/FolderArgument.h"
#include "player/Instance.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QDialog>
#include <QMimeData>
#include <QtTest>

namespace {

QByteArray Absolute(const PlayerHarness &h, const QByteArray &relative)
{
    return h.dir.pathBytes() + '/' + relative;
}

// A scratch directory with a remembered folder music1 (a.wav, b.wav) and a
// folder music2 whose listing (mp3 names first) is not its sorted order.
struct Scene {
    PlayerHarness h;
    TForm1 *form = nullptr;
    QByteArray rez;
    Scene()
    {
        const QByteArray one = h.MakeFolder("music1", {"a.wav", "b.wav"});
        h.MakeFolder("music2", {"b.mp3", "a.wav"});
        // The remembered folder's further lines stay until the file is rewritten: they show it untouched.
        rez = one + "\nmore";
        form = h.Start(rez);
    }
    // The listed names, rez.dat and the session's folder; as they stand with music1 kept, or music2 opened.
    QList<QByteArray> Holds() const { return {EntryNames(h.Session()).join('/'), ReadBytes("rez.dat"), h.Session().Folder()}; }
    QList<QByteArray> Kept() const { return {"a.wav/b.wav", rez, Absolute(h, "music1/")}; }
    QList<QByteArray> Opened() const { return {"b.mp3/a.wav", Absolute(h, "music2/"), Absolute(h, "music2/")}; }
    // Whatever came, nothing plays: the first entry selected, the file closed, the caption bare.
    QString Idle() const { return PlaybackState(h.Session()) + " / " + h.Title(); }
};

// A URI list (%1: the scratch directory, URL-encoded) or a text dropped, the actions offered,
// whether a secondary window holds the main one, and the action taken (0: ignored).
struct DropCase { QByteArray uris; QString text; int possible; bool disabled; int action; };

struct DropOutcome { bool enterAccepted; Qt::DropAction enterAction; bool dropAccepted; Qt::DropAction dropAction; };

DropOutcome Drop(TForm1 *form, QMimeData *data, Qt::DropActions possible)
{
    const QPointF at(100, 200);
    QDragEnterEvent enter(at.toPoint(), possible, data, Qt::LeftButton, Qt::NoModifier);
    enter.setAccepted(false);
    QApplication::sendEvent(form, &enter);
    // The desktop proposes its own action again with each move.
    QDragMoveEvent move(at.toPoint() + QPoint(5, 5), possible, data, Qt::LeftButton, Qt::NoModifier);
    move.setDropAction(Qt::MoveAction);
    move.setAccepted(enter.isAccepted());
    QApplication::sendEvent(form, &move);
    QDropEvent drop(at, possible, data, Qt::LeftButton, Qt::NoModifier);
    drop.setAccepted(false);
    QApplication::sendEvent(form, &drop);
    if (move.isAccepted() != enter.isAccepted() || (move.isAccepted() && move.dropAction() != enter.dropAction()))
        return {move.isAccepted(), move.dropAction(), false, Qt::IgnoreAction};
    return {enter.isAccepted(), enter.dropAction(), drop.isAccepted(), drop.dropAction()};
}

} // namespace

class TestOpenFolder : public QObject {
    Q_OBJECT
private slots:
    void argumentsAreReadAsOneAbsoluteFolder_data()
    {
        QTest::addColumn<QList<QByteArray>>("arguments");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("folder");
        const auto one = int(FolderRequest::One);
        QTest::newRow("none") << QList<QByteArray>{} << int(FolderRequest::None) << QByteArray();
        QTest::newRow("relative") << QList<QByteArray>{"music"} << one << QByteArray("/work/dir/music");
        QTest::newRow("final slash") << QList<QByteArray>{"music/"} << one << QByteArray("/work/dir/music");
        QTest::newRow("dots and doubled slashes") << QList<QByteArray>{"./x/../music//"} << one << QByteArray("/work/dir/music");
        QTest::newRow("parent") << QList<QByteArray>{".."} << one << QByteArray("/work");
        QTest::newRow("absolute") << QList<QByteArray>{"/srv/a b/"} << one << QByteArray("/srv/a b");
        QTest::newRow("root") << QList<QByteArray>{"/"} << one << QByteArray("/");
        QTest::newRow("above the root") << QList<QByteArray>{"/../.."} << one << QByteArray("/");
        QTest::newRow("not UTF-8") << QList<QByteArray>{"m\xe9l"} << one << QByteArray("/work/dir/m\xe9l");
        QTest::newRow("empty names nothing") << QList<QByteArray>{""} << one << QByteArray();
        QTest::newRow("two") << QList<QByteArray>{"a", "b"} << int(FolderRequest::Several) << QByteArray();
    }
    void argumentsAreReadAsOneAbsoluteFolder()
    {
        QFETCH(QList<QByteArray>, arguments);
        QFETCH(int, kind);
        QFETCH(QByteArray, folder);
        const FolderRequest r = ReadFolderRequest(arguments, "/work/dir");
        QCOMPARE(int(r.kind), kind);
        QCOMPARE(r.folder, folder);
    }

    void uriListsNameOneLocalPath_data()
    {
        QTest::addColumn<QByteArray>("list");
        QTest::addColumn<bool>("local");
        QTest::addColumn<QByteArray>("path");
        char host[256] = {};
        ::gethostname(host, sizeof host - 1);
        QTest::newRow("plain") << QByteArray("file:///home/u/Music\r\n") << true << QByteArray("/home/u/Music");
        QTest::newRow("no line end") << QByteArray("file:///m") << true << QByteArray("/m");
        QTest::newRow("percent-encoded, not UTF-8") << QByteArray("file:///a%20b/m%E9l%3F%23/") << true << QByteArray("/a b/m\xe9l?#/");
        QTest::newRow("localhost") << QByteArray("FILE://LocalHost/m\r\n") << true << QByteArray("/m");
        QTest::newRow("this machine") << QByteArray("file://") + host + "/m" << true << QByteArray("/m");
        QTest::newRow("comment and blank lines") << QByteArray("# from a file manager\r\n\r\nfile:///m\r\n") << true << QByteArray("/m");
        QTest::newRow("two") << QByteArray("file:///a\r\nfile:///b\r\n") << false << QByteArray();
        QTest::newRow("none") << QByteArray("# nothing\r\n") << false << QByteArray();
        QTest::newRow("web") << QByteArray("https://example.org/m\r\n") << false << QByteArray();
        QTest::newRow("another machine") << QByteArray("file://elsewhere.example/m\r\n") << false << QByteArray();
        QTest::newRow("no path") << QByteArray("file://") << false << QByteArray();
        QTest::newRow("query") << QByteArray("file:///m?x=1") << false << QByteArray();
        QTest::newRow("encoded NUL") << QByteArray("file:///m%00/x") << false << QByteArray();
    }
    void uriListsNameOneLocalPath()
    {
        QFETCH(QByteArray, list);
        QFETCH(bool, local);
        QFETCH(QByteArray, path);
        QByteArray got = "untouched";
        QCOMPARE(LocalPathFromUriList(list, got), local);
        QCOMPARE(got, local ? path : QByteArray("untouched"));
    }

    void folderArgumentActsAsTheFolderCommand_data()
    {
        QTest::addColumn<QList<QByteArray>>("arguments");
        QTest::addColumn<bool>("opens");
        QTest::addColumn<QString>("message"); // %1: the argument made absolute
        QTest::newRow("existing folder") << QList<QByteArray>{"music2"} << true << QString();
        QTest::newRow("existing folder, final slash") << QList<QByteArray>{"./music2/"} << true << QString();
        QTest::newRow("missing folder") << QList<QByteArray>{"gone <&>"} << false << QStringLiteral("Папка не найдена: «%1»");
        // Named even when empty: what was given, in quotes.
        QTest::newRow("empty argument") << QList<QByteArray>{""} << false << QStringLiteral("Папка не найдена: «»");
        QTest::newRow("a file") << QList<QByteArray>{"music2/a.wav"} << false << QStringLiteral("Это не папка: «%1»");
        QTest::newRow("two folders") << QList<QByteArray>{"music2", "music1"} << false << QStringLiteral("Можно открыть только одну папку.");
        QTest::newRow("no argument") << QList<QByteArray>{} << false << QString();
    }
    void folderArgumentActsAsTheFolderCommand()
    {
        QFETCH(QList<QByteArray>, arguments);
        QFETCH(bool, opens);
        QFETCH(QString, message);
        Scene s;
        const FolderRequest request = ReadFolderRequest(arguments, s.h.dir.pathBytes());
        CarryOutFolderRequest(s.form->Session(), request);
        if (opens) // listed at once, so the window shows it when it first appears
            QCOMPARE(s.Holds(), s.Opened());
        QCoreApplication::processEvents(); // the box comes once the event loop runs
        if (message.contains(QLatin1String("%1")))
            message = message.arg(DisplayText(request.folder));
        QCOMPARE(s.h.dialogs.messages, message.isEmpty() ? QStringList() : QStringList{message});
        if (!opens)
            QCOMPARE(s.Holds(), s.Kept());
        QCOMPARE(s.Idle(), "0 closed / ZOLM Player");
        QVERIFY(s.h.dialogs.errors.isEmpty() && s.h.dialogs.captions.isEmpty()); // no chooser was opened
    }

    void droppedFolderIsOpenedAndOtherDropsAreIgnored_data()
    {
        QTest::addColumn<DropCase>("c");
        const int copyMove = Qt::CopyAction | Qt::MoveAction;
        const auto row = [](const char *name, const char *uris, int possible, int action, bool disabled = false) {
            QTest::newRow(name) << DropCase{uris, QString(), possible, disabled, action};
        };
        row("a folder", "file://%1/music2\r\n", copyMove, Qt::CopyAction);
        row("a folder, only link offered", "file://%1/music2/", Qt::LinkAction | Qt::MoveAction, Qt::LinkAction);
        row("only move offered", "file://%1/music2", Qt::MoveAction, 0);
        row("a file", "file://%1/music2/a.wav", copyMove, 0);
        row("two folders", "file://%1/music2\r\nfile://%1/music1\r\n", copyMove, 0);
        row("a missing folder", "file://%1/gone", copyMove, 0);
        row("a web address", "https://example.org/music2", copyMove, 0);
        row("while a secondary window is open", "file://%1/music2", copyMove, 0, true);
        QTest::newRow("text naming a folder") << DropCase{QByteArray(), QStringLiteral("%1/music2"), copyMove, false, 0};
    }
    void droppedFolderIsOpenedAndOtherDropsAreIgnored()
    {
        QFETCH(DropCase, c);
        const auto [uris, text, possible, disabled, action] = c;
        Scene s;
        QVERIFY(s.form->acceptDrops()); // otherwise the desktop never offers the window a drop
        auto *data = new QMimeData;
        const QByteArray base = s.h.dir.pathBytes().toPercentEncoding("/");
        if (!uris.isNull())
            data->setData(QStringLiteral("text/uri-list"), QByteArray(uris).replace("%1", base));
        if (!text.isNull())
            data->setText(text.arg(s.h.dir.path()));
        std::unique_ptr<QMimeData> owner(data);
        if (disabled)
            s.form->setEnabled(false);

        const DropOutcome got = Drop(s.form, data, Qt::DropActions(possible));
        QCOMPARE(std::make_pair(got.enterAccepted, got.dropAccepted), std::make_pair(action != 0, action != 0));
        if (action)
            QCOMPARE(std::make_pair(int(got.enterAction), int(got.dropAction)), std::make_pair(action, action));
        QCOMPARE(s.Holds(), action ? s.Opened() : s.Kept());
        QCOMPARE(s.Idle(), "0 closed / ZOLM Player");
        QVERIFY(s.h.dialogs.messages.isEmpty());
    }

    void handedOverFolderIsTakenAfterTheCallUnlessAWindowIsOpen()
    {
        Scene s;
        // The window disabled, as the About box leaves it; or a message box or the folder chooser
        // holding it: a folder taken then would open boxes over boxes, or change the list under the chooser.
        for (const bool modal : {false, true}) {
            QDialog box;
            box.setModal(true);
            modal ? box.show() : s.form->setEnabled(false);
            QCOMPARE(QApplication::activeModalWidget(), modal ? &box : nullptr);
            QCOMPARE(instance::TakeHandedOverFolder(s.form, Absolute(s.h, "music2")), QLatin1String(instance::kBusyError));
            QCoreApplication::processEvents();
            QCOMPARE(s.Holds(), s.Kept());
            s.form->setEnabled(true);
        }

        QCOMPARE(instance::TakeHandedOverFolder(s.form, Absolute(s.h, "music2/")), QString());
        QCOMPARE(s.Holds(), s.Kept()); // not during the call
        QCoreApplication::processEvents();
        QCOMPARE(s.Holds(), s.Opened());

        // A bad folder is reported by the running player, naming it.
        QCOMPARE(instance::TakeHandedOverFolder(s.form, Absolute(s.h, "gone")), QString());
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QCOMPARE(s.h.dialogs.messages, QStringList{FolderNotFoundText(Absolute(s.h, "gone"))});
        QCOMPARE(s.Holds(), s.Opened());
    }

    // rez.dat holds one line: a folder whose path breaks it would come back as another
    // folder, or none, at the next start. Refused with a box whichever way it comes.
    void folderThatRezFileCannotHoldIsRefused_data()
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("refused");
        for (const char *way : {"chooser", "argument", "drop", "hand-over"})
            QTest::addRow("%s, line feed", way) << QString::fromLatin1(way) << QByteArray("nl\nx") << true;
        QTest::newRow("argument, carriage return") << QStringLiteral("argument") << QByteArray("cr\rx") << true;
        QTest::newRow("chooser, Ctrl-Z") << QStringLiteral("chooser") << QByteArray("z\x1ax") << true;
        QTest::newRow("drop, a tab fits") << QStringLiteral("drop") << QByteArray("tab\tx") << false;
    }
    void folderThatRezFileCannotHoldIsRefused()
    {
        QFETCH(QString, way);
        QFETCH(QByteArray, name);
        QFETCH(bool, refused);
        Scene s;
        const QByteArray folder = Absolute(s.h, name);
        QVERIFY(QDir().mkdir(QFile::decodeName(folder)));
        WriteBytes(folder + "/c.wav", MakeWav(100));
        if (way == QLatin1String("chooser")) {
            s.h.dialogs.folderAnswers << folder;
            s.form->SpeedButton4Click();
        } else if (way == QLatin1String("argument")) {
            CarryOutFolderRequest(s.form->Session(), ReadFolderRequest({folder}, s.h.dir.pathBytes()));
        } else if (way == QLatin1String("drop")) {
            QMimeData data;
            data.setData(QStringLiteral("text/uri-list"), "file://" + folder.toPercentEncoding("/") + "\r\n");
            QVERIFY(Drop(s.form, &data, Qt::CopyAction).dropAccepted);
        } else {
            QCOMPARE(instance::TakeHandedOverFolder(s.form, folder), QString());
        }
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        if (!refused) {
            QCOMPARE(EntryNames(s.h.Session()), QList<QByteArray>{"c.wav"});
            QCOMPARE(ReadBytes("rez.dat"), folder + '/');
            QVERIFY(s.h.dialogs.messages.isEmpty());
            return;
        }
        QCOMPARE(s.h.dialogs.messages.size(), 1);
        const QString text = s.h.dialogs.messages.first();
        QVERIFY2(text.startsWith(QStringLiteral("Эту папку нельзя открыть")), qPrintable(text));
        // The name shown on one line, its control character as a visible symbol.
        QVERIFY2(text.contains(WithVisibleControls(DisplayText(name))) && text == WithVisibleControls(text),
                 qPrintable(text));
        QCOMPARE(s.Holds(), s.Kept());
    }

    void messageBoxesShowTextPlain()
    {
        SetDialogs(nullptr); // the real boxes
        int format = -1;
        QString shown;
        OnNextBox([&](QMessageBox *box) { format = int(box->textFormat()), shown = box->text(); });
        Dialogs().ShowMessage(QStringLiteral("Папка не найдена: /m/<b>x</b> & y"));
        QCOMPARE(format, int(Qt::PlainText));
        QCOMPARE(shown, QStringLiteral("Папка не найдена: /m/<b>x</b> & y"));
    }

    // Names, roles, entries, values and what a press does are checked over AT-SPI (tests/a11y);
    // what only the offscreen suite sees: the switches are checkable (Qt 6.4 does not say so over
    // AT-SPI), a press acts only once the call has returned, and the handler latches the switch.
    void screenReadersFindNamesRolesStatesAndPress()
    {
        Scene s;
        TForm1 *f = s.form;
        // The four switches (pause, mute, random, repeat) are the buttons of a group.
        QList<TSpeedButton *> switches;
        for (TSpeedButton *b : f->findChildren<TSpeedButton *>())
            if (b->GroupIndex() != 0)
                switches << b;
        QCOMPARE(switches.size(), 4);
        for (QWidget *w : switches)
            QVERIFY2(QAccessible::queryAccessibleInterface(w)->state().checkable, qPrintable(w->objectName()));
        TSpeedButton *random = *std::find_if(switches.begin(), switches.end(), [](auto *b) { return b->GroupIndex() == 3; });
        QAccessibleInterface *press = QAccessible::queryAccessibleInterface(random);
        press->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QVERIFY(!random->Down());
        QCoreApplication::processEvents();
        QVERIFY(random->Down() && !random->AllowAllUp() && f->Session()->Shuffle()); // latched by the handler
    }
};

QTEST_MAIN(TestOpenFolder)
#include "tst_open_folder.moc"
