// The windows' captions, texts, shortcuts, sizes and places: one row per widget,
// menu or action, found by its object name, and the Qt properties it must carry.
#include "player/PlayerHarness.h"

#include <QtTest>

class TestWindows : public QObject {
    Q_OBJECT
private slots:
    void windowsCarryTheirCaptionsTextsAndSizes_data()
    {
        QTest::addColumn<QString>("window"); // main, about, help or tag
        QTest::addColumn<QString>("object"); // empty: the window itself
        QTest::addColumn<QVariantMap>("properties"); // and the values Read() adds
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
        row("main", "ClientArea", {{"size", QSize(362, 422)}, {"background", QColor(166, 202, 240)}});
        row("main", "ListBox1", {{"geometry", QRect(8, 136, 305, 280)}});
        row("main", "TrackBar2", {{"geometry", QRect(8, 85, 265, 15)}, {"maximum", 10}, {"tickInterval", 1}});
        row("main", "TrackBar1", {{"geometry", QRect(326, 170, 25, 150)}});
        row("main", "SpeedButton4", {{"geometry", QRect(318, 376, 38, 38)}});
        row("main", "SpeedButton5",
            {{"toolTip", QStringLiteral("Проиграть")}, {"focusPolicy", QVariant::fromValue(Qt::NoFocus)}});
        row("about", "", {{"windowTitle", QStringLiteral("О программе")}, {"size", QSize(392, 288)}});
        row("about", "Panel1", {{"geometry", QRect(8, 8, 377, 249)}});
        row("about", "OKButton", {{"text", QStringLiteral("Угу")}, {"geometry", QRect(159, 260, 75, 25)}});
        row("about", "ProductName", {{"text", QStringLiteral("ZOLM Player")}});
        row("about", "Version", {{"text", QStringLiteral("Version 1.0")}, {"pos", QPoint(216, 48)}});
        row("help", "", {{"windowTitle", QStringLiteral("Помощь!")}, {"size", QSize(737, 450)}});
        row("help", "Memo1", {{"geometry", QRect(8, 24, 721, 417)}});
        row("help", "Button1", {{"text", QStringLiteral("X")}, {"geometry", QRect(712, 0, 20, 20)}});
        row("tag", "", {{"windowTitle", QStringLiteral("ID3Tag")}, {"size", QSize(305, 209)}, {"pos", QPoint(644, 439)}});
        row("tag", "GroupBox1", {{"title", QStringLiteral("ID3Tag v1")}, {"geometry", QRect(8, 8, 289, 193)}});
        // Labels are sized to their text and keep their right edges, next to their boxes.
        const auto label = [&](const char *name, const char *text, int right, int y) {
            row("tag", name, {{"text", QString::fromUtf8(text)}, {"right", right}, {"y", y}, {"height", 13},
                              {"parent", QStringLiteral("GroupBox1")}});
        };
        label("Label1", "Название", 82, 26);
        label("Label2", "Артист", 81, 58);
        label("Label3", "Альбом", 80, 92);
        label("Label4", "Год", 79, 124);
        label("Label5", "Жанр", 155, 124);
        label("Label6", "Комментарий", 78, 156);
        // Until a tag is read each box shows its own name, whole. edComment sits on the
        // album row, edAlbum on the comment row.
        const auto edit = [&](const char *name, QRect geometry, int maxLength) {
            row("tag", name, {{"text", QString::fromLatin1(name)}, {"geometry", geometry}, {"MaxLength", maxLength},
                              {"parent", QStringLiteral("GroupBox1")}});
        };
        edit("edTitle", {88, 24, 185, 21}, 30);
        edit("edArtist", {88, 56, 185, 21}, 30);
        edit("edComment", {88, 88, 185, 21}, 30);
        edit("edYear", {88, 120, 33, 21}, 4);
        edit("edGenre", {160, 120, 113, 21}, 30);
        edit("edAlbum", {88, 152, 185, 21}, 30);
    }
    void windowsCarryTheirCaptionsTextsAndSizes()
    {
        QFETCH(QString, window);
        QFETCH(QString, object);
        QFETCH(QVariantMap, properties);
        PlayerHarness h;
        TForm1 *f = h.Start();
        // The About box is built at its first showing; the tag window as that does, without reading a tag.
        QWidget *const w = window == QLatin1String("about") ? (f->N2Click(), AboutBox)
                           : window == QLatin1String("help") ? (f->ZOLMPlayer1Click(), helpp)
                           : window == QLatin1String("tag")  ? (ID3Tag->BuildContents(), ID3Tag)
                                                             : static_cast<QWidget *>(f);
        QObject *o = object.isEmpty() ? w : w->findChild<QObject *>(object);
        QVERIFY(o);
        for (auto it = properties.cbegin(); it != properties.cend(); ++it) {
            const QVariant got = Read(o, it.key());
            QVERIFY2(got.isValid(), qPrintable(it.key()));
            QCOMPARE(got, it.value());
        }
    }

private:
    // A Qt property, or one of the values Qt has no property for.
    static QVariant Read(QObject *o, const QString &key)
    {
        auto *w = qobject_cast<QWidget *>(o);
        if (key == QLatin1String("actions")) { // a menu's actions by name
            QStringList names;
            for (const QAction *a : w->actions())
                names << a->objectName();
            return names;
        }
        if (key == QLatin1String("parent"))
            return o->parent()->objectName();
        if (key == QLatin1String("right")) // one past the right edge
            return w->geometry().right() + 1;
        if (key == QLatin1String("background"))
            return w->palette().color(QPalette::Window);
        if (key == QLatin1String("MaxLength")) // the limit on typing
            return qobject_cast<TEdit *>(o)->MaxLength();
        return o->property(key.toLatin1());
    }
};

QTEST_MAIN(TestWindows)
#include "tst_windows.moc"
