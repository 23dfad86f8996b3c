// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Window base: caption, fit, key preview, handler guard, run guard and the file drops' wiring.
#include "QFParvoxBase.h"

#include "QClickLabel.h"
#include "QColourScheme.h"
#include "QFileDrops.h"
#include "QFolderOpener.h"
#include "QOpenDialog.h"
#include "QOutputFolder.h"
#include "QQuietBox.h"
#include "QRunNotices.h"
#include "classParvoxController.h"
#include "classParvoxErrors.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>

#include <xcb/xcb.h>

#include <cstdlib>

namespace {

QString& TitleVariable() {
    static QString Title = QStringLiteral("Parvox");
    return Title;
}

// The key code that a window's commands see. The keys of the digit row give
// their digit whatever the layout and the modifiers make them type: Shift+1
// types "!", and French layouts type the digits only with Shift. The X server
// numbers a key by its evdev code plus 8, which puts 1 to 9 and 0 on 10 to 19.
int CommandKeyCode(const QKeyEvent& Key) {
    constexpr quint32 DigitOne = 10;
    constexpr quint32 DigitZero = 19;
    const quint32 ScanCode = Key.nativeScanCode();
    if (ScanCode == DigitZero)
        return Qt::Key_0;
    if (ScanCode >= DigitOne && ScanCode < DigitZero)
        return Qt::Key_1 + static_cast<int>(ScanCode - DigitOne);
    return Key.key();
}

// A closed list takes a typed character as a search for the next item that
// begins with it, which changes the choice unseen: a user who meant a
// command, or mistyped one, would find another medium or unit in the Split
// window. Letters reach the items once the list is open, in its popup, a
// window of its own.
bool SearchesByTyping(const QWidget& Receiver, const QKeyEvent& Key) {
    const auto* List = qobject_cast<const QComboBox*>(&Receiver);
    const QString Typed = Key.text();
    return List != nullptr && !List->isEditable() && !Typed.isEmpty() && Typed.front().isPrint() &&
           !Typed.front().isSpace();
}

// Qt hands the window system the application name for a window without a
// caption; the window's own name properties are removed after Qt has set
// them, so that its title bar reads nothing. Qt writes them again only when
// the caption changes.
void ClearWindowSystemTitle(QWidget& Window) {
    auto* X11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (X11 == nullptr)
        return;
    xcb_connection_t* Connection = X11->connection();
    const auto Id = static_cast<xcb_window_t>(Window.winId());
    static constexpr char NetName[] = "_NET_WM_NAME";
    xcb_intern_atom_reply_t* Atom = xcb_intern_atom_reply(
        Connection, xcb_intern_atom(Connection, 0, sizeof NetName - 1, NetName), nullptr);
    if (Atom != nullptr) {
        xcb_delete_property(Connection, Id, Atom->atom);
        std::free(Atom);
    }
    xcb_delete_property(Connection, Id, XCB_ATOM_WM_NAME);
    xcb_flush(Connection);
}

} // namespace

// One filter on the application shows every key press to the window it is
// meant for before the focused control sees it; a key that the window takes
// as a command goes no further. A key that the control ignores travels on
// to the control's parents; it is shown only once.
class TKeyPreview : public QObject {
public:
    static void Install() {
        static TKeyPreview* Preview = nullptr;
        if (Preview == nullptr) {
            Preview = new TKeyPreview(qApp);
            qApp->installEventFilter(Preview);
        }
    }

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override {
        if (Event->type() == QEvent::KeyRelease) {
            LastEvent = nullptr;
            return false;
        }
        if (Event->type() != QEvent::KeyPress || !Watched->isWidgetType())
            return false;
        auto* Receiver = static_cast<QWidget*>(Watched);
        if (Event == LastEvent && LastReceiver && Receiver != LastReceiver &&
            Receiver->isAncestorOf(LastReceiver))
            return false;
        LastEvent = Event;
        LastReceiver = Receiver;
        auto* Form = qobject_cast<TFormParvoxBase*>(Receiver->window());
        if (Form == nullptr)
            return false;
        const auto* Key = static_cast<const QKeyEvent*>(Event);
        const int Code = CommandKeyCode(*Key);
        const Qt::KeyboardModifiers Shift = Key->modifiers() & ~Qt::KeypadModifier;
        // A command that failed was a command all the same.
        bool Command = true;
        TFormParvoxBase::Guarded(
            [Form, Code, Shift, &Command] { Command = Form->FormKeyDown(Code, Shift); });
        // A command may have run a modal window that saw keys of its own.
        LastEvent = Event;
        LastReceiver = Receiver;
        // A command acts once: no control sees its key as well.
        return Command || SearchesByTyping(*Receiver, *Key);
    }

private:
    using QObject::QObject;

