#include "player/Unit1.h"

#include "media/MPlayer.h"
#include "player/Accessibility.h"
#include "player/ClockLabel.h"
#include "player/Controls.h"
#include "player/Glyphs.h"
#include "player/Session.h"
#include "runtime/Captions.h"
#include "runtime/Colours.h"
#include "runtime/Desktop.h"
#include "runtime/Errors.h"
#include "runtime/Fonts.h"
#include "runtime/SecondaryWindow.h"
#include "runtime/TextCodec.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>

TForm1 *Form1 = nullptr;

TTrayIconRecord TrayIconRecord;

void ResetPlayerState()
{
    TrayIconRecord = TTrayIconRecord();
}

namespace {

// Connects a control's event to a handler of the main window; an error that
// escapes the handler goes to the error box.
template <typename Sender, typename Signal>
void On(Sender *sender, Signal signal, TForm1 *form, void (TForm1::*handler)())
{
    QObject::connect(sender, signal, form, [form, handler] { RunHandler([&] { (form->*handler)(); }); });
}

} // namespace

TForm1::TForm1(QWidget *parent) : QMainWindow(parent), session_(new TPlayerSession(this))
{
    Form1 = this;
    SetMainWindow(this);
    setObjectName(QStringLiteral("Form1"));
    SetCaption(this, QStringLiteral("ZOLM Player"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowIcon(glyphs::ProgramIcon());
    setFont(NamedFont(QStringLiteral("MS Sans Serif"), 11));
    setLayoutDirection(Qt::LeftToRight);

    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    client->setFixedSize(362, 422);
    client->setAutoFillBackground(true);
    QPalette pal = client->palette();
    pal.setColor(QPalette::Window, QColor(166, 202, 240));
    // What is drawn straight on the sky blue (the sliders' tick marks) in the theme's
    // text colour where it reads there; a dark theme's light one would not.
    colours::PairText(pal, QPalette::Window, QPalette::WindowText, QPalette::WindowText);
    client->setPalette(pal);
    setCentralWidget(client);

    CreateControls();
    CreateMenus();
    DescribeForScreenReaders(this);
    setAcceptDrops(true); // a folder dropped from the file manager is opened
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    FrameMainWindow(this);

    RunHandler([this] { FormCreate(); });
}

TForm1::~TForm1()
{
    FormDestroy();
    if (Form1 == this)
        Form1 = nullptr;
}

void TForm1::CreateControls()
{
    QWidget *c = centralWidget();
    auto button = [c](const char *name, int x, int y, int w, int h, const QString &hint, const QPixmap &glyph) {
        auto *b = new TSpeedButton(c);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(x, y, w, h);
        b->setToolTip(hint);
        b->SetGlyph(glyph);
        return b;
    };

    Shape1 = new TShape(c);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(8, 8, 345, 70);

    SpeedButton1 = button("SpeedButton1", 8, 110, 30, 21, QStringLiteral("Предыдущая"), glyphs::Previous());
    SpeedButton2 = button("SpeedButton2", 98, 110, 30, 21, QStringLiteral("Стоп"), glyphs::Stop());
    SpeedButton3 = button("SpeedButton3", 128, 110, 30, 21, QStringLiteral("Следующая"), glyphs::Next());
    SpeedButton4 = button("SpeedButton4", 318, 376, 38, 38, QStringLiteral("Открыть директорию..."), glyphs::Folder());

    Label1 = new QLabel(c);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(14, 42, 315, 30);
    Label1->setToolTip(QStringLiteral("Текущая композиция"));
    Label1->setTextFormat(Qt::PlainText); // file names may hold "<" and "&"
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label1->setFont(NamedFont(QStringLiteral("MS Sans Serif"), 11, true));
    {
        QPalette p = Label1->palette();
        p.setColor(QPalette::WindowText, QColor(0, 0, 128));
        Label1->setPalette(p);
    }

    Label2 = new ClockLabel(QStringLiteral("0:00"), c);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->move(22, 16);
    Label2->setToolTip(QStringLiteral("Текущее время композиции"));
    Label2->setTextFormat(Qt::PlainText);
    {
        Label2->setFont(NamedFont(QStringLiteral("Courier New"), 20, true));
        QPalette p = Label2->palette();
        p.setColor(QPalette::Window, p.color(QPalette::ToolTipBase));
        colours::PairText(p, QPalette::Window, QPalette::WindowText, QPalette::ToolTipText);
        Label2->setPalette(p);
        Label2->setAutoFillBackground(true);
        Label2->adjustSize();
    }

    SpeedButton5 = button("SpeedButton5", 38, 110, 30, 21, QStringLiteral("Проиграть"), glyphs::Play());
    SpeedButton6 = button("SpeedButton6", 68, 110, 30, 21, QStringLiteral("Пауза"), glyphs::Pause());
    SpeedButton6->SetGroupIndex(2);
    MuteButton = button("MuteButton", 323, 320, 28, 30, QStringLiteral("Звук выкл./вкл."), glyphs::Mute());
    MuteButton->SetGroupIndex(1);
    shuffle = button("shuffle", 283, 88, 30, 28, QStringLiteral("Переключатель случайного воспроизведения"),
                     glyphs::Shuffle());
    shuffle->SetGroupIndex(3);
    RepeatButton = button("RepeatButton", 323, 88, 30, 28, QStringLiteral("Переключатель повтора плейлиста/песни"),
                          glyphs::Repeat());
    RepeatButton->SetGroupIndex(4);
    GoToTrayButton = button("GoToTrayButton", 323, 125, 30, 28, QStringLiteral("Свернуть в трей"), glyphs::Tray());

    ListBox1 = new TListBox(c);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setGeometry(8, 136, 305, 280);
    ListBox1->setContextMenuPolicy(Qt::CustomContextMenu);
    {
        // The selected entry: some themes' selection colour is too light for their
        // selected-text colour (Qt's GTK theme with Adwaita-dark): darker then, with
        // room for the lighter top of the shading styles give it (Fusion's).
        QPalette p = ListBox1->palette();
        for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive})
            p.setColor(g, QPalette::Highlight,
                       colours::Readable(p.color(g, QPalette::Highlight), p.color(g, QPalette::HighlightedText), 6));
        ListBox1->setPalette(p);
    }

    TrackBar1 = new TTrackBar(Qt::Vertical, c);
    TrackBar1->setObjectName(QStringLiteral("TrackBar1"));
    TrackBar1->setGeometry(326, 170, 25, 150);
    TrackBar1->setToolTip(QStringLiteral("Уровень звука"));
    TrackBar1->setInvertedAppearance(true); // position 0 at the top
    TrackBar1->setInvertedControls(true);   // the down arrow moves the thumb down
    TrackBar1->setTickPosition(QSlider::TicksRight);
    TrackBar1->setRange(0, 20);
    TrackBar1->SetMax(20);
    TrackBar1->setSingleStep(1);
    TrackBar1->setPageStep(2);
    TrackBar1->setValue(0);

    MediaPlayer1 = session_->Media();

    TrackBar2 = new TTrackBar(Qt::Horizontal, c);
    TrackBar2->setObjectName(QStringLiteral("TrackBar2"));
    TrackBar2->setGeometry(8, 85, 265, 15);
    TrackBar2->setToolTip(QStringLiteral("Полоса прокрутки"));
    TrackBar2->setTickPosition(QSlider::TicksBelow);
    TrackBar2->setRange(0, 10);
    TrackBar2->SetMax(10);
    TrackBar2->setSingleStep(1);
    TrackBar2->setPageStep(1);
    TrackBar2->setValue(0);

    Timer1 = session_->Clock();

    // Tab order: the list, the seek bar, the volume slider.
    setTabOrder(ListBox1, TrackBar2);
    setTabOrder(TrackBar2, TrackBar1);
    ListBox1->setFocus();

    On(SpeedButton1, &TSpeedButton::Click, this, &TForm1::SpeedButton1Click);
    On(SpeedButton2, &TSpeedButton::Click, this, &TForm1::SpeedButton2Click);
    On(SpeedButton3, &TSpeedButton::Click, this, &TForm1::SpeedButton3Click);
    On(SpeedButton4, &TSpeedButton::Click, this, &TForm1::SpeedButton4Click);
    On(SpeedButton5, &TSpeedButton::Click, this, &TForm1::SpeedButton5Click);
    On(SpeedButton6, &TSpeedButton::Click, this, &TForm1::SpeedButton6Click);
    On(MuteButton, &TSpeedButton::Click, this, &TForm1::MuteButtonClick);
    On(shuffle, &TSpeedButton::Click, this, &TForm1::shuffleClick);
    On(RepeatButton, &TSpeedButton::Click, this, &TForm1::RepeatButtonClick);
    On(GoToTrayButton, &TSpeedButton::Click, this, &TForm1::GoToTrayButtonClick);
    On(ListBox1, &TListBox::Click, this, &TForm1::ListBox1Click);
    On(TrackBar1, &TTrackBar::Change, this, &TForm1::TrackBar1Change);
    On(TrackBar2, &TTrackBar::Change, this, &TForm1::TrackBar2Change);

    connect(session_, &TPlayerSession::Shown, this, &TForm1::Redraw);
    connect(session_, &TPlayerSession::PauseReleased, this, &TForm1::PauseReleased);
}

