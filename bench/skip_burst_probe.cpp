// The measuring half of bench/skip_burst.sh: with the player already running on the X
// display, the session bus and the sound server of the environment, starts it playing
// (Ctrl+X), then presses Ctrl+B PRESSES times, INTERVAL ms apart, as a held key would.
//
//   skip_burst_probe [PRESSES] [INTERVAL_MS]        (default 150 presses, 15 ms apart)
//
// Meanwhile it asks the player's MPRIS object for its Metadata over and over, one call
// at a time, 2 ms after each answer: the object lives on the window's thread, so the
// longest wait for an answer is the longest the window thread stood still, and the
// answers show when the playlist stops moving. The sound server's sink-inputs are
// followed with `pactl subscribe`: every stream on that private server is the player's.
// The keys go through the XTest extension, loaded at run time so that building the
// benchmarks needs no X development files.
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QProcess>
#include <QSet>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <thread>
#include <time.h>
#include <vector>

namespace {

double NowMs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

void SleepUntilMs(double when)
{
    timespec t{};
    t.tv_sec = static_cast<time_t>(when / 1e3);
    t.tv_nsec = static_cast<long>((when - double(t.tv_sec) * 1e3) * 1e6);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) == EINTR) {
    }
}

// The few Xlib and XTest calls the presses need.
struct Keyboard {
    using OpenDisplay = void *(*)(const char *);
    using KeysymToKeycode = unsigned char (*)(void *, unsigned long);
    using FakeKeyEvent = int (*)(void *, unsigned, int, unsigned long);
    using Flush = int (*)(void *);
    void *display = nullptr;
    FakeKeyEvent fake = nullptr;
    Flush flush = nullptr;
    KeysymToKeycode keycode = nullptr;

    bool Open()
    {
        void *x11 = dlopen("libX11.so.6", RTLD_NOW | RTLD_GLOBAL);
        void *xtst = dlopen("libXtst.so.6", RTLD_NOW);
        if (!x11 || !xtst)
            return false;
        auto open = reinterpret_cast<OpenDisplay>(dlsym(x11, "XOpenDisplay"));
        keycode = reinterpret_cast<KeysymToKeycode>(dlsym(x11, "XKeysymToKeycode"));
        flush = reinterpret_cast<Flush>(dlsym(x11, "XFlush"));
        fake = reinterpret_cast<FakeKeyEvent>(dlsym(xtst, "XTestFakeKeyEvent"));
        display = open && keycode && flush && fake ? open(nullptr) : nullptr;
        return display != nullptr;
    }
    void Key(unsigned long keysym, bool down)
    {
        fake(display, keycode(display, keysym), down ? 1 : 0, 0);
        flush(display);
    }
};

constexpr unsigned long kControl = 0xffe3, kB = 0x62, kX = 0x78;

struct Probe : QObject {
    QDBusConnection bus = QDBusConnection::sessionBus();
    QString service = QStringLiteral("org.mpris.MediaPlayer2.zolmplayer");
    // Each answered call: when it was sent and when its answer came.
    struct Call {
        double sent, answered;
    };
    std::vector<Call> calls;
    int failed = 0;
    QString title;
    double lastChange = 0;
    int changesSinceFirstPress = 0;
    double firstPress = -1;
    bool running = true;

    void Send()
    {
        if (!running)
            return;
        QDBusMessage m = QDBusMessage::createMethodCall(service, QStringLiteral("/org/mpris/MediaPlayer2"),
                                                        QStringLiteral("org.freedesktop.DBus.Properties"),
                                                        QStringLiteral("Get"));
        m << QStringLiteral("org.mpris.MediaPlayer2.Player") << QStringLiteral("Metadata");
        const double sent = NowMs();
        auto *w = new QDBusPendingCallWatcher(bus.asyncCall(m, 60000), this);
        connect(w, &QDBusPendingCallWatcher::finished, this, [this, w, sent] {
            w->deleteLater();
            const double now = NowMs();
            QDBusPendingReply<QDBusVariant> reply = *w;
            if (reply.isError()) {
                ++failed;
            } else {
                calls.push_back({sent, now});
                const QVariantMap meta = qdbus_cast<QVariantMap>(reply.value().variant().value<QDBusArgument>());
                const QString t = meta.value(QStringLiteral("xesam:title")).toString();
                if (t != title) {
                    title = t;
                    lastChange = now;
                    if (firstPress >= 0 && now >= firstPress)
                        ++changesSinceFirstPress;
                }
            }
            QTimer::singleShot(2, this, [this] { Send(); });
        });
    }
};

struct Streams : QObject {
    QProcess pactl;
    QSet<QString> open;
    int most = 0;
    int opened = 0; // new sink-inputs seen since the burst began
    double lastEvent = 0;

