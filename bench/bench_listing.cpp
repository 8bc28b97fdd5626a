// Lists a folder of 20,000 entries into the playlist, shows it and sorts it; prints the median times.
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
#include <ctime>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    media::ManualClock::Install();
    const int entries = argc > 1 ? std::atoi(argv[1]) : 20000;
    // "cp1251": names in windows-1251 (a Russian title beside a Latin band name), which
    // every one takes the code-page guess; otherwise plain ASCII names.
    const bool cp1251 = argc > 2 && qstrcmp(argv[2], "cp1251") == 0;

    QTemporaryDir work;
    QDir::setCurrent(work.path());
    const QByteArray folder = QFile::encodeName(work.path()) + "/music/";
    QDir().mkdir(QStringLiteral("music"));
    // Mostly audio names, some other files, names of mixed case and length.
    for (int i = 0; i < entries; ++i) {
        const char *ext = i % 10 == 9 ? ".txt" : (i % 3 == 0 ? ".WAV" : ".mp3");
        const QByteArray title = cp1251 ? QByteArray("Band - \xcd\xe0\xe7\xe2\xe0\xed\xe8\xe5 \xef\xe5\xf1\xed\xe8 ")
                                        : QByteArray(" - Track Name ");
        const QByteArray name = folder + QByteArray::number((i * 7919) % entries) + title + QByteArray::number(i) + ext;
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT, 0644);
        if (fd >= 0)
            ::close(fd);
    }
    ::open("rez.dat", O_WRONLY | O_CREAT | O_TRUNC, 0644);

    TForm1 form;
    form.show();
    QApplication::processEvents();
    // Listing alone (the folder read, each name's text made, the groups ordered), then
    // showing (the view lays itself out and paints), then the sort command's re-ordering.
    // On a busy machine the wall time also counts waits for the processor; the
    // listing's own processor time is shown beside it.
    std::vector<double> listing, listingCpu, showing, sorting;
    const auto cpuMs = [] {
        timespec ts;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
    };
    for (int run = 0; run < 15; ++run) {
        QElapsedTimer t;
        t.start();
        const double cpu0 = cpuMs();
        form.PlayList(folder);
        listingCpu.push_back(cpuMs() - cpu0);
        listing.push_back(double(t.nsecsElapsed()) / 1e6);
        t.restart();
        QApplication::processEvents();
        showing.push_back(double(t.nsecsElapsed()) / 1e6);
        t.restart();
        form.ListBox1->SortByName();
        QApplication::processEvents();
        sorting.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::vector<double> total(listing.size());
    for (size_t i = 0; i < total.size(); ++i)
        total[i] = listing[i] + showing[i];
    std::printf("listing %d entries (%d listed), medians over %zu runs: list %.1f ms + show %.1f ms = %.1f ms "
                "(best %.1f; listing's processor time %.1f ms); sort and show %.1f ms\n",
                entries, form.ListBox1->Count(), total.size(), median(listing), median(showing), median(total),
                *std::min_element(total.begin(), total.end()), median(listingCpu), median(sorting));
    return 0;
}
