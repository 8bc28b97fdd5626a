#include "runtime/Desktop.h"

#include <QEvent>
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

    explicit TitleBar(QWidget *window) : QWidget(window)
    {
        setObjectName(QStringLiteral("TitleBar"));
        setProperty(kBelowTitleBar, true);
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
        raise();
        update();
    }

    QToolButton *close_;
};

void OnGlobal(void *data, wl_registry *, uint32_t, const char *interface, uint32_t)
{
    if (std::strcmp(interface, "xdg_activation_v1") == 0)
        *static_cast<bool *>(data) = true;
}
void OnGlobalRemoved(void *, wl_registry *, uint32_t) {}

} // namespace

bool OnWayland()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

namespace {

// Asked once, on a connection of our own: Qt 6.4 tells no one its globals. An X11
// client under XWayland reaches the compositor the same way.
bool WaylandCompositorActivates()
{
    static const bool activates = [] {
        wl_display *display = wl_display_connect(nullptr);
        if (!display)
            return false;
        bool found = false;
        static const wl_registry_listener listener{OnGlobal, OnGlobalRemoved};
        wl_registry *registry = wl_display_get_registry(display);
        wl_registry_add_listener(registry, &listener, &found);
        wl_display_roundtrip(display);
        wl_registry_destroy(registry);
        wl_display_disconnect(display);
        return found;
    }();
    return activates;
}

} // namespace

bool CompositorActivatesWindows()
{
    return OnWayland() && WaylandCompositorActivates();
}

bool MinimisedWindowsComeBack()
{
    if (!OnWayland() && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return true;
    return WaylandCompositorActivates();
}

void SetMainWindow(QWidget *window)
{
    g_mainWindow = window;
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

void DrawOwnTitleBar(QWidget *window)
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
        new TitleBar(window);
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

void FrameAsDialog(QWidget *window)
{
    if (OnWayland())
        DrawOwnTitleBar(window);
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
