// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The worker thread of a run, and the wait for it in the windows' thread.
#include "QRunThread.h"

#include <QCoreApplication>
#include <QTimer>

#include <exception>

TRunThread::~TRunThread() {
    if (Worker.joinable())
        Worker.join();
}

void TRunThread::Run(const std::function<void()>& Operation, std::chrono::milliseconds Interval,
                     const std::function<void()>& Tick) {
    std::exception_ptr Failure;
    bool Ended = false;
    QTimer Ticks;
    Ticks.callOnTimeout(Tick);
    Ticks.start(Interval);
    Worker = std::thread([&Operation, &Failure, &Ended] {
        try {
            Operation();
        } catch (...) {
            Failure = std::current_exception();
        }
        // The end reaches the windows' thread as an event, which wakes it too.
        QMetaObject::invokeMethod(
            qApp, [&Ended] { Ended = true; }, Qt::QueuedConnection);
    });
    // Not an event loop of its own: the end of the program ends every event
    // loop at once, while this wait has to last until the run has stopped.
    while (!Ended)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    Worker.join();
    // Keys and clicks that came in while the run ended are the run's: they
    // meet the run's refusals, not a window ready for the next one.
    QCoreApplication::processEvents();
    Ticks.stop();
    Tick();
    if (Failure)
        std::rethrow_exception(Failure);
}
