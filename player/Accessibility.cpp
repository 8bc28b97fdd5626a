#include "player/Accessibility.h"

#include "player/Controls.h"
#include "player/Unit1.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>

namespace {

// A speed button as a screen reader should see it: a plain button, or, for a
// latching switch, a check box that is checked (and pressed) while down. A
// toggle button would be the closer role, but Qt 6.4's bridge has none to give
// (and drops the checkable state of a button), so a plain button role would
// hide that the switch latches.
// The press action clicks as the mouse does (the switch flips, then the
// handler runs), after the call has returned: a handler may open a modal box,
// which would otherwise hold the screen reader's request.
class AccessibleSpeedButton : public QAccessibleWidget {
public:
    explicit AccessibleSpeedButton(TSpeedButton *button) : QAccessibleWidget(button, QAccessible::Button) {}

    TSpeedButton *Button() const { return static_cast<TSpeedButton *>(widget()); }
    bool Latching() const { return Button()->GroupIndex() != 0; }

    QAccessible::Role role() const override { return Latching() ? QAccessible::CheckBox : QAccessible::Button; }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        if (Latching()) {
            s.checkable = true;
            s.checked = Button()->Down();
            s.pressed = Button()->Down();
        }
        return s;
    }

    QStringList actionNames() const override
    {
        QStringList names{pressAction()};
        if (Latching())
            names << toggleAction();
        return names;
    }

    void doAction(const QString &name) override
    {
        if (!Button()->isEnabled() || !actionNames().contains(name))
            return;
        QMetaObject::invokeMethod(Button(), &TSpeedButton::UserClick, Qt::QueuedConnection);
    }

    QStringList keyBindingsForAction(const QString &) const override { return {}; }
};

QAccessibleInterface *SpeedButtonFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String("TSpeedButton") && object && object->isWidgetType())
        return new AccessibleSpeedButton(static_cast<TSpeedButton *>(object));
    return nullptr;
}

} // namespace

void DescribeForScreenReaders(TForm1 *form)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(SpeedButtonFactory);
        return true;
    }();
    (void)factoryInstalled;

    // Buttons and sliders are named by their hints; the hint text stays the tooltip.
    QWidget *client = form->centralWidget();
    for (QWidget *w : client->findChildren<TSpeedButton *>(Qt::FindDirectChildrenOnly))
        w->setAccessibleName(w->toolTip());
    for (QWidget *w : client->findChildren<TTrackBar *>(Qt::FindDirectChildrenOnly))
        w->setAccessibleName(w->toolTip());
    // The labels are read by what they show (their text, kept current by the
    // label itself); their hints say what that is.
    for (QLabel *label : client->findChildren<QLabel *>(Qt::FindDirectChildrenOnly))
        label->setAccessibleDescription(label->toolTip());
    // The list's entries speak for themselves; the list gets a name of its own.
    for (QWidget *list : client->findChildren<TListBox *>(Qt::FindDirectChildrenOnly))
        list->setAccessibleName(QString::fromUtf8(kPlaylistAccessibleName));
}
