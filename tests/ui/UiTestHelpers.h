// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Helpers of the window tests: keys sent as the window system sends them,
// modal boxes and dialogs answered from a timer while they are open, and
// waiting for what the event loop brings.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QTest>

#include <functional>
#include <memory>

// Fails the test when the list of faults Faults is not empty, and shows them.
#define VERIFY_NO_FAULTS(Faults)                                                                   \
    do {                                                                                           \
        const QStringList Found = (Faults);                                                        \
        QVERIFY2(Found.isEmpty(), qPrintable(Found.join(QLatin1Char('\n'))));                      \
    } while (false)

// Presses a key in a window: the key goes to the window's focused control,
// where the window system would deliver it.
void PressKey(QWidget* Window, Qt::Key Key, Qt::KeyboardModifiers Modifiers = Qt::NoModifier);

// Runs Action on the next modal window that opens and Matches accepts.
void OnNextModal(const std::function<bool(QWidget*)>& Matches,
                 const std::function<void(QWidget*)>& Action);

// Runs Action on the next modal window of class TModal that opens.
template <typename TModal> void OnNextModalOf(const std::function<void(TModal*)>& Action) {
    OnNextModal([](QWidget* Modal) { return dynamic_cast<TModal*>(Modal) != nullptr; },
                [Action](QWidget* Modal) { Action(dynamic_cast<TModal*>(Modal)); });
}

// What a message box showed.
struct TSeenBox {
    bool Seen = false;
    QString Title;
    QString Text;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    QStringList Buttons;
};

// Answers the next message box that opens with Button and records what it
// showed. The box is looked for from a timer while the test runs on.
std::shared_ptr<TSeenBox>
AnswerNextMessageBox(QMessageBox::StandardButton Button = QMessageBox::Ok);

// What a file dialog showed.
struct TSeenDialog {
    bool Seen = false;
    QString Title;
    QStringList NameFilters;
    QString SelectedNameFilter;
};

// Picks Path in the next file dialog that opens (an empty Path cancels it)
// and records what the dialog showed.
std::shared_ptr<TSeenDialog> AnswerNextFileDialog(const QString& Path);

// Drops every answer armed above that found nothing to answer.
void CancelPendingAnswers();

// Waits until Condition holds, processing events; false on timeout.
bool WaitFor(const std::function<bool()>& Condition, int TimeoutMs = 5000);

// The object names of the widgets that hold the focus in Window as Tab is
// pressed Presses times, starting with First (given the focus as Tab gives
// it) or, without First, with the widget that has the focus now.
[[nodiscard]] QStringList TabOrder(QWidget* Window, int Presses, QWidget* First = nullptr);

// Presses Key in Window and answers with OK the message box that it brings up.
std::shared_ptr<TSeenBox> BoxAfterKey(QWidget* Window, Qt::Key Key,
                                      Qt::KeyboardModifiers Modifiers = Qt::NoModifier);

// Presses Key in Window and picks Path (an empty Path cancels) in the file
// dialog that it brings up.
std::shared_ptr<TSeenDialog> DialogAfterKey(QWidget* Window, Qt::Key Key, const QString& Path,
                                            Qt::KeyboardModifiers Modifiers = Qt::NoModifier);

// Clicks Target and picks Path (an empty Path cancels) in the file dialog
// that it brings up.
std::shared_ptr<TSeenDialog> DialogAfterClick(QWidget* Target, const QString& Path);
