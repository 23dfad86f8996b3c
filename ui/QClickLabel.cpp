// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// A click is a left-button release inside the label, or Space or Enter while
// it has the focus.
#include "QClickLabel.h"

#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

namespace {

// What assistive technology sees of a click label: a link or a button named
// by its accessible name, or else by its text, that can be pressed.
class TClickLabelAccessible : public QAccessibleWidget {
public:
    explicit TClickLabelAccessible(TClickLabel* Label) : QAccessibleWidget(Label) {}

    // Asked each time: the layout may set the link property after the interface exists.
    [[nodiscard]] QAccessible::Role role() const override {
        return Label()->IsLink() ? QAccessible::Link : QAccessible::Button;
    }

    [[nodiscard]] QString text(QAccessible::Text Kind) const override {
        QString Text = QAccessibleWidget::text(Kind);
        if (Kind == QAccessible::Name && Text.isEmpty())
            Text = Label()->text();
        return Text;
    }

    [[nodiscard]] QStringList actionNames() const override {
        return QStringList(pressAction()) + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& Action) override {
        if (Action == pressAction())
            Label()->Click();
        else
            QAccessibleWidget::doAction(Action);
    }

private:
    [[nodiscard]] TClickLabel* Label() const { return static_cast<TClickLabel*>(widget()); }
};

QAccessibleInterface* ClickLabelAccessible(const QString& ClassName, QObject* Object) {
    if (ClassName == QLatin1String(TClickLabel::staticMetaObject.className()))
        return new TClickLabelAccessible(static_cast<TClickLabel*>(Object));
    return nullptr;
}

} // namespace

TClickLabel::TClickLabel(QWidget* Parent) : QLabel(Parent) {
    [[maybe_unused]] static const bool AccessibleInstalled = [] {
        QAccessible::installFactory(ClickLabelAccessible);
        return true;
    }();
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
}

void TClickLabel::Click() {
    emit clicked();
}

void TClickLabel::mouseReleaseEvent(QMouseEvent* Event) {
    QLabel::mouseReleaseEvent(Event);
    if (Event->button() == Qt::LeftButton && rect().contains(Event->position().toPoint()))
        Click();
}

void TClickLabel::keyPressEvent(QKeyEvent* Event) {
    switch (Event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!Event->isAutoRepeat())
            Click();
        Event->accept();
        return;
    default:
        QLabel::keyPressEvent(Event);
    }
}

void TClickLabel::paintEvent(QPaintEvent* Event) {
    QLabel::paintEvent(Event);
    if (!hasFocus())
        return;
    // A label draws no focus of its own; keyboard users need to see where they are.
    QStylePainter Painter(this);
    QStyleOptionFocusRect Option;
    Option.initFrom(this);
    Painter.drawPrimitive(QStyle::PE_FrameFocusRect, Option);
}
