// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Opening of windows, the run on its thread, its progress and the run guard.
#include "classParvoxController.h"

#include "QFAbout.h"
#include "QFChecksum.h"
#include "QFCompare.h"
#include "QFJoin.h"
#include "QFMain.h"
#include "QFProgress.h"
#include "QFSplit.h"
#include "QRunNotices.h"
#include "QSessionEnd.h"
#include "classParvox.h"
#include "classParvoxUtils.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QTimer>

#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

TParvoxController* ParvoxController = nullptr;

namespace {

void BringMainWindowToFront() {
    if (MainForm != nullptr && MainForm->isEnabled() && MainForm->isVisible())
        TFormParvoxBase::BringToFront(*MainForm);
}

// Lets the window system's close request reach the main window while an
// operation window runs modal over it, which Qt would drop: the close box,
// Alt+F4 and the window menu then end the program, after the question and a
// stop of the run, instead of doing nothing.
class TMainWindowCloseRequests : public QAbstractNativeEventFilter {
public:
    bool nativeEventFilter(const QByteArray& Type, void* Message, qintptr* /*Result*/) override {
        if (Type != "xcb_generic_event_t" || MainForm == nullptr ||
            QApplication::activeModalWidget() == nullptr)
            return false;
        const auto* Event = static_cast<const xcb_generic_event_t*>(Message);
        if ((Event->response_type & 0x7F) != XCB_CLIENT_MESSAGE)
            return false;
        const auto* Client = static_cast<const xcb_client_message_event_t*>(Message);
        static const xcb_atom_t Protocols = Atom("WM_PROTOCOLS");
        static const xcb_atom_t Delete = Atom("WM_DELETE_WINDOW");
        if (Client->window != MainForm->internalWinId() || Client->format != 32 ||
            Client->type != Protocols || Client->data.data32[0] != Delete)
            return false;
        // Asked after this event, which the window system is still delivering.
        QTimer::singleShot(0, MainForm, [] { MainForm->close(); });
        return true;
    }

private:
    static xcb_atom_t Atom(const char* Name) {
        auto* X11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
        xcb_intern_atom_reply_t* Reply = xcb_intern_atom_reply(
            X11->connection(),
            xcb_intern_atom(X11->connection(), 1, static_cast<uint16_t>(std::strlen(Name)), Name),
            nullptr);
        const xcb_atom_t Found = Reply != nullptr ? Reply->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(Reply);
        return Found;
    }
};

} // namespace

TParvoxController::TParvoxController()
    : ProgressForm(std::make_unique<TFormProgress>()), Notices(std::make_unique<TRunNotices>()),
      CloseRequests(std::make_unique<TMainWindowCloseRequests>()),
      SessionEnd(std::make_unique<TSessionEnd>([this](int Signal) { SessionEnded(Signal); })) {
    QObject::connect(ProgressForm.get(), &TFormProgress::StopAsked, [this] { RequestStop(); });
    qApp->installNativeEventFilter(CloseRequests.get());
    ParvoxApp->SetProgressCounts(&Counts);
}

TParvoxController::~TParvoxController() {
    ParvoxApp->SetProgressCounts(nullptr);
    SessionEnd.reset();
    qApp->removeNativeEventFilter(CloseRequests.get());
    ProgressForm.reset();
}

template <typename TForm>
void TParvoxController::ShowWindow(const std::vector<std::string>& Files) {
    {
        // A window is never reused: what it remembers between openings it keeps itself.
        TForm Form(MainForm);
        if (!Files.empty())
            QTimer::singleShot(0, &Form, [&Form, Files] { Form.TakeFiles(Files); });
        Form.exec();
    }
    BringMainWindowToFront();
}

void TParvoxController::ShowSplitWindow(const std::vector<std::string>& Files) {
    ShowWindow<TFormSplit>(Files);
}

void TParvoxController::ShowJoinWindow(const std::vector<std::string>& Files) {
    ShowWindow<TFormJoin>(Files);
}

void TParvoxController::ShowCompareWindow(const std::vector<std::string>& Files) {
    ShowWindow<TFormCompare>(Files);
}

void TParvoxController::ShowChecksumWindow() {
    ShowWindow<TFormChecksum>();
}

void TParvoxController::ShowAboutWindow() {
    ShowWindow<TFormAbout>();
}

void TParvoxController::OpenProductPage() {
    TParvoxUtils::OpenProductPage();
}

void TParvoxController::OpenMakerPage() {
    TParvoxUtils::OpenMakerPage();
}

void TParvoxController::ShowProgress(const std::string& Status, long double Fraction) {
    ProgressForm->ShowProgress(Status, Fraction);
    // Run notices: the title and the task bar show what the bar shows.
    Notices->RunProgress(ProgressForm->Position());
}

void TParvoxController::HideProgress() {
    ProgressForm->HideProgress();
    BringMainWindowToFront();
}

bool TParvoxController::BeginOperation(QWidget* Window, const QString& Doing) {
    if (Running)
        return false;
    Running = true;
    // Run notices: the run begins.
    if (Window != nullptr)
        Notices->RunStarted(*Window, Doing);
    return true;
}

void TParvoxController::EndOperation() {
    Running = false;
    // Run notices: the run has ended; its result follows.
    Notices->RunEnded();
    // A request that came too late for the run must not stop the next one.
    ParvoxApp->WithdrawStop();
    for (const QPointer<QWidget>& Window : ClosingAfterRun)
        if (Window)
            QTimer::singleShot(0, Window, [Window] { Window->close(); });
    ClosingAfterRun.clear();
}

void TParvoxController::Run(const std::string& Status, const std::function<void()>& Operation) {
    Counts.Clear();
    ShowProgress(Status, 0.0L);
    ProgressForm->BeginRun();
    // Ten looks a second: the bar moves smoothly, and the run does not wait on the windows.
    constexpr std::chrono::milliseconds TickEvery{100};
    Worker.Run(Operation, TickEvery, [this] {
        ProgressForm->ShowCounts(Counts);
        Notices->RunProgress(ProgressForm->Position());
    });
}

void TParvoxController::RequestStop() {
    if (Running)
        ParvoxApp->RequestStop();
}

bool TParvoxController::CloseWaits(QWidget& Window) {
    if (&Window == MainForm && QApplication::activeModalWidget() != nullptr) {
        RequestStop();
        // Ends the event loop of every window, once the run has stopped; the
        // main window stays up until the program shuts down.
        QCoreApplication::exit(0);
        return true;
    }
    if (!Running)
        return false;
    RequestStop();
    ClosingAfterRun.emplace_back(&Window);
    return true;
}

void TParvoxController::SessionEnded(int Signal) {
    RequestStop();
    // Ends every event loop: the windows close as their runs end, the
    // program with the exit status of a program that the signal ended.
    QCoreApplication::exit(128 + Signal);
}
