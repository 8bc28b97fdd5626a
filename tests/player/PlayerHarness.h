#pragma once
// Builds the real main window (and the secondary windows) in a scratch working
// directory, with boxes recorded instead of shown and the audio on a manual clock.
#include "TestSupport.h"
#include "app/Windows.h"
#include "info/about.h"
#include "info/help.h"
#include "media/MPlayer.h"
#include "media/ManualClock.h"
#include "media/Volume.h"
#include "player/Controls.h"
#include "player/Unit1.h"
#include "runtime/Captions.h"
#include "tags/Id3tags.h"

#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <memory>
#include <vector>

class PlayerHarness {
public:
    PlayerHarness()
    {
        media::ManualClock::Install();
        media::SetVolumeObserver([this](std::uint32_t w) { volumeWords.push_back(w); });
    }
    ~PlayerHarness()
    {
        form.reset();
        DeleteSecondaryWindows();
        media::SetVolumeObserver(nullptr);
        media::ManualClock::Uninstall();
    }

    // Writes rez.dat (unless null) and starts the player as the program does.
    TForm1 *Start(const QByteArray &rez = QByteArray())
    {
        if (!rez.isNull())
            WriteBytes("rez.dat", rez);
        ResetPlayerState();
        form = std::make_unique<TForm1>();
        CreateSecondaryWindows();
        return form.get();
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

    // One second of audio, then the timer's tick.
    void Tick(int count = 1)
    {
        for (int i = 0; i < count; ++i) {
            media::ManualClock::Advance(1000);
            if (form->Timer1->isActive())
                form->Timer1Timer();
        }
    }

    // Shows the main window and makes it the active one, so its shortcuts fire.
    bool ShowActive()
    {
        form->show();
        form->activateWindow();
        return QTest::qWaitForWindowActive(form.get());
    }

    int Selected() const { return form->ListBox1->ItemIndex(); }
    bool Playing() const { return form->MediaPlayer1->Mode() == TMPModes::mpPlaying; }
    QString Title() const { return Caption(form.get()); }

    FakeDialogs dialogs;
    ScratchDir dir;
    std::unique_ptr<TForm1> form;
    std::vector<std::uint32_t> volumeWords;
};
