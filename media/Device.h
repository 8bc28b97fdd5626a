#pragma once
// One open file on one audio output: the media back end beneath TMediaPlayer.
// All public members of Device are called on the GUI thread only; OpenFile on any.
#include "media/MPlayer.h"

#include <QByteArray>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QObject;

namespace media {

class Engine;
class Output;
struct OpenedFile;

// Opens `path` by its bytes and its decoder, picked from the content: everything of opening
// that reads the file, so any thread may do it (the player's opener does, off the GUI
// thread). Null with *error set on failure.
std::shared_ptr<OpenedFile> OpenFile(const QByteArray &path, int *error);

// Notices of the output, beside the completion codes 1, 2, 4 and 8: it went away while
// playing (the device then looks for it again; hand the notice to HandleOutputLost), and
// it did not come back in time (the device now stands paused where the sound stopped).
constexpr int kNoticeOutputLost = 0x100;
constexpr int kNoticeOutputGone = 0x200;
// The decoder has the first sound of a play ready: hand it to HandleReady, which starts the
// output then, so that the output's first requests find sound.
constexpr int kNoticeReady = 0x400;

// What the output said when one last failed to open (empty when it opened).
const std::string &LastOutputProblem();

// How many outputs are open once every idle one has been closed: it closes the outputs
// kept for the next track or a quick resume, and waits. Only a device that plays or has just
// been opened holds one then.
int OpenOutputs();

class Device {
public:
    // Posts a completion notice (serial of the device, notice code) to the GUI thread.
    // Called from the audio thread as well, so it must only queue, never run the handler.
    using NoticePoster = std::function<void(std::uint64_t serial, int code)>;

    // Opens `path` by its bytes, picks the decoder from the content and opens the output
    // (one from the OutputProvider while one is installed). Null with *error set on failure.
    // When the sound server this process played on has gone away, the file still opens:
    // its play then waits for the server as a play that lost its output does.
    // `receiver` is the object notices are queued to; AdvanceCallerClock flushes them there.
    static std::unique_ptr<Device> Open(const QByteArray &path, QObject *receiver, NoticePoster post, int *error);
    // The same for a file OpenFile opened: reads nothing of it.
    static std::unique_ptr<Device> Open(std::shared_ptr<OpenedFile> file, QObject *receiver, NoticePoster post,
                                        int *error);
    ~Device(); // stops and releases output, decoder and file; nothing is posted afterwards

    std::uint16_t Id() const;
    std::uint64_t Serial() const;

    int Play(bool hasFrom, std::uint32_t fromMs);
    int Stop();
    int Pause();
    int Resume();
    int SeekToStart();
    // Moves a paused or stopped device to `ms` without playing; a playing one plays on from there.
    int Seek(std::uint32_t ms);
    TMPModes Mode();
    std::uint32_t PositionMs();
    std::uint32_t LengthMs() const;
    void HandleOutputLost(); // on kNoticeOutputLost
    void HandleReady();      // on kNoticeReady

    // Devices opened on an OutputProvider's outputs, on the GUI thread: each playing one
    // plays `ms` milliseconds (decoding synchronously; one that lost its output looks for
    // it again as its retry timer would), then the notices it posted are delivered.
    static void AdvanceCallerClock(int ms);
    // Hands the output of each such device that plays to `f`, then delivers their notices.
    static void ForEachPlayingOutput(const std::function<void(Output &)> &f);

private:
    Device() = default;
    std::unique_ptr<Engine> engine_;
};

} // namespace media
