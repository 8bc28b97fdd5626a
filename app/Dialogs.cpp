#include "app/Dialogs.h"

#include "media/FolderChooser.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>

namespace {

DialogHost g_realDialogs;
DialogHost *g_dialogs = &g_realDialogs;

void RunBox(QMessageBox::Icon icon, const QString &text)
{
    QMessageBox box(icon, QGuiApplication::applicationDisplayName(), text, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText); // file names may hold '<' or '&'
    box.setWindowModality(Qt::ApplicationModal);
    box.adjustSize();
    if (QScreen *screen = QGuiApplication::primaryScreen())
        box.move(screen->availableGeometry().center() - box.rect().center());
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
