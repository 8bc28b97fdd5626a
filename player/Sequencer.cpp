// Play and the one-second tick, and the window drawn from the session.
#include "player/Unit1.h"

#include "player/Controls.h"
#include "player/Session.h"
#include "runtime/Captions.h"

#include <QLabel>
#include <utility>

void TForm1::Play()
{
    session_->Play();
}

void TForm1::Timer1Timer()
{
    session_->Tick();
}

namespace {
// A switch down, latched (the user cannot release it) or up.
void Latch(TSpeedButton *button, bool down)
{
    button->SetAllowAllUp(!down);
    button->SetDown(down);
}
} // namespace

void TForm1::Redraw()
{
    const TPlayerSession &s = *session_;
    drawing_ = true;
    if (shownEntries_ != s.EntriesVersion())
        DrawList();
    if (ListBox1->ItemIndex() != s.Current())
        ListBox1->SetItemIndex(s.Current());
    Label1->setText(s.TrackText());
    // Sized again only when the text's length changes: the digits of the faces it uses
    // are all one width, and sizing it anew lays the text out once more every second.
    if (Label2->text() != s.ElapsedText()) {
        const bool resize = s.ElapsedText().size() != Label2->text().size();
        Label2->setText(s.ElapsedText());
        if (resize)
            Label2->adjustSize();
    }
    if (windowTitle() != s.Title())
        SetCaption(this, s.Title());
    TrackBar2->SetSliderVisible(s.PositionShown());
    TrackBar2->setValue(s.ShownPosition());
    if (TrackBar2->maximum() != s.TrackLength())
        TrackBar2->SetMax(s.TrackLength());
    TrackBar2->setValue(s.ShownPosition());
    TrackBar1->setValue(s.VolumePosition());
    drawing_ = false;
    // The pause switch is released only when the session says so: a press while nothing
    // plays leaves it down until then.
    if (s.Paused())
        Latch(SpeedButton6, true);
    Latch(shuffle, s.Shuffle());
    Latch(RepeatButton, s.RepeatMode() != 0);
    Latch(MuteButton, s.Muted());
    for (auto [button, glyphs] : {std::pair{RepeatButton, s.RepeatMode() == 1 ? 2 : 1}, {MuteButton, s.Muted() ? 2 : 1}})
        if (button->NumGlyphs() != glyphs)
            button->SetNumGlyphs(glyphs);
}

void TForm1::PauseReleased()
{
    Latch(SpeedButton6, false);
}
