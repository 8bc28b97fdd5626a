#pragma once
// The ID3v1 reader and the tag window TID3Tag.
#include <QWidget>

class TID3Tag : public QWidget {
    Q_OBJECT
public:
    explicit TID3Tag(QWidget *parent = nullptr);
    void FormShow();
    void FormClose();
protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
};

extern TID3Tag *ID3Tag;