    const QEvent* LastEvent = nullptr;
    QPointer<QWidget> LastReceiver;
};

TFormParvoxBase::TFormParvoxBase(QWidget* Parent) : QDialog(Parent) {
    // A fixed dialog frame whose title bar offers only the window menu and its close box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    TKeyPreview::Install();
}

TFormParvoxBase::~TFormParvoxBase() = default;

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

void TFormParvoxBase::ShowCompletion(const std::string& Text, const QString& Summary,
                                     const std::string& ResultFile) {
    ParvoxController->Notices->Announce(Summary, false);
    QMessageBox Box(QMessageBox::NoIcon, ApplicationTitle(), QString::fromStdString(Text),
                    QMessageBox::Ok, QApplication::activeWindow());
    const QPushButton* OpenFolder =
        ResultFile.empty() ? nullptr
                           : Box.addButton(TRunNotices::OpenFolderText(), QMessageBox::ActionRole);
    Box.setDefaultButton(QMessageBox::Ok);
    TQuietBox(Box).Exec();
    if (OpenFolder == nullptr || Box.clickedButton() != OpenFolder)
        return;
    const QString Folder = QFileInfo(QString::fromStdString(ResultFile)).absolutePath();
    TFolderOpener::Open(Folder, [Folder] {
        QMessageBox Unopened(
            QMessageBox::NoIcon, ApplicationTitle(),
            QStringLiteral("The folder could not be opened: no file manager answered.\n"
                           "Its path, to copy:\n%1")
                .arg(Folder),
            QMessageBox::Ok, QApplication::activeWindow());
        Unopened.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        Unopened.exec();
    });
}

void TFormParvoxBase::ShowError(const std::string& Message) {
    const QString Text = QString::fromStdString(ErrorDisplayText(Message));
    if (ParvoxController != nullptr)
        ParvoxController->Notices->Announce(Text, true);
    QMessageBox Box(QMessageBox::Critical, QString(), Text, QMessageBox::Ok,
                    QApplication::activeWindow());
    TQuietBox Quiet(Box);
    ClearWindowSystemTitle(Box);
    Quiet.Exec();
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
    TColourScheme::Apply(*this);
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

bool TFormParvoxBase::FormKeyDown(int Key, Qt::KeyboardModifiers Shift) {
    return !ParvoxController->OperationRunning() && HandleShortcut(Key, Shift);
}

std::optional<std::string> TFormParvoxBase::PickFile(const QString& Title) {
    if (!Title.isEmpty())
        OpenDialog1->setWindowTitle(Title);
    if (!OpenDialog1->Execute())
        return std::nullopt;
    return OpenDialog1->FileName();
}

bool TFormParvoxBase::RunOperation(const std::string& Status,
                                   const std::function<void()>& Operation) {
    if (!ParvoxController->BeginOperation(this, Doing()))
        return false;
    const QPointer<QWidget> Focus = focusWidget();
    SetControlsEnabled(false);
    const auto Finish = [this, &Focus] {
        ParvoxController->HideProgress();
        ParvoxController->EndOperation();
        SetControlsEnabled(true);
        if (Focus)
            Focus->setFocus();
        BringToFront(*this);
    };
    try {
        ParvoxController->Run(Status, Operation);
    } catch (const EParvoxStopped&) {
        Finish();
        return false;
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
            qobject_cast<QLineEdit*>(Child) || qobject_cast<QComboBox*>(Child) ||
            qobject_cast<QAbstractSpinBox*>(Child))
            Child->setEnabled(Enabled);
    }
}

