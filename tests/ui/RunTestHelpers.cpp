// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Helpers of the operation window tests.
#include "RunTestHelpers.h"

#include "QClickLabel.h"
#include "QFProgress.h"
#include "classParvox.h"
#include "classParvoxController.h"
#include "startup.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QKeySequence>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <QWindow>

#include <algorithm>

QString TWindowTest::MakeFile(const QString& Name, const QByteArray& Bytes) const {
    return WriteBytes(Scratch.filePath(Name), Bytes);
}

void TWindowTest::initTestCase() {
    StartUp();
    QVERIFY(Scratch.isValid());
}

void TWindowTest::cleanupTestCase() {
    ShutDown();
}

bool ProgressVisible() {
    return ParvoxController->ProgressForm->isVisible();
}

std::shared_ptr<TSeenBox> StartAndAnswer(const QWidget* Form) {
    auto Seen = AnswerNextMessageBox();
    Button(Form, "ButtonStart")->click();
    return Seen;
}

void PressCloseKeysWithModifiers(QWidget* Form) {
    const Qt::KeyboardModifiers Held[] = {Qt::ShiftModifier, Qt::ControlModifier,
                                          Qt::ControlModifier | Qt::ShiftModifier};
    for (const Qt::KeyboardModifiers Shift : Held) {
        PressKey(Form, Qt::Key_C, Shift);
        PressKey(Form, Qt::Key_X, Shift);
    }
    // Alt with C is the Close button's own mnemonic; X has none.
    PressKey(Form, Qt::Key_X, Qt::AltModifier);
}

QStringList CloseKeyFaults(QWidget* Form) {
    QStringList Faults;
    PressCloseKeysWithModifiers(Form);
    if (!Form->isVisible())
        Faults << QStringLiteral("closed with a modifier key held");
    for (const Qt::Key Key : {Qt::Key_X, Qt::Key_C}) {
        Form->show();
        if (!QTest::qWaitForWindowExposed(Form))
            Faults << QStringLiteral("not shown before ") + QKeySequence(Key).toString();
        PressKey(Form, Key);
        if (Form->isVisible()) {
            Faults << QKeySequence(Key).toString() + QStringLiteral(" left it open");
            Form->hide();
        }
    }
    return Faults;
}

QStringList ControlFaults(const QWidget* Form, bool Enabled) {
    QStringList Faults;
    const auto Children = Form->findChildren<QWidget*>();
    for (const QWidget* Child : Children) {
        const bool Acts = qobject_cast<const QAbstractButton*>(Child) != nullptr ||
                          qobject_cast<const TClickLabel*>(Child) != nullptr ||
                          qobject_cast<const QLineEdit*>(Child) != nullptr ||
                          qobject_cast<const QComboBox*>(Child) != nullptr;
        // The window's own, not those of a dialog it keeps.
        if (Acts && Child->window() == Form && Child->isEnabled() != Enabled)
            Faults << Child->objectName() +
                          (Enabled ? QStringLiteral(" disabled") : QStringLiteral(" enabled"));
    }
    return Faults;
}

QStringList FailedRunFaults(const TSeenBox& Box, const QWidget* Form, const QString& Text) {
    QStringList Faults;
    if (!Box.Seen)
        Faults << QStringLiteral("no error box");
    if (Box.Icon != QMessageBox::Critical)
        Faults << QStringLiteral("the error box has no critical icon");
    if (!Box.Title.isEmpty())
        Faults << QStringLiteral("the error box has the caption ") + Box.Title;
    if (Box.Text != Text)
        Faults << QStringLiteral("the error box says ") + Box.Text;
    if (ProgressVisible())
        Faults << QStringLiteral("the progress window stayed");
    if (!Form->isVisible())
        Faults << QStringLiteral("the window closed");
    return Faults + ControlFaults(Form, true);
}

namespace {

// Opens a window with Opening and runs Action in it; true when one opened
// and was gone once Opening returned.
bool OpenedAndGone(const std::function<bool(QWidget*)>& IsForm,
                   const std::function<void()>& Opening,
                   const std::function<void(QWidget*)>& Action) {
    bool Opened = false;
    QPointer<QWidget> Form;
    OnNextModal(IsForm, [&](QWidget* Modal) {
        Opened = true;
        Form = Modal;
        Action(Modal);
    });
    Opening();
    return Opened && Form.isNull();
}

} // namespace

bool ReopenFromMain(const std::function<bool(QWidget*)>& IsForm, Qt::Key Key,
                    Qt::KeyboardModifiers Modifiers, const char* MainButton,
                    const std::function<void(QWidget*)>& First,
                    const std::function<void(QWidget*)>& Second) {
    const bool FirstGone = OpenedAndGone(
        IsForm, [&] { PressKey(MainForm, Key, Modifiers); }, First);
    const bool SecondGone = OpenedAndGone(
        IsForm, [&] { Button(MainForm, MainButton)->click(); }, Second);
    return FirstGone && SecondGone;
}

