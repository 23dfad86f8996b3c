// Helpers of the window tests: keys sent as the window system sends them, and
// modal boxes and dialogs answered from a timer while they are open.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QTest>

#include <functional>
#include <memory>

// Presses a key in a window: the key goes to the window's focused control,
// where the window system would deliver it.
void PressKey(QWidget* Window, Qt::Key Key, Qt::KeyboardModifiers Modifiers = Qt::NoModifier);

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

// Runs Action on the next modal window that opens and Matches accepts.
void OnNextModal(const std::function<bool(QWidget*)>& Matches,
                 const std::function<void(QWidget*)>& Action);

// Drops every answer armed above that found nothing to answer.
void CancelPendingAnswers();

// Waits until Condition holds, processing events; false on timeout.
bool WaitFor(const std::function<bool()>& Condition, int TimeoutMs = 5000);
