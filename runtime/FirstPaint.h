#pragma once
// For the start-up benchmarks: with ZOLM_REPORT_FIRST_PAINT set, the first paint of a
// window prints "first-paint-ms M rss-mb R" and the program quits. The player and the
// bare window the benchmarks hold it against report through this one probe.
#include <QObject>

class QWidget;

class FirstPaintProbe : public QObject {
public:
    // Watches `watched` when ZOLM_REPORT_FIRST_PAINT is set; otherwise does nothing.
    explicit FirstPaintProbe(QWidget *watched);
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *watched_;
};
