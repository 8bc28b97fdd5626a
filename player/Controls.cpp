#include "player/Controls.h"

#include "runtime/Colours.h"
#include "runtime/TextCodec.h"

#include <QAccessible>
#include <QAbstractListModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QStyleOptionSlider>
#include <QStylePainter>
#include <algorithm>
#include <cmath>
#include <utility>
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

int TSpeedButton::GlyphBlock(qreal dpr) const
{
    const QPixmap g = ShownGlyph();
    if (g.isNull())
        return 1;
    // Whole device pixels for each pixel of the picture (uneven ones blur it at 1.25
    // or 1.5), as many as fit inside the button's bevel.
    const int room = std::min(int((width() * dpr - 4) / g.width()), int((height() * dpr - 4) / g.height()));
    return std::max(1, std::min(int(dpr + 0.25), room));
}

QImage TSpeedButton::PictureFor(qreal dpr) const
{
    const QPixmap g = ShownGlyph();
    if (g.isNull())
        return QImage();
    const QColor face = palette().color(QPalette::Button);
    const int block = GlyphBlock(dpr);
    if (cache_.isNull() || cacheFace_ != face || cacheBlock_ != block || cacheKey_ != glyph_.cacheKey() * 8 + numGlyphs_) {
        const QImage readable = colours::ReadablePicture(g.toImage(), face);
        cache_ = readable.scaled(readable.size() * block, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        cacheFace_ = face;
        cacheBlock_ = block;
        cacheKey_ = glyph_.cacheKey() * 8 + numGlyphs_;
    }
    return cache_;
}

void TSpeedButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const bool sunken = down_ || mousePressed_;
    p.fillRect(rect(), palette().button());
    qDrawWinButton(&p, rect(), palette(), sunken, nullptr);
    const qreal dpr = devicePixelRatioF();
    QImage picture = PictureFor(dpr);
    if (picture.isNull())
        return;
    // Placed on whole device pixels, drawn one to one.
    QPoint at((int(width() * dpr) - picture.width()) / 2, (int(height() * dpr) - picture.height()) / 2);
    if (sunken)
        at += QPoint(int(dpr), int(dpr));
    picture.setDevicePixelRatio(dpr);
    p.drawImage(QPointF(at) / dpr, picture);
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
    if (sliderVisible_)
        opt.subControls |= QStyle::SC_SliderHandle;
    p.drawComplexControl(QStyle::CC_Slider, opt);
    if (tickPosition() != NoTicks)
        PaintTicks(p, opt);
}

// The tick marks, each on whole device pixels and all of one width: the style's
// own come out one pixel wide here, two there at 1.25 or 1.5.
void TTrackBar::PaintTicks(QPainter &p, const QStyleOptionSlider &opt)
{
    const int interval = tickInterval() > 0 ? tickInterval() : std::max(1, pageStep());
    const qreal dpr = devicePixelRatioF();
    const int thickness = std::max(1, int(dpr + 0.25)); // device pixels
    const int handle = style()->pixelMetric(QStyle::PM_SliderLength, &opt, this);
    const bool horizontal = orientation() == Qt::Horizontal;
    const int span = (horizontal ? width() : height()) - handle;
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, this);
    const int tickLength = std::max(2, (horizontal ? height() - groove.bottom() : width() - groove.right()) / 2);
    p.save();
    p.scale(1 / dpr, 1 / dpr); // device pixels from here on
    const QColor colour = palette().color(QPalette::WindowText);
    const auto mark = [&](int value) {
        const int at = QStyle::sliderPositionFromValue(minimum(), maximum(), value, span, opt.upsideDown)
                       + handle / 2;
        const int centre = int(std::lround(at * dpr)) - thickness / 2;
        if (horizontal) {
            const int top = int(std::lround((groove.bottom() + 2) * dpr));
            p.fillRect(centre, top, thickness, int(std::lround(tickLength * dpr)), colour);
        } else {
            const int left = int(std::lround((groove.right() + 2) * dpr));
            p.fillRect(left, centre, int(std::lround(tickLength * dpr)), thickness, colour);
        }
    };
    for (qint64 v = minimum(); v <= maximum(); v += interval)
        mark(int(v));
    mark(maximum());
    p.restore();
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

