// The seek bar: a move by the user makes playback jump there.
#include "player/Unit1.h"

#include "media/MPlayer.h"
#include "player/Controls.h"

void TForm1::TrackBar2Change()
{
    if (PositionUpdateGuard)
        return; // the program moved the bar itself
    const TMPModes mode = MediaPlayer1->Mode();
    if (mode != TMPModes::mpPlaying && mode != TMPModes::mpPaused)
        return;
    MediaPlayer1->setStartPos(TrackBar2->value());

    // The clock continues from the new point: read "m:ss" back into the counters.
    const QString t = FormatTrackTime(std::uint32_t(MediaPlayer1->StartPos()));
    QString before;
    for (qsizetype k = 0; k < t.size(); ++k) {
        if (t[k] == QLatin1Char(':')) {
            ElapsedMinutes = before.toInt();
            if (t.mid(k + 1, 1) == QLatin1String("0"))
                ElapsedSeconds = t.mid(k + 2, 1).toInt();
            else
                ElapsedSeconds = t.mid(k + 1, 2).toInt();
        }
        before.append(t[k]);
    }
    MediaPlayer1->Play();
    emit PlaybackChanged();
}

void TForm1::SeekTo(int ms)
{
    if (MediaPlayer1->Mode() == TMPModes::mpPaused) {
        // Not as the bar's handler, which plays: a paused player stays paused, standing at
        // the new place, and the window shows that place at once (no tick comes to show it).
        PositionUpdateGuard = true;
        TrackBar2->setValue(ms);
        PositionUpdateGuard = false;
        const std::uint32_t at = std::uint32_t(TrackBar2->value());
        ElapsedMinutes = int(at / 60000);
        ElapsedSeconds = int(at % 60000 / 1000);
        SetElapsedText(FormatTrackTime(at));
        MediaPlayer1->Seek(at);
        emit PlaybackChanged();
        return;
    }
    if (TrackBar2->value() == ms)
        TrackBar2Change(); // the thumb's release: the bar runs its handler even when it stayed
    else
        TrackBar2->setValue(ms); // the bar runs its handler for the new position
}

int TForm1::TrackLength() const
{
    return TrackBar2->maximum();
}
