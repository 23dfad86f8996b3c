// Helpers of the operation window tests: windows opened as the controller
// opens them, their controls by name, scratch files with known content, and
// a hook into an engine's progress to act while a run is in progress.
#pragma once

#include "QFMain.h"
#include "UiTestHelpers.h"

#include <QByteArray>
#include <QLabel>
#include <QList>
#include <QPushButton>
#include <QString>

#include <functional>
#include <memory>

class TParvoxBase;

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

// Clicks the window's Start button and returns what the message box that
// answers it showed.
std::shared_ptr<TSeenBox> StartAndAnswer(const QWidget* Form);

// Presses C and X with modifier keys held, which must leave the window open.
void PressCloseKeysWithModifiers(QWidget* Form);

// The close keys: with modifier keys held they must leave the shown window
// open; plain X and then, shown again, plain C must each close it. The faults
// found, one line each.
[[nodiscard]] QStringList CloseKeyFaults(QWidget* Form);

// Bytes that differ from block to block, so a misplaced block shows.
[[nodiscard]] QByteArray PatternBytes(qsizetype Size);
void WriteBytes(const QString& Path, const QByteArray& Data);
[[nodiscard]] QByteArray ReadBytes(const QString& Path);
// The name of piece Piece of Base: Base.001, Base.002, ...
[[nodiscard]] QString PieceName(const QString& Base, int Piece);
// The sizes of Base.001, Base.002, ... up to the first one missing.
[[nodiscard]] QList<qint64> PieceSizes(const QString& Base);

// Reports the engine's progress to the progress window as the controller
// does, and runs Probe once, at the first report past the start of a run.
void ProbeDuringRun(TParvoxBase& Engine, const std::function<void()>& Probe);
