#pragma once
// The elapsed-time label. It changes once a second while a track plays, and a label lays its
// text out anew at every paint; this one keeps each character it has drawn as prepared text
// and sets the characters side by side, so a second's repaint shapes nothing.
#include <QFont>
#include <QHash>
#include <QLabel>
#include <QStaticText>

class ClockLabel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    struct Glyph {
        QStaticText text;
        int advance = 0;
    };
    QHash<QChar, Glyph> glyphs_;
    QFont preparedFor_;
};
