#include "player/Controls.h"

#include "app/TextCodec.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QStyleOptionSlider>
#include <QStylePainter>
#include <algorithm>
#include <qdrawutil.h>

// ---------------------------------------------------------------- TSpeedButton

TSpeedButton::TSpeedButton(QWidget *parent) : QToolButton(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAutoRaise(false);
}

void TSpeedButton::SetDown(bool value)
{
    if (groupIndex_ == 0)
        value = false;
    if (!value && down_ && !allowAllUp_)
        return;
    if (value == down_)
        return;
    down_ = value;
    update();
    // Screen readers hear a switch latch or release, whichever way it happened.
    QAccessible::State changed;
    changed.checked = true;
    changed.pressed = true;
    QAccessibleStateChangeEvent event(this, changed);
    QAccessible::updateAccessibility(&event);
}

void TSpeedButton::SetNumGlyphs(int value)
{
    numGlyphs_ = std::max(1, value);
    update();
}

void TSpeedButton::SetGlyph(const QPixmap &glyph)
{
    glyph_ = glyph;
    update();
}

QPixmap TSpeedButton::ShownGlyph() const
{
    if (numGlyphs_ <= 1 || glyph_.isNull())
        return glyph_;
    const int w = glyph_.width() / numGlyphs_;
    return glyph_.copy(0, 0, w, glyph_.height());
}

void TSpeedButton::UserClick()
{
    if (groupIndex_ != 0)
        SetDown(!down_);
    emit Click();
}

void TSpeedButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const bool sunken = down_ || mousePressed_;
    p.fillRect(rect(), palette().button());
    qDrawWinButton(&p, rect(), palette(), sunken, nullptr);
    const QPixmap g = ShownGlyph();
    if (!g.isNull()) {
        QPoint at((width() - g.width()) / 2, (height() - g.height()) / 2);
        if (sunken)
            at += QPoint(1, 1);
        p.drawPixmap(at, g);
    }
}

void TSpeedButton::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    mousePressed_ = true;
    update();
}

void TSpeedButton::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return;
    const bool inside = rect().contains(event->position().toPoint());
    if (inside != mousePressed_) {
        mousePressed_ = inside;
        update();
    }
}

void TSpeedButton::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const bool wasPressed = mousePressed_;
    mousePressed_ = false;
    update();
    if (wasPressed && rect().contains(event->position().toPoint()))
        UserClick();
}

// ---------------------------------------------------------------- TTrackBar

TTrackBar::TTrackBar(Qt::Orientation orientation, QWidget *parent) : QSlider(orientation, parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setTracking(true);
    connect(this, &QAbstractSlider::valueChanged, this, [this] { emit Change(); });
}

void TTrackBar::SetSliderVisible(bool visible)
{
    if (sliderVisible_ == visible)
        return;
    sliderVisible_ = visible;
    update();
}

void TTrackBar::SetMax(int max)
{
    setMaximum(max);
    UpdateTicks();
}

void TTrackBar::UpdateTicks()
{
    const int range = maximum() - minimum();
    setTickInterval(range <= 10000 ? 1 : std::max(1, range));
}

void TTrackBar::paintEvent(QPaintEvent *)
{
    QStylePainter p(this);
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    opt.subControls = QStyle::SC_SliderGroove;
    if (tickPosition() != NoTicks)
        opt.subControls |= QStyle::SC_SliderTickmarks;
    if (sliderVisible_)
        opt.subControls |= QStyle::SC_SliderHandle;
    p.drawComplexControl(QStyle::CC_Slider, opt);
}

void TTrackBar::keyReleaseEvent(QKeyEvent *event)
{
    QSlider::keyReleaseEvent(event);
    switch (event->key()) {
    case Qt::Key_Left: case Qt::Key_Right: case Qt::Key_Up: case Qt::Key_Down:
    case Qt::Key_PageUp: case Qt::Key_PageDown: case Qt::Key_Home: case Qt::Key_End:
        if (!event->isAutoRepeat())
            emit Change(); // the end of the action
        break;
    default:
        break;
    }
}

void TTrackBar::mouseReleaseEvent(QMouseEvent *event)
{
    QSlider::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton)
        emit Change(); // the thumb's release, or the end of a page step
}

// ---------------------------------------------------------------- TListBox

namespace {
// The listing and the sort keep each entry's bytes next to its display text.
constexpr int kBytesRole = Qt::UserRole;
} // namespace

bool NameLess(const QString &a, const QString &b)
{
    return QString::compare(a, b, Qt::CaseInsensitive) < 0;
}

namespace {
// Every row is 13 pixels high, whatever the font would ask for.
class FixedRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return QSize(QStyledItemDelegate::sizeHint(option, index).width(), 13);
    }
};
} // namespace

TListBox::TListBox(QWidget *parent) : QListWidget(parent)
{
    setItemDelegate(new FixedRowDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    setSortingEnabled(false);
}

int TListBox::ItemIndex() const
{
    const QModelIndexList rows = selectionModel()->selectedIndexes();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TListBox::SetItemIndex(int index)
{
    if (index < 0 || index >= count()) {
        clearSelection();
        setCurrentItem(nullptr);
        return;
    }
    setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
}

QByteArray TListBox::NameBytes(int index) const
{
    const QListWidgetItem *it = item(index);
    return it ? it->data(kBytesRole).toByteArray() : QByteArray();
}

QString TListBox::NameText(int index) const
{
    const QListWidgetItem *it = item(index);
    return it ? it->text() : QString();
}

void TListBox::SetNames(const QList<QByteArray> &names)
{
    clear();
    QStringList texts;
    texts.reserve(names.size());
    for (const QByteArray &name : names)
        texts.append(DisplayText(name));
    // One insertion for the whole folder: a row-by-row fill costs ten times as much.
    insertItems(0, texts);
    const QSignalBlocker quiet(model()); // the texts are already shown; only the bytes are added
    for (int i = 0; i < names.size(); ++i)
        item(i)->setData(kBytesRole, names[i]);
}

void TListBox::SortByName()
{
    const int selected = ItemIndex();
    struct Entry { QString text; QString key; QByteArray bytes; };
    std::vector<Entry> entries;
    entries.reserve(count());
    for (int i = 0; i < count(); ++i)
        entries.push_back({item(i)->text(), item(i)->text().toCaseFolded(), NameBytes(i)});
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry &a, const Entry &b) { return a.key < b.key; });
    // Rewrite the rows in place: no rows come or go, so the view keeps its state.
    for (int i = 0; i < int(entries.size()); ++i) {
        item(i)->setText(entries[i].text);
        item(i)->setData(kBytesRole, entries[i].bytes);
    }
    SetItemIndex(selected);
}

void TListBox::keyPressEvent(QKeyEvent *event)
{
    const int before = ItemIndex();
    QListWidget::keyPressEvent(event);
    const int after = ItemIndex();
    if (after != before && after >= 0)
        emit Click();
}

void TListBox::mousePressEvent(QMouseEvent *event)
{
    // The right button opens the context menu and leaves the selection alone.
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    QListWidget::mousePressEvent(event);
    if (itemAt(event->position().toPoint()))
        emit Click();
}

void TListBox::mouseMoveEvent(QMouseEvent *event)
{
    const int before = ItemIndex();
    QListWidget::mouseMoveEvent(event);
    const int after = ItemIndex();
    if ((event->buttons() & Qt::LeftButton) && after != before && after >= 0)
        emit Click();
}

// ---------------------------------------------------------------- TShape

void TShape::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}
