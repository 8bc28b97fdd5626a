// Every window rendered under each theme and measured: each text at 4.5 : 1 against what
// it is drawn on, the outline of each button picture at 3 : 1 against its button, and the
// pictures and tick marks on whole device pixels at the scale the test runs at
// (QT_SCALE_FACTOR). With ZOLM_REAL_THEME set the theme is the one the desktop gives
// (ctest runs the GTK platform theme with Adwaita-dark and the Adwaita-Dark style);
// otherwise the palettes of a light theme and of those two are forced, as they were read.
#include "player/PlayerHarness.h"
#include "player/Glyphs.h"
#include "runtime/Colours.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyleOptionGroupBox>
#include <QtTest>
#include <map>

namespace {

// Active colours by role: Window, WindowText, Base, Text, Button, ButtonText, ToolTipBase,
// ToolTipText, Highlight, HighlightedText, Dark, Light, Mid, Midlight, Shadow.
QPalette Palette(const QStringList &c)
{
    QPalette p{QColor(c[4]), QColor(c[0])};
    const QPalette::ColorRole roles[] = {QPalette::Window, QPalette::WindowText, QPalette::Base, QPalette::Text, QPalette::Button,
        QPalette::ButtonText, QPalette::ToolTipBase, QPalette::ToolTipText, QPalette::Highlight, QPalette::HighlightedText,
        QPalette::Dark, QPalette::Light, QPalette::Mid, QPalette::Midlight, QPalette::Shadow};
    for (int i = 0; i < int(std::size(roles)); ++i)
        for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive})
            p.setColor(g, roles[i], QColor(c[i]));
    return p;
}

const std::map<QString, QPalette> &Themes()
{
    static const std::map<QString, QPalette> themes{
        {"light", Palette({"#efefef", "#000000", "#ffffff", "#000000", "#efefef", "#000000", "#ffffdc", "#000000",
                           "#308cc6", "#ffffff", "#9f9f9f", "#ffffff", "#b8b8b8", "#cacaca", "#767676"})},
        // Qt's GTK platform theme with GTK_THEME=Adwaita:dark (its tooltips stay pale).
        {"gtk-adwaita-dark", Palette({"#323232", "#f0f0f0", "#242424", "#f0f0f0", "#323232", "#f0f0f0", "#ffffdc", "#000000",
                                      "#308cc6", "#f0f0f0", "#212121", "#4b4b4b", "#262626", "#2a2a2a", "#191919"})},
        // The Adwaita-Dark style (adwaita-qt6).
        {"adwaita-dark-style", Palette({"#353535", "#eeeeec", "#2d2d2d", "#eeeeec", "#373737", "#eeeeec", "#262626", "#ffffff",
                                        "#15539e", "#ffffff", "#1e1e1e", "#515151", "#2a2a2a", "#444444", "#000000"})},
    };
    return themes;
}

QColor MostCommon(const QImage &img)
{
    QHash<QRgb, int> count;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            ++count[img.pixel(x, y) | 0xff000000u];
    return count.isEmpty() ? QColor(Qt::black) : QColor::fromRgb(std::max_element(count.cbegin(), count.cend()).key());
}

// The text's contrast: its purest pixel (the one standing out most) against the most common colour.
double TextContrast(const QImage &crop)
{
    const QColor bg = MostCommon(crop);
    double best = 1;
    for (int y = 0; y < crop.height(); ++y)
        for (int x = 0; x < crop.width(); ++x)
            best = std::max(best, colours::Contrast(QColor::fromRgb(crop.pixel(x, y)), bg));
    return best;
}

// The lowest contrast of a picture's outline (its pixels beside the face) against the face.
double OutlineContrast(const QImage &crop)
{
    const QRgb face = MostCommon(crop).rgb();
    const auto faceAt = [&](int x, int y) { return (crop.pixel(x, y) | 0xff000000u) == face; };
    double worst = 21;
    for (int y = 1; y + 1 < crop.height(); ++y)
        for (int x = 1; x + 1 < crop.width(); ++x)
            if (!faceAt(x, y) && (faceAt(x - 1, y) || faceAt(x + 1, y) || faceAt(x, y - 1) || faceAt(x, y + 1)))
                worst = std::min(worst, colours::Contrast(QColor::fromRgb(crop.pixel(x, y)), QColor::fromRgb(face)));
    return worst;
}

struct Item {
    QString name;
    QRect rect; // in the window's logical pixels
    bool picture = false;
};

QRect In(QWidget *w, QWidget *window, QRect r)
{
    return QRect(w->mapTo(window, r.topLeft()), r.size());
}

