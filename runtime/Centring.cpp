#include "runtime/Centring.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QMargins>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace {

void Centre(QWidget *window, const QMargins &frame)
{
    QScreen *s = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!s)
        return;
    const QSize outer = window->size().grownBy(frame);
    const QRect area = s->availableGeometry();
    const QPoint frameTopLeft(area.x() + (area.width() - outer.width()) / 2,
                              area.y() + (area.height() - outer.height()) / 2);
    const QPoint clientTopLeft = frameTopLeft + QPoint(frame.left(), frame.top());
    if (window->geometry().topLeft() != clientTopLeft)
        window->setGeometry(QRect(clientTopLeft, window->size()));
}

// Before a window is framed, its frame is taken to be that of another window of the
// program, which the same window manager framed.
QMargins EstimatedFrame(const QWidget *window)
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w == window || !w->windowHandle())
            continue;
        const QMargins m = w->windowHandle()->frameMargins();
        if (!m.isNull())
            return m;
    }
    return QMargins();
}

// Re-centres its window by the real frame at the first exposure after a showing.
class RecentreWhenExposed : public QObject {
public:
    explicit RecentreWhenExposed(QWidget *window) : QObject(window), window_(window) {}

    void Arm(QWindow *handle)
    {
        if (handle_)
            handle_->removeEventFilter(this);
        handle_ = handle;
        handle_->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Expose && watched == handle_ && handle_->isExposed()) {
            handle_->removeEventFilter(this);
            handle_ = nullptr;
            Centre(window_, window_->windowHandle()->frameMargins());
        }
        return false;
    }

private:
    QWidget *window_;
    QPointer<QWindow> handle_;
};

class CentreAtFirstShow : public QObject {
public:
    explicit CentreAtFirstShow(QWidget *window) : QObject(window) { window->installEventFilter(this); }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show) {
            watched->removeEventFilter(this);
            CentreOnScreenAsShown(static_cast<QWidget *>(watched));
            deleteLater();
        }
        return false;
    }
};

} // namespace

void CentreOnScreenWhenFirstShown(QWidget *window)
{
    new CentreAtFirstShow(window);
}

void CentreOnScreenAsShown(QWidget *window)
{
    Centre(window, EstimatedFrame(window));
    if (QWindow *handle = window->windowHandle()) {
        // One per window, made at its first showing (the class has no meta-object of its
        // own, so it is told from the window's other children by its dynamic type).
        RecentreWhenExposed *recentre = nullptr;
        for (QObject *child : window->children())
            if ((recentre = dynamic_cast<RecentreWhenExposed *>(child)))
                break;
        if (!recentre)
            recentre = new RecentreWhenExposed(window);
        recentre->Arm(handle);
    }
}
