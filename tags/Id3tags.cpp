#include "tags/Id3tags.h"

#include "app/Application.h"
#include "player/Unit1.h"

#include <QCloseEvent>
#include <QShowEvent>

TID3Tag *ID3Tag = nullptr;

TID3Tag::TID3Tag(QWidget *parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("ID3Tag"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(305, 209);
}

void TID3Tag::FormShow() {}

void TID3Tag::FormClose()
{
    if (Form1)
        Form1->setEnabled(true);
    hide();
}

void TID3Tag::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        RunHandler([this] { FormShow(); });
}

void TID3Tag::closeEvent(QCloseEvent *event)
{
    event->ignore();
    FormClose();
}
