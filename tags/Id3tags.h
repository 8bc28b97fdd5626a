#pragma once
// The ID3v1 reader and the tag window TID3Tag.
#include "tags/Id3v1.h"

#include <QByteArray>
#include <QLineEdit>
#include <QWidget>

class QGroupBox;
class QLabel;
class SecondaryWindow;

// An edit box whose maximum length limits only what the user types: text the
// program sets is shown whole, and a box already over its limit takes no more.
class TEdit : public QLineEdit {
    Q_OBJECT
public:
    TEdit(const QString &name, int maxLength, QWidget *parent);
    int MaxLength() const { return maxLength_; }
    // Sets the text as given, whatever its length.
    void setText(const QString &text);

private:
    friend class TEditLengthLimit;
    int maxLength_;
    int acceptedLength_ = 0;
    bool programSetting_ = false;
};

class TID3Tag : public QWidget {
    Q_OBJECT
public:
    explicit TID3Tag(QWidget *parent = nullptr);
    void FormShow();
    void FormClose();
    // Creates the boxes and labels below; the first showing does it (null until then).
    void BuildContents();
    void setVisible(bool visible) override;

    QGroupBox *GroupBox1 = nullptr;
    QLabel *Label1 = nullptr, *Label2 = nullptr, *Label3 = nullptr, *Label4 = nullptr, *Label5 = nullptr,
           *Label6 = nullptr;
    // edComment sits on the album row and shows the album; edAlbum sits on
    // the comment row and shows the comment. The names are historical.
    TEdit *edTitle = nullptr, *edArtist = nullptr, *edComment = nullptr, *edYear = nullptr, *edGenre = nullptr,
          *edAlbum = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    SecondaryWindow *secondary_;
};

extern TID3Tag *ID3Tag;

// The first line of rez.dat as read at the latest showing of the tag window.
extern QByteArray TagWindowFolder;
// The path the tag window assembled at its latest showing.
extern QByteArray TagFilePath;

// The bytes of a file name shown as text in folder: the caption carries only the
// display text, which maps back to the bytes it was made from.
QByteArray FileNameBytes(const QByteArray &folder, const QString &name);
