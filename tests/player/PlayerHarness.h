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
// clock and the volume words sent.
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

    FakeDialogs dialogs;
    ScratchDir dir;
    std::vector<std::uint32_t> volumeWords;
};

// The session without a window, started as the program starts it.
class SessionHarness : public HarnessBase {
public:
    TPlayerSession &Start(const QByteArray &rez = QByteArray())
    {
        if (!rez.isNull())
            WriteBytes("rez.dat", rez);
        session = std::make_unique<TPlayerSession>();
        RunHandler([this] { session->Start(); });
        return *session;
    }
    // One second of audio, then the clock's tick.
    void Tick(int count = 1)
    {
        for (int i = 0; i < count; ++i) {
            media::ManualClock::Advance(1000);
            if (session->Clock()->isActive())
                session->Tick();
        }
    }
    bool Playing() const { return session->Playing(); }
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
        CreateSecondaryWindows(*form->Session());
        return form.get();
    }

    // One second of audio, then the timer's tick.
    void Tick(int count = 1)
    {
        for (int i = 0; i < count; ++i) {
            media::ManualClock::Advance(1000);
            if (Session().Clock()->isActive())
                Session().Tick();
        }
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
    bool Playing() const { return Session().Playing(); }
    QString Title() const { return Caption(form.get()); }

    std::unique_ptr<TForm1> form;
};
