// The player on a real X server (Xvfb, from scripts/with-xvfb.sh) and a private session
// bus, with the openbox window manager and tint2's XEmbed tray, both started here. What the offscreen
// tests cannot see is read back from the server (titles, geometry, mapping) or
// through the windows' accessibility interfaces (the characters a label shows);
// the tray and start-up cases run the real program.
#include "PlayerHarness.h"
#include "common/WidgetSupport.h"
#include "app/Application.h"

#include <QAccessible>
#include <QDialog>
#include <QSignalSpy>
#include <QProcess>
#include <QRegularExpression>
#include <QSystemTrayIcon>

#include <xcb/xcb.h>

#include <csignal>
#include <fcntl.h>
#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

std::vector<pid_t> g_children;
std::string g_home;

// Starts a helper, its output silenced.
pid_t Spawn(std::vector<const char *> argv)
{
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, const_cast<char *const *>(argv.data()), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    if (pid > 0)
        g_children.push_back(pid);
    return pid;
}

bool StartDesktop()
{
    char home[] = "/tmp/zolm-desktop-XXXXXX";
    if (!::mkdtemp(home))
        return false;
    g_home = home;
    ::setenv("HOME", home, 1);
    ::setenv("XDG_CONFIG_HOME", (g_home + "/.config").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", home, 1);
    ::unsetenv("WAYLAND_DISPLAY"); // an X11 desktop, with no compositor behind it

    // The X server and the session bus are those the test runs in (scripts/with-xvfb.sh,
    // dbus-run-session).
    if (!std::getenv("DISPLAY") || !std::getenv("DBUS_SESSION_BUS_ADDRESS"))
        return false;
    // ZOLM_WM=xfwm4: Xfce's window manager and panel instead.
    if (qgetenv("ZOLM_WM") == "xfwm4")
        return Spawn({"xfwm4", "--compositor=off", "--sm-client-disable"}) > 0 && Spawn({"xfce4-panel"}) > 0;
    const std::string tint2rc = g_home + "/tint2rc";
    return WriteBytes(QByteArray::fromStdString(tint2rc),
                      "panel_items = S\npanel_position = bottom center horizontal\npanel_size = 100% 30\n"
                      "systray_icon_size = 24\nstrut_policy = follow_size\n") &&
           Spawn({"openbox", "--sm-disable"}) > 0 && Spawn({"tint2", "-c", tint2rc.c_str()}) > 0;
}

void StopDesktop()
{
    for (auto it = g_children.rbegin(); it != g_children.rend(); ++it)
        ::kill(*it, SIGTERM);
    for (pid_t pid : g_children)
        ::waitpid(pid, nullptr, 0);
    if (!g_home.empty())
        QDir(QString::fromStdString(g_home)).removeRecursively();
}

QString Run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(10000))
        return QString();
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

QString Xdo(const QStringList &args) { return Run(QStringLiteral("xdotool"), args); }

QString ServerTitle(WId window) { return Xdo({QStringLiteral("getwindowname"), QString::number(window)}); }

QList<int> Cardinals(const QString &xpropLine)
{
    QList<int> values;
    const qsizetype eq = xpropLine.indexOf(QLatin1Char('='));
    if (eq < 0)
        return values;
    for (const QString &part : xpropLine.mid(eq + 1).split(QLatin1Char(','), Qt::SkipEmptyParts))
        values << part.trimmed().toInt();
    return values;
}

// A window's geometry as the server has it: xwininfo's "Width", "Absolute upper-left X" ...
struct ServerGeometry {
    explicit ServerGeometry(const QString &window)
        : info(Run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window}))
    {
    }
    std::optional<int> operator()(const char *name) const
    {
        const QRegularExpressionMatch m =
            QRegularExpression(QLatin1String(name) + QLatin1String(":\\s*(-?\\d+)")).match(info);
        return m.hasMatch() ? std::optional<int>(m.captured(1).toInt()) : std::nullopt;
    }
    // A point this far into the window, for the mouse.
    QStringList At(int dx, int dy) const
    {
        return {QString::number((*this)("Absolute upper-left X").value_or(0) + dx),
                QString::number((*this)("Absolute upper-left Y").value_or(0) + dy)};
    }
    QString info;
};

void ClickAt(const QStringList &point)
{
    Xdo(QStringList{QStringLiteral("mousemove"), QStringLiteral("--sync")} + point + QStringList{QStringLiteral("click"), QStringLiteral("1")});
}

