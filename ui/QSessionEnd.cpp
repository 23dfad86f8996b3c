// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The signals that end a session, passed to the windows' thread through a pipe.
#include "QSessionEnd.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::array SessionSignals{SIGTERM, SIGHUP, SIGINT};

// The pipe from the handler, on whatever thread the signal lands, to the
// windows' thread: reading end, writing end.
int Pipe[2] = {-1, -1};
// Whether a signal has come already.
volatile sig_atomic_t Received = 0;

extern "C" void Caught(int Signal) {
    // Asked twice to end: the program ends now, as the signal ends it by default.
    if (Received != 0 && Signal != SIGHUP) {
        ::signal(Signal, SIG_DFL);
        ::raise(Signal);
    }
    Received = 1;
    // Only calls that a signal handler may make; a full pipe has the news already.
    const int Saved = errno;
    const auto Byte = static_cast<char>(Signal);
    (void)!::write(Pipe[1], &Byte, 1);
    errno = Saved;
}

void Handle(void (*Handler)(int)) {
    struct sigaction Action {};
    Action.sa_handler = Handler;
    sigemptyset(&Action.sa_mask);
    // The engines' system calls go on where the handler interrupted them.
    Action.sa_flags = SA_RESTART;
    for (const int Signal : SessionSignals) {
        // A signal that whoever started the program ignores (nohup) stays so.
        struct sigaction Now {};
        if (::sigaction(Signal, nullptr, &Now) == 0 && Now.sa_handler == SIG_IGN)
            continue;
        ::sigaction(Signal, &Action, nullptr);
    }
}

} // namespace

TSessionEnd::TSessionEnd(std::function<void(int Signal)> Ended, QObject* Parent)
    : QObject(Parent), Ended(std::move(Ended)) {
    if (::pipe2(Pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    Notifier = new QSocketNotifier(Pipe[0], QSocketNotifier::Read, this);
    connect(Notifier, &QSocketNotifier::activated, this, &TSessionEnd::Woken);
    Handle(Caught);
}

TSessionEnd::~TSessionEnd() {
    if (Notifier == nullptr)
        return;
    Handle(SIG_DFL);
    ::close(Pipe[0]);
    ::close(Pipe[1]);
    Pipe[0] = Pipe[1] = -1;
}

void TSessionEnd::Woken() {
    char Signal = 0;
    while (::read(Pipe[0], &Signal, 1) == 1)
        Ended(Signal);
}
