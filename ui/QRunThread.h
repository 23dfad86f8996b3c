// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Runs an operation on a thread of its own while the windows' thread goes on
// handling its events, so that the windows repaint, move and answer keys and
// clicks also while the operation waits seconds for its medium. The
// operation touches no window: what it has done reaches the windows through
// counts that a tick in the windows' thread reads.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

class TRunThread {
public:
    TRunThread() = default;
    ~TRunThread();
    TRunThread(const TRunThread&) = delete;
    TRunThread& operator=(const TRunThread&) = delete;

    // Runs Operation and returns once it has ended, calling Tick in the
    // windows' thread every Interval meanwhile and once at the end; an
    // exception of Operation is raised again here. Called in the windows'
    // thread, one run at a time.
    void Run(const std::function<void()>& Operation, std::chrono::milliseconds Interval,
             const std::function<void()>& Tick);

private:
    std::thread Worker;
};
