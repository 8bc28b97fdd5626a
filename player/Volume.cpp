// Volume slider and mute.
#include "player/Unit1.h"

#include "media/Volume.h"
#include "player/Controls.h"

#include <QAction>
#include <algorithm>
#include <cmath>

void TForm1::SetVolumeWord(std::uint32_t word)
{
    media::WaveOutSetVolume(word);
}

void TForm1::TrackBar1Change()
{
    CurrentVolume = VolumeWordFor(TrackBar1->maximum() - TrackBar1->value());
    SetVolumeWord(CurrentVolume);
    if (MuteButton->Down()) {
        MuteButton->SetAllowAllUp(true);
        MuteButton->SetDown(false);
        MuteButton->SetNumGlyphs(1);
    }
    emit VolumeChanged();
}

void TForm1::MuteButtonClick()
{
    if (MuteButton->AllowAllUp()) {
        SetVolumeWord(0);
        MuteButton->SetDown(true);
        MuteButton->SetAllowAllUp(false);
        MuteButton->SetNumGlyphs(2);
    } else if (MuteButton->Down()) {
        SetVolumeWord(CurrentVolume);
        MuteButton->SetAllowAllUp(true);
        MuteButton->SetDown(false);
        MuteButton->SetNumGlyphs(1);
    }
    emit VolumeChanged();
}

void TForm1::N14Click()
{
    MuteButtonClick();
    markN14_ = !markN14_;
    N14->setChecked(markN14_);
}

void TForm1::SetVolumeLevel(double level)
{
    const int position = TrackBar1->maximum() - int(std::lround(std::clamp(level, 0.0, 1.0) * TrackBar1->maximum()));
    if (TrackBar1->value() == position)
        TrackBar1Change(); // the thumb's release: the slider runs its handler even when it stayed
    else
        TrackBar1->setValue(position);
}

double TForm1::VolumeLevel() const
{
    const int max = TrackBar1->maximum();
    return max > 0 ? double(max - TrackBar1->value()) / max : 0.0;
}

bool TForm1::Muted() const
{
    return MuteButton->Down();
}
