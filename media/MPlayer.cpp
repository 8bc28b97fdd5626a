#include "media/MPlayer.h"

#include "media/Decoder.h"
#include "media/Device.h"
#include "media/Output.h"

#include <QMetaObject>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {
const char kNoDeviceOpen[] = "No MCI device open";
constexpr int kQuickOpenMs = 50;
constexpr int kWatchMs = 250;
const char kUnknownErrorCode[] = "Unknown error code";
} // namespace

TMediaPlayer::TMediaPlayer(QObject *parent) : QObject(parent) {}

TMediaPlayer::~TMediaPlayer()
{
    // Closing here cannot fail and raises nothing; an opening on its way is left to end by itself.
    DropOpening();
    device_.reset();
}

void TMediaPlayer::RequireOpen() const
{
    if (!isOpen_)
        throw EMCIDeviceError(QString::fromLatin1(kNoDeviceOpen));
}

QString TMediaPlayer::ErrorTextFor(std::int32_t code)
{
    const char *text = media::ErrorString(code);
    if (!text)
        return QString::fromLatin1(kUnknownErrorCode);
    QString s = QString::fromUtf8(text);
    if (code == media::kErrNoOutput && !media::LastOutputProblem().empty()) {
        s.chop(1); // "... can be opened: <what the output said>."
        s += QStringLiteral(": %1.").arg(QString::fromStdString(media::LastOutputProblem()));
    }
    return s;
}

// An opening on its way. Its thread fills in the result; the GUI thread takes it, or drops
// it, and then the thread closes what it opened once its reads are back.
struct TMediaPlayer::PendingOpen {
    std::uint64_t serial = 0;
    std::atomic<std::uint64_t> reads{0}; // the thread's reads that have returned
    // ---- GUI thread
    std::function<void()> done;
    std::unique_ptr<QTimer> watch;
    std::uint64_t readsSeen = 0;
    int stillMs = 0;
    // ---- under m
    std::mutex m;
    std::condition_variable cv;
    bool finished = false, dropped = false;
    std::shared_ptr<media::OpenedFile> file;
    int error = media::kOk;
};

void TMediaPlayer::BeginOpen(std::function<void()> done)
{
    if (isOpen_)
        Close();
    DropOpening();
    auto op = std::make_shared<PendingOpen>();
    op->serial = ++openSerial_;
    op->done = std::move(done);
    opening_ = op;
    std::thread([this, op, path = FileName] {
        media::CountReads(&op->reads);
        int error = media::kOk;
        auto file = media::OpenFile(path, &error); // outlives the lock: a dropped one closes after it
        media::CountReads(nullptr);
        std::lock_guard lk(op->m);
        if (op->dropped)
            return;
        op->file = std::move(file);
        op->error = error;
        op->finished = true;
        op->cv.notify_all();
        // Not dropped, so the player is still there; one dropped before this runs is told by its serial.
        QMetaObject::invokeMethod(this, [this, serial = op->serial] { FinishOpening(serial); }, Qt::QueuedConnection);
    }).detach();

    // A file on storage that answers opens within a few milliseconds: waiting that long lets
    // the caller go on in the same step, as a synchronous open would. Under outputs driven
    // by their caller every opening is waited for, as all else then moves only when told.
    {
        std::unique_lock lk(op->m);
        const auto finished = [&] { return op->finished; };
        if (media::OutputsDrivenByCaller())
            op->cv.wait(lk, finished);
        else
            op->cv.wait_for(lk, std::chrono::milliseconds(kQuickOpenMs), finished);
        if (op->finished) {
            lk.unlock();
            FinishOpening(op->serial);
            return;
        }
    }
    // A read that stands still fails the opening; a slow one that moves does not.
    op->watch = std::make_unique<QTimer>();
    QObject::connect(op->watch.get(), &QTimer::timeout, this, [this, serial = op->serial] {
        if (!opening_ || opening_->serial != serial)
            return;
        PendingOpen &o = *opening_;
        {
            std::lock_guard lk(o.m);
            if (o.finished)
                return; // its result is on its way
        }
        const std::uint64_t reads = o.reads.load(std::memory_order_relaxed);
        o.stillMs = reads == o.readsSeen ? o.stillMs + kWatchMs : 0;
        o.readsSeen = reads;
        if (o.stillMs < kOpenStallMs)
            return;
        o.watch->stop(); // given up outside the timer's own signal, which the drop deletes
        QMetaObject::invokeMethod(
            this,
            [this, serial] {
                if (!opening_ || opening_->serial != serial)
                    return;
                std::function<void()> done = std::move(opening_->done);
                DropOpening();
                lastError_ = media::kErrReadStalled;
                if (done)
                    done();
            },
            Qt::QueuedConnection);
    });
    op->watch->start(kWatchMs);
}

void TMediaPlayer::DropOpening()
{
    if (!opening_)
        return;
    const std::shared_ptr<PendingOpen> op = std::move(opening_);
    op->watch.reset();
    op->done = nullptr;
    std::shared_ptr<media::OpenedFile> file;
    std::lock_guard lk(op->m);
    op->dropped = true;
    file = std::move(op->file);
}

void TMediaPlayer::FinishOpening(std::uint64_t serial)
{
    if (!opening_ || opening_->serial != serial)
        return; // dropped, or another opening came since
    const std::shared_ptr<PendingOpen> op = std::move(opening_);
    op->watch.reset();
    std::shared_ptr<media::OpenedFile> file;
    int error = media::kOk;
    {
        std::lock_guard lk(op->m);
        file = std::move(op->file);
        error = op->error;
    }
    const std::function<void()> done = std::move(op->done);
    Adopt(std::move(file), error);
    if (done)
        done();
}

// Makes the device of a file opened (or not: `error`) off this thread.
void TMediaPlayer::Adopt(std::shared_ptr<media::OpenedFile> file, int error)
{
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
                if (code == media::kNoticeReady) {
                    device_->HandleReady();
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
    std::unique_ptr<media::Device> device;
    if (file)
        device = media::Device::Open(std::move(file), this, post, &error);
    lastError_ = error;
    if (!device)
        return;
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
    DropOpening();
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

TMPNotifyValues TMediaPlayer::NotifyResultFor(int code, TMPNotifyValues was)
{
    switch (code) {
    case 1: return TMPNotifyValues::nvSuccessful;
    case 2: return TMPNotifyValues::nvSuperseded;
    case 4: return TMPNotifyValues::nvAborted;
    case 8: return TMPNotifyValues::nvFailed;
    default: return was;
    }
}

void TMediaPlayer::HandleNotify(int code)
{
    notifyResult_ = NotifyResultFor(code, notifyResult_);
    if (OnNotify)
        OnNotify(this);
}
