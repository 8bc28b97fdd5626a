#include "info/about.h"

#include "app/Application.h"
#include "player/Unit1.h"

#include <QShowEvent>

TAboutBox *AboutBox = nullptr;

TAboutBox::TAboutBox(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("О программе"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(392, 288);
}

void TAboutBox::FormShow() {}

void TAboutBox::OKButtonClick()
{
    FormClose();
}

void TAboutBox::FormClose()
{
    if (Form1)
        Form1->setEnabled(true);
    hide();
}

void TAboutBox::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        RunHandler([this] { FormShow(); });
}

void TAboutBox::reject()
{
    FormClose();
}
