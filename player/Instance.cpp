#include "player/Instance.h"

#include "player/FolderArgument.h"
#include "player/Mpris.h"
#include "player/Session.h"
#include "player/Unit1.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QPointer>
#include <QTimer>

namespace instance {

namespace {

class FolderService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.zolmplayer.Instance")
public:
    FolderService(TForm1 *form, const QDBusConnection &bus) : QObject(form), form_(form), bus_(bus) {}
public slots:
    void OpenFolder(const QByteArray &folder, const QDBusMessage &message)
    {
        const QString error = TakeHandedOverFolder(form_, folder);
        if (!error.isEmpty()) {
            message.setDelayedReply(true);
            bus_.send(message.createErrorReply(error, QStringLiteral("The player has a window open; close it first.")));
        }
    }
private:
    TForm1 *form_;
    QDBusConnection bus_;
};

} // namespace

QString TakeHandedOverFolder(TForm1 *form, const QByteArray &folder)
{
    // Held by a box or the folder chooser, a folder taken would open a box over
    // the box, or change the list under the chooser.
    if (!TPlayerSession::TakesInput())
        return QString::fromLatin1(kBusyError);
    FolderRequest request;
    request.kind = FolderRequest::One;
    request.folder = folder.isEmpty() ? folder : CleanFolderPath(folder, QByteArray("/"));
    // Carried out after the reply: a failure opens a modal box.
    QPointer<TForm1> target(form);
    QTimer::singleShot(0, form, [target, request] {
        if (!target)
            return;
        CarryOutFolderRequest(target->Session(), request);
        target->BringBack();
    });
    return QString();
}

void ServeFolderRequests(TForm1 *form)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    auto *service = new FolderService(form, bus);
    if (!bus.registerObject(QString::fromLatin1(kObjectPath), service, QDBusConnection::ExportAllSlots))
        delete service;
}

HandOver HandFolderToRunningPlayer(const QByteArray &folder)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return HandOver::NoPlayer;
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(Mpris::kServiceName),
                                                       QString::fromLatin1(kObjectPath),
                                                       QString::fromLatin1(kInterface), QStringLiteral("OpenFolder"));
    call.setAutoStartService(false);
    call << folder;
    const QDBusMessage reply = bus.call(call, QDBus::Block, 10000);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return HandOver::Taken;
    if (reply.errorName() == QLatin1String(kBusyError))
        return HandOver::Refused;
    return HandOver::NoPlayer;
}

} // namespace instance

#include "Instance.moc"