bool MappedOnServer(WId window) { return ServerGeometry(QString::number(window)).info.contains(QLatin1String("IsViewable")); }

QString XProp(WId window, const char *atom)
{
    return Run(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(window), QLatin1String(atom)});
}
QString RootProp(const char *atom) { return Run(QStringLiteral("xprop"), {QStringLiteral("-root"), QLatin1String(atom)}); }

void Activate(WId window) { Xdo({QStringLiteral("windowactivate"), QString::number(window)}); }

// Counts the events it sees that match, letting them through.
class EventCounter : public QObject {
public:
    explicit EventCounter(std::function<bool(QEvent *)> match) : match_(std::move(match)) {}
    bool eventFilter(QObject *, QEvent *e) override { return count += match_(e), false; }
    int count = 0;
    std::function<bool(QEvent *)> match_;
};

// The main window on a one-file folder, shown and mapped by the window manager; null if not.
TForm1 *ShownMain(PlayerHarness &h)
{
    TForm1 *f = h.Start(h.MakeFolder(QStringLiteral("m"), {QStringLiteral("a.wav")}));
    f->show();
    return QTest::qWaitForWindowExposed(f) && QTest::qWaitFor([f] { return MappedOnServer(f->winId()); }) ? f : nullptr;
}

// The About box, the tag window or the help window, opened from its menu item; and closed.
QWidget *OpenSecondary(TForm1 *f, const QString &which)
{
    if (which == QLatin1String("about"))
        return f->N2Click(), AboutBox;
    return which == QLatin1String("tag") ? (f->ID3Tag1Click(), static_cast<QWidget *>(ID3Tag)) : (f->ZOLMPlayer1Click(), helpp);
}
void CloseSecondary(QWidget *w)
{
    w == AboutBox ? AboutBox->OKButtonClick() : w == ID3Tag ? ID3Tag->FormClose() : helpp->Button1Click();
}

// A window that disables the main one offers no minimise or maximise in its frame; minimised
// all the same (a window manager's key), it comes back in front when the main window is
// activated, as a click on it or its taskbar entry does.
void CheckCannotBeLost(QWidget *main, QWidget *w)
{
    QTRY_VERIFY(MappedOnServer(w->winId()));
    // Decorations, the third field: minimise 0x20 and maximise 0x40 absent, the title bar 0x8 there.
    const QString hints = XProp(w->winId(), "_MOTIF_WM_HINTS");
    const QStringList fields = hints.section(QLatin1Char('='), 1).split(QLatin1Char(','));
    const uint decorations = fields.size() > 2 ? fields[2].trimmed().toUInt(nullptr, 0) : 0x60;
    QVERIFY2((decorations & 0x68) == 0x8, qPrintable(hints));
    // Minimised all the same, it comes back by itself (KWin offers minimise whatever the
    // frame asks for), and at the latest when the main window is activated.
    Xdo({QStringLiteral("windowminimize"), QString::number(w->winId())});
    QTest::qWait(300);
    Activate(main->winId());
    QTRY_VERIFY_WITH_TIMEOUT(MappedOnServer(w->winId()), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(XProp(w->winId(), "WM_STATE").contains(QLatin1String("Normal")), 10000);
}

// "" once the centre of the window's frame, as the server has it, is that of the work area
// (it has 5 s to get there), else how far off it is.
QString OffCentre(WId window)
{
    QString off;
    return QTest::qWaitFor([&] {
        const ServerGeometry field(QString::number(window));
        const auto x = field("Absolute upper-left X"), y = field("Absolute upper-left Y");
        const auto w = field("Width"), h = field("Height");
        const QList<int> frame = Cardinals(XProp(window, "_NET_FRAME_EXTENTS")), area = Cardinals(RootProp("_NET_WORKAREA"));
        if (!x || !y || !w || !h || frame.size() != 4 || area.size() < 4)
            return off = QStringLiteral("geometry unreadable"), false;
        // In half pixels: twice the frame's left edge plus its width, against the same of the area.
        const int dx = 2 * (*x - frame[0]) + *w + frame[0] + frame[1] - (2 * area[0] + area[2]);
        const int dy = 2 * (*y - frame[2]) + *h + frame[2] + frame[3] - (2 * area[1] + area[3]);
        off = QStringLiteral("centre off by (%1, %2) half pixels").arg(dx).arg(dy);
        return std::abs(dx) <= 1 && std::abs(dy) <= 1;
    }) ? QString() : off;
}

// The characters a label shows, as assistive technology reads them.
QString ShownText(QWidget *label)
{
    QAccessibleInterface *a = QAccessible::queryAccessibleInterface(label);
    return a ? a->text(QAccessible::Name) : QString();
}

// A close request as the window manager's close key makes it: the request goes
// to the window manager, which sends WM_DELETE_WINDOW to the window.
void RequestClose(WId window)
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t *c = x11->connection();
    const char name[] = "_NET_CLOSE_WINDOW";
    xcb_intern_atom_reply_t *atom =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr);
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = xcb_window_t(window);
    event.type = atom->atom;
    event.data.data32[0] = XCB_CURRENT_TIME;
    event.data.data32[1] = 2; // from a pager or taskbar: the user asked
    std::free(atom);
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&event));
    xcb_flush(c);
}

