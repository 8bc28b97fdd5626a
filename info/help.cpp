#include "info/help.h"

#include "player/Unit1.h"

Thelpp *helpp = nullptr;

Thelpp::Thelpp(QWidget *parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("Помощь!"));
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setFixedSize(737, 450);
}

void Thelpp::FillHelpText() {}

void Thelpp::Button1Click()
{
    if (Form1)
        Form1->setEnabled(true);
    hide();
}
