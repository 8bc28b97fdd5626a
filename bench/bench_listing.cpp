// Lists a folder of 20,000 entries into the playlist and prints the median time.
#include "info/about.h"
#include "media/ManualClock.h"
#include "player/Controls.h"
#include "player/Unit1.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    media::ManualClock::Install();
    const int entries = argc > 1 ? std::atoi(argv[1]) : 20000;

    QTemporaryDir work;
    QDir::setCurrent(work.path());
    const QByteArray folder = QFile::encodeName(work.path()) + "/music/";
    QDir().mkdir(QStringLiteral("music"));
    // Mostly audio names, some other files, names of mixed case and length.
    for (int i = 0; i < entries; ++i) {
        const char *ext = i % 10 == 9 ? ".txt" : (i % 3 == 0 ? ".WAV" : ".mp3");
        const QByteArray name = folder + QByteArray::number((i * 7919) % entries) + " - Track Name " +
                                QByteArray::number(i) + ext;
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT, 0644);
        if (fd >= 0)
            ::close(fd);
    }
    ::open("rez.dat", O_WRONLY | O_CREAT | O_TRUNC, 0644);

    TForm1 form;
    form.show();
    QApplication::processEvents();
    std::vector<double> times;
    for (int run = 0; run < 15; ++run) {
        QElapsedTimer t;
        t.start();
        form.PlayList(folder);
        QApplication::processEvents(); // the list lays itself out and paints
        times.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    std::printf("listing %d entries (%d listed): median %.1f ms, best %.1f ms, worst %.1f ms over %zu runs\n", entries,
                form.ListBox1->Count(), times[times.size() / 2], times.front(), times.back(), times.size());
    return 0;
}
