// The folder playlist: the folder and sort commands, the list click, the list drawn.
#include "player/Unit1.h"

#include "player/Controls.h"
#include "player/Session.h"

void TForm1::PlayList(const QByteArray &folder)
{
    session_->List(folder);
}

void TForm1::SpeedButton4Click()
{
    session_->ChooseFolder();
}

void TForm1::N3Click()
{
    SpeedButton4Click();
}

void TForm1::N15Click()
{
    session_->SortByName();
}

void TForm1::ListBox1Click()
{
    const int i = ListBox1->ItemIndex();
    if (i >= 0)
        session_->Choose(i);
}

void TForm1::DrawList()
{
    shownEntries_ = session_->EntriesVersion();
    ListBox1->SetNames(session_->Entries());
}
