// The program entry: the application object, its title, the four windows in
// their order, and the message loop.
#include "app/Application.h"
#include "app/Windows.h"
#include "player/FolderArgument.h"
#include "player/Instance.h"
#include "player/Mpris.h"
#include "player/Unit1.h"
#include "runtime/Captions.h"
#include "runtime/Centring.h"
#include "runtime/FirstPaint.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <utility>
#include <unistd.h>

namespace {

const char kNoDisplay[] = "zolm-player: a graphical session is needed (no display could be opened).\n";

bool HasDisplay()
{
    for (const char *var : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char *v = std::getenv(var);
        if (v && *v)
            return true;
    }
    return false;
}

// The toolkit aborts when it cannot reach the display; say so in one line instead.
QtMessageHandler g_previousHandler = nullptr;
void MessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtFatalMsg && (message.contains(QLatin1String("could not connect to display")) ||
                               message.contains(QLatin1String("Could not load the Qt platform plugin")) ||
                               message.contains(QLatin1String("no Qt platform plugin could be initialized")))) {
        ssize_t ignored = ::write(STDERR_FILENO, kNoDisplay, sizeof kNoDisplay - 1);
        (void)ignored;
        std::_Exit(1);
    }
    if (g_previousHandler)
        g_previousHandler(type, context, message);
}

const char kPlayerBusy[] = "zolm-player: the running player has a window open; close it, then open the folder again.\n";

// The arguments the toolkit left in argv, as the bytes they came as (through
// QString a name that is not UTF-8 would not come back).
QList<QByteArray> FolderArguments(int argc, char **argv)
{
    QList<QByteArray> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QByteArray(argv[i]));
    return arguments;
}

// Runs a task once the window has painted for the first time (or after a second,
// should it not paint): work the first sight of the window does not need.
class AfterFirstPaint : public QObject {
public:
    AfterFirstPaint(QWidget *window, std::function<void()> task) : QObject(window), task_(std::move(task))
    {
        window->installEventFilter(this);
        QTimer::singleShot(1000, this, [this] { Run(); });
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            QMetaObject::invokeMethod(this, [this] { Run(); }, Qt::QueuedConnection);
        }
        return false;
    }
private:
    void Run()
    {
        if (auto task = std::exchange(task_, nullptr))
            task();
    }
    std::function<void()> task_;
};

// The four windows, in the reverse of their creation order.
void DeleteWindows()
{
    DeleteSecondaryWindows();
    delete Form1;
}

} // namespace

int main(int argc, char **argv)
{
    if (!HasDisplay()) {
        std::fputs(kNoDisplay, stderr);
        return 1;
    }
    g_previousHandler = qInstallMessageHandler(MessageHandler);

    TApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("zolm-player"));
    SetApplicationTitle(QStringLiteral("ZOLM Player"));
    QGuiApplication::setDesktopFileName(QStringLiteral("zolm-player"));

    // One folder named on the command line (the file manager's "open with"): a
    // player already running in this session takes it, and this start ends.
    const FolderRequest request = ReadFolderRequest(FolderArguments(argc, argv), WorkingDirectory());
    if (request.kind == FolderRequest::One && !request.folder.isEmpty()) {
        switch (instance::HandFolderToRunningPlayer(request.folder)) {
        case instance::HandOver::Taken: return 0;
        case instance::HandOver::Refused: std::fputs(kPlayerBusy, stderr); return 1;
        case instance::HandOver::NoPlayer: break;
        }
    }

    Form1 = new TForm1;
    CreateSecondaryWindows(*Form1->Session());
    // Media keys, desktop controls and the hand-over from a second start (nothing
    // without a session bus). Their bus round trips wait until the window has shown
    // itself, except for a start with a folder: several such starts at once (a file
    // manager opening several folders) found no player, and each must learn at once
    // which of them is the player, the others handing their folder to it.
    const auto goOnTheBus = [] {
        instance::ServeFolderRequests(Form1);
        return Mpris::Start(Form1);
    };
    if (request.kind == FolderRequest::One && !request.folder.isEmpty()) {
        const Mpris *mpris = goOnTheBus();
        if (mpris && mpris->ServiceName() != QLatin1String(Mpris::kServiceName)) {
            const instance::HandOver handOver = instance::HandFolderToRunningPlayer(request.folder);
            if (handOver != instance::HandOver::NoPlayer) {
                if (handOver == instance::HandOver::Refused)
                    std::fputs(kPlayerBusy, stderr);
                DeleteWindows();
                return handOver == instance::HandOver::Taken ? 0 : 1;
            }
        }
    } else {
        new AfterFirstPaint(Form1->centralWidget(), [goOnTheBus] { goOnTheBus(); });
    }
    CarryOutFolderRequest(Form1->Session(), request);
    QGuiApplication::setWindowIcon(Form1->windowIcon());

    FirstPaintProbe probe(Form1->centralWidget());

    Form1->adjustSize();
    // By its real frame, which the window manager gives it only once it is on the screen.
    CentreOnScreenWhenFirstShown(Form1);
    Form1->show();
    const int code = app.exec();
    DeleteWindows();
    return code;
}
