// The floor for the player's start-up: a bare Qt window with a menu bar and an
// empty list, the size of the player's window. With ZOLM_REPORT_FIRST_PAINT set
// it reports its first paint as the player does and quits.
#include "runtime/FirstPaint.h"

#include <QApplication>
#include <QListWidget>
#include <QMainWindow>
#include <QMenuBar>
#include <QTimer>

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
    window.show();
    return app.exec();
}
