#include "media/MPlayer.h"

#include "media/Decoder.h"
#include "media/Device.h"

#include <QMetaObject>

namespace {
const char kNoDeviceOpen[] = "No MCI device open";
const char kUnknownErrorCode[] = "Unknown error code";
} // namespace

TMediaPlayer::TMediaPlayer(QObject *parent) : QObject(parent) {}

TMediaPlayer::~TMediaPlayer()
{
    // Closing here cannot fail and raises nothing.
    device_.reset();
}

void TMediaPlayer::RequireOpen() const
{
    if (!isOpen_)
        throw EMCIDeviceError(QString::fromLatin1(kNoDeviceOpen));
}

QString TMediaPlayer::ErrorText() const
{
    const char *text = media::ErrorString(lastError_);
    if (!text)
        return QString::fromLatin1(kUnknownErrorCode);
    QString s = QString::fromUtf8(text);
    if (lastError_ == media::kErrNoOutput && !media::LastOutputProblem().empty()) {
        s.chop(1); // "... can be opened: <what the output said>."
        s += QStringLiteral(": %1.").arg(QString::fromStdString(media::LastOutputProblem()));
    }
    return s;
}

void TMediaPlayer::Open()
{
    if (isOpen_)
        Close(); // its outcome does not matter: Open goes on regardless
    int error = media::kOk;
    // The audio thread may post this at any time; it only queues. A notice from a device
    // that has been closed since carries a stale serial and is dropped on arrival.
    auto post = [this](std::uint64_t serial, int code) {
        QMetaObject::invokeMethod(
            this,
            [this, serial, code] {
                if (!device_ || device_->Serial() != serial)
                    return;
                if (code == media::kNoticeOutputLost) {
                    device_->HandleOutputLost();
                    return;
                }
                if (code == media::kNoticeOutputGone) {
                    if (OnOutputGone)
                        OnOutputGone(this);
                    return;
                }
                device_->Mode(); // lets a finished device settle into Stopped
                HandleNotify(code);
            },
            Qt::QueuedConnection);
    };
    auto device = media::Device::Open(FileName, this, post, &error);
    lastError_ = error;
    if (!device)
        throw EMCIDeviceError(ErrorText());
    device_ = std::move(device);
    isOpen_ = true;
    deviceId_ = device_->Id();
    stepFrames_ = static_cast<std::int32_t>(Length() / 10);
    QueryCapabilities();
}

void TMediaPlayer::QueryCapabilities()
{
    // An audio file: it plays, and does nothing else a tape or a disc player could.
    canPlay_ = true;
    canRecord_ = false;
    canEject_ = false;
    hasVideo_ = false;
    canStep_ = false;
}

void TMediaPlayer::Close()
{
    if (deviceId_ == 0)
        return;
    device_.reset();
    lastError_ = media::kOk;
    isOpen_ = false;
    deviceId_ = 0;
}

void TMediaPlayer::Play()
{
    RequireOpen();
    if (AutoRewind && !FromArmed && Position() == Length())
        Rewind();
    const bool hasFrom = FromArmed;
    FromArmed = false;
    if (hasFrom && From < 0) {
        lastError_ = media::kErrOutOfRange;
        return;
    }
    lastError_ = device_->Play(hasFrom, static_cast<std::uint32_t>(From));
}

void TMediaPlayer::Stop()
{
    RequireOpen();
    lastError_ = device_->Stop();
}

void TMediaPlayer::PauseOnly()
{
    RequireOpen();
    lastError_ = device_->Pause();
}

void TMediaPlayer::Pause()
{
    if (!isOpen_)
        throw EMCIDeviceError(QString::fromLatin1(kNoDeviceOpen));
    if (Mode() == TMPModes::mpPlaying)
        PauseOnly();
    else if (Mode() == TMPModes::mpPaused)
        Resume();
}

void TMediaPlayer::Resume()
{
    RequireOpen();
    lastError_ = device_->Resume();
    if (lastError_ != media::kOk)
        Play();
}

void TMediaPlayer::Rewind()
{
    RequireOpen();
    device_->SeekToStart();
}

void TMediaPlayer::Seek(std::uint32_t ms)
{
    RequireOpen();
    lastError_ = device_->Seek(ms);
}

TMPModes TMediaPlayer::Mode()
{
    if (!device_) {
        lastError_ = media::kErrNoDevice;
        return TMPModes::mpNotReady;
    }
    lastError_ = media::kOk;
    return device_->Mode();
}

std::uint32_t TMediaPlayer::Position()
{
    if (!device_) {
        lastError_ = media::kErrNoDevice;
        return 0;
    }
    lastError_ = media::kOk;
    return device_->PositionMs();
}

std::uint32_t TMediaPlayer::Length()
{
    RequireOpen();
    lastError_ = media::kOk;
    return device_->LengthMs();
}

std::uint32_t TMediaPlayer::TrackLength(int track)
{
    RequireOpen();
    // A file is a single track, numbered 1.
    return track == 1 ? device_->LengthMs() : 0;
}

void TMediaPlayer::setStartPos(std::int32_t value)
{
    if (From != value)
        From = value;
    FromArmed = true;
}

void TMediaPlayer::HandleNotify(int code)
{
    switch (code) {
    case 1: notifyResult_ = TMPNotifyValues::nvSuccessful; break;
    case 2: notifyResult_ = TMPNotifyValues::nvSuperseded; break;
    case 4: notifyResult_ = TMPNotifyValues::nvAborted; break;
    case 8: notifyResult_ = TMPNotifyValues::nvFailed; break;
    default: break;
    }
    if (OnNotify)
        OnNotify(this);
}
