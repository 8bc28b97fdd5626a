#include "runtime/Dialogs.h"

#include "runtime/FolderChooser.h"
#include "runtime/Captions.h"
#include "runtime/Centring.h"
#include "runtime/Desktop.h"

#include <QApplication>
#include <QMessageBox>
#include <QShowEvent>

namespace {

DialogHost g_realDialogs;
DialogHost *g_dialogs = &g_realDialogs;

// KWin numbers windows of one caption (" <2>"), and the box's caption is the main
// window's: there an invisible mark tells them apart (a combining grapheme joiner:
// KWin blanks format characters such as a left-to-right mark, and trims spaces).
QString CaptionMark()
{
    return KWinNumbersCaptions() ? QString(QChar(0x034F)) : QString();
}

// A message box centred on the screen as it is shown.
class CentredBox : public QMessageBox {
public:
    CentredBox(Icon icon, const QString &text) : QMessageBox(icon, QString(), text, Ok)
    {
        // File names and error texts are characters, never markup.
        setTextFormat(Qt::PlainText);
        SetCaption(this, ApplicationTitle() + CaptionMark());
        setWindowModality(Qt::ApplicationModal);
    }

    void setVisible(bool visible) override
    {
        // Here, once the box has its contents: they move below a title bar of its own.
        if (visible)
            FrameAsDialog(this);
        QMessageBox::setVisible(visible);
    }

protected:
    void showEvent(QShowEvent *event) override
    {
        QMessageBox::showEvent(event); // lays the box out
        CentreOnScreenAsShown(this);
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

bool DialogHost::SelectFolder(const QString &caption, const QByteArray &root, QByteArray &directory)
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
