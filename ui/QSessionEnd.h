// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The end of the session, or of the terminal that started the program:
// SIGTERM (a logout, a shutdown), SIGHUP (the terminal closed) and SIGINT
// (Ctrl+C). The signal only wakes the windows' thread, which then acts as
// the owner says: nothing of the program runs inside the signal handler. A
// signal that was ignored when the program started (nohup) stays ignored,
// and a second SIGTERM or SIGINT ends the program at once, without waiting
// for a run's clean-up: what that leaves, Parvox's next run recognises.
#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

class TSessionEnd : public QObject {
public:
    // Ended runs in the windows' thread with the number of each signal that came.
    explicit TSessionEnd(std::function<void(int Signal)> Ended, QObject* Parent = nullptr);
    // The signals end the program at once again, as the system does by
    // default, but for those that stay ignored.
    ~TSessionEnd() override;
    TSessionEnd(const TSessionEnd&) = delete;
    TSessionEnd& operator=(const TSessionEnd&) = delete;

private:
    void Woken();

    std::function<void(int Signal)> Ended;
    QSocketNotifier* Notifier = nullptr;
};
