// The playback sequencer: Play, the one-second tick and the end-of-track advance.
#include "player/Unit1.h"

#include "media/MPlayer.h"
#include "player/Controls.h"
#include "runtime/Captions.h"
#include "runtime/Dialogs.h"
#include "runtime/TextCodec.h"

#include <QGuiApplication>
#include <QLabel>
#include <QTimer>
#include <algorithm>
#include <climits>

QString FormatTrackTime(std::uint32_t ms)
{
    const std::uint32_t minutes = ms / 60000;
    const std::uint32_t seconds = (ms % 60000) / 1000;
    return QStringLiteral("%1:%2").arg(minutes).arg(seconds, 2, 10, QLatin1Char('0'));
}

// The label is sized again only when the text's length changes: the digits of the faces it
// uses are all one width, and sizing it anew lays the text out once more every second.
void TForm1::SetElapsedText(const QString &text)
{
    const bool resize = text.size() != Label2->text().size();
    Label2->setText(text);
    if (resize)
        Label2->adjustSize();
}

void TForm1::Play()
{
    if (SpeedButton6->Down()) {
        SpeedButton6->SetAllowAllUp(true);
        SpeedButton6->SetDown(false);
    }
    const int i = ListBox1->ItemIndex();
    if (i < 0)
        return;
    Timer1->stop();
    const QString name = ListBox1->NameText(i);
    Label1->setText(WithVisibleControls(name));
    // The caption keeps the name's own characters: the tag window finds the file by them.
    const QString title = QStringLiteral("ZOLM Player - ") + name;
    SetApplicationTitle(title);
    SetCaption(this, title);
    startedNameBytes_ = ListBox1->NameBytes(i);
    startedNameText_ = name;
    MediaPlayer1->FileName = RememberedFolder + startedNameBytes_;
    // Opened off this thread, so that storage that does not answer never holds the window:
    // a file that opens at once goes on before this returns, a slow one once it has opened.
    // Meanwhile the device is not ready: pause does nothing, stop and another play drop it.
    MediaPlayer1->BeginOpen([this] { PlayOpened(); });
}

void TForm1::PlayOpened()
{
    if (!MediaPlayer1->IsOpen()) {
        emit PlaybackChanged();
        Dialogs().ShowMessage(QStringLiteral("Ошибка обращения к файлу ") + Label1->text());
        return;
    }
    MediaPlayer1->Play();
    TrackBar2->SetSliderVisible(true);
    PositionUpdateGuard = true;
    TrackBar2->setValue(0);
    PositionUpdateGuard = false;
    TrackBar2->SetMax(int(std::min<std::uint32_t>(MediaPlayer1->TrackLength(1), INT_MAX)));
    Label1->setText(Label1->text() + QStringLiteral(" (") + FormatTrackTime(std::uint32_t(TrackBar2->maximum())) +
                    QStringLiteral(")"));
    ElapsedMinutes = 0;
    ElapsedSeconds = 0;
    Timer1->start();
    emit PlaybackChanged();
}

void TForm1::Timer1Timer()
{
    const std::uint32_t position = MediaPlayer1->Position();
    const std::uint32_t length = MediaPlayer1->Length();
    // The clock counts ticks, but never more than a second past what has been heard: while
    // the sound stands still (its output lost and looked for, a sink suspended, a file that
    // cannot be read fast enough) the clock and the bar wait for it.
    const qint64 counted = qint64(TrackBar2->value()) + 1000;
    const qint64 heard = std::min<qint64>(qint64(position) + 999, TrackBar2->maximum());
    if (counted > heard) {
        ElapsedMinutes = std::int32_t(heard / 60000);
        ElapsedSeconds = std::int32_t(heard % 60000 / 1000);
    } else if (ElapsedSeconds >= 59) {
        ElapsedSeconds = 0;
        ++ElapsedMinutes;
    } else {
        ++ElapsedSeconds;
    }
    PositionUpdateGuard = true;
    TrackBar2->setValue(int(std::min<qint64>(std::min(counted, heard), INT_MAX)));
    PositionUpdateGuard = false;
    SetElapsedText(QString::number(ElapsedMinutes) + QLatin1Char(':') +
                   (ElapsedSeconds < 10 ? QStringLiteral("0") : QString()) + QString::number(ElapsedSeconds));

    if (position < length)
        return;

    // The end of the track.
    Timer1->stop();
    MediaPlayer1->Stop();
    TrackBar2->SetSliderVisible(false);
    SetElapsedText(QStringLiteral("0:00"));
    FollowPlayOrder(AfterTrackEnds);
}

// Asks the play order about the list and the play modes as they stand, and carries out its answer.
void TForm1::FollowPlayOrder(PlayOrderRule rule)
{
    const PlayOrderState state{ListBox1->ItemIndex(), ListBox1->Count(), RepeatMode, shuffle->Down()};
    const PlayStep step = rule(state, [this](int count) { return UniformEntry(Random, count); });
    if (step.move == PlayStep::End) {
        emit PlaybackChanged();
        return;
    }
    if (step.move == PlayStep::Select)
        ListBox1->SetItemIndex(step.index);
    Play();
}