void TForm1::CreateMenus()
{
    auto item = [this](QMenu *menu, const char *name, const QString &caption, QKeySequence shortcut,
                       void (TForm1::*handler)()) {
        auto *a = new QAction(caption, this);
        a->setObjectName(QLatin1String(name));
        if (!shortcut.isEmpty())
            a->setShortcut(shortcut);
        if (handler)
            On(a, &QAction::triggered, this, handler);
        menu->addAction(a);
        addAction(a); // the shortcut works while the menu is closed
        return a;
    };

    // The menu belongs in the window, also where the desktop offers a global menu bar.
    menuBar()->setNativeMenuBar(false);
    File1 = menuBar()->addMenu(QStringLiteral("Файл"));
    File1->setObjectName(QStringLiteral("File1"));
    N3 = item(File1, "N3", QStringLiteral("Играть директорию..."), QKeySequence(Qt::CTRL | Qt::Key_O), &TForm1::N3Click);
    N4 = item(File1, "N4", QStringLiteral("Выход"), QKeySequence(Qt::CTRL | Qt::Key_Q), &TForm1::N4Click);

    N5 = menuBar()->addMenu(QStringLiteral("Играть"));
    N5->setObjectName(QStringLiteral("N5"));
    N8 = item(N5, "N8", QStringLiteral("Предыдущая"), QKeySequence(Qt::CTRL | Qt::Key_Z), &TForm1::N8Click);
    N6 = item(N5, "N6", QStringLiteral("Играть"), QKeySequence(Qt::CTRL | Qt::Key_X), &TForm1::N6Click);
    N9 = item(N5, "N9", QStringLiteral("Пауза"), QKeySequence(Qt::CTRL | Qt::Key_C), &TForm1::N9Click);
    N7 = item(N5, "N7", QStringLiteral("Стоп"), QKeySequence(Qt::CTRL | Qt::Key_V), &TForm1::N7Click);
    N10 = item(N5, "N10", QStringLiteral("Следующая"), QKeySequence(Qt::CTRL | Qt::Key_B), &TForm1::N10Click);
    N12 = item(N5, "N12", QStringLiteral("__________"), QKeySequence(), nullptr);
    N12->setEnabled(false);
    N11 = item(N5, "N11", QStringLiteral("Случайно"), QKeySequence(Qt::CTRL | Qt::Key_S), &TForm1::N11Click);
    N13 = item(N5, "N13", QStringLiteral("Повтор"), QKeySequence(Qt::CTRL | Qt::Key_R), &TForm1::N13Click);
    N14 = item(N5, "N14", QStringLiteral("Звук выкл."), QKeySequence(Qt::Key_F5), &TForm1::N14Click);
    for (QAction *a : {N11, N13, N14})
        a->setCheckable(true);

    N1 = menuBar()->addMenu(QStringLiteral("Справка"));
    N1->setObjectName(QStringLiteral("N1"));
    ZOLMPlayer1 = item(N1, "ZOLMPlayer1", QStringLiteral("Справка: ZOLM Player"), QKeySequence(Qt::Key_F1),
                       &TForm1::ZOLMPlayer1Click);
    N2 = item(N1, "N2", QStringLiteral("О программе..."), QKeySequence(), &TForm1::N2Click);

    ListboxPopup = new QMenu(this);
    ListboxPopup->setObjectName(QStringLiteral("ListboxPopup"));
    ID3Tag1 = item(ListboxPopup, "ID3Tag1", QStringLiteral("Показать ID3Tag"), QKeySequence(), &TForm1::ID3Tag1Click);
    N15 = item(ListboxPopup, "N15", QStringLiteral("Сортировать по имени"), QKeySequence(), &TForm1::N15Click);
    connect(ListBox1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { ListboxPopup->popup(ListBox1->viewport()->mapToGlobal(pos)); });
}

