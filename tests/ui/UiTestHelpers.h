// Helpers of the window tests: keys sent as the window system sends them, and
// modal boxes and dialogs answered from a timer while they are open.
#pragma once

#include "classParvoxBase.h"

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

// The object names of the widgets that hold the focus in Window, starting
// with the one that has it now, as Tab is pressed Presses times.
[[nodiscard]] QStringList TabOrder(QWidget* Window, int Presses);

// Presses Key in Window and answers with OK the message box that it brings up.
std::shared_ptr<TSeenBox> BoxAfterKey(QWidget* Window, Qt::Key Key,
                                      Qt::KeyboardModifiers Modifiers = Qt::NoModifier);

// Points every engine's progress at the progress window, as opening a
// window through the controller does.
void ReportToProgressWindow();

// Watches the runs of one engine from inside: at the third progress report
// of a run it tries every way of starting again (S, Shift+S, a click on
// ButtonStart and the handler Restart itself), of picking a file (PickKey
// and a click on the label PickLabel) and of closing Window (C, Escape,
// ButtonClose, close()), and records what came of it. The engine reports to
// its own handler again when the probe goes.
class TRunProbe {
public:
    TRunProbe(TProgressEvent& OnProgress, QWidget* Window, std::function<void()> Restart,
              Qt::Key PickKey, const QString& PickLabel);
    ~TRunProbe();
    TRunProbe(const TRunProbe&) = delete;
    TRunProbe& operator=(const TRunProbe&) = delete;

    int Reports = 0;
    // How deep progress reports were nested: 2 or more when a run started during a run.
    int MaxDepth = 0;
    bool Probed = false;
    bool StartWasDisabled = false;
    // No file dialog or message box opened during the run.
    bool NothingOpened = false;
    bool StayedOpen = false;

private:
    void Probe();

    TProgressEvent& OnProgress;
    const TProgressEvent Inner;
    QWidget* Window;
    std::function<void()> Restart;
    Qt::Key PickKey;
    QString PickLabel;
    int Depth = 0;
};
