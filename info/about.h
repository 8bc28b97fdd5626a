#pragma once
// TAboutBox: the About box.
#include <QDialog>

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget *parent = nullptr);
    void FormShow();
    void OKButtonClick();
    void FormClose();
protected:
    void showEvent(QShowEvent *event) override;
    void reject() override;
};

extern TAboutBox *AboutBox;
