// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// One run of an engine inside a Qt application, with the progress window
// shown and hidden around it as the program does:
//   parvox_bench_window qt-ENGINE ...      with an empty progress handler
//   parvox_bench_window window-ENGINE ...  reporting to the progress window
#include "EngineRun.h"
#include "QFProgress.h"

#include <QApplication>

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
        const int Result =
            ToWindow ? EngineRun(Args,
                                 [&Progress](const std::string& Status, long double Fraction) {
                                     Progress.ShowProgress(Status, Fraction);
                                 })
                     : EngineRun(Args, [](const std::string&, long double) {});
        Progress.HideProgress();
        return Result;
    } catch (const std::exception& Error) {
        std::cerr << "parvox_bench_window: " << Error.what() << '\n';
        return 1;
    }
}
