// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The controller: owns the progress window, opens every other window on
// request of the main window, runs the operations on a thread of their own
// and carries their progress to the progress window, keeps a second run off
// the engines while one is in progress, and stops a run when the user asks
// or the session ends.
#pragma once

#include "QRunThread.h"
#include "classParvoxBase.h"

#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAbstractNativeEventFilter;
class QWidget;
class TFormProgress;
class TRunNotices;
class TSessionEnd;

class TParvoxController {
public:
    TParvoxController();
    ~TParvoxController();
    TParvoxController(const TParvoxController&) = delete;
    TParvoxController& operator=(const TParvoxController&) = delete;

    // A window opened with files takes them once it is up, as a drop on it would.
    void ShowSplitWindow(const std::vector<std::string>& Files = {});
    void ShowJoinWindow(const std::vector<std::string>& Files = {});
    void ShowCompareWindow(const std::vector<std::string>& Files = {});
    void ShowChecksumWindow();
    void ShowAboutWindow();
    void OpenProductPage();
    void OpenMakerPage();

    void ShowProgress(const std::string& Status, long double Fraction);
    // Hides the progress window and brings the main window to the front.
    void HideProgress();

    // An operation holds the engines from BeginOperation to EndOperation;
    // BeginOperation refuses while another operation holds them. While one
    // does, the windows refuse their command keys. The title of Window, the
    // window that runs it, shows its progress; Doing says what it does
    // ("Splitting film.mkv").
    [[nodiscard]] bool BeginOperation(QWidget* Window = nullptr, const QString& Doing = {});
    void EndOperation();
    [[nodiscard]] bool OperationRunning() const { return Running; }
    // Runs Operation on the run's own thread with the progress window up,
    // and returns once it has ended; its exception is raised again here.
    // Operation touches no window.
    void Run(const std::string& Status, const std::function<void()>& Operation);
    // Asks the operation under way to stop, which it does at its next
    // progress report; nothing when none runs.
    void RequestStop();
    // Window is to close, as its user agreed. Returns whether the close
    // waits: during an operation the operation is asked to stop and Window
    // closes once it has ended. Closing the main window while another
    // window runs modal ends the program, once any operation has stopped.
    [[nodiscard]] bool CloseWaits(QWidget& Window);

    std::unique_ptr<TFormProgress> ProgressForm;
    // The run's progress and end as the desktop shows them.
    std::unique_ptr<TRunNotices> Notices;

private:
    // The end of the session: a run stops as on Stop, then the program ends.
    void SessionEnded(int Signal);
    template <typename TForm> void ShowWindow(const std::vector<std::string>& Files = {});

    std::unique_ptr<QAbstractNativeEventFilter> CloseRequests;
    std::unique_ptr<TSessionEnd> SessionEnd;
    // What the engine of the run has done, set on its thread and read on the windows'.
    TProgressCounts Counts;
    TRunThread Worker;
    bool Running = false;
    // The windows to close once the operation has ended.
    std::vector<QPointer<QWidget>> ClosingAfterRun;
};

// The one controller, from start-up to shutdown.
extern TParvoxController* ParvoxController;