// Every row is 13 pixels high, whatever the font would ask for.
class FixedRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return QSize(QStyledItemDelegate::sizeHint(option, index).width(), 13);
    }
    // One line a row: a name's control characters show as their symbols.
    QString displayText(const QVariant &value, const QLocale &locale) const override
    {
        return QStyledItemDelegate::displayText(WithVisibleControls(value.toString()), locale);
    }
};
} // namespace

// The rows over the name list; a row's text is read out of the list when the view draws it.
class TListBox::Model : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(names.Count());
    }
    // The view's layout asks for every row's index, twice: answer without the two
    // virtual calls the base class makes to check it.
    QModelIndex index(int row, int column = 0, const QModelIndex &parent = QModelIndex()) const override
    {
        return row >= 0 && row < names.Count() && column == 0 && !parent.isValid() ? createIndex(row, 0)
                                                                                  : QModelIndex();
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= names.Count())
            return QVariant();
        if (role == Qt::DisplayRole || role == Qt::EditRole)
            return names.Text(index.row());
        if (role == kBytesRole)
            return names.Bytes(index.row());
        return QVariant();
    }
    void Replace(TNameList list)
    {
        beginResetModel();
        names = std::move(list);
        endResetModel();
    }
    // No rows come or go: the view keeps its state, the selection its position numbers.
    void Rewritten()
    {
        if (names.Count() > 0)
            emit dataChanged(index(0), index(int(names.Count()) - 1), {Qt::DisplayRole, kBytesRole});
    }
    TNameList names;
};

TListBox::TListBox(QWidget *parent) : QListView(parent), model_(new Model(this))
{
    setModel(model_);
    setItemDelegate(new FixedRowDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // One row's height stands for all: the view never measures every row.
    setUniformItemSizes(true);
}

int TListBox::Count() const
{
    return int(model_->names.Count());
}

QModelIndex TListBox::item(int index) const
{
    return index >= 0 && index < Count() ? model_->index(index) : QModelIndex();
}

int TListBox::ItemIndex() const
{
    const QModelIndexList rows = selectionModel()->selectedIndexes();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TListBox::SetItemIndex(int index)
{
    const QModelIndex at = item(index);
    if (!at.isValid())
        clearSelection();
    selectionModel()->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect);
}

QByteArray TListBox::NameBytes(int index) const
{
    return index >= 0 && index < Count() ? model_->names.Bytes(index) : QByteArray();
}

QString TListBox::NameText(int index) const
{
    return index >= 0 && index < Count() ? model_->names.Text(index) : QString();
}

void TListBox::SetNames(const QList<QByteArray> &names)
{
    TNameList list;
    for (const QByteArray &name : names)
        list.Append(name.constData(), name.size());
    SetNames(std::move(list));
}

void TListBox::SetNames(TNameList names)
{
    model_->Replace(std::move(names));
}

void TListBox::SortByName()
{
    const int selected = ItemIndex();
    model_->names.SortByName(false);
    model_->Rewritten();
    SetItemIndex(selected);
}

// The selected entry is the player's current one: the user may move it, never clear it.
// Qt's single selection lets Ctrl+click and Ctrl+Space take it off the selected entry.
QItemSelectionModel::SelectionFlags TListBox::selectionCommand(const QModelIndex &index, const QEvent *event) const
{
    const QItemSelectionModel::SelectionFlags command = QListView::selectionCommand(index, event);
    return command & QItemSelectionModel::Deselect ? QItemSelectionModel::NoUpdate : command;
}

void TListBox::keyPressEvent(QKeyEvent *event)
{
    const int before = ItemIndex();
    QListView::keyPressEvent(event);
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
    // A press on the blank part below the last entry selects nothing; Qt's view
    // would clear the selection, leaving no current entry for the play commands.
    if (!indexAt(event->position().toPoint()).isValid()) {
        event->accept();
        return;
    }
    QListView::mousePressEvent(event);
    emit Click();
}

void TListBox::mouseMoveEvent(QMouseEvent *event)
{
    const int before = ItemIndex();
    QListView::mouseMoveEvent(event);
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
