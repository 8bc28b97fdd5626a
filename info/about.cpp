#include "info/about.h"

#include "info/HeapUse.h"
#include "info/JpegImage.h"
#include "runtime/Centring.h"
#include "runtime/Colours.h"
#include "runtime/Errors.h"
#include "runtime/Fonts.h"
#include "runtime/SecondaryWindow.h"

#include <QDesktopServices>
#include <QFile>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <QUrl>
#include <qdrawutil.h>

TAboutBox *AboutBox = nullptr;

QImage AboutPicture()
{
    // The resource lives in a static library, so it must be registered by hand.
    Q_INIT_RESOURCE(about);
    QFile file(QStringLiteral(":/info/about.jpg"));
    if (!file.open(QIODevice::ReadOnly))
        return QImage();
    return DecodeJpeg(file.readAll());
}

QString HeapUseText(std::uint64_t bytes)
{
    return QStringLiteral("Программа использует ") + QString::number(bytes)
           + QStringLiteral(" байт оперативной памяти.");
}

namespace {

// A panel with a lowered outer and a raised inner bevel.
class TPanel : public QFrame {
public:
    using QFrame::QFrame;
protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        const QRect r = rect();
        qDrawShadePanel(&p, r, palette(), true, 1);
        qDrawShadePanel(&p, r.adjusted(1, 1, -1, -1), palette(), false, 1);
    }
};

QFont Font(const char *family, int pixels, bool bold = false)
{
    return NamedFont(QString::fromLatin1(family), pixels, bold);
}

QLabel *TextLabel(const char *name, const QString &text, int left, int top, const QFont &font, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(font);
    label->move(left, top);
    label->adjustSize();
    return label;
}

} // namespace

void TLinkLabel::mousePressEvent(QMouseEvent *event)
{
    pressed_ = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    pressed_ = false;
    QLabel::mouseReleaseEvent(event);
    if (click)
        emit clicked();
}

TAboutBox::TAboutBox(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("О программе"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(Font("MS Sans Serif", 11));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    colours::PairText(pal, QPalette::Window, QPalette::WindowText, QPalette::ButtonText);
    setPalette(pal);
    setFixedSize(392, 288);
    secondary_ = new SecondaryWindow(this, [this] { BuildContents(); }, [this] { FormClose(); });
}

// The contents come with the first showing: its fonts and picture would only
// weigh on every start-up of a player whose About box is rarely opened.
void TAboutBox::BuildContents()
{
    if (Panel1)
        return;
    Panel1 = new TPanel(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(8, 8, 377, 249);

    ProgramIcon = new QLabel(Panel1);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setGeometry(8, 8, 200, 150);
    ProgramIcon->setScaledContents(true);
    const QImage picture = AboutPicture();
    if (!picture.isNull())
        ProgramIcon->setPixmap(QPixmap::fromImage(picture));
    ProgramIcon->setToolTip(QStringLiteral("Придумали и собрали: Ольга Лебедева и Михаил Зорин"));

    ProductName = TextLabel("ProductName", QStringLiteral("ZOLM Player"), 216, 16, Font("Impact", 21, true), Panel1);
    Version = TextLabel("Version", QStringLiteral("Version 1.0"), 216, 48, Font("MS Sans Serif", 16), Panel1);
    Label1 = TextLabel("Label1", QStringLiteral("© 2024 ZOLM Team"), 216, 72, Font("MS Sans Serif", 16, true), Panel1);
    MakerName = TextLabel("MakerName", QStringLiteral("Михаил Зорин"), 216, 96, Font("MS Sans Serif", 16, true), Panel1);
    MakerName->setToolTip(MakerName->text());

    Label4 = new QLabel(QStringLiteral("Спасибо всем, кто слушал первые сборки, находил ошибки "
                                       "и не давал бросить эту затею."),
                        Panel1);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->setFont(Font("Times New Roman", 13));
    Label4->setWordWrap(true);
    Label4->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label4->setGeometry(8, 168, 361, 49);

    Label3 = TextLabel("Label3", QString(), 8, 215, Font("Times New Roman", 13), Panel1);

    Label2 = new TLinkLabel(QStringLiteral("пишите письма: ") + kContactAddress, Panel1);
    Label2->setObjectName(QStringLiteral("Label2"));
    QFont linkFont = Font("Times New Roman", 13);
    linkFont.setUnderline(true);
    Label2->setFont(linkFont);
    QPalette linkPal = Label2->palette();
    // Blue where it reads on the theme's button face; a lighter blue on a dark one.
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive})
        linkPal.setColor(g, QPalette::WindowText, colours::Readable(Qt::blue, linkPal.color(g, QPalette::Window)));
    Label2->setPalette(linkPal);
    Label2->setCursor(Qt::PointingHandCursor);
    Label2->move(184, 230);
    Label2->adjustSize();
    connect(Label2, &TLinkLabel::clicked, this, [this] { RunHandler([this] { Label2Click(); }); });

    OKButton = new QPushButton(QStringLiteral("Угу"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(159, 260, 75, 25);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, [this] { RunHandler([this] { OKButtonClick(); }); });
}

void TAboutBox::FormShow()
{
    // Read now, at this showing; it is not refreshed while the box stays open.
    Label3->setText(HeapUseText(HeapBytesInUse()));
    Label3->adjustSize();
}

void TAboutBox::Label2Click()
{
    // No mail program is no error: the box just stays as it is.
    QDesktopServices::openUrl(QUrl(QStringLiteral("mailto:") + kContactAddress));
}

void TAboutBox::OKButtonClick()
{
    FormClose();
}

void TAboutBox::FormClose()
{
    secondary_->Close();
}

void TAboutBox::setVisible(bool visible)
{
    if (visible)
        secondary_->Showing();
    QDialog::setVisible(visible);
}

void TAboutBox::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        CentreOnScreenAsShown(this); // at every showing
        RunHandler([this] { FormShow(); });
    }
}

void TAboutBox::reject()
{
    FormClose();
}
