#include "info/help.h"

#include "runtime/Colours.h"
#include "runtime/Errors.h"
#include "runtime/FileHandle.h"
#include "runtime/Fonts.h"
#include "runtime/SecondaryWindow.h"
#include "runtime/TextCodec.h"

#include <QFrame>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

Thelpp *helpp = nullptr;

namespace {


[[noreturn]] void RaiseTooLarge()
{
    throw Exception(QStringLiteral("Text exceeds memo capacity"));
}

} // namespace

std::optional<QByteArray> ReadHelpFile(const char *path)
{
    struct stat st;
    if (::stat(path, &st) != 0 || S_ISDIR(st.st_mode))
        return std::nullopt;

    // Without waiting: a FIFO of that name must not hold the window up.
    FileHandle file(OpenAndLook(path, O_RDONLY, &st));
    if (file.get() < 0)
        EFOpenError::Raise(path, errno);
    // Only a regular file has text to show; a device could be read forever.
    if (!S_ISREG(st.st_mode))
        return std::nullopt;
    // Others may read it meanwhile, but whoever holds it for writing keeps us out.
    if (::flock(file.get(), LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        EFOpenError::Raise(path, errno);
    if (st.st_size > kMemoCapacity)
        RaiseTooLarge();

    QByteArray bytes;
    bytes.reserve(qsizetype(st.st_size));
    char buf[65536];
    while (const size_t n = file.Read(buf, sizeof buf)) {
        // The file may have grown since it was measured.
        if (bytes.size() + qsizetype(n) > kMemoCapacity)
            RaiseTooLarge();
        bytes.append(buf, qsizetype(n));
    }
    return bytes;
}

QString HelpText(const QByteArray &bytes)
{
    const QString text = DisplayText(bytes);
    QString out(text.size(), Qt::Uninitialized);
    QChar *o = out.data();
    const QChar *p = text.constData();
    const QChar *end = p + text.size();
    while (p < end) {
        const char16_t c = p->unicode();
        ++p;
        if (c == u'\r') {
            if (p < end && p->unicode() == u'\n')
                ++p;
            *o++ = u'\n';
        } else if (c == 0) {
            // A NUL would end the text for most readers of it; show the rest.
            *o++ = u' ';
        } else {
            *o++ = c;
        }
    }
    out.truncate(o - out.constData());
    return out;
}

Thelpp::Thelpp(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("helpp"));
    setWindowTitle(QStringLiteral("Помощь!"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setFont(NamedFont(QStringLiteral("MS Sans Serif"), 11));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Dark));
    setPalette(pal);
    setAutoFillBackground(true);
    setFixedSize(737, 450);
    // Closed some other way than by "X" (the window manager's close key), it
    // gives the main window back all the same.
    secondary_ = new SecondaryWindow(this, [this] { BuildContents(); }, [this] { Button1Click(); });
}

// The text box comes with the first filling or showing: its font and editor would
// only weigh on every start-up of a player whose help is rarely opened.
void Thelpp::BuildContents()
{
    if (Bevel1)
        return;
    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Bevel1->setGeometry(8, 24, 721, 417);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(8, 24, 721, 417);
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setFont(NamedFont(QStringLiteral("Lucida Console"), 16));
    QPalette memoPal = Memo1->palette();
    // Qt knows no title-bar colour; this is the classic active caption blue.
    memoPal.setColor(QPalette::Base, QColor(153, 180, 209));
    // The window's text colour where it reads on that fixed blue (a dark theme's light one does not).
    colours::PairText(memoPal, QPalette::Base, QPalette::Text, QPalette::WindowText);
    Memo1->setPalette(memoPal);

    Button1 = new QPushButton(QStringLiteral("X"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(712, 0, 20, 20);
    connect(Button1, &QPushButton::clicked, this, [this] { RunHandler([this] { Button1Click(); }); });

    setTabOrder(Memo1, Button1);
}

void Thelpp::FillHelpText()
{
    BuildContents();
    Memo1->clear();
    if (const std::optional<QByteArray> bytes = ReadHelpFile(kHelpFileName))
        Memo1->setPlainText(HelpText(*bytes));
    else
        Memo1->setPlainText(kHelpMissingLine);
}

void Thelpp::Button1Click()
{
    secondary_->Close();
}

void Thelpp::setVisible(bool visible)
{
    // Centred over a main window near the screen's edge, the window would
    // hang partly off screen; with no title bar to drag it back, its "X"
    // could be out of reach. Keep it whole on the screen.
    if (visible && !isVisible()) {
        QScreen *screen = QGuiApplication::screenAt(geometry().center());
        if (!screen)
            screen = QGuiApplication::primaryScreen();
        if (screen) {
            const QRect area = screen->availableGeometry();
            QPoint p = pos();
            p.setX(qBound(area.left(), p.x(), qMax(area.left(), area.right() + 1 - width())));
            p.setY(qBound(area.top(), p.y(), qMax(area.top(), area.bottom() + 1 - height())));
            move(p);
        }
    }
    if (visible)
        secondary_->Showing();
    QWidget::setVisible(visible);
}
