// Volume slider and mute.
#include "player/Unit1.h"

#include "player/Controls.h"
#include "player/Session.h"

#include <QAction>

void TForm1::TrackBar1Change()
{
    if (!drawing_)
        session_->SetVolumePosition(TrackBar1->value());
}

void TForm1::MuteButtonClick()
{
    session_->ToggleMute();
}

void TForm1::N14Click()
{
    MuteButtonClick();
    markN14_ = !markN14_;
    N14->setChecked(markN14_);
}