// An extended regular expression (xdotool's kind) matching exactly this text.
QString Regex(const QString &literal)
{
    QString re = QStringLiteral("^");
    for (const QChar c : literal) {
        if (QStringView(u".[]{}()\\*+?^$|").contains(c))
            re += QLatin1Char('\\');
        re += c;
    }
    return re + QLatin1Char('$');
}

class Program {
public:
    explicit Program(const QString &dir)
    {
        process.setWorkingDirectory(dir);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("dummy"));
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QString::fromLocal8Bit(qgetenv("ZOLM_PLAYER")), QStringList());
    }
    ~Program()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    bool Running() { return process.state() == QProcess::Running; }
    // The program's visible windows with exactly this title (a null one: any title).
    QStringList Windows(const QString &title)
    {
        return Xdo({QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                    QString::number(process.processId()), QStringLiteral("--name"),
                    title.isNull() ? QStringLiteral(".*") : Regex(title)})
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    // The first of them; "" for none.
    QString Window(const QString &title) { return Windows(title).value(0); }
    void Keys(const QString &window, const QStringList &keys)
    {
        Xdo(QStringList{QStringLiteral("windowactivate"), QStringLiteral("--sync"), window, QStringLiteral("key"),
                        QStringLiteral("--clearmodifiers")} + keys);
    }
    // Ctrl+Q to the window; true once the program has ended.
    bool Quit(const QString &window)
    {
        Keys(window, {QStringLiteral("ctrl+q")});
        return process.waitForFinished(10000);
    }
    bool Mpris(const char *method)
    {
        QProcess p;
        p.start(QStringLiteral("dbus-send"), DbusSend({QStringLiteral("org.mpris.MediaPlayer2.") + QLatin1String(method)}));
        return p.waitForFinished(10000) && p.exitCode() == 0;
    }
    static QStringList DbusSend(const QStringList &call)
    {
        return QStringList{QStringLiteral("--session"), QStringLiteral("--print-reply"), QStringLiteral("--dest=org.mpris.MediaPlayer2.zolmplayer"),
                           QStringLiteral("/org/mpris/MediaPlayer2")} + call;
    }
    QProcess process;
};

// A property of the program's MPRIS player, as dbus-send prints it.
QString PlayerProperty(const char *property)
{
    return Run(QStringLiteral("dbus-send"),
               Program::DbusSend({QStringLiteral("org.freedesktop.DBus.Properties.Get"), QStringLiteral("string:org.mpris.MediaPlayer2.Player"),
                                  QStringLiteral("string:") + QLatin1String(property)}));
}

} // namespace

