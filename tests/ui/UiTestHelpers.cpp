// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Helpers of the window tests.
#include "UiTestHelpers.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

namespace {

// The windows' settings go to a folder of the test program's own, gone at its end.
void KeepSettingsApart() {
    static const QTemporaryDir Folder;
    QCoreApplication::setOrganizationName(QStringLiteral("Parvox tests"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, Folder.path());
}
Q_COREAPP_STARTUP_FUNCTION(KeepSettingsApart)

} // namespace

void PressKey(QWidget* Window, Qt::Key Key, Qt::KeyboardModifiers Modifiers) {
    QWidget* Target = Window->focusWidget() != nullptr ? Window->focusWidget() : Window;
    QTest::keyClick(Target, Key, Modifiers);
}

void OnNextModal(const std::function<bool(QWidget*)>& Matches,
                 const std::function<void(QWidget*)>& Action) {
    const QPointer<QWidget> Before = QApplication::activeModalWidget();
    auto* Timer = new QTimer(qApp);
    Timer->setObjectName(QStringLiteral("PendingAnswer"));
    QObject::connect(Timer, &QTimer::timeout, Timer, [Timer, Before, Matches, Action] {
        QWidget* Modal = QApplication::activeModalWidget();
        if (Modal == nullptr || Modal == Before || !Modal->isVisible() || !Matches(Modal))
            return;
        Timer->stop();
        Timer->deleteLater();
        Action(Modal);
    });
    Timer->start(10);
}

std::shared_ptr<TSeenBox> AnswerNextMessageBox(QMessageBox::StandardButton Button) {
    auto Seen = std::make_shared<TSeenBox>();
    OnNextModalOf<QMessageBox>([Seen, Button](QMessageBox* Box) {
        Seen->Seen = true;
        Seen->Title = Box->windowTitle();
        Seen->Text = Box->text();
        Seen->Icon = Box->icon();
        const auto Buttons = Box->buttons();
        for (const QAbstractButton* Each : Buttons)
            Seen->Buttons << Each->text();
        QAbstractButton* Answer = Box->button(Button);
        if (Answer != nullptr)
            Answer->click();
        else
            Box->reject();
    });
    return Seen;
}

std::shared_ptr<TSeenDialog> AnswerNextFileDialog(const QString& Path) {
    auto Seen = std::make_shared<TSeenDialog>();
    OnNextModalOf<QFileDialog>([Seen, Path](QFileDialog* Dialog) {
        Seen->Seen = true;
        Seen->Title = Dialog->windowTitle();
        Seen->NameFilters = Dialog->nameFilters();
        Seen->SelectedNameFilter = Dialog->selectedNameFilter();
        if (Path.isEmpty()) {
            Dialog->reject();
            return;
        }
        Dialog->selectFile(Path);
        // selectFile leaves the name box alone while it has the focus, and
        // accept then finds no file and stays open.
        auto* Name = Dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (Name != nullptr)
            Name->setText(Path);
        QMetaObject::invokeMethod(Dialog, "accept");
    });
    return Seen;
}

void CancelPendingAnswers() {
    const auto Timers = qApp->findChildren<QTimer*>(QStringLiteral("PendingAnswer"));
    for (QTimer* Timer : Timers)
        delete Timer;
}

bool WaitFor(const std::function<bool()>& Condition, int TimeoutMs) {
    QElapsedTimer Clock;
    Clock.start();
    while (!Condition()) {
        if (Clock.elapsed() > TimeoutMs)
            return false;
        QTest::qWait(10);
    }
    return true;
}

QStringList TabOrder(QWidget* Window, int Presses, QWidget* First) {
    if (First != nullptr)
        First->setFocus(Qt::TabFocusReason);
    QStringList Order(Window->focusWidget()->objectName());
    for (int Press = 0; Press < Presses; ++Press) {
        PressKey(Window, Qt::Key_Tab);
        Order << Window->focusWidget()->objectName();
    }
    return Order;
}

std::shared_ptr<TSeenBox> BoxAfterKey(QWidget* Window, Qt::Key Key,
                                      Qt::KeyboardModifiers Modifiers) {
    auto Box = AnswerNextMessageBox();
    PressKey(Window, Key, Modifiers);
    // Alt with a button's letter is its mnemonic, which clicks a moment later.
    WaitFor([&] { return Box->Seen; }, 3000);
    CancelPendingAnswers();
    return Box;
}

std::shared_ptr<TSeenDialog> DialogAfterKey(QWidget* Window, Qt::Key Key, const QString& Path,
                                            Qt::KeyboardModifiers Modifiers) {
    auto Dialog = AnswerNextFileDialog(Path);
    PressKey(Window, Key, Modifiers);
    WaitFor([&] { return Dialog->Seen; }, 3000);
    CancelPendingAnswers();
    return Dialog;
}

std::shared_ptr<TSeenDialog> DialogAfterClick(QWidget* Target, const QString& Path) {
    auto Dialog = AnswerNextFileDialog(Path);
    QTest::mouseClick(Target, Qt::LeftButton);
    return Dialog;
}
