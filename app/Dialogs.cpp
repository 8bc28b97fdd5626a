#include "app/Dialogs.h"

#include "app/Application.h"
#include "media/FolderChooser.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QShowEvent>
#include <QWindow>

namespace {

DialogHost g_realDialogs;
DialogHost *g_dialogs = &g_realDialogs;

// A message box centred on the screen as it is shown. Its size is only known
// once it has laid itself out on showing, and the window manager's frame only
// once the box is on the screen; it is centred by the one, then by the other.
class CentredBox : public QMessageBox {
public:
    CentredBox(Icon icon, const QString &text) : QMessageBox(icon, QString(), text, Ok)
    {
        // File names and error texts are characters, never markup.
        setTextFormat(Qt::PlainText);
        SetCaption(this, ApplicationTitle());
        setWindowModality(Qt::ApplicationModal);
    }

protected:
    void showEvent(QShowEvent *event) override
    {
        QMessageBox::showEvent(event); // lays the box out
        if (QWindow *window = windowHandle()) {
            window->removeEventFilter(this);
            window->installEventFilter(this);
        }
        Centre(EstimatedFrame());
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Expose && watched == windowHandle() && windowHandle()->isExposed()) {
            // On the screen now: its frame is the window manager's real one.
            watched->removeEventFilter(this);
            Centre(windowHandle()->frameMargins());
        }
        return QMessageBox::eventFilter(watched, event);
    }

private:
    // Before the box is framed, its frame is taken to be that of another
    // window of the program, which the same window manager framed.
    QMargins EstimatedFrame() const
    {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (w == this || !w->windowHandle())
                continue;
            const QMargins m = w->windowHandle()->frameMargins();
            if (!m.isNull())
                return m;
        }
        return QMargins();
    }

    void Centre(const QMargins &frame)
    {
        QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen();
        if (!s)
            return;
        const QSize outer = size().grownBy(frame);
        const QRect area = s->availableGeometry();
        const QPoint frameTopLeft(area.x() + (area.width() - outer.width()) / 2,
                                  area.y() + (area.height() - outer.height()) / 2);
        const QPoint clientTopLeft = frameTopLeft + QPoint(frame.left(), frame.top());
        if (geometry().topLeft() != clientTopLeft)
            setGeometry(QRect(clientTopLeft, size()));
    }
};

void RunBox(QMessageBox::Icon icon, const QString &text)
{
    CentredBox box(icon, text);
    box.exec();
}

} // namespace

void DialogHost::ShowMessage(const QString &text)
{
    RunBox(QMessageBox::NoIcon, text);
}

void DialogHost::ShowError(const QString &text)
{
    RunBox(QMessageBox::Critical, text);
}

bool DialogHost::SelectFolder(const QString &caption, const QString &root, QString &directory)
{
    return ::SelectFolder(caption, root, directory);
}

DialogHost &Dialogs()
{
    return *g_dialogs;
}

void SetDialogs(DialogHost *host)
{
    g_dialogs = host ? host : &g_realDialogs;
}
