// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Helpers of the operation window tests: windows opened as the controller
// opens them, their controls by name, the close keys, scratch files with known
// content, and a probe of the run guard that acts while a run is in progress.
#pragma once

#include "QFMain.h"
#include "UiTestHelpers.h"
#include "classParvoxBase.h"

#include <QByteArray>
#include <QLabel>
#include <QList>
#include <QObject>
#include <QPushButton>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>

// The common fixture of the operation window tests: the program started
// before the first test and shut down after the last, the engines reporting
// to the progress window as the controller connects them, and a scratch
// folder for the tests' files.
class TWindowTest : public QObject {
    Q_OBJECT

protected:
    // Writes Bytes to the scratch file Name and returns its path.
    QString MakeFile(const QString& Name, const QByteArray& Bytes) const;

    QTemporaryDir Scratch;

protected slots:
    void initTestCase();
    void cleanupTestCase();
};

// A window of class TForm, shown as the controller shows it but without its modal loop.
template <typename TForm> std::unique_ptr<TForm> OpenWindow() {
    auto Form = std::make_unique<TForm>(MainForm);
    Form->show();
    if (!QTest::qWaitForWindowExposed(Form.get()))
        qFatal("the window did not show");
    return Form;
}

// The window's control of that name; a missing one ends the test program.
template <typename TWidget> TWidget* Control(const QWidget* Form, const char* Name) {
    auto* Widget = Form->findChild<TWidget*>(QLatin1String(Name));
    if (Widget == nullptr)
        qFatal("no control %s", Name);
    return Widget;
}

[[nodiscard]] inline QPushButton* Button(const QWidget* Form, const char* Name) {
    return Control<QPushButton>(Form, Name);
}

[[nodiscard]] inline QString LabelText(const QWidget* Form, const char* Name) {
    return Control<QLabel>(Form, Name)->text();
}

// Whether the progress window is shown.
[[nodiscard]] bool ProgressVisible();

// Clicks the window's Start button and returns what the message box that
// answers it showed.
std::shared_ptr<TSeenBox> StartAndAnswer(const QWidget* Form);

// Presses C and X with modifier keys held, which must leave the window open.
void PressCloseKeysWithModifiers(QWidget* Form);

// The close keys: with modifier keys held they must leave the shown window
// open; plain X and then, shown again, plain C must each close it. The faults
// found, one line each.
[[nodiscard]] QStringList CloseKeyFaults(QWidget* Form);

// The controls a person can act on in Form (buttons, click labels, text
// boxes, drop-down lists) that are not Enabled, one line each.
[[nodiscard]] QStringList ControlFaults(const QWidget* Form, bool Enabled);

// What is wrong with a run that failed with the error Text: the error box
// (critical icon, no caption, Text) and the window that must stay open and
// usable, the progress window gone. One line each.
[[nodiscard]] QStringList FailedRunFaults(const TSeenBox& Box, const QWidget* Form,
                                          const QString& Text);

// Opens a window from the main window as the user does, twice: first with
// Key (Modifiers held), where First works in it, then with a click on the main
// window's button MainButton, where Second does. Each must close the window,
// which is gone when its opening returns. False when an opening found no
// window of class TForm or left it behind.
bool ReopenFromMain(const std::function<bool(QWidget*)>& IsForm, Qt::Key Key,
                    Qt::KeyboardModifiers Modifiers, const char* MainButton,
                    const std::function<void(QWidget*)>& First,
                    const std::function<void(QWidget*)>& Second);
template <typename TForm>
bool ReopenFromMain(Qt::Key Key, Qt::KeyboardModifiers Modifiers, const char* MainButton,
                    const std::function<void(QWidget*)>& First,
                    const std::function<void(QWidget*)>& Second) {
    return ReopenFromMain([](QWidget* Modal) { return dynamic_cast<TForm*>(Modal) != nullptr; },
                          Key, Modifiers, MainButton, First, Second);
}

// Bytes that differ from block to block, so a misplaced block shows.
[[nodiscard]] QByteArray PatternBytes(qsizetype Size);
// Writes Data to the file Path, which it returns.
QString WriteBytes(const QString& Path, const QByteArray& Data);
[[nodiscard]] QByteArray ReadBytes(const QString& Path);
// The name of piece Piece of Base: Base.001, Base.002, ...
[[nodiscard]] QString PieceName(const QString& Base, int Piece);
// The sizes of Base.001, Base.002, ... up to the first one missing.
[[nodiscard]] QList<qint64> PieceSizes(const QString& Base);

// Watches the runs of Engine, started in Window, from inside. At the first
// report past the start of a run it checks that the progress window shows
// "Working..." and every control of Window is disabled, then tries every way
// of starting again (S, Shift+S, a click on ButtonStart and the handler
// Restart itself), of picking a file (PickKeys and a click on each of
// PickControls) and the keys and button that close Window (C, X and
// ButtonClose), which a run must not stop. The engine reports to its
// earlier handler again when the probe goes.
class TRunGuardProbe {
public:
    TRunGuardProbe(TParvoxBase& Engine, QWidget* Window, std::function<void()> Restart,
                   const QList<Qt::Key>& PickKeys, const QStringList& PickControls);
    ~TRunGuardProbe();
    TRunGuardProbe(const TRunGuardProbe&) = delete;
    TRunGuardProbe& operator=(const TRunGuardProbe&) = delete;

    // What got through the guard, one line each: no probe, a run started
    // during the run, an enabled control, a dialog or box that opened, the
    // window closed.
    [[nodiscard]] QStringList Faults() const;

    // The progress reports of all runs so far.
    int Reports = 0;

private:
    void Report(long double Fraction);
    void Probe();

    TParvoxBase& Engine;
    const TProgressEvent Earlier;
    QWidget* Window;
    std::function<void()> Restart;
    QList<Qt::Key> PickKeys;
    QStringList PickControls;
    bool Probed = false;
    int Depth = 0;
    int MaxDepth = 0;
    int Restarts = 0;
    QStringList Found;
};

// What is wrong with Window once a run is over: the progress window must be
// gone and the controls enabled; PickKey must open the file dialog, S must
// run again and end with a box whose first line is Done; Escape, then plain X and plain C
// must close the window (see CloseKeyFaults). One line each.
[[nodiscard]] QStringList AfterRunFaults(QWidget* Window, Qt::Key PickKey, const QString& Done);
