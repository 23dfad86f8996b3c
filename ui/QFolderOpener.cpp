// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The file manager started through xdg-open, and its answer.
#include "QFolderOpener.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>

#include <csignal>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// xdg-open answers within this time when nothing can open the folder; a
// file manager that it starts in its place may keep it running for hours.
constexpr qint64 AnswerMs = 10'000;

} // namespace

void TFolderOpener::Open(const QString& Folder, std::function<void()> Failed) {
    const QByteArray Path = Folder.toLocal8Bit();
    char Program[] = "xdg-open";
    char* Arguments[] = {Program, const_cast<char*>(Path.constData()), nullptr};
    posix_spawnattr_t Attributes;
    posix_spawnattr_init(&Attributes);
    sigset_t None;
    sigemptyset(&None);
    posix_spawnattr_setsigmask(&Attributes, &None);
    posix_spawnattr_setflags(&Attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);
    pid_t Child = 0;
    const int Error = posix_spawnp(&Child, Program, nullptr, &Attributes, Arguments, environ);
    posix_spawnattr_destroy(&Attributes);
    if (Error != 0) {
        Failed();
        return;
    }
    // Its end is waited for without a wait: the handle of the process turns
    // readable once it has ended, and the status is taken then.
    const int Handle = static_cast<int>(syscall(SYS_pidfd_open, Child, 0));
    if (Handle < 0)
        return;
    auto* Ended = new QSocketNotifier(Handle, QSocketNotifier::Read, qApp);
    QElapsedTimer Since;
    Since.start();
    QObject::connect(Ended, &QSocketNotifier::activated, Ended,
                     [Ended, Handle, Child, Since, Failed = std::move(Failed)] {
                         int Status = 0;
                         const bool Reaped = waitpid(Child, &Status, WNOHANG) == Child;
                         Ended->setEnabled(false);
                         Ended->deleteLater();
                         close(Handle);
                         if (Reaped && WIFEXITED(Status) && WEXITSTATUS(Status) != 0 &&
                             !Since.hasExpired(AnswerMs))
                             Failed();
                     });
}
