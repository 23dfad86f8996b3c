// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Threads for the work of the recovery data, one a core: a job is a few
// stages, each a number of tasks that the threads take in turn; a stage
// begins once every task of the one before has ended. A job runs while the
// caller goes on, which prepares the next one meanwhile.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class TWorkers {
public:
    using TTask = std::function<void(size_t Task)>;
    struct TStage {
        size_t Tasks = 0;
        TTask Run;
    };

    // One thread a core where Threads is 0.
    explicit TWorkers(unsigned Threads = 0);
    TWorkers(const TWorkers&) = delete;
    TWorkers& operator=(const TWorkers&) = delete;
    // Waits for the job under way, without raising its failure.
    ~TWorkers();

    [[nodiscard]] unsigned Count() const { return static_cast<unsigned>(Threads.size()); }
    // Starts a job and returns at once; the job before has been waited for.
    void Start(std::vector<TStage> Stages);
    // Waits for the job started last to end, and raises the failure of the
    // first task that failed: the tasks after it were not run.
    void Wait();
    // Start and Wait.
    void Run(std::vector<TStage> Stages);

private:
    void Work();

    std::vector<std::thread> Threads;
    std::mutex Lock;
    std::condition_variable Changed;
    std::vector<TStage> Stages;
    // Counts the jobs started; a thread takes each new one once.
    uint64_t Job = 0;
    size_t Stage = 0;
    unsigned Arrived = 0;
    unsigned Finished = 0;
    bool Running = false;
    bool Quit = false;
    std::atomic<size_t> NextTask = 0;
    std::atomic<bool> Failed = false;
    std::exception_ptr Failure;
};