class TestDesktop : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QTRY_VERIFY_WITH_TIMEOUT(!Cardinals(RootProp("_NET_WORKAREA")).isEmpty(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 10000);
        QVERIFY(QFile::exists(QString::fromLocal8Bit(qgetenv("ZOLM_PLAYER"))));
    }

    void windowTitlesOnTheServerAreExactlyTheCaptions()
    {
        PlayerHarness h;
        const QString name = QStringLiteral("a [*] <i>b & c.wav");
        TForm1 *f = h.Start(h.MakeFolder(QStringLiteral("m"), {name}));
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f));
        QTRY_COMPARE(ServerTitle(f->winId()), QStringLiteral("ZOLM Player"));
        f->SpeedButton5Click();
        QTRY_COMPARE(ServerTitle(f->winId()), QStringLiteral("ZOLM Player - ") + name);
        QCOMPARE(ApplicationTitle(), QStringLiteral("ZOLM Player - ") + name);
        // The taskbar entry's text, as the window manager has it.
        QTRY_COMPARE(XProp(f->winId(), "_NET_WM_ICON_NAME"),
                     QStringLiteral("_NET_WM_ICON_NAME(UTF8_STRING) = \"ZOLM Player - a [*] <i>b & c.wav\""));

        for (const auto &[window, title] : {std::pair{"about", "О программе"}, {"tag", "ID3Tag"}, {"help", "Помощь!"}}) {
            QWidget *w = OpenSecondary(f, QLatin1String(window));
            QVERIFY(QTest::qWaitForWindowExposed(w));
            QTRY_COMPARE(ServerTitle(w->winId()), QString::fromUtf8(title));
            QVERIFY(h.dialogs.errors.isEmpty()); // the tag window found the file by the caption's name
            CloseSecondary(w);
        }
    }

    void namesAreShownAsTheirCharacters()
    {
        PlayerHarness h;
        const QString good = QStringLiteral("<u>und x.wav");
        const QString bad = QStringLiteral("bad <b>B &amp; C.wav");
        const QByteArray folder = h.MakeFolder(QStringLiteral("m"), {good});
        WriteBytes(folder + bad.toUtf8(), "not a sound");
        TForm1 *f = h.Start(folder);
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f));
        h.Session().Choose(0); // "<" sorts before "b": the good one comes first
        QCOMPARE(ShownText(f->Label1), good + QStringLiteral(" (0:02)"));

        // The message box of a file that can't be opened, and the error box, for real.
        SetDialogs(nullptr);
        QString message, messageTitle, error;
        OnNextBox([&](QMessageBox *box) {
            message = ShownText(box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label")));
            messageTitle = ServerTitle(box->winId());
        });
        h.Session().Choose(1);
        QCOMPARE(message, QStringLiteral("Ошибка обращения к файлу ") + bad);
        QCOMPARE(messageTitle, QStringLiteral("ZOLM Player - ") + bad);
        QCOMPARE(ShownText(f->Label1), bad);

        OnNextBox([&](QMessageBox *box) { error = ShownText(box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"))); });
        RunHandler([&] { EFOpenError::Raise(folder + "<i>gone.wav", ENOENT); });
        QCOMPARE(error, QStringLiteral("Cannot open file \"%1<i>gone.wav\". No such file or directory.").arg(QString::fromUtf8(folder)));
        SetDialogs(&h.dialogs);
    }

    void boxesAreCentredOnTheScreenAsShown()
    {
        PlayerHarness h;
        TForm1 *f = ShownMain(h);
        QVERIFY(f);
        SetDialogs(nullptr);
        for (const bool error : {false, true}) {
            QString offset = QStringLiteral("no box");
            OnNextBox([&](QMessageBox *box) { offset = OffCentre(box->winId()); });
            const QString text = QStringLiteral("A box whose text is long enough to make it wider than its buttons");
            error ? Dialogs().ShowError(text) : Dialogs().ShowMessage(text);
            QCOMPARE(offset, QString());
        }
        SetDialogs(&h.dialogs);

        // The About box is centred at every showing, the second after it was moved away too.
        for (int showing = 0; showing < 2; ++showing) {
            f->N2Click();
            QVERIFY(QTest::qWaitForWindowExposed(AboutBox));
            QCOMPARE(OffCentre(AboutBox->winId()), QString());
            AboutBox->move(AboutBox->pos() + QPoint(40, 30));
            QTest::qWait(100);
            AboutBox->OKButtonClick();
            QTRY_VERIFY(!AboutBox->isVisible());
        }
    }

    void closeRequestIsIgnoredWhileASecondaryWindowIsOpen_data()
    {
        QTest::addColumn<QString>("window");
        QTest::newRow("About box") << QStringLiteral("about");
        QTest::newRow("tag window") << QStringLiteral("tag");
        QTest::newRow("help window") << QStringLiteral("help");
    }
    void closeRequestIsIgnoredWhileASecondaryWindowIsOpen()
    {
        QFETCH(QString, window);
        PlayerHarness h;
        TForm1 *f = ShownMain(h);
        QVERIFY(f);
        QWidget *secondary = OpenSecondary(f, window);
        QVERIFY(QTest::qWaitForWindowExposed(secondary));
        QVERIFY(!f->isEnabled());
        if (secondary != helpp) {
            CheckCannotBeLost(f, secondary);
            if (QTest::currentTestFailed())
                return;
        }

        // Raised and activated, as a click on it does, the disabled main window
        // stays below the window that disabled it (else that one hides behind it),
        // and the focus goes back to that window.
        QTRY_VERIFY(MappedOnServer(secondary->winId()));
        const QString mainId = QString::number(f->winId());
        QProcess raise;
        raise.start(QStringLiteral("xdotool"), {QStringLiteral("windowraise"), mainId, QStringLiteral("windowactivate"), mainId});
        QTRY_VERIFY_WITH_TIMEOUT(raise.state() == QProcess::NotRunning, 10000);
        const QString hex = QStringLiteral("0x%1");
        const auto above = [&] {
            const QString stacking = RootProp("_NET_CLIENT_LIST_STACKING");
            const qsizetype mainAt = stacking.indexOf(hex.arg(f->winId(), 0, 16) + QLatin1Char(','));
            const qsizetype secondaryAt = stacking.indexOf(hex.arg(secondary->winId(), 0, 16));
            return mainAt > 0 && secondaryAt > mainAt;
        };
        QTRY_VERIFY_WITH_TIMEOUT(above(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(RootProp("_NET_ACTIVE_WINDOW").contains(hex.arg(secondary->winId(), 0, 16)), 5000);

        EventCounter counter([](QEvent *e) { return e->type() == QEvent::Close; });
        f->installEventFilter(&counter);
        RequestClose(f->winId());
        QTRY_COMPARE_WITH_TIMEOUT(counter.count, 1, 10000); // the request came through
        QCoreApplication::processEvents();
        QVERIFY(f->isVisible());
        QVERIFY(MappedOnServer(f->winId()));
        QVERIFY(secondary->isVisible());

        // Enabled again, the same request ends the program: the window closes.
        CloseSecondary(secondary);
        QVERIFY(f->isEnabled());
        RequestClose(f->winId());
        QTRY_COMPARE_WITH_TIMEOUT(counter.count, 2, 10000);
        QTRY_VERIFY(!f->isVisible());
        f->removeEventFilter(&counter);
    }

    void boxWhileHiddenInTheTrayLeavesTheProgramPlaying()
    {
        ScratchDir dir;
        QVERIFY(QDir().mkdir(QStringLiteral("m")));
        const QString bad = QStringLiteral("bad <b>B &amp; C.mp3");
        const QString good = QStringLiteral("<u>und x.wav");
        // MP3 names are listed first: the bad file is entry 0, the sound entry 1.
        QVERIFY(WriteBytes("m/" + bad.toUtf8(), "not a sound"));
        QVERIFY(WriteBytes("m/" + good.toUtf8(), MakeWav(1000)));
        QVERIFY(WriteBytes("rez.dat", QFile::encodeName(dir.file(QStringLiteral("m/")))));

        Program p(dir.path());
        QString main;
        QTRY_VERIFY_WITH_TIMEOUT(!(main = p.Window(QStringLiteral("ZOLM Player"))).isEmpty(), 20000);
        // Centred on the desktop as first shown, by the frame the window manager gave it.
        QCOMPARE(OffCentre(main.toULongLong()), QString());
        // Repeat the list, then the next entry: the sound plays.
        p.Keys(main, {QStringLiteral("ctrl+r"), QStringLiteral("ctrl+r"), QStringLiteral("ctrl+b")});
        QTRY_COMPARE_WITH_TIMEOUT(ServerTitle(main.toULongLong()), QStringLiteral("ZOLM Player - ") + good, 10000);

        // The tray button, clicked where it is on the screen.
        const ServerGeometry geometry(main);
        const int menuBar = geometry("Height").value_or(0) - 422;
        ClickAt(geometry.At(323 + 15, menuBar + 125 + 14));
        QTRY_VERIFY_WITH_TIMEOUT(!MappedOnServer(main.toULongLong()), 10000);

        // Twice: the sound ends, the list comes round to the bad file, its box is
        // dismissed from the keyboard; then the desktop's Next plays the sound again.
        for (int round = 0; round < 2; ++round) {
            QString box;
            QTRY_VERIFY_WITH_TIMEOUT(!(box = p.Window(QStringLiteral("ZOLM Player - ") + bad)).isEmpty(), 15000);
            QVERIFY(!MappedOnServer(main.toULongLong()));
            QCOMPARE(OffCentre(box.toULongLong()), QString());
            p.Keys(box, {QStringLiteral("Return")});
            QTRY_VERIFY_WITH_TIMEOUT(!MappedOnServer(box.toULongLong()), 10000);
            QVERIFY2(p.Mpris("Player.Next"), "the program is gone");
            QTRY_COMPARE_WITH_TIMEOUT(ServerTitle(main.toULongLong()), QStringLiteral("ZOLM Player - ") + good, 10000);
            QVERIFY(p.Running());
        }
        QVERIFY(!MappedOnServer(main.toULongLong()));

        // Stopped, so no box comes up meanwhile, the program's one visible window is
        // its tray icon: a left click brings the main window back, and Ctrl+Q ends it.
        QVERIFY(p.Mpris("Player.Stop"));
        QString icon;
        QTRY_VERIFY_WITH_TIMEOUT(!(icon = p.Window(QString())).isEmpty(), 10000);
        const ServerGeometry iconGeometry(icon);
        ClickAt(iconGeometry.At(iconGeometry("Width").value_or(0) / 2, iconGeometry("Height").value_or(0) / 2));
        QTRY_VERIFY_WITH_TIMEOUT(MappedOnServer(main.toULongLong()), 10000);

        // Back in the tray, a start with a folder hands it over and brings the window back too.
        ClickAt(ServerGeometry(main).At(323 + 15, menuBar + 125 + 14));
        QTRY_VERIFY_WITH_TIMEOUT(!MappedOnServer(main.toULongLong()), 10000);
        QProcess second;
        second.setWorkingDirectory(dir.path());
        second.setProcessEnvironment(p.process.processEnvironment());
        second.start(p.process.program(), {QStringLiteral("m")});
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(MappedOnServer(main.toULongLong()), 10000);
        QVERIFY(p.Quit(main));
        QCOMPARE(p.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.process.exitCode(), 0);
    }

    void windowComesBackRestored_data()
    {
        QTest::addColumn<bool>("minimiseFirst");
        QTest::addColumn<bool>("restoreFirst");
        QTest::addColumn<bool>("toTray");
        QTest::addColumn<bool>("byTrayIcon");
        QTest::newRow("tray icon, after a minimise undone") << true << true << true << true;
        QTest::newRow("Raise, from the tray") << false << false << true << false;
        QTest::newRow("Raise, minimised") << true << false << false << false;
        QTest::newRow("Raise, minimised again after a minimise undone") << true << true << false << false;
    }
    void windowComesBackRestored()
    {
        QFETCH(bool, minimiseFirst);
        QFETCH(bool, restoreFirst);
        QFETCH(bool, toTray);
        QFETCH(bool, byTrayIcon);
        PlayerHarness h;
        TForm1 *f = ShownMain(h);
        QVERIFY(f);
        const auto minimiseWithoutTray = [f] { // the tray button while no tray is there
            SetTrayQuery([] { return false; });
            f->GoToTrayButtonClick();
            SetTrayQuery(nullptr);
            return QTest::qWaitFor([f] { return XProp(f->winId(), "WM_STATE").contains(QLatin1String("Iconic")); }, 10000);
        };
        if (minimiseFirst)
            QVERIFY(minimiseWithoutTray());
        if (restoreFirst) { // through the window manager, as from the taskbar
            Activate(f->winId());
            QTRY_VERIFY_WITH_TIMEOUT(MappedOnServer(f->winId()), 10000);
            QTRY_VERIFY_WITH_TIMEOUT(f->isActiveWindow(), 10000);
        }
        if (toTray) {
            f->GoToTrayButtonClick();
            QTRY_VERIFY_WITH_TIMEOUT(!MappedOnServer(f->winId()), 10000);
            QVERIFY(f->TrayIcon && f->TrayIcon->isVisible());
        } else if (restoreFirst) {
            QVERIFY(minimiseWithoutTray());
        }
        byTrayIcon ? f->TrayIconMessage(513) : f->BringBack(); // BringBack: what MPRIS Raise does
        QTRY_VERIFY_WITH_TIMEOUT(MappedOnServer(f->winId()), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(XProp(f->winId(), "WM_STATE").contains(QLatin1String("Normal")), 10000);
        QVERIFY(!f->TrayIcon || !f->TrayIcon->isVisible());
    }

    void windowThatDisablesTheMainOneCannotBeLost_data()
    {
        QTest::addColumn<QString>("window");
        QTest::newRow("message box") << QStringLiteral("message");
        QTest::newRow("folder chooser") << QStringLiteral("chooser");
        // The About box and the tag window are checked where they hold off a close request.
    }
    void windowThatDisablesTheMainOneCannotBeLost()
    {
        QFETCH(QString, window);
        PlayerHarness h;
        TForm1 *f = ShownMain(h);
        QVERIFY(f);
        SetDialogs(nullptr);
        bool seen = false;
        std::function<void()> next;
        next = [&] {
            QWidget *w = QApplication::activeModalWidget();
            if (!w || !w->windowHandle() || !w->windowHandle()->isExposed())
                return QTimer::singleShot(20, next);
            CheckCannotBeLost(f, w);
            seen = !QTest::currentTestFailed();
            if (auto *box = qobject_cast<QMessageBox *>(w))
                box->button(QMessageBox::Ok)->click();
            else
                static_cast<QDialog *>(w)->reject();
        };
        QTimer::singleShot(20, next);
        QByteArray directory;
        if (window == QLatin1String("message"))
            Dialogs().ShowMessage(QStringLiteral("text"));
        else
            Dialogs().SelectFolder(QStringLiteral("caption"), QByteArray(), directory);
        SetDialogs(&h.dialogs);
        QVERIFY(seen);
    }

    void rezDatAsFifoGivesTheErrorBoxAtOnce()
    {
        ScratchDir dir;
        QVERIFY(::mkfifo("rez.dat", 0600) == 0);
        Program p(dir.path());
        // The box comes up before the main window, which waits for it.
        QString box;
        QTRY_VERIFY_WITH_TIMEOUT(!(box = p.Window(QStringLiteral("ZOLM Player"))).isEmpty(), 20000);
        QVERIFY(XProp(box.toULongLong(), "_NET_WM_WINDOW_TYPE").contains(QLatin1String("_NET_WM_WINDOW_TYPE_DIALOG")));
        p.Keys(box, {QStringLiteral("Return")});
        QString main;
        QTRY_VERIFY_WITH_TIMEOUT(!(main = p.Window(QStringLiteral("ZOLM Player"))).isEmpty() && main != box, 10000);
        QVERIFY(p.Quit(main));
        QCOMPARE(p.process.exitCode(), 0);
    }

    void ctrlClickAndCtrlSpaceKeepTheCurrentEntry()
    {
        PlayerHarness h;
        TForm1 *f = h.Start(h.MakeFolder(QStringLiteral("m"), {QStringLiteral("a.wav"), QStringLiteral("b.wav"),
                                                               QStringLiteral("c.wav")}, 1500));
        QVERIFY(h.ShowActive());
        QTRY_VERIFY(MappedOnServer(f->winId()));
        TListBox *list = f->ListBox1;
        h.Session().Choose(1);
        QSignalSpy clicks(list, &TListBox::Click);
        // The Ctrl key's release comes last: once it is in, everything before it has been handled.
        EventCounter ctrlUp([](QEvent *e) {
            return e->type() == QEvent::KeyRelease && static_cast<QKeyEvent *>(e)->key() == Qt::Key_Control;
        });
        list->installEventFilter(&ctrlUp);
        const QPoint row = list->viewport()->mapTo(f, list->visualItemRect(list->item(1)).center());
        const ServerGeometry geometry(QString::number(f->winId()));
        Xdo(QStringList{QStringLiteral("mousemove"), QStringLiteral("--sync")} + geometry.At(row.x(), row.y())
            + QString::fromLatin1("keydown ctrl click 1 key ctrl+space keyup ctrl").split(QLatin1Char(' ')));
        QTRY_VERIFY(ctrlUp.count > 0);
        list->removeEventFilter(&ctrlUp);
        QCOMPARE(clicks.count(), 1); // the click replays the entry, as any click on it does
        QCOMPARE(h.Selected(), 1);
        // Played to its end with repeat and random order off, the entry after it comes next.
        h.Tick(2);
        QCOMPARE(h.Selected(), 2);
        QCOMPARE(h.Title(), QStringLiteral("ZOLM Player - c.wav"));
    }

    void mediaKeysAreRefusedWhileABoxIsOpen()
    {
        ScratchDir dir;
        QVERIFY(QDir().mkdir(QStringLiteral("m")));
        QVERIFY(WriteBytes("m/a.mp3", "not a sound"));
        QVERIFY(WriteBytes("m/b.mp3", "not a sound"));
        QVERIFY(WriteBytes("rez.dat", QFile::encodeName(dir.file(QStringLiteral("m/")))));
        Program p(dir.path());
        QString main;
        QTRY_VERIFY_WITH_TIMEOUT(!(main = p.Window(QStringLiteral("ZOLM Player"))).isEmpty(), 20000);
        const auto can = [](const char *property) { return PlayerProperty(property).contains(QLatin1String("boolean true")); };
        // The main window and, while it is open, the box: both bear the application title.
        const QString title = QStringLiteral("ZOLM Player - a.mp3");
        QTRY_VERIFY_WITH_TIMEOUT(can("CanPlay"), 10000);
        QVERIFY(p.Mpris("Player.Play"));
        QTRY_COMPARE_WITH_TIMEOUT(p.Windows(title).size(), 2, 10000);
        // One box, and every command refused while it is open.
        for (const char *method : {"Player.Play", "Player.Next", "Player.Next", "Player.PlayPause", "Player.Previous"})
            QVERIFY2(!p.Mpris(method), method);
        QVERIFY(!can("CanPlay") && !can("CanGoNext") && !can("CanPause") && !can("CanGoPrevious") && !can("CanSeek"));
        QVERIFY(can("CanControl"));
        const QStringList both = p.Windows(title);
        QCOMPARE(both.size(), 2);
        p.Keys(both.value(both.indexOf(main) == 0 ? 1 : 0), {QStringLiteral("Return")});
        QTRY_VERIFY_WITH_TIMEOUT(can("CanGoNext"), 10000);
        QCOMPARE(p.Windows(title), QStringList{main});
        QVERIFY(p.Quit(main));
    }

    // The real program: a folder named in windows-1251 beside a UTF-8 one, chosen from the
    // keyboard in the folder chooser, is remembered by its bytes, listed and played.
    void windows1251FolderIsChosenAndPlayed()
    {
        ScratchDir dir;
        const QByteArray home = dir.pathBytes() + "/home";
        const QByteArray folder = home + "/\xcf\xe0\xef\xea\xe0"; // "Папка"
        for (const QByteArray &path : {home, home + "/Музыка", folder})
            QVERIFY(::mkdir(path.constData(), 0700) == 0);
        QVERIFY(WriteBytes(home + "/Музыка/decoy.wav", MakeWav(1000)));
        QVERIFY(WriteBytes(folder + "/\xd2\xf0\xe5\xea.wav", MakeWav(30000))); // "Трек.wav"
        // The chooser opens at the home folder: this one, holding just the two.
        const QByteArray oldHome = qgetenv("HOME");
        qputenv("HOME", home);
        Program p(dir.path());
        qputenv("HOME", oldHome);
        QString main;
        QTRY_VERIFY_WITH_TIMEOUT(!(main = p.Window(QStringLiteral("ZOLM Player"))).isEmpty(), 20000);
        p.Keys(main, {QStringLiteral("ctrl+o")});
        QString chooser;
        QTRY_VERIFY_WITH_TIMEOUT(!(chooser = p.Window(QStringLiteral("Выберите папку с файлами мультимедиа"))).isEmpty(), 10000);
        // Below the home folder, by name: "Музыка", then "Папка".
        p.Keys(chooser, {QStringLiteral("Down"), QStringLiteral("Down"), QStringLiteral("Return")});
        QTRY_COMPARE_WITH_TIMEOUT(ReadBytes("rez.dat"), folder + '/', 10000);
        p.Keys(main, {QStringLiteral("ctrl+x")});
        QTRY_COMPARE_WITH_TIMEOUT(ServerTitle(main.toULongLong()), QStringLiteral("ZOLM Player - Трек.wav"), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(PlayerProperty("PlaybackStatus").contains(QLatin1String("\"Playing\"")), 10000);
        // One window with that title: no error box about the file.
        QCOMPARE(p.Windows(QStringLiteral("ZOLM Player - Трек.wav")), QStringList{main});
        QVERIFY(p.Quit(main));
    }
};


int main(int argc, char **argv)
{
    if (!StartDesktop()) {
        std::fputs("tst_desktop: no X server or session bus (run it as ctest does), or openbox or tint2 did not start\n", stderr);
        StopDesktop();
        return 1;
    }
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    int code;
    {
        TApplication app(argc, argv);
        TestDesktop test;
        code = QTest::qExec(&test, argc, argv);
    }
    StopDesktop();
    return code;
}

#include "tst_desktop.moc"
