// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The box shown without the keyboard, and the hold on the other windows.
#include "QQuietBox.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QMessageBox>
#include <QWindow>

namespace {

// Holds the program's other windows while a box is open, as the box's
// modality would: no key, click, drop or close reaches them, and a window of
// the program that the user activates hands the keyboard on to the box.
class TBoxHold final : public QObject {
public:
    explicit TBoxHold(QWidget& Box) : Box(Box) { qApp->installEventFilter(this); }
    ~TBoxHold() override { qApp->removeEventFilter(this); }
    TBoxHold(const TBoxHold&) = delete;
    TBoxHold& operator=(const TBoxHold&) = delete;

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override {
        const auto* Widget = qobject_cast<const QWidget*>(Watched);
        if (Widget == nullptr || Widget->window() == &Box)
            return false;
        switch (Event->type()) {
        case QEvent::WindowActivate:
            Box.activateWindow();
            return false;
        case QEvent::Close:
            return Event->spontaneous();
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::DragEnter:
        case QEvent::Drop:
            return true;
        default:
            return false;
        }
    }

private:
    QWidget& Box;
};

} // namespace

TQuietBox::TQuietBox(QMessageBox& Box)
    : Box(Box), Quiet(QGuiApplication::applicationState() != Qt::ApplicationActive) {
    // Set while the window is not made yet: once it is, a change of modality
    // gives it a caption again.
    if (!Quiet)
        return;
    Box.setAttribute(Qt::WA_ShowWithoutActivating);
    Box.setWindowModality(Qt::NonModal);
}

void TQuietBox::Exec() {
    if (!Quiet) {
        Box.exec();
        return;
    }
    // A window that belongs to the run's modal window takes input from the user.
    Box.winId();
    if (const QWidget* Run = QApplication::activeModalWidget())
        Box.windowHandle()->setTransientParent(Run->windowHandle());
    const TBoxHold Hold(Box);
    QEventLoop Answered;
    QObject::connect(&Box, &QDialog::finished, &Answered, &QEventLoop::quit);
    Box.show();
    Answered.exec();
}