// Where texts and pictures are drawn, each window's inner parts only (no frames, no bevels).
QList<Item> Items(QWidget *window)
{
    QList<Item> items;
    for (QLabel *l : window->findChildren<QLabel *>())
        if (l->isVisible() && !l->text().isEmpty())
            items.append({l->objectName(), In(l, window, l->contentsRect())});
    for (QPushButton *b : window->findChildren<QPushButton *>())
        if (b->isVisible())
            items.append({b->objectName() + " " + b->text(), In(b, window, b->rect().adjusted(4, 4, -4, -4))});
    for (QLineEdit *e : window->findChildren<QLineEdit *>())
        items.append({e->objectName(), In(e, window, e->rect().adjusted(3, 3, -3, -3))});
    for (QPlainTextEdit *e : window->findChildren<QPlainTextEdit *>())
        items.append({e->objectName(), In(e->viewport(), window, QRect(2, 2, 300, 20))});
    for (QGroupBox *g : window->findChildren<QGroupBox *>()) {
        QStyleOptionGroupBox opt;
        opt.initFrom(g);
        opt.text = g->title();
        opt.subControls = QStyle::SC_GroupBoxLabel;
        items.append({g->objectName(), In(g, window, g->style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, g))});
    }
    for (QMenuBar *m : window->findChildren<QMenuBar *>())
        for (QAction *a : m->actions())
            items.append({"menu " + a->text(), In(m, window, m->actionGeometry(a).adjusted(2, 2, -2, -2))});
    for (TListBox *l : window->findChildren<TListBox *>())
        items.append({l->objectName(), In(l->viewport(), window, l->visualItemRect(l->item(0)).adjusted(1, 0, 0, 0))});
    for (TSpeedButton *b : window->findChildren<TSpeedButton *>())
        items.append({b->objectName(), In(b, window, b->rect().adjusted(2, 2, -2, -2)), true});
    return items;
}

} // namespace

class TestContrast : public QObject {
    Q_OBJECT
private slots:
    void textsAndPicturesReadOnEveryTheme_data()
    {
        QTest::addColumn<QString>("theme");
        QTest::addColumn<QString>("window");
        const QStringList themes = qEnvironmentVariableIsSet("ZOLM_REAL_THEME") ? QStringList{QStringLiteral("real")}
                                                                                : QStringList{"light", "gtk-adwaita-dark", "adwaita-dark-style"};
        for (const QString &t : themes)
            for (const char *w : {"main", "about", "help", "tag", "box"})
                QTest::addRow("%s %s", qPrintable(t), w) << t << QString::fromLatin1(w);
    }
    void textsAndPicturesReadOnEveryTheme()
    {
        QFETCH(QString, theme);
        QFETCH(QString, window);
        const QPalette before = QApplication::palette();
        if (theme != QLatin1String("real"))
            QApplication::setPalette(Themes().at(theme));
        PlayerHarness h;
        TForm1 *form = h.Start(h.MakeFolder("music", {"Песня.wav"}));
        QMessageBox box(QMessageBox::Critical, "ZOLM Player", "Cannot open file \"x.mp3\". File not found.");
        QWidget *const w = window == QLatin1String("about") ? (form->N2Click(), AboutBox)
                           : window == QLatin1String("help") ? (form->ZOLMPlayer1Click(), helpp)
                           : window == QLatin1String("tag")  ? (ID3Tag->BuildContents(), ID3Tag)
                           : window == QLatin1String("box")  ? &box
                                                             : static_cast<QWidget *>(form);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        // Text drawn without smoothing, so its pixels are its colour (smoothed, a small
        // face may have no pixel of it, and would read lower than it is).
        QList<QWidget *> all = w->findChildren<QWidget *>();
        all << w;
        for (QWidget *c : all) {
            QFont f = c->font();
            f.setStyleStrategy(QFont::NoAntialias);
            c->setFont(f);
        }
        const QImage shot = w->grab().toImage();
        const qreal dpr = shot.devicePixelRatio();
        const QList<Item> items = Items(w);
        QVERIFY(items.size() >= 2);
        QStringList low;
        for (const Item &item : items) {
            const QRect device(QPoint(int(item.rect.x() * dpr), int(item.rect.y() * dpr)), item.rect.size() * dpr);
            const QImage crop = shot.copy(device.intersected(shot.rect()));
            const double ratio = item.picture ? OutlineContrast(crop) : TextContrast(crop);
            const double need = item.picture ? colours::kPicture : colours::kText;
            qInfo("%s %s %s %.2f", qPrintable(theme), qPrintable(window), qPrintable(item.name), ratio);
            if (ratio < need)
                low << QStringLiteral("%1 %2").arg(item.name).arg(ratio, 0, 'f', 2);
        }
        QApplication::setPalette(before);
        QVERIFY2(low.isEmpty(), qPrintable(low.join(", ")));
    }

