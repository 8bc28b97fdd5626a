#include "app/Windows.h"

#include "info/about.h"
#include "info/help.h"
#include "runtime/SecondaryWindow.h"
#include "tags/Id3tags.h"

#include <QWidget>

void CreateSecondaryWindows()
{
    AboutBox = new TAboutBox;
    ID3Tag = new TID3Tag;
    helpp = new Thelpp;
    SetSecondaryWindowOpener(SecondaryWindowKind::About, [](QWidget *) { OpenSecondaryWindow(AboutBox); });
    SetSecondaryWindowOpener(SecondaryWindowKind::Tags, [](QWidget *) { OpenSecondaryWindow(ID3Tag); });
    // The help window comes up over the middle of the window that asked.
    SetSecondaryWindowOpener(SecondaryWindowKind::Help, [](QWidget *from) {
        helpp->FillHelpText();
        helpp->move(from->frameGeometry().center() - helpp->rect().center());
        OpenSecondaryWindow(helpp);
    });
}

void DeleteSecondaryWindows()
{
    for (SecondaryWindowKind kind : {SecondaryWindowKind::About, SecondaryWindowKind::Tags, SecondaryWindowKind::Help})
        SetSecondaryWindowOpener(kind, nullptr);
    delete helpp;
    delete ID3Tag;
    delete AboutBox;
    helpp = nullptr;
    ID3Tag = nullptr;
    AboutBox = nullptr;
}
