#include "runtime/Desktop.h"

#include <QApplication>
#include <QEvent>
#include <QSet>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QGuiApplication>
#include <QLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QToolButton>
#include <QWidget>
#include <QWindow>

#include <cstring>
#include <wayland-client.h>

namespace {

QPointer<QWidget> g_mainWindow;
const char kBelowTitleBar[] = "zolmBelowTitleBar";

// A title bar as Wayland desktops draw them, with the caption and a close button.
class TitleBar : public QWidget {
public:
    static constexpr int kHeight = 26;

    explicit TitleBar(QWidget *window, bool minimise = false) : QWidget(window)
    {
        setObjectName(QStringLiteral("TitleBar"));
        setProperty(kBelowTitleBar, true);
        if (minimise) {
            minimise_ = new QToolButton(this);
            minimise_->setObjectName(QStringLiteral("TitleBarMinimise"));
            minimise_->setText(QStringLiteral("–"));
            minimise_->setAccessibleName(QStringLiteral("Свернуть"));
            minimise_->setAutoRaise(true);
            minimise_->setFocusPolicy(Qt::NoFocus);
            connect(minimise_, &QToolButton::clicked, window, &QWidget::showMinimized);
        }
        close_ = new QToolButton(this);
        close_->setObjectName(QStringLiteral("TitleBarClose"));
        close_->setText(QStringLiteral("✕"));
        close_->setAccessibleName(QStringLiteral("Закрыть"));
        close_->setAutoRaise(true);
        close_->setFocusPolicy(Qt::NoFocus);
        connect(close_, &QToolButton::clicked, window, &QWidget::close);
        window->installEventFilter(this);
        Fit();
    }

    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Resize || event->type() == QEvent::WindowTitleChange)
            Fit();
        return false;
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.fillRect(rect(), palette().color(QPalette::Window).darker(112));
        p.setPen(palette().color(QPalette::WindowText));
        const QRect text = rect().adjusted(kHeight, 0, -kHeight, 0);
        p.drawText(text, Qt::AlignCenter, fontMetrics().elidedText(window()->windowTitle(), Qt::ElideRight, text.width()));
        p.setPen(palette().color(QPalette::Dark));
        p.drawLine(0, height() - 1, width(), height() - 1);
    }

    void mousePressEvent(QMouseEvent *event) override
    {
        if (event->button() == Qt::LeftButton && window()->windowHandle())
            window()->windowHandle()->startSystemMove();
    }

private:
    void Fit()
    {
        setGeometry(0, 0, parentWidget()->width(), kHeight);
        close_->setGeometry(width() - kHeight, 0, kHeight, kHeight);
        if (minimise_)
            minimise_->setGeometry(width() - 2 * kHeight, 0, kHeight, kHeight);
        raise();
        update();
    }

    QToolButton *close_;
    QToolButton *minimise_ = nullptr;
};

void OnGlobal(void *data, wl_registry *, uint32_t, const char *interface, uint32_t)
{
    static_cast<QSet<QByteArray> *>(data)->insert(QByteArray(interface));
}
void OnGlobalRemoved(void *, wl_registry *, uint32_t) {}

// The compositor's globals, asked once, on a connection of our own: Qt 6.4 tells no one its globals.
const QSet<QByteArray> &CompositorGlobals()
{
    static const QSet<QByteArray> globals = [] {
        QSet<QByteArray> found;
        wl_display *display = wl_display_connect(nullptr);
        if (!display)
            return found;
        static const wl_registry_listener listener{OnGlobal, OnGlobalRemoved};
        wl_registry *registry = wl_display_get_registry(display);
        wl_registry_add_listener(registry, &listener, &found);
        wl_display_roundtrip(display);
        wl_registry_destroy(registry);
        wl_display_disconnect(display);
        return found;
    }();
    return globals;
}

// Brings the window that holds the main one disabled (a box, a secondary window) back in
// front whenever the main window is activated: a click on the main window, its taskbar
// entry, a Raise. Most window managers keep a dialog above its parent by themselves;
// sway raises the clicked window over it, and KWin lets a dialog be minimised.
class BoxesInFront : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::WindowActivate && watched == g_mainWindow) {
            QPointer<QWidget> box = Holder();
            if (box)
                QTimer::singleShot(0, box, [box] {
                    if (!box || !box->isVisible())
                        return;
                    if (box->isMinimized())
                        box->setWindowState(box->windowState() & ~Qt::WindowMinimized);
                    box->raise();
                    box->activateWindow();
                });
        }
        return false;
    }
    static QWidget *Holder()
    {
        QWidget *main = g_mainWindow;
        if (!main)
            return nullptr;
        if (QWidget *modal = QApplication::activeModalWidget())
            return modal;
        if (main->isEnabled())
            return nullptr;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w != main && w->isVisible() && (w->windowType() == Qt::Dialog))
                return w;
        return nullptr;
    }
};

