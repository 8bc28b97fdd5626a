#include "player/ClockLabel.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStyle>

void ClockLabel::paintEvent(QPaintEvent *event)
{
    // Only the plain one-line text the clock shows: anything else is drawn as any label's.
    const QString t = text();
    if (textFormat() != Qt::PlainText || t.contains(QLatin1Char('\n')) || alignment() != (Qt::AlignLeft | Qt::AlignVCenter) ||
        margin() != 0 || indent() > 0) {
        QLabel::paintEvent(event);
        return;
    }
    if (font() != preparedFor_) {
        glyphs_.clear();
        preparedFor_ = font();
    }
    const QFontMetrics fm(font());
    QPainter p(this);
    p.setFont(font());
    p.setPen(palette().color(isEnabled() ? QPalette::Normal : QPalette::Disabled, foregroundRole()));
    const QRect cr = contentsRect();
    // Where a label puts the line: vertically centred, from the left edge.
    int x = cr.left();
    const int y = cr.top() + (cr.height() - fm.height()) / 2;
    for (const QChar c : t) {
        auto it = glyphs_.find(c);
        if (it == glyphs_.end()) {
            Glyph g;
            g.text.setText(QString(c));
            g.text.setTextFormat(Qt::PlainText);
            g.text.setPerformanceHint(QStaticText::AggressiveCaching);
            g.text.prepare(QTransform(), font());
            g.advance = fm.horizontalAdvance(c);
            it = glyphs_.insert(c, g);
        }
        p.drawStaticText(x, y, it->text);
        x += it->advance;
    }
}
