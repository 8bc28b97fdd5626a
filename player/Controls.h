#pragma once
// Small controls of the main window that behave as the player relies on:
// a latching speed button, a track bar that reports every scroll notification,
// a list box whose click event fires only on the user's own selection, and a
// plain rectangle shape.
#include "player/NameList.h"

#include <QListView>
#include <QImage>
#include <QPixmap>
#include <QSlider>
#include <QStyleOptionSlider>
#include <QToolButton>
#include <QWidget>

// A flat button with a picture that can latch down. Its state rules:
//  1. Setting Down false has no effect while Down is true and AllowAllUp is false.
//  2. A mouse click first sets Down to the opposite of its value (subject to 1),
//     then runs the click handler (the Click signal). Code that calls the handler
//     directly skips that first step.
//  3. A button of group 0 never stays down.
class TSpeedButton : public QToolButton {
    Q_OBJECT
public:
    explicit TSpeedButton(QWidget *parent = nullptr);

    bool Down() const { return down_; }
    void SetDown(bool value);
    bool AllowAllUp() const { return allowAllUp_; }
    void SetAllowAllUp(bool value) { allowAllUp_ = value; }
    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int value) { groupIndex_ = value; }
    int NumGlyphs() const { return numGlyphs_; }
    void SetNumGlyphs(int value);
    const QPixmap &Glyph() const { return glyph_; }
    void SetGlyph(const QPixmap &glyph);
    // The part of the glyph that is drawn: the whole picture, or its left half with NumGlyphs 2.
    QPixmap ShownGlyph() const;

    // A mouse click as the user makes it (rule 2).
    void UserClick();
    // The picture as drawn at this device pixel ratio: its colours readable on the
    // button's face, each of its pixels a square of GlyphBlock device pixels.
    QImage PictureFor(qreal dpr) const;
    int GlyphBlock(qreal dpr) const;

signals:
    void Click();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    bool down_ = false;
    bool allowAllUp_ = true;
    int groupIndex_ = 0;
    int numGlyphs_ = 1;
    bool mousePressed_ = false;
    QPixmap glyph_;
    mutable QImage cache_;
    mutable QColor cacheFace_;
    mutable int cacheBlock_ = 0;
    mutable qint64 cacheKey_ = 0;
};

// A slider whose Change signal comes for every scroll notification (each key
// step, page step and thumb movement, the release of the thumb, the end of
// each action even when the position stayed) and for each change of position
// made by the program. Its thumb can be hidden.
class TTrackBar : public QSlider {
    Q_OBJECT
public:
    explicit TTrackBar(Qt::Orientation orientation, QWidget *parent = nullptr);
    bool SliderVisible() const { return sliderVisible_; }
    void SetSliderVisible(bool visible);
    // Range with tick marks: one at each position up to 10000 positions, else only at the ends.
    void SetMax(int max);
signals:
    void Change();
protected:
    void paintEvent(QPaintEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
private:
    void UpdateTicks();
    void PaintTicks(QPainter &p, const QStyleOptionSlider &opt);
    bool sliderVisible_ = true;
};

// The playlist: a view over a name list that draws only the rows in sight, all
// of one height, so a folder of 20,000 names shows as fast as an empty one.
// Click fires only when the user selects an entry with the mouse or the
// keyboard, never for a selection made by code.
class TListBox : public QListView {
    Q_OBJECT
public:
    explicit TListBox(QWidget *parent = nullptr);
    int ItemIndex() const;
    void SetItemIndex(int index); // no Click
    int Count() const;
    QByteArray NameBytes(int index) const;
    QString NameText(int index) const;
    // Replaces every entry by these names, in this order, nothing selected.
    void SetNames(const QList<QByteArray> &names);
    void SetNames(TNameList names);
    // Re-orders the entries by name, letter case ignored, keeping the selected position number.
    void SortByName();
    // The entry at this position (invalid when there is none), and where it is drawn.
    QModelIndex item(int index) const;
    QRect visualItemRect(const QModelIndex &index) const { return visualRect(index); }
signals:
    void Click();
protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event = nullptr) const override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
private:
    class Model;
    Model *model_;
};

// A filled rectangle with a thin frame.
class TShape : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
protected:
    void paintEvent(QPaintEvent *event) override;
};
