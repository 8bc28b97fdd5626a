// Transport commands and play modes: previous, play, pause, stop, next, shuffle, repeat.
#include "player/Unit1.h"

#include "player/Session.h"

#include <QAction>

void TForm1::SpeedButton1Click() { session_->Previous(); }
void TForm1::SpeedButton3Click() { session_->Next(); }
void TForm1::SpeedButton5Click() { session_->Play(); }
void TForm1::SpeedButton6Click() { session_->Pause(); }
void TForm1::SpeedButton2Click() { session_->Stop(); }
void TForm1::shuffleClick() { session_->ToggleShuffle(); }
void TForm1::RepeatButtonClick() { session_->CycleRepeat(); }

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
    markN13_ = session_->RepeatMode() != 0;
    N13->setChecked(markN13_);
}