void TForm1::FormCreate()
{
    // 1. The tray icon's record; no icon is shown yet.
    TrayIconRecord.uID = 1;
    TrayIconRecord.uFlags = 7;
    TrayIconRecord.uCallbackMessage = 1025;
    TrayIconRecord.hIcon = windowIcon();
    TrayIconRecord.szTip = QStringLiteral("ZOLM Player");
    // 2. The seek bar's thumb hidden, whatever start-up meets next.
    Redraw();
    // 3. The rest is the session's: the folder listed, the first entry named, the volume set.
    session_->Start();
    Redraw();
}

void TForm1::FormDestroy()
{
    if (destroyed_)
        return;
    destroyed_ = true;
    RunHandler([this] { RemoveTrayIcon(); });
    QCoreApplication::quit();
}

void TForm1::N4Click()
{
    QCoreApplication::quit();
}

void TForm1::closeEvent(QCloseEvent *event)
{
    // While it takes no input, the window manager's close request is refused too.
    if (!TPlayerSession::TakesInput() && event->spontaneous()) {
        event->ignore();
        return;
    }
    event->accept();
    QCoreApplication::quit();
}

void TForm1::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized())
        minimisedSinceActive_ = true;
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        minimisedSinceActive_ = false;
    if (event->type() != QEvent::EnabledChange)
        return;
    // A disabled main window takes no input, its shortcuts included.
    const bool enabled = isEnabled();
    for (QAction *a : actions())
        if (a != N12)
            a->setEnabled(enabled);
}

// ---------------------------------------------------------------- secondary windows

void TForm1::N2Click()
{
    OpenSecondaryWindow(SecondaryWindowKind::About, this);
}

void TForm1::ID3Tag1Click()
{
    OpenSecondaryWindow(SecondaryWindowKind::Tags, this);
}

void TForm1::ZOLMPlayer1Click()
{
    OpenSecondaryWindow(SecondaryWindowKind::Help, this);
}
