#pragma once
// Builds the player session alone, or the real main window with it (and the secondary
// windows), in a scratch working directory, with boxes recorded instead of shown and the
// audio on a manual clock.
#include "TestSupport.h"
#include "app/Windows.h"
#include "info/about.h"
#include "info/help.h"
#include "media/MPlayer.h"
#include "media/ManualClock.h"
#include "media/Volume.h"
#include "player/Controls.h"
#include "player/Session.h"
#include "player/Unit1.h"
#include "runtime/Captions.h"
#include "runtime/Desktop.h"
#include "runtime/Errors.h"
#include "tags/Id3tags.h"

#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <memory>
#include <vector>

// What both harnesses share: the recorded boxes, the working directory, the manual
// clock, the volume words sent and the clock's tick of the session started.
class HarnessBase {
public:
    HarnessBase()
    {
        media::ManualClock::Install();
        media::SetVolumeObserver([this](std::uint32_t w) { volumeWords.push_back(w); });
    }
    ~HarnessBase()
    {
        media::SetVolumeObserver(nullptr);
        media::ManualClock::Uninstall();
    }

    // Puts WAV files of the given length into a folder (created) and returns it with its final "/".
    QByteArray MakeFolder(const QString &name, const QStringList &files, std::uint32_t ms = 2500)
    {
        QDir(dir.path()).mkpath(name);
        const QByteArray folder = QFile::encodeName(dir.file(name)) + '/';
        for (const QString &f : files)
            WriteBytes(folder + QFile::encodeName(f), MakeWav(ms));
        return folder;
    }

    // One second of audio, then the clock's tick.
    void Tick(int count = 1)
    {
        for (int i = 0; i < count; ++i) {
            media::ManualClock::Advance(1000);
            if (started_->Clock()->isActive())
                started_->Tick();
        }
    }
    bool Playing() const { return started_->Playing(); }

    FakeDialogs dialogs;
    ScratchDir dir;
    std::vector<std::uint32_t> volumeWords;

protected:
    TPlayerSession *started_ = nullptr;
};

// The session without a window, started as the program starts it.
class SessionHarness : public HarnessBase {
public:
    TPlayerSession &Start(const QByteArray &rez = QByteArray())
    {
        if (!rez.isNull())
            WriteBytes("rez.dat", rez);
        session = std::make_unique<TPlayerSession>();
        started_ = session.get();
        RunHandler([this] { session->Start(); });
        return *session;
    }
    std::unique_ptr<TPlayerSession> session;
};

class PlayerHarness : public HarnessBase {
public:
    ~PlayerHarness()
    {
        form.reset();
        DeleteSecondaryWindows();
        SetTrayQuery(nullptr); // a test's stand-in for the tray ends with its player
    }

    // Writes rez.dat (unless null) and starts the player as the program does.
    TForm1 *Start(const QByteArray &rez = QByteArray())
    {
        if (!rez.isNull())
            WriteBytes("rez.dat", rez);
        ResetPlayerState();
        form = std::make_unique<TForm1>();
        started_ = form->Session();
        CreateSecondaryWindows(*form->Session());
        return form.get();
    }

    // Shows the main window and makes it the active one, so its shortcuts fire.
    bool ShowActive()
    {
        form->show();
        form->activateWindow();
        return QTest::qWaitForWindowActive(form.get());
    }

    TPlayerSession &Session() const { return *form->Session(); }
    int Selected() const { return Session().Current(); }
    QString Title() const { return Caption(form.get()); }

    std::unique_ptr<TForm1> form;
};

// The listed names' bytes, in the list's order.
inline QList<QByteArray> EntryNames(const TPlayerSession &s)
{
    QList<QByteArray> names;
    for (int i = 0; i < s.Count(); ++i)
        names << s.EntryBytes(i);
    return names;
}

// The current entry, the device's state and position, and the pause switch when latched:
// "1 playing 2000", "0 paused 1000 latched", "0 stopped 2500", "-1 closed".
inline QString PlaybackState(const TPlayerSession &s)
{
    TMediaPlayer *mp = s.Media();
    const TMPModes mode = mp->IsOpen() ? mp->Mode() : TMPModes::mpNotReady;
    const char *state = !mp->IsOpen() ? "closed" : mode == TMPModes::mpPaused ? "paused" : s.Playing() ? "playing"
                                                 : mode == TMPModes::mpStopped ? "stopped" : "other";
    return QString::number(s.Current()) + QLatin1Char(' ') + QLatin1String(state) +
           (mp->IsOpen() ? QStringLiteral(" %1").arg(mp->Position()) : QString()) + (s.Paused() ? " latched" : "");
}

// PlaybackState, whether the clock runs, and its text: "0 playing 1000, clock 0:01".
inline QString HeardState(TPlayerSession &s)
{
    return PlaybackState(s) + (s.Clock()->isActive() ? ", clock " : ", still ") + s.ElapsedText();
}

// HeardState, then the seek bar: its thumb's place and range ("bar 1000/2500"), or "no bar".
inline QString ShownState(TPlayerSession &s)
{
    return HeardState(s) + (s.PositionShown() ? QStringLiteral(", bar %1/%2").arg(s.ShownPosition()).arg(s.TrackLength())
                                              : QStringLiteral(", no bar"));
}
