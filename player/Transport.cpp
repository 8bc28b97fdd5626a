// Transport commands and play modes: previous, play, pause, stop, next, shuffle, repeat.
#include "player/Unit1.h"

#include "media/MPlayer.h"
#include "player/Controls.h"
#include "runtime/Dialogs.h"

#include <QAction>
#include <QLabel>
#include <QTimer>
#include <chrono>

void TForm1::SpeedButton1Click()
{
    FollowPlayOrder(PreviousEntry);
}

void TForm1::SpeedButton3Click()
{
    FollowPlayOrder(NextEntry);
}

void TForm1::SpeedButton5Click()
{
    Play();
}

namespace {
QString NoSoundText()
{
    return QStringLiteral("Звук не выводится: устройство вывода звука недоступно. Воспроизведение приостановлено.");
}
} // namespace

void TForm1::SpeedButton6Click()
{
    if (MediaPlayer1->Mode() == TMPModes::mpPlaying) {
        MediaPlayer1->Pause();
        Timer1->stop();
        SpeedButton6->SetDown(true);
        SpeedButton6->SetAllowAllUp(false);
        emit PlaybackChanged();
    } else if (MediaPlayer1->Mode() == TMPModes::mpPaused) {
        MediaPlayer1->Resume();
        if (MediaPlayer1->Mode() == TMPModes::mpPaused) {
            // No output answers: still paused, as before the press.
            Dialogs().ShowMessage(NoSoundText());
            return;
        }
        Timer1->start();
        SpeedButton6->SetAllowAllUp(true);
        SpeedButton6->SetDown(false);
        emit PlaybackChanged();
    }
}

// The sound output is gone and the device stands paused where the sound stopped: the
// window follows as after the pause button.
void TForm1::SoundOutputGone()
{
    if (MediaPlayer1->Mode() != TMPModes::mpPaused)
        return;
    Timer1->stop();
    SpeedButton6->SetDown(true);
    SpeedButton6->SetAllowAllUp(false);
    emit PlaybackChanged();
    Dialogs().ShowMessage(NoSoundText());
}

void TForm1::SpeedButton2Click()
{
    TrackBar2->SetSliderVisible(false);
    const TMPModes mode = MediaPlayer1->Mode();
    // Stop closes the file: the next Play opens the entry anew, from its beginning. A file
    // still being opened is given up.
    if (mode == TMPModes::mpPlaying || mode == TMPModes::mpPaused || MediaPlayer1->Opening())
        MediaPlayer1->Close();
    Timer1->stop();
    SetElapsedText(QStringLiteral("0:00"));
    if (SpeedButton6->Down()) {
        SpeedButton6->SetAllowAllUp(true);
        SpeedButton6->SetDown(false);
    }
    emit PlaybackChanged();
}

void TForm1::shuffleClick()
{
    if (shuffle->AllowAllUp()) {
        Random.seed(std::uint32_t(std::chrono::steady_clock::now().time_since_epoch().count()));
        shuffle->SetDown(true);
        shuffle->SetAllowAllUp(false);
    } else if (shuffle->Down()) {
        shuffle->SetAllowAllUp(true);
        shuffle->SetDown(false);
    }
}

void TForm1::RepeatButtonClick()
{
    if (RepeatButton->AllowAllUp() && RepeatMode == 0) {
        RepeatButton->SetDown(true);
        RepeatButton->SetAllowAllUp(false);
        RepeatButton->SetNumGlyphs(2);
        RepeatMode = 1;
    } else if (RepeatButton->Down() && RepeatMode == 1) {
        RepeatButton->SetNumGlyphs(1);
        RepeatMode = 2;
    } else if (RepeatButton->Down() && RepeatMode == 2) {
        RepeatButton->SetAllowAllUp(true);
        RepeatButton->SetDown(false);
        RepeatMode = 0;
    }
}

void TForm1::N8Click() { SpeedButton1Click(); }
void TForm1::N6Click() { Play(); }
void TForm1::N9Click() { SpeedButton6Click(); }
void TForm1::N7Click() { SpeedButton2Click(); }
void TForm1::N10Click() { SpeedButton3Click(); }

void TForm1::N11Click()
{
    shuffleClick();
    // The mark follows the menu alone; a click on the button never touches it.
    markN11_ = !markN11_;
    N11->setChecked(markN11_);
}

void TForm1::N13Click()
{
    RepeatButtonClick();
    markN13_ = RepeatMode == 1 || RepeatMode == 2;
    N13->setChecked(markN13_);
}
