#pragma once
// Folders that come from outside the folder command: named on the command line
// (the file manager's "open with"), dropped on the main window, or handed over
// by a second start. Paths are bytes throughout: folder names need not be UTF-8.
#include <QByteArray>
#include <QList>
#include <QString>

class TPlayerSession;

// What the command line asks for.
struct FolderRequest {
    enum Kind { None, One, Several };
    Kind kind = None;
    QByteArray folder; // One: the argument, absolute and without "." , ".." or a final "/"
};

// The arguments after the program name, as the toolkit left them; a relative
// argument is taken from workingDirectory.
FolderRequest ReadFolderRequest(const QList<QByteArray> &arguments, const QByteArray &workingDirectory);

// The process's working directory as bytes; empty when it has been removed.
QByteArray WorkingDirectory();

// An absolute path with empty, "." and ".." components resolved by their
// names and no final "/" ("/" stays "/"): the form the folder chooser returns.
// A relative path stays as it is when there is no working directory.
QByteArray CleanFolderPath(const QByteArray &path, const QByteArray &workingDirectory);

// The one local path a text/uri-list names, percent-decoding undone; false when
// the list names none or more than one, or a non-local one.
bool LocalPathFromUriList(const QByteArray &uriList, QByteArray &path);

// Whether the path names an existing folder (a link to one counts).
bool IsFolder(const QByteArray &path);

// Carries a request out on the running main window: an existing folder is
// opened as the folder command would open it, at once; anything else is
// reported in a message box once the event loop runs (over the shown window),
// and the list stays as it is.
void CarryOutFolderRequest(TPlayerSession *session, const FolderRequest &request);

// The texts of those boxes.
QString FolderNotFoundText(const QByteArray &path);
QString NotAFolderText(const QByteArray &path);
QString SeveralFoldersText();
QString UnrememberableFolderText(const QByteArray &path);
