// The windows' captions, texts, shortcuts and sizes: one row per widget, menu or
// action, found by its object name, and the Qt properties it must carry.
#include "player/PlayerHarness.h"

#include <QtTest>

class TestWindows : public QObject {
    Q_OBJECT
private slots:
    void windowsCarryTheirCaptionsTextsAndSizes_data()
    {
        QTest::addColumn<QString>("window"); // main, about or help
        QTest::addColumn<QString>("object"); // empty: the window itself
        QTest::addColumn<QVariantMap>("properties"); // "actions": a menu's actions by name
        const auto row = [](const char *window, const char *object, const QVariantMap &properties) {
            QTest::addRow("%s %s", window, object) << QString::fromLatin1(window) << QString::fromLatin1(object)
                                                    << properties;
        };
        // The menu commands start unchecked.
        const auto action = [&](const char *name, const char *text, QKeySequence key = {}) {
            row("main", name, {{"text", QString::fromUtf8(text)}, {"shortcut", key}, {"checked", false}});
        };
        action("N3", "Играть директорию...", Qt::CTRL | Qt::Key_O);
        action("N4", "Выход", Qt::CTRL | Qt::Key_Q);
        action("N8", "Предыдущая", Qt::CTRL | Qt::Key_Z);
        action("N6", "Играть", Qt::CTRL | Qt::Key_X);
        action("N9", "Пауза", Qt::CTRL | Qt::Key_C);
        action("N7", "Стоп", Qt::CTRL | Qt::Key_V);
        action("N10", "Следующая", Qt::CTRL | Qt::Key_B);
        action("N11", "Случайно", Qt::CTRL | Qt::Key_S);
        action("N13", "Повтор", Qt::CTRL | Qt::Key_R);
        action("N14", "Звук выкл.", Qt::Key_F5);
        action("ZOLMPlayer1", "Справка: ZOLM Player", Qt::Key_F1);
        action("N2", "О программе...");
        action("ID3Tag1", "Показать ID3Tag");
        action("N15", "Сортировать по имени");
        row("main", "N12", {{"text", QStringLiteral("__________")}, {"shortcut", QKeySequence()}, {"enabled", false}});
        row("main", "File1", {{"title", QStringLiteral("Файл")}});
        row("main", "N5", {{"title", QStringLiteral("Играть")},
                           {"actions", QStringList{"N8", "N6", "N9", "N7", "N10", "N12", "N11", "N13", "N14"}}});
        row("main", "N1", {{"title", QStringLiteral("Справка")}});
        row("about", "", {{"windowTitle", QStringLiteral("О программе")}, {"size", QSize(392, 288)}});
        row("about", "Panel1", {{"geometry", QRect(8, 8, 377, 249)}});
        row("about", "OKButton", {{"text", QStringLiteral("Угу")}, {"geometry", QRect(159, 260, 75, 25)}});
        row("about", "ProductName", {{"text", QStringLiteral("ZOLM Player")}});
        row("about", "Version", {{"text", QStringLiteral("Version 1.0")}, {"pos", QPoint(216, 48)}});
        row("help", "", {{"windowTitle", QStringLiteral("Помощь!")}, {"size", QSize(737, 450)}});
        row("help", "Memo1", {{"geometry", QRect(8, 24, 721, 417)}});
        row("help", "Button1", {{"text", QStringLiteral("X")}, {"geometry", QRect(712, 0, 20, 20)}});
    }
    void windowsCarryTheirCaptionsTextsAndSizes()
    {
        QFETCH(QString, window);
        QFETCH(QString, object);
        QFETCH(QVariantMap, properties);
        PlayerHarness h;
        QWidget *w = h.Start();
        if (window == QLatin1String("about"))
            h.form->N2Click(), w = AboutBox; // built at its first showing
        else if (window == QLatin1String("help"))
            h.form->ZOLMPlayer1Click(), w = helpp;
        QObject *o = object.isEmpty() ? w : w->findChild<QObject *>(object);
        QVERIFY(o);
        for (auto it = properties.cbegin(); it != properties.cend(); ++it) {
            QVariant got = o->property(it.key().toLatin1());
            if (it.key() == QLatin1String("actions")) {
                QStringList names;
                for (const QAction *a : qobject_cast<QWidget *>(o)->actions())
                    names << a->objectName();
                got = names;
            }
            QVERIFY2(got.isValid(), qPrintable(it.key()));
            QCOMPARE(got, it.value());
        }
    }
};

QTEST_MAIN(TestWindows)
#include "tst_windows.moc"
