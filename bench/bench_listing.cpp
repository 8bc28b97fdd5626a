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
    // Listing alone (the folder read, each name's text made, the groups ordered), then
    // showing (the view lays itself out and paints), then the sort command's re-ordering.
    std::vector<double> listing, showing, sorting;
    for (int run = 0; run < 15; ++run) {
        QElapsedTimer t;
        t.start();
        form.PlayList(folder);
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
                "(best %.1f); sort and show %.1f ms\n",
                entries, form.ListBox1->Count(), total.size(), median(listing), median(showing), median(total),
                *std::min_element(total.begin(), total.end()), median(sorting));
    return 0;
}
