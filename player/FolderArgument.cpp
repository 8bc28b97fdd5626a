#include "player/FolderArgument.h"

#include "player/Session.h"
#include "player/Unit1.h"
#include "runtime/Dialogs.h"
#include "runtime/Errors.h"
#include "runtime/TextCodec.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

QByteArray WorkingDirectory()
{
    QByteArray dir(4096, '\0');
    while (!::getcwd(dir.data(), size_t(dir.size()))) {
        if (errno != ERANGE)
            return QByteArray(); // removed meanwhile: a relative name then names nothing
        dir.resize(dir.size() * 2);
    }
    dir.truncate(qsizetype(std::strlen(dir.constData())));
    return dir;
}

QByteArray CleanFolderPath(const QByteArray &path, const QByteArray &workingDirectory)
{
    if (!path.startsWith('/') && workingDirectory.isEmpty())
        return path;
    const QByteArray absolute = path.startsWith('/') ? path : workingDirectory + '/' + path;
    QList<QByteArray> parts;
    for (const QByteArray &part : absolute.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.isEmpty())
                parts.removeLast();
            continue;
        }
        parts.append(part);
    }
    return '/' + parts.join('/');
}

FolderRequest ReadFolderRequest(const QList<QByteArray> &arguments, const QByteArray &workingDirectory)
{
    FolderRequest request;
    if (arguments.size() > 1)
        request.kind = FolderRequest::Several;
    else if (arguments.size() == 1) {
        request.kind = FolderRequest::One;
        // An empty argument names nothing; made absolute it would name the working directory.
        request.folder = arguments.first().isEmpty() ? QByteArray() : CleanFolderPath(arguments.first(), workingDirectory);
    }
    return request;
}

bool LocalPathFromUriList(const QByteArray &uriList, QByteArray &path)
{
    QList<QByteArray> uris;
    for (QByteArray line : uriList.split('\n')) {
        line = line.trimmed(); // CR LF ends the lines; some senders leave blanks
        if (!line.isEmpty() && !line.startsWith('#'))
            uris.append(line);
    }
    if (uris.size() != 1)
        return false;
    const QByteArray &uri = uris.first();
    static const QByteArray scheme = "file://";
    if (uri.size() <= scheme.size() || qstrnicmp(uri.constData(), scheme.constData(), scheme.size()) != 0)
        return false;
    const qsizetype slash = uri.indexOf('/', scheme.size());
    if (slash < 0)
        return false;
    const QByteArray host = uri.mid(scheme.size(), slash - scheme.size());
    if (!host.isEmpty() && host.compare("localhost", Qt::CaseInsensitive) != 0) {
        char name[256] = {};
        if (::gethostname(name, sizeof name - 1) != 0 || host != QByteArray(name))
            return false; // another machine's file
    }
    const QByteArray encoded = uri.mid(slash);
    // A query or fragment is not part of a file's name (a name's own '?' and '#' come encoded).
    if (encoded.contains('?') || encoded.contains('#'))
        return false;
    const QByteArray decoded = QByteArray::fromPercentEncoding(encoded);
    if (decoded.contains('\0'))
        return false;
    path = decoded;
    return true;
}

bool IsFolder(const QByteArray &path)
{
    struct stat st;
    return !path.isEmpty() && ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

QString FolderNotFoundText(const QByteArray &path)
{
    // In quotes, so that even an empty name shows what was given.
    return QStringLiteral("Папка не найдена: «") + DisplayText(path) + QStringLiteral("»");
}

QString NotAFolderText(const QByteArray &path)
{
    return QStringLiteral("Это не папка: «") + DisplayText(path) + QStringLiteral("»");
}

QString UnrememberableFolderText(const QByteArray &path)
{
    // The control characters shown as symbols, so the path stays on one line of the box.
    return QStringLiteral("Эту папку нельзя открыть: в её пути есть перевод строки, возврат каретки или знак "
                          "Ctrl+Z, а rez.dat запоминает папку одной строкой: «") +
           WithVisibleControls(DisplayText(path)) + QStringLiteral("»");
}

QString SeveralFoldersText()
{
    return QStringLiteral("Можно открыть только одну папку.");
}

void CarryOutFolderRequest(TPlayerSession *session, const FolderRequest &request)
{
    if (request.kind == FolderRequest::None)
        return;
    if (request.kind == FolderRequest::One && IsFolder(request.folder)) {
        RunHandler([&] { session->OpenFolder(request.folder); });
        return;
    }
    QString text;
    if (request.kind == FolderRequest::Several) {
        text = SeveralFoldersText();
    } else {
        struct stat st;
        const bool exists = !request.folder.isEmpty() && ::stat(request.folder.constData(), &st) == 0;
        text = exists ? NotAFolderText(request.folder) : FolderNotFoundText(request.folder);
    }
    QTimer::singleShot(0, session, [text] { Dialogs().ShowMessage(text); });
}

// ---------------------------------------------------------------- drops on the main window

namespace {

// The folder a drag carries, when it carries exactly one local folder.
bool DroppedFolder(const QMimeData *data, QByteArray &folder)
{
    QByteArray path;
    if (!data || !data->hasFormat(QStringLiteral("text/uri-list")) ||
        !LocalPathFromUriList(data->data(QStringLiteral("text/uri-list")), path) || !IsFolder(path))
        return false;
    folder = CleanFolderPath(path, QByteArray("/"));
    return true;
}

// The player only reads the folder: a move would let the file manager delete it.
bool TakeWithoutMoving(QDropEvent *event)
{
    for (Qt::DropAction action : {Qt::CopyAction, Qt::LinkAction}) {
        if (event->possibleActions() & action) {
            event->setDropAction(action);
            event->accept();
            return true;
        }
    }
    event->ignore();
    return false;
}

} // namespace

void TForm1::dragEnterEvent(QDragEnterEvent *event)
{
    dragMoveEvent(event);
}

// Each move answers again, so the action stays a copy or a link wherever the
// drag goes over the window.
void TForm1::dragMoveEvent(QDragMoveEvent *event)
{
    QByteArray folder;
    if (TPlayerSession::TakesInput() && DroppedFolder(event->mimeData(), folder))
        TakeWithoutMoving(event);
    else
        event->ignore();
}

void TForm1::dropEvent(QDropEvent *event)
{
    QByteArray folder;
    if (!TPlayerSession::TakesInput() || !DroppedFolder(event->mimeData(), folder)) {
        event->ignore();
        return;
    }
    if (TakeWithoutMoving(event))
        RunHandler([&] { session_->OpenFolder(folder); });
}
