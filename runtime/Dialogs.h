#pragma once
// The one seam through which the program opens modal boxes and the folder
// chooser. Tests install their own host so nothing ever blocks on a dialog.
#include <QByteArray>
#include <QString>

class DialogHost {
public:
    virtual ~DialogHost() = default;
    // A plain message box: the text, one OK button, no icon, the application title as caption.
    virtual void ShowMessage(const QString &text);
    // The error box: critical icon, the text as given, the application title as caption.
    virtual void ShowError(const QString &text);
    // The folder chooser; see SelectFolder.
    virtual bool SelectFolder(const QString &caption, const QByteArray &root, QByteArray &directory);
};

DialogHost &Dialogs();
// Installs a host (not owned); nullptr brings back the real dialogs.
void SetDialogs(DialogHost *host);
