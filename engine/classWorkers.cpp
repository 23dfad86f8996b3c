// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The threads of the recovery data and their stages.
#include "classWorkers.h"

#include <algorithm>
#include <utility>

TWorkers::TWorkers(unsigned Count) {
    if (Count == 0)
        Count = std::max(1U, std::thread::hardware_concurrency());
    for (unsigned Index = 0; Index < Count; ++Index)
        Threads.emplace_back([this] { Work(); });
}

TWorkers::~TWorkers() {
    {
        std::unique_lock Hold(Lock);
        Changed.wait(Hold, [this] { return !Running; });
        Quit = true;
    }
    Changed.notify_all();
    for (std::thread& Thread : Threads)
        Thread.join();
}

void TWorkers::Start(std::vector<TStage> Next) {
    {
        const std::lock_guard Hold(Lock);
        Stages = std::move(Next);
        Stage = 0;
        Arrived = Finished = 0;
        NextTask = 0;
        Failed = false;
        Failure = nullptr;
        Running = true;
        ++Job;
    }
    Changed.notify_all();
}

void TWorkers::Wait() {
    std::unique_lock Hold(Lock);
    Changed.wait(Hold, [this] { return !Running; });
    if (Failure)
        std::rethrow_exception(std::exchange(Failure, nullptr));
}

void TWorkers::Run(std::vector<TStage> Next) {
    Start(std::move(Next));
    Wait();
}

void TWorkers::Work() {
    uint64_t Done = 0;
    std::unique_lock Hold(Lock);
    for (;;) {
        Changed.wait(Hold, [&] { return Quit || Job != Done; });
        if (Quit)
            return;
        Done = Job;
        for (size_t Index = 0; Index < Stages.size(); ++Index) {
            const TStage& Current = Stages[Index];
            Hold.unlock();
            for (size_t Task; (Task = NextTask.fetch_add(1)) < Current.Tasks;) {
                if (Failed.load(std::memory_order_relaxed))
                    continue;
                try {
                    Current.Run(Task);
                } catch (...) {
                    const std::lock_guard Note(Lock);
                    if (!Failure)
                        Failure = std::current_exception();
                    Failed = true;
                }
            }
            Hold.lock();
            // The last thread to end the stage opens the next one.
            if (++Arrived == Threads.size()) {
                Arrived = 0;
                NextTask = 0;
                ++Stage;
                Changed.notify_all();
            } else {
                Changed.wait(Hold, [&] { return Stage > Index; });
            }
        }
        if (++Finished == Threads.size()) {
            Running = false;
            Changed.notify_all();
        }
    }
}
