#include "app/Windows.h"

#include "info/about.h"
#include "info/help.h"
#include "player/Session.h"
#include "runtime/SecondaryWindow.h"
#include "tags/Id3tags.h"
#include "tags/TagPlayer.h"

#include <QWidget>
#include <memory>

namespace {
// What the tag window asks of the player, answered by the session.
class SessionTagPlayer final : public TagPlayer {
public:
    explicit SessionTagPlayer(TPlayerSession &session) : session_(session) {}
    QByteArray RememberedFolderNow() const override { return session_.RememberedFolderNow(); }
    QString CaptionName() const override { return session_.CaptionName(); }
    QString StartedNameText() const override { return session_.StartedNameText(); }
    QByteArray StartedNameBytes() const override { return session_.StartedNameBytes(); }
    void StopPlayback() override { session_.Stop(); }
    void PlayCurrent() override { session_.Play(); }

private:
    TPlayerSession &session_;
};

std::unique_ptr<SessionTagPlayer> tagPlayer;
} // namespace

void CreateSecondaryWindows(TPlayerSession &session)
{
    tagPlayer = std::make_unique<SessionTagPlayer>(session);
    TagWindowPlayer = tagPlayer.get();
    AboutBox = new TAboutBox;
    ID3Tag = new TID3Tag;
    helpp = new Thelpp;
    SetSecondaryWindowOpener(SecondaryWindowKind::About, [](QWidget *) { OpenSecondaryWindow(AboutBox); });
    SetSecondaryWindowOpener(SecondaryWindowKind::Tags, [](QWidget *) { OpenSecondaryWindow(ID3Tag); });
    // The help window comes up over the middle of the window that asked.
    SetSecondaryWindowOpener(SecondaryWindowKind::Help, [](QWidget *from) {
        helpp->FillHelpText();
        helpp->move(from->frameGeometry().center() - helpp->rect().center());
        OpenSecondaryWindow(helpp);
    });
}

void DeleteSecondaryWindows()
{
    for (SecondaryWindowKind kind : {SecondaryWindowKind::About, SecondaryWindowKind::Tags, SecondaryWindowKind::Help})
        SetSecondaryWindowOpener(kind, nullptr);
    delete helpp;
    delete ID3Tag;
    delete AboutBox;
    helpp = nullptr;
    ID3Tag = nullptr;
    AboutBox = nullptr;
    TagWindowPlayer = nullptr;
    tagPlayer.reset();
}