void TFormParvoxBase::AddFileDrops(const QList<QWidget*>& Area, std::size_t Count,
                                   std::function<void(const std::vector<std::string>&)> Handler,
                                   bool Folders) {
    if (Drops == nullptr)
        Drops = new TFileDrops(*this);
    Drops->Add(
        Area, Count,
        [Handler = std::move(Handler)](const std::vector<std::string>& Files) {
            Guarded([&Handler, &Files] { Handler(Files); });
        },
        Folders);
}

TOutputFolder* TFormParvoxBase::AddOutputFolder(TParvoxBase& Engine, QPushButton* Button,
                                                TClickLabel* Path, QWidget* Frame,
                                                QLabel* Explanation, const QString& Chosen,
                                                std::function<void()> Changed) {
    auto* Folder =
        new TOutputFolder(*this, Engine, *Path, *Explanation, Chosen, std::move(Changed));
    const auto Pick = [Folder] { Guarded([Folder] { Folder->Pick(); }); };
    connect(Button, &QPushButton::clicked, this, Pick);
    connect(Path, &TClickLabel::clicked, this, Pick);
    AddFileDrops(
        {Button, Path, Frame}, 1,
        [Folder](const std::vector<std::string>& Folders) { Folder->Choose(Folders.front()); },
        true);
    return Folder;
}

bool TFormParvoxBase::TakeFiles(const std::vector<std::string>& Files) {
    return Drops != nullptr && Drops->Take(Files);
}

void TFormParvoxBase::CenterOnScreen(QWidget& Window) {
    const QScreen* Screen =
        Window.screen() != nullptr ? Window.screen() : QGuiApplication::primaryScreen();
    QRect Frame = Window.frameGeometry();
    Frame.moveCenter(Screen->availableGeometry().center());
    Window.move(Frame.topLeft());
}

void TFormParvoxBase::BringToFront(QWidget& Window) {
    // Not over a program that the user works in while a run ends.
    if (QGuiApplication::applicationState() != Qt::ApplicationActive)
        return;
    Window.raise();
    Window.activateWindow();
}

void TFormParvoxBase::ButtonCloseClick() {
    close();
}

void TFormParvoxBase::reject() {
    if (ParvoxController->OperationRunning())
        ParvoxController->RequestStop();
    else
        // Like every other way of closing, Escape asks the window's close query.
        close();
}

void TFormParvoxBase::showEvent(QShowEvent* Event) {
    // Not QDialog's: it would place the window over its parent, while these
    // windows are either centred on the screen below or placed by the window
    // system, which only does so when the program asks for no position.
    QWidget::showEvent(Event);
    if (Event->spontaneous())
        return;
    Guarded([this] { FormShow(); });
    if (!PlacedByWindowSystem)
        CenterOnScreen(*this);
}

void TFormParvoxBase::hideEvent(QHideEvent* Event) {
    QDialog::hideEvent(Event);
    if (!Event->spontaneous())
        Guarded([this] { FormHide(); });
}

void TFormParvoxBase::closeEvent(QCloseEvent* Event) {
    bool CanClose = true;
    Guarded([this, &CanClose] { FormCloseQuery(CanClose); });
    if (CanClose && ParvoxController->CloseWaits(*this))
        CanClose = false;
    Event->setAccepted(CanClose);
    // Ends a modal showing too. QDialog's own close handling is not used: it
    // would call reject(), which closes again.
    if (CanClose)
        done(result());
}
