// The folder playlist: rez.dat, the folder and sort commands, the list click.
#include "player/Unit1.h"

#include "player/Controls.h"
#include "player/FolderArgument.h"
#include "player/NameList.h"
#include "player/RezFile.h"
#include "runtime/Dialogs.h"
#include "runtime/TextCodec.h"

#include <QFile>
#include <QLabel>
#include <QTimer>

void TForm1::PlayList(const QByteArray &folder)
{
    ListBox1->SetNames(ListFolder(folder));
    ListBox1->SetItemIndex(ListBox1->Count() == 0 ? -1 : 0);
}

void TForm1::SpeedButton4Click()
{
    QString chosen;
    QByteArray folder;
    if (Dialogs().SelectFolder(QStringLiteral("Выберите папку с файлами мультимедиа"), QString(), chosen))
        folder = QFile::encodeName(chosen) + '/';
    // Remembered, it would come back as another folder (or none) at the next start.
    if (!FitsRezLine(folder)) {
        Dialogs().ShowMessage(UnrememberableFolderText(QFile::encodeName(chosen)));
        return;
    }
    listSorted_ = false;
    // Cancelling forgets the folder: the list then shows the working directory.
    RememberFolder(folder);
}

void TForm1::OpenFolder(const QByteArray &path)
{
    if (!FitsRezLine(path)) {
        // Told once the event loop runs: this may come before the window is shown, or
        // from inside a drop.
        const QString text = UnrememberableFolderText(path);
        QTimer::singleShot(0, this, [text] { Dialogs().ShowMessage(text); });
        return;
    }
    listSorted_ = false;
    RememberFolder(path + '/');
}

// The folder command's steps after its chooser: remember the folder, write rez.dat, list it.
void TForm1::RememberFolder(const QByteArray &folder)
{
    RememberedFolder = CutToChars(folder, kRezMaxChars);
    try {
        WriteRezFile(RememberedFolder, kRezFileName);
    } catch (...) {
        // Only remembering the folder failed: list it all the same, so the list
        // and the paths that Play forms from RememberedFolder keep agreeing.
        PlayList(RememberedFolder);
        throw;
    }
    PlayList(RememberedFolder);
}

void TForm1::N3Click()
{
    SpeedButton4Click();
}

void TForm1::N15Click()
{
    if (listSorted_)
        return;
    listSorted_ = true;
    ListBox1->SortByName();
}

void TForm1::ListBox1Click()
{
    const int i = ListBox1->ItemIndex();
    if (i < 0)
        return;
    Label1->setText(WithVisibleControls(ListBox1->NameText(i)));
    Play();
}

int TForm1::SelectedIndex() const { return ListBox1->ItemIndex(); }
int TForm1::EntryCount() const { return ListBox1->Count(); }
QString TForm1::EntryText(int index) const { return ListBox1->NameText(index); }
QByteArray TForm1::EntryBytes(int index) const { return ListBox1->NameBytes(index); }