// A box minimised all the same (KWin offers it whatever the frame asks for) comes back at once.
class NeverMinimised : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *w = qobject_cast<QWidget *>(watched);
        if (event->type() == QEvent::WindowStateChange && w && w->isWindow() && w->isMinimized()) {
            QPointer<QWidget> box = w;
            QTimer::singleShot(0, w, [box] {
                if (box && box->isVisible() && box->isMinimized()) {
                    box->setWindowState(box->windowState() & ~Qt::WindowMinimized);
                    box->raise();
                    box->activateWindow();
                }
            });
        }
        return false;
    }
};

} // namespace

bool OnWayland()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

bool CompositorActivatesWindows()
{
    return OnWayland() && CompositorGlobals().contains("xdg_activation_v1");
}

bool KWinNumbersCaptions()
{
    if (qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':')).contains(QLatin1String("KDE"),
                                                                                  Qt::CaseInsensitive))
        return true;
    // KWin outside Plasma, natively or through its XWayland: told by a global of its own.
    return (OnWayland() || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) &&
           CompositorGlobals().contains("org_kde_kwin_shadow_manager");
}

bool CompositorDecoratesWindows()
{
    return OnWayland() && CompositorGlobals().contains("zxdg_decoration_manager_v1");
}

bool MinimisedWindowsComeBack()
{
    // An X11 client under XWayland reaches the compositor the same way.
    if (!OnWayland() && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return true;
    return CompositorGlobals().contains("xdg_activation_v1");
}

static TrayQuery g_trayQuery = nullptr;

void SetTrayQuery(TrayQuery query)
{
    g_trayQuery = query;
}

bool TrayAvailable()
{
    return g_trayQuery ? g_trayQuery() : QSystemTrayIcon::isSystemTrayAvailable();
}

void SetMainWindow(QWidget *window)
{
    g_mainWindow = window;
    static BoxesInFront *filter = nullptr;
    if (window) {
        if (!filter)
            filter = new BoxesInFront(qApp);
        window->installEventFilter(filter);
    }
}

QWidget *MainWindow()
{
    return g_mainWindow;
}

namespace {

// The class has no meta-object of its own: told from the other children by its dynamic type.
bool HasTitleBar(const QWidget *window)
{
    for (const QObject *child : window->children())
        if (dynamic_cast<const TitleBar *>(child))
            return true;
    return false;
}

void DrawOwnTitleBar(QWidget *window, bool minimise = false)
{
    if (!HasTitleBar(window)) {
        if (window->windowFlags() & Qt::FramelessWindowHint)
            return; // a window without a title bar (the help window) stays without
        window->setWindowFlag(Qt::FramelessWindowHint);
        if (window->layout()) {
            QMargins m = window->contentsMargins();
            m.setTop(m.top() + TitleBar::kHeight);
            window->setContentsMargins(m);
        } else if (window->minimumSize() == window->maximumSize()) {
            window->setFixedSize(window->width(), window->height() + TitleBar::kHeight);
        }
        new TitleBar(window, minimise);
    }
    if (window->layout())
        return;
    // Controls placed at fixed points move down by the title bar, once each.
    for (QWidget *child : window->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (!child->isWindow() && !child->property(kBelowTitleBar).toBool()) {
            child->move(child->pos() + QPoint(0, TitleBar::kHeight));
            child->setProperty(kBelowTitleBar, true);
        }
    }
}

} // namespace

void FrameMainWindow(QWidget *window)
{
    // Qt's own title bar (where the compositor draws none) offers maximise whatever
    // the flags say, and maximised the fixed window lands in a corner.
    if (OnWayland() && !CompositorDecoratesWindows())
        DrawOwnTitleBar(window, true);
}

void FrameAsDialog(QWidget *window)
{
    if (OnWayland())
        DrawOwnTitleBar(window);
    static NeverMinimised *restore = nullptr;
    if (!restore)
        restore = new NeverMinimised(qApp);
    window->removeEventFilter(restore);
    window->installEventFilter(restore);
    // A dialog of the main window: window managers keep it over the main window and
    // bring it back with it when the main window is activated, should it have been
    // minimised alone. Set once the frame is decided, as Qt decides it when it
    // creates the window. A main window out of sight (in the tray, minimised) is no
    // box's parent: the box would go out of sight with it.
    if (g_mainWindow && g_mainWindow != window && g_mainWindow->isVisible() && !g_mainWindow->isMinimized()) {
        window->winId();
        if (window->windowHandle())
            window->windowHandle()->setTransientParent(g_mainWindow->windowHandle());
    }
}