    // Each pixel of a picture a square of whole device pixels, the same size for all,
    // and the picture the design's, colour for colour, on a light face.
    void picturesAndTicksOnWholeDevicePixels()
    {
        PlayerHarness h;
        TForm1 *form = h.Start();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form));
        const qreal dpr = form->devicePixelRatioF();
        for (TSpeedButton *b : form->findChildren<TSpeedButton *>()) {
            const QImage design = colours::ReadablePicture(b->ShownGlyph().toImage(), b->palette().color(QPalette::Button))
                                      .convertToFormat(QImage::Format_ARGB32);
            const QImage shot = b->grab().toImage().convertToFormat(QImage::Format_ARGB32);
            const int k = b->GlyphBlock(dpr);
            QCOMPARE(k, std::max(1, int(dpr + 0.25)));
            // Find the picture's first opaque pixel on the screen, then compare block by block.
            QPoint first(-1, -1);
            for (int y = 0; y < design.height() && first.x() < 0; ++y)
                for (int x = 0; x < design.width() && first.x() < 0; ++x)
                    if (qAlpha(design.pixel(x, y)) == 255)
                        first = QPoint(x, y);
            const auto shownAt = [&](QPoint origin) { // each opaque pixel of the design a k × k block there
                for (int y = 0; y < design.height() * k; ++y)
                    for (int x = 0; x < design.width() * k; ++x) {
                        const QRgb c = design.pixel(x / k, y / k);
                        const QPoint at = origin + QPoint(x, y);
                        if (qAlpha(c) == 255 && (!shot.rect().contains(at) || shot.pixel(at) != c))
                            return false;
                    }
                return true;
            };
            bool found = false;
            for (int oy = 0; oy < shot.height() && !found; ++oy)
                for (int ox = 0; ox < shot.width() && !found; ++ox)
                    found = shownAt(QPoint(ox, oy) - first * k);
            QVERIFY2(found, qPrintable(b->objectName()));
        }
        // The volume slider's tick marks: 21 marks, all equally thick, in device pixels.
        const QImage ticks = form->TrackBar1->grab().toImage().convertToFormat(QImage::Format_ARGB32);
        const QRgb mark = form->TrackBar1->palette().color(QPalette::WindowText).rgb();
        int x = 0, most = 0; // the column the marks cross
        for (int c = 0; c < ticks.width(); ++c) {
            int n = 0;
            for (int y = 0; y < ticks.height(); ++y)
                n += (ticks.pixel(c, y) | 0xff000000u) == (mark | 0xff000000u);
            if (n > most)
                most = n, x = c;
        }
        QList<int> runs;
        for (int y = 0, run = 0; y <= ticks.height(); ++y) {
            const bool on = y < ticks.height() && (ticks.pixel(x, y) | 0xff000000u) == (mark | 0xff000000u);
            if (on)
                ++run;
            else if (run)
                runs << run, run = 0;
        }
        QCOMPARE(runs, QList<int>(21, std::max(1, int(dpr + 0.25))));
    }

    // The program's icon at each size a tray or a scaled screen asks for: drawn at that
    // size (every pixel one of the sixteen colours, opaque or clear, never a smoothed
    // copy of another size), the disc filling it; the packaged small PNGs are these.
    void programIconIsSharpAtEverySize()
    {
        const QIcon icon = glyphs::ProgramIcon();
        const QString packaged = QStringLiteral(QT_TESTCASE_SOURCEDIR "/../../packaging/icons/%1x%1/zolm-player.png");
        for (int size : {16, 22, 24, 32, 33, 36, 48}) {
            const QImage img = icon.pixmap(QSize(size, size), 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
            QCOMPARE(img.size(), QSize(size, size));
            QRect opaque;
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x) {
                    const QRgb c = img.pixel(x, y);
                    QVERIFY2(qAlpha(c) == 0 || (qAlpha(c) == 255 && colours::Standard16().contains(c | 0xff000000u)),
                             qPrintable(QStringLiteral("%1 px at %2,%3: %4").arg(size).arg(x).arg(y).arg(c, 8, 16)));
                    if (qAlpha(c))
                        opaque |= QRect(x, y, 1, 1);
                }
            QVERIFY2(opaque.width() >= size - 2 && opaque.height() >= size - 2, qPrintable(QString::number(size)));
            if (size == 33 || size == 36)
                continue;
            if (qEnvironmentVariableIsSet("ZOLM_WRITE_ICONS"))
                img.save(packaged.arg(size));
            QCOMPARE(QImage(packaged.arg(size)).convertToFormat(QImage::Format_ARGB32), img);
        }
        QVERIFY(icon.availableSizes().contains(QSize(22, 22)) && icon.availableSizes().contains(QSize(24, 24)));
    }
};

QTEST_MAIN(TestContrast)
#include "tst_contrast.moc"
