#include "player/Session.h"

#include "media/MPlayer.h"
#include "media/Volume.h"
#include "player/FolderArgument.h"
#include "player/RezFile.h"
#include "runtime/Captions.h"
#include "runtime/Desktop.h"
#include "runtime/Dialogs.h"
#include "runtime/Errors.h"
#include "runtime/TextCodec.h"

#include <QApplication>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>

QString FormatTrackTime(std::uint32_t ms)
{
    const std::uint32_t minutes = ms / 60000;
    const std::uint32_t seconds = (ms % 60000) / 1000;
    return QStringLiteral("%1:%2").arg(minutes).arg(seconds, 2, 10, QLatin1Char('0'));
}

namespace {
QString NoSoundText()
{
    return QStringLiteral("Звук не выводится: устройство вывода звука недоступно. Воспроизведение приостановлено.");
}
} // namespace

TPlayerSession::TPlayerSession(QObject *parent) : QObject(parent), media_(new TMediaPlayer(this))
{
    media_->setObjectName(QStringLiteral("MediaPlayer1"));
    media_->OnOutputGone = [this](TMediaPlayer *) { OutputGone(); };
    clock_.setObjectName(QStringLiteral("Timer1"));
    clock_.setInterval(1000);
    connect(&clock_, &QTimer::timeout, this, [this] { RunHandler([this] { Tick(); }); });
}

TPlayerSession::~TPlayerSession() = default;

bool TPlayerSession::TakesInput()
{
    const QWidget *main = MainWindow();
    return (!main || main->isEnabled()) && !QApplication::activeModalWidget();
}

QString TPlayerSession::Title() const
{
    return captionName_.isEmpty() ? QStringLiteral("ZOLM Player") : QStringLiteral("ZOLM Player - ") + captionName_;
}

bool TPlayerSession::Playing() const
{
    return media_->Mode() == TMPModes::mpPlaying;
}

QByteArray TPlayerSession::RememberedFolderNow() const
{
    return ReadFirstLine(kRezFileName, kRezMaxChars);
}

void TPlayerSession::Start()
{
    EnsureRezFile(kRezFileName);
    List(ReadFirstLine(kRezFileName, kRezMaxChars));
    if (current_ < 0)
        return;
    // Nothing plays until the user asks; the volume starts at step 7, sent once more
    // after the slider's own change.
    trackText_ = WithVisibleControls(EntryText(0));
    emit Shown();
    if (volumePosition_ != 7)
        SetVolumePosition(7);
    volumeWord_ = WordFor(7);
    SendVolume(volumeWord_);
}

// ---------------------------------------------------------------- the entries

void TPlayerSession::List(const QByteArray &folder)
{
    folder_ = folder;
    entries_ = ListFolder(folder);
    ++entriesVersion_;
    current_ = Count() == 0 ? -1 : 0;
    emit PlaylistChanged();
    emit Shown();
}

void TPlayerSession::ChooseFolder()
{
    QByteArray chosen;
    QByteArray folder;
    if (Dialogs().SelectFolder(QStringLiteral("Выберите папку с файлами мультимедиа"), QByteArray(), chosen))
        folder = chosen + '/';
    // Remembered, it would come back as another folder (or none) at the next start.
    if (!FitsRezLine(folder)) {
        Dialogs().ShowMessage(UnrememberableFolderText(chosen));
        return;
    }
    sorted_ = false;
    // Cancelling forgets the folder: the list then shows the working directory.
    Remember(folder);
}

void TPlayerSession::OpenFolder(const QByteArray &path)
{
    if (!FitsRezLine(path)) {
        // Told once the event loop runs: this may come before the window is shown, or
        // from inside a drop.
        const QString text = UnrememberableFolderText(path);
        QTimer::singleShot(0, this, [text] { Dialogs().ShowMessage(text); });
        return;
    }
    sorted_ = false;
    Remember(path + '/');
}

// Remember the folder, write rez.dat, list it.
void TPlayerSession::Remember(const QByteArray &folder)
{
    const QByteArray remembered = CutToChars(folder, kRezMaxChars);
    try {
        WriteRezFile(remembered, kRezFileName);
    } catch (...) {
        // Only remembering the folder failed: list it all the same, so the list and
        // the paths that Play forms from the folder keep agreeing.
        List(remembered);
        throw;
    }
    List(remembered);
}

void TPlayerSession::SortByName()
{
    if (sorted_)
        return;
    sorted_ = true;
    entries_.SortByName(false);
    ++entriesVersion_;
    emit PlaylistChanged();
    emit Shown();
}

