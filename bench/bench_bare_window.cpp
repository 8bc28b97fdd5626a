// The floor for the player's start-up: a bare Qt window with a menu bar and an
// empty list, the size of the player's window. With ZOLM_REPORT_FIRST_PAINT set
// it reports its first paint as the player does and quits.
#include <QApplication>
#include <QListWidget>
#include <QMainWindow>
#include <QMenuBar>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <unistd.h>

namespace {

// The player's own reckoning (process start time counts in clock ticks, so it is coarse);
// the floor script times the report's arrival instead.
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

class FirstPaintProbe : public QObject {
public:
    explicit FirstPaintProbe(QWidget *watched) : watched_(watched) {}
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && watched == watched_) {
            watched->removeEventFilter(this);
            std::printf("first-paint-ms %.1f rss-mb %.1f\n", MillisecondsSinceProcessStart(), ResidentMegabytes());
            std::fflush(stdout);
            QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        }
        return false;
    }
private:
    QWidget *watched_;
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("ZOLM Player"));
    for (const char *title : {"Файл", "Играть", "Справка"}) {
        QMenu *menu = window.menuBar()->addMenu(QString::fromUtf8(title));
        menu->addAction(QStringLiteral("Пункт"));
    }
    auto *client = new QWidget(&window);
    client->setFixedSize(362, 422);
    auto *list = new QListWidget(client);
    list->setGeometry(8, 136, 305, 280);
    window.setCentralWidget(client);

    FirstPaintProbe probe(client);
    if (std::getenv("ZOLM_REPORT_FIRST_PAINT"))
        client->installEventFilter(&probe);
    window.show();
    return app.exec();
}
