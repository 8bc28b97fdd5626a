#pragma once
// TMediaPlayer: drives one audio file through the media back end (decoder +
// audio output). It knows nothing of widgets. All its operations run on the
// GUI thread; completion notices reach it there, posted by the back end.
// BeginOpen reads the file on a thread of its own and posts its end there too.
#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>

// The error that opening a file, or an operation without an open device, raises.
class EMCIDeviceError : public std::runtime_error {
public:
    explicit EMCIDeviceError(const QString &message) : std::runtime_error(message.toStdString()) {}
    QString Message() const { return QString::fromUtf8(what()); }
};

enum class TMPModes : std::uint8_t {
    mpNotReady = 0,
    mpStopped = 1,
    mpPlaying = 2,
    mpRecording = 3,
    mpSeeking = 4,
    mpPaused = 5,
    mpOpen = 6, // DoorOpen
};

enum class TMPNotifyValues : std::uint8_t { nvSuccessful = 0, nvSuperseded = 1, nvAborted = 2, nvFailed = 3 };

namespace media {
class Device;
struct OpenedFile;
} // namespace media

class TMediaPlayer : public QObject {
    Q_OBJECT
public:
    explicit TMediaPlayer(QObject *parent = nullptr);
    ~TMediaPlayer() override; // closes an open device

    // The element to open: a path as bytes, opened exactly as given.
    QByteArray FileName;
    bool AutoRewind = true;
    bool AutoEnable = true;
    bool AutoOpen = false;
    bool Shareable = false;

    // Opens without reading the file on this thread: closes an open device, drops an opening
    // on its way, and opens FileName on a thread of its own. `done` runs on the GUI thread
    // once the file is open (IsOpen) or has failed (LastError, ErrorText): often before
    // BeginOpen returns, as a file on a disk that answers opens in a few milliseconds;
    // later for one that does not. One whose reads stand still for kOpenStallMs fails with
    // kErrReadStalled. Another BeginOpen or Close, or the destructor, drops the
    // opening: its `done` never runs.
    void BeginOpen(std::function<void()> done);
    bool Opening() const { return opening_ != nullptr; }
    static constexpr int kOpenStallMs = 4000;
    void Close();  // drops an opening on its way; otherwise nothing when DeviceId() is 0
    void Play();   // guarded; plays from StartPos once after it was set, else from where the device stands
    void Stop();   // guarded; stops and keeps the file open
    void Pause();  // guarded by its own test; Playing -> PauseOnly, Paused -> Resume, else nothing
    void PauseOnly();
    void Resume(); // guarded; falls back to Play when the device refuses
    void Rewind(); // guarded; seek to start, result not recorded
    void Seek(std::uint32_t ms); // guarded; a paused or stopped device stays so, standing at ms

    TMPModes Mode();
    std::uint32_t Position();           // ms actually played
    std::uint32_t Length();             // guarded; ms
    std::uint32_t TrackLength(int track); // guarded; ms

    void setStartPos(std::int32_t value);
    std::int32_t StartPos() const { return From; }

    std::int32_t LastError() const { return lastError_; }
    QString ErrorText() const { return ErrorTextFor(lastError_); }
    // The back end's text for a code, or "Unknown error code".
    static QString ErrorTextFor(std::int32_t code);

    bool IsOpen() const { return isOpen_; }
    std::uint16_t DeviceId() const { return deviceId_; }
    bool CanPlay() const { return canPlay_; }
    bool CanStep() const { return canStep_; }
    bool CanEject() const { return canEject_; }
    bool CanRecord() const { return canRecord_; }
    bool HasVideo() const { return hasVideo_; }
    std::int32_t StepFrames() const { return stepFrames_; }
    TMPNotifyValues NotifyResult() const { return notifyResult_; }

    // Raised after each completion notice, on the GUI thread.
    std::function<void(TMediaPlayer *sender)> OnNotify;
    // Raised once when the sound output went away while playing and did not come back
    // within a few seconds: the device then stands paused where the sound stopped.
    std::function<void(TMediaPlayer *sender)> OnOutputGone;

    // What a completion notice (1 successful, 2 superseded, 4 aborted, 8 failure) makes
    // NotifyResult; any other code leaves it as it was.
    static TMPNotifyValues NotifyResultFor(int code, TMPNotifyValues was);

    std::int32_t From = 0;
    bool FromArmed = false;

private:
    // Sets NotifyResult for a completion notice, then raises OnNotify.
    void HandleNotify(int code);
    struct PendingOpen;
    void RequireOpen() const;
    void DropOpening();
    void FinishOpening(std::uint64_t serial);
    void Adopt(std::shared_ptr<media::OpenedFile> file, int error);
    void QueryCapabilities();

    std::unique_ptr<media::Device> device_;
    std::shared_ptr<PendingOpen> opening_; // the opening on its way, if any
    std::uint64_t openSerial_ = 0;
    std::int32_t lastError_ = 0;
    bool isOpen_ = false;
    std::uint16_t deviceId_ = 0;
    bool canPlay_ = false, canStep_ = false, canEject_ = false, canRecord_ = false, hasVideo_ = false;
    std::int32_t stepFrames_ = 0;
    TMPNotifyValues notifyResult_ = TMPNotifyValues::nvSuccessful;
};
