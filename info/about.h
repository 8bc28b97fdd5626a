#pragma once
// TAboutBox: the About box.
#include <QDialog>
#include <QLabel>
#include <QString>
#include <cstdint>

class QFrame;
class QImage;
class QPushButton;
class SecondaryWindow;

// A label that reports a left click (press and release over it).
class TLinkLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void clicked();
protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
private:
    bool pressed_ = false;
};

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget *parent = nullptr);
    void FormShow();
    void OKButtonClick();
    void FormClose();
    void Label2Click();

    QFrame *Panel1 = nullptr;
    QLabel *ProgramIcon = nullptr;
    QLabel *ProductName = nullptr;
    QLabel *Version = nullptr;
    QLabel *Label1 = nullptr;    // rights notice
    QLabel *MakerName = nullptr;
    QLabel *Label4 = nullptr;    // thanks note
    QLabel *Label3 = nullptr;    // heap use
    TLinkLabel *Label2 = nullptr; // mail link
    QPushButton *OKButton = nullptr;

    void setVisible(bool visible) override;
    // Creates the panel, picture, labels and button (done by the first showing).
    void BuildContents();

protected:
    void showEvent(QShowEvent *event) override;
    void reject() override;

private:
    SecondaryWindow *secondary_;
};

extern TAboutBox *AboutBox;

inline const QString kContactAddress = QStringLiteral("zp@zolm.example");

// The picture shown in the About box, decoded from the program's resources.
QImage AboutPicture();
// The heap-use line for a figure.
QString HeapUseText(std::uint64_t bytes);
