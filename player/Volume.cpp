// Volume slider and mute.
#include "player/Unit1.h"

#include "media/Volume.h"
#include "player/Controls.h"

#include <QAction>

void TForm1::SetVolumeWord(std::uint32_t word)
{
    media::WaveOutSetVolume(word);
}

void TForm1::TrackBar1Change()
{
    const std::uint32_t level = std::uint32_t(TrackBar1->maximum() - TrackBar1->value()) * 3250u;
    CurrentVolume = level + level * 65536u;
    SetVolumeWord(CurrentVolume);
    if (MuteButton->Down()) {
        MuteButton->SetAllowAllUp(true);
        MuteButton->SetDown(false);
        MuteButton->SetNumGlyphs(1);
    }
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
}

void TForm1::N14Click()
{
    MuteButtonClick();
    markN14_ = !markN14_;
    N14->setChecked(markN14_);
}
