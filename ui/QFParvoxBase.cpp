// Window base: caption, fit, key preview, handler guard and run guard.
#include "QFParvoxBase.h"

#include "QClickLabel.h"
#include "classParvoxController.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>

namespace {

QString& TitleVariable() {
    static QString Title = QStringLiteral("Parvox");
    return Title;
}

} // namespace

TFormParvoxBase::TFormParvoxBase(QWidget* Parent) : QDialog(Parent) {
    qApp->installEventFilter(this);
}

TFormParvoxBase::~TFormParvoxBase() {
    qApp->removeEventFilter(this);
}

QString TFormParvoxBase::ApplicationTitle() {
    return TitleVariable();
}

void TFormParvoxBase::SetApplicationTitle(const QString& Title) {
    TitleVariable() = Title;
}

void TFormParvoxBase::ShowMessage(const std::string& Text) {
    QMessageBox Box(QMessageBox::NoIcon, ApplicationTitle(), QString::fromStdString(Text),
                    QMessageBox::Ok, QApplication::activeWindow());
    Box.exec();
}

void TFormParvoxBase::ShowError(const std::string& Message) {
    QMessageBox Box(QMessageBox::Critical, QString(),
                    QString::fromStdString(ErrorDisplayText(Message)), QMessageBox::Ok,
                    QApplication::activeWindow());
    Box.exec();
}

std::string TFormParvoxBase::ErrorDisplayText(const std::string& Message) {
    if (!Message.empty() && static_cast<unsigned char>(Message.back()) > '.')
        return Message + '.';
    return Message;
}

void TFormParvoxBase::Guarded(const std::function<void()>& Handler) {
    try {
        Handler();
    } catch (const std::exception& Error) {
        ShowError(Error.what());
    } catch (...) {
        ShowError("Unknown error");
    }
}

void TFormParvoxBase::FormCreate() {
    setWindowTitle(ApplicationTitle());
}

void TFormParvoxBase::FormShow() {
    const auto Children = findChildren<QWidget*>();
    for (const QWidget* Child : Children) {
        if (Child->objectName().compare(QLatin1String("buttonclose"), Qt::CaseInsensitive) == 0) {
            const QRect Close = Child->geometry();
            setFixedSize(Close.left() + Close.width() + 15, Close.top() + Close.height() + 25);
            return;
        }
    }
}

void TFormParvoxBase::FormCloseQuery(bool& /*CanClose*/) {}

bool TFormParvoxBase::HandleShortcut(int Key, Qt::KeyboardModifiers Shift) {
    if (Shift == Qt::NoModifier && (Key == Qt::Key_C || Key == Qt::Key_X)) {
        close();
        return true;
    }
    return false;
}

void TFormParvoxBase::FormKeyDown(int Key, Qt::KeyboardModifiers Shift) {
    if (!Running)
        HandleShortcut(Key, Shift);
}

bool TFormParvoxBase::RunOperation(const std::string& Status,
                                   const std::function<void()>& Operation) {
    if (Running || !ParvoxController->BeginOperation())
        return false;
    Running = true;
    const QPointer<QWidget> Focus = focusWidget();
    SetControlsEnabled(false);
    const auto Finish = [this, &Focus] {
        ParvoxController->HideProgress();
        ParvoxController->EndOperation();
        Running = false;
        SetControlsEnabled(true);
        if (Focus)
            Focus->setFocus();
        BringToFront();
    };
    try {
        ParvoxController->ShowProgress(Status, 0.0L);
        Operation();
    } catch (...) {
        Finish();
        throw;
    }
    Finish();
    return true;
}

void TFormParvoxBase::SetControlsEnabled(bool Enabled) {
    const auto Children = findChildren<QWidget*>();
    for (QWidget* Child : Children) {
        if (qobject_cast<QAbstractButton*>(Child) || qobject_cast<TClickLabel*>(Child) ||
            qobject_cast<QLineEdit*>(Child) || qobject_cast<QComboBox*>(Child))
            Child->setEnabled(Enabled);
    }
}

void TFormParvoxBase::BringToFront() {
    raise();
    activateWindow();
}

void TFormParvoxBase::reject() {
    // Escape, like every other way of closing, asks the window's close query.
    close();
}

void TFormParvoxBase::showEvent(QShowEvent* Event) {
    QDialog::showEvent(Event);
    if (Event->spontaneous())
        return;
    Guarded([this] { FormShow(); });
    if (CenterOnScreen) {
        const QScreen* Screen = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
        QRect Frame = frameGeometry();
        Frame.moveCenter(Screen->availableGeometry().center());
        move(Frame.topLeft());
    }
}

void TFormParvoxBase::hideEvent(QHideEvent* Event) {
    QDialog::hideEvent(Event);
    if (!Event->spontaneous())
        Guarded([this] { FormHide(); });
}

void TFormParvoxBase::closeEvent(QCloseEvent* Event) {
    bool CanClose = !Running;
    if (CanClose)
        Guarded([this, &CanClose] { FormCloseQuery(CanClose); });
    // QDialog's own close handling would call reject(), which closes again.
    Event->setAccepted(CanClose);
}

bool TFormParvoxBase::eventFilter(QObject* Watched, QEvent* Event) {
    const QEvent::Type Type = Event->type();
    if ((Type != QEvent::KeyPress && Type != QEvent::KeyRelease) || !Watched->isWidgetType() ||
        static_cast<QWidget*>(Watched)->window() != this)
        return false;
    if (Type == QEvent::KeyRelease || Event == PreviewedKey) {
        // The press has been seen; reaching the window ends its way up.
        if (Type == QEvent::KeyRelease || Watched == this)
            PreviewedKey = nullptr;
        return false;
    }
    const auto* Key = static_cast<const QKeyEvent*>(Event);
    const int Code = Key->key();
    const Qt::KeyboardModifiers Shift = Key->modifiers() & ~Qt::KeypadModifier;
    Guarded([this, Code, Shift] { FormKeyDown(Code, Shift); });
    // Marked only now: keys pressed while the command ran (a run lets events
    // in) have passed through here meanwhile, and this press must not be
    // taken for a new one when it goes on up to the window.
    PreviewedKey = Watched == this ? nullptr : Event;
    return false;
}
