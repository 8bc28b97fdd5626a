#include "runtime/FirstPaint.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <unistd.h>

namespace {

// Milliseconds from process start to now (the start counts in clock ticks, so it is coarse;
// the floor script also times the report's arrival from outside).
double MillisecondsSinceProcessStart()
{
    FILE *f = std::fopen("/proc/self/stat", "r");
    if (!f)
        return -1;
    char buf[1024];
    const size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    buf[n] = 0;
    const char *p = std::strrchr(buf, ')');
    if (!p)
        return -1;
    unsigned long long start = 0;
    // Field 22 (starttime) counts from field 3, which follows ") ".
    if (std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %*u %*u %*d %*d %*d %*d %*d %*d %llu",
                    &start) != 1)
        return -1;
    timespec now;
    clock_gettime(CLOCK_BOOTTIME, &now);
    const double ticks = double(sysconf(_SC_CLK_TCK));
    return (double(now.tv_sec) + now.tv_nsec / 1e9 - double(start) / ticks) * 1000.0;
}

double ResidentMegabytes()
{
    FILE *f = std::fopen("/proc/self/statm", "r");
    if (!f)
        return -1;
    unsigned long pages = 0, resident = 0;
    const int got = std::fscanf(f, "%lu %lu", &pages, &resident);
    std::fclose(f);
    return got == 2 ? double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0) : -1;
}

} // namespace

FirstPaintProbe::FirstPaintProbe(QWidget *watched) : watched_(watched)
{
    if (std::getenv("ZOLM_REPORT_FIRST_PAINT"))
        watched_->installEventFilter(this);
}

bool FirstPaintProbe::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Paint && watched == watched_) {
        watched->removeEventFilter(this);
        std::printf("first-paint-ms %.1f rss-mb %.1f\n", MillisecondsSinceProcessStart(), ResidentMegabytes());
        std::fflush(stdout);
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    }
    return false;
}
