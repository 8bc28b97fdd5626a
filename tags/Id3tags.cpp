#include "tags/Id3tags.h"

#include "runtime/Captions.h"
#include "runtime/Colours.h"
#include "runtime/Errors.h"
#include "runtime/Fonts.h"
#include "runtime/SecondaryWindow.h"
#include "runtime/TextCodec.h"
#include "tags/TagPlayer.h"

#include <QGroupBox>
#include <QLabel>
#include <QShowEvent>
#include <QValidator>

#include <sys/stat.h>

TID3Tag *ID3Tag = nullptr;
TagPlayer *TagWindowPlayer = nullptr;
QByteArray TagWindowFolder;
QByteArray TagFilePath;

// Lets the user's typing grow the text up to the box's limit (or not at all
// when the text is already longer); shortening is always allowed. An insertion
// that would go past the limit is cut at the limit.
class TEditLengthLimit : public QValidator {
public:
    explicit TEditLengthLimit(TEdit *edit) : QValidator(edit), edit_(edit) {}
    State validate(QString &input, int &pos) const override
    {
        if (edit_->programSetting_)
            return Acceptable;
        const int limit = qMax(edit_->maxLength_, edit_->acceptedLength_);
        const int excess = int(input.size()) - limit;
        if (excess > 0) {
            // The characters just typed or pasted end at the cursor.
            const int from = qMax(0, pos - excess);
            input.remove(from, pos - from);
            pos = from;
            if (input.size() > limit)
                input.truncate(limit);
        }
        return Acceptable;
    }

private:
    TEdit *edit_;
};

TEdit::TEdit(const QString &name, int maxLength, QWidget *parent) : QLineEdit(parent), maxLength_(maxLength)
{
    setObjectName(name);
    setValidator(new TEditLengthLimit(this));
    connect(this, &QLineEdit::textChanged, this, [this](const QString &t) { acceptedLength_ = int(t.size()); });
    setText(name);
}

void TEdit::setText(const QString &text)
{
    programSetting_ = true;
    QLineEdit::setText(text);
    programSetting_ = false;
    acceptedLength_ = int(text.size());
}

QByteArray FileNameBytes(const QByteArray &folder, const QString &name)
{
    // Several byte strings may show as one text (a UTF-8 name and its windows-1251 twin);
    // the one that names a file in the folder is meant.
    const QList<QByteArray> sources = DisplayTextSources(name);
    struct stat st;
    for (const QByteArray &bytes : sources)
        if (::lstat((folder + bytes).constData(), &st) == 0)
            return bytes;
    return sources.isEmpty() ? name.toUtf8() : sources.first();
}

namespace {

// A right-aligned label sized to its text, its right edge where the layout puts it.
QLabel *RightLabel(const char *name, const QString &caption, int left, int top, int width, QWidget *parent)
{
    auto *label = new QLabel(caption, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    const int right = left + width;
    const int textWidth = label->fontMetrics().horizontalAdvance(caption) + 1;
    label->setGeometry(qMax(0, right - textWidth), top, qMin(right, textWidth), 13);
    return label;
}

} // namespace

TID3Tag::TID3Tag(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ID3Tag"));
    setWindowTitle(QStringLiteral("ID3Tag"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(NamedFont(QStringLiteral("MS Sans Serif"), 11));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    colours::PairText(pal, QPalette::Window, QPalette::WindowText, QPalette::ButtonText);
    setPalette(pal);
    setAutoFillBackground(true);
    setFixedSize(305, 209);
    secondary_ = new SecondaryWindow(this, [this] { BuildContents(); }, [this] { FormClose(); });
    // Where the window first appears; later showings keep wherever the user moved it.
    move(644, 439);
}

// The boxes and labels come with the first showing: their font and line edits
// would only weigh on every start-up of a player whose tag window is rarely opened.
void TID3Tag::BuildContents()
{
    if (GroupBox1)
        return;
    GroupBox1 = new QGroupBox(QStringLiteral("ID3Tag v1"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(8, 8, 289, 193);

    Label1 = RightLabel("Label1", QStringLiteral("Название"), 32, 26, 50, GroupBox1);
    Label2 = RightLabel("Label2", QStringLiteral("Артист"), 46, 58, 35, GroupBox1);
    Label3 = RightLabel("Label3", QStringLiteral("Альбом"), 41, 92, 39, GroupBox1);
    Label4 = RightLabel("Label4", QStringLiteral("Год"), 61, 124, 18, GroupBox1);
    Label5 = RightLabel("Label5", QStringLiteral("Жанр"), 126, 124, 29, GroupBox1);
    Label6 = RightLabel("Label6", QStringLiteral("Комментарий"), 8, 156, 70, GroupBox1);

    auto edit = [this](const char *name, int maxLength, int left, int top, int width) {
        auto *e = new TEdit(QString::fromLatin1(name), maxLength, GroupBox1);
        e->setGeometry(left, top, width, 21);
        return e;
    };
    edTitle = edit("edTitle", 30, 88, 24, 185);
    edArtist = edit("edArtist", 30, 88, 56, 185);
    edComment = edit("edComment", 30, 88, 88, 185); // album row
    edYear = edit("edYear", 4, 88, 120, 33);
    edGenre = edit("edGenre", 30, 160, 120, 113);
    edAlbum = edit("edAlbum", 30, 88, 152, 185); // comment row
    setTabOrder(edTitle, edArtist);
    setTabOrder(edArtist, edComment);
    setTabOrder(edComment, edYear);
    setTabOrder(edYear, edGenre);
    setTabOrder(edGenre, edAlbum);
}

void TID3Tag::FormShow()
{
    TagPlayer *player = TagWindowPlayer;
    // 1. The remembered folder, read again: the main window may have changed it.
    TagWindowFolder = player ? player->RememberedFolderNow() : QByteArray();
    // 2. The caption is "ZOLM Player - " and the name of the entry last started.
    const QString name = player ? player->CaptionName() : QString();
    // 3. The caption names the entry last started: its own bytes, even where another
    // name shows alike. A caption naming something else is looked up in the folder.
    const bool started = player && !name.isEmpty() && name == player->StartedNameText();
    TagFilePath = TagWindowFolder + (started ? player->StartedNameBytes() : FileNameBytes(TagWindowFolder, name));
    // 4. The player must let go of the file: the reader opens it exclusively.
    if (player)
        player->StopPlayback();
    // 5. Each field lands on the row whose label names it.
    ReadID3v1Tag(TagFilePath, edTitle, edArtist, edAlbum, edYear, edGenre, edComment);
    // 6. The selected entry starts again from its beginning.
    if (player)
        player->PlayCurrent();
}

void TID3Tag::FormClose()
{
    secondary_->Close();
}

void TID3Tag::setVisible(bool visible)
{
    if (visible)
        secondary_->Showing();
    QWidget::setVisible(visible);
}

void TID3Tag::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        RunHandler([this] { FormShow(); });
}
