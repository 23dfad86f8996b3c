// Helpers of the window tests.
#include "UiTestHelpers.h"

#include "classParvox.h"
#include "classParvoxController.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>

#include <algorithm>

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
    OnNextModal([](QWidget* Modal) { return qobject_cast<QMessageBox*>(Modal) != nullptr; },
                [Seen, Button](QWidget* Modal) {
                    auto* Box = qobject_cast<QMessageBox*>(Modal);
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
    OnNextModal([](QWidget* Modal) { return qobject_cast<QFileDialog*>(Modal) != nullptr; },
                [Seen, Path](QWidget* Modal) {
                    auto* Dialog = qobject_cast<QFileDialog*>(Modal);
                    Seen->Seen = true;
                    Seen->Title = Dialog->windowTitle();
                    Seen->NameFilters = Dialog->nameFilters();
                    Seen->SelectedNameFilter = Dialog->selectedNameFilter();
                    if (Path.isEmpty()) {
                        Dialog->reject();
                        return;
                    }
                    Dialog->selectFile(Path);
                    // selectFile leaves the name box alone while it has the
                    // focus, and accept then finds no file and stays open.
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

void ReportToProgressWindow() {
    ParvoxApp->SetProgressHandler([](const std::string& Status, long double Fraction) {
        ParvoxController->ShowProgress(Status, Fraction);
    });
}

QStringList TabOrder(QWidget* Window, int Presses) {
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
    return Box;
}

TRunProbe::TRunProbe(TProgressEvent& OnProgress, QWidget* Window, std::function<void()> Restart,
                     Qt::Key PickKey, const QString& PickLabel)
    : OnProgress(OnProgress), Inner(OnProgress), Window(Window), Restart(std::move(Restart)),
      PickKey(PickKey), PickLabel(PickLabel) {
    OnProgress = [this](const std::string& Status, long double Fraction) {
        ++Reports;
        MaxDepth = std::max(MaxDepth, ++Depth);
        Inner(Status, Fraction);
        if (Reports == 3)
            Probe();
        --Depth;
    };
}

TRunProbe::~TRunProbe() {
    OnProgress = Inner;
}

void TRunProbe::Probe() {
    Probed = true;
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
    auto* Start = Window->findChild<QAbstractButton*>(QStringLiteral("ButtonStart"));
    StartWasDisabled = !Start->isEnabled();
    PressKey(Window, Qt::Key_S);
    PressKey(Window, Qt::Key_S, Qt::ShiftModifier);
    QTest::mouseClick(Start, Qt::LeftButton);
    Restart();
    PressKey(Window, PickKey);
    QTest::mouseClick(Window->findChild<QWidget*>(PickLabel), Qt::LeftButton);
    PressKey(Window, Qt::Key_C);
    PressKey(Window, Qt::Key_Escape);
    Window->findChild<QAbstractButton*>(QStringLiteral("ButtonClose"))->click();
    Window->close();
    StayedOpen = Window->isVisible();
    NothingOpened = !Opened;
}