QByteArray PatternBytes(qsizetype Size) {
    QByteArray Data(Size, Qt::Uninitialized);
    quint32 State = 12345;
    for (qsizetype Index = 0; Index < Size; ++Index) {
        State = State * 1103515245U + 12345U;
        Data[Index] = static_cast<char>(State >> 24);
    }
    return Data;
}

QString WriteBytes(const QString& Path, const QByteArray& Data) {
    QFile File(Path);
    if (!File.open(QIODevice::WriteOnly | QIODevice::Truncate) || File.write(Data) != Data.size())
        qFatal("cannot write %s", qPrintable(Path));
    return Path;
}

QByteArray ReadBytes(const QString& Path) {
    QFile File(Path);
    if (!File.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(Path));
    return File.readAll();
}

QString PieceName(const QString& Base, int Piece) {
    return Base + QStringLiteral(".%1").arg(Piece, 3, 10, QLatin1Char('0'));
}

QList<qint64> PieceSizes(const QString& Base) {
    QList<qint64> Sizes;
    for (int Piece = 1;; ++Piece) {
        const QFileInfo Info(PieceName(Base, Piece));
        if (!Info.exists())
            return Sizes;
        Sizes << Info.size();
    }
}

TRunGuardProbe::TRunGuardProbe(TParvoxBase& Engine, QWidget* Window, std::function<void()> Restart,
                               const QList<Qt::Key>& PickKeys, const QStringList& PickControls)
    : Engine(Engine), Earlier(Engine.OnProgress), Window(Window), Restart(std::move(Restart)),
      PickKeys(PickKeys), PickControls(PickControls) {
    Engine.OnProgress = [this](const std::string&, long double Fraction) { Report(Fraction); };
}

TRunGuardProbe::~TRunGuardProbe() {
    Engine.OnProgress = Earlier;
}

void TRunGuardProbe::Report(long double Fraction) {
    ++Reports;
    if (Reports > 1 && Fraction == 0.0L)
        ++Restarts;
    MaxDepth = std::max(MaxDepth, ++Depth);
    // The probe acts in the windows' thread, as the user does, while the run waits.
    if (!Probed && Fraction > 0.0L)
        QMetaObject::invokeMethod(
            Window, [this] { Probe(); }, Qt::BlockingQueuedConnection);
    --Depth;
}

void TRunGuardProbe::Probe() {
    Probed = true;
    if (!ProgressVisible())
        Found << QStringLiteral("no progress window");
    else if (ParvoxController->ProgressForm->Status() != QStringLiteral("Working..."))
        Found << QStringLiteral("the progress window says ") +
                     ParvoxController->ProgressForm->Status();
    Found << ControlFaults(Window, false);
    // A dialog or box that the run lets through is shut at once, so that the
    // test fails instead of waiting on it.
    bool Opened = false;
    QTimer Closer;
    QObject::connect(&Closer, &QTimer::timeout, [&Opened] {
        if (auto* Modal = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            Opened = true;
            Modal->reject();
        }
    });
    Closer.start(10);
    PressKey(Window, Qt::Key_S);
    PressKey(Window, Qt::Key_S, Qt::ShiftModifier);
    QTest::mouseClick(Control<QAbstractButton>(Window, "ButtonStart"), Qt::LeftButton);
    Restart();
    for (const Qt::Key Key : PickKeys)
        PressKey(Window, Key);
    for (const QString& Name : PickControls)
        QTest::mouseClick(Control<QWidget>(Window, qPrintable(Name)), Qt::LeftButton);
    for (const Qt::Key Key : {Qt::Key_C, Qt::Key_X})
        PressKey(Window, Key);
    Control<QAbstractButton>(Window, "ButtonClose")->click();
    if (Opened)
        Found << QStringLiteral("a dialog or box opened during the run");
    if (!Window->isVisible())
        Found << QStringLiteral("closed during the run");
}

QStringList TRunGuardProbe::Faults() const {
    QStringList Faults = Found;
    if (!Probed)
        Faults << QStringLiteral("no report past the start of a run");
    if (MaxDepth > 1 || Restarts > 0)
        Faults << QStringLiteral("a run started during the run");
    return Faults;
}

QStringList AfterRunFaults(QWidget* Window, Qt::Key PickKey, const QString& Done) {
    QStringList Faults;
    if (ProgressVisible())
        Faults << QStringLiteral("the progress window stayed");
    if (ParvoxController->OperationRunning())
        Faults << QStringLiteral("still running");
    Faults << ControlFaults(Window, true);
    if (!DialogAfterKey(Window, PickKey, QString())->Seen)
        Faults << QKeySequence(PickKey).toString() + QStringLiteral(" opened no file dialog");
    const auto Box = BoxAfterKey(Window, Qt::Key_S);
    if (Box->Text.section(QLatin1Char('\n'), 0, 0) != Done)
        Faults << QStringLiteral("S ended with ") + Box->Text;
    PressKey(Window, Qt::Key_Escape);
    if (Window->isVisible()) {
        Faults << QStringLiteral("Escape left it open");
        Window->hide();
    }
    Window->show();
    if (!QTest::qWaitForWindowExposed(Window))
        Faults << QStringLiteral("not shown again");
    return Faults + CloseKeyFaults(Window);
}