    void Start()
    {
        pactl.setProcessChannelMode(QProcess::MergedChannels);
        connect(&pactl, &QProcess::readyRead, this, [this] {
            while (pactl.canReadLine()) {
                const QString line = QString::fromUtf8(pactl.readLine()).trimmed();
                // Event 'new' on sink-input #12
                if (!line.contains(QLatin1String("on sink-input #")))
                    continue;
                const QString id = line.section(QLatin1Char('#'), 1);
                if (line.startsWith(QLatin1String("Event 'new'"))) {
                    open.insert(id);
                    ++opened;
                } else if (line.startsWith(QLatin1String("Event 'remove'"))) {
                    open.remove(id);
                } else {
                    continue;
                }
                lastEvent = NowMs();
                most = std::max(most, int(open.size()));
            }
        });
        pactl.start(QStringLiteral("pactl"), {QStringLiteral("subscribe")});
        pactl.waitForStarted();
    }
    // What is open already, read once after subscribing.
    void Seed()
    {
        QProcess list;
        list.start(QStringLiteral("pactl"), {QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("sink-inputs")});
        list.waitForFinished(10000);
        for (const QByteArray &line : list.readAllStandardOutput().split('\n'))
            if (!line.trimmed().isEmpty())
                open.insert(QString::fromUtf8(line.split('\t').value(0)));
        most = std::max(most, int(open.size()));
    }
};

void Wait(int ms)
{
    QTimer::singleShot(ms, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
}

double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int presses = argc > 1 ? std::max(1, std::atoi(argv[1])) : 150;
    const int interval = argc > 2 ? std::max(1, std::atoi(argv[2])) : 15;

    Keyboard keys;
    if (!keys.Open()) {
        std::fprintf(stderr, "skip_burst_probe: no X display with the XTest extension (libX11.so.6, libXtst.so.6)\n");
        return 1;
    }
    Streams streams;
    streams.Start();
    Wait(500);
    streams.Seed();

    Probe probe;
    for (int i = 0; i < 200; ++i) {
        QDBusMessage m = QDBusMessage::createMethodCall(probe.service, QStringLiteral("/org/mpris/MediaPlayer2"),
                                                        QStringLiteral("org.freedesktop.DBus.Peer"),
                                                        QStringLiteral("Ping"));
        if (probe.bus.call(m, QDBus::Block, 1000).type() == QDBusMessage::ReplyMessage)
            break;
        Wait(100);
    }
    probe.Send();

    // Start playing, and let the first track settle.
    keys.Key(kControl, true);
    keys.Key(kX, true);
    keys.Key(kX, false);
    keys.Key(kControl, false);
    for (int i = 0; i < 200 && (streams.open.isEmpty() || probe.title.isEmpty()); ++i)
        Wait(50);
    if (streams.open.isEmpty()) {
        std::fprintf(stderr, "skip_burst_probe: Ctrl+X opened no stream on the sound server\n");
        return 1;
    }
    Wait(1500);
    const std::size_t before = probe.calls.size();
    const int streamsBefore = int(streams.open.size());
    streams.most = streamsBefore;
    streams.opened = 0;

    // The burst, on its own thread so that the presses keep their pace.
    std::atomic<double> lastPress{0};
    const double firstPress = NowMs() + 20;
    probe.firstPress = firstPress;
    std::thread burst([&] {
        keys.Key(kControl, true);
        for (int i = 0; i < presses; ++i) {
            const double at = firstPress + double(i) * interval;
            SleepUntilMs(at);
            keys.Key(kB, true);
            lastPress = NowMs();
            SleepUntilMs(at + std::min(5, interval / 2));
            keys.Key(kB, false);
        }
        keys.Key(kControl, false);
    });
    // Until nothing has moved for 10 s after the last press, or a minute has passed.
    for (;;) {
        Wait(100);
        const double last = lastPress.load();
        if (last == 0 || last < firstPress + double(presses - 1) * interval)
            continue;
        const double now = NowMs();
        const double moved = std::max({probe.lastChange, streams.lastEvent, last});
        if (now - moved > 10000 || now - last > 60000)
            break;
    }
    burst.join();
    probe.running = false;
    Wait(200);
    const double last = lastPress.load();

    std::vector<double> quiet;
    for (std::size_t i = 0; i < before; ++i)
        quiet.push_back(probe.calls[i].answered - probe.calls[i].sent);
    double longest = 0, longestAt = 0;
    for (std::size_t i = before; i < probe.calls.size(); ++i) {
        const double wait = probe.calls[i].answered - probe.calls[i].sent;
        if (wait > longest) {
            longest = wait;
            longestAt = probe.calls[i].sent - firstPress;
        }
    }
    std::printf("presses: %d Ctrl+B, %d ms apart, sent over %.0f ms\n", presses, interval, last - firstPress);
    std::printf("window thread: longest wait for an MPRIS answer %.1f ms (asked %.0f ms after the first press); "
                "%.2f ms before the burst (median of %zu); %zu answers during and after, %d calls failed\n",
                longest, longestAt, Median(quiet), before, probe.calls.size() - before, probe.failed);
    std::printf("streams: at most %d of the player's streams open at once (%d before the burst); %d opened "
                "from the first press on; %lld open at the end\n",
                streams.most, streamsBefore, streams.opened, static_cast<long long>(streams.open.size()));
    std::printf("list: the track changed %d times; it stopped moving %.0f ms after the last press "
                "(last Metadata change); the streams settled %.0f ms after it\n",
                probe.changesSinceFirstPress, std::max(0.0, probe.lastChange - last),
                std::max(0.0, streams.lastEvent - last));
    streams.pactl.kill();
    streams.pactl.waitForFinished(2000);
    return 0;
}