void TPlayerSession::Select(int index)
{
    if (index == current_)
        return;
    current_ = index;
    emit PlaylistChanged();
    emit Shown();
}

void TPlayerSession::Choose(int index)
{
    Select(index);
    if (index >= 0)
        Play();
}

// ---------------------------------------------------------------- transport

void TPlayerSession::ReleasePause()
{
    paused_ = false;
    emit PauseReleased();
}

void TPlayerSession::Play()
{
    ReleasePause();
    if (current_ < 0) {
        emit Shown();
        return;
    }
    clock_.stop();
    const QString name = EntryText(current_);
    trackText_ = WithVisibleControls(name);
    // The caption keeps the name's own characters: the tag window finds the file by them.
    captionName_ = name;
    SetApplicationTitle(Title());
    startedNameBytes_ = EntryBytes(current_);
    startedNameText_ = name;
    media_->FileName = folder_ + startedNameBytes_;
    emit Shown();
    // Opened off this thread, so that storage that does not answer never holds the window:
    // a file that opens at once goes on before this returns, a slow one once it has opened.
    // Meanwhile the device is not ready: pause does nothing, stop and another play drop it.
    media_->BeginOpen([this] { PlayOpened(); });
}

void TPlayerSession::PlayOpened()
{
    if (!media_->IsOpen()) {
        emit PlaybackChanged();
        Dialogs().ShowMessage(QStringLiteral("Ошибка обращения к файлу ") + trackText_);
        return;
    }
    media_->Play();
    positionShown_ = true;
    // To 0 before the range shrinks, so that the shrinking moves nothing.
    shownPosition_ = 0;
    trackLength_ = int(std::min<std::uint32_t>(media_->TrackLength(1), INT_MAX));
    trackText_ += QStringLiteral(" (") + FormatTrackTime(std::uint32_t(trackLength_)) + QStringLiteral(")");
    elapsedMinutes_ = 0;
    elapsedSeconds_ = 0;
    clock_.start();
    emit Shown();
    emit PlaybackChanged();
}

void TPlayerSession::Pause()
{
    if (media_->Mode() == TMPModes::mpPlaying) {
        media_->Pause();
        clock_.stop();
        paused_ = true;
        emit Shown();
        emit PlaybackChanged();
    } else if (media_->Mode() == TMPModes::mpPaused) {
        media_->Resume();
        if (media_->Mode() == TMPModes::mpPaused) {
            // No output answers: still paused, as before the press.
            Dialogs().ShowMessage(NoSoundText());
            return;
        }
        clock_.start();
        ReleasePause();
        emit Shown();
        emit PlaybackChanged();
    }
}

// The sound output is gone and the device stands paused where the sound stopped: the
// player follows as after the pause command.
void TPlayerSession::OutputGone()
{
    if (media_->Mode() != TMPModes::mpPaused)
        return;
    clock_.stop();
    paused_ = true;
    emit Shown();
    emit PlaybackChanged();
    Dialogs().ShowMessage(NoSoundText());
}

void TPlayerSession::Stop()
{
    positionShown_ = false;
    const TMPModes mode = media_->Mode();
    // Stop closes the file: the next Play opens the entry anew, from its beginning. A file
    // still being opened is given up.
    if (mode == TMPModes::mpPlaying || mode == TMPModes::mpPaused || media_->Opening())
        media_->Close();
    clock_.stop();
    elapsedText_ = QStringLiteral("0:00");
    ReleasePause();
    emit Shown();
    emit PlaybackChanged();
}

void TPlayerSession::Next()
{
    Follow(NextEntry);
}

void TPlayerSession::Previous()
{
    Follow(PreviousEntry);
}

void TPlayerSession::SetElapsed(int minutes, int seconds)
{
    elapsedMinutes_ = minutes;
    elapsedSeconds_ = seconds;
}

