#pragma once
// What the tag window needs of the player, which it must not know: the folder
// remembered on disk, the entry that was started last, and a way to let go of the
// file while it is read and to start the entry again afterwards.
#include <QByteArray>
#include <QString>

class TagPlayer {
public:
    virtual ~TagPlayer() = default;
    // The remembered folder as it stands on disk now (another start may have changed it).
    virtual QByteArray RememberedFolderNow() const = 0;
    // The entry named in the main window's caption, empty while none has been started.
    virtual QString CaptionName() const = 0;
    // The entry last started, as text and as its bytes: two names may show alike.
    virtual QString StartedNameText() const = 0;
    virtual QByteArray StartedNameBytes() const = 0;
    virtual void StopPlayback() = 0;
    virtual void PlayCurrent() = 0;
};

// The player the tag window serves; null while there is none.
extern TagPlayer *TagWindowPlayer;
