#pragma once
// Helpers of the tests that meet the real boxes.
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <functional>

// Runs check on the first message box that comes up, once it is on the screen,
// then closes it with OK; the box itself runs its own loop meanwhile.
inline void OnNextBox(std::function<void(QMessageBox *)> check)
{
    QTimer::singleShot(20, [check] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->windowHandle() || !box->windowHandle()->isExposed())
            return OnNextBox(check);
        check(box);
        box->button(QMessageBox::Ok)->click();
    });
}
