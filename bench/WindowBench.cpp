// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// One run of an engine inside a Qt application, with the progress window
// shown and hidden around it as the program does:
//   parvox_bench_window qt-ENGINE ...      in the windows' thread, with an empty progress handler
//   parvox_bench_window window-ENGINE ...  as the program runs it: on a thread of its
//                                          own, the progress window reading its counts
#include "EngineRun.h"
#include "QFProgress.h"
#include "QRunThread.h"

#include <QApplication>
#include <QWindow>

#include <chrono>
#include <exception>
#include <iostream>

int main(int Argc, char** Argv) {
    std::vector<std::string> Args(Argv + 1, Argv + Argc);
    try {
        if (Args.empty())
            throw std::runtime_error("usage: parvox_bench_window qt-|window-ENGINE ...");
        QApplication Application(Argc, Argv);
        TFormProgress Progress;
        const bool ToWindow = Args[0].starts_with("window-");
        Args[0] = Args[0].substr(Args[0].find('-') + 1);
        Progress.ShowProgress("Working...", 0.0L);
        // Both ways start once the window is on the screen and painted, as a
        // user sees it: what follows is the run's own cost, and the window's
        // share of it.
        while (!Progress.windowHandle()->isExposed())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::processEvents();
        int Result = 0;
        if (ToWindow) {
            TProgressCounts Counts;
            TRunThread Worker;
            Progress.BeginRun();
            Worker.Run([&] { Result = EngineRun(Args, {}, &Counts); },
                       std::chrono::milliseconds(100), [&] { Progress.ShowCounts(Counts); });
        } else {
            Result = EngineRun(Args, [](const std::string&, long double) {});
        }
        Progress.HideProgress();
        return Result;
    } catch (const std::exception& Error) {
        std::cerr << "parvox_bench_window: " << Error.what() << '\n';
        return 1;
    }
}