void TPlayerSession::Tick()
{
    const std::uint32_t position = media_->Position();
    const std::uint32_t length = media_->Length();
    // The clock counts ticks, but never more than a second past what has been heard: while
    // the sound stands still (its output lost and looked for, a sink suspended, a file that
    // cannot be read fast enough) the clock and the bar wait for it.
    const qint64 counted = qint64(shownPosition_) + 1000;
    const qint64 heard = std::min<qint64>(qint64(position) + 999, trackLength_);
    if (counted > heard)
        SetElapsed(int(heard / 60000), int(heard % 60000 / 1000));
    else if (elapsedSeconds_ >= 59)
        SetElapsed(elapsedMinutes_ + 1, 0);
    else
        SetElapsed(elapsedMinutes_, elapsedSeconds_ + 1);
    shownPosition_ = int(std::min<qint64>(std::min(counted, heard), INT_MAX));
    elapsedText_ = QString::number(elapsedMinutes_) + QLatin1Char(':') +
                   (elapsedSeconds_ < 10 ? QStringLiteral("0") : QString()) + QString::number(elapsedSeconds_);
    emit Shown();

    if (position < length)
        return;

    // The end of the track.
    clock_.stop();
    media_->Stop();
    positionShown_ = false;
    elapsedText_ = QStringLiteral("0:00");
    emit Shown();
    Follow(AfterTrackEnds);
}

// Asks the play order about the list and the play modes as they stand, and carries out its answer.
void TPlayerSession::Follow(PlayOrderRule rule)
{
    const PlayOrderState state{current_, Count(), repeatMode_, shuffle_};
    const PlayStep step = rule(state, [this](int count) { return UniformEntry(Random, count); });
    if (step.move == PlayStep::End) {
        emit PlaybackChanged();
        return;
    }
    if (step.move == PlayStep::Select)
        Select(step.index);
    Play();
}

void TPlayerSession::SetShownPosition(int ms)
{
    shownPosition_ = std::clamp(ms, 0, trackLength_);
}

void TPlayerSession::Jump(int ms)
{
    SetShownPosition(ms);
    const TMPModes mode = media_->Mode();
    if (mode != TMPModes::mpPlaying && mode != TMPModes::mpPaused) {
        emit Shown();
        return;
    }
    media_->setStartPos(shownPosition_);

    // The clock continues from the new point: read "m:ss" back into the counters.
    const QString t = FormatTrackTime(std::uint32_t(media_->StartPos()));
    QString before;
    for (qsizetype k = 0; k < t.size(); ++k) {
        if (t[k] == QLatin1Char(':')) {
            elapsedMinutes_ = before.toInt();
            if (t.mid(k + 1, 1) == QLatin1String("0"))
                elapsedSeconds_ = t.mid(k + 2, 1).toInt();
            else
                elapsedSeconds_ = t.mid(k + 1, 2).toInt();
        }
        before.append(t[k]);
    }
    media_->Play();
    emit Shown();
    emit PlaybackChanged();
}

void TPlayerSession::SeekTo(int ms)
{
    if (media_->Mode() != TMPModes::mpPaused) {
        Jump(ms);
        return;
    }
    // Not as a jump, which plays: a paused player stays paused, standing at the new place,
    // shown at once (no tick comes to show it).
    SetShownPosition(ms);
    const std::uint32_t at = std::uint32_t(shownPosition_);
    SetElapsed(int(at / 60000), int(at % 60000 / 1000));
    elapsedText_ = FormatTrackTime(at);
    media_->Seek(at);
    emit Shown();
    emit PlaybackChanged();
}

// ---------------------------------------------------------------- modes and volume

void TPlayerSession::ToggleShuffle()
{
    shuffle_ = !shuffle_;
    if (shuffle_)
        Random.seed(std::uint32_t(std::chrono::steady_clock::now().time_since_epoch().count()));
    emit Shown();
}

void TPlayerSession::CycleRepeat()
{
    repeatMode_ = (repeatMode_ + 1) % 3;
    emit Shown();
}

std::uint32_t TPlayerSession::WordFor(int position)
{
    const std::uint32_t level = std::uint32_t(kVolumeSteps - position) * 3250u;
    return level + level * 65536u;
}

void TPlayerSession::SendVolume(std::uint32_t word)
{
    media::WaveOutSetVolume(word);
}

void TPlayerSession::SetVolumePosition(int position)
{
    volumePosition_ = std::clamp(position, 0, kVolumeSteps);
    volumeWord_ = WordFor(volumePosition_);
    SendVolume(volumeWord_);
    muted_ = false;
    emit Shown();
    emit VolumeChanged();
}

void TPlayerSession::SetVolumeLevel(double level)
{
    SetVolumePosition(kVolumeSteps - int(std::lround(std::clamp(level, 0.0, 1.0) * kVolumeSteps)));
}

void TPlayerSession::ToggleMute()
{
    muted_ = !muted_;
    SendVolume(muted_ ? 0 : volumeWord_);
    emit Shown();
    emit VolumeChanged();
}
