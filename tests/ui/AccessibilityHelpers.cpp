// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Keyboard and assistive technology check of a window.
#include "AccessibilityHelpers.h"

#include "QClickLabel.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QLineEdit>
#include <QMetaEnum>
#include <QPointer>
#include <QSet>
#include <QTest>

#include <algorithm>

namespace {

// The roles that say what a control a person can act on is; none for other widgets.
QList<QAccessible::Role> ControlRoles(const QWidget* Widget) {
    if (qobject_cast<const QAbstractButton*>(Widget) != nullptr)
        return {QAccessible::Button, QAccessible::CheckBox, QAccessible::RadioButton};
    if (qobject_cast<const TClickLabel*>(Widget) != nullptr)
        return {QAccessible::Link, QAccessible::Button};
    if (qobject_cast<const QLineEdit*>(Widget) != nullptr)
        return {QAccessible::EditableText};
    if (qobject_cast<const QComboBox*>(Widget) != nullptr)
        return {QAccessible::ComboBox};
    if (qobject_cast<const QAbstractSpinBox*>(Widget) != nullptr)
        return {QAccessible::SpinBox};
    return {};
}

bool IsControl(const QWidget* Widget) {
    return !ControlRoles(Widget).isEmpty();
}

// The controls of Window itself that can be acted on now: shown and enabled,
// and neither in a window of their own (a file dialog the window owns) nor a
// part of another control (the text box of an editable drop-down list).
QList<QWidget*> Controls(QWidget* Window) {
    QList<QWidget*> Result;
    const auto Children = Window->findChildren<QWidget*>();
    for (QWidget* Child : Children) {
        if (!IsControl(Child) || Child->window() != Window || !Child->isVisibleTo(Window) ||
            !Child->isEnabledTo(Window))
            continue;
        bool Part = false;
        for (const QWidget* Parent = Child->parentWidget(); Parent != Window && !Part;
             Parent = Parent->parentWidget())
            Part = IsControl(Parent);
        if (!Part)
            Result << Child;
    }
    return Result;
}

// The widgets that hold the focus while Tab goes once round the window; a
// control that takes the focus in a part of its own (an editable drop-down
// list) is reached when that part is.
QSet<QWidget*> ReachedByTab(QWidget* Window) {
    const QPointer<QWidget> Start = Window->focusWidget();
    QSet<QWidget*> Reached;
    const qsizetype Presses = Window->findChildren<QWidget*>().size() + 1;
    for (qsizetype Press = 0; Press < Presses; ++Press) {
        QWidget* Focus = Window->focusWidget();
        QTest::keyClick(Focus != nullptr ? Focus : Window, Qt::Key_Tab);
        if (Window->focusWidget() != nullptr)
            Reached.insert(Window->focusWidget());
    }
    if (Start)
        Start->setFocus(Qt::OtherFocusReason);
    return Reached;
}

// Buttons and click labels offer assistive technology an action that presses them.
bool CanBePressed(const QWidget* Control, QAccessibleInterface* Interface) {
    if (qobject_cast<const QAbstractButton*>(Control) == nullptr &&
        qobject_cast<const TClickLabel*>(Control) == nullptr)
        return true;
    const QAccessibleActionInterface* Actions = Interface->actionInterface();
    if (Actions == nullptr)
        return false;
    const QStringList Names = Actions->actionNames();
    return Names.contains(QAccessibleActionInterface::pressAction()) ||
           Names.contains(QAccessibleActionInterface::toggleAction());
}

QString RoleName(QAccessible::Role Role) {
    return QString::fromLatin1(QMetaEnum::fromType<QAccessible::Role>().valueToKey(Role));
}

} // namespace

QStringList AccessibilityFaults(QWidget* Window) {
    QStringList Faults;
    const QSet<QWidget*> Reached = ReachedByTab(Window);
    const auto Found = Controls(Window);
    for (QWidget* Control : Found) {
        const QString Name = Control->objectName().isEmpty()
                                 ? QString::fromLatin1(Control->metaObject()->className())
                                 : Control->objectName();
        QAccessibleInterface* Interface = QAccessible::queryAccessibleInterface(Control);
        if (Interface == nullptr) {
            Faults << Name + QStringLiteral(": no accessible interface");
            continue;
        }
        if (Interface->text(QAccessible::Name).trimmed().isEmpty())
            Faults << Name + QStringLiteral(": no accessible name");
        if (!ControlRoles(Control).contains(Interface->role()))
            Faults << Name + QStringLiteral(": role ") + RoleName(Interface->role()) +
                          QStringLiteral(" does not say what it is");
        if (!CanBePressed(Control, Interface))
            Faults << Name + QStringLiteral(": no press action");
        if ((Control->focusPolicy() & Qt::TabFocus) == 0)
            Faults << Name + QStringLiteral(": its focus policy leaves out Tab");
        else if (std::none_of(Reached.begin(), Reached.end(), [Control](const QWidget* Focus) {
                     return Focus == Control || Control->isAncestorOf(Focus);
                 }))
            Faults << Name + QStringLiteral(": Tab does not reach it");
    }
    return Faults;
}
