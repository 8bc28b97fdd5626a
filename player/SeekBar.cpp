// The seek bar: a move by the user makes playback jump there.
#include "player/Unit1.h"

#include "player/Controls.h"
#include "player/Session.h"

void TForm1::TrackBar2Change()
{
    if (!drawing_) // the window moved the bar itself
        session_->Jump(TrackBar2->value());
}
